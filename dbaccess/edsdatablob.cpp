#include "dbaccess/edsdatablob.h"

#include "dbaccess/edsdata.h"
#include "platform/db/Fields.h"

#include <cstring>

namespace {

constexpr EDSHANDLE kNoHandle = static_cast<EDSHANDLE>(-1);

bool StateHasBlobBuffer(db::TDataSetState state) {
    switch (state) {
        case db::dsBrowse:
        case db::dsEdit:
        case db::dsInsert:
        case db::dsCalcFields:
        case db::dsNewValue: return true;
        default: return false;
    }
}

}  // namespace

bool EdsBlobColumnIsText(EDSHANDLE Handle, UNSIGNED16 Column) {
    UNSIGNED16 type = 0;
    CheckEdsError(nullptr, EdsApi.EdsGetFieldType(Handle, Column, &type));
    if (type == EDS_BINARY || type == EDS_IMAGE) return false;
    if (type != EDS_MEMO) return true;
    UNSIGNED16 memoType = EDS_MEMO;
    CheckEdsError(nullptr, EdsApi.EdsGetMemoDataType(Handle, Column, &memoType));
    return memoType == EDS_MEMO;
}

// ---- TEdsBlobCache ------------------------------------------------------------------------

std::int64_t TEdsBlobCache::Write(const void* buffer, std::int64_t count) {
    modified_ = true;
    return db::TMemoryStream::Write(buffer, count);
}

void TEdsBlobCache::Reset() {
    Clear();
    handle_ = kNoHandle;
    column_ = 0;
    recordNumber_ = 0;
    modified_ = false;
    ++lease_;
}

bool TEdsBlobCache::HoldsZeroByte() {
    return Size() > 0 && std::memchr(Memory(), 0, static_cast<std::size_t>(Size())) != nullptr;
}

void TEdsBlobCache::ClearForWriting() {
    Clear();
    modified_ = true;
}

void TEdsBlobCache::ReadBlob(EDSHANDLE Handle, UNSIGNED16 Column, UNSIGNED32 RecordNumber, bool Force) {
    if (!Force && Handle == handle_ && Column == column_ && RecordNumber == recordNumber_) {
        Seek(0, db::TSeekOrigin::soBeginning);
        return;
    }
    Clear();
    handle_ = Handle;
    recordNumber_ = RecordNumber;
    column_ = Column;
    modified_ = false;
    if (RecordNumber == 0) return;
    try {
        ReadFromEngine();
    } catch (const EEDSDatabaseError& error) {
        recordNumber_ = 0;
        Clear();
        if (error.ErrorCode() != static_cast<std::int32_t>(EDS_E_NO_CURRENT_RECORD) &&
            error.ErrorCode() != static_cast<std::int32_t>(EDS_E_RECORD_NOT_FOUND))
            throw;
    }
    Seek(0, db::TSeekOrigin::soBeginning);
}

void TEdsBlobCache::ReadFromEngine() {
    UNSIGNED32 current = 0;
    CheckEdsError(nullptr, EdsApi.EdsGetRecordNum(handle_, EDS_IGNOREFILTERS, &current));
    if (current != recordNumber_) CheckEdsError(nullptr, EdsApi.EdsGotoRecord(handle_, recordNumber_));

    const bool binary = !EdsBlobColumnIsText(handle_, column_);
    UNSIGNED32 length = 0;
    const UNSIGNED32 code = binary ? EdsApi.EdsGetBinaryLength(handle_, column_, &length)
                                   : EdsApi.EdsGetMemoLength(handle_, column_, &length);
    if (code == EDS_E_NO_CURRENT_RECORD) {
        recordNumber_ = 0;
        return;
    }
    CheckEdsError(nullptr, code);
    // Text comes with its terminating zero.
    const UNSIGNED32 room = binary ? length : length + 1;
    if (room == 0) return;
    SetSize(room);
    UNSIGNED32 got = room;
    CheckEdsError(nullptr, EdsApi.EdsGetField(handle_, column_, Memory(), &got, EDS_NONE));
    SetSize(std::min(got, room));
}

void TEdsBlobCache::WriteBlob() {
    if (!modified_) return;
    static const UNSIGNED8 kNothing = 0;
    const UNSIGNED8* bytes = Size() > 0 ? Memory() : &kNothing;
    CheckEdsError(nullptr, EdsApi.EdsSetField(handle_, column_, bytes, static_cast<UNSIGNED32>(Size())));
    modified_ = false;
}

// ---- TEdsBlobStream ------------------------------------------------------------------------

TEdsBlobStream::TEdsBlobStream(db::TBlobField* Field, db::TBlobStreamMode Mode)
    : field_(Field), dataSet_(static_cast<TEdsDataSet*>(Field->DataSet())), mode_(Mode) {
    const db::TDataSetState state = dataSet_->State();
    if (Mode != db::bmRead && state != db::dsEdit && state != db::dsInsert)
        RaiseEdsClientError(dataSet_, "Table must be in Edit or Insert state to open blob stream in Write Mode.");
    if (!StateHasBlobBuffer(state)) return;
    db::TRecordBuffer buffer = dataSet_->GetActiveRecordBuffer();
    if (buffer == nullptr) return;
    UNSIGNED16 type = 0;
    dataSet_->Check(EdsApi.EdsGetFieldType(dataSet_->Handle(), Field->FieldNo(), &type));
    TEdsBlobCache* cache = dataSet_->BlobCache(buffer, Field->FieldNo());
    if (!IsEdsBlobType(type) || cache == nullptr) RaiseEdsClientError(dataSet_, "Invalid blob open on non-blob field.");
    const bool editing = state == db::dsEdit || state == db::dsInsert;
    const bool force = editing && Mode == db::bmReadWrite && !cache->Modified();
    cache->ReadBlob(dataSet_->Handle(), static_cast<UNSIGNED16>(Field->FieldNo()), dataSet_->BufferRecordNumber(buffer),
                    force);
    if (Mode == db::bmWrite) {
        cache->ClearForWriting();
        modified_ = true;
    }
    cache_ = cache->weak_from_this();
    lease_ = cache->Lease();
    dataSet_->CursorPosChanged();
}

TEdsBlobCache* TEdsBlobStream::Cache() const {
    // The buffer that owns the cache keeps it alive between calls; the lease
    // tells whether it still holds the value this stream was opened on.
    const std::shared_ptr<TEdsBlobCache> cache = cache_.lock();
    return cache != nullptr && cache->Lease() == lease_ ? cache.get() : nullptr;
}

TEdsBlobStream::~TEdsBlobStream() {
    // Without its cache the field and the dataset may be gone, and the edit
    // the change was meant for is over.
    if (!modified_ || Cache() == nullptr) return;
    try {
        field_->SetModified(true);
        dataSet_->DataEvent(db::deFieldChange, reinterpret_cast<std::intptr_t>(field_));
    } catch (...) {
        EdsReportCurrentException();
    }
}

std::int64_t TEdsBlobStream::Read(void* buffer, std::int64_t count) {
    TEdsBlobCache* cache = Cache();
    return cache != nullptr ? cache->Read(buffer, count) : 0;
}

TEdsBlobCache* TEdsBlobStream::WritableCache() const {
    TEdsBlobCache* cache = Cache();
    // Without a cache the dataset may be gone: the error names none.
    TEdsDataSet* owner = cache != nullptr ? dataSet_ : nullptr;
    if (mode_ != db::bmWrite && mode_ != db::bmReadWrite) RaiseEdsClientError(owner, "Error modifying read only blob.");
    if (cache == nullptr) RaiseEdsClientError(nullptr, "Cannot write to blob in current state.");
    return cache;
}

std::int64_t TEdsBlobStream::Write(const void* buffer, std::int64_t count) {
    const std::int64_t written = WritableCache()->Write(buffer, count);
    modified_ = true;
    return written;
}

std::int64_t TEdsBlobStream::Seek(std::int64_t offset, db::TSeekOrigin origin) {
    TEdsBlobCache* cache = Cache();
    return cache != nullptr ? cache->Seek(offset, origin) : 0;
}

std::int64_t TEdsBlobStream::Size() {
    TEdsBlobCache* cache = Cache();
    return cache != nullptr ? cache->Size() : 0;
}

void TEdsBlobStream::SetSize(std::int64_t size) {
    TEdsBlobCache* cache = WritableCache();
    cache->SetSize(size);
    cache->MarkModified();
    modified_ = true;
}
