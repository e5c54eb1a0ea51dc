// Record and table locks between processes (forked children with their own opens):
// conflicts, what a killed holder leaves (the kernel's lock table), many appends at once, the
// header that closing writes while another program goes on appending, and what an
// open reads meanwhile.

#include <csignal>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "dbfengine/platform/XfClock.h"
#include "dbfengine/xfutils.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

constexpr std::int64_t kBase = 0x40000000;

// A table of one C(19) field: header 65 bytes, records of 20.
void MakeTable(const std::string& path, int records)
{
    TDbfTable table;
    ASSERT_EQ(CreateDbf(table, path, {{"NAME", 'C', 19, 0}}), 0);
    USE(path, "EXCLUSIVE");
    for (int i = 1; i <= records; ++i) {
        ClearRecord();
        CurrentRecord().SetText(1, "record " + std::to_string(i));
        Append();
    }
    CloseDatabase();
}

// The kernel's lock table lines (type, mode, start, end) of the locks on `path`,
// read from /proc/locks itself: lslocks, which also walks every process, now and
// then left a held lock out while other tests' processes came and went.
// Open-file-description locks have no process, so they are matched by inode.
std::set<std::string> LocksOn(const std::string& path)
{
    std::set<std::string> locks;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return locks;
    std::ifstream table("/proc/locks");
    std::string line;
    while (std::getline(table, line)) {
        // "1: OFDLCK ADVISORY  WRITE -1 08:01:1234 1073741825 1073741825"; a waiter's
        // line has "->" after the number and holds nothing.
        std::istringstream fields(line);
        std::string number, type, advisory, mode, pid, file, first, last;
        if (!(fields >> number >> type) || type == "->") continue;
        if (!(fields >> advisory >> mode >> pid >> file >> first >> last)) continue;
        const std::size_t colon = file.rfind(':');
        if (colon == std::string::npos || file.substr(colon + 1) != std::to_string(st.st_ino)) continue;
        locks.insert(type + " " + mode + " " + first + " " + last);
    }
    return locks;
}

struct Child {
    pid_t pid = -1;
    int fromChild = -1;
    ~Child()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (fromChild >= 0) close(fromChild);
    }
};

// Forks a child that runs `body` (with raising errors) and reports one byte: 1 when
// the body returned true. The child then waits to be killed.
void StartHolder(Child& child, const std::function<bool()>& body)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    child.pid = fork();
    if (child.pid == 0) {
        close(fds[0]);
        char ok = 0;
        try {
            ok = body() ? 1 : 0;
        } catch (...) {
        }
        (void)!write(fds[1], &ok, 1);
        for (;;) pause();
    }
    close(fds[1]);
    child.fromChild = fds[0];
    char ok = 0;
    ASSERT_EQ(read(child.fromChild, &ok, 1), 1);
    ASSERT_EQ(ok, 1) << "the holder could not take its locks";
}

// Another program's view: which of `records` it can lock now (a forked child with
// its own open of the table, in a free area).
std::vector<bool> LockableByAnother(const std::string& path, const std::vector<std::int32_t>& records)
{
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string answers(records.size(), '?');
        try {
            Select(0);
            USE(path, "ALIAS PROBE");
            for (std::size_t i = 0; i < records.size(); ++i) {
                GO(records[i]);
                answers[i] = RLock() ? '1' : '0';
                Unlock();
            }
        } catch (...) {
        }
        (void)!write(fds[1], answers.data(), answers.size());
        std::_Exit(0);
    }
    close(fds[1]);
    std::string answers(records.size(), '?');
    const bool read = ::read(fds[0], answers.data(), answers.size()) == static_cast<ssize_t>(answers.size());
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    std::vector<bool> lockable;
    for (const char c : answers) lockable.push_back(read && c == '1');
    return lockable;
}

std::int32_t HeaderCount(const std::string& path)
{
    const std::string bytes = testsupport::ReadFile(path);
    std::int32_t count = 0;
    std::memcpy(&count, bytes.data() + 4, 4);
    return count;
}

}  // namespace

TEST(XfDbfLocks, ConflictsBetweenProcessesAndAKilledHolderFreesItsLocks)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/locks.dbf";
    MakeTable(path, 5);
    Child child;
    StartHolder(child, [&] {
        Select(1);
        USE(path);
        GO(3);
        if (!RLock()) return false;
        Select(2);
        USE(path, "ALIAS OTHER");
        return ALock();
    });
    // The holder's ranges: record 3 at base + 65 + 2 x 20, 20 bytes; the table byte at base + 1.
    const std::set<std::string> held = LocksOn(path);
    EXPECT_TRUE(held.count("OFDLCK WRITE " + std::to_string(kBase + 105) + " " + std::to_string(kBase + 124))) << testing::PrintToString(held);
    EXPECT_TRUE(held.count("OFDLCK WRITE " + std::to_string(kBase + 1) + " " + std::to_string(kBase + 1))) << testing::PrintToString(held);

    Select(1);
    USE(path);
    GO(3);
    EXPECT_FALSE(RLock());
    EXPECT_EQ(LockBytes(true, WorkArea(1)->Table.File, kBase + 105, 20), 33);
    EXPECT_EQ(LockBytes(true, WorkArea(1)->Table.File, kBase + 104, 1), 0);
    EXPECT_EQ(LockBytes(false, WorkArea(1)->Table.File, kBase + 104, 1), 0);
    EXPECT_FALSE(ALock());
    GO(4);
    EXPECT_TRUE(RLock());
    // A change without the lock is refused; with it, it goes through.
    GO(3);
    EXPECT_THROW(Replace(), EXfError);
    EXPECT_EQ(XfErrors().LastError, 1200);
    GO(4);
    CurrentRecord().SetText(1, "changed");
    EXPECT_NO_THROW(Replace());

    kill(child.pid, SIGKILL);
    waitpid(child.pid, nullptr, 0);
    child.pid = -1;
    EXPECT_FALSE(LocksOn(path).count("OFDLCK WRITE " + std::to_string(kBase + 105) + " " + std::to_string(kBase + 124)));
    GO(3);
    EXPECT_TRUE(RLock());
    Unlock();
    EXPECT_TRUE(ALock());
    Unlock();
    EXPECT_TRUE(LocksOn(path).count("OFDLCK READ " + std::to_string(kShareLockOffset) + " " + std::to_string(kShareLockOffset)));
}

TEST(XfDbfLocks, TwoProcessesAppendingTenThousandEachLoseNothing)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/append.dbf";
    {
        TDbfTable table;
        ASSERT_EQ(CreateDbf(table, path, {{"WHO", 'N', 1, 0}, {"SEQ", 'N', 6, 0}, {"PAD", 'C', 30, 0}}), 0);
    }
    constexpr int kEach = 10000;
    std::vector<pid_t> children;
    for (int who = 1; who <= 2; ++who) {
        const pid_t pid = fork();
        if (pid == 0) {
            int status = 1;
            try {
                XfDbf4Settings().RetryCallback = [] {
                    usleep(50);
                    return true;
                };
                USE(path);
                for (int i = 1; i <= kEach; ++i) {
                    ClearRecord();
                    TXfTypedRecord record = CurrentRecord();
                    record.SetInteger(1, who);
                    record.SetInteger(2, i);
                    record.SetText(3, "appended by " + std::to_string(who));
                    if (!ALock()) std::_Exit(2);
                    Append();
                    Unlock();
                }
                CloseDatabase();
                status = 0;
            } catch (...) {
            }
            std::_Exit(status);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = -1;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(HeaderCount(path), 2 * kEach);
    const std::string bytes = testsupport::ReadFile(path);
    const std::size_t header = 32 + 3 * 32 + 1, length = 1 + 1 + 6 + 30;
    EXPECT_EQ(bytes.size(), header + 2 * kEach * length + 1);
    EXPECT_EQ(bytes.back(), '\x1A');
    USE(path, "EXCLUSIVE");
    std::vector<std::vector<bool>> seen(3, std::vector<bool>(kEach + 1, false));
    int records = 0;
    for (GoTop(); !dEOF(); SKIP(1)) {
        TXfTypedRecord record = CurrentRecord();
        const auto who = record.Integer(1), seq = record.Integer(2);
        ASSERT_TRUE(who >= 1 && who <= 2 && seq >= 1 && seq <= kEach) << RecNo();
        EXPECT_FALSE(seen[who][seq]) << who << "/" << seq;
        seen[who][seq] = true;
        ++records;
    }
    EXPECT_EQ(records, 2 * kEach);
}

TEST(XfDbfLocks, ClosingWhileAnotherAppendsKeepsItsRecordsAndCount)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/close.dbf";
    MakeTable(path, 0);
    // Two opens of one table: each holds its own locks, as two programs would.
    auto append = [](const std::string& text) {
        ClearRecord();
        CurrentRecord().SetText(1, text);
        ASSERT_TRUE(ALock());
        Append();
        Unlock();
    };
    Select(1);
    USE(path);
    append("first of area 1");
    Select(2);
    USE(path, "ALIAS SECOND");
    for (int i = 1; i <= 5; ++i) append("area 2 record " + std::to_string(i));
    Select(1);
    CloseDatabase();  // its own count was 1
    EXPECT_EQ(HeaderCount(path), 6);
    std::string bytes = testsupport::ReadFile(path);
    EXPECT_EQ(bytes.substr(65 + 20, 20), " area 2 record 1    ");
    Select(2);
    append("area 2 record 6");
    CloseDatabase();
    bytes = testsupport::ReadFile(path);
    EXPECT_EQ(HeaderCount(path), 7);
    EXPECT_EQ(bytes.size(), 65u + 7 * 20 + 1);
    EXPECT_EQ(bytes.back(), '\x1A');
}

TEST(XfDbfLocks, ClosingNeverWaitsForAnotherProgramsTableLockAndCountsItsAppends)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/held.dbf";
    MakeTable(path, 3);
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    Child child;
    child.pid = fork();
    if (child.pid == 0) {
        // Another program: when told, it takes the table lock, appends, and keeps the lock.
        char ok = 0;
        try {
            if (read(toChild[0], &ok, 1) == 1) {
                Select(1);
                USE(path);
                ok = ALock() ? 1 : 0;
                for (int i = 1; ok && i <= 4; ++i) {
                    ClearRecord();
                    CurrentRecord().SetText(1, "appended " + std::to_string(i));
                    Append();
                }
            }
        } catch (...) {
            ok = 0;
        }
        (void)!write(toParent[1], &ok, 1);
        for (;;) pause();
    }
    child.fromChild = toParent[0];

    std::int64_t now = 0;
    int sleeps = 0;
    TXfClocks clocks;
    clocks.MonotonicMs = [&] { return now; };
    clocks.SleepMs = [&](std::int64_t ms) {
        ++sleeps;
        now += ms;
    };
    TXfClocksGuard clock(clocks);
    Select(1);
    USE(path);
    GO(2);
    ASSERT_TRUE(RLock());
    CurrentRecord().SetText(1, "replaced");
    Replace();
    Unlock();
    char ok = 1;
    ASSERT_EQ(write(toChild[1], &ok, 1), 1);
    ASSERT_EQ(read(child.fromChild, &ok, 1), 1);
    ASSERT_EQ(ok, 1) << "the other program could not append under its table lock";
    EXPECT_EQ(ErrorOf([] { CloseDatabase(); }).first, 0);
    EXPECT_EQ(sleeps, 0) << "closing waited " << now << " ms";
    EXPECT_EQ(HeaderCount(path), 7);
    const std::string bytes = testsupport::ReadFile(path);
    EXPECT_EQ(bytes.substr(65 + 20, 20), " replaced           ");
    EXPECT_EQ(bytes.substr(65 + 6 * 20, 20), " appended 4         ");
}

TEST(XfDbfLocks, ClosingNeverWritesItsEndMarkOverARecordAnotherProgramAppends)
{
    EngineScope engine;
    testsupport::TempDir dir;
    // Another program appends right after one of the closing program's size queries,
    // whichever it is; each place gets a table of its own.
    int racesHit = 0;
    for (int racedQuery = 1; racedQuery <= 6; ++racedQuery) {
        SCOPED_TRACE("appended after size query " + std::to_string(racedQuery));
        const std::string path = dir.str() + "/raced" + std::to_string(racedQuery) + ".dbf";
        MakeTable(path, 3);
        Select(1);
        USE(path);
        ClearRecord();
        CurrentRecord().SetText(1, "closer's record");
        ASSERT_TRUE(ALock());
        Append();
        Unlock();
        TDbfTable other;
        ASSERT_EQ(OpenDbfFile(other, path, XfDbf4Settings().SharedMode), 0);
        other.OthersAppend = true;
        const auto appendByAnother = [&] {
            other.RecordCount = FileRecordCount(other);
            const std::string text = " appended by another";
            std::copy(text.begin(), text.end(), other.Record.begin());
            return PutDbfRecord(other, other.RecordCount + 1) == 0;
        };
        bool closing = false, inside = false, appended = false;
        int queries = 0;
        TXfFileFaults faults;
        faults.SizeTaken = [&](const std::string&) {
            if (!closing || inside || ++queries != racedQuery) return;
            inside = true;
            appended = appendByAnother();
            inside = false;
        };
        {
            TXfFileFaultsGuard guard(std::move(faults));
            closing = true;
            EXPECT_EQ(ErrorOf([] { CloseDatabase(); }).first, 0);
            closing = false;
        }
        if (appended) ++racesHit;
        else ASSERT_TRUE(appendByAnother());
        ASSERT_EQ(CloseDbf(other), 0);
        const std::string bytes = testsupport::ReadFile(path);
        EXPECT_EQ(HeaderCount(path), 5);
        ASSERT_EQ(bytes.size(), 65u + 5 * 20 + 1);
        EXPECT_EQ(bytes.substr(65 + 3 * 20, 20), " closer's record    ");
        EXPECT_EQ(bytes.substr(65 + 4 * 20, 20), " appended by another");
        EXPECT_EQ(bytes.back(), '\x1A');
    }
    EXPECT_GE(racesHit, 3);
}

TEST(XfDbfLocks, OpeningWhileAnotherProgramAppendsAndClosesSeesOnlyWhatTheFileHolds)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/opened.dbf";
    MakeTable(path, 3);
    // Another program appends a record and closes, counting it in the header, right
    // after the opening program took the file's size.
    TDbfTable other;
    ASSERT_EQ(OpenDbfFile(other, path, XfDbf4Settings().SharedMode), 0);
    other.OthersAppend = true;
    bool appended = false;
    TXfFileFaults faults;
    faults.SizeTaken = [&](const std::string&) {
        if (std::exchange(appended, true)) return;
        const std::string text = " appended by another";
        std::copy(text.begin(), text.end(), other.Record.begin());
        ASSERT_EQ(PutDbfRecord(other, other.RecordCount + 1), 0);
        ASSERT_EQ(CloseDbf(other), 0);
    };
    TXfFileFaultsGuard guard(std::move(faults));
    ASSERT_EQ(ErrorOf([&] { USE(path); }), (std::pair<int, std::string> {0, ""}));
    ASSERT_TRUE(appended);
    EXPECT_EQ(HeaderCount(path), 4);
    EXPECT_EQ(RecCount(), 4);
    GO(4);
    EXPECT_EQ(TrimRightStr(CurrentRecord().Text(1)), "appended by another");
    CloseDatabase();

    // A count the file does not hold stays refused.
    std::string bytes = testsupport::ReadFile(path);
    bytes[4] = 9;
    testsupport::WriteFile(path, bytes);
    const auto refused = ErrorOf([&] { USE(path); });
    EXPECT_EQ(refused.first, 210);
    EXPECT_NE(refused.second.find(path + " is not a dBASE database. (Record count is beyond the end of the file) [Use/OpenDbf]"),
              std::string::npos);
}

TEST(XfDbfLocks, RetriesWaitOnTheClockAndTheLockListStaysConsistent)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/retry.dbf";
    MakeTable(path, 4);
    std::int64_t now = 0;
    TXfClocks clocks;
    clocks.MonotonicMs = [&] { return now; };
    clocks.SleepMs = [&](std::int64_t ms) { now += ms; };
    TXfClocksGuard clock(clocks);

    Select(2);
    USE(path, "ALIAS HOLDER");
    GO(2);
    ASSERT_TRUE(RLock());
    Select(1);
    USE(path);
    GO(2);
    XfDbf4Settings().RetryCount = 2;
    XfDbf4Settings().RetrySeconds = 1;
    EXPECT_FALSE(RLock());
    EXPECT_EQ(now, 2000);  // three tries, two waits of a second
    int callbacks = 0;
    XfDbf4Settings().RetryCallback = [&] { return ++callbacks == 1; };
    now = 0;
    EXPECT_FALSE(RLock());
    EXPECT_EQ(now, 4000);
    EXPECT_EQ(callbacks, 2);
    XfDbf4Settings().RetryCount = 0;
    XfDbf4Settings().RetryCallback = nullptr;

    // Kinds exclude each other within an area; the limit is counted; unlock order.
    XfDbf4Settings().RecordLockLimit = 2;
    GO(1);
    ASSERT_TRUE(RLock());
    EXPECT_FALSE(ALock());
    GO(3);
    ASSERT_TRUE(RLock());
    GO(4);
    EXPECT_THROW(RLock(), EXfError);
    EXPECT_EQ(XfErrors().LastError, 212);
    EXPECT_TRUE(UnlockRec(-1));  // the oldest: record 1
    EXPECT_FALSE(IsLocked(1));
    EXPECT_TRUE(IsLocked(3));
    EXPECT_EQ(LockableByAnother(path, {1, 3}), (std::vector<bool> {true, false}));
    EXPECT_TRUE(UnlockRec(-2));
    EXPECT_FALSE(IsLocked(3));
    EXPECT_FALSE(UnlockRec(3));
    EXPECT_EQ(XfErrors().LastError, 220);
    // Unlocking record n releases n's range, also while the area stands on another locked record.
    GO(1);
    ASSERT_TRUE(RLock());
    GO(3);
    ASSERT_TRUE(RLock());
    EXPECT_TRUE(UnlockRec(1));
    EXPECT_EQ(LockableByAnother(path, {1, 3}), (std::vector<bool> {true, false}));
    Unlock();
    EXPECT_EQ(LockableByAnother(path, {1, 3}), (std::vector<bool> {true, true}));
    ASSERT_TRUE(ALock());
    GO(1);
    EXPECT_FALSE(RLock());
    Unlock();
    CloseAll();

    // Exclusive and single-user opens keep the list as shared ones do, and make no system lock.
    XfDbf4Settings().NetworkMode = 0;
    USE(path);
    GO(2);
    ASSERT_TRUE(RLock());
    EXPECT_TRUE(IsLocked(2));
    EXPECT_TRUE(LocksOn(path).count("OFDLCK WRITE " + std::to_string(kShareLockOffset) + " " + std::to_string(kShareLockOffset)));
    EXPECT_FALSE(LocksOn(path).count("OFDLCK WRITE " + std::to_string(kBase + 85) + " " + std::to_string(kBase + 104)));
    Unlock();
    EXPECT_FALSE(IsLocked(2));
    EXPECT_TRUE(ALock());
}

TEST(XfDbfLocks, WhatIsReadUnderALockComesFromTheFile)
{
    EngineScope engine;
    testsupport::TempDir dir;
    const std::string path = dir.str() + "/fresh.dbf";
    MakeTable(path, 3);
    TXfClocks frozen;  // records read ahead would stay young for ever
    frozen.MonotonicMs = [] { return std::int64_t {1000}; };
    TXfClocksGuard clock(frozen);
    Select(1);
    USE(path);
    GO(1);
    Select(2);
    USE(path, "ALIAS WRITER");
    GO(2);
    ASSERT_TRUE(RLock());
    CurrentRecord().SetText(1, "changed by area 2");
    Replace();
    Unlock();
    Select(1);
    GO(2);
    ASSERT_TRUE(RLock());
    SKIP(0);
    EXPECT_EQ(TrimRightStr(CurrentRecord().Text(1)), "changed by area 2");
    Unlock();
    // An append by the other area shows at the end without a lock.
    Select(2);
    ClearRecord();
    CurrentRecord().SetText(1, "appended by area 2");
    ASSERT_TRUE(ALock());
    Append();
    Unlock();
    Select(1);
    GO(3);
    SKIP(1);
    EXPECT_EQ(RecNo(), 4);
    EXPECT_EQ(TrimRightStr(CurrentRecord().Text(1)), "appended by area 2");
}
