// Keeping the tags of an open index in step with the table: the keys of an
// appended record go in, the keys of a replaced record move. Deleting or recalling
// a record leaves its keys where they are.
//
// Entries are ordered by key and, among equal keys, by record number, as the bulk
// build orders them. A branch entry's key bounds its child's subtree from above.
// Nodes are written in an order that leaves a sound tree at every step: a new node
// is written before anything points at it, and an emptied node is zeroed only
// after nothing points at it any more. A program killed halfway can lose keys,
// never order. New nodes go at the end of the file; emptied ones stay zeroed.

#include <algorithm>
#include <new>

#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndx.h"
#include "dbfengine/xfndxInternal.h"

namespace xf {

using namespace ndx;

namespace {

using TPath = std::vector<TPathLevel>;

int Count(const TNode& node) { return static_cast<int>(Get32(node.data()) & 0xFFFF); }

std::uint8_t* EntryAt(TNode& node, const TNdxOrder& o, int i)
{
    return node.data() + kEntriesStart + static_cast<std::size_t>(i) * o.EntryLength;
}
const std::uint8_t* EntryAt(const TNode& node, const TNdxOrder& o, int i)
{
    return node.data() + kEntriesStart + static_cast<std::size_t>(i) * o.EntryLength;
}

bool IsLeaf(const TNode& node, const TNdxOrder& o) { return Get32(EntryAt(node, o, Count(node))) == 0; }

std::string Corrupted(const TNdxOrder& o, const std::string& what)
{
    return "Index file corrupted: " + what + " " + o.Text() + " [AppendIndex]";
}

TPathLevel& Push(TNdxOrder& o, TPath& path, std::int32_t block)
{
    if (static_cast<int>(path.size()) >= kMaxDepth) Fail(254, Corrupted(o, "tree deeper than 32 levels"));
    for (const TPathLevel& level : path)
        if (level.Block == block) Fail(254, Corrupted(o, "node " + std::to_string(block) + " is its own descendant"));
    path.emplace_back();
    TPathLevel& level = path.back();
    level.Block = block;
    ReadBlock(o, block, level.Node);
    if (Count(level.Node) > o.MaxKeys) Fail(254, Corrupted(o, "node " + std::to_string(block) + " holds more keys than fit"));
    return level;
}

// The first entry whose key is above `key`; the count when none is.
int UpperBound(const TNdxOrder& o, const TNode& node, const std::uint8_t* key)
{
    int lo = 0, hi = Count(node);
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (o.Compare(EntryAt(node, o, mid) + 4, key) <= 0) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

// The path to the place after every entry with a key not above `key`.
TPath DescendAfter(TNdxOrder& o, const std::uint8_t* key)
{
    TPath path;
    std::int32_t block = o.Root();
    while (true) {
        TPathLevel& level = Push(o, path, block);
        level.Entry = UpperBound(o, level.Node, key);
        if (IsLeaf(level.Node, o)) return path;
        block = static_cast<std::int32_t>(Get32(EntryAt(level.Node, o, level.Entry)));
    }
}

// Moves the place one entry back, onto the entry before it (from a leaf's first
// place onto the last entry of the leaf before). False at the tree's start, with
// the path as it was.
bool Back(TNdxOrder& o, TPath& path)
{
    if (path.back().Entry > 0) {
        --path.back().Entry;
        return true;
    }
    const TPath saved = path;
    while (true) {
        int level = static_cast<int>(path.size()) - 2;
        while (level >= 0 && path[static_cast<std::size_t>(level)].Entry == 0) --level;
        if (level < 0) {
            path = saved;
            return false;
        }
        path.resize(static_cast<std::size_t>(level) + 1);
        --path.back().Entry;
        bool emptyLeaf = false;
        while (true) {
            TPathLevel& at = path.back();
            TPathLevel& child = Push(o, path, static_cast<std::int32_t>(Get32(EntryAt(at.Node, o, at.Entry))));
            const int c = Count(child.Node);
            if (IsLeaf(child.Node, o)) {
                child.Entry = std::max(c - 1, 0);
                emptyLeaf = c == 0;
                break;
            }
            child.Entry = c;
        }
        // Another program's deletions may have left an empty leaf: passed over.
        if (!emptyLeaf) return true;
    }
}

std::int32_t RecordAt(const TNdxOrder& o, const TPath& path)
{
    return static_cast<std::int32_t>(Get32(EntryAt(path.back().Node, o, path.back().Entry)));
}
const std::uint8_t* KeyAt(const TNdxOrder& o, const TPath& path) { return EntryAt(path.back().Node, o, path.back().Entry) + 4; }

// The place for (key, record): after the entries below it, before those above.
TPath InsertPlace(TNdxOrder& o, const std::uint8_t* key, std::int32_t record)
{
    TPath path = DescendAfter(o, key);
    // A tag holds at most one entry per record: a longer run of equal keys is damage.
    const std::int32_t limit = dbf4::Current() ? dbf4::Current()->Table.RecordCount + 1 : INT32_MAX;
    for (std::int32_t steps = 0;; ++steps) {
        if (steps > limit) Fail(254, Corrupted(o, "more equal keys than records"));
        TPath before = path;
        if (!Back(o, before)) return path;
        if (o.Compare(KeyAt(o, before), key) != 0 || RecordAt(o, before) <= record) return path;
        path = std::move(before);
    }
}

// The path onto the entry of (key, record), or an empty path. On a unique tag the
// entry of the key counts whatever its record (`record` 0 asks for any).
TPath FindEntry(TNdxOrder& o, const std::uint8_t* key, std::int32_t record)
{
    TPath path = o.Unique || record == 0 ? DescendAfter(o, key) : InsertPlace(o, key, record);
    if (!Back(o, path) || o.Compare(KeyAt(o, path), key) != 0) return {};
    if (!o.Unique && record != 0 && RecordAt(o, path) != record) return {};
    return path;
}

// A zeroed node at the end of the file; its block is the file size in 512-byte
// blocks, rounded up, so nothing another program left there is overwritten.
std::int32_t NewNodeBlock(TNdxOrder& o)
{
    TNdxArea& index = *o.Index;
    if (const int code = index.File.Size(index.FileSize))
        Fail(static_cast<std::uint16_t>(code), "Error reading index file: " + o.Text() + " [AppendIndex]");
    const std::int64_t block = (index.FileSize + 511) / 512;
    if (block > INT32_MAX - 4) Fail(254, "Index file too large " + o.Text() + " [AppendIndex]");
    index.FileSize = block * 512 + kIndexNodeSize;
    Put32(index.Header.data() + hdAllocMark, static_cast<std::uint32_t>(block + 1));
    index.HeaderChanged = true;
    return static_cast<std::int32_t>(block);
}

void SetKey(TNdxOrder& o, TNode& node, int i, const std::uint8_t* key)
{
    std::uint8_t* at = EntryAt(node, o, i) + 4;
    std::memcpy(at, key, static_cast<std::size_t>(o.KeyLength));
    std::memset(at + o.KeyLength, 0, static_cast<std::size_t>(o.EntryLength - 4 - o.KeyLength));
}

// After the largest key under path[level]'s entry changed to `key`: the first
// ancestor whose entry has a key (not a trailing pointer) takes it.
void RaiseSeparator(TNdxOrder& o, TPath& path, int level, const std::uint8_t* key)
{
    for (; level >= 0; --level) {
        TPathLevel& at = path[static_cast<std::size_t>(level)];
        if (at.Entry >= Count(at.Node)) continue;
        SetKey(o, at.Node, at.Entry, key);
        WriteBlock(o, at.Block, at.Node);
        return;
    }
}

// Puts (pointer, key) in at path[level]'s place. In a branch `right` then takes the
// pointer after it: the child there was split into itself (up to `key`) and `right`.
void InsertAt(TNdxOrder& o, TPath& path, int level, std::uint32_t pointer, std::vector<std::uint8_t> key, std::uint32_t right)
{
    const int entryLength = o.EntryLength;
    while (true) {
        TPathLevel& at = path[static_cast<std::size_t>(level)];
        const bool leaf = IsLeaf(at.Node, o);
        const int n = Count(at.Node);
        const int p = at.Entry;
        // Room for the node's entries, one more and the trailing pointer.
        std::vector<std::uint8_t> all(static_cast<std::size_t>(kEntriesStart + (n + 2) * entryLength + 4), 0);
        std::memcpy(all.data(), at.Node.data(), static_cast<std::size_t>(kEntriesStart + n * entryLength + 4));
        std::uint8_t* entries = all.data() + kEntriesStart;
        std::memmove(entries + (p + 1) * entryLength, entries + p * entryLength, static_cast<std::size_t>((n - p) * entryLength + 4));
        Put32(entries + p * entryLength, pointer);
        std::memset(entries + p * entryLength + 4, 0, static_cast<std::size_t>(entryLength - 4));
        std::memcpy(entries + p * entryLength + 4, key.data(), key.size());
        if (!leaf) Put32(entries + (p + 1) * entryLength, right);
        const int m = n + 1;
        if (m <= o.MaxKeys) {
            std::memcpy(at.Node.data() + kEntriesStart, entries, static_cast<std::size_t>(m * entryLength + 4));
            Put32(at.Node.data(), static_cast<std::uint32_t>(m));
            WriteBlock(o, at.Block, at.Node);
            return;
        }
        if (o.MaxKeys < 3) Fail(254, Corrupted(o, "nodes of fewer than 3 keys"));
        // The old node keeps the first n - n div 2 entries and the new one the rest,
        // the new entry going to the half it sorts into.
        int kept = n - n / 2;
        if (p < kept) ++kept;
        TNode lower {}, upper {};
        std::vector<std::uint8_t> lowerLast(entries + (kept - 1) * entryLength + 4, entries + (kept - 1) * entryLength + 4 + o.KeyLength);
        // A leaf's halves end with a zero pointer; a branch's lower half gives its last
        // key up and keeps that entry's pointer as its trailing one.
        const int lowerCount = leaf ? kept : kept - 1;
        std::memcpy(lower.data() + kEntriesStart, entries, static_cast<std::size_t>(kept * entryLength));
        if (leaf) std::memset(lower.data() + kEntriesStart + kept * entryLength, 0, 4);
        else std::memset(lower.data() + kEntriesStart + lowerCount * entryLength + 4, 0, static_cast<std::size_t>(entryLength - 4));
        Put32(lower.data(), static_cast<std::uint32_t>(lowerCount));
        const int upperCount = m - kept;
        std::memcpy(upper.data() + kEntriesStart, entries + kept * entryLength, static_cast<std::size_t>(upperCount * entryLength + 4));
        Put32(upper.data(), static_cast<std::uint32_t>(upperCount));
        const std::int32_t upperBlock = NewNodeBlock(o);
        WriteBlock(o, upperBlock, upper);
        at.Node = lower;
        WriteBlock(o, at.Block, lower);
        if (level == 0) {
            TNode root {};
            Put32(root.data(), 1);
            Put32(EntryAt(root, o, 0), static_cast<std::uint32_t>(at.Block));
            SetKey(o, root, 0, lowerLast.data());
            Put32(EntryAt(root, o, 1), static_cast<std::uint32_t>(upperBlock));
            const std::int32_t rootBlock = NewNodeBlock(o);
            WriteBlock(o, rootBlock, root);
            Put32(o.Header.data() + thRoot, static_cast<std::uint32_t>(rootBlock));
            o.HeaderChanged = true;
            return;
        }
        pointer = static_cast<std::uint32_t>(at.Block);
        key = std::move(lowerLast);
        right = static_cast<std::uint32_t>(upperBlock);
        --level;
    }
}

void ZeroNode(TNdxOrder& o, std::int32_t block)
{
    const TNode zero {};
    WriteBlock(o, block, zero);
}

// Takes path[level]'s child pointer out of its branch; the child is zeroed by the caller.
void RemoveChild(TNdxOrder& o, TPath& path, int level)
{
    TPathLevel& at = path[static_cast<std::size_t>(level)];
    const int n = Count(at.Node);
    const int e = at.Entry;
    const int entryLength = o.EntryLength;
    std::uint8_t* entries = at.Node.data() + kEntriesStart;
    std::vector<std::uint8_t> newLast;
    if (e < n) {
        std::memmove(entries + e * entryLength, entries + (e + 1) * entryLength, static_cast<std::size_t>((n - e - 1) * entryLength + 4));
    } else {
        // The trailing child goes: the last entry's child becomes the trailing one and
        // its key the bound of the whole branch.
        newLast.assign(entries + (n - 1) * entryLength + 4, entries + (n - 1) * entryLength + 4 + o.KeyLength);
    }
    std::memset(entries + (n - 1) * entryLength + 4, 0, static_cast<std::size_t>(entryLength));
    Put32(at.Node.data(), static_cast<std::uint32_t>(n - 1));
    if (n - 1 > 0) {
        WriteBlock(o, at.Block, at.Node);
        if (!newLast.empty()) RaiseSeparator(o, path, level - 1, newLast.data());
        return;
    }
    // One child left: it takes the branch's place.
    const std::uint32_t only = Get32(entries);
    if (level == 0) {
        Put32(o.Header.data() + thRoot, only);
        WriteAnchor(o);
    } else {
        TPathLevel& parent = path[static_cast<std::size_t>(level) - 1];
        Put32(EntryAt(parent.Node, o, parent.Entry), only);
        WriteBlock(o, parent.Block, parent.Node);
    }
    ZeroNode(o, at.Block);
}

void RemoveEntry(TNdxOrder& o, TPath& path)
{
    const int level = static_cast<int>(path.size()) - 1;
    TPathLevel& leaf = path.back();
    const int n = Count(leaf.Node);
    const int p = leaf.Entry;
    const int entryLength = o.EntryLength;
    if (n > 1 || level == 0) {
        std::uint8_t* entries = leaf.Node.data() + kEntriesStart;
        std::memmove(entries + p * entryLength, entries + (p + 1) * entryLength, static_cast<std::size_t>((n - p - 1) * entryLength + 4));
        std::memset(entries + (n - 1) * entryLength + 4, 0, static_cast<std::size_t>(entryLength));
        Put32(leaf.Node.data(), static_cast<std::uint32_t>(n - 1));
        WriteBlock(o, leaf.Block, leaf.Node);
        if (n - 1 == 0) {
            if (o.HasFor()) {
                o.Header[thKeysPresent] = 0;
                o.HeaderChanged = true;
            }
        } else if (p == n - 1) {
            const std::vector<std::uint8_t> last(entries + (n - 2) * entryLength + 4, entries + (n - 2) * entryLength + 4 + o.KeyLength);
            RaiseSeparator(o, path, level - 1, last.data());
        }
        return;
    }
    RemoveChild(o, path, level - 1);
    ZeroNode(o, leaf.Block);
}

// The first record other than `except` that is in the tag with `key`; 0 when none.
std::int32_t FirstOtherRecordWithKey(TNdxOrder& o, const std::uint8_t* key, std::int32_t except)
{
    TWorkArea& a = *dbf4::Current();
    TDbfTable& t = a.Table;
    const std::vector<char> record = t.Record, stored = t.Stored;
    const std::int32_t current = t.CurrentRecord, storedNumber = t.StoredNumber;
    struct Restore {
        TDbfTable& t;
        const std::vector<char>& record;
        const std::vector<char>& stored;
        std::int32_t current, storedNumber;
        ~Restore()
        {
            t.Record = record;
            t.Stored = stored;
            t.CurrentRecord = current;
            t.StoredNumber = storedNumber;
        }
    } restore {t, record, stored, current, storedNumber};
    std::vector<std::uint8_t> candidate(static_cast<std::size_t>(o.KeyLength));
    for (std::int32_t n = 1; n <= t.RecordCount; ++n) {
        if (n == except) continue;
        std::size_t got = 0;
        int code = t.File.ReadAt(t.RecordOffset(n), t.Record.data(), t.Record.size(), got);
        if (code == 0 && got < t.Record.size()) code = 213;
        if (code) Fail(static_cast<std::uint16_t>(code), "File:  " + t.FileName + " [DeleteKey]");
        TakeStoredRecord(t, n);
        if (!PassesFor(o)) continue;
        MakeKey(o, candidate.data());
        if (o.Compare(candidate.data(), key) == 0) return n;
    }
    return 0;
}

void Insert(TNdxOrder& o, const std::uint8_t* key, std::int32_t record)
{
    if (o.Unique && !FindEntry(o, key, 0).empty()) return;
    TPath path = InsertPlace(o, key, record);
    InsertAt(o, path, static_cast<int>(path.size()) - 1, static_cast<std::uint32_t>(record),
             std::vector<std::uint8_t>(key, key + o.KeyLength), 0);
    if (o.HasFor() && o.Header[thKeysPresent] == 0) {
        o.Header[thKeysPresent] = 1;
        o.HeaderChanged = true;
    }
}

// Ends a change of one order: its header written when it changed, its path dropped.
struct TOrderChange {
    TNdxOrder& o;
    ~TOrderChange() { ResetPath(o); }
    void Finish()
    {
        if (o.HeaderChanged) WriteAnchor(o);
    }
};

// The first failure of a loop over the orders, delivered after it.
struct TFirstFailure {
    std::uint16_t Code = 0;
    std::string Text;
    void Take(std::uint16_t code, std::string text)
    {
        if (Code != 0) return;
        Code = code;
        Text = std::move(text);
    }
};

void FinishAreaChange(TNdxArea& index)
{
    if (index.HeaderChanged) WriteFileHeader(index);
    SyncIndex(false);
    SaveCurrentKeys(false, 1);
}

}  // namespace

void ndx::StartAreaChange(TWorkArea& a, TNdxArea& index)
{
    if (!ChangedByOthers(index) && dbf4::Shared(a)) ReadAnchorNodes(index);
}

int ndx::AppendIndex(TNdxOrder& o, const std::uint8_t* key, std::int32_t record)
{
    if (o.HasFor() && !PassesFor(o)) return 0;
    TOrderChange change {o};
    try {
        Insert(o, key, record);
    } catch (const std::bad_alloc&) {
        Fail(217, " [AppendIndex]");
    }
    change.Finish();
    return 0;
}

int ndx::DeleteKey(TNdxOrder& o, const std::uint8_t* key, std::int32_t record)
{
    TOrderChange change {o};
    TPath path = FindEntry(o, key, record);
    if (path.empty()) return o.Unique ? 0 : -1;
    if (o.Unique && RecordAt(o, path) != record) return 0;
    RemoveEntry(o, path);
    // A unique tag holds the first record of each key: another record with the key
    // takes the place, so the key stays findable.
    if (o.Unique) {
        if (const std::int32_t other = FirstOtherRecordWithKey(o, key, record)) Insert(o, key, other);
    }
    change.Finish();
    return 0;
}

void AppendNewKey()
{
    TWorkArea* a = dbf4::Current();
    TNdxArea* index = CurrentIndex();
    if (!a || !index || !index->AnyOrder()) return;
    TNaturalOff naturalOff(*index);
    Guarded<bool>(false, [&] {
        StartAreaChange(*a, *index);
        const std::int32_t record = a->Table.CurrentRecord;
        std::vector<std::uint8_t> key;
        TFirstFailure failure;
        int stoppedAt = 0;
        for (int n = 1; n <= kMaxIndexTags && !stoppedAt; ++n) {
            TNdxOrder* o = index->Order(n);
            if (!o) continue;
            key.assign(static_cast<std::size_t>(o->KeyLength), 0);
            MakeKey(*o, key.data());
            try {
                AppendIndex(*o, key.data(), record);
            } catch (const TNdxFailure& f) {
                failure.Take(f.Code, f.Text);
                stoppedAt = n;
            }
        }
        // A record whose keys are not all in is taken out of the tags it reached.
        for (int n = stoppedAt - 1; n >= 1; --n) {
            TNdxOrder* o = index->Order(n);
            if (!o || (o->HasFor() && !PassesFor(*o))) continue;
            key.assign(static_cast<std::size_t>(o->KeyLength), 0);
            MakeKey(*o, key.data());
            if (DeleteKey(*o, key.data(), record) == -1) {
                failure.Take(254, "Index file corrupted. " + o->Text() + " [AppendNewKey]");
                break;
            }
        }
        if (failure.Code) Fail(failure.Code, failure.Text);
        FinishAreaChange(*index);
        return true;
    });
}

void ndx::CompareKeys()
{
    TWorkArea* a = dbf4::Current();
    TNdxArea* index = CurrentIndex();
    if (!a || !index || !index->AnyOrder()) return;
    const std::int32_t record = a->Table.CurrentRecord;
    TFirstFailure failure;
    std::vector<std::uint8_t> key;
    for (int n = 1; n <= kMaxIndexTags; ++n) {
        TNdxOrder* o = index->Order(n);
        if (!o) continue;
        const bool in = PassesFor(*o);
        key.assign(static_cast<std::size_t>(o->KeyLength), 0);
        MakeKey(*o, key.data());
        const bool wasIn = o->SavedIn;
        if (wasIn == in && (!in || o->Compare(key.data(), o->SavedKey.data()) == 0)) continue;
        // Every tag gets its change whatever failed in another; the first failure is
        // the one delivered.
        try {
            if (wasIn && DeleteKey(*o, o->SavedKey.data(), record) == -1)
                failure.Take(254, "Record number " + std::to_string(record) + " not found in index." + " " + o->Text() + " [CompareKeys]");
            if (in) AppendIndex(*o, key.data(), record);
        } catch (const TNdxFailure& f) {
            failure.Take(f.Code, f.Text);
        }
        o->SavedKey = key;
        o->SavedIn = in;
    }
    if (failure.Code) Fail(failure.Code, failure.Text);
}

void ndx::KeysAfterReplace()
{
    TNdxArea* index = CurrentIndex();
    if (!dbf4::Current() || !index || !index->AnyOrder()) return;
    TNaturalOff naturalOff(*index);
    Guarded<bool>(false, [&] {
        TFirstFailure failure;
        try {
            CompareKeys();
        } catch (const TNdxFailure& f) {
            failure.Take(f.Code, f.Text);
        }
        FinishAreaChange(*index);
        if (failure.Code) Fail(failure.Code, failure.Text);
        return true;
    });
}

}  // namespace xf
