// The imports of older logs through the real main window and the real data
// module: edition 2.5 (its own columns and flags) and edition 3 Pro (a Log37),
// both made here by the table engine. What landed in the current log is read
// back with the sqlite3 tool.

#include "app/imports/U_ImportLog.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "app/dialogs/U_FileDialogs.h"
#include "app/main/U_About.h"
#include "app/main/U_Main.h"
#include "app/receipts/U_IncomingMailers.h"
#include "dbaccess/edsapi.h"
#include "dbaccess/edstable.h"
#include "dbfengine/xfcommon.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"
#include "tests/app/log/LogTestSupport.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr const char* k25Fields =
    "DateTime,TimeStamp; MailerNum,Char,30; SendAddress0,Char,50; SendAddress1,Char,50; SendAddress2,Char,50; "
    "SendAddress3,Char,50; SendCity,Char,35; SendState,Char,4; SendZip,Char,10; FromAddress0,Char,50; "
    "FromAddress1,Char,50; FromAddress2,Char,50; FromAddress3,Char,50; FromAddress4,Char,50; Postage,Char,15; "
    "Certified,Char,15; Special,Char,15; Restricted,Char,15; Return,Char,15; Total,Char,15; Department,Char,30; "
    "ProcessedBy,Char,30; RE,Char,30; Comment,Char,40; WishRest,Char,1; Batch,Char,1; Received,Char,1;";

using Row = std::map<std::string, std::string>;

class ImportLog : public logtest::LogFixture {
protected:
    ImportLog()
    {
        window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
        const maintest::DialogDismisser dismiss;
        window->show();
        while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        messages.Clear();
    }
    ~ImportLog() override
    {
        window->close();
        window.reset();
    }

    // Appends `rows` to a table, made first from `Fields` unless null (a
    // "DateTime" value is minutes into 2 March 2026, "" leaves it empty).
    static void WriteTable(const fs::path& file, const char* Fields, const std::vector<Row>& rows)
    {
        fs::create_directories(file.parent_path());
        TEdsTable table;
        if (Fields != nullptr) table.CreateTable(file.string(), ttEdsEDT, ANSI, 0, Fields);
        table.SetDatabaseName(file.parent_path().string());
        table.SetTableName(file.stem().string());
        table.Open();
        for (const Row& row : rows) {
            table.Append();
            for (const auto& [name, value] : row) {
                db::TField* field = table.FieldByName(name);
                if (name == "DateTime") {
                    if (!value.empty()) field->SetAsDateTime(rtl::EncodeDate(2026, 3, 2) + std::stoi(value) / 1440.0);
                } else if (field->DataType() == db::ftBoolean) {
                    field->SetAsBoolean(value == "1");
                } else {
                    field->SetAsString(value);
                }
            }
            table.Post();
        }
        table.Close();
    }

    // Runs an import command: Yes to the confirmation, `chosen` in the file dialog.
    void Import(const char* action, const fs::path& chosen)
    {
        messages.Clear();
        messages.Answer(ui::mrYes);
        ScopedOpenDialogHandler dialog([chosen](TOpenDialog& d) {
            d.FileName = chosen.string();
            return true;
        });
        window->findChild<QAction*>(action)->trigger();
    }

    // An edition 3 log written by python3-dbf (tests/app/imports/report3.py, `mode` as it names them).
    static void WriteReport3(const fs::path& file, const std::string& mode = "")
    {
        fs::create_directories(file.parent_path());
        const std::string script = std::string(SENDORA_SOURCE_DIR) + "/tests/app/imports/report3.py";
        ASSERT_EQ(testsupport::RunCommand("/usr/bin/python3 '" + script + "' '" + file.string() + "' " + mode).status, 0)
            << "python3-dbf could not write " << file;
    }

    std::string LastText() const { return messages.Count() > 0 ? messages.Last().text : std::string(); }
    int LogRows() const { return std::stoi(e2e::SqlValue(LogFile(), "select count(*) from Log37")); }

    std::unique_ptr<TF_Main> window;
};

}  // namespace

TEST_F(ImportLog, Edition25RowsAreRegroupedSplitAndFlaggedIntoTheLog)
{
    const fs::path old = home / "old25" / "log.edt";
    auto row = [](const char* minute, const char* number, std::array<const char*, 5> from) {
        Row r{{"DateTime", minute},       {"MailerNum", number},   {"SendAddress0", "Jane Roe"},
              {"SendCity", "Springfield"}, {"SendState", "IL"},     {"SendZip", "62701"},
              {"Postage", " 4.10 "},        {"Total", "11.95"},      {"Received", "N"},
              {"WishRest", ""},             {"Batch", ""}};
        for (std::size_t i = 0; i < 5; ++i) r["FromAddress" + std::to_string(i)] = from[i];
        return r;
    };
    Row first = row("10", "94071112062012345678", {"ACME", "1 Main St", "Springfield, IL 62701", "", ""});
    first["Received"] = "Y";
    first["WishRest"] = "X";
    first["Comment"] = std::string(40, 'c');
    Row second = row("20", "9207112345678900000012", {"Vaca Co", "VACAVILLE CA 95688", "", "", ""});
    Row third = row("", "12345", {"Inn", "CARMEL CA", "", "", ""});
    Row fourth = row("30", "  9407 1112 0620 1234 5678 ", {"Shop", "PORTLAND OR", "", "", ""});
    WriteTable(old, k25Fields, {first, second, third, fourth});

    Import("miImportPro25", old);
    ASSERT_FALSE(messages.Shown().empty());
    EXPECT_EQ(messages.Shown()[0].kind, ui::MsgKind::Confirmation);
    EXPECT_NE(messages.Shown()[0].text.find(gLogDB), std::string::npos);
    EXPECT_EQ(LastText(),
              "4 records have been imported to your Log file.\n"
              "1 of them had no readable date and was imported without one.");

    const auto rows = Sql("select MailerNum, ifnull(CustID,''), ifnull(SerialNum,''), YourAddress1, "
                          "ifnull(YourAddress2,''), ifnull(YourAddress3,''), YourCity, ifnull(YourState,''), "
                          "ifnull(YourZip,''), Postage, WishRest, Result, ifnull(length(Comment),0), "
                          "DateTime is null from Log37 order by LID");
    EXPECT_EQ(rows, (std::vector<std::string>{
                        "9407 1112 0620 1234 5678|||ACME|1 Main St||Springfield|IL|62701|4.10|1|Received|35|0",
                        "9207112345678900000012|12-345-6789|1|Vaca Co|||VACAVILLE|CA|95688|4.10|0|None|0|0",
                        "12345|||Inn|||CARMEL|CA||4.10|0|None|0|1",
                        "9407 1112 0620 1234 5678|||Shop|||PORTLAND|OR||4.10|0|None|0|0",
                    }));

    // A file of another name (case counts) is refused, and nothing more is imported.
    const fs::path upper = home / "old25b" / "LOG.EDT";
    fs::create_directories(upper.parent_path());
    fs::copy_file(old, upper);
    Import("miImportPro25", upper);
    EXPECT_EQ(LastText(), "Invalid Sendo Pro 2.5 log file.");
    Import("miImportPro25", home / "nowhere" / "log.edt");
    EXPECT_EQ(LastText(), "No Sendo Pro 2.5 log file exists in this location.");
    // A table without the 2.5 columns.
    WriteTable(home / "old25c" / "log.edt", "DateTime,TimeStamp; MailerNum,Char,30;", {{{"MailerNum", "1"}}});
    Import("miImportPro25", home / "old25c" / "log.edt");
    EXPECT_EQ(LastText(), "Invalid Sendo Pro 2.5 Log Database");
    EXPECT_EQ(LogRows(), 4);
}

// Five rows of a 3 Pro log, added out of date order, one of them a batch entry.
std::vector<Row> Pro3Rows()
{
    std::vector<Row> rows;
    for (const char* minute : {"50", "10", "40", "20", "30"})
        rows.push_back({{"DateTime", minute},
                        {"MailerNum", std::string("9214 7123 4567 8900 00") + minute + " 15"},
                        {"ToAddress1", std::string("To ") + minute},
                        {"Comment", std::string("O'Brien ") + minute},
                        {"Batch", std::string(minute) == "40" ? "1" : "0"}});
    return rows;
}

TEST_F(ImportLog, Pro3RowsComeInDateOrderIntoTheCurrentLogFolderAndNeverFromItself)
{
    const fs::path oldFolder = home / "old3";
    fs::create_directories(oldFolder);
    dm().EnsureTable(oldFolder.string(), "Log37");
    WriteTable(oldFolder / "Log37.edt", nullptr, Pro3Rows());

    // The log folder changed just before: the rows go to the new one.
    const std::string before = gLogDB;
    gLogDB = (home / "newlog").string();
    fs::create_directories(gLogDB);
    dm().EnsureTable(gLogDB, "Log37");
    AddRow(1, {{"MailerNum", "already here"}});

    Import("miImportPro3", oldFolder / "Log37.edt");
    EXPECT_EQ(LastText(), "5 records have been imported to your Log file.");
    EXPECT_EQ(Sql("select ToAddress1, Comment, Batch from Log37 where LID > 1 order by LID"),
              (std::vector<std::string>{"To 10|O'Brien 10|0", "To 20|O'Brien 20|0", "To 30|O'Brien 30|0",
                                        "To 40|O'Brien 40|1", "To 50|O'Brien 50|0"}));
    EXPECT_EQ(e2e::SqlValue(fs::path(before) / "Log37.edt", "select count(*) from Log37"), "0");

    // The current log itself is refused: it would read the rows it appends.
    Import("miImportPro3", LogFile());
    EXPECT_NE(LastText().find("current Log file"), std::string::npos);
    EXPECT_EQ(LogRows(), 6);
}

// Every column of a 3 Pro row arrives as it was: texts at their full width with
// letters outside ASCII, blanks inside and in front, empty columns left empty
// (not blank), logicals both ways, the serial, and a row without a date. The
// sqlite3 tool reads both logs, each column quoted so that NULL and '' differ.
TEST_F(ImportLog, Pro3ColumnsArriveExactlyAsStored)
{
    const fs::path oldFolder = home / "old3";
    fs::create_directories(oldFolder);
    dm().EnsureTable(oldFolder.string(), "Log37");
    Row full{{"DateTime", "30"}, {"SerialNum", "9999999"}, {"WishRest", "1"}, {"Batch", "0"}};
    std::string columns;
    for (const TLogColumn& column : kLogColumns) {
        if (std::string_view(column.Name) == "LID") continue;
        columns += std::string(columns.empty() ? "" : ", ") + "quote(" + column.Name + ")";
        if (column.Kind == TColumnKind::Char)  // "Ü€é" are three characters of the log's code page
            full[column.Name] = "\xC3\x9C\xE2\x82\xAC\xC3\xA9" + std::string(column.Width - 3, column.Name[0]);
    }
    const Row sparse{{"DateTime", "10"}, {"MailerNum", "1"}};
    const Row blanks{{"DateTime", "20"},  {"ToAddress1", "  lead  and inner"}, {"Comment", "O'Brien"},
                     {"WishRest", "0"},   {"Batch", "1"},                      {"SerialNum", "0"}};
    const Row undated{{"DateTime", ""}, {"MailerNum", "undated"}, {"Result", "None"}};
    WriteTable(oldFolder / "Log37.edt", nullptr, {full, sparse, blanks, undated});

    Import("miImportPro3", oldFolder / "Log37.edt");
    EXPECT_EQ(LastText(),
              "4 records have been imported to your Log file.\n"
              "1 of them had no readable date and was imported without one.");
    const auto source = e2e::SqlRows(oldFolder / "Log37.edt", "select " + columns + " from Log37 order by DateTime");
    ASSERT_EQ(source.size(), 4u);
    EXPECT_NE(source[3].find("'\xC3\x9C\xE2\x82\xAC\xC3\xA9MMMM"), std::string::npos) << source[3];
    EXPECT_EQ(Sql("select " + columns + " from Log37 order by LID"), source);
}

// A row the log cannot take rolls the whole import back; after the fault is
// gone, a second run brings every row in once.
TEST_F(ImportLog, ARowThatCannotBeWrittenImportsNothingAndASecondRunImportsEachRowOnce)
{
    const fs::path oldFolder = home / "old3";
    fs::create_directories(oldFolder);
    dm().EnsureTable(oldFolder.string(), "Log37");
    WriteTable(oldFolder / "Log37.edt", nullptr, Pro3Rows());
    {
        TEdsEntryPointsGuard guard;
        static int writes;
        writes = 0;
        EdsApi.EdsWriteRecord = [](EDSHANDLE cursor) -> UNSIGNED32 {
            if (++writes == 3) {
                ::EdsSetLastError(EDS_E_IO, reinterpret_cast<const UNSIGNED8*>("5209: disk full (injected)"));
                return EDS_E_IO;
            }
            return ::EdsWriteRecord(cursor);
        };
        Import("miImportPro3", oldFolder / "Log37.edt");
    }
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_EQ(LastText().rfind("Row 3 of the chosen log could not be written to your Log file, so nothing has been "
                               "imported.",
                               0),
              0u)
        << LastText();
    EXPECT_NE(messages.Last().details.find("disk full (injected)"), std::string::npos);
    EXPECT_EQ(LogRows(), 0);

    Import("miImportPro3", oldFolder / "Log37.edt");
    EXPECT_EQ(LastText(), "5 records have been imported to your Log file.");
    EXPECT_EQ(e2e::SqlValue(LogFile(), "select count(distinct MailerNum) from Log37"), "5");
    EXPECT_EQ(LogRows(), 5);
}

// Edition 3's dBase log, written by python3-dbf in code page 437: accented names come
// through as the same letters, a deleted row is imported like the others, a blank
// date imports without one, 29 February is kept. A truncated copy is a message (the
// program goes on) and imports nothing.
TEST_F(ImportLog, Edition3DbaseLogImportsEveryRowWithItsLettersAndDatesAndATruncatedOneNothing)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    const fs::path old = home / "Reports" / "report3.dbf";
    WriteReport3(old);

    // A truncated copy: the header promises four rows, the file ends inside the second.
    const fs::path cut = home / "cut" / "report3.dbf";
    fs::create_directories(cut.parent_path());
    fs::copy_file(old, cut);
    const auto header = static_cast<std::uintmax_t>(32 * 17 + 1);
    fs::resize_file(cut, header + 338 + 100);
    Import("miImport3", cut);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error) << LastText();
    EXPECT_NE(messages.Last().details.find("Not a dBASE data file"), std::string::npos) << messages.Last().details;
    EXPECT_EQ(LogRows(), 0);

    Import("miImport3", old);
    ASSERT_FALSE(messages.Shown().empty());
    EXPECT_EQ(messages.Shown()[0].kind, ui::MsgKind::Confirmation);
    EXPECT_NE(messages.Shown()[0].text.find("Sendora 3 (Regular or lite)"), std::string::npos);
    EXPECT_EQ(LastText(),
              "4 records have been imported to your Log file.\n"
              "1 of them had no readable date and was imported without one.");
    EXPECT_EQ(Sql("select ToAddress1, ifnull(ToAddress2,''), ToCity, ToState, ToZip, "
                  "ifnull(substr(DateTime,1,10),''), MailerNum, ifnull(CustID,''), ifnull(SerialNum,''), "
                  "ifnull(Postage,''), ifnull(Total,''), ifnull(Comment,''), ifnull(RE,'') from Log37 order by LID"),
              (std::vector<std::string>{
                  "José Muñoz|Straße 5|Köln|NRW|50667|2024-02-29|9207112345678900000012|12-345-6789|1|4.10|9.80|"
                  "Ça va, Zoë|Invoice 7",
                  "Deleted Dora||Denver|CO|80202|2023-12-31|9407 1112 0620 1234 5678|||1.00|1.00||",
                  "No Date||Austin|TX|73301||12345||||||",
                  "Plain||Boston|MA|02101|1999-12-31|9407 1112 0620 1234 5678|||0.50|0.50|last|re",
              }));

    // The wrong name (case counts) and a missing file are refused before the engine sees them.
    const fs::path upper = home / "upper" / "REPORT3.DBF";
    fs::create_directories(upper.parent_path());
    fs::copy_file(old, upper);
    Import("miImport3", upper);
    EXPECT_EQ(LastText(), "Invalid Sendo 3 (Regular or lite) log file.");
    Import("miImport3", home / "nowhere" / "report3.dbf");
    EXPECT_EQ(LastText(), "No Sendo 3 log file exists in this location.");
    EXPECT_FALSE(fs::exists(home / "nowhere" / "report3.dbf")) << "a missing log was made";
    EXPECT_EQ(LogRows(), 4);
}

// An edition 3 log keeps no returned receipts, so its rows come in open
// ("None"): the returned-receipt dialog finds them by the typed number and
// by the addressee's name, and OK records the receipt. A row an earlier
// import left without a Result is left as it is.
TEST_F(ImportLog, Edition3RowsComeInOpenSoReturnedReceiptsFindThemByNumberAndName)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    const fs::path old = home / "Reports" / "report3.dbf";
    WriteReport3(old);
    const std::string earlier = AddRow(1, {{"MailerNum", "9207112345678900000099"}, {"ToAddress1", "Earlier"}});
    Sql("update Log37 set Result = NULL where LID = " + earlier);

    Import("miImport3", old);
    ASSERT_EQ(LogRows(), 5) << LastText();
    EXPECT_EQ(Sql("select quote(Result) from Log37 order by LID"),
              (std::vector<std::string>{"NULL", "'None'", "'None'", "'None'", "'None'"}));

    messages.Clear();
    TF_IncomingMailers dialog(dm());
    dialog.show();
    auto* number = logtest::Find<QLineEdit>(dialog, "maskeditMailerNum");
    QTest::keyClicks(number, "9207 1123 4567 8900 0000 12");
    QTest::keyClick(number, Qt::Key_Return);
    logtest::Find<QRadioButton>(dialog, "rbAddresseeName")->click();
    auto* name = logtest::Find<QLineEdit>(dialog, "editData");
    name->setText("Austin");
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_TRUE(messages.Shown().empty()) << messages.Last().text;
    const QTableWidget& grid = *logtest::Find<QTableWidget>(dialog, "sgMailers");
    std::vector<std::string> listed;
    for (int r = 0; r < grid.rowCount(); ++r)
        listed.push_back(grid.item(r, 0)->text().toStdString() + "|" + grid.item(r, 1)->text().toStdString());
    EXPECT_EQ(listed, (std::vector<std::string>{"9207 1123 4567 8900 0000 12|José Muñoz", "12345|No Date"}));

    logtest::Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(Sql("select ToAddress1, quote(Result) from Log37 where Result is not 'None' order by LID"),
              (std::vector<std::string>{"Earlier|NULL", "José Muñoz|'Received - Signed'",
                                        "No Date|'Received - Signed'"}));
}

// The program's date format has two-digit years, which the dBase engine follows;
// the eight digits stored for a date still give its century: 1950 is no 2050 and
// 1899 no 1999. The program's format is the same after the import. A file whose
// layout lacks fields of the log is refused before any row, naming them.
TEST_F(ImportLog, Edition3DatesKeepTheirCenturyAndALayoutLackingFieldsIsRefusedNamingThem)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    const std::string programFormat = rtl::ShortDateFormat;
    const std::uint8_t engineCentury = xf::XfDates().Century;
    ASSERT_EQ(rtl::UpperCase(programFormat).find("YYYY"), std::string::npos) << programFormat;
    const fs::path old = home / "centuries" / "report3.dbf";
    WriteReport3(old, "centuries");
    Import("miImport3", old);
    EXPECT_EQ(LastText(), "4 records have been imported to your Log file.");
    EXPECT_EQ(Sql("select substr(DateTime,1,10) from Log37 order by LID"),
              (std::vector<std::string>{"1950-06-01", "1899-12-31", "2071-07-04", "2024-02-29"}));
    EXPECT_EQ(rtl::ShortDateFormat, programFormat);
    EXPECT_EQ(xf::XfDates().Century, engineCentury);

    const fs::path lacking = home / "lacking" / "report3.dbf";
    WriteReport3(lacking, "lacking");
    Import("miImport3", lacking);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Error);
    EXPECT_NE(LastText().find("lacks the fields zip, rdate of a Sendora 3 log"), std::string::npos) << LastText();
    EXPECT_EQ(LastText().find("Row 1"), std::string::npos) << LastText();
    EXPECT_EQ(LogRows(), 4);
    EXPECT_EQ(rtl::ShortDateFormat, programFormat);
}

// ---- the rules for older rows --------------------------------------------------------------

TEST(ImportLogRules, MailerNumbersAreRegroupedAndReadOnlyFromDigits)
{
    struct Case {
        const char* number;
        const char* stored;
        const char* custID;
        int serial;  // -1: none
    };
    const Case cases[] = {
        {"94071112062012345678", "9407 1112 0620 1234 5678", "", -1},
        {"9207112345678900000012", "9207112345678900000012", "12-345-6789", 1},
        {"92071A2345678900000012", "92071A2345678900000012", "", 1},
        {"920711234567890000001", "920711234567890000001", "", -1},  // 21 characters
        {"9207112345678+000001 2", "9207112345678+000001 2", "", -1},
        {"", "", "", -1},
    };
    for (const Case& c : cases) {
        const TRegroupedMailerNum got = RegroupMailerNum(c.number);
        EXPECT_EQ(got.MailerNum, c.stored) << c.number;
        EXPECT_EQ(got.CustID, c.custID) << c.number;
        EXPECT_EQ(got.SerialNum.value_or(-1), c.serial) << c.number;
    }
}

TEST(ImportLogRules, TheSenderLosesOnlyItsTrailingStateAndZip)
{
    auto split = [](std::array<std::string, 5> lines) { return SplitSender(lines); };
    struct Case {
        std::array<std::string, 5> lines;
        std::array<std::string, 4> kept;
        const char* city;
        const char* state;
        const char* zip;
    };
    const Case cases[] = {
        {{"ACME", "1 Main St", "Springfield, IL 62701", "", ""}, {"ACME", "1 Main St", "", ""}, "Springfield", "IL",
         "62701"},
        {{"A", "VACAVILLE CA 95688", "", "", ""}, {"A", "", "", ""}, "VACAVILLE", "CA", "95688"},
        {{"A", "CARMEL CA", "", "", ""}, {"A", "", "", ""}, "CARMEL", "CA", ""},
        {{"A", "PORTLAND OR 97201-1234", "", "", ""}, {"A", "", "", ""}, "PORTLAND", "OR", "97201-1234"},
        {{"A", "Springfield IL 62701-12", "", "", ""}, {"A", "", "", ""}, "Springfield IL 62701-12", "", ""},
        {{"A", "62701", "", "", ""}, {"A", "", "", ""}, "", "", "62701"},
        {{"A", "Springfield", "", "", ""}, {"A", "", "", ""}, "Springfield", "", ""},
        {{"", "x", "y", "", ""}, {"", "x", "y", ""}, "", "", ""},
        {{"1", "2", "3", "4", "Rome NY 13440"}, {"1", "2", "3", "4"}, "Rome", "NY", "13440"},
        {{"1", "", "3", "Rome NY", ""}, {"", "", "3", "Rome NY"}, "1", "", ""},
    };
    for (const Case& c : cases) {
        const TSenderSplit got = split(c.lines);
        EXPECT_EQ(got.Lines, c.kept) << c.lines[1];
        EXPECT_EQ(got.City, c.city) << c.lines[1];
        EXPECT_EQ(got.State, c.state) << c.lines[1];
        EXPECT_EQ(got.Zip, c.zip) << c.lines[1];
    }
}
