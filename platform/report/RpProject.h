#pragma once
// The project runner: lists the reports of the project file and runs one of
// them through the report system, over the rows of its data connection.

#include "platform/report/ProjectFile.h"
#include "platform/report/RowSource.h"
#include "platform/report/RpSystem.h"

#include <map>
#include <string>
#include <vector>

namespace report {

class TRpProject {
public:
    const std::string& ProjectFile() const { return projectFile_; }
    // Takes effect at the next Open; a backslash separates folders as "/" does.
    void SetProjectFile(const std::string& path) { projectFile_ = path; }
    TRpSystem* Engine() const { return engine_; }
    void SetEngine(TRpSystem* engine) { engine_ = engine; }
    // Makes a connection known to the reports that name it; not owned.
    void AddConnection(TRpDataSetConnection& connection);

    // Reads the project file; raises EReportError when it is missing or wrong.
    void Open();
    void Close();
    bool Active() const { return active_; }

    // The reports in file order: full names, or the names they run under.
    // Opens the project when it is not open.
    void GetReportList(std::vector<std::string>& list, bool fullNames);

    // Parameters the reports print as {Name}; they outlive Open and Close.
    void SetParam(const std::string& name, const std::string& value) { params_[name] = value; }
    std::string GetParam(const std::string& name) const;

    // Runs the report whose run name (its full name without blanks) is name,
    // compared without regard to case, to the engine's destination in the
    // report's own orientation. Opens the project when it is not open.
    void ExecuteReport(const std::string& name);

    // The layout ExecuteReport hands the engine (for tests and for printing
    // a project report onto a device of the caller's).
    ReportLayout LayoutOf(const std::string& name);
    const ProjectReport& Report(const std::string& name);

private:
    struct RunState;

    std::string projectFile_;
    TRpSystem* engine_ = nullptr;
    std::vector<TRpDataSetConnection*> connections_;
    ReportProject project_;
    bool active_ = false;
    std::map<std::string, std::string> params_;
};

}  // namespace report
