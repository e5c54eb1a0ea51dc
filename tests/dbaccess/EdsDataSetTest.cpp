// The dataset over real engine tables: every field type written and read
// back, navigation both ways, counts, record numbers, bookmarks, blobs.

#include "dbaccess/edsdatablob.h"
#include "tests/dbaccess/EdsDataTestSupport.h"

#include "platform/db/Bcd.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using edsdatatest::AppendRows;
using edsdatatest::CreateTable;
using edsdatatest::TEngineTable;
using edsdatatest::TTestTable;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

const char kAllTypes[] =
    "L,Logical; N,Numeric,6,2; S,Numeric,4,0; D,Date; C,Char,10; M,Memo; B,Binary; IM,Image; V,VarChar,20; "
    "CD,ShortDate; DB,Double; I,Integer; SI,ShortInt; T,Time; TS,TimeStamp; AI,AutoInc; R,Raw,4; "
    "CU,CurDouble; MO,Money; CI,CIChar,8";

// 15 March 2024 as a TDateTime (days since 30 December 1899).
constexpr double kMarch15 = 45366.0;

void FillAllTypes(TTestTable& t) {
    t.FieldByName("L")->SetAsBoolean(true);
    t.FieldByName("N")->SetAsFloat(-12.5);
    t.FieldByName("S")->SetAsInteger(-999);
    t.FieldByName("D")->SetAsDateTime(kMarch15);
    t.FieldByName("C")->SetAsString("Müller ß");
    t.FieldByName("M")->SetAsString("Grüße\r\nzwei Zeilen");
    static_cast<db::TBlobField*>(t.FieldByName("B"))->SetAsBytes(std::string("\0\1\2\xFF", 4));
    static_cast<db::TBlobField*>(t.FieldByName("IM"))->SetAsBytes("GIF89a");
    t.FieldByName("V")->SetAsString("variable");
    t.FieldByName("CD")->SetAsDateTime(kMarch15 + 1);
    t.FieldByName("DB")->SetAsFloat(1.0 / 3.0);
    t.FieldByName("I")->SetAsInteger(-2147483647);
    t.FieldByName("SI")->SetAsInteger(32767);
    t.FieldByName("T")->SetAsDateTime(0.75);  // 18:00
    t.FieldByName("TS")->SetAsDateTime(kMarch15 + 0.5);
    t.FieldByName("R")->SetAsString("ab\x01z");
    t.FieldByName("CU")->SetAsCurrency(1234.5678);
    t.FieldByName("MO")->SetAsString("-98765.4321");
    t.FieldByName("CI")->SetAsString("MiXeD");
}

TEST(EdsDataSetFields, EveryTypeRoundTripsThroughTheEngine) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "Types", kAllTypes);
    {
        TTestTable t(dir.str(), "Types");
        t.Open();
        EXPECT_EQ(t.FieldByName("S")->DataType(), db::ftSmallint);
        EXPECT_EQ(t.FieldByName("N")->DataType(), db::ftFloat);
        EXPECT_EQ(t.FieldByName("MO")->DataType(), db::ftBCD);
        EXPECT_TRUE(static_cast<TEdsBCDField*>(t.FieldByName("MO"))->Currency());
        EXPECT_TRUE(static_cast<TEdsStringField*>(t.FieldByName("CI"))->CaseInsensitive());
        EXPECT_FALSE(static_cast<TEdsStringField*>(t.FieldByName("C"))->CaseInsensitive());
        t.Append();
        FillAllTypes(t);
        t.Post();
        t.Append();  // a second record with nothing given
        t.Post();
    }
    TTestTable t(dir.str(), "Types");
    t.Open();
    ASSERT_EQ(t.RecordCount(), 2);
    EXPECT_TRUE(t.FieldByName("L")->AsBoolean());
    EXPECT_EQ(t.FieldByName("N")->AsFloat(), -12.5);
    EXPECT_EQ(t.FieldByName("S")->AsInteger(), -999);
    EXPECT_EQ(t.FieldByName("D")->AsDateTime(), kMarch15);
    EXPECT_EQ(t.FieldByName("C")->AsString(), "Müller ß");
    EXPECT_EQ(t.FieldByName("M")->AsString(), "Grüße\r\nzwei Zeilen");
    EXPECT_EQ(static_cast<db::TBlobField*>(t.FieldByName("B"))->AsBytes(), std::string("\0\1\2\xFF", 4));
    EXPECT_EQ(static_cast<db::TBlobField*>(t.FieldByName("IM"))->AsBytes(), "GIF89a");
    EXPECT_EQ(t.FieldByName("V")->AsString(), "variable");
    EXPECT_EQ(t.FieldByName("CD")->AsDateTime(), kMarch15 + 1);
    EXPECT_EQ(t.FieldByName("DB")->AsFloat(), 1.0 / 3.0);
    EXPECT_EQ(t.FieldByName("I")->AsInteger(), -2147483647);
    EXPECT_EQ(t.FieldByName("SI")->AsInteger(), 32767);
    EXPECT_EQ(t.FieldByName("T")->AsDateTime(), 0.75);
    EXPECT_EQ(t.FieldByName("TS")->AsDateTime(), kMarch15 + 0.5);
    EXPECT_EQ(t.FieldByName("AI")->AsInteger(), 1);
    EXPECT_EQ(t.FieldByName("R")->AsString(), "ab\x01z");
    EXPECT_EQ(t.FieldByName("CU")->AsCurrency(), 1234.5678);
    EXPECT_EQ(t.FieldByName("MO")->AsString(), "-98765.4321");
    EXPECT_EQ(t.FieldByName("CI")->AsString(), "MiXeD");

    // The engine holds the text in Windows-1252, not UTF-8.
    UNSIGNED8 raw[16] = {};
    UNSIGNED32 length = sizeof raw;
    ASSERT_EQ(EdsApi.EdsGetField(t.Handle(), "C", raw, &length, EDS_RTRIM), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), length), "M\xFCller \xDF");

    t.Next();
    for (db::TField* field : t.Fields().List()) {
        EXPECT_EQ(field->IsNull(), field->FieldName() != "AI") << field->FieldName();
    }
    EXPECT_EQ(t.FieldByName("AI")->AsInteger(), 2);
}

TEST(EdsDataSetFields, RefusedValuesLeaveTheRecordEditable) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "Nums", "N,Numeric,5,2; SI,ShortInt");
    TTestTable t(dir.str(), "Nums");
    t.Open();
    t.Append();
    EXPECT_THAT([&] { t.FieldByName("N")->SetAsFloat(123.45); },
                ThrowsMessage<EEDSDatabaseError>(HasSubstr("Numeric out of range.")));
    t.FieldByName("N")->SetAsFloat(1.5);
    t.Post();
    EXPECT_EQ(t.FieldByName("N")->AsFloat(), 1.5);
    EXPECT_EQ(t.FieldByName("SI")->IsNull(), true);
}

TEST(EdsDataSetFields, DatesStopAtTheLastMomentOfYear9999) {
    constexpr double kLastDay = 2958465.0;  // 31 December 9999
    constexpr double kLastSecond = kLastDay + 86399.0 / 86400.0;
    constexpr double kOneMs = 1.0 / 86400000.0;
    testsupport::TempDir dir;
    CreateTable(dir.str(), "Dates", "D,Date; TS,TimeStamp; SD,ShortDate");
    {
        TTestTable t(dir.str(), "Dates");
        t.Open();
        t.Append();
        for (const char* name : {"D", "TS", "SD"}) {
            // 1 January 10000 at midnight and later, and a value that only
            // reaches it when kept to the millisecond.
            for (double value : {kLastDay + 1, kLastDay + 1.5, kLastDay + 1 - kOneMs / 4, 1e300}) {
                EXPECT_THAT([&] { t.FieldByName(name)->SetAsDateTime(value); },
                            ThrowsMessage<db::EDatabaseError>(
                                HasSubstr(std::string("Invalid value for field '") + name + "'")))
                    << name << " " << value;
                EXPECT_TRUE(t.FieldByName(name)->IsNull()) << name;
            }
        }
        t.FieldByName("D")->SetAsDateTime(kLastDay);
        t.FieldByName("TS")->SetAsDateTime(kLastSecond);
        t.FieldByName("SD")->SetAsDateTime(kLastDay);
        t.Post();
        t.Append();
        t.FieldByName("TS")->SetAsDateTime(kLastDay + 1 - kOneMs);  // the last millisecond
        t.Post();
    }
    TTestTable t(dir.str(), "Dates");
    t.Open();
    ASSERT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.FieldByName("D")->AsDateTime(), kLastDay);
    EXPECT_NEAR(t.FieldByName("TS")->AsDateTime(), kLastSecond, kOneMs / 2);
    EXPECT_EQ(t.FieldByName("SD")->AsDateTime(), kLastDay);
    for (const char* name : {"D", "TS", "SD"}) EXPECT_THAT(t.FieldByName(name)->AsString(), HasSubstr("9999")) << name;
    t.Next();
    EXPECT_NEAR(t.FieldByName("TS")->AsDateTime(), kLastDay + 1 - kOneMs, kOneMs / 2);
}

// ---- navigation over a few thousand rows ----------------------------------------------

constexpr int kRows = 3000;

// Row i has ID i + 1 and a Name that sorts in the opposite order.
void CreateNumbers(const std::string& folder) {
    CreateTable(folder, "Numbers", "ID,Integer; Name,Char,12",
                {{"BYNAME", "Name", 0}, {"BYID", "ID", EDS_UNIQUE}});
    AppendRows(folder, "Numbers", kRows, [](EDSHANDLE table, int row) {
        ASSERT_EQ(edsdatatest::SetInteger(table, "ID", row + 1), 0u);
        ASSERT_EQ(edsdatatest::SetText(table, "Name", "N" + std::to_string(500000 - row)), 0u);
    });
}

std::vector<int> Forward(TTestTable& t) {
    std::vector<int> ids;
    for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("ID")->AsInteger());
    return ids;
}

std::vector<int> Backward(TTestTable& t) {
    std::vector<int> ids;
    for (t.Last(); !t.Bof(); t.Prior()) ids.push_back(t.FieldByName("ID")->AsInteger());
    return ids;
}

std::vector<int> Ascending(int from, int to) {
    std::vector<int> ids;
    for (int i = from; i <= to; ++i) ids.push_back(i);
    return ids;
}

TEST(EdsDataSetNavigation, BothWaysWithAndWithoutAnIndex) {
    testsupport::TempDir dir;
    CreateNumbers(dir.str());
    TTestTable t(dir.str(), "Numbers");
    t.Open();
    const std::vector<int> natural = Ascending(1, kRows);
    EXPECT_EQ(Forward(t), natural);
    EXPECT_EQ(Backward(t), std::vector<int>(natural.rbegin(), natural.rend()));
    EXPECT_EQ(t.RecordCount(), kRows);

    t.SetIndexName("BYNAME");
    EXPECT_EQ(Forward(t), std::vector<int>(natural.rbegin(), natural.rend()));
    EXPECT_EQ(Backward(t), natural);
    EXPECT_EQ(t.RecordCount(), kRows);

    // MoveBy across the buffer ring and back lands where counting says.
    t.First();
    EXPECT_EQ(t.MoveBy(1234), 1234);
    EXPECT_EQ(t.FieldByName("ID")->AsInteger(), kRows - 1234);
    EXPECT_EQ(t.MoveBy(-1000), -1000);
    EXPECT_EQ(t.FieldByName("ID")->AsInteger(), kRows - 234);
}

TEST(EdsDataSetNavigation, RecNoFollowsTheOrderAndSettingItBackStaysPut) {
    testsupport::TempDir dir;
    CreateNumbers(dir.str());
    TTestTable t(dir.str(), "Numbers");
    t.Open();
    // Natural order: the record number.
    t.SetRecNo(49);
    EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 49);
    EXPECT_EQ(t.RecNo(), 49);

    t.SetIndexName("BYNAME");
    // Not sequenced: still the physical record number.
    t.First();
    EXPECT_EQ(t.RecNo(), kRows);

    t.SetSequenced(true);
    for (TEdsSequencedLevel level : {slStandard, slExact}) {
        t.SetSequencedLevel(level);
        for (int position : {1, 2, 49, 50, 1500, kRows - 1, kRows}) {
            t.SetRecNo(position);
            EXPECT_EQ(t.FieldByName("ID")->AsInteger(), kRows + 1 - position) << position;
            EXPECT_EQ(t.RecNo(), position) << position;
            const int here = t.RecNo();
            t.SetRecNo(here);
            EXPECT_EQ(t.RecNo(), here);
        }
        t.SetRecNo(kRows + 100);  // beyond the count: the last one
        EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 1);
        t.SetRecNo(-5);  // before the first: the first one
        EXPECT_EQ(t.FieldByName("ID")->AsInteger(), kRows);
    }
}

TEST(EdsDataSetNavigation, BookmarksSurviveDeletesOfOtherRecords) {
    testsupport::TempDir dir;
    CreateNumbers(dir.str());
    TTestTable t(dir.str(), "Numbers");
    t.Open();
    t.SetIndexName("BYNAME");
    std::vector<db::TBookmark> marks;
    for (int id : {2900, 2000, 1500, 10}) {
        ASSERT_TRUE(t.Locate("ID", db::Variant(id), {}));
        marks.push_back(t.GetBookmark());
    }
    // The engine orders bookmarks by record number.
    EXPECT_LT(t.CompareBookmarks(marks[1], marks[0]), 0);
    EXPECT_EQ(t.CompareBookmarks(marks[0], marks[0]), 0);
    EXPECT_EQ(t.CompareBookmarks({}, {}), 0);
    EXPECT_EQ(t.CompareBookmarks(marks[0], {}), -1);
    EXPECT_EQ(t.CompareBookmarks({}, marks[0]), 1);

    // One neighbour deleted through the dataset, one behind its back.
    ASSERT_TRUE(t.Locate("ID", db::Variant(2001), {}));
    t.Delete();
    EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 2000);
    {
        TEngineTable other(dir.str(), "Numbers");
        ASSERT_EQ(EdsApi.EdsGotoRecord(other.Handle(), 1500), 0u);
        ASSERT_EQ(EdsApi.EdsDeleteRecord(other.Handle()), 0u);
        ASSERT_EQ(EdsApi.EdsWriteRecord(other.Handle()), 0u);
    }
    t.GotoBookmark(marks[1]);
    EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 2000);
    t.Next();
    EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 1999);
    t.GotoBookmark(marks[3]);
    EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 10);
    EXPECT_TRUE(t.BookmarkValid(marks[0]));
    EXPECT_FALSE(t.BookmarkValid(marks[2]));
    EXPECT_THAT([&] { t.GotoBookmark(marks[2]); }, ThrowsMessage<db::EDatabaseError>(HasSubstr("Record not found")));
    t.First();
    EXPECT_EQ(t.RecordCount(), kRows - 2);
    EXPECT_EQ(Forward(t).size(), static_cast<std::size_t>(kRows - 2));
}

TEST(EdsDataSetNavigation, FilterEventSkipsRejectedRecordsAndAnEditOfOneFails) {
    testsupport::TempDir dir;
    CreateNumbers(dir.str());
    TTestTable t(dir.str(), "Numbers");
    int rejectAbove = kRows + 1;
    t.SetOnFilterRecord([&](db::TDataSet& ds, bool& accept) {
        const int id = ds.FieldByName("ID")->AsInteger();
        accept = id % 2 == 0 && id < rejectAbove;
    });
    t.SetFiltered(true);
    t.Open();
    const std::vector<int> ids = Forward(t);
    ASSERT_EQ(ids.size(), static_cast<std::size_t>(kRows / 2));
    EXPECT_EQ(ids.front(), 2);
    EXPECT_EQ(Backward(t).front(), kRows);

    // The current record no longer passes: editing it is refused, and the
    // record lock taken for the edit is released.
    t.Last();
    rejectAbove = 0;
    EXPECT_THAT([&] { t.Edit(); }, ThrowsMessage<db::EDatabaseError>(HasSubstr("Record not found")));
    EXPECT_EQ(t.State(), db::dsBrowse);
    TEngineTable other(dir.str(), "Numbers");
    EXPECT_EQ(EdsApi.EdsLockRecord(other.Handle(), kRows), 0u) << edsdatatest::EngineText();
}

// ---- blobs ---------------------------------------------------------------------------------

TEST(EdsDataSetBlobs, RoundTripsOfZeroOneAndAMillionBytes) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "Blobs", "ID,Integer; B,Binary; M,Memo");
    std::string million(1000000, '\0');
    for (std::size_t i = 0; i < million.size(); ++i) million[i] = static_cast<char>((i * 7919) % 251);
    const std::vector<std::string> values{std::string(), std::string("\0", 1), million};
    {
        TTestTable t(dir.str(), "Blobs");
        t.Open();
        for (std::size_t i = 0; i < values.size(); ++i) {
            t.Append();
            t.FieldByName("ID")->SetAsInteger(static_cast<int>(i));
            static_cast<db::TBlobField*>(t.FieldByName("B"))->SetAsBytes(values[i]);
            t.FieldByName("M")->SetAsString(std::string(values[i].size(), 'x'));
            t.Post();
        }
    }
    TTestTable t(dir.str(), "Blobs");
    t.Open();
    for (std::size_t i = 0; i < values.size(); ++i, t.Next()) {
        auto* blob = static_cast<db::TBlobField*>(t.FieldByName("B"));
        EXPECT_EQ(blob->IsNull(), values[i].empty()) << i;
        EXPECT_EQ(blob->AsBytes(), values[i]) << i;
        EXPECT_EQ(t.FieldByName("M")->AsString().size(), values[i].size()) << i;
    }
    // Replacing the big value in an edit, then cancelling, keeps it.
    t.Last();
    t.Edit();
    static_cast<db::TBlobField*>(t.FieldByName("B"))->SetAsBytes("small");
    EXPECT_EQ(static_cast<db::TBlobField*>(t.FieldByName("B"))->AsBytes(), "small");
    t.Cancel();
    EXPECT_EQ(static_cast<db::TBlobField*>(t.FieldByName("B"))->AsBytes(), million);
}

TEST(EdsDataSetBlobs, StreamsReadTheEngineOnceAndRefuseWrongModes) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "Memos", "M,Memo; I,Integer");
    AppendRows(dir.str(), "Memos", 1, [](EDSHANDLE table, int) {
        ASSERT_EQ(edsdatatest::SetText(table, "M", "hello"), 0u);
    });
    TTestTable t(dir.str(), "Memos");
    t.Open();
    static int reads = 0;
    reads = 0;
    TEdsEntryPointsGuard guard;
    EdsApi.EdsGetField = [](EDSHANDLE h, EdsFieldId f, UNSIGNED8* b, UNSIGNED32* l, UNSIGNED16 o) -> UNSIGNED32 {
        ++reads;
        return ::EdsGetField(h, f, b, l, o);
    };
    db::TField* memo = t.FieldByName("M");
    EXPECT_EQ(memo->AsString(), "hello");
    EXPECT_EQ(memo->AsString(), "hello");
    EXPECT_EQ(reads, 1);

    auto stream = t.CreateBlobStream(memo, db::bmRead);
    char byte = 0;
    EXPECT_THAT([&] { stream->Write(&byte, 1); },
                ThrowsMessage<EEDSDatabaseError>(HasSubstr("Error modifying read only blob.")));
    EXPECT_THAT([&] { t.CreateBlobStream(memo, db::bmWrite); },
                ThrowsMessage<EEDSDatabaseError>(
                    HasSubstr("Table must be in Edit or Insert state to open blob stream in Write Mode.")));
    t.Edit();
    EXPECT_THAT([&] { t.CreateBlobStream(t.FieldByName("I"), db::bmReadWrite); },
                ThrowsMessage<EEDSDatabaseError>(HasSubstr("Invalid blob open on non-blob field.")));
    t.Cancel();
}

}  // namespace
