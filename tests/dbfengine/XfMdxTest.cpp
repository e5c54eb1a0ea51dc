// Index files built from tables and used: the invariants after every build, walks
// and searches in every kind of tag held against the leaves, the sort through a run
// file giving the same file as the sort in memory, and the orders' rules.

#include <algorithm>
#include <filesystem>
#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfndx.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/dbfengine/MdxInvariants.h"
#include "tests/dbfengine/MdxTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::vector<std::int32_t> RecordsOf(const MdxTagInfo& tag)
{
    std::vector<std::int32_t> records;
    for (const MdxEntry& e : tag.Entries) records.push_back(e.Record);
    return records;
}

MdxTagInfo TagNamed(const std::string& path, const std::string& name)
{
    std::vector<std::string> problems;
    for (MdxTagInfo& tag : ReadMdxTags(path, problems))
        if (tag.Name == name) return tag;
    return {};
}

std::string Trimmed(const std::string& key) { return key.substr(0, key.find_last_not_of(' ') + 1); }

}  // namespace

TEST(XfMdx, EveryKindOfTagIsSoundAndWalksAsItsLeavesBothWays)
{
    IndexSettingsScope settings;
    IndexTableScope scope(3000, 7);
    const std::string& table = scope.Table;
    const std::string dir = scope.Dir.str();
    USE(table);
    XfIndexSettings().WorkingSize = 4096;  // runs of 1024 keys: the run file and the merge
    ASSERT_TRUE(IndexOn(EveryKindOfTag(), ""));
    EXPECT_EQ(IndexFileName(), dir + "/people.MDX");
    EXPECT_THAT(MdxProblems(true), IsEmpty());
    std::vector<std::string> problems;
    const std::vector<MdxTagInfo> tags = ReadMdxTags(IndexFileName(), problems);
    ASSERT_EQ(tags.size(), 7u);
    for (int n = 1; n <= 7; ++n) {
        SCOPED_TRACE(tags[n - 1].Name);
        Set_Order_To(n);
        EXPECT_EQ(CurrentOrder(), n);
        const std::vector<std::int32_t> leaves = RecordsOf(tags[n - 1]);
        EXPECT_EQ(WalkForward(), leaves);
        std::vector<std::int32_t> backward = WalkBackward();
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(backward, leaves);
    }
    // Natural order walks the records themselves.
    Set_Order_To(0);
    EXPECT_EQ(CurrentOrder(), 0);
    EXPECT_EQ(WalkForward().size(), 3000u);

    // Hidden records are passed over in index order too.
    Set_Order_To(1);
    SetIgnoreDel(true);
    std::vector<std::int32_t> live;
    for (std::int32_t r : RecordsOf(tags[0])) {
        GO(r);
        if (!CurrentRecord().Deleted()) live.push_back(r);
    }
    EXPECT_EQ(WalkForward(), live);
    SetIgnoreDel(false);

    // The same tags sorted wholly in memory give the same file, byte for byte.
    const std::string viaRuns = testsupport::ReadFile(IndexFileName());
    XfIndexSettings().WorkingSize = 1 << 24;
    ASSERT_TRUE(MakeIndex(EveryKindOfTag(), dir + "/memory"));
    EXPECT_TRUE(testsupport::ReadFile(dir + "/memory.MDX") == viaRuns);
}

TEST(XfMdx, FindLandsOnTheFirstKeyThatBeginsWithTheText)
{
    IndexTableScope scope(1500, 11);
    const std::string& table = scope.Table;
    USE(table);
    ASSERT_TRUE(IndexOn(EveryKindOfTag(), ""));
    ASSERT_THAT(MdxProblems(true), IsEmpty());
    std::mt19937 random(5);
    const std::vector<std::string> probes = {"A", "Ab", "Abe", "Ab ", "Abel", "B", "Miller 1", "Mu", "Zed 19", "Q", "zed", "", "Abel 1999"};
    for (const char* tagName : {"NAME", "NAMEDESC", "CITYONCE", "OKNAMES"}) {
        SCOPED_TRACE(tagName);
        ASSERT_TRUE(SetOrderToTag(tagName));
        const MdxTagInfo tag = TagNamed(IndexFileName(), tagName);
        for (bool exact : {false, true}) {
            for (const std::string& text : probes) {
                SCOPED_TRACE(text + (exact ? " exact" : ""));
                std::int32_t expected = 0;
                for (const MdxEntry& e : tag.Entries) {
                    const bool match = exact ? Trimmed(e.Key) == Trimmed(text) && e.Key.size() >= text.size()
                                             : e.Key.compare(0, text.size(), text) == 0;
                    if (match) {
                        expected = e.Record;
                        break;
                    }
                }
                GO(1);
                const std::int32_t before = RecNo();
                if (exact) FindExact(text);
                else Find(text);
                if (text.empty()) {
                    EXPECT_EQ(RecNo(), before);  // an empty text does nothing
                    continue;
                }
                EXPECT_EQ(IndexFound(), expected != 0);
                EXPECT_EQ(RecNo(), expected ? expected : RecCount() + 1);
                EXPECT_EQ(dEOF(), expected == 0);
            }
        }
    }
    // Numbers and dates are found by value, on the first record in the order.
    for (const char* tagName : {"AMOUNT", "AMTDESC", "BORN"}) {
        SCOPED_TRACE(tagName);
        ASSERT_TRUE(SetOrderToTag(tagName));
        const MdxTagInfo tag = TagNamed(IndexFileName(), tagName);
        for (int probe = 0; probe < 40; ++probe) {
            const MdxEntry& pick = tag.Entries[random() % tag.Entries.size()];
            const std::int32_t first = std::find_if(tag.Entries.begin(), tag.Entries.end(), [&](const MdxEntry& e) {
                                           return e.Key == pick.Key;
                                       })->Record;
            GO(pick.Record);
            const std::string text = std::string(tagName) == "BORN" ? CurrentRecord().Text(4) : CurrentKeyText(CurrentOrder());
            GoTop();
            Find(text);
            EXPECT_TRUE(IndexFound()) << text;
            EXPECT_EQ(RecNo(), first) << text;
        }
        Find(std::string(tagName) == "BORN" ? "01/01/1700" : "-99999");
        EXPECT_FALSE(IndexFound());
        EXPECT_TRUE(dEOF());
    }
}

TEST(XfMdx, OrdersAnswerTheirRulesAndErrors)
{
    IndexTableScope scope(200, 3);
    const std::string& table = scope.Table;
    const std::string dir = scope.Dir.str();
    USE(table);
    EXPECT_EQ(ErrorOf([] { Set_Order_To(1); }).first, 221);
    EXPECT_EQ(ErrorOf([] { Find("A"); }).first, 221);
    EXPECT_EQ(ErrorOf([&] { SetIndexTo("missing"); }),
              std::make_pair(2, DbfErrorText(2) + "\r\nSetIndexTo(missing)"));
    ASSERT_TRUE(IndexOn(EveryKindOfTag(), dir + "/other.mdx"));
    EXPECT_EQ(IndexTagCount(), 7);
    const auto [code, text] = ErrorOf([] { Set_Order_To(8); });
    EXPECT_EQ(code, 220);
    EXPECT_NE(text.find("Invalid Index Order Specified: SET_ORDER_TO. [Set_Order_To(8)] (DBF="), std::string::npos);
    EXPECT_EQ(CurrentOrder(), 1);
    // Tag names match by their beginning, in tag-table order; "" is record order.
    EXPECT_TRUE(SetOrderToTag("amo"));
    EXPECT_EQ(CurrentOrder(), 2);
    EXPECT_TRUE(SetOrderToTag("AM"));
    EXPECT_EQ(CurrentOrder(), 2);
    EXPECT_TRUE(SetOrderToTag("NAMED"));
    EXPECT_EQ(CurrentOrder(), 4);
    EXPECT_FALSE(IsAscending(4));
    EXPECT_TRUE(IsAscending(1));
    EXPECT_EQ(OrderName(4), dir + "/other.MDX [tag: NAMEDESC]");
    EXPECT_EQ(ErrorOf([] { SetOrderToTag("NOSUCH"); }).first, 220);
    EXPECT_EQ(CurrentOrder(), 4);
    EXPECT_TRUE(SetOrderToTag(""));
    EXPECT_EQ(CurrentOrder(), 0);
    EXPECT_EQ(GetFirstKeyTextProc()(), "Rec:" + std::string(10 - std::to_string(RecNo()).size(), ' ') + std::to_string(RecNo()));
    GO(5);
    EXPECT_EQ(ErrorOf([] { Find("A"); }),
              std::make_pair(254, DbfErrorText(254) + "\r\nCannot use Find() with index order 0 (natural order) [Find]"));
    EXPECT_EQ(RecNo(), 5);

    // Key texts: dates as date text, numbers in the key expression's width.
    Set_Order_To(2);
    GO(5);
    const std::string amount = CurrentKeyText(2);
    EXPECT_EQ(amount.size(), 10u);
    EXPECT_DOUBLE_EQ(std::stod(amount), CurrentRecord().Number(3));
    EXPECT_EQ(CurrentKeyText(3), CurrentRecord().Text(4));
    EXPECT_EQ(GetFirstKeyTextProc()(), amount);
    EXPECT_EQ(CurrentKeyText(9), "");

    // Selecting another order keeps the record; stepping goes on from it in the new order.
    const MdxTagInfo byName = TagNamed(IndexFileName(), "NAME");
    GO(byName.Entries[10].Record);
    Set_Order_To(1);
    EXPECT_EQ(RecNo(), byName.Entries[10].Record);
    SKIP(1);
    EXPECT_EQ(RecNo(), byName.Entries[11].Record);
    SKIP(-2);
    EXPECT_EQ(RecNo(), byName.Entries[9].Record);

    // Past either end, and record order's neighbours.
    GoBottom();
    SKIP(1);
    EXPECT_TRUE(dEOF());
    EXPECT_EQ(RecNo(), RecCount() + 1);
    GoBottom();
    EXPECT_EQ(RecNo(), byName.Entries.back().Record);
    GoTop();
    SKIP(-1);
    EXPECT_TRUE(dBOF());
    EXPECT_EQ(RecNo(), byName.Entries.front().Record);

    std::vector<std::string> list;
    CloseIndex();
    EXPECT_FALSE(IndexOpenTest());
    ListIndexTags(table, list);
    EXPECT_THAT(list, IsEmpty());  // the table's own index does not exist
    ListIndexTags(dir + "/other.dbf", list);
    ASSERT_EQ(list.size(), 14u);
    EXPECT_EQ(list[6], "NAMEDESC,T,F,UPPER(NAME)");
    EXPECT_EQ(list[7], "");
    EXPECT_EQ(list[8], "CITYONCE,F,T,CITY");
    EXPECT_EQ(list[10], "OKNAMES,F,F,NAME + CITY");
    EXPECT_EQ(list[11], "OK .AND. AMOUNT > 0");
}

TEST(XfMdx, ReindexWritesACompactFileWithTheSameTagsAndControllingTag)
{
    IndexTableScope scope(500, 9);
    const std::string& table = scope.Table;
    USE(table, "EXCLUSIVE");
    ASSERT_TRUE(IndexOn(EveryKindOfTag(), ""));
    const std::string before = testsupport::ReadFile(IndexFileName());
    ASSERT_TRUE(SetOrderToTag("CITYONCE"));
    Reindex();
    EXPECT_EQ(CurrentOrder(), 5);
    EXPECT_TRUE(testsupport::ReadFile(IndexFileName()) == before);
    EXPECT_THAT(MdxProblems(true), IsEmpty());
}
