// The bulk build of one tag: every record's key collected in file order, sorted in
// runs of the working size (spilled to a temporary run file when there are more),
// merged, and written bottom-up as full nodes at the end of the index file.

#include <algorithm>
#include <filesystem>

#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndx.h"
#include "dbfengine/xfndxInternal.h"

namespace xf {

using namespace ndx;

namespace {

constexpr std::size_t kReadBlock = 256 * 1024;
constexpr int kWriteNodes = 63;
constexpr std::size_t kRunBuffer = 32756;
constexpr std::int64_t kMinPointers = 256;

std::string FolderOf(const std::string& path)
{
    const std::filesystem::path p(path);
    return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

std::string TempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

std::int64_t AvailableKb(const std::string& folder)
{
    std::int64_t bytes = 0;
    if (XfDiskFree(folder, bytes) != 0) return 0;
    return std::min<std::int64_t>(bytes / 1024, 2147483647);
}

// "" when there is room, else the refusal's text.
std::string SpaceShortage(std::int64_t recordCount, int levels, int keysPerNode, int entrySize, bool runs,
                          const std::string& indexFolder)
{
    std::int64_t tree = 0;
    std::int64_t n = recordCount;
    for (int level = 0; level < levels; ++level) {
        n /= std::max(keysPerNode, 1);
        tree += (n + 1) * kIndexNodeSize;
    }
    const std::int64_t runBytes = recordCount * entrySize;
    const auto refusal = [](std::int64_t available, std::int64_t needed) {
        return "Available disk space: " + std::to_string(available) + " KBytes;" + "needed: " + std::to_string(needed) +
               " KBytes [MakeIndex]";
    };
    const std::int64_t neededHere = (runBytes + tree) / 1024;
    const std::int64_t availableHere = AvailableKb(indexFolder);
    if (neededHere > availableHere) return refusal(availableHere, neededHere);
    if (runs) {
        const std::int64_t availableTemp = AvailableKb(TempFolder());
        if (runBytes / 1024 > availableTemp) return refusal(availableTemp, runBytes / 1024);
    }
    return {};
}

// Calls the progress procedure exactly ProgressCount times over a build.
class TProgress {
public:
    explicit TProgress(std::int64_t recordCount)
    {
        const TXfIndexSettings& s = XfIndexSettings();
        if (s.Progress && s.ProgressCount > 0) {
            total_ = s.ProgressCount;
            step_ = std::max<std::int64_t>(2, recordCount / total_ * 2);
        }
    }
    void At(std::int64_t n)
    {
        if (total_ && n % step_ == 0) Call();
    }
    void Finish()
    {
        while (calls_ < total_) Call();
    }

private:
    void Call()
    {
        if (calls_ >= total_) return;
        ++calls_;
        XfIndexSettings().Progress();
    }
    int total_ = 0, calls_ = 0;
    std::int64_t step_ = 1;
};

// Writes the tree bottom-up: one node per level in memory, each written when full.
class TTreeWriter {
public:
    TTreeWriter(TNdxOrder& o) : o_(o), index_(*o.Index)
    {
        nextNode_ = (index_.FileSize + kIndexNodeSize - 1) / kIndexNodeSize;
        firstBuffered_ = nextNode_;
        levels_.resize(1);
        levels_[0].fill(0);
        previous_.resize(static_cast<std::size_t>(o.KeyLength));
    }

    void Add(const std::uint8_t* key, std::uint32_t record)
    {
        if (o_.Unique && havePrevious_ && o_.Compare(previous_.data(), key) == 0) return;
        std::memcpy(previous_.data(), key, previous_.size());
        havePrevious_ = true;
        if (Count(levels_[0]) == o_.MaxKeys) CloseLeaf();
        TNode& leaf = levels_[0];
        const int c = Count(leaf);
        std::uint8_t* entry = Entry(leaf, c);
        Put32(entry, record);
        std::memcpy(entry + 4, key, static_cast<std::size_t>(o_.KeyLength));
        Put32(leaf.data(), static_cast<std::uint32_t>(c + 1));
    }

    std::int32_t Finish()
    {
        std::int32_t block = WriteNode(levels_[0]);
        for (std::size_t level = 1; level < levels_.size(); ++level) {
            TNode& node = levels_[level];
            const int c = Count(node);
            if (c == 0) continue;
            Put32(Entry(node, c), static_cast<std::uint32_t>(block));
            block = WriteNode(node);
        }
        Flush();
        return block;
    }

private:
    static int Count(const TNode& node) { return static_cast<int>(Get32(node.data())); }
    std::uint8_t* Entry(TNode& node, int i) const { return node.data() + kEntriesStart + static_cast<std::size_t>(i) * o_.EntryLength; }

    void CloseLeaf()
    {
        TNode& leaf = levels_[0];
        std::vector<std::uint8_t> separator(Entry(leaf, Count(leaf) - 1) + 4, Entry(leaf, Count(leaf) - 1) + 4 + o_.KeyLength);
        std::int32_t block = WriteNode(leaf);
        for (std::size_t level = 1;; ++level) {
            if (level >= static_cast<std::size_t>(kMaxDepth)) Fail(254, "Index tree too deep " + o_.Text() + " [MakeIndex]");
            if (level == levels_.size()) {
                levels_.emplace_back();
                levels_.back().fill(0);
            }
            TNode& node = levels_[level];
            const int c = Count(node);
            Put32(Entry(node, c), static_cast<std::uint32_t>(block));
            if (c == o_.MaxKeys) {
                block = WriteNode(node);
                continue;
            }
            std::memcpy(Entry(node, c) + 4, separator.data(), separator.size());
            Put32(node.data(), static_cast<std::uint32_t>(c + 1));
            return;
        }
    }

    // Queues the node, clears it and answers its block.
    std::int32_t WriteNode(TNode& node)
    {
        const std::int64_t number = nextNode_++;
        if (number * 2 > INT32_MAX - 2) Fail(254, "Index file too large " + index_.FileName + " [MakeIndex]");
        buffer_.insert(buffer_.end(), node.begin(), node.end());
        node.fill(0);
        if (buffer_.size() >= static_cast<std::size_t>(kWriteNodes) * kIndexNodeSize) Flush();
        return static_cast<std::int32_t>(number * 2);
    }

    void Flush()
    {
        if (buffer_.empty()) return;
        const std::int64_t offset = firstBuffered_ * kIndexNodeSize;
        if (const int code = index_.File.WriteAt(offset, buffer_.data(), buffer_.size()))
            Fail(static_cast<std::uint16_t>(code), "Error writing index file: " + index_.FileName + " [MakeIndex]");
        index_.FileSize = std::max<std::int64_t>(index_.FileSize, offset + static_cast<std::int64_t>(buffer_.size()));
        firstBuffered_ = nextNode_;
        buffer_.clear();
    }

    TNdxOrder& o_;
    TNdxArea& index_;
    std::vector<TNode> levels_;
    std::vector<std::uint8_t> buffer_;
    std::int64_t nextNode_ = 0, firstBuffered_ = 0;
    std::vector<std::uint8_t> previous_;
    bool havePrevious_ = false;
};

// The run file: sorted runs written one after another, deleted when the build ends.
class TRunFile {
public:
    ~TRunFile()
    {
        file_.Close();
        if (!path_.empty()) XfEraseFile(path_);
    }
    void Write(const std::uint8_t* data, std::size_t size)
    {
        if (!file_.IsOpen()) {
            int code = XfMakeTempFile("XFP", path_);
            if (code == 0) code = file_.Open(path_, fmOpenReadWrite | fmShareExclusive);
            if (code) Fail(static_cast<std::uint16_t>(code), "Cannot create the run file " + path_ + " [MakeIndex]");
        }
        if (const int code = file_.WriteAt(size_, data, size))
            Fail(static_cast<std::uint16_t>(code), "Error writing the run file " + path_ + " [MakeIndex]");
        size_ += static_cast<std::int64_t>(size);
    }
    void Read(std::int64_t offset, std::uint8_t* data, std::size_t size) const
    {
        std::size_t got = 0;
        int code = file_.ReadAt(offset, data, size, got);
        if (code == 0 && got < size) code = kDosDiskReadError;
        if (code) Fail(static_cast<std::uint16_t>(code), "Error reading the run file " + path_ + " [MakeIndex]");
    }

private:
    TXfFile file_;
    std::string path_;
    std::int64_t size_ = 0;
};

// Sort entries (key, then the record number) in memory, sorted through indices.
class TSortBuffer {
public:
    TSortBuffer(const TNdxOrder& o, std::size_t capacity)
        : o_(o), keyLength_(static_cast<std::size_t>(o.KeyLength)), entrySize_(keyLength_ + 4), capacity_(capacity)
    {
    }
    bool Full() const { return count_ == capacity_; }
    std::size_t Count() const { return count_; }
    std::size_t EntrySize() const { return entrySize_; }
    std::uint8_t* Next()
    {
        if (entries_.size() < (count_ + 1) * entrySize_) entries_.resize(std::min(capacity_, std::max<std::size_t>(count_ * 2, 1024)) * entrySize_);
        return &entries_[count_++ * entrySize_];
    }
    void Sort()
    {
        order_.resize(count_);
        for (std::size_t i = 0; i < count_; ++i) order_[i] = static_cast<std::uint32_t>(i);
        std::sort(order_.begin(), order_.end(), [this](std::uint32_t x, std::uint32_t y) { return Less(At(x), At(y)); });
    }
    const std::uint8_t* Sorted(std::size_t i) const { return At(order_[i]); }
    void Clear() { count_ = 0; }
    void Release()
    {
        std::vector<std::uint8_t>().swap(entries_);
        std::vector<std::uint32_t>().swap(order_);
        count_ = 0;
    }
    bool Less(const std::uint8_t* x, const std::uint8_t* y) const
    {
        const int c = o_.Compare(x, y);
        if (c != 0) return c < 0;
        return Get32(x + keyLength_) < Get32(y + keyLength_);
    }

private:
    const std::uint8_t* At(std::uint32_t i) const { return &entries_[i * entrySize_]; }
    const TNdxOrder& o_;
    std::size_t keyLength_, entrySize_, capacity_;
    std::size_t count_ = 0;
    std::vector<std::uint8_t> entries_;
    std::vector<std::uint32_t> order_;
};

// One run during the merge: its place in the run file and a buffer of its entries.
struct TRunCursor {
    std::int64_t Next = 0, End = 0;
    std::vector<std::uint8_t> Buffer;
    std::size_t Filled = 0, At = 0;
};

void Refill(const TRunFile& runs, TRunCursor& c, std::size_t entrySize)
{
    const std::int64_t left = c.End - c.Next;
    const std::size_t bytes = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(c.Buffer.size())));
    runs.Read(c.Next, c.Buffer.data(), bytes);
    c.Next += static_cast<std::int64_t>(bytes);
    c.Filled = bytes / entrySize * entrySize;
    c.At = 0;
}

}  // namespace

void SetBuildProgress(std::function<void()> procedure, int count)
{
    XfIndexSettings().Progress = std::move(procedure);
    XfIndexSettings().ProgressCount = count;
}

bool CheckDiskSpace(std::int64_t recordCount, int levels, int keysPerNode, int entrySize)
{
    const TNdxArea* index = CurrentIndex();
    const std::string folder = index ? FolderOf(index->FileName) : std::string(".");
    return SpaceShortage(recordCount, levels, keysPerNode, entrySize, false, folder).empty();
}

std::int32_t ndx::BuildIndexTag(TNdxOrder& o, std::uint8_t& forKeysPresent)
{
    TWorkArea& a = *dbf4::Current();
    TDbfTable& t = a.Table;
    dbf4::Recount(a);
    const std::int32_t count = t.RecordCount;
    struct RestoreRecord {
        TWorkArea& a;
        std::int32_t record;
        ~RestoreRecord()
        {
            TXfDeferErrors deferred;
            if (record >= 1 && record <= a.Table.RecordCount) dbf4::ReadRecord(a, record);
            else dbf4::Phantom(a);
        }
    } restore {a, t.CurrentRecord};

    const int entrySize = o.KeyLength + 4;
    int levels = 2;
    for (std::int64_t n = count; n > 0; n /= o.MaxKeys) ++levels;
    const std::size_t capacity = static_cast<std::size_t>(std::max(kMinPointers, XfIndexSettings().WorkingSize / 4));
    const bool runsExpected = static_cast<std::size_t>(count) > capacity;
    const std::string shortage = SpaceShortage(count, levels, o.MaxKeys, entrySize, runsExpected, FolderOf(o.Index->FileName));
    if (!shortage.empty()) Fail(227, shortage);

    TProgress progress(count);
    TSortBuffer sort(o, capacity);
    TRunFile runFile;
    std::vector<std::pair<std::int64_t, std::int64_t>> runs;  // start and end in the run file
    std::vector<std::uint8_t> out;
    std::int64_t runStart = 0;
    const auto flushRun = [&] {
        sort.Sort();
        out.clear();
        for (std::size_t i = 0; i < sort.Count(); ++i) {
            const std::uint8_t* e = sort.Sorted(i);
            out.insert(out.end(), e, e + sort.EntrySize());
            if (out.size() + sort.EntrySize() > kRunBuffer) {
                runFile.Write(out.data(), out.size());
                out.clear();
            }
        }
        if (!out.empty()) runFile.Write(out.data(), out.size());
        const std::int64_t end = runStart + static_cast<std::int64_t>(sort.Count() * sort.EntrySize());
        runs.emplace_back(runStart, end);
        runStart = end;
        sort.Clear();
    };

    const std::size_t recordLength = t.RecordLength;
    const std::size_t perBlock = std::max<std::size_t>(1, kReadBlock / std::max<std::size_t>(recordLength, 1));
    std::vector<char> block(perBlock * recordLength);
    for (std::int64_t first = 1; first <= count; first += static_cast<std::int64_t>(perBlock)) {
        const std::size_t records = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(perBlock), count - first + 1));
        std::size_t got = 0;
        int code = t.File.ReadAt(t.RecordOffset(static_cast<std::int32_t>(first)), block.data(), records * recordLength, got);
        if (code == 0 && got < records * recordLength) code = 213;
        if (code) Fail(static_cast<std::uint16_t>(code), "File:  " + t.FileName + " [MakeIndex]");
        for (std::size_t i = 0; i < records; ++i) {
            const std::int64_t n = first + static_cast<std::int64_t>(i);
            std::memcpy(t.Record.data(), block.data() + i * recordLength, recordLength);
            TakeStoredRecord(t, static_cast<std::int32_t>(n));
            progress.At(n);
            if (!PassesFor(o)) continue;
            forKeysPresent = 1;
            if (sort.Full()) flushRun();
            std::uint8_t* slot = sort.Next();
            MakeKey(o, slot);
            Put32(slot + o.KeyLength, static_cast<std::uint32_t>(n));
        }
    }

    TTreeWriter writer(o);
    std::int64_t written = 0;
    const auto add = [&](const std::uint8_t* entry) {
        writer.Add(entry, Get32(entry + o.KeyLength));
        progress.At(++written);
    };
    if (runs.empty()) {
        sort.Sort();
        for (std::size_t i = 0; i < sort.Count(); ++i) add(sort.Sorted(i));
    } else {
        if (sort.Count() > 0) flushRun();
        sort.Release();
        // The sort's memory becomes the runs' read buffers.
        const std::size_t share = std::max<std::size_t>(1, capacity / runs.size()) * static_cast<std::size_t>(entrySize);
        std::vector<TRunCursor> cursors(runs.size());
        for (std::size_t r = 0; r < runs.size(); ++r) {
            cursors[r].Next = runs[r].first;
            cursors[r].End = runs[r].second;
            cursors[r].Buffer.resize(share);
            Refill(runFile, cursors[r], static_cast<std::size_t>(entrySize));
        }
        const auto later = [&](std::size_t x, std::size_t y) {
            return sort.Less(&cursors[y].Buffer[cursors[y].At], &cursors[x].Buffer[cursors[x].At]);
        };
        std::vector<std::size_t> heap;
        for (std::size_t r = 0; r < cursors.size(); ++r)
            if (cursors[r].Filled > 0) heap.push_back(r);
        std::make_heap(heap.begin(), heap.end(), later);
        while (!heap.empty()) {
            std::pop_heap(heap.begin(), heap.end(), later);
            TRunCursor& c = cursors[heap.back()];
            add(&c.Buffer[c.At]);
            c.At += static_cast<std::size_t>(entrySize);
            if (c.At >= c.Filled) {
                if (c.Next < c.End) Refill(runFile, c, static_cast<std::size_t>(entrySize));
                else c.Filled = 0;
            }
            if (c.Filled == 0) heap.pop_back();
            else std::push_heap(heap.begin(), heap.end(), later);
        }
    }
    const std::int32_t root = writer.Finish();
    progress.Finish();
    return root;
}

}  // namespace xf
