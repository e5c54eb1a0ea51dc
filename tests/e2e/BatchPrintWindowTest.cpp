// Batch entries through the real main window: logged without a number,
// printed together later to PDF, cleared; checked with sqlite3, pdftotext and
// zbarimg.

#include "tests/e2e/E2EWindow.h"

#include "app/data/U_dmSendoPro.h"
#include "app/printing/U_PrinterSetup.h"
#include "dbaccess/edstable.h"

#include <QAction>
#include <QCheckBox>

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace e2e {
namespace {

const char* const kAdded = "Record has been added to the Batch File.";
const char* const kNoRecords = "There are no records in the Batch file.";

class BatchPrint : public MainWindowTest {
protected:
    void BatchOn() { Child<QAction>("miBatchOn")->trigger(); }
    void PrintBatch() { Child<QAction>("miPrintBatch")->trigger(); }
    void LabelMode() { Child<QCheckBox>("CBReturn")->setChecked(false); }

    std::vector<std::string> Infos() const
    {
        std::vector<std::string> out;
        for (const ui::MessageRequest* r : Shown(ui::MsgKind::Information)) out.push_back(r->text);
        return out;
    }
    std::vector<std::string> Errors() const
    {
        std::vector<std::string> out;
        for (const ui::MessageRequest* r : Shown(ui::MsgKind::Error)) out.push_back(r->text);
        return out;
    }
    int BatchCount() const { return std::stoi(SqlValue(folder.Log(), "select count(*) from Log37 where Batch = 1")); }
    std::vector<std::string> NumbersTwice() const
    {
        return SqlRows(folder.Log(),
                       "select MailerNum from Log37 where MailerNum is not null group by MailerNum having count(*) > 1");
    }
};

TEST_F(BatchPrint, ThreeEntriesPrintAsOneLabelJobNumberedInTurnThenTheBatchIsEmpty)
{
    REQUIRE_TOOLS("sqlite3", "pdftotext", "pdfimages", "zbarimg");
    Start();
    BatchOn();
    LabelMode();
    for (const char* re : {"First", "Second", "Third"}) {
        Child<QLineEdit>("editRe")->setText(re);
        Print();
    }
    EXPECT_EQ(Infos(), (std::vector<std::string>{kAdded, kAdded, kAdded}));
    EXPECT_EQ(SqlRows(folder.Log(), "select Batch, MailerNum is null, SerialNum is null, CustID is null, "
                                    "DateTime is null, RE from Log37 order by LID"),
              (std::vector<std::string>{"1|1|1|1|1|First", "1|1|1|1|1|Second", "1|1|1|1|1|Third"}));
    EXPECT_EQ(folder.Serial(), "0000041");
    EXPECT_TRUE(PdfFiles(folder.Pdfs()).empty());

    messages.Clear();
    PrintBatch();
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    ASSERT_FALSE(Infos().empty());
    EXPECT_EQ(Infos().back(), "3 Mailers from Batch has been sent to printer.\n\r\n\rFirst Mailer Number: " +
                                  kNumber41 + "\n\rLast Mailer Number: " + kNumber43);
    EXPECT_EQ(folder.Serial(), "0000044");
    EXPECT_EQ(SqlRows(folder.Log(), "select Batch, SerialNum, MailerNum, CustID, DateTime is not null, RE "
                                    "from Log37 order by LID"),
              (std::vector<std::string>{"0|41|" + kNumber41 + "|123456789|1|First",
                                        "0|42|" + kNumber42 + "|123456789|1|Second",
                                        "0|43|" + kNumber43 + "|123456789|1|Third"}));

    // One job: one file, its three cells carrying the three logged numbers.
    const auto pdfs = PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 1u);
    const std::string text = PdfText(pdfs[0]);
    for (const std::string& number : {kNumber41, kNumber42, kNumber43})
        EXPECT_NE(text.find(number), std::string::npos) << number << " in\n" << text;
    const auto codes = PdfBarcodes(pdfs[0], folder.home / "scratch");
    for (const std::string& number : {kNumber41, kNumber42, kNumber43})
        EXPECT_TRUE(codes.count(Scanned("12345", number))) << "barcode of " << number;
    // The label cell moved on three times.
    EXPECT_EQ(Child<QLineEdit>("EDPosRow")->text(), "2");
    EXPECT_EQ(Child<QLineEdit>("EDPosCol")->text(), "1");

    messages.Clear();
    PrintBatch();
    EXPECT_EQ(Errors(), std::vector<std::string>{kNoRecords});
    EXPECT_EQ(folder.Serial(), "0000044");
    EXPECT_EQ(PdfFiles(folder.Pdfs()).size(), 1u);

    // A single print afterwards goes on from the batch's last serial.
    Child<QAction>("miBatchOff")->trigger();
    messages.Clear();
    Print();
    EXPECT_EQ(SqlValue(folder.Log(), "select SerialNum from Log37 where LID = 4"), "44");
    EXPECT_TRUE(NumbersTwice().empty());
}

// The key leaves the focus in the fee typed last: the entry is logged with
// that fee left as a click on the button leaves it, and printed so later.
TEST_F(BatchPrint, PrintByItsKeyLogsTheFeeInTheFocusAsLeft)
{
    REQUIRE_TOOLS("sqlite3", "pdftotext");
    Start();
    BatchOn();
    Activate();
    auto* fee = Child<QLineEdit>("editReturn");
    TypeAtEnd(fee, "ho");
    PressAlt(Qt::Key_P);
    // The button's own key, shown on it, does the same.
    Child<QLineEdit>("editRe")->setText("By its own key");
    fee->setFocus();
    fee->selectAll();
    QTest::keyClicks(fee, "1.85ho");
    PressAlt(Qt::Key_B);
    EXPECT_EQ(Infos(), (std::vector<std::string>{kAdded, kAdded}));
    EXPECT_EQ(SqlRows(folder.Log(), "select Batch, Return, Total, RE from Log37 order by LID"),
              (std::vector<std::string>{"1||2.79|Lease", "1||2.79|By its own key"}));
    EXPECT_EQ(fee->text().toStdString(), " ");

    messages.Clear();
    PrintBatch();
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    const auto pdfs = PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 2u);
    for (const auto& pdf : pdfs) {
        const std::string page = PdfText(pdf);
        EXPECT_EQ(page.find("1.85ho"), std::string::npos) << page;
        EXPECT_NE(page.find("$ 2.79"), std::string::npos) << page;
    }
}

TEST_F(BatchPrint, PrinterFailingOnTheSecondEntryNeverIssuesANumberTwice)
{
    REQUIRE_TOOLS("sqlite3", "pdftotext", "pdfimages", "zbarimg");
    Start();
    BatchOn();
    for (int i = 0; i < 3; ++i) Print();

    // Whole forms, each its own PDF file named by time and number: a folder
    // where the second entry's file would go makes that print fail.
    std::filesystem::create_directories(folder.Pdfs());
    const std::time_t now = std::time(nullptr);
    for (std::time_t t = now - 2; t < now + 60; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        std::filesystem::create_directories(PdfFileName(folder.Pdfs(), local, kNumber42));
    }
    messages.Clear();
    PrintBatch();

    ASSERT_EQ(Errors().size(), 1u);
    const std::string error = Errors().front();
    EXPECT_NE(error.find("cannot be written"), std::string::npos) << error;
    EXPECT_NE(error.find("1 printed and logged: " + kNumber41), std::string::npos) << error;
    EXPECT_NE(error.find("The Mailer Number " + kNumber42 + " was skipped"), std::string::npos) << error;
    for (const std::string& info : Infos()) EXPECT_EQ(info.find("from Batch has been sent"), std::string::npos);
    EXPECT_EQ(SqlRows(folder.Log(), "select LID, Batch, SerialNum, MailerNum from Log37 order by LID"),
              (std::vector<std::string>{"1|0|41|" + kNumber41, "2|1||", "3|1||"}));
    EXPECT_EQ(folder.Serial(), "0000043");  // 42 went to the page that failed
    EXPECT_FALSE(dmSendoPro->edstMailerNum->Active());

    // The printer works again: the rest is printed with fresh numbers.
    for (const auto& entry : std::filesystem::directory_iterator(folder.Pdfs()))
        if (entry.is_directory()) std::filesystem::remove(entry.path());
    messages.Clear();
    PrintBatch();
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_EQ(BatchCount(), 0);
    EXPECT_EQ(SqlRows(folder.Log(), "select SerialNum from Log37 order by LID"),
              (std::vector<std::string>{"41", "43", "44"}));
    EXPECT_TRUE(NumbersTwice().empty());
    EXPECT_EQ(folder.Serial(), "0000045");
    EXPECT_EQ(PdfFiles(folder.Pdfs()).size(), 3u);
}

TEST_F(BatchPrint, EachEntryPrintsWithThePriorityItWasLoggedWith)
{
    REQUIRE_TOOLS("sqlite3", "pdftotext", "pdfimages", "zbarimg");
    Start();
    BatchOn();
    auto* priority = Child<QCheckBox>("cbPriority");
    priority->setChecked(true);
    Child<QLineEdit>("editpriority")->setText("9.35");
    window->editpriorityExit();
    Child<QLineEdit>("editRe")->setText("Priority");
    Print();
    priority->setChecked(false);
    Child<QLineEdit>("editRe")->setText("Plain");
    Print();
    ASSERT_EQ(SqlRows(folder.Log(), "select Total from Log37 order by LID"),
              (std::vector<std::string>{"13.99", "4.64"}));

    // The switch on screen now says the opposite of both entries.
    priority->setChecked(true);
    messages.Clear();
    PrintBatch();
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_TRUE(priority->isChecked());

    const std::string priorityNumber = "9202 7123 4567 8900 0004 16";
    EXPECT_EQ(SqlRows(folder.Log(), "select RE, MailerNum from Log37 order by LID"),
              (std::vector<std::string>{"Priority|" + priorityNumber, "Plain|" + kNumber42}));
    const auto pdfs = PdfFiles(folder.Pdfs());
    ASSERT_EQ(pdfs.size(), 2u);
    for (std::size_t i = 0; i < pdfs.size(); ++i) {
        const std::string text = PdfText(pdfs[i]);
        const bool first = text.find("RE: Priority") != std::string::npos;
        const std::string number = first ? priorityNumber : kNumber42;
        SCOPED_TRACE(number);
        EXPECT_NE(text.find(number), std::string::npos);
        EXPECT_EQ(text.find("9.35") != std::string::npos, first) << text;
        EXPECT_TRUE(PdfBarcodes(pdfs[i], folder.home / "scratch").count(Scanned("12345", number)));
    }
}

TEST_F(BatchPrint, ClearBatchDeletesOnlyBatchEntriesAfterYesAndNotWhileTheCounterIsHeld)
{
    REQUIRE_TOOLS("sqlite3", "pdftotext", "pdfimages", "zbarimg");
    Start();
    for (int i = 0; i < 5; ++i)
        SqlRows(folder.Log(), "insert into Log37 (MailerNum, SerialNum, Batch) values ('9214 7123 4567 8900 000" +
                                  std::to_string(i) + " 00', " + std::to_string(i) + ", 0)");
    BatchOn();
    Print();
    Print();
    ASSERT_EQ(folder.LogCount(), 7);

    messages.Clear();
    messages.Answer(ui::mrNo);
    Child<QAction>("miClearBatch")->trigger();
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Confirmation);
    EXPECT_EQ(messages.Last().text, "Are you sure you want to clear the Batch file?");
    EXPECT_EQ(folder.LogCount(), 7);

    // Another station printing holds the counter: nothing is deleted under it.
    {
        TEdsTable other;
        other.SetDatabaseName(folder.home.str());
        other.SetTableName("MailerNum");
        other.SetExclusive(true);
        other.Open();
        messages.Answer(ui::mrYes);
        Child<QAction>("miClearBatch")->trigger();
        EXPECT_EQ(Errors().size(), 1u);
        EXPECT_EQ(folder.LogCount(), 7);
    }

    messages.Answer(ui::mrYes);
    Child<QAction>("miClearBatch")->trigger();
    EXPECT_EQ(folder.LogCount(), 5);
    EXPECT_EQ(BatchCount(), 0);
    EXPECT_FALSE(dmSendoPro->edstMailerNum->Active());
    messages.Clear();
    PrintBatch();
    EXPECT_EQ(Errors(), std::vector<std::string>{kNoRecords});
}

}  // namespace
}  // namespace e2e
