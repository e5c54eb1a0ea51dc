// Print Batch on a large log: finding the batch entries among a million log
// rows, against the sqlite3 tool and raw SQLite running the same query on the
// same file in the same run; then the whole Print Batch command through the
// real main window (offscreen) printing them to PDF files, beside the single
// print road's time per mailer.
//
// Usage: batch_print_bench [--rows N] [--batch N] [--folder DIR]
// The folder defaults to a fresh one under /dev/shm (or /tmp), removed afterwards.

#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/main/U_About.h"
#include "app/main/U_Main.h"
#include "app/printing/U_BatchLog.h"
#include "bench/edsengine/LogBench.h"
#include "platform/ui/MessageService.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace logbench;

// The program's own query, and the same rows by a condition the batch
// entries' index cannot serve: what finding them cost without it.
const char* const kBatchQuery = "select * from Log37 where Batch = True order by LID";
const char* const kScanQuery = "select * from Log37 where Batch = 1 order by LID";

void Exec(sqlite3* db, const std::string& sql) { SqlCheck(db, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), sql.c_str()); }

// `rows` made-up printed rows, every (rows / batch)-th of them turned into a
// batch entry with its numbers empty and real fees.
void FillLog(const std::string& file, long rows, long batch)
{
    sqlite3* db = nullptr;
    SqlCheck(db, sqlite3_open(file.c_str(), &db), "open");
    sqlite3_stmt* stmt = nullptr;
    SqlCheck(db, sqlite3_prepare_v2(db, InsertSql("Log37").c_str(), -1, &stmt, nullptr), "prepare");
    Exec(db, "BEGIN IMMEDIATE");
    for (long i = 0; i < rows; ++i) {
        BindRow(stmt, i);
        SqlCheck(db, sqlite3_step(stmt), "insert");
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    Exec(db, "UPDATE Log37 SET Batch = 1, DateTime = NULL, MailerNum = NULL, CustID = NULL, SerialNum = NULL, "
             "ToZip = '12345', Postage = '0.39', Certified = '2.40', Return = '1.85', Restricted = '', "
             "Total = '4.64' WHERE rowid % " + std::to_string(rows / batch) + " = 7");
    Exec(db, "COMMIT");
    sqlite3_close(db);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The program's search: any batch entry, then all of them in order.
double ProgramSearch(const std::string& folder, long& found)
{
    const auto start = Clock::now();
    TBatchLog log(folder);
    found = log.Any() ? static_cast<long>(log.Read().size()) : 0;
    return Ms(Clock::now() - start);
}

// A query through raw SQLite, reading every column of every row.
double RawSearch(const std::string& file, const char* query, long& found)
{
    const auto start = Clock::now();
    sqlite3* db = nullptr;
    SqlCheck(db, sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), "open");
    sqlite3_stmt* stmt = nullptr;
    SqlCheck(db, sqlite3_prepare_v2(db, query, -1, &stmt, nullptr), "prepare");
    found = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) sqlite3_column_text(stmt, c);
        ++found;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return Ms(Clock::now() - start);
}

// The sqlite3 tool as a process, output discarded.
double ToolSearch(const std::string& file)
{
    const std::string command = "sqlite3 '" + file + "' '" + kBatchQuery + "' >/dev/null";
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "sqlite3 failed (is it installed?)\n");
        std::exit(1);
    }
    return Ms(Clock::now() - start);
}

long PdfCount(const std::string& folder)
{
    long n = 0;
    if (!std::filesystem::exists(folder)) return 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) n += entry.path().extension() == ".pdf";
    return n;
}

}  // namespace

int main(int argc, char** argv)
{
    long rows = 1000000, batch = 50;
    std::string folder;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rows") rows = std::atol(argv[i + 1]);
        else if (option == "--batch") batch = std::atol(argv[i + 1]);
        else if (option == "--folder") folder = argv[i + 1];
    }
    bool removeFolder = false;
    if (folder.empty()) {
        const std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        folder = base + "/batch_print_bench." + std::to_string(::getpid());
        removeFolder = true;
    }
    std::filesystem::create_directories(folder);
    const std::string pdfs = folder + "/pdf";
    setenv("SENDORA_HOME", folder.c_str(), 1);
    setenv("SENDORA_PRINT_TO_PDF", pdfs.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::printf("Print Batch: %ld batch entries among %ld log rows, folder %s\n", batch, rows, folder.c_str());

    int qtArgc = 1;
    char name[] = "batch_print_bench";
    char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);
    ui::ScriptedMessages messages;
    gAppPath = folder;
    ResetSettingsToDefaults();

    int status = 0;
    {
        TInstalledDataModule module(folder);
        TF_Main window(nullptr, {});
        {
            // The first show's sender and mailer-number dialogs: closed unanswered.
            QTimer dismiss;
            QObject::connect(&dismiss, &QTimer::timeout, [] {
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
            });
            dismiss.start(1);
            window.show();
            while (window.FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        sqlite3* db = nullptr;
        SqlCheck(db, sqlite3_open((folder + "/MailerNum.edt").c_str(), &db), "open MailerNum");
        Exec(db, "UPDATE MailerNum SET CustID = '123456789', SerialNum = '0000041', BarCodes = 1, Increment = 1");
        sqlite3_close(db);

        const std::string log = gLogDB + "/Log37.edt";
        const auto fillStart = Clock::now();
        FillLog(log, rows, batch);
        std::printf("set-up: %ld rows written in %.0f ms\n", rows, Ms(Clock::now() - fillStart));

        std::vector<double> program, raw, tool, scan;
        long foundProgram = 0, foundRaw = 0, foundScan = 0;
        for (int i = 0; i < 5; ++i) {
            program.push_back(ProgramSearch(gLogDB, foundProgram));
            raw.push_back(RawSearch(log, kBatchQuery, foundRaw));
            tool.push_back(ToolSearch(log));
            scan.push_back(RawSearch(log, kScanQuery, foundScan));
        }
        std::printf("search (median of 5): program %.1f ms (%ld entries); the same query: raw SQLite %.1f ms (%ld), "
                    "sqlite3 tool %.1f ms (process included); a full scan for them: raw SQLite %.1f ms (%ld); "
                    "target < 200 ms\n",
                    Median(program), foundProgram, Median(raw), foundRaw, Median(tool), Median(scan), foundScan);

        // Single prints first, for the road's own time per mailer.
        const long singles = 5;
        auto* print = window.findChild<QPushButton*>(QStringLiteral("btnPrint"));
        const auto singleStart = Clock::now();
        for (long i = 0; i < singles; ++i) print->click();
        const double singleMs = Ms(Clock::now() - singleStart) / static_cast<double>(singles);

        window.findChild<QAction*>(QStringLiteral("miBatchOn"))->trigger();
        messages.Clear();
        const long before = PdfCount(pdfs);
        const auto batchStart = Clock::now();
        window.findChild<QAction*>(QStringLiteral("miPrintBatch"))->trigger();
        const double batchMs = Ms(Clock::now() - batchStart);
        const long printed = PdfCount(pdfs) - before;
        std::printf("Print Batch to PDF: %ld mailers in %.0f ms (%.1f ms each); single print road %.1f ms each\n",
                    printed, batchMs, batchMs / static_cast<double>(std::max(1L, printed)), singleMs);

        long left = 0;
        ProgramSearch(gLogDB, left);
        for (const ui::MessageRequest& m : messages.Shown())
            if (m.kind == ui::MsgKind::Error) std::printf("error: %s\n", m.text.c_str());
        if (foundProgram != batch || foundRaw != batch || foundScan != batch || printed != batch || left != 0) {
            std::printf("warning: expected %ld entries found and printed, and none left (left %ld)\n", batch, left);
            status = 1;
        }
        window.close();
    }
    if (removeFolder) std::filesystem::remove_all(folder);
    return status;
}
