#include "platform/edsengine/EdsSqlStream.h"

#include <algorithm>
#include <future>
#include <utility>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsKeys.h"
#include "platform/edsengine/EdsSqlText.h"
#include "platform/rtl/SysUtils.h"

namespace eds {
namespace {

// Rows copied between commits of the table's file.
constexpr std::int64_t kRowsPerCommit = 4096;
// Rows copied in one turn on the connection.
constexpr std::int64_t kRowsPerTurn = 64;

std::string SqlFailure(sqlite3* db, int rc, std::string_view sql) {
    return "ERROR 7200: NATIVEERROR = " + std::to_string(sqlite3_extended_errcode(db)) + "; " +
           (rc == SQLITE_OK ? std::string("unknown failure") : std::string(sqlite3_errmsg(db))) + " -- SQL: " +
           std::string(sql.substr(0, 400));
}

void Run(sqlite3* db, const std::string& sql) {
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) ThrowSqlError(db, rc, sql);
}

void BindAll(sqlite3_stmt* stmt, const std::vector<SqlValue>& params) {
    // Numbered markers keep their numbers in a shortened text: bind those it still has.
    const int count = sqlite3_bind_parameter_count(stmt);
    for (std::size_t i = 0; i < params.size() && static_cast<int>(i) < count; ++i)
        SqlBindValue(stmt, static_cast<int>(i) + 1, params[i]);
}

// The text without its final ORDER BY, where dropping it leaves the same rows (no
// LIMIT or OFFSET after it); empty when the text is no query SQLite could nest.
std::string WithoutFinalOrder(const std::string& sql) {
    const std::vector<SqlToken> toks = TokenizeSql(sql);
    auto word = [&](std::size_t i, const char* w) {
        return i < toks.size() && toks[i].kind == SqlToken::Kind::Word && rtl::UpperCase(toks[i].value) == w;
    };
    if (!word(0, "SELECT") && !word(0, "WITH") && !word(0, "VALUES")) return {};
    std::size_t order = toks.size();
    bool limited = false;
    int depth = 0;
    for (std::size_t i = 0; i < toks.size(); ++i) {
        if (toks[i].kind == SqlToken::Kind::Punct && toks[i].value == "(") ++depth;
        if (toks[i].kind == SqlToken::Kind::Punct && toks[i].value == ")") --depth;
        if (depth != 0) continue;
        if (word(i, "ORDER") && word(i + 1, "BY")) {
            order = i;
            limited = false;
        }
        if (order < toks.size() && (word(i, "LIMIT") || word(i, "OFFSET"))) limited = true;
    }
    if (order == toks.size() || limited) return sql;
    return sql.substr(0, toks[order].begin);
}

// Attaches the files under the names the session gave them; answers the failure, if any.
std::string Attach(sqlite3* db, const std::vector<StreamedRows::File>& files) {
    for (const StreamedRows::File& file : files) {
        sqlite3_stmt* attach = nullptr;
        sqlite3_prepare_v2(db, ("ATTACH DATABASE ?1 AS " + QuoteName(file.schema)).c_str(), -1, &attach, nullptr);
        sqlite3_bind_text(attach, 1, file.path.c_str(), -1, SQLITE_TRANSIENT);
        const int rc = sqlite3_step(attach);
        sqlite3_finalize(attach);
        if (rc != SQLITE_DONE) return SqlFailure(db, rc, "ATTACH " + file.path);
    }
    return {};
}

std::string KindsSql(const std::string& body, int columns, const std::vector<int>& wanted) {
    // The columns get names of their own: a result may name two alike, or none.
    std::string names, aggregates;
    for (int i = 0; i < columns; ++i) names += (i ? ", c" : "c") + std::to_string(i);
    for (int w : wanted) {
        const std::string c = "c" + std::to_string(w);
        aggregates += std::string(aggregates.empty() ? "" : ", ") + "max(typeof(" + c + ") = 'text'), max(typeof(" + c +
                      ") = 'real'), max(typeof(" + c + ") = 'blob'), max(CASE WHEN typeof(" + c +
                      ") = 'text' THEN length(CAST(" + c + " AS BLOB)) END)";
    }
    return "WITH eds_q(" + names + ") AS (" + body + ") SELECT " + aggregates + " FROM eds_q";
}

using Kinds = std::optional<std::vector<StreamedRows::Kind>>;

Kinds RunKinds(sqlite3* db, const std::string& sql, const std::vector<SqlValue>& params, std::size_t wanted) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return std::nullopt;
    }
    BindAll(stmt, params);
    if (sqlite3_step(stmt) != SQLITE_ROW) {
        sqlite3_finalize(stmt);
        return std::nullopt;
    }
    std::vector<StreamedRows::Kind> kinds(wanted);
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const int at = static_cast<int>(k) * 4;
        kinds[k].text = sqlite3_column_int(stmt, at) != 0;
        kinds[k].real = sqlite3_column_int(stmt, at + 1) != 0;
        kinds[k].blob = sqlite3_column_int(stmt, at + 2) != 0;
        kinds[k].width = sqlite3_column_int64(stmt, at + 3);
    }
    sqlite3_finalize(stmt);
    return kinds;
}

// The same query on a connection of its own, while the statement sorts. It must
// see what the statement sees: it starts only while the statement's connection
// holds its files against writers, and gives up rather than wait for one.
Kinds KindsElsewhere(const std::vector<StreamedRows::File>& files, const std::string& sql,
                     const std::vector<SqlValue>& params, std::size_t wanted) {
    sqlite3* db = nullptr;
    Kinds kinds;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK) {
        HardenConnection(db);
        RegisterFolding(db);
        if (Attach(db, files).empty()) kinds = RunKinds(db, sql, params, wanted);
    }
    sqlite3_close_v2(db);
    return kinds;
}

}  // namespace

StreamedRows::StreamedRows(const std::vector<File>& files, const std::string& sql, const std::vector<SqlValue>& params,
                           std::vector<int> kinds)
    : sql_(sql), params_(params), wanted_(std::move(kinds)), kinds_(wanted_.size()) {
    try {
        int rc = sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                                 nullptr);
        if (rc != SQLITE_OK) ThrowSqlError(db_, rc, "opening a result");
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, 2000);
        // The user's text runs here too: the session refused what it must not
        // do, and the engine's own statements run here unchecked.
        HardenConnection(db_);
        RegisterFolding(db_);
        const std::string attachFailure = Attach(db_, files);
        if (!attachFailure.empty()) Throw(EDS_E_SQL, attachFailure);
        // The rows go to the connection's temporary database: a file of SQLite's own
        // that goes when the connection closes.
        Run(db_, "PRAGMA temp_store = FILE");
        rc = sqlite3_prepare_v2(db_, sql_.c_str(), -1, &rows_, nullptr);
        if (rc != SQLITE_OK) ThrowSqlError(db_, rc, sql_);
        RefuseChangeReturningRows(rows_);  // its change would go with this connection
        columns_ = sqlite3_column_count(rows_);
        std::string create = std::string("CREATE TABLE ") + kTable + "(eds_pos INTEGER PRIMARY KEY";
        std::string insert = std::string("INSERT INTO ") + kTable + " VALUES(?";
        for (int i = 0; i < columns_; ++i) {
            create += ", c" + std::to_string(i);
            insert += ", ?";
        }
        Run(db_, create + ")");
        rc = sqlite3_prepare_v2(db_, (insert + ")").c_str(), -1, &insert_, nullptr);
        if (rc != SQLITE_OK) ThrowSqlError(db_, rc, insert);
        BindAll(rows_, params_);
        // Hold the files against writers before the query of the kinds starts elsewhere.
        Run(db_, "BEGIN");
        for (const File& file : files) Run(db_, "SELECT count(*) FROM " + QuoteName(file.schema) + ".sqlite_master");
        const std::string body = wanted_.empty() ? std::string() : WithoutFinalOrder(sql_);
        if (!body.empty())
            kindsElsewhere_ = std::async(std::launch::async, KindsElsewhere, files, KindsSql(body, columns_, wanted_),
                                         params_, wanted_.size());
        rc = sqlite3_step(rows_);
        const std::string failure = rc == SQLITE_ROW || rc == SQLITE_DONE ? std::string() : SqlFailure(db_, rc, sql_);
        // The statement that still reads keeps its files' locks past the commit.
        sqlite3_exec(db_, rc == SQLITE_ROW ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
        if (!failure.empty()) Throw(EDS_E_SQL, failure);
        if (rc == SQLITE_DONE) {
            sqlite3_finalize(rows_);
            rows_ = nullptr;
            done_ = true;
        }
    } catch (...) {
        if (kindsElsewhere_.valid()) kindsElsewhere_.wait();
        sqlite3_finalize(insert_);
        sqlite3_finalize(rows_);
        sqlite3_close_v2(db_);
        throw;
    }
}

StreamedRows::~StreamedRows() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    if (worker_.joinable()) worker_.join();
    sqlite3_finalize(insert_);
    sqlite3_finalize(rows_);
    sqlite3_close_v2(db_);
}

std::optional<std::vector<StreamedRows::Kind>> StreamedRows::QueryKinds() {
    if (wanted_.empty()) return std::vector<Kind>{};
    if (kindsElsewhere_.valid())
        if (Kinds kinds = kindsElsewhere_.get()) return kinds;
    const std::string body = WithoutFinalOrder(sql_);
    if (body.empty()) return std::nullopt;
    // Here, the statement still reads: this query sees the rows as it does.
    return RunKinds(db_, KindsSql(body, columns_, wanted_), params_, wanted_.size());
}

void StreamedRows::Start(bool kinds) {
    if (done_ || worker_.joinable()) return;
    if (!kinds) wanted_.clear();
    const bool writes = !sqlite3_stmt_readonly(rows_);
    worker_ = std::thread([this] { Copy(); });
    // A change to tables is done when its statement returns.
    if (writes) Need(kAll);
}

void StreamedRows::Copy() {
    // A statement that writes cannot see a commit while it runs; its copy commits with it.
    const bool batches = sqlite3_stmt_readonly(rows_) != 0;
    std::string failure;
    std::int64_t pos = 0, committed = 0;
    bool open = false;
    auto commit = [&] {
        if (!open) return true;
        open = false;
        if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) {
            committed = pos;
            return true;
        }
        failure = SqlFailure(db_, SQLITE_ERROR, "COMMIT");
        return false;
    };
    // The connection's calls take its mutex each; holding it over a few rows makes
    // those re-entries cheap, and a cursor still gets its turn between them.
    sqlite3_mutex* const connection = sqlite3_db_mutex(db_);
    sqlite3_mutex_enter(connection);
    while (true) {
        if (pos % kRowsPerTurn == 0) {
            sqlite3_mutex_leave(connection);
            sqlite3_mutex_enter(connection);
        }
        if (batches && !open) {
            if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
                failure = SqlFailure(db_, SQLITE_ERROR, "BEGIN");
                break;
            }
            open = true;
        }
        sqlite3_bind_int64(insert_, 1, pos + 1);
        for (int i = 0; i < columns_; ++i) sqlite3_bind_value(insert_, i + 2, sqlite3_column_value(rows_, i));
        int rc = sqlite3_step(insert_);
        sqlite3_reset(insert_);
        if (rc != SQLITE_DONE) {
            failure = SqlFailure(db_, rc, "copying a result");
            break;
        }
        for (std::size_t k = 0; k < wanted_.size(); ++k) {
            Kind& kind = kinds_[k];
            switch (sqlite3_column_type(rows_, wanted_[k])) {
            case SQLITE_TEXT:
                kind.text = true;
                kind.width = std::max<std::int64_t>(kind.width, sqlite3_column_bytes(rows_, wanted_[k]));
                break;
            case SQLITE_FLOAT: kind.real = true; break;
            case SQLITE_BLOB: kind.blob = true; break;
            default: break;
            }
        }
        ++pos;
        // Rows a cursor waits for must be readable: the same connection sees them uncommitted.
        bool stop = false, wake = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            copied_ = pos;
            stop = stop_;
            wake = pos == awaited_;
        }
        // Only the row a cursor waits for wakes it: a wake-up a row costs more than the copy.
        if (wake) changed_.notify_all();
        if (stop) break;
        rc = sqlite3_step(rows_);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) {
            failure = SqlFailure(db_, rc, sql_);
            break;
        }
        if (pos % kRowsPerCommit == 0 && !commit()) break;
    }
    sqlite3_mutex_leave(connection);
    // The table files are free for writers from here.
    sqlite3_finalize(rows_);
    rows_ = nullptr;
    if (failure.empty()) commit();
    if (!failure.empty() && batches) {
        // What the failed batch had copied is gone with it.
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        pos = committed;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        copied_ = pos;
        done_ = true;
        failure_ = std::move(failure);
    }
    changed_.notify_all();
}

void StreamedRows::Need(std::int64_t upTo) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (copied_ < upTo && !done_) {
        awaited_ = upTo;
        changed_.wait(lock);
    }
    awaited_ = 0;
    if (copied_ < upTo && !failure_.empty()) Throw(EDS_E_SQL, failure_);
}

std::vector<StreamedRows::Kind> StreamedRows::CopiedKinds() {
    Need(kAll);
    std::lock_guard<std::mutex> lock(mutex_);
    return kinds_;
}

}  // namespace eds
