#include "dbfengine/xfsemaphore.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include <unistd.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/dbf4Internal.h"
#include "dbfengine/platform/XfClock.h"
#include "dbfengine/platform/XfFiles.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndx.h"

namespace xf {

using namespace dbf4;

namespace {

constexpr int kSemaphoreAreas = 34;
constexpr std::int64_t kRegionOffset = 1;
constexpr std::int64_t kRegionLength = 4;
// Reserved bytes far beyond the record, apart from the share-mode byte: a shared
// lock on the first for every logged-in area, on the second for every reader; the
// writer holds the second exclusively.
constexpr std::int64_t kUsersByte = kShareLockOffset - 0x100;
constexpr std::int64_t kReadersByte = kUsersByte + 1;
// The region and the login guard are held only for a read-modify-write of the
// record, or by a writer for its section: a reader gives up after this long.
constexpr std::int64_t kRegionWaitMs = 10'000;
constexpr std::int64_t kPollMs = 5;
constexpr std::uint8_t kMaxReaders = 127;
constexpr std::uint8_t kMaxUsers = 255;

struct TSemaphoreRecord {
    std::uint8_t Users = 0;
    std::uint8_t Readers = 0;
    std::uint16_t Counter = 0;
};

struct TSemaphoreArea {
    TXfFile File;
    std::string FileName;
    TSemaphoreRecord Record;  // as last read or written
    std::uint16_t Seen = 0;   // the change counter this area has caught up with
    // The counter at which the area's record read-ahead was last judged: a block read
    // before a write section ended may hold records older than the keys a reader then
    // searches for them.
    std::uint16_t AheadSeen = 0;
    bool RegionLocked = false;
    bool Reader = false;  // counted, and holding the shared readers lock
    bool Writer = false;  // holding the readers lock exclusively
    // The nesting of SetReadSemaphoreProc / SetLockSemaphoreProc, and apart from it
    // the balance of the actions themselves: one counter for both would make every
    // outermost action look nested, and nothing would ever reach the file.
    std::int32_t ReadNesting = 0, WriteNesting = 0;
    std::int32_t ReadActions = 0, WriteActions = 0;
};

std::array<std::unique_ptr<TSemaphoreArea>, kSemaphoreAreas + 1>& Logins()
{
    static std::array<std::unique_ptr<TSemaphoreArea>, kSemaphoreAreas + 1> logins;
    return logins;
}

TSemaphoreArea* Joined()
{
    const int n = CurrentWorkArea();
    return n >= 1 && n <= kSemaphoreAreas ? Logins()[n].get() : nullptr;
}

// Tries until `attempt` succeeds or `limitMs` (negative: no limit) have passed on
// the engine's clock.
template <class Attempt>
bool WaitFor(std::int64_t limitMs, Attempt attempt)
{
    const TXfClocks& clock = XfClocks();
    const std::int64_t start = clock.MonotonicMs();
    while (true) {
        if (attempt()) return true;
        const std::int64_t waited = clock.MonotonicMs() - start;
        if (limitMs >= 0 && waited >= limitMs) return false;
        clock.SleepMs(limitMs < 0 ? kPollMs : std::min(kPollMs, limitMs - waited));
    }
}

int ReadRecord(TSemaphoreArea& s)
{
    unsigned char bytes[4] = {};
    std::size_t got = 0;
    // A file cut short by a crash before its first write reads as zeros.
    if (const int code = s.File.ReadAt(0, bytes, sizeof bytes, got)) return code;
    s.Record.Users = bytes[0];
    s.Record.Readers = bytes[1];
    s.Record.Counter = static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8);
    return 0;
}

int WriteRecord(TSemaphoreArea& s)
{
    const unsigned char bytes[4] = {s.Record.Users, s.Record.Readers, static_cast<unsigned char>(s.Record.Counter & 0xFF),
                                    static_cast<unsigned char>(s.Record.Counter >> 8)};
    return s.File.WriteAt(0, bytes, sizeof bytes);
}

std::string RegionErrorText(const TSemaphoreArea& s, std::string_view action, int code)
{
    return "10 second timeout: Cannot lock index semaphore file: " + s.FileName + " " + std::string(action) +
           "\r\nPossible cause: Network lock limit exceeded\r\n Lock result code: " + std::to_string(code);
}

bool TakeRegion(TSemaphoreArea& s, std::string_view action)
{
    int code = 0;
    const bool taken = WaitFor(kRegionWaitMs, [&] {
        if (s.RegionLocked) return true;
        code = s.File.Lock(kRegionOffset, kRegionLength);
        s.RegionLocked = code == 0;
        return s.RegionLocked;
    });
    if (!taken) Report(1202, RegionErrorText(s, action, code));
    return taken;
}

void DropRegion(TSemaphoreArea& s)
{
    if (s.RegionLocked) s.File.Unlock(kRegionOffset, kRegionLength);
    s.RegionLocked = false;
}

bool ReleaseRegion(TSemaphoreArea& s, std::string_view action)
{
    if (!s.RegionLocked) return true;
    s.RegionLocked = false;
    if (const int code = s.File.Unlock(kRegionOffset, kRegionLength)) {
        Report(static_cast<std::uint16_t>(code), "Cannot unlock index semaphore file: " + s.FileName + " " + std::string(action));
        return false;
    }
    return true;
}

// A writer that was a reader before its section goes back to being one.
void DropWriter(TSemaphoreArea& s)
{
    if (!s.Writer) return;
    if (!s.Reader || s.File.LockShared(kReadersByte, 1) != 0) {
        s.File.Unlock(kReadersByte, 1);
        s.Reader = false;
    }
    s.Writer = false;
}

// The region for the rest of a step; a step that fails leaves it free.
class TRegionHold {
public:
    explicit TRegionHold(TSemaphoreArea& s) : s_(&s) {}
    ~TRegionHold()
    {
        if (s_) DropRegion(*s_);
    }
    TRegionHold(const TRegionHold&) = delete;
    TRegionHold& operator=(const TRegionHold&) = delete;
    void Keep() { s_ = nullptr; }
    bool Release(std::string_view action) { return ReleaseRegion(*std::exchange(s_, nullptr), action); }

private:
    TSemaphoreArea* s_;
};

// The table's login byte, held while a program joins or leaves the semaphore file.
class TLoginGuard {
public:
    explicit TLoginGuard(TWorkArea& a) : a_(a) {}
    ~TLoginGuard()
    {
        if (held_) LockBytes(false, a_.Table.File, XfDbf4Settings().LockBase, 1);
    }
    TLoginGuard(const TLoginGuard&) = delete;
    TLoginGuard& operator=(const TLoginGuard&) = delete;

    bool Take(const std::string& file, std::string_view action)
    {
        held_ = WaitFor(kRegionWaitMs, [&] { return LockBytes(true, a_.Table.File, XfDbf4Settings().LockBase, 1) == 0; });
        if (!held_) Report(1202, "Cannot lock database for: " + file + " Action=" + std::string(action) + " [Database Semaphore]");
        return held_;
    }
    void Release()
    {
        held_ = false;
        UnlockDbfLoginByte();
    }

private:
    TWorkArea& a_;
    bool held_ = false;
};

// Puts a nesting counter back unless the step it guards went through.
class TNestingUndo {
public:
    explicit TNestingUndo(std::int32_t& count) : count_(&count) {}
    ~TNestingUndo()
    {
        if (count_) --*count_;
    }
    TNestingUndo(const TNestingUndo&) = delete;
    TNestingUndo& operator=(const TNestingUndo&) = delete;
    void Done() { count_ = nullptr; }

private:
    std::int32_t* count_;
};

void TimeoutError(const TSemaphoreArea& s)
{
    const std::string& file = s.FileName;
    Report(1202, std::to_string(XfSemaphoreSettings().SemaphoreTimeout) + " second timeout, cannot read: " + file +
                     "\r\nPossible cause: Other user's program has terminated abnormally.\r\n"
                     "Cure: Log all users of this application off the network,\r\nthen delete " + file);
}

bool Login(TWorkArea& a, int n)
{
    if (Logins()[n]) return true;
    constexpr std::string_view action = "LOGIN";
    auto s = std::make_unique<TSemaphoreArea>();
    s->FileName = SemaphoreFileName(a.Table.FileName);
    const std::string& file = s->FileName;
    TLoginGuard guard(a);
    if (!guard.Take(file, action)) return false;
    // Under the guard no other program joins or leaves, so the file cannot appear
    // or vanish between the test and the create.
    const int result = ::access(file.c_str(), F_OK) == 0 ? kDosAccessDenied : s->File.Create(file, fmOpenReadWrite | fmShareExclusive);
    if (result == 0) {
        if (const int code = WriteRecord(*s)) {
            s->File.Close();
            Report(static_cast<std::uint16_t>(code), "Cannot write to: " + file + " Action=LOGIN [Database Semaphore]");
            return false;
        }
        s->File.Close();
        if (const int code = s->File.Open(file, fmOpenReadWrite | fmShareDenyNone)) {
            Report(static_cast<std::uint16_t>(code), "Cannot open: " + file + " Action=LOGIN [Database Semaphore]");
            return false;
        }
    } else if (result == 3 || result == 5 || result == 32 || result == 150 || result == 162 || result == 163) {
        if (const int code = s->File.Open(file, fmOpenReadWrite | fmShareDenyNone)) {
            Report(static_cast<std::uint16_t>(code), "Cannot open: " + file + " LOGIN");
            return false;
        }
    } else {
        Report(static_cast<std::uint16_t>(result), "Cannot open/create: " + file + " LOGIN");
        return false;
    }
    TRegionHold region(*s);
    if (!TakeRegion(*s, action)) return false;
    if (const int code = ReadRecord(*s)) {
        Report(static_cast<std::uint16_t>(code), "Cannot read: " + file + " LOGIN");
        return false;
    }
    // Alone with the file: whatever it still counts was left by programs that ended
    // without logging out.
    if (s->File.Lock(kUsersByte, 1) == 0) s->Record.Users = s->Record.Readers = 0;
    if (const int code = s->File.LockShared(kUsersByte, 1)) {
        Report(1202, RegionErrorText(*s, action, code));
        return false;
    }
    if (s->Record.Users < kMaxUsers) ++s->Record.Users;
    if (const int code = WriteRecord(*s)) {
        Report(static_cast<std::uint16_t>(code), "Cannot write to: " + file + " LOGIN");
        return false;
    }
    if (!region.Release(action)) return false;
    s->Seen = s->AheadSeen = s->Record.Counter;
    // Records read ahead before the login were read under no counter at all.
    DropReadAhead(a.Table);
    Logins()[n] = std::move(s);
    guard.Release();
    return true;
}

bool Logout(TWorkArea& a, int n)
{
    std::unique_ptr<TSemaphoreArea>& slot = Logins()[n];
    TSemaphoreArea& s = *slot;
    constexpr std::string_view action = "LOGOUT";
    TLoginGuard guard(a);
    if (!guard.Take(s.FileName, action)) return false;
    // Without the region the area stays logged in.
    if (!TakeRegion(s, action)) return false;
    int code = ReadRecord(s);
    std::string failure = "Cannot read: ";
    bool alone = false;
    if (code == 0) {
        if (s.Reader && s.Record.Readers > 0) --s.Record.Readers;
        // Leaving inside a write section: the others must still see that the index changed.
        if (s.Writer) {
            ++s.Record.Counter;
            s.Record.Readers = 0;
        }
        if (s.Record.Users > 0) --s.Record.Users;
        s.File.Unlock(kReadersByte, 1);
        s.File.Unlock(kUsersByte, 1);
        alone = s.File.Lock(kUsersByte, 1) == 0;
        code = WriteRecord(s);
        failure = "Cannot write to: ";
    }
    const std::string file = s.FileName;
    // Closing drops every lock the area held.
    slot.reset();
    if (alone) XfEraseFile(file);
    guard.Release();
    if (code) {
        Report(static_cast<std::uint16_t>(code), failure + file + " " + std::string(action));
        return false;
    }
    return true;
}

bool IncRead(TWorkArea& a, TSemaphoreArea& s)
{
    constexpr std::string_view action = "INCREAD";
    if (++s.ReadActions != 1) return true;
    // A writer's own reads are not counted.
    if (s.RegionLocked || s.Reader) return true;
    TNestingUndo failed(s.ReadActions);
    TRegionHold region(s);
    if (!TakeRegion(s, action)) return false;
    // Under the region no writer is inside, so the shared lock is there to be had.
    if (const int code = s.File.LockShared(kReadersByte, 1)) {
        Report(1202, RegionErrorText(s, action, code));
        return false;
    }
    s.Reader = true;
    int code = ReadRecord(s);
    std::string failure = "Cannot read: ";
    if (code == 0) {
        if (s.Record.Readers < kMaxReaders) ++s.Record.Readers;
        code = WriteRecord(s);
        failure = "Cannot write to: ";
        // Another program's write section ended since the read-ahead was judged: its
        // records may be older than the index this section reads, and a key made from
        // one would not be found. While the area is counted no writer gets in, so what
        // is read from now on matches the index.
        if (s.Record.Counter != s.AheadSeen) {
            DropReadAhead(a.Table);
            s.AheadSeen = s.Record.Counter;
        }
    }
    if (code) {
        s.File.Unlock(kReadersByte, 1);
        s.Reader = false;
        region.Release(action);
        Report(static_cast<std::uint16_t>(code), failure + s.FileName + " " + std::string(action));
        return false;
    }
    failed.Done();
    return region.Release(action);
}

bool DecRead(TSemaphoreArea& s)
{
    constexpr std::string_view action = "DECREAD";
    if (--s.ReadActions < 0) {
        s.ReadActions = 0;
        Report(254, "Unbalanced IncRead/DecRead for semaphore file: " + s.FileName + " " + std::string(action));
        return false;
    }
    if (s.ReadActions != 0) return true;
    if (s.RegionLocked) {
        // Inside its own write section: the section's end writes the readers count.
        s.Reader = false;
        return true;
    }
    if (!s.Reader) return true;
    // Gone from the lock first, so a waiting writer is not held up by a failure below.
    s.File.Unlock(kReadersByte, 1);
    s.Reader = false;
    TRegionHold region(s);
    if (!TakeRegion(s, action)) return false;
    int code = ReadRecord(s);
    std::string failure = "Cannot read: ";
    if (code == 0) {
        if (s.Record.Readers > 0) --s.Record.Readers;
        code = WriteRecord(s);
        failure = "Cannot write to: ";
    }
    if (code) {
        region.Release(action);
        Report(static_cast<std::uint16_t>(code), failure + s.FileName + " " + std::string(action));
        return false;
    }
    return region.Release(action);
}

bool LockSemaphore(TSemaphoreArea& s)
{
    constexpr std::string_view action = "LOCKSEMAPHORE";
    if (++s.WriteActions > 1 || s.RegionLocked) return true;
    TNestingUndo failed(s.WriteActions);
    const std::uint16_t timeout = XfSemaphoreSettings().SemaphoreTimeout;
    const bool inside = WaitFor(timeout == 0 ? -1 : std::int64_t {timeout} * 1000, [&] {
        if (!s.RegionLocked) {
            s.RegionLocked = s.File.Lock(kRegionOffset, kRegionLength) == 0;
            if (!s.RegionLocked) return false;
        }
        if (s.File.Lock(kReadersByte, 1) == 0) return true;
        DropRegion(s);
        return false;
    });
    if (!inside) {
        TimeoutError(s);
        return false;
    }
    s.Writer = true;
    int code = ReadRecord(s);
    std::string failure = "Cannot read: ";
    if (code == 0) {
        s.Record.Readers = 1;
        code = WriteRecord(s);
        failure = "Cannot write to: ";
    }
    if (code) {
        DropWriter(s);
        ReleaseRegion(s, action);
        Report(static_cast<std::uint16_t>(code), failure + s.FileName + " " + std::string(action));
        return false;
    }
    failed.Done();
    return true;
}

bool UnlockSemaphore(TSemaphoreArea& s)
{
    constexpr std::string_view action = "UNLOCKSEMAPHORE";
    if (--s.WriteActions < 0) {
        s.WriteActions = 0;
        DropWriter(s);
        ReleaseRegion(s, action);
        Report(254, "Unbalanced Lock/Unlock for semaphore file: " + s.FileName + " " + std::string(action));
        return false;
    }
    if (s.WriteActions != 0 || !s.RegionLocked) return true;
    int code = ReadRecord(s);
    std::string failure = "Cannot read: ";
    if (code == 0) {
        ++s.Record.Counter;
        s.Record.Readers = s.Reader ? 1 : 0;
        code = WriteRecord(s);
        failure = "Cannot write to: ";
    }
    DropWriter(s);
    if (!ReleaseRegion(s, action)) return false;
    // The area's own change is no news to it.
    if (code == 0) s.Seen = s.Record.Counter;
    if (code) Report(static_cast<std::uint16_t>(code), failure + s.FileName + " " + std::string(action));
    return code == 0;
}

// One action; false when it failed (the error has been reported).
bool Perform(int action)
{
    const int n = CurrentWorkArea();
    if (n > kSemaphoreAreas) {
        Report(254, "Work area [" + std::to_string(n) + "] out of range. [HandleSemafore]");
        return false;
    }
    TWorkArea* a = Current();
    if (!a || !Shared(*a) || a->Table.Virtual) return true;
    if (action == saLogin) return Login(*a, n);
    TSemaphoreArea* s = Logins()[n].get();
    if (!s) return true;
    switch (action) {
    case saLogout: return Logout(*a, n);
    case saIncRead: return IncRead(*a, *s);
    case saDecRead: return DecRead(*s);
    case saLockSemaphore: return LockSemaphore(*s);
    case saUnlockSemaphore: return UnlockSemaphore(*s);
    default: return true;
    }
}

void NestedSection(bool enter, std::int32_t TSemaphoreArea::*nesting, int enterAction, int leaveAction, std::string_view tag)
{
    TSemaphoreArea* s = Joined();
    if (!s) return;
    std::int32_t& count = s->*nesting;
    if (enter) {
        if (++count != 1) return;
        TNestingUndo failed(count);
        if (Perform(enterAction)) failed.Done();
        return;
    }
    if (--count < 0) {
        count = 0;
        Report(254, "Non-symmetrical Lock-Unlock [" + std::string(tag) + "]");
        return;
    }
    if (count == 0) Perform(leaveAction);
}

}  // namespace

TXfSemaphoreSettings& XfSemaphoreSettings()
{
    static TXfSemaphoreSettings settings;
    return settings;
}

std::string_view SemaphoreActionName(int action)
{
    static constexpr std::string_view names[] = {"LOGIN", "LOGOUT", "INCREAD", "DECREAD", "LOCKSEMAPHORE", "UNLOCKSEMAPHORE"};
    return action >= 0 && action <= saUnlockSemaphore ? names[action] : std::string_view {};
}

std::string SemaphoreFileName(std::string_view tableFileName)
{
    std::string name = ForceExtension(tableFileName, "@S@");
    const std::string& folder = XfSemaphoreSettings().SemaphoreFolder;
    if (folder.empty()) return name;
    std::string path, base, ext;
    SplitFileName(name, path, base, ext);
    path = folder;
    if (path.back() != '/' && path.back() != '\\') path += '/';
    return path + base + ext;
}

void HandleSemafore(int action) { Perform(action); }

void SetReadSemaphoreProc(bool enter)
{
    NestedSection(enter, &TSemaphoreArea::ReadNesting, saIncRead, saDecRead, "SetReadSemaphoreProc");
}

void SetLockSemaphoreProc(bool enter)
{
    NestedSection(enter, &TSemaphoreArea::WriteNesting, saLockSemaphore, saUnlockSemaphore, "SetLockSemaphoreProc");
}

bool IndexChanged()
{
    TSemaphoreArea* s = Joined();
    if (!s || s->Writer) return false;
    // A reader's record was read when it entered, and no writer has been inside since.
    if (!s->Reader && ReadRecord(*s) != 0) return false;
    if (s->Record.Counter == s->Seen) return false;
    s->Seen = s->Record.Counter;
    return true;
}

bool LockSemaphoreRegion(std::string_view action)
{
    TSemaphoreArea* s = Joined();
    return s && TakeRegion(*s, action);
}

void UnlockSemaphoreRegion(std::string_view action)
{
    if (TSemaphoreArea* s = Joined()) ReleaseRegion(*s, action);
}

void SemaphoreTimeoutError()
{
    if (const TSemaphoreArea* s = Joined()) TimeoutError(*s);
}

bool SemaphoreLoggedIn() { return Joined() != nullptr; }

namespace {

// The index layer logs in when it opens an index on a shared table, out when it
// closes it, asks IndexChanged before it positions, and the work-area layer's
// hooks bracket every read and change of nodes.
const bool kInstalled = [] {
    TXfIndexHooks& hooks = XfIndexHooks();
    hooks.SetReadSemaphoreProc = SetReadSemaphoreProc;
    hooks.SetLockSemaphoreProc = SetLockSemaphoreProc;
    TXfIndexSemaphoreCalls& calls = XfIndexSemaphoreCalls();
    calls.Login = [] { return Perform(saLogin) && SemaphoreLoggedIn(); };
    calls.Logout = [] { Perform(saLogout); };
    calls.IndexChanged = IndexChanged;
    return true;
}();

}  // namespace

void LeaveSemaphoreOnClose()
{
    const int n = CurrentWorkArea();
    if (n < 1 || n > kSemaphoreAreas || !Logins()[n]) return;
    {
        TXfDeferErrors defer;
        try {
            Perform(saLogout);
        } catch (...) {
        }
    }
    Logins()[n].reset();
}

}  // namespace xf
