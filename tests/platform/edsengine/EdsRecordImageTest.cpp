// Record images of every column type, byte for byte, in both directions: what an
// image stores in the file, and what a stored row gives as an image.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

const char kAllTypes[] =
    "L,Logical; N,Numeric,8,2; D,Date; C,Char,10; M,Memo; B,Binary; I,Image; S,ShortDate; F,Double; "
    "N4,Integer; SI,ShortInt; T,Time; TS,TimeStamp; A,AutoInc; R,Raw,4; CD,CurDouble; MO,Money; CI,CIChar,6";

struct Layout {
    const char* name;
    UNSIGNED16 type;
    UNSIGNED32 offset, length;
};

const Layout kLayout[] = {
    {"L", EDS_LOGICAL, 0, 1},       {"N", EDS_NUMERIC, 1, 8},      {"D", EDS_DATE, 9, 4},
    {"C", EDS_STRING, 13, 10},      {"M", EDS_MEMO, 23, 4},        {"B", EDS_BINARY, 27, 4},
    {"I", EDS_IMAGE, 31, 4},        {"S", EDS_COMPACTDATE, 35, 3}, {"F", EDS_DOUBLE, 38, 8},
    {"N4", EDS_INTEGER, 46, 4},     {"SI", EDS_SHORTINT, 50, 2},   {"T", EDS_TIME, 52, 4},
    {"TS", EDS_TIMESTAMP, 56, 8},   {"A", EDS_AUTOINC, 64, 4},     {"R", EDS_RAW, 68, 4},
    {"CD", EDS_CURDOUBLE, 72, 8},   {"MO", EDS_MONEY, 80, 8},      {"CI", EDS_CISTRING, 88, 6},
};
constexpr UNSIGNED32 kRecordLength = 94;

using Bytes = std::vector<UNSIGNED8>;

Bytes Le32(std::uint32_t v) { return {UNSIGNED8(v), UNSIGNED8(v >> 8), UNSIGNED8(v >> 16), UNSIGNED8(v >> 24)}; }
Bytes Le16(std::uint16_t v) { return {UNSIGNED8(v), UNSIGNED8(v >> 8)}; }
Bytes Le64(std::uint64_t v) {
    Bytes b;
    for (int i = 0; i < 8; ++i) b.push_back(UNSIGNED8(v >> (8 * i)));
    return b;
}
Bytes Dbl(double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    return Le64(v);
}
Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The null image of every column, laid out by hand.
Bytes NullRecord() {
    Bytes r;
    r = Cat(r, Str(" "));                   // L
    r = Cat(r, Bytes(8, 0));                // N
    r = Cat(r, Bytes(4, 0));                // D
    r = Cat(r, Bytes(10, 0));               // C
    r = Cat(r, Bytes(12, 0));               // M B I
    r = Cat(r, Bytes(3, 0));                // S
    r = Cat(r, Le64(0x8000000000000020ull));  // F
    r = Cat(r, Le32(0x80000000u));          // N4
    r = Cat(r, Le16(0x8000));               // SI
    r = Cat(r, Le32(0xFFFFFFFFu));          // T
    r = Cat(r, Cat(Le32(0), Le32(0xFFFFFFFFu)));  // TS
    r = Cat(r, Le32(0xFFFFFFFFu));          // A
    r = Cat(r, Bytes(4, 0));                // R
    r = Cat(r, Le64(0x8000000000000020ull));  // CD
    r = Cat(r, Le64(0x8000000000000000ull));  // MO
    r = Cat(r, Bytes(6, 0));                // CI
    return r;
}

// One value per column as an image, with what the file must hold for it.
struct Sample {
    const char* column;
    Bytes image;
    const char* storedType;  // sqlite typeof()
    std::string storedText;  // the value as SQLite prints it (quote())
};

std::vector<Sample> Samples() {
    return {
        {"L", Str("T"), "integer", "1"},
        {"N", Str("   12.50"), "real", "12.5"},
        {"D", Le32(2451545), "text", "'2000-01-01'"},
        {"C", Str("M\xFCller    "), "text", "'M\xC3\xBCller'"},
        {"S", Bytes{0x0F, 0xD0, 0x5D}, "text", "'2024-02-29'"},
        {"F", Dbl(3.25), "real", "3.25"},
        {"N4", Le32(static_cast<std::uint32_t>(-5)), "integer", "-5"},
        {"SI", Le16(300), "integer", "300"},
        {"T", Le32(45296789), "text", "'12:34:56.789'"},
        {"TS", Cat(Le32(2451545), Le32(43200000)), "text", "'2000-01-01 12:00:00.000'"},
        {"R", Bytes{1, 2, 0, 4}, "blob", "X'01020004'"},
        {"CD", Dbl(-1.5), "real", "-1.5"},
        {"MO", Le64(12345678), "real", "1234.5678"},
        {"CI", Str("abc   "), "text", "'abc'"},
    };
}

const Layout& LayoutOf(const std::string& column) {
    for (const Layout& l : kLayout)
        if (column == l.name) return l;
    throw std::runtime_error("no column " + column);
}

class RecordImages : public ::testing::Test {
protected:
    void SetUp() override {
        connection_ = Connect(dir_.str());
        ASSERT_EQ(Create(connection_, "Types", kAllTypes, &table_), EDS_SUCCESS) << LastError();
    }
    void TearDown() override {
        EdsCloseTable(table_);
        EdsDisconnect(connection_);
    }
    // A column of row `recno` as SQLite prints it: typeof, then quote().
    std::pair<std::string, std::string> Stored(const std::string& column, int recno) {
        sqlite3* db = nullptr;
        sqlite3_open_v2((dir_ / "Types.edt").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        const std::string sql = "SELECT typeof(\"" + column + "\"), quote(\"" + column + "\") FROM Types WHERE rowid = " +
                                std::to_string(recno);
        sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
        std::pair<std::string, std::string> out{"<no row>", ""};
        if (sqlite3_step(stmt) == SQLITE_ROW)
            out = {reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                   reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1))};
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return out;
    }
    void SqlExec(const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_open((dir_ / "Types.edt").c_str(), &db);
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_close(db);
    }

    testsupport::TempDir dir_;
    EDSHANDLE connection_ = 0;
    EDSHANDLE table_ = 0;
};

TEST_F(RecordImages, LayoutOfEveryType) {
    UNSIGNED32 length = 0;
    EDS_OK(EdsGetRecordLength(table_, &length));
    EXPECT_EQ(length, kRecordLength);
    for (const Layout& l : kLayout) {
        UNSIGNED16 type = 0;
        UNSIGNED32 offset = 0, fieldLength = 0;
        EDS_OK(EdsGetFieldType(table_, l.name, &type));
        EDS_OK(EdsGetFieldOffset(table_, l.name, &offset));
        EDS_OK(EdsGetFieldLength(table_, l.name, &fieldLength));
        EXPECT_EQ(type, l.type) << l.name;
        EXPECT_EQ(offset, l.offset) << l.name;
        EXPECT_EQ(fieldLength, l.length) << l.name;
    }
}

TEST_F(RecordImages, NullRecordIsTheNullImageOfEveryColumn) {
    Bytes image(kRecordLength, 0xAA);
    UNSIGNED32 length = kRecordLength;
    EDS_OK(EdsGetNullRecord(table_, image.data(), &length));
    EXPECT_EQ(image, NullRecord());
    Bytes cleared(kRecordLength, 0xAA);
    EDS_OK(EdsClearRecordBuffer(table_, cleared.data(), kRecordLength));
    EXPECT_EQ(cleared, NullRecord());
}

TEST_F(RecordImages, NullImagesAreStoredAsSqlNullAndReadBackExactly) {
    EDS_OK(EdsAppendRecord(table_));
    Bytes expected = NullRecord();
    const Bytes autoinc = Le32(1);
    std::copy(autoinc.begin(), autoinc.end(), expected.begin() + 64);
    EXPECT_EQ(Record(table_), expected);  // the pending append
    EDS_OK(EdsWriteRecord(table_));
    for (const Layout& l : kLayout) {
        if (std::string(l.name) == "A") continue;
        EXPECT_EQ(Stored(l.name, 1).first, "null") << l.name;
    }
    EXPECT_EQ(Stored("A", 1).second, "1");
    EDS_OK(EdsGotoTop(table_));
    EXPECT_EQ(Record(table_), expected);
    for (const Layout& l : kLayout) {
        UNSIGNED16 empty = 0;
        EDS_OK(EdsIsEmpty(table_, l.name, &empty));
        EXPECT_EQ(empty, std::string(l.name) == "A" ? 0 : 1) << l.name;
    }
}

TEST_F(RecordImages, ImagesAreStoredAsNaturalColumnsAndReadBackExactly) {
    EDS_OK(EdsAppendRecord(table_));
    for (const Sample& s : Samples()) EDS_OK(EdsSetFieldRaw(table_, s.column, s.image.data(), static_cast<UNSIGNED32>(s.image.size())));
    EDS_OK(SetText(table_, "M", "memo \xE9t\xE9"));
    const Bytes binary{0, 1, 2, 255};
    EDS_OK(EdsSetField(table_, "B", binary.data(), 4));
    EDS_OK(EdsWriteRecord(table_));

    for (const Sample& s : Samples()) {
        const auto stored = Stored(s.column, 1);
        EXPECT_EQ(stored.first, s.storedType) << s.column;
        EXPECT_EQ(stored.second, s.storedText) << s.column;
    }
    EXPECT_EQ(Stored("M", 1).second, "'memo \xC3\xA9t\xC3\xA9'");
    EXPECT_EQ(Stored("B", 1).second, "X'000102FF'");
    EXPECT_EQ(Stored("I", 1).first, "null");

    EDS_OK(EdsGotoTop(table_));
    const Bytes image = Record(table_);
    for (const Sample& s : Samples()) {
        const Layout& l = LayoutOf(s.column);
        EXPECT_EQ(Bytes(image.begin() + l.offset, image.begin() + l.offset + l.length), s.image) << s.column;
    }
    EXPECT_EQ(Bytes(image.begin() + 23, image.begin() + 35), Cat(Cat(Le32(0xFFFFFFFFu), Le32(0xFFFFFFFFu)), Le32(0)));
    EXPECT_EQ(Text(table_, "M"), "memo \xE9t\xE9");
    UNSIGNED8 buf[16];
    UNSIGNED32 len = sizeof buf;
    EDS_OK(EdsGetField(table_, "B", buf, &len, EDS_NONE));
    EXPECT_EQ(Bytes(buf, buf + len), binary);
    UNSIGNED32 memoLength = 0;
    EDS_OK(EdsGetMemoLength(table_, "M", &memoLength));
    EXPECT_EQ(memoLength, 8u);  // one byte per character in the record's code page
}

TEST_F(RecordImages, RowsWrittenBySqlGiveTheSameImages) {
    SqlExec(
        "INSERT INTO Types(L, N, D, C, S, F, N4, SI, T, TS, R, CD, MO, CI) VALUES "
        "(1, 12.5, '2000-01-01', 'M\xC3\xBCller', '2024-02-29', 3.25, -5, 300, '12:34:56.789', "
        "'2000-01-01 12:00:00.000', x'01020004', -1.5, 1234.5678, 'abc')");
    EDS_OK(EdsGotoTop(table_));
    const Bytes image = Record(table_);
    for (const Sample& s : Samples()) {
        const Layout& l = LayoutOf(s.column);
        EXPECT_EQ(Bytes(image.begin() + l.offset, image.begin() + l.offset + l.length), s.image) << s.column;
    }
}

TEST_F(RecordImages, EmptyTextIsNullAndLongTextIsCutToTheColumn) {
    EDS_OK(EdsAppendRecord(table_));
    EDS_OK(SetText(table_, "C", "0123456789ABCDEF"));
    EDS_OK(SetText(table_, "CI", ""));
    EDS_OK(EdsWriteRecord(table_));
    EXPECT_EQ(Stored("C", 1).second, "'0123456789'");
    EXPECT_EQ(Stored("CI", 1).first, "null");
    EDS_OK(EdsGotoTop(table_));
    const Bytes image = Record(table_);
    EXPECT_EQ(Bytes(image.begin() + 13, image.begin() + 23), Str("0123456789"));
    EXPECT_EQ(Bytes(image.begin() + 23, image.begin() + 27), Le32(0));  // the memo after it is untouched
}

TEST_F(RecordImages, NumericThatDoesNotFitIsMarkedNotSpilled) {
    SqlExec("INSERT INTO Types(N) VALUES (123456789.5)");
    EDS_OK(EdsGotoTop(table_));
    const Bytes image = Record(table_);
    EXPECT_EQ(Bytes(image.begin() + 1, image.begin() + 9), Str("********"));
    EXPECT_EQ(Bytes(image.begin() + 9, image.begin() + 13), Le32(0));
}

TEST_F(RecordImages, UnreadableStoredValuesReadAsNull) {
    SqlExec("INSERT INTO Types(D, T, TS) VALUES ('not a date', '99:99', '2000-13-01 00:00:00')");
    EDS_OK(EdsGotoTop(table_));
    const Bytes image = Record(table_);
    EXPECT_EQ(Bytes(image.begin() + 9, image.begin() + 13), Le32(0));
    EXPECT_EQ(Bytes(image.begin() + 52, image.begin() + 56), Le32(0xFFFFFFFFu));
    EXPECT_EQ(Bytes(image.begin() + 56, image.begin() + 60), Le32(0));
}

TEST(EdsFieldSpecs, BadSpecificationsAreRefused) {
    testsupport::TempDir dir;
    EDSHANDLE connection = Connect(dir.str());
    EDSHANDLE table = 0;
    EXPECT_EQ(Create(connection, "T1", "A,Char", &table), EDS_E_FIELD_SPEC);          // no length
    EXPECT_EQ(Create(connection, "T2", "A,Float,4", &table), EDS_E_FIELD_SPEC);       // no such type
    EXPECT_EQ(Create(connection, "T3", "A,Integer;a,Char,2", &table), EDS_E_FIELD_SPEC);  // name twice
    EXPECT_EQ(Create(connection, "T4", "", &table), EDS_E_FIELD_SPEC);
    EXPECT_FALSE(std::filesystem::exists(dir / "T1.edt"));
    EdsDisconnect(connection);
}

}  // namespace
