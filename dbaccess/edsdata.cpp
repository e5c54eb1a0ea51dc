#include "dbaccess/edsdata.h"

#include "dbaccess/edsdatablob.h"
#include "dbaccess/edsquery.h"
#include "platform/db/DBError.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr EDSHANDLE kNoHandle = static_cast<EDSHANDLE>(-1);

// The record-info part of a buffer.
constexpr std::size_t kInfoPosition = 0;
constexpr std::size_t kInfoStatus = 4;
constexpr std::size_t kInfoBookmarkFlag = 5;
constexpr std::size_t kInfoSize = 8;

std::int32_t LoadInt32(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void StoreInt32(std::uint8_t* p, std::int32_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace

// One record buffer with the blob caches of its slots. Blob streams watch the
// caches through weak pointers: freeing the buffer cuts them off.
struct TEdsDataSet::TBufferStore {
    std::vector<std::uint8_t> Bytes;
    std::vector<std::shared_ptr<TEdsBlobCache>> Blobs;
};

TEdsThreadList<IEdsDataSet>& EdsDataSets() { return EdsDataSetList(); }

// ---- TEDSFieldDefs ------------------------------------------------------------------

TEDSFieldDef* TEDSFieldDefs::Add() {
    items_.push_back(std::make_unique<TEDSFieldDef>());
    return items_.back().get();
}

int TEDSFieldDefs::IndexOf(std::string_view Name) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (rtl::SameText(items_[i]->Name, Name)) return static_cast<int>(i);
    return -1;
}

// ---- field classes --------------------------------------------------------------------

TEdsBCDField::TEdsBCDField(rtl::TComponent* Owner) : db::TBCDField(Owner) {
    if (Owner == nullptr || !Owner->ComponentState().Contains(rtl::csLoading)) SetCurrency(true);
}

// ---- construction ---------------------------------------------------------------------

TEdsDataSet::TEdsDataSet(rtl::TComponent* Owner)
    : db::TDataSet(Owner),
      edsFieldDefs_(std::make_unique<TEDSFieldDefs>(this)),
      indexDefs_(this),
      options_(std::make_unique<TEdsTableOptions>(this)),
      indexFiles_(std::make_unique<TEdsIndexFiles>(this)) {
    masterLink_ = std::make_unique<db::TMasterDataLink>(this);
    masterLink_->OnMasterChange = [this] { MasterChanged(); };
    masterLink_->OnMasterDisable = [this] { MasterDisabled(); };
    EdsDataSetList().Add(this);
}

TEdsDataSet::~TEdsDataSet() {
    Destroying();
    try {
        db::TDataSet::Close();
    } catch (...) {
        EdsReportCurrentException();
    }
    // Closing failed half-way: the engine handle must not outlive the dataset.
    if (cursor_ != kNoHandle) {
        EdsApi.EdsCloseTable(cursor_);
        cursor_ = kNoHandle;
    }
    if (connection_ != nullptr) connection_->RemoveDataSet(this);
    connection_ = nullptr;
    oldValues_.clear();
    EdsDataSetList().Remove(this);
}

std::string TEdsDataSet::Version() const {
    UNSIGNED32 major = 0;
    UNSIGNED32 minor = 0;
    UNSIGNED8 letter = ' ';
    std::string version = EdsLayerVersion;
    if (EdsApi.EdsGetVersion(&major, &minor, &letter, nullptr, nullptr) != 0) return version;
    version += " (EDS " + rtl::IntToStr(major) + (minor < 10 ? ".0" : ".") + rtl::IntToStr(minor);
    if (letter != ' ' && letter != 0) version += static_cast<char>(letter);
    return version + ")";
}

std::string TEdsDataSet::GetConnectPath() { return ::GetConnectPath(*this); }

std::string TEdsDataSet::TextFromNative(std::string_view Bytes) const { return rtl::AnsiToUtf8(Bytes); }

std::string TEdsDataSet::TextToNative(std::string_view Text) const { return rtl::Utf8ToAnsi(Text); }

db::TFieldClass TEdsDataSet::GetFieldClass(db::TFieldType Type) {
    if (Type == db::ftString) return &db::MakeField<TEdsStringField>;
    if (Type == db::ftBCD) return &db::MakeField<TEdsBCDField>;
    return db::TDataSet::GetFieldClass(Type);
}

// ---- buffers ----------------------------------------------------------------------------

void TEdsDataSet::ComputeBufferOffsets() {
    blobColumns_ = 0;
    blobSlotOfColumn_.assign(static_cast<std::size_t>(edsFieldDefs_->Count()) + 1, -1);
    for (int i = 0; i < edsFieldDefs_->Count(); ++i) {
        const TEDSFieldDef* def = (*edsFieldDefs_)[i];
        if (IsEdsBlobType(def->FieldType)) blobSlotOfColumn_[def->FieldNum] = blobColumns_++;
    }
    UNSIGNED32 bookmarkLength = 0;
    if (cursor_ != kNoHandle) {
        const EDSHANDLE handle = order_ != kNoHandle && order_ >= 1 ? order_ : cursor_;
        Check(EdsApi.EdsGetBookmarkLength(handle, &bookmarkLength));
    }
    SetBookmarkSize(static_cast<int>(bookmarkLength));
    blobOffset_ = recordLength_ + static_cast<std::uint32_t>(CalcFieldsSize());
    infoOffset_ = blobOffset_ + static_cast<std::uint32_t>(blobColumns_ * sizeof(TEdsBlobCache*));
    bookmarkOffset_ = infoOffset_ + static_cast<std::uint32_t>(kInfoSize);
    // Room for the record number even when the engine reports a shorter bookmark.
    recordBufferSize_ = bookmarkOffset_ + std::max<std::uint32_t>(bookmarkLength, 4);
}

db::TRecordBuffer TEdsDataSet::AllocRecordBuffer() {
    auto store = std::make_unique<TBufferStore>();
    store->Bytes.assign(recordBufferSize_, 0);
    for (int i = 0; i < blobColumns_; ++i) {
        store->Blobs.push_back(std::make_shared<TEdsBlobCache>());
        TEdsBlobCache* cache = store->Blobs.back().get();
        std::memcpy(store->Bytes.data() + blobOffset_ + i * sizeof cache, &cache, sizeof cache);
    }
    db::TRecordBuffer buffer = store->Bytes.data();
    StoreInt32(buffer + infoOffset_ + kInfoPosition, -1);
    buffers_[buffer] = std::move(store);
    return buffer;
}

void TEdsDataSet::FreeRecordBuffer(db::TRecordBuffer& Buffer) {
    buffers_.erase(Buffer);
    Buffer = nullptr;
}

TEdsBlobCache* TEdsDataSet::BlobCache(db::TRecordBuffer Buffer, int FieldNo) const {
    if (Buffer == nullptr || FieldNo < 1 || static_cast<std::size_t>(FieldNo) >= blobSlotOfColumn_.size()) return nullptr;
    const int slot = blobSlotOfColumn_[static_cast<std::size_t>(FieldNo)];
    if (slot < 0) return nullptr;
    TEdsBlobCache* cache = nullptr;
    std::memcpy(&cache, Buffer + blobOffset_ + static_cast<std::size_t>(slot) * sizeof cache, sizeof cache);
    return cache;
}

void TEdsDataSet::EndEditBlobStreams() {
    const bool editing = State() == db::dsEdit || State() == db::dsInsert;
    if (blobEditing_ && !editing)
        for (const auto& buffer : buffers_)
            for (const auto& cache : buffer.second->Blobs) cache->EndStreams();
    blobEditing_ = editing;
}

void TEdsDataSet::RefuseZeroBytesInMemoText(db::TRecordBuffer Buffer) {
    if (Buffer == nullptr || !HasBlobColumns()) return;
    for (int i = 0; i < edsFieldDefs_->Count(); ++i) {
        const TEDSFieldDef* column = (*edsFieldDefs_)[i];
        TEdsBlobCache* cache = IsEdsBlobType(column->FieldType) ? BlobCache(Buffer, column->FieldNum) : nullptr;
        if (cache == nullptr || !cache->Modified() || !cache->HoldsZeroByte()) continue;
        if (EdsBlobColumnIsText(cursor_, column->FieldNum))
            RaiseEdsClientError(this, "Memo field " + column->Name + " cannot hold a zero byte.");
    }
}

void TEdsDataSet::DoBeforePost() {
    db::TDataSet::DoBeforePost();
    RefuseZeroBytesInMemoText(ActiveBuffer());
}

void TEdsDataSet::ResetBlobCaches(db::TRecordBuffer Buffer) {
    for (int slot = 0; slot < blobColumns_; ++slot) {
        TEdsBlobCache* cache = nullptr;
        std::memcpy(&cache, Buffer + blobOffset_ + static_cast<std::size_t>(slot) * sizeof cache, sizeof cache);
        if (cache != nullptr) cache->Reset();
    }
}

UNSIGNED32 TEdsDataSet::BufferRecordNumber(db::TRecordBuffer Buffer) const {
    return static_cast<UNSIGNED32>(LoadInt32(Buffer + bookmarkOffset_));
}

const TEDSFieldDef* TEdsDataSet::ColumnOf(const db::TField* Field) const {
    const int number = Field->FieldNo();
    if (number < 1 || number > edsFieldDefs_->Count()) return nullptr;
    return (*edsFieldDefs_)[number - 1];
}

void TEdsDataSet::GetBookmarkData(db::TRecordBuffer Buffer, void* Data) {
    std::memcpy(Data, Buffer + bookmarkOffset_, static_cast<std::size_t>(BookmarkSize()));
}

void TEdsDataSet::SetBookmarkData(db::TRecordBuffer Buffer, const void* Data) {
    std::memcpy(Buffer + bookmarkOffset_, Data, static_cast<std::size_t>(BookmarkSize()));
}

db::TBookmarkFlag TEdsDataSet::GetBookmarkFlag(db::TRecordBuffer Buffer) {
    return static_cast<db::TBookmarkFlag>(Buffer[infoOffset_ + kInfoBookmarkFlag]);
}

void TEdsDataSet::SetBookmarkFlag(db::TRecordBuffer Buffer, db::TBookmarkFlag Flag) {
    Buffer[infoOffset_ + kInfoBookmarkFlag] = static_cast<std::uint8_t>(Flag);
}

void TEdsDataSet::InitRecord(db::TRecordBuffer Buffer) {
    db::TDataSet::InitRecord(Buffer);
    StoreInt32(Buffer + infoOffset_ + kInfoPosition, -1);
    Buffer[infoOffset_ + kInfoStatus] = 0;
    Buffer[infoOffset_ + kInfoBookmarkFlag] = 0;
    StoreInt32(Buffer + bookmarkOffset_, 0);
}

void TEdsDataSet::ClearCalcFields(db::TRecordBuffer Buffer) {
    std::memset(Buffer + recordLength_, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

db::TRecordBuffer TEdsDataSet::GetActiveRecordBuffer() {
    switch (State()) {
        case db::dsBrowse:
        case db::dsBlockRead: return IsEmpty() ? nullptr : ActiveBuffer();
        case db::dsEdit:
        case db::dsInsert:
        case db::dsNewValue: return ActiveBuffer();
        case db::dsSetKey: return KeyRecordBuffer();
        case db::dsCalcFields:
        case db::dsInternalCalc: return CalcBuffer();
        case db::dsFilter: return filterBuffer_;
        case db::dsOldValue: return oldValues_.empty() ? nullptr : oldValues_.data();
        default: return nullptr;
    }
}

// ---- open and close ---------------------------------------------------------------------

void TEdsDataSet::InternalOpen() {
    if (cursor_ != kNoHandle) RaiseEdsClientError(this, "Table is already open.");
    const EDSHANDLE handedOver = order_;
    order_ = kNoHandle;
    cursor_ = handedOver != kNoHandle && handedOver != 0 ? handedOver : OpenCursorHandle();

    Check(EdsApi.EdsGetRecordLength(cursor_, &recordLength_));
    Check(EdsApi.EdsGetTableOpenOptions(cursor_, &openOptions_));
    writable_ = (openOptions_ & EDS_READONLY) == 0;
    UNSIGNED16 tableType = engineTableType_;
    cursorTableType_ = EdsApi.EdsGetTableType(cursor_, &tableType) == 0 ? tableType : engineTableType_;

    if (options_->EdsRecordCache() == rcNone) Check(EdsApi.EdsCacheRecords(cursor_, 0));
    else if (options_->EdsRecordCache() == rcAggressive) Check(EdsApi.EdsCacheRecords(cursor_, 100));

    // The page size of the first index, when the table has one.
    {
        EDSHANDLE index = 0;
        UNSIGNED16 count = 1;
        const UNSIGNED32 code = EdsApi.EdsGetAllIndexes(cursor_, &index, &count);
        UNSIGNED32 pageSize = 0;
        if ((code == 0 || code == EDS_E_INSUFFICIENT_BUFFER) && count >= 1 &&
            EdsApi.EdsGetIndexPageSize(index, &pageSize) != 0)
            pageSize = 0;
        options_->SetEdsIndexPageSize(static_cast<UNSIGNED16>(pageSize));
    }

    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    for (db::TField* field : Fields().List()) {
        if (field->DataType() == db::ftBCD && dynamic_cast<TEdsBCDField*>(field) == nullptr)
            if (auto* bcd = dynamic_cast<db::TBCDField*>(field)) bcd->SetCurrency(true);
        if (auto* text = dynamic_cast<TEdsStringField*>(field)) {
            const int column = edsFieldDefs_->IndexOf(text->FieldName());
            if (column >= 0 && (*edsFieldDefs_)[column]->FieldType == EDS_CISTRING) text->SetCaseInsensitive(true);
        }
    }
    BindFields(true);
    ComputeBufferOffsets();
    // Key buffers hold a record image and the calculated part: sized now.
    AllocKeyBuffers();
    indexDefs_.SetUpdated(false);
    UpdateIndexDefs();

    ResolveIndexHandle();
    if (scoped_) ActivateScope();
    if (Filtered()) ActivateFilter();
    InternalFirst();
}

void TEdsDataSet::InternalClose() {
    if (EdsIsDesigning(*this)) {
        EdsApi.EdsCacheOpenTables(0);
        EdsApi.EdsCacheOpenCursors(0);
    }
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    FreeKeyBuffers();
    oldValues_.clear();
    oldValues_.shrink_to_fit();
    const EDSHANDLE cursor = cursor_;
    cursor_ = kNoHandle;
    order_ = kNoHandle;
    writable_ = false;
    if (cursor != kNoHandle) Check(EdsApi.EdsCloseTable(cursor));
}

void TEdsDataSet::DoAfterOpen() {
    db::TDataSet::DoAfterOpen();
    if (MasterLinkActive()) MasterChanged();
}

// ---- field definitions ------------------------------------------------------------------

void TEdsDataSet::InternalInitFieldDefs() {
    if (cursor_ == kNoHandle) return;
    AddFieldDefsFromEngine(cursor_);
}

void TEdsDataSet::InitFieldDefs() {
    if (cursor_ != kNoHandle) {
        InternalInitFieldDefs();
    } else {
        const EDSHANDLE cursor = OpenCursorHandle();
        try {
            AddFieldDefsFromEngine(cursor);
        } catch (...) {
            EdsApi.EdsCloseTable(cursor);
            throw;
        }
        Check(EdsApi.EdsCloseTable(cursor));
    }
    FieldDefs().SetUpdated(true);
}

void TEdsDataSet::AddFieldDefsFromEngine(EDSHANDLE Cursor) {
    UNSIGNED16 count = 0;
    Check(EdsApi.EdsGetNumFields(Cursor, &count));
    FieldDefs().Clear();
    edsFieldDefs_->Clear();
    for (UNSIGNED16 number = 1; number <= count; ++number) {
        UNSIGNED16 type = 0;
        UNSIGNED32 length = 0;
        UNSIGNED16 decimals = 0;
        Check(EdsApi.EdsGetFieldType(Cursor, number, &type));
        Check(EdsApi.EdsGetFieldLength(Cursor, number, &length));
        db::TFieldType dataType = db::ftUnknown;
        int size = 0;
        switch (type) {
            case EDS_LOGICAL: dataType = db::ftBoolean; break;
            case EDS_NUMERIC:
                Check(EdsApi.EdsGetFieldDecimals(Cursor, number, &decimals));
                dataType = decimals == 0 && length < 5 ? db::ftSmallint : db::ftFloat;
                break;
            case EDS_DATE:
            case EDS_COMPACTDATE: dataType = db::ftDate; break;
            case EDS_STRING:
            case EDS_CISTRING:
                dataType = db::ftString;
                size = static_cast<int>(length);
                break;
            case EDS_MEMO:
            case EDS_VARCHAR:
                dataType = db::ftMemo;
                size = 1;
                break;
            case EDS_BINARY:
            case EDS_IMAGE:
                dataType = db::ftBlob;
                size = 1;
                break;
            case EDS_DOUBLE: dataType = db::ftFloat; break;
            case EDS_INTEGER: dataType = db::ftInteger; break;
            case EDS_SHORTINT: dataType = db::ftSmallint; break;
            case EDS_TIME: dataType = db::ftTime; break;
            case EDS_TIMESTAMP: dataType = db::ftDateTime; break;
            case EDS_AUTOINC: dataType = db::ftAutoInc; break;
            case EDS_RAW:
                dataType = db::ftBytes;
                size = static_cast<int>(length);
                break;
            case EDS_CURDOUBLE: dataType = db::ftCurrency; break;
            case EDS_MONEY:
                dataType = db::ftBCD;
                size = 4;
                break;
            default: RaiseEdsClientError(this, "Unknown field type (" + rtl::IntToStr(type) + ") encountered.");
        }
        UNSIGNED8 name[129] = {};
        UNSIGNED16 nameLength = sizeof name;
        Check(EdsApi.EdsGetFieldName(Cursor, number, name, &nameLength));
        db::TFieldDef* def = FieldDefs().Add(EdsBufferText(name, sizeof name, nameLength), dataType, size, false);
        if (dataType == db::ftBCD) def->SetPrecision(20);

        TEDSFieldDef* column = edsFieldDefs_->Add();
        column->Name = def->Name();
        column->FieldNum = number;
        Check(EdsApi.EdsGetFieldOffset(Cursor, number, &column->Offset));
        column->Length = length;
        column->FieldType = type;
        if (type != EDS_NUMERIC) Check(EdsApi.EdsGetFieldDecimals(Cursor, number, &decimals));
        column->Decimals = decimals;
        Check(EdsApi.EdsGetColumnPermissions(Cursor, number, &column->Permissions));
        column->Changed = 0;
    }
}

// ---- fetching ---------------------------------------------------------------------------

db::TGetResult TEdsDataSet::FetchRecord(db::TRecordBuffer Buffer, db::TGetMode Mode) {
    UNSIGNED16 fieldCount = 0;
    Check(EdsApi.EdsGetNumFields(cursor_, &fieldCount));
    const SIGNED32 step = Mode == db::gmPrior ? -1 : 1;
    for (;;) {
        UNSIGNED16 atEnd = 0;
        Check(EdsApi.EdsAtEOF(cursor_, &atEnd));
        if (atEnd != 0 && (Mode == db::gmCurrent || Mode == db::gmNext)) return db::grEOF;
        UNSIGNED16 atStart = 0;
        Check(EdsApi.EdsAtBOF(cursor_, &atStart));
        if (atStart != 0 && (Mode == db::gmCurrent || Mode == db::gmPrior)) return db::grBOF;

        UNSIGNED16 visible = 0;
        const UNSIGNED32 code = EdsApi.EdsIsRecordVisible(order_, &visible);
        if (code != 0 && code != EDS_E_NO_CURRENT_RECORD) Check(code);
        if (code != 0 || visible == 0) {
            if (Mode == db::gmCurrent) return db::grError;
            Check(EdsApi.EdsSkip(order_, step));
            continue;
        }

        UNSIGNED32 length = recordLength_;
        Check(EdsApi.EdsGetRecord(cursor_, Buffer, &length));
        UNSIGNED32 bookmarkLength = static_cast<UNSIGNED32>(BookmarkSize());
        Check(EdsApi.EdsGetBookmark60(order_ >= 1 ? order_ : cursor_, Buffer + bookmarkOffset_, &bookmarkLength));

        if (HasBlobColumns()) {
            for (int i = 0; i < edsFieldDefs_->Count(); ++i) {
                const TEDSFieldDef* column = (*edsFieldDefs_)[i];
                if (!IsEdsBlobType(column->FieldType)) continue;
                UNSIGNED16 empty = 0;
                Check(EdsApi.EdsIsEmpty(cursor_, column->FieldNum, &empty));
                StoreInt32(Buffer + column->Offset, empty != 0 ? 0 : -1);
            }
            switch (State()) {
                case db::dsBrowse:
                case db::dsEdit:
                case db::dsInsert:
                case db::dsCalcFields:
                case db::dsNewValue: ResetBlobCaches(Buffer); break;
                default: break;
            }
        }

        if (options_->EdsCharType() == OEM) {
            for (int i = 0; i < edsFieldDefs_->Count(); ++i) {
                const TEDSFieldDef* column = (*edsFieldDefs_)[i];
                if (!IsEdsCharType(column->FieldType)) continue;
                // The terminating zero lands on the byte after the column.
                std::uint8_t* place = Buffer + column->Offset;
                const std::uint8_t saved = place[column->Length];
                UNSIGNED32 room = column->Length + 1;
                const UNSIGNED32 fieldCode = EdsApi.EdsGetField(cursor_, column->FieldNum, place, &room, EDS_NONE);
                place[column->Length] = saved;
                Check(fieldCode);
            }
        }

        const bool calcFirst = options_->EdsCalcFieldsBeforeFilter();
        if (calcFirst) GetCalcFields(Buffer);
        if (OnFilterRecord() && Filtered() && !RecordAccepted(Buffer)) {
            // A record the filter now rejects cannot be read as the current one.
            if (Mode == db::gmCurrent) return db::grError;
            Check(EdsApi.EdsSkip(order_, step));
            continue;
        }
        if (!calcFirst) GetCalcFields(Buffer);
        return db::grOK;
    }
}

bool TEdsDataSet::RecordAccepted(db::TRecordBuffer Buffer) {
    const db::TRecordBuffer previous = filterBuffer_;
    filterBuffer_ = Buffer;
    bool accept = true;
    try {
        TTempState state(*this, db::dsFilter);
        OnFilterRecord()(*this, accept);
    } catch (...) {
        filterBuffer_ = previous;
        throw;
    }
    filterBuffer_ = previous;
    return accept;
}

db::TGetResult TEdsDataSet::GetRecord(db::TRecordBuffer Buffer, db::TGetMode Mode, bool) {
    if (cursor_ == kNoHandle || State() == db::dsInsert) return db::grError;
    switch (Mode) {
        case db::gmNext: Check(EdsApi.EdsSkip(order_, 1)); break;
        case db::gmPrior: Check(EdsApi.EdsSkip(order_, -1)); break;
        case db::gmCurrent: break;
        default: return db::grError;
    }
    const db::TGetResult result = FetchRecord(Buffer, Mode);
    if (result == db::grOK) {
        StoreInt32(Buffer + infoOffset_ + kInfoPosition, GetRecordPosition());
        Buffer[infoOffset_ + kInfoStatus] = 0;
        Buffer[infoOffset_ + kInfoBookmarkFlag] = static_cast<std::uint8_t>(db::bfCurrent);
    }
    return result;
}

// ---- positions and counts -----------------------------------------------------------------

UNSIGNED32 TEdsDataSet::CountRecords(EDSHANDLE Handle, UNSIGNED16 Option) {
    UNSIGNED32 count = 0;
    Check(EdsApi.EdsGetRecordCount(Handle, Option, &count));
    return count;
}

std::int32_t TEdsDataSet::GetRecordPosition() {
    if ((indexName_.empty() && indexFieldNames_.empty()) || !sequenced_) {
        UNSIGNED32 number = 0;
        Check(EdsApi.EdsGetRecordNum(cursor_, EDS_IGNOREFILTERS, &number));
        return static_cast<std::int32_t>(number);
    }
    if (sequencedLevel_ == slExact) {
        UNSIGNED32 key = 0;
        Check(EdsApi.EdsGetKeyNum(order_, EDS_RESPECTFILTERS, &key));
        return static_cast<std::int32_t>(key);
    }
    // The engine's relative position runs from 0 at the first to 1 at the last
    // visible record of the order: its inverse, rounded, is the position.
    double relative = 0;
    const UNSIGNED32 code = EdsApi.EdsGetRelKeyPos(order_, &relative);
    if (code == EDS_E_NO_POSITION) return 0;
    Check(code);
    const UNSIGNED32 count = CountRecords(order_, EDS_RESPECTFILTERS);
    if (count == 0) return 0;
    const double position = 1.0 + std::round(std::clamp(relative, 0.0, 1.0) * static_cast<double>(count - 1));
    return static_cast<std::int32_t>(std::clamp(position, 1.0, static_cast<double>(count)));
}

int TEdsDataSet::GetRecNo() {
    CheckActive();
    if (State() == db::dsCalcFields) {
        db::TRecordBuffer buffer = CalcBuffer();
        return buffer != nullptr ? LoadInt32(buffer + bookmarkOffset_) : -1;
    }
    if (RecordCountInBuffers() == 0 && State() != db::dsInsert) return -1;
    return LoadInt32(ActiveBuffer() + infoOffset_ + kInfoPosition);
}

void TEdsDataSet::SetRecNo(int Value) {
    CheckBrowseMode();
    DoBeforeScroll();
    // The same rule as GetRecordPosition, so that RecNo := RecNo stays put.
    if ((indexName_.empty() && indexFieldNames_.empty()) || !sequenced_) {
        Check(EdsApi.EdsGotoRecord(cursor_, static_cast<UNSIGNED32>(std::max(Value, 0))));
    } else {
        const UNSIGNED32 count = CountRecords(order_, EDS_RESPECTFILTERS);
        double relative = count > 1 ? static_cast<double>(Value - 1) / static_cast<double>(count - 1) : 0.0;
        relative = std::clamp(relative, 0.0, 1.0);
        Check(EdsApi.EdsSetRelKeyPos(order_, relative));
    }
    Resync({db::rmCenter});
    DoAfterScroll();
}

bool TEdsDataSet::IndexIsPlain(EDSHANDLE Index) {
    if (cursorTableType_ != EDS_EDT) {
        UNSIGNED32 flags = 0;
        Check(EdsApi.EdsGetIndexFlags(Index, &flags));
        if ((flags & EDS_UNIQUE) != 0) return false;
    }
    UNSIGNED8 condition[511] = {};
    UNSIGNED16 conditionLength = 510;
    Check(EdsApi.EdsGetIndexCondition(Index, condition, &conditionLength));
    if (conditionLength != 0 && condition[0] != 0) return false;
    for (UNSIGNED16 which : {EDS_TOP, EDS_BOTTOM}) {
        UNSIGNED8 scope[4083] = {};
        UNSIGNED16 scopeLength = 4082;
        const UNSIGNED32 code = EdsApi.EdsGetScope(Index, which, scope, &scopeLength);
        if (code == 0 || code == EDS_E_INSUFFICIENT_BUFFER) return false;
        if (code != EDS_E_NO_SCOPE) Check(code);
    }
    return true;
}

int TEdsDataSet::GetRecordCount() {
    CheckActive();
    UNSIGNED16 option = EDS_IGNOREFILTERS;
    if (options_->EdsFilterOptions() == RESPECT_WHEN_COUNTING) option = EDS_RESPECTFILTERS;
    else if (options_->EdsScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING) option = EDS_RESPECTSCOPES;
    EDSHANDLE handle = order_;
    // Filters alone: the table counts them as well as an index that does not
    // restrict the rows itself.
    if (option == EDS_RESPECTFILTERS && order_ != cursor_ && IndexIsPlain(order_)) handle = cursor_;
    if (options_->EdsFreshRecordCount()) option |= EDS_REFRESHCOUNT;
    return static_cast<int>(CountRecords(handle, option));
}

// ---- navigation and bookmarks -------------------------------------------------------------

void TEdsDataSet::InternalFirst() { Check(EdsApi.EdsGotoBOF(order_)); }

void TEdsDataSet::InternalLast() {
    Check(EdsApi.EdsGotoBottom(order_));
    Check(EdsApi.EdsSkip(order_, 1));
}

void TEdsDataSet::InternalGotoBookmark(const void* Bookmark) {
    if (State() == db::dsInsert) return;
    const auto record = static_cast<EDSHANDLE>(LoadInt32(static_cast<const std::uint8_t*>(Bookmark)));
    const UNSIGNED32 code = EdsApi.EdsGotoBookmark(cursor_, record);
    if (code != 0 && code != EDS_E_RECORD_NOT_FOUND) Check(code);
}

void TEdsDataSet::InternalSetToRecord(db::TRecordBuffer Buffer) {
    if (State() == db::dsInsert) return;
    // The buffer holds the record as it was read (an edit's changes aside): should
    // it be gone, the cursor stands where it stood, and the framework's next move
    // reaches its neighbour.
    const bool edited = State() == db::dsEdit && Buffer == ActiveBuffer() && oldValues_.size() >= recordLength_;
    const UNSIGNED32 code = EdsApi.EdsGotoBookmarkOrPlace(cursor_, BufferRecordNumber(Buffer),
                                                          edited ? oldValues_.data() : Buffer, recordLength_);
    if (code != 0 && code != EDS_E_RECORD_NOT_FOUND) Check(code);
}

void TEdsDataSet::InternalRefresh() {
    const UNSIGNED32 code = EdsApi.EdsRefreshRecord(cursor_);
    if (code != 0 && code != EDS_E_NO_CURRENT_RECORD) Check(code);
}

bool TEdsDataSet::BookmarkValid(const db::TBookmark& Bookmark) {
    if (!Active() || Bookmark.size() < 4) return false;
    CursorPosChanged();
    if (EdsApi.EdsGotoBookmark(cursor_, static_cast<EDSHANDLE>(LoadInt32(Bookmark.data()))) != 0) return false;
    UNSIGNED16 atEnd = 0;
    Check(EdsApi.EdsAtEOF(cursor_, &atEnd));
    if (atEnd != 0) return false;
    if (cursorTableType_ == EDS_CDX || cursorTableType_ == EDS_NTX) {
        UNSIGNED16 deleted = 0;
        Check(EdsApi.EdsIsRecordDeleted(cursor_, &deleted));
        if (deleted != 0) {
            UNSIGNED16 shown = 0;
            Check(EdsApi.EdsGetDeleted(&shown));
            return shown != 0;
        }
    }
    return true;
}

int TEdsDataSet::CompareBookmarks(const db::TBookmark& A, const db::TBookmark& B) {
    // The engine reads a whole bookmark from each side; one cut shorter names
    // no record and is ordered as no bookmark at all.
    const auto none = [this](const db::TBookmark& Mark) {
        return std::ssize(Mark) < std::max<std::ptrdiff_t>(sizeof(std::int32_t), BookmarkSize());
    };
    if (none(A) && none(B)) return 0;
    if (none(A)) return 1;
    if (none(B)) return -1;
    SIGNED32 result = 0;
    Check(EdsApi.EdsCompareBookmarks(A.data(), B.data(), &result));
    return result;
}

bool TEdsDataSet::GetCurrentRecord(db::TRecordBuffer Buffer) {
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != db::bfCurrent) return false;
    UpdateCursorPos();
    std::memcpy(Buffer, ActiveBuffer(), recordLength_);
    return true;
}

// ---- field values -------------------------------------------------------------------------

bool TEdsDataSet::GetFieldData(db::TField* Field, void* Buffer) {
    db::TRecordBuffer record = GetActiveRecordBuffer();
    if (record == nullptr) return false;
    if (Field->FieldNo() < 1) {
        switch (State()) {
            case db::dsBrowse:
            case db::dsEdit:
            case db::dsInsert:
            case db::dsCalcFields:
            case db::dsFilter: break;
            default: return false;
        }
        const std::uint8_t* slot = record + recordLength_ + Field->Offset();
        if (slot[0] == 0) return false;
        if (Buffer != nullptr) std::memcpy(Buffer, slot + 1, static_cast<std::size_t>(Field->DataSize()));
        return true;
    }
    const TEDSFieldDef* column = ColumnOf(Field);
    if (column == nullptr) return false;
    bool empty = false;
    TEdsBlobCache* cache = IsEdsBlobType(column->FieldType) ? BlobCache(record, column->FieldNum) : nullptr;
    if (cache != nullptr && (State() == db::dsEdit || State() == db::dsInsert) && cache->Modified())
        empty = cache->Size() == 0;
    else
        empty = EdsColumnIsEmpty(column->Layout(), record, cursorTableType_);
    if (empty) return false;
    if (Buffer != nullptr)
        ConvertEdsFieldToNative(this, column->Layout(), Field->DataType(), record, Buffer,
                                static_cast<std::size_t>(std::max(Field->DataSize(), 0)));
    return true;
}

std::unique_ptr<db::TStream> TEdsDataSet::CreateBlobStream(db::TField* Field, db::TBlobStreamMode Mode) {
    auto* blob = dynamic_cast<db::TBlobField*>(Field);
    if (blob == nullptr) RaiseEdsClientError(this, "Invalid blob open on non-blob field.");
    return std::make_unique<TEdsBlobStream>(blob, Mode);
}

db::TUpdateStatus TEdsDataSet::UpdateStatus() {
    RaiseEdsClientError(this, "The method UpdateStatus in TEdsDataSet is not supported.");
}

void TEdsDataSet::BatchMove() { RaiseEdsClientError(this, "The method BatchMove in TEdsDataSet is not supported."); }

void TEdsDataSet::RenameTable() { RaiseEdsClientError(this, "The method RenameTable in TEdsDataSet is not supported."); }

// ---- other overrides ------------------------------------------------------------------------

bool TEdsDataSet::GetCanModify() { return writable_ && !readOnly_; }

void TEdsDataSet::DataEvent(db::TDataEvent Event, std::intptr_t Info) {
    if (Event == db::dePropertyChange) indexDefs_.SetUpdated(false);
    if (Event == db::deUpdateState) EndEditBlobStreams();
    db::TDataSet::DataEvent(Event, Info);
}

bool TEdsDataSet::GetIsIndexField(db::TField* Field) {
    if (cursor_ == kNoHandle) return false;
    UNSIGNED16 segments = 0;
    if (order_ != cursor_) Check(EdsApi.EdsGetNumSegments(order_, &segments));
    if (State() == db::dsSetKey && segments == 0) return true;
    if (Field->FieldNo() < 1) return false;
    for (UNSIGNED16 segment = 0; segment < segments; ++segment) {
        db::TField* segmentField = FindField(SegmentName(order_, segment, 129));
        if (segmentField != nullptr && segmentField->FieldNo() == Field->FieldNo()) return true;
    }
    return false;
}

std::string TEdsDataSet::SegmentName(EDSHANDLE Index, UNSIGNED16 Segment, UNSIGNED16 Room) {
    std::string name(Room, '\0');
    UNSIGNED16 length = Room;
    Check(EdsApi.EdsGetSegmentFieldname(Index, Segment, reinterpret_cast<UNSIGNED8*>(name.data()), &length));
    return EdsBufferText(reinterpret_cast<const UNSIGNED8*>(name.data()), name.size(), length);
}

void TEdsDataSet::InternalHandleException() { EdsReportCurrentException(); }

// ---- provider support -----------------------------------------------------------------------

void TEdsDataSet::PSReset() {
    db::TDataSet::PSReset();
    if (Active()) {
        Check(EdsApi.EdsGotoTop(cursor_));
        CursorPosChanged();
    }
}

// A connection that is not connected says so itself: a transaction the provider
// believes in must not quietly not exist.
void TEdsDataSet::PSStartTransaction() {
    if (connection_ != nullptr) connection_->BeginTransaction();
}

void TEdsDataSet::PSEndTransaction(bool Commit) {
    if (connection_ == nullptr) return;
    if (Commit) connection_->Commit();
    else connection_->Rollback();
}

bool TEdsDataSet::PSInTransaction() { return connection_ != nullptr && connection_->InTransaction(); }

bool TEdsDataSet::PSUpdateRecord(db::TUpdateKind UpdateKind, db::TDataSet*) {
    if (!OnUpdateRecord) return false;
    db::TUpdateAction action = db::uaFail;
    OnUpdateRecord(*this, UpdateKind, action);
    return action == db::uaApplied;
}

int TEdsDataSet::PSExecuteStatement(const std::string& SQL, db::TParams* Params, std::unique_ptr<db::TDataSet>* ResultSet) {
    if (connection_ == nullptr)
        RaiseEdsClientError(this,
                            "A TEdsConnection component is required for TClientDataSet/IProvider support. Use "
                            "either the EdsConnection  property or the Database property to specify a "
                            "TEdsConnection instance.");
    TEdsConnection::TEdsStatementTableOptions tableOptions;
    tableOptions.LockType = options_->EdsLockType() == Proprietary ? EDS_PROPRIETARY_LOCKING : EDS_COMPATIBLE_LOCKING;
    tableOptions.CharType = options_->EdsCharType() == ANSI ? EDS_ANSI : EDS_OEM;
    tableOptions.Rights = options_->EdsRightsCheck() ? EDS_CHECK_RIGHTS : EDS_IGNORE_RIGHTS;
    tableOptions.TableType = engineTableType_;
    if (ResultSet == nullptr) return connection_->Execute(tableOptions, SQL, Params, false, nullptr);
    EDSHANDLE cursor = 0;
    const int rows = connection_->Execute(tableOptions, SQL, Params, false, &cursor);
    // The rows come back as an owner-less query over the statement's cursor.
    auto query = std::make_unique<TEdsQuery>();
    TEdsDataSet& wrapper = *query;
    wrapper.Close();
    wrapper.SetHandedOverCursor(cursor);
    if (cursor != 0 && cursor != kNoHandle) wrapper.Open();
    *ResultSet = std::move(query);
    return rows;
}
