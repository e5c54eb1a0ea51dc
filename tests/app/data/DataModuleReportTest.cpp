// The project's reports over the log as the data module holds it: rows
// written through edstLog, read through edsqLog as the log window left it
// (all rows, or a filtered WHERE), laid out by the page writer.
#include "app/data/ShippedFiles.h"
#include "app/data/U_dmSendoPro.h"
#include "platform/print/QtPrintDevice.h"
#include "platform/print/RecordingPrintDevice.h"
#include "platform/rtl/DateUtils.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using print::RecordingPrintDevice;

std::string SourceRoot()
{
    const char* source = std::getenv("SENDORA_SOURCE_DIR");
    return source != nullptr && *source != '\0' ? source : SENDORA_SOURCE_ROOT;
}

struct LogRow {
    int day;
    const char* mailer;
    const char* to;
    const char* zip;
    const char* total;
    const char* department;
};

class DataModuleReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::copy_file(fs::path(SourceRoot()) / "platform/report/Sendo3pro.rpf", dir / "Sendo3pro.rpf");
        fs::create_directories(dir / "Log");
        dm.SetProgramFolder(dir.str());
        dm.EnsureTable(logFolder(), "Log37");
        dm.edstLog->SetDatabaseName(logFolder());
        dm.edstLog->Open();
        for (const LogRow& row : rows) {
            dm.edstLog->Append();
            Set("DateTime")->SetAsDateTime(rtl::EncodeDate(2026, 12, row.day) + rtl::EncodeTime(10, 30, 0));
            Set("MailerNum")->SetAsString(row.mailer);
            Set("ToAddress1")->SetAsString(row.to);
            Set("ToZip")->SetAsString(row.zip);
            Set("Total")->SetAsString(row.total);
            Set("Department")->SetAsString(row.department);
            Set("Result")->SetAsString("None");
            dm.edstLog->Post();
        }
        dm.edstLog->Close();
    }

    db::TField* Set(const char* name) { return dm.edstLog->FieldByName(name); }
    std::string logFolder() const { return (dir / "Log").string(); }

    void OpenLog(const std::string& sql)
    {
        dm.edsqLog->Close();
        dm.edsqLog->SetDatabaseName(logFolder());
        dm.edsqLog->SetSQLText(sql);
        dm.edsqLog->Open();
    }

    void Run(print::PrintDevice& device, const std::string& report)
    {
        dm.RpSystem1.SetDefaultDest(report::rdPrinter);
        dm.RpSystem1.SetSystemSetups(0);
        dm.RpSystem1.SetPrinterDevice(&device);
        dm.RpProject1.SetParam("MyTime", "Date Printed: 12/07/26 9:30:00 AM");
        dm.RpProject1.ExecuteReport(report);
    }

    testsupport::TempDir dir;
    // The project is shipped from the test's folder.
    ScopedShippedFolders shipped{{dir.str()}};
    TdmSendoPro dm;
    const std::vector<LogRow> rows{
        {3, "9407 1000 0000 0000 0003 33", "Carol Third", "62701", "8.10", "Legal"},
        {1, "9407 1000 0000 0000 0001 11", "Alice First", "00501", "4.64", "Legal"},
        {2, "9407 1000 0000 0000 0002 22", "Bob Second", "10001-2345", "2.40", "Sales"},
    };
};

}  // namespace

TEST_F(DataModuleReport, ProjectReportPrintsTheLogRowsInTheirColumns)
{
    OpenLog("select * from Log37 order by DATETIME");
    // The query's fields keep their declared order, and the mailer number
    // its whole 27-character display form.
    EXPECT_EQ(dm.edsqLog->Fields()[0]->FieldName(), "DateTime");
    EXPECT_EQ(dm.edsqLog->FieldByName("MailerNum")->AsString(), "9407 1000 0000 0000 0001 11");
    std::vector<std::string> names;
    dm.RpProject1.GetReportList(names, true);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), "Mailers by Date");

    RecordingPrintDevice device(100, 100);
    device.SetCharWidth(5);  // every text fits its column at its own size
    Run(device, "MailersbyDate");
    EXPECT_EQ(device.PagesPrinted(), 1);
    EXPECT_TRUE(device.FindText("Certified Mailers by Date"));
    EXPECT_TRUE(device.FindText("Date Printed: 12/07/26 9:30:00 AM"));
    EXPECT_TRUE(device.FindText("Total Count: 3   Total Fees: 15.14"));

    // Rows follow the query's order, one line each; every column keeps its x.
    const auto first = device.FindText("9407 1000 0000 0000 0001 11");
    const auto second = device.FindText("9407 1000 0000 0000 0002 22");
    const auto third = device.FindText("9407 1000 0000 0000 0003 33");
    ASSERT_TRUE(first && second && third);
    EXPECT_LT(first->y, second->y);
    EXPECT_LT(second->y, third->y);
    EXPECT_EQ(first->x, third->x);
    const auto to = device.FindText("Alice First");
    const auto zip = device.FindText("00501");
    ASSERT_TRUE(to && zip);
    EXPECT_EQ(to->y, first->y);
    EXPECT_EQ(zip->y, first->y);
    EXPECT_LT(first->x, to->x);
    EXPECT_LT(to->x, zip->x);
    EXPECT_EQ(device.FindText("Bob Second")->x, to->x);
    // The date column shows the log's time stamp in the program's date form.
    bool dateShown = false;
    for (const auto& call : device.CallsOf(RecordingPrintDevice::Op::TextOut))
        if (call.y == first->y && call.x < first->x && call.text.find("12/01/26") != std::string::npos) dateShown = true;
    EXPECT_TRUE(dateShown);
}

TEST_F(DataModuleReport, AFilteredLogPrintsOnlyItsRows)
{
    OpenLog("select * from Log37 where Department = 'Legal' order by DATETIME");
    RecordingPrintDevice device(100, 100);
    Run(device, "MailersbyDate");
    EXPECT_TRUE(device.FindText("Alice First"));
    EXPECT_TRUE(device.FindText("Carol Third"));
    EXPECT_FALSE(device.FindText("Bob Second"));
    EXPECT_TRUE(device.FindText("Total Count: 2   Total Fees: 12.74"));

    // A closed log is an error of the run, not an empty report.
    dm.edsqLog->Close();
    RecordingPrintDevice none(100, 100);
    EXPECT_ANY_THROW(Run(none, "MailersbyDate"));
    EXPECT_EQ(none.PagesPrinted(), 0);
}

TEST_F(DataModuleReport, PrintedToPdfTheTextsStandInTheirColumns)
{
    REQUIRE_TOOLS("pdftotext");
    testsupport::EnsureQtApp();
    OpenLog("select * from Log37 order by DATETIME");
    const std::string pdf = (dir / "report.pdf").string();
    auto device = print::QtPrintDevice::ForPdf(pdf, 300);
    Run(*device, "MailersbyDate");
    device.reset();
    const std::string text = testsupport::RunCommand("pdftotext -layout '" + pdf + "' -").output;

    std::istringstream lines(text);
    std::vector<std::string> rowsSeen;
    for (std::string line; std::getline(lines, line);)
        if (line.find("9407 1000") != std::string::npos) rowsSeen.push_back(line);
    ASSERT_EQ(rowsSeen.size(), 3u) << text;
    const std::size_t mailerColumn = rowsSeen[0].find("9407 1000");
    for (const std::string& line : rowsSeen) EXPECT_EQ(line.find("9407 1000"), mailerColumn) << text;
    EXPECT_LT(rowsSeen[0].find("12/01/26"), mailerColumn) << text;
    EXPECT_GT(rowsSeen[0].find("Alice First"), mailerColumn) << text;
    EXPECT_GT(rowsSeen[0].find("4.64"), rowsSeen[0].find("00501")) << text;
    EXPECT_NE(text.find("Total Fees: 15.14"), std::string::npos) << text;
}
