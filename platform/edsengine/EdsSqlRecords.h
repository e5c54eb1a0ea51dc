#pragma once
// What SQL may do to other stations' records: while a statement runs, no row
// that another open holds locked is changed, replaced or deleted, and no row
// takes a record number that was handed out to an append (pending elsewhere,
// or given up since) and never written.
//
// Judged at the moment SQLite touches a row, whatever the statement's shape:
// TEMP triggers of the connection on each attached table call the checks
// below. A row that REPLACE removes reaches BEFORE DELETE only while the
// connection runs with recursive_triggers on, which the session sets.
//
// Record locks: the statement takes the lock of each record it changes,
// replaces or deletes, on its own open of the table, in the one step that
// finds whether another open holds it, and keeps it until its changes are
// committed or undone (its open closes after that). A station that locks such
// a record meanwhile is told that another user holds it, and its lock, once
// granted, comes after the commit, so what it reads then is current.
// The locks of a walk through neighbouring records are taken a stretch ahead
// (never a record locked elsewhere: then the record alone), and once a
// statement holds many separate stretches, a new one joins the last across
// the records between: each stretch of locks is one more that every lock of
// the table is compared with.
//
// Record numbers: for the statement's run the lock file's counter is held for
// each table it inserts into or renumbers, so no other open reserves
// meanwhile; the new rows start at the counter (an AutoInc table is told so
// through sqlite_sequence; in a table without one SQLite numbers from its
// highest row, and a new row below the counter is moved above every row once
// the statement is through) and the counter passes them at the end, however
// the statement ends: a row it kept, once deleted, leaves its number unused.
// No row takes a number the table API cannot name: 1 to 4294967295, and up to
// 2147483647 in a table with an AutoInc field (whose values they are).
//
// Thread safety: REQUIRES the engine lock, like the session that owns it.

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/edsengine/eds.h"

namespace eds {

class LockFile;

class RecordChecks {
public:
    // Registers the check functions on `db`; this object must outlive their use.
    explicit RecordChecks(sqlite3* db);
    RecordChecks(const RecordChecks&) = delete;
    RecordChecks& operator=(const RecordChecks&) = delete;

    // The statements that make and drop the triggers of the table `rowTable`
    // attached as `schema`, whose record number SQL names `recno`; `autoinc`
    // when that is an AutoInc field.
    static std::string Make(const std::string& schema, const std::string& rowTable, const std::string& recno,
                            bool autoinc);
    static std::string Remove(const std::string& schema);
    // Whether user SQL names one of the check functions (it may not).
    static bool IsCheck(std::string_view function);

    struct Table {
        std::string schema;
        std::string rowTable;
        std::string recno;          // how SQL names its record number
        LockFile* locks = nullptr;  // the statement's open of the table
        bool numbering = false;     // the statement inserts into it or renumbers its rows
        bool held = false;          // its counter is held
        bool autoinc = false;
        std::int64_t counter = 0;  // the first number not handed out, while numbering
        // The lowest number of a row the statement inserted below the counter
        // (0: none), from where its rows move above every row; the records it
        // removed while inserting (REPLACE).
        std::int64_t misplaced = 0;
        std::unordered_set<std::int64_t> left;
        std::int64_t explicitRow = 0;  // the number an insert gave itself, until its row is placed
        std::int64_t stored = 0;       // the highest number a row took while numbering
        // The stretch of records whose locks the statement took last, how far
        // ahead the next one reaches, and how many stretches it took.
        std::int64_t heldFrom = 0, heldTo = -1;
        std::int64_t ahead = 1;
        int stretches = 0;
    };

    // The checks of one statement's run, from before its first step until after
    // its last: outside one the functions judge nothing.
    class Run {
    public:
        Run(RecordChecks& checks, std::vector<Table> tables);
        ~Run();
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;
        std::vector<Table>& Tables() { return tables_; }
        // Ends the judging (the session's own moves of misplaced rows follow).
        void Stop() { checks_.run_ = nullptr; }
        // Releases each counter held, past every row of its table (`highest`
        // answers a table's highest record number in use). Without it, the run
        // releases them past every number its rows took.
        void Release(const std::function<std::int64_t(const Table&)>& highest);

    private:
        RecordChecks& checks_;
        std::vector<Table> tables_;
    };

    // The refusal of a record number out of the range the table API names.
    static std::string OutOfRange(const std::string& rowTable, std::int64_t recno, bool autoinc);

    // Throws what a check refused in the statement that failed with `rc`;
    // returns when no check refused.
    void ThrowRefusal();

private:
    static void Leaves(sqlite3_context* context, int argc, sqlite3_value** argv);
    static void Changes(sqlite3_context* context, int argc, sqlite3_value** argv);
    static void Comes(sqlite3_context* context, int argc, sqlite3_value** argv);
    static void Placed(sqlite3_context* context, int argc, sqlite3_value** argv);
    Table* Find(sqlite3_context* context, sqlite3_value* schema);
    // Takes the lock of a record the statement changes, replaces or deletes;
    // false (refused) when another open holds it.
    bool Hold(sqlite3_context* context, Table& table, std::int64_t recno);
    bool InRange(sqlite3_context* context, Table& table, std::int64_t recno);
    bool Numbered(sqlite3_context* context, Table& table, std::int64_t recno, bool existing);
    void Refuse(sqlite3_context* context, UNSIGNED32 code, std::string text);

    Run* run_ = nullptr;
    UNSIGNED32 code_ = 0;
    std::string refusal_;
};

}  // namespace eds
