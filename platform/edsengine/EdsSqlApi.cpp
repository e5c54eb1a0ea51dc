// Entry points: SQL statements, their options and parameters, and the static
// cursors their SELECTs open.
//
// A cursor is a read-only table handle over either the record numbers of one
// source table in result order, joined to that table (rows are read when
// navigation reaches them), kept in a private temporary database, or the rows
// as the statement gives them (StreamedRows). It belongs to the connection, not
// to the statement, so it outlives the statement.

#include "platform/edsengine/EdsSqlApi.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsDates.h"
#include "platform/edsengine/EdsObjects.h"
#include "platform/edsengine/EdsKeys.h"
#include "platform/edsengine/EdsSqlSession.h"
#include "platform/edsengine/EdsSqlStream.h"
#include "platform/edsengine/EdsSqlText.h"

using namespace eds;

namespace eds {

class SqlStatement : public Object {
public:
    SqlStatement(EDSHANDLE connection, std::shared_ptr<SqlSession> session)
        : connection(connection), session(std::move(session)), core(*this->session) {}
    UNSIGNED16 HandleType() const override { return EDS_STATEMENT; }

    EDSHANDLE connection;
    std::shared_ptr<SqlSession> session;
    SqlStatementCore core;
    bool executed = false;
    std::int64_t rowsAffected = -1;  // -1: not known
    UNSIGNED32 lastAutoinc = 0;
    // A binary parameter arrives in pieces (EdsSetBinary with an offset).
    std::map<UNSIGNED32, std::vector<UNSIGNED8>> binaries;
};

}  // namespace eds

namespace {

Registry& Objects() { return Registry::Instance(); }

// One SQL session per connection, by connection handle (never reused). Never
// destroyed: the layer disconnects from an exit handler, which may run after
// the statics made since it was registered are gone.
std::map<EDSHANDLE, std::shared_ptr<SqlSession>>& Sessions() {
    static auto* sessions = new std::map<EDSHANDLE, std::shared_ptr<SqlSession>>;
    return *sessions;
}

// Statement handles, by handle; those of a connection that is gone are freed
// (the layer forgets its handles on disconnect without closing them).
std::set<EDSHANDLE>& Statements() {
    static std::set<EDSHANDLE> statements;
    return statements;
}

void FreeOrphanStatements();

std::shared_ptr<SqlSession> SessionFor(Connection& connection) {
    FreeOrphanStatements();
    auto& sessions = Sessions();
    for (auto it = sessions.begin(); it != sessions.end();)
        it = Objects().Find(it->first) ? std::next(it) : sessions.erase(it);
    auto& session = sessions[connection.handle];
    if (!session) session = std::make_shared<SqlSession>(connection.Folder());
    return session;
}

void FreeOrphanStatements() {
    for (auto it = Statements().begin(); it != Statements().end();) {
        auto* stmt = dynamic_cast<SqlStatement*>(Objects().Find(*it));
        if (stmt && Objects().Find(stmt->connection)) {
            ++it;
            continue;
        }
        if (stmt) Objects().Remove(*it);
        it = Statements().erase(it);
    }
}

SqlStatement& StatementOf(EDSHANDLE handle) { return Objects().As<SqlStatement>(handle, EDS_E_INVALID_STATEMENT); }

Connection& LiveConnection(const SqlStatement& stmt) {
    return Objects().As<Connection>(stmt.connection, EDS_E_NOT_CONNECTED);
}

void Out16(UNSIGNED16* out, UNSIGNED16 value) {
    CheckOut(out, "answer");
    *out = value;
}

std::string Quote(std::string_view name) { return QuoteName(name); }

// ---- Result cursors -------------------------------------------------------------------

std::string SpecType(const SqlField& f) {
    switch (f.type) {
    case EDS_LOGICAL: return "Logical";
    case EDS_NUMERIC: return "Numeric," + std::to_string(f.length) + "," + std::to_string(f.decimals);
    case EDS_DATE: return "Date";
    case EDS_MEMO: return "Memo";
    case EDS_BINARY: return "Binary";
    case EDS_IMAGE: return "Image";
    case EDS_VARCHAR: return "VarChar";
    case EDS_COMPACTDATE: return "ShortDate";
    case EDS_DOUBLE: return "Double";
    case EDS_INTEGER:
    case EDS_AUTOINC: return "Integer";  // a result numbers nothing itself
    case EDS_SHORTINT: return "ShortInt";
    case EDS_TIME: return "Time";
    case EDS_TIMESTAMP: return "TimeStamp";
    case EDS_RAW: return "Raw," + std::to_string(std::max<UNSIGNED32>(f.length, 1));
    case EDS_CURDOUBLE: return "CurDouble";
    case EDS_MONEY: return "Money";
    case EDS_CISTRING: return "CIChar," + std::to_string(std::max<UNSIGNED32>(f.length, 1));
    default: return "Char," + std::to_string(std::max<UNSIGNED32>(f.length, 1));
    }
}

// Result column names made fit for a field specification, which cannot hold its
// own separators nor blanks at a name's ends; every name a table may be created
// with passes unchanged, so a result field is found by its table field's name.
// Unique, and no longer than a table's field name (cut at a character's start).
std::vector<std::string> FieldNames(const std::vector<SqlField>& fields) {
    constexpr std::size_t kMaxName = 128;
    std::vector<std::string> names, upper{"EDS_POS"};  // the position column is taken
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::string name = fields[i].name;
        if (name.size() > kMaxName) {
            std::size_t cut = kMaxName;
            while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
            name.resize(cut);
        }
        for (char& c : name)
            if (c == ',' || c == ';') c = '_';
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
        for (std::size_t j = 0; j < name.size() && blank(name[j]); ++j) name[j] = '_';
        for (std::size_t j = name.size(); j > 0 && blank(name[j - 1]); --j) name[j - 1] = '_';
        if (name.empty()) name = "EXPR";
        std::string base = name;
        for (int n = 2;; ++n) {
            std::string u;
            for (char c : name) u += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
            if (std::find(upper.begin(), upper.end(), u) == upper.end()) {
                upper.push_back(u);
                break;
            }
            name = base + "_" + std::to_string(n);
        }
        names.push_back(name);
    }
    return names;
}

void Exec(sqlite3* db, const std::string& sql) {
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) ThrowSqlError(db, rc, sql);
}

// How much of a result's table file is read through a memory mapping.
constexpr std::int64_t kResultMapBytes = 32 << 20;

// Where the record numbers of a single-table result live: a private temporary
// database, which keeps a few pages in memory and the rest in its file (deleted
// when it closes), so a million-row result does not hold its numbers in memory.
struct ResultStore {
    sqlite3* db = nullptr;
    std::unique_ptr<StatementCache> statements;
    Schema schema;
    ~ResultStore() {
        statements.reset();
        sqlite3_close_v2(db);
    }
};

// The rows of any other result, as they arrive; the cursor's statements go before them.
struct ArrivingRows {
    std::shared_ptr<StreamedRows> rows;
    std::unique_ptr<StatementCache> statements;
    Schema schema;
    ~ArrivingRows() { statements.reset(); }
};

EDSHANDLE OpenStreamedCursor(Connection& connection, const SqlResult& result, const std::string& spec,
                             const std::vector<std::string>& names) {
    auto store = std::make_shared<ArrivingRows>();
    store->rows = result.rows;
    store->schema = Schema::Parse(spec);
    sqlite3* db = store->rows->Db();
    std::string from = "(SELECT eds_pos";
    for (std::size_t i = 0; i < names.size(); ++i) from += ", " + result.rowColumns[i] + " AS " + Quote(names[i]);
    from += std::string(" FROM ") + StreamedRows::kTable + ")";
    store->statements = std::make_unique<StatementCache>(db);
    Relation relation{db, store->statements.get(), &store->schema, from, "eds_pos", nullptr,
                      [rows = store->rows.get()](std::int64_t upTo) { rows->Need(upTo); }};
    const EDSHANDLE handle = Objects().Add(std::make_unique<Table>(connection.handle, relation, store));
    connection.tables.push_back(handle);
    return handle;
}

EDSHANDLE OpenResultCursor(Connection& connection, const SqlResult& result) {
    std::vector<std::string> names = FieldNames(result.fields);
    std::string spec;
    for (std::size_t i = 0; i < names.size(); ++i) spec += names[i] + "," + SpecType(result.fields[i]) + ";";
    if (!result.byRecord) return OpenStreamedCursor(connection, result, spec, names);
    auto store = std::make_shared<ResultStore>();
    store->schema = Schema::Parse(spec);
    // Reached only under the engine's lock, like the table files: SQLite's own
    // mutex would be taken again for every column of every row read.
    int rc = sqlite3_open_v2("", &store->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) ThrowSqlError(store->db, rc, "opening a result");
    sqlite3* db = store->db;
    HardenConnection(db);  // the record numbers come from the user's conditions
    sqlite3_extended_result_codes(db, 1);
    RegisterFolding(db);
    sqlite3_busy_timeout(db, 2000);
    {
        sqlite3_stmt* attach = nullptr;
        sqlite3_prepare_v2(db, "ATTACH DATABASE ?1 AS src", -1, &attach, nullptr);
        sqlite3_bind_text(attach, 1, result.sourcePath.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(attach);
        sqlite3_finalize(attach);
        if (rc != SQLITE_DONE) ThrowSqlError(db, rc, "ATTACH " + result.sourcePath);
        Exec(db, "CREATE TABLE eds_order(pos INTEGER PRIMARY KEY, recno INTEGER)");
        // Inserted in result order, so the positions number the rows in that order.
        std::string fill = "INSERT INTO main.eds_order(recno) " + result.recordQuery;
        sqlite3_stmt* stmt = nullptr;
        rc = sqlite3_prepare_v2(db, fill.c_str(), -1, &stmt, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(stmt);
            ThrowSqlError(db, rc, fill);
        }
        for (std::size_t i = 0; i < result.params.size(); ++i) SqlBindValue(stmt, static_cast<int>(i) + 1, result.params[i]);
        rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) ThrowSqlError(db, rc, fill);
        std::string select;
        for (std::size_t i = 0; i < names.size(); ++i)
            select += ", s." + Quote(result.sourceColumns[i]) + " AS " + Quote(names[i]);
        Exec(db, "CREATE TEMP VIEW eds_result AS SELECT o.pos AS eds_pos" + select +
                     " FROM main.eds_order AS o JOIN src." + Quote(result.sourceRowTable) + " AS s ON s." +
                     result.sourceRecno + " = o.recno");
        // Rows come in result order, scattered over the file: read through a
        // mapping, each lands without a read call (and the small page cache). Only
        // from here: the numbering above passes over the file once in its order,
        // and would leave every mapped page resident for a result of a few rows.
        Exec(db, "PRAGMA src.mmap_size = " + std::to_string(kResultMapBytes));
    }
    store->statements = std::make_unique<StatementCache>(db);
    Relation relation{db, store->statements.get(), &store->schema, "eds_result", "eds_pos", nullptr, {}};
    const EDSHANDLE handle = Objects().Add(std::make_unique<Table>(connection.handle, relation, store));
    connection.tables.push_back(handle);
    return handle;
}

// A new text drops what the statement ran and the binaries bound for the old one.
void Prepare(SqlStatement& stmt, const UNSIGNED8* sql) {
    LiveConnection(stmt);
    stmt.executed = false;
    stmt.binaries.clear();
    stmt.core.Prepare(TextArg(sql));
}

void Execute(SqlStatement& stmt, EDSHANDLE* cursor) {
    CheckOut(cursor, "cursor");
    *cursor = 0;
    Connection& connection = LiveConnection(stmt);
    stmt.executed = false;
    stmt.rowsAffected = -1;
    SqlOutcome out = stmt.core.Execute(connection.transaction->active);
    stmt.executed = true;
    stmt.rowsAffected = out.rowsAffected;
    if (out.lastAutoinc > 0) stmt.lastAutoinc = static_cast<UNSIGNED32>(out.lastAutoinc);
    if (out.result) *cursor = OpenResultCursor(connection, *out.result);
}

// ---- Parameters ------------------------------------------------------------------------

UNSIGNED32 ParamNumber(SqlStatement& stmt, const EdsFieldId& field) {
    if (!field.name) return field.number;
    std::string name(reinterpret_cast<const char*>(field.name));
    UNSIGNED32 n = stmt.core.ParamNumber(name);
    if (n == 0) Throw(EDS_E_INVALID_ARGUMENT, "The statement has no parameter " + name + ".");
    return n;
}

void SetParam(EDSHANDLE handle, const EdsFieldId& field, SqlValue value) {
    SqlStatement& stmt = StatementOf(handle);
    const UNSIGNED32 number = ParamNumber(stmt, field);
    stmt.binaries.erase(number);
    stmt.core.SetParam(number, std::move(value));
}

}  // namespace

namespace eds {

void CloseSqlSession(EDSHANDLE connection) {
    auto& sessions = Sessions();
    const auto it = sessions.find(connection);
    if (it == sessions.end()) return;
    // Statements of the connection keep the session, closed: they answer that
    // their connection is gone.
    it->second->Close();
    sessions.erase(it);
}

bool SqlStatementRecordCount(EDSHANDLE handle, UNSIGNED32* count) {
    auto* stmt = dynamic_cast<SqlStatement*>(Objects().Find(handle));
    if (!stmt) return false;
    CheckOut(count, "answer");
    if (!stmt->executed || stmt->rowsAffected < 0) Throw(EDS_E_NO_ROWS_AFFECTED, DefaultErrorText(EDS_E_NO_ROWS_AFFECTED));
    *count = static_cast<UNSIGNED32>(stmt->rowsAffected);
    return true;
}

bool SqlStatementLastAutoinc(EDSHANDLE handle, UNSIGNED32* autoinc) {
    auto* stmt = dynamic_cast<SqlStatement*>(Objects().Find(handle));
    if (!stmt) return false;
    CheckOut(autoinc, "answer");
    *autoinc = stmt->lastAutoinc;
    return true;
}

bool SqlStatementSetEmpty(EDSHANDLE handle, const EdsFieldId& parameter) {
    if (!dynamic_cast<SqlStatement*>(Objects().Find(handle))) return false;
    SetParam(handle, parameter, std::monostate{});
    return true;
}

}  // namespace eds

UNSIGNED32 EdsCreateSQLStatement(EDSHANDLE hConnect, EDSHANDLE* phStatement) {
    return Run([&] {
        CheckOut(phStatement, "statement");
        Connection& connection = Objects().As<Connection>(hConnect, EDS_E_NOT_CONNECTED);
        *phStatement = Objects().Add(std::make_unique<SqlStatement>(hConnect, SessionFor(connection)));
        Statements().insert(*phStatement);
    });
}

UNSIGNED32 EdsPrepareSQL(EDSHANDLE hStatement, const UNSIGNED8* pucSql) {
    return Run([&] { Prepare(StatementOf(hStatement), pucSql); });
}

UNSIGNED32 EdsExecuteSQL(EDSHANDLE hStatement, EDSHANDLE* phCursor) {
    return Run([&] { Execute(StatementOf(hStatement), phCursor); });
}

UNSIGNED32 EdsExecuteSQLDirect(EDSHANDLE hStatement, const UNSIGNED8* pucSql, EDSHANDLE* phCursor) {
    return Run([&] {
        SqlStatement& stmt = StatementOf(hStatement);
        Prepare(stmt, pucSql);
        Execute(stmt, phCursor);
    });
}

UNSIGNED32 EdsCloseSQLStatement(EDSHANDLE hStatement) {
    return Run([&] {
        StatementOf(hStatement);
        Objects().Remove(hStatement);
        Statements().erase(hStatement);
    });
}

UNSIGNED32 EdsGetSQLStmtParams(const UNSIGNED8* pucSql, UNSIGNED8* pucParams, UNSIGNED32* pulLen) {
    return Run([&] {
        CheckOut(pulLen, "length");
        std::string names;
        for (const std::string& n : RewriteSqlParams(TextArg(pucSql)).names) names += (names.empty() ? "" : ";") + n;
        const UNSIGNED32 room = *pulLen;
        *pulLen = static_cast<UNSIGNED32>(names.size());
        if (!pucParams) return;
        if (names.size() + 1 > room) Throw(EDS_E_INSUFFICIENT_BUFFER, DefaultErrorText(EDS_E_INSUFFICIENT_BUFFER));
        std::memcpy(pucParams, names.c_str(), names.size() + 1);
    });
}

UNSIGNED32 EdsSqlPeekStatement(EDSHANDLE hCursor, UNSIGNED16* pusKind) {
    return Run([&] {
        const Table& table = Objects().As<Table>(hCursor);
        Out16(pusKind, table.HasFile() ? EDS_CURSOR_LIVE : EDS_CURSOR_STATIC);
    });
}

// The table options a statement is given change nothing here: every statement
// reads EDT files, and its cursors are static, read-only results.
UNSIGNED32 EdsStmtSetTableLockType(EDSHANDLE hStatement, UNSIGNED16) {
    return Run([&] { StatementOf(hStatement); });
}
UNSIGNED32 EdsStmtSetTableCharType(EDSHANDLE hStatement, UNSIGNED16) {
    return Run([&] { StatementOf(hStatement); });
}
UNSIGNED32 EdsStmtSetTableRights(EDSHANDLE hStatement, UNSIGNED16) {
    return Run([&] { StatementOf(hStatement); });
}
UNSIGNED32 EdsStmtSetTableReadOnly(EDSHANDLE hStatement, UNSIGNED16) {
    return Run([&] { StatementOf(hStatement); });
}
UNSIGNED32 EdsStmtSetTableType(EDSHANDLE hStatement, UNSIGNED16 usTableType) {
    return Run([&] {
        StatementOf(hStatement);
        if (usTableType == EDS_NTX || usTableType == EDS_CDX)
            Throw(EDS_E_NOT_SUPPORTED, "Only EDT tables are supported.");
    });
}
UNSIGNED32 EdsStmtConstrainUpdates(EDSHANDLE hStatement, UNSIGNED16) {
    return Run([&] { StatementOf(hStatement); });
}
UNSIGNED32 EdsStmtReadAllColumns(EDSHANDLE hStatement, UNSIGNED16) {
    return Run([&] { StatementOf(hStatement); });
}

UNSIGNED32 EdsSetString(EDSHANDLE hObj, EdsFieldId field, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return Run([&] {
        if (!pucBuf && ulLen) Throw(EDS_E_INVALID_ARGUMENT, "Missing value.");
        SetParam(hObj, field, std::string(reinterpret_cast<const char*>(pucBuf ? pucBuf : reinterpret_cast<const UNSIGNED8*>("")), ulLen));
    });
}

UNSIGNED32 EdsSetDouble(EDSHANDLE hObj, EdsFieldId field, DOUBLE dValue) {
    return Run([&] { SetParam(hObj, field, dValue); });
}

UNSIGNED32 EdsSetLogical(EDSHANDLE hObj, EdsFieldId field, UNSIGNED16 bValue) {
    return Run([&] { SetParam(hObj, field, std::int64_t{bValue ? 1 : 0}); });
}

UNSIGNED32 EdsSetJulian(EDSHANDLE hObj, EdsFieldId field, SIGNED32 lDate) {
    return Run([&] {
        if (lDate <= 0) SetParam(hObj, field, std::monostate{});
        else SetParam(hObj, field, IsoDate(lDate));
    });
}

UNSIGNED32 EdsSetMilliseconds(EDSHANDLE hObj, EdsFieldId field, SIGNED32 lTime) {
    return Run([&] {
        if (lTime < 0 || lTime >= 86400000) Throw(EDS_E_INVALID_ARGUMENT, "A time of day is 0 to 86399999 ms.");
        SetParam(hObj, field, IsoTime(static_cast<std::uint32_t>(lTime)));
    });
}

UNSIGNED32 EdsSetTimeStampRaw(EDSHANDLE hObj, EdsFieldId field, const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return Run([&] {
        if (!pucBuf || ulLen != 8) Throw(EDS_E_INVALID_ARGUMENT, "A time stamp is 8 bytes.");
        std::int32_t julian, ms;
        std::memcpy(&julian, pucBuf, 4);
        std::memcpy(&ms, pucBuf + 4, 4);
        if (julian <= 0) {
            SetParam(hObj, field, std::monostate{});
            return;
        }
        if (ms < 0 || ms >= 86400000) Throw(EDS_E_INVALID_ARGUMENT, "A time of day is 0 to 86399999 ms.");
        SetParam(hObj, field, IsoTimeStamp(julian, static_cast<std::uint32_t>(ms)));
    });
}

UNSIGNED32 EdsSetBinary(EDSHANDLE hObj, EdsFieldId field, UNSIGNED16, UNSIGNED32 ulTotalLength, UNSIGNED32 ulOffset,
                        const UNSIGNED8* pucBuf, UNSIGNED32 ulLen) {
    return Run([&] {
        SqlStatement& stmt = StatementOf(hObj);
        const UNSIGNED32 number = ParamNumber(stmt, field);
        if ((!pucBuf && ulLen) || ulOffset > ulTotalLength || ulLen > ulTotalLength - ulOffset)
            Throw(EDS_E_INVALID_ARGUMENT, "The piece does not fit the binary value.");
        std::vector<UNSIGNED8> bytes = stmt.binaries.count(number) ? stmt.binaries[number] : std::vector<UNSIGNED8>{};
        bytes.resize(ulTotalLength);
        if (ulLen) std::memcpy(bytes.data() + ulOffset, pucBuf, ulLen);
        stmt.core.SetParam(number, bytes);
        stmt.binaries[number] = std::move(bytes);
    });
}
