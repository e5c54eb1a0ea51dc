// Parameters: every bindable type written through a statement and read back
// from the table; what the engine is handed for each type; the refusals.

#include "platform/rtl/DateUtils.h"
#include "tests/dbaccess/EdsQueryTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace querytest;

TEST(EdsQueryParams, EveryBindableTypeIsReadBackFromItsColumn) {
    testsupport::TempDir dir;
    MakeTable(dir.str(), "Kinds",
              "S,Char,20; FC,Char,4; M,Memo; I,Integer; SI,ShortInt; LI,Integer; N,Numeric,8,2; F,Double; "
              "C,CurDouble; L,Logical; D,Date; T,Time; TS,TimeStamp; B,Binary; G,Image");
    TEdsQuery insert;
    insert.SetDatabaseName(dir.str());
    insert.SetSQLText("insert into Kinds values (:S, :FC, :M, :I, :SI, :LI, :N, :F, :C, :L, :D, :T, :TS, :B, :G)");
    ASSERT_EQ(insert.ParamCount(), 15);
    const double stamp = rtl::EncodeDate(2026, 12, 7) + rtl::EncodeTime(8, 30, 0, 5);
    const std::string bytes("\x00\x01\xFF payload", 11);
    auto fill = [&](bool nulls) {
        for (int i = 0; i < insert.ParamCount(); ++i) insert.Params()[i]->Clear();
        insert.ParamByName("S")->SetAsString(nulls ? "nulls" : "O'Hara \xC3\xA9t\xC3\xA9");
        if (nulls) return;
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
        insert.ParamByName("TS")->SetAsDateTime(stamp);
        insert.ParamByName("B")->SetAsBlob(bytes);
        insert.ParamByName("G")->SetAsBlob("GIF89a");
        insert.ParamByName("G")->SetDataType(db::ftGraphic);
    };
    for (bool nulls : {false, true}) {
        fill(nulls);
        insert.ExecSQL();
        EXPECT_EQ(insert.RowsAffected(), 1);
    }

    TEdsQuery select;
    select.SetDatabaseName(dir.str());
    select.SetSQLText("select * from Kinds where S <> :skip order by S");
    select.ParamByName("skip")->SetAsString("none");
    select.Open();
    ASSERT_EQ(select.RecordCount(), 2);
    auto field = [&](const char* name) { return select.FieldByName(name); };
    EXPECT_EQ(field("S")->AsString(), "O'Hara \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(field("FC")->AsString(), "AB");
    EXPECT_EQ(field("M")->AsString(), "line one\r\nline two");
    EXPECT_EQ(field("I")->AsInteger(), -123456);
    EXPECT_EQ(field("SI")->AsInteger(), -12);
    EXPECT_EQ(field("LI")->AsInteger(), 2000000000);
    EXPECT_DOUBLE_EQ(field("N")->AsFloat(), 1234.5);
    EXPECT_DOUBLE_EQ(field("F")->AsFloat(), 0.1);
    EXPECT_DOUBLE_EQ(field("C")->AsFloat(), 4.54);
    EXPECT_TRUE(field("L")->AsBoolean());
    EXPECT_DOUBLE_EQ(field("D")->AsDateTime(), rtl::EncodeDate(2000, 1, 1));
    EXPECT_NEAR(field("T")->AsDateTime(), rtl::EncodeTime(13, 45, 30, 250), 1e-9);
    EXPECT_NEAR(field("TS")->AsDateTime(), stamp, 1e-9);
    EXPECT_EQ(field("B")->AsString(), bytes);
    EXPECT_EQ(field("G")->AsString(), "GIF89a");
    select.Next();
    EXPECT_EQ(field("S")->AsString(), "nulls");
    for (const char* name : {"FC", "M", "I", "N", "F", "L", "D", "T", "TS", "B", "G"})
        EXPECT_TRUE(field(name)->IsNull()) << name;
}

// ---- what the engine is handed -----------------------------------------------------------------

std::vector<std::string>& Calls() {
    static std::vector<std::string> calls;
    return calls;
}

// Records "number:setter=value"; the parameter numbered FailOn() is refused.
UNSIGNED32& FailOn() {
    static UNSIGNED32 number = 0;
    return number;
}
UNSIGNED32 Record(const EdsFieldId& field, const std::string& what) {
    Calls().push_back(std::to_string(field.number) + ":" + what);
    if (field.number != FailOn()) return 0;
    ::EdsSetLastError(EDS_E_INVALID_ARGUMENT, reinterpret_cast<const UNSIGNED8*>("bad parameter"));
    return EDS_E_INVALID_ARGUMENT;
}

class RecordingBinder {
public:
    RecordingBinder() {
        Calls().clear();
        FailOn() = 0;
        EdsApi.EdsSetEmpty = [](EDSHANDLE, EdsFieldId f) { return Record(f, "empty"); };
        EdsApi.EdsSetString = [](EDSHANDLE, EdsFieldId f, const UNSIGNED8* text, UNSIGNED32 length) {
            return Record(f, "string=" + std::string(reinterpret_cast<const char*>(text), length));
        };
        EdsApi.EdsSetDouble = [](EDSHANDLE, EdsFieldId f, DOUBLE v) { return Record(f, "double=" + rtl::FloatToStr(v)); };
        EdsApi.EdsSetLogical = [](EDSHANDLE, EdsFieldId f, UNSIGNED16 v) { return Record(f, "logical=" + std::to_string(v)); };
        EdsApi.EdsSetJulian = [](EDSHANDLE, EdsFieldId f, SIGNED32 v) { return Record(f, "julian=" + std::to_string(v)); };
        EdsApi.EdsSetMilliseconds = [](EDSHANDLE, EdsFieldId f, SIGNED32 v) { return Record(f, "ms=" + std::to_string(v)); };
        EdsApi.EdsSetTimeStampRaw = [](EDSHANDLE, EdsFieldId f, const UNSIGNED8* raw, UNSIGNED32 length) {
            std::int32_t day = 0;
            std::int32_t ms = 0;
            std::memcpy(&day, raw, 4);
            std::memcpy(&ms, raw + 4, 4);
            return Record(f, "stamp" + std::to_string(length) + "=" + std::to_string(day) + "+" + std::to_string(ms));
        };
        EdsApi.EdsSetBinary = [](EDSHANDLE, EdsFieldId f, UNSIGNED16 type, UNSIGNED32 total, UNSIGNED32 offset,
                                 const UNSIGNED8* data, UNSIGNED32 length) {
            return Record(f, "binary" + std::to_string(type) + "," + std::to_string(total) + "," + std::to_string(offset) +
                                 "=" + std::string(reinterpret_cast<const char*>(data), length));
        };
    }

private:
    TEdsEntryPointsGuard guard_;
};

db::TParam* Add(db::TParams& params, db::TFieldType type, const std::string& name = "p") {
    return params.CreateParam(type, name, db::ptInput);
}

TEST(EdsQueryParams, EachTypeGoesToItsSetterByNumberInListOrder) {
    RecordingBinder binder;
    db::TParams params;
    const double lastInstant = rtl::EncodeDate(1999, 12, 31) + (86400000.0 - 0.2) / 86400000.0;
    Add(params, db::ftInteger)->SetAsInteger(42);
    Add(params, db::ftString)->SetAsString("x'y");
    Add(params, db::ftBCD)->SetAsBCD(2.5);
    Add(params, db::ftWord)->SetAsWord(65535);
    Add(params, db::ftFloat)->SetAsFloat(0.25);
    Add(params, db::ftCurrency)->SetAsCurrency(-1.5);
    Add(params, db::ftBoolean)->SetAsBoolean(false);
    Add(params, db::ftDate)->SetAsDate(rtl::EncodeDate(2000, 1, 1));
    Add(params, db::ftDateTime)->SetAsDateTime(rtl::EncodeDate(2000, 1, 1) + 0.5);
    Add(params, db::ftTime)->SetAsTime(rtl::EncodeTime(0, 0, 1, 500));
    Add(params, db::ftVarBytes)->SetAsBlob(std::string("\x00z", 2));
    params[10]->SetDataType(db::ftVarBytes);
    // A time of day that rounds to midnight belongs to the next day; a date keeps its day.
    Add(params, db::ftDateTime)->SetAsDateTime(lastInstant);
    Add(params, db::ftTime)->SetAsTime(lastInstant);
    Add(params, db::ftDate)->SetAsDate(lastInstant);
    // Before the origin the day counts back while the time of day still runs forward.
    Add(params, db::ftDateTime)->SetAsDateTime(-1.25);
    for (db::TFieldType type : {db::ftUnknown, db::ftString, db::ftBlob, db::ftWideString, db::ftGuid})
        Add(params, type);  // nulls of any type are bound empty

    EdsBindParams(5, params, nullptr);
    EXPECT_EQ(Calls(), (Strings{"1:string=42", "2:string=x'y", "3:string=2.5", "4:string=65535", "5:double=0.25",
                                "6:double=-1.5", "7:logical=0", "8:julian=2451545", "9:stamp8=2451545+43200000",
                                "10:ms=1500", std::string("11:binary6,2,0=\x00z", 17), "12:stamp8=2451545+0", "13:ms=0",
                                "14:julian=2451544", "15:stamp8=2415018+21600000", "16:empty", "17:empty", "18:empty",
                                "19:empty", "20:empty"}));
}

TEST(EdsQueryParams, RefusalsNameTheParameterAndEndTheBinding) {
    RecordingBinder binder;
    auto refusal = [](db::TFieldType type, const db::Variant& value) {
        db::TParams params;
        Add(params, db::ftInteger)->SetAsInteger(1);
        db::TParam* odd = Add(params, type, "Odd");
        odd->SetValue(value);
        odd->SetDataType(type);
        Add(params, db::ftInteger)->SetAsInteger(3);
        Calls().clear();
        std::string message;
        EXPECT_EQ(ErrorOf([&] { EdsBindParams(5, params, nullptr); }, &message), EdsClientErrorCode);
        EXPECT_EQ(Calls(), Strings{"1:string=1"}) << db::FieldTypeName(type);
        return message;
    };
    EXPECT_EQ(refusal(db::ftUnknown, "v"), "The field named: 'Odd' has the DataType of ftUnknown, which is invalid.");
    for (db::TFieldType type : {db::ftWideString, db::ftADT, db::ftCursor, db::ftParadoxOle, db::ftTimeStamp,
                                db::ftGuid, db::ftVariant, db::ftFMTBcd, db::ftOraClob})
        EXPECT_EQ(refusal(type, "v"), "The field named: 'Odd' has a DataType that is not supported.");
    EXPECT_NE(refusal(db::ftDateTime, db::Variant::FromDateTime(4.0e12)).find("'Odd'"), std::string::npos);

    // An engine refusal ends the binding too, naming the query.
    testsupport::TempDir dir;
    MakeTable(dir.str(), "Kinds", "S,Char,5; I,Integer; F,Double");
    TEdsQuery query;
    query.SetName("edsqLog");
    query.SetDatabaseName(dir.str());
    query.SetSQLText("insert into Kinds values (:S, :I, :F)");
    query.ParamByName("I")->SetAsInteger(2);
    FailOn() = 2;
    Calls().clear();
    std::string message;
    EXPECT_EQ(ErrorOf([&] { query.ExecSQL(); }, &message), static_cast<std::int32_t>(EDS_E_INVALID_ARGUMENT));
    EXPECT_EQ(message, "edsqLog: bad parameter");
    EXPECT_EQ(Calls(), (Strings{"1:empty", "2:string=2"}));
}

}  // namespace
