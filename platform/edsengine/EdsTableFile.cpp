#include "platform/edsengine/EdsTableFile.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "platform/edsengine/EdsCore.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"

namespace eds {
namespace {

// "EDT 1": case-insensitive keys folded ASCII letters only. "EDT 2": they fold every
// Windows-1252 letter; a file of the first format is brought up to date when it is
// first opened for writing.
constexpr char kFormat[] = "EDT 2";
constexpr char kFormatAsciiFold[] = "EDT 1";
constexpr int kBusyTimeoutMs = 5000;

std::string StemOf(const std::string& path) {
    std::string name = rtl::ExtractFileName(path);
    const std::string ext = rtl::ExtractFileExt(name);
    return name.substr(0, name.size() - ext.size());
}

struct DbHolder {
    sqlite3* db = nullptr;
    ~DbHolder() {
        if (db) sqlite3_close_v2(db);
    }
};

// A writer that died mid-transaction leaves a hot journal, which only a writing
// connection may roll back; a read-only open would see SQLite refuse the file. The
// first reader rolls it back (SQLite's own locks make one connection do it), as the
// next writer would have done.
void RecoverAfterCrash(const std::string& path) {
    if (!rtl::FileExists(path + "-journal")) return;
    DbHolder db;
    if (sqlite3_open_v2(path.c_str(), &db.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) return;
    sqlite3_busy_timeout(db.db, kBusyTimeoutMs);
    sqlite3_exec(db.db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
}

// A statement over the file's own description; failures say what they mean: a file
// that needs recovery, a busy file, or a file that is no table of ours.
struct MetaQuery {
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt{nullptr, sqlite3_finalize};
    sqlite3* db;
    const std::string& path;

    MetaQuery(sqlite3* db_, const std::string& path_, const char* sql) : db(db_), path(path_) {
        sqlite3_stmt* raw = nullptr;
        const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
        stmt.reset(raw);
        if (rc != SQLITE_OK) Fail(rc);
    }
    bool Next() {
        const int rc = sqlite3_step(stmt.get());
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        Fail(rc);
    }
    [[noreturn]] void Fail(int rc) const {
        const int extended = sqlite3_extended_errcode(db);
        if (extended == SQLITE_READONLY_ROLLBACK || extended == SQLITE_READONLY_RECOVERY)
            Throw(EDS_E_READ_ONLY, "The table " + path +
                                       " was left unfinished when a program stopped and needs recovery; open it once "
                                       "with write access.");
        const int primary = rc & 0xFF;
        if (primary == SQLITE_ERROR || primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT ||
            primary == SQLITE_MISMATCH || primary == SQLITE_RANGE)
            Throw(EDS_E_NOT_A_TABLE, "The file " + path + " is not a table (" + sqlite3_errmsg(db) + ").");
        ThrowSqlite(db, rc, "Opening " + path);
    }
    // A text column; anything else (NULL, a number, a blob) is a damaged description.
    std::string Text(int column, const std::string& what) const {
        if (sqlite3_column_type(stmt.get(), column) != SQLITE_TEXT) Damaged(what);
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), column));
        if (!p) Damaged(what);
        return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt.get(), column)));
    }
    std::int64_t Integer(int column, const std::string& what) const {
        if (sqlite3_column_type(stmt.get(), column) != SQLITE_INTEGER) Damaged(what);
        return sqlite3_column_int64(stmt.get(), column);
    }
    [[noreturn]] void Damaged(const std::string& what) const {
        Throw(EDS_E_NOT_A_TABLE, "The table " + path + " is damaged: " + what + ".");
    }
};

}  // namespace

std::shared_ptr<FileShared> SharedStateFor(const std::string& path) {
    static std::mutex lock;
    static std::map<std::string, std::weak_ptr<FileShared>> states;
    std::lock_guard<std::mutex> guard(lock);
    std::shared_ptr<FileShared> state = states[path].lock();
    if (!state) {
        state = std::make_shared<FileShared>();
        states[path] = state;
    }
    return state;
}

void ThrowSqlite(sqlite3* db, int rc, const std::string& what) {
    const std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: Throw(EDS_E_BUSY, what + ": the table file stayed locked by another user (" + detail + ").");
    case SQLITE_CONSTRAINT:
        if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY)
            Throw(EDS_E_UNIQUE_VIOLATION, what + ": the key already exists in a unique index (" + detail + ").");
        Throw(EDS_E_IO, what + ": " + detail);
    case SQLITE_READONLY: Throw(EDS_E_READ_ONLY, what + ": the table file is read-only (" + detail + ").");
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: Throw(EDS_E_NOT_A_TABLE, what + ": the file is not a valid table (" + detail + ").");
    case SQLITE_CANTOPEN: Throw(EDS_E_FILE_NOT_FOUND, what + ": " + detail);
    default: Throw(EDS_E_IO, what + ": " + detail);
    }
}

StatementCache::~StatementCache() { Clear(); }

void StatementCache::Clear() {
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    statements_.clear();
}

sqlite3_stmt* StatementCache::Get(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                      &stmt, nullptr);
    if (rc != SQLITE_OK) ThrowSqlite(db_, rc, "Preparing a query");
    statements_.emplace(sql, stmt);
    return stmt;
}

bool Step(sqlite3* db, sqlite3_stmt* stmt, std::string_view what) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    ThrowSqlite(db, rc, std::string(what));
}

void Exec(sqlite3* db, const std::string& sql, std::string_view what) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    if (message) sqlite3_free(message);
    if (rc != SQLITE_OK) ThrowSqlite(db, rc, std::string(what));
}

void TableFile::Create(const std::string& path, const Schema& schema) {
    if (rtl::FileExists(path)) Throw(EDS_E_FILE_EXISTS, "The table file " + path + " already exists.");
    const std::string folder = rtl::ExtractFileDir(path);
    if (!folder.empty() && !rtl::DirectoryExists(folder))
        Throw(EDS_E_FILE_NOT_FOUND, "The folder " + folder + " does not exist.");
    std::string tempName = ".";
    tempName += rtl::ExtractFileName(path);
    tempName += '.';
    tempName += std::to_string(::getpid());
    tempName += ".tmp";
    const std::string temp = rtl::JoinPath(folder, tempName);
    std::remove(temp.c_str());
    struct RemoveTemp {
        const std::string& name;
        ~RemoveTemp() {
            std::remove(name.c_str());
            std::remove((name + "-journal").c_str());
        }
    } removeTemp{temp};
    {
        DbHolder db;
        const int rc = sqlite3_open_v2(temp.c_str(), &db.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) ThrowSqlite(db.db, rc, "Creating " + path);
        sqlite3_extended_result_codes(db.db, 1);
        const std::string table = QuoteName(StemOf(path));
        const std::string creating = "Creating " + path;
        Exec(db.db,
             "BEGIN;"
             "CREATE TABLE _edt_meta(key TEXT PRIMARY KEY, value TEXT);"
             "CREATE TABLE _edt_index(tag TEXT PRIMARY KEY COLLATE NOCASE, expr TEXT NOT NULL, options INTEGER NOT NULL,"
             " sql_index TEXT NOT NULL);"
             "CREATE TABLE " + table + "(" + schema.CreateColumnsSql() + ");",
             creating);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db.db, "INSERT INTO _edt_meta VALUES(?, ?)", -1, &stmt, nullptr);
        const std::pair<std::string, std::string> meta[] = {
            {"format", kFormat}, {"fields", schema.ToSpec()}, {"table", StemOf(path)}};
        int rcInsert = SQLITE_DONE;
        for (const auto& [key, value] : meta) {
            sqlite3_bind_text(stmt, 1, key.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(stmt, 2, value.c_str(), -1, SQLITE_TRANSIENT);
            rcInsert = sqlite3_step(stmt);
            sqlite3_reset(stmt);
            if (rcInsert != SQLITE_DONE) break;
        }
        sqlite3_finalize(stmt);
        if (rcInsert != SQLITE_DONE) ThrowSqlite(db.db, rcInsert, creating);
        Exec(db.db, "COMMIT;", creating);
    }
    // The complete file appears under its name at once, and never over another file.
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) Throw(EDS_E_FILE_EXISTS, "The table file " + path + " already exists.");
        if (errno != EINVAL && errno != ENOSYS)
            Throw(EDS_E_IO, "Cannot create " + path + ": " + std::strerror(errno));
        if (::link(temp.c_str(), path.c_str()) != 0) {
            if (errno == EEXIST) Throw(EDS_E_FILE_EXISTS, "The table file " + path + " already exists.");
            Throw(EDS_E_IO, "Cannot create " + path + ": " + std::strerror(errno));
        }
    }
}

void TableFile::Remove(const std::string& path) {
    if (!rtl::FileExists(path)) Throw(EDS_E_FILE_NOT_FOUND, "The table file " + path + " does not exist.");
    LockFile locks(path);
    if (!locks.LockOpen(true, kOpenWaitMs)) Throw(EDS_E_TABLE_LOCKED, "The table " + path + " is in use by another user.");
    if (std::remove(path.c_str()) != 0) Throw(EDS_E_IO, "Cannot remove " + path + ": " + std::strerror(errno));
    std::remove((path + "-journal").c_str());
    std::remove(LockFile::PathFor(path).c_str());  // our exclusive lock goes with the descriptor
}

TableFile::TableFile(const std::string& path, bool exclusive, bool readOnly)
    : path_(path), exclusive_(exclusive), readOnly_(readOnly) {
    // The file proves itself a table before its lock file is made, so a refused
    // file leaves none behind. Removing one afterwards is never safe: another
    // open may hold it, with its record locks and the record-number counter.
    OpenDescribed();
    try {
        const std::int64_t described = DataVersion();
        locks_ = std::make_unique<LockFile>(path);
        LockOpen(exclusive);
        // An exclusive holder may have changed the description while this open waited.
        if (DataVersion() != described) ReadMetadata();
        if (!readOnly && format_ == kFormatAsciiFold) UpgradeFolding();
    } catch (...) {
        CloseDb();
        throw;
    }
    shared_ = SharedStateFor(path);
}

void TableFile::LockOpen(bool exclusive) {
    if (!locks_->LockOpen(exclusive, kOpenWaitMs))
        Throw(EDS_E_TABLE_LOCKED, exclusive ? "The table " + path_ + " is in use by another user."
                                            : "The table " + path_ + " is open exclusively by another user.");
}

void TableFile::Reopen(bool exclusive, bool readOnly) {
    // The lock of this open changes in place: a refused change keeps the old one.
    if (exclusive != exclusive_) LockOpen(exclusive);
    exclusive_ = exclusive;
    readOnly_ = readOnly || sqlite3_db_readonly(db_, "main") == 1;
}

TableFile::TableFile(const std::string& path) : path_(path), exclusive_(false), readOnly_(true) { OpenDescribed(); }

TableFile::Description TableFile::Describe(const std::string& path) {
    TableFile file(path);
    return {file.schema_, file.rowName_};
}

void TableFile::OpenDescribed() {
    if (!rtl::FileExists(path_)) Throw(EDS_E_FILE_NOT_FOUND, "The table file " + path_ + " does not exist.");
    if (readOnly_) RecoverAfterCrash(path_);
    const int flags = (readOnly_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        Throw(EDS_E_IO, "Cannot open " + path_ + ": " + message);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    // A double-quoted name is always a name: a stored name the table lacks must fail,
    // never read as a string.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    RegisterFolding(db_);
    statements_ = std::make_unique<StatementCache>(db_);
    try {
        ReadMetadata();
    } catch (...) {
        CloseDb();
        throw;
    }
}

void TableFile::CloseDb() {
    statements_.reset();
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::int64_t TableFile::DataVersion() const {
    MetaQuery q(db_, path_, "PRAGMA data_version");
    return q.Next() ? sqlite3_column_int64(q.stmt.get(), 0) : 0;
}

TableFile::~TableFile() {
    statements_.reset();
    if (Joined() && !transaction_->failure && !sqlite3_get_autocommit(db_))
        transaction_->failure.emplace(EDS_E_TRANSACTION,
                                      "The table " + path_ + " was closed inside the transaction; its changes are gone.");
    if (db_) {
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db_);
    }
}

void TableFile::ReadMetadata() {
    indexes_.clear();
    std::map<std::string, std::string> meta;
    {
        MetaQuery q(db_, path_, "SELECT key, value FROM _edt_meta");
        while (q.Next()) {
            const std::string key = q.Text(0, "a description key is not text");
            if (key == "format" || key == "fields" || key == "table") meta[key] = q.Text(1, "the value of " + key + " is not text");
        }
    }
    format_ = meta["format"];
    if (format_ != kFormat && format_ != kFormatAsciiFold)
        Throw(EDS_E_NOT_A_TABLE, "The file " + path_ + " is not a table of this engine.");
    schema_ = Schema::Parse(meta["fields"]);
    if (meta["table"].empty()) Throw(EDS_E_NOT_A_TABLE, "The table " + path_ + " is damaged: it names no table of rows.");
    rowName_ = meta["table"];
    rowTable_ = QuoteName(rowName_);
    CheckColumns(meta["table"]);
    MetaQuery q(db_, path_, "SELECT tag, expr, options, sql_index FROM _edt_index ORDER BY rowid");
    while (q.Next()) {
        IndexDef def;
        def.tag = q.Text(0, "an index tag is not text");
        def.expr = q.Text(1, "the expression of an index is not text");
        const std::int64_t options = q.Integer(2, "the options of an index are not a number");
        if (options < 0 || (options & ~std::int64_t{EDS_UNIQUE | EDS_DESCENDING | EDS_COMPOUND}) != 0)
            q.Damaged("the options of the index " + def.tag + " are not valid");
        def.options = static_cast<UNSIGNED32>(options);
        def.sqlName = q.Text(3, "the SQLite index of a tag is not text");
        if (def.tag.empty()) q.Damaged("an index tag has no name");
        try {
            def.segments = ParseKeyExpression(schema_, def.expr);
        } catch (const EngineError& e) {
            Throw(EDS_E_NOT_A_TABLE, "The table " + path_ + " is damaged: " + e.Text());
        }
        indexes_.push_back(std::move(def));
    }
    MarkAsciiFolds();
}

// Which indexes still fold ASCII letters only: the SQLite index itself says so.
void TableFile::MarkAsciiFolds() {
    for (IndexDef& def : indexes_) {
        MetaQuery q(db_, path_, "SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?1");
        sqlite3_bind_text(q.stmt.get(), 1, def.sqlName.c_str(), -1, SQLITE_TRANSIENT);
        if (!q.Next()) q.Damaged("the index " + def.tag + " is missing");
        const std::string sql = q.Text(0, "the index " + def.tag + " has no definition");
        const bool ascii = sql.find("replace(") == std::string::npos;
        for (Segment& segment : def.segments) segment.asciiFold = ascii && segment.Folds(schema_);
    }
}

// The generated columns that the folded key terms of these segments read.
void TableFile::AddFoldColumns(const std::vector<Segment>& segments, const std::string& what) {
    for (const Segment& segment : segments) {
        if (!segment.Folds(schema_)) continue;
        const FieldDef& f = schema_.At(static_cast<std::size_t>(segment.field));
        MetaQuery q(db_, path_, "SELECT 1 FROM pragma_table_xinfo(?1) WHERE name = ?2");
        const std::string table = rowTable_.substr(1, rowTable_.size() - 2);
        sqlite3_bind_text(q.stmt.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(q.stmt.get(), 2, FoldColumnName(f).c_str(), -1, SQLITE_TRANSIENT);
        if (q.Next()) continue;
        q.stmt.reset();
        Exec(db_, "ALTER TABLE " + rowTable_ + " ADD COLUMN " + QuoteName(FoldColumnName(f)) +
                      " TEXT GENERATED ALWAYS AS (" + FoldColumnSql(f) + ") VIRTUAL",
             what);
    }
}

// Rebuilds the case-insensitive indexes of a file of the older format with every
// Windows-1252 letter folded. A unique index whose rows would then collide keeps
// its older form, rather than lock the user out of the table.
void TableFile::UpgradeFolding() {
    const std::string upgrading = "Bringing the indexes of " + path_ + " up to date";
    Exec(db_, "BEGIN IMMEDIATE", upgrading);
    try {
        std::string stored;
        {
            MetaQuery format(db_, path_, "SELECT value FROM _edt_meta WHERE key = 'format'");
            if (format.Next()) stored = format.Text(0, "the format is not text");
        }
        if (stored == kFormatAsciiFold) {
            for (const IndexDef& def : indexes_) {
                if (std::none_of(def.segments.begin(), def.segments.end(),
                                 [](const Segment& s) { return s.asciiFold; }))
                    continue;
                std::string terms;
                for (Segment s : def.segments) {
                    s.asciiFold = false;
                    terms += (terms.empty() ? "" : ", ") + KeyTermSql(schema_, s);
                }
                Exec(db_, "SAVEPOINT fold", upgrading);
                try {
                    AddFoldColumns(def.segments, upgrading);
                    Exec(db_, "DROP INDEX " + QuoteName(def.sqlName), upgrading);
                    Exec(db_, std::string("CREATE ") + (def.Unique() ? "UNIQUE " : "") + "INDEX " +
                                  QuoteName(def.sqlName) + " ON " + rowTable_ + "(" + terms + ")",
                         upgrading);
                } catch (const EngineError& e) {
                    if (e.Code() != EDS_E_UNIQUE_VIOLATION) throw;
                    Exec(db_, "ROLLBACK TO fold", upgrading);
                }
                Exec(db_, "RELEASE fold", upgrading);
            }
            Exec(db_, std::string("UPDATE _edt_meta SET value = '") + kFormat + "' WHERE key = 'format'", upgrading);
        }
        Exec(db_, "COMMIT", upgrading);
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    format_ = kFormat;
    MarkAsciiFolds();
}

// The stored description must match the table of rows: a name it gives that the
// table lacks would reach SQL as a name of nothing.
void TableFile::CheckColumns(const std::string& table) {
    std::vector<std::string> columns;
    {
        MetaQuery q(db_, path_, "SELECT name FROM pragma_table_info(?1)");
        sqlite3_bind_text(q.stmt.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (q.Next()) columns.push_back(q.Text(0, "a column has no name"));
    }
    if (columns.empty()) Throw(EDS_E_NOT_A_TABLE, "The table " + path_ + " is damaged: its rows are missing.");
    for (const FieldDef& f : schema_.Fields()) {
        const bool found = std::any_of(columns.begin(), columns.end(),
                                       [&](const std::string& c) { return rtl::SameText(c, f.name); });
        if (!found)
            Throw(EDS_E_FIELD_SPEC, "The table " + path_ + " is damaged: it has no column " + f.name +
                                        " though its field specification names it.");
    }
}

const IndexDef& TableFile::CreateIndex(const std::string& tag, const std::string& expr, UNSIGNED32 options) {
    if (readOnly_) Throw(EDS_E_READ_ONLY, "The table is open read-only.");
    if (tag.empty()) Throw(EDS_E_INVALID_ARGUMENT, "An index tag needs a name.");
    for (const IndexDef& d : indexes_) {
        if (d.tag.size() == tag.size() && sqlite3_stricmp(d.tag.c_str(), tag.c_str()) == 0)
            Throw(EDS_E_INDEX_EXISTS, "The index tag " + tag + " already exists.");
    }
    IndexDef def;
    def.tag = tag;
    def.expr = expr;
    def.options = options & (EDS_UNIQUE | EDS_DESCENDING | EDS_COMPOUND);
    def.segments = ParseKeyExpression(schema_, expr);
    def.sqlName = rowTable_.substr(1, rowTable_.size() - 2) + "$" + tag;
    std::string terms;
    for (const Segment& s : def.segments) terms += (terms.empty() ? "" : ", ") + KeyTermSql(schema_, s);
    Writing([&] {
        const bool ownTransaction = sqlite3_get_autocommit(db_) != 0;
        const std::string creating = "Creating the index " + tag;
        if (ownTransaction) Exec(db_, "BEGIN IMMEDIATE", creating);
        try {
            AddFoldColumns(def.segments, creating);
            Exec(db_, std::string("CREATE ") + (def.Unique() ? "UNIQUE " : "") + "INDEX " + QuoteName(def.sqlName) +
                          " ON " + rowTable_ + "(" + terms + ")",
                 creating);
            sqlite3_stmt* stmt = statements_->Get("INSERT INTO _edt_index VALUES(?, ?, ?, ?)");
            StatementUse use(stmt);
            sqlite3_bind_text(stmt, 1, def.tag.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(stmt, 2, def.expr.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(stmt, 3, def.options);
            sqlite3_bind_text(stmt, 4, def.sqlName.c_str(), -1, SQLITE_TRANSIENT);
            Step(db_, stmt, creating);
            if (ownTransaction) Exec(db_, "COMMIT", creating);
        } catch (...) {
            if (ownTransaction) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    });
    indexes_.push_back(std::move(def));
    return indexes_.back();
}

void TransactionState::ThrowFailed() const {
    Throw(failure->Code(), "The transaction has failed and can only be rolled back: " + failure->Text());
}

void TableFile::BeforeWrite() {
    if (readOnly_) Throw(EDS_E_READ_ONLY, "The table is open read-only.");
    if (!transaction_ || !transaction_->active) return;
    if (transaction_->failure) transaction_->ThrowFailed();
    if (LostTransaction()) {
        // A fresh SQLite transaction here would commit only the tail of the work.
        transaction_->failure.emplace(EDS_E_IO, "The changes to " + path_ + " in this transaction were lost.");
        transaction_->ThrowFailed();
    }
    if (!sqlite3_get_autocommit(db_)) return;
    Exec(db_, "BEGIN IMMEDIATE", "Starting a change of " + path_);
    joined_ = transaction_->serial;
}

void TableFile::AfterFailedWrite(const EngineError& error) {
    if (LostTransaction() && !transaction_->failure) transaction_->failure.emplace(error);
}

}  // namespace eds
