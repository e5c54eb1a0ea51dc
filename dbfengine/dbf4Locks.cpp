// Record and table locks of the work areas: byte ranges far above the data
// (lock base + the record's position for a record, lock base + 1 for the table,
// lock base itself for the login byte), so a lock never blocks reading.

#include <algorithm>

#include "dbfengine/dbf4.h"
#include "dbfengine/dbf4Internal.h"
#include "dbfengine/platform/XfClock.h"
#include "dbfengine/xfcommon.h"

namespace xf {

using namespace dbf4;

namespace {

std::int64_t RecordLockOffset(const TDbfTable& t, std::int32_t n)
{
    return XfDbf4Settings().LockBase + t.RecordOffset(n);
}

// Waits on the monotonic clock; no events are dispatched meanwhile, so nothing can
// re-enter the engine and change the current area.
void LockRetryWait(int seconds)
{
    if (seconds <= 0) return;
    const TXfClocks& clock = XfClocks();
    const std::int64_t until = clock.MonotonicMs() + static_cast<std::int64_t>(seconds) * 1000;
    for (std::int64_t now = clock.MonotonicMs(); now < until; now = clock.MonotonicMs())
        clock.SleepMs(std::min<std::int64_t>(until - now, 100));
}

bool SystemLocks(const TWorkArea& a) { return Shared(a) && !a.Table.Virtual; }

}  // namespace

int LockBytes(bool lock, TXfFile& file, std::int64_t offset, std::int64_t length)
{
    if (XfDbf4Settings().NetworkMode == 0) return 0;
    return lock ? file.Lock(offset, length) : file.Unlock(offset, length);
}

bool LockWithRetry(TXfFile& file, std::int64_t offset, std::int64_t length)
{
    const TXfDbf4Settings& s = XfDbf4Settings();
    int retries = 0;
    while (true) {
        if (LockBytes(true, file, offset, length) == 0) return true;
        if (retries >= s.RetryCount) {
            if (s.RetryCallback && s.RetryCallback()) {
                retries = 0;
                continue;
            }
            return false;
        }
        LockRetryWait(s.RetrySeconds);
        ++retries;
    }
}

bool ALock()
{
    TWorkArea* a = Need("ALock");
    if (!a) return false;
    if (a->Table.Virtual) {
        Report(1100, " [ALock]");
        return false;
    }
    if (a->LockState == 2) return true;
    if (a->LockState == 3) return false;
    if (SystemLocks(*a)) {
        if (!LockWithRetry(a->Table.File, XfDbf4Settings().LockBase + 1, 1)) return false;
        DropReadAhead(a->Table);
    }
    a->LockState = 2;
    return true;
}

bool RLock()
{
    TWorkArea* a = Need("RLock");
    if (!a) return false;
    TDbfTable& t = a->Table;
    if (t.Virtual) {
        Report(1100, " [RLock]");
        return false;
    }
    const int limit = XfDbf4Settings().RecordLockLimit;
    if (limit > 0 && a->LockCount >= limit) {
        Report(212, "Record lock limit exceeded [RLock]");
        return false;
    }
    const std::int32_t n = t.CurrentRecord;
    if (a->LockState == 3 && std::find(a->Locks.begin(), a->Locks.end(), n) != a->Locks.end()) return true;
    if (a->LockState == 2) return false;
    if (SystemLocks(*a) && !LockWithRetry(t.File, RecordLockOffset(t, n), t.RecordLength)) return false;
    DropReadAhead(t);
    // Exclusive tables keep the list too, so Unlock and the lock checks agree in every mode.
    a->Locks.push_front(n);
    a->LockState = 3;
    ++a->LockCount;
    return true;
}

bool IsLocked(std::int32_t n)
{
    TWorkArea* a = Need("IsLocked");
    if (!a) return false;
    if (a->Table.Virtual) {
        Report(1100, "[IsLocked]");
        return false;
    }
    return std::find(a->Locks.begin(), a->Locks.end(), n) != a->Locks.end();
}

namespace {

// Releases one entry's range and drops it; the system's code, or 0.
int ReleaseEntry(TWorkArea& a, std::deque<std::int32_t>::iterator entry)
{
    int code = 0;
    if (SystemLocks(a)) code = LockBytes(false, a.Table.File, RecordLockOffset(a.Table, *entry), a.Table.RecordLength);
    a.Locks.erase(entry);
    a.LockCount = static_cast<std::uint16_t>(a.Locks.size());
    if (a.Locks.empty()) a.LockState = 0;
    return code;
}

}  // namespace

bool UnlockRec(std::int32_t n)
{
    TWorkArea* a = Need("UnlockRec");
    if (!a) return false;
    auto fail = [] {
        XfErrors().LastError = 220;
        return false;
    };
    if (n >= 1) {
        const auto entry = std::find(a->Locks.begin(), a->Locks.end(), n);
        if (entry == a->Locks.end()) return fail();
        if (const int code = ReleaseEntry(*a, entry)) XfErrors().LastError = static_cast<std::uint16_t>(code);
        return true;
    }
    if (n == -1 || n == -2) {
        if (a->Locks.empty()) return fail();
        const int code = ReleaseEntry(*a, n == -1 ? a->Locks.end() - 1 : a->Locks.begin());
        if (code) XfErrors().LastError = static_cast<std::uint16_t>(code);
        return true;
    }
    if (n == -3) {
        while (!a->Locks.empty())
            if (const int code = ReleaseEntry(*a, a->Locks.begin())) XfErrors().LastError = static_cast<std::uint16_t>(code);
        return true;
    }
    return fail();
}

void Unlock()
{
    XfErrors().LastError = 0;
    TWorkArea* a = Need("Unlock");
    if (!a) return;
    if (a->LockState == 3 || !a->Locks.empty()) UnlockRec(-3);
    if (a->LockState == 2 && SystemLocks(*a)) {
        if (const int code = LockBytes(false, a->Table.File, XfDbf4Settings().LockBase + 1, 1))
            Report(static_cast<std::uint16_t>(code), "Error attempting to UNLOCK file " + a->Table.FileName + " [Unlock]");
    }
    a->LockState = 0;
}

bool LockDbfLoginByte()
{
    TWorkArea* a = Need("LockDbfLoginByte");
    if (!a) return false;
    if (XfDbf4Settings().NetworkMode == 0) return true;
    return LockWithRetry(a->Table.File, XfDbf4Settings().LockBase, 1);
}

void UnlockDbfLoginByte()
{
    TWorkArea* a = Need("UnlockDbfLoginByte");
    if (!a) return;
    if (const int code = LockBytes(false, a->Table.File, XfDbf4Settings().LockBase, 1))
        Report(static_cast<std::uint16_t>(code), "Error attempting to UNLOCK file " + a->Table.FileName + " in Workarea " +
                                                     std::to_string(CurrentWorkArea()));
}

}  // namespace xf
