#include "dbfengine/platform/XfFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace xf {

namespace {

constexpr int kDosNoMoreFiles = 18;

int LastCode() { return XfDosCodeFromErrno(errno); }

// A missing file in a missing folder is "Path not found", as on the engine's home system.
int OpenFailure(const std::string& path)
{
    const int error = errno;
    if (error == ENOENT) {
        const std::size_t slash = path.find_last_of('/');
        struct stat st {};
        if (slash != std::string::npos && slash > 0 && ::stat(path.substr(0, slash).c_str(), &st) != 0)
            return kDosPathNotFound;
    }
    return XfDosCodeFromErrno(error);
}

int SetOfdLock(int fd, short type, std::int64_t offset, std::int64_t length)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = length;
    while (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return kDosLockViolation;
        return LastCode();
    }
    return 0;
}

std::string TempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp && *tmp ? tmp : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

TXfFileFaults& XfFileFaults()
{
    static TXfFileFaults faults;
    return faults;
}

std::uint8_t& XfFileMode()
{
    static std::uint8_t mode = fmOpenReadWrite;
    return mode;
}

int XfDosCodeFromErrno(int error)
{
    switch (error) {
    case 0: return 0;
    case ENOENT: return kDosFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return kDosPathNotFound;
    case EMFILE:
    case ENFILE: return kDosTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EEXIST:
    case EISDIR:
    case ETXTBSY: return kDosAccessDenied;
    case EBADF: return kDosInvalidHandle;
    case ENOMEM: return kDosNotEnoughMemory;
    case EROFS: return kDosWriteProtected;
    case EAGAIN: return kDosLockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kDosDiskWriteError;
    case EIO: return kDosDiskReadError;
    default: return kDosGeneralFailure;
    }
}

int XfCheckPathLength(std::string_view path)
{
    if (path.size() > 255) return kDosPathNotFound;
    std::size_t part = 0;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            part = 0;
        } else if (++part > 64) {
            return kDosPathNotFound;
        }
    }
    return 0;
}

TXfFile::~TXfFile() { Close(); }

TXfFile::TXfFile(TXfFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

TXfFile& TXfFile::operator=(TXfFile&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

int TXfFile::TakeShareLock(std::uint8_t mode)
{
    const bool exclusive = (mode & 0x70) == fmShareExclusive;
    const int code = SetOfdLock(fd_, exclusive ? F_WRLCK : F_RDLCK, kShareLockOffset, 1);
    if (code == 0) return 0;
    Close();
    return code == kDosLockViolation ? kDosSharingViolation : code;
}

int TXfFile::Open(const std::string& path, std::uint8_t mode)
{
    Close();
    if (const int code = XfCheckPathLength(path)) return code;
    int flags = O_CLOEXEC;
    switch (mode & 0x03) {
    case fmOpenRead: flags |= O_RDONLY; break;
    case fmOpenWrite: flags |= O_WRONLY; break;
    default: flags |= O_RDWR; break;
    }
    // A lock of either kind needs the open to allow it: read locks need read access,
    // write locks write access.
    if ((mode & 0x03) == fmOpenRead && (mode & 0x70) == fmShareExclusive) flags = (flags & ~O_ACCMODE) | O_RDWR;
    if ((mode & 0x03) == fmOpenWrite) flags = (flags & ~O_ACCMODE) | O_RDWR;
    do {
        fd_ = ::open(path.c_str(), flags);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) return OpenFailure(path);
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        Close();
        return kDosAccessDenied;
    }
    path_ = path;
    return TakeShareLock(mode);
}

int TXfFile::Create(const std::string& path, std::uint8_t mode)
{
    Close();
    if (const int code = XfCheckPathLength(path)) return code;
    // Not O_TRUNC: a file another program holds must not be emptied before its
    // share lock has been tested.
    do {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) return OpenFailure(path);
    path_ = path;
    if (const int code = TakeShareLock(mode)) return code;
    if (::ftruncate(fd_, 0) != 0) {
        const int code = LastCode();
        Close();
        return code;
    }
    return 0;
}

void TXfFile::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int TXfFile::ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) const
{
    got = 0;
    if (fd_ < 0) return kDosInvalidHandle;
    if (offset < 0) return kDosGeneralFailure;
    if (const auto& fault = XfFileFaults().Read) {
        if (const int code = fault(path_, offset, size)) return code;
    }
    auto* out = static_cast<char*>(buffer);
    while (got < size) {
        const ssize_t n = ::pread(fd_, out + got, size - got, offset + static_cast<std::int64_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return LastCode();
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return 0;
}

int TXfFile::WriteAt(std::int64_t offset, const void* buffer, std::size_t size)
{
    if (fd_ < 0) return kDosInvalidHandle;
    if (offset < 0) return kDosGeneralFailure;
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, in + done, size - done, offset + static_cast<std::int64_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return LastCode();
        }
        if (n == 0) return kDosDiskWriteError;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int TXfFile::AppendAtEnd(const void* buffer, std::size_t size)
{
    if (fd_ < 0) return kDosInvalidHandle;
    // Only an append-mode write takes its place and writes in one step; the mode is
    // this open's for the one write.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_APPEND) != 0) return LastCode();
    ssize_t n = 0;
    do {
        n = ::write(fd_, buffer, size);
    } while (n < 0 && errno == EINTR);
    const int code = n < 0 ? LastCode() : static_cast<std::size_t>(n) < size ? kDosDiskWriteError : 0;
    ::fcntl(fd_, F_SETFL, flags);
    return code;
}

int TXfFile::Size(std::int64_t& size) const
{
    size = 0;
    if (fd_ < 0) return kDosInvalidHandle;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return LastCode();
    size = st.st_size;
    if (const auto& fault = XfFileFaults().SizeTaken) fault(path_);
    return 0;
}

int TXfFile::Flush()
{
    if (fd_ < 0) return kDosInvalidHandle;
    if (const auto& fault = XfFileFaults().Flush) {
        if (const int code = fault(path_)) return code;
    }
    return ::fsync(fd_) == 0 ? 0 : LastCode();
}

int TXfFile::Lock(std::int64_t offset, std::int64_t length)
{
    if (fd_ < 0) return kDosInvalidHandle;
    if (offset < 0 || length <= 0) return kDosLockViolation;
    return SetOfdLock(fd_, F_WRLCK, offset, length);
}

int TXfFile::LockShared(std::int64_t offset, std::int64_t length)
{
    if (fd_ < 0) return kDosInvalidHandle;
    if (offset < 0 || length <= 0) return kDosLockViolation;
    return SetOfdLock(fd_, F_RDLCK, offset, length);
}

int TXfFile::ChangeShareMode(std::uint8_t mode)
{
    const bool exclusive = (mode & 0x70) == fmShareExclusive;
    const int code = exclusive ? Lock(kShareLockOffset, 1) : LockShared(kShareLockOffset, 1);
    return code == kDosLockViolation ? kDosSharingViolation : code;
}

int TXfFile::Unlock(std::int64_t offset, std::int64_t length)
{
    if (fd_ < 0) return kDosInvalidHandle;
    if (offset < 0 || length <= 0) return kDosLockViolation;
    if (const auto& fault = XfFileFaults().Unlock) {
        if (const int code = fault(path_, offset, length)) return code;
    }
    return SetOfdLock(fd_, F_UNLCK, offset, length);
}

int XfMakeTempFile(std::string_view prefix, std::string& path)
{
    std::string pattern = TempFolder();
    pattern.append(prefix);
    pattern += "XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return LastCode();
    ::close(fd);
    path = pattern;
    return 0;
}

int XfDiskFree(const std::string& folder, std::int64_t& bytes)
{
    bytes = 0;
    if (const auto& fault = XfFileFaults().DiskFree) return fault(folder, bytes);
    struct statvfs st {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &st) != 0) return LastCode();
    const unsigned __int128 total = static_cast<unsigned __int128>(st.f_bavail) * st.f_frsize;
    bytes = total > static_cast<unsigned __int128>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(total);
    return 0;
}

int XfEraseFile(const std::string& path)
{
    if (const int code = XfCheckPathLength(path)) return code;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return kDosAccessDenied;
    return ::unlink(path.c_str()) == 0 ? 0 : LastCode();
}

int XfFileTime(const std::string& path, std::int64_t& seconds)
{
    seconds = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return LastCode();
    seconds = st.st_mtime;
    return 0;
}

TXfTimeParts XfDecodeTime(std::int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm {};
    TXfTimeParts parts;
    if (!::localtime_r(&t, &tm)) return parts;
    parts.year = tm.tm_year + 1900;
    parts.month = tm.tm_mon + 1;
    parts.day = tm.tm_mday;
    parts.hour = tm.tm_hour;
    parts.minute = tm.tm_min;
    parts.second = tm.tm_sec;
    return parts;
}

namespace {

int FillSearchRec(TXfSearchRec& rec)
{
    while (!rec.pending_.empty()) {
        std::string name = std::move(rec.pending_.back());
        rec.pending_.pop_back();
        struct stat st {};
        if (::stat((rec.folder_ + name).c_str(), &st) != 0) continue;
        rec.Name = std::move(name);
        rec.Size = st.st_size;
        rec.Time = st.st_mtime;
        rec.Attr = S_ISDIR(st.st_mode) ? faDirectory : 0;
        return 0;
    }
    return kDosNoMoreFiles;
}

}  // namespace

int XfFindFirst(const std::string& pattern, int attributes, TXfSearchRec& rec)
{
    rec = TXfSearchRec {};
    const std::size_t slash = pattern.find_last_of("/\\");
    rec.folder_ = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    std::replace(rec.folder_.begin(), rec.folder_.end(), '\\', '/');
    const std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    DIR* dir = ::opendir(rec.folder_.empty() ? "." : rec.folder_.c_str());
    if (!dir) return LastCode();
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (::fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD | FNM_PERIOD) != 0) continue;
        struct stat st {};
        if (::stat((rec.folder_ + name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode) && !(attributes & faDirectory)) continue;
        rec.pending_.push_back(name);
    }
    ::closedir(dir);
    std::sort(rec.pending_.begin(), rec.pending_.end(), std::greater<>());
    return FillSearchRec(rec);
}

int XfFindNext(TXfSearchRec& rec) { return FillSearchRec(rec); }

void XfFindClose(TXfSearchRec& rec) { rec.pending_.clear(); }

}  // namespace xf
