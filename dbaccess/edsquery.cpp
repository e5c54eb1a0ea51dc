#include "dbaccess/edsquery.h"

#include "dbaccess/edsdataconv.h"

#include <cmath>
#include <limits>

namespace {

constexpr EDSHANDLE kNoHandle = static_cast<EDSHANDLE>(-1);

constexpr const char* kNoCursor =
    "The SQL statement did not generate a cursor handle.  Use TEdsQuery.ExecSQL to execute SQL statements that are "
    "not SELECT statements";

// Closes a cursor on every path that leaves before it is handed on.
class TCursorGuard {
public:
    explicit TCursorGuard(EDSHANDLE Cursor) : cursor_(Cursor) {}
    ~TCursorGuard() {
        if (cursor_ != kNoHandle) EdsApi.EdsCloseTable(cursor_);
    }
    TCursorGuard(const TCursorGuard&) = delete;
    TCursorGuard& operator=(const TCursorGuard&) = delete;
    EDSHANDLE Release() {
        const EDSHANDLE cursor = cursor_;
        cursor_ = kNoHandle;
        return cursor;
    }

private:
    EDSHANDLE cursor_;
};

}  // namespace

// ---- TEdsSQLStrings -------------------------------------------------------------------

void TEdsSQLStrings::Changed() {
    if (updateCount_ > 0) {
        changedWhileUpdating_ = true;
        return;
    }
    if (OnChange) OnChange();
}

void TEdsSQLStrings::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && changedWhileUpdating_) {
        changedWhileUpdating_ = false;
        Changed();
    }
}

int TEdsSQLStrings::Add(const std::string& Line) {
    const int index = lines_.Add(Line);
    Changed();
    return index;
}

void TEdsSQLStrings::Insert(int Index, const std::string& Line) {
    lines_.Insert(Index, Line);
    Changed();
}

void TEdsSQLStrings::Put(int Index, const std::string& Line) {
    lines_.Put(Index, Line);
    Changed();
}

void TEdsSQLStrings::Delete(int Index) {
    lines_.Delete(Index);
    Changed();
}

void TEdsSQLStrings::Clear() {
    if (lines_.IsEmpty()) return;
    lines_.Clear();
    Changed();
}

void TEdsSQLStrings::SetText(std::string_view Text) {
    lines_.SetText(Text);
    Changed();
}

void TEdsSQLStrings::Assign(const rtl::TStringList& Source) {
    lines_.Clear();
    lines_.AddStrings(Source);
    Changed();
}

// ---- TEdsQueryDataLink ------------------------------------------------------------------

db::TDataSet* TEdsQueryDataLink::GetDetailDataSet() const { return query_; }

void TEdsQueryDataLink::ActiveChanged() {
    if (Active()) RecordChanged(nullptr);
}

void TEdsQueryDataLink::RecordChanged(db::TField* Field) {
    if (Field == nullptr && query_->Active()) query_->RefreshParams();
}

void TEdsQueryDataLink::CheckBrowseMode() {
    if (query_->Active()) query_->CheckBrowseMode();
}

// ---- construction -----------------------------------------------------------------------

TEdsQuery::TEdsQuery(rtl::TComponent* Owner)
    : TEdsExtendedDataSet(Owner), dataLink_(std::make_unique<TEdsQueryDataLink>(this)) {
    sql_.OnChange = [this] { QueryChanged(); };
}

TEdsQuery::~TEdsQuery() {
    Destroying();
    try {
        Close();
    } catch (...) {
        EdsReportCurrentException();
    }
    const bool connected = (EdsConnection() != nullptr && EdsConnection()->IsConnected()) ||
                           implicitConnection_ != kNoHandle;
    if (statement_ != kNoHandle && connected) {
        const UNSIGNED32 code = EdsApi.EdsCloseSQLStatement(statement_);
        if (code != 0 && code != EDS_E_INVALID_STATEMENT) {
            try {
                CheckEdsError(this, code);
            } catch (...) {
                EdsReportCurrentException();
            }
        }
    }
    statement_ = kNoHandle;
    implicitConnection_ = kNoHandle;
    // The master must not call back into a query that is going.
    dataLink_->SetDataSource(nullptr);
}

// ---- properties -------------------------------------------------------------------------

void TEdsQuery::SetSQL(const rtl::TStringList& Value) {
    if (sql_.Text() == Value.Text()) return;
    Close();
    prepared_ = false;
    sql_.BeginUpdate();
    try {
        sql_.Assign(Value);
    } catch (...) {
        sql_.EndUpdate();
        throw;
    }
    sql_.EndUpdate();
}

void TEdsQuery::SetSQLText(std::string_view Text) {
    rtl::TStringList lines;
    lines.SetText(Text);
    SetSQL(lines);
}

void TEdsQuery::QueryChanged() {
    const std::string text = sql_.Text();
    UNSIGNED32 length = 0;
    Check(EdsApi.EdsGetSQLStmtParams(EdsText(text), nullptr, &length));
    if (ComponentState().Contains(rtl::csLoading)) return;
    Close();
    prepared_ = false;
    storedData_.clear();
    if (paramCheck_ || ComponentState().Contains(rtl::csDesigning)) {
        db::TParams list;
        list.ParseSQL(text, true);
        list.AssignValues(params_);
        params_ = list;
    }
    DataEvent(db::dePropertyChange, 0);
}

void TEdsQuery::SetDataSource(db::TDataSource* Value) {
    if (Value != nullptr && IsLinkedTo(Value)) RaiseEdsClientError(this, "Circular Data Link");
    dataLink_->SetDataSource(Value);
}

void TEdsQuery::SetDatabaseName(const std::string& Name) {
    if (Active()) RaiseEdsClientError(this, "Cannot perform this operation on an open dataset");
    SetEdsConnection(nullptr);
    const std::string old = DatabaseName();
    TEdsExtendedDataSet::SetDatabaseName(Name);
    // Whatever connection prepared it, the statement belongs to the old name.
    if (DatabaseName() != old && statement_ != kNoHandle) CloseStatement();
}

void TEdsQuery::SetTableType(TEdsTableTypes Type) {
    if (Type == ttEdsNTX && (EdsConnection() == nullptr || !EdsConnection()->IsDictionaryConnection()))
        RaiseEdsClientError(this, "The TEdsQuery component does not support the NTX table type");
    TEdsExtendedDataSet::SetTableType(Type);
}

void TEdsQuery::FreeStatement() {
    prepared_ = false;
    statement_ = kNoHandle;
    implicitConnection_ = kNoHandle;
}

void TEdsQuery::CloseStatement() {
    const EDSHANDLE statement = statement_;
    statement_ = kNoHandle;
    implicitConnection_ = kNoHandle;
    prepared_ = false;
    if (statement == kNoHandle) return;
    const UNSIGNED32 code = EdsApi.EdsCloseSQLStatement(statement);
    if (code != EDS_E_INVALID_STATEMENT) Check(code);
}

// ---- master link ------------------------------------------------------------------------

void TEdsQuery::RefreshParams() {
    DisableControls();
    try {
        db::TDataSource* source = DataSource();
        db::TDataSet* master = source != nullptr ? source->DataSet() : nullptr;
        if (master != nullptr && master->Active() && master->State() != db::dsSetKey) {
            Close();
            Open();
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

void TEdsQuery::SetParamsFromMaster() {
    db::TDataSource* source = DataSource();
    db::TDataSet* master = source != nullptr ? source->DataSet() : nullptr;
    if (master == nullptr || !master->Active()) return;
    for (int i = 0; i < params_.Count(); ++i) {
        db::TParam* param = params_[i];
        if (param->Bound()) continue;
        param->AssignField(*master->FieldByName(param->Name()));
        param->SetBound(false);
    }
}

void TEdsQuery::GetDetailLinkFields(std::vector<db::TField*>& MasterFields, std::vector<db::TField*>& DetailFields) {
    MasterFields.clear();
    DetailFields.clear();
    db::TDataSource* source = DataSource();
    db::TDataSet* master = source != nullptr ? source->DataSet() : nullptr;
    if (master == nullptr) return;
    for (int i = 0; i < params_.Count(); ++i) {
        db::TField* masterField = master->FindField(params_[i]->Name());
        if (masterField == nullptr) continue;
        MasterFields.push_back(masterField);
        if (db::TField* detailField = FindField(params_[i]->Name())) DetailFields.push_back(detailField);
    }
}

// ---- running ----------------------------------------------------------------------------

void TEdsQuery::GetStatement() {
    if (statement_ != kNoHandle) {
        UNSIGNED16 type = 0;
        if (EdsApi.EdsGetHandleType(statement_, &type) == 0 && type == EDS_STATEMENT) return;
    }
    statement_ = kNoHandle;
    if (DatabaseName().empty())
        RaiseEdsClientError(this, "The DatabaseName property has not been assigned a value.");

    EDSHANDLE connection = kNoHandle;
    if (TEdsConnection* component = EdsConnection()) {
        if (!component->IsConnected()) component->SetIsConnected(true);
        connection = component->ConnectionHandle();
    } else if (implicitConnection_ != kNoHandle) {
        connection = implicitConnection_;
    } else {
        std::string path = GetConnectPath();
        if (path.size() == 2 && path[1] == ':') path += '\\';
        implicitConnection_ = DynamicConnList().Connect(path);
        if (implicitConnection_ == 0) implicitConnection_ = kNoHandle;
        connection = implicitConnection_;
    }
    if (connection == kNoHandle || connection == 0)
        RaiseEdsClientError(this, "Internal Error: invalid connection handle.");

    EDSHANDLE statement = 0;
    Check(EdsApi.EdsCreateSQLStatement(connection, &statement));
    statement_ = statement;
}

EDSHANDLE TEdsQuery::ExecuteStatement() {
    CheckInactive();
    GetStatement();

    const TEdsTableOptions& options = EdsTableOptions();
    Check(EdsApi.EdsStmtSetTableLockType(statement_, options.EdsLockType() == Proprietary ? 1 : 0));
    Check(EdsApi.EdsStmtSetTableCharType(statement_, options.EdsCharType() == OEM ? EDS_OEM : EDS_ANSI));
    Check(EdsApi.EdsStmtSetTableRights(statement_, options.EdsRightsCheck() ? 1 : 2));
    Check(EdsApi.EdsStmtSetTableReadOnly(statement_, requestLive_ ? 2 : 1));
    if (EdsConnection() != nullptr && EdsConnection()->ReadOnly()) Check(EdsApi.EdsStmtSetTableReadOnly(statement_, 1));
    const UNSIGNED16 tableType = TableType() == ttEdsEDT ? EDS_EDT : TableType() == ttEdsCDX ? EDS_CDX : EDS_NTX;
    Check(EdsApi.EdsStmtSetTableType(statement_, tableType));
    Check(EdsApi.EdsStmtConstrainUpdates(statement_, constrained_ ? 1 : 2));
    Check(EdsApi.EdsStmtReadAllColumns(statement_, readAllColumns_ ? 1 : 2));

    prepared_ = true;
    rowsAffected_ = -1;
    if (IsCursorOpen()) RaiseEdsClientError(this, "Cannot perform this operation on an open dataset");

    Check(EdsApi.EdsPrepareSQL(statement_, EdsText(sql_.Text())));
    if (DataSource() != nullptr) SetParamsFromMaster();
    EdsBindParams(statement_, params_, this);

    EDSHANDLE cursor = 0;
    const UNSIGNED32 code = EdsApi.EdsExecuteSQL(statement_, &cursor);
    if (code != 0) {
        try {
            Check(code);
        } catch (const EEDSDatabaseError& error) {
            // The engine wants the text prepared afresh: the next run must not
            // reuse this statement.
            if (error.ErrorCode() == static_cast<std::int32_t>(EDS_E_SQL_REPREPARE) ||
                std::string(error.what()).find("7209") != std::string::npos)
                CloseStatement();
            throw;
        }
    }
    if (cursor == 0) cursor = kNoHandle;
    TCursorGuard guard(cursor);
    if (cursor != kNoHandle) {
        UNSIGNED16 kind = EDS_CURSOR_STATIC;
        Check(EdsApi.EdsSqlPeekStatement(cursor, &kind));
        cursorReadOnly_ = kind == EDS_CURSOR_STATIC;
        if (kind == EDS_CURSOR_LIVE) {
            UNSIGNED16 charType = EDS_ANSI;
            Check(EdsApi.EdsGetTableCharType(cursor, &charType));
            EdsTableOptions().SetEdsCharType(charType == EDS_OEM ? OEM : ANSI);
        }
    }

    UNSIGNED32 count = 0;
    const UNSIGNED32 countCode = EdsApi.EdsGetRecordCount(statement_, EDS_IGNOREFILTERS, &count);
    if (countCode == EDS_E_NO_ROWS_AFFECTED) {
        rowsAffected_ = -1;
    } else {
        Check(countCode);
        rowsAffected_ = count > static_cast<UNSIGNED32>(std::numeric_limits<std::int32_t>::max())
                            ? std::numeric_limits<std::int32_t>::max()
                            : static_cast<std::int32_t>(count);
    }
    return guard.Release();
}

void TEdsQuery::ExecSQL() {
    const EDSHANDLE cursor = ExecuteStatement();
    if (cursor != kNoHandle) Check(EdsApi.EdsCloseTable(cursor));
}

EDSHANDLE TEdsQuery::OpenCursorHandle() {
    const EDSHANDLE cursor = ExecuteStatement();
    if (cursor == kNoHandle) RaiseEdsClientError(this, kNoCursor);
    TCursorGuard guard(cursor);
    const std::string path = GetConnectPath();
    for (int i = 0; i < IndexFiles().Count(); ++i) {
        EDSHANDLE indexes[50] = {};
        UNSIGNED16 count = 50;
        Check(EdsApi.EdsOpenIndex(cursor, EdsText(path + "\\" + IndexFiles()[i]), indexes, &count));
    }
    return guard.Release();
}

void TEdsQuery::InternalClose() {
    TEdsExtendedDataSet::InternalClose();
    prepared_ = false;
    cursorReadOnly_ = false;
    if (EdsIsDesigning(*this) && statement_ != kNoHandle) CloseStatement();
}

UNSIGNED32 TEdsQuery::GetLastAutoInc() {
    const EDSHANDLE handle = Handle() != kNoHandle ? Handle() : statement_;
    if (handle == kNoHandle) return 0;
    UNSIGNED32 value = 0;
    Check(EdsApi.EdsGetLastAutoinc(handle, &value));
    return value & 0x7FFFFFFFu;
}

std::int32_t TEdsQuery::GetRecordPosition() {
    EDSHANDLE index = 0;
    if (!IndexName().empty() || !IndexFieldNames().empty()) index = OrderHandle();
    else Check(EdsApi.EdsGetIndexHandle(Handle(), nullptr, &index));

    if (!Sequenced() || index == 0 || index == kNoHandle) {
        UNSIGNED32 number = 0;
        Check(EdsApi.EdsGetRecordNum(Handle(), EDS_IGNOREFILTERS, &number));
        return static_cast<std::int32_t>(number);
    }
    if (SequencedLevel() == slExact) {
        UNSIGNED32 key = 0;
        Check(EdsApi.EdsGetKeyNum(index, EDS_RESPECTFILTERS, &key));
        return static_cast<std::int32_t>(key);
    }
    double relative = 0;
    const UNSIGNED32 code = EdsApi.EdsGetRelKeyPos(index, &relative);
    if (code == EDS_E_NO_POSITION) return 0;
    Check(code);
    UNSIGNED32 count = 0;
    Check(EdsApi.EdsGetRecordCount(Handle(), EDS_IGNOREFILTERS, &count));
    if (count == 0) return 0;
    // The relative position runs from 0 at the first to 1 at the last record:
    // scaled over the gaps between records it gives the first 1 and the last
    // the count, as the dataset's SetRecNo expects.
    const double position = 1.0 + std::round(std::clamp(relative, 0.0, 1.0) * static_cast<double>(count - 1));
    return static_cast<std::int32_t>(std::clamp(position, 1.0, static_cast<double>(count)));
}

// ---- provider support ---------------------------------------------------------------------

std::unique_ptr<db::TIndexDef> TEdsQuery::PSGetDefaultOrder() {
    if (auto order = TEdsExtendedDataSet::PSGetDefaultOrder()) return order;
    const std::string fields = db::GetOrderByFieldsFromSQL(sql_.Text());
    if (fields.empty()) return nullptr;
    return std::make_unique<db::TIndexDef>(std::string(), fields, db::TIndexOptions{});
}

std::string TEdsQuery::PSGetTableName() { return db::GetTableNameFromSQL(sql_.Text()); }

void TEdsQuery::PSSetParams(const db::TParams& Value) {
    if (Value.Count() != 0) params_.Assign(Value);
    Close();
}

void TEdsQuery::PSSetCommandText(const std::string& Text) {
    if (!Text.empty()) SetSQLText(Text);
}
