// A custom log report of 10,000 rows (date, mailer number, addressee, total)
// laid out by the data module and written to PDF, beside the sqlite3 tool
// writing the same columns of the same file as text in the same run.
// Target: under 5 s and under 200 MB peak resident memory.
// Usage: custom_report_bench [rows]   (default 10000)

#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "bench/app/AppBench.h"
#include "platform/print/QtPrintDevice.h"

#include <QApplication>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace appbench;

void Exec(TEdsQuery& query, const std::string& sql)
{
    query.Close();
    query.SetSQLText(sql);
    query.ExecSQL();
}

}  // namespace

int main(int argc, char** argv)
{
    const long rows = argc > 1 ? std::atol(argv[1]) : 10000;
    if (!HaveTool()) return 1;
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("custom_report_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SENDORA_HOME", home.c_str(), 1);
    QApplication app(argc, argv);
    gAppPath = home.string();
    ResetSettingsToDefaults();
    std::filesystem::create_directories(gLogDB);
    TInstalledDataModule data(home.string());
    TdmSendoPro& dm = data.Module();
    dm.EnsureTable(gLogDB, "Log37");
    TEdsQuery& query = *dm.edsqLog2;
    query.SetDatabaseName(gLogDB);
    Exec(query, "insert into Log37 (DateTime, MailerNum, ToAddress1, Total, Result) "
                "with recursive k(i) as (select 1 union all select i + 1 from k where i < " +
                    std::to_string(rows) + ") "
                "select strftime('%Y-%m-%d %H:%M:%S', 1500000000 + i * 60, 'unixepoch') || '.000', "
                "'9214 7123 4567 8900 ' || i, 'Recipient ' || i, printf('%.2f', (i % 2000) / 100.0), 'None' from k");
    int order = 0;
    for (const char* field : {"DateTime", "MailerNum", "ToAddress1", "Total"})
        Exec(query, "insert into Report_Detail (ReportName, Field_Name, FieldOrder) values('Bench', '" +
                        std::string(field) + "', " + std::to_string(++order) + ")");

    const std::string pdf = (home / "report.pdf").string();
    const auto start = Clock::now();
    dm.edsqLog->SetDatabaseName(gLogDB);
    dm.edsqLog->SetSQLText("select * from Log37 order by DATETIME");
    dm.edsqLog->Open();
    query.Close();
    query.SetSQLText("select * from Report_Detail where REPORTNAME = 'Bench' order by FieldOrder");
    query.Open();
    auto device = print::QtPrintDevice::ForPdf(pdf, 300);
    dm.RpSystem1.SetDefaultDest(report::rdPrinter);
    dm.RpSystem1.SetPrinterDevice(device.get());
    dm.RpSystem1.SystemPrinter().SetOrientation(report::poLandscape);
    dm.RpSystem1.Execute();
    device.reset();
    const double ours = Since(start);
    const double peak = PeakMb();

    const std::string file = (std::filesystem::path(gLogDB) / "Log37.edt").string();
    const double tool = Tool(file, "select DateTime, MailerNum, ToAddress1, Total from Log37 order by DATETIME");
    std::printf("%ld rows to PDF (%.0f KB)  ours %.3f s, peak %.0f MB  sqlite3 text %.3f s  target < 5 s, < 200 MB %s\n",
                rows, std::filesystem::file_size(pdf) / 1024.0, ours, peak, tool,
                ours < 5 && peak < 200 ? "ok" : "MISSED");
    std::filesystem::remove_all(home);
    return ours < 5 && peak < 200 ? 0 : 1;
}
