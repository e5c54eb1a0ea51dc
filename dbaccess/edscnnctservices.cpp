// What an open connection offers besides handles for its datasets:
// transactions, SQL text run directly (with a cache of prepared statements),
// table and dictionary listings, the user's groups and facts about the server.

#include "dbaccess/edscnnct.h"

#include "dbaccess/edsquery.h"
#include "platform/db/DataSet.h"
#include "platform/db/Params.h"

#include <exception>
#include <vector>

namespace {

constexpr const char* kNotConnected = "No connection to EDS server.";

// FNV-1a over the text as given; a hit is always confirmed by the text itself.
std::uint32_t StatementHash(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

void CheckEngine(UNSIGNED32 Code) {
    if (Code != 0) throw EdsError(Code, TEdsErrorSource::LastError);
}

std::string WithoutTrailingDelimiter(std::string path) {
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

// Adds each ";"-terminated piece of `text`; what follows the last ";" is not a piece.
void AddPieces(const std::string& text, rtl::TStringList& list) {
    std::size_t start = 0;
    for (std::size_t semicolon = text.find(';'); semicolon != std::string::npos; semicolon = text.find(';', start)) {
        list.Add(text.substr(start, semicolon - start));
        start = semicolon + 1;
    }
}

}  // namespace

void TEdsConnection::CheckConnected() const {
    if (!IsConnected()) throw EdsConnectionError(kNotConnected);
}

// ---- facts about the server ---------------------------------------------------------------

std::string TEdsConnection::GetConnectionType() {
    if (!IsConnected()) return std::string();
    UNSIGNED16 type = 0;
    CheckEngine(EdsApi.EdsGetConnectionType(ConnectionHandle(), &type));
    switch (type) {
        case 1: return "Local";
        case 2: return "Remote";
        case 4: return "Internet";
        default: return std::string();
    }
}

std::string TEdsConnection::GetServerName() {
    if (!IsConnected()) {
        if (EdsIsDesigning(*this)) return std::string();
        throw EdsConnectionError("Must be connected to get EDS server name.");
    }
    UNSIGNED8 name[256] = {};
    UNSIGNED16 length = 255;
    CheckEngine(EdsApi.EdsGetServerName(ConnectionHandle(), name, &length));
    return EdsBufferText(name, sizeof name, length);
}

rtl::TDateTime TEdsConnection::GetServerTime() {
    if (!IsConnected()) Open();
    UNSIGNED8 date[70] = {};
    UNSIGNED16 dateLength = 69;
    UNSIGNED8 time[70] = {};
    UNSIGNED16 timeLength = 69;
    UNSIGNED32 milliseconds = 0;
    CheckEdsError(nullptr,
                  EdsApi.EdsGetServerTime(ConnectionHandle(), date, &dateLength, &milliseconds, time, &timeLength));
    double julian = 0;
    CheckEdsError(nullptr, EdsApi.EdsConvertDateToJulian(date, dateLength, &julian));
    UNSIGNED8 digits[16] = {};
    UNSIGNED16 digitsLength = 15;
    CheckEdsError(nullptr, EdsApi.EdsConvertJulianToString(julian, digits, &digitsLength));
    const std::string text = EdsBufferText(digits, sizeof digits, digitsLength);
    if (text.size() < 8) CheckEdsError(nullptr, EDS_E_INVALID_DATE);
    const int year = rtl::StrToInt(text.substr(0, 4));
    const int month = rtl::StrToInt(text.substr(4, 2));
    const int day = rtl::StrToInt(text.substr(6, 2));
    return rtl::EncodeDate(year, month, day) + static_cast<double>(milliseconds) / 86400000.0;
}

void TEdsConnection::CloseCachedTables() {
    if (IsConnected()) CheckEdsError(nullptr, EdsApi.EdsCloseCachedTables(ConnectionHandle()));
}

UNSIGNED16 TEdsConnection::GetNumActiveLinks() {
    UNSIGNED16 count = 0;
    CheckEdsError(nullptr, EdsApi.EdsGetNumActiveLinks(ConnectionHandle(), &count));
    return count;
}

void TEdsConnection::GetActiveLinkInfo(UNSIGNED16 Index, rtl::TStringList& List) {
    UNSIGNED8 info[665] = {};
    UNSIGNED16 length = 664;
    CheckEdsError(nullptr, EdsApi.EdsGetActiveLinkInfo(ConnectionHandle(), Index, info, &length));
    AddPieces(EdsBufferText(info, sizeof info, length), List);
}

// ---- transactions --------------------------------------------------------------------------

bool TEdsConnection::InTransaction() const {
    CheckConnected();
    return inTransaction_;
}

void TEdsConnection::BeginTransaction() {
    CheckConnected();
    CheckEngine(EdsApi.EdsBeginTransaction(ConnectionHandle()));
    inTransaction_ = true;
}

void TEdsConnection::Commit() {
    CheckConnected();
    DoBeforeCommit();
    CloseCachedStatements();
    CheckEngine(EdsApi.EdsCommitTransaction(ConnectionHandle()));
    inTransaction_ = false;
    DoAfterCommit();
}

void TEdsConnection::Rollback() {
    CheckConnected();
    DoBeforeRollback();
    CloseCachedStatements();
    for (int i = 0; i < DataSetCount(); ++i)
        if (auto* dataSet = dynamic_cast<db::TDataSet*>(&GetDataSet(i)->DataSetComponent())) dataSet->Cancel();
    CheckEngine(EdsApi.EdsRollbackTransaction(ConnectionHandle()));
    inTransaction_ = false;
    DoAfterRollback();
}

// ---- SQL text --------------------------------------------------------------------------------

EDSHANDLE TEdsConnection::PrepareStatement(const std::string& SQL, const TEdsStatementTableOptions* TableOptions,
                                           bool WantCursor) {
    EDSHANDLE statement = 0;
    CheckEdsError(nullptr, EdsApi.EdsCreateSQLStatement(ConnectionHandle(), &statement));
    try {
        if (WantCursor) CheckEdsError(nullptr, EdsApi.EdsStmtSetTableReadOnly(statement, 1));
        if (TableOptions != nullptr) {
            CheckEdsError(nullptr, EdsApi.EdsStmtSetTableType(statement, TableOptions->TableType));
            CheckEdsError(nullptr, EdsApi.EdsStmtSetTableCharType(statement, TableOptions->CharType));
            CheckEdsError(nullptr, EdsApi.EdsStmtSetTableLockType(statement, TableOptions->LockType));
            CheckEdsError(nullptr, EdsApi.EdsStmtSetTableRights(statement, TableOptions->Rights));
        }
        CheckEdsError(nullptr, EdsApi.EdsPrepareSQL(statement, EdsText(SQL)));
    } catch (...) {
        EdsApi.EdsCloseSQLStatement(statement);
        throw;
    }
    return statement;
}

int TEdsConnection::ExecuteStatement(const TEdsStatementTableOptions* TableOptions, const std::string& SQL,
                                     const db::TParams* Params, bool Cache, EDSHANDLE* Cursor) {
    if (!IsConnected()) Open();
    const bool wantCursor = Cursor != nullptr;
    EDSHANDLE statement = 0;
    TStatementCacheEntry* entry = nullptr;
    if (Cache) {
        // Exactly the same text: a prepared statement is only reused for what it was made from.
        const std::uint32_t hash = StatementHash(SQL);
        for (TStatementCacheEntry& candidate : statementCache_)
            if (candidate.Hash == hash && candidate.SQL == SQL) entry = &candidate;
        if (entry == nullptr) entry = &statementCache_.emplace_back(TStatementCacheEntry{hash, 0, SQL});
        statement = entry->Statement;
    }
    if (statement == 0) {
        statement = PrepareStatement(SQL, TableOptions, wantCursor);
        if (entry != nullptr) entry->Statement = statement;
    }
    // A statement made only for this call goes whatever happens.
    struct TStatementGuard {
        EDSHANDLE statement;
        bool armed;
        ~TStatementGuard() {
            if (armed) EdsApi.EdsCloseSQLStatement(statement);
        }
    } guard{statement, !Cache};

    EDSHANDLE cursor = 0;
    if (Params != nullptr && Params->Count() > 0) {
        EdsBindParams(statement, *Params, nullptr);
        CheckEdsError(nullptr, EdsApi.EdsExecuteSQL(statement, &cursor));
    } else {
        CheckEdsError(nullptr, EdsApi.EdsExecuteSQLDirect(statement, EdsText(SQL), &cursor));
    }
    if (wantCursor) {
        *Cursor = cursor;
        return 0;
    }
    // Nobody takes a cursor the statement made anyway: it must not stay open.
    if (cursor != 0) EdsApi.EdsCloseTable(cursor);
    UNSIGNED32 rows = 0;
    const UNSIGNED32 code = EdsApi.EdsGetRecordCount(statement, EDS_IGNOREFILTERS, &rows);
    if (code == EDS_E_NO_ROWS_AFFECTED) return 0;
    CheckEdsError(nullptr, code);
    return static_cast<int>(rows);
}

int TEdsConnection::Execute(const std::string& SQL, const db::TParams* Params, bool Cache, EDSHANDLE* Cursor) {
    return ExecuteStatement(nullptr, SQL, Params, Cache, Cursor);
}

int TEdsConnection::Execute(const TEdsStatementTableOptions& TableOptions, const std::string& SQL,
                            const db::TParams* Params, bool Cache, EDSHANDLE* Cursor) {
    return ExecuteStatement(&TableOptions, SQL, Params, Cache, Cursor);
}

// ---- listings ---------------------------------------------------------------------------------

namespace {

// Ends a table listing on every path out of it.
struct TTableFindGuard {
    EDSHANDLE connection;
    EDSHANDLE find;
    ~TTableFindGuard() {
        if (find != 0) EdsApi.EdsFindClose(connection, find);
    }
};

}  // namespace

void TEdsConnection::GetTableNames(rtl::TStringList* DatabaseNames, rtl::TStringList* TableNames,
                                   const std::string& Mask) {
    CheckConnected();
    std::string pattern;
    if (!IsDictionaryConnection()) {
        const int aliasType = GetAliasTableType();
        const std::string mask = aliasType == 3 ? "*.edt" : aliasType != 0 ? "*.dbf" : Mask;
        pattern = WithoutTrailingDelimiter(GetConnectString()) + "\\" + mask;
    }
    UNSIGNED8 database[261] = {};
    UNSIGNED8 table[261] = {};
    UNSIGNED16 databaseLength = 260;
    UNSIGNED16 tableLength = 260;
    EDSHANDLE find = 0;
    UNSIGNED32 code = EdsApi.EdsFindFirstTable62(ConnectionHandle(), EdsText(pattern), database, &databaseLength,
                                                 table, &tableLength, &find);
    const TTableFindGuard guard{ConnectionHandle(), find};
    while (code == 0) {
        if (DatabaseNames != nullptr) DatabaseNames->Add(EdsBufferText(database, sizeof database, databaseLength));
        if (TableNames != nullptr) TableNames->Add(EdsBufferText(table, sizeof table, tableLength));
        databaseLength = 260;
        tableLength = 260;
        code = EdsApi.EdsFindNextTable62(ConnectionHandle(), find, database, &databaseLength, table, &tableLength);
    }
    if (code != EDS_E_NO_MORE_FILES) CheckEngine(code);
}

void TEdsConnection::GetTableNames(rtl::TStringList* List, const std::string& Mask) {
    CheckConnected();
    std::string pattern;
    if (!IsDictionaryConnection()) {
        const int aliasType = GetAliasTableType();
        const std::string mask = aliasType == 3 ? "*.edt" : aliasType != 0 ? "*.dbf" : Mask;
        pattern = WithoutTrailingDelimiter(GetConnectString()) + "\\" + mask;
    }
    UNSIGNED8 table[261] = {};
    UNSIGNED16 tableLength = 260;
    EDSHANDLE find = 0;
    UNSIGNED32 code = EdsApi.EdsFindFirstTable(ConnectionHandle(), EdsText(pattern), table, &tableLength, &find);
    const TTableFindGuard guard{ConnectionHandle(), find};
    while (code == 0) {
        if (List != nullptr) List->Add(EdsBufferText(table, sizeof table, tableLength));
        tableLength = 260;
        code = EdsApi.EdsFindNextTable(ConnectionHandle(), find, table, &tableLength);
    }
    if (code != EDS_E_NO_MORE_FILES) CheckEngine(code);
}

void TEdsConnection::GetDictionaryObjectNames(rtl::TStringList& List) {
    if (!IsConnected()) Open();
    if (!IsDictionaryConnection()) return;
    UNSIGNED8 name[201] = {};
    UNSIGNED16 length = 200;
    EDSHANDLE find = 0;
    UNSIGNED32 code = EdsApi.EdsDDFindFirstObject(ConnectionHandle(), 10, EdsText(""), name, &length, &find);
    struct TFindGuard {
        EDSHANDLE connection;
        EDSHANDLE find;
        ~TFindGuard() {
            if (find != 0) EdsApi.EdsDDFindClose(connection, find);
        }
    } guard{ConnectionHandle(), find};
    while (code == 0) {
        List.Add(EdsBufferText(name, sizeof name, length));
        length = 200;
        code = EdsApi.EdsDDFindNextObject(ConnectionHandle(), find, name, &length);
    }
    if (code != EDS_E_NO_MORE_OBJECTS) CheckEdsError(nullptr, code);
}

// ---- the user's groups -------------------------------------------------------------------------

void TEdsConnection::LoadUserGroups() {
    if (groupsLoaded_) return;
    userGroups_.Clear();
    userGroupText_.clear();
    if (!IsConnected() || !IsDictionaryConnection()) return;
    constexpr UNSIGNED16 kUserGroups = 1102;
    UNSIGNED16 length = 0;
    UNSIGNED32 code = EdsApi.EdsDDGetUserProperty(ConnectionHandle(), EdsText(Username()), kUserGroups, nullptr, &length);
    if (code == EDS_E_PROPERTY_NOT_FOUND || (code == EDS_E_INSUFFICIENT_BUFFER && length == 0)) {
        groupsLoaded_ = true;
        return;
    }
    if (code != 0 && code != EDS_E_INSUFFICIENT_BUFFER) CheckEdsError(nullptr, code);
    std::vector<UNSIGNED8> text(static_cast<std::size_t>(length) + 1u, 0);
    UNSIGNED16 room = static_cast<UNSIGNED16>(text.size());
    CheckEdsError(nullptr, EdsApi.EdsDDGetUserProperty(ConnectionHandle(), EdsText(Username()), kUserGroups,
                                                       text.data(), &room));
    userGroupText_ = EdsBufferText(text.data(), text.size(), room);
    std::size_t start = 0;
    while (start <= userGroupText_.size() && !userGroupText_.empty()) {
        const std::size_t semicolon = userGroupText_.find(';', start);
        const std::string piece = userGroupText_.substr(start, semicolon == std::string::npos ? std::string::npos
                                                                                              : semicolon - start);
        if (!piece.empty()) userGroups_.Add(piece);
        if (semicolon == std::string::npos) break;
        start = semicolon + 1;
    }
    groupsLoaded_ = true;
}

const rtl::TStringList& TEdsConnection::UserGroups() {
    LoadUserGroups();
    return userGroups_;
}

const std::string& TEdsConnection::UserGroupText() {
    LoadUserGroups();
    return userGroupText_;
}
