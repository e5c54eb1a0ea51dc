// Keys kept in step with the table: random appends, replaces, deletes and recalls
// against a model of the names, with the index checked whole after every step, and
// the repairs of the maintenance rules (FOR tags, the order of equal keys, new nodes
// after foreign bytes, the first error kept) each shown where it matters.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfndx.h"
#include "dbfengine/xfndxInternal.h"
#include "platform/rtl/SysUtils.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/dbfengine/MdxInvariants.h"
#include "tests/dbfengine/MdxTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

// 100 and 66 characters: nodes of 9 and 14 keys, so a few hundred records make
// trees four and three levels deep.
const char* const kLongKey = "NAME + CITY + NAME + CITY + NAME + CITY + NAME + CITY + NAME";
const char* const kMiddleKey = "NAME + CITY + NAME + CITY + NAME + CITY";

std::vector<TXfTagDef> Tags(int count)
{
    if (count == 1) return {{"NAME", "NAME", "", false, false}};
    if (count == 5)
        return {{"NAME", "NAME", "", false, false},
                {"LONGDESC", kLongKey, "", true, false},
                {"CITYONCE", "CITY", "", false, true},
                {"OKAMOUNT", "AMOUNT", "OK .AND. AMOUNT > 0", true, false},
                {"MIDDLE", kMiddleKey, ".NOT. OK", false, false}};
    static const char* const kKeys[] = {"NAME", "CITY", "AMOUNT", "BORN", "UPPER(NAME)", "NAME + CITY", "CITY + NAME",
                                        kLongKey, "LEFT(NAME, 3)", "DTOS(BORN)", "STR(AMOUNT, 10, 2)", kMiddleKey};
    static const char* const kConditions[] = {"", "OK", "AMOUNT > 0", ".NOT. OK .AND. AMOUNT < 100"};
    std::vector<TXfTagDef> tags = {{"NAME", "NAME", "", false, false}};
    for (int i = 1; i < count; ++i)
        tags.push_back({"T" + std::to_string(i), kKeys[i % 12], kConditions[(i / 3) % 4], i % 2 == 1, i % 5 == 0});
    return tags;
}

std::string Padded(std::string name)
{
    name.resize(12, ' ');
    return name;
}

// The names of the table as the model has them, and what the NAME tag must say.
struct Model {
    std::vector<std::string> Names;  // by record number - 1, padded

    std::vector<std::int32_t> NameOrder() const
    {
        std::vector<std::int32_t> order(Names.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::int32_t>(i + 1);
        std::stable_sort(order.begin(), order.end(), [&](std::int32_t x, std::int32_t y) { return Names[x - 1] < Names[y - 1]; });
        return order;
    }
    std::int32_t FirstWithName(const std::string& name) const
    {
        for (std::int32_t r : NameOrder())
            if (Names[r - 1] == name) return r;
        return 0;
    }
};

class Randomizer {
public:
    explicit Randomizer(std::uint32_t seed) : random_(seed) {}
    int Pick(int n) { return static_cast<int>(random_() % static_cast<std::uint32_t>(n)); }
    std::string Name()
    {
        static const char* const kNames[] = {"Abel", "Baker", "Cole", "Dunn", "Eve", "Abbot", "Zed", "Ab", "Miller", "Muller"};
        std::string name = kNames[Pick(10)];
        if (Pick(3) == 0) name += " " + std::to_string(Pick(20));
        return name;
    }
    // Sets one to all five fields; the model follows the name.
    void Fill(TXfTypedRecord record, Model& model, std::int32_t number, bool all)
    {
        static const char* const kCities[] = {"Austin", "Boston", "Chicago", "Dallas", "El Paso", ""};
        const int which = all ? -1 : Pick(5);
        if (which < 0 || which == 0) {
            const std::string name = Name();
            record.SetText(1, name);
            model.Names[static_cast<std::size_t>(number) - 1] = Padded(name);
        }
        if (which < 0 || which == 1) record.SetText(2, kCities[Pick(6)]);
        if (which < 0 || which == 2) record.SetNumber(3, (Pick(801) - 400) / 4.0);
        if (which < 0 || which == 3) {
            char date[11];
            std::snprintf(date, sizeof date, "%02d/%02d/%04d", 1 + Pick(12), 1 + Pick(28), 1890 + Pick(140));
            record.SetText(4, Pick(8) == 0 ? "" : date);
        }
        if (which < 0 || which == 4) record.SetLogical(5, Pick(2) == 0);
    }

private:
    std::mt19937 random_;
};

std::vector<std::int32_t> Records(const std::string& path, const std::string& tag)
{
    std::vector<std::string> problems;
    for (const MdxTagInfo& info : ReadMdxTags(path, problems)) {
        if (info.Name != tag) continue;
        std::vector<std::int32_t> records;
        for (const MdxEntry& e : info.Entries) records.push_back(e.Record);
        return records;
    }
    return {};
}

// Runs `steps` random changes on a table of `tagCount` tags, checking after each.
void RunModel(int tagCount, std::uint32_t seed, int steps)
{
    SCOPED_TRACE("tags " + std::to_string(tagCount) + ", seed " + std::to_string(seed));
    testsupport::TempDir dir;
    const std::string table = dir.str() + "/people.dbf";
    MakeIndexTable(table, 60, seed);
    USE(table, "EXCLUSIVE");
    Model model;
    for (std::int32_t r = 1; r <= RecCount(); ++r) {
        Dbf4RawGo(r);
        model.Names.push_back(Padded(CurrentRecord().Text(1)));
    }
    ASSERT_TRUE(IndexOn(Tags(tagCount), ""));
    ASSERT_EQ(IndexTagCount(), tagCount);
    Randomizer random(seed);
    for (int step = 0; step < steps; ++step) {
        const int action = random.Pick(10);
        const std::int32_t count = RecCount();
        const std::int32_t target = 1 + random.Pick(count);
        std::string what;
        if (action < 4) {
            what = "append";
            ClearRecord();
            model.Names.emplace_back();
            random.Fill(CurrentRecord(), model, count + 1, true);
            Append();
        } else if (action < 8) {
            what = "replace " + std::to_string(target);
            GO(target);
            random.Fill(CurrentRecord(), model, target, random.Pick(4) == 0);
            Replace();
        } else {
            what = (action == 8 ? "delete " : "recall ") + std::to_string(target);
            GO(target);
            if (action == 8) DeleteRec();
            else RecallRec();
        }
        SCOPED_TRACE("step " + std::to_string(step) + ": " + what);
        ASSERT_EQ(static_cast<std::size_t>(RecCount()), model.Names.size());
        const std::vector<std::string> problems = MdxProblems();
        ASSERT_THAT(problems, IsEmpty());
        if (step % 25 == 24) {
            ASSERT_EQ(WalkForward(), model.NameOrder());
            const std::string name = Padded(random.Name());
            FindExact(name);
            const std::int32_t expected = model.FirstWithName(name);
            EXPECT_EQ(IndexFound(), expected != 0);
            if (expected) {
                EXPECT_EQ(RecNo(), expected);
            }
        }
    }
    EXPECT_EQ(Records(IndexFileName(), "NAME"), model.NameOrder());
    // Another reader walks what the changes left and finds the same entries.
    if (tagCount == 5 && seed == 1) {
        std::vector<std::string> problems;
        for (const MdxTagInfo& tag : ReadMdxTags(IndexFileName(), problems)) {
            if (tag.Type != 'C' || tag.Descending) continue;
            std::string expected;
            for (const MdxEntry& e : tag.Entries) expected += std::to_string(e.Record) + "|";
            const testsupport::CommandResult perl =
                testsupport::RunCommand("perl " + PerlScript() + " walk '" + IndexFileName() + "' " + tag.Name);
            ASSERT_EQ(perl.status, 0) << "libdbd-xbase-perl";
            std::string records;
            std::istringstream lines(perl.output);
            for (std::string line; std::getline(lines, line);) records += line.substr(0, line.find('|')) + "|";
            EXPECT_EQ(records, expected) << tag.Name;
        }
    }
    if (tagCount == 47) {
        // No 48th tag fits; the file stays as it was.
        std::vector<TXfTagDef> more = Tags(47);
        more.push_back({"EXTRA", "NAME", "", false, false});
        EXPECT_EQ(ErrorOf([&] { IndexOn(more, "more"); }).first, 254);
        ASSERT_TRUE(SetIndexTo("more"));
        EXPECT_EQ(IndexTagCount(), 47);
    }
    CloseDatabase();
}

}  // namespace

TEST(XfMdxKeys, RandomChangesKeepOneFiveAndFortySevenTagsWhole)
{
    REQUIRE_TOOLS("perl");
    EngineScope engine;
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        RunModel(1, seed, 400);
        RunModel(5, seed, 700);
    }
    RunModel(47, 7, 200);
    RunModel(47, 8, 200);
}

TEST(XfMdxKeys, AReplaceMovesEveryTagAndReportsTheFirstThatFailed)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string table = dir.str() + "/people.dbf";
    MakeIndexTable(table, 40, 5, false);
    USE(table, "EXCLUSIVE");
    ASSERT_TRUE(IndexOn({{"T1", "NAME", "", false, false}, {"T2", "UPPER(NAME)", "", false, false}, {"T3", "CITY", "OK", false, false}}, ""));
    // Record 5 leaves T3, then changes its name behind the index's back.
    GO(5);
    CurrentRecord().SetLogical(5, false);
    Replace();
    XfDbf4Settings().IndexOnReplace = 0;
    CurrentRecord().SetText(1, "Stale");
    Replace();
    XfDbf4Settings().IndexOnReplace = 1;
    ASSERT_TRUE(SetOrderToTag("T3"));
    Set_Order_To(0);
    GO(5);
    // Now it enters T3: T1 and T2 miss the old entry, T3 still gets the new one.
    CurrentRecord().SetText(1, "Fresh");
    CurrentRecord().SetText(2, "Quito");
    CurrentRecord().SetLogical(5, true);
    const auto [code, text] = ErrorOf([] { Replace(); });
    EXPECT_EQ(code, 254);
    EXPECT_THAT(text, HasSubstr("Record number 5 not found in index. "));
    EXPECT_THAT(text, HasSubstr("[tag: T1] [CompareKeys]"));
    const std::vector<std::string> problems = MdxProblems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_THAT(problems[0], HasSubstr("T1:"));
    EXPECT_THAT(problems[1], HasSubstr("T2:"));
    ASSERT_TRUE(SetOrderToTag("T3"));
    FindExact("Quito");
    EXPECT_TRUE(IndexFound());
    EXPECT_EQ(RecNo(), 5);
    // And leaving the FOR tag again takes its key out.
    XfErrors().LastError = 0;
    CurrentRecord().SetLogical(5, false);
    Replace();
    FindExact("Quito");
    EXPECT_FALSE(IndexFound());
    CloseDatabase();
}

TEST(XfMdxKeys, EqualKeysStayInRecordOrderAcrossLeaves)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string table = dir.str() + "/same.dbf";
    MakeIndexTable(table, 0, 1);
    USE(table, "EXCLUSIVE");
    ASSERT_TRUE(IndexOn({{"NAME", "NAME", "", false, false}, {"DESC", "NAME", "", true, false}}, ""));
    // Three hundred equal keys fill five leaves of 63.
    for (int i = 1; i <= 300; ++i) {
        ClearRecord();
        CurrentRecord().SetText(1, i == 1 || i == 150 ? "Other" : "Same");
        Append();
    }
    ASSERT_THAT(MdxProblems(), IsEmpty());
    for (std::int32_t r : {150, 1}) {
        GO(r);
        CurrentRecord().SetText(1, "Same");
        Replace();
        ASSERT_THAT(MdxProblems(), IsEmpty());
    }
    for (const char* tag : {"NAME", "DESC"}) {
        ASSERT_TRUE(SetOrderToTag(tag));
        FindExact("Same");
        EXPECT_EQ(RecNo(), 1) << tag;
        std::vector<std::int32_t> all(300);
        for (int i = 0; i < 300; ++i) all[static_cast<std::size_t>(i)] = i + 1;
        EXPECT_EQ(WalkForward(), all) << tag;
    }
    CloseDatabase();
}

TEST(XfMdxKeys, SplitsAppendNodesAfterWhateverEndsTheFile)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string table = dir.str() + "/people.dbf";
    MakeIndexTable(table, 30, 9);
    USE(table, "EXCLUSIVE");
    ASSERT_TRUE(IndexOn({{"LONG", kLongKey, "", false, false}}, ""));
    const std::string mdx = IndexFileName();
    CloseDatabase();
    // Another program left 100 bytes past the last node.
    const std::string tail(100, '\xAB');
    const auto end = static_cast<std::int64_t>(std::filesystem::file_size(mdx));
    {
        std::ofstream out(mdx, std::ios::binary | std::ios::app);
        out << tail;
    }
    USE(table, "EXCLUSIVE");
    ASSERT_TRUE(SetIndexTo(""));
    Randomizer random(3);
    Model model;
    model.Names.resize(60);
    for (int i = 0; i < 30; ++i) {
        ClearRecord();
        random.Fill(CurrentRecord(), model, 31 + i, true);
        Append();
    }
    ASSERT_THAT(MdxProblems(), IsEmpty());
    std::ifstream in(mdx, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(static_cast<std::int64_t>(bytes.size()), end + 512);
    EXPECT_EQ(bytes.substr(static_cast<std::size_t>(end), tail.size()), tail);
    EXPECT_EQ((bytes.size() - static_cast<std::size_t>(end) - 512) % 1024, 0u);
    CloseDatabase();
}

TEST(XfMdxKeys, ClosingWritesChangedRootsInsideTheWriteSectionAndKeepsTheFirstError)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string table = dir.str() + "/people.dbf";
    MakeIndexTable(table, 30, 9);
    USE(table);
    ASSERT_TRUE(IndexOn({{"T1", "NAME", "", false, false}, {"T2", "CITY", "", false, false}}, ""));
    std::vector<bool> sections;
    TXfIndexHooks& hooks = XfIndexHooks();
    const auto lock = hooks.SetLockSemaphoreProc;
    hooks.SetLockSemaphoreProc = [&](bool enter) {
        sections.push_back(enter);
        if (lock) lock(enter);
    };
    ndx::CurrentIndex()->Order(2)->HeaderChanged = true;
    CloseIndex();
    EXPECT_EQ(sections, (std::vector<bool> {true, false}));
    EXPECT_EQ(XfErrors().LastError, 0);

    // The first order fails to write its header; the second closes cleanly after it.
    ASSERT_TRUE(SetIndexTo(""));
    ndx::TNdxArea* index = ndx::CurrentIndex();
    index->Order(1)->HeaderChanged = true;
    index->File.Close();
    CloseIndex();
    EXPECT_EQ(XfErrors().LastError, kDosInvalidHandle);
    EXPECT_THAT(XfErrors().Context, HasSubstr("[tag: T1]"));
    hooks.SetLockSemaphoreProc = lock;
    CloseDatabase();
}
