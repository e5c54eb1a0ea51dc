#include "platform/edsengine/EdsFields.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsDates.h"
#include "platform/edsengine/EdsKeys.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/SysUtils.h"

namespace eds {
namespace {

struct TypeInfo {
    const char* name;
    UNSIGNED16 type;
    UNSIGNED32 fixedLength;  // 0: the field definition gives it
    const char* sqlType;
};

const TypeInfo kTypes[] = {
    {"LOGICAL", EDS_LOGICAL, 1, "INTEGER"},     {"NUMERIC", EDS_NUMERIC, 0, "REAL"},
    {"DATE", EDS_DATE, 4, "TEXT"},              {"CHAR", EDS_STRING, 0, "TEXT"},
    {"CHARACTER", EDS_STRING, 0, "TEXT"},       {"MEMO", EDS_MEMO, 4, "TEXT"},
    {"BINARY", EDS_BINARY, 4, "BLOB"},          {"BLOB", EDS_BINARY, 4, "BLOB"},
    {"IMAGE", EDS_IMAGE, 4, "BLOB"},            {"VARCHAR", EDS_VARCHAR, 4, "TEXT"},
    {"SHORTDATE", EDS_COMPACTDATE, 3, "TEXT"},  {"COMPACTDATE", EDS_COMPACTDATE, 3, "TEXT"},
    {"DOUBLE", EDS_DOUBLE, 8, "REAL"},          {"INTEGER", EDS_INTEGER, 4, "INTEGER"},
    {"SHORTINT", EDS_SHORTINT, 2, "INTEGER"},   {"SHORT", EDS_SHORTINT, 2, "INTEGER"},
    {"TIME", EDS_TIME, 4, "TEXT"},              {"TIMESTAMP", EDS_TIMESTAMP, 8, "TEXT"},
    {"AUTOINC", EDS_AUTOINC, 4, "INTEGER"},     {"RAW", EDS_RAW, 0, "BLOB"},
    {"CURDOUBLE", EDS_CURDOUBLE, 8, "REAL"},    {"MONEY", EDS_MONEY, 8, "REAL"},
    {"CICHAR", EDS_CISTRING, 0, "TEXT COLLATE NOCASE"},
    {"CICHARACTER", EDS_CISTRING, 0, "TEXT COLLATE NOCASE"},
};

constexpr std::size_t kMaxFields = 2000;
constexpr UNSIGNED32 kMaxRecordLength = 1u << 24;
// What the database layer opens: it reads a field name into 128 bytes and its
// string fields hold at most 8192 characters.
constexpr std::size_t kMaxOpenableName = 128;
constexpr UNSIGNED32 kMaxOpenableChars = 8192;
// A row is read with its record number beside its fields, within SQLite's limit
// on the columns of a result.
constexpr std::size_t kMaxOpenableFields = kMaxFields - 1;
// SQLite's names for a row's rowid.
constexpr const char* kRowidNames[] = {"rowid", "oid", "_rowid_"};

const TypeInfo* FindType(std::string_view upperName) {
    for (const TypeInfo& t : kTypes)
        if (upperName == t.name) return &t;
    return nullptr;
}

const TypeInfo& InfoOf(UNSIGNED16 type) {
    for (const TypeInfo& t : kTypes)
        if (t.type == type) return t;
    Throw(EDS_E_FIELD_SPEC, "Unknown field type " + std::to_string(type) + ".");
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

template <class T>
void Put(UNSIGNED8* dst, T value) {
    std::memcpy(dst, &value, sizeof value);  // little-endian host (x86-64, arm64)
}

template <class T>
T Get(const UNSIGNED8* src) {
    T value;
    std::memcpy(&value, src, sizeof value);
    return value;
}

bool AllBytes(const UNSIGNED8* src, std::size_t n, UNSIGNED8 byte) {
    for (std::size_t i = 0; i < n; ++i)
        if (src[i] != byte) return false;
    return true;
}

constexpr std::uint64_t kNullDouble = 0x8000000000000020ull;
constexpr std::uint64_t kNullMoney = 0x8000000000000000ull;

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

void NumericImage(const FieldDef& f, double value, UNSIGNED8* dst) {
    char text[400];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, f.decimals);
    const std::size_t n = ec == std::errc() ? static_cast<std::size_t>(end - text) : sizeof text + 1;
    if (n > f.length) {
        std::memset(dst, '*', f.length);  // does not fit: marked, never written past the column
        return;
    }
    std::memset(dst, ' ', f.length - n);
    std::memcpy(dst + (f.length - n), text, n);
}

void TextImage(std::string_view utf8, UNSIGNED32 length, UNSIGNED8* dst) {
    if (utf8.empty()) {
        std::memset(dst, 0, length);
        return;
    }
    if (IsAscii(utf8)) {  // the common case needs no conversion
        const std::size_t n = std::min<std::size_t>(utf8.size(), length);
        std::memcpy(dst, utf8.data(), n);
        std::memset(dst + n, ' ', length - n);
        return;
    }
    const std::string ansi = rtl::Utf8ToAnsi(utf8);
    const std::size_t n = std::min<std::size_t>(ansi.size(), length);
    std::memcpy(dst, ansi.data(), n);
    std::memset(dst + n, ' ', length - n);
}

std::string_view ColumnText(sqlite3_stmt* stmt, int column) {
    const unsigned char* text = sqlite3_column_text(stmt, column);
    const int n = sqlite3_column_bytes(stmt, column);
    return text ? std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n))
                : std::string_view();
}

// Where a stored value is read from: a result's column, or a value SQLite hands
// a function. Both read alike, so one conversion serves both.
struct ColumnSource {
    sqlite3_stmt* stmt;
    int column;
    int Type() const { return sqlite3_column_type(stmt, column); }
    std::int64_t Int() const { return sqlite3_column_int64(stmt, column); }
    double Real() const { return sqlite3_column_double(stmt, column); }
    std::string_view Text() const { return ColumnText(stmt, column); }
    const void* Blob() const { return sqlite3_column_blob(stmt, column); }
    int Bytes() const { return sqlite3_column_bytes(stmt, column); }
};

struct ValueSource {
    sqlite3_value* value;
    int Type() const { return sqlite3_value_type(value); }
    std::int64_t Int() const { return sqlite3_value_int64(value); }
    double Real() const { return sqlite3_value_double(value); }
    std::string_view Text() const {
        const unsigned char* text = sqlite3_value_text(value);
        const int n = sqlite3_value_bytes(value);
        return text ? std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n))
                    : std::string_view();
    }
    const void* Blob() const { return sqlite3_value_blob(value); }
    int Bytes() const { return sqlite3_value_bytes(value); }
};

void PackCompactDate(std::int32_t julian, UNSIGNED8* dst) {
    const Ymd d = YmdFromJulian(julian);
    const unsigned hi = static_cast<unsigned>(d.year * 2 + (d.month >> 3));
    dst[0] = static_cast<UNSIGNED8>(hi >> 8);
    dst[1] = static_cast<UNSIGNED8>(hi & 0xFF);
    dst[2] = static_cast<UNSIGNED8>(((d.month & 7) << 5) + d.day);
}

}  // namespace

std::string QuoteName(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

Schema Schema::Parse(std::string_view spec) {
    Schema schema;
    std::size_t start = 0;
    while (start <= spec.size()) {
        std::size_t end = spec.find(';', start);
        if (end == std::string_view::npos) end = spec.size();
        const std::string_view entry = Trim(spec.substr(start, end - start));
        start = end + 1;
        if (entry.empty()) continue;
        std::vector<std::string_view> parts;
        std::size_t p = 0;
        while (true) {
            const std::size_t comma = entry.find(',', p);
            parts.push_back(Trim(entry.substr(p, comma == std::string_view::npos ? std::string_view::npos : comma - p)));
            if (comma == std::string_view::npos) break;
            p = comma + 1;
        }
        const std::string where = "Field specification \"" + std::string(entry) + "\": ";
        if (parts.size() < 2 || parts[0].empty()) Throw(EDS_E_FIELD_SPEC, where + "name and type are required.");
        const TypeInfo* info = FindType(rtl::UpperCase(parts[1]));
        if (!info) Throw(EDS_E_FIELD_SPEC, where + "unknown type.");
        if (schema.Find(parts[0]) >= 0) Throw(EDS_E_FIELD_SPEC, where + "the name is used twice.");
        FieldDef f;
        f.name = std::string(parts[0]);
        f.type = info->type;
        f.length = info->fixedLength;
        auto number = [&](std::string_view text, UNSIGNED32 low, UNSIGNED32 high) {
            UNSIGNED32 v = 0;
            auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
            if (ec != std::errc() || ptr != text.data() + text.size() || v < low || v > high)
                Throw(EDS_E_FIELD_SPEC, where + "the length or decimals are not valid.");
            return v;
        };
        if (info->fixedLength == 0) {
            if (parts.size() < 3) Throw(EDS_E_FIELD_SPEC, where + "a length is required.");
            f.length = number(parts[2], 1, f.type == EDS_NUMERIC ? 32 : 65530);
            if (parts.size() >= 4 && f.type == EDS_NUMERIC)
                f.decimals = static_cast<UNSIGNED16>(number(parts[3], 0, f.length > 1 ? f.length - 2 : 0));
        } else if ((f.type == EDS_DOUBLE || f.type == EDS_CURDOUBLE) && parts.size() >= 3 && !parts[2].empty()) {
            f.decimals = static_cast<UNSIGNED16>(number(parts[parts.size() >= 4 ? 3 : 2], 0, 20));
        }
        // Bounds a stored specification cannot pass: SQLite's column limit, and a
        // record image that is allocated for every row read.
        if (schema.fields_.size() >= kMaxFields || schema.recordLength_ + f.length > kMaxRecordLength)
            Throw(EDS_E_FIELD_SPEC, where + "the table has too many or too long fields.");
        f.offset = schema.recordLength_;
        if (f.type == EDS_AUTOINC && schema.rowidAlias_ < 0) schema.rowidAlias_ = static_cast<int>(schema.fields_.size());
        schema.recordLength_ += f.length;
        schema.fields_.push_back(std::move(f));
    }
    if (schema.fields_.empty()) Throw(EDS_E_FIELD_SPEC, "The field specification names no fields.");
    return schema;
}

int Schema::Find(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (rtl::SameText(fields_[i].name, name)) return static_cast<int>(i);
    return -1;
}

std::string Schema::RecnoSql() const {
    for (const char* name : kRowidNames)
        if (Find(name) < 0) return name;
    if (rowidAlias_ >= 0) return QuoteName(fields_[static_cast<std::size_t>(rowidAlias_)].name);
    return kRowidNames[0];  // made before creation refused such tables: read as they always were
}

void Schema::CheckCreatable() const {
    if (fields_.size() > kMaxOpenableFields)
        Throw(EDS_E_FIELD_SPEC, "The field \"" + fields_[kMaxOpenableFields].name + "\" is one too many: a table has at most " +
                                    std::to_string(kMaxOpenableFields) + " fields.");
    for (const FieldDef& f : fields_) {
        const std::string field = "The field \"" + f.name + "\"";
        if (f.name.size() > kMaxOpenableName)
            Throw(EDS_E_FIELD_SPEC, field + " has too long a name: a field name has at most " +
                                        std::to_string(kMaxOpenableName) + " bytes.");
        if (f.IsText() && f.length > kMaxOpenableChars)
            Throw(EDS_E_FIELD_SPEC, field + " is too long: a character field holds at most " +
                                        std::to_string(kMaxOpenableChars) + " characters.");
        // An index that folds the field's case keeps the folded text in a column of this name.
        const int fold = Find(FoldColumnName(f));
        if (fold >= 0)
            Throw(EDS_E_FIELD_SPEC, "The field \"" + At(static_cast<std::size_t>(fold)).name +
                                        "\" takes the name the engine keeps the case-folded keys of \"" + f.name +
                                        "\" under.");
    }
    if (rowidAlias_ >= 0) return;
    std::string taken;
    for (const char* name : kRowidNames) {
        const int column = Find(name);
        if (column < 0) return;
        taken += (taken.empty() ? "\"" : ", \"") + At(static_cast<std::size_t>(column)).name + "\"";
    }
    Throw(EDS_E_FIELD_SPEC, "The fields " + taken +
                                " take every name of the record number: a table with all three needs an AutoInc field.");
}

std::string Schema::ToSpec() const {
    std::string spec;
    for (const FieldDef& f : fields_) {
        spec += f.name + "," + InfoOf(f.type).name;
        if (InfoOf(f.type).fixedLength == 0) {
            spec += ',';
            spec += std::to_string(f.length);
        }
        if (f.type == EDS_NUMERIC) {
            spec += ',';
            spec += std::to_string(f.decimals);
        }
        spec += ";";
    }
    return spec;
}

std::string Schema::CreateColumnsSql() const {
    std::string sql;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (i) sql += ", ";
        sql += QuoteName(fields_[i].name) + " ";
        sql += static_cast<int>(i) == rowidAlias_ ? "INTEGER PRIMARY KEY AUTOINCREMENT" : InfoOf(fields_[i].type).sqlType;
    }
    return sql;
}

void Schema::FillNullImage(UNSIGNED8* image) const {
    for (const FieldDef& f : fields_) NullImage(f, image + f.offset);
}

Value ColumnValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER: return Value::Int(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT: return Value::Real(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT: return Value::Text(std::string(ColumnText(stmt, column)));
    case SQLITE_BLOB: {
        const void* p = sqlite3_column_blob(stmt, column);
        const int n = sqlite3_column_bytes(stmt, column);
        return Value::Blob(p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string());
    }
    default: return Value();
    }
}

void BindValue(sqlite3_stmt* stmt, int parameter, const Value& v) {
    switch (v.kind) {
    case Value::Kind::Null: sqlite3_bind_null(stmt, parameter); break;
    case Value::Kind::Int: sqlite3_bind_int64(stmt, parameter, v.i); break;
    case Value::Kind::Real: sqlite3_bind_double(stmt, parameter, v.d); break;
    case Value::Kind::Text:
        sqlite3_bind_text(stmt, parameter, v.s.data(), static_cast<int>(v.s.size()), SQLITE_STATIC);
        break;
    case Value::Kind::Blob:
        sqlite3_bind_blob(stmt, parameter, v.s.data(), static_cast<int>(v.s.size()), SQLITE_STATIC);
        break;
    }
}

int CompareValues(const Value& a, const Value& b) {
    auto rank = [](const Value& v) {
        switch (v.kind) {
        case Value::Kind::Null: return 0;
        case Value::Kind::Int:
        case Value::Kind::Real: return 1;
        case Value::Kind::Text: return 2;
        case Value::Kind::Blob: return 3;
        }
        return 0;
    };
    const int ra = rank(a), rb = rank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra == 0) return 0;
    if (ra == 1) {
        if (a.kind == Value::Kind::Int && b.kind == Value::Kind::Int) return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
        const double x = a.kind == Value::Kind::Int ? static_cast<double>(a.i) : a.d;
        const double y = b.kind == Value::Kind::Int ? static_cast<double>(b.i) : b.d;
        return x < y ? -1 : x > y ? 1 : 0;
    }
    const int c = a.s.compare(b.s);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void NullImage(const FieldDef& f, UNSIGNED8* dst) {
    switch (f.type) {
    case EDS_LOGICAL: dst[0] = ' '; break;
    case EDS_DOUBLE:
    case EDS_CURDOUBLE: Put<std::uint64_t>(dst, kNullDouble); break;
    case EDS_INTEGER: Put<std::uint32_t>(dst, 0x80000000u); break;
    case EDS_SHORTINT: Put<std::uint16_t>(dst, 0x8000u); break;
    case EDS_TIME:
    case EDS_AUTOINC: Put<std::uint32_t>(dst, 0xFFFFFFFFu); break;
    case EDS_TIMESTAMP:
        Put<std::uint32_t>(dst, 0);
        Put<std::uint32_t>(dst + 4, 0xFFFFFFFFu);
        break;
    case EDS_MONEY: Put<std::uint64_t>(dst, kNullMoney); break;
    default: std::memset(dst, 0, f.length); break;
    }
}

bool IsNullImage(const FieldDef& f, const UNSIGNED8* src) {
    switch (f.type) {
    case EDS_LOGICAL: return src[0] == ' ' || src[0] == 0;
    case EDS_DOUBLE:
    case EDS_CURDOUBLE: return Get<std::uint64_t>(src) == kNullDouble;
    case EDS_INTEGER: return Get<std::uint32_t>(src) == 0x80000000u;
    case EDS_SHORTINT: return Get<std::uint16_t>(src) == 0x8000u;
    case EDS_TIME:
    case EDS_AUTOINC: return Get<std::uint32_t>(src) == 0xFFFFFFFFu;
    case EDS_TIMESTAMP: return Get<std::uint32_t>(src) == 0;
    case EDS_MONEY: return Get<std::uint64_t>(src) == kNullMoney;
    default: return AllBytes(src, f.length, 0);
    }
}

namespace {

template <class Source>
void ImageFrom(const FieldDef& f, const Source& src, UNSIGNED8* dst) {
    const int kind = src.Type();
    if (kind == SQLITE_NULL) {
        NullImage(f, dst);
        return;
    }
    switch (f.type) {
    case EDS_LOGICAL: {
        bool value = false;
        if (kind == SQLITE_TEXT) {
            const std::string_view t = src.Text();
            value = !t.empty() && std::strchr("TtYy1", t[0]) != nullptr;
        } else {
            value = src.Int() != 0;
        }
        dst[0] = value ? 'T' : 'F';
        break;
    }
    case EDS_NUMERIC: NumericImage(f, src.Real(), dst); break;
    case EDS_DATE:
    case EDS_COMPACTDATE: {
        const auto julian = ParseIsoDate(src.Text());
        if (!julian) {
            NullImage(f, dst);
        } else if (f.type == EDS_DATE) {
            Put<std::int32_t>(dst, *julian);
        } else {
            PackCompactDate(*julian, dst);
        }
        break;
    }
    case EDS_STRING:
    case EDS_CISTRING: TextImage(src.Text(), f.length, dst); break;
    case EDS_MEMO:
    case EDS_BINARY:
    case EDS_IMAGE:
    case EDS_VARCHAR: Put<std::uint32_t>(dst, src.Int() != 0 ? 0xFFFFFFFFu : 0u); break;
    case EDS_DOUBLE:
    case EDS_CURDOUBLE: Put<double>(dst, src.Real()); break;
    case EDS_INTEGER:
    case EDS_AUTOINC: Put<std::int32_t>(dst, static_cast<std::int32_t>(src.Int())); break;
    case EDS_SHORTINT: Put<std::int16_t>(dst, static_cast<std::int16_t>(src.Int())); break;
    case EDS_TIME: {
        const auto ms = ParseIsoTime(src.Text());
        if (ms) Put<std::uint32_t>(dst, *ms); else NullImage(f, dst);
        break;
    }
    case EDS_TIMESTAMP: {
        const auto ts = ParseIsoTimeStamp(src.Text());
        if (ts) {
            Put<std::int32_t>(dst, ts->first);
            Put<std::uint32_t>(dst + 4, ts->second);
        } else {
            NullImage(f, dst);
        }
        break;
    }
    case EDS_RAW: {
        const void* p = src.Blob();
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(src.Bytes()), f.length);
        std::memset(dst, 0, f.length);
        if (p && n) std::memcpy(dst, p, n);
        break;
    }
    case EDS_MONEY:
        Put<std::int64_t>(dst, std::llround(src.Real() * 10000.0));
        break;
    default: NullImage(f, dst); break;
    }
}

}  // namespace

void ImageFromColumn(const FieldDef& f, sqlite3_stmt* stmt, int column, UNSIGNED8* dst) {
    ImageFrom(f, ColumnSource{stmt, column}, dst);
}

void ImageFromValue(const FieldDef& f, sqlite3_value* value, UNSIGNED8* dst) { ImageFrom(f, ValueSource{value}, dst); }

std::string StoredText(std::string_view ansi) {
    while (!ansi.empty() && (ansi.back() == ' ' || ansi.back() == '\0')) ansi.remove_suffix(1);
    if (IsAscii(ansi)) return std::string(ansi);
    return rtl::AnsiToUtf8(ansi);
}

void BindImage(sqlite3_stmt* stmt, int parameter, const FieldDef& f, const UNSIGNED8* src) {
    if (f.type == EDS_STRING || f.type == EDS_CISTRING) {
        // The common text, ASCII, needs neither a conversion nor a copy of its own.
        std::string_view ansi(reinterpret_cast<const char*>(src), f.length);
        while (!ansi.empty() && (ansi.back() == ' ' || ansi.back() == '\0')) ansi.remove_suffix(1);
        if (!ansi.empty() && IsAscii(ansi)) {
            sqlite3_bind_text(stmt, parameter, ansi.data(), static_cast<int>(ansi.size()), SQLITE_STATIC);
            return;
        }
    }
    const Value v = ValueFromImage(f, src);
    switch (v.kind) {
    case Value::Kind::Text:
        sqlite3_bind_text(stmt, parameter, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
        break;
    case Value::Kind::Blob:
        sqlite3_bind_blob(stmt, parameter, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
        break;
    default: BindValue(stmt, parameter, v); break;
    }
}

Value ValueFromImage(const FieldDef& f, const UNSIGNED8* src) {
    if (IsNullImage(f, src)) return Value();
    switch (f.type) {
    case EDS_LOGICAL: return Value::Int(std::strchr("TtYy1", static_cast<char>(src[0])) && src[0] ? 1 : 0);
    case EDS_NUMERIC: {
        std::string_view text(reinterpret_cast<const char*>(src), f.length);
        text = Trim(text);
        while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
        if (!text.empty() && text.front() == '+') text.remove_prefix(1);
        double v = 0;
        auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return Value();
        return Value::Real(v);
    }
    case EDS_DATE: {
        const std::int32_t julian = Get<std::int32_t>(src);
        return julian > 0 ? Value::Text(IsoDate(julian)) : Value();
    }
    case EDS_COMPACTDATE: {
        const unsigned hi = (static_cast<unsigned>(src[0]) << 8) | src[1];
        const int year = static_cast<int>(hi >> 1);
        const int month = static_cast<int>((hi & 1) * 8 + (src[2] >> 5));
        const int day = src[2] & 31;
        if (!IsValidYmd(year, month, day)) return Value();
        return Value::Text(IsoDate(JulianFromYmd(year, month, day)));
    }
    case EDS_STRING:
    case EDS_CISTRING: {
        std::string text = StoredText(std::string_view(reinterpret_cast<const char*>(src), f.length));
        return text.empty() ? Value() : Value::Text(std::move(text));
    }
    case EDS_DOUBLE:
    case EDS_CURDOUBLE: return Value::Real(Get<double>(src));
    case EDS_INTEGER:
    case EDS_AUTOINC: return Value::Int(Get<std::int32_t>(src));
    case EDS_SHORTINT: return Value::Int(Get<std::int16_t>(src));
    case EDS_TIME: {
        const std::uint32_t ms = Get<std::uint32_t>(src);
        return ms < 86400000u ? Value::Text(IsoTime(ms)) : Value();
    }
    case EDS_TIMESTAMP: {
        const std::int32_t julian = Get<std::int32_t>(src);
        std::uint32_t ms = Get<std::uint32_t>(src + 4);
        if (julian <= 0) return Value();
        if (ms >= 86400000u) ms = 0;
        return Value::Text(IsoTimeStamp(julian, ms));
    }
    case EDS_RAW: return Value::Blob(std::string(reinterpret_cast<const char*>(src), f.length));
    case EDS_MONEY: return Value::Real(static_cast<double>(Get<std::int64_t>(src)) / 10000.0);
    default: return Value();
    }
}

}  // namespace eds
