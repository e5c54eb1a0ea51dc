#pragma once
// One open of a table file: its own SQLite connection, its schema and index tags
// read from the file's metadata, and its descriptor on the companion lock file.
//
// File layout (SQLite): the rows in a table named after the file (one column per
// field, the record number as rowid), "_edt_meta" (key/value: format, field
// specification, row table name) and "_edt_index" (tag, expression, options, the
// SQLite index over the tag's key terms).

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsFields.h"
#include "platform/edsengine/EdsKeys.h"
#include "platform/edsengine/EdsLockFile.h"

namespace eds {

// State shared by every open of one file in this process.
struct FileShared {
    std::uint64_t generation = 0;  // bumped by every write through this process
};
std::shared_ptr<FileShared> SharedStateFor(const std::string& path);

// A connection's transaction as its table files see it. Each file joins with a
// SQLite transaction of its own at its first write; once any file has lost its
// SQLite transaction (SQLite rolls back by itself on a full disk or an I/O error),
// the transaction has failed: every later write and the commit answer that first
// failure, and only a rollback ends it.
struct TransactionState {
    bool active = false;
    std::uint64_t serial = 0;  // numbers the transactions of the connection
    std::optional<EngineError> failure;

    [[noreturn]] void ThrowFailed() const;
};

// Throws the EngineError for a failed SQLite call.
[[noreturn]] void ThrowSqlite(sqlite3* db, int rc, const std::string& what);

// A prepared statement borrowed from a cache; reset and unbound when the borrow ends.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* stmt) : stmt_(stmt) {}
    ~StatementUse() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_;
};

class StatementCache {
public:
    explicit StatementCache(sqlite3* db) : db_(db) {}
    ~StatementCache();
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;
    sqlite3_stmt* Get(const std::string& sql);
    void Clear();

private:
    sqlite3* db_;
    std::map<std::string, sqlite3_stmt*> statements_;
};

// Steps a statement; true for a row, false when done. A failure throws with
// `what` (what was being done) leading its text.
bool Step(sqlite3* db, sqlite3_stmt* stmt, std::string_view what = "Reading the table");
void Exec(sqlite3* db, const std::string& sql, std::string_view what);

class TableFile {
public:
    // Creates a new table file; never replaces an existing one. A crash leaves either
    // no file or a complete empty table.
    static void Create(const std::string& path, const Schema& schema);
    // Removes a table file with its companion lock file. Refused (EDS_E_TABLE_LOCKED)
    // while any process has the table open.
    static void Remove(const std::string& path);
    // Opens with the open lock (exclusive or shared), waiting up to 2 s for it.
    TableFile(const std::string& path, bool exclusive, bool readOnly);

    // What a table file says of itself, checked as an open checks it: a file that
    // is missing, damaged or no table of ours throws the open's error. Takes no
    // open lock and makes no lock file.
    struct Description {
        Schema fields;
        std::string rowTable;  // the name of the table of rows (unquoted)
    };
    static Description Describe(const std::string& path);
    ~TableFile();
    // Changes this open to another mode as an open in that mode would (waiting for
    // the open lock, refusing as an open refuses); what it refuses leaves the mode
    // as it was.
    void Reopen(bool exclusive, bool readOnly);
    TableFile(const TableFile&) = delete;
    TableFile& operator=(const TableFile&) = delete;

    sqlite3* Db() const { return db_; }
    const std::string& Path() const { return path_; }
    const Schema& Fields() const { return schema_; }
    const std::string& RowTable() const { return rowTable_; }  // quoted
    bool ReadOnly() const { return readOnly_; }
    bool Exclusive() const { return exclusive_; }
    LockFile& Locks() { return *locks_; }
    FileShared& Shared() { return *shared_; }
    const std::shared_ptr<FileShared>& SharedPtr() const { return shared_; }
    StatementCache& Statements() { return *statements_; }

    const std::vector<IndexDef>& Indexes() const { return indexes_; }
    // Adds a tag (and its SQLite index). Throws on a duplicate tag or a unique violation.
    const IndexDef& CreateIndex(const std::string& tag, const std::string& expr, UNSIGNED32 options);

    // The transaction of the connection the table is open on.
    void SetTransaction(std::shared_ptr<TransactionState> transaction) { transaction_ = std::move(transaction); }
    // Runs a change of the file: inside the connection's transaction (joining it at
    // the first write), or as a change of its own.
    template <class Body>
    void Writing(Body&& body) {
        BeforeWrite();
        try {
            body();
        } catch (const EngineError& e) {
            AfterFailedWrite(e);
            throw;
        }
        AfterWrite();
    }
    void AfterWrite() { ++shared_->generation; }
    bool InTransaction() const { return !sqlite3_get_autocommit(db_); }
    // Whether this file took part in the connection's running transaction.
    bool Joined() const { return transaction_ && transaction_->active && joined_ == transaction_->serial; }
    // Whether it took part and SQLite has since ended its part.
    bool LostTransaction() const { return Joined() && sqlite3_get_autocommit(db_); }

    static constexpr int kOpenWaitMs = 2000;

private:
    explicit TableFile(const std::string& path);  // for Describe
    void OpenDescribed();
    void LockOpen(bool exclusive);
    void CloseDb();
    std::int64_t DataVersion() const;
    void ReadMetadata();
    void CheckColumns(const std::string& table);
    void MarkAsciiFolds();
    void AddFoldColumns(const std::vector<Segment>& segments, const std::string& what);
    void UpgradeFolding();
    void BeforeWrite();
    void AfterFailedWrite(const EngineError& error);

    std::string path_;
    bool exclusive_;
    bool readOnly_;
    std::unique_ptr<LockFile> locks_;
    sqlite3* db_ = nullptr;
    std::unique_ptr<StatementCache> statements_;
    std::shared_ptr<FileShared> shared_;
    Schema schema_;
    std::string rowName_;
    std::string rowTable_;  // rowName_ quoted
    std::string format_;
    std::vector<IndexDef> indexes_;
    std::shared_ptr<TransactionState> transaction_;
    std::uint64_t joined_ = 0;  // the serial of the transaction this file last joined
};

}  // namespace eds
