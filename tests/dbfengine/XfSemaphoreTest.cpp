// The index semaphore between programs: forked peers with their own opens of one
// shared table, scripted over a pipe, beside this process. The record is read
// straight from the file, as another program would.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "dbfengine/platform/XfClock.h"
#include "dbfengine/platform/XfFiles.h"
#include "dbfengine/xfndx.h"
#include "dbfengine/xfsemaphore.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/dbfengine/MdxInvariants.h"
#include "tests/dbfengine/MdxTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

using Reply = std::pair<int, std::string>;

// Another program on the table: '0'..'5' HandleSemafore, 'r'/'R' and 'w'/'W' enter
// and leave read and write sections, 'c' answers IndexChanged as its code, 's'
// sleeps 300 ms first. Forked before this process opens anything, so it shares
// none of its open files (and none of their locks).
class Peer {
public:
    explicit Peer(const std::string& table)
    {
        int down[2], up[2];
        if (pipe(down) != 0 || pipe(up) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            close(down[1]);
            close(up[0]);
            Serve(table, down[0], up[1]);
            _exit(0);
        }
        close(down[0]);
        close(up[1]);
        to_ = down[1];
        from_ = up[0];
    }
    ~Peer()
    {
        Kill();
        close(to_);
        close(from_);
    }
    void Send(const std::string& commands) { (void)!write(to_, commands.data(), commands.size()); }
    Reply Receive()
    {
        int header[2] = {-1, 0};
        if (read(from_, header, sizeof header) != sizeof header) return {-1, "peer gone"};
        std::string text(static_cast<std::size_t>(header[1]), '\0');
        if (header[1] > 0 && read(from_, text.data(), text.size()) != header[1]) return {-1, "peer gone"};
        return {header[0], text};
    }
    Reply Do(char command)
    {
        Send(std::string(1, command));
        return Receive();
    }
    void Kill() { dbftest::KillChild(pid_); }

private:
    static void Serve(const std::string& table, int in, int out)
    {
        Select(1);
        USE(table);
        char c;
        while (read(in, &c, 1) == 1) {
            Reply reply = ErrorOf([&] {
                if (c == 's') {
                    usleep(300'000);
                    (void)!read(in, &c, 1);
                }
                if (c >= '0' && c <= '5') HandleSemafore(c - '0');
                if (c == 'r' || c == 'R') SetReadSemaphoreProc(c == 'r');
                if (c == 'w' || c == 'W') SetLockSemaphoreProc(c == 'w');
            });
            if (c == 'c') reply.first = IndexChanged() ? 1 : 0;
            const int header[2] = {reply.first, static_cast<int>(reply.second.size())};
            (void)!write(out, header, sizeof header);
            (void)!write(out, reply.second.data(), reply.second.size());
        }
    }
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
};

// Waits pass at once: a 100-second wait costs nothing.
struct FakeClock {
    std::int64_t now = 0;
    TXfClocksGuard guard {{[this] { return now; }, [this](std::int64_t ms) { now += ms; }, {}}};
};

class XfSemaphore : public testing::Test {
protected:
    XfSemaphore()
    {
        TDbfTable t;
        EXPECT_EQ(CreateDbf(t, table, {{"NAME", 'C', 10, 0}}), 0);
    }
    ~XfSemaphore() override { XfSemaphoreSettings() = saved_; }
    void Open() { USE(table); }
    // users, readers, change counter; empty when there is no file.
    std::vector<int> Counts() const
    {
        const std::string bytes = std::filesystem::exists(semaphore) ? testsupport::ReadFile(semaphore) : "";
        if (bytes.size() != 4) return {};
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
        return {b[0], b[1], b[2] | b[3] << 8};
    }
    void Poke(int users, int readers, int counter) const
    {
        const char bytes[4] = {char(users), char(readers), char(counter & 0xFF), char(counter >> 8)};
        testsupport::WriteFile(semaphore, std::string(bytes, 4));
    }
    static Reply Act(int action) { return ErrorOf([&] { HandleSemafore(action); }); }

    EngineScope engine_;
    TXfSemaphoreSettings saved_ = XfSemaphoreSettings();
    testsupport::TempDir dir_;
    const std::string table = dir_.str() + "/mail.dbf";
    const std::string semaphore = dir_.str() + "/mail.@S@";
    const Reply ok {0, ""};
};

using Record = std::vector<int>;

}  // namespace

TEST_F(XfSemaphore, UsersAreCountedAcrossProgramsAndOnlyTheLastLogoutErases)
{
    Peer peer(table);
    Open();
    EXPECT_EQ(Act(saLogin), ok);
    EXPECT_EQ(Counts(), (Record {1, 0, 0}));
    EXPECT_EQ(peer.Do('0'), ok);
    EXPECT_EQ(Counts(), (Record {2, 0, 0}));
    EXPECT_EQ(Act(saLogout), ok);
    EXPECT_EQ(Counts(), (Record {1, 0, 0}));
    EXPECT_EQ(Act(saLogin), ok);
    // A count gone wrong must not erase a file the peer still holds.
    Poke(1, 0, 7);
    EXPECT_EQ(Act(saLogout), ok);
    EXPECT_EQ(Counts(), (Record {0, 0, 7}));
    EXPECT_EQ(peer.Do('w'), ok);
    EXPECT_EQ(peer.Do('W'), ok);
    EXPECT_EQ(Counts(), (Record {0, 0, 8}));
    EXPECT_EQ(peer.Do('1'), ok);
    EXPECT_EQ(Counts(), Record {});

    // Exclusive tables, and shared ones not logged in, never touch a semaphore.
    peer.Kill();
    CloseDatabase();
    USE(table, "EXCLUSIVE");
    EXPECT_EQ(Act(saLogin), ok);
    SetReadSemaphoreProc(true);
    EXPECT_FALSE(SemaphoreLoggedIn());
    EXPECT_FALSE(std::filesystem::exists(semaphore));
    XfSemaphoreSettings().SemaphoreFolder = "/var/sem";
    EXPECT_EQ(SemaphoreFileName("data/MAIL.DBF"), "/var/sem/MAIL.@S@");
}

TEST_F(XfSemaphore, ReadersRunSideBySideWhileAWriterWaitsForThem)
{
    Peer first(table), second(table);
    Open();
    for (Peer* peer : {&first, &second}) {
        EXPECT_EQ(peer->Do('0'), ok);
        EXPECT_EQ(peer->Do('r'), ok);
    }
    EXPECT_EQ(Counts(), (Record {2, 2, 0}));
    EXPECT_EQ(Act(saLogin), ok);
    {
        FakeClock clock;
        const std::string timeout = "100 second timeout, cannot read: " + semaphore +
                                    "\r\nPossible cause: Other user's program has terminated abnormally.\r\nCure: Log all users "
                                    "of this application off the network,\r\nthen delete " + semaphore;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const Reply refused = ErrorOf([] { SetLockSemaphoreProc(true); });
            EXPECT_EQ(refused.first, 1202);
            EXPECT_NE(refused.second.find("\r\n" + timeout), std::string::npos) << refused.second;
            EXPECT_GE(clock.now, 100'000);
            clock.now = 0;
        }
        // The failed entries left nothing to leave.
        EXPECT_EQ(ErrorOf([] { SetLockSemaphoreProc(false); }).first, 254);
    }
    EXPECT_EQ(Counts(), (Record {3, 2, 0}));
    Poke(3, 127, 0);
    EXPECT_EQ(Act(saIncRead), ok);
    EXPECT_EQ(Counts(), (Record {3, 127, 0}));
    EXPECT_EQ(Act(saDecRead), ok);
    EXPECT_EQ(first.Do('R'), ok);
    // The writer waits for the last reader, which leaves a moment later.
    second.Send("sR");
    EXPECT_EQ(Act(saLockSemaphore), ok);
    EXPECT_EQ(second.Receive(), ok);
    EXPECT_EQ(Counts(), (Record {3, 1, 0}));
    EXPECT_EQ(Act(saUnlockSemaphore), ok);
    EXPECT_EQ(Counts(), (Record {3, 0, 1}));
}

TEST_F(XfSemaphore, AWriterExcludesOthersAndItsChangeIsNewsOnlyToThem)
{
    Peer peer(table);
    Open();
    EXPECT_EQ(Act(saLogin), ok);
    EXPECT_EQ(peer.Do('0'), ok);
    // Nested sections touch the file once.
    for (char c : std::string("ww")) EXPECT_EQ(peer.Do(c), ok);
    EXPECT_EQ(Counts(), (Record {2, 1, 0}));
    {
        FakeClock clock;
        XfSemaphoreSettings().SemaphoreTimeout = 5;
        EXPECT_EQ(Act(saIncRead), Reply(1202, DbfErrorText(1202) + "\r\n10 second timeout: Cannot lock index semaphore file: " +
                                                  semaphore + " INCREAD\r\nPossible cause: Network lock limit exceeded\r\n Lock result code: 33"));
        EXPECT_EQ(Act(saLockSemaphore).second.find(DbfErrorText(1202) + "\r\n5 second timeout, cannot read: "), 0u);
        EXPECT_FALSE(IndexChanged());
    }
    EXPECT_EQ(peer.Do('W'), ok);
    EXPECT_EQ(Counts(), (Record {2, 1, 0}));
    EXPECT_EQ(peer.Do('W'), ok);
    EXPECT_EQ(Counts(), (Record {2, 0, 1}));
    EXPECT_EQ(peer.Do('c').first, 0);
    EXPECT_TRUE(IndexChanged());
    EXPECT_FALSE(IndexChanged());
    SetReadSemaphoreProc(true);
    EXPECT_EQ(Counts(), (Record {2, 1, 1}));
    SetReadSemaphoreProc(false);
}

TEST_F(XfSemaphore, AProgramKilledInsideASectionBlocksNobodyAndItsCountsAreMended)
{
    XfSemaphoreSettings().SemaphoreTimeout = 2;
    {
        Peer reader(table), writer(table);
        Open();
        EXPECT_EQ(Act(saLogin), ok);
        EXPECT_EQ(reader.Do('0'), ok);
        EXPECT_EQ(reader.Do('r'), ok);
        reader.Kill();
        EXPECT_EQ(Act(saLockSemaphore), ok);
        EXPECT_EQ(Act(saUnlockSemaphore), ok);
        EXPECT_EQ(writer.Do('0'), ok);
        EXPECT_EQ(writer.Do('w'), ok);
        writer.Kill();
        EXPECT_EQ(Act(saIncRead), ok);
        EXPECT_EQ(Act(saDecRead), ok);
        EXPECT_EQ(Counts(), (Record {3, 1, 1}));
        EXPECT_EQ(Act(saLogout), ok);
        EXPECT_EQ(Counts(), Record {});
    }
    // A file left by programs that died: the next login alone starts the counts
    // afresh but keeps the counter, which wraps.
    Poke(9, 5, 65535);
    EXPECT_EQ(Act(saLogin), ok);
    EXPECT_EQ(Counts(), (Record {1, 0, 65535}));
    SetLockSemaphoreProc(true);
    SetLockSemaphoreProc(false);
    EXPECT_EQ(Counts(), (Record {1, 0, 0}));
}

TEST_F(XfSemaphore, SectionsNestAndUnbalancedLeavingIsRefused)
{
    Open();
    EXPECT_EQ(Act(saLogin), ok);
    SetReadSemaphoreProc(true);
    SetReadSemaphoreProc(true);
    EXPECT_EQ(Counts(), (Record {1, 1, 0}));
    SetReadSemaphoreProc(false);
    EXPECT_EQ(Counts(), (Record {1, 1, 0}));
    // A reader may write: its section takes over, and it is a reader again afterwards.
    SetLockSemaphoreProc(true);
    SetReadSemaphoreProc(true);
    SetReadSemaphoreProc(false);
    SetLockSemaphoreProc(false);
    EXPECT_EQ(Counts(), (Record {1, 1, 1}));
    EXPECT_FALSE(IndexChanged());
    SetReadSemaphoreProc(false);
    EXPECT_EQ(Counts(), (Record {1, 0, 1}));
    const std::string kind = DbfErrorText(254) + "\r\n";
    EXPECT_EQ(ErrorOf([] { SetReadSemaphoreProc(false); }), Reply(254, kind + "Non-symmetrical Lock-Unlock [SetReadSemaphoreProc]"));
    EXPECT_EQ(ErrorOf([] { SetLockSemaphoreProc(false); }), Reply(254, kind + "Non-symmetrical Lock-Unlock [SetLockSemaphoreProc]"));
    EXPECT_EQ(Act(saDecRead), Reply(254, kind + "Unbalanced IncRead/DecRead for semaphore file: " + semaphore + " DECREAD"));
    EXPECT_EQ(Act(saUnlockSemaphore), Reply(254, kind + "Unbalanced Lock/Unlock for semaphore file: " + semaphore + " UNLOCKSEMAPHORE"));
    // Still balanced afterwards.
    EXPECT_EQ(Act(saIncRead), ok);
    EXPECT_EQ(Act(saDecRead), ok);
    EXPECT_EQ(Counts(), (Record {1, 0, 1}));
}

namespace {

// What the three programs tell each other, in memory they all share.
struct Shared {
    std::atomic<int> ReadersDone {0}, Rebuilds {0}, ReaderRefusals {0}, RebuildRefusals {0}, Reads {0};
    char Problems[3][512] {};
};

}  // namespace

TEST(XfSemaphoreIndex, ReadersNeverMeetAHalfBuiltTagWhileAThirdProgramRebuilds)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string table = dir.str() + "/mail.dbf";
    MakeIndexTable(table, 1500, 5);
    const std::vector<TXfTagDef> tags = EveryKindOfTag();
    std::vector<std::vector<std::int32_t>> expected;
    USE(table, "EXCLUSIVE");
    ASSERT_TRUE(IndexOn(tags, ""));
    ASSERT_TRUE(MdxProblems().empty());
    for (int n = 1; n <= 3; ++n) {
        Set_Order_To(n);
        expected.push_back(WalkForward());
    }
    CloseDatabase();

    void* memory = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto* shared = new (memory) Shared;
    const auto note = [&](int who, const std::string& text) {
        if (!shared->Problems[who][0]) std::snprintf(shared->Problems[who], sizeof shared->Problems[who], "%s", text.c_str());
    };
    const auto reader = [&](int who) {
        // At least 12 reads each, and on until the rebuilder got in three times.
        for (int cycle = 0; cycle < 12 || (shared->Rebuilds < 3 && cycle < 1000); usleep(10'000)) {
            try {
                USE(table);
            } catch (const EXfError& e) {
                // The rebuilder holds the table.
                if (XfErrors().LastError != kDosSharingViolation) note(who, e.what());
                ++shared->ReaderRefusals;
                continue;
            }
            try {
                if (!SetIndexTo("") || !SemaphoreLoggedIn()) note(who, "index not opened through the semaphore");
                for (int n = 1; n <= 3; ++n) {
                    Set_Order_To(n);
                    if (WalkForward() != expected[static_cast<std::size_t>(n - 1)]) note(who, "tag " + std::to_string(n) + " walks otherwise");
                }
                if (const auto problems = MdxProblems(); !problems.empty()) note(who, problems.front());
                ++shared->Reads;
            } catch (const EXfError& e) {
                note(who, e.what());
            }
            CloseDatabase();
            ++cycle;
        }
        ++shared->ReadersDone;
    };
    const auto rebuilder = [&] {
        USE(table);
        for (int attempt = 0; shared->ReadersDone < 2 && attempt < 60'000; ++attempt) {
            try {
                if (IndexOn(tags, "")) ++shared->Rebuilds;
            } catch (const EXfError& e) {
                if (XfErrors().LastError != 225) note(2, e.what());
                ++shared->RebuildRefusals;
            }
            usleep(1000);
        }
        CloseDatabase();
    };
    std::vector<pid_t> children;
    for (int who = 0; who < 3; ++who) {
        const pid_t pid = fork();
        if (pid == 0) {
            who < 2 ? reader(who) : rebuilder();
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (const char* problems : shared->Problems) EXPECT_STREQ(problems, "");
    EXPECT_GE(shared->Reads, 24);
    EXPECT_GE(shared->Rebuilds, 3);
    EXPECT_FALSE(std::filesystem::exists(dir.str() + "/mail.@S@"));
    munmap(memory, sizeof(Shared));
}

TEST(XfSemaphoreIndex, AReaderMakesItsKeysFromRecordsAsNewAsTheIndexItSearches)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string table = dir.str() + "/mail.dbf";
    MakeIndexTable(table, 300, 17, false);
    USE(table, "EXCLUSIVE");
    ASSERT_TRUE(IndexOn({{"NAME", "NAME", "", false, false}, {"CITY", "CITY + NAME", "", false, false}}, ""));
    CloseDatabase();
    // The clock stands still: the reader's read-ahead never ages out by time.
    FakeClock clock;
    // Two opens, each logged in on its own, as two programs are.
    Select(1);
    USE(table, "ALIAS READER");
    ASSERT_TRUE(SetIndexTo(""));
    Select(2);
    USE(table, "ALIAS WRITER");
    ASSERT_TRUE(SetIndexTo(""));
    const auto rename = [](std::int32_t record, const std::string& name) {
        Select(2);
        GO(record);
        ASSERT_TRUE(RLock());
        CurrentRecord().SetText(1, name);
        CurrentRecord().SetText(2, name);
        Replace();
        Unlock();
        Select(1);
    };
    Select(1);
    Set_Order_To(1);
    GoTop();
    rename(150, "Changed 1");
    EXPECT_EQ(ErrorOf([] { GO(150); }), (Reply {0, ""}));
    EXPECT_EQ(TrimRightStr(CurrentRecord().Text(1)), "Changed 1");
    rename(150, "Changed 2");
    EXPECT_EQ(ErrorOf([] { Set_Order_To(2); }), (Reply {0, ""}));
    EXPECT_EQ(ErrorOf([] { SKIP(1); }), (Reply {0, ""}));
    GO(151);
    rename(151, "Changed 3");
    EXPECT_EQ(ErrorOf([] { SKIP(-1); }), (Reply {0, ""}));
    Select(2);
    CloseDatabase();
    Select(1);
    EXPECT_TRUE(MdxProblems().empty());
    CloseDatabase();
}
