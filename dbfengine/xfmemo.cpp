#include "dbfengine/xfmemo.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include "dbfengine/dbf4Internal.h"
#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/platform/XfClock.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfutils.h"
#include "platform/rtl/SysUtils.h"

namespace xf {

namespace {

using dbf4::Report;

struct TBlob {
    bool InUse = false;
    int Mode = 0;
    bool Translate = false;
    int TextFlag = -1;  // -1 undecided, 1 text, 0 binary
    std::int32_t Block = 0;
    std::string Data;  // read: the memo; write: what was written
    std::int64_t Position = 0;
    bool Written = false;
};

struct TMemoState {
    TXfFile File;
    std::string Name;
    std::uint8_t Kind = kMemoDbase4;
    std::uint32_t BlockSize = 512;
    bool Locked = false;
    TBlob Blob;
};

std::array<std::unique_ptr<TMemoState>, kWorkAreas + 1>& States()
{
    static std::array<std::unique_ptr<TMemoState>, kWorkAreas + 1> states;
    return states;
}

TMemoState* StateOf(int area) { return area >= 1 && area <= kWorkAreas ? States()[area].get() : nullptr; }

// The current area's table and memo state, or nullptr after reporting.
TMemoState* NeedMemo(std::string_view tag, TWorkArea** area = nullptr)
{
    TWorkArea* a = dbf4::Need(tag);
    if (!a) return nullptr;
    TMemoState* m = StateOf(CurrentWorkArea());
    if (!m) {
        Report(1019, a->Table.FileName + " [" + std::string(tag) + "]");
        return nullptr;
    }
    if (area) *area = a;
    return m;
}

std::uint32_t GetLE(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }
std::uint32_t GetBE(const std::uint8_t* p) { return (std::uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
void PutLE(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutBE(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::uint8_t KindOfVersion(std::uint8_t version)
{
    if (version == kMemoDbase3 || version == kMemoDbase4 || version == kMemoLevel7 || version == kMemoFox) return version;
    // A FoxPro table of the later kind points to a memo file of the FoxPro layout.
    if (version == 0x30) return kMemoFox;
    const std::uint8_t configured = XfDbfSettings().MemoVersion;
    return configured == kMemoDbase3 || configured == kMemoFox || configured == kMemoLevel7 ? configured : kMemoDbase4;
}

std::uint32_t DefaultBlockSize() { return UsableMemoBlockSize(XfDbfSettings().MemoBlockSize); }

bool Dbase4(const TMemoState& m) { return m.Kind == kMemoDbase4 || m.Kind == kMemoLevel7; }

int ReadBlockSize(TMemoState& m)
{
    std::array<std::uint8_t, 24> header {};
    std::size_t got = 0;
    if (const int code = m.File.ReadAt(0, header.data(), header.size(), got)) return code;
    if (m.Kind == kMemoDbase3) {
        m.BlockSize = 512;
    } else if (m.Kind == kMemoFox) {
        const std::uint32_t size = got >= 8 ? (header[6] << 8) | header[7] : 0;
        m.BlockSize = size == 0 ? DefaultBlockSize() : size;
    } else {
        const std::uint32_t mark = got >= 20 ? header[18] | (header[19] << 8) : 0;
        const std::uint32_t size = got >= 22 ? header[20] | (header[21] << 8) : 0;
        m.BlockSize = mark == 0x0102 ? (size == 0 ? DefaultBlockSize() : size) : 512;
    }
    m.BlockSize = UsableMemoBlockSize(m.BlockSize);
    return 0;
}

std::int64_t FileSize(const TMemoState& m)
{
    std::int64_t size = 0;
    if (m.File.Size(size) != 0) return -1;
    return size;
}

std::int64_t BlockCount(const TMemoState& m, std::int64_t size)
{
    return std::max<std::int64_t>(1, (size + m.BlockSize - 1) / m.BlockSize);
}

std::int64_t BlocksFor(const TMemoState& m, std::int64_t bytes) { return (bytes + m.BlockSize - 1) / m.BlockSize; }

// Blocks read by memo reads since the last GetMemo began. Every header update of a
// dBASE IV file adds them to the running count at offset 32, which nothing reads.
std::uint32_t& ReadFills()
{
    static std::uint32_t fills = 0;
    return fills;
}

// Free bytes on the memo file's drive, -1 after reporting a failed query.
std::int64_t MemoDriveFree(const TMemoState& m)
{
    std::string folder, base, ext;
    SplitFileName(m.Name, folder, base, ext);
    return DiskFree(folder.empty() ? std::string(".") : folder);
}

// ---- locks ------------------------------------------------------------------------

bool LockMemoFile(TMemoState& m, const TWorkArea& a)
{
    if (!dbf4::Shared(a)) return true;
    for (int attempt = 0; attempt < 11; ++attempt) {
        if (m.File.Lock(10, 1) == 0) {
            m.Locked = true;
            return true;
        }
        if (attempt < 10) XfClocks().SleepMs(std::int64_t {1} << attempt);
    }
    return false;
}

bool UnlockMemoFile(TMemoState& m)
{
    if (!m.Locked) return true;
    m.Locked = false;
    return m.File.Unlock(10, 1) == 0;
}

// Unlocks on every path.
class TMemoLock {
public:
    TMemoLock(TMemoState& m, const TWorkArea& a, std::string_view context) : m_(m)
    {
        ok_ = LockMemoFile(m, a);
        if (!ok_) Report(1017, m.Name + " [" + std::string(context) + "]");
    }
    ~TMemoLock()
    {
        // After a failure already reported; a failed unlock goes with the file.
        if (ok_) UnlockMemoFile(m_);
    }
    TMemoLock(const TMemoLock&) = delete;
    TMemoLock& operator=(const TMemoLock&) = delete;
    bool Ok() const { return ok_; }
    // Unlocks now; false when the system refused.
    bool Release()
    {
        if (!ok_) return true;
        ok_ = false;
        return UnlockMemoFile(m_);
    }

private:
    TMemoState& m_;
    bool ok_;
};

// ---- reading ------------------------------------------------------------------------

// The memo at `block`: its data and, for headed layouts, the FoxPro type.
int ReadMemoAt(const TMemoState& m, std::int32_t block, std::string& out, std::uint32_t* foxType = nullptr)
{
    out.clear();
    if (block <= 0) return 0;
    const std::int64_t size = FileSize(m);
    if (size < 0) return 30;
    const std::int64_t offset = static_cast<std::int64_t>(block) * m.BlockSize;
    if (offset >= size) return 1003;
    std::array<std::uint8_t, 8> head {};
    std::size_t got = 0;
    if (const int code = m.File.ReadAt(offset, head.data(), head.size(), got)) return code;
    const std::int64_t room = size - offset - 8;
    std::int64_t length = -1;
    if (m.Kind == kMemoFox) {
        if (got < 8) return 1003;
        if (foxType) *foxType = GetBE(head.data());
        length = GetBE(head.data() + 4);
    } else if (m.Kind != kMemoDbase3 && got == 8 && head[0] == 0xFF && head[1] == 0xFF && head[2] == 8 && head[3] == 0) {
        const std::uint32_t total = GetLE(head.data() + 4);
        if (total < 8) return 1003;
        length = static_cast<std::int64_t>(total) - 8;
    }
    if (length >= 0) {
        if (length > room) return 1003;
        ReadFills() += static_cast<std::uint32_t>(BlocksFor(m, 8 + length));
        out.resize(static_cast<std::size_t>(length));
        if (length == 0) return 0;
        if (const int code = m.File.ReadAt(offset + 8, out.data(), out.size(), got)) return code;
        return got == out.size() ? 0 : 30;
    }
    // Up to the first end mark, read in blocks.
    std::vector<char> chunk(std::max<std::uint32_t>(m.BlockSize, 512));
    for (std::int64_t at = offset; at < size;) {
        if (const int code = m.File.ReadAt(at, chunk.data(), chunk.size(), got)) return code;
        if (got == 0) break;
        ++ReadFills();
        const auto end = std::find(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got), '\x1A');
        out.append(chunk.begin(), end);
        if (end != chunk.begin() + static_cast<std::ptrdiff_t>(got)) break;
        at += static_cast<std::int64_t>(got);
    }
    return 0;
}

void ApplyReadHook(const TWorkArea& a, std::string& data)
{
    if (a.Table.AfterRead && !data.empty()) a.Table.AfterRead(data.data(), data.size());
}

void ApplyWriteHook(const TWorkArea& a, std::string& data)
{
    if (a.Table.BeforeWrite && !data.empty()) a.Table.BeforeWrite(data.data(), data.size());
}

// ---- writing ------------------------------------------------------------------------

// The bytes of a memo as it sits in its blocks (padded to whole blocks).
std::string MemoImage(std::uint8_t kind, std::uint32_t blockSize, std::string_view data, std::uint32_t foxType = 1)
{
    std::string image;
    if (kind == kMemoDbase3) {
        image.assign(data);
        // Other writers of this layout end a memo with two marks and their readers
        // look for both; ours stop at the first.
        image += "\x1A\x1A";
    } else {
        std::uint8_t head[8];
        if (kind == kMemoFox) {
            PutBE(head, foxType);
            PutBE(head + 4, static_cast<std::uint32_t>(data.size()));
        } else {
            head[0] = head[1] = 0xFF;
            head[2] = 8;
            head[3] = 0;
            PutLE(head + 4, static_cast<std::uint32_t>(data.size() + 8));
        }
        image.assign(reinterpret_cast<const char*>(head), 8);
        image.append(data);
    }
    const std::size_t padded = (image.size() + blockSize - 1) / blockSize * blockSize;
    image.resize(padded, '\0');
    return image;
}

int WriteHeaderWord(TMemoState& m, std::uint32_t value)
{
    std::uint8_t word[4];
    if (m.Kind == kMemoFox) {
        PutBE(word, value);
    } else {
        PutLE(word, value);
    }
    return m.File.WriteAt(0, word, 4);
}

// The offset where a new memo starts: the file end on a block boundary (a new
// dBASE III file's extra byte is overwritten).
std::int64_t AppendOffset(const TMemoState& m)
{
    const std::int64_t size = FileSize(m);
    if (size < 0) return -1;
    if (m.Kind == kMemoDbase3 && size == 513) return 512;
    // The first 512 bytes are the header whatever the block size: a block size that
    // does not divide 512 starts the memos at the block after it.
    return (std::max<std::int64_t>(512, size) + m.BlockSize - 1) / m.BlockSize * m.BlockSize;
}

// The first block wholly past the 512-byte header.
std::int64_t FirstMemoBlock(const TMemoState& m) { return (512 + m.BlockSize - 1) / m.BlockSize; }

// dBASE IV free chain: groups of (next, size) in block order, from the header's first word.
struct TGroup {
    std::int64_t Block, Size, Next;
};

// Reads the chain; a link that goes backwards, leaves the file or loops ends it.
// Files written before memos were kept out of the header may hold a freed group
// that starts inside it (its link lies in the header's last bytes): the chain goes
// on behind it, and only its blocks past the header stay free.
int ReadChain(const TMemoState& m, std::int64_t blocks, std::vector<TGroup>& chain)
{
    chain.clear();
    std::uint8_t word[8];
    std::size_t got = 0;
    if (const int code = m.File.ReadAt(0, word, 4, got)) return code;
    if (got < 4) return 30;
    const std::int64_t first = FirstMemoBlock(m);
    std::int64_t next = GetLE(word);
    std::int64_t previous = 0;
    // A link inside the header lies past its fields (the running count ends at 36).
    while (next > previous && next < blocks && next * m.BlockSize >= 36 && chain.size() < 100000) {
        if (const int code = m.File.ReadAt(next * m.BlockSize, word, 8, got)) return code;
        if (got < 8) break;
        const std::int64_t size = GetLE(word + 4);
        if (size < 1 || next + size > blocks) break;
        if (next >= first) {
            chain.push_back({next, size, GetLE(word)});
        } else if (next + size > first) {
            chain.push_back({first, next + size - first, GetLE(word)});
        }
        previous = next + size - 1;
        next = GetLE(word);
    }
    return 0;
}

// Writes the chain back: the header's word, then each group's link; the last group
// (or an empty chain) points at the file's end.
int WriteChain(TMemoState& m, const std::vector<TGroup>& chain, std::int64_t blocks)
{
    const std::uint32_t end = static_cast<std::uint32_t>(blocks);
    if (const int code = WriteHeaderWord(m, chain.empty() ? end : static_cast<std::uint32_t>(chain.front().Block))) return code;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        std::uint8_t link[8];
        PutLE(link, i + 1 < chain.size() ? static_cast<std::uint32_t>(chain[i + 1].Block) : end);
        PutLE(link + 4, static_cast<std::uint32_t>(chain[i].Size));
        if (const int code = m.File.WriteAt(chain[i].Block * m.BlockSize, link, 8)) return code;
    }
    return 0;
}

void FreeGroup(std::vector<TGroup>& chain, std::int64_t block, std::int64_t size)
{
    if (size <= 0) return;
    const auto at = std::lower_bound(chain.begin(), chain.end(), block, [](const TGroup& g, std::int64_t b) { return g.Block < b; });
    // A group already in the chain (a field pointing at freed blocks) is not freed twice.
    if (at != chain.end() && at->Block < block + size) return;
    if (at != chain.begin() && std::prev(at)->Block + std::prev(at)->Size > block) return;
    chain.insert(at, {block, size, 0});
}

// Size in blocks of the dBASE IV memo at `block`, 0 when it is not one.
std::int64_t GroupBlocks(const TMemoState& m, std::int32_t block, std::int64_t blocks)
{
    if (block <= 0 || block >= blocks || static_cast<std::int64_t>(block) * m.BlockSize < 512) return 0;
    std::uint8_t head[8];
    std::size_t got = 0;
    if (m.File.ReadAt(static_cast<std::int64_t>(block) * m.BlockSize, head, 8, got) != 0 || got < 8) return 0;
    if (!(head[0] == 0xFF && head[1] == 0xFF && head[2] == 8 && head[3] == 0)) return 0;
    const std::int64_t n = BlocksFor(m, GetLE(head + 4));
    return block + n <= blocks ? n : 0;
}

// Writes a memo's bytes (under the memo lock) and returns its block; `oldBlock`
// is the memo it replaces (0: none).
int StoreMemo(TMemoState& m, std::int32_t oldBlock, const std::string& data, std::int32_t& block, std::uint32_t foxType = 1)
{
    block = 0;
    const std::int64_t size = FileSize(m);
    if (size < 0) return 30;
    std::int64_t blocks = BlockCount(m, size);
    const std::string image = data.empty() ? std::string() : MemoImage(m.Kind, m.BlockSize, data, foxType);
    const std::int64_t needed = static_cast<std::int64_t>(image.size() / m.BlockSize);
    std::int64_t at = -1;
    if (Dbase4(m)) {
        std::vector<TGroup> chain;
        if (const int code = ReadChain(m, blocks, chain)) return code;
        const std::int64_t oldBlocks = GroupBlocks(m, oldBlock, blocks);
        if (oldBlocks > 0 && oldBlocks >= needed && needed > 0) {
            at = oldBlock;
            FreeGroup(chain, oldBlock + needed, oldBlocks - needed);
        } else {
            if (oldBlocks > 0) FreeGroup(chain, oldBlock, oldBlocks);
            if (needed > 0) {
                const auto fit = std::find_if(chain.begin(), chain.end(), [&](const TGroup& g) { return g.Size >= needed; });
                if (fit != chain.end()) {
                    at = fit->Block;
                    if (fit->Size == needed) {
                        chain.erase(fit);
                    } else {
                        fit->Block += needed;
                        fit->Size -= needed;
                    }
                }
            }
        }
        if (needed > 0 && at < 0) {
            const std::int64_t offset = AppendOffset(m);
            if (offset < 0) return 30;
            at = offset / m.BlockSize;
            blocks = at + needed;
        }
        if (needed > 0) {
            if (const int code = m.File.WriteAt(at * m.BlockSize, image.data(), image.size())) return code;
        }
        // The chain goes last: a crash before it leaks blocks but never hands out used ones.
        if (const int code = WriteChain(m, chain, blocks)) return code;
    } else if (needed > 0) {
        const std::int64_t offset = AppendOffset(m);
        if (offset < 0) return 30;
        at = offset / m.BlockSize;
        if (const int code = m.File.WriteAt(offset, image.data(), image.size())) return code;
        if (const int code = WriteHeaderWord(m, static_cast<std::uint32_t>(at + needed))) return code;
    }
    if (at > INT32_MAX) return 1004;
    block = needed > 0 ? static_cast<std::int32_t>(at) : 0;
    if (XfDbfSettings().FlushAfterWrite) return m.File.Flush();
    return 0;
}

// Writes a memo at block `want` when those blocks hold nothing: at or past the
// file's end (a dBASE IV file frees the blocks skipped), or inside one free group
// of a dBASE IV file. Elsewhere `block` stays 0 and nothing is written. Under the
// memo lock.
int StoreMemoAt(TMemoState& m, std::int64_t want, const std::string& data, std::uint32_t foxType, std::int32_t& block)
{
    block = 0;
    const std::int64_t size = FileSize(m);
    const std::int64_t offset = AppendOffset(m);
    if (size < 0 || offset < 0) return 30;
    const std::int64_t end = offset / m.BlockSize;
    const std::string image = MemoImage(m.Kind, m.BlockSize, data, foxType);
    const std::int64_t needed = static_cast<std::int64_t>(image.size() / m.BlockSize);
    // Never over the header, never past what a field can name.
    if (want * m.BlockSize < 512 || want + needed > INT32_MAX) return 0;
    std::vector<TGroup> chain;
    if (Dbase4(m)) {
        if (const int code = ReadChain(m, BlockCount(m, size), chain)) return code;
    }
    if (want >= end) {
        if (Dbase4(m)) FreeGroup(chain, end, want - end);
    } else {
        const auto fit = std::find_if(chain.begin(), chain.end(), [&](const TGroup& g) { return g.Block <= want && want + needed <= g.Block + g.Size; });
        if (fit == chain.end()) return 0;
        const TGroup group = *fit;
        chain.erase(fit);
        FreeGroup(chain, group.Block, want - group.Block);
        FreeGroup(chain, want + needed, group.Block + group.Size - want - needed);
    }
    const std::int64_t blocks = std::max(end, want + needed);
    if (const int code = m.File.WriteAt(want * m.BlockSize, image.data(), image.size())) return code;
    if (const int code = Dbase4(m) ? WriteChain(m, chain, blocks) : WriteHeaderWord(m, static_cast<std::uint32_t>(blocks))) return code;
    block = static_cast<std::int32_t>(want);
    if (XfDbfSettings().FlushAfterWrite) return m.File.Flush();
    return 0;
}

// Ends a store under the memo lock: the running count of a dBASE IV header, then
// the unlock. The memo stays stored whatever fails here; the failure is reported.
void UpdateMemoHeader(TMemoState& m, TMemoLock& lock, std::string_view tag)
{
    if (Dbase4(m)) {
        std::uint8_t count[4];
        std::size_t got = 0;
        int code = m.File.ReadAt(32, count, 4, got);
        if (code == 0 && got < 4) code = 30;
        if (code == 0) {
            PutLE(count, GetLE(count) + ReadFills());
            code = m.File.WriteAt(32, count, 4);
        }
        if (code) Report(static_cast<std::uint16_t>(code), m.Name + " [" + std::string(tag) + "]");
    }
    if (!lock.Release()) Report(1018, m.Name + " [" + std::string(tag) + "]");
}

std::int32_t Edit(std::string_view tag, std::int32_t oldBlock, std::string_view bytes, bool addOnly)
{
    TWorkArea* a = nullptr;
    TMemoState* m = NeedMemo(tag, &a);
    if (!m) return 0;
    std::string data(bytes);
    if (addOnly && TrimRightStr(data).empty()) return 0;
    ApplyWriteHook(*a, data);
    TMemoLock lock(*m, *a, tag);
    if (!lock.Ok()) return 0;
    std::int32_t block = 0;
    if (const int code = StoreMemo(*m, addOnly ? 0 : oldBlock, data, block)) {
        Report(static_cast<std::uint16_t>(code), m->Name + " [" + std::string(tag) + "]");
        return 0;
    }
    UpdateMemoHeader(*m, lock, tag);
    return block;
}

// ---- opening ------------------------------------------------------------------------

std::string MemoPathOf(const TWorkArea& a, const std::string& table)
{
    const std::string extension = MemoExtension(a.Table.Prolog[0]);
    std::string folder, base, tableExtension;
    SplitFileName(a.Table.FileName, folder, base, tableExtension);
    std::string path = ForceExtension(table, extension);
    // Other tools name the memo file in the case of the table's extension; either is found.
    std::string lower = ForceExtension(table, rtl::LowerCase(extension));
    if (tableExtension != rtl::UpperCase(tableExtension)) std::swap(path, lower);
    if (!FileExistsShort(path) && FileExistsShort(lower)) return lower;
    return path;
}

std::string JournalName(const std::string& memo) { return memo + ".$pj"; }
std::string NewMemoName(const std::string& memo) { return memo + ".$pm"; }
std::string JournalTempName(const std::string& memo) { return memo + ".$pt"; }

// A rename is durable only once its folder is.
void SyncFolder(const std::string& path)
{
    std::string folder, name, ext;
    SplitFileName(path, folder, name, ext);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::uint64_t Fnv(const std::string& bytes)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (const char c : bytes) h = (h ^ static_cast<std::uint8_t>(c)) * 1099511628211ULL;
    return h;
}

struct TJournalEntry {
    std::int32_t Record;
    std::uint16_t Offset;
    std::string Text;  // 10 characters
};

constexpr std::string_view kJournalMagic = "XFMEMOPACK1\n";

std::string JournalBytes(const std::vector<TJournalEntry>& entries)
{
    std::string bytes(kJournalMagic);
    for (const TJournalEntry& e : entries) {
        char head[6];
        PutLE(reinterpret_cast<std::uint8_t*>(head), static_cast<std::uint32_t>(e.Record));
        head[4] = static_cast<char>(e.Offset & 0xFF);
        head[5] = static_cast<char>(e.Offset >> 8);
        bytes.append(head, 6);
        bytes.append(e.Text);
    }
    const std::uint64_t sum = Fnv(bytes);
    for (int i = 0; i < 8; ++i) bytes += static_cast<char>(sum >> (8 * i));
    return bytes;
}

bool ParseJournal(const std::string& bytes, std::vector<TJournalEntry>& entries)
{
    entries.clear();
    if (bytes.size() < kJournalMagic.size() + 8 || bytes.compare(0, kJournalMagic.size(), kJournalMagic) != 0) return false;
    const std::string body = bytes.substr(0, bytes.size() - 8);
    std::uint64_t sum = 0;
    for (int i = 0; i < 8; ++i) sum |= std::uint64_t(static_cast<std::uint8_t>(bytes[body.size() + static_cast<std::size_t>(i)])) << (8 * i);
    if (sum != Fnv(body) || (body.size() - kJournalMagic.size()) % 16 != 0) return false;
    for (std::size_t at = kJournalMagic.size(); at < body.size(); at += 16) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(body.data() + at);
        entries.push_back({static_cast<std::int32_t>(GetLE(p)), static_cast<std::uint16_t>(p[4] | (p[5] << 8)), body.substr(at + 6, 10)});
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    TXfFile f;
    if (f.Open(path, fmOpenRead | fmShareDenyNone) != 0) return false;
    std::int64_t size = 0;
    if (f.Size(size) != 0 || size > (64LL << 20)) return false;
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t got = 0;
    return f.ReadAt(0, bytes.data(), bytes.size(), got) == 0 && got == bytes.size();
}

int WriteWholeFile(const std::string& path, const std::string& bytes)
{
    TXfFile f;
    if (const int code = f.Create(path, fmOpenReadWrite | fmShareExclusive)) return code;
    if (const int code = f.WriteAt(0, bytes.data(), bytes.size())) return code;
    return f.Flush();
}

int RenameFile(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0) return XfDosCodeFromErrno(errno);
    return 0;
}

// The fields a journal names take their new values; the same entries may be
// applied again after a crash in the middle.
int ApplyJournal(TDbfTable& t, const std::vector<TJournalEntry>& entries, bool withHook)
{
    std::size_t done = 0;
    for (const TJournalEntry& e : entries) {
        if (e.Record < 1 || e.Record > FileRecordCount(t) || e.Offset < 1 || e.Offset + 10u > t.RecordLength) return 1003;
        if (const int code = t.File.WriteAt(t.RecordOffset(e.Record) + e.Offset, e.Text.data(), e.Text.size())) return code;
        if (withHook && ++done == entries.size() / 2 && XfMemoPackStepHook()) XfMemoPackStepHook()(4);
    }
    DropReadAhead(t);
    return t.File.Flush();
}

// Finishes a pack the journal committed, or drops one it never committed.
int RecoverPack(TDbfTable& t, const std::string& memo)
{
    const std::string journal = JournalName(memo), newMemo = NewMemoName(memo);
    std::string bytes;
    std::vector<TJournalEntry> entries;
    if (FileExistsShort(journal) && ReadWholeFile(journal, bytes) && ParseJournal(bytes, entries)) {
        if (FileExistsShort(newMemo)) {
            if (const int code = RenameFile(newMemo, memo)) return code;
        }
        if (const int code = ApplyJournal(t, entries, false)) return code;
        EraseFile(journal);
        return 0;
    }
    for (const std::string& stale : {journal, newMemo, JournalTempName(memo)})
        if (FileExistsShort(stale)) EraseFile(stale);
    return 0;
}

int OpenMemofileFor(const std::string& table)
{
    const int area = CurrentWorkArea();
    TWorkArea* a = WorkArea(area);
    if (!a) return 215;
    // Failures go back to USE, which closes the table before it reports them.
    if (States()[area]) return 1007;
    auto m = std::make_unique<TMemoState>();
    m->Name = MemoPathOf(*a, table);
    m->Kind = KindOfVersion(a->Table.Prolog[0]);
    if (const int code = RecoverPack(a->Table, m->Name)) return code;
    std::uint8_t mode = dbf4::Shared(*a) ? fmOpenReadWrite | fmShareDenyNone : fmOpenReadWrite | fmShareExclusive;
    if ((a->Table.ShareMode & 0x03) == fmOpenRead) mode = static_cast<std::uint8_t>((mode & 0x70) | fmOpenRead);
    int code = m->File.Open(m->Name, mode);
    if (code == kDosAccessDenied && (mode & 0x03) != fmOpenRead) code = m->File.Open(m->Name, (mode & 0x70) | fmOpenRead);
    if (code == 0) code = ReadBlockSize(*m);
    if (code) return code;
    States()[area] = std::move(m);
    return 0;
}

void CloseMemofileOfCurrent()
{
    const int area = CurrentWorkArea();
    if (area < 1 || area > kWorkAreas) return;
    std::unique_ptr<TMemoState> m = std::move(States()[area]);
    if (!m) return;
    UnlockMemoFile(*m);
    m->File.Close();
}

std::int32_t FieldBlock(const char* raw)
{
    std::string_view text(raw, 10);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\0')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    std::int32_t block = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), block);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && block > 0 ? block : 0;
}

std::string BlockText(std::int32_t block)
{
    if (block <= 0) return std::string(10, ' ');
    std::string digits = std::to_string(block);
    return std::string(10 - std::min<std::size_t>(10, digits.size()), ' ') + digits;
}

}  // namespace

std::function<void(int)>& XfMemoPackStepHook()
{
    static std::function<void(int)> hook;
    return hook;
}

void MemoInit()
{
    TXfMemoHooks& hooks = XfMemoHooks();
    if (hooks.OpenMemofile) return;
    hooks.OpenMemofile = OpenMemofileFor;
    hooks.CloseMemofile = CloseMemofileOfCurrent;
    hooks.PackMemofile = PackMemofile;
    hooks.ZapMemofile = ZapMemofile;
    hooks.AssignMemo = AssignMemo;
    hooks.AddMemo = AddMemo;
    hooks.CopyMemoIn = [](int sourceArea, std::int32_t block) { return CopyMemo(sourceArea, block, false); };
    hooks.CopyMemoOut = [](int sourceArea, std::int32_t block) { return CopyMemo(sourceArea, block, true); };
    hooks.MemoContains = [](std::int32_t block, const std::string& text, bool noCase) {
        std::string memo = GetMemo(block);
        if (noCase) return UpperCaseStr(memo).find(UpperCaseStr(text)) != std::string::npos;
        return memo.find(text) != std::string::npos;
    };
    // Read as lines of their own, never through a text the program has open for output.
    hooks.MemoText = [](std::int32_t block) {
        std::string text;
        for (const TXfMemoLine& line : MemoToLines(GetMemo(block))) text += line.Text;
        return text;
    };
}

std::uint8_t GetMemoType()
{
    TWorkArea* a = dbf4::Need("GetMemoType");
    return a ? KindOfVersion(a->Table.Prolog[0]) : 0;
}

std::uint32_t MemoBlockSize()
{
    const TMemoState* m = StateOf(CurrentWorkArea());
    return m ? m->BlockSize : 0;
}

std::string MemoFileName()
{
    const TMemoState* m = StateOf(CurrentWorkArea());
    return m ? m->Name : std::string();
}

std::string GetMemo(std::int32_t block)
{
    TWorkArea* a = nullptr;
    TMemoState* m = NeedMemo("GetMemo", &a);
    if (!m) return {};
    ReadFills() = 0;
    std::string data;
    if (const int code = ReadMemoAt(*m, block, data)) {
        Report(static_cast<std::uint16_t>(code), m->Name + " Record # " + std::to_string(a->Table.CurrentRecord) + " [GetMemo]");
        return {};
    }
    ApplyReadHook(*a, data);
    return data;
}

std::int32_t AddMemo(std::string_view data) { return Edit("AddMemo()", 0, data, true); }

std::int32_t EditMemo(std::int32_t oldBlock, std::string_view data) { return Edit("EditMemo/CloseMemo", oldBlock, data, false); }

std::int32_t CopyMemo(int sourceArea, std::int32_t block, bool placed)
{
    if (block == 0) return 0;
    const TMemoState* source = StateOf(sourceArea);
    const TWorkArea* from = WorkArea(sourceArea);
    if (!source || !from) {
        Report(1019, "[AppendFrom/CopyTo]");
        return 0;
    }
    const std::int64_t at = block < 0 ? -static_cast<std::int64_t>(block) : block;
    std::string data;
    std::uint32_t foxType = 1;
    if (const int code = ReadMemoAt(*source, static_cast<std::int32_t>(std::min<std::int64_t>(at, INT32_MAX)), data, &foxType)) {
        Report(static_cast<std::uint16_t>(code), source->Name + " [AppendFrom/CopyTo]");
        return 0;
    }
    ApplyReadHook(*from, data);
    if (data.empty()) return 0;
    TWorkArea* a = nullptr;
    TMemoState* m = NeedMemo("AppendFrom/CopyTo", &a);
    if (!m) return 0;
    ApplyWriteHook(*a, data);
    // A FoxPro memo keeps its kind (text or picture) only in a FoxPro file.
    if (source->Kind != kMemoFox) foxType = 1;
    TMemoLock lock(*m, *a, "CopyMemo()");
    if (!lock.Ok()) return 0;
    std::int32_t out = 0;
    int code = placed ? StoreMemoAt(*m, at, data, foxType, out) : 0;
    if (code == 0 && out == 0) code = StoreMemo(*m, 0, data, out, foxType);
    if (code) {
        Report(static_cast<std::uint16_t>(code), m->Name + " [AppendFrom/CopyTo]");
        return 0;
    }
    UpdateMemoHeader(*m, lock, "AppendFrom/CopyTo");
    return out;
}

void ZapMemofile()
{
    TWorkArea* a = nullptr;
    TMemoState* m = NeedMemo("ZapMemofile", &a);
    if (!m) return;
    const std::string name = m->Name;
    const std::uint32_t blockSize = m->BlockSize;
    const std::uint8_t kind = m->Kind;
    const std::string table = StripExtension(a->Table.FileName);
    CloseMemofileOfCurrent();
    if (CreateDbtFile(name, kind, static_cast<std::uint16_t>(blockSize), "ZapMemofile") != 0) return;
    OpenMemofileFor(table);
}

void PackMemofile()
{
    TWorkArea* a = nullptr;
    TMemoState* m = NeedMemo("PackMemofile", &a);
    if (!m) return;
    TDbfTable& t = a->Table;
    const std::string context = m->Name + " [PackMemofile]";
    if (!a->Exclusive) {
        Report(1017, context + " needs the table in exclusive use");
        return;
    }
    const std::int64_t size = FileSize(*m);
    const std::int64_t free = MemoDriveFree(*m);
    if (size < 0 || (free >= 0 && free / 1024 < size / 1024)) {
        Report(1012, context);
        return;
    }
    const std::string newName = NewMemoName(m->Name);
    TMemoState fresh;
    fresh.Name = newName;
    fresh.Kind = m->Kind;
    fresh.BlockSize = m->BlockSize;
    const auto fail = [&](int code, const std::string& where) {
        fresh.File.Close();
        EraseFile(newName);
        Report(static_cast<std::uint16_t>(code), where);
    };
    if (CreateDbtFile(newName, m->Kind, static_cast<std::uint16_t>(m->BlockSize), "PackMemofile") != 0) {
        EraseFile(newName);
        return;
    }
    if (const int code = fresh.File.Open(newName, fmOpenReadWrite | fmShareExclusive)) return fail(code, context);
    std::vector<TJournalEntry> entries;
    std::vector<char> raw(t.RecordLength);
    const std::int32_t count = FileRecordCount(t);
    for (std::int32_t n = 1; n <= count; ++n) {
        std::size_t got = 0;
        if (const int code = t.File.ReadAt(t.RecordOffset(n), raw.data(), raw.size(), got); code || got < raw.size())
            return fail(code ? code : 30, t.FileName + " Record # " + std::to_string(n) + " [PackMemofile]");
        for (const TDbfField& f : t.Fields) {
            if (f.Type != 'M' || f.Length < 10) continue;
            const std::int32_t block = FieldBlock(raw.data() + f.Offset);
            std::int32_t moved = 0;
            if (block > 0) {
                std::string data;
                std::uint32_t foxType = 1;
                if (const int code = ReadMemoAt(*m, block, data, &foxType))
                    return fail(code, " Memo block # " + std::to_string(block) + " Record # " + std::to_string(n) + " [PackMemo]");
                if (const int code = StoreMemo(fresh, 0, data, moved, foxType)) return fail(code, newName + " [PackMemo]");
            }
            if (moved != block) entries.push_back({n, f.Offset, BlockText(moved)});
        }
    }
    if (const int code = fresh.File.Flush()) return fail(code, newName + " [PackMemo]");
    fresh.File.Close();
    if (XfMemoPackStepHook()) XfMemoPackStepHook()(1);
    // The journal appears whole or not at all: written aside, then renamed.
    const std::string journal = JournalName(m->Name), journalTemp = JournalTempName(m->Name);
    if (const int code = WriteWholeFile(journalTemp, JournalBytes(entries))) {
        EraseFile(journalTemp);
        return fail(code, journalTemp + " [PackMemofile]");
    }
    if (const int code = RenameFile(journalTemp, journal)) {
        EraseFile(journalTemp);
        return fail(code, journal + " [PackMemofile]");
    }
    SyncFolder(journal);
    if (XfMemoPackStepHook()) XfMemoPackStepHook()(2);
    // From here on the pack is committed: a failure is finished by the next open.
    m->File.Close();
    if (const int code = RenameFile(newName, m->Name)) {
        Report(static_cast<std::uint16_t>(code), context);
        return;
    }
    if (XfMemoPackStepHook()) XfMemoPackStepHook()(3);
    if (const int code = ApplyJournal(t, entries, true)) {
        Report(static_cast<std::uint16_t>(code), t.FileName + " [PackMemofile]");
        return;
    }
    if (XfMemoPackStepHook()) XfMemoPackStepHook()(5);
    EraseFile(journal);
    if (const int code = m->File.Open(m->Name, fmOpenReadWrite | fmShareExclusive)) {
        Report(static_cast<std::uint16_t>(code), "Memo file not found: " + m->Name + " [PackMemofile]");
        return;
    }
    ReadBlockSize(*m);
    if (t.CurrentRecord >= 1 && t.CurrentRecord <= t.RecordCount) dbf4::ReadRecord(*a, t.CurrentRecord);
}

// ---- memo text ------------------------------------------------------------------------

std::vector<TXfMemoLine> MemoToLines(std::string_view memo, std::size_t width)
{
    if (width == 0) width = 254;
    std::vector<TXfMemoLine> lines;
    std::string line;
    const auto close = [&](std::uint8_t mark) {
        lines.push_back({std::move(line), mark});
        line.clear();
    };
    for (std::size_t i = 0; i < memo.size(); ++i) {
        const char c = memo[i];
        const bool lfNext = i + 1 < memo.size() && memo[i + 1] == '\n';
        if (c == '\r') {
            if (lfNext) ++i;
            close(13);
            continue;
        }
        if (c == '\x8D' && lfNext) {
            ++i;
            close(141);
            continue;
        }
        if (c == '\n') {
            close(13);
            continue;
        }
        line += c;
        if (line.size() > width) {
            const std::size_t blank = line.rfind(' ', width - 1);
            const std::size_t cut = blank == std::string::npos ? width : blank + 1;
            std::string rest = line.substr(cut);
            line.resize(cut);
            close(0);
            line = std::move(rest);
        }
    }
    if (!line.empty()) close(0);
    return lines;
}

std::string LinesToMemo(const std::vector<TXfMemoLine>& lines)
{
    std::string memo;
    for (const TXfMemoLine& l : lines) {
        memo += l.Text;
        if (l.EndMark == 13) memo += "\r\n";
        if (l.EndMark == 141) memo += "\x8D\n";
    }
    return memo;
}

namespace {

const TDbfField* MemoField(std::string_view tag, int field)
{
    TWorkArea* a = dbf4::Need(tag);
    if (!a) return nullptr;
    if (field < 1 || field > static_cast<int>(a->Table.Fields.size()) || a->Table.Fields[static_cast<std::size_t>(field - 1)].Type != 'M') {
        Report(1019, a->Table.FileName + " [" + std::string(tag) + "]");
        return nullptr;
    }
    return &a->Table.Fields[static_cast<std::size_t>(field - 1)];
}

}  // namespace

std::vector<TXfMemoLine> ReadMemoLines(int field)
{
    if (!MemoField("AssignMemo", field)) return {};
    return MemoToLines(GetMemo(static_cast<std::int32_t>(CurrentRecord().Integer(field))));
}

std::int32_t WriteMemoLines(int field, const std::vector<TXfMemoLine>& lines)
{
    if (!MemoField("EditMemo/CloseMemo", field)) return 0;
    TXfTypedRecord record = CurrentRecord();
    const std::int32_t block = EditMemo(static_cast<std::int32_t>(record.Integer(field)), LinesToMemo(lines));
    if (XfErrors().LastError == 0) record.SetInteger(field, block);
    return block;
}

// ---- a memo field as a text file ---------------------------------------------------------

TXfMemoTextSettings& XfMemoTextSettings()
{
    static TXfMemoTextSettings settings;
    return settings;
}

namespace {

// What one written line holds at most; a longer one goes on in the next.
constexpr std::size_t kWrittenLineWidth = 254;

struct TMemoText {
    int Field = 0;
    int Area = 0;
    std::int32_t Block = 0;
    bool Allocated = false;  // between open and close
    bool Full = false;       // output: a line passed the limit; nothing is stored
    std::vector<TXfMemoLine> Lines;
    std::size_t Next = 0;   // input: the line delivered next
    std::string Line;       // output: the line being written
    bool AfterCR = false;   // output: an LF now completes the CR before it
    bool Pending8D = false; // output: a 0x8D that the next character makes a soft return or a letter
};

TMemoText& TextOf(rtl::TTextRec& file) { return *static_cast<TMemoText*>(file.UserData.get()); }

// The file's own area for one device step, the caller's again afterwards.
class TAreaScope {
public:
    explicit TAreaScope(int area) : previous_(CurrentWorkArea())
    {
        if (area != previous_) Select(area);
    }
    ~TAreaScope()
    {
        if (CurrentWorkArea() != previous_) Select(previous_);
    }
    TAreaScope(const TAreaScope&) = delete;
    TAreaScope& operator=(const TAreaScope&) = delete;

private:
    int previous_;
};

void Release(TMemoText& t)
{
    t.Lines = {};
    t.Line.clear();
    t.Allocated = t.Full = false;
}

int MemoTextOpen(rtl::TTextRec& file)
{
    TMemoText& t = TextOf(file);
    Release(t);
    t.Next = 0;
    t.AfterCR = t.Pending8D = false;
    // The lines a written memo may hold must fit in what the engine ever hands out.
    const std::int64_t maxLines = XfMemoTextSettings().MaxLines;
    if (maxLines < 1 || maxLines * static_cast<std::int64_t>(kWrittenLineWidth + 2) > MaxAvail) return 8;
    t.Allocated = true;
    if (file.Mode == rtl::fmOutput) {
        t.Block = 0;
        return 0;
    }
    TAreaScope scope(t.Area);
    XfErrors().LastError = 0;
    if (!MemoField("AssignMemo", t.Field)) return 100;
    t.Block = static_cast<std::int32_t>(CurrentRecord().Integer(t.Field));
    const std::string memo = GetMemo(t.Block);
    if (XfErrors().LastError) return 100;
    const int width = XfMemoTextSettings().MemoWidth;
    try {
        t.Lines = MemoToLines(memo, width > 0 ? static_cast<std::size_t>(width) + 1 : 254);
    } catch (const std::bad_alloc&) {
        Release(t);
        return 8;
    }
    if (file.Mode == rtl::fmInOut) {
        file.Mode = rtl::fmOutput;
        if (t.Lines.size() == 1 && t.Lines[0].Text.empty()) {
            t.Lines.clear();
        } else if (!t.Lines.empty() && t.Lines.back().EndMark == 0) {
            // What is written next starts a line of its own.
            t.Lines.back().EndMark = 13;
        }
    }
    return 0;
}

// Closes the line being written; false when the lines are full.
bool EndLine(TMemoText& t, std::uint8_t mark)
{
    if (t.Lines.size() >= static_cast<std::size_t>(XfMemoTextSettings().MaxLines)) {
        t.Full = true;
        return false;
    }
    t.Lines.push_back({std::move(t.Line), mark});
    t.Line.clear();
    return true;
}

// A character that passes the width starts the next line; false when the lines are full.
bool AddChar(TMemoText& t, char c)
{
    if (t.Line.size() == kWrittenLineWidth && !EndLine(t, 0)) return false;
    t.Line += c;
    return true;
}

int MemoTextInOut(rtl::TTextRec& file)
{
    TMemoText& t = TextOf(file);
    if (file.Mode != rtl::fmInput && file.Mode != rtl::fmOutput) return 102;
    if (!t.Allocated) return 104;
    if (file.Mode == rtl::fmInput) {
        file.Buffer.clear();
        file.BufPos = 0;
        // An empty soft-wrapped piece delivers nothing, which would read as the end.
        while (file.Buffer.empty() && t.Next < t.Lines.size()) {
            const TXfMemoLine& line = t.Lines[t.Next++];
            file.Buffer = line.Text;
            if (line.EndMark == 13) file.Buffer += "\r\n";
        }
        return 0;
    }
    const std::string written = std::move(file.Buffer);
    file.Buffer.clear();
    if (t.Full) return 101;
    for (const char c : written) {
        const bool afterCR = t.AfterCR;
        t.AfterCR = false;
        if (t.Pending8D) {
            t.Pending8D = false;
            if (c == '\n') {
                if (!EndLine(t, 141)) return 101;
                continue;
            }
            if (!AddChar(t, '\x8D')) return 101;
        }
        bool ok = true;
        if (c == '\r') {
            ok = EndLine(t, 13);
            t.AfterCR = true;
        } else if (c == '\n') {
            // A lone LF ends a line as well: the reader takes it for one.
            if (!afterCR) ok = EndLine(t, 13);
        } else if (c == '\x8D') {
            t.Pending8D = true;
        } else {
            ok = AddChar(t, c);
        }
        if (!ok) return 101;
    }
    return 0;
}

int MemoTextClose(rtl::TTextRec& file)
{
    TMemoText& t = TextOf(file);
    if (file.Mode != rtl::fmOutput) {
        Release(t);
        return 0;
    }
    if (!t.Allocated) return 104;
    if (t.Pending8D && !t.Full) AddChar(t, '\x8D');
    t.Pending8D = false;
    if (!t.Full && !t.Line.empty()) EndLine(t, 0);
    const bool full = t.Full;
    const std::string memo = full ? std::string() : LinesToMemo(t.Lines);
    Release(t);
    if (full) return 101;
    TAreaScope scope(t.Area);
    XfErrors().LastError = 0;
    if (!MemoField("EditMemo/CloseMemo", t.Field)) return 101;
    const std::int32_t block = EditMemo(t.Block, memo);
    if (XfErrors().LastError) return 101;
    t.Block = block;
    CurrentRecord().SetInteger(t.Field, block);
    if (XfMemoTextSettings().FlushOnClose) {
        if (TMemoState* m = StateOf(t.Area)) m->File.Flush();
    }
    return 0;
}

}  // namespace

void AssignMemo(rtl::TTextRec& file, int field)
{
    file = rtl::TTextRec {};
    file.Handle = 65535;
    auto text = std::make_shared<TMemoText>();
    text->Field = field;
    text->Area = CurrentWorkArea();
    file.UserData = text;
    file.OpenFunc = MemoTextOpen;
    file.InOutFunc = MemoTextInOut;
    file.FlushFunc = [](rtl::TTextRec& f) { return f.Mode == rtl::fmOutput ? MemoTextInOut(f) : 0; };
    file.CloseFunc = MemoTextClose;
}

std::int32_t MemoTextBlock(const rtl::TTextRec& file)
{
    const auto* text = static_cast<const TMemoText*>(file.UserData.get());
    return text ? text->Block : 0;
}

// ---- blob streams -----------------------------------------------------------------------

namespace {

bool IsTextByte(std::uint8_t c) { return c >= 32 || c == 9 || c == 10 || c == 13 || c == 15 || c == 20 || c == 21; }

void Decide(TBlob& b, const char* data, std::size_t size)
{
    if (!b.Translate || b.TextFlag != -1 || size == 0) return;
    b.TextFlag = std::all_of(data, data + size, [](char c) { return IsTextByte(static_cast<std::uint8_t>(c)); }) ? 1 : 0;
}

TBlob* NeedBlob(std::string_view tag, int mode)
{
    TMemoState* m = NeedMemo(tag);
    if (!m) return nullptr;
    if (!m->Blob.InUse || (mode != 0 && m->Blob.Mode != mode)) {
        Report(1019, m->Name + " [" + std::string(tag) + "]");
        return nullptr;
    }
    return &m->Blob;
}

}  // namespace

std::int32_t CreateBlobDescriptor(bool translate, std::int32_t block, int mode, std::int64_t size)
{
    TWorkArea* a = nullptr;
    TMemoState* m = NeedMemo("CreateBlobDescriptor", &a);
    if (!m) return 0;
    if (mode == kBlobWrite && size > 0) {
        const std::int64_t free = MemoDriveFree(*m);
        if (free < 0) return 0;
        if (free / 1024 < (size + 1023) / 1024) {
            Report(1004, m->Name + " Record # " + std::to_string(a->Table.CurrentRecord) + " [CreateBlobDescriptor]");
            return 0;
        }
    }
    TBlob b;
    b.InUse = true;
    b.Mode = mode;
    b.Translate = translate;
    b.Block = block;
    if (mode == kBlobRead) {
        if (const int code = ReadMemoAt(*m, block, b.Data)) {
            Report(static_cast<std::uint16_t>(code), m->Name + " Record # " + std::to_string(a->Table.CurrentRecord) + " [CreateBlobDescriptor]");
            return 0;
        }
        ApplyReadHook(*a, b.Data);
        Decide(b, b.Data.data(), std::min<std::size_t>(b.Data.size(), 32767));
        if (b.TextFlag == 1) XfOemToAnsiBuff(b.Data.data(), b.Data.size());
    }
    m->Blob = std::move(b);
    if (block <= 0) return 0;
    return m->Kind == kMemoDbase3 ? -block : block;
}

std::int64_t ReadBlobStream(void* buffer, std::int64_t count)
{
    TBlob* b = NeedBlob("ReadBlobStream", kBlobRead);
    if (!b || count <= 0) return 0;
    const std::int64_t size = static_cast<std::int64_t>(b->Data.size());
    const std::int64_t n = std::clamp<std::int64_t>(size - b->Position, 0, count);
    std::memcpy(buffer, b->Data.data() + b->Position, static_cast<std::size_t>(n));
    b->Position += n;
    return n;
}

std::int64_t WriteBlobStream(const void* buffer, std::int64_t count)
{
    TBlob* b = NeedBlob("WriteBlobStream", kBlobWrite);
    if (!b || count <= 0) return 0;
    const auto* bytes = static_cast<const char*>(buffer);
    Decide(*b, bytes, static_cast<std::size_t>(std::min<std::int64_t>(count, 32767)));
    const auto at = static_cast<std::size_t>(b->Position);
    if (b->Data.size() < at + static_cast<std::size_t>(count)) b->Data.resize(at + static_cast<std::size_t>(count), '\0');
    std::memcpy(b->Data.data() + at, bytes, static_cast<std::size_t>(count));
    b->Position += count;
    b->Written = true;
    return count;
}

std::int64_t SeekBlobStream(std::int64_t offset, int origin)
{
    TBlob* b = NeedBlob("SeekBlobStream", 0);
    if (!b) return 0;
    const std::int64_t base = origin == 0 ? 0 : origin == 1 ? b->Position : static_cast<std::int64_t>(b->Data.size());
    b->Position = std::max<std::int64_t>(0, base + offset);
    return b->Position;
}

std::int64_t BlobStreamSize()
{
    TBlob* b = NeedBlob("BlobStreamSize", 0);
    return b ? static_cast<std::int64_t>(b->Data.size()) : 0;
}

std::int32_t DestroyBlobDescriptor()
{
    TWorkArea* a = nullptr;
    TMemoState* m = NeedMemo("DestroyBlobDescriptor", &a);
    if (!m || !m->Blob.InUse) return 0;
    TBlob b = std::move(m->Blob);
    m->Blob = TBlob {};
    if (b.Mode != kBlobWrite) return b.Block;
    if (!b.Written) return 0;
    if (b.TextFlag == 1) XfAnsiToOemBuff(b.Data.data(), b.Data.size());
    return Edit("DestroyBlobDescriptor", b.Block, b.Data, false);
}

}  // namespace xf
