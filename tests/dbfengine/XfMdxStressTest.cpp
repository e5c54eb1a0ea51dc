// Programs appending, replacing and reading one shared table and its index through
// the semaphore while some of them are killed at random moments, as a crash or a
// pulled plug would end them. The survivors must never wait in vain nor meet an
// engine error, and afterwards a fresh program must find every tag whole.

#include <atomic>
#include <chrono>
#include <functional>
#include <random>

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfndx.h"
#include "dbfengine/xfsemaphore.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/dbfengine/MdxInvariants.h"
#include "tests/dbfengine/MdxTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;
using ::testing::IsEmpty;

namespace {

constexpr int kPrograms = 6;  // 0, 1: writers; the rest readers

struct Shared {
    std::atomic<bool> Stop {false};
    std::atomic<int> Appends {0}, Replaces {0}, Walks {0};
    // Steps that met a record whose key a killed writer never stored.
    std::atomic<int> MissingKeys {0};
    char Problems[64][300] {};
    std::atomic<int> ProblemCount {0};
};

const std::vector<TXfTagDef> kTags {
    {"NAME", "NAME", "", false, false},
    {"AMTDESC", "AMOUNT", "", true, false},
    {"LONG", "NAME + CITY + NAME + CITY + NAME + CITY + NAME + CITY + NAME", "", false, false},
    {"CITYONCE", "CITY", "", false, true},
};

void Note(Shared& shared, const std::string& text)
{
    const int n = shared.ProblemCount++;
    if (n < 64) std::snprintf(shared.Problems[n], sizeof shared.Problems[n], "%s", text.c_str());
}

// Runs one step; a key that a killed writer left out is counted, not raised.
void Step(Shared& shared, const std::function<void()>& step)
{
    try {
        step();
    } catch (const EXfError& e) {
        const std::string text = e.what();
        if (text.find("not found in index") == std::string::npos && text.find("not in index") == std::string::npos) throw;
        ++shared.MissingKeys;
        XfErrors().LastError = 0;
        Unlock();
    }
}

void Writer(Shared& shared, const std::string& table, std::uint32_t seed)
{
    std::mt19937 random(seed);
    static const char* const kNames[] = {"Abel", "Baker", "Cole", "Dunn", "Eve", "Zed"};
    USE(table);
    SetIndexTo("");
    while (!shared.Stop) {
        const bool append = random() % 5 < 3;
        const std::int32_t target = 1 + static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(RecCount()));
        const std::string name = std::string(kNames[random() % 6]) + " " + std::to_string(random() % 30);
        const std::string city = std::to_string(random() % 12);
        const double amount = static_cast<double>(random() % 2000) / 4.0;
        Step(shared, [&] {
            if (append) {
                if (!ALock()) return;
                ClearRecord();
            } else {
                GO(target);
                if (!RLock()) return;
            }
            TXfTypedRecord r = CurrentRecord();
            r.SetText(1, name);
            r.SetText(2, city);
            r.SetNumber(3, amount);
            if (append) Append();
            else Replace();
            Unlock();
            ++(append ? shared.Appends : shared.Replaces);
        });
    }
    CloseDatabase();
}

void Reader(Shared& shared, const std::string& table, std::uint32_t seed)
{
    std::mt19937 random(seed);
    USE(table);
    SetIndexTo("");
    while (!shared.Stop) {
        Step(shared, [&] {
            Set_Order_To(1 + static_cast<int>(random() % kTags.size()));
            // A walk ends even while the tag grows under it: within a few steps per
            // record the table holds by then, however far it grew since the walk began.
            const auto bound = [] { return RecCount() * 4 + 1000; };
            std::int32_t steps = 0;
            for (GoTop(); !dEOF() && steps < bound(); SKIP(1)) ++steps;
            if (steps >= bound()) Note(shared, "a walk did not end");
            FindExact("Abel 1");
            ++shared.Walks;
        });
    }
    CloseDatabase();
}

pid_t Start(Shared& shared, const std::string& table, int who, std::uint32_t seed)
{
    const pid_t pid = fork();
    if (pid != 0) return pid;
    try {
        Select(1);
        who < 2 ? Writer(shared, table, seed) : Reader(shared, table, seed);
    } catch (const EXfError& e) {
        Note(shared, "program " + std::to_string(who) + ": " + e.what());
    }
    _exit(0);
}

// Work the survivors must have done before the run may end.
bool EnoughWork(const Shared& shared)
{
    return shared.Appends > 20 && shared.Replaces > 20 && shared.Walks > 5;
}

// Runs the programs, killing one of `victims` (and starting another in its place)
// every 50 to 150 ms until `kills` were made and the others did enough work; then
// lets the survivors finish. Ending on counts rather than on a time keeps a loaded
// machine from cutting the run short; the minute is only a backstop. The kills.
int RunPrograms(Shared& shared, const std::string& table, int wanted, int victims, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<pid_t> programs;
    for (int who = 0; who < kPrograms; ++who) programs.push_back(Start(shared, table, who, random()));
    int kills = 0;
    const auto backstop = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((kills < wanted || !EnoughWork(shared)) && std::chrono::steady_clock::now() < backstop) {
        usleep(50'000 + random() % 100'000);
        const int who = kPrograms - 1 - static_cast<int>(random() % static_cast<std::uint32_t>(victims));
        KillChild(programs[static_cast<std::size_t>(who)]);
        ++kills;
        programs[static_cast<std::size_t>(who)] = Start(shared, table, who, random());
    }
    shared.Stop = true;
    // Survivors finish their step and close; none may hang on the semaphore.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (pid_t& pid : programs) {
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                Note(shared, "a program never finished");
                KillChild(pid);
                break;
            }
            usleep(5'000);
        }
        if (pid > 0 && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) Note(shared, "a program ended abnormally");
    }
    return kills;
}

std::vector<std::string> Problems(const Shared& shared)
{
    std::vector<std::string> problems;
    for (int i = 0; i < std::min(shared.ProblemCount.load(), 64); ++i) problems.emplace_back(shared.Problems[i]);
    return problems;
}

// Every tag walked both ways by this (fresh) program, as its entries say.
void ExpectEveryTagWalks()
{
    std::vector<std::string> problems;
    const std::vector<MdxTagInfo> tags = ReadMdxTags(IndexFileName(), problems);
    EXPECT_THAT(problems, IsEmpty());
    for (std::size_t n = 0; n < tags.size(); ++n) {
        Set_Order_To(static_cast<int>(n) + 1);
        std::vector<std::int32_t> entries;
        for (const MdxEntry& e : tags[n].Entries) entries.push_back(e.Record);
        EXPECT_EQ(WalkForward(), entries) << tags[n].Name;
        std::vector<std::int32_t> backward = WalkBackward();
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(backward, entries) << tags[n].Name;
    }
}

class XfMdxStress : public ::testing::Test {
protected:
    void SetUp() override
    {
        table_ = dir_.str() + "/stress.dbf";
        MakeIndexTable(table_, 300, 17, false);
        USE(table_, "EXCLUSIVE");
        ASSERT_TRUE(IndexOn(kTags, ""));
        CloseDatabase();
        memory_ = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(memory_, MAP_FAILED);
        shared_ = new (memory_) Shared;
        XfSemaphoreSettings().SemaphoreTimeout = 20;
    }
    void TearDown() override
    {
        if (memory_ != MAP_FAILED) munmap(memory_, sizeof(Shared));
        XfSemaphoreSettings().SemaphoreTimeout = 100;
    }

    EngineScope engine_;
    testsupport::TempDir dir_;
    std::string table_;
    void* memory_ = MAP_FAILED;
    Shared* shared_ = nullptr;
};

}  // namespace

TEST_F(XfMdxStress, KilledReadersLeaveTheIndexWholeAndTheOthersUnhindered)
{
    const int kills = RunPrograms(*shared_, table_, 12, kPrograms - 2, 41);
    EXPECT_GE(kills, 12);
    EXPECT_THAT(Problems(*shared_), IsEmpty());
    EXPECT_EQ(shared_->MissingKeys, 0);
    EXPECT_GT(shared_->Appends, 20);
    EXPECT_GT(shared_->Replaces, 20);
    EXPECT_GT(shared_->Walks, 5);
    USE(table_);
    ASSERT_TRUE(SetIndexTo(""));
    EXPECT_THAT(MdxProblems(), IsEmpty());
    ExpectEveryTagWalks();
    CloseDatabase();
}

TEST_F(XfMdxStress, KilledWritersLoseKeysButNeverTheTreesOrder)
{
    const int kills = RunPrograms(*shared_, table_, 12, kPrograms, 43);
    EXPECT_GE(kills, 12);
    EXPECT_THAT(Problems(*shared_), IsEmpty());
    // A writer killed between its record and its keys leaves the two apart, which
    // only a rebuild mends; the trees stay ordered throughout. A walk steps on from
    // the key of the record it stands on, so it follows the entries only while every
    // record has its key: a torn record sends it elsewhere, or to "not in index".
    USE(table_);
    ASSERT_TRUE(SetIndexTo(""));
    std::vector<std::string> problems;
    ReadMdxTags(IndexFileName(), problems);
    EXPECT_THAT(problems, IsEmpty());
    if (MdxProblems().empty()) ExpectEveryTagWalks();
    Reindex();
    EXPECT_THAT(MdxProblems(), IsEmpty());
    ExpectEveryTagWalks();
    CloseDatabase();
}
