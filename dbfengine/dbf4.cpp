#include "dbfengine/dbf4.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "dbfengine/dbf4Internal.h"
#include "dbfengine/platform/XfClock.h"
#include "dbfengine/timedate.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfsemaphore.h"
#include "dbfengine/xfutils.h"
#include "platform/rtl/Paths.h"

namespace xf {

namespace dbf4 {

namespace {

// How long records read ahead serve a table other programs may change.
constexpr std::int64_t kSharedReadAheadMs = 10;

template <typename T>
T Load(const std::byte* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename T>
void Store(std::byte* p, T value)
{
    std::memcpy(p, &value, sizeof value);
}

std::string_view Trimmed(const char* p, std::size_t n)
{
    std::size_t a = 0;
    while (a < n && (p[a] == ' ' || p[a] == '\0')) ++a;
    while (n > a && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
    return std::string_view(p + a, n - a);
}

bool AllDigits(std::string_view s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// "YYYYMMDD" to a date text of the current style; the blank date text otherwise.
void DateTextFromDtos(std::string_view dtos, std::string& out)
{
    const TXfDateSettings& s = XfDates();
    if (dtos.size() != 8 || !AllDigits(dtos)) {
        out = BlankDateText(s.Style);
        return;
    }
    const std::string_view year = s.Century ? dtos.substr(0, 4) : dtos.substr(2, 2);
    const std::string_view month = dtos.substr(4, 2), day = dtos.substr(6, 2);
    out.clear();
    auto put = [&](std::string_view a, char sep, std::string_view b, std::string_view c) {
        out.append(a);
        out += sep;
        out.append(b);
        out += sep;
        out.append(c);
    };
    switch (s.Style) {
    case 0: put(month, '/', day, year); break;
    case 1: put(year, '.', month, day); break;
    case 2: put(day, '/', month, year); break;
    case 3: put(day, '-', month, year); break;
    default: put(day, '.', month, year); break;
    }
}

}  // namespace

TAreas::TAreas()
{
    // What closing at process end uses must outlive the areas.
    XfErrors();
    XfDbfSettings();
    XfClocks();
}

TAreas::~TAreas()
{
    // The process ends: close every area, so headers and end marks are written.
    TXfErrorState& errors = XfErrors();
    errors.DeliverNow = 0;
    for (auto& slot : Slots) {
        if (!slot) continue;
        try {
            CloseDbf(slot->Table);
        } catch (...) {
        }
    }
}

TAreas& Areas()
{
    static TAreas areas;
    return areas;
}

TWorkArea* Current() { return Areas().Slots[Areas().Current].get(); }

TWorkArea* Need(std::string_view tag)
{
    TWorkArea* a = Current();
    if (!a) Report(215, "No database in use [" + std::string(tag) + "]  WorkArea = " + std::to_string(Areas().Current));
    return a;
}

bool Shared(const TWorkArea& a) { return !a.Exclusive && XfDbf4Settings().NetworkMode != 0; }

bool HasIndex()
{
    const TXfIndexHooks& hooks = XfIndexHooks();
    return hooks.IndexOpenTest && hooks.IndexOpenTest();
}

void Recount(TWorkArea& a)
{
    if (a.Exclusive) return;
    a.Table.RecordCount = std::max(a.Table.RecordCount, FileRecordCount(a.Table));
}

void Report(std::uint16_t code, const std::string& context) { DbfRaiseError(code, context); }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

void ReleaseCondition(void*& condition)
{
    if (condition && XfParserHooks().Free) XfParserHooks().Free(condition);
    condition = nullptr;
}

std::vector<std::size_t> TypedOffsets(const std::vector<TDbfField>& fields)
{
    std::vector<std::size_t> offsets;
    std::size_t at = 1;
    for (const TDbfField& f : fields) {
        offsets.push_back(at);
        at += TypedFieldSize(f);
    }
    return offsets;
}

void UnpackRecord(const TDbfTable& t, const std::vector<std::size_t>& offsets, const char* raw, std::byte* typed)
{
    typed[0] = std::byte {raw[0] == '*' ? std::uint8_t {1} : std::uint8_t {0}};
    std::string date;
    for (std::size_t i = 0; i < t.Fields.size(); ++i) {
        const TDbfField& f = t.Fields[i];
        const char* p = raw + f.Offset;
        std::byte* out = typed + offsets[i];
        switch (f.Type) {
        case 'C': {
            out[0] = std::byte {f.Length};
            std::memcpy(out + 1, p, f.Length);
            break;
        }
        case 'D': {
            DateTextFromDtos(std::string_view(p, f.Length), date);
            out[0] = std::byte {static_cast<std::uint8_t>(date.size())};
            std::memcpy(out + 1, date.data(), date.size());
            break;
        }
        case 'N':
        case 'F': {
            const std::string_view text = Trimmed(p, f.Length);
            double real = 0;
            const bool isReal = std::from_chars(text.data(), text.data() + text.size(), real).ec == std::errc();
            const TXfNumberKind kind = NumberKind(f);
            if (kind == TXfNumberKind::Real) {
                Store(out, isReal ? real : 0.0);
                break;
            }
            // Digits the integer cannot take whole ("1.5", "***") read as near as it can.
            std::int64_t value = 0;
            if (!ReadWholeInteger(text, value)) value = isReal ? XfSaturateInt64(real) : 0;
            if (kind == TXfNumberKind::Int64) {
                Store(out, value);
            } else {
                Store(out, static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX)));
            }
            break;
        }
        case 'L':
            out[0] = std::byte {static_cast<std::uint8_t>(f.Length > 0 && (*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y'))};
            break;
        default: {  // memo block number
            const std::string_view text = Trimmed(p, f.Length);
            std::int32_t block = 0;
            if (std::from_chars(text.data(), text.data() + text.size(), block).ec != std::errc()) block = 0;
            Store(out, block);
            break;
        }
        }
    }
}

void PackRecord(const TDbfTable& t, const std::vector<std::size_t>& offsets, char* raw, const std::byte* typed,
                const std::byte* shadow, bool fillBlanks)
{
    if (!shadow || typed[0] != shadow[0]) raw[0] = typed[0] != std::byte {0} ? '*' : ' ';
    char number[400];
    for (std::size_t i = 0; i < t.Fields.size(); ++i) {
        const TDbfField& f = t.Fields[i];
        const std::size_t size = TypedFieldSize(f);
        const std::byte* in = typed + offsets[i];
        char* p = raw + f.Offset;
        if (shadow && std::memcmp(in, shadow + offsets[i], size) == 0) {
            const bool blank = Trimmed(p, f.Length).empty();
            if (!(fillBlanks && blank && (f.Type == 'N' || f.Type == 'F' || f.Type == 'L'))) continue;
        }
        switch (f.Type) {
        case 'C': {
            const std::size_t length = std::min<std::size_t>(static_cast<std::uint8_t>(in[0]), f.Length);
            std::memcpy(p, in + 1, length);
            std::memset(p + length, ' ', f.Length - length);
            break;
        }
        case 'D': {
            const std::string text(reinterpret_cast<const char*>(in + 1), std::min<std::size_t>(static_cast<std::uint8_t>(in[0]), 10));
            std::string dtos = IsBlankDateText(text) ? std::string(8, ' ') : DtosFromDateText(text);
            if (!AllDigits(dtos)) dtos.assign(8, ' ');
            std::memset(p, ' ', f.Length);
            std::memcpy(p, dtos.data(), std::min<std::size_t>(8, f.Length));
            break;
        }
        case 'N':
        case 'F': {
            const TXfNumberKind kind = NumberKind(f);
            const std::string text = kind == TXfNumberKind::Real  ? NumberText(Load<double>(in), f.Decimals)
                                     : kind == TXfNumberKind::Int64 ? std::to_string(Load<std::int64_t>(in))
                                                                    : std::to_string(Load<std::int32_t>(in));
            if (text.empty() || text.size() > f.Length) {
                std::memset(p, '*', f.Length);
                break;
            }
            std::memset(p, ' ', f.Length - text.size());
            std::memcpy(p + f.Length - text.size(), text.data(), text.size());
            break;
        }
        case 'L':
            if (f.Length > 0) *p = in[0] != std::byte {0} ? 'T' : 'F';
            break;
        default: {
            const std::int32_t block = Load<std::int32_t>(in);
            std::memset(p, ' ', f.Length);
            if (block != 0) {
                const auto result = std::to_chars(number, number + sizeof number, block);
                const std::size_t length = static_cast<std::size_t>(result.ptr - number);
                if (length <= f.Length) std::memcpy(p + f.Length - length, number, length);
            }
            break;
        }
        }
    }
}

void Unpack(TWorkArea& a)
{
    if (a.Table.Virtual || !a.Typed) return;
    UnpackRecord(a.Table, a.TypedOffsets, a.Table.Record.data(), a.Typed);
    std::memcpy(a.Shadow.data(), a.Typed, a.TypedSize);
}

void Pack(TWorkArea& a, bool fillBlanks)
{
    if (a.Table.Virtual || !a.Typed) return;
    PackRecord(a.Table, a.TypedOffsets, a.Table.Record.data(), a.Typed, a.Shadow.data(), fillBlanks);
}

bool ReadRecord(TWorkArea& a, std::int32_t n)
{
    if (GetDbfRecord(a.Table, n) != 0) return false;
    Unpack(a);
    return true;
}

void Phantom(TWorkArea& a)
{
    std::fill(a.Table.Record.begin(), a.Table.Record.end(), ' ');
    a.Table.CurrentRecord = a.Table.RecordCount + 1;
    a.Table.Bof = a.Table.Eof = true;
    Unpack(a);
}

void ToEnd(TWorkArea& a)
{
    Phantom(a);
    if (HasIndex() && XfIndexHooks().SyncIndex) XfIndexHooks().SyncIndex(0);
}

void RelationStep(TWorkArea& a)
{
    if (!a.Relation) return;
    struct Restore {
        TWorkArea& area;
        std::function<void()> relation;
        int current;
        std::uint8_t found;
        ~Restore()
        {
            area.Relation = std::move(relation);
            Areas().Current = current;
            if (XfIndexHooks().Found) *XfIndexHooks().Found = found;
        }
    } restore {a, std::move(a.Relation), Areas().Current, XfIndexHooks().Found ? *XfIndexHooks().Found : std::uint8_t {0}};
    a.Relation = nullptr;
    const std::int32_t record = a.Table.CurrentRecord;
    restore.relation();
    if (a.Table.CurrentRecord != record) Report(224, "Relation moved the record of " + a.Table.FileName);
}

TSemaphoreScope::TSemaphoreScope(bool active, bool write) : active_(active), write_(write)
{
    const TXfIndexHooks& hooks = XfIndexHooks();
    auto& proc = write_ ? hooks.SetLockSemaphoreProc : hooks.SetReadSemaphoreProc;
    if (active_ && proc) proc(true);
}

TSemaphoreScope::~TSemaphoreScope()
{
    const TXfIndexHooks& hooks = XfIndexHooks();
    auto& proc = write_ ? hooks.SetLockSemaphoreProc : hooks.SetReadSemaphoreProc;
    if (active_ && proc) proc(false);
}

}  // namespace dbf4

using namespace dbf4;

TXfDbf4Settings& XfDbf4Settings()
{
    static TXfDbf4Settings settings;
    return settings;
}

TXfIndexHooks& XfIndexHooks()
{
    static TXfIndexHooks hooks;
    return hooks;
}

TXfMemoHooks& XfMemoHooks()
{
    static TXfMemoHooks hooks;
    return hooks;
}

TXfParserHooks& XfParserHooks()
{
    static TXfParserHooks hooks;
    return hooks;
}

std::string NumberText(double value, int decimals)
{
    if (!std::isfinite(value)) return {};
    char shortest[400];
    const auto r = std::to_chars(shortest, shortest + sizeof shortest, std::fabs(value), std::chars_format::fixed);
    const std::string_view written(shortest, static_cast<std::size_t>(r.ptr - shortest));
    const std::size_t point = std::min(written.find('.'), written.size());
    std::string fraction(point < written.size() ? written.substr(point + 1) : std::string_view());
    const bool up = fraction.size() > static_cast<std::size_t>(decimals) && fraction[static_cast<std::size_t>(decimals)] >= '5';
    fraction.resize(static_cast<std::size_t>(decimals), '0');
    std::string digits = std::string(written.substr(0, point)) + fraction;
    if (up) {
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i == 0) digits.insert(digits.begin(), '1');
        else ++digits[i - 1];
    }
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    std::string text = value < 0 && !zero ? "-" : "";
    text.append(digits, 0, digits.size() - static_cast<std::size_t>(decimals));
    if (decimals > 0) text += "." + digits.substr(digits.size() - static_cast<std::size_t>(decimals));
    return text;
}

// ---- typed records --------------------------------------------------------------

std::size_t TypedFieldSize(const TDbfField& f)
{
    switch (f.Type) {
    case 'C': return static_cast<std::size_t>(f.Length) + 1;
    case 'D': return 11;
    case 'N':
    case 'F': return NumberKind(f) == TXfNumberKind::Int32 ? 4 : 8;
    case 'L': return 1;
    default: return 4;
    }
}

TXfNumberKind NumberKind(const TDbfField& f)
{
    if (f.Decimals > 0 || f.Length > 18) return TXfNumberKind::Real;
    return f.Length > 9 ? TXfNumberKind::Int64 : TXfNumberKind::Int32;
}

bool ReadWholeInteger(std::string_view text, std::int64_t& value)
{
    text = Trimmed(text.data(), text.size());
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

std::size_t UnpackedRecordSize(const std::vector<TDbfField>& fields)
{
    std::size_t size = 1;
    for (const TDbfField& f : fields) size += TypedFieldSize(f);
    return size;
}

namespace {

enum class Slot { Text, Real, Int32, Int64, Flag };

Slot SlotOf(const TDbfField& f)
{
    switch (f.Type) {
    case 'C':
    case 'D': return Slot::Text;
    case 'L': return Slot::Flag;
    case 'N':
    case 'F':
        switch (NumberKind(f)) {
        case TXfNumberKind::Real: return Slot::Real;
        case TXfNumberKind::Int64: return Slot::Int64;
        default: return Slot::Int32;
        }
    default: return Slot::Int32;
    }
}

}  // namespace

TXfTypedRecord::TXfTypedRecord(std::byte* data, const std::vector<TDbfField>* fields)
    : data_(data), fields_(fields), ownOffsets_(TypedOffsets(*fields)), offsets_(&ownOffsets_)
{
}

TXfTypedRecord::TXfTypedRecord(std::byte* data, const std::vector<TDbfField>* fields, const std::vector<std::size_t>* offsets)
    : data_(data), fields_(fields), offsets_(offsets)
{
}

TXfTypedRecord::TXfTypedRecord(const TXfTypedRecord& other)
    : data_(other.data_), fields_(other.fields_), ownOffsets_(other.ownOffsets_),
      offsets_(other.offsets_ == &other.ownOffsets_ ? &ownOffsets_ : other.offsets_)
{
}

TXfTypedRecord& TXfTypedRecord::operator=(const TXfTypedRecord& other)
{
    if (this != &other) {
        data_ = other.data_;
        fields_ = other.fields_;
        ownOffsets_ = other.ownOffsets_;
        offsets_ = other.offsets_ == &other.ownOffsets_ ? &ownOffsets_ : other.offsets_;
    }
    return *this;
}

std::byte* TXfTypedRecord::Address(int field) const
{
    return field == 0 ? data_ : data_ + offsets_->at(static_cast<std::size_t>(field - 1));
}

bool TXfTypedRecord::Deleted() const { return data_[0] != std::byte {0}; }
void TXfTypedRecord::SetDeleted(bool deleted) { data_[0] = std::byte {deleted ? std::uint8_t {1} : std::uint8_t {0}}; }

std::string TXfTypedRecord::Text(int field) const
{
    if (SlotOf(fields_->at(static_cast<std::size_t>(field - 1))) != Slot::Text) return {};
    const std::byte* p = Address(field);
    return std::string(reinterpret_cast<const char*>(p + 1), static_cast<std::uint8_t>(p[0]));
}

void TXfTypedRecord::SetText(int field, std::string_view text)
{
    const TDbfField& f = fields_->at(static_cast<std::size_t>(field - 1));
    if (SlotOf(f) != Slot::Text) return;
    const std::size_t room = f.Type == 'C' ? f.Length : 10;
    std::byte* p = Address(field);
    const std::size_t length = std::min(room, text.size());
    std::memset(p, 0, TypedFieldSize(f));
    p[0] = std::byte {static_cast<std::uint8_t>(length)};
    std::memcpy(p + 1, text.data(), length);
}


// Numbers convert between the slot kinds (saturating); texts and flags take no number.
double TXfTypedRecord::Number(int field) const
{
    const std::byte* p = Address(field);
    switch (SlotOf(fields_->at(static_cast<std::size_t>(field - 1)))) {
    case Slot::Real: return Load<double>(p);
    case Slot::Int64: return static_cast<double>(Load<std::int64_t>(p));
    case Slot::Int32: return Load<std::int32_t>(p);
    default: return 0;
    }
}

void TXfTypedRecord::SetNumber(int field, double value)
{
    std::byte* p = Address(field);
    switch (SlotOf(fields_->at(static_cast<std::size_t>(field - 1)))) {
    case Slot::Real: Store(p, value); break;
    case Slot::Int64: Store(p, XfSaturateInt64(value)); break;
    case Slot::Int32: Store(p, XfSaturateInt32(value)); break;
    default: break;
    }
}

std::int64_t TXfTypedRecord::Integer(int field) const
{
    const std::byte* p = Address(field);
    switch (SlotOf(fields_->at(static_cast<std::size_t>(field - 1)))) {
    case Slot::Real: return XfSaturateInt64(Load<double>(p));
    case Slot::Int64: return Load<std::int64_t>(p);
    case Slot::Int32: return Load<std::int32_t>(p);
    default: return 0;
    }
}

void TXfTypedRecord::SetInteger(int field, std::int64_t value)
{
    std::byte* p = Address(field);
    switch (SlotOf(fields_->at(static_cast<std::size_t>(field - 1)))) {
    case Slot::Real: Store(p, static_cast<double>(value)); break;
    case Slot::Int64: Store(p, value); break;
    case Slot::Int32: Store(p, static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX))); break;
    default: break;
    }
}

bool TXfTypedRecord::Logical(int field) const
{
    return SlotOf(fields_->at(static_cast<std::size_t>(field - 1))) == Slot::Flag && Address(field)[0] != std::byte {0};
}

void TXfTypedRecord::SetLogical(int field, bool value)
{
    if (SlotOf(fields_->at(static_cast<std::size_t>(field - 1))) == Slot::Flag)
        Address(field)[0] = std::byte {value ? std::uint8_t {1} : std::uint8_t {0}};
}

// ---- areas ------------------------------------------------------------------------

TWorkArea* WorkArea(int n) { return n >= 1 && n <= kWorkAreas ? Areas().Slots[n].get() : nullptr; }

void Select(int n)
{
    if (n == 0) {
        for (int i = 1; i <= kWorkAreas; ++i) {
            if (!Areas().Slots[i]) {
                Areas().Current = i;
                return;
            }
        }
        Report(220, "No free workarea available [Select(0)]");
        return;
    }
    if (n < 0 || n > kWorkAreas) {
        Report(220, "Invalid workarea selected = [Select(" + std::to_string(n) + ")]");
        return;
    }
    Areas().Current = n;
}

int CurrentWorkArea() { return Areas().Current; }

void USE(const std::string& path, std::string_view options, std::byte* typed, std::size_t size, std::uint8_t language)
{
    USEWithHooks(path, options, typed, size, nullptr, nullptr, language);
}

void USEWithHooks(const std::string& path, std::string_view options, std::byte* typed, std::size_t size,
                  TXfTextHook beforeWrite, TXfTextHook afterRead, std::uint8_t language)
{
    static const bool cleanupInstalled = [] {
        XfAddHaltCleanup([] { CloseAll(); });
        return true;
    }();
    (void)cleanupInstalled;
    XfErrors().LastError = 0;
    CloseDatabase();
    std::string opts = " " + UpperCaseStr(AllTrimStr(options)) + " ";
    const std::string sizeText = std::to_string(size);
    if (opts.find("LINKED LIST") != std::string::npos || opts.find("VIRTUAL FILE") != std::string::npos) {
        Report(1101, "[USE(" + path + " " + AllTrimStr(options) + ",<@Buffer>," + sizeText + ")]");
        return;
    }
    if ((typed == nullptr) != (size == 0)) {
        Report(220, "Buffer is NIL or size is zero, attempting to open " + path + " [USE]");
        return;
    }
    const bool exclusiveOption = RemoveOption(" EXCLUSIVE", opts);
    std::string alias;
    const std::size_t aliasAt = opts.find(" ALIAS ");
    if (aliasAt != std::string::npos) {
        const std::size_t start = opts.find_first_not_of(' ', aliasAt + 7);
        if (start != std::string::npos) alias = opts.substr(start, opts.find(' ', start) - start);
    }
    const TXfDbf4Settings& settings = XfDbf4Settings();
    std::uint8_t mode = settings.SharedMode;
    if (exclusiveOption || (mode & 0x70) == fmShareExclusive || settings.NetworkMode == 0)
        mode = fmOpenReadWrite | fmShareExclusive;
    if (settings.ForcedMode >= 0) mode = static_cast<std::uint8_t>(settings.ForcedMode);

    auto area = std::make_unique<TWorkArea>();
    TDbfTable& t = area->Table;
    t.Language = language;
    t.BeforeWrite = std::move(beforeWrite);
    t.AfterRead = std::move(afterRead);
    if (OpenDbfFile(t, ExpandName(path), mode) != 0) return;
    area->Exclusive = (mode & 0x70) == fmShareExclusive;
    t.ReadAhead = true;
    t.AheadMaxAgeMs = area->Exclusive ? -1 : kSharedReadAheadMs;
    t.OthersAppend = !area->Exclusive && settings.NetworkMode != 0;
    area->TypedOffsets = TypedOffsets(t.Fields);
    area->TypedSize = UnpackedRecordSize(t.Fields);
    if (typed) {
        if (size != area->TypedSize) {
            CloseDbf(t);
            Report(266, "Database record/buffer size mismatch: " + path + " [USE()]" + "\n\r" + "Record Size=" +
                            std::to_string(area->TypedSize) + ", Buffer Size=" + sizeText);
            return;
        }
        area->Typed = typed;
    } else {
        area->OwnedTyped.assign(area->TypedSize, std::byte {0});
        area->Typed = area->OwnedTyped.data();
    }
    area->Shadow.assign(area->TypedSize, std::byte {0});
    if (alias.empty()) {
        std::string folder, name, ext;
        SplitFileName(t.FileName, folder, name, ext);
        alias = UpperCaseStr(name);
    }
    for (int i = 1; i <= kWorkAreas; ++i) {
        if (Areas().Slots[i] && rtl::SameText(Areas().Slots[i]->Alias, alias)) {
            CloseDbf(t);
            Report(220, "Alias name \"" + alias + "\" already in use." + " [USE]");
            return;
        }
    }
    area->Alias = alias;
    area->Swap.assign(t.RecordLength, ' ');
    TWorkArea& a = *area;
    Areas().Slots[Areas().Current] = std::move(area);
    if (t.RecordCount < 1) {
        std::fill(t.Record.begin(), t.Record.end(), ' ');
        Unpack(a);
        t.Bof = t.Eof = true;
    } else {
        GoTop();
    }
    if (t.MemoFlag && XfMemoHooks().OpenMemofile) {
        if (const int code = XfMemoHooks().OpenMemofile(StripExtension(t.FileName))) {
            CloseDatabase();
            Report(static_cast<std::uint16_t>(code), "Problem opening memo file [USE(" + path + ",<@Buffer>," + sizeText + ")]");
        }
    }
}

void CloseDatabase()
{
    TAreas& areas = Areas();
    std::unique_ptr<TWorkArea>& slot = areas.Slots[areas.Current];
    if (!slot) return;
    TWorkArea& a = *slot;
    if (XfIndexHooks().CloseIndex && XfIndexHooks().IndexOpenTest) XfIndexHooks().CloseIndex();
    LeaveSemaphoreOnClose();
    Recount(a);
    Unlock();
    if (a.Table.MemoFlag && XfMemoHooks().CloseMemofile) XfMemoHooks().CloseMemofile();
    DropPeekCache(a);
    ReleaseCondition(a.FilterCondition);
    ReleaseCondition(a.WhileCondition);
    a.Filter = nullptr;
    a.While = nullptr;
    std::unique_ptr<TWorkArea> closing = std::move(slot);
    CloseDbf(closing->Table);
}

void CloseAll()
{
    for (int i = 1; i <= kWorkAreas; ++i) {
        Areas().Current = i;
        CloseDatabase();
    }
    Areas().Current = 1;
}

// ---- fields -------------------------------------------------------------------

namespace {

const TDbfField* FieldOf(std::string_view tag, int n)
{
    TWorkArea* a = Need(tag);
    if (!a) return nullptr;
    if (n < 1 || n > static_cast<int>(a->Table.Fields.size())) {
        Report(212, "Field number " + std::to_string(n) + " is out of range in " + a->Table.FileName + " [" + std::string(tag) + "]");
        return nullptr;
    }
    return &a->Table.Fields[static_cast<std::size_t>(n - 1)];
}

}  // namespace

int FieldCount()
{
    TWorkArea* a = Need("FieldCount()");
    return a ? a->Table.FieldCount : 0;
}

char FieldType(int n)
{
    const TDbfField* f = FieldOf("FieldType()", n);
    return f ? f->Type : '\0';
}

int FieldLen(int n)
{
    const TDbfField* f = FieldOf("FieldLen()", n);
    if (!f) return 0;
    if (f->Type == 'D') return XfDates().Century ? 10 : 8;
    return f->Length;
}

int FieldDec(int n)
{
    const TDbfField* f = FieldOf("FieldDec()", n);
    return f ? f->Decimals : 0;
}

std::string Field(int n)
{
    const TDbfField* f = FieldOf("Field()", n);
    return f ? f->Name : std::string();
}

int FieldNo(std::string_view name)
{
    TWorkArea* a = Need("FieldNo()");
    if (!a) return 0;
    const std::string wanted = rtl::UpperCase(AllTrimStr(name)).substr(0, 10);
    for (std::size_t i = 0; i < a->Table.Fields.size(); ++i)
        if (a->Table.Fields[i].Name == wanted) return static_cast<int>(i) + 1;
    return 0;
}

std::byte* FieldAddress(int n)
{
    TWorkArea* a = Need("FieldAddress()");
    if (!a) return nullptr;
    if (n == 0) return a->Typed;
    if (!FieldOf("FieldAddress()", n)) return nullptr;
    return a->Typed + a->TypedOffsets[static_cast<std::size_t>(n - 1)];
}

TXfTypedRecord CurrentRecord()
{
    TWorkArea* a = Need("Field()");
    static const std::vector<TDbfField> none;
    static std::byte empty[1] {};
    if (!a) return TXfTypedRecord(empty, &none);
    return TXfTypedRecord(a->Typed, &a->Table.Fields, &a->TypedOffsets);
}

std::int32_t RecCount()
{
    TWorkArea* a = Need("RecCount");
    if (!a) return 0;
    Recount(*a);
    return a->Table.RecordCount;
}

std::int32_t RecNo()
{
    TWorkArea* a = Need("RecNo");
    return a ? a->Table.CurrentRecord : 0;
}

int RecSize()
{
    TWorkArea* a = Need("RecSize");
    return a ? a->Table.RecordLength : 0;
}

bool dEOF()
{
    TWorkArea* a = Current();
    if (!a) return true;
    // A recount can only raise the count: it matters past the end alone.
    if (a->Table.CurrentRecord > a->Table.RecordCount) Recount(*a);
    if (a->Table.CurrentRecord > a->Table.RecordCount) a->Table.Eof = true;
    if (HasIndex() && XfIndexHooks().IndexEof) return XfIndexHooks().IndexEof();
    return a->Table.Eof;
}

bool dBOF()
{
    TWorkArea* a = Current();
    if (!a) return true;
    if (HasIndex() && XfIndexHooks().IndexBof) return XfIndexHooks().IndexBof();
    return a->Table.Bof;
}

// ---- movement -----------------------------------------------------------------

bool dbf4::Accepted(TWorkArea& a)
{
    if (a.IgnoreDeleted && !a.Table.Record.empty() && a.Table.Record[0] == '*') return false;
    return !a.Filter || a.Filter();
}

namespace {

std::int32_t Call(const std::function<std::int32_t()>& f, std::int32_t fallback) { return f ? f() : fallback; }
void Call(const std::function<void(int)>& f, int arg)
{
    if (f) f(arg);
}
void Call(const std::function<void()>& f)
{
    if (f) f();
}
bool Call(const std::function<bool()>& f) { return f && f(); }

std::string InvalidRecordText(const TWorkArea& a, std::int32_t n)
{
    return "Invalid record number = " + std::to_string(n) + "\n" + "Database " + Quoted(a.Table.FileName) + " [GO]";
}

}  // namespace

void GoTop()
{
    XfErrors().LastError = 0;
    TWorkArea* a = Need("GoTop");
    if (!a) return;
    Recount(*a);
    TDbfTable& t = a->Table;
    if (t.RecordCount == 0) {
        Phantom(*a);
        return;
    }
    const bool index = HasIndex();
    const TXfIndexHooks& hooks = XfIndexHooks();
    {
        TSemaphoreScope semaphore(index, false);
        std::int32_t n = index ? Call(hooks.FindFirstRec, 1) : 1;
        if (n > t.RecordCount || n < 1) {
            ToEnd(*a);
            return;
        }
        if (!ReadRecord(*a, n)) return;
        while (!Accepted(*a) && !t.Eof && XfErrors().LastError == 0) {
            // In record order the index answers the last record again at the end.
            const std::int32_t next =
                index ? (Call(hooks.IndexEof) ? t.RecordCount + 1 : Call(hooks.FindNextRec, n + 1)) : n + 1;
            if (next == n || next > t.RecordCount || next < 1) {
                ToEnd(*a);
                break;
            }
            n = next;
            if (!ReadRecord(*a, n)) return;
        }
        if (index) Call(hooks.SaveCurrentKeys, 1);
    }
    RelationStep(*a);
}

void GoBottom()
{
    XfErrors().LastError = 0;
    TWorkArea* a = Need("GoBottom");
    if (!a) return;
    Recount(*a);
    TDbfTable& t = a->Table;
    const bool index = HasIndex();
    const TXfIndexHooks& hooks = XfIndexHooks();
    {
        TSemaphoreScope semaphore(index, false);
        auto noRecord = [&] {
            ToEnd(*a);
            if (index) {
                Call(hooks.SetIndexBof);
                Call(hooks.SetIndexEof);
            }
        };
        std::int32_t n = index ? Call(hooks.FindLastRec, t.RecordCount) : t.RecordCount;
        if (t.RecordCount == 0 || n < 1 || n > t.RecordCount) {
            noRecord();
            return;
        }
        if (!ReadRecord(*a, n)) return;
        while (!Accepted(*a) && XfErrors().LastError == 0) {
            // In record order the index answers the first record again at the start.
            const std::int32_t prior = index ? (Call(hooks.IndexBof) ? 0 : Call(hooks.FindPriorRec, n - 1)) : n - 1;
            if (prior == n || prior < 1 || prior > t.RecordCount) {
                noRecord();
                break;
            }
            n = prior;
            if (!ReadRecord(*a, n)) return;
        }
        if (index) Call(hooks.SaveCurrentKeys, 1);
    }
    RelationStep(*a);
}

void GO(std::int32_t n)
{
    XfErrors().LastError = 0;
    TWorkArea* a = Need("GO()");
    if (!a) return;
    TDbfTable& t = a->Table;
    if (n > t.RecordCount) Recount(*a);
    if (t.RecordCount == 0) {
        Phantom(*a);
        Report(212, InvalidRecordText(*a, n));
        return;
    }
    if (n < 1 || n > t.RecordCount) {
        Phantom(*a);
        t.Bof = false;
        Report(212, InvalidRecordText(*a, n));
        return;
    }
    t.Bof = t.Eof = false;
    const bool index = HasIndex();
    {
        TSemaphoreScope semaphore(index, false);
        if (!ReadRecord(*a, n)) return;
        if (index) {
            Call(XfIndexHooks().SyncIndex, 0);
            Call(XfIndexHooks().SaveCurrentKeys, 1);
        }
    }
    if (XfErrors().LastError != 0 && XfErrors().DeliverNow) CheckError();
    RelationStep(*a);
}

bool GoChecked(std::int32_t n)
{
    if (n < 1 || n > RecCount()) return false;
    GO(n);
    return true;
}

void Dbf4RawGo(std::int32_t n)
{
    TWorkArea* a = Need("GO()");
    if (!a) return;
    TDbfTable& t = a->Table;
    if (n > t.RecordCount) {
        Phantom(*a);
    } else if (n >= 1) {
        TXfDeferErrors defer;
        if (!ReadRecord(*a, n)) {
            const std::uint16_t code = XfErrors().LastError;
            const std::string context = TakeErrorContext();
            XfErrors().DeliverNow = 1;
            Report(code, context + " [Dbf4RawGo]");
        }
    } else {
        Report(212, "Invalid record number = " + std::to_string(n) + " (" + t.FileName + ") [Dbf4RawGo]");
    }
}

void SKIP(int n)
{
    TWorkArea* a = Need("SKIP()");
    if (!a) return;
    TDbfTable& t = a->Table;
    if (n == 0) {
        if (t.RecordCount > 0 && !t.Eof && t.CurrentRecord >= 1 && t.CurrentRecord <= t.RecordCount) {
            ReadRecord(*a, t.CurrentRecord);
        } else {
            std::fill(t.Record.begin(), t.Record.end(), ' ');
            Unpack(*a);
        }
        return;
    }
    if (n > 0 && t.Eof) {
        Report(212, "Database " + Quoted(t.FileName) + " is past EOF." + " [SKIP]");
        return;
    }
    if (t.RecordCount == 0) {
        Report(212, "Database " + Quoted(t.FileName) + " is empty." + " [SKIP]");
        return;
    }
    if (n < 0 && t.Bof) return;
    const bool index = HasIndex();
    const TXfIndexHooks& hooks = XfIndexHooks();
    {
        TSemaphoreScope semaphore(index, false);
        if (XfDbf4Settings().SkipOverride) {
            XfDbf4Settings().SkipOverride(n);
            return;
        }
        int steps = 0;
        bool end = false, whileFalse = false;
        std::int32_t lastGood = t.CurrentRecord;
        while (true) {
            std::int32_t candidate;
            if (n > 0) {
                // Others' appends matter only past the count this area knows, and
                // record order reaches them whether an index file is open or not.
                if (t.CurrentRecord + 1 > t.RecordCount) Recount(*a);
                candidate = index ? Call(hooks.FindNextRec, t.CurrentRecord + 1) : t.CurrentRecord + 1;
                if ((index && candidate == t.CurrentRecord) || candidate > t.RecordCount || candidate < 1) end = true;
            } else {
                if (Accepted(*a) && (!a->While || a->While())) lastGood = t.CurrentRecord;
                candidate = index ? Call(hooks.FindPriorRec, t.CurrentRecord - 1) : t.CurrentRecord - 1;
                if ((index && candidate == t.CurrentRecord) || candidate < 1 || candidate > t.RecordCount) end = true;
            }
            if (end) break;
            if (!ReadRecord(*a, candidate)) return;
            if (Accepted(*a)) steps += n > 0 ? 1 : -1;
            if (a->While && !a->While()) {
                whileFalse = true;
                break;
            }
            if (steps == n) break;
        }
        if (end && n > 0) {
            ToEnd(*a);
        } else if (end) {
            GoTop();
            t.Bof = true;
            if (index) Call(hooks.SetIndexBof);
            if (t.CurrentRecord > t.RecordCount) {
                std::fill(t.Record.begin(), t.Record.end(), ' ');
                Unpack(*a);
            }
        } else if (whileFalse && n > 0) {
            t.Eof = true;
            if (index) Call(hooks.SetIndexEof);
        } else if (whileFalse) {
            if (lastGood > t.RecordCount || lastGood < 1) {
                t.CurrentRecord = t.RecordCount + 1;
                t.Bof = true;
                std::fill(t.Record.begin(), t.Record.end(), ' ');
                Unpack(*a);
            } else {
                if (!ReadRecord(*a, lastGood)) return;
                t.Bof = true;
                if (index) {
                    Call(hooks.SyncIndex, 0);
                    Call(hooks.SetIndexBof);
                }
            }
        }
        if (index) Call(hooks.SaveCurrentKeys, 1);
    }
    RelationStep(*a);
}

// ---- changes ------------------------------------------------------------------

void ClearRecord()
{
    TWorkArea* a = Need("ClearRecord");
    if (!a) return;
    std::fill(a->Table.Record.begin(), a->Table.Record.end(), a->Table.Virtual ? '\0' : ' ');
    Unpack(*a);
}

void Append()
{
    XfErrors().LastError = 0;
    TWorkArea* a = Need("Append");
    if (!a) return;
    TDbfTable& t = a->Table;
    if (Shared(*a) && a->LockState != 2) {
        Report(5, "File must be locked to append: " + t.FileName + " [APPEND]");
        return;
    }
    Recount(*a);
    Pack(*a, true);
    const bool index = HasIndex();
    {
        TSemaphoreScope semaphore(index, true);
        if (AppendDbfRecord(t) != 0) return;
        Unpack(*a);
        if (index) Call(XfIndexHooks().AppendNewKey);
    }
    t.Bof = t.Eof = false;
    if (XfErrors().LastError != 0 && XfErrors().DeliverNow) CheckError();
    RelationStep(*a);
}

void Replace()
{
    TWorkArea* a = Need("Replace");
    if (!a) return;
    TDbfTable& t = a->Table;
    if (t.RecordCount == 0) {
        Report(212, "Database " + Quoted(t.FileName) + " is empty." + " [REPLACE]");
        return;
    }
    if (t.CurrentRecord >= t.RecordCount + 1 || t.CurrentRecord < 1) {
        Report(212, "Database " + Quoted(t.FileName) + " is at EOF." + " [REPLACE]");
        return;
    }
    if (Shared(*a) && std::find(a->Locks.begin(), a->Locks.end(), t.CurrentRecord) == a->Locks.end()) {
        Report(1200, "Record # " + std::to_string(t.CurrentRecord) + " in " + t.FileName + " [REPLACE]");
        return;
    }
    const bool maintain = XfDbf4Settings().IndexOnReplace && HasIndex();
    {
        TSemaphoreScope semaphore(maintain, true);
        if (maintain) {
            // The stored record's keys are saved before the new content goes in.
            std::vector<std::byte> typed(a->Typed, a->Typed + a->TypedSize);
            a->Swap = t.Record;
            if (GetDbfRecord(t, t.CurrentRecord) != 0) return;
            Call(XfIndexHooks().SyncAndSaveKeys);
            t.Record = a->Swap;
            std::copy(typed.begin(), typed.end(), a->Typed);
        }
        Pack(*a);
        if (PutDbfRecord(t, t.CurrentRecord) != 0) return;
        Unpack(*a);
        RefreshPeekCache(*a);
        if (maintain) Call(XfIndexHooks().KeysAfterReplace);
    }
    if (XfErrors().LastError != 0 && XfErrors().DeliverNow) CheckError();
    RelationStep(*a);
}

namespace {

void WriteDeletion(bool deleted, const char* tag)
{
    TWorkArea* a = Need(deleted ? "DeleteRec" : "RecallRec");
    if (!a) return;
    TDbfTable& t = a->Table;
    const bool locked = std::find(a->Locks.begin(), a->Locks.end(), t.CurrentRecord) != a->Locks.end();
    if (Shared(*a) && (!locked || a->LockState == 2)) {
        Report(1200, deleted ? t.FileName + " " + "Record not locked " + "[DeleteRec]" : std::string("Record not locked [RecallRec]"));
        return;
    }
    if (!deleted) Recount(*a);
    if (t.CurrentRecord < 1 || t.CurrentRecord > t.RecordCount) {
        if (!deleted) {
            Report(1103, t.FileName + " at EOF [RecallRec]");
        } else {
            WriteDeletionFlag(t, t.CurrentRecord);
        }
        return;
    }
    (void)tag;
    a->Typed[0] = a->Shadow[0] = std::byte {deleted ? std::uint8_t {1} : std::uint8_t {0}};
    t.Record[0] = deleted ? '*' : ' ';
    if (WriteDeletionFlag(t, t.CurrentRecord) != 0) return;
    RefreshPeekCache(*a);
}

}  // namespace

void DeleteRec() { WriteDeletion(true, "DeleteRec"); }
void RecallRec() { WriteDeletion(false, "RecallRec"); }

bool SetIgnoreDel(bool flag)
{
    TWorkArea* a = Need("SetIgnoreDel");
    if (!a) return false;
    const bool previous = a->IgnoreDeleted;
    a->IgnoreDeleted = flag;
    SKIP(0);
    return previous;
}

bool IsWhileOn()
{
    TWorkArea* a = Need("IsWhileOn");
    return a && (a->While || a->Filter);
}

namespace {

// Compiles `text` as the area's condition in `slot` and its procedure in `proc`.
bool SetCondition(std::string_view tag, std::string_view text, void* TWorkArea::*slot,
                  std::function<bool()> TWorkArea::*proc)
{
    TWorkArea* a = Need(tag);
    if (!a) return false;
    const std::string source = TrimRightStr(text);
    void* compiled = nullptr;
    if (!source.empty()) {
        const TXfParserHooks& hooks = XfParserHooks();
        if (!hooks.Present) {
            Report(254, "No expression compiler [" + std::string(tag) + "]");
            return false;
        }
        compiled = hooks.Compile(source);
        if (!compiled) return false;
        if (hooks.ResultType(compiled) != 'L') {
            hooks.Free(compiled);
            Report(351, "Error in expression : not a condition\r\n[" + source + "]\r\n [" + std::string(tag) + "]");
            return false;
        }
    }
    ReleaseCondition(a->*slot);
    a->*slot = compiled;
    if (compiled) a->*proc = [compiled] { return XfParserHooks().Condition(compiled); };
    else a->*proc = nullptr;
    return true;
}

}  // namespace

void SetFilterProc(std::function<bool()> filter)
{
    if (TWorkArea* a = Need("SetFilter")) {
        ReleaseCondition(a->FilterCondition);
        a->Filter = std::move(filter);
    }
}

void SetWhileProc(std::function<bool()> condition)
{
    if (TWorkArea* a = Need("SetWhile")) {
        ReleaseCondition(a->WhileCondition);
        a->While = std::move(condition);
    }
}

bool SetFilterCondition(std::string_view text)
{
    return SetCondition("SetFilter", text, &TWorkArea::FilterCondition, &TWorkArea::Filter);
}

bool SetWhileCondition(std::string_view text)
{
    return SetCondition("SetWhile", text, &TWorkArea::WhileCondition, &TWorkArea::While);
}

void SetRelation(std::function<void()> relation)
{
    if (TWorkArea* a = Need("SetRelation")) a->Relation = std::move(relation);
}

bool HasProductionIndex()
{
    TWorkArea* a = Need("HasProductionIndex");
    return a && !IsDbase2(a->Table) && a->Table.Prolog[28] != 0;
}

void SetProductionIndexFlag(bool flag)
{
    TWorkArea* a = Need("SetProductionIndexFlag");
    if (!a || IsDbase2(a->Table)) return;
    a->Table.Prolog[28] = flag ? 1 : 0;
    if (a->Table.HeaderState != hsAppended) a->Table.HeaderState = hsDirty;
}

}  // namespace xf
