#include "platform/edsengine/EdsLockFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "platform/edsengine/EdsCore.h"

namespace eds {
namespace {

constexpr std::int64_t kCounterByte = 1ll << 29;
constexpr std::int64_t kOpenByte = 1ll << 30;
constexpr std::int64_t kRecordBase = 1ll << 32;

}  // namespace

LockFile::LockFile(const std::string& tableFile) : path_(PathFor(tableFile)), table_(tableFile) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // A folder this user may not write can still be read: opened for reading,
        // the lock file carries shared opens, so an exclusive holder elsewhere still
        // keeps this open out and this open keeps it out. Nothing here can be written.
        writeError_ = errno;
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0 && errno == ENOENT) errno = writeError_;
    }
    if (fd_ < 0) Throw(EDS_E_IO, "Cannot open the lock file " + path_ + ": " + std::strerror(errno));
}

void LockFile::RequireWritable() const {
    if (writeError_ != 0) Throw(EDS_E_IO, "Cannot write the lock file " + path_ + ": " + std::strerror(writeError_));
}

LockFile::~LockFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool LockFile::SetLock(short type, std::int64_t start, std::int64_t length) {
    if (type == F_WRLCK) RequireWritable();
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    while (::fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return false;
        Throw(EDS_E_IO, std::string("Locking failed: ") + std::strerror(errno));
    }
    return true;
}

bool LockFile::LockOpen(bool exclusive, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        if (SetLock(exclusive ? F_WRLCK : F_RDLCK, kOpenByte, 1)) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool LockFile::TryLockRecord(std::int64_t recno) { return SetLock(F_WRLCK, kRecordBase + recno, 1); }

bool LockFile::TryLockRecords(std::int64_t first, std::int64_t last) {
    return SetLock(F_WRLCK, kRecordBase + first, last - first + 1);
}

void LockFile::UnlockRecord(std::int64_t recno) { SetLock(F_UNLCK, kRecordBase + recno, 1); }

bool LockFile::RecordLockedElsewhere(std::int64_t recno) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kRecordBase + recno;
    lock.l_len = 1;
    if (::fcntl(fd_, F_OFD_GETLK, &lock) != 0) Throw(EDS_E_IO, std::string("Lock test failed: ") + std::strerror(errno));
    return lock.l_type != F_UNLCK;
}

bool LockFile::NumbersHeldElsewhere() {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kCounterByte;
    lock.l_len = 1;
    if (::fcntl(fd_, F_OFD_GETLK, &lock) != 0) Throw(EDS_E_IO, std::string("Lock test failed: ") + std::strerror(errno));
    return lock.l_type != F_UNLCK;
}

bool LockFile::AnyRecordLockedElsewhere() {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kRecordBase;
    lock.l_len = 0;  // to the end of every offset
    if (::fcntl(fd_, F_OFD_GETLK, &lock) != 0) Throw(EDS_E_IO, std::string("Lock test failed: ") + std::strerror(errno));
    return lock.l_type != F_UNLCK;
}

std::int64_t LockFile::HoldNumbers() {
    // Polled rather than waited for in the kernel, so that the wait ends: a
    // statement holds the counter for as long as it inserts, and this runs
    // under the engine lock. An append's own hold lasts a few system calls, so
    // the first retries come soon.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kNumbersWaitMs);
    for (auto pause = std::chrono::microseconds(100); !SetLock(F_WRLCK, kCounterByte, 1);
         pause = std::min(pause * 2, std::chrono::microseconds(10000))) {
        if (std::chrono::steady_clock::now() >= deadline)
            Throw(EDS_E_BUSY, "The table " + table_ +
                                  " is being written by another user, who holds its record numbers; nothing was "
                                  "written. Try again.");
        std::this_thread::sleep_for(pause);
    }
    std::int64_t next = 0;
    const ssize_t got = ::pread(fd_, &next, sizeof next, 0);
    return got == static_cast<ssize_t>(sizeof next) ? next : 0;
}

void LockFile::ReleaseNumbers(std::int64_t next) {
    struct Unlock {
        LockFile* self;
        ~Unlock() { self->SetLock(F_UNLCK, kCounterByte, 1); }
    } unlock{this};
    std::int64_t stored = 0;
    if (::pread(fd_, &stored, sizeof stored, 0) != static_cast<ssize_t>(sizeof stored)) stored = 0;
    if (next > stored) StoreCounter(next);
}

void LockFile::StoreCounter(std::int64_t next) {
    if (::pwrite(fd_, &next, sizeof next, 0) != static_cast<ssize_t>(sizeof next))
        Throw(EDS_E_IO, std::string("Cannot write the lock file: ") + std::strerror(errno));
}

std::int64_t LockFile::ReserveRecordNumbers(std::int64_t minimum, std::int64_t count, std::int64_t last) {
    std::int64_t next = HoldNumbers();
    struct Unlock {
        LockFile* self;
        ~Unlock() { self->SetLock(F_UNLCK, kCounterByte, 1); }
    } unlock{this};
    // Reservations stop at the end of the range, so a counter further on was
    // pushed there by appends above records numbered beyond it (which SQL once
    // stored): the numbers go on from `minimum`, the caller's highest record in
    // the range plus one.
    next = next > last + 1 ? minimum : std::max(next, minimum);
    if (next > last) return next;
    StoreCounter(next + std::min(count, last + 1 - next));
    return next;
}

}  // namespace eds
