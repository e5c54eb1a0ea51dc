#pragma once
// Multiple-tag index files (.MDX) of the current work area: opening them, the
// orders (0 = record order, 1..47 = the tags), key search and stepping in the
// controlling order, creating files and tags (each tag filled by one bulk build)
// and closing. The work-area layer reaches all of it through its index hook table,
// which IndexInit fills.
//
// File layout: a 2048-byte header with a table of 47 tags, a 1024-byte header per
// tag and a B-tree of 1024-byte nodes per tag, every number little-endian. Every
// number read from a file is checked before use: a damaged or crafted file answers
// an engine code (222 at open, 266 for key lengths, 254 inside the trees), never a
// read past a buffer. One thread.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace xf {

constexpr int kMaxIndexTags = 47;
constexpr int kIndexNodeSize = 1024;
constexpr int kIndexHeaderSize = 2048;
constexpr int kMaxKeyLength = 100;
constexpr int kMaxIndexExpression = 220;

// Fills the work-area layer's index hooks and clears the index state. Runs at
// start-up whenever this unit is linked in; a second call answers 254.
void IndexInit();

// ---- opening and orders --------------------------------------------------------

// Opens an index file on the current area ("MDX" applied; the table's folder when
// the name has none; an empty name opens the table's own index). Any open index of
// the area is closed first. True when the index is open.
bool SetIndexTo(const std::string& name);
bool OpenIndex(const std::string& name);
// Opens the table's own index when its header says it has one.
void OpenProductionIndex();
bool IndexOpenTest();
// The open index file's path ("" when none).
std::string IndexFileName();
int IndexTagCount();

// 0: record order; 1..tag count: that tag controls.
void Set_Order_To(int n);
// The first tag whose name begins with `name` (cut to 10, upper-cased); "" selects
// record order.
bool SetOrderToTag(std::string_view name);
int CurrentOrder();

// ---- search and stepping in the controlling order -------------------------------

// Seeks the key; a character text shorter than the key matches as a prefix unless
// the exact switch is on. Not found leaves the area at its end.
void Find(std::string_view key);
void FindExact(std::string_view key);
bool ExactFindOn();
bool ExactFindOff();
bool IndexFound();
// Record numbers in the controlling order; record count + 1 past either end.
std::int32_t FindFirstRec();
std::int32_t FindLastRec();
std::int32_t _FindNextRec();
std::int32_t _FindPriorRec();
bool IndexBof();
bool IndexEof();
void SetIndexBof();
void SetIndexEof();

// ---- tags ------------------------------------------------------------------------

// n is a tag number (1..47).
std::string OrderName(int n);
bool IsAscending(int n);
bool IsSoundexKey(int n);
// The key expression and FOR condition of order n as its header holds them ("" when
// order n is not open).
std::string OrderKeyExpr(int n);
std::string OrderForExpr(int n);
// The key of order n on the current record as text (dates as date text, numbers
// with the key expression's width and decimals); "" when order n is not open.
std::string CurrentKeyText(int n);
std::function<std::string()> GetKeyTextProc(int n);
// The controlling order's key text, or "Rec:" and the record number in record order.
std::function<std::string()> GetFirstKeyTextProc();
// For each tag of the table's own index: "NAME,<descending T/F>,<unique T/F>,<key>"
// and then its FOR condition (an empty line when none).
void ListIndexTags(const std::string& tableFileName, std::vector<std::string>& list);

// ---- building --------------------------------------------------------------------

struct TXfTagDef {
    std::string Name;     // at most 10 characters; an empty name ends a list
    std::string KeyExpr;  // at most 220 characters
    std::string ForExpr;  // "" = every record
    bool Descending = false;
    bool Unique = false;
};

// Creates a new index file with no tags, or reads the header of an existing one,
// as the area's index being built.
bool CreateMdxHeader(const std::string& name);
// Adds one tag to the index being built and fills it from the table. With `reopen`
// a shared table is held exclusively for the build.
bool AddIndexTag(const TXfTagDef& def, bool reopen);
// A new index file with the given tags; the table is held exclusively meanwhile.
// True when every tag was added.
bool MakeIndex(const std::vector<TXfTagDef>& defs, const std::string& name);
// MakeIndex, then SetIndexTo on success.
bool IndexOn(const std::vector<TXfTagDef>& defs, const std::string& name);
// Rebuilds the open index with its own tags; the same tag stays controlling.
void Reindex();
void CloseOrder(int n);
void CloseIndex();

// After a record was appended: its key goes into every tag whose FOR condition it
// passes (unique tags: unless the key is there). When a tag fails, the keys that
// went in are taken out again and the failure is reported.
void AppendNewKey();

// Positions the controlling order (all: every order) on the current record.
void SyncIndex(bool all);
// Like SyncIndex for the controlling order, leaving it where the search put it
// when the record fails the tag's FOR condition.
void SoftSyncIndex();
// Keeps the current record's key in the first `count` orders (1: the controlling
// one, 47: all); with positioning their current entries take it too.
void SaveCurrentKeys(bool positioning, int count);

struct TXfIndexSettings {
    // A file mode for opening index files (65535: the engine chooses; without the
    // deny-none bit a shared table's index is opened without the semaphore).
    std::uint16_t OpenMode = 65535;
    // The sort's working memory: a quarter of it, in entries, is sorted at once
    // before a run goes to the run file.
    std::int64_t WorkingSize = 32758;
    std::function<void()> Progress;
    int ProgressCount = 0;  // calls per build; 0: none
};
TXfIndexSettings& XfIndexSettings();
void SetBuildProgress(std::function<void()> procedure, int count);
// Whether the index file's file system holds a build of this size. (A build also
// checks the temporary folder, $TMPDIR or /tmp, where its run file goes.)
bool CheckDiskSpace(std::int64_t recordCount, int levels, int keysPerNode, int entrySize);

// ---- the index semaphore's places in this layer ----------------------------------
//
// Each entry is skipped while empty. Login runs when an area opens an index
// (false ends the open), Logout when it closes it; IndexChanged is asked before a
// step or a search starts (true: another program changed the index, the tag
// headers are read again and the controlling order re-sought on the current
// record). Reads and writes of nodes are bracketed by the work-area layer's
// SetReadSemaphoreProc and SetLockSemaphoreProc hooks.
struct TXfIndexSemaphoreCalls {
    std::function<bool()> Login;
    std::function<void()> Logout;
    std::function<bool()> IndexChanged;
};
TXfIndexSemaphoreCalls& XfIndexSemaphoreCalls();

}  // namespace xf
