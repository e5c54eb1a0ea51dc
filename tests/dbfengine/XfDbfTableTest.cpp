// The table file and the work areas at their edges: damaged headers, the versions
// and memo files of new tables, movement past the ends, and what a write must
// leave alone.

#include <cstring>
#include <limits>
#include <tuple>

#include "platform/rtl/Paths.h"

#include <gtest/gtest.h>

#include "dbfengine/timedate.h"
#include "dbfengine/xfutils.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

std::string Header(std::uint8_t version, std::uint16_t headerLength, std::uint16_t recordLength, std::int32_t count)
{
    std::string h(32, '\0');
    h[0] = static_cast<char>(version);
    h[1] = 124, h[2] = 1, h[3] = 1;
    std::memcpy(&h[4], &count, 4);
    std::memcpy(&h[8], &headerLength, 2);
    std::memcpy(&h[10], &recordLength, 2);
    return h;
}

std::string Descriptor(const std::string& name, char type, std::uint8_t length, std::size_t size = 32)
{
    std::string d(size, '\0');
    std::memcpy(&d[0], name.data(), name.size());
    const std::size_t at = size == 48 ? 32 : 11;
    d[at] = type;
    d[at + (size == 48 ? 1 : 5)] = static_cast<char>(length);
    return d;
}

}  // namespace

TEST(XfDbfTable, DamagedHeadersAnswerTheirCodesAndOpenNothing)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/bad.dbf";
    auto open = [&](const std::string& bytes) {
        testsupport::WriteFile(path, bytes);
        return ErrorOf([&] { USE(path); });
    };
    EXPECT_EQ(open(std::string(20, '\x03')).second.find("(Prolog is less than 32 bytes) [USE/OpenDBF]") != std::string::npos, true);
    EXPECT_EQ(open(Header(0x30, 65, 11, 0) + Descriptor("A", 'C', 10) + "\r").first, 210);
    EXPECT_EQ(open(Header(0x03, 65, 11, 0) + "\r" + std::string(32, '\0')).first, 222);
    const auto typeX = open(Header(0x03, 65, 11, 0) + Descriptor("ODD", 'X', 10) + "\r");
    EXPECT_EQ(typeX.first, 211);
    EXPECT_NE(typeX.second.find("Field: ODD [X] in " + path + " is not a valid field type"), std::string::npos);
    EXPECT_EQ(open(Header(0x03, 65, 0, 0) + Descriptor("A", 'C', 10) + "\r").first, 210);          // record length 0
    EXPECT_EQ(open(Header(0x03, 65, 5, 0) + Descriptor("A", 'C', 10) + "\r").first, 210);          // fields past the record
    EXPECT_EQ(open(Header(0x03, 65, 11, 3) + Descriptor("A", 'C', 10) + "\r" + std::string(11, ' ')).first, 210);  // count
    EXPECT_EQ(open(Header(0x03, 4000, 11, 0) + Descriptor("A", 'C', 10) + "\r").first, 210);       // header past the file
    EXPECT_EQ(open(Header(0x03, 20, 11, 0) + std::string(40, '\0')).first, 210);                   // no field at all
    EXPECT_EQ(WorkArea(1), nullptr);

    // What is valid opens: level 7 with two fields, G read as memo, a dBase II table.
    ErrorOf([&] {
        open(Header(0x04, 68 + 2 * 48 + 1, 1 + 10 + 10, 0) + std::string(36, '\0') + Descriptor("LONGNAME_X", 'C', 10, 48) +
             Descriptor("PIC", 'G', 10, 48) + "\r");
    });
    ASSERT_NE(WorkArea(1), nullptr);
    EXPECT_EQ(FieldCount(), 2);
    EXPECT_EQ(Field(1), "LONGNAME_X");
    EXPECT_EQ(FieldType(2), 'M');
    CloseDatabase();
    std::string dbase2(521, '\0');
    dbase2[0] = 0x02;
    dbase2[1] = 1;  // one record
    dbase2[6] = 6;  // record length
    std::memcpy(&dbase2[8], "CODE", 4);
    dbase2[8 + 11] = 'C';
    dbase2[8 + 12] = 5;
    dbase2[8 + 16] = '\r';
    dbase2 += " ABCDE\x1A";
    testsupport::WriteFile(path, dbase2);
    USE(path);
    EXPECT_EQ(RecCount(), 1);
    EXPECT_EQ(CurrentRecord().Text(1), "ABCDE");
    CloseDatabase();
}

TEST(XfDbfTable, NewTablesGetTheirVersionsAndMemoFiles)
{
    EngineScope engine;
    testsupport::TempDir dir;
    TDbfTable t;
    ASSERT_EQ(CreateDbf(t, dir.str() + "/plain", {{"name", 'c', 10, 0}}), 0);
    std::string bytes = testsupport::ReadFile(dir.str() + "/plain.DBF");
    EXPECT_EQ(bytes[0], '\x03');
    EXPECT_EQ(bytes.size(), 65u + 1);
    EXPECT_EQ(bytes[65], '\x1A');  // closing a new empty table writes the end mark at the header's end
    EXPECT_EQ(bytes.substr(32, 4), std::string("NAME"));

    ASSERT_EQ(CreateDbf(t, dir.str() + "/memo.dbf", {{"NOTE", 'M', 0, 0}}), 0);
    EXPECT_EQ(testsupport::ReadFile(dir.str() + "/memo.dbf")[0], '\x8B');
    const std::string dbt = testsupport::ReadFile(dir.str() + "/memo.dbt");
    ASSERT_EQ(dbt.size(), 24u);
    EXPECT_EQ(dbt.substr(0, 4), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(dbt.substr(8, 8), std::string("memo\0\0\0\0", 8));
    EXPECT_EQ(dbt.substr(20, 4), std::string("\0\x02\0\0", 4));

    XfDbfSettings().MemoVersion = 0xF5;
    ASSERT_EQ(CreateDbf(t, dir.str() + "/FOX.DBF", {{"NOTE", 'M', 0, 0}}), 0);
    const std::string fpt = testsupport::ReadFile(dir.str() + "/FOX.FPT");
    ASSERT_EQ(fpt.size(), 512u);
    EXPECT_EQ(fpt.substr(0, 4), std::string("\0\0\0\x01", 4));  // ceil(512 / 512)
    EXPECT_EQ(fpt.substr(6, 2), std::string("\x02\0", 2));
    XfDbfSettings().MemoBlockSize = 64;
    ASSERT_EQ(CreateDbf(t, dir.str() + "/FOX64.DBF", {{"NOTE", 'M', 0, 0}}), 0);
    EXPECT_EQ(testsupport::ReadFile(dir.str() + "/FOX64.FPT").substr(0, 4), std::string("\0\0\0\x08", 4));

    XfDbfSettings().MemoVersion = 0x8C;
    ASSERT_EQ(CreateDbf(t, dir.str() + "/seven.dbf", {{"NAME", 'C', 10, 0}, {"WHEN", 'D', 0, 0}}), 0);
    bytes = testsupport::ReadFile(dir.str() + "/seven.dbf");
    EXPECT_EQ(bytes[0], '\x04');
    EXPECT_EQ(bytes.substr(32, 8), "DBWINWE0");
    USE(dir.str() + "/seven.dbf");
    EXPECT_EQ(FieldCount(), 2);
    EXPECT_EQ(FieldType(2), 'D');
    CloseDatabase();

    XfDbfSettings().MemoVersion = 0x83;
    ASSERT_EQ(CreateDbf(t, dir.str() + "/three.dbf", {{"RATE", 'F', 8, 2}, {"NOTE", 'M', 0, 0}}), 0);
    EXPECT_EQ(testsupport::ReadFile(dir.str() + "/three.dbf")[32 + 11], 'N');
    const std::string three = testsupport::ReadFile(dir.str() + "/three.dbt");
    ASSERT_EQ(three.size(), 513u);
    EXPECT_EQ(three[0], '\x01');
    EXPECT_EQ(three[512], '\x1A');

    EXPECT_EQ(ErrorOf([&] { CreateDbf(t, dir.str() + "/bad.dbf", {{"  ", 'C', 10, 0}}); }).first, 211);
    EXPECT_EQ(ErrorOf([&] { CreateDbf(t, dir.str() + "/bad.dbf", {{"N", 'N', 0, 0}}); }).first, 211);
    EXPECT_EQ(ErrorOf([&] { CreateDbf(t, dir.str() + "/bad.dbf", {{"X", 'X', 5, 0}}); }).first, 211);
}

TEST(XfDbfTable, MovementPastTheEndsAndTheWorkAreas)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/Mixed Case Folder/My Table";
    ASSERT_TRUE(rtl::ForceDirectories(dir.str() + "/Mixed Case Folder"));
    TDbfTable t;
    ASSERT_EQ(CreateDbf(t, path + ".dbf", {{"N", 'N', 3, 0}}), 0);
    // A path with blanks and mixed case opens as given, and without its extension.
    USE(path, "EXCLUSIVE");
    ASSERT_NE(WorkArea(1), nullptr);
    EXPECT_EQ(WorkArea(1)->Table.FileName, path + ".dbf");
    EXPECT_EQ(WorkArea(1)->Alias, "MY TABLE");
    for (int i = 1; i <= 3; ++i) {
        ClearRecord();
        CurrentRecord().SetInteger(1, i);
        Append();
    }
    GO(3);
    SKIP(1);
    EXPECT_EQ(RecNo(), 4);
    EXPECT_TRUE(dEOF());
    EXPECT_EQ(ErrorOf([] { SKIP(1); }).first, 212);
    GoTop();
    EXPECT_FALSE(dBOF());
    SKIP(-1);
    EXPECT_TRUE(dBOF());
    EXPECT_EQ(RecNo(), 1);
    SKIP(-1);  // at BOF: nothing
    EXPECT_EQ(RecNo(), 1);
    const auto go0 = ErrorOf([] { GO(0); });
    EXPECT_EQ(go0.first, 212);
    EXPECT_NE(go0.second.find("Invalid record number = 0\nDatabase \"" + path + ".dbf\" [GO]"), std::string::npos);
    EXPECT_TRUE(dEOF());

    // Deleted records are passed over while ignored; with all deleted, the phantom record.
    GO(1);
    DeleteRec();
    SetIgnoreDel(true);
    GoTop();
    EXPECT_EQ(RecNo(), 2);
    SKIP(1);
    EXPECT_EQ(CurrentRecord().Integer(1), 3);
    for (int n : {2, 3}) {
        GO(n);
        DeleteRec();
    }
    GoTop();
    EXPECT_TRUE(dEOF());
    EXPECT_EQ(RecNo(), 4);
    // LOCATE finding nothing on a fully filtered table goes to the end, no halt.
    EXPECT_FALSE(LocateCountSum("N", std::int64_t {9}));
    EXPECT_TRUE(dEOF());
    SetIgnoreDel(false);
    EXPECT_TRUE(LocateCountSum("N", std::int64_t {2}));
    EXPECT_EQ(RecNo(), 2);
    EXPECT_TRUE(LocateRecord("N", {std::int64_t {3}}, false, false, true));
    EXPECT_EQ(RecNo(), 3);
    EXPECT_FALSE(LocateRecord("N", {std::int64_t {9}}, false, false, true));
    EXPECT_EQ(RecNo(), 3);
    RecallRec();
    EXPECT_FALSE(CurrentRecord().Deleted());

    // The same alias twice, a virtual table, every area in use.
    CloseDatabase();
    USE(path);
    Select(2);
    EXPECT_EQ(ErrorOf([&] { USE(path, "ALIAS OTHER"); }).first, 0);
    EXPECT_EQ(WorkArea(2)->Alias, "OTHER");
    CloseDatabase();
    const auto twice = ErrorOf([&] { USE(path); });
    EXPECT_EQ(twice.first, 220);
    EXPECT_NE(twice.second.find("Alias name \"MY TABLE\" already in use. [USE]"), std::string::npos);
    EXPECT_EQ(ErrorOf([&] { USE(path, "LINKED LIST"); }).first, 1101);
    for (int area = 2; area <= kWorkAreas; ++area) {
        Select(area);
        USE(path, "ALIAS A" + std::to_string(area));
    }
    EXPECT_EQ(ErrorOf([] { Select(0); }).first, 220);
    EXPECT_EQ(ErrorOf([] { Select(34); }).first, 220);
    CloseAll();
    EXPECT_EQ(CurrentWorkArea(), 1);
    EXPECT_EQ(ErrorOf([] { GoTop(); }).second.find("No database in use [GoTop]  WorkArea = 1") != std::string::npos, true);
}

TEST(XfDbfTable, AWriteChangesOnlyTheFieldsThatChanged)
{
    EngineScope engine;
    XfSetOemCodePage(rtl::CodePage::Oem437);
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/keep.dbf";
    // Written by another program: box drawing, a blank number, a 19-digit number,
    // a two-digit-year-looking date, a number that did not fit ("***").
    TDbfTable t;
    ASSERT_EQ(CreateDbf(t, path, {{"BOX", 'C', 6, 0}, {"EMPTY", 'N', 5, 0}, {"BIG", 'N', 19, 0}, {"WHEN", 'D', 8, 0},
                                  {"FULL", 'N', 3, 0}, {"NAME", 'C', 10, 0}, {"AMOUNT", 'N', 6, 2}}),
              0);
    const std::string record = std::string(" \xC4\xC4\xB3\xDA\xBF\xC0") + "     " + "9223372036854775807" + "19560201" + "***" +
                               "Smith     " + "  1.50";
    std::string bytes = testsupport::ReadFile(path);
    bytes.pop_back();
    bytes += record + "\x1A";
    std::int32_t one = 1;
    std::memcpy(&bytes[4], &one, 4);
    testsupport::WriteFile(path, bytes);

    USE(path);
    TXfTypedRecord r = CurrentRecord();
    EXPECT_EQ(r.Integer(3), 9223372036854775807LL);
    EXPECT_EQ(r.Integer(5), 0);  // "***" reads as 0
    EXPECT_EQ(r.Integer(2), 0);
    ASSERT_TRUE(RLock());
    r.SetText(6, "Jones");
    Replace();
    bytes = testsupport::ReadFile(path);
    EXPECT_EQ(bytes.substr(bytes.size() - 1 - record.size(), record.size()),
              std::string(" \xC4\xC4\xB3\xDA\xBF\xC0") + "     " + "9223372036854775807" + "19560201" + "***" + "Jones     " + "  1.50");

    // A number too wide for its field fills it with "*" (and reads as 0); no error.
    r.SetNumber(7, 12345.5);
    EXPECT_EQ(ErrorOf([] { Replace(); }).first, 0);
    bytes = testsupport::ReadFile(path);
    EXPECT_EQ(bytes.substr(bytes.size() - 7, 6), "******");
    GO(1);
    EXPECT_DOUBLE_EQ(CurrentRecord().Number(7), 0);
    // A 19-digit field holds a double: a value it takes whole fills the field.
    r.SetInteger(3, -576460752303423488LL);
    r.SetNumber(7, -9.99);
    Replace();
    bytes = testsupport::ReadFile(path);
    EXPECT_NE(bytes.find("-576460752303423488"), std::string::npos);
    EXPECT_NE(bytes.find(" -9.99"), std::string::npos);
    r.SetInteger(3, -9223372036854775807LL - 1);  // 20 characters for 19
    EXPECT_EQ(ErrorOf([] { Replace(); }).first, 0);
    bytes = testsupport::ReadFile(path);
    EXPECT_NE(bytes.find(std::string(19, '*') + "19560201"), std::string::npos);
    Unlock();

    // Deletion marks and Poke only where they belong.
    GO(1);
    WorkArea(1)->Table.CurrentRecord = 5;
    EXPECT_EQ(ErrorOf([] { DeleteRec(); }).first, 1200);
    ASSERT_TRUE(RLock());
    EXPECT_EQ(ErrorOf([] { DeleteRec(); }).first, 212);
    EXPECT_EQ(RecCount(), 1);
    Unlock();
    GO(1);
    ASSERT_TRUE(RLock());
    std::vector<std::byte> value;
    ASSERT_TRUE(Peek(6, 1, value));
    std::memcpy(value.data() + 1, "Brown", 5);
    EXPECT_TRUE(Poke(6, 1, value));
    EXPECT_EQ(TrimRightStr(CurrentRecord().Text(6)), "Brown");
    const auto indexOpenTest = XfIndexHooks().IndexOpenTest;
    XfIndexHooks().IndexOpenTest = [] { return true; };
    EXPECT_EQ(ErrorOf([&] { Poke(6, 1, value); }).first, 220);
    XfIndexHooks().IndexOpenTest = indexOpenTest;
    Unlock();
    CloseDatabase();
    bytes = testsupport::ReadFile(path);
    std::int32_t count = 0;
    std::memcpy(&count, bytes.data() + 4, 4);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(bytes.size(), 32u + 7 * 32 + 1 + 58 + 1);
}

TEST(XfDbfTable, NumbersAreRoundedAsTheyWereWritten)
{
    // Half away from zero on the digits the number was written with, not on its binary value.
    const std::tuple<double, int, const char*> cases[] = {
        {99999.995, 2, "100000.00"}, {2.675, 2, "2.68"},  {-2.675, 2, "-2.68"}, {1.005, 2, "1.01"},
        {0.5, 0, "1"},               {-2.5, 0, "-3"},     {1.5, 3, "1.500"},    {-0.001, 2, "0.00"},
        {-0.005, 2, "-0.01"},        {9.995, 2, "10.00"}, {1e20, 1, "100000000000000000000.0"},
        {5e-324, 2, "0.00"},         {0, 2, "0.00"},
    };
    for (const auto& [value, decimals, text] : cases) EXPECT_EQ(NumberText(value, decimals), text) << value;
    EXPECT_EQ(NumberText(std::numeric_limits<double>::infinity(), 2), "");
    EXPECT_EQ(NumberText(std::numeric_limits<double>::quiet_NaN(), 2), "");
    EXPECT_EQ(NumberText(-std::numeric_limits<double>::max(), 0).size(), 310u);
}
