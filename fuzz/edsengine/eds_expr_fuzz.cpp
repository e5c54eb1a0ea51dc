// Fuzzes the expression compiler: any text must end in a compiled expression
// or an expression error, and a compiled one must evaluate and translate to
// SQL that SQLite accepts and that selects what the evaluator selects.

#include "platform/edsengine/EdsExpr.h"
#include "platform/edsengine/EdsKeys.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::vector<EdsExprColumn> kColumns = {
    {"Name", 4, 30, 0}, {"City", 20, 35, 0}, {"SerialNum", 11, 4, 0}, {"Amount", 10, 8, 2},
    {"Batch", 1, 1, 0}, {"Born", 3, 4, 0},   {"DateTime", 14, 8, 0},  {"At", 13, 4, 0},
};

struct Db {
    sqlite3* db = nullptr;
    Db() {
        sqlite3_open(":memory:", &db);
        // UPPER() folds through the engine's own function, as on every table connection.
        eds::RegisterFolding(db);
        sqlite3_exec(db,
                     "CREATE TABLE t(Name TEXT, City TEXT COLLATE NOCASE, SerialNum INTEGER, Amount REAL, Batch INTEGER, Born TEXT, "
                     "DateTime TEXT, At INTEGER);"
                     "INSERT INTO t VALUES('SMITH','Acme Town',41,2.5,1,'2026-12-01','2026-12-01 10:00:00.000',1000);"
                     "INSERT INTO t VALUES('',NULL,0,NULL,0,NULL,NULL,NULL);"
                     "INSERT INTO t VALUES(NULL,'ACME town',-3,0.1,NULL,'1999-01-31','1999-01-31 23:59:59.999',0);",
                     nullptr, nullptr, nullptr);
    }
    ~Db() { sqlite3_close(db); }
};

struct StmtRow : EdsExprRow {
    sqlite3_stmt* stmt = nullptr;
    EdsExprValue Field(std::size_t i) const override {
        return EdsExprValueFromStored(kColumns[i], stmt, static_cast<int>(i) + 1);
    }
};

void Bind(sqlite3_stmt* stmt, const EdsSqlPredicate& p) {
    for (std::size_t i = 0; i < p.binds.size(); ++i) {
        int at = static_cast<int>(i) + 1;
        const EdsSqlBind& b = p.binds[i];
        if (auto* n = std::get_if<std::int64_t>(&b)) sqlite3_bind_int64(stmt, at, *n);
        else if (auto* d = std::get_if<double>(&b)) sqlite3_bind_double(stmt, at, *d);
        else if (auto* s = std::get_if<std::string>(&b))
            sqlite3_bind_text(stmt, at, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
        else sqlite3_bind_null(stmt, at);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Db db;
    if (size < 1) return 0;
    EdsExprSettings settings;
    settings.exact = data[0] & 1;
    settings.dateFormat = (data[0] & 2) ? "DD.MM.YY" : "MM/DD/CCYY";
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    EdsExprError error;
    auto expr = EdsExpr::Compile(text, kColumns, settings, error);
    if (!expr) {
        if (error.code == 0 || error.text.empty()) std::abort();
        return 0;
    }
    EdsSqlPredicate pred;
    bool inSql = expr->ToSql(pred);
    bool complete = false;
    EdsSqlPredicate part;
    bool hasPart = expr->ToSqlPart(part, complete);
    if (inSql && !complete) std::abort();

    sqlite3_stmt* all = nullptr;
    sqlite3_prepare_v2(db.db, "SELECT rowid, * FROM t ORDER BY rowid", -1, &all, nullptr);
    std::vector<std::int64_t> evaluated;
    StmtRow row;
    row.stmt = all;
    while (sqlite3_step(all) == SQLITE_ROW) {
        EdsExprValue v = expr->Evaluate(row);
        if (v.type != expr->ResultType()) std::abort();
        if (v.type == EdsExprType::Logical && v.logical) evaluated.push_back(sqlite3_column_int64(all, 0));
    }
    sqlite3_finalize(all);

    auto select = [&](const EdsSqlPredicate& p) {
        std::string sql = "SELECT rowid FROM t WHERE " + p.text + " ORDER BY rowid";
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db.db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) std::abort();
        if (sqlite3_bind_parameter_count(stmt) != static_cast<int>(p.binds.size())) std::abort();
        Bind(stmt, p);
        std::vector<std::int64_t> selected;
        while (sqlite3_step(stmt) == SQLITE_ROW) selected.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
        return selected;
    };
    if (inSql && select(pred) != evaluated) std::abort();
    if (hasPart) {
        // The SQL part narrows: every row the whole expression takes must pass it.
        std::vector<std::int64_t> narrowed = select(part);
        for (std::int64_t id : evaluated)
            if (std::find(narrowed.begin(), narrowed.end(), id) == narrowed.end()) std::abort();
        if (complete && narrowed != evaluated) std::abort();
    }
    return 0;
}
