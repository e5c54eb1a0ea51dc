// The dataset over a table of the oldest log's shape with its own index: the tags
// of IndexList built or kept at open, navigation in the controlling order, Find,
// FindExact and Locate through the index, and edits that keep the index whole.

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/uxffds.h"
#include "dbfengine/xfndx.h"
#include "platform/rtl/DateUtils.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/dbfengine/MdxInvariants.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const std::vector<std::string> kReportFields {
    "sentname0,C,30,0", "sentname1,C,30,0", "sentname2,C,30,0", "sentname3,C,30,0", "city,C,35,0",      "state,C,4,0",
    "zip,C,10,0",       "rdate,D,10,0",     "mailernum,C,25,0", "postage,C,15,0",   "certified,C,15,0", "restricted,C,15,0",
    "return,C,15,0",    "total,C,15,0",     "comments,C,35,0",  "re,C,25,0",
};

const std::vector<std::string> kTags {
    "NAME,F,F,SENTNAME0",     "",  //
    "DATEDESC,T,F,rdate",     "",  //
    "MAILER,F,T,MAILERNUM",   "",  //
    "TEXAS,F,F,CITY + STATE", "STATE = 'TX'",
};

std::unique_ptr<TXfDbf> Report(const std::string& path, std::vector<std::string> tags, TCreateIndexType create)
{
    auto ds = std::make_unique<TXfDbf>();
    ds->SetName("XfDbfReport");
    ds->SetDbfFields(kReportFields);
    ds->SetIndexList(std::move(tags));
    ds->SetCreateIndex(create);
    ds->SetDbfFileName(path);
    return ds;
}

std::string Name(int i) { return std::string(i % 3 == 0 ? "Smith " : i % 3 == 1 ? "Jones " : "Brown ") + std::to_string(i % 40); }

std::vector<std::string> Column(TXfDbf& ds, const char* field)
{
    std::vector<std::string> values;
    for (ds.First(); !ds.Eof(); ds.Next()) values.push_back(ds.FieldByName(field)->AsString());
    return values;
}

std::vector<std::string> IndexProblems(TXfDbf& ds)
{
    Select(ds.WorkAreaNo());
    return MdxProblems();
}

}  // namespace

TEST(XfDataSetIndex, AReportTableNavigatesFindsAndLocatesThroughItsIndex)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/report3.dbf";
    std::vector<std::string> built;
    auto ds = Report(path, kTags, ciNotFound);
    ds->OnAfterMakeIndex = [&](const std::string& name) { built.push_back(name); };
    ds->Open();
    // The table was missing: it is created empty and its index built.
    EXPECT_THAT(built, ElementsAre("NAME", "DATEDESC", "MAILER", "TEXAS"));
    for (int i = 0; i < 300; ++i) {
        ds->Append();
        ds->FieldByName("SENTNAME0")->SetAsString(Name(i));
        ds->FieldByName("CITY")->SetAsString(i % 2 ? "Austin" : "Boston");
        ds->FieldByName("STATE")->SetAsString(i % 4 == 1 ? "TX" : "MA");
        ds->FieldByName("RDATE")->SetAsDateTime(rtl::EncodeDate(2001, 1 + i % 12, 1 + i % 28));
        ds->FieldByName("MAILERNUM")->SetAsString("M" + std::to_string(i % 50));
        ds->Post();
    }
    ASSERT_THAT(IndexProblems(*ds), IsEmpty());
    EXPECT_FALSE(ds->IsSequenced());

    std::vector<std::string> names = Column(*ds, "SENTNAME0");
    ASSERT_EQ(names.size(), 300u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));

    EXPECT_TRUE(ds->Find("Jones 1"));
    EXPECT_EQ(ds->FieldByName("SENTNAME0")->AsString(), "Jones 1");
    EXPECT_TRUE(ds->Find("Sm"));
    EXPECT_EQ(ds->FieldByName("SENTNAME0")->AsString(), "Smith 0");
    ds->Next();
    EXPECT_EQ(ds->FieldByName("SENTNAME0")->AsString(), "Smith 0");
    EXPECT_FALSE(ds->FindExact("Jones"));
    EXPECT_EQ(ds->FieldByName("SENTNAME0")->AsString(), names.back());
    EXPECT_TRUE(ds->Eof());

    // Locate by the controlling order's own field goes through the index, a whole
    // key or a beginning; any other field is read record by record.
    EXPECT_TRUE(ds->Locate("sentname0", std::string("Brown 17"), {}));
    EXPECT_EQ(ds->FieldByName("SENTNAME0")->AsString(), "Brown 17");
    EXPECT_FALSE(ds->Locate("sentname0", std::string("Bro"), {}));
    EXPECT_EQ(ds->FieldByName("SENTNAME0")->AsString(), "Brown 17");
    EXPECT_TRUE(ds->Locate("sentname0", std::string("Bro"), {db::loPartialKey}));
    EXPECT_EQ(ds->FieldByName("SENTNAME0")->AsString(), "Brown 0");
    EXPECT_TRUE(ds->Locate("mailernum", std::string("M42"), {}));
    EXPECT_EQ(ds->FieldByName("MAILERNUM")->AsString(), "M42");
    EXPECT_TRUE(ds->Locate("sentname0", std::string("smith 3"), {db::loCaseInsensitive}));
    EXPECT_EQ(ds->FieldByName("SENTNAME0")->AsString(), "Smith 3");

    // An edit moves the record's keys.
    ASSERT_TRUE(ds->FindExact("Smith 3"));
    ds->Edit();
    ds->FieldByName("SENTNAME0")->SetAsString("Aaron");
    ds->FieldByName("STATE")->SetAsString("TX");
    ds->Post();
    ASSERT_THAT(IndexProblems(*ds), IsEmpty());
    ds->First();
    EXPECT_EQ(ds->FieldByName("SENTNAME0")->AsString(), "Aaron");

    // Other orders: dates newest first; a unique tag holds each mailer once; a FOR
    // tag only Texas.
    ASSERT_TRUE(SetOrderToTag("DATEDESC"));
    std::vector<double> dates;
    for (ds->First(); !ds->Eof(); ds->Next()) dates.push_back(ds->FieldByName("RDATE")->AsDateTime());
    EXPECT_TRUE(std::is_sorted(dates.rbegin(), dates.rend()));
    EXPECT_TRUE(ds->Locate("rdate", db::Variant::FromDateTime(rtl::EncodeDate(2001, 3, 3)), {}));
    EXPECT_DOUBLE_EQ(ds->FieldByName("RDATE")->AsDateTime(), rtl::EncodeDate(2001, 3, 3));
    ASSERT_TRUE(SetOrderToTag("MAILER"));
    EXPECT_EQ(Column(*ds, "MAILERNUM").size(), 50u);
    ASSERT_TRUE(SetOrderToTag("TEXAS"));
    const std::vector<std::string> texas = Column(*ds, "STATE");
    EXPECT_EQ(texas.size(), 76u);
    EXPECT_TRUE(std::all_of(texas.begin(), texas.end(), [](const std::string& s) { return s == "TX"; }));
    Set_Order_To(0);
    EXPECT_TRUE(ds->IsSequenced());
    ds->Close();

    // Reopened with the same tags the index is kept; with other tags it is rebuilt,
    // less the tags the event refuses.
    built.clear();
    ds->Open();
    EXPECT_THAT(built, IsEmpty());
    ds->Close();
    auto again = Report(path, {"NAME,F,F,SENTNAME0", "", "ZIP,F,F,ZIP", "", "CITY,F,F,CITY", ""}, ciVerifyHeader);
    again->OnBeforeMakeIndex = [](const std::string& name, bool& canMake) { canMake = name != "ZIP"; };
    again->Open();
    Select(again->WorkAreaNo());
    EXPECT_EQ(IndexTagCount(), 2);
    EXPECT_EQ(OrderName(2).substr(OrderName(2).size() - 11), "[tag: CITY]");
    EXPECT_THAT(MdxProblems(), IsEmpty());
    EXPECT_TRUE(again->Locate("city", std::string("Austin"), {}));
    again->Close();
}

// Past 2^53 a double no longer tells neighbouring integers apart: a tag on a
// 64-bit integer field, and the search without one, take the value digit for digit.
// A 20-digit field holds doubles, which its tag is searched with in full.
TEST(XfDataSetIndex, SixtyFourBitIntegersAreFoundDigitForDigit)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::int64_t twoTo53 = 9007199254740992;
    const auto open = [&](const std::string& name, std::vector<std::string> tags) {
        auto ds = std::make_unique<TXfDbf>();
        ds->SetName(name);
        ds->SetDbfFields({"big,N,18,0", "name,C,10,0", "huge,N,20,0"});
        ds->SetIndexList(std::move(tags));
        ds->SetDbfFileName(dir.str() + "/" + name);
        ds->Open();
        for (const int step : {0, 1, 2, -1}) {
            ds->Append();
            ds->FieldByName("BIG")->SetAsString(std::to_string(twoTo53 + step));
            ds->FieldByName("NAME")->SetAsString(std::to_string(step));
            ds->FieldByName("HUGE")->SetAsFloat((step + 2) * 1e19);
            ds->Post();
        }
        return ds;
    };
    const auto name = [](TXfDbf& ds) { return ds.FieldByName("NAME")->AsString(); };

    auto tagged = open("tagged", {"BIG,F,F,BIG", "", "HUGE,F,F,HUGE", ""});
    ASSERT_THAT(IndexProblems(*tagged), IsEmpty());
    EXPECT_THAT(Column(*tagged, "NAME"), ElementsAre("-1", "0", "1", "2"));
    EXPECT_TRUE(tagged->Locate("BIG", db::Variant(twoTo53 + 1), {}));
    EXPECT_EQ(name(*tagged), "1");
    EXPECT_TRUE(tagged->Locate("BIG", db::Variant(twoTo53), {}));
    EXPECT_EQ(name(*tagged), "0");
    EXPECT_TRUE(tagged->FindExact("9007199254740993"));
    EXPECT_EQ(name(*tagged), "1");
    EXPECT_TRUE(tagged->Find("9007199254740994"));
    EXPECT_EQ(name(*tagged), "2");
    EXPECT_FALSE(tagged->FindExact("9007199254740995"));
    // A key that moves is found where it went.
    ASSERT_TRUE(tagged->FindExact("9007199254740991"));
    tagged->Edit();
    tagged->FieldByName("BIG")->SetAsString(std::to_string(twoTo53 + 3));
    tagged->Post();
    ASSERT_THAT(IndexProblems(*tagged), IsEmpty());
    EXPECT_TRUE(tagged->FindExact("9007199254740995"));
    EXPECT_EQ(name(*tagged), "-1");
    EXPECT_FALSE(tagged->FindExact("9007199254740991"));
    ASSERT_TRUE(SetOrderToTag("HUGE"));
    EXPECT_TRUE(tagged->Locate("HUGE", db::Variant(3e19), {}));
    EXPECT_EQ(name(*tagged), "1");
    EXPECT_FALSE(tagged->Locate("HUGE", db::Variant(3.5e19), {}));
    tagged->Close();

    auto plain = open("plain", {});
    EXPECT_TRUE(plain->Locate("BIG", db::Variant(twoTo53 + 1), {}));
    EXPECT_EQ(name(*plain), "1");
    EXPECT_TRUE(plain->Locate("BIG", db::Variant(twoTo53 - 1), {}));
    EXPECT_EQ(name(*plain), "-1");
    plain->Close();
}
