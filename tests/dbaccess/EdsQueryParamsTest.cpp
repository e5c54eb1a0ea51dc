// Parameters: every bindable type written through a statement and read back
// from the table; what the engine is handed for each type; the refusals.

#include "platform/rtl/DateUtils.h"
#include "tests/dbaccess/EdsQueryTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using querytest::ErrorOf;
using querytest::MakeTable;

// ---- through the engine --------------------------------------------------------------------

struct KindsFolder {
    testsupport::TempDir dir;
    KindsFolder() {
        MakeTable(dir.str(), "Kinds",
                  "S,Char,20; FC,Char,4; M,Memo; I,Integer; SI,ShortInt; LI,Integer; N,Numeric,8,2; F,Double; "
                  "C,CurDouble; L,Logical; D,Date; T,Time; TS,TimeStamp; B,Binary; G,Image");
    }
};

TEST(EdsQueryParamsReadBack, EveryBindableTypeArrivesInItsColumn) {
    KindsFolder f;
    TEdsQuery insert;
    insert.SetDatabaseName(f.dir.str());
    insert.SetSQLText(
        "insert into Kinds (S, FC, M, I, SI, LI, N, F, C, L, D, T, TS, B, G) values "
        "(:S, :FC, :M, :I, :SI, :LI, :N, :F, :C, :L, :D, :T, :TS, :B, :G)");
    ASSERT_EQ(insert.ParamCount(), 15);
    insert.ParamByName("S")->SetAsString("O'Hara \xC3\xA9t\xC3\xA9");  // UTF-8 text with accents
    insert.ParamByName("FC")->SetAsString("AB");
    insert.ParamByName("FC")->SetDataType(db::ftFixedChar);
    insert.ParamByName("M")->SetAsMemo("line one\r\nline two");
    insert.ParamByName("I")->SetAsInteger(-123456);
    insert.ParamByName("SI")->SetAsSmallInt(-12);
    insert.ParamByName("LI")->SetValue(db::Variant(std::int64_t{2000000000}));
    insert.ParamByName("LI")->SetDataType(db::ftLargeint);
    insert.ParamByName("N")->SetAsBCD(1234.5);
    insert.ParamByName("F")->SetAsFloat(0.1);
    insert.ParamByName("C")->SetAsCurrency(4.54);
    insert.ParamByName("L")->SetAsBoolean(true);
    insert.ParamByName("D")->SetAsDate(rtl::EncodeDate(2000, 1, 1));
    insert.ParamByName("T")->SetAsTime(rtl::EncodeTime(13, 45, 30, 250));
    insert.ParamByName("TS")->SetAsDateTime(rtl::EncodeDate(2026, 12, 7) + rtl::EncodeTime(8, 30, 0, 5));
    const std::string bytes("\x00\x01\xFF\x7F payload", 12);
    insert.ParamByName("B")->SetAsBlob(bytes);
    insert.ParamByName("G")->SetAsBlob(std::string("GIF89a"));
    insert.ParamByName("G")->SetDataType(db::ftGraphic);
    insert.ExecSQL();
    EXPECT_EQ(insert.RowsAffected(), 1);

    TEdsQuery select;
    select.SetDatabaseName(f.dir.str());
    select.SetSQLText("select * from Kinds");
    select.Open();
    ASSERT_EQ(select.RecordCount(), 1);
    EXPECT_EQ(select.FieldByName("S")->AsString(), "O'Hara \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(select.FieldByName("FC")->AsString(), "AB");
    EXPECT_EQ(select.FieldByName("M")->AsString(), "line one\r\nline two");
    EXPECT_EQ(select.FieldByName("I")->AsInteger(), -123456);
    EXPECT_EQ(select.FieldByName("SI")->AsInteger(), -12);
    EXPECT_EQ(select.FieldByName("LI")->AsInteger(), 2000000000);
    EXPECT_DOUBLE_EQ(select.FieldByName("N")->AsFloat(), 1234.5);
    EXPECT_DOUBLE_EQ(select.FieldByName("F")->AsFloat(), 0.1);
    EXPECT_DOUBLE_EQ(select.FieldByName("C")->AsFloat(), 4.54);
    EXPECT_TRUE(select.FieldByName("L")->AsBoolean());
    EXPECT_DOUBLE_EQ(select.FieldByName("D")->AsDateTime(), rtl::EncodeDate(2000, 1, 1));
    EXPECT_NEAR(select.FieldByName("T")->AsDateTime(), rtl::EncodeTime(13, 45, 30, 250), 1e-9);
    EXPECT_NEAR(select.FieldByName("TS")->AsDateTime(), rtl::EncodeDate(2026, 12, 7) + rtl::EncodeTime(8, 30, 0, 5),
                1e-9);
    EXPECT_EQ(select.FieldByName("B")->AsString(), bytes);
    EXPECT_EQ(select.FieldByName("G")->AsString(), "GIF89a");
}

TEST(EdsQueryParamsReadBack, NullParametersEmptyTheirColumnsAndSelectByParameter) {
    KindsFolder f;
    TEdsQuery insert;
    insert.SetDatabaseName(f.dir.str());
    insert.SetSQLText("insert into Kinds (S, I, L, TS, B) values (:S, :I, :L, :TS, :B)");
    for (int row = 1; row <= 3; ++row) {
        insert.ParamByName("S")->SetAsString("row " + std::to_string(row));
        insert.ParamByName("I")->SetAsInteger(row);
        if (row == 2) {
            for (int i = 2; i < insert.ParamCount(); ++i) insert.Params()[i]->Clear();
        } else {
            insert.ParamByName("L")->SetAsBoolean(row == 3);
            insert.ParamByName("TS")->SetAsDateTime(rtl::EncodeDate(2026, 1, row));
            insert.ParamByName("B")->SetAsBlob("x");
        }
        insert.ExecSQL();
        EXPECT_EQ(insert.RowsAffected(), 1);
    }

    TEdsQuery select;
    select.SetDatabaseName(f.dir.str());
    select.SetSQLText("select S, L, TS, B from Kinds where I >= :low and TS is null");
    select.ParamByName("low")->SetAsInteger(2);
    select.Open();
    ASSERT_EQ(select.RecordCount(), 1);
    EXPECT_EQ(select.FieldByName("S")->AsString(), "row 2");
    EXPECT_TRUE(select.FieldByName("L")->IsNull());
    EXPECT_TRUE(select.FieldByName("TS")->IsNull());
    EXPECT_TRUE(select.FieldByName("B")->IsNull());

    // A new value and a reopen select again; the text stays prepared on the same statement.
    select.Close();
    const EDSHANDLE statement = select.StatementHandle();
    select.SetSQLText("select S from Kinds where TS >= :from order by S");
    select.ParamByName("from")->SetAsDateTime(rtl::EncodeDate(2026, 1, 2));
    select.Open();
    EXPECT_EQ(select.StatementHandle(), statement);
    EXPECT_EQ(select.RecordCount(), 1);
    EXPECT_EQ(select.FieldByName("S")->AsString(), "row 3");
}

// ---- what the engine is handed -----------------------------------------------------------------

struct Bound {
    std::string Call;
    UNSIGNED32 Number = 0;
    std::string Value;
};

std::vector<Bound>& Calls() {
    static std::vector<Bound> calls;
    return calls;
}

UNSIGNED32& FailOnNumber() {
    static UNSIGNED32 number = 0;
    return number;
}

UNSIGNED32 Record(const char* call, const EdsFieldId& field, std::string value) {
    Calls().push_back({call, field.number, std::move(value)});
    return field.number == FailOnNumber() ? EDS_E_INVALID_ARGUMENT : 0;
}

// Replaces every parameter setter with one that records what it was handed.
class RecordingBinder {
public:
    RecordingBinder() {
        Calls().clear();
        FailOnNumber() = 0;
        EdsApi.EdsSetEmpty = [](EDSHANDLE, EdsFieldId field) { return Record("Empty", field, ""); };
        EdsApi.EdsSetString = [](EDSHANDLE, EdsFieldId field, const UNSIGNED8* text, UNSIGNED32 length) {
            return Record("String", field, std::string(reinterpret_cast<const char*>(text), length));
        };
        EdsApi.EdsSetDouble = [](EDSHANDLE, EdsFieldId field, DOUBLE value) {
            return Record("Double", field, rtl::FloatToStr(value));
        };
        EdsApi.EdsSetLogical = [](EDSHANDLE, EdsFieldId field, UNSIGNED16 value) {
            return Record("Logical", field, std::to_string(value));
        };
        EdsApi.EdsSetJulian = [](EDSHANDLE, EdsFieldId field, SIGNED32 value) {
            return Record("Julian", field, std::to_string(value));
        };
        EdsApi.EdsSetMilliseconds = [](EDSHANDLE, EdsFieldId field, SIGNED32 value) {
            return Record("Milliseconds", field, std::to_string(value));
        };
        EdsApi.EdsSetTimeStampRaw = [](EDSHANDLE, EdsFieldId field, const UNSIGNED8* raw, UNSIGNED32 length) {
            std::int32_t day = 0;
            std::int32_t ms = 0;
            std::memcpy(&day, raw, 4);
            std::memcpy(&ms, raw + 4, 4);
            return Record("TimeStamp", field, std::to_string(length) + ":" + std::to_string(day) + "+" + std::to_string(ms));
        };
        EdsApi.EdsSetBinary = [](EDSHANDLE, EdsFieldId field, UNSIGNED16 type, UNSIGNED32 total, UNSIGNED32 offset,
                                 const UNSIGNED8* data, UNSIGNED32 length) {
            return Record("Binary", field,
                          std::to_string(type) + "," + std::to_string(total) + "," + std::to_string(offset) + "," +
                              std::string(reinterpret_cast<const char*>(data), length));
        };
        EdsApi.EdsGetLastError = [](UNSIGNED32* code, UNSIGNED8* text, UNSIGNED16* length) -> UNSIGNED32 {
            *code = EDS_E_INVALID_ARGUMENT;
            const char message[] = "bad parameter";
            std::memcpy(text, message, sizeof message);
            *length = sizeof message - 1;
            return 0;
        };
    }

private:
    TEdsEntryPointsGuard guard_;
};

db::TParam* Add(db::TParams& params, db::TFieldType type, const std::string& name) {
    return params.CreateParam(type, name, db::ptInput);
}

TEST(EdsQueryParamsBinding, EachTypeGoesToItsSetterByNumberInListOrder) {
    RecordingBinder binder;
    db::TParams params;
    Add(params, db::ftInteger, "a")->SetAsInteger(42);
    Add(params, db::ftString, "b")->SetAsString("x'y");
    Add(params, db::ftBCD, "c")->SetAsBCD(2.5);
    Add(params, db::ftFloat, "d")->SetAsFloat(0.25);
    Add(params, db::ftBoolean, "e")->SetAsBoolean(false);
    Add(params, db::ftDate, "f")->SetAsDate(rtl::EncodeDate(2000, 1, 1));
    Add(params, db::ftDateTime, "g")->SetAsDateTime(rtl::EncodeDate(2000, 1, 1) + 0.5);
    Add(params, db::ftTime, "h")->SetAsTime(rtl::EncodeTime(0, 0, 1, 500));
    Add(params, db::ftVarBytes, "i")->SetAsBlob(std::string("\x00z", 2));
    params[8]->SetDataType(db::ftVarBytes);
    Add(params, db::ftWord, "j")->SetAsWord(65535);
    Add(params, db::ftCurrency, "k")->SetAsCurrency(-1.5);
    // The same name twice is two parameters, bound by their own numbers.
    Add(params, db::ftInteger, "a")->SetAsInteger(7);

    EdsBindParams(5, params, nullptr);
    const std::vector<Bound> expected = {
        {"String", 1, "42"},
        {"String", 2, "x'y"},
        {"String", 3, "2.5"},
        {"Double", 4, "0.25"},
        {"Logical", 5, "0"},
        {"Julian", 6, "2451545"},
        {"TimeStamp", 7, "8:2451545+43200000"},
        {"Milliseconds", 8, "1500"},
        {"Binary", 9, std::string("6,2,0,\x00z", 8)},
        {"String", 10, "65535"},
        {"Double", 11, "-1.5"},
        {"String", 12, "7"},
    };
    ASSERT_EQ(Calls().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(Calls()[i].Call, expected[i].Call) << i;
        EXPECT_EQ(Calls()[i].Number, expected[i].Number) << i;
        EXPECT_EQ(Calls()[i].Value, expected[i].Value) << i;
    }
}

TEST(EdsQueryParamsBinding, NullsOfEveryTypeAreBoundEmpty) {
    RecordingBinder binder;
    db::TParams params;
    for (db::TFieldType type : {db::ftUnknown, db::ftString, db::ftDate, db::ftBlob, db::ftWideString, db::ftGuid})
        Add(params, type, db::FieldTypeName(type));
    EdsBindParams(5, params, nullptr);
    ASSERT_EQ(Calls().size(), 6u);
    for (std::size_t i = 0; i < Calls().size(); ++i) {
        EXPECT_EQ(Calls()[i].Call, "Empty");
        EXPECT_EQ(Calls()[i].Number, i + 1);
    }
}

TEST(EdsQueryParamsBinding, TimesRoundToTheMillisecondAndMidnightCarriesIntoTheNextDay) {
    RecordingBinder binder;
    db::TParams params;
    const double lastInstant = rtl::EncodeDate(1999, 12, 31) + (86400000.0 - 0.2) / 86400000.0;
    Add(params, db::ftDateTime, "stamp")->SetAsDateTime(lastInstant);
    Add(params, db::ftTime, "time")->SetAsTime(lastInstant);
    Add(params, db::ftTime, "roundDown")->SetAsTime(rtl::EncodeTime(10, 0, 0, 0) + 0.4 / 86400000.0);
    Add(params, db::ftDate, "dateOnly")->SetAsDate(lastInstant);
    // Before the origin the day counts back while the time of day still runs forward.
    Add(params, db::ftDateTime, "early")->SetAsDateTime(-1.25);
    EdsBindParams(5, params, nullptr);
    ASSERT_EQ(Calls().size(), 5u);
    EXPECT_EQ(Calls()[0].Value, "8:2451545+0");
    EXPECT_EQ(Calls()[1].Value, "0");
    EXPECT_EQ(Calls()[2].Value, "36000000");
    EXPECT_EQ(Calls()[3].Value, "2451544");
    EXPECT_EQ(Calls()[4].Value, "8:2415018+21600000");
}

TEST(EdsQueryParamsBinding, TypesTheEngineCannotTakeAreRefusedByName) {
    RecordingBinder binder;
    for (db::TFieldType type : {db::ftWideString, db::ftADT, db::ftCursor, db::ftParadoxOle, db::ftTimeStamp,
                                db::ftGuid, db::ftVariant, db::ftFMTBcd, db::ftOraClob}) {
        db::TParams params;
        Add(params, db::ftInteger, "first")->SetAsInteger(1);
        db::TParam* odd = Add(params, type, "Odd");
        odd->SetValue(db::Variant("v"));
        odd->SetDataType(type);
        Add(params, db::ftInteger, "after")->SetAsInteger(3);
        Calls().clear();
        std::string message;
        EXPECT_EQ(ErrorOf([&] { EdsBindParams(5, params, nullptr); }, &message), EdsClientErrorCode)
            << db::FieldTypeName(type);
        EXPECT_EQ(message, "The field named: 'Odd' has a DataType that is not supported.") << db::FieldTypeName(type);
        // Nothing after the refused parameter is bound.
        EXPECT_EQ(Calls().size(), 1u) << db::FieldTypeName(type);
    }

    db::TParams unknown;
    db::TParam* param = Add(unknown, db::ftUnknown, "Who");
    param->SetValue(db::Variant("v"));
    param->SetDataType(db::ftUnknown);
    std::string message;
    EXPECT_EQ(ErrorOf([&] { EdsBindParams(5, unknown, nullptr); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message, "The field named: 'Who' has the DataType of ftUnknown, which is invalid.");
}

TEST(EdsQueryParamsBinding, AnEngineRefusalEndsTheBindingAndNamesTheQuery) {
    KindsFolder f;
    TEdsQuery query;
    query.SetName("edsqLog");
    query.SetDatabaseName(f.dir.str());
    query.SetSQLText("insert into Kinds (S, I, F) values (:S, :I, :F)");
    query.ParamByName("S")->SetAsString("a");
    query.ParamByName("I")->SetAsInteger(2);
    query.ParamByName("F")->SetAsFloat(3);

    RecordingBinder binder;
    FailOnNumber() = 2;
    std::string message;
    EXPECT_EQ(ErrorOf([&] { query.ExecSQL(); }, &message), static_cast<std::int32_t>(EDS_E_INVALID_ARGUMENT));
    EXPECT_EQ(message, "edsqLog: bad parameter");
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[1].Number, 2u);
}

TEST(EdsQueryParamsBinding, DateTimesBeyondTheEngineRangeAreRefused) {
    RecordingBinder binder;
    db::TParams params;
    Add(params, db::ftDateTime, "far")->SetAsDateTime(4.0e12);
    std::string message;
    EXPECT_EQ(ErrorOf([&] { EdsBindParams(5, params, nullptr); }, &message), EdsClientErrorCode);
    EXPECT_NE(message.find("'far'"), std::string::npos) << message;
    EXPECT_TRUE(Calls().empty());
}

}  // namespace
