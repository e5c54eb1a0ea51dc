#include "platform/edsengine/EdsSqlChecks.h"

#include <cmath>
#include <cstring>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsFields.h"
#include "platform/edsengine/EdsSqlSession.h"
#include "platform/rtl/SysUtils.h"

namespace eds {
namespace {

constexpr const char* kStored = "eds_stored_fits";    // (table, {name, type, length, decimals, value}...)
constexpr const char* kChanged = "eds_changed_fits";  // (table, {name, type, length, decimals, new, old}...)
constexpr int kStoredGroup = 5;
constexpr int kChangedGroup = 6;
// Columns per call: SQLite takes at most 127 arguments.
constexpr std::size_t kColumnsPerCall = 16;
constexpr UNSIGNED32 kMaxNumericLength = 32;  // as the field specification allows

// The image length of a checked type; 0 for a type that is not checked (Numeric
// gives its own length).
UNSIGNED32 FixedLength(UNSIGNED16 type) {
    switch (type) {
    case EDS_SHORTINT: return 2;
    case EDS_COMPACTDATE: return 3;
    case EDS_DATE:
    case EDS_INTEGER:
    case EDS_AUTOINC:
    case EDS_TIME: return 4;
    case EDS_DOUBLE:
    case EDS_CURDOUBLE:
    case EDS_MONEY:
    case EDS_TIMESTAMP: return 8;
    default: return 0;
    }
}

// Character, logical and blob columns take what they are given, as the
// program's own inserts expect (a text wider than its column is cut on reading).
bool Checked(UNSIGNED16 type) { return type == EDS_NUMERIC || FixedLength(type) != 0; }

// What a column holds, for the refusal's text.
std::string Holds(const FieldDef& f) {
    switch (f.type) {
    case EDS_INTEGER: return "whole numbers from -2147483647 to 2147483647";
    case EDS_SHORTINT: return "whole numbers from -32767 to 32767";
    case EDS_AUTOINC: return "whole numbers up to 2147483647, but not -1";
    case EDS_NUMERIC:
        return "numbers of at most " + std::to_string(f.length) + " characters with " + std::to_string(f.decimals) +
               " decimals";
    case EDS_MONEY: return "numbers from -922337203685477.5807 to 922337203685477.5807";
    case EDS_DATE:
    case EDS_COMPACTDATE: return "dates from 0001-01-01 to 9999-12-31 written YYYY-MM-DD";
    case EDS_TIME: return "times of day written HH:MM:SS.mmm";
    case EDS_TIMESTAMP: return "dates and times from 0001-01-01 to 9999-12-31 written YYYY-MM-DD HH:MM:SS.mmm";
    default: return "numbers, but not the one that marks an empty field";
    }
}

// Whether the engine reads the stored value `v` (of SQLite's type `kind`, after
// the column's affinity) back as that value: the image the engine makes of it,
// read again, must be no empty field, and for whole and floating numbers the
// same number. A Numeric or Money value may come back rounded to its decimals;
// whether it fits its width is decided by the engine's own formatting.
bool Fits(const FieldDef& f, sqlite3_value* v, int kind) {
    const bool number = kind == SQLITE_INTEGER || kind == SQLITE_FLOAT;
    switch (f.type) {
    case EDS_INTEGER:
    case EDS_SHORTINT:
    case EDS_AUTOINC:
        if (kind != SQLITE_INTEGER) return false;  // text that did not convert, a fraction, a blob
        break;
    case EDS_NUMERIC:  // its text would read "inf" as no number
        if (!number || !std::isfinite(sqlite3_value_double(v))) return false;
        break;
    case EDS_DOUBLE:
    case EDS_CURDOUBLE:
        if (!number) return false;
        break;
    case EDS_MONEY:
        // Beyond 64 bits of ten-thousandths the engine's rounding has no answer.
        if (!number || !(std::fabs(sqlite3_value_double(v) * 10000.0) < 9223372036854775808.0)) return false;
        break;
    default:
        if (kind != SQLITE_TEXT) return false;
        break;
    }
    UNSIGNED8 image[kMaxNumericLength];
    ImageFromValue(f, v, image);
    switch (f.type) {
    case EDS_INTEGER:
    case EDS_SHORTINT:
    case EDS_AUTOINC: {
        const Value back = ValueFromImage(f, image);
        return !back.IsNull() && back.i == sqlite3_value_int64(v);
    }
    case EDS_DOUBLE:
    case EDS_CURDOUBLE: {
        const Value back = ValueFromImage(f, image);
        return !back.IsNull() && back.d == sqlite3_value_double(v);
    }
    case EDS_NUMERIC:
    case EDS_MONEY: return !ValueFromImage(f, image).IsNull();
    // A date or time the engine cannot read has the empty image; one it reads
    // is the day and time it was given.
    default: return !IsNullImage(f, image);
    }
}

// Whether an UPDATE leaves the value as it was.
bool Same(sqlite3_value* now, sqlite3_value* before) {
    const int kind = sqlite3_value_type(now);
    if (kind != sqlite3_value_type(before)) return false;
    switch (kind) {
    case SQLITE_NULL: return true;
    case SQLITE_INTEGER: return sqlite3_value_int64(now) == sqlite3_value_int64(before);
    case SQLITE_FLOAT: return sqlite3_value_double(now) == sqlite3_value_double(before);
    default: {
        auto bytes = [kind](sqlite3_value* v) {
            return kind == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(v)) : sqlite3_value_blob(v);
        };
        const void* a = bytes(now);
        const void* b = bytes(before);
        const int n = sqlite3_value_bytes(now);
        return n == sqlite3_value_bytes(before) && (n == 0 || std::memcmp(a, b, static_cast<std::size_t>(n)) == 0);
    }
    }
}

std::string Shown(sqlite3_value* v, int kind) {
    if (kind == SQLITE_BLOB) return "a binary value";
    const unsigned char* p = sqlite3_value_text(v);
    std::string text(p ? reinterpret_cast<const char*>(p) : "", static_cast<std::size_t>(sqlite3_value_bytes(v)));
    if (text.size() > 60) text = text.substr(0, 60) + "...";
    return kind == SQLITE_TEXT ? "'" + text + "'" : text;
}

std::string TriggerName(const std::string& schema, const char* event) { return QuoteName(schema + "$" + event); }

}  // namespace

FieldChecks::FieldChecks(sqlite3* db) {
    // Not direct-only: triggers call them. They only ever refuse, so they are
    // innocuous wherever else SQL calls them.
    const int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS;
    int rc = sqlite3_create_function_v2(db, kStored, -1, flags, this, &FieldChecks::Stored, nullptr, nullptr,
                                        nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, kChanged, -1, flags, this, &FieldChecks::Changed, nullptr, nullptr,
                                        nullptr);
    if (rc != SQLITE_OK) ThrowSqlError(db, rc, "registering the field checks");
}

std::string FieldChecks::Make(const std::string& schema, const std::string& rowTable,
                              const std::vector<SqlField>& fields) {
    std::vector<const SqlField*> checked;
    for (const SqlField& f : fields)
        if (Checked(f.type)) checked.push_back(&f);
    if (checked.empty()) return {};
    const std::string table = QuoteName(schema) + "." + QuoteName(rowTable);
    auto calls = [&](const char* function, bool withOld) {
        std::string select;
        for (std::size_t i = 0; i < checked.size(); ++i) {
            const SqlField& f = *checked[i];
            if (i % kColumnsPerCall == 0)
                select += std::string(i ? "), " : "SELECT ") + function + "(" + rtl::QuotedStr(rowTable);
            select += ", " + rtl::QuotedStr(f.name) + ", " + std::to_string(f.type) + ", " +
                      std::to_string(f.length) + ", " + std::to_string(f.decimals) + ", NEW." + QuoteName(f.name);
            if (withOld) select += ", OLD." + QuoteName(f.name);
        }
        return select + ")";
    };
    std::string columns;
    for (const SqlField* f : checked) columns += (columns.empty() ? "" : ", ") + QuoteName(f->name);
    return "CREATE TEMP TRIGGER " + TriggerName(schema, "stored") + " AFTER INSERT ON " + table + " BEGIN " +
           calls(kStored, false) + "; END; CREATE TEMP TRIGGER " + TriggerName(schema, "changed") +
           " AFTER UPDATE OF " + columns + " ON " + table + " BEGIN " + calls(kChanged, true) + "; END";
}

std::string FieldChecks::Remove(const std::string& schema) {
    return "DROP TRIGGER IF EXISTS temp." + TriggerName(schema, "stored") + "; DROP TRIGGER IF EXISTS temp." +
           TriggerName(schema, "changed");
}

void FieldChecks::ThrowFailure(sqlite3* db, int rc, std::string_view sql) {
    if (refusal_.empty()) ThrowSqlError(db, rc, sql);
    std::string text = std::move(refusal_);
    refusal_.clear();
    Throw(EDS_E_COLUMN_VALUE, std::move(text));
}

namespace {

// Checks the groups of arguments; refuses the first value that does not fit.
void CheckGroups(sqlite3_context* context, int argc, sqlite3_value** argv, int group, std::string& refusal) {
    if (argc < 1 || (argc - 1) % group != 0) {
        sqlite3_result_error(context, "The field check was called with wrong arguments.", -1);
        return;
    }
    for (int at = 1; at < argc; at += group) {
        FieldDef f;
        const sqlite3_int64 type = sqlite3_value_int64(argv[at + 1]);
        f.type = type > 0 && type < 0x10000 ? static_cast<UNSIGNED16>(type) : 0;
        f.length = FixedLength(f.type);
        if (f.type == EDS_NUMERIC) {
            const sqlite3_int64 length = sqlite3_value_int64(argv[at + 2]);
            const sqlite3_int64 decimals = sqlite3_value_int64(argv[at + 3]);
            if (length >= 1 && length <= kMaxNumericLength && decimals >= 0 && decimals < length) {
                f.length = static_cast<UNSIGNED32>(length);
                f.decimals = static_cast<UNSIGNED16>(decimals);
            }
        }
        if (!Checked(f.type) || f.length == 0) {
            sqlite3_result_error(context, "The field check was called with wrong arguments.", -1);
            return;
        }
        sqlite3_value* value = argv[at + 4];
        if (group == kChangedGroup && Same(value, argv[at + 5])) continue;  // what it was stays repairable
        const int kind = sqlite3_value_type(value);
        if (kind == SQLITE_NULL || Fits(f, value, kind)) continue;
        const unsigned char* name = sqlite3_value_text(argv[at]);
        const unsigned char* table = sqlite3_value_text(argv[0]);
        refusal = "The column \"" + std::string(name ? reinterpret_cast<const char*>(name) : "") + "\" of the table " +
                  std::string(table ? reinterpret_cast<const char*>(table) : "") + " cannot hold " +
                  Shown(value, kind) + "; it holds " + Holds(f) + ".";
        sqlite3_result_error(context, refusal.c_str(), -1);
        return;
    }
    sqlite3_result_null(context);
}

}  // namespace

void FieldChecks::Stored(sqlite3_context* context, int argc, sqlite3_value** argv) {
    CheckGroups(context, argc, argv, kStoredGroup, static_cast<FieldChecks*>(sqlite3_user_data(context))->refusal_);
}

void FieldChecks::Changed(sqlite3_context* context, int argc, sqlite3_value** argv) {
    CheckGroups(context, argc, argv, kChangedGroup, static_cast<FieldChecks*>(sqlite3_user_data(context))->refusal_);
}

}  // namespace eds
