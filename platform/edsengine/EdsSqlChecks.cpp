#include "platform/edsengine/EdsSqlChecks.h"

#include <cmath>
#include <cstring>
#include <optional>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsDates.h"
#include "platform/edsengine/EdsFields.h"
#include "platform/edsengine/EdsSqlSession.h"
#include "platform/rtl/SysUtils.h"

namespace eds {
namespace {

constexpr const char* kStored = "eds_stored_fits";    // (table, {name, type, length, decimals, value}...)
constexpr const char* kChanged = "eds_changed_fits";  // (table, {name, type, length, decimals, new, old}...)
constexpr const char* kKeep = "eds_stored_form";      // (schema, table, recno name, recno, {name, type, value}...)
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

bool Timed(UNSIGNED16 type) { return type == EDS_TIME || type == EDS_TIMESTAMP; }

// The form the table API writes a time or timestamp in, for a text the engine
// reads as one; nothing for a text it does not.
std::optional<std::string> StoredForm(UNSIGNED16 type, std::string_view text) {
    if (type == EDS_TIME) {
        const auto ms = ParseIsoTime(text);
        if (ms && *ms < 86400000u) return IsoTime(*ms);
    } else if (type == EDS_TIMESTAMP) {
        const auto ts = ParseIsoTimeStamp(text);
        if (ts) return IsoTimeStamp(ts->first, ts->second);
    }
    return std::nullopt;
}

// Whether a text may be in another form than the API's: every text of that
// form has its length (and a blank after the date); the function judges the
// rest. An UPDATE stores again only what it writes.
std::string MayDiffer(const SqlField& f, bool update) {
    const std::string value = "NEW." + QuoteName(f.name);
    std::string differ = f.type == EDS_TIME ? "length(" + value + ") <> 12"
                                            : "length(" + value + ") <> 23 OR substr(" + value + ", 11, 1) <> ' '";
    return update ? "(" + value + " IS NOT OLD." + QuoteName(f.name) + " AND (" + differ + "))" : "(" + differ + ")";
}

}  // namespace

FieldChecks::FieldChecks(sqlite3* db, SqlSession& session) : db_(db), session_(session) {
    // Not direct-only: triggers call them. They only ever refuse, so they are
    // innocuous wherever else SQL calls them.
    const int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS;
    int rc = sqlite3_create_function_v2(db, kStored, -1, flags, this, &FieldChecks::Stored, nullptr, nullptr,
                                        nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, kChanged, -1, flags, this, &FieldChecks::Changed, nullptr, nullptr,
                                        nullptr);
    // It writes: the TEMP triggers may call it, no view or file's schema may,
    // and the authorizer keeps it from the user's own text.
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, kKeep, -1, SQLITE_UTF8 | SQLITE_DIRECTONLY, this, &FieldChecks::Keep,
                                        nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) ThrowSqlError(db, rc, "registering the field checks");
}

FieldChecks::~FieldChecks() {
    for (auto& [key, stmt] : keeps_) sqlite3_finalize(stmt);
}

void FieldChecks::Forget(const std::string& schema) {
    for (auto it = keeps_.begin(); it != keeps_.end();) {
        if (it->first.first != schema) {
            ++it;
            continue;
        }
        sqlite3_finalize(it->second);
        it = keeps_.erase(it);
    }
}

bool FieldChecks::IsOwn(std::string_view function) { return rtl::SameText(std::string(function), kKeep); }

std::string FieldChecks::Make(const std::string& schema, const std::string& rowTable, const std::string& recno,
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
    // After the checks, which refuse what the engine cannot read.
    std::vector<const SqlField*> timed;
    for (const SqlField* f : checked)
        if (Timed(f->type)) timed.push_back(f);
    auto keep = [&](bool update) {
        std::string sql;
        for (std::size_t i = 0; i < timed.size(); i += kColumnsPerCall) {
            std::string args, differ;
            for (std::size_t j = i; j < timed.size() && j < i + kColumnsPerCall; ++j) {
                const SqlField& f = *timed[j];
                const std::string value = "NEW." + QuoteName(f.name);
                args += ", " + rtl::QuotedStr(f.name) + ", " + std::to_string(f.type) + ", " +
                        (update ? "nullif(" + value + ", OLD." + QuoteName(f.name) + ")" : value);
                differ += (differ.empty() ? "" : " OR ") + MayDiffer(f, update);
            }
            sql += "; SELECT " + std::string(kKeep) + "(" + rtl::QuotedStr(schema) + ", " + rtl::QuotedStr(rowTable) +
                   ", " + rtl::QuotedStr(recno) + ", NEW." + recno + args + ") WHERE " + differ;
        }
        return sql;
    };
    std::string columns;
    for (const SqlField* f : checked) columns += (columns.empty() ? "" : ", ") + QuoteName(f->name);
    return "CREATE TEMP TRIGGER " + TriggerName(schema, "stored") + " AFTER INSERT ON " + table + " BEGIN " +
           calls(kStored, false) + keep(false) + "; END; CREATE TEMP TRIGGER " + TriggerName(schema, "changed") +
           " AFTER UPDATE OF " + columns + " ON " + table + " BEGIN " + calls(kChanged, true) + keep(true) + "; END";
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

// Stores a row's times and timestamps again in the API's form where they are
// in another; the UPDATE, run within the user's statement, is undone with it.
// A value the engine cannot read is left as it is (an UPDATE keeps a bad value
// it does not change), so writing the row again ends: every value it writes
// is in the form already.
void FieldChecks::Keep(sqlite3_context* context, int argc, sqlite3_value** argv) {
    auto* self = static_cast<FieldChecks*>(sqlite3_user_data(context));
    sqlite3_result_null(context);
    if (argc < 4 || (argc - 4) % 3 != 0) {
        sqlite3_result_error(context, "The field check was called with wrong arguments.", -1);
        return;
    }
    auto text = [](sqlite3_value* v) {
        const unsigned char* p = sqlite3_value_text(v);
        return std::string(p ? reinterpret_cast<const char*>(p) : "", static_cast<std::size_t>(sqlite3_value_bytes(v)));
    };
    std::string sets;
    std::vector<std::string> forms;
    for (int at = 4; at < argc; at += 3) {
        if (sqlite3_value_type(argv[at + 2]) != SQLITE_TEXT) continue;
        const sqlite3_int64 type = sqlite3_value_int64(argv[at + 1]);
        const std::string value = text(argv[at + 2]);
        const std::optional<std::string> form =
            StoredForm(type > 0 && type < 0x10000 ? static_cast<UNSIGNED16>(type) : 0, value);
        if (!form || *form == value) continue;
        forms.push_back(*form);
        sets += (sets.empty() ? "" : ", ") + QuoteName(text(argv[at])) + " = ?" + std::to_string(forms.size() + 1);
    }
    if (forms.empty()) return;
    const std::string schema = text(argv[0]);
    const std::string sql = "UPDATE " + QuoteName(schema) + "." + QuoteName(text(argv[1])) + " SET " + sets +
                            " WHERE " + text(argv[2]) + " = ?1";
    SqlSession::OwnStatements own(self->session_);
    sqlite3_stmt*& stmt = self->keeps_[{schema, sql}];
    int rc = stmt ? SQLITE_OK : sqlite3_prepare_v2(self->db_, sql.c_str(), -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_value(stmt, 1, argv[3]);
        for (std::size_t i = 0; i < forms.size(); ++i)
            sqlite3_bind_text(stmt, static_cast<int>(i) + 2, forms[i].c_str(), static_cast<int>(forms[i].size()),
                              SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt);
    }
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
    const std::string error = rc == SQLITE_OK ? "" : sqlite3_errmsg(self->db_);
    if (stmt) {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
    }
    if (rc == SQLITE_OK) return;
    sqlite3_result_error(context, error.c_str(), -1);
    sqlite3_result_error_code(context, rc);
}

}  // namespace eds
