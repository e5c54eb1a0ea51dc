#include "TestData.h"

#include "platform/rtl/DateUtils.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace dbtest;

namespace {

// One column of each kind, one empty record in insert state.
std::unique_ptr<TMemDataSet> AllTypes(bool latin1 = false) {
    auto ds = std::make_unique<TMemDataSet>();
    ds->SetName("T");
    ds->SetLatin1Image(latin1);
    ds->AddColumn("ID", ftInteger);
    ds->AddColumn("S", ftString, 5);
    ds->AddColumn("SI", ftSmallint);
    ds->AddColumn("F", ftFloat);
    ds->AddColumn("C", ftCurrency);
    ds->AddColumn("B", ftBoolean);
    ds->AddColumn("D", ftDate);
    ds->AddColumn("TM", ftTime);
    ds->AddColumn("DT", ftDateTime);
    ds->AddColumn("BCD", ftBCD, 2);
    ds->AddColumn("BY", ftBytes, 4);
    ds->AddColumn("M", ftMemo);
    ds->AddColumn("BL", ftBlob);
    ds->AddColumn("AI", ftAutoInc);
    ds->AddColumn("LI", ftLargeint);
    ds->Open();
    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(1);
    return ds;
}

template <class T>
T Native(TField* f) {
    T v{};
    EXPECT_TRUE(f->GetData(&v));
    return v;
}

}  // namespace

TEST(FieldClasses, DefaultFieldsGetTheFrameworkClasses) {
    auto ds = AllTypes();
    EXPECT_NE(dynamic_cast<TSmallintField*>(ds->FieldByName("SI")), nullptr);
    EXPECT_NE(dynamic_cast<TCurrencyField*>(ds->FieldByName("C")), nullptr);
    EXPECT_TRUE(dynamic_cast<TCurrencyField*>(ds->FieldByName("C"))->Currency());
    EXPECT_NE(dynamic_cast<TBCDField*>(ds->FieldByName("BCD")), nullptr);
    EXPECT_EQ(ds->FieldByName("BCD")->Size(), 2);
    EXPECT_NE(dynamic_cast<TDateField*>(ds->FieldByName("D")), nullptr);
    EXPECT_NE(dynamic_cast<TTimeField*>(ds->FieldByName("TM")), nullptr);
    EXPECT_NE(dynamic_cast<TMemoField*>(ds->FieldByName("M")), nullptr);
    EXPECT_NE(dynamic_cast<TAutoIncField*>(ds->FieldByName("AI")), nullptr);
    EXPECT_TRUE(ds->FieldByName("BL")->IsBlob());
    EXPECT_EQ(ds->FieldByName("S")->DataSize(), 6);
}

TEST(FieldNative, DatesTimesAndBooleansUseTheFrameworkLayouts) {
    auto ds = AllTypes();
    const double y2k = rtl::EncodeDate(2000, 1, 1);
    ds->FieldByName("D")->SetAsDateTime(y2k + 0.75);
    EXPECT_EQ(Native<std::int32_t>(ds->FieldByName("D")), 730120);  // 1 January of year 1 is day 1
    EXPECT_DOUBLE_EQ(ds->FieldByName("D")->AsDateTime(), y2k);      // the time part is dropped
    ds->FieldByName("TM")->SetAsDateTime(rtl::EncodeTime(12, 30, 15, 250));
    EXPECT_EQ(Native<std::int32_t>(ds->FieldByName("TM")), 45015250);
    ds->FieldByName("DT")->SetAsDateTime(y2k + 0.5);
    EXPECT_DOUBLE_EQ(Native<double>(ds->FieldByName("DT")), 730120.0 * 86400000 + 43200000);
    EXPECT_DOUBLE_EQ(ds->FieldByName("DT")->AsDateTime(), y2k + 0.5);
    ds->FieldByName("B")->SetAsBoolean(true);
    EXPECT_EQ(Native<std::int16_t>(ds->FieldByName("B")), -1);
    ds->FieldByName("B")->SetAsBoolean(false);
    EXPECT_EQ(Native<std::int16_t>(ds->FieldByName("B")), 0);
}

TEST(FieldNative, DateTimeRoundsToTheMillisecondWithoutLosingADay) {
    auto ds = AllTypes();
    // 23:59:59.9996 rounds up into the next day, never to day + 86400000 ms.
    const double nearlyMidnight = rtl::EncodeDate(2024, 2, 28) + (86400000.0 - 0.4) / 86400000.0;
    ds->FieldByName("DT")->SetAsDateTime(nearlyMidnight);
    EXPECT_DOUBLE_EQ(ds->FieldByName("DT")->AsDateTime(), rtl::EncodeDate(2024, 2, 29));
    EXPECT_THROW(ds->FieldByName("DT")->SetAsDateTime(std::nan("")), EDatabaseError);
    EXPECT_THROW(ds->FieldByName("D")->SetAsDateTime(-700000.0), EDatabaseError);  // before year 1
}

TEST(FieldText, DatesFollowTheProgramWideFormat) {
    rtl::DateFormatGuard guard;
    rtl::ShortDateFormat = "dd/MM/yyyy";
    auto ds = AllTypes();
    ds->FieldByName("D")->SetAsString("31/12/2023");
    EXPECT_EQ(ds->FieldByName("D")->AsString(), "31/12/2023");
    EXPECT_THROW(ds->FieldByName("D")->SetAsString("12/31/2023"), EDatabaseError);
    ds->FieldByName("D")->SetAsString("  ");
    EXPECT_TRUE(ds->FieldByName("D")->IsNull());
}

TEST(FieldString, TextIsCutToTheFieldOnACharacterBoundary) {
    auto ds = AllTypes();
    TField* s = ds->FieldByName("S");
    s->SetAsString("abcdefgh");
    EXPECT_EQ(s->AsString(), "abcde");
    s->SetAsString("\xC3\x84\xC3\x96\xC3\x9C");  // ÄÖÜ: 6 bytes of UTF-8, 5 fit
    EXPECT_EQ(s->AsString(), "\xC3\x84\xC3\x96");
    s->SetAsString(std::string(4'000'000, 'x'));  // far longer than the field: cut before converting
    EXPECT_EQ(s->AsString(), "xxxxx");
    s->SetAsString("");
    EXPECT_FALSE(s->IsNull());  // an empty text is a value here; datasets may store it as null
    EXPECT_EQ(s->AsString(), "");
}

TEST(FieldString, EightBitRecordImagesConvertThroughTheDatasetHook) {
    auto ds = AllTypes(true);
    TField* s = ds->FieldByName("S");
    s->SetAsString("\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F\xC3\xA9");  // ÄÖÜßé: five Latin-1 bytes
    EXPECT_EQ(s->AsString(), "\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F\xC3\xA9");
    char raw[6] = {};
    ASSERT_TRUE(s->GetData(raw));
    EXPECT_EQ(std::string(raw), "\xC4\xD6\xDC\xDF\xE9");
    s->SetAsString("\xE2\x82\xAC" "1");  // a character the image cannot hold
    EXPECT_EQ(s->AsString(), "?1");
}

TEST(FieldNumbers, RangesAndBadTextAreRefusedWithTheFieldName) {
    auto ds = AllTypes();
    TField* si = ds->FieldByName("SI");
    try {
        si->SetAsInteger(40000);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "T: 40000 is not a valid value for field 'SI'. The allowed range is -32768 to 32767");
    }
    si->SetAsInteger(-32768);
    EXPECT_EQ(si->AsInteger(), -32768);
    EXPECT_THROW(si->SetAsString("12x"), EDatabaseError);
    si->SetAsString(" 12 ");
    EXPECT_EQ(si->AsInteger(), 12);
    si->SetAsString("");
    EXPECT_TRUE(si->IsNull());
    auto* id = dynamic_cast<TIntegerField*>(ds->FieldByName("ID"));
    id->SetMinValue(1);
    id->SetMaxValue(10);
    EXPECT_THROW(id->SetAsInteger(11), EDatabaseError);
    EXPECT_THROW(id->SetAsFloat(1e12), EDatabaseError);
    id->SetAsFloat(2.6);
    EXPECT_EQ(id->AsInteger(), 3);
    EXPECT_THROW(id->SetAsVariant("seven"), EDatabaseError);
}

TEST(FieldNumbers, LargeintsKeepEverySixtyFourBitValue) {
    auto ds = AllTypes();
    TField* li = ds->FieldByName("LI");
    ASSERT_NE(dynamic_cast<TLargeintField*>(li), nullptr);
    EXPECT_EQ(li->DataSize(), 8);
    li->SetAsString("9007199254740993");  // no double holds it
    EXPECT_EQ(li->AsString(), "9007199254740993");
    EXPECT_EQ(Native<std::int64_t>(li), 9007199254740993LL);
    li->SetValue(Variant(std::int64_t{INT64_MIN}));
    EXPECT_EQ(li->AsVariant().ToInt64(), INT64_MIN);
    EXPECT_EQ(li->AsString(), "-9223372036854775808");
    EXPECT_THROW(li->SetAsString("9223372036854775808"), EDatabaseError);
    EXPECT_EQ(li->AsString(), "-9223372036854775808");
    EXPECT_THROW(li->AsInteger(), EDatabaseError) << "beyond 32 bits";
    li->SetAsInteger(-5);
    EXPECT_EQ(li->AsInteger(), -5);
    EXPECT_DOUBLE_EQ(li->AsFloat(), -5);
    li->SetAsFloat(1e18);
    EXPECT_EQ(li->AsString(), "1000000000000000000");
}

TEST(FieldNumbers, FloatsFormatWithoutTheCLocaleAndRefuseNonNumbers) {
    auto ds = AllTypes();
    TField* f = ds->FieldByName("F");
    f->SetAsFloat(0.1 + 0.2);
    EXPECT_EQ(f->AsString(), "0.3");
    f->SetAsString("1.5E3");
    EXPECT_DOUBLE_EQ(f->AsFloat(), 1500);
    EXPECT_EQ(f->AsInteger(), 1500);
    EXPECT_THROW(f->SetAsString("1,5"), EDatabaseError);
    EXPECT_THROW(f->SetAsFloat(INFINITY), EDatabaseError);
    EXPECT_DOUBLE_EQ(f->AsFloat(), 1500);
    EXPECT_THROW(ds->FieldByName("B")->AsFloat(), EDatabaseError);  // no such access
}

TEST(FieldBoolean, TextsFollowDisplayValues) {
    auto ds = AllTypes();
    auto* b = dynamic_cast<TBooleanField*>(ds->FieldByName("B"));
    b->SetAsString("true");
    EXPECT_EQ(b->AsString(), "True");
    b->SetAsString("F");
    EXPECT_FALSE(b->AsBoolean());
    EXPECT_EQ(b->AsString(), "False");
    b->SetDisplayValues("Yes;No");
    b->SetAsString("y");
    EXPECT_EQ(b->AsString(), "Yes");
    EXPECT_THROW(b->SetAsString("maybe"), EDatabaseError);
    EXPECT_TRUE(b->AsBoolean());
}

TEST(FieldBcd, CurrencyUnitsAndScale) {
    auto ds = AllTypes();
    auto* bcd = dynamic_cast<TBCDField*>(ds->FieldByName("BCD"));
    bcd->SetAsFloat(12.345);  // two decimal places: rounds half away from zero
    EXPECT_EQ(bcd->AsString(), "12.35");
    bcd->SetAsString("-0.5");
    EXPECT_DOUBLE_EQ(bcd->AsFloat(), -0.5);
    std::int64_t units = 0;
    ASSERT_TRUE(bcd->GetCurrencyUnits(units));
    EXPECT_EQ(units, -5000);
    bcd->SetPrecision(4);
    ds->Cancel();
    ds->Append();
    EXPECT_THROW(bcd->SetAsFloat(123.45), EDatabaseError);  // five digits in a precision of four
}

TEST(FieldValidate, OnValidateSeesTheNewValueAndCanRefuseIt) {
    auto ds = AllTypes();
    TField* s = ds->FieldByName("S");
    s->SetAsString("old");
    std::string seen;
    s->OnValidate = [&](TField& f) {
        seen = f.AsString();
        if (seen == "bad") throw EDatabaseError("bad value");
    };
    s->SetAsString("new");
    EXPECT_EQ(seen, "new");
    EXPECT_THROW(s->SetAsString("bad"), EDatabaseError);
    EXPECT_EQ(s->AsString(), "new");
}

TEST(FieldText, OnGetTextAndOnSetTextTakeOver) {
    auto ds = AllTypes();
    TField* s = ds->FieldByName("S");
    s->OnGetText = [](TField& f, std::string& text, bool display) { text = (display ? "<" : "") + f.AsString(); };
    s->OnSetText = [](TField& f, const std::string& text) { f.SetAsString(text + "!"); };
    s->SetText("hi");
    EXPECT_EQ(s->AsString(), "hi!");
    EXPECT_EQ(s->Text(), "hi!");
    EXPECT_EQ(s->DisplayText(), "<hi!");
}

TEST(FieldBlob, MemoAndBlobTravelThroughStreams) {
    auto ds = AllTypes(true);
    auto* memo = dynamic_cast<TMemoField*>(ds->FieldByName("M"));
    auto* blob = dynamic_cast<TBlobField*>(ds->FieldByName("BL"));
    EXPECT_TRUE(memo->IsNull());
    memo->SetAsString("Gr\xC3\xBC\xC3\x9F" "e");
    std::string bytes("\x00\x01\xFF", 3);
    blob->SetAsBytes(bytes);
    ds->Post();
    EXPECT_EQ(memo->AsString(), "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(memo->AsBytes(), "Gr\xFC\xDF" "e");  // the image holds Latin-1
    EXPECT_EQ(blob->AsBytes(), bytes);
    EXPECT_EQ(blob->BlobSize(), 3);
    EXPECT_EQ(memo->DisplayText(), "(MEMO)");
    EXPECT_EQ(memo->Text(), "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_THROW(blob->SetAsBytes("x"), EDatabaseError);  // not editing
    ds->Edit();
    blob->Clear();
    ds->Post();
    EXPECT_TRUE(blob->IsNull());
    EXPECT_EQ(blob->DisplayText(), "(blob)");
    EXPECT_EQ(memo->AsString(), "Gr\xC3\xBC\xC3\x9F" "e");
}

TEST(FieldBlob, AReadStreamRefusesWrites) {
    auto ds = AllTypes();
    auto stream = ds->CreateBlobStream(ds->FieldByName("BL"), bmRead);
    ASSERT_NE(stream, nullptr);
    const char byte = 'x';
    EXPECT_THROW(stream->Write(&byte, 1), EDatabaseError);
}

TEST(FieldVariant, ValuesByKind) {
    auto ds = AllTypes();
    ds->FieldByName("S")->SetAsVariant(Variant(42));
    EXPECT_EQ(ds->FieldByName("S")->AsString(), "42");
    ds->FieldByName("F")->SetAsVariant("2.5");
    EXPECT_DOUBLE_EQ(ds->FieldByName("F")->AsFloat(), 2.5);
    ds->FieldByName("D")->SetAsVariant(Variant::FromDateTime(45000.0));
    EXPECT_EQ(ds->FieldByName("D")->AsVariant().VarType(), Variant::Type::DateTime);
    ds->FieldByName("F")->SetAsVariant(Variant::Null());
    EXPECT_TRUE(ds->FieldByName("F")->AsVariant().IsNull());
    ds->FieldByName("BY")->SetAsString("ab");
    EXPECT_EQ(ds->FieldByName("BY")->AsString(), std::string("ab\0\0", 4));
}

TEST(FieldDefinitions, PersistentFieldsMustMatchTheirColumns) {
    TMemDataSet ds;
    ds.AddColumn("ID", ftInteger);
    CreateField<TStringField>(ds, "ID");
    try {
        ds.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Type mismatch for field 'ID', expecting: String actual: Integer");
    }
    EXPECT_FALSE(ds.Active());
}

TEST(FieldDefinitions, FieldsOfAnOpenDatasetCannotBeRenamedOrAdded) {
    auto ds = MakePeople({{1, "a"}});
    EXPECT_THROW(ds->FieldByName("NAME")->SetFieldName("X"), EDatabaseError);
    EXPECT_THROW(CreateField<TIntegerField>(*ds, "EXTRA"), EDatabaseError);
    ds->Close();
    TMemDataSet other;
    CreateField<TIntegerField>(other, "A");
    EXPECT_THROW(CreateField<TIntegerField>(other, "a"), EDatabaseError);  // names ignore case
}

TEST(FieldDefinitions, FieldDefsUpdateReadsAClosedDataset) {
    TMemDataSet ds;
    ds.AddColumn("ID", ftInteger);
    ds.AddColumn("NAME", ftString, 7);
    ds.FieldDefs().Update();
    EXPECT_FALSE(ds.Active());
    ASSERT_EQ(ds.FieldDefs().Count(), 2);
    EXPECT_EQ(ds.FieldDefs().Find("name")->Size(), 7);
    EXPECT_EQ(ds.FieldDefs()[1]->FieldNo(), 2);
    EXPECT_THROW(ds.FieldDefs().Find("X"), EDatabaseError);
    EXPECT_EQ(ds.FieldDefs().IndexOf("X"), -1);
}
