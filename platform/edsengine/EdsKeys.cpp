#include "platform/edsengine/EdsKeys.h"
#include "platform/edsengine/EdsExprAst.h"

#include <charconv>
#include <cstring>
#include <iterator>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsCursor.h"
#include "platform/edsengine/EdsDates.h"
#include "platform/edsengine/EdsSettings.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/SysUtils.h"

namespace eds {
namespace {

constexpr char kTextNullKey[] = "''";
constexpr char kNumberNullKey[] = "-9223372036854775808";
constexpr std::int64_t kNumberNull = INT64_MIN;

bool IsTextual(const FieldDef& f) {
    switch (f.type) {
    case EDS_STRING:
    case EDS_CISTRING:
    case EDS_MEMO:
    case EDS_VARCHAR:
    case EDS_DATE:
    case EDS_COMPACTDATE:
    case EDS_TIME:
    case EDS_TIMESTAMP: return true;
    default: return false;
    }
}

bool IsBinary(const FieldDef& f) { return f.type == EDS_BINARY || f.type == EDS_IMAGE || f.type == EDS_RAW; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::string RowTerms(const std::vector<std::string>& terms, std::size_t m) {
    if (m == 1) return terms[0];
    std::string s = "(";
    for (std::size_t i = 0; i < m; ++i) s += (i ? ", " : "") + terms[i];
    return s + ")";
}

std::string RowParams(std::size_t m) {
    if (m == 1) return "?";
    std::string s = "(";
    for (std::size_t i = 0; i < m; ++i) s += i ? ", ?" : "?";
    return s + ")";
}

// The values with the last text value raised above every text it is a prefix of.
std::vector<Value> PastPrefix(std::vector<Value> values) {
    values.back().s += '\xFF';  // never part of UTF-8: above every continuation
    return values;
}

void Append(std::vector<Value>& params, const std::vector<Value>& values) {
    params.insert(params.end(), values.begin(), values.end());
}

bool PrefixApplies(const KeyBound& b) { return b.lastPrefix && b.values.back().kind == Value::Kind::Text; }

}  // namespace

std::vector<Segment> ParseKeyExpression(const Schema& schema, std::string_view expr) {
    std::vector<Segment> segments;
    std::size_t start = 0;
    while (start <= expr.size()) {
        std::size_t end = expr.find_first_of(";+", start);
        if (end == std::string_view::npos) end = expr.size();
        std::string_view part = expr.substr(start, end - start);
        start = end + 1;
        // Names are taken as they stand; only the blanks around UPPER( ) are dropped.
        Segment seg;
        std::string_view trimmed = Trim(part);
        if (trimmed.size() > 7 && rtl::UpperCase(trimmed.substr(0, 6)) == "UPPER(" && trimmed.back() == ')') {
            seg.upper = true;
            part = Trim(trimmed.substr(6, trimmed.size() - 7));
        }
        int field = schema.Find(part);
        if (field < 0) field = schema.Find(Trim(part));
        if (field < 0)
            Throw(EDS_E_INDEX_EXPRESSION, "The index expression \"" + std::string(expr) + "\" names no column \"" +
                                              std::string(part) + "\".");
        const FieldDef& f = schema.At(static_cast<std::size_t>(field));
        if (f.IsBlob()) Throw(EDS_E_INDEX_EXPRESSION, "Memo and binary columns cannot be index keys.");
        seg.field = field;
        seg.upper = seg.upper && f.IsText();
        segments.push_back(seg);
    }
    return segments;
}

bool Segment::Folds(const Schema& schema) const {
    return upper || schema.At(static_cast<std::size_t>(field)).type == EDS_CISTRING;
}

namespace {

constexpr std::size_t kFoldSplit = std::size(rtl::kAnsiCaseFolds) / 2;

std::string ReplaceLetters(std::string sql, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        sql = "replace(" + sql + ", '" + rtl::kAnsiCaseFolds[i].lower + "', '" + rtl::kAnsiCaseFolds[i].upper + "')";
    return sql;
}

}  // namespace

std::string FoldColumnName(const FieldDef& field) { return field.name + "$fold"; }

std::string FoldColumnSql(const FieldDef& field) {
    return ReplaceLetters("ifnull(" + QuoteName(field.name) + ", " + kTextNullKey + ")", 0, kFoldSplit);
}

std::string FoldSql(const std::string& text) { return "eds_fold(" + text + ")"; }

void RegisterFolding(sqlite3* db) {
    sqlite3_create_function_v2(
        db, "eds_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
        [](sqlite3_context* context, int, sqlite3_value** args) {
            if (sqlite3_value_type(args[0]) == SQLITE_NULL) return sqlite3_result_null(context);
            const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
            const std::string folded =
                rtl::AnsiUpperCase(std::string_view(text ? text : "", static_cast<std::size_t>(sqlite3_value_bytes(args[0]))));
            sqlite3_result_text(context, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
        },
        nullptr, nullptr, nullptr);
    EdsExprRegisterSqlFunctions(db);
    RegisterScanFunctions(db);
}

std::string KeyTermSql(const Schema& schema, const Segment& segment) {
    const FieldDef& f = schema.At(static_cast<std::size_t>(segment.field));
    const std::string column = QuoteName(f.name);
    if (IsBinary(f)) return "ifnull(" + column + ", x'')";
    if (!IsTextual(f)) return "ifnull(" + column + ", " + kNumberNullKey + ")";
    const std::string text = "ifnull(" + column + ", " + kTextNullKey + ")";
    if (segment.asciiFold) {
        if (segment.upper) return "upper(" + text + ")";
        if (f.type == EDS_CISTRING) return text + " COLLATE NOCASE";
    }
    if (segment.Folds(schema))
        return "upper(" + ReplaceLetters(QuoteName(FoldColumnName(f)), kFoldSplit, std::size(rtl::kAnsiCaseFolds)) + ")";
    return text;
}

Value KeyValue(const Schema& schema, const Segment& segment, Value v) {
    const FieldDef& f = schema.At(static_cast<std::size_t>(segment.field));
    if (v.IsNull()) {
        if (IsBinary(f)) return Value::Blob("");
        if (!IsTextual(f)) return Value::Int(kNumberNull);
        return Value::Text("");
    }
    if (v.kind != Value::Kind::Text) return v;
    if (segment.asciiFold) {
        if (segment.upper) v.s = rtl::UpperCase(v.s);  // a NOCASE column compares by itself
    } else if (segment.Folds(schema)) {
        v.s = rtl::AnsiUpperCase(v.s);
    }
    return v;
}

std::string LowerBoundSql(const std::vector<std::string>& terms, const KeyBound& b, std::vector<Value>& params) {
    const std::size_t m = std::min(b.values.size(), terms.size());
    if (m == 0) return "1";
    std::vector<Value> values(b.values.begin(), b.values.begin() + static_cast<std::ptrdiff_t>(m));
    if (b.step > 0) {
        if (PrefixApplies(b) && m == b.values.size()) {
            Append(params, PastPrefix(values));
            return RowTerms(terms, m) + " >= " + RowParams(m);
        }
        Append(params, values);
        return RowTerms(terms, m) + " > " + RowParams(m);
    }
    Append(params, values);
    return RowTerms(terms, m) + " >= " + RowParams(m);
}

std::string UpperBoundSql(const std::vector<std::string>& terms, const KeyBound& b, std::vector<Value>& params) {
    const std::size_t m = std::min(b.values.size(), terms.size());
    if (m == 0) return "1";
    std::vector<Value> values(b.values.begin(), b.values.begin() + static_cast<std::ptrdiff_t>(m));
    if (b.step < 0) {
        Append(params, values);
        return RowTerms(terms, m) + " < " + RowParams(m);
    }
    if (PrefixApplies(b) && m == b.values.size()) {
        Append(params, PastPrefix(values));
        return RowTerms(terms, m) + " < " + RowParams(m);
    }
    Append(params, values);
    return RowTerms(terms, m) + " <= " + RowParams(m);
}

std::string EncodeRawKey(const KeyBound& b) {
    std::string out;
    out += 'K';
    out += static_cast<char>(b.step > 0 ? 1 : b.step < 0 ? 2 : 0);
    out += static_cast<char>(b.values.size());
    out += static_cast<char>(b.lastPrefix ? 1 : 0);
    for (const Value& v : b.values) {
        switch (v.kind) {
        case Value::Kind::Null: out += '\0'; break;
        case Value::Kind::Int: {
            out += '\1';
            char bytes[8];
            std::memcpy(bytes, &v.i, 8);
            out.append(bytes, 8);
            break;
        }
        case Value::Kind::Real: {
            out += '\2';
            char bytes[8];
            std::memcpy(bytes, &v.d, 8);
            out.append(bytes, 8);
            break;
        }
        case Value::Kind::Text:
        case Value::Kind::Blob: {
            out += v.kind == Value::Kind::Text ? '\3' : '\4';
            const auto n = static_cast<std::uint16_t>(std::min<std::size_t>(v.s.size(), 0xFFFF));
            out += static_cast<char>(n & 0xFF);
            out += static_cast<char>(n >> 8);
            out.append(v.s.data(), n);
            break;
        }
        }
    }
    return out;
}

std::optional<KeyBound> DecodeRawKey(std::string_view in) {
    if (in.size() < 4 || in[0] != 'K') return std::nullopt;
    KeyBound b;
    b.step = in[1] == 1 ? 1 : in[1] == 2 ? -1 : 0;
    const std::size_t count = static_cast<unsigned char>(in[2]);
    b.lastPrefix = in[3] == 1;
    std::size_t p = 4;
    for (std::size_t i = 0; i < count; ++i) {
        if (p >= in.size()) return std::nullopt;
        const char tag = in[p++];
        Value v;
        if (tag == 1 || tag == 2) {
            if (p + 8 > in.size()) return std::nullopt;
            if (tag == 1) {
                v.kind = Value::Kind::Int;
                std::memcpy(&v.i, in.data() + p, 8);
            } else {
                v.kind = Value::Kind::Real;
                std::memcpy(&v.d, in.data() + p, 8);
            }
            p += 8;
        } else if (tag == 3 || tag == 4) {
            if (p + 2 > in.size()) return std::nullopt;
            const std::size_t n = static_cast<unsigned char>(in[p]) | (static_cast<std::size_t>(static_cast<unsigned char>(in[p + 1])) << 8);
            p += 2;
            if (p + n > in.size()) return std::nullopt;
            v.kind = tag == 3 ? Value::Kind::Text : Value::Kind::Blob;
            v.s.assign(in.data() + p, n);
            p += n;
        } else if (tag != 0) {
            return std::nullopt;
        }
        b.values.push_back(std::move(v));
    }
    return b;
}

std::size_t RawKeyRoom(const Schema& schema, const IndexDef& index) {
    std::size_t room = 4;
    for (const Segment& s : index.segments) {
        const FieldDef& f = schema.At(static_cast<std::size_t>(s.field));
        room += IsTextual(f) || IsBinary(f) ? 3 + std::max<std::size_t>(f.length * 3, 24) : 9;
    }
    return std::min<std::size_t>(room, 4082);
}

KeyBound BoundFromText(const Schema& schema, const IndexDef& index, std::string_view text) {
    KeyBound b;
    std::vector<std::string_view> parts;
    if (index.segments.size() > 1) {
        std::size_t start = 0;
        while (parts.size() < index.segments.size()) {
            const std::size_t semi = text.find(';', start);
            parts.push_back(text.substr(start, semi == std::string_view::npos ? std::string_view::npos : semi - start));
            if (semi == std::string_view::npos) break;
            start = semi + 1;
        }
    } else {
        parts.push_back(text);
    }
    for (std::size_t i = 0; i < parts.size() && i < index.segments.size(); ++i) {
        const Segment& seg = index.segments[i];
        const FieldDef& f = schema.At(static_cast<std::size_t>(seg.field));
        const std::string_view part = parts[i];
        Value v;
        if (f.type == EDS_DATE || f.type == EDS_COMPACTDATE || f.type == EDS_TIMESTAMP) {
            const auto julian = DateFormat::Parse(ProcessSettings().dateFormat).Read(part);
            if (julian) v = Value::Text(IsoDate(*julian));
            else v = Value::Text(std::string(Trim(part)));
            b.lastPrefix = f.type == EDS_TIMESTAMP;
        } else if (IsTextual(f)) {
            v = Value::Text(StoredText(part));  // keys come as record images do, in Windows-1252
            b.lastPrefix = true;
        } else if (IsBinary(f)) {
            v = Value::Blob(std::string(part));
            b.lastPrefix = false;
        } else {
            const std::string_view t = Trim(part);
            std::int64_t n = 0;
            auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
            if (ec == std::errc() && ptr == t.data() + t.size()) {
                v = Value::Int(n);
            } else {
                double d = 0;
                auto [ptr2, ec2] = std::from_chars(t.data(), t.data() + t.size(), d);
                if (ec2 != std::errc() || ptr2 != t.data() + t.size())
                    Throw(EDS_E_INVALID_ARGUMENT, "The key \"" + std::string(part) + "\" is not a number.");
                v = Value::Real(d);
            }
            b.lastPrefix = false;
        }
        b.values.push_back(KeyValue(schema, seg, std::move(v)));
    }
    return b;
}

}  // namespace eds
