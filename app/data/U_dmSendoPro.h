#pragma once
// The data module: the one owner of every table, query and report component
// of the program. It is made once, before the main window, and lives until
// the program ends; every window reaches the tables through it (dmSendoPro).
//
// Table files are found without regard to case, as the engine finds them.

#include "app/data/U_dmSendoProReport.h"
#include "dbaccess/edscnnct.h"
#include "dbaccess/edsquery.h"
#include "dbaccess/edsset.h"
#include "dbaccess/edstable.h"
#include "dbfengine/uxffds.h"
#include "platform/report/RowSource.h"
#include "platform/report/RpProject.h"
#include "platform/report/RpSystem.h"
#include "platform/rtl/Components.h"

#include <QIcon>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TdmSendoPro : public rtl::TComponent {
public:
    // Raises when the engine refuses the process settings, or when another
    // data module (with its settings component) is alive.
    explicit TdmSendoPro(rtl::TComponent* Owner = nullptr);
    ~TdmSendoPro() override;

    // Points the module at the program folder: the connection is made again
    // on it; the ZIP lookup and the report project are the shipped ones
    // (ShippedFiles.h). A connection the engine refuses raises after the
    // rest is set.
    void SetProgramFolder(const std::string& Folder);

    // Makes table `Name` (Folder/Name.edt) from the field specification
    // `Fields`, then completes it by name: the seed row of MailerNum, the
    // indexes of Groups and Members, the side tables of Log37 with theirs.
    // Raises the database layer's error, among others when the file exists.
    void CreateEdsTable(const std::string& Folder, const std::string& Name, const std::string& Fields);

    // Makes a program table whatever of it is missing: the file when there
    // is none, and otherwise each index, side table and seed row that an
    // interrupted earlier start left out. Raises rtl::Exception for a name
    // the program does not create, and the database layer's error.
    void EnsureTable(const std::string& Folder, const std::string& Name);

    // Whether Folder holds the table file of Name (its lock file does not count).
    static bool TableExists(const std::string& Folder, const std::string& Name);
    // Folder/Name.edt.
    static std::string TableFileName(const std::string& Folder, const std::string& Name);

    // Closes every table and query, leaves MailerNum shared again and
    // disconnects. Each step runs even when an earlier one failed; the first
    // failure is raised at the end.
    void CloseAllTables();

    // The custom log report, set on RpSystem1: a boxed table of edsqLog from
    // its first row, one column for each row of edsqLog2 (Field_Name, in
    // the order the query gives) that names a log field.
    void RpSystem1BeforePrint();
    void RpSystem1Print(report::TBaseReport& Sender);
    void RpSystem1PrintFooter(report::TBaseReport& Sender);

    // ---- components, in declaration order
    std::unique_ptr<TEdsSettings> EdsSettings1;
    std::unique_ptr<TEdsConnection> EdsConnection1;
    std::unique_ptr<TEdsQuery> edsqZipCodes;
    std::unique_ptr<TEdsTable> edstToAddress;
    std::unique_ptr<TEdsQuery> edsqToAddress;
    std::unique_ptr<TEdsQuery> edsqYourAddress;
    std::unique_ptr<TEdsTable> edstMailerNum;
    std::unique_ptr<TEdsTable> edstLog;
    std::unique_ptr<TEdsQuery> edsqLog;
    // Images of the address tree and list; the address book fills it.
    std::vector<QIcon> imagelistDB;
    std::unique_ptr<TEdsQuery> edsqLog2;
    // The report engine: the project's reports read edsqLog as it stands.
    TDataSetRowSource logRows;
    report::TRpDataSetConnection RpDataSetConnection1{"RpDataSetConnection1"};
    report::TRpProject RpProject1;
    report::TRpSystem RpSystem1;
    // The dBase table of the oldest log format, read by its import.
    std::unique_ptr<xf::TXfDbf> XfDbfReport;

private:
    // Creates table Name from its own specification in Folder.
    void CreateTableFile(const std::string& Folder, const std::string& Name, const std::string& Fields);
    // Completes a table by name; each part only when it is missing.
    void CompleteTable(const std::string& Folder, const std::string& Name);
    void EnsureSeedRow(const std::string& Folder);
    void EnsureIndex(const std::string& Folder, const std::string& Name);
    void EnsureLogSideTables(const std::string& Folder);
    void EnsureBatchIndex(const std::string& Folder);
    void AddLogFields(TEdsDataSet& DataSet, bool AutoIncAsInteger);

    // The custom log report's state while it prints.
    bool printingStarted_ = false;
    double reportFeeTotal_ = 0.0;
    std::int32_t reportRowCount_ = 0;
};

// The program's data module while it lives, else null.
extern TdmSendoPro* dmSendoPro;

// The program's data module; raises rtl::Exception when there is none.
TdmSendoPro& DataModule();
