#pragma once
// The report project file: the program's built-in reports, described in
// plain text (format in ProjectFormat.md beside this file).

#include "platform/report/ReportTypes.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace report {

struct ProjectFont {
    std::string name;
    int size = 10;
};

struct ProjectColumn {
    std::string field;
    std::string caption;
    double width = 1.0;  // inches
    TPrintJustify justify = pjLeft;
};

struct ProjectReport {
    std::string name;  // the full name, as the report list shows it
    std::string connection = "RpDataSetConnection1";
    TOrientation orientation = poPortrait;
    std::string title;  // empty: the name
    ProjectFont titleFont{"Arial", 14};
    ProjectFont headerFont{"Times New Roman", 10};
    ProjectFont font{"Times New Roman", 10};
    std::vector<ProjectColumn> columns;
    std::string footer;      // left part of every page's footer line
    std::string totalField;  // summed over the rows, empty for none
    std::string totalLabel;
    std::string countLabel;  // empty: no row count
};

struct ReportProject {
    std::vector<ProjectReport> reports;
};

// Raises EReportError naming the line of the first fault.
ReportProject ParseProject(std::string_view text, const std::string& fileName);
// Raises EReportError when the file cannot be read.
ReportProject LoadProject(const std::string& path);

// The name a report runs under: its full name without blanks.
std::string RunName(const std::string& fullName);

// A text with {Page} and {<parameter>} replaced; an unknown parameter gives
// an empty text, a "{" without its "}" is kept as it is.
std::string ExpandText(const std::string& text, const std::map<std::string, std::string>& params, int page);

}  // namespace report
