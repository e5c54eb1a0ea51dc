#pragma once
// TEdsDataSet: the framework dataset over one engine cursor. It owns the
// record buffers, navigation, bookmarks, counts and record numbers, the column
// descriptions read from the engine, the conversion of field values, blobs,
// and where the data comes from and in which order (database name, table type,
// index selection).
//
// Record buffer layout (one per framework buffer slot):
//   [engine record image][calculated fields][blob slots][record info 8][bookmark]
// The record info holds the record position (int32, -1 none), a status byte,
// the bookmark flag byte and two spare bytes. The bookmark is the engine's
// (its first 4 bytes are the record number).
//
// Filters, scopes, ranges and the master link (edsdatafilter.cpp) and Locate
// and Lookup (edsdatalocate.cpp) restrict and search the visible records.

#include "dbaccess/edsapi.h"
#include "dbaccess/edscnnct.h"
#include "dbaccess/edsdataconv.h"
#include "dbaccess/edsfunc.h"
#include "platform/db/DataLink.h"
#include "platform/db/DataSet.h"
#include "platform/rtl/Classes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TEdsBlobCache;
class TEdsDataSet;

enum TEdsLockTypes { Proprietary, Compatible };
enum TEdsCharTypes { ANSI, OEM };
enum TEdsRespectFilters { IGNORE_WHEN_COUNTING, RESPECT_WHEN_COUNTING };
enum TEdsRespectScopes { IGNORE_SCOPES_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING };
enum TEdsRecordCacheTypes { rcNone, rcStandard, rcAggressive };
enum TEdsAOFTypes { atDynamic, atKeySet, atFixed };
enum TEdsRecordLockingModes { lmPessimistic, lmOptimistic };
enum TEdsSequencedLevel { slStandard, slExact };

// The index-selection modes.
inline constexpr std::uint8_t EdsIndexNatural = 0;
inline constexpr std::uint8_t EdsIndexByName = 1;
inline constexpr std::uint8_t EdsIndexByFields = 2;
inline constexpr std::uint8_t EdsIndexDefault = 3;

// The version of this layer, the first part of TEdsDataSet::Version.
inline constexpr const char* EdsLayerVersion = "7.1";

// One engine column.
class TEDSFieldDef {
public:
    std::string Name;  // at most 128 characters
    UNSIGNED16 FieldNum = 0;
    UNSIGNED32 Offset = 0;
    UNSIGNED32 Length = 0;
    UNSIGNED16 FieldType = 0;
    UNSIGNED16 Decimals = 0;
    std::uint8_t Changed = 0;
    UNSIGNED16 Permissions = 0;

    TEdsColumnLayout Layout() const { return {FieldType, Offset, Length, Decimals}; }
};

class TEDSFieldDefs {
public:
    explicit TEDSFieldDefs(TEdsDataSet* DataSet) : dataSet_(DataSet) {}

    TEdsDataSet* DataSet() const { return dataSet_; }
    int Count() const { return static_cast<int>(items_.size()); }
    TEDSFieldDef* operator[](int Index) const { return items_.at(static_cast<std::size_t>(Index)).get(); }
    TEDSFieldDef* Add();
    void Clear() { items_.clear(); }
    // -1 when absent; names compare without regard to case.
    int IndexOf(std::string_view Name) const;

private:
    TEdsDataSet* dataSet_;
    std::vector<std::unique_ptr<TEDSFieldDef>> items_;
};

// The options of a dataset's table. Some may only change while it is closed.
class TEdsTableOptions : public rtl::TPersistent {
public:
    explicit TEdsTableOptions(TEdsDataSet* DataSet) : dataSet_(DataSet) {}

    void Assign(const rtl::TPersistent& Source) override;

    TEdsLockTypes EdsLockType() const { return lockType_; }
    void SetEdsLockType(TEdsLockTypes Value);
    TEdsCharTypes EdsCharType() const { return charType_; }
    void SetEdsCharType(TEdsCharTypes Value);
    TEdsRespectFilters EdsFilterOptions() const { return filterOptions_; }
    void SetEdsFilterOptions(TEdsRespectFilters Value) { filterOptions_ = Value; }
    TEdsRespectScopes EdsScopeOptions() const { return scopeOptions_; }
    void SetEdsScopeOptions(TEdsRespectScopes Value) { scopeOptions_ = Value; }
    bool EdsRightsCheck() const { return rightsCheck_; }
    void SetEdsRightsCheck(bool Value);
    bool EdsOptimizedFilters() const { return optimizedFilters_; }
    // On an open, filtered dataset the filter is applied again the new way.
    void SetEdsOptimizedFilters(bool Value);
    bool EdsFreshRecordCount() const { return freshRecordCount_; }
    void SetEdsFreshRecordCount(bool Value) { freshRecordCount_ = Value; }
    bool EdsAOFResolveImmediate() const { return aofResolveImmediate_; }
    void SetEdsAOFResolveImmediate(bool Value) { aofResolveImmediate_ = Value; }
    UNSIGNED16 EdsIndexPageSize() const { return indexPageSize_; }
    void SetEdsIndexPageSize(UNSIGNED16 Value) { indexPageSize_ = Value; }
    TEdsRecordCacheTypes EdsRecordCache() const { return recordCache_; }
    // On an open dataset the engine is told at once.
    void SetEdsRecordCache(TEdsRecordCacheTypes Value);
    TEdsAOFTypes EdsAOFType() const { return aofType_; }
    void SetEdsAOFType(TEdsAOFTypes Value) { aofType_ = Value; }
    bool EdsAutoKeyFieldCount() const { return autoKeyFieldCount_; }
    void SetEdsAutoKeyFieldCount(bool Value) { autoKeyFieldCount_ = Value; }
    bool EdsCalcFieldsBeforeFilter() const { return calcFieldsBeforeFilter_; }
    void SetEdsCalcFieldsBeforeFilter(bool Value) { calcFieldsBeforeFilter_ = Value; }
    TEdsRecordLockingModes EdsRecordLockingMode() const { return lockingMode_; }
    void SetEdsRecordLockingMode(TEdsRecordLockingModes Value) { lockingMode_ = Value; }

private:
    void CheckInactive() const;

    TEdsDataSet* dataSet_;
    TEdsLockTypes lockType_ = Proprietary;
    TEdsCharTypes charType_ = ANSI;
    TEdsRespectFilters filterOptions_ = IGNORE_WHEN_COUNTING;
    TEdsRespectScopes scopeOptions_ = IGNORE_SCOPES_WHEN_COUNTING;
    bool rightsCheck_ = true;
    bool optimizedFilters_ = true;
    bool freshRecordCount_ = false;
    bool aofResolveImmediate_ = false;
    UNSIGNED16 indexPageSize_ = 0;
    TEdsRecordCacheTypes recordCache_ = rcStandard;
    TEdsAOFTypes aofType_ = atDynamic;
    bool autoKeyFieldCount_ = false;
    bool calcFieldsBeforeFilter_ = false;
    TEdsRecordLockingModes lockingMode_ = lmPessimistic;
};

// The index files a dataset opens besides its table's own indexes: a sorted
// list without duplicates whose changes open and close the files on an
// active dataset.
class TEdsIndexFiles {
public:
    // A null owner is refused.
    explicit TEdsIndexFiles(TEdsDataSet* Owner);

    int Count() const { return list_.Count(); }
    const std::string& Strings(int Index) const { return list_[Index]; }
    const std::string& operator[](int Index) const { return list_[Index]; }
    int IndexOf(std::string_view Name) const { return list_.IndexOf(Name); }

    int Add(const std::string& Name);
    // The list is sorted: the name takes its place in order, whatever Index.
    void Insert(int Index, const std::string& Name);
    void Delete(int Index);
    void Clear();

private:
    TEdsDataSet* owner_;
    rtl::TStringList list_;
};

class TEdsDataSet : public db::TDataSet, public IEdsDataSet {
public:
    explicit TEdsDataSet(rtl::TComponent* Owner = nullptr);
    ~TEdsDataSet() override;

    // ---- where the data is (IEdsDataSet and the published properties)
    rtl::TComponent& DataSetComponent() override { return *this; }
    std::string DatabaseName() const override { return databaseName_; }
    virtual void SetDatabaseName(const std::string& Name);
    void ConnectionRenamed(const std::string& NewDatabaseName) override { databaseName_ = NewDatabaseName; }
    TEdsConnection* EdsConnection() const override { return connection_; }
    void SetEdsConnection(TEdsConnection* Connection);
    std::string TableName() const override { return tableName_; }
    void SetTableName(const std::string& Name);
    TEdsTableTypes TableType() const override { return tableType_; }
    void SetTableType(TEdsTableTypes Type) override;
    // The engine's number of the table type: NTX 1, CDX 2, EDT 3.
    UNSIGNED16 EngineTableType() const { return engineTableType_; }
    std::string AliasPath() const override { return aliasPath_; }
    void SetAliasPath(const std::string& Path) override { aliasPath_ = Path; }
    std::string GetConnectPath() override;
    void Close() override { db::TDataSet::Close(); }
    void FreeStatement() override {}
    void ForgetConnection() override { connection_ = nullptr; }
    void GetDictionaryTableProperty() override;

    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool Value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value);
    const std::string& InfoExpression() const { return infoExpression_; }
    void SetInfoExpression(const std::string& Value) { infoExpression_ = Value; }
    const std::string& InfoStructure() const { return infoStructure_; }
    void SetInfoStructure(const std::string& Value) { infoStructure_ = Value; }
    bool StoreActive() const { return storeActive_; }
    void SetStoreActive(bool Value) { storeActive_ = Value; }
    TEdsTableOptions& EdsTableOptions() { return *options_; }
    const TEdsTableOptions& EdsTableOptions() const { return *options_; }
    TEdsIndexFiles& IndexFiles() { return *indexFiles_; }
    TEDSFieldDefs& EDSFieldDefs() { return *edsFieldDefs_; }
    std::string Version() const;
    void SetVersion(const std::string&) {}

    // ---- order
    const std::string& IndexName() const { return indexName_; }
    void SetIndexName(const std::string& Name);
    const std::string& IndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const std::string& Names);
    db::TIndexDefs& IndexDefs() { return indexDefs_; }
    void SetIndexDefs(const db::TIndexDefs& Value) { indexDefs_.Assign(Value); }
    void UpdateIndexDefs() override;
    // An index over exactly `Fields` ("A;B"), by its engine handle; false and
    // -1 when there is none.
    bool FindIndexForFields(const std::string& Fields, EDSHANDLE& Handle);
    void OpenIndexFile(const std::string& FileName);
    void CloseIndexFile(const std::string& FileName);
    const std::string& DefaultIndexName() const { return defaultIndexName_; }
    std::uint8_t IndexMode() const { return indexMode_; }

    bool Sequenced() const { return sequenced_; }
    void SetSequenced(bool Value) { sequenced_ = Value; }
    TEdsSequencedLevel SequencedLevel() const { return sequencedLevel_; }
    void SetSequencedLevel(TEdsSequencedLevel Value) { sequencedLevel_ = Value; }
    bool Scoped() const { return scoped_; }
    // On an open dataset, switching applies or drops the scope and keeps the
    // current record where it stays visible.
    virtual void SetScoped(bool Value);
    const std::string& ScopeBegin() const { return scopeBegin_; }
    const std::string& ScopeEnd() const { return scopeEnd_; }
    // Key texts of the active index, at most 4083 characters.
    void SetScopeBegin(const std::string& Value);
    void SetScopeEnd(const std::string& Value);

    // ---- engine handles
    // The engine cursor; -1 while closed.
    EDSHANDLE Handle() const { return cursor_; }
    // The active index, or the cursor when none; -1 while closed.
    EDSHANDLE OrderHandle() const { return order_; }
    UNSIGNED32 EngineRecordLength() const { return recordLength_; }
    UNSIGNED32 OpenOptions() const { return openOptions_; }

    // ---- framework overrides (public in the base)
    bool GetFieldData(db::TField* Field, void* Buffer) override;
    void SetFieldData(db::TField* Field, const void* Buffer) override;
    db::TFieldClass GetFieldClass(db::TFieldType Type) override;
    bool GetIsIndexField(db::TField* Field) override;
    void CloseBlob(db::TField*) override {}
    std::unique_ptr<db::TStream> CreateBlobStream(db::TField* Field, db::TBlobStreamMode Mode) override;
    bool GetCurrentRecord(db::TRecordBuffer Buffer) override;
    db::TUpdateStatus UpdateStatus() override;
    bool BookmarkValid(const db::TBookmark& Bookmark) override;
    int CompareBookmarks(const db::TBookmark& A, const db::TBookmark& B) override;
    bool IsSequenced() override { return sequenced_; }
    void SetRecNo(int Value) override;
    db::TDataSource* GetDataSource() override;
    void DataEvent(db::TDataEvent Event, std::intptr_t Info = 0) override;
    void InitFieldDefs() override;
    std::string TextFromNative(std::string_view Bytes) const override;
    std::string TextToNative(std::string_view Text) const override;

    // Provider support.
    void PSEndTransaction(bool Commit) override;
    int PSExecuteStatement(const std::string& SQL, db::TParams* Params, std::unique_ptr<db::TDataSet>* ResultSet) override;
    std::string PSGetQuoteChar() override { return std::string(); }
    bool PSInTransaction() override;
    bool PSIsSQLBased() override { return true; }
    bool PSIsSQLSupported() override { return true; }
    void PSReset() override;
    void PSStartTransaction() override;
    bool PSUpdateRecord(db::TUpdateKind UpdateKind, db::TDataSet* Delta) override;
    std::function<void(db::TDataSet& DataSet, db::TUpdateKind UpdateKind, db::TUpdateAction& Action)> OnUpdateRecord;

    virtual void BatchMove();
    virtual void RenameTable();

    // ---- buffers and blobs, for the dataset's own helpers
    // The buffer that field operations of the current state work on (none: null).
    db::TRecordBuffer GetActiveRecordBuffer();
    // The blob cache of a blob column in a buffer; null for other columns.
    TEdsBlobCache* BlobCache(db::TRecordBuffer Buffer, int FieldNo) const;
    // The record number at the start of a buffer's bookmark.
    UNSIGNED32 BufferRecordNumber(db::TRecordBuffer Buffer) const;
    const TEDSFieldDef* ColumnOf(const db::TField* Field) const;

protected:
    // ---- what a concrete dataset supplies
    // The engine cursor of the dataset's table or statement.
    virtual EDSHANDLE OpenCursorHandle() = 0;
    virtual UNSIGNED32 GetLastAutoInc() = 0;

    // ---- filters, scopes, ranges, master link (edsdatafilter.cpp)
    // Puts Filter on the cursor as an AOF or a plain filter (an empty Filter
    // drops it).
    virtual void ActivateFilter();
    virtual void DeactivateFilter();
    virtual void ActivateScope();
    virtual void DeactivateScope();
    // Drops a range; true when one was dropped (or a scope stands in for it).
    virtual bool ResetRange();
    virtual void AllocKeyBuffers();
    virtual void FreeKeyBuffers();
    // The record image of the current key buffer in the set-key state.
    virtual db::TRecordBuffer KeyRecordBuffer();
    // A value was stored into a column of the current key buffer.
    virtual void KeyFieldStored(const TEDSFieldDef& Column, db::TField* Field, const void* Buffer);
    // Whether a master link is active and names fields; then a change of order
    // calls MasterChanged.
    virtual bool MasterLinkActive();
    // Sets the range to the master's current values. Raises when no index is
    // active or the index has fewer segments than there are master fields.
    virtual void MasterChanged();
    virtual void MasterDisabled();
    // Offers a fetched record to OnFilterRecord; false when rejected.
    virtual bool RecordAccepted(db::TRecordBuffer Buffer);

    virtual std::int32_t GetRecordPosition();
    // Tables have a data dictionary's default index; queries do not.
    virtual bool IsTable() const { return false; }

    // ---- framework overrides
    db::TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(db::TRecordBuffer& Buffer) override;
    void GetBookmarkData(db::TRecordBuffer Buffer, void* Data) override;
    db::TBookmarkFlag GetBookmarkFlag(db::TRecordBuffer Buffer) override;
    void SetBookmarkData(db::TRecordBuffer Buffer, const void* Data) override;
    void SetBookmarkFlag(db::TRecordBuffer Buffer, db::TBookmarkFlag Flag) override;
    db::TGetResult GetRecord(db::TRecordBuffer Buffer, db::TGetMode Mode, bool DoCheck) override;
    int GetRecordSize() override { return static_cast<int>(recordLength_); }
    void InternalAddRecord(db::TRecordBuffer Buffer, bool Append) override;
    void InternalClose() override;
    void InternalDelete() override;
    void InternalFirst() override;
    void InternalGotoBookmark(const void* Bookmark) override;
    void InternalHandleException() override;
    void InternalInitFieldDefs() override;
    void InternalInitRecord(db::TRecordBuffer Buffer) override;
    void InternalLast() override;
    void InternalOpen() override;
    void InternalPost() override;
    void InternalSetToRecord(db::TRecordBuffer Buffer) override;
    bool IsCursorOpen() const override { return cursor_ != static_cast<EDSHANDLE>(-1); }
    void InternalCancel() override;
    void InternalEdit() override;
    void InternalInsert() override;
    void InternalRefresh() override;
    void ClearCalcFields(db::TRecordBuffer Buffer) override;
    void InitRecord(db::TRecordBuffer Buffer) override;
    bool GetCanModify() override;
    int GetRecordCount() override;
    int GetRecNo() override;
    void DoAfterOpen() override;
    void DoOnNewRecord() override;

    // Reads the cursor's record into `Buffer` (current, next or prior visible one).
    db::TGetResult FetchRecord(db::TRecordBuffer Buffer, db::TGetMode Mode);
    // Chooses the order handle for the index-selection mode.
    void ResolveIndexHandle();
    // Computes where the parts of a record buffer start.
    void ComputeBufferOffsets();
    // Marks every blob cache of a buffer unread.
    void ResetBlobCaches(db::TRecordBuffer Buffer);
    // A blob stream opened in an edit belongs to it: when the state leaves
    // edit or insert (post, cancel, close), such streams lose their caches,
    // which the next edit fills with another record's value.
    void EndEditBlobStreams();
    // The engine keeps memo text zero-terminated and would cut it at a zero
    // byte: such a value is refused as a whole, whichever way the zero came
    // (written, a gap left past the end, a grown size). Binary blobs keep theirs.
    void RefuseZeroBytesInMemoText(db::TRecordBuffer Buffer);
    // After the BeforePost handler, which may still set values, and before the
    // post hands anything to the engine: a refusal half-way through would leave
    // a pending engine record that the next cursor move writes.
    void DoBeforePost() override;
    void SetFilterRecordBuffer(db::TRecordBuffer Buffer) { filterBuffer_ = Buffer; }
    db::TRecordBuffer FilterRecordBuffer() const { return filterBuffer_; }
    // A handle handed over to be opened instead of calling OpenCursorHandle.
    void SetHandedOverCursor(EDSHANDLE Handle) { order_ = Handle; }
    void SetScopeTexts(const std::string& Begin, const std::string& End) {
        scopeBegin_ = Begin;
        scopeEnd_ = End;
    }

    // Engine calls through the code check of this dataset.
    void Check(UNSIGNED32 Code) { CheckEdsError(this, Code); }

private:
    friend class TEdsTableOptions;
    friend class TEdsBlobStream;

    struct TBufferStore;
    struct TRecordInfo;
    TRecordInfo* InfoOf(db::TRecordBuffer Buffer) const;
    bool HasBlobColumns() const { return blobColumns_ > 0; }
    void RefreshFieldDefs();
    void AddFieldDefsFromEngine(EDSHANDLE Cursor);
    void RebuildBuffers();
    // Puts a previous order handle back after a failed change of order.
    void RestoreOrder(EDSHANDLE Order) noexcept;
    // Puts the master link's range back on the order that was restored.
    void RestoreMasterRange() noexcept;
    void ReadIndexDefs(EDSHANDLE Cursor);
    UNSIGNED32 CountRecords(EDSHANDLE Handle, UNSIGNED16 Option);
    bool IndexIsPlain(EDSHANDLE Index);
    std::string SegmentName(EDSHANDLE Index, UNSIGNED16 Segment, UNSIGNED16 Room);
    std::string IndexFileName(EDSHANDLE Index);
    // Writes the pending edit or insert of the active buffer to the engine.
    void WriteChangedColumns(db::TRecordBuffer Buffer);
    // Reads the cursor's record into the buffer; raises when it cannot.
    void FetchCurrentOrFail(db::TRecordBuffer Buffer);
    // Records code 5054 with the text as the engine's last error and raises it.
    [[noreturn]] void RaiseRightsError(const std::string& Text);

    std::unique_ptr<TEDSFieldDefs> edsFieldDefs_;
    std::vector<std::uint8_t> oldValues_;
    EDSHANDLE order_ = static_cast<EDSHANDLE>(-1);
    std::uint8_t indexMode_ = EdsIndexNatural;
    std::uint32_t blobOffset_ = 0;
    std::uint32_t bookmarkOffset_ = 0;
    bool writable_ = false;
    std::string databaseName_;
    std::string infoExpression_;
    db::TRecordBuffer filterBuffer_ = nullptr;
    EDSHANDLE cursor_ = static_cast<EDSHANDLE>(-1);
    std::string indexFieldNames_;
    db::TIndexDefs indexDefs_;
    std::string indexName_;
    std::string defaultIndexName_;
    std::uint32_t recordBufferSize_ = 0;
    std::uint32_t infoOffset_ = 0;
    UNSIGNED32 recordLength_ = 0;
    UNSIGNED32 openOptions_ = 0;
    bool scoped_ = false;
    std::string aliasPath_;
    std::string scopeEnd_;
    std::string scopeBegin_;
    std::string infoStructure_;
    bool sequenced_ = false;
    UNSIGNED32 recordChecksum_ = 0;
    std::unique_ptr<TEdsTableOptions> options_;
    bool exclusive_ = false;
    bool readOnly_ = false;
    std::string tableName_;
    TEdsTableTypes tableType_ = ttEdsEDT;
    UNSIGNED16 engineTableType_ = EDS_EDT;
    std::unique_ptr<TEdsIndexFiles> indexFiles_;
    bool storeActive_ = true;
    TEdsSequencedLevel sequencedLevel_ = slStandard;
    TEdsConnection* connection_ = nullptr;

    // The table type the open cursor reported at open (the image rules and a
    // column's emptiness follow it). A handle keeps its type for its life, and
    // every open asks again; asking at each field read cost an engine call per
    // value.
    UNSIGNED16 cursorTableType_ = EDS_EDT;
    int blobColumns_ = 0;
    // Whether the state was edit or insert at the last state change.
    bool blobEditing_ = false;
    // Column number -> blob slot, -1 for columns without one.
    std::vector<int> blobSlotOfColumn_;
    std::unordered_map<db::TRecordBuffer, std::unique_ptr<TBufferStore>> buffers_;

    // ==== record editing and index creation (edsdataedit.cpp, edstablecreate.cpp) ====
public:
    // Adds an index tag to the dataset's table; a closed dataset opens its table
    // for this and closes it again.
    void AddIndex(const std::string& Name, const std::string& Fields, db::TIndexOptions Options);

    // Ranges as the provider side sets them. The range support fills these in;
    // here they refuse (CancelRange drops nothing).
    virtual void SetRangeStart();
    virtual void SetRangeEnd();
    virtual void ApplyRange();
    virtual void CancelRange();

protected:
    // The master's fields named by the master link, in order; empty without a
    // master dataset or without named fields. The master-detail support fills it in.
    virtual std::vector<db::TField*> MasterLinkFields();
    // The framework computes calculated fields between taking an edit's lock
    // and entering the edit state: a failure there gives the lock back.
    void CalculateFields(db::TRecordBuffer Buffer) override;
    void DoAfterEdit() override;

private:
    // Converts a field's default expression and stores it into the record image.
    void StoreDefaultValue(db::TRecordBuffer Buffer, TEDSFieldDef& Column, db::TField& Field);
    // Gives back the record lock of an edit that never reached the edit state.
    void ReleaseEditLock() noexcept;

    // The pessimistic lock an edit holds: cursor and record number (0 none).
    EDSHANDLE editLockCursor_ = static_cast<EDSHANDLE>(-1);
    UNSIGNED32 editLockRecord_ = 0;
    // Between a successful InternalEdit and the end of the framework's Edit.
    bool editStarting_ = false;

    // ==== filters, scopes, ranges, master link (edsdatafilter.cpp) ====
public:
    void SetFiltered(bool Value) override;
    // Filter must not have been refused by the engine: a refused text leaves
    // Filter and Filtered as they were.
    void SetFilterText(const std::string& Value) override;
    void Post() override;
    void Cancel() override;

    db::TDataSource* MasterSource() const;
    // Refuses a source whose dataset is this one or is linked to it.
    void SetMasterSource(db::TDataSource* Value);
    const std::string& MasterFields() const;
    void SetMasterFields(const std::string& Value);

    // Key buffers, in this order.
    enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCurRangeStart, kiCurRangeEnd, kiSave };
    // Whether the start (or end) key of the range excludes the key itself.
    bool KeyExclusive() const;
    void SetKeyExclusive(bool Value);

protected:
    bool FindRecord(bool Restart, bool GoForward) override;
    // The filter text as the engine takes it, and whether its comparisons are exact.
    std::string ConvertExpressionFieldNames(bool& Exact);
    // Applies the range key buffers as engine scopes; false when they are the range in force.
    bool SetRange();
    // The raw key of a key buffer for the active index.
    void BuildKeyFromBuffer(TKeyIndex Buffer, UNSIGNED16& Length, UNSIGNED8* Key);

private:
    struct TKeyBuffer {
        std::uint8_t Modified = 0;
        std::uint8_t Exclusive = 0;
        std::int32_t FieldCount = 0;
        std::vector<std::uint8_t> Record;  // engine record image (and calculated part)
        std::vector<UNSIGNED16> Markers;   // per column; kNoKeyValue when none given
        bool SameAs(const TKeyBuffer& Other) const {
            return Modified == Other.Modified && Exclusive == Other.Exclusive && FieldCount == Other.FieldCount &&
                   Record == Other.Record && Markers == Other.Markers;
        }
    };
    static constexpr UNSIGNED16 kNoKeyValue = 65535;
    void InitKeyBuffer(TKeyBuffer& Buffer);
    // Makes a range key buffer current and enters the set-key state.
    void SetKeyBuffer(TKeyIndex Index, bool Clear);
    // Leaves the set-key state; on cancel the saved key buffer comes back.
    void EndKeyState(bool Posted);
    bool HasActiveIndex() const { return order_ != cursor_; }
    // Puts the current Filter and Filtered on the cursor; when the engine
    // refuses, the old ones come back on the dataset and the cursor.
    void ReapplyFilter(bool OldFiltered, const std::string& OldText);

    std::array<TKeyBuffer, 6> keyBuffers_;
    TKeyBuffer* keyBuffer_ = nullptr;
    std::unique_ptr<db::TMasterDataLink> masterLink_;

    // ==== locate and lookup (edsdatalocate.cpp) ====
public:
    // Locate is the framework's: before-scroll, LocateRecord, Resync, after-scroll.
    db::Variant Lookup(const std::string& KeyFields, const db::Variant& KeyValues,
                       const std::string& ResultFields) override;

protected:
    bool LocateRecord(const std::string& KeyFields, const db::Variant& KeyValues, db::TLocateOptions Options) override;
    // The engine expression that compares each field with its value in the
    // filter-record buffer; only in the filter state.
    std::string BuildFilterString(const std::vector<db::TField*>& Fields, const std::string& Operator,
                                  bool CaseInsensitive);

private:
    // The ";"-list of an index's segment names, upper-cased.
    std::vector<std::string> IndexSegmentNames(EDSHANDLE Index);
    // Whether an index may serve a seek (no scope, condition, custom or
    // unique-on-non-EDT restriction).
    bool IndexUsableForSeek(EDSHANDLE Index);
    // The last key segment when the index's leading segments are exactly the
    // key fields (in any order); empty when they are not.
    std::string MatchKeySegments(EDSHANDLE Index, const std::vector<db::TField*>& Fields);
    bool SeekKey(EDSHANDLE Index, const std::vector<db::TField*>& Fields, const std::string& LastSegment,
                 bool Partial);
    bool FilterForKey(const std::string& Expression, bool Partial);
    bool ScanForExpression(const std::string& Expression);
    // Whether the dataset shows the cursor's record (engine visibility and
    // OnFilterRecord); OnlyForTheEvent: true at once unless the event filters.
    // Whether the current record matches a search expression exactly (partial: by prefix).
    bool HoldsExactly(const std::string& Expression, bool Partial);
    bool RecordShown(bool OnlyForTheEvent);
};

// The base of the query and, through the extended table, of the table.
class TEdsExtendedDataSet : public TEdsDataSet {
public:
    using TEdsDataSet::TEdsDataSet;
};

// The process-wide list of datasets (a TEdsConnection walks it when renamed).
TEdsThreadList<IEdsDataSet>& EdsDataSets();

// Field classes of the dataset.
class TEdsStringField : public db::TStringField {
public:
    explicit TEdsStringField(rtl::TComponent* Owner = nullptr) : db::TStringField(Owner) {}
    bool CaseInsensitive() const { return caseInsensitive_; }
    void SetCaseInsensitive(bool Value) { caseInsensitive_ = Value; }

private:
    bool caseInsensitive_ = false;
};

class TEdsBCDField : public db::TBCDField {
public:
    explicit TEdsBCDField(rtl::TComponent* Owner = nullptr);
};
