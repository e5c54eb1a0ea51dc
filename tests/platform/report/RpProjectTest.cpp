#include "platform/report/RpProject.h"

#include "platform/print/RecordingPrintDevice.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using print::RecordingPrintDevice;
using Op = RecordingPrintDevice::Op;
using namespace report;

const char* const kProject =
    "# test project\r\n"
    "SENDORA REPORT PROJECT 1\r\n"
    "\r\n"
    "[Report]\r\n"
    "Name = Mailers by Date\r\n"
    "Title = Mailers on page {Page}\r\n"
    "column = DateTime | Date and Time | 1.4 | Left\r\n"
    "Column = MailerNum | Mailer Number | 2.0 | Center\r\n"
    "Column = Total | Total Fee | 0.8 | Right\r\n"
    "Footer = {MyTime}\r\n"
    "Count = Total Count\r\n"
    "Total = Total | Total Fees\r\n"
    "[report]\r\n"
    "Name = Wide  List\r\n"
    "Orientation = landscape\r\n"
    "TitleFont = Arial | 20\r\n"
    "Font = Courier New | 9\r\n"
    "Column = ToAddress1 | To | 2.2 | left\r\n";

ReportProject Parse(const std::string& body) {
    return ParseProject("SENDORA REPORT PROJECT 1\n" + body, "Sendo3pro.rpf");
}

std::string ParseError(const std::string& body) {
    try {
        Parse(body);
    } catch (const EReportError& e) {
        return e.Message();
    }
    return "no error";
}

TEST(ProjectFileTest, ReadsReportsWithTheirDefaults) {
    const ReportProject project = ParseProject(std::string("\xEF\xBB\xBF") + kProject, "p.rpf");
    ASSERT_EQ(project.reports.size(), 2u);
    const ProjectReport& first = project.reports[0];
    EXPECT_EQ(first.connection, "RpDataSetConnection1");
    ASSERT_EQ(first.columns.size(), 3u);
    EXPECT_DOUBLE_EQ(first.columns[1].width, 2.0);
    EXPECT_EQ(first.columns[2].justify, pjRight);
    const ProjectReport& second = project.reports[1];
    EXPECT_EQ(second.orientation, poLandscape);
    EXPECT_EQ(second.titleFont.size, 20);
    EXPECT_EQ(second.headerFont.name, "Times New Roman");
    EXPECT_EQ(RunName(second.name), "WideList");
}

TEST(ProjectFileTest, FaultsNameTheLineAndWhatIsWrong) {
    EXPECT_NE(ParseError("[Report]\nName = A\nColumn = X | X | 1 | Left\nColour = red\n").find("line 5: unknown key"),
              std::string::npos);
    EXPECT_NE(ParseError("[Report]\nName = A\nColumn = X | X | wide | Left\n").find("line 4"), std::string::npos);
    EXPECT_NE(ParseError("[Report]\nName = A\nColumn = X | X | 1 | Middle\n").find("Left, Center or Right"),
              std::string::npos);
    EXPECT_NE(ParseError("[Report]\nName = A\n").find("line 2: the report \"A\" has no Column"), std::string::npos);
    EXPECT_NE(ParseError("Name = A\n").find("[Report] section must come first"), std::string::npos);
    EXPECT_NE(ParseError("[Report]\nName = Log List\nColumn = X | X | 1 | Left\n"
                         "[Report]\nName = LogList\nColumn = X | X | 1 | Left\n")
                  .find("second report runs under the name \"LogList\""),
              std::string::npos);
    EXPECT_THROW(ParseProject("", "p.rpf"), EReportError);
    // An empty project is a project.
    EXPECT_TRUE(ParseProject("# nothing yet\nSENDORA REPORT PROJECT 1\n", "p.rpf").reports.empty());
}

TEST(ProjectFileTest, TextsExpandPageAndParameters) {
    const std::map<std::string, std::string> params{{"MyTime", "Date Printed: 12/7/2026 9:30:00 AM"}};
    EXPECT_EQ(ExpandText("{MyTime}", params, 1), "Date Printed: 12/7/2026 9:30:00 AM");
    EXPECT_EQ(ExpandText("Page {Page} of log", params, 12), "Page 12 of log");
    EXPECT_EQ(ExpandText("[{Unknown}]", params, 1), "[]");
    EXPECT_EQ(ExpandText("open { brace", params, 1), "open { brace");
}

// The project shipped with the program reads, and names only log columns.
TEST(ProjectFileTest, ShippedProjectNamesOnlyLogColumns) {
    const ReportProject project = LoadProject(std::string(SENDORA_REPORT_SOURCE_DIR) + "/Sendo3pro.rpf");
    const std::set<std::string> logFields{
        "DateTime",   "MailerNum",    "CustID",       "SerialNum",    "ToAddress1", "ToAddress2",
        "ToAddress3", "ToAddress4",   "ToCity",       "ToState",      "ToZip",      "YourAddress1",
        "YourAddress2", "YourAddress3", "YourAddress4", "YourCity",   "YourState",  "YourZip",
        "Postage",    "Certified",    "Return",       "Restricted",   "Total",      "Department",
        "ProcessedBy", "RE",          "Comment",      "Batch",        "Result"};
    ASSERT_FALSE(project.reports.empty());
    for (const ProjectReport& r : project.reports) {
        double width = 0;
        for (const ProjectColumn& c : r.columns) {
            EXPECT_TRUE(logFields.count(c.field)) << r.name << ": " << c.field;
            width += c.width;
        }
        EXPECT_LE(width, (r.orientation == poLandscape ? 10.0 : 7.5) + 1e-9) << r.name;
        if (!r.totalField.empty()) {
            EXPECT_TRUE(logFields.count(r.totalField));
        }
    }
}

struct ProjectRun {
    testsupport::TempDir dir;
    RecordingPrintDevice device{100, 100};
    TRpSystem system;
    VectorRowSource rows;
    TRpDataSetConnection connection;
    TRpProject project;

    explicit ProjectRun(std::vector<std::vector<std::string>> data, const std::string& text = kProject)
        : rows({"DATETIME", "MailerNum", "Total", "ToAddress1"}, std::move(data)) {
        testsupport::WriteFile(dir / "Sendo3pro.rpf", text);
        system.SetDefaultDest(rdPrinter);
        system.SetPrinterDevice(&device);
        connection.SetDataSet(&rows);
        project.SetProjectFile((dir / "Sendo3pro.rpf").string());
        project.SetEngine(&system);
        project.AddConnection(connection);
    }
};

TEST(RpProjectTest, ListsReportsByFullOrRunName) {
    ProjectRun run({});
    std::vector<std::string> names{"stale"};
    run.project.Open();
    run.project.GetReportList(names, true);
    EXPECT_EQ(names, (std::vector<std::string>{"Mailers by Date", "Wide  List"}));
    run.project.GetReportList(names, false);
    EXPECT_EQ(names, (std::vector<std::string>{"MailersbyDate", "WideList"}));
    run.project.Close();
    EXPECT_FALSE(run.project.Active());
    // The program folder + "\" + the file name, as start-up sets it.
    run.project.SetProjectFile(run.dir.str() + "\\Sendo3pro.rpf");
    run.project.Open();
    EXPECT_TRUE(run.project.Active());

    TRpProject missing;
    missing.SetProjectFile((run.dir / "none.rpf").string());
    EXPECT_THROW(missing.Open(), EReportError);
    EXPECT_FALSE(missing.Active());
}

TEST(RpProjectTest, RunsAReportOverTheRowsWithParametersAndTotals) {
    ProjectRun run({{"12/01/26 10:00", "9400 1111", "4.64", "A"},
                    {"12/02/26 10:00", "9400 2222", " 2.40 ", "B"},
                    {"12/03/26 10:00", "9400 3333", "", "C"},
                    {"12/04/26 10:00", "9400 4444", "0.10", "D"}});
    run.project.Open();
    run.project.SetParam("MyTime", "Date Printed: 12/7/2026 9:30:00 AM");
    run.project.ExecuteReport("mailersbydate");
    const auto& d = run.device;
    EXPECT_EQ(d.PagesPrinted(), 1);
    EXPECT_TRUE(d.FindText("Mailers on page 1"));
    EXPECT_TRUE(d.FindText("Date Printed: 12/7/2026 9:30:00 AM"));
    EXPECT_TRUE(d.FindText("Page 1"));
    // Amounts are added in cents: 4.64 + 2.40 + 0.10, the blank as nothing.
    ASSERT_TRUE(d.FindText("Total Count: 4   Total Fees: 7.14"));
    EXPECT_EQ(d.FindText("Total Count: 4   Total Fees: 7.14")->x, 800 - 33 * 10);
    // Rows in the order the source gives them, each text in its column.
    const auto first = *d.FindText("9400 1111");
    const auto last = *d.FindText("9400 4444");
    EXPECT_LT(first.y, last.y);
    EXPECT_EQ(first.x, last.x);
    EXPECT_LT(d.FindText("12/01/26 10:00")->x, first.x);
    EXPECT_FALSE(d.FindText("A"));  // ToAddress1 is not a column of this report

    // The parameters outlive closing the project.
    run.project.Close();
    EXPECT_EQ(run.project.GetParam("MyTime"), "Date Printed: 12/7/2026 9:30:00 AM");
}

TEST(RpProjectTest, LongRunsBreakIntoPagesWithHeadersAndTotalsOnlyAtTheEnd) {
    std::vector<std::vector<std::string>> data;
    for (int i = 0; i < 150; ++i) data.push_back({"d", "n" + std::to_string(i), "1.01", "x"});
    ProjectRun run(data);
    run.project.ExecuteReport("MailersByDate");
    EXPECT_EQ(run.device.PagesPrinted(), 3);
    int headers = 0, titles = 0;
    for (const auto& call : run.device.CallsOf(Op::TextOut)) {
        headers += call.text == "Mailer Number";
        titles += call.text.rfind("Mailers on page ", 0) == 0;
    }
    EXPECT_EQ(headers, 3);
    EXPECT_EQ(titles, 3);
    EXPECT_TRUE(run.device.FindText("Mailers on page 3"));
    int totals = 0;
    for (const auto& call : run.device.CallsOf(Op::TextOut)) totals += call.text.find("Total Fees") != std::string::npos;
    EXPECT_EQ(totals, 1);
    EXPECT_TRUE(run.device.FindText("Total Count: 150   Total Fees: 151.50"));
    for (int i = 0; i < 150; ++i) EXPECT_TRUE(run.device.FindText("n" + std::to_string(i))) << i;
}

TEST(RpProjectTest, LandscapeReportUsesItsOwnOrientation) {
    ProjectRun run({{"d", "n", "1", "Someone"}});
    run.project.ExecuteReport("WideList");
    EXPECT_EQ(run.device.FindText("Someone")->font.angle, 900);
    EXPECT_EQ(run.device.FindText("Someone")->font.name, "Courier New");
    EXPECT_EQ(run.system.SystemPrinter().Orientation(), poPortrait);  // the custom reports' setting is left alone
}

TEST(RpProjectTest, FaultsAreReportedBeforeOrWhilePrintingAndEndTheDocument) {
    ProjectRun run({{"d", "n", "four dollars", "x"}});
    EXPECT_THROW(run.project.ExecuteReport("Unknown"), EReportError);
    // A number that is no number ends the report; the document is closed.
    EXPECT_THROW(run.project.ExecuteReport("MailersbyDate"), EReportError);
    EXPECT_FALSE(run.device.Printing());

    // A column the rows do not have stops the run before anything is printed.
    ProjectRun missingColumn({}, "SENDORA REPORT PROJECT 1\n[Report]\nName = R\nColumn = Comment | C | 1 | Left\n");
    try {
        missingColumn.project.ExecuteReport("R");
        FAIL() << "no error";
    } catch (const EReportError& e) {
        EXPECT_NE(e.Message().find("\"Comment\""), std::string::npos);
    }
    EXPECT_TRUE(missingColumn.device.Calls().empty());

    // A connection the project does not know, or one without rows.
    ProjectRun otherConnection({}, "SENDORA REPORT PROJECT 1\n[Report]\nName = R\nConnection = Addresses\n"
                                   "Column = Total | T | 1 | Left\n");
    EXPECT_THROW(otherConnection.project.ExecuteReport("R"), EReportError);
    ProjectRun noRows({});
    noRows.connection.SetDataSet(nullptr);
    EXPECT_THROW(noRows.project.ExecuteReport("MailersbyDate"), EReportError);
}

TEST(RpProjectTest, PageWithoutRoomForARowIsAnErrorNotEndlessPages) {
    ProjectRun run({{"d", "n", "1", "x"}},
                   "SENDORA REPORT PROJECT 1\n[Report]\nName = R\nTitleFont = Arial | 200\n"
                   "HeaderFont = Arial | 200\nFont = Arial | 200\nColumn = Total | T | 1 | Left\n");
    EXPECT_THROW(run.project.ExecuteReport("R"), EReportError);
    EXPECT_FALSE(run.device.Printing());
    EXPECT_LE(run.device.CallsOf(Op::NewPage).size(), 1u);
}

}  // namespace
