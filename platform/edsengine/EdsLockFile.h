#pragma once
// The companion lock file beside a table ("<table file>.lck"). Opens and record locks
// are open-file-description locks on it: they hold against every other open of the
// file, in this process and in others, and vanish when the descriptor is closed or
// the process dies. SQLite's own locks on the table file are never touched.
//
// Regions: byte kOpenByte carries a shared lock per open (exclusive for an exclusive
// open); kRecordBase + record number carries a record's lock; kCounterByte guards the
// record-number counter stored in the first 8 bytes of the file.

#include <cstdint>
#include <string>

namespace eds {

class LockFile {
public:
    // Opens (creating when missing) the lock file of a table file. Throws EngineError.
    // In a folder that cannot be written an existing lock file is opened for reading:
    // shared opens work, and every lock or write that needs more throws, naming the
    // system's reason.
    explicit LockFile(const std::string& tableFile);
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    static std::string PathFor(const std::string& tableFile) { return tableFile + ".lck"; }

    // Waits up to timeoutMs for the open lock; false when another holder keeps it.
    bool LockOpen(bool exclusive, int timeoutMs);
    bool TryLockRecord(std::int64_t recno);
    // The locks of the records first to last, all at once, or none of them when
    // another open holds any.
    bool TryLockRecords(std::int64_t first, std::int64_t last);
    void UnlockRecord(std::int64_t recno);
    // Whether another open holds the record's lock; whether it holds any record's lock.
    bool RecordLockedElsewhere(std::int64_t recno);
    bool AnyRecordLockedElsewhere();
    // The first of `count` record numbers: at least `minimum`, above every number handed
    // out before by any process, none past `last` (fewer when the range ends sooner).
    // Answers a number past `last`, handing out nothing, when none is left; a counter
    // found past `last` + 1 is taken from `minimum` again. Waits while another open
    // holds the counter, as HoldNumbers does.
    std::int64_t ReserveRecordNumbers(std::int64_t minimum, std::int64_t count, std::int64_t last);
    // Holds the record-number counter, so that no other open reserves until it is
    // released, and answers the first number not handed out yet. The release
    // marks every number below `next` as handed out. While another open holds it
    // (an SQL statement holds it for its whole run) this waits up to
    // kNumbersWaitMs, then throws EDS_E_BUSY: the table is being written.
    std::int64_t HoldNumbers();
    void ReleaseNumbers(std::int64_t next);
    // Whether another open holds the record-number counter.
    bool NumbersHeldElsewhere();

    // As long as an open waits for the table, and as SQL waits for a busy file.
    static constexpr int kNumbersWaitMs = 2000;

private:
    // Never waits: false while another open holds a conflicting lock.
    bool SetLock(short type, std::int64_t start, std::int64_t length);
    void RequireWritable() const;
    void StoreCounter(std::int64_t next);
    std::string path_;
    std::string table_;  // the table file's path, for the texts
    int fd_ = -1;
    int writeError_ = 0;  // why the file could not be opened for writing, if it could not
};

}  // namespace eds
