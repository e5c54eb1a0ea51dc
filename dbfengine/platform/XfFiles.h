#pragma once
// Files as the engine expects them of its operating system: opens with share
// modes, byte-range locks, positioned reads and writes, flushing, temporary
// files, free space and a small file search. Every failure is a DOS-style code
// (the numbers of the engine's error table), 0 for success.
//
// Share modes and locks are open-file-description locks (F_OFD_SETLK): they
// belong to one open of the file, hold against every other open in this process
// and in others, and vanish when that open is closed or its process dies.
// A shared open holds a read lock and an exclusive open a write lock on one
// reserved byte far beyond any data, so the two kinds exclude each other.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xf {

// DOS codes the engine tests for.
constexpr int kDosFileNotFound = 2;
constexpr int kDosPathNotFound = 3;
constexpr int kDosTooManyOpenFiles = 4;
constexpr int kDosAccessDenied = 5;
constexpr int kDosInvalidHandle = 6;
constexpr int kDosNotEnoughMemory = 8;
constexpr int kDosWriteProtected = 19;
constexpr int kDosGeneralFailure = 31;
constexpr int kDosSharingViolation = 32;
constexpr int kDosLockViolation = 33;
constexpr int kDosDiskReadError = 100;
constexpr int kDosDiskWriteError = 101;

// The platform's file modes: access in the low bits, sharing in 0x70.
constexpr std::uint8_t fmOpenRead = 0x00;
constexpr std::uint8_t fmOpenWrite = 0x01;
constexpr std::uint8_t fmOpenReadWrite = 0x02;
constexpr std::uint8_t fmShareExclusive = 0x10;
constexpr std::uint8_t fmShareDenyWrite = 0x20;
constexpr std::uint8_t fmShareDenyNone = 0x40;

// The file mode that opens use unless told otherwise (the platform's global).
std::uint8_t& XfFileMode();

// The offset of the byte that carries the share mode of every open.
constexpr std::int64_t kShareLockOffset = 0x7FFFFFFFFFFFFF00LL;

int XfDosCodeFromErrno(int error);

// Paths longer than 255 characters, or with a part longer than 64, would be
// cut by the engine's short texts and so name another file: they are refused
// with kDosPathNotFound before any system call.
int XfCheckPathLength(std::string_view path);

class TXfFile {
public:
    TXfFile() = default;
    ~TXfFile();
    TXfFile(TXfFile&& other) noexcept;
    TXfFile& operator=(TXfFile&& other) noexcept;
    TXfFile(const TXfFile&) = delete;
    TXfFile& operator=(const TXfFile&) = delete;

    // Opens an existing file in `mode`. A share conflict answers kDosSharingViolation.
    int Open(const std::string& path, std::uint8_t mode);
    // Creates (or empties) a file, opened read/write in `mode`'s sharing.
    int Create(const std::string& path, std::uint8_t mode);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // Reads up to `size` bytes at `offset`; `got` tells how many came (short at the end).
    int ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) const;
    int WriteAt(std::int64_t offset, const void* buffer, std::size_t size);
    // Writes at the end the file has at that very moment, in one step: it extends the
    // file and never lands on bytes another open wrote since a size was taken.
    int AppendAtEnd(const void* buffer, std::size_t size);
    int Size(std::int64_t& size) const;
    int Flush();

    // Byte-range locks held by this open: a write lock that fails at once with
    // kDosLockViolation when another open holds any byte of the range.
    int Lock(std::int64_t offset, std::int64_t length);
    // A read lock: held by any number of opens at once, refused (kDosLockViolation)
    // while another open holds a write lock on the range. Taking either kind on a
    // range this open already holds converts it.
    int LockShared(std::int64_t offset, std::int64_t length);
    int Unlock(std::int64_t offset, std::int64_t length);
    // Takes this open's share lock in another mode's sharing, on the same open: a
    // refusal (kDosSharingViolation) leaves the open and its old sharing as they were.
    int ChangeShareMode(std::uint8_t mode);

private:
    int TakeShareLock(std::uint8_t mode);
    int fd_ = -1;
    std::string path_;
};

// Answers that take the place of the system's, so tests can make the failures it
// hardly ever gives (an unlock refused, a full disk). Unset: the system answers.
struct TXfFileFaults {
    // Asked before every unlock; a code other than 0 is the unlock's answer and
    // the lock stays held.
    std::function<int(const std::string& path, std::int64_t offset, std::int64_t length)> Unlock;
    // Answers the free-space query in place of the file system.
    std::function<int(const std::string& folder, std::int64_t& bytes)> DiskFree;
    // Called after every size query has its answer, so that another program can
    // change the file between the size and what is read next.
    std::function<void(const std::string& path)> SizeTaken;
    // Asked before every read and every flush; a code other than 0 is the answer
    // and nothing is read or flushed.
    std::function<int(const std::string& path, std::int64_t offset, std::size_t size)> Read;
    std::function<int(const std::string& path)> Flush;
};
TXfFileFaults& XfFileFaults();

// Puts the system's answers back on scope exit.
class TXfFileFaultsGuard {
public:
    explicit TXfFileFaultsGuard(TXfFileFaults faults) { XfFileFaults() = std::move(faults); }
    ~TXfFileFaultsGuard() { XfFileFaults() = {}; }
    TXfFileFaultsGuard(const TXfFileFaultsGuard&) = delete;
    TXfFileFaultsGuard& operator=(const TXfFileFaultsGuard&) = delete;
};

// A new empty file in the temporary folder ($TMPDIR or /tmp) whose name starts with
// `prefix`; its path goes to `path`.
int XfMakeTempFile(std::string_view prefix, std::string& path);
// Free bytes for an unprivileged user on the file system of `folder`, 64-bit.
int XfDiskFree(const std::string& folder, std::int64_t& bytes);
int XfEraseFile(const std::string& path);
// Modification time in seconds since 1970, local calendar parts by XfDecodeTime.
int XfFileTime(const std::string& path, std::int64_t& seconds);

struct TXfTimeParts {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
TXfTimeParts XfDecodeTime(std::int64_t seconds);

// Directory search: names in the pattern's folder that match its last part
// ("*" and "?", without regard to case), in name order.
constexpr int faDirectory = 0x10;
struct TXfSearchRec {
    std::string Name;
    std::int64_t Size = 0;
    std::int64_t Time = 0;
    int Attr = 0;
    std::vector<std::string> pending_;  // the folder's further matches
    std::string folder_;
};
int XfFindFirst(const std::string& pattern, int attributes, TXfSearchRec& rec);
int XfFindNext(TXfSearchRec& rec);
void XfFindClose(TXfSearchRec& rec);

}  // namespace xf
