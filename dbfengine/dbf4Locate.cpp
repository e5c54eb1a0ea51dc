// Reading and writing other records without moving (Peek, Poke) and the search
// behind LOCATE and the dataset's Locate.

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include "dbfengine/dbf4.h"
#include "dbfengine/dbf4Internal.h"
#include "dbfengine/timedate.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfutils.h"

namespace xf {

using namespace dbf4;

namespace dbf4 {

namespace {

// One process-wide cache of consecutive records of one table, as the file holds
// them: areas that read the same file with different conversions share it.
struct PeekCache {
    std::string fileName;
    std::int32_t first = 0, count = 0;
    std::uint16_t recordLength = 0;
    std::vector<char> bytes;

    bool Holds(const TDbfTable& t, std::int32_t n) const
    {
        return fileName == t.FileName && recordLength == t.RecordLength && n >= first && n < first + count;
    }
    char* At(std::int32_t n) { return bytes.data() + static_cast<std::size_t>(n - first) * recordLength; }
};

PeekCache& Cache()
{
    static PeekCache cache;
    return cache;
}

}  // namespace

void RefreshPeekCache(const TWorkArea& a)
{
    const TDbfTable& t = a.Table;
    PeekCache& cache = Cache();
    if (!cache.Holds(t, t.CurrentRecord)) return;
    if (!ConvertsText(t)) {
        std::memcpy(cache.At(t.CurrentRecord), t.Record.data(), t.RecordLength);
    } else if (t.StoredNumber == t.CurrentRecord && t.Stored.size() == t.RecordLength) {
        std::memcpy(cache.At(t.CurrentRecord), t.Stored.data(), t.RecordLength);
    } else {
        cache = PeekCache {};
    }
}

void DropPeekCache(const TWorkArea& a)
{
    if (Cache().fileName == a.Table.FileName) Cache() = PeekCache {};
}

}  // namespace dbf4

namespace {

// Record n's bytes as stored, through the cache when it is on; false after a report.
bool ReadStored(TWorkArea& a, std::int32_t n, std::vector<char>& raw, const std::string& tag)
{
    TDbfTable& t = a.Table;
    raw.resize(t.RecordLength);
    const int setting = XfDbf4Settings().PeekCacheSize;
    std::size_t got = 0;
    if (setting <= 0) {
        int code = t.File.ReadAt(t.RecordOffset(n), raw.data(), raw.size(), got);
        if (code == 0 && got < raw.size()) code = 100;
        if (code) Report(static_cast<std::uint16_t>(code), "DBF: " + t.FileName + " " + tag);
        return code == 0;
    }
    PeekCache& cache = Cache();
    if (!cache.Holds(t, n)) {
        const std::int64_t room = std::min<std::int64_t>({setting, MaxAvail / 2, 65520});
        const std::int32_t records = static_cast<std::int32_t>(std::max<std::int64_t>(1, room / t.RecordLength));
        const std::int32_t count = std::min(records, t.RecordCount - n + 1);
        cache = PeekCache {};
        cache.bytes.resize(static_cast<std::size_t>(count) * t.RecordLength);
        int code = t.File.ReadAt(t.RecordOffset(n), cache.bytes.data(), cache.bytes.size(), got);
        if (code == 0 && got < cache.bytes.size()) code = 100;
        if (code) {
            cache = PeekCache {};
            Report(static_cast<std::uint16_t>(code), "DBF: " + t.FileName + " " + tag);
            return false;
        }
        cache.fileName = t.FileName;
        cache.first = n;
        cache.count = count;
        cache.recordLength = t.RecordLength;
    }
    std::memcpy(raw.data(), cache.At(n), raw.size());
    return true;
}

// Record n in memory form, as a read gives it; false after a report.
bool ReadRecordText(TWorkArea& a, std::int32_t n, std::vector<char>& record, const std::string& tag)
{
    if (!ReadStored(a, n, record, tag)) return false;
    ConvertReadRecords(a.Table, record.data(), 1);
    return true;
}

std::string PeekTag(int field, std::int32_t record)
{
    return "[Peek(" + std::to_string(field) + "," + std::to_string(record) + ")]";
}

}  // namespace

bool Peek(int field, std::int32_t record, std::vector<std::byte>& value)
{
    TWorkArea* a = Need("Peek");
    if (!a) return false;
    if (a->Table.Virtual) {
        Report(220, "Operation cannot be used on virtual files. [Peek]");
        return false;
    }
    Recount(*a);
    if (record < 1 || record > a->Table.RecordCount || field < 0 || field > a->Table.FieldCount) return false;
    std::vector<char> text;
    if (!ReadRecordText(*a, record, text, PeekTag(field, record))) return false;
    std::vector<std::byte> typed(a->TypedSize);
    UnpackRecord(a->Table, a->TypedOffsets, text.data(), typed.data());
    if (field == 0) {
        value = std::move(typed);
    } else {
        const std::size_t at = a->TypedOffsets[static_cast<std::size_t>(field - 1)];
        const std::size_t size = TypedFieldSize(a->Table.Fields[static_cast<std::size_t>(field - 1)]);
        value.assign(typed.begin() + static_cast<std::ptrdiff_t>(at), typed.begin() + static_cast<std::ptrdiff_t>(at + size));
    }
    return true;
}

bool Poke(int field, std::int32_t record, const std::vector<std::byte>& value)
{
    TWorkArea* a = Need("Poke");
    if (!a) return false;
    TDbfTable& t = a->Table;
    if (t.Virtual) {
        Report(220, "Operation cannot be used on virtual files.");
        return false;
    }
    // Poke writes past the index engine: keys would go stale.
    if (HasIndex()) {
        Report(220, "Poke cannot write while an index is open: " + t.FileName + " [Poke]");
        return false;
    }
    Recount(*a);
    if (record < 1 || record > t.RecordCount || field < 0 || field > t.FieldCount) {
        Report(212, "Invalid record number = " + std::to_string(record) + " (" + t.FileName + ")  [Poke]");
        return false;
    }
    if (Shared(*a) && std::find(a->Locks.begin(), a->Locks.end(), record) == a->Locks.end()) {
        Report(1200, "Record not locked " + std::to_string(record) + " in " + t.FileName + " [Poke]");
        return false;
    }
    std::vector<char> stored;
    {
        TXfDeferErrors defer;
        const std::size_t wanted = t.RecordLength;
        stored.resize(wanted);
        std::size_t got = 0;
        if (t.File.ReadAt(t.RecordOffset(record), stored.data(), wanted, got) != 0 || got < wanted) {
            XfErrors().DeliverNow = 1;
            Report(100, "DBF: " + t.FileName + " [Poke]");
            return false;
        }
    }
    std::vector<char> text = stored;
    ConvertReadRecords(t, text.data(), 1);
    std::vector<std::byte> typed(a->TypedSize), shadow(a->TypedSize);
    UnpackRecord(t, a->TypedOffsets, text.data(), typed.data());
    shadow = typed;
    const std::size_t at = field == 0 ? 0 : a->TypedOffsets[static_cast<std::size_t>(field - 1)];
    const std::size_t size = field == 0 ? a->TypedSize : TypedFieldSize(t.Fields[static_cast<std::size_t>(field - 1)]);
    if (value.size() != size) {
        Report(266, "Value size does not match the field: " + t.FileName + " [Poke]");
        return false;
    }
    std::copy(value.begin(), value.end(), typed.begin() + static_cast<std::ptrdiff_t>(at));
    PackRecord(t, a->TypedOffsets, text.data(), typed.data(), shadow.data());
    std::vector<char> image(stored.size());
    StoreRecordText(t, text.data(), stored.data(), image.data());
    DropReadAhead(t);
    if (const int code = t.File.WriteAt(t.RecordOffset(record), image.data(), image.size())) {
        Report(static_cast<std::uint16_t>(code), "File:  " + t.FileName + " [Poke]");
        return false;
    }
    if (t.HeaderState != hsAppended) t.HeaderState = hsDirty;
    if (record == t.CurrentRecord) {
        t.Record = std::move(text);
        if (ConvertsText(t)) {
            t.Stored = std::move(image);
            t.StoredNumber = record;
        }
        Unpack(*a);
        RefreshPeekCache(*a);
    } else if (Cache().Holds(t, record)) {
        std::memcpy(Cache().At(record), image.data(), image.size());
    }
    return true;
}

std::optional<std::int32_t> StoredMemoBlock(int field, std::int32_t record)
{
    TWorkArea* a = Need("StoredMemoBlock");
    if (!a) return std::nullopt;
    TDbfTable& t = a->Table;
    // Every type but these holds a block number (B, G and P read as M).
    if (t.Virtual || field < 1 || field > t.FieldCount ||
        std::string_view("CDNFL").find(t.Fields[static_cast<std::size_t>(field - 1)].Type) != std::string_view::npos) {
        Report(220, "No memo field " + std::to_string(field) + " in " + t.FileName + " [StoredMemoBlock]");
        return std::nullopt;
    }
    if (record > t.RecordCount) Recount(*a);
    if (record < 1 || record > t.RecordCount) return std::nullopt;
    std::vector<char> text(t.RecordLength);
    std::size_t got = 0;
    int code = t.File.ReadAt(t.RecordOffset(record), text.data(), text.size(), got);
    if (code == 0 && got < text.size()) code = 100;
    if (code) {
        Report(static_cast<std::uint16_t>(code), "DBF: " + t.FileName + " [StoredMemoBlock]");
        return std::nullopt;
    }
    ConvertReadRecords(t, text.data(), 1);
    std::vector<std::byte> typed(a->TypedSize);
    UnpackRecord(t, a->TypedOffsets, text.data(), typed.data());
    std::int32_t block = 0;
    std::memcpy(&block, typed.data() + a->TypedOffsets[static_cast<std::size_t>(field - 1)], sizeof block);
    return block;
}

// ---- LOCATE ---------------------------------------------------------------------

namespace {

struct Criterion {
    int field = 0;
    std::string text;
    bool noCase = false, exact = false, contained = false;
};

// A number as an N or F field holds it, in LOCATE's text: right-aligned to the
// field's length with the engine's decimal separator; nothing when the field cannot
// hold it (not finite, or wider than the field).
std::optional<std::string> NumberFieldText(const TDbfField& f, double value)
{
    std::string text = NumberText(value, f.Decimals);
    if (text.empty() || text.size() > f.Length) return std::nullopt;
    const char point = XfDates().DecimalSeparator;
    for (char& c : text)
        if (c == '.') c = point;
    return rtl::PadLeft(text, f.Length);
}

// A field of a record in memory form as LOCATE compares it.
std::string FieldText(const TDbfField& f, const char* record)
{
    std::string text(record + f.Offset, f.Length);
    switch (f.Type) {
    case 'N':
    case 'F': {
        std::int64_t whole = 0;
        const bool integer = NumberKind(f) != TXfNumberKind::Real;
        if (integer && ReadWholeInteger(text, whole)) return IntToText(whole, f.Length);
        const std::string trimmed = AllTrimStr(text);
        double value = 0;
        if (std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value).ec != std::errc()) value = 0;
        if (integer) return IntToText(XfSaturateInt64(value), f.Length);
        // A 19- or 20-digit field past 64 bits keeps its digits: no two values read alike.
        return NumberFieldText(f, value).value_or(text);
    }
    case 'L':
        return (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y') ? "T" : "F";
    default:
        return text;
    }
}

// The search value as the field would hold it; nothing when the field cannot hold
// it, which then matches no record (never a blank or a 0 in its place).
std::optional<std::string> ValueText(const TDbfField& f, const TXfValue& value)
{
    if (const auto* text = std::get_if<std::string>(&value)) {
        if (f.Type == 'D') return IsBlankDateText(*text) ? std::string(8, ' ') : DtosFromDateText(*text);
        if (f.Type == 'L') return !text->empty() && (std::string("TtYy").find((*text)[0]) != std::string::npos) ? "T" : "F";
        return *text;
    }
    if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "T" : "F";
    // Integer fields compare integers digit for digit, which a double past 2^53 would not.
    const auto* whole = std::get_if<std::int64_t>(&value);
    const bool number = f.Type == 'N' || f.Type == 'F';
    if (whole && number && NumberKind(f) != TXfNumberKind::Real) {
        std::string text = IntToText(*whole, f.Length);
        if (text.size() > f.Length) return std::nullopt;
        return text;
    }
    const double real = whole ? static_cast<double>(*whole) : std::get<double>(value);
    if (f.Type == 'D') {
        // The day of a date number, 31 December 9999 included; DTOS answers blanks
        // for that day, which would find the blank dates.
        if (real == kBlankDateNumber) return std::string(8, ' ');
        int year = 0, month = 0, day = 0;
        if (!SplitDateNumber(real, year, month, day)) return std::nullopt;
        char digits[16];
        std::snprintf(digits, sizeof digits, "%04d%02d%02d", year, month, day);
        return std::string(digits);
    }
    if (number) return NumberFieldText(f, real);
    if (f.Decimals > 0) return rtl::PadLeft(FloatToText(real, f.Decimals), f.Length);
    return IntToText(XfSaturateInt64(real), f.Length);
}

bool Matches(const TWorkArea& a, const Criterion& c, const char* record)
{
    const TDbfField& f = a.Table.Fields[static_cast<std::size_t>(c.field - 1)];
    std::string wanted = c.text;
    if (f.Type == 'M') {
        const TXfMemoHooks& memo = XfMemoHooks();
        if (!memo.MemoContains) {
            Report(220, "MEMO unit not linked in [Count/Sum/Continue]");
            return false;
        }
        const std::string block = AllTrimStr(std::string(record + f.Offset, f.Length));
        std::int32_t number = 0;
        std::from_chars(block.data(), block.data() + block.size(), number);
        return number > 0 && memo.MemoContains(number, wanted, c.noCase);
    }
    std::string have = FieldText(f, record);
    if (c.noCase) {
        wanted = UpperCaseStr(wanted);
        have = UpperCaseStr(have);
    }
    if (c.contained) return !wanted.empty() && have.find(TrimRightStr(wanted)) != std::string::npos;
    if (!c.exact) {
        wanted = TrimRightStr(wanted);
        return have.compare(0, wanted.size(), wanted) == 0 && wanted.size() <= have.size();
    }
    // Equal texts: a C field's trailing blanks are its padding.
    if (f.Type == 'C') return TrimRightStr(have) == TrimRightStr(wanted);
    return have == wanted;
}

// Whether record n, read as `record`, is one that movements stop on. The filter
// sees it as the current record.
bool Passes(TWorkArea& a, std::int32_t n, const std::vector<char>& record)
{
    if (a.IgnoreDeleted && record[0] == '*') return false;
    return !a.Filter || (ReadRecord(a, n) && Accepted(a));
}

// The first record from `from` on that meets every criterion and that movements
// stop on; 0 when none.
std::int32_t Search(TWorkArea& a, const std::vector<Criterion>& criteria, std::int32_t from)
{
    Recount(a);
    std::vector<char> record;
    for (std::int32_t n = std::max(from, 1); n <= a.Table.RecordCount; ++n) {
        if (!ReadRecordText(a, n, record, "[Locate/Count/Sum]")) return 0;
        bool all = true;
        for (const Criterion& c : criteria) {
            if (!Matches(a, c, record.data())) {
                all = false;
                break;
            }
            if (XfErrors().LastError != 0 && !XfErrors().DeliverNow) return 0;
        }
        if (all && Passes(a, n, record)) return n;
    }
    return 0;
}

// The first record in the controlling order that meets every criterion; 0 when
// none. The movements pass over the records they do not stop on; the area is left
// on the record found.
std::int32_t SearchInOrder(TWorkArea& a, const std::vector<Criterion>& criteria)
{
    const auto failed = [] { return XfErrors().LastError != 0 && !XfErrors().DeliverNow; };
    GoTop();
    // Bounded, so that an order that answers records again cannot hold the search.
    for (std::int64_t steps = 0; !failed() && !a.Table.Eof && steps <= a.Table.RecordCount; ++steps) {
        bool all = true;
        for (const Criterion& c : criteria) {
            if (!Matches(a, c, a.Table.Record.data())) {
                all = false;
                break;
            }
            if (failed()) return 0;
        }
        if (all) return a.Table.CurrentRecord;
        SKIP(1);
    }
    return 0;
}

void ReturnTo(TWorkArea& a, std::int32_t record)
{
    if (record >= 1 && record <= a.Table.RecordCount) {
        GO(record);
    } else {
        ToEnd(a);
    }
}

}  // namespace

bool LocateCountSum(std::string_view options, const TXfValue& value)
{
    TWorkArea* a = Need("Locate/Count/Sum");
    if (!a) return false;
    std::string text = " " + std::string(options) + " ";
    Criterion c;
    c.noCase = RemoveOption(" NOCASE", text);
    c.exact = RemoveOption(" EXACT", text);
    c.contained = RemoveOption(" CONTAINED", text);
    const std::string name = AllTrimStr(text);
    if (name.empty()) {
        Report(220, "No field name specified [Locate/Count/Sum]");
        return false;
    }
    c.field = FieldNo(name);
    if (c.field == 0) {
        Report(220, "Unrecognized field name [Locate/Count/Sum(" + std::string(options) + ")]");
        return false;
    }
    const std::optional<std::string> wanted = ValueText(a->Table.Fields[static_cast<std::size_t>(c.field - 1)], value);
    c.text = wanted.value_or("");
    const std::int32_t found = wanted ? Search(*a, {c}, 1) : 0;
    if (found == 0) {
        a->LocateField = 0;
        ToEnd(*a);  // no match: at the end, also on an empty or fully filtered table
        return false;
    }
    a->LocateField = c.field;
    a->LocateText = c.text;
    a->LocateNoCase = c.noCase;
    a->LocateExact = c.exact;
    a->LocateContained = c.contained;
    GO(found);
    return true;
}

bool Continue()
{
    TWorkArea* a = Need("Continue");
    if (!a) return false;
    if (a->LocateField == 0) {
        Report(220, "Call to CONTINUE not preceeded by call to LOCATE. [Continue]");
        return false;
    }
    Criterion c {a->LocateField, a->LocateText, a->LocateNoCase, a->LocateExact, a->LocateContained};
    const std::int32_t found = Search(*a, {c}, a->Table.CurrentRecord + 1);
    if (found == 0) {
        a->LocateField = 0;
        ToEnd(*a);
        return false;
    }
    GO(found);
    return true;
}

bool LocateRecord(std::string_view fields, const std::vector<TXfValue>& values, bool caseInsensitive, bool partialKey,
                  bool moveCursor, bool inOrder)
{
    TWorkArea* a = Need("Locate/Count/Sum");
    if (!a) return false;
    const std::int32_t remembered = a->Table.CurrentRecord;
    std::vector<Criterion> criteria;
    bool held = true;
    std::size_t start = 0;
    for (std::size_t i = 0; start <= fields.size(); ++i) {
        const std::size_t end = std::min(fields.find(';', start), fields.size());
        const std::string name = AllTrimStr(fields.substr(start, end - start));
        start = end + 1;
        if (name.empty()) continue;
        Criterion c;
        c.field = FieldNo(name);
        if (c.field == 0) {
            Report(220, "Unrecognized field name [Locate/Count/Sum(" + name + ")]");
            return false;
        }
        if (i >= values.size()) {
            Report(220, "No value for field " + name + " [Locate/Count/Sum]");
            return false;
        }
        c.noCase = caseInsensitive;
        c.exact = !partialKey;
        const std::optional<std::string> text = ValueText(a->Table.Fields[static_cast<std::size_t>(c.field - 1)], values[i]);
        held = held && text.has_value();
        c.text = text.value_or("");
        criteria.push_back(std::move(c));
    }
    if (criteria.empty()) {
        Report(220, "No field name specified [Locate/Count/Sum]");
        return false;
    }
    const std::int32_t found = !held ? 0 : inOrder ? SearchInOrder(*a, criteria) : Search(*a, criteria, 1);
    if (found != 0 && moveCursor) {
        a->LocateField = criteria.size() == 1 ? criteria[0].field : 0;
        if (criteria.size() == 1) {
            a->LocateText = criteria[0].text;
            a->LocateNoCase = criteria[0].noCase;
            a->LocateExact = criteria[0].exact;
            a->LocateContained = false;
        }
        // The search in order stands on the record already, the order with it.
        if (!inOrder) GO(found);
        return true;
    }
    ReturnTo(*a, remembered);
    return found != 0;
}

}  // namespace xf
