#include "platform/edsengine/EdsTableFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "platform/edsengine/EdsCore.h"
#include "platform/rtl/Paths.h"

namespace eds {
namespace {

constexpr char kFormat[] = "EDT 1";
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

bool Step(sqlite3* db, sqlite3_stmt* stmt) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    ThrowSqlite(db, rc, "Reading the table");
}

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    if (message) sqlite3_free(message);
    if (rc != SQLITE_OK) ThrowSqlite(db, rc, "Updating the table file");
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
        Exec(db.db,
             "BEGIN;"
             "CREATE TABLE _edt_meta(key TEXT PRIMARY KEY, value TEXT);"
             "CREATE TABLE _edt_index(tag TEXT PRIMARY KEY COLLATE NOCASE, expr TEXT NOT NULL, options INTEGER NOT NULL,"
             " sql_index TEXT NOT NULL);"
             "CREATE TABLE " + table + "(" + schema.CreateColumnsSql() + ");");
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
        if (rcInsert != SQLITE_DONE) ThrowSqlite(db.db, rcInsert, "Creating " + path);
        Exec(db.db, "COMMIT;");
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
    if (!rtl::FileExists(path)) Throw(EDS_E_FILE_NOT_FOUND, "The table file " + path + " does not exist.");
    locks_ = std::make_unique<LockFile>(path);
    if (!locks_->LockOpen(exclusive, kOpenWaitMs))
        Throw(EDS_E_TABLE_LOCKED, exclusive ? "The table " + path + " is in use by another user."
                                            : "The table " + path + " is open exclusively by another user.");
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        Throw(EDS_E_IO, "Cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    statements_ = std::make_unique<StatementCache>(db_);
    try {
        ReadMetadata();
    } catch (...) {
        statements_.reset();
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw;
    }
    shared_ = SharedStateFor(path);
}

TableFile::~TableFile() {
    statements_.reset();
    if (db_) {
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db_);
    }
}

void TableFile::ReadMetadata() {
    std::map<std::string, std::string> meta;
    {
        sqlite3_stmt* raw = nullptr;
        const int rc = sqlite3_prepare_v2(db_, "SELECT key, value FROM _edt_meta", -1, &raw, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(raw);
            Throw(EDS_E_NOT_A_TABLE, "The file " + path_ + " is not a table (" + sqlite3_errmsg(db_) + ").");
        }
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
        while (Step(db_, stmt.get())) {
            const auto* k = sqlite3_column_text(stmt.get(), 0);
            const auto* v = sqlite3_column_text(stmt.get(), 1);
            meta[k ? reinterpret_cast<const char*>(k) : ""] = v ? reinterpret_cast<const char*>(v) : "";
        }
    }
    if (meta["format"] != kFormat) Throw(EDS_E_NOT_A_TABLE, "The file " + path_ + " is not a table of this engine.");
    schema_ = Schema::Parse(meta["fields"]);
    rowTable_ = QuoteName(meta["table"]);
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db_, "SELECT tag, expr, options, sql_index FROM _edt_index ORDER BY rowid", -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    while (Step(db_, stmt.get())) {
        IndexDef def;
        def.tag = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
        def.expr = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 1));
        def.options = static_cast<UNSIGNED32>(sqlite3_column_int64(stmt.get(), 2));
        def.sqlName = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 3));
        def.segments = ParseKeyExpression(schema_, def.expr);
        indexes_.push_back(std::move(def));
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
    const bool ownTransaction = sqlite3_get_autocommit(db_) != 0;
    BeforeWrite();
    if (ownTransaction) Exec(db_, "BEGIN IMMEDIATE");
    try {
        Exec(db_, std::string("CREATE ") + (def.Unique() ? "UNIQUE " : "") + "INDEX " + QuoteName(def.sqlName) +
                      " ON " + rowTable_ + "(" + terms + ")");
        sqlite3_stmt* stmt = statements_->Get("INSERT INTO _edt_index VALUES(?, ?, ?, ?)");
        StatementUse use(stmt);
        sqlite3_bind_text(stmt, 1, def.tag.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, def.expr.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 3, def.options);
        sqlite3_bind_text(stmt, 4, def.sqlName.c_str(), -1, SQLITE_TRANSIENT);
        Step(db_, stmt);
        if (ownTransaction) Exec(db_, "COMMIT");
    } catch (...) {
        if (ownTransaction) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    AfterWrite();
    indexes_.push_back(std::move(def));
    return indexes_.back();
}

void TableFile::BeforeWrite() {
    if (readOnly_) Throw(EDS_E_READ_ONLY, "The table is open read-only.");
    if (inTransaction_ && *inTransaction_ && sqlite3_get_autocommit(db_)) Exec(db_, "BEGIN IMMEDIATE");
}

}  // namespace eds
