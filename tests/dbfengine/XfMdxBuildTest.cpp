// Building index files: what a tag definition may be, the run file and progress
// calls of a build, exclusive use of the table while an index is replaced, tables
// shorter than their header says, tag headers as other programs write them, and
// orders of several areas stepping in turn.

#include <cstring>
#include <filesystem>

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
using ::testing::IsEmpty;

namespace {

// TMPDIR pointed at a folder of the test's own while it lives.
class TempFolderScope {
public:
    explicit TempFolderScope(const std::string& folder)
    {
        const char* old = std::getenv("TMPDIR");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TempFolderScope()
    {
        if (had_) setenv("TMPDIR", old_.c_str(), 1);
        else unsetenv("TMPDIR");
    }

private:
    bool had_ = false;
    std::string old_;
};

int FilesIn(const std::string& folder, const std::string& prefix)
{
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) ++n;
    return n;
}

std::string TagHeaderText(const std::string& mdx, int tag, std::size_t offset)
{
    const std::string bytes = testsupport::ReadFile(mdx);
    std::uint32_t block;
    std::memcpy(&block, bytes.data() + 512 + 32 * tag, 4);
    return std::string(bytes.c_str() + block * 512 + offset);
}

}  // namespace

TEST(XfMdxBuild, RunsGoToATemporaryFileThatIsGoneAfterwardsAndProgressIsCalledAsAsked)
{
    IndexSettingsScope settings;
    IndexTableScope scope(5000, 4);
    const std::string& table = scope.Table;
    const std::string temp = scope.Dir.str() + "/tmp";
    std::filesystem::create_directory(temp);
    TempFolderScope tmpdir(temp);
    USE(table, "EXCLUSIVE");
    int calls = 0, mostRunFiles = 0;
    SetBuildProgress(
        [&] {
            ++calls;
            mostRunFiles = std::max(mostRunFiles, FilesIn(temp, "XFP"));
        },
        100);
    XfIndexSettings().WorkingSize = 2048;  // 512 keys a run: ten runs
    ASSERT_TRUE(MakeIndex({{"NAME", "NAME", "", false, false}, {"AMOUNT", "AMOUNT", "", true, false}}, ""));
    EXPECT_EQ(calls, 200);
    EXPECT_EQ(mostRunFiles, 1);
    EXPECT_EQ(FilesIn(temp, "XFP"), 0);

    // Keys that fit the working size are sorted in memory: no run file.
    calls = 0;
    mostRunFiles = 0;
    XfIndexSettings().WorkingSize = 1 << 20;
    ASSERT_TRUE(IndexOn({{"NAME", "NAME", "", false, false}, {"AMOUNT", "AMOUNT", "", true, false}}, ""));
    EXPECT_EQ(calls, 200);
    EXPECT_EQ(mostRunFiles, 0);
    EXPECT_THAT(MdxProblems(true), IsEmpty());
    SetBuildProgress(nullptr, 0);

    // The record the area stood on is its record again after a build.
    GO(77);
    ASSERT_TRUE(MakeIndex({{"CITY", "CITY", "", false, false}}, "other"));
    EXPECT_EQ(RecNo(), 77);
    EXPECT_TRUE(CheckDiskSpace(5000, 4, 63, 16));
    EXPECT_FALSE(CheckDiskSpace(std::int64_t {1} << 50, 4, 63, 16));
}

TEST(XfMdxBuild, TagDefinitionsAreCheckedAndTheirTextsKeptAsWritten)
{
    IndexTableScope scope(300, 5);
    const std::string& table = scope.Table;
    const std::string dir = scope.Dir.str();
    USE(table, "EXCLUSIVE");
    ASSERT_TRUE(CreateMdxHeader(dir + "/people.mdx"));
    EXPECT_EQ(ErrorOf([] { AddIndexTag({"LONG", "NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME", "", false, false}, false); }).first, 266);
    EXPECT_EQ(ErrorOf([] { AddIndexTag({"LOGIC", "OK", "", false, false}, false); }),
              std::make_pair(254, DbfErrorText(254) + "\r\nWrong parser return type [AddIndexTag()]"));
    EXPECT_EQ(ErrorOf([] { AddIndexTag({"BADFOR", "NAME", "CITY", false, false}, false); }).first, 362);
    EXPECT_EQ(ErrorOf([] { AddIndexTag({"WIDE", std::string(221, 'A'), "", false, false}, false); }).first, 300);
    // Blanks, case and quotes stay as written; TRIM and IIF keys take their full width.
    ASSERT_TRUE(AddIndexTag({"SPACED", "upper( name ) + 'x'", "ok .and. city = 'Boston'", false, false}, false));
    ASSERT_TRUE(AddIndexTag({"TRIMMED", "TRIM(CITY)", "", false, false}, false));
    ASSERT_TRUE(AddIndexTag({"EITHER", "IIF(OK, NAME, CITY)", "", false, false}, false));
    CloseIndex();
    const std::string mdx = dir + "/people.mdx";
    EXPECT_EQ(TagHeaderText(mdx, 1, 24), "upper( name ) + 'x'");
    EXPECT_EQ(TagHeaderText(mdx, 1, 762), "ok .and. city = 'Boston'");
    ASSERT_TRUE(SetIndexTo("people.mdx"));
    EXPECT_THAT(MdxProblems(true), IsEmpty());
    std::vector<std::string> problems;
    const std::vector<MdxTagInfo> tags = ReadMdxTags(mdx, problems);
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_EQ(tags[1].KeyLength, 10);
    EXPECT_EQ(tags[2].KeyLength, 12);
    Reindex();
    EXPECT_EQ(TagHeaderText(mdx, 1, 24), "upper( name ) + 'x'");
    EXPECT_THAT(MdxProblems(true), IsEmpty());
    ASSERT_TRUE(SetOrderToTag("TRIMMED"));
    Find("Dallas");
    EXPECT_TRUE(IndexFound());
    EXPECT_EQ(TrimRightStr(CurrentRecord().Text(2)), "Dallas");

    // 47 tags fill a file; a 48th is refused and the file stays sound.
    std::vector<TXfTagDef> many;
    for (int i = 1; i <= 48; ++i) many.push_back({"T" + std::to_string(i), i % 2 ? "NAME" : "AMOUNT", "", false, false});
    EXPECT_EQ(ErrorOf([&] { IndexOn(many, "many"); }).first, 254);
    ASSERT_TRUE(SetIndexTo("many"));
    EXPECT_EQ(IndexTagCount(), 47);
    EXPECT_THAT(MdxProblems(true), IsEmpty());
}

TEST(XfMdxBuild, EmptyTablesAndTagsWithoutKeysStandAtBothEnds)
{
    IndexTableScope scope(0, 1);
    const std::string& table = scope.Table;
    USE(table);
    ASSERT_TRUE(IndexOn({{"NAME", "NAME", "", false, false}}, ""));
    EXPECT_THAT(MdxProblems(true), IsEmpty());
    EXPECT_EQ(FindFirstRec(), 1);
    EXPECT_TRUE(IndexBof());
    EXPECT_TRUE(IndexEof());
    GoTop();
    EXPECT_TRUE(dEOF());
    Find("A");
    EXPECT_FALSE(IndexFound());
    CloseDatabase();

    MakeIndexTable(table, 50, 2);
    USE(table);
    ASSERT_TRUE(IndexOn({{"NONE", "NAME", "AMOUNT > 1000000", false, false}, {"NAME", "NAME", "", false, false}}, ""));
    EXPECT_THAT(MdxProblems(true), IsEmpty());
    EXPECT_EQ(FindFirstRec(), 51);
    EXPECT_EQ(FindLastRec(), 51);
    EXPECT_TRUE(IndexBof() && IndexEof());
    GoTop();
    EXPECT_TRUE(dEOF());
    Set_Order_To(2);
    GoTop();
    EXPECT_FALSE(dEOF());
}

TEST(XfMdxBuild, ReplacingAnIndexNeedsTheTableToItselfAndAShortTableAnswersTheReadCode)
{
    IndexTableScope scope(100, 6);
    const std::string& table = scope.Table;
    const std::string dir = scope.Dir.str();
    USE(table);
    Select(2);
    USE(table, "ALIAS AGAIN");
    Select(1);
    EXPECT_EQ(ErrorOf([] { MakeIndex({{"NAME", "NAME", "", false, false}}, ""); }).first, 225);
    EXPECT_FALSE(std::filesystem::exists(dir + "/people.MDX"));
    Select(2);
    CloseDatabase();
    Select(1);
    ASSERT_TRUE(IndexOn({{"NAME", "NAME", "", false, false}}, ""));
    // The table is shared again: another area opens it.
    Select(2);
    USE(table, "ALIAS AGAIN");
    EXPECT_TRUE(WorkArea(2) != nullptr);
    ASSERT_TRUE(SetIndexTo(""));
    EXPECT_THAT(MdxProblems(true), IsEmpty());
    CloseAll();

    // A header that counts more records than the file holds (cut by someone else
    // after the table was opened).
    USE(table, "EXCLUSIVE");
    std::filesystem::resize_file(table, std::filesystem::file_size(table) - 40 * 41);
    ASSERT_EQ(RecCount(), 100);
    EXPECT_EQ(ErrorOf([] { MakeIndex({{"NAME", "NAME", "", false, false}}, ""); }).first, 213);
}

TEST(XfMdxBuild, TagsWrittenWithAnotherKeyLengthOpenWithTheirOwn)
{
    IndexTableScope scope(400, 8);
    const std::string& table = scope.Table;
    const std::string dir = scope.Dir.str();
    USE(table, "EXCLUSIVE");
    ASSERT_TRUE(MakeIndex({{"NAME", "NAME", "", false, false}}, ""));
    // Another program's tag: the same keys under a wider expression.
    const std::string mdx = dir + "/people.MDX";
    std::string bytes = testsupport::ReadFile(mdx);
    std::uint32_t block;
    std::memcpy(&block, bytes.data() + 512 + 32, 4);
    std::memcpy(&bytes[block * 512 + 24], "NAME+CITY", 10);
    testsupport::WriteFile(mdx, bytes);
    ASSERT_TRUE(SetIndexTo(""));
    EXPECT_THAT(MdxProblems(true), IsEmpty());
    for (std::int32_t r = 1; r <= 400; r += 37) {
        GO(r);
        EXPECT_EQ(RecNo(), r);
        EXPECT_EQ(XfErrors().LastError, 0);
    }
    Find("Miller");
    EXPECT_TRUE(IndexFound());
}

TEST(XfMdxBuild, OrdersOfSeveralAreasStepInTurn)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string first = dir.str() + "/first.dbf", second = dir.str() + "/second.dbf";
    MakeIndexTable(first, 700, 1);
    MakeIndexTable(second, 900, 2);
    USE(first);
    ASSERT_TRUE(IndexOn({{"NAME", "NAME", "", false, false}}, ""));
    const std::vector<std::int32_t> firstOrder = WalkForward();
    Select(2);
    USE(second);
    ASSERT_TRUE(IndexOn({{"AMOUNT", "AMOUNT", "", true, false}}, ""));
    const std::vector<std::int32_t> secondOrder = WalkForward();
    // Each step of one area's order comes after a step of the other's, and the
    // index files are closed and opened again midway (reusing their handles).
    std::vector<std::int32_t> a, b;
    Select(1);
    GoTop();
    Select(2);
    GoTop();
    for (int i = 0; i < 1000; ++i) {
        Select(1);
        if (!dEOF()) {
            a.push_back(RecNo());
            SKIP(1);
        }
        Select(2);
        if (!dEOF()) {
            b.push_back(RecNo());
            SKIP(1);
        }
        if (i == 300) {
            const std::int32_t record = RecNo();
            CloseIndex();
            ASSERT_TRUE(SetIndexTo(""));
            GO(record);
        }
    }
    EXPECT_EQ(a, firstOrder);
    EXPECT_EQ(b, secondOrder);
}

TEST(XfMdxBuild, TheIndexLayerIsInstalledOnce)
{
    EngineScope engine;
    EXPECT_EQ(ErrorOf([] { IndexInit(); }),
              std::make_pair(254, DbfErrorText(254) + "\r\nERROR: BOTH INDEX4 and XFNDX units linked in. [IndexInit]"));
    EXPECT_TRUE(XfIndexHooks().IndexOpenTest != nullptr);
}

TEST(XfMdxBuild, TheSemaphoreIsAskedAtItsPlaces)
{
    IndexTableScope scope(600, 12);
    const std::string& table = scope.Table;
    USE(table);
    ASSERT_TRUE(IndexOn({{"NAME", "NAME", "", false, false}, {"CITY", "CITY+NAME", "", true, false}}, ""));
    const std::vector<std::int32_t> byName = WalkForward();
    CloseIndex();
    int logins = 0, logouts = 0, asked = 0;
    bool refuse = true;
    TXfIndexSemaphoreCalls& calls = XfIndexSemaphoreCalls();
    struct Restore {
        TXfIndexSemaphoreCalls saved = XfIndexSemaphoreCalls();
        ~Restore() { XfIndexSemaphoreCalls() = saved; }
    } restore;
    calls.Login = [&] { return ++logins, !refuse; };
    calls.Logout = [&] { ++logouts; };
    // Another program changes the index every seventh time we look. The look must
    // be taken inside a section: before it, a writer could still change the index
    // between the answer and the read that trusts it.
    int depth = 0, outside = 0;
    struct RestoreHooks {
        TXfIndexHooks saved = XfIndexHooks();
        ~RestoreHooks() { XfIndexHooks() = saved; }
    } restoreHooks;
    for (auto* proc : {&XfIndexHooks().SetReadSemaphoreProc, &XfIndexHooks().SetLockSemaphoreProc})
        *proc = [&depth, inner = *proc](bool enter) {
            depth += enter ? 1 : -1;
            if (inner) inner(enter);
        };
    calls.IndexChanged = [&] {
        if (depth == 0) ++outside;
        return ++asked % 7 == 0;
    };
    EXPECT_FALSE(SetIndexTo(""));
    EXPECT_FALSE(IndexOpenTest());
    refuse = false;
    ASSERT_TRUE(SetIndexTo(""));
    EXPECT_EQ(logins, 2);
    EXPECT_EQ(WalkForward(), byName);
    EXPECT_GT(asked, 600);
    Set_Order_To(2);
    Find("Dallas");
    EXPECT_TRUE(IndexFound());
    EXPECT_EQ(outside, 0) << "times the index was asked for changes outside a section";
    CloseIndex();
    EXPECT_EQ(logouts, 1);
}
