#pragma once
// TDataSet: the framework dataset. It keeps the ring of record buffers,
// the state machine and the events; a descendant supplies the storage by
// filling the virtual operations (see "Record-buffer contract" below).
//
// Record-buffer contract
// - Buffers(0 .. BufferCount()) are allocated by AllocRecordBuffer; index
//   BufferCount() is a spare used while fetching and inserting.
// - The first RecordCountInBuffers() buffers hold consecutive visible records
//   in cursor order; ActiveRecord() indexes the current one.
// - GetRecord(buffer, mode) fetches the record at (gmCurrent), after (gmNext)
//   or before (gmPrior) the cursor into `buffer` and leaves the cursor on it;
//   a descendant fills the bookmark and bookmark flag (bfCurrent) and calls
//   GetCalcFields(buffer). At the ends it answers grBOF/grEOF and leaves the
//   cursor on the crack. A gmCurrent fetch of a record that is no longer
//   visible answers grError; Resync then falls back to the next record, then
//   the prior one.
// - InternalFirst/InternalLast put the cursor on the crack before the first /
//   after the last record. InternalSetToRecord(buffer) puts it on the buffer's
//   record (bookmark). CurrentRecord() says which buffer the cursor is on
//   (-1: unknown; UpdateCursorPos repositions it).
// - Field values: GetFieldData/SetFieldData exchange native values with the
//   buffer that belongs to the current state (ActiveBuffer in browse, edit and
//   insert; CalcBuffer in dsCalcFields; the descendant's own buffers for
//   filter and old-value states). GetFieldData with a null buffer only says
//   whether there is a value. SetFieldData checks the state, calls
//   field->Validate(buffer) in edit and insert, stores, and sends
//   DataEvent(deFieldChange, field) outside the calculated-fields, filter and
//   new-value states (which recalculates and marks the record modified).
// - Calculated and lookup fields occupy CalcFieldsSize() bytes per buffer;
//   each field's slot starts at its Offset() within that part.
// - A descendant must call Close() (or Active false) in its own destructor:
//   the base destructor cannot reach the descendant's buffer and cursor code.

#include "platform/db/DBError.h"
#include "platform/db/DBTypes.h"
#include "platform/db/DataLink.h"
#include "platform/db/FieldDefs.h"
#include "platform/db/Fields.h"
#include "platform/db/Streams.h"
#include "platform/db/Variant.h"
#include "platform/rtl/Components.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace db {

class TDataSet;
class TParams;

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;
using TDataSetErrorEvent = std::function<void(TDataSet&, EDatabaseError& error, TDataAction& action)>;

class TDataSet : public rtl::TComponent {
public:
    explicit TDataSet(rtl::TComponent* owner = nullptr);
    ~TDataSet() override;

    // --- opening and state
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
    void SetActive(bool on);
    TDataSetState State() const { return state_; }
    bool Modified() const { return modified_; }
    bool CanModify() { return GetCanModify(); }
    bool DefaultFields() const { return defaultFields_; }

    // --- navigation
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Answers the number of records actually moved (negative backwards).
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return Active() && recordCount_ == 0; }
    void Refresh();
    // Re-reads the buffer ring around the cursor. rmExact: the cursor's
    // record must still be there ("Record not found"); rmCenter: the current
    // record goes to the middle of the ring.
    virtual void Resync(TResyncMode mode);

    // --- editing
    void Append();
    void Insert();
    void Edit();
    virtual void Post();
    virtual void Cancel();
    void Delete();
    // Ends an edit: posts when modified, else cancels; set-key state posts.
    void CheckBrowseMode();
    // Tells linked controls to write their pending values.
    void UpdateRecord();
    void AppendRecord(const std::vector<Variant>& values) { InsertOrAppendRecord(values, true); }
    void InsertRecord(const std::vector<Variant>& values) { InsertOrAppendRecord(values, false); }
    // Field i takes values[i]; an Empty variant leaves a field alone.
    void SetFields(const std::vector<Variant>& values);
    void ClearFields();

    // --- controls
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ != 0; }

    // --- filtering and searching
    const std::string& Filter() const { return filterText_; }
    void SetFilter(const std::string& text) { SetFilterText(text); }
    bool Filtered() const { return filtered_; }
    virtual void SetFiltered(bool on);
    TFilterOptions FilterOptions() const { return filterOptions_; }
    void SetFilterOptions(TFilterOptions options);
    const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
    virtual void SetOnFilterRecord(TFilterRecordEvent handler);
    bool FindFirst() { return FindRecord(true, true); }
    bool FindLast() { return FindRecord(true, false); }
    bool FindNext() { return FindRecord(false, true); }
    bool FindPrior() { return FindRecord(false, false); }
    bool Found() const { return found_; }
    // keyFields "A;B", keyValues one value or an array (one per field).
    virtual bool Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options);
    // Null when not found; with several result fields, an array. Never moves.
    virtual Variant Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultFields);

    // --- counts and positions
    int RecordCount() { return GetRecordCount(); }
    int RecNo() { return GetRecNo(); }
    // Moves to the value-th record (from 1); descendants decide the order.
    virtual void SetRecNo(int) {}
    virtual bool IsSequenced() { return true; }

    // --- bookmarks
    TBookmark GetBookmark();
    TBookmark Bookmark() { return GetBookmark(); }
    void SetBookmark(const TBookmark& bookmark) { GotoBookmark(bookmark); }
    void GotoBookmark(const TBookmark& bookmark);
    bool BookmarkAvailable() const;
    virtual bool BookmarkValid(const TBookmark& bookmark);
    // Empty bookmarks: both 0, first 1... descendants define the order.
    virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b);

    // --- fields
    TFields& Fields() { return fields_; }
    const TFields& Fields() const { return fields_; }
    int FieldCount() const { return fields_.Count(); }
    TFieldDefs& FieldDefs() { return fieldDefs_; }
    TField* FindField(const std::string& name) const { return fields_.FindField(name); }
    TField* FieldByName(const std::string& name) const { return fields_.FieldByName(name); }
    // The field bound to column `fieldNo` (from 1), or nullptr.
    TField* FieldByNumber(int fieldNo) const;
    // Fields named in "A;B" (each raises when missing).
    std::vector<TField*> GetFieldList(const std::string& names) const;
    std::vector<std::string> GetFieldNames() const;
    // One value, or an array for "A;B".
    Variant FieldValues(const std::string& names) const;
    void SetFieldValues(const std::string& names, const Variant& values);
    bool AutoCalcFields() const { return autoCalcFields_; }
    void SetAutoCalcFields(bool on) { autoCalcFields_ = on; }
    int CalcFieldsSize() const { return calcFieldsSize_; }

    // --- blobs and raw access
    virtual std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode);
    // Copies the current record image into `buffer`; false when there is none.
    virtual bool GetCurrentRecord(TRecordBuffer buffer);
    virtual TUpdateStatus UpdateStatus();

    // --- record data, called by the fields
    // `buffer` may be nullptr: then only whether the field has a value.
    virtual bool GetFieldData(TField* field, void* buffer) = 0;
    // `buffer` nullptr stores null.
    virtual void SetFieldData(TField* field, const void* buffer) = 0;
    virtual TFieldClass GetFieldClass(TFieldType type);
    virtual Variant GetStateFieldValue(TDataSetState state, TField* field);
    virtual bool GetIsIndexField(TField*) { return false; }
    virtual void CloseBlob(TField*) {}

    // Text conversions between the program's UTF-8 and the record image's
    // 8-bit form; identity here.
    virtual std::string TextFromNative(std::string_view bytes) const { return std::string(bytes); }
    virtual std::string TextToNative(std::string_view text) const { return std::string(text); }

    // --- data sources
    // The master source of a detail dataset (none here).
    virtual TDataSource* GetDataSource() { return nullptr; }
    bool IsLinkedTo(const TDataSource* source);
    virtual void DataEvent(TDataEvent event, std::intptr_t info = 0);
    virtual void GetDetailLinkFields(std::vector<TField*>& masterFields, std::vector<TField*>& detailFields);

    // --- field and index definitions
    virtual void InitFieldDefs();
    virtual void UpdateIndexDefs() {}

    // --- provider support (defaults for datasets without SQL)
    virtual void PSEndTransaction(bool) {}
    virtual int PSExecuteStatement(const std::string& sql, TParams* params, std::unique_ptr<TDataSet>* resultSet);
    virtual std::string PSGetQuoteChar() { return "\""; }
    virtual bool PSInTransaction() { return false; }
    virtual bool PSIsSQLBased() { return false; }
    virtual bool PSIsSQLSupported() { return false; }
    virtual void PSReset() {}
    virtual void PSStartTransaction() {}
    virtual bool PSUpdateRecord(TUpdateKind, TDataSet*) { return false; }
    virtual void PSExecute();
    virtual std::unique_ptr<TIndexDef> PSGetDefaultOrder() { return nullptr; }
    virtual TParams* PSGetParams() { return nullptr; }
    virtual std::string PSGetTableName() { return std::string(); }
    virtual void PSSetParams(const TParams&) {}
    virtual void PSSetCommandText(const std::string&) {}
    virtual std::string PSGetKeyFields();
    virtual std::unique_ptr<TIndexDefs> PSGetIndexDefs(TIndexOptions) { return nullptr; }
    // Told when FieldDefs change (added or cleared).
    virtual void DefChanged() {}

    // --- events
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;
    TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

    // --- the buffer ring, for descendants and their tests
    int BufferCount() const { return bufferCount_; }
    int ActiveRecord() const { return activeRecord_; }
    int CurrentRecord() const { return currentRecord_; }
    int RecordCountInBuffers() const { return recordCount_; }
    TRecordBuffer Buffers(int index) const { return buffers_.at(static_cast<size_t>(index)); }
    TRecordBuffer ActiveBuffer() const;
    TRecordBuffer CalcBuffer() const { return calcBuffer_; }

protected:
    // --- what descendants fill in
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    virtual void FreeRecordBuffer(TRecordBuffer& buffer) = 0;
    virtual void GetBookmarkData(TRecordBuffer buffer, void* data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) = 0;
    virtual void SetBookmarkData(TRecordBuffer buffer, const void* data) = 0;
    virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) = 0;
    virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) = 0;
    virtual int GetRecordSize() { return 0; }
    virtual void InternalAddRecord(TRecordBuffer buffer, bool append) = 0;
    virtual void InternalClose() = 0;
    virtual void InternalDelete() = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalGotoBookmark(const void* bookmark) = 0;
    virtual void InternalHandleException();
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalInitRecord(TRecordBuffer) {}
    virtual void InternalLast() = 0;
    virtual void InternalOpen() = 0;
    // The base checks required fields.
    virtual void InternalPost();
    virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
    virtual bool IsCursorOpen() const = 0;
    virtual void InternalCancel() {}
    virtual void InternalEdit() {}
    virtual void InternalInsert() {}
    virtual void InternalRefresh() {}
    virtual void ClearCalcFields(TRecordBuffer) {}
    // InternalInitRecord, ClearCalcFields, bookmark flag bfInserted.
    virtual void InitRecord(TRecordBuffer buffer);
    // Overriders call the inherited ones: they manage the buffer ring, the
    // default fields and the open/close bookkeeping.
    virtual void OpenCursor(bool infoQuery);
    virtual void CloseCursor();
    virtual bool GetCanModify() { return true; }
    virtual int GetRecordCount() { return -1; }
    virtual int GetRecNo() { return -1; }
    virtual void SetFilterText(const std::string& text);
    // Base: not found. Descendants search with their own filter machinery.
    virtual bool FindRecord(bool restart, bool goForward);
    // Generic search: scans records from the first, reading into a spare
    // buffer in the calculated-fields state; leaves the cursor on the match.
    virtual bool LocateRecord(const std::string& keyFields, const Variant& keyValues, TLocateOptions options);
    virtual void SetBufferCount(int count);

    // A dataset set active while its form loads opens when loading ends.
    void Loaded() override;

    virtual void DoAfterCancel() { Fire(AfterCancel); }
    virtual void DoAfterClose() { Fire(AfterClose); }
    virtual void DoAfterDelete() { Fire(AfterDelete); }
    virtual void DoAfterEdit() { Fire(AfterEdit); }
    virtual void DoAfterInsert() { Fire(AfterInsert); }
    virtual void DoAfterOpen() { Fire(AfterOpen); }
    virtual void DoAfterPost() { Fire(AfterPost); }
    virtual void DoAfterRefresh() { Fire(AfterRefresh); }
    virtual void DoAfterScroll() { Fire(AfterScroll); }
    virtual void DoBeforeCancel() { Fire(BeforeCancel); }
    virtual void DoBeforeClose() { Fire(BeforeClose); }
    virtual void DoBeforeDelete() { Fire(BeforeDelete); }
    virtual void DoBeforeEdit() { Fire(BeforeEdit); }
    virtual void DoBeforeInsert() { Fire(BeforeInsert); }
    virtual void DoBeforeOpen() { Fire(BeforeOpen); }
    virtual void DoBeforePost() { Fire(BeforePost); }
    virtual void DoBeforeRefresh() { Fire(BeforeRefresh); }
    virtual void DoBeforeScroll() { Fire(BeforeScroll); }
    virtual void DoOnCalcFields() { Fire(OnCalcFields); }
    virtual void DoOnNewRecord() { Fire(OnNewRecord); }

    // --- helpers for descendants
    void CheckActive() const;
    void CheckInactive() const;
    void CheckCanModify();
    void CheckRequiredFields();
    void SetState(TDataSetState state);
    // Switches state without events (for reading a field through another
    // buffer); RestoreState puts the old one back. TTempState does both.
    TDataSetState SetTempState(TDataSetState state);
    void RestoreState(TDataSetState state);
    void SetModified(bool on) { modified_ = on; }
    void SetFound(bool on) { found_ = on; }
    void SetBookmarkSize(int size) { bookmarkSize_ = size; }
    int BookmarkSize() const { return bookmarkSize_; }
    void SetCalcBuffer(TRecordBuffer buffer) { calcBuffer_ = buffer; }
    void SetDefaultFields(bool on) { defaultFields_ = on; }
    // Makes default fields from FieldDefs.
    void CreateFields();
    void DestroyFields();
    // Binds fields to their definitions (FieldNo, calculated offsets) or
    // unbinds them.
    void BindFields(bool binding);
    // Calculated and lookup fields of `buffer`, in the calculated-fields state.
    void GetCalcFields(TRecordBuffer buffer);
    virtual void CalculateFields(TRecordBuffer buffer);
    // Buffer ring maintenance.
    void SetBufListSize(int size);
    void ClearBuffers();
    void ActivateBuffers();
    int GetNextRecords();
    int GetPriorRecords();
    bool GetNextRecord();
    bool GetPriorRecord();
    void UpdateCursorPos();
    void CursorPosChanged() { currentRecord_ = -1; }
    void SetCurrentRecord(int index);
    void UpdateBufferCount();
    bool InternalOpenComplete() const { return internalOpenComplete_; }

    // RAII form of SetTempState/RestoreState.
    class TTempState {
    public:
        TTempState(TDataSet& dataSet, TDataSetState state) : dataSet_(dataSet), old_(dataSet.SetTempState(state)) {}
        ~TTempState() { dataSet_.RestoreState(old_); }
        TTempState(const TTempState&) = delete;
        TTempState& operator=(const TTempState&) = delete;
        TDataSetState OldState() const { return old_; }

    private:
        TDataSet& dataSet_;
        TDataSetState old_;
    };

private:
    friend class TDataLink;
    friend class TDataSource;
    friend class TField;

    void Fire(const TDataSetNotifyEvent& event) {
        if (event) event(*this);
    }
    void DoInternalOpen();
    TGetResult FetchInto(TRecordBuffer buffer, TGetMode mode);
    void OpenCursorComplete();
    void BeginInsertAppend();
    void EndInsertAppend();
    void UndoInsert();
    void InsertOrAppendRecord(const std::vector<Variant>& values, bool append);
    void CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& onError);
    void MoveBuffer(int from, int to);
    void AddDataSource(TDataSource* source);
    void RemoveDataSource(TDataSource* source);
    bool MatchesKeys(const std::vector<TField*>& fields, const Variant& keyValues, TLocateOptions options) const;

    TDataSetState state_ = dsInactive;
    bool modified_ = false;
    bool bof_ = true;
    bool eof_ = true;
    bool found_ = false;
    bool defaultFields_ = false;
    bool internalOpenComplete_ = false;
    bool streamedActive_ = false;
    bool autoCalcFields_ = true;
    bool filtered_ = false;
    TBookmark undoBookmark_;
    int undoActive_ = 0;
    std::string filterText_;
    TFilterOptions filterOptions_;
    TFilterRecordEvent onFilterRecord_;

    TFields fields_;
    TFieldDefs fieldDefs_;
    int calcFieldsSize_ = 0;
    bool hasLookupFields_ = false;

    std::vector<TRecordBuffer> buffers_;
    int bufferCount_ = 0;
    int recordCount_ = 0;
    int activeRecord_ = 0;
    int currentRecord_ = -1;
    int bookmarkSize_ = 0;
    TRecordBuffer calcBuffer_ = nullptr;

    int disableCount_ = 0;
    TDataSetState disableState_ = dsInactive;
    TDataEvent enableEvent_ = deDataSetChange;
    std::vector<TDataSource*> dataSources_;
};

// Creates a persistent field of class T on `dataSet` (which must be closed).
template <class T>
T* CreateField(TDataSet& dataSet, const std::string& name, TFieldKind kind = fkData, int size = -1) {
    auto field = std::make_unique<T>();
    field->SetFieldName(name);
    if (size >= 0) field->SetSize(size);
    field->SetFieldKind(kind);
    return static_cast<T*>(dataSet.Fields().Add(std::move(field)));
}

}  // namespace db
