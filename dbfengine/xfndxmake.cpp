// Creating index files and tags, rebuilding them, positioning the orders on the
// current record and closing.

#include <algorithm>
#include <filesystem>

#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndx.h"
#include "dbfengine/xfndxInternal.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfutils.h"

namespace xf {

using namespace ndx;

namespace ndx {

void WriteFileHeader(TNdxArea& index)
{
    if (const int code = index.File.WriteAt(0, index.Header.data(), index.Header.size()))
        Fail(static_cast<std::uint16_t>(code), "Error writing index file: " + index.FileName + " [WriteHeader]");
    index.HeaderChanged = false;
}

void WriteBlock(const TNdxOrder& o, std::int32_t block, const TNode& node)
{
    if (const int code = o.Index->File.WriteAt(static_cast<std::int64_t>(block) * 512, node.data(), node.size()))
        Fail(static_cast<std::uint16_t>(code), "Error writing index file: " + o.Text() + " [SeekAndWrite]");
}

void WriteAnchor(TNdxOrder& o)
{
    if (const int code = o.Index->File.WriteAt(static_cast<std::int64_t>(o.HeaderBlock) * 512, o.Header.data(), kTagHeaderRead))
        Fail(static_cast<std::uint16_t>(code), "Error writing index file:  " + o.Text() + " [WriteAnchor]");
    o.HeaderChanged = false;
}

}  // namespace ndx

namespace {

void PutDate(std::uint8_t* p)
{
    std::uint16_t year, month, day, dow;
    GetTodayParts(year, month, day, dow);
    p[0] = static_cast<std::uint8_t>(year - 1900);
    p[1] = static_cast<std::uint8_t>(month);
    p[2] = static_cast<std::uint8_t>(day);
}

// The tag names as a binary tree threaded through the tag table: entry 1 is the
// root, each further entry hangs left of a greater name and right otherwise.
void RebuildThreads(TNdxArea& index)
{
    std::uint8_t* table = index.Header.data() + hdTagTable;
    const int count = index.TagCount();
    for (int n = 0; n <= count; ++n) std::memset(table + hdTagEntry * n + 16, 0, 3);
    for (int n = 2; n <= count; ++n) {
        std::uint8_t* entry = table + hdTagEntry * n;
        int at = 1;
        while (true) {
            std::uint8_t* visited = table + hdTagEntry * at;
            const int side = std::memcmp(entry + 4, visited + 4, 11) < 0 ? 16 : 17;
            if (visited[side] == 0) {
                visited[side] = static_cast<std::uint8_t>(n);
                entry[18] = static_cast<std::uint8_t>(at);
                break;
            }
            at = visited[side];
        }
    }
}

std::string KeyDisplay(const TNdxOrder& o, const std::uint8_t* key)
{
    switch (o.KeyType) {
    case 'C': return TrimRightStr(std::string(reinterpret_cast<const char*>(key), static_cast<std::size_t>(o.KeyLength)));
    case 'D': {
        double number;
        std::memcpy(&number, key, 8);
        return DateTextFromNumber(number);
    }
    default: {
        std::string hex;
        static const char digits[] = "0123456789ABCDEF";
        for (int i = 0; i < 12; ++i) {
            hex += digits[key[i] >> 4];
            hex += digits[key[i] & 15];
        }
        return hex;
    }
    }
}

// Orders in the sequence the positioning loops take them: the controlling order
// first, then the others by tag number; `count` 1 is the controlling one alone.
std::vector<TNdxOrder*> OrdersOf(TNdxArea& index, int count)
{
    std::vector<TNdxOrder*> list;
    if (TNdxOrder* o = index.ControllingOrder()) list.push_back(o);
    for (int n = 1; n <= kMaxIndexTags && static_cast<int>(list.size()) < count; ++n) {
        if (n != index.Controlling && index.Orders[static_cast<std::size_t>(n)]) list.push_back(index.Orders[static_cast<std::size_t>(n)].get());
    }
    return list;
}

void PositionOnLast(TNdxOrder& o)
{
    ResetPath(o);
    TakePath(o);
    o.Bof = o.Eof = false;
    o.Nowhere = !DescendEdge(o, o.Root(), true);
}

// Holds a shared table exclusively while an index is built, and shares it again.
class TExclusiveUse {
public:
    explicit TExclusiveUse(TWorkArea& a) : a_(a) {}
    ~TExclusiveUse()
    {
        if (!taken_) return;
        a_.Exclusive = false;
        if (const int code = a_.Table.File.ChangeShareMode(XfDbf4Settings().SharedMode)) {
            TXfDeferErrors deferred;
            DbfRaiseError(static_cast<std::uint16_t>(code), "Cannot_Reopen_Database_Sharable " + a_.Table.FileName);
        }
    }
    TExclusiveUse(const TExclusiveUse&) = delete;
    TExclusiveUse& operator=(const TExclusiveUse&) = delete;

    // False when another program has the table open.
    bool Take()
    {
        if (!dbf4::Shared(a_)) return true;
        if (a_.Table.File.ChangeShareMode(fmOpenReadWrite | fmShareExclusive) != 0) return false;
        a_.Exclusive = true;
        taken_ = true;
        return true;
    }

private:
    TWorkArea& a_;
    bool taken_ = false;
};

// Drops the index being built (and its open file) on every path.
struct TBuildScope {
    ~TBuildScope()
    {
        if (TNdxArea* index = CurrentIndex(); index && !index->AnyOrder()) DropIndex();
    }
};

}  // namespace

// ---- creating --------------------------------------------------------------------

bool CreateMdxHeader(const std::string& name)
{
    TWorkArea* a = dbf4::Need("CreateMdxHeader");
    if (!a) return false;
    TNdxArea& index = FreshIndex(name);
    return Guarded<bool>(false, [&] {
        std::error_code ec;
        if (std::filesystem::exists(name, ec)) {
            if (const int code = index.File.Open(name, fmOpenReadWrite | fmShareExclusive))
                Fail(static_cast<std::uint16_t>(code), "Unable to open index: " + name + " [CreateMdxHeader]");
            std::size_t got = 0;
            if (index.File.ReadAt(0, index.Header.data(), index.Header.size(), got) != 0 || got < index.Header.size() ||
                index.TagCount() > kMaxIndexTags || Get16(index.Header.data() + 22) != kIndexNodeSize)
                Fail(222, "Invalid dBASE key expression or corrupted index file " + name + " [CreateMdxHeader]");
            index.File.Size(index.FileSize);
            return true;
        }
        index.Header.fill(0);
        std::uint8_t* h = index.Header.data();
        h[0] = 2;
        PutDate(h + 1);
        std::string folder, base, ext;
        SplitFileName(a->Table.FileName, folder, base, ext);
        std::memcpy(h + 4, base.data(), std::min<std::size_t>(base.size(), 15));
        Put16(h + 20, 2);
        Put16(h + 22, kIndexNodeSize);
        h[24] = 1;
        h[25] = kMaxIndexTags + 1;
        h[26] = hdTagEntry;
        PutDate(h + 44);
        if (const int code = index.File.Create(name, fmOpenReadWrite | fmShareExclusive))
            Fail(static_cast<std::uint16_t>(code), "Unable to create index: " + name + " [CreateMdxHeader]");
        WriteFileHeader(index);
        index.FileSize = kIndexHeaderSize;
        return true;
    });
}

bool AddIndexTag(const TXfTagDef& def, bool reopen)
{
    XfErrors().LastError = 0;
    TWorkArea* a = dbf4::Need("AddIndexTag()");
    if (!a) return false;
    TNdxArea* index = CurrentIndex();
    if (!index || !index->File.IsOpen()) {
        DbfRaiseError(221, "Index not open. (DBF=" + a->Table.FileName + ") [AddIndexTag()]");
        return false;
    }
    std::string name = UpperCaseStr(AllTrimStr(def.Name));
    if (name.size() > 10) name.resize(10);
    std::string condition = TrimRightStr(def.ForExpr);
    if (!AllTrimStr(condition).empty()) {
        if (const std::uint16_t code = CheckCondition(condition)) {
            DbfRaiseError(code, "Invalid FOR expression for " + name + " [AddIndexTag()]");
            return false;
        }
    } else {
        condition.clear();
    }
    const std::string keyText = TrimRightStr(def.KeyExpr);
    if (keyText.size() > static_cast<std::size_t>(kMaxIndexExpression)) {
        DbfRaiseError(300, "Expression length exceeds 100 bytes [AddIndexTag()]");
        return false;
    }
    if (index->TagCount() >= kMaxIndexTags) {
        DbfRaiseError(254, "No room for a 48th tag in " + index->FileName + " [AddIndexTag()]");
        return false;
    }
    TExprHolder key(AssignExpr(keyText));
    if (!key.Expr) return false;
    TExclusiveUse exclusive(*a);
    if (reopen && !exclusive.Take()) {
        DbfRaiseError(225, a->Table.FileName + " [AddIndexTag()]");
        return false;
    }
    return Guarded<bool>(false, [&] {
        const char type = key.Expr->ResultType;
        if (type != 'C' && type != 'D' && type != 'N') Fail(254, "Wrong parser return type [AddIndexTag()]");
        int keyLength = type == 'D' ? 8 : 12;
        if (type == 'C') {
            keyLength = key.Expr->ResultLength;
            if (keyLength == 0) keyLength = static_cast<int>(EvaluateText(key.Expr).size());
        }
        if (keyLength < 1 || keyLength > kMaxKeyLength) Fail(266, "Incorrect key length: Must be 1 to 100. [AddIndexTag()]");
        auto order = std::make_unique<TNdxOrder>();
        TNdxOrder& o = *order;
        o.Index = index;
        o.Name = name;
        std::uint8_t* h = o.Header.data();
        const int entryLength = 4 + (keyLength + 3) / 4 * 4;
        h[thFormat] = static_cast<std::uint8_t>(0x10 | (def.Descending ? 0x08 : 0) | (def.Unique ? 0x40 : 0));
        h[thType] = static_cast<std::uint8_t>(type);
        Put16(h + thKeyLength, static_cast<std::uint16_t>(keyLength));
        Put16(h + thMaxKeys, static_cast<std::uint16_t>((kIndexNodeSize - 12) / entryLength));
        Put16(h + thDateFlag, type == 'D' ? 1 : 0);
        Put16(h + thEntryLength, static_cast<std::uint16_t>(entryLength));
        h[thUnique] = def.Unique ? 1 : 0;
        std::memcpy(h + thKeyExpr, keyText.data(), keyText.size());
        if (!condition.empty()) {
            h[thForFlag] = 1;
            std::memcpy(h + thForExpr, condition.data(), condition.size());
        }
        PrepareOrder(o, false);
        std::uint8_t keysPresent = 0;
        const std::int32_t root = BuildIndexTag(o, keysPresent);
        Put32(h + thRoot, static_cast<std::uint32_t>(root));
        if (!condition.empty()) h[thKeysPresent] = keysPresent;
        const std::int64_t headerOffset = (index->FileSize + 511) / 512 * 512;
        if (const int code = index->File.WriteAt(headerOffset, o.Header.data(), o.Header.size()))
            Fail(static_cast<std::uint16_t>(code), "Error writing index file: " + index->FileName + " [MakeIndex]");
        index->FileSize = headerOffset + kIndexNodeSize;
        const int n = index->TagCount() + 1;
        std::uint8_t* entry = index->Header.data() + hdTagTable + hdTagEntry * n;
        std::memset(entry, 0, hdTagEntry);
        Put32(entry, static_cast<std::uint32_t>(headerOffset / 512));
        std::memcpy(entry + 4, name.data(), name.size());
        entry[19] = 2;
        entry[20] = static_cast<std::uint8_t>(type);
        index->Header[hdTagCount] = static_cast<std::uint8_t>(n);
        RebuildThreads(*index);
        Put32(index->Header.data() + hdAllocMark, static_cast<std::uint32_t>(root + 2));
        PutDate(index->Header.data() + 44);
        WriteFileHeader(*index);
        return true;
    });
}

bool MakeIndex(const std::vector<TXfTagDef>& defs, const std::string& name)
{
    TWorkArea* a = dbf4::Need("MakeIndex");
    if (!a) return false;
    const std::string path = IndexPathFor(*a, name);
    CloseIndex();
    dbf4::TSemaphoreScope write(true, true);
    // Another program could go on reading an erased index file, so nobody else may
    // have the table open while its index is replaced.
    TExclusiveUse exclusive(*a);
    if (!exclusive.Take()) {
        DbfRaiseError(225, a->Table.FileName + " MakeIndex(" + path + ")");
        return false;
    }
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        if (const int code = XfEraseFile(path)) {
            DbfRaiseError(static_cast<std::uint16_t>(code), "Cannot erase " + path + " MakeIndex(" + path + ")");
            return false;
        }
    }
    TBuildScope scope;
    if (!CreateMdxHeader(path)) return false;
    bool all = true;
    for (const TXfTagDef& def : defs) {
        if (AllTrimStr(def.Name).empty()) break;
        if (!AddIndexTag(def, false)) all = false;
    }
    if (TNdxArea* index = CurrentIndex()) {
        Guarded<bool>(false, [&] {
            if (index->HeaderChanged) WriteFileHeader(*index);
            index->File.Flush();
            return true;
        });
    }
    return all;
}

bool IndexOn(const std::vector<TXfTagDef>& defs, const std::string& name)
{
    TWorkArea* a = dbf4::Need("MakeIndex");
    if (!a) return false;
    const std::string path = IndexPathFor(*a, name);
    return MakeIndex(defs, path) && SetIndexTo(path);
}

void Reindex()
{
    TWorkArea* a = dbf4::Need("Reindex");
    if (!a) return;
    TNdxArea* index = CurrentIndex();
    if (!index || !index->AnyOrder()) {
        DbfRaiseError(221, "Index not open. (DBF=" + a->Table.FileName + ") [Reindex()]");
        return;
    }
    std::vector<TXfTagDef> defs;
    for (int n = 1; n <= index->TagCount(); ++n) {
        const TNdxOrder* o = index->Order(n);
        if (!o) continue;
        defs.push_back({o->Name, OrderKeyExpr(n), OrderForExpr(n), o->Descending, o->Unique});
    }
    const std::string controlling = index->Natural ? std::string() : index->ControllingOrder()->Name;
    const std::string path = index->FileName;
    if (IndexOn(defs, path)) SetOrderToTag(controlling);
}

namespace {

std::string HeaderField(int n, int offset)
{
    const TNdxArea* index = CurrentIndex();
    const TNdxOrder* o = index ? index->Order(n) : nullptr;
    if (!o) return {};
    const auto* start = reinterpret_cast<const char*>(o->Header.data() + offset);
    return std::string(start, strnlen(start, kMaxIndexExpression));
}

}  // namespace

std::string OrderKeyExpr(int n) { return HeaderField(n, thKeyExpr); }
std::string OrderForExpr(int n) { return HeaderField(n, thForExpr); }

// ---- positioning -----------------------------------------------------------------

void SyncIndex(bool all)
{
    TWorkArea* a = dbf4::Current();
    TNdxArea* index = CurrentIndex();
    if (!a || !index || !index->AnyOrder()) return;
    TNaturalOff naturalOff(*index);
    const bool natural = naturalOff.Was();
    Guarded<bool>(false, [&] {
        ChangedByOthers(*index);
        TDbfTable& t = a->Table;
        std::vector<std::uint8_t> key;
        for (TNdxOrder* o : OrdersOf(*index, all ? kMaxIndexTags : 1)) {
            const std::int32_t record = t.CurrentRecord;
            o->Positioned = true;
            if (record >= 1 && record <= t.RecordCount && PassesFor(*o)) {
                key.assign(static_cast<std::size_t>(o->KeyLength), 0);
                MakeKey(*o, key.data());
                if (!SeekKey(*o, key.data()))
                    Fail(212, "Key: \"" + KeyDisplay(*o, key.data()) + "\" not in index: " + o->Text() + ". [SyncIndex-1] Record: " +
                                  std::to_string(record));
                if (!o->Unique) {
                    while (EntryRecord(*o) != record) {
                        if (!StepNext(*o) || o->Compare(EntryKey(*o), key.data()) != 0)
                            Fail(212, "Record with key: \"" + KeyDisplay(*o, key.data()) + "\" not in index: " + o->Text() +
                                          ". [SyncIndex-2]");
                    }
                }
            } else if (o == index->ControllingOrder()) {
                if (!natural) AreaToEof(*a, o);
            } else {
                PositionOnLast(*o);
            }
        }
        return true;
    });
}

void SoftSyncIndex()
{
    TWorkArea* a = dbf4::Current();
    TNdxArea* index = CurrentIndex();
    TNdxOrder* o = index ? index->ControllingOrder() : nullptr;
    if (!a || !o) return;
    const std::int32_t record = a->Table.CurrentRecord;
    if (record < 1 || record > a->Table.RecordCount) return;
    const bool passes = PassesFor(*o);
    std::vector<std::uint8_t> key(static_cast<std::size_t>(o->KeyLength), 0);
    MakeKey(*o, key.data());
    const auto missing = [&] {
        if (passes)
            Fail(212, "Record with key: \"" + KeyDisplay(*o, key.data()) + "\" not in index: " + o->Text() + ". [SoftSyncIndex]");
    };
    if (!SeekKey(*o, key.data())) {
        missing();
        return;
    }
    if (o->Unique) return;
    while (EntryRecord(*o) != record) {
        if (!StepNext(*o) || o->Compare(EntryKey(*o), key.data()) != 0) {
            missing();
            return;
        }
    }
}

void SaveCurrentKeys(bool positioning, int count)
{
    TWorkArea* a = dbf4::Current();
    TNdxArea* index = CurrentIndex();
    if (!a || !index) return;
    const TDbfTable& t = a->Table;
    const bool onRecord = t.RecordCount > 0 && t.CurrentRecord >= 1 && t.CurrentRecord <= t.RecordCount;
    for (TNdxOrder* o : OrdersOf(*index, count)) {
        o->SavedIn = onRecord && PassesFor(*o);
        if (onRecord) {
            o->SavedKey.resize(static_cast<std::size_t>(o->KeyLength));
            MakeKey(*o, o->SavedKey.data());
        } else {
            o->SavedKey.assign(static_cast<std::size_t>(o->KeyLength), o->KeyType == 'C' ? ' ' : 0);
        }
        if (positioning) {
            o->Pinned = true;
            o->PinnedKey = o->SavedKey;
            o->PinnedRecord = onRecord ? t.CurrentRecord : 0;
        }
    }
}

// ---- closing ---------------------------------------------------------------------

void CloseOrder(int n)
{
    TNdxArea* index = CurrentIndex();
    TNdxOrder* o = index ? index->Order(n) : nullptr;
    if (!o) return;
    TWorkArea* a = dbf4::Current();
    Guarded<bool>(false, [&] {
        if (!o->HeaderChanged) return true;
        if (a && dbf4::Shared(*a)) {
            // Inside the write section, so no other program reads the tag while its
            // root changes under it.
            dbf4::TSemaphoreScope write(index->LoggedIn, true);
            if (const int code = index->File.Lock(0, 1))
                Fail(static_cast<std::uint16_t>(code), "Could not lock index for writing anchor node " + o->Text());
            struct Unlock {
                TNdxArea& index;
                ~Unlock() { index.File.Unlock(0, 1); }
            } unlock {*index};
            WriteAnchor(*o);
        } else {
            WriteAnchor(*o);
        }
        return true;
    });
    index->Orders[static_cast<std::size_t>(n)].reset();
}

void CloseIndex()
{
    TNdxArea* index = CurrentIndex();
    if (!index) return;
    index->Natural = false;
    {
        TXfDeferErrors deferred;
        XfErrors().LastError = 0;
        Guarded<bool>(false, [&] {
            if (index->HeaderChanged && index->File.IsOpen()) WriteFileHeader(*index);
            return true;
        });
        // Every order is closed whatever failed before; the first failure is the
        // one left for the caller.
        std::uint16_t first = XfErrors().LastError;
        std::string context = XfErrors().Context;
        for (int n = 1; n <= kMaxIndexTags; ++n) {
            XfErrors().LastError = 0;
            CloseOrder(n);
            if (first == 0 && XfErrors().LastError != 0) {
                first = XfErrors().LastError;
                context = XfErrors().Context;
            }
        }
        XfErrors().LastError = XfErrors().PendingError = first;
        XfErrors().Context = context;
    }
    const bool loggedIn = index->LoggedIn;
    index->File.Close();
    DropIndex();
    if (loggedIn && XfIndexSemaphoreCalls().Logout) XfIndexSemaphoreCalls().Logout();
}

}  // namespace xf
