// Address import and the log export against the sqlite3 tool, each pair
// measured in the same run on the same data:
//  - 100,000 addresses (quoted commas, doubled quotes, accents) imported as
//    the program does it: the file read into the tick grid, every row
//    ticked, "Add to Database" adding them in one transaction; beside
//    `sqlite3 .import --csv` of the same file into a fresh table
//    (target: under 3x);
//  - the log of 1,000,000 rows exported as "caption = value" lines beside
//    `sqlite3 -line` of the same select on the same table to a file
//    (target: under 2x), with the process's peak memory before and after
//    the export, and its own (anonymous) memory sampled during it (target:
//    flat).
// The log rows are made by a child run of this program ("--fill"), so the
// peak memory is the export's own.
// Usage: text_files_bench [addresses] [log rows]   (defaults 100000 1000000)

#include "bench/app/AppBench.h"

#include "app/addresses/U_AddressText.h"
#include "app/addresses/U_TextFiles.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "app/log/U_LogExport.h"
#include "platform/rtl/CodePages.h"
#include "platform/ui/MessageService.h"

#include <QApplication>

#include <algorithm>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using appbench::Clock;
using appbench::PeakMb;
using appbench::Quote;
using appbench::Since;
using appbench::Timed;
double Shell(const std::string& command)
{
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return Since(start);
}

void Report(const char* what, double ours, double tool, double targetRatio)
{
    std::printf("%-40s %8.3f s  sqlite3 %8.3f s  ratio %5.2f  target < %.0fx %s\n", what, ours, tool, ours / tool,
                targetRatio, ours / tool < targetRatio ? "" : "MISSED");
}

int FillLog(int argc, char** argv, const std::string& home, long rows)
{
    QCoreApplication app(argc, argv);  // the program's folders are found from it
    gAppPath = home;
    ResetSettingsToDefaults();
    fs::create_directories(gLogDB);
    TInstalledDataModule data(home);
    data.Module().EnsureTable(gLogDB, "Log37");
    TEdsQuery& query = *data.Module().edsqLog2;
    query.SetDatabaseName(gLogDB);
    query.SetSQLText(
        "insert into Log37 (DateTime, MailerNum, CustID, SerialNum, ToAddress1, ToAddress2, ToCity, ToState, ToZip, "
        "YourAddress1, YourCity, YourState, YourZip, Postage, Certified, Return, Restricted, Total, Department, "
        "ProcessedBy, RE, Comment, WishRest, Batch, Result) "
        "with recursive k(i) as (select 1 union all select i + 1 from k where i < " + std::to_string(rows) + ") "
        "select strftime('%Y-%m-%d %H:%M:%S', 1500000000 + i * 60, 'unixepoch') || '.000', "
        "'9214 7123 4567 8' || substr('000' || (i % 1000), -3) || ' ' || substr('0000' || (i % 10000), -4) || ' 12', "
        "'123456789', i, 'Recipient ' || i, 'Suite ' || (i % 500), 'Springfield', 'IL', '62701', 'Sender Inc', "
        "'Chicago', 'IL', '60601', '4.10', '4.40', '3.55', '', '12.05', 'Legal', 'Clerk', 'Lease', 'sent', 0, 0, "
        "'None' from k");
    query.ExecSQL();
    return 0;
}

// `count` address lines in Windows-1252, every fifth with a quoted comma and
// a doubled quote, every seventh with an accent.
void WriteAddresses(const fs::path& file, long count)
{
    std::string text;
    for (long i = 1; i <= count; ++i) {
        TAddressFieldTexts fields{"Customer " + std::to_string(i), std::to_string(i % 900 + 1) + " Main Street",
                                  i % 5 == 0 ? "Suite 4, \"Back\" Door" : "", "", i % 7 == 0 ? "Köln" : "Springfield",
                                  "IL", "6270" + std::to_string(i % 10)};
        text += rtl::Utf8ToAnsi(AddressLine(fields)) + "\r\n";
    }
    std::ofstream(file, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--fill") return FillLog(argc, argv, argv[2], std::atol(argv[3]));
    const long addresses = argc > 1 ? std::atol(argv[1]) : 100000;
    const long logRows = argc > 2 ? std::atol(argv[2]) : 1000000;
    if (!appbench::HaveTool()) return 1;
    const fs::path home = fs::temp_directory_path() / ("text_files_bench_" + std::to_string(::getpid()));
    fs::create_directories(home);
    auto start = Clock::now();
    if (std::system((Quote(argv[0]) + " --fill " + Quote(home.string()) + " " + std::to_string(logRows)).c_str()) != 0)
        return 1;
    std::printf("filled %ld log rows in %.1f s\n", logRows, Since(start));

    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SENDORA_HOME", home.c_str(), 1);
    QApplication app(argc, argv);
    gAppPath = home.string();
    ResetSettingsToDefaults();
    ui::ScriptedMessages messages;
    TInstalledDataModule data(home.string());

    char what[64];
    // Each figure is the best of a few runs, ours and the tool's alike: the
    // machine is shared, and the best run is the one least disturbed.
    // ---- log export, first, so its peak memory is its own
    const fs::path listing = home / "log.txt", toolListing = home / "log_sqlite3.txt";
    const double before = PeakMb(), ownBefore = appbench::StatusMb("RssAnon:"),
                 filesBefore = appbench::StatusMb("RssFile:");
    appbench::MemorySampler sampler;
    double exportTime = 1e9, exportTool = 1e9;
    for (int run = 0; run < 2; ++run) {
        fs::remove(listing);
        TTextExportResult exported;
        exportTime = std::min(exportTime, Timed([&] {
            exported = ExportLog(*data.Module().edsqLog, gLogDB, listing.string());
        }));
        if (exported.Rows != logRows) {
            std::fprintf(stderr, "%lld rows exported\n", static_cast<long long>(exported.Rows));
            return 1;
        }
        exportTool = std::min(exportTool, Shell("sqlite3 -line " + Quote((fs::path(gLogDB) / "Log37.edt").string()) +
                                                " 'select * from Log37 order by DateTime' > " +
                                                Quote(toolListing.string())));
    }
    sampler.Stop();
    const double after = PeakMb();
    std::snprintf(what, sizeof what, "export of %ld log rows", logRows);
    Report(what, exportTime, exportTool, 2);
    std::printf("%-40s %8.1f MB before, %.1f MB after (%.0f MB and %.0f MB of text written)\n", "peak resident memory",
                before, after, fs::file_size(listing) / 1048576.0, fs::file_size(toolListing) / 1048576.0);
    // The resident figure counts the pages of the log's table file that the
    // result reads through a mapping; the program's own memory is the rest.
    std::printf("%-40s %8.1f MB before, %.1f MB at most during the exports (target: flat)\n",
                "own memory (anonymous pages)", ownBefore, sampler.PeakOwnMb());
    std::printf("%-40s %8.1f MB before, %.1f MB at most during the exports\n", "mapped file pages (libraries, table)",
                filesBefore, sampler.PeakMappedMb());
    fs::remove(listing);
    fs::remove(toolListing);

    // ---- address import
    const fs::path csv = home / "addresses.csv";
    WriteAddresses(csv, addresses);
    double importTime = 1e9, importTool = 1e9;
    for (int run = 0; run < 3; ++run) {
        gAddressDB = (home / ("Addresses" + std::to_string(run))).string();
        fs::create_directories(gAddressDB);
        data.Module().EnsureTable(gAddressDB, "Address");
        std::size_t added = 0;
        importTime = std::min(importTime, Timed([&] {
            TF_TextFiles grid(1);
            grid.AddAddressRows(ReadAddressFile(csv.string()));
            grid.ToggleTick(0);
            grid.btnAddtoDBClick();
            added = grid.Added();
        }));
        if (added != static_cast<std::size_t>(addresses)) {
            std::fprintf(stderr, "%zu addresses added: %s\n", added, messages.Last().text.c_str());
            return 1;
        }
        const fs::path plain = home / ("plain" + std::to_string(run) + ".db");
        Shell("sqlite3 " + Quote(plain.string()) +
              " 'create table Address (Address1 text, Address2 text, Address3 text, Address4 text, City text, "
              "State text, Zip text)'");
        importTool = std::min(importTool,
                              Shell("sqlite3 " + Quote(plain.string()) + " '.import --csv " + csv.string() + " Address'"));
    }
    std::snprintf(what, sizeof what, "import of %ld addresses", addresses);
    Report(what, importTime, importTool, 3);
    fs::remove_all(home);
    return 0;
}
