#include "platform/edsengine/EdsSqlRecords.h"

#include <algorithm>
#include <utility>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsFields.h"
#include "platform/edsengine/EdsLockFile.h"
#include "platform/edsengine/EdsSqlSession.h"
#include "platform/rtl/SysUtils.h"

namespace eds {
namespace {

constexpr const char* kLeaves = "eds_record_leaves";    // (schema, OLD.rowid): BEFORE DELETE
constexpr const char* kChanges = "eds_record_changes";  // (schema, OLD.rowid, NEW.rowid, NEW.rowid in use)
constexpr const char* kComes = "eds_record_comes";      // (schema, NEW.rowid, NEW.rowid in use): its own number
constexpr const char* kPlaced = "eds_record_placed";    // (schema, NEW.rowid): AFTER INSERT

// A walk through neighbouring records locks ahead of itself, twice as far at
// each step up to this many records, so that a whole table costs few system
// calls; and a statement holds this many separate stretches of locks at most
// before it joins a new one to the last.
constexpr std::int64_t kAheadMost = 256;
constexpr int kStretches = 32;

std::string TriggerName(const std::string& schema, const char* event) { return QuoteName(schema + "$" + event); }

}  // namespace

RecordChecks::RecordChecks(sqlite3* db) {
    struct Function {
        const char* name;
        int args;
        void (*call)(sqlite3_context*, int, sqlite3_value**);
    };
    // Direct-only: the TEMP triggers may call them, no view or file's schema may;
    // the authorizer keeps them from the user's own text.
    for (const Function& f : {Function{kLeaves, 2, &Leaves}, Function{kChanges, 4, &Changes},
                              Function{kComes, 3, &Comes}, Function{kPlaced, 2, &Placed}}) {
        const int rc = sqlite3_create_function_v2(db, f.name, f.args, SQLITE_UTF8 | SQLITE_DIRECTONLY, this, f.call,
                                                  nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) ThrowSqlError(db, rc, "registering the record checks");
    }
}

bool RecordChecks::IsCheck(std::string_view function) {
    for (const char* name : {kLeaves, kChanges, kComes, kPlaced})
        if (rtl::SameText(std::string(function), name)) return true;
    return false;
}

std::string RecordChecks::Make(const std::string& schema, const std::string& rowTable, const std::string& recno,
                               bool autoinc) {
    const std::string table = QuoteName(schema) + "." + QuoteName(rowTable);
    const std::string name = rtl::QuotedStr(schema);
    const std::string oldRow = "OLD." + recno, newRow = "NEW." + recno;
    const std::string inUse = "EXISTS(SELECT 1 FROM " + table + " WHERE " + recno + " = " + newRow + ")";
    const std::string unchanged = "CASE WHEN " + newRow + " IS " + oldRow + " THEN 1 ELSE " + inUse + " END";
    std::string sql = "CREATE TEMP TRIGGER " + TriggerName(schema, "leaves") + " BEFORE DELETE ON " + table +
                      " BEGIN SELECT " + kLeaves + "(" + name + ", " + oldRow + "); END;";
    sql += "CREATE TEMP TRIGGER " + TriggerName(schema, "changes") + " BEFORE UPDATE ON " + table + " BEGIN SELECT " +
           kChanges + "(" + name + ", " + oldRow + ", " + newRow + ", " + unchanged + "); END;";
    // A row is judged once placed, where its number is SQLite's (an AFTER trigger
    // costs SQLite no copy of the row). In a table without AutoInc a number
    // SQLite picks itself may still have to move, so an insert that names its
    // own is told apart before (SQLite shows -1 there for one it picks).
    if (!autoinc)
        sql += "CREATE TEMP TRIGGER " + TriggerName(schema, "comes") + " BEFORE INSERT ON " + table + " WHEN " +
               newRow + " <> -1 BEGIN SELECT " + kComes + "(" + name + ", " + newRow + ", " + inUse + "); END;";
    sql += "CREATE TEMP TRIGGER " + TriggerName(schema, "placed") + " AFTER INSERT ON " + table + " BEGIN SELECT " +
           kPlaced + "(" + name + ", " + newRow + "); END;";
    return sql;
}

std::string RecordChecks::Remove(const std::string& schema) {
    std::string sql;
    for (const char* event : {"leaves", "changes", "comes", "placed"})
        sql += "DROP TRIGGER IF EXISTS temp." + TriggerName(schema, event) + ";";
    return sql;
}

RecordChecks::Run::Run(RecordChecks& checks, std::vector<Table> tables) : checks_(checks), tables_(std::move(tables)) {
    checks_.code_ = 0;
    checks_.refusal_.clear();
    for (Table& t : tables_) {
        if (!t.numbering) continue;
        try {
            t.counter = t.locks->HoldNumbers();
        } catch (...) {
            // The counters held before the one that stayed busy go back as they were.
            for (Table& held : tables_)
                if (std::exchange(held.held, false)) held.locks->ReleaseNumbers(held.counter);
            throw;
        }
        t.held = true;
    }
    checks_.run_ = this;
}

RecordChecks::Run::~Run() {
    Stop();
    for (Table& t : tables_) {
        if (!t.held) continue;
        t.held = false;
        try {
            // The statement ended before its rows were counted: they may have been kept.
            t.locks->ReleaseNumbers(std::max(t.counter, t.stored + 1));
        } catch (...) {
            // The lock goes with it; the stored counter is still right.
        }
    }
}

void RecordChecks::Run::Release(const std::function<std::int64_t(const Table&)>& highest) {
    for (Table& t : tables_) {
        if (!t.held) continue;
        t.held = false;
        t.locks->ReleaseNumbers(std::max(t.counter, highest(t) + 1));
    }
}

void RecordChecks::ThrowRefusal() {
    if (refusal_.empty()) return;
    std::string text = std::move(refusal_);
    refusal_.clear();
    Throw(code_, std::move(text));
}

void RecordChecks::Refuse(sqlite3_context* context, UNSIGNED32 code, std::string text) {
    code_ = code;
    refusal_ = std::move(text);
    sqlite3_result_error(context, refusal_.c_str(), -1);
}

RecordChecks::Table* RecordChecks::Find(sqlite3_context* context, sqlite3_value* schema) {
    sqlite3_result_null(context);
    if (!run_) return nullptr;
    const unsigned char* text = sqlite3_value_text(schema);
    const std::string_view name = text ? reinterpret_cast<const char*>(text) : "";
    for (Table& t : run_->Tables())
        if (t.schema == name) return &t;
    return nullptr;
}

bool RecordChecks::Hold(sqlite3_context* context, Table& table, std::int64_t recno) {
    // A number outside the range no station can lock, so none can hold it either.
    if (recno < 1 || recno > kLastRecordNumber) return true;
    if (recno >= table.heldFrom && recno <= table.heldTo) return true;
    // The locks asked for at once: the record, and where the statement walks on
    // from the stretch it holds (or joins it, holding many), the records ahead.
    const bool held = table.heldTo >= table.heldFrom, many = table.stretches >= kStretches;
    const bool up = held && recno > table.heldTo && (many || recno == table.heldTo + 1);
    const bool down = held && recno < table.heldFrom && (many || recno == table.heldFrom - 1);
    std::int64_t from = recno, to = recno;
    if (up || down) {
        table.ahead = std::min(table.ahead * 2, kAheadMost);
        if (up) {
            from = table.heldTo + 1;
            to = std::min(recno + table.ahead - 1, kLastRecordNumber);
        } else {
            from = std::max<std::int64_t>(recno - table.ahead + 1, 1);
            to = table.heldFrom - 1;
        }
    }
    try {
        // Wider than the record itself only where no other open holds any of it.
        if ((from != recno || to != recno) && !table.locks->TryLockRecords(from, to)) from = to = recno;
        if (from == recno && to == recno && !table.locks->TryLockRecord(recno)) {
            Refuse(context, EDS_E_RECORD_LOCKED,
                   "The record " + std::to_string(recno) + " of the table " + table.rowTable +
                       " is locked by another user.");
            return false;
        }
    } catch (const EngineError& e) {
        Refuse(context, e.Code(), e.Text());
        return false;
    }
    if (held && (from == table.heldTo + 1 || to == table.heldFrom - 1)) {
        table.heldFrom = std::min(table.heldFrom, from);
        table.heldTo = std::max(table.heldTo, to);
        return true;
    }
    table.heldFrom = from;
    table.heldTo = to;
    table.ahead = 1;
    ++table.stretches;
    return true;
}

std::string RecordChecks::OutOfRange(const std::string& rowTable, std::int64_t recno, bool autoinc) {
    return "ERROR 7200: NATIVEERROR = 0; The record number " + std::to_string(recno) + " of the table " + rowTable +
           " is out of range: its records are numbered from 1 to " +
           std::to_string(autoinc ? kLastAutoincNumber : kLastRecordNumber) + ".";
}

bool RecordChecks::InRange(sqlite3_context* context, Table& table, std::int64_t recno) {
    if (recno >= 1 && recno <= (table.autoinc ? kLastAutoincNumber : kLastRecordNumber)) return true;
    Refuse(context, EDS_E_SQL, OutOfRange(table.rowTable, recno, table.autoinc));
    return false;
}

bool RecordChecks::Numbered(sqlite3_context* context, Table& table, std::int64_t recno, bool existing) {
    // A record's own number, and one never handed out (below 1, which the range
    // refuses, or not yet), are free to take.
    if (existing || recno < 1 || (table.held && recno >= table.counter)) return true;
    if (!table.held) {
        Refuse(context, EDS_E_SQL, "ERROR 7200: NATIVEERROR = 0; The statement gives a record of the table " +
                                       table.rowTable + " another record number in a way the engine cannot follow; "
                                       "change the number in an UPDATE of its own (SET rowid = ...).");
        return false;
    }
    Refuse(context, EDS_E_UNIQUE_VIOLATION,
           "The record number " + std::to_string(recno) + " of the table " + table.rowTable +
               " was handed out before: to an append of another user, or to a record since deleted. Leave the "
               "number out and the table gives the next free one.");
    return false;
}

void RecordChecks::Leaves(sqlite3_context* context, int argc, sqlite3_value** argv) {
    auto* self = static_cast<RecordChecks*>(sqlite3_user_data(context));
    Table* t = argc == 2 ? self->Find(context, argv[0]) : nullptr;
    if (!t) return;
    const std::int64_t recno = sqlite3_value_int64(argv[1]);
    // A record that REPLACE removes leaves its number to the row that takes its place.
    if (self->Hold(context, *t, recno) && t->held) t->left.insert(recno);
}

void RecordChecks::Changes(sqlite3_context* context, int argc, sqlite3_value** argv) {
    auto* self = static_cast<RecordChecks*>(sqlite3_user_data(context));
    Table* t = argc == 4 ? self->Find(context, argv[0]) : nullptr;
    if (!t || !self->Hold(context, *t, sqlite3_value_int64(argv[1]))) return;
    if (sqlite3_value_type(argv[2]) != SQLITE_INTEGER) return;  // SQLite refuses it itself
    const std::int64_t recno = sqlite3_value_int64(argv[2]);
    const bool renumbered = recno != sqlite3_value_int64(argv[1]);
    // A record keeps a number it has, so that SQL can still reach a row stored
    // out of range before, to renumber or delete it.
    if (renumbered && !self->InRange(context, *t, recno)) return;
    if (self->Numbered(context, *t, recno, sqlite3_value_int(argv[3]) != 0) && renumbered && t->held)
        t->stored = std::max(t->stored, recno);
}

void RecordChecks::Comes(sqlite3_context* context, int argc, sqlite3_value** argv) {
    auto* self = static_cast<RecordChecks*>(sqlite3_user_data(context));
    Table* t = argc == 3 ? self->Find(context, argv[0]) : nullptr;
    if (!t || sqlite3_value_type(argv[1]) != SQLITE_INTEGER) return;
    t->explicitRow = sqlite3_value_int64(argv[1]);
    self->Numbered(context, *t, t->explicitRow, sqlite3_value_int(argv[2]) != 0);
}

void RecordChecks::Placed(sqlite3_context* context, int argc, sqlite3_value** argv) {
    auto* self = static_cast<RecordChecks*>(sqlite3_user_data(context));
    Table* t = argc == 2 ? self->Find(context, argv[0]) : nullptr;
    if (!t) return;
    const std::int64_t recno = sqlite3_value_int64(argv[1]);
    const bool own = std::exchange(t->explicitRow, 0) == recno;  // judged before it came
    // Every new row, whoever numbered it (SQLite shows one it picks as -1 before).
    if (!self->InRange(context, *t, recno)) return;
    if (t->held) t->stored = std::max(t->stored, recno);
    if (own || !t->held || t->left.count(recno)) return;
    // In an AutoInc table only a number the insert named itself comes out below the counter.
    if (t->autoinc) self->Numbered(context, *t, recno, false);
    else if (recno >= 1 && recno < t->counter && (!t->misplaced || recno < t->misplaced)) t->misplaced = recno;
}

}  // namespace eds
