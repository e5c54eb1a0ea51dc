#pragma once
// What the parts of the index unit share; not for other units.

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dbfengine/dbf4Internal.h"
#include "dbfengine/platform/XfFiles.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndx.h"
#include "dbfengine/xfparser.h"

namespace xf::ndx {

constexpr int kTagHeaderRead = 983;
constexpr int kMaxDepth = 32;
constexpr int kEntriesStart = 8;
constexpr std::int32_t kNowhere = -1;

// Offsets in the file header and in a tag header.
constexpr int hdTagCount = 28, hdAllocMark = 32, hdTagTable = 512, hdTagEntry = 32;
constexpr int thRoot = 0, thFormat = 8, thType = 9, thKeyLength = 12, thMaxKeys = 14, thDateFlag = 16,
              thEntryLength = 18, thUnique = 23, thKeyExpr = 24, thForFlag = 245, thKeysPresent = 246,
              thForExpr = 762;

inline std::uint32_t Get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline void Put32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void Put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

// A failure deep inside the index code; the entry points deliver it through the
// engine's error dispatcher.
struct TNdxFailure {
    std::uint16_t Code;
    std::string Text;
};
[[noreturn]] inline void Fail(std::uint16_t code, std::string text) { throw TNdxFailure {code, std::move(text)}; }

using TNode = std::array<std::uint8_t, kIndexNodeSize>;

struct TPathLevel {
    std::int32_t Block = 0;
    int Entry = 0;
    TNode Node {};
};

// Frees a compiled expression on every path.
struct TExprHolder {
    PXfExpr Expr = nullptr;
    TExprHolder() = default;
    explicit TExprHolder(PXfExpr e) : Expr(e) {}
    ~TExprHolder() { FreeExpr(Expr); }
    TExprHolder(const TExprHolder&) = delete;
    TExprHolder& operator=(const TExprHolder&) = delete;
};

struct TNdxArea;

// One open tag of an area.
struct TNdxOrder {
    TNdxArea* Index = nullptr;
    int TagNo = 0;
    std::int32_t HeaderBlock = 0;
    std::array<std::uint8_t, kIndexNodeSize> Header {};  // the first 983 bytes are the file's
    std::string Name;
    char KeyType = 'C';  // 'C', 'D' or 'N'
    int KeyLength = 0, EntryLength = 0, MaxKeys = 0;
    std::uint8_t Decimals = 0;
    std::uint16_t NumberWidth = 0;
    bool Descending = false, Unique = false;
    TExprHolder Key, For;
    bool Bof = false, Eof = false, HeaderChanged = false, Positioned = false;
    std::vector<std::uint8_t> SavedKey;
    // The descent from the root; the top is the node in use.
    std::vector<TPathLevel> Path;
    bool Nowhere = true;
    std::uint64_t Stamp = 0;
    // Whether the record whose key is saved passed the FOR condition: a replace
    // removes the old key only from the tags the old image was in.
    bool SavedIn = false;
    // What SaveCurrentKeys with positioning put in the current entry.
    bool Pinned = false;
    std::vector<std::uint8_t> PinnedKey;
    std::int32_t PinnedRecord = 0;

    std::int32_t Root() const { return static_cast<std::int32_t>(Get32(&Header[thRoot])); }
    bool HasFor() const { return Header[thForFlag] != 0 && For.Expr != nullptr; }
    bool KeysPresent() const { return !HasFor() || Header[thKeysPresent] != 0; }
    int Compare(const std::uint8_t* a, const std::uint8_t* b) const;
    std::string Text() const;
};

// The index of one area.
struct TNdxArea {
    int AreaNo = 0;
    TXfFile File;
    std::string FileName;
    std::int64_t FileSize = 0;
    std::array<std::uint8_t, kIndexHeaderSize> Header {};
    bool HeaderChanged = false;
    std::array<std::unique_ptr<TNdxOrder>, kMaxIndexTags + 1> Orders;  // by tag number
    int Controlling = 1;
    bool Natural = false;
    bool LoggedIn = false;

    int TagCount() const { return Header[hdTagCount]; }
    TNdxOrder* Order(int tag) const { return tag >= 1 && tag <= kMaxIndexTags ? Orders[tag].get() : nullptr; }
    TNdxOrder* ControllingOrder() const { return Order(Controlling); }
    bool AnyOrder() const;
};

// The index of the current area (nullptr when none).
TNdxArea* CurrentIndex();
TNdxArea& EnsureIndex();
// The current area's index emptied for the file `fileName` (no orders, header unchanged).
TNdxArea& FreshIndex(const std::string& fileName);
void DropIndex();

// Reads and writes at block x 512; failures are thrown with the order's text.
void ReadBlock(const TNdxOrder& o, std::int32_t block, TNode& node);
void WriteBlock(const TNdxOrder& o, std::int32_t block, const TNode& node);
void WriteFileHeader(TNdxArea& index);
void WriteAnchor(TNdxOrder& o);

// The key of the current record in the order's encoding (KeyLength bytes).
void MakeKey(TNdxOrder& o, std::uint8_t* key);
bool PassesFor(TNdxOrder& o);
// Compiles the key and FOR texts of a tag header into the order and sets its key
// type, lengths and comparator data; throws 222/266 for what does not fit.
void PrepareOrder(TNdxOrder& o, bool atOpen);

// Descent: true when the key was found; insert mode stops after the last key.
bool SeekKey(TNdxOrder& o, std::uint8_t* key, bool insert = false);
std::int32_t EntryRecord(const TNdxOrder& o);
const std::uint8_t* EntryKey(const TNdxOrder& o);
// One step in the order; false at its end (the order stays where it was).
bool StepNext(TNdxOrder& o);
bool StepPrior(TNdxOrder& o);
// From the node at `block` down its first (or last) children to a leaf, pushed on
// the path; false when that leaf is empty.
bool DescendEdge(TNdxOrder& o, std::int32_t block, bool last);
void ResetPath(TNdxOrder& o);
void ToNowhere(TNdxOrder& o);
void TakePath(TNdxOrder& o);

// Builds the tag of a prepared order from every record; the root's block.
std::int32_t BuildIndexTag(TNdxOrder& o, std::uint8_t& forKeysPresent);

// The index file an area's name means: "MDX" applied, the table's folder when the
// name has none, the table's own index for an empty name; an existing file is
// found without regard to case.
std::string IndexPathFor(const TWorkArea& a, const std::string& name);

// Asks the semaphore whether another program changed the index; when it did, the
// tag headers are read again and every path is dropped. True then.
bool ChangedByOthers(TNdxArea& index);
// Reads every open tag's header again and drops the paths.
void ReadAnchorNodes(TNdxArea& index);

// Before a change of a shared index, inside the write section: a writer killed
// inside its section never told the others that it moved a root, so a change
// starts from the tag headers as they are in the file.
void StartAreaChange(TWorkArea& a, TNdxArea& index);

// Key maintenance: inserts a key by (key, record number), or removes the entry of
// one record; DeleteKey answers -1 when the entry is missing.
int AppendIndex(TNdxOrder& o, const std::uint8_t* key, std::int32_t record);
int DeleteKey(TNdxOrder& o, const std::uint8_t* key, std::int32_t record);
// After a replace: moves the entry of every order whose key or FOR membership
// changed since SaveCurrentKeys; the first failure is thrown after every order.
void CompareKeys();
// The work-area layer's step after a replace: CompareKeys, the header written and
// the controlling order back on the record.
void KeysAfterReplace();

// Switches natural order off for its lifetime, so that the orders' own keys decide.
class TNaturalOff {
public:
    explicit TNaturalOff(TNdxArea& index) : index_(index), natural_(index.Natural) { index.Natural = false; }
    ~TNaturalOff() { index_.Natural = natural_; }
    TNaturalOff(const TNaturalOff&) = delete;
    TNaturalOff& operator=(const TNaturalOff&) = delete;
    // Whether natural order was selected before.
    bool Was() const { return natural_; }

private:
    TNdxArea& index_;
    bool natural_;
};

// The current area's record to EOF with the controlling order there.
void AreaToEof(TWorkArea& a, TNdxOrder* controlling);

// Runs an entry point: a thrown failure goes to the error dispatcher.
template <typename R, typename F>
R Guarded(R fallback, F&& f)
{
    try {
        return f();
    } catch (const TNdxFailure& failure) {
        DbfRaiseError(failure.Code, failure.Text);
        return fallback;
    }
}

}  // namespace xf::ndx
