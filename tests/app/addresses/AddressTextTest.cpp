// Addresses as comma-separated text: the field reader on the lines people
// and other programs write, and generated addresses (commas, quotes, accents)
// exported and imported through real Address tables, the file also read by
// Python's csv module as an outside reader.

#include "app/addresses/U_AddressText.h"
#include "app/data/U_TextFile.h"
#include "app/data/U_dmSendoPro.h"
#include "dbaccess/edsapi.h"
#include "dbaccess/edsquery.h"
#include "dbaccess/edstable.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

TAddressFieldTexts Fields(std::initializer_list<const char*> texts)
{
    TAddressFieldTexts fields;
    std::size_t k = 0;
    for (const char* text : texts) fields[k++] = text;
    return fields;
}

TEST(AddressText, FieldsReadAsWrittenByPeopleAndOlderFiles)
{
    // A quoted comma, a doubled quote, a tab and blanks before fields.
    EXPECT_EQ(ReadAddressLine("\"Bud, Smith Co\",\t\"1 \"\"Main\"\" St\" ,  Apt 2,,Springfield,IL,62701"),
              Fields({"Bud, Smith Co", "1 \"Main\" St", "Apt 2", "", "Springfield", "IL", "62701"}));
    // Quotes inside a bare field are ordinary characters, as older exports wrote them.
    EXPECT_EQ(ReadAddressLine("O\"Neil \"Bud\",x"), Fields({"O\"Neil \"Bud\"", "x", "", "", "", "", ""}));
    // Missing trailing fields, an empty line, and an unclosed quote running to the end.
    EXPECT_EQ(ReadAddressLine("A"), Fields({"A", "", "", "", "", "", ""}));
    EXPECT_EQ(ReadAddressLine(""), TAddressFieldTexts{});
    EXPECT_EQ(ReadAddressLine("\"open, quote"), Fields({"open, quote", "", "", "", "", "", ""}));
    // Each field cut to its column: by characters, not bytes.
    const std::string sixty(60, 'x');
    const TAddressFieldTexts cut = ReadAddressLine(sixty + "," + sixty + ",,,"  + std::string(40, 'c') +
                                                   ",Illinois,62701-123456,extra");
    EXPECT_EQ(cut[0], std::string(50, 'x'));
    EXPECT_EQ(cut[4], std::string(35, 'c'));
    EXPECT_EQ(cut[5], "Illi");
    EXPECT_EQ(cut[6], "62701-1234");
    std::string accents;
    for (int i = 0; i < 30; ++i) accents += "é";
    EXPECT_EQ(ReadAddressLine("a,b,c,d," + accents)[4], accents);
    EXPECT_EQ(ReadAddressLine("a,b,c,d,e,ÉÉÉÉÉÉ")[5], "ÉÉÉÉ");

    // The reader's own steps: a blank after the closing quote ends the field,
    // and the position stays at the end of the line.
    std::string field;
    std::size_t position = 1;
    NextCsvField("\"a\" ,b", position, field);
    EXPECT_EQ(field, "a");
    NextCsvField("\"a\" ,b", position, field);
    EXPECT_EQ(field, "b");
    EXPECT_EQ(position, 7u);
    NextCsvField("\"a\" ,b", position, field);
    EXPECT_EQ(field, "");
    EXPECT_EQ(position, 7u);

    EXPECT_EQ(QuoteCsvField("plain text"), "plain text");
    EXPECT_EQ(QuoteCsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(QuoteCsvField("\"Bud\" Smith"), "\"\"\"Bud\"\" Smith\"");
}

TEST(AddressText, FilesAreWindows1252UnlessMarkedUtf8)
{
    testsupport::TempDir dir;
    const auto ansi = dir / "ansi.csv";
    testsupport::WriteFile(ansi, "Jos\xE9,\"a,b\"\r\n\r\nlast\rcr only\nlf");
    const std::vector<TTextAddress> rows = ReadAddressFile(ansi.string());
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].Fields[0], "José");
    EXPECT_EQ(rows[0].Fields[1], "a,b");
    EXPECT_EQ(rows[1].Fields, TAddressFieldTexts{});
    EXPECT_EQ(rows[3].Fields[0], "cr only");
    EXPECT_EQ(rows[4].Line, 5);
    EXPECT_TRUE(std::none_of(rows.begin(), rows.end(), [](const TTextAddress& row) { return row.Altered; }));

    // A marked file: the mark is no part of the first field, and what
    // Windows-1252 lacks reads as the "?" the table would store.
    const auto utf8 = dir / "utf8.csv";
    testsupport::WriteFile(utf8, "\xEF\xBB\xBFJosé,Łódź\nZoë\n");
    const std::vector<TTextAddress> marked = ReadAddressFile(utf8.string());
    ASSERT_EQ(marked.size(), 2u);
    EXPECT_EQ(marked[0].Fields[0], "José");
    EXPECT_EQ(marked[0].Fields[1], "?ód?");
    EXPECT_TRUE(marked[0].Altered);
    EXPECT_EQ(marked[1].Fields[0], "Zoë");
    EXPECT_FALSE(marked[1].Altered);
    EXPECT_THROW(ReadAddressFile((dir / "missing.csv").string()), rtl::Exception);
}

TEST(AddressText, WriterChecksEveryWriteAndLeavesNoHalfListing)
{
    testsupport::TempDir dir;
    EXPECT_EQ(TextFileName("x"), "x.txt");
    EXPECT_EQ(TextFileName("list.txt"), "list.txt");
    EXPECT_EQ(TextFileName("a.txt.bak"), "a.txt.bak");

    const auto file = dir / "out.txt";
    testsupport::WriteFile(file, "kept\r\n");
    {
        TAnsiTextAppender out(file.string());
        out.WriteLine("Łódź, €5");
        // Gone without Close: cut back to what the file held.
    }
    EXPECT_EQ(testsupport::ReadFile(file), "kept\r\n");
    {
        TAnsiTextAppender out(file.string());
        out.WriteLine("Łódź, €5");
        out.Close();
        EXPECT_EQ(out.Replaced(), 2);  // Ł and ź
    }
    EXPECT_EQ(testsupport::ReadFile(file), "kept\r\n?\xF3" "d?, \x80" "5\r\n");

    // A full disk: the failure is raised, by the write or at the latest by Close.
    EXPECT_THROW(
        {
            TAnsiTextAppender full("/dev/full");
            for (int i = 0; i < 100000; ++i) full.WriteLine("a line of an export that the disk cannot take");
            full.Close();
        },
        rtl::Exception);
    EXPECT_THROW(TAnsiTextAppender((dir / "no" / "such" / "folder.txt").string()), rtl::Exception);
    EXPECT_EQ(ExportCompletedText("/a/b.txt", 0), "Export completed fo file \"/a/b.txt\".");
}

// Random addresses whose fields hold what trips a comma-separated file:
// commas, quotes (at the start too), blanks inside, accents.
std::vector<TTextAddress> RandomAddresses(std::size_t count, unsigned seed)
{
    static const std::vector<std::string> pieces = {"a", "Z", "7", ",", "\"", " ", "é", "Ö", "ß", "'", "-", "&",
                                                    "#", "\t", ";", "€"};
    std::mt19937 random(seed);
    std::vector<TTextAddress> rows(count);
    for (std::size_t i = 0; i < count; ++i) {
        rows[i].Line = static_cast<std::int64_t>(i + 1);
        for (std::size_t k = 0; k < kAddressTextFields; ++k) {
            const std::size_t length = random() % (kAddressFieldWidths[k] + 1);
            std::string text;
            for (std::size_t c = 0; c < length; ++c) text += pieces[random() % pieces.size()];
            // The reader trims fields, as the table keeps no trailing blanks.
            rows[i].Fields[k] = rtl::Trim(text);
        }
    }
    return rows;
}

std::vector<const TTextAddress*> All(const std::vector<TTextAddress>& rows)
{
    std::vector<const TTextAddress*> all;
    for (const TTextAddress& row : rows) all.push_back(&row);
    return all;
}

TEST(AddressText, ExportThenImportGivesTheSameAddressesBack)
{
    REQUIRE_TOOLS("python3", "sqlite3");
    testsupport::TempDir dir;
    const std::string first = (dir / "first").string(), second = (dir / "second").string();
    std::filesystem::create_directories(first);
    std::filesystem::create_directories(second);
    TdmSendoPro dm;
    dm.EnsureTable(first, "Address");
    dm.EnsureTable(second, "YourAddress");

    const std::vector<TTextAddress> generated = RandomAddresses(400, 20261207);
    TEdsTable table;
    EXPECT_EQ(InsertAddressRows(table, first, "Address", All(generated)), generated.size());
    // An empty field is stored empty (NULL, as the table layer stores an
    // empty text), never as an empty string.
    for (std::size_t k = 0; k < kAddressTextFields; ++k) {
        const auto empty = std::count_if(generated.begin(), generated.end(),
                                         [k](const TTextAddress& row) { return row.Fields[k].empty(); });
        const std::string column = k < 4 ? "Address" + std::to_string(k + 1) : k == 4 ? "City" : k == 5 ? "State" : "Zip";
        EXPECT_EQ(testsupport::RunCommand("sqlite3 " + (std::filesystem::path(first) / "Address.edt").string() +
                                          " 'select count(*), count(nullif(" + column + ", \"\")) = count(" +
                                          column + ") from Address where " + column + " is null or " + column +
                                          " = \"\"'")
                      .output,
                  std::to_string(empty) + "|1\n")
            << column;
    }

    const std::string file = (dir / "addresses.txt").string();
    TEdsQuery query;
    const TTextExportResult exported = ExportAddresses(query, first, "Address", file);
    EXPECT_EQ(exported.Rows, 400);
    EXPECT_EQ(exported.Replaced, 0);

    const std::vector<TTextAddress> read = ReadAddressFile(file);
    ASSERT_EQ(read.size(), generated.size());
    for (std::size_t i = 0; i < read.size(); ++i) ASSERT_EQ(read[i].Fields, generated[i].Fields) << "line " << i + 1;

    // An outside reader of comma-separated text sees the same fields.
    const auto python = testsupport::RunCommand(
        "python3 -c \"import csv,sys\nfor r in csv.reader(open(sys.argv[1], encoding='cp1252', newline=''), "
        "skipinitialspace=True): print('|'.join(f.strip() for f in r))\" " + file);
    ASSERT_EQ(python.status, 0) << python.output;
    std::string expected;
    for (const TTextAddress& row : generated) {
        for (std::size_t k = 0; k < kAddressTextFields; ++k) expected += (k ? "|" : "") + row.Fields[k];
        expected += "\n";
    }
    EXPECT_EQ(python.output, expected);

    // Imported again into the other table and exported after the first
    // listing: the same lines twice.
    EXPECT_EQ(InsertAddressRows(table, second, "YourAddress", All(read)), read.size());
    const std::string once = testsupport::ReadFile(file);
    ExportAddresses(query, second, "YourAddress", file);
    EXPECT_EQ(testsupport::ReadFile(file), once + once);
}

TEST(AddressText, ImportIsAllOrNothing)
{
    REQUIRE_TOOLS("sqlite3");
    testsupport::TempDir dir;
    TdmSendoPro dm;
    dm.EnsureTable(dir.str(), "Address");
    std::vector<TTextAddress> rows = RandomAddresses(50, 7);
    TEdsTable table;
    {
        // The storage fails on the 31st row.
        const TEdsEntryPointsGuard restore;
        static int writes;
        writes = 0;
        EdsApi.EdsWriteRecord = [](EDSHANDLE cursor) -> UNSIGNED32 {
            return ++writes == 31 ? EDS_E_IO : ::EdsWriteRecord(cursor);
        };
        try {
            InsertAddressRows(table, dir.str(), "Address", All(rows));
            FAIL() << "the failed write was taken for a success";
        } catch (const EAddressImportLine& e) {
            EXPECT_EQ(e.Line, 31);
        }
    }
    const auto count = testsupport::RunCommand("sqlite3 " + (dir / "Address.edt").string() +
                                               " 'select count(*) from Address'");
    EXPECT_EQ(count.output, "0\n");
    EXPECT_EQ(InsertAddressRows(table, dir.str(), "Address", All(rows)), 50u);
    EXPECT_EQ(testsupport::RunCommand("sqlite3 " + (dir / "Address.edt").string() +
                                      " 'select count(*) from Address'").output,
              "50\n");
}

}  // namespace
