#pragma once
// TEdsQuery: a dataset over the rows an SQL statement returns, or the runner
// of a statement that returns none (ExecSQL). The engine statement it prepares
// is kept across close and reopen and freed when the query goes, when its
// DatabaseName changes and when the engine asks for a fresh prepare; a
// connection that disconnects makes the query forget it.
//
// Parameters are written in the text as ":name"; they are handed to the engine
// by number, in the order they appear (EdsBindParams, shared with the
// connection's own statements).

#include "dbaccess/edsdata.h"
#include "platform/db/DataLink.h"
#include "platform/db/Params.h"
#include "platform/rtl/Classes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TEdsQuery;

// Hands every parameter of `Params` to the statement by its number (from 1),
// in list order. The first failure raises EEDSDatabaseError naming `DataSet`
// (which may be null) and ends the binding.
void EdsBindParams(EDSHANDLE Statement, const db::TParams& Params, IEdsDataSet* DataSet);

// The lines of a query's SQL text. Every change calls OnChange once, or once
// at the outermost EndUpdate when changes are grouped.
class TEdsSQLStrings {
public:
    TEdsSQLStrings() = default;
    TEdsSQLStrings(const TEdsSQLStrings&) = delete;
    TEdsSQLStrings& operator=(const TEdsSQLStrings&) = delete;

    int Count() const { return lines_.Count(); }
    const std::string& operator[](int Index) const { return lines_[Index]; }
    const std::string& Strings(int Index) const { return lines_[Index]; }
    const rtl::TStringList& Lines() const { return lines_; }
    // Every line followed by CR LF.
    std::string Text() const { return lines_.Text(); }

    int Add(const std::string& Line);
    void Insert(int Index, const std::string& Line);
    void Put(int Index, const std::string& Line);
    void Delete(int Index);
    // An empty list stays as it is and nobody is told.
    void Clear();
    void SetText(std::string_view Text);
    void Assign(const rtl::TStringList& Source);

    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();

    std::function<void()> OnChange;

private:
    void Changed();

    rtl::TStringList lines_;
    int updateCount_ = 0;
    bool changedWhileUpdating_ = false;
};

// The query's link to its master: a change of the master's record (or the
// master opening) runs the query again with the new parameter values.
class TEdsQueryDataLink : public db::TDetailDataLink {
public:
    explicit TEdsQueryDataLink(TEdsQuery* Query) : query_(Query) {}
    db::TDataSet* GetDetailDataSet() const override;

protected:
    void ActiveChanged() override;
    void RecordChanged(db::TField* Field) override;
    void CheckBrowseMode() override;

private:
    TEdsQuery* query_;
};

class TEdsQuery : public TEdsExtendedDataSet {
public:
    explicit TEdsQuery(rtl::TComponent* Owner = nullptr);
    ~TEdsQuery() override;

    // ---- published properties
    TEdsSQLStrings& SQL() { return sql_; }
    const TEdsSQLStrings& SQL() const { return sql_; }
    // Replaces the text when it differs from the current one (closing the
    // query); the same text again changes nothing.
    void SetSQL(const rtl::TStringList& Value);
    void SetSQLText(std::string_view Text);

    db::TParams& Params() { return params_; }
    const db::TParams& Params() const { return params_; }
    // Takes the values of same-named parameters; the list stays as it is.
    void SetParams(const db::TParams& Value) { params_.AssignValues(Value); }
    db::TParam* ParamByName(const std::string& Name) const { return params_.ParamByName(Name); }
    int ParamCount() const { return params_.Count(); }
    bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool Value) { paramCheck_ = Value; }

    db::TDataSource* DataSource() const { return dataLink_->DataSource(); }
    void SetDataSource(db::TDataSource* Value);
    db::TDataSource* GetDataSource() override { return DataSource(); }

    bool RequestLive() const { return requestLive_; }
    void SetRequestLive(bool Value) { requestLive_ = Value; }
    bool Constrained() const { return constrained_; }
    void SetConstrained(bool Value) { constrained_ = Value; }
    bool ReadAllColumns() const { return readAllColumns_; }
    void SetReadAllColumns(bool Value) { readAllColumns_ = Value; }
    TEdsTableTypes SourceTableType() const { return TableType(); }
    void SetSourceTableType(TEdsTableTypes Value) { SetTableType(Value); }

    // ---- running
    void ExecSQL();
    // Rows the last execution changed; -1 when the engine did not say.
    std::int32_t RowsAffected() const { return rowsAffected_; }
    bool Prepared() const { return prepared_; }
    EDSHANDLE StatementHandle() const { return statement_; }
    // The implicit connection the query holds, -1 when none.
    EDSHANDLE ImplicitConnectionHandle() const { return implicitConnection_; }
    UNSIGNED32 GetLastAutoInc() override;

    // The stored block of bytes a form may carry; nothing else uses it, and a
    // new SQL text drops it.
    const std::vector<std::uint8_t>& StoredData() const { return storedData_; }
    void SetStoredData(std::vector<std::uint8_t> Value) { storedData_ = std::move(Value); }

    // ---- overrides
    void SetDatabaseName(const std::string& Name) override;
    void SetTableType(TEdsTableTypes Type) override;
    void FreeStatement() override;
    void GetDetailLinkFields(std::vector<db::TField*>& MasterFields, std::vector<db::TField*>& DetailFields) override;

    void PSExecute() override { ExecSQL(); }
    std::unique_ptr<db::TIndexDef> PSGetDefaultOrder() override;
    db::TParams* PSGetParams() override { return &params_; }
    std::string PSGetTableName() override;
    void PSSetParams(const db::TParams& Value) override;
    void PSSetCommandText(const std::string& Text) override;

protected:
    void InternalClose() override;
    EDSHANDLE OpenCursorHandle() override;
    std::int32_t GetRecordPosition() override;
    bool GetCanModify() override { return !cursorReadOnly_ && TEdsExtendedDataSet::GetCanModify(); }

private:
    friend class TEdsQueryDataLink;

    void QueryChanged();
    // Closes and reopens an active query with the master's current values.
    void RefreshParams();
    void SetParamsFromMaster();
    // A statement handle for the next execution, reused while the engine still
    // knows it.
    void GetStatement();
    // Runs the text: the result cursor, or -1 for a statement without rows.
    EDSHANDLE ExecuteStatement();
    // Closes the engine statement (an unknown handle is already gone) and
    // forgets both handles.
    void CloseStatement();

    TEdsSQLStrings sql_;
    db::TParams params_;
    bool paramCheck_ = true;
    bool requestLive_ = false;
    bool constrained_ = false;
    bool readAllColumns_ = false;
    bool prepared_ = false;
    bool cursorReadOnly_ = false;
    EDSHANDLE statement_ = static_cast<EDSHANDLE>(-1);
    EDSHANDLE implicitConnection_ = static_cast<EDSHANDLE>(-1);
    std::int32_t rowsAffected_ = -1;
    std::vector<std::uint8_t> storedData_;
    std::unique_ptr<TEdsQueryDataLink> dataLink_;
};
