#pragma once
// SQL over a folder of table files: one SQLite connection per engine
// connection, with the files a statement names attached on demand, and the
// static results that SELECT statements leave behind.
//
// Thread safety: REQUIRES the engine lock, like every engine object.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "platform/edsengine/eds.h"

namespace eds {

class FieldChecks;
class LockFile;
class RecordChecks;

// A column of a table file or of a result.
struct SqlField {
    std::string name;
    UNSIGNED16 type = EDS_STRING;
    UNSIGNED32 length = 0;
    UNSIGNED16 decimals = 0;
};

// A value as SQLite holds it (blob bytes in std::vector<UNSIGNED8>).
using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string, std::vector<UNSIGNED8>>;

SqlValue SqlColumnValue(sqlite3_stmt* stmt, int column);
void SqlBindValue(sqlite3_stmt* stmt, int parameter, const SqlValue& value);

// Throws the engine's SQL error (7200, with SQLite's extended code as the native error).
[[noreturn]] void ThrowSqlError(sqlite3* db, int rc, std::string_view sql);

// SQLite's defensive settings for a connection that runs a user's text: no
// writable schema, no raw page writes, no extensions, and no FTS3 tokenizer
// taken from a pointer in a value.
void HardenConnection(sqlite3* db);

// Refuses a statement that changes tables and returns rows (RETURNING): rows are
// read on a connection of their own, where the change would pass the record
// locks, the numbering and the value checks, and never be committed.
void RefuseChangeReturningRows(sqlite3_stmt* stmt);

class SqlSession {
public:
    explicit SqlSession(std::string folder);
    ~SqlSession();
    SqlSession(const SqlSession&) = delete;
    SqlSession& operator=(const SqlSession&) = delete;

    sqlite3* Db() const { return db_; }
    const std::string& Folder() const { return folder_; }

    // A user's statement may do on the session's connection only what the
    // engine can stand behind for every station: no transaction control, no
    // PRAGMA beyond reading a table's columns and indexes, no tables (TEMP ones
    // too), views, triggers or virtual tables made, changed or dropped (an index
    // made on a table stays allowed), no row of a file's tables but its table of
    // rows written, no attachments. The session's own
    // statements pass while an OwnStatements lives; they are prepared under it,
    // and stepped under it too where SQLite may prepare them again (a schema
    // changed since). Nests; usable from a function SQLite calls back.
    class OwnStatements {
    public:
        explicit OwnStatements(SqlSession& session) : session_(session), was_(std::exchange(session.own_, true)) {}
        ~OwnStatements() { session_.own_ = was_; }
        OwnStatements(const OwnStatements&) = delete;
        OwnStatements& operator=(const OwnStatements&) = delete;

    private:
        SqlSession& session_;
        bool was_;
    };
    // Runs one or more of the session's own statements that give no rows
    // (CREATE TEMP TRIGGER, DROP TRIGGER, BEGIN, ...); throws the SQL error.
    void ExecOwn(const std::string& sql);
    // One of the session's own statements, by its text: prepared once and kept
    // until an attachment goes, handed out reset with no values bound. Stepped
    // under OwnStatements, and reset by the caller after use.
    sqlite3_stmt* Own(const std::string& sql);

    // Closes the SQLite connection, with its attachments and their locks; the
    // session serves nothing after this (its connection is gone).
    void Close();

    // Attaches the table files that `sql` uses as tables (SqlTableNames) and the
    // folder holds as "<name>.edt" in any letter case; a name the folder lacks is
    // left for SQLite to refuse. A file that an open would refuse throws the
    // open's error. SQLite keeps at most 10 attachments; the least recently used
    // go to make room. Answers the paths of the files the text uses.
    std::vector<std::string> AttachFor(std::string_view sql);

    // An index made by SQL belongs in the file of the table it indexes, which
    // SQLite would look for in the session's own database: the text of
    // "CREATE [UNIQUE] INDEX [IF NOT EXISTS] name ON table ..." with the name
    // qualified by the table's attachment (after AttachFor); any other text,
    // or one already qualified, as it is. Such an index is no index tag: the
    // engine keeps it up to date through SQLite and never lists it.
    std::string PlaceIndex(const std::string& sql) const;

    // Prepares the one statement of `sql`, which may reach only the files of
    // `paths` (as AttachFor answered them for it, and the statement took their
    // open locks): an earlier statement's attachment spelled by its attachment
    // name is no table ("no such table"), and a statement whose plan opens any
    // other attached file (a table named where the finder does not look) is
    // refused, never run past another station's lock.
    sqlite3_stmt* PrepareReaching(const std::string& sql, const std::vector<std::string>& paths);

    struct Table {
        std::string path;
        std::string schema;    // the attachment's name
        std::string rowTable;  // the table of rows inside the file
        std::string recno;     // how SQL names a row's record number there
        std::vector<SqlField> fields;
        std::uint64_t lastUse = 0;
        std::uint64_t device = 0, inode = 0;  // the file attached, should another replace it
        std::int64_t dataVersion = 0;         // SQLite's count of other connections' changes when checked
    };
    // An attached table by its attachment name, or by its file's path.
    const Table* BySchema(std::string_view schema) const;
    const Table* ByPath(std::string_view path) const;
    std::size_t AttachedCount() const { return tables_.size(); }

    static constexpr std::size_t kMaxAttached = 10;

    // What the field checks refuse while a statement runs (see EdsSqlChecks.h).
    FieldChecks& Checks() { return *checks_; }
    // What the record checks refuse while a statement runs (see EdsSqlRecords.h).
    RecordChecks& Records() { return *records_; }

    // A table the statement prepared last writes itself, as SQLite told the
    // authorizer (its triggers' writes are not among them).
    struct Write {
        int action = 0;      // SQLITE_INSERT, SQLITE_UPDATE, SQLITE_DELETE
        std::string schema;  // as SQLite names the attachment ("main", "temp", "edt1", ...)
        std::string table;
        std::string column;  // UPDATE: the column set ("ROWID" for the record number itself)
    };
    const std::vector<Write>& Writes() const { return writes_; }

private:
    static int Authorize(void* self, int action, const char* first, const char* second, const char* schema,
                         const char* trigger);
    // Whether `table` is the table of rows of the file attached as `schema`.
    bool RowTableOf(const char* schema, const char* table) const;
    // Refuses the action with the engine's text for it.
    int Refuse(std::string text);
    static void Describe(Table& table);  // its row table and fields; throws the open's error
    void Detach(const std::string& schema);
    void ForgetOwn();  // finalizes the statements that Own kept
    std::int64_t DataVersion(const std::string& schema);

    std::string folder_;
    sqlite3* db_ = nullptr;
    std::unique_ptr<FieldChecks> checks_;
    std::unique_ptr<RecordChecks> records_;
    std::vector<Write> writes_;
    std::vector<Table> tables_;
    std::unordered_map<std::string, sqlite3_stmt*> ownStatements_;
    std::uint64_t clock_ = 0;
    std::uint64_t nextSchema_ = 0;
    bool own_ = false;  // the session runs its own statements (OwnStatements)
    // While a statement is prepared: the attachments it may reach, the first
    // name it used of another one, and why the authorizer refused what it does.
    const std::vector<std::string>* reachable_ = nullptr;
    std::string unreachable_;
    std::string refusal_;
    std::string indexMade_;  // "schema.name" of the index the statement makes, which SQLite then fills

};

class StreamedRows;

// What a SELECT gives: its columns and either the plan to number the rows of
// one table in result order (record numbers only; the rows are read when a
// cursor needs them) or, for anything else, the rows as the statement gives them.
struct SqlResult {
    std::vector<SqlField> fields;
    bool byRecord = false;
    // By record:
    std::string sourcePath;                 // the table file
    std::string sourceRowTable;             // its table of rows
    std::string sourceRecno;                // how SQL names a row's record number there
    std::vector<std::string> sourceColumns; // the column of each field
    std::string recordQuery;                // record numbers in result order ("?n" parameters)
    std::vector<SqlValue> params;
    // Otherwise: the rows, numbered in order (eds_pos), with the column of each field.
    std::shared_ptr<StreamedRows> rows;
    std::vector<std::string> rowColumns;
};

struct SqlOutcome {
    std::unique_ptr<SqlResult> result;  // SELECT: the rows; else null
    std::int64_t rowsAffected = -1;     // -1: not known for this kind of statement
    std::int64_t lastAutoinc = 0;
};

class SqlStatementCore {
public:
    explicit SqlStatementCore(SqlSession& session) : session_(session) {}

    // Checks the text with SQLite (after attaching its tables) and keeps it.
    void Prepare(std::string_view sql);
    bool Prepared() const { return prepared_; }
    const std::vector<std::string>& ParamNames() const { return paramNames_; }
    // Parameter by number from 1, or by name (case-insensitive, its first marker).
    void SetParam(UNSIGNED32 number, SqlValue value);
    UNSIGNED32 ParamNumber(std::string_view name) const;
    // A statement that would change a table is refused while the connection runs a
    // transaction: the session's own SQLite connection cannot join it.
    SqlOutcome Execute(bool inTransaction = false);

private:
    SqlOutcome Change(sqlite3_stmt* stmt, const std::vector<std::string>& paths,
                      const std::vector<std::unique_ptr<LockFile>>& opens);

    SqlSession& session_;
    bool prepared_ = false;
    std::string text_;  // with "?n" markers
    std::vector<std::string> paramNames_;
    std::vector<SqlValue> params_;
};

}  // namespace eds
