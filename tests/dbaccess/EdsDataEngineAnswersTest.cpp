// The dataset against engine answers the local engine never gives: xBase
// record images, other versions, unknown column types, and the handles and
// options that counting asks with.

#include "tests/dbaccess/EdsDataTestSupport.h"

#include "dbaccess/edsquery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using edsdatatest::AppendRows;
using edsdatatest::CreateTable;
using edsdatatest::TTestTable;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// What the replaced entry points answer.
struct Answers {
    std::vector<UNSIGNED8> record;
    UNSIGNED16 dateColumn = 0;
    UNSIGNED16 fieldTypeOverride = 0;
    EDSHANDLE countHandle = 0;
    UNSIGNED16 countOption = 0;
    bool scoped = false;
};

Answers& Script() {
    static Answers answers;
    return answers;
}

TEST(EdsDataEngineAnswers, XbaseImagesReadByTheirOwnRules) {
    testsupport::TempDir dir;
    // Column layout as an xBase table has it: text numbers and text dates.
    CreateTable(dir.str(), "Old", "L,Logical; N,Numeric,6,2; D,Char,8; C,Char,5; I,Integer; E,Char,5");
    AppendRows(dir.str(), "Old", 2, [](EDSHANDLE, int) {});
    Script() = Answers{};
    Script().dateColumn = 3;
    TEdsEntryPointsGuard guard;
    EdsApi.EdsGetTableType = [](EDSHANDLE, UNSIGNED16* type) -> UNSIGNED32 {
        *type = EDS_CDX;
        return 0;
    };
    EdsApi.EdsGetFieldType = [](EDSHANDLE h, EdsFieldId f, UNSIGNED16* type) -> UNSIGNED32 {
        const UNSIGNED32 code = ::EdsGetFieldType(h, f, type);
        if (f.name == nullptr && f.number == Script().dateColumn) *type = EDS_DATE;
        return code;
    };
    EdsApi.EdsGetRecord = [](EDSHANDLE h, UNSIGNED8* record, UNSIGNED32* length) -> UNSIGNED32 {
        UNSIGNED32 recordNumber = 0;
        ::EdsGetRecordNum(h, EDS_IGNOREFILTERS, &recordNumber);
        const std::string first = std::string("T") + " 12.50" + "20240315" + "ab   " + std::string(4, '\0') + "     ";
        const std::string second = std::string(" ") + "      " + "        " + std::string(5, '\0') + std::string("\x01\x00\x00\x80", 4) + "x    ";
        const std::string& image = recordNumber == 1 ? first : second;
        std::memcpy(record, image.data(), std::min<std::size_t>(*length, image.size()));
        return 0;
    };
    TTestTable t(dir.str(), "Old");
    t.Open();
    EXPECT_EQ(t.FieldByName("D")->DataType(), db::ftDate);
    EXPECT_TRUE(t.FieldByName("L")->AsBoolean());
    EXPECT_EQ(t.FieldByName("N")->AsFloat(), 12.5);
    EXPECT_EQ(t.FieldByName("D")->AsDateTime(), 45366.0);
    EXPECT_EQ(t.FieldByName("C")->AsString(), "ab");
    // Binary numbers have no empty form in these tables.
    EXPECT_FALSE(t.FieldByName("I")->IsNull());
    EXPECT_EQ(t.FieldByName("I")->AsInteger(), 0);
    EXPECT_TRUE(t.FieldByName("E")->IsNull());  // all blanks

    t.Next();
    EXPECT_TRUE(t.FieldByName("L")->IsNull());
    EXPECT_TRUE(t.FieldByName("N")->IsNull());
    EXPECT_TRUE(t.FieldByName("D")->IsNull());
    EXPECT_TRUE(t.FieldByName("C")->IsNull());
    EXPECT_EQ(t.FieldByName("I")->AsInteger(), -2147483647);
    EXPECT_EQ(t.FieldByName("E")->AsString(), "x");
}

TEST(EdsDataEngineAnswers, ColumnTypesBecomeFieldTypes) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "Nums", "A,Numeric,4,0; B,Numeric,5,0; C,Numeric,4,1; D,Money");
    TTestTable t(dir.str(), "Nums");
    t.FieldDefs().Update();
    ASSERT_EQ(t.FieldDefs().Count(), 4);
    EXPECT_EQ(t.FieldDefs()[0]->DataType(), db::ftSmallint);
    EXPECT_EQ(t.FieldDefs()[1]->DataType(), db::ftFloat);
    EXPECT_EQ(t.FieldDefs()[2]->DataType(), db::ftFloat);
    EXPECT_EQ(t.FieldDefs()[3]->DataType(), db::ftBCD);
    EXPECT_EQ(t.FieldDefs()[3]->Precision(), 20);
    EXPECT_FALSE(t.Active());
    EXPECT_EQ(t.Handle(), static_cast<EDSHANDLE>(-1));  // the look-up cursor was closed

    Script() = Answers{};
    Script().fieldTypeOverride = 19;
    TEdsEntryPointsGuard guard;
    EdsApi.EdsGetFieldType = [](EDSHANDLE h, EdsFieldId f, UNSIGNED16* type) -> UNSIGNED32 {
        const UNSIGNED32 code = ::EdsGetFieldType(h, f, type);
        if (f.number == 2) *type = Script().fieldTypeOverride;
        return code;
    };
    EXPECT_THAT([&] { t.Open(); },
                ThrowsMessage<EEDSDatabaseError>(HasSubstr("Unknown field type (19) encountered.")));
    EXPECT_FALSE(t.Active());
    EXPECT_EQ(t.Handle(), static_cast<EDSHANDLE>(-1));
}

TEST(EdsDataEngineAnswers, VersionText) {
    TEdsEntryPointsGuard guard;
    EdsApi.EdsGetVersion = [](UNSIGNED32* major, UNSIGNED32* minor, UNSIGNED8* letter, UNSIGNED8*, UNSIGNED16*) -> UNSIGNED32 {
        *major = 10;
        *minor = 5;
        *letter = 'a';
        return 0;
    };
    TTestTable t;
    EXPECT_EQ(t.Version(), "7.1 (EDS 10.05a)");
    EdsApi.EdsGetVersion = [](UNSIGNED32* major, UNSIGNED32* minor, UNSIGNED8* letter, UNSIGNED8*, UNSIGNED16*) -> UNSIGNED32 {
        *major = 9;
        *minor = 10;
        *letter = ' ';
        return 0;
    };
    EXPECT_EQ(t.Version(), "7.1 (EDS 9.10)");
}

TEST(EdsDataEngineAnswers, CountsAskTheCheapestHandle) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "People", "ID,Integer; Name,Char,10", {{"BYNAME", "Name", 0}});
    AppendRows(dir.str(), "People", 4, [](EDSHANDLE table, int row) {
        ASSERT_EQ(edsdatatest::SetInteger(table, "ID", row), 0u);
    });
    TTestTable t(dir.str(), "People");
    t.Open();
    t.SetIndexName("BYNAME");

    Script() = Answers{};
    TEdsEntryPointsGuard guard;
    EdsApi.EdsGetRecordCount = [](EDSHANDLE h, UNSIGNED16 option, UNSIGNED32* count) -> UNSIGNED32 {
        Script().countHandle = h;
        Script().countOption = option;
        return ::EdsGetRecordCount(h, option, count);
    };
    EdsApi.EdsGetScope = [](EDSHANDLE h, UNSIGNED16 which, UNSIGNED8* key, UNSIGNED16* length) -> UNSIGNED32 {
        if (Script().scoped && which == EDS_TOP) {
            *length = 0;
            return 0;
        }
        return ::EdsGetScope(h, which, key, length);
    };

    EXPECT_EQ(t.RecordCount(), 4);
    EXPECT_EQ(Script().countHandle, t.OrderHandle());
    EXPECT_EQ(Script().countOption, EDS_IGNOREFILTERS);

    t.EdsTableOptions().SetEdsFilterOptions(RESPECT_WHEN_COUNTING);
    t.EdsTableOptions().SetEdsFreshRecordCount(true);
    t.RecordCount();
    EXPECT_EQ(Script().countHandle, t.Handle());  // a plain index restricts nothing
    EXPECT_EQ(Script().countOption, EDS_RESPECTFILTERS | EDS_REFRESHCOUNT);

    Script().scoped = true;
    t.RecordCount();
    EXPECT_EQ(Script().countHandle, t.OrderHandle());

    t.EdsTableOptions().SetEdsFilterOptions(IGNORE_WHEN_COUNTING);
    t.EdsTableOptions().SetEdsScopeOptions(RESPECT_SCOPES_WHEN_COUNTING);
    t.EdsTableOptions().SetEdsFreshRecordCount(false);
    t.RecordCount();
    EXPECT_EQ(Script().countOption, EDS_RESPECTSCOPES);
}

TEST(EdsDataEngineAnswers, OemTextIsReadAgainWithoutHurtingTheNextColumn) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "Oem", "A,Char,3; B,Integer");
    AppendRows(dir.str(), "Oem", 1, [](EDSHANDLE table, int) {
        ASSERT_EQ(edsdatatest::SetText(table, "A", "abc"), 0u);
        ASSERT_EQ(edsdatatest::SetInteger(table, "B", 0x01020304), 0u);
    });
    Script() = Answers{};
    TEdsEntryPointsGuard guard;
    // The engine converts and terminates the text: the zero lands on B.
    EdsApi.EdsGetField = [](EDSHANDLE, EdsFieldId field, UNSIGNED8* buffer, UNSIGNED32* length, UNSIGNED16) -> UNSIGNED32 {
        EXPECT_EQ(field.number, 1u);
        EXPECT_EQ(*length, 4u);
        std::memcpy(buffer, "xyz", 4);
        *length = 3;
        return 0;
    };
    TTestTable t(dir.str(), "Oem");
    t.EdsTableOptions().SetEdsCharType(OEM);
    t.Open();
    EXPECT_EQ(t.FieldByName("A")->AsString(), "xyz");
    EXPECT_EQ(t.FieldByName("B")->AsInteger(), 0x01020304);
}

TEST(EdsDataEngineAnswers, TheDictionaryDefaultIndexOrdersTheTable) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "People", "ID,Integer; Name,Char,10", {{"BYNAME", "Name", 0}});
    AppendRows(dir.str(), "People", 3, [](EDSHANDLE table, int row) {
        ASSERT_EQ(edsdatatest::SetInteger(table, "ID", row + 1), 0u);
        ASSERT_EQ(edsdatatest::SetText(table, "Name", std::string(1, static_cast<char>('c' - row))), 0u);
    });
    TEdsEntryPointsGuard guard;
    EdsApi.EdsDDGetTableProperty = [](EDSHANDLE, const UNSIGNED8* table, UNSIGNED16 property, void* value,
                                      UNSIGNED16* length) -> UNSIGNED32 {
        EXPECT_EQ(property, EDS_DD_TABLE_DEFAULT_INDEX);
        if (std::string(reinterpret_cast<const char*>(table)) != "People") return EDS_E_PROPERTY_NOT_FOUND;
        std::memcpy(value, "BYNAME", 7);
        *length = 6;
        return 0;
    };
    TEdsConnection dictionary(nullptr);
    dictionary.SetConnectPath(dir.str() + "/data.add");
    ASSERT_TRUE(dictionary.IsDictionaryConnection());
    TTestTable t;
    t.SetEdsConnection(&dictionary);
    t.SetTableName("People");
    EXPECT_EQ(t.IndexName(), "EDS_DEFAULT");
    EXPECT_EQ(t.DefaultIndexName(), "BYNAME");
    t.Open();
    std::vector<int> ids;
    for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("ID")->AsInteger());
    EXPECT_EQ(ids, (std::vector<int>{3, 2, 1}));
    t.Close();
    t.SetTableName("Gone");
    EXPECT_EQ(t.IndexName(), "");
    EXPECT_EQ(t.IndexMode(), EdsIndexNatural);
}

TEST(EdsDataEngineAnswers, AnIndexChangeThatFailsHalfWayKeepsTheOldOrder) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "People", "ID,Integer; Name,Char,10", {{"BYNAME", "Name", 0}});
    AppendRows(dir.str(), "People", 3, [](EDSHANDLE table, int row) {
        ASSERT_EQ(edsdatatest::SetInteger(table, "ID", row + 1), 0u);
        ASSERT_EQ(edsdatatest::SetText(table, "Name", std::string(1, static_cast<char>('c' - row))), 0u);
    });
    TTestTable t(dir.str(), "People");
    t.Open();
    t.EdsTableOptions().SetEdsRecordCache(rcAggressive);
    static int failures = 0;
    failures = 1;
    TEdsEntryPointsGuard guard;
    EdsApi.EdsGetRecord = [](EDSHANDLE h, UNSIGNED8* record, UNSIGNED32* length) -> UNSIGNED32 {
        if (failures > 0) {
            --failures;
            return EdsApi.EdsSetLastError(EDS_E_IO, EdsText(std::string("disk gone")));
        }
        return ::EdsGetRecord(h, record, length);
    };
    EXPECT_THAT([&] { t.SetIndexName("BYNAME"); }, ThrowsMessage<EEDSDatabaseError>(HasSubstr("disk gone")));
    EXPECT_EQ(t.IndexName(), "");
    EXPECT_EQ(t.OrderHandle(), t.Handle());
    std::vector<int> ids;
    for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("ID")->AsInteger());
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
}

}  // namespace

namespace {

// A column's emptiness follows the table type the engine answered when the
// cursor was opened; a reopened cursor asks again.
TEST(EdsDataEngineAnswers, EmptinessFollowsTheTableTypeOfTheOpenCursor) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "Typed", "C,Char,5");
    AppendRows(dir.str(), "Typed", 1, [](EDSHANDLE table, int) {
        ASSERT_EQ(edsdatatest::SetText(table, "C", "x"), 0u);
    });
    static UNSIGNED16 answered;
    answered = EDS_EDT;
    TEdsEntryPointsGuard guard;
    EdsApi.EdsGetTableType = [](EDSHANDLE, UNSIGNED16* type) -> UNSIGNED32 {
        *type = answered;
        return 0;
    };
    EdsApi.EdsGetRecord = [](EDSHANDLE, UNSIGNED8* record, UNSIGNED32* length) -> UNSIGNED32 {
        std::memset(record, ' ', *length);  // blanks: empty only by the xBase rule
        return 0;
    };
    TTestTable t(dir.str(), "Typed");
    t.Open();
    EXPECT_FALSE(t.FieldByName("C")->IsNull());
    answered = EDS_CDX;
    EXPECT_FALSE(t.FieldByName("C")->IsNull());
    t.Close();
    t.Open();
    EXPECT_TRUE(t.FieldByName("C")->IsNull());
    answered = EDS_EDT;
    t.Close();
    t.Open();
    EXPECT_FALSE(t.FieldByName("C")->IsNull());
}

}  // namespace

namespace {

// Rows of text columns, each value present or empty, as the model of what a
// dataset must read back.
using TModelRows = std::vector<std::vector<std::optional<std::string>>>;

// Each column of `Columns` is a text column as wide as its entry in
// `Widths`; a value longer than its column is stored cut.
TModelRows FillRandomly(const std::string& Folder, const std::string& Name, const std::vector<std::string>& Columns,
                        const std::vector<std::size_t>& Widths, int Count, std::mt19937& Random) {
    TModelRows rows(static_cast<std::size_t>(Count));
    for (auto& row : rows) {
        for (std::size_t c = 0; c < Columns.size(); ++c) {
            if (Random() % 3 == 0) {
                row.push_back(std::nullopt);
                continue;
            }
            std::string value = "v" + std::to_string(Random() % 100000) + (Random() % 2 ? " x" : "");
            value.resize(std::min(value.size(), Widths[c]));
            row.push_back(value);
        }
    }
    AppendRows(Folder, Name, Count, [&](EDSHANDLE table, int at) {
        const auto& row = rows[static_cast<std::size_t>(at)];
        for (std::size_t c = 0; c < Columns.size(); ++c) {
            if (row[c]) {
                ASSERT_EQ(edsdatatest::SetText(table, EdsText(Columns[c]), *row[c]), 0u);
            }
        }
    });
    return rows;
}

void ExpectReadsAsModel(db::TDataSet& Data, const std::vector<std::string>& Columns, const TModelRows& Rows,
                        const std::string& What) {
    std::size_t at = 0;
    for (Data.First(); !Data.Eof(); Data.Next(), ++at) {
        ASSERT_LT(at, Rows.size()) << What;
        for (std::size_t c = 0; c < Columns.size(); ++c) {
            db::TField* field = Data.FieldByName(Columns[c]);
            EXPECT_EQ(field->IsNull(), !Rows[at][c].has_value()) << What << " row " << at << " " << Columns[c];
            EXPECT_EQ(field->AsString(), Rows[at][c].value_or("")) << What << " row " << at << " " << Columns[c];
        }
    }
    EXPECT_EQ(at, Rows.size()) << What;
}

// The table type is read once per open cursor: every open of a table or a
// query, and a dataset moved to another table, still read each value and
// each empty column exactly as stored.
TEST(EdsDataEngineAnswers, ValuesAndEmptinessReadAsStoredThroughReopensAndTableChanges) {
    testsupport::TempDir dir;
    std::mt19937 random(28);
    const std::vector<std::string> first{"A", "B", "C"}, second{"P", "Q"};
    CreateTable(dir.str(), "First", "A,Char,12; B,Char,1; C,CIChar,20;");
    CreateTable(dir.str(), "Second", "N,Integer; P,Char,30; Q,Char,8;");
    const TModelRows firstRows = FillRandomly(dir.str(), "First", first, {12, 1, 20}, 60, random);
    const TModelRows secondRows = FillRandomly(dir.str(), "Second", second, {30, 8}, 45, random);

    TTestTable t(dir.str(), "First");
    for (int round = 0; round < 2; ++round) {
        t.Open();
        ExpectReadsAsModel(t, first, firstRows, "First, round " + std::to_string(round));
        t.Close();
        t.SetTableName("Second");
        t.Open();
        ExpectReadsAsModel(t, second, secondRows, "Second, round " + std::to_string(round));
        t.Close();
        t.SetTableName("First");
    }
    TEdsQuery query;
    query.SetDatabaseName(dir.str());
    for (const auto& [sql, columns, rows] : {std::tuple{"select * from First", &first, &firstRows},
                                             std::tuple{"select * from Second", &second, &secondRows},
                                             std::tuple{"select * from First", &first, &firstRows}}) {
        query.Close();
        query.SetSQLText(sql);
        query.Open();
        ExpectReadsAsModel(query, *columns, *rows, sql);
    }
}

}  // namespace
