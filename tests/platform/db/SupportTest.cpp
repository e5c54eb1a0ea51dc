#include "platform/db/DB.h"

#include <gtest/gtest.h>

using namespace db;

TEST(Variant, NullEmptyAndConversions) {
    EXPECT_TRUE(Variant().IsEmpty());
    EXPECT_FALSE(Variant().IsNull());
    EXPECT_TRUE(Variant::Null().IsNull());
    EXPECT_TRUE(Variant::Null().IsClear());
    EXPECT_EQ(Variant::Null().ToString(), "");
    EXPECT_EQ(Variant(12).ToString(), "12");
    EXPECT_EQ(Variant(0.1 + 0.2).ToString(), "0.3");
    EXPECT_EQ(Variant(true).ToString(), "True");
    EXPECT_EQ(Variant(" 42 ").ToInt(), 42);
    EXPECT_DOUBLE_EQ(Variant("2.5").ToDouble(), 2.5);
    EXPECT_TRUE(Variant("true").ToBool());
    EXPECT_FALSE(Variant("0").ToBool());
    try {
        Variant::Null().ToInt();
        FAIL();
    } catch (const EVariantError& e) {
        EXPECT_EQ(e.Message(), "Could not convert variant of type (Null) into type (Int64)");
    }
    EXPECT_THROW(Variant("abc").ToDouble(), EVariantError);
    EXPECT_THROW(Variant(std::int64_t{1} << 40).ToInt(), EVariantError);
}

TEST(Variant, EqualityComparesNumbersByValue) {
    EXPECT_EQ(Variant(2), Variant(2.0));
    EXPECT_EQ(Variant::FromDateTime(3.0), Variant(3));
    EXPECT_FALSE(Variant("2") == Variant(2));
    EXPECT_EQ(Variant::Null(), Variant::Null());
    EXPECT_FALSE(Variant::Null() == Variant());
    EXPECT_EQ(VarArrayOf({1, "a"}), VarArrayOf({1.0, "a"}));
}

TEST(Variant, Arrays) {
    Variant a = VarArrayOf({1, "two", Variant::Null()});
    ASSERT_TRUE(a.IsArray());
    EXPECT_EQ(a.ArrayLength(), 3u);
    EXPECT_EQ(a[1].ToString(), "two");
    EXPECT_TRUE(a[2].IsNull());
    EXPECT_THROW(a[3], EVariantError);
    EXPECT_THROW(Variant(1)[0], EVariantError);
}

TEST(ParseSQL, MarkersBecomeQuestionMarksInOrder) {
    TParams params;
    const std::string sql = params.ParseSQL("SELECT * FROM Log WHERE a = :First AND b = :second_2 OR c=:First", true);
    EXPECT_EQ(sql, "SELECT * FROM Log WHERE a = ? AND b = ? OR c=?");
    ASSERT_EQ(params.Count(), 3);  // one per marker: binding is by position
    EXPECT_EQ(params[0]->Name(), "First");
    EXPECT_EQ(params[1]->Name(), "second_2");
    EXPECT_EQ(params[2]->Name(), "First");
    EXPECT_EQ(params[0]->DataType(), ftUnknown);
}

TEST(ParseSQL, QuotedPartsAndDoubleColonsAreNotParameters) {
    TParams params;
    const std::string sql = params.ParseSQL(
        "SELECT 'it''s :not', \"col:x\", [a:b] FROM t WHERE t = '10:30' AND x = :real AND y::int = 1 AND z = :", true);
    EXPECT_EQ(sql, "SELECT 'it''s :not', \"col:x\", [a:b] FROM t WHERE t = '10:30' AND x = ? AND y:int = 1 AND z = :");
    ASSERT_EQ(params.Count(), 1);
    EXPECT_EQ(params[0]->Name(), "real");
}

TEST(ParseSQL, QuotedNamesAndUnterminatedLiterals) {
    TParams params;
    EXPECT_EQ(params.ParseSQL("x = :\"my name\" and y = :b", true), "x = ? and y = ?");
    ASSERT_EQ(params.Count(), 2);
    EXPECT_EQ(params[0]->Name(), "my name");
    TParams none;
    EXPECT_EQ(none.ParseSQL("x = 'open :literal", true), "x = 'open :literal");
    EXPECT_EQ(none.Count(), 0);
    EXPECT_EQ(none.ParseSQL("a = :p", false), "a = ?");
    EXPECT_EQ(none.Count(), 0);
}

TEST(Params, ValuesTypesAndLookupByName) {
    TParams params;
    params.CreateParam(ftUnknown, "Name");
    params.CreateParam(ftUnknown, "Count");
    params.ParamByName("name")->SetAsString("x");
    EXPECT_EQ(params[0]->DataType(), ftString);
    EXPECT_TRUE(params[0]->Bound());
    params.ParamByName("COUNT")->SetValue(7);
    EXPECT_EQ(params[1]->DataType(), ftInteger);
    params[1]->Clear();
    EXPECT_TRUE(params[1]->IsNull());
    EXPECT_EQ(params[1]->DataType(), ftInteger);
    try {
        params.ParamByName("missing");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Parameter 'missing' not found");
    }
    TParam p;
    p.SetAsDate(36526.0);
    EXPECT_EQ(p.DataType(), ftDate);
    p.SetAsBlob(std::string("\x00\x01", 2));
    EXPECT_EQ(p.GetDataSize(), 2);
}

TEST(Params, AssignValuesCopiesByNameOnly) {
    TParams target, source;
    target.ParseSQL("a = :A and b = :B and a2 = :A", true);
    source.CreateParam(ftInteger, "a")->SetAsInteger(5);
    source.CreateParam(ftString, "z")->SetAsString("ignored");
    target.AssignValues(source);
    EXPECT_EQ(target[0]->AsInteger(), 5);
    EXPECT_EQ(target[0]->Name(), "A");
    EXPECT_EQ(target[2]->AsInteger(), 5);
    EXPECT_TRUE(target[1]->IsNull());
    TParams copy = target;
    EXPECT_TRUE(copy.IsEqual(target));
    copy[0]->SetAsInteger(6);
    EXPECT_FALSE(copy.IsEqual(target));
}

TEST(SqlScanning, TableNameAndOrder) {
    EXPECT_EQ(GetTableNameFromSQL("select * from Log where x = 1"), "Log");
    EXPECT_EQ(GetTableNameFromSQL("SELECT a FROM \"Address Book\" ab ORDER BY a"), "Address Book");
    EXPECT_EQ(GetTableNameFromSQL("select * from a, b"), "");
    EXPECT_EQ(GetTableNameFromSQL("select * from a join b on a.x=b.x"), "");
    EXPECT_EQ(GetTableNameFromSQL("update t set x = 1"), "");
    EXPECT_EQ(GetOrderByFieldsFromSQL("select * from t order by t.Name desc, ID"), "Name;ID");
    EXPECT_EQ(GetOrderByFieldsFromSQL("select * from t"), "");
}

TEST(Streams, MemoryStreamReadWriteSeek) {
    TMemoryStream s;
    s.WriteBuffer("hello", 5);
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Position(), 5);
    s.Seek(-2, TSeekOrigin::soEnd);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2);
    EXPECT_EQ(std::string(buf, 2), "lo");
    EXPECT_THROW(s.ReadBuffer(buf, 1), EReadError);
    s.Seek(7, TSeekOrigin::soBeginning);
    s.WriteBuffer("!", 1);  // past the end: the gap is zeros
    EXPECT_EQ(s.ReadAllBytes(), std::string("hello\0\0!", 8));
    EXPECT_EQ(s.Seek(-100, TSeekOrigin::soCurrent), 0);
    s.SetSize(2);
    EXPECT_EQ(s.ReadAllBytes(), "he");
    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(s, 0), 2);
    EXPECT_EQ(copy.ReadAllBytes(), "he");
}

TEST(Bcd, RoundTripsScalesAndLimits) {
    TBcd bcd;
    ASSERT_TRUE(CurrToBCD(123456789, bcd, 20, 4));  // 12345.6789
    EXPECT_EQ(bcd.Precision, 20);
    EXPECT_EQ(bcd.SignSpecialPlaces, 4);
    EXPECT_EQ(BCDToCurr(bcd), 123456789);
    EXPECT_EQ(BcdToText(bcd), "12345.6789");
    ASSERT_TRUE(CurrToBCD(-15000, bcd, 10, 2));
    EXPECT_EQ(BcdToText(bcd), "-1.5");
    EXPECT_EQ(BCDToCurr(bcd), -15000);
    ASSERT_TRUE(CurrToBCD(INT64_MIN, bcd, 32, 4));
    EXPECT_EQ(BCDToCurr(bcd), INT64_MIN);
    EXPECT_FALSE(CurrToBCD(1000000, bcd, 4, 4));  // 100.0000 needs seven digits
    ASSERT_TRUE(CurrToBCD(123450, bcd, 6, 0));    // 12.345 to whole units
    EXPECT_EQ(BcdToText(bcd), "12");
    EXPECT_FALSE(DoubleToCurr(1e300).has_value());
    EXPECT_EQ(DoubleToCurr(0.00005), 1);
}

TEST(IndexDefs, ExactMatchBeforeAPrefixAndExpressionsNever) {
    TIndexDefs defs;
    defs.Add("BYNAMEZIP", "NAME;ZIP");
    defs.Add("BYNAME", "Name");
    defs.Add("EXPR", "NAME", {ixExpression});
    defs.Add("CI", "CITY", {ixCaseInsensitive});
    EXPECT_EQ(defs.GetIndexForFields("name", false)->Name(), "BYNAME");
    EXPECT_EQ(defs.GetIndexForFields("NAME;ZIP", false)->Name(), "BYNAMEZIP");
    EXPECT_EQ(defs.GetIndexForFields("ZIP", false), nullptr);
    EXPECT_EQ(defs.GetIndexForFields("CITY", false), nullptr);
    EXPECT_EQ(defs.FindIndexForFields("CITY")->Name(), "CI");
    EXPECT_THROW(defs.FindIndexForFields("ZIP"), EDatabaseError);
    EXPECT_THROW(defs.Add("byname", "X"), EDatabaseError);
    EXPECT_EQ(defs.Find("bynamezip")->Fields(), "NAME;ZIP");
    TIndexDefs copy;
    copy.Assign(defs);
    EXPECT_EQ(copy.Count(), 4);
}

TEST(DatabaseError, TextsNameTheComponent) {
    rtl::TComponent named;
    named.SetName("edstLog");
    try {
        DatabaseErrorFmt(texts::SFieldNotFound, {"X"}, &named);
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "edstLog: Field 'X' not found");
    }
    EXPECT_EQ(FormatText("%s of %s%%", {"1", "2"}), "1 of 2%");
    EXPECT_EQ(FormatText("%s and %s", {"only"}), "only and ");
}
