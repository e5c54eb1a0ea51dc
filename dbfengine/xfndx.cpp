#include "dbfengine/xfndx.h"

#include <algorithm>
#include <bit>
#include <filesystem>
#include <utility>

#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndxInternal.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfutils.h"
#include "platform/rtl/SysUtils.h"

namespace xf {

static_assert(std::endian::native == std::endian::little, "index keys are stored in the machine's byte order");

namespace ndx {

namespace {

struct TState {
    std::array<std::unique_ptr<TNdxArea>, kWorkAreas + 1> Areas;
    std::uint8_t Found = 0;
    bool Exact = false;
    // The order whose descent path is current; 0: none. Stamps come from a counter,
    // so a reused file handle never makes an old path look current.
    std::uint64_t PathOwner = 0;
    std::uint64_t NextStamp = 0;
    bool Initialised = false;
};

TState& State()
{
    // The orders free their compiled expressions when the state is destroyed at exit,
    // so the compiler's list of expressions must be built first and destroyed last.
    static TState& state = []() -> TState& {
        PXfExpr none = nullptr;
        FreeExpr(none);
        static TState s;
        return s;
    }();
    return state;
}

int Count(const TNode& node) { return static_cast<int>(Get32(node.data()) & 0xFFFF); }

const std::uint8_t* EntryAt(const TNode& node, const TNdxOrder& o, int i)
{
    return node.data() + kEntriesStart + static_cast<std::size_t>(i) * o.EntryLength;
}

bool IsLeaf(const TNode& node, const TNdxOrder& o) { return Get32(EntryAt(node, o, Count(node))) == 0; }

std::string TableName(const TWorkArea& a) { return a.Table.FileName; }

std::string Corrupted(const TNdxOrder& o, const std::string& what, const std::string& tag)
{
    return "Index file corrupted: " + what + " " + o.Text() + " [" + tag + "]";
}

// Pushes the node at `block` on the order's path, after checking it.
TPathLevel& PushNode(TNdxOrder& o, std::int32_t block)
{
    if (static_cast<int>(o.Path.size()) >= kMaxDepth) Fail(254, Corrupted(o, "tree deeper than 32 levels", "GetNode"));
    for (const TPathLevel& level : o.Path)
        if (level.Block == block) Fail(254, Corrupted(o, "node " + std::to_string(block) + " is its own descendant", "GetNode"));
    o.Path.emplace_back();
    TPathLevel& level = o.Path.back();
    level.Block = block;
    level.Entry = 0;
    ReadBlock(o, block, level.Node);
    if (Count(level.Node) > o.MaxKeys)
        Fail(254, Corrupted(o, "node " + std::to_string(block) + " holds more keys than fit", "GetNode"));
    return level;
}

// The first entry whose key is not below `key`; `above` when every key is below it.
int SearchNode(const TNdxOrder& o, const TNode& node, const std::uint8_t* key, bool& above)
{
    above = false;
    const int c = Count(node);
    if (c == 0 || o.Compare(key, EntryAt(node, o, 0) + 4) <= 0) return 0;
    if (o.Compare(key, EntryAt(node, o, c - 1) + 4) > 0) {
        above = true;
        return c;
    }
    int lo = 1, hi = c - 1;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (o.Compare(EntryAt(node, o, mid) + 4, key) < 0) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}


void ClearPin(TNdxOrder& o) { o.Pinned = false; }

void SaveEntryKey(TNdxOrder& o)
{
    if (o.Nowhere || o.Path.empty()) return;
    const std::uint8_t* key = EntryKey(o);
    o.SavedKey.assign(key, key + o.KeyLength);
}

bool RootHasKeys(TNdxOrder& o)
{
    ResetPath(o);
    TakePath(o);
    TPathLevel& root = PushNode(o, o.Root());
    return Count(root.Node) > 0 || !IsLeaf(root.Node, o);
}

}  // namespace

// ---- shared with the other parts -------------------------------------------------

int TNdxOrder::Compare(const std::uint8_t* a, const std::uint8_t* b) const
{
    int r;
    switch (KeyType) {
    case 'C': {
        const int c = std::memcmp(a, b, static_cast<std::size_t>(KeyLength));
        r = (c > 0) - (c < 0);
        break;
    }
    case 'D': {
        double x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        r = CompareFloat(x, y);
        break;
    }
    default: {
        TBcdKey x, y;
        std::memcpy(x.data(), a, 12);
        std::memcpy(y.data(), b, 12);
        r = BcdKeyCompare(x, y);
        r = (r > 0) - (r < 0);
        break;
    }
    }
    return Descending ? -r : r;
}

std::string TNdxOrder::Text() const { return (Index ? Index->FileName : std::string()) + " [tag: " + Name + "]"; }

bool TNdxArea::AnyOrder() const
{
    return std::any_of(Orders.begin(), Orders.end(), [](const auto& o) { return o != nullptr; });
}

TNdxArea* CurrentIndex()
{
    const int n = CurrentWorkArea();
    return n >= 1 && n <= kWorkAreas ? State().Areas[n].get() : nullptr;
}

TNdxArea& EnsureIndex()
{
    std::unique_ptr<TNdxArea>& slot = State().Areas[CurrentWorkArea()];
    if (!slot) {
        slot = std::make_unique<TNdxArea>();
        slot->AreaNo = CurrentWorkArea();
    }
    return *slot;
}

TNdxArea& FreshIndex(const std::string& fileName)
{
    TNdxArea& index = EnsureIndex();
    for (auto& order : index.Orders) order.reset();
    index.FileName = fileName;
    index.HeaderChanged = false;
    return index;
}

void DropIndex() { State().Areas[CurrentWorkArea()].reset(); }

void ReadBlock(const TNdxOrder& o, std::int32_t block, TNode& node)
{
    TNdxArea& index = *o.Index;
    if (block == 0)
        Fail(254, "Invalid Node Number (0) in DBF Area " + std::to_string(index.AreaNo) + ", Order " + std::to_string(o.TagNo) +
                      " " + o.Text() + " [GetNode]");
    const std::int64_t offset = static_cast<std::int64_t>(block) * 512;
    if (block < kIndexHeaderSize / 512 || offset + kIndexNodeSize > index.FileSize) {
        // Another program may have grown the file since it was opened.
        if (block >= kIndexHeaderSize / 512) index.File.Size(index.FileSize);
        if (block < kIndexHeaderSize / 512 || offset + kIndexNodeSize > index.FileSize)
            Fail(254, Corrupted(o, "node " + std::to_string(block) + " lies outside the file", "GetNode"));
    }
    std::size_t got = 0;
    int code = index.File.ReadAt(offset, node.data(), node.size(), got);
    if (code == 0 && got < node.size()) code = kDosDiskReadError;
    if (code) Fail(static_cast<std::uint16_t>(code), "Error reading index file: " + o.Text() + " [SeekAndRead]");
    Put32(node.data(), Get32(node.data()) & 0xFFFF);
}

std::int32_t EntryRecord(const TNdxOrder& o)
{
    if (o.Pinned) return o.PinnedRecord;
    if (o.Nowhere || o.Path.empty()) return kNowhere;
    const TPathLevel& leaf = o.Path.back();
    return static_cast<std::int32_t>(Get32(EntryAt(leaf.Node, o, leaf.Entry)));
}

const std::uint8_t* EntryKey(const TNdxOrder& o)
{
    if (o.Pinned) return o.PinnedKey.data();
    const TPathLevel& leaf = o.Path.back();
    return EntryAt(leaf.Node, o, leaf.Entry) + 4;
}

void ResetPath(TNdxOrder& o)
{
    o.Path.clear();
    o.Nowhere = true;
    ClearPin(o);
}

void TakePath(TNdxOrder& o) { State().PathOwner = o.Stamp; }

void ToNowhere(TNdxOrder& o)
{
    o.Nowhere = true;
    ClearPin(o);
}

bool DescendEdge(TNdxOrder& o, std::int32_t block, bool last)
{
    while (true) {
        TPathLevel& level = PushNode(o, block);
        const int c = Count(level.Node);
        if (IsLeaf(level.Node, o)) {
            level.Entry = last ? std::max(c - 1, 0) : 0;
            return c > 0;
        }
        level.Entry = last ? c : 0;
        block = static_cast<std::int32_t>(Get32(EntryAt(level.Node, o, level.Entry)));
    }
}

bool StepNext(TNdxOrder& o)
{
    if (o.Path.empty()) return false;
    ClearPin(o);
    TPathLevel& leaf = o.Path.back();
    if (leaf.Entry + 1 < Count(leaf.Node)) {
        ++leaf.Entry;
        return true;
    }
    int level = static_cast<int>(o.Path.size()) - 2;
    while (level >= 0 && o.Path[static_cast<std::size_t>(level)].Entry >= Count(o.Path[static_cast<std::size_t>(level)].Node)) --level;
    if (level < 0) return false;
    o.Path.resize(static_cast<std::size_t>(level) + 1);
    TPathLevel& parent = o.Path.back();
    ++parent.Entry;
    // An emptied leaf (left by other programs' deletions) is passed over.
    if (!DescendEdge(o, static_cast<std::int32_t>(Get32(EntryAt(parent.Node, o, parent.Entry))), false)) return StepNext(o);
    return true;
}

bool StepPrior(TNdxOrder& o)
{
    if (o.Path.empty()) return false;
    ClearPin(o);
    TPathLevel& leaf = o.Path.back();
    if (leaf.Entry > 0) {
        --leaf.Entry;
        return true;
    }
    int level = static_cast<int>(o.Path.size()) - 2;
    while (level >= 0 && o.Path[static_cast<std::size_t>(level)].Entry == 0) --level;
    if (level < 0) return false;
    o.Path.resize(static_cast<std::size_t>(level) + 1);
    TPathLevel& parent = o.Path.back();
    --parent.Entry;
    if (!DescendEdge(o, static_cast<std::int32_t>(Get32(EntryAt(parent.Node, o, parent.Entry))), true)) return StepPrior(o);
    return true;
}

bool SeekKey(TNdxOrder& o, std::uint8_t* key, bool insert)
{
    o.Bof = o.Eof = false;
    ResetPath(o);
    TakePath(o);
    std::int32_t block = o.Root();
    bool above = false;
    while (true) {
        TPathLevel& level = PushNode(o, block);
        level.Entry = SearchNode(o, level.Node, key, above);
        if (IsLeaf(level.Node, o)) break;
        block = static_cast<std::int32_t>(Get32(EntryAt(level.Node, o, level.Entry)));
    }
    TPathLevel& leaf = o.Path.back();
    const int c = Count(leaf.Node);
    o.Nowhere = false;
    if (insert && above) return false;
    if (c == 0) {
        o.Eof = true;
        o.Nowhere = true;
        return false;
    }
    if (above) {
        leaf.Entry = c - 1;
        if (!StepNext(o)) {
            o.Eof = true;
            return false;
        }
    }
    if (o.Compare(EntryKey(o), key) != 0) return false;
    if (o.KeyType == 'N') std::memcpy(key, EntryKey(o), 12);
    return true;
}

namespace {

// A key that only fetches a 64-bit integer field is made from the field's digits:
// the double an expression gives holds them only up to 2^53, and neighbours past
// it would share one key. False for any other key (or digits that are no integer).
bool IntegerFieldKey(const TNdxOrder& o, TBcdKey& bcd)
{
    int area = 0, field = 0;
    if (!o.Key.Expr || !FetchesOneField(*o.Key.Expr, area, field)) return false;
    const TWorkArea* a = WorkArea(area);
    if (!a || field < 1 || field > static_cast<int>(a->Table.Fields.size())) return false;
    const TDbfField& f = a->Table.Fields[static_cast<std::size_t>(field - 1)];
    if ((f.Type != 'N' && f.Type != 'F') || NumberKind(f) != TXfNumberKind::Int64 ||
        a->Table.Record.size() < static_cast<std::size_t>(f.Offset) + f.Length)
        return false;
    std::int64_t value = 0;
    if (!ReadWholeInteger(std::string_view(a->Table.Record.data() + f.Offset, f.Length), value)) return false;
    // As the fixed-point text of the double would have it.
    std::string digits = std::to_string(value);
    if (o.Decimals > 0) digits += "." + std::string(o.Decimals, '0');
    BcdKeyFromText(bcd, digits, o.Decimals);
    return true;
}

// For one character key, the record's key text (KeyRecordText) stands in place of
// its text as read.
class TKeyRecordText {
public:
    explicit TKeyRecordText(TWorkArea* a)
    {
        if (a && KeyRecordText(a->Table, text_)) table_ = &a->Table;
        if (table_) table_->Record.swap(text_);
    }
    ~TKeyRecordText()
    {
        if (table_) table_->Record.swap(text_);
    }
    TKeyRecordText(const TKeyRecordText&) = delete;
    TKeyRecordText& operator=(const TKeyRecordText&) = delete;
    bool InPlace() const { return table_ != nullptr; }

private:
    TDbfTable* table_ = nullptr;
    std::vector<char> text_;
};

}  // namespace

void MakeKey(TNdxOrder& o, std::uint8_t* key)
{
    TWorkArea* a = WorkArea(o.Index->AreaNo);
    TKeyRecordText record(o.KeyType == 'C' ? a : nullptr);
    CurrentExpression() = o.Key.Expr;
    const void* value = XfParserHooks().EvaluateCurrent ? XfParserHooks().EvaluateCurrent() : Evaluate(o.Key.Expr);
    CurrentExpression() = nullptr;
    switch (o.KeyType) {
    case 'C': {
        const char* text = static_cast<const char*>(value);
        const std::size_t n = text ? strnlen(text, static_cast<std::size_t>(o.KeyLength)) : 0;
        if (n) std::memcpy(key, text, n);
        std::memset(key + n, ' ', static_cast<std::size_t>(o.KeyLength) - n);
        // The expression saw the record's text as read; the tag holds the file's. A
        // record holding characters the program's text lacks was seen through the
        // lossless pair and goes back through it.
        char* bytes = reinterpret_cast<char*>(key);
        if (record.InPlace()) XfAnsiToOemWholeBuff(bytes, n);
        else if (a && a->Table.Language == 1) XfAnsiToOemBuff(bytes, n);
        break;
    }
    case 'D': {
        const double number = value ? *static_cast<const double*>(value) : kBlankDateNumber;
        std::memcpy(key, &number, 8);
        break;
    }
    default: {
        TBcdKey bcd;
        if (!IntegerFieldKey(o, bcd)) BcdKeyFromFloat(bcd, o.Decimals, value ? *static_cast<const double*>(value) : 0.0);
        std::memcpy(key, bcd.data(), 12);
        break;
    }
    }
}

bool PassesFor(TNdxOrder& o) { return !o.For.Expr || XfParserHooks().Condition(o.For.Expr); }

namespace {

// The texts of a tag header, each required to end within its field.
std::string HeaderText(const TNdxOrder& o, int offset, const char* what)
{
    const auto* start = reinterpret_cast<const char*>(o.Header.data() + offset);
    const std::size_t n = strnlen(start, kMaxIndexExpression);
    if (n == kMaxIndexExpression)
        Fail(222, "Invalid dBASE key expression or corrupted index file " + o.Index->FileName + " (" + what +
                      " not terminated) [OpenIndex/Set_Index_To]");
    return std::string(start, n);
}

PXfExpr CompileQuietly(const std::string& text)
{
    TXfErrorState& errors = XfErrors();
    const std::uint16_t last = errors.LastError;
    PXfExpr e;
    {
        TXfDeferErrors deferred;
        e = AssignExpr(text);
    }
    errors.LastError = last;
    errors.PendingError = 0;
    errors.Context.clear();
    return e;
}

}  // namespace

void PrepareOrder(TNdxOrder& o, bool atOpen)
{
    const std::string corrupt = "Invalid dBASE key expression or corrupted index file " + o.Index->FileName + " [OpenIndex/Set_Index_To]";
    const std::uint8_t* h = o.Header.data();
    const std::string keyText = HeaderText(o, thKeyExpr, "key expression");
    const std::string forText = HeaderText(o, thForExpr, "FOR condition");
    const int keyLength = Get16(h + thKeyLength);
    if (keyLength < 1 || keyLength > kMaxKeyLength)
        Fail(266, "Incorrect key length: Must be 1 to 100. " + o.Index->FileName + " [OpenIndex/Set_Index_To]");
    const char stored = static_cast<char>(h[thType]);
    if (stored != 'C' && stored != 'D' && stored != 'N' && stored != 'F') Fail(222, corrupt);
    if ((stored == 'D' && keyLength != 8) || ((stored == 'N' || stored == 'F') && keyLength != 12))
        Fail(266, "Incorrect key length: Must be 1 to 100. " + o.Index->FileName + " [OpenIndex/Set_Index_To]");
    const int entryLength = 4 + (keyLength + 3) / 4 * 4;
    if (Get16(h + thEntryLength) != entryLength) Fail(222, corrupt);
    const int maxKeys = Get16(h + thMaxKeys);
    if (maxKeys < 1 || maxKeys > (kIndexNodeSize - 12) / entryLength) Fail(222, corrupt);
    PXfExpr key = atOpen ? CompileQuietly(keyText) : AssignExpr(keyText);
    o.Key.Expr = key;
    if (!key) Fail(222, corrupt);
    const char type = key->ResultType;
    if (type != (stored == 'F' ? 'N' : stored)) Fail(222, corrupt);
    if (!forText.empty()) {
        o.For.Expr = atOpen ? CompileQuietly(forText) : AssignExpr(forText);
        if (!o.For.Expr || o.For.Expr->ResultType != 'L') Fail(222, corrupt);
    }
    o.KeyType = type;
    o.KeyLength = keyLength;
    o.EntryLength = entryLength;
    o.MaxKeys = maxKeys;
    o.Decimals = key->ResultDecimals;
    o.NumberWidth = key->ResultLength;
    o.Descending = (h[thFormat] & 0x08) != 0;
    o.Unique = h[thUnique] != 0;
    o.SavedKey.assign(static_cast<std::size_t>(keyLength), type == 'C' ? ' ' : 0);
    if (o.Stamp == 0) o.Stamp = ++State().NextStamp;
}

// The re-read of every open tag's header after another program changed the index.
void ReadAnchorNodes(TNdxArea& index)
{
    index.File.Size(index.FileSize);
    for (auto& order : index.Orders) {
        if (!order) continue;
        std::array<std::uint8_t, kIndexNodeSize> header {};
        std::size_t got = 0;
        int code = index.File.ReadAt(static_cast<std::int64_t>(order->HeaderBlock) * 512, header.data(), kTagHeaderRead, got);
        if (code == 0 && got < static_cast<std::size_t>(kTagHeaderRead)) code = kDosDiskReadError;
        if (code) Fail(static_cast<std::uint16_t>(code), "Error reading index file:  " + order->Text() + " [ReadAnchorNodes]");
        if (Get16(header.data() + thKeyLength) != order->KeyLength || Get16(header.data() + thEntryLength) != order->EntryLength ||
            Get16(header.data() + thMaxKeys) != order->MaxKeys)
            Fail(254, "Index file corrupted: the tag changed its key " + order->Text() + " [ReadAnchorNodes]");
        std::memcpy(order->Header.data(), header.data(), kTagHeaderRead);
        ResetPath(*order);
    }
    State().PathOwner = 0;
}

bool ChangedByOthers(TNdxArea& index)
{
    const auto& changed = XfIndexSemaphoreCalls().IndexChanged;
    if (!changed || !changed()) return false;
    ReadAnchorNodes(index);
    return true;
}

void AreaToEof(TWorkArea& a, TNdxOrder* controlling)
{
    dbf4::Phantom(a);
    if (controlling) {
        controlling->Eof = true;
        ToNowhere(*controlling);
    }
}

}  // namespace ndx

using namespace ndx;

namespace {

TNdxArea* NeedIndex(TWorkArea* a, const std::string& tag)
{
    TNdxArea* index = CurrentIndex();
    if (!index || !index->AnyOrder()) {
        DbfRaiseError(221, "Index not open. (DBF=" + (a ? a->Table.FileName : std::string()) + ") [" + tag + "]");
        return nullptr;
    }
    return index;
}

// A record number taken from a leaf: inside the table, or the file is damaged.
std::int32_t CheckedRecord(TWorkArea& a, const TNdxOrder& o, std::int32_t record)
{
    if (record >= 1 && record <= a.Table.RecordCount) return record;
    dbf4::Recount(a);
    if (record >= 1 && record <= a.Table.RecordCount) return record;
    Fail(254, "Index file corrupted: record " + std::to_string(record) + " is not in the table " + o.Text() + " [GetNode]");
}

std::string FindFileNoCase(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return path;
    const std::filesystem::path p(path);
    const std::filesystem::path folder = p.has_parent_path() ? p.parent_path() : std::filesystem::path(".");
    const std::string wanted = p.filename().string();
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (rtl::SameText(entry.path().filename().string(), wanted)) return entry.path().string();
    }
    return path;
}

// The controlling order back on the area's current record after its path went stale.
void Resync(TWorkArea& a, TNdxOrder& o, const char* tag)
{
    const std::int32_t record = a.Table.CurrentRecord;
    std::vector<std::uint8_t> key = o.SavedKey;
    bool found = SeekKey(o, key.data());
    if (found && !o.Unique) {
        while (EntryRecord(o) != record) {
            if (!StepNext(o) || o.Compare(EntryKey(o), key.data()) != 0) {
                key = o.SavedKey;
                SeekKey(o, key.data());
                Fail(254, std::string(" [") + tag + "]");
            }
        }
    }
    if (!found && !o.Eof && o.Path.empty()) Fail(254, std::string(" [") + tag + "]");
}

std::int32_t FirstOrLast(bool last)
{
    const char* tag = last ? "_FindLastRec" : "_FindFirstRec";
    TWorkArea* a = dbf4::Need(tag);
    if (!a) return 0;
    TNdxArea* index = NeedIndex(a, "_FindFirst/LastRec");
    if (!index) return 0;
    const std::int32_t count = a->Table.RecordCount;
    if (index->Natural) {
        State().Found = count > 0;
        return last ? std::max(count, 1) : 1;
    }
    return Guarded<std::int32_t>(0, [&] {
        dbf4::TSemaphoreScope read(true, false);
        ChangedByOthers(*index);
        TNdxOrder& o = *index->ControllingOrder();
        if (count == 0 || !o.KeysPresent() || !RootHasKeys(o)) {
            o.Bof = o.Eof = true;
            ToNowhere(o);
            o.Positioned = true;
            return count + 1;
        }
        ResetPath(o);
        TakePath(o);
        if (!DescendEdge(o, o.Root(), last)) {
            o.Bof = o.Eof = true;
            ToNowhere(o);
            return count + 1;
        }
        o.Nowhere = false;
        o.Bof = o.Eof = false;
        o.Positioned = true;
        State().Found = 1;
        SaveEntryKey(o);
        return CheckedRecord(*a, o, EntryRecord(o));
    });
}

// A step of the controlling order from a record its FOR condition leaves out, the
// order put back where the key saved when the area came to the record stands:
// forward the first entry at or after that key, backward the last at or before
// it, so that no record the order shows is passed over (an entry of the record
// itself, which a copy read ahead may show out of the order, is passed). The
// current record itself when there is none (the step ends there).
std::int32_t StepFromSavedKey(TWorkArea& a, TNdxOrder& o, bool forward)
{
    TDbfTable& t = a.Table;
    std::vector<std::uint8_t> key = o.SavedKey;
    SeekKey(o, key.data());
    if (o.Nowhere || o.Path.empty()) {
        o.Bof = o.Eof = true;
        ToNowhere(o);
        return t.RecordCount + 1;
    }
    if (forward) {
        if (o.Eof || (EntryRecord(o) == t.CurrentRecord && !StepNext(o))) {
            o.Eof = true;
            return t.CurrentRecord;
        }
    } else {
        // Past the entries equal to the key (the search stands on the first), then one
        // back; with none after the key the search already stands on the last entry.
        bool after = !o.Eof;
        while (after && o.Compare(EntryKey(o), o.SavedKey.data()) == 0) after = StepNext(o);
        bool any = !after || StepPrior(o);
        if (any && EntryRecord(o) == t.CurrentRecord) any = StepPrior(o);
        if (!any) {
            o.Bof = true;
            return t.CurrentRecord;
        }
        o.Eof = false;
    }
    State().Found = 1;
    SaveEntryKey(o);
    return CheckedRecord(a, o, EntryRecord(o));
}

std::int32_t Step(bool forward)
{
    const char* tag = forward ? "_FindNextRec" : "_FindPriorRec";
    State().Found = 0;
    TWorkArea* a = dbf4::Need(tag);
    if (!a) return 0;
    TNdxArea* index = NeedIndex(a, tag);
    if (!index) return 0;
    TDbfTable& t = a->Table;
    return Guarded<std::int32_t>(0, [&]() -> std::int32_t {
        dbf4::TSemaphoreScope read(!index->Natural, false);
        if (ChangedByOthers(*index) && !index->Natural) {
            dbf4::Recount(*a);
            if (t.CurrentRecord > t.RecordCount) {
                AreaToEof(*a, index->ControllingOrder());
            } else {
                // The record as the file holds it now, not as it was read ahead.
                DropReadAhead(t);
                dbf4::ReadRecord(*a, t.CurrentRecord);
                SoftSyncIndex();
            }
        }
        // Record order reaches what others appended past the count this area knows.
        if (index->Natural && forward && t.CurrentRecord >= t.RecordCount) dbf4::Recount(*a);
        const std::int32_t count = t.RecordCount;
        if (index->Natural) {
            if (forward) {
                if (t.CurrentRecord < count) return t.CurrentRecord + 1;
                t.Eof = true;
            } else {
                if (t.CurrentRecord > 1) return t.CurrentRecord - 1;
                t.Bof = true;
            }
            return t.CurrentRecord;
        }
        TNdxOrder& o = *index->ControllingOrder();
        if (count == 0 || !o.KeysPresent()) {
            o.Bof = o.Eof = true;
            ToNowhere(o);
            return count + 1;
        }
        const bool current = State().PathOwner == o.Stamp && !o.Nowhere && !o.Path.empty();
        // The order does not stand on the record, which its FOR condition leaves out:
        // another user took it out, or it was reached by its number.
        if (!(current && EntryRecord(o) == t.CurrentRecord) && o.For.Expr && t.CurrentRecord >= 1 && t.CurrentRecord <= count &&
            !PassesFor(o))
            return StepFromSavedKey(*a, o, forward);
        if (forward) {
            o.Bof = false;
            if (o.Eof) {
                ResetPath(o);
                TakePath(o);
                const bool any = DescendEdge(o, o.Root(), true);
                const std::int32_t record = any ? EntryRecord(o) : count + 1;
                ToNowhere(o);
                return record;
            }
            if (!current) Resync(*a, o, tag);
            if (!StepNext(o)) {
                o.Eof = true;
                return CheckedRecord(*a, o, EntryRecord(o));
            }
        } else {
            if (o.Eof || o.Nowhere || t.CurrentRecord > count) {
                ResetPath(o);
                TakePath(o);
                if (!DescendEdge(o, o.Root(), true)) {
                    o.Bof = o.Eof = true;
                    ToNowhere(o);
                    return count + 1;
                }
                o.Nowhere = false;
                o.Eof = false;
                State().Found = 1;
                SaveEntryKey(o);
                return CheckedRecord(*a, o, EntryRecord(o));
            }
            if (o.Bof) return CheckedRecord(*a, o, EntryRecord(o));
            if (!current) Resync(*a, o, tag);
            if (!StepPrior(o)) {
                o.Bof = true;
                return CheckedRecord(*a, o, EntryRecord(o));
            }
        }
        State().Found = 1;
        SaveEntryKey(o);
        return CheckedRecord(*a, o, EntryRecord(o));
    });
}

void BuildSearchKey(const TWorkArea& a, const TNdxOrder& o, std::string_view text, std::vector<std::uint8_t>& key)
{
    key.assign(static_cast<std::size_t>(o.KeyLength), 0);
    switch (o.KeyType) {
    case 'C': {
        std::string value(text);
        // The program's text, made OEM as a write of it would store it.
        if (a.Table.Language == 1) value = AnsiToOemStr(value);
        if (value.size() > key.size()) value.resize(key.size());
        std::uint8_t pad = State().Exact ? ' ' : 0;
        if (o.Descending) pad = 0xFE;
        std::fill(key.begin(), key.end(), pad);
        if (State().Exact && o.Descending) std::fill(key.begin() + static_cast<std::ptrdiff_t>(value.size()), key.end(), ' ');
        std::memcpy(key.data(), value.data(), value.size());
        break;
    }
    case 'D': {
        const double number = DateNumberFromText(text);
        std::memcpy(key.data(), &number, 8);
        break;
    }
    default: {
        TBcdKey bcd;
        BcdKeyFromText(bcd, text, o.Decimals);
        std::memcpy(key.data(), bcd.data(), 12);
        break;
    }
    }
}

bool KeysMatch(const TNdxOrder& o, const std::uint8_t* entry, const std::vector<std::uint8_t>& key, std::size_t textLength)
{
    if (o.KeyType != 'C') return o.Compare(entry, key.data()) == 0;
    std::size_t length = static_cast<std::size_t>(o.KeyLength);
    if (!State().Exact && textLength < length) length = textLength;
    return std::memcmp(entry, key.data(), length) == 0;
}

bool OpenTag(TNdxArea& index, int n)
{
    auto order = std::make_unique<TNdxOrder>();
    TNdxOrder& o = *order;
    o.Index = &index;
    o.TagNo = n;
    const std::uint8_t* entry = index.Header.data() + hdTagTable + hdTagEntry * n;
    const std::int32_t block = static_cast<std::int32_t>(Get32(entry));
    const std::string corrupt = "Invalid dBASE key expression or corrupted index file " + index.FileName + " [OpenIndex/Set_Index_To]";
    if (block < kIndexHeaderSize / 512 || static_cast<std::int64_t>(block) * 512 + kTagHeaderRead > index.FileSize)
        Fail(222, corrupt);
    o.HeaderBlock = block;
    o.Name = std::string(reinterpret_cast<const char*>(entry + 4), strnlen(reinterpret_cast<const char*>(entry + 4), 10));
    std::size_t got = 0;
    if (index.File.ReadAt(static_cast<std::int64_t>(block) * 512, o.Header.data(), kTagHeaderRead, got) != 0 ||
        got < static_cast<std::size_t>(kTagHeaderRead))
        Fail(222, corrupt);
    PrepareOrder(o, true);
    const std::int32_t root = o.Root();
    if (root < kIndexHeaderSize / 512 || static_cast<std::int64_t>(root) * 512 + kIndexNodeSize > index.FileSize) Fail(222, corrupt);
    index.Orders[static_cast<std::size_t>(n)] = std::move(order);
    return true;
}

}  // namespace

// ---- opening ---------------------------------------------------------------------

TXfIndexSemaphoreCalls& XfIndexSemaphoreCalls()
{
    static TXfIndexSemaphoreCalls calls;
    return calls;
}

TXfIndexSettings& XfIndexSettings()
{
    static TXfIndexSettings settings;
    return settings;
}

std::string ndx::IndexPathFor(const TWorkArea& a, const std::string& name)
{
    std::string folder, base, ext;
    SplitFileName(a.Table.FileName, folder, base, ext);
    if (AllTrimStr(name).empty()) return FindFileNoCase(folder + base + ".MDX");
    std::string given = ForceExtension(AllTrimStr(name), "MDX");
    std::string givenFolder, givenBase, givenExt;
    SplitFileName(given, givenFolder, givenBase, givenExt);
    if (givenFolder.empty()) given = folder + given;
    return FindFileNoCase(given);
}

bool SetIndexTo(const std::string& name)
{
    TWorkArea* a = dbf4::Need("SetIndexTo");
    if (!a) return false;
    const std::string path = IndexPathFor(*a, name);
    CloseIndex();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        DbfRaiseError(kDosFileNotFound, "SetIndexTo(" + name + ")");
        return false;
    }
    const std::uint16_t mode = XfIndexSettings().OpenMode;
    if (dbf4::Shared(*a) && (mode == 65535 || (mode & 0x40))) {
        const auto& login = XfIndexSemaphoreCalls().Login;
        if (login && !login()) return false;
        EnsureIndex().LoggedIn = true;
    }
    return OpenIndex(path);
}

bool OpenIndex(const std::string& name)
{
    TWorkArea* a = dbf4::Need("OpenIndex/Set_Index_To");
    if (!a) return false;
    TNdxArea& index = FreshIndex(name);
    const std::string unable = "Unable to open index: " + name + " [OpenIndex/Set_Index_To]";
    std::uint8_t mode = fmOpenReadWrite;
    if (dbf4::Shared(*a)) mode = fmOpenReadWrite | fmShareDenyNone;
    if (XfIndexSettings().OpenMode != 65535) mode = static_cast<std::uint8_t>(XfIndexSettings().OpenMode & 0xFF);
    const bool opened = Guarded<bool>(false, [&] {
        if (index.File.Open(name, mode) != 0) Fail(222, unable);
        // The size, the headers and the roots are read as one writer left them.
        dbf4::TSemaphoreScope read(true, false);
        if (index.File.Size(index.FileSize) != 0 || index.FileSize < kIndexHeaderSize + kIndexNodeSize) Fail(222, unable);
        std::size_t got = 0;
        if (index.File.ReadAt(0, index.Header.data(), index.Header.size(), got) != 0 || got < index.Header.size()) Fail(222, unable);
        const std::string corrupt = "Invalid dBASE key expression or corrupted index file " + name + " [OpenIndex/Set_Index_To]";
        if (index.TagCount() > kMaxIndexTags || Get16(index.Header.data() + 22) != kIndexNodeSize ||
            index.Header[26] != hdTagEntry)
            Fail(222, corrupt);
        for (int n = 1; n <= index.TagCount(); ++n) OpenTag(index, n);
        return true;
    });
    if (!opened) {
        const bool loggedIn = index.LoggedIn;
        DropIndex();
        if (loggedIn && XfIndexSemaphoreCalls().Logout) XfIndexSemaphoreCalls().Logout();
        return false;
    }
    index.Controlling = 1;
    index.Natural = false;
    if (!index.AnyOrder()) return true;
    if (a->Table.RecordCount > 0) {
        GoTop();
        SaveCurrentKeys(false, kMaxIndexTags);
    } else {
        for (auto& order : index.Orders) {
            if (!order) continue;
            order->Bof = order->Eof = true;
            ToNowhere(*order);
        }
        SaveCurrentKeys(false, kMaxIndexTags);
    }
    return true;
}

void OpenProductionIndex()
{
    if (HasProductionIndex()) SetIndexTo("");
}

bool IndexOpenTest()
{
    const TNdxArea* index = CurrentIndex();
    return index && index->AnyOrder();
}

std::string IndexFileName()
{
    const TNdxArea* index = CurrentIndex();
    return index ? index->FileName : std::string();
}

int IndexTagCount()
{
    const TNdxArea* index = CurrentIndex();
    return index ? index->TagCount() : 0;
}

// ---- orders ----------------------------------------------------------------------

void Set_Order_To(int n)
{
    TWorkArea* a = dbf4::Need("Set_Order_To");
    if (!a) return;
    const std::string tag = " [Set_Order_To(" + std::to_string(n) + ")]";
    TNdxArea* index = CurrentIndex();
    if (!index || !index->AnyOrder()) {
        DbfRaiseError(221, "Index not open. (DBF=" + TableName(*a) + ")" + tag);
        return;
    }
    if (n == 0) {
        index->Natural = true;
        return;
    }
    if (n < 0 || n > index->TagCount()) {
        DbfRaiseError(220, "Invalid Index Order Specified: SET_ORDER_TO." + tag + " (DBF=" + TableName(*a) + ")");
        return;
    }
    if (!index->Order(n)) {
        DbfRaiseError(221, "Index not open.. (DBF=" + TableName(*a) + ")" + tag);
        return;
    }
    if (n == index->Controlling && !index->Natural) return;
    const std::uint8_t found = State().Found;
    Guarded<bool>(false, [&] {
        dbf4::TSemaphoreScope read(true, false);
        index->Natural = false;
        TDbfTable& t = a->Table;
        if (t.CurrentRecord >= 1 && t.CurrentRecord <= t.RecordCount) dbf4::ReadRecord(*a, t.CurrentRecord);
        const TNdxOrder* old = index->ControllingOrder();
        const bool oldAtEof = old && old->Eof;
        index->Controlling = n;
        State().PathOwner = 0;
        if (oldAtEof) AreaToEof(*a, index->ControllingOrder());
        SyncIndex(true);
        SaveCurrentKeys(false, 1);
        return true;
    });
    State().Found = found;
}

bool SetOrderToTag(std::string_view name)
{
    TWorkArea* a = dbf4::Need("SetOrderToTag");
    if (!a) return false;
    std::string wanted = UpperCaseStr(AllTrimStr(name));
    if (wanted.size() > 10) wanted.resize(10);
    const std::string tag = " [SetOrderToTag(" + std::string(name) + ")]";
    TNdxArea* index = CurrentIndex();
    if (!index || !index->AnyOrder()) {
        DbfRaiseError(221, "Index not open. (DBF=" + TableName(*a) + ")" + tag);
        return false;
    }
    if (wanted.empty()) {
        Set_Order_To(0);
        return true;
    }
    for (int n = 1; n <= index->TagCount(); ++n) {
        const TNdxOrder* o = index->Order(n);
        if (o && UpperCaseStr(o->Name).compare(0, wanted.size(), wanted) == 0) {
            Set_Order_To(n);
            return XfErrors().LastError == 0 || CurrentOrder() == n;
        }
    }
    DbfRaiseError(220, "Invalid Index Order Specified: SET_ORDER_TO." + tag + " (DBF=" + TableName(*a) + ")");
    return false;
}

int CurrentOrder()
{
    const TNdxArea* index = CurrentIndex();
    if (!index || !index->AnyOrder() || index->Natural) return 0;
    return index->Controlling;
}

// ---- search --------------------------------------------------------------------

void Find(std::string_view key)
{
    if (key.size() > kMaxKeyLength) key = key.substr(0, kMaxKeyLength);
    State().Found = 0;
    TWorkArea* a = dbf4::Need("Find");
    if (!a) return;
    TNdxArea* index = NeedIndex(a, "Find");
    if (!index) return;
    if (index->Natural) {
        DbfRaiseError(254, "Cannot use Find() with index order 0 (natural order) [Find]");
        return;
    }
    if (key.empty()) return;
    Guarded<bool>(false, [&] {
        dbf4::TSemaphoreScope read(true, false);
        ChangedByOthers(*index);
        TNdxOrder& o = *index->ControllingOrder();
        dbf4::Recount(*a);
        if (a->Table.RecordCount == 0 || !o.KeysPresent()) {
            AreaToEof(*a, &o);
            o.Bof = true;
            return false;
        }
        std::vector<std::uint8_t> search;
        BuildSearchKey(*a, o, key, search);
        const std::size_t textLength = std::min(key.size(), static_cast<std::size_t>(o.KeyLength));
        SeekKey(o, search.data());
        o.Positioned = true;
        if (o.Nowhere) {
            AreaToEof(*a, &o);
            return false;
        }
        std::int32_t record = CheckedRecord(*a, o, EntryRecord(o));
        if (!o.Eof) {
            dbf4::ReadRecord(*a, record);
            while (!dbf4::Accepted(*a) && !o.Eof) {
                if (!StepNext(o)) {
                    o.Eof = true;
                    break;
                }
                record = CheckedRecord(*a, o, EntryRecord(o));
                dbf4::ReadRecord(*a, record);
            }
        }
        SaveEntryKey(o);
        const bool found = !o.Eof && KeysMatch(o, EntryKey(o), search, textLength);
        if (!found) {
            AreaToEof(*a, &o);
            return false;
        }
        State().Found = 1;
        SaveCurrentKeys(false, 1);
        return true;
    });
}

void FindExact(std::string_view key)
{
    const bool previous = ExactFindOn();
    struct Restore {
        bool previous;
        ~Restore() { State().Exact = previous; }
    } restore {previous};
    Find(key);
}

bool ExactFindOn() { return std::exchange(State().Exact, true); }
bool ExactFindOff() { return std::exchange(State().Exact, false); }
bool IndexFound() { return State().Found != 0; }

std::int32_t FindFirstRec() { return FirstOrLast(false); }
std::int32_t FindLastRec() { return FirstOrLast(true); }
std::int32_t _FindNextRec() { return Step(true); }
std::int32_t _FindPriorRec() { return Step(false); }

bool IndexBof()
{
    const TNdxArea* index = CurrentIndex();
    const TNdxOrder* o = index && !index->Natural ? index->ControllingOrder() : nullptr;
    if (o) return o->Bof;
    const TWorkArea* a = dbf4::Current();
    return !a || a->Table.Bof;
}

bool IndexEof()
{
    const TNdxArea* index = CurrentIndex();
    const TNdxOrder* o = index && !index->Natural ? index->ControllingOrder() : nullptr;
    if (o) return o->Eof;
    const TWorkArea* a = dbf4::Current();
    return !a || a->Table.Eof;
}

void SetIndexBof()
{
    TNdxArea* index = CurrentIndex();
    if (TNdxOrder* o = index ? index->ControllingOrder() : nullptr) o->Bof = true;
}

void SetIndexEof()
{
    TNdxArea* index = CurrentIndex();
    if (TNdxOrder* o = index ? index->ControllingOrder() : nullptr) o->Eof = true;
}

// ---- tags ------------------------------------------------------------------------

std::string OrderName(int n)
{
    const TNdxArea* index = CurrentIndex();
    const TNdxOrder* o = index ? index->Order(n) : nullptr;
    return o ? o->Text() : std::string();
}

bool IsAscending(int n)
{
    const TNdxArea* index = CurrentIndex();
    const TNdxOrder* o = index ? index->Order(n) : nullptr;
    return !o || !o->Descending;
}

bool IsSoundexKey(int) { return false; }

std::string CurrentKeyText(int n)
{
    TNdxArea* index = CurrentIndex();
    TNdxOrder* o = index ? index->Order(n) : nullptr;
    const TWorkArea* a = dbf4::Current();
    if (!o || !a) return {};
    CurrentExpression() = o->Key.Expr;
    const void* value = XfParserHooks().EvaluateCurrent ? XfParserHooks().EvaluateCurrent() : Evaluate(o->Key.Expr);
    CurrentExpression() = nullptr;
    if (!value) return {};
    switch (o->KeyType) {
    case 'C': {
        const char* text = static_cast<const char*>(value);
        std::string key(text, strnlen(text, static_cast<std::size_t>(o->KeyLength)));
        key.resize(static_cast<std::size_t>(o->KeyLength), ' ');
        return key;
    }
    case 'D': return DateTextFromNumber(*static_cast<const double*>(value));
    default: {
        std::string text = expr::FixedText(*static_cast<const double*>(value), o->Decimals);
        if (text.size() < o->NumberWidth) text.insert(0, o->NumberWidth - text.size(), ' ');
        return text;
    }
    }
}

std::function<std::string()> GetKeyTextProc(int n)
{
    const TNdxArea* index = CurrentIndex();
    if (!index || !index->Order(n)) return nullptr;
    return [n] { return CurrentKeyText(n); };
}

std::function<std::string()> GetFirstKeyTextProc()
{
    const int order = CurrentOrder();
    if (order > 0) return GetKeyTextProc(order);
    return [] {
        std::string number = std::to_string(RecNo());
        if (number.size() < 10) number.insert(0, 10 - number.size(), ' ');
        return "Rec:" + number;
    };
}

void ListIndexTags(const std::string& tableFileName, std::vector<std::string>& list)
{
    const std::string path = FindFileNoCase(ForceExtension(tableFileName, "MDX"));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return;
    TNdxArea index;
    index.FileName = path;
    Guarded<bool>(false, [&] {
        const std::string corrupt = "Invalid dBASE key expression or corrupted index file " + path + " [ListIndexTags]";
        if (index.File.Open(path, fmOpenRead | fmShareDenyNone) != 0) Fail(222, "Unable to open index: " + path + " [ListIndexTags]");
        std::size_t got = 0;
        if (index.File.Size(index.FileSize) != 0 || index.File.ReadAt(0, index.Header.data(), index.Header.size(), got) != 0 ||
            got < index.Header.size() || index.TagCount() > kMaxIndexTags)
            Fail(222, corrupt);
        for (int n = 1; n <= index.TagCount(); ++n) {
            TNdxOrder o;
            o.Index = &index;
            const std::uint8_t* entry = index.Header.data() + hdTagTable + hdTagEntry * n;
            const std::int64_t block = Get32(entry);
            if (block < kIndexHeaderSize / 512 || index.File.ReadAt(block * 512, o.Header.data(), kTagHeaderRead, got) != 0 ||
                got < static_cast<std::size_t>(kTagHeaderRead))
                Fail(222, corrupt);
            std::string name(reinterpret_cast<const char*>(entry + 4), strnlen(reinterpret_cast<const char*>(entry + 4), 11));
            if (name.size() > 20) name.resize(20);
            const std::string key = HeaderText(o, thKeyExpr, "key expression");
            const std::string condition = HeaderText(o, thForExpr, "FOR condition");
            list.push_back(name + ((o.Header[thFormat] & 0x08) ? ",T," : ",F,") + (o.Header[thUnique] ? "T," : "F,") + key);
            list.push_back(condition);
        }
        return true;
    });
}

// ---- the hook table --------------------------------------------------------------

namespace {

// Steps that meet an engine error answer 0 (the error stays in the last error).
std::function<std::int32_t()> Quiet(std::int32_t (*f)())
{
    return [f]() -> std::int32_t {
        try {
            return f();
        } catch (const EXfError&) {
            return 0;
        }
    };
}

}  // namespace

void IndexInit()
{
    TState& state = State();
    if (state.Initialised) {
        DbfRaiseError(254, "ERROR: BOTH INDEX4 and XFNDX units linked in. [IndexInit]");
        return;
    }
    state.Initialised = true;
    for (auto& area : state.Areas) area.reset();
    state.Exact = false;
    state.Found = 0;
    TXfIndexHooks& hooks = XfIndexHooks();
    hooks.IndexOpenTest = IndexOpenTest;
    hooks.SyncIndex = [](int all) { SyncIndex(all != 0); };
    hooks.FindNextRec = Quiet(_FindNextRec);
    hooks.FindPriorRec = Quiet(_FindPriorRec);
    hooks.FindFirstRec = Quiet(FindFirstRec);
    hooks.FindLastRec = Quiet(FindLastRec);
    hooks.IndexEof = IndexEof;
    hooks.IndexBof = IndexBof;
    hooks.SaveCurrentKeys = [](int count) { SaveCurrentKeys(false, count); };
    hooks.AppendNewKey = AppendNewKey;
    hooks.KeysAfterReplace = KeysAfterReplace;
    hooks.SyncAndSaveKeys = [] {
        if (TNdxArea* index = CurrentIndex(); index && dbf4::Current()) {
            Guarded<bool>(false, [&] {
                StartAreaChange(*dbf4::Current(), *index);
                return true;
            });
        }
        SyncIndex(false);
        SaveCurrentKeys(true, kMaxIndexTags);
    };
    hooks.SetIndexBof = SetIndexBof;
    hooks.SetIndexEof = SetIndexEof;
    hooks.Found = &state.Found;
    hooks.Reindex = Reindex;
    hooks.CloseIndex = CloseIndex;
    hooks.OpenProductionIndex = OpenProductionIndex;
    hooks.OrderName = OrderName;
    hooks.GetKeyTextProc = CurrentKeyText;
    hooks.GetFirstKeyTextProc = [] {
        const auto proc = GetFirstKeyTextProc();
        return proc ? proc() : std::string();
    };
    hooks.IsAscending = IsAscending;
    hooks.IsSoundexKey = IsSoundexKey;
}

namespace {
// Installed when the index unit is part of the program.
const bool kInstalled = (IndexInit(), true);
}  // namespace

}  // namespace xf
