// Where a dataset's data is and in which order it is read: database name,
// connection, table type and name, index selection, index definitions and
// index files; and the table options.

#include "dbaccess/edsdata.h"

#include "platform/db/DBError.h"
#include "platform/rtl/SysUtils.h"

#include <thread>

namespace {

constexpr EDSHANDLE kNoHandle = static_cast<EDSHANDLE>(-1);
constexpr const char* kOpenDataSet = "Cannot perform this operation on an open dataset";
constexpr const char* kMustNotBeActive = "Table must not be Active.";
constexpr const char* kMustBeActive = "Table must be Active.";
constexpr const char* kDefaultIndex = "EDS_DEFAULT";

bool HasDelimiter(const std::string& text) { return text.find_first_of("/\\") != std::string::npos; }

// The file-name part of a path (after the last "\", "/" or ":").
std::string FileNamePart(const std::string& path) {
    const auto cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

// ---- TEdsTableOptions -------------------------------------------------------------------

void TEdsTableOptions::Assign(const rtl::TPersistent& Source) {
    const auto* other = dynamic_cast<const TEdsTableOptions*>(&Source);
    if (other == nullptr) {
        rtl::TPersistent::Assign(Source);
        return;
    }
    SetEdsLockType(other->lockType_);
    SetEdsCharType(other->charType_);
    filterOptions_ = other->filterOptions_;
    scopeOptions_ = other->scopeOptions_;
    SetEdsRightsCheck(other->rightsCheck_);
    SetEdsOptimizedFilters(other->optimizedFilters_);
    freshRecordCount_ = other->freshRecordCount_;
    aofResolveImmediate_ = other->aofResolveImmediate_;
    indexPageSize_ = other->indexPageSize_;
    SetEdsRecordCache(other->recordCache_);
    aofType_ = other->aofType_;
    autoKeyFieldCount_ = other->autoKeyFieldCount_;
    calcFieldsBeforeFilter_ = other->calcFieldsBeforeFilter_;
    lockingMode_ = other->lockingMode_;
}

void TEdsTableOptions::CheckInactive() const {
    if (dataSet_ != nullptr && dataSet_->Active()) RaiseEdsClientError(dataSet_, kMustNotBeActive);
}

void TEdsTableOptions::SetEdsLockType(TEdsLockTypes Value) {
    CheckInactive();
    lockType_ = Value;
}

void TEdsTableOptions::SetEdsCharType(TEdsCharTypes Value) {
    CheckInactive();
    charType_ = Value;
}

void TEdsTableOptions::SetEdsRightsCheck(bool Value) {
    CheckInactive();
    rightsCheck_ = Value;
}

void TEdsTableOptions::SetEdsRecordCache(TEdsRecordCacheTypes Value) {
    if (dataSet_ != nullptr && dataSet_->Active()) {
        const UNSIGNED16 records = Value == rcNone ? 0 : Value == rcStandard ? 10 : 100;
        dataSet_->Check(EdsApi.EdsCacheRecords(dataSet_->Handle(), records));
    }
    recordCache_ = Value;
}

// ---- TEdsIndexFiles ---------------------------------------------------------------------

TEdsIndexFiles::TEdsIndexFiles(TEdsDataSet* Owner) : owner_(Owner) {
    if (Owner == nullptr) RaiseEdsClientError(nullptr, "TEdsIndexFiles instances require a non-nil owner");
    list_.SetSorted(true);
    list_.SetDuplicates(rtl::TDuplicates::dupIgnore);
}

int TEdsIndexFiles::Add(const std::string& Name) {
    if (owner_->Active()) owner_->OpenIndexFile(Name);
    owner_->IndexDefs().SetUpdated(false);
    return list_.Add(Name);
}

void TEdsIndexFiles::Insert(int, const std::string& Name) {
    list_.Add(Name);
    if (owner_->Active()) owner_->OpenIndexFile(Name);
    owner_->IndexDefs().SetUpdated(false);
}

void TEdsIndexFiles::Delete(int Index) {
    const std::string name = list_[Index];
    if (owner_->Active()) owner_->CloseIndexFile(name);
    owner_->IndexDefs().SetUpdated(false);
    list_.Delete(list_.IndexOf(name));
}

void TEdsIndexFiles::Clear() {
    if (owner_->Active())
        for (const std::string& name : std::vector<std::string>(list_.Items())) owner_->CloseIndexFile(name);
    list_.Clear();
}

// ---- database name, connection, table -------------------------------------------------------

void TEdsDataSet::SetDatabaseName(const std::string& Name) {
    if (Active()) RaiseEdsClientError(this, kOpenDataSet);
    if (Name.empty()) {
        databaseName_.clear();
        aliasPath_.clear();
        GetConnectPath();
        return;
    }
    // One walk under the list's lock, ranking each connection by the first
    // of the four rules it meets; the earliest one of the best rank wins.
    TEdsConnection* hit = nullptr;
    int hitRank = 5;
    const std::string wanted = rtl::UpperCase(Name);
    const std::thread::id thread = std::this_thread::get_id();
    EdsConnectionList().ForEach([&](TEdsConnection& connection) {
        const bool sameName = rtl::UpperCase(connection.Name()) == wanted;
        const bool sameOwner = connection.Owner() == Owner();
        const bool sameThread = connection.CreatorThreadId() == thread;
        int rank = 5;
        if (sameName && sameOwner && sameThread) rank = 1;
        else if (sameName && sameThread) rank = 2;
        else if (sameName && sameOwner) rank = 3;
        else if (sameName || (connection.Owner() != nullptr &&
                              rtl::UpperCase(connection.Owner()->Name() + "." + connection.Name()) == wanted))
            rank = 4;
        if (rank < hitRank) {
            hit = &connection;
            hitRank = rank;
        }
    });
    if (hit != nullptr) {
        databaseName_ = Name;
        aliasPath_.clear();
        SetEdsConnection(hit);
        return;
    }
    if (!HasDelimiter(Name)) {
        if (auto alias = LookupEdsIniAlias(Name)) {
            databaseName_ = Name;
            aliasPath_ = alias->Path;
            SetTableType(alias->TableType);
            return;
        }
    }
    databaseName_ = Name;
    aliasPath_.clear();
}

void TEdsDataSet::SetEdsConnection(TEdsConnection* Connection) {
    if (Active()) RaiseEdsClientError(this, kMustNotBeActive);
    if (Connection == connection_) return;
    if (connection_ != nullptr) connection_->RemoveDataSet(this);
    connection_ = Connection;
    if (connection_ != nullptr) connection_->AddDataSet(this);
    GetConnectPath();
}

void TEdsDataSet::SetTableType(TEdsTableTypes Type) {
    if (Active()) RaiseEdsClientError(this, kOpenDataSet);
    constexpr const char* kAliasType = "The table type must remain identical to the table type associated with the alias.";
    if (databaseName_.empty() && connection_ != nullptr) {
        const int aliasType = connection_->GetAliasTableType();
        if (aliasType >= 1 && aliasType <= 3 && TableTypeOfAliasType(aliasType, Type) != Type)
            RaiseEdsClientError(this, kAliasType);
    } else if (!databaseName_.empty() && !HasDelimiter(databaseName_)) {
        if (auto alias = LookupEdsIniAlias(databaseName_); alias && alias->TableType != Type)
            RaiseEdsClientError(this, kAliasType);
    }
    tableType_ = Type;
    switch (Type) {
        case ttEdsCDX: engineTableType_ = EDS_CDX; break;
        case ttEdsNTX: engineTableType_ = EDS_NTX; break;
        default: engineTableType_ = EDS_EDT; break;
    }
}

void TEdsDataSet::SetTableName(const std::string& Name) {
    if (Active()) RaiseEdsClientError(this, kOpenDataSet);
    if (!ComponentState().Contains(rtl::csLoading) && Name != tableName_) indexFiles_->Clear();
    tableName_ = Name;
    GetDictionaryTableProperty();
    DataEvent(db::dePropertyChange);
}

void TEdsDataSet::SetExclusive(bool Value) {
    CheckInactive();
    exclusive_ = Value;
}

void TEdsDataSet::SetReadOnly(bool Value) {
    CheckInactive();
    readOnly_ = Value;
}

void TEdsDataSet::GetDictionaryTableProperty() {
    // Only tables have a default index; a query answers false here.
    if (!IsTable() || connection_ == nullptr || !connection_->IsDictionaryConnection()) return;
    UNSIGNED8 answer[201] = {};
    UNSIGNED16 length = 200;
    const UNSIGNED32 code = EdsApi.EdsDDGetTableProperty(connection_->ConnectionHandle(), EdsText(tableName_),
                                                         EDS_DD_TABLE_DEFAULT_INDEX, answer, &length);
    if (code == 0) {
        defaultIndexName_ = EdsBufferText(answer, sizeof answer, length);
        if ((indexName_.empty() && !ComponentState().Contains(rtl::csLoading)) || rtl::SameText(indexName_, kDefaultIndex)) {
            indexMode_ = EdsIndexDefault;
            indexName_ = kDefaultIndex;
        }
    } else if (code == EDS_E_PROPERTY_NOT_FOUND) {
        if (rtl::SameText(indexName_, kDefaultIndex)) SetIndexName(std::string());
    }
}

// ---- index selection --------------------------------------------------------------------------

void TEdsDataSet::SetIndexName(const std::string& Name) {
    if (Active()) CheckBrowseMode();
    const std::string oldName = indexName_;
    const std::string oldFields = indexFieldNames_;
    const std::uint8_t oldMode = indexMode_;
    const EDSHANDLE oldOrder = order_;
    indexName_ = Name;
    indexFieldNames_.clear();
    indexMode_ = Name.empty() ? EdsIndexNatural : rtl::SameText(Name, kDefaultIndex) ? EdsIndexDefault : EdsIndexByName;
    if (cursor_ == kNoHandle) return;
    try {
        if (scoped_) SetScoped(false);
        else ResetRange();
        ResolveIndexHandle();
        if (Active()) {
            Resync({});
            if (MasterLinkActive()) MasterChanged();
        }
    } catch (...) {
        indexName_ = oldName;
        indexFieldNames_ = oldFields;
        indexMode_ = oldMode;
        RestoreOrder(oldOrder);
        RestoreMasterRange();
        throw;
    }
}

void TEdsDataSet::SetIndexFieldNames(const std::string& Names) {
    if (Active()) CheckBrowseMode();
    if (scoped_) SetScoped(false);
    const std::size_t first = Names.find_first_not_of(' ');
    const std::string list = first == std::string::npos ? std::string()
                                                        : Names.substr(first, Names.find_last_not_of(' ') - first + 1);
    const std::string oldName = indexName_;
    const std::string oldFields = indexFieldNames_;
    const std::uint8_t oldMode = indexMode_;
    const EDSHANDLE oldOrder = order_;
    indexFieldNames_ = list;
    indexName_.clear();
    indexMode_ = list.empty() ? EdsIndexNatural : EdsIndexByFields;
    if (cursor_ == kNoHandle) return;
    try {
        // A range belongs to the index it was built on, as with IndexName.
        if (!scoped_) ResetRange();
        ResolveIndexHandle();
        if (Active()) {
            Resync({});
            if (MasterLinkActive()) MasterChanged();
        }
    } catch (...) {
        indexName_ = oldName;
        indexFieldNames_ = oldFields;
        indexMode_ = oldMode;
        RestoreOrder(oldOrder);
        RestoreMasterRange();
        throw;
    }
}

void TEdsDataSet::RestoreMasterRange() noexcept {
    // The order went back after a failed change: so does the detail's range.
    if (!Active() || !MasterLinkActive()) return;
    try {
        MasterChanged();
    } catch (...) {
        EdsReportCurrentException();
    }
}

void TEdsDataSet::ResolveIndexHandle() {
    if (Active()) {
        CheckBrowseMode();
        UpdateCursorPos();
    }
    // The new handle is found before anything changes, so a name that does
    // not resolve leaves the order and the buffers as they were.
    EDSHANDLE order = cursor_;
    switch (indexMode_) {
        case EdsIndexByName: Check(EdsApi.EdsGetIndexHandle(cursor_, EdsText(indexName_), &order)); break;
        case EdsIndexByFields:
            if (!FindIndexForFields(indexFieldNames_, order))
                RaiseEdsClientError(this, "Not a valid index field name:" + indexFieldNames_);
            break;
        case EdsIndexDefault:
            // Without a default index from a dictionary the engine would
            // answer its own current order for the empty name: keep natural order.
            if (!defaultIndexName_.empty()) Check(EdsApi.EdsGetIndexHandle(cursor_, EdsText(defaultIndexName_), &order));
            break;
        default: break;
    }
    const EDSHANDLE oldOrder = order_;
    order_ = order;
    try {
        RebuildBuffers();
    } catch (...) {
        order_ = oldOrder;
        RebuildBuffers();
        throw;
    }
}

void TEdsDataSet::RestoreOrder(EDSHANDLE Order) noexcept {
    if (order_ == Order) return;
    order_ = Order;
    try {
        RebuildBuffers();
        if (Active()) Resync({});
    } catch (...) {
        EdsReportCurrentException();
    }
}

void TEdsDataSet::RebuildBuffers() {
    // The bookmark length depends on the order handle, and the buffers on it.
    const bool hadBuffers = RecordCountInBuffers() > 0 || BufferCount() > 0;
    if (hadBuffers) SetBufListSize(0);
    ComputeBufferOffsets();
    if (hadBuffers) SetBufListSize(BufferCount() + 1);
}

void TEdsDataSet::UpdateIndexDefs() {
    if (indexDefs_.Updated()) return;
    if (cursor_ != kNoHandle) {
        ReadIndexDefs(cursor_);
    } else {
        const EDSHANDLE cursor = OpenCursorHandle();
        try {
            ReadIndexDefs(cursor);
        } catch (...) {
            EdsApi.EdsCloseTable(cursor);
            throw;
        }
        Check(EdsApi.EdsCloseTable(cursor));
    }
    indexDefs_.SetUpdated(true);
}

void TEdsDataSet::ReadIndexDefs(EDSHANDLE Cursor) {
    indexDefs_.Clear();
    UNSIGNED16 count = 0;
    Check(EdsApi.EdsGetNumIndexes(Cursor, &count));
    if (count == 0) return;
    std::vector<EDSHANDLE> indexes(count);
    UNSIGNED16 given = count;
    const UNSIGNED32 code = EdsApi.EdsGetAllIndexes(Cursor, indexes.data(), &given);
    if (code != EDS_E_INSUFFICIENT_BUFFER) Check(code);
    indexes.resize(std::min(given, count));
    for (EDSHANDLE index : indexes) {
        UNSIGNED8 name[261] = {};
        UNSIGNED16 nameLength = 260;
        Check(EdsApi.EdsGetIndexName(index, name, &nameLength));
        UNSIGNED16 segments = 0;
        Check(EdsApi.EdsGetNumSegments(index, &segments));
        std::string fields;
        for (UNSIGNED16 segment = 0; segment < segments; ++segment) {
            if (segment > 0) fields += ';';
            fields += SegmentName(index, segment, 510);
        }
        db::TIndexOptions options;
        UNSIGNED16 flag = 0;
        Check(EdsApi.EdsIsIndexDescending(index, &flag));
        if (flag != 0) options.Include(db::ixDescending);
        Check(EdsApi.EdsIsIndexUnique(index, &flag));
        if (flag != 0) options.Include(db::ixUnique);
        Check(EdsApi.EdsIsIndexPrimaryKey(index, &flag));
        if (flag != 0) options.Include(db::ixPrimary);
        // Index selection by field names takes only case-sensitive orders.
        UNSIGNED32 flags = 0;
        Check(EdsApi.EdsGetIndexFlags(index, &flags));
        if ((flags & EDS_CASE_INSENSITIVE_KEY) != 0) options.Include(db::ixCaseInsensitive);
        indexDefs_.Add(EdsBufferText(name, sizeof name, nameLength), rtl::UpperCase(fields), options);
    }
}

bool TEdsDataSet::FindIndexForFields(const std::string& Fields, EDSHANDLE& Handle) {
    Handle = kNoHandle;
    UpdateIndexDefs();
    // Exactly these fields: an index that only begins with them orders by more.
    const std::vector<std::string> names = db::SplitFieldNames(rtl::UpperCase(Fields));
    if (names.empty()) return false;
    for (int i = 0; i < indexDefs_.Count(); ++i) {
        const db::TIndexDef* def = indexDefs_[i];
        if (def->Options().Contains(db::ixCaseInsensitive) || def->Options().Contains(db::ixExpression)) continue;
        if (db::SplitFieldNames(def->Fields()) != names) continue;
        Check(EdsApi.EdsGetIndexHandle(cursor_, EdsText(def->Name()), &Handle));
        return true;
    }
    return false;
}

// ---- index files --------------------------------------------------------------------------------

void TEdsDataSet::OpenIndexFile(const std::string& FileName) {
    if (!Active()) RaiseEdsClientError(this, kMustBeActive);
    std::string name = FileName;
    if (!HasDelimiter(name)) name = GetConnectPath() + "/" + name;
    EDSHANDLE handles[50] = {};
    UNSIGNED16 room = 50;
    Check(EdsApi.EdsOpenIndex(cursor_, EdsText(name), handles, &room));
    indexDefs_.SetUpdated(false);
}

std::string TEdsDataSet::IndexFileName(EDSHANDLE Index) {
    UNSIGNED8 name[261] = {};
    UNSIGNED16 length = 260;
    Check(EdsApi.EdsGetIndexFilename(Index, 2, name, &length));
    return rtl::UpperCase(EdsBufferText(name, sizeof name, length));
}

void TEdsDataSet::CloseIndexFile(const std::string& FileName) {
    if (!Active()) RaiseEdsClientError(this, kMustBeActive);
    const std::string wanted = rtl::UpperCase(FileNamePart(FileName));
    UNSIGNED16 count = 0;
    Check(EdsApi.EdsGetNumIndexes(cursor_, &count));
    std::vector<EDSHANDLE> indexes(count);
    UNSIGNED16 given = count;
    if (count > 0) {
        const UNSIGNED32 code = EdsApi.EdsGetAllIndexes(cursor_, indexes.data(), &given);
        if (code != EDS_E_INSUFFICIENT_BUFFER) Check(code);
        indexes.resize(std::min(given, count));
    }
    for (EDSHANDLE index : indexes) {
        if (IndexFileName(index) != wanted) continue;
        // The active index goes with its file: back to natural order first.
        const bool active = order_ != cursor_ && IndexFileName(order_) == wanted;
        if (active) SetIndexName(std::string());
        Check(EdsApi.EdsCloseIndex(index));
        break;
    }
    indexDefs_.SetUpdated(false);
}
