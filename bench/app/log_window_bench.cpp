// The log window and returned receipts on a million-row log, each figure
// beside the sqlite3 tool running the same SQL on the same file in the same
// run (output discarded):
//  - the window opened on its first page (target: under 1 s);
//  - a find by mailer number and one by name, both walking to the far end
//    of the log (target: under 1 s);
//  - a receipt looked up by its number (target: under 0.5 s);
//  - an edit and a delete, each with the log shown again (target: under 1.5 s);
//  - the peak memory of the process that ran the window (target: under 100 MB).
// The rows are made by a child run of this program ("--fill"), so the peak
// memory is the window's own.
// Usage: log_window_bench [rows]   (default 1000000)

#include "app/data/U_Globals.h"
#include "app/data/U_MailerNumbers.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "app/log/U_Log.h"
#include "app/receipts/U_IncomingMailers.h"
#include "bench/app/AppBench.h"
#include "platform/ui/MessageService.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace {

using namespace appbench;

void Report(const char* what, double ours, double tool, double target)
{
    std::printf("%-44s %8.3f s  sqlite3 %8.3f s  ratio %5.2f  target < %.1f s %s\n", what, ours, tool, ours / tool,
                target, ours < target ? "" : "MISSED");
}

// Fills the log through the program's own tables and the engine's SQL.
int Fill(int argc, char** argv, const std::string& home, long rows)
{
    QCoreApplication app(argc, argv);  // the program's folders are found from it
    gAppPath = home;
    ResetSettingsToDefaults();
    std::filesystem::create_directories(gLogDB);
    TInstalledDataModule data(home);
    data.Module().EnsureTable(gLogDB, "Log37");
    TEdsQuery& query = *data.Module().edsqLog2;
    query.SetDatabaseName(gLogDB);
    const std::string n = std::to_string(rows);
    // Row i carries this program's number for serial i, grouped as logged.
    query.SetSQLText(
        "insert into Log37 (DateTime, MailerNum, CustID, SerialNum, ToAddress1, ToAddress2, ToCity, ToState, ToZip, "
        "YourAddress1, YourCity, YourState, YourZip, Postage, Certified, Return, Total, Comment, WishRest, Batch, "
        "Result) "
        "with recursive k(i) as (select 1 union all select i + 1 from k where i < " + n + "), "
        "r(i, d) as (select i, '9214712345678' || substr('000000000' || i, -9) from k) "
        "select strftime('%Y-%m-%d %H:%M:%S', 1500000000 + i * 60, 'unixepoch') || '.000', "
        "substr(d, 1, 4) || ' ' || substr(d, 5, 4) || ' ' || substr(d, 9, 4) || ' ' || substr(d, 13, 4) || ' ' || "
        "substr(d, 17, 4) || ' ' || substr(d, 21, 2), '123456789', i, 'Recipient ' || i, 'Suite ' || (i % 500), "
        "'Springfield', 'IL', '62701', 'Sender Inc', 'Chicago', 'IL', '60601', '4.10', '4.40', '3.55', '12.05', "
        "'sent', 0, 0, case when i % 10 = 0 then 'Received - Signed' else 'None' end from r");
    query.ExecSQL();
    query.Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--fill") return Fill(argc, argv, argv[2], std::atol(argv[3]));
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (!HaveTool()) return 1;
    const std::filesystem::path home = FilledProgramFolder(argv[0], "log_window_bench", rows);
    if (home.empty()) return 1;

    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SENDORA_HOME", home.c_str(), 1);
    QApplication app(argc, argv);
    gAppPath = home.string();
    ResetSettingsToDefaults();
    const std::string file = (std::filesystem::path(gLogDB) / "Log37.edt").string();
    ui::ScriptedMessages messages;  // answers every box; the figures count no person
    TInstalledDataModule data(home.string());
    const double baseMb = PeakMb();

    const std::string select = "select * from Log37 order by DATETIME";
    std::unique_ptr<TF_Log> log;
    const double open = Timed([&] {
        log = std::make_unique<TF_Log>(data.Module());
        QAbstractItemModel& grid = *log->findChild<QTableView*>("gridLog")->model();
        for (int r = 0; r < 40; ++r)
            for (int c = 0; c < grid.columnCount(); ++c) grid.data(grid.index(r, c));
    });
    if (log->findChild<QTableView*>("gridLog")->model()->rowCount() != rows) {
        std::fprintf(stderr, "the grid shows %d rows\n", log->findChild<QTableView*>("gridLog")->model()->rowCount());
        return 1;
    }
    Report("log window, first page", open, Tool(file, select), 1.0);
    std::printf("%-44s %8s    sqlite3 %8.3f s (top 40 rows only)\n", "", "", Tool(file, select + " limit 40"));

    // Finds from the first row to the last but one.
    const long far = rows - 1;
    const std::string number = LoggedMailerNum(far);
    gFindMailerType = "1";
    gSingleEditText = number;
    const auto closeEditor = [] {
        QTimer::singleShot(0, [] {
            if (QWidget* dialog = QApplication::activeModalWidget())
                dialog->findChild<QPushButton*>("btnCancel")->click();
        });
    };
    closeEditor();
    const double findNumber = Timed([&] { log->FindMailer(); });
    Report("find by mailer number (whole walk)", findNumber,
           Tool(file, "select LID from Log37 where " + MailerNumberCondition(*MailerNumberKey(number))), 1.0);
    log->OpenLog();
    gFindMailerType = "2";
    gSingleEditText = "Recipient " + std::to_string(far);
    const double findName = Timed([&] { log->FindMailer(); });
    Report("find by name (whole walk)", findName,
           Tool(file, "select LID from Log37 where instr(ToAddress1, '" + gSingleEditText + "') > 0"), 1.0);
    if (!messages.Shown().empty()) std::printf("  unexpected message: %s\n", messages.Last().text.c_str());

    // An edit and a delete of the row found, each with the log shown again.
    QTimer::singleShot(0, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            dialog->findChild<QLineEdit*>("editPostage")->setText("5.00");
            dialog->findChild<QPushButton*>("btnOK")->click();
        }
    });
    const double edit = Timed([&] { log->btnEditMailerClick(); });
    const double toolEdit = Tool(file, "update Log37 set POSTAGE = '5.00' where LID = 1") + Tool(file, select);
    Report("edit with the log shown again", edit, toolEdit, 1.5);
    messages.Answer(ui::mrYes);
    const double remove = Timed([&] { log->btnDeleteRecordClick(); });
    Report("delete with the log shown again", remove,
           Tool(file, "delete from Log37 where LID = 2") + Tool(file, select), 1.5);

    // A receipt: the number of an open row near the end.
    TF_IncomingMailers receipts(data.Module());
    const std::string receipt = LoggedMailerNum(rows - 3);
    receipts.findChild<QLineEdit*>("maskeditMailerNum")->setText(QString::fromStdString(receipt));
    const double lookup = Timed([&] { receipts.LookUpMailer(); });
    if (receipts.findChild<QTableWidget*>("sgMailers")->item(0, 0) == nullptr)
        std::printf("  the receipt was not found\n");
    Report("receipt looked up by number", lookup,
           Tool(file, "select LID, ToAddress1 from Log37 where " + MailerNumberCondition(*MailerNumberKey(receipt)) +
                          " and Result = 'None'"),
           0.5);

    log.reset();
    const double peak = PeakMb();
    std::printf("peak memory of the window's process: %.1f MB (%.1f MB before the window opened; target < 100 MB) %s\n",
                peak, baseMb, peak < 100 ? "" : "MISSED");
    std::filesystem::remove_all(home);
    return 0;
}
