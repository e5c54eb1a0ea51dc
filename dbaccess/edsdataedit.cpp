// Turning the framework's insert, edit, post, cancel and delete into engine
// calls, and storing field values into record buffers.

#include "dbaccess/edsdata.h"

#include "dbaccess/edsdatablob.h"
#include "platform/db/DBError.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr UNSIGNED32 kUpdateRight = EDS_UPDATE_RIGHT;
constexpr UNSIGNED32 kInsertRight = EDS_INSERT_RIGHT;

}  // namespace

void TEdsDataSet::FetchCurrentOrFail(db::TRecordBuffer Buffer) {
    // A record that can no longer be read (gone, or now rejected by a filter)
    // is an error, never a silent switch to another record.
    if (FetchRecord(Buffer, db::gmCurrent) != db::grOK) db::DatabaseError(db::texts::SRecordNotFound, this);
}

void TEdsDataSet::RaiseRightsError(const std::string& Text) {
    Check(EdsApi.EdsSetLastError(static_cast<UNSIGNED32>(EDS_E_PERMISSION_DENIED), EdsText(Text)));
    // The engine answered success to recording the error: raise it anyway.
    throw EEDSDatabaseError(this, static_cast<std::int32_t>(EDS_E_PERMISSION_DENIED), Text);
}

void TEdsDataSet::InternalInsert() {
    std::memset(ActiveBuffer() + bookmarkOffset_, 0, 4);
    oldValues_.clear();
}

void TEdsDataSet::DoOnNewRecord() {
    if (State() == db::dsInsert && (openOptions_ & kInsertRight) == 0)
        RaiseRightsError("Insert permission not granted on this table.");
    db::TDataSet::DoOnNewRecord();
}

void TEdsDataSet::InternalInitRecord(db::TRecordBuffer Buffer) {
    Check(EdsApi.EdsClearRecordBuffer(cursor_, Buffer, recordLength_));
    for (int i = 0; i < edsFieldDefs_->Count(); ++i) {
        TEDSFieldDef* column = (*edsFieldDefs_)[i];
        column->Changed = State() == db::dsEdit ? 1 : 0;
        if (column->FieldType == EDS_AUTOINC) std::memset(Buffer + column->Offset, 0xFF, 4);
    }
    if (HasBlobColumns()) {
        switch (State()) {
            case db::dsBrowse:
            case db::dsEdit:
            case db::dsInsert:
            case db::dsCalcFields:
            case db::dsNewValue: ResetBlobCaches(Buffer); break;
            default: break;
        }
    }
}

void TEdsDataSet::InternalAddRecord(db::TRecordBuffer Buffer, bool) {
    if (Buffer != ActiveBuffer()) RaiseEdsClientError(this, "Unexpected error in InternalAddRecord.");
    InternalPost();
}

void TEdsDataSet::InternalEdit() {
    if ((openOptions_ & kUpdateRight) == 0) RaiseRightsError("Update permission not granted on this table.");
    db::TRecordBuffer buffer = ActiveBuffer();
    const bool pessimistic = !exclusive_ && options_->EdsRecordLockingMode() == lmPessimistic;
    if (pessimistic) {
        const UNSIGNED32 code = EdsApi.EdsLockRecord(cursor_, BufferRecordNumber(buffer));
        if (code == EDS_E_STATIC_VIEW)
            throw EEDSDatabaseError(this, static_cast<std::int32_t>(EDS_E_STATIC_VIEW),
                                    "This table is based on a static VIEW. Static VIEWs can not be updated.");
        Check(code);
    }
    try {
        FetchCurrentOrFail(buffer);
        if (!exclusive_ && options_->EdsRecordLockingMode() == lmOptimistic)
            Check(EdsApi.EdsGetRecordCRC(cursor_, &recordChecksum_, 0));
    } catch (...) {
        if (pessimistic) EdsApi.EdsUnlockRecord(cursor_, BufferRecordNumber(buffer));
        throw;
    }
    oldValues_.assign(buffer, buffer + recordLength_);
    oldValues_.push_back(0);
    for (int i = 0; i < edsFieldDefs_->Count(); ++i) (*edsFieldDefs_)[i]->Changed = 0;
}

void TEdsDataSet::SetFieldData(db::TField* Field, const void* Buffer) {
    const db::TDataSetState state = State();
    switch (state) {
        case db::dsEdit:
        case db::dsInsert:
        case db::dsSetKey:
        case db::dsCalcFields:
        case db::dsFilter:
        case db::dsNewValue:
        case db::dsInternalCalc: break;
        default: RaiseEdsClientError(this, "Dataset not in edit mode");
    }
    db::TRecordBuffer record = GetActiveRecordBuffer();
    if (record == nullptr) return;
    if (state == db::dsSetKey) {
        bool indexed = Field->FieldNo() >= 0;
        if (indexed && order_ != cursor_) {
            UNSIGNED16 segments = 0;
            Check(EdsApi.EdsGetNumSegments(order_, &segments));
            if (segments > 0) indexed = GetIsIndexField(Field);
        }
        if (!indexed) db::DatabaseErrorFmt(db::texts::SNotIndexField, {Field->DisplayName()}, this);
    }
    if (Field->FieldNo() < 1) {
        std::uint8_t* slot = record + recordLength_ + Field->Offset();
        slot[0] = Buffer != nullptr ? 1 : 0;
        if (Buffer != nullptr) std::memcpy(slot + 1, Buffer, static_cast<std::size_t>(Field->DataSize()));
    } else {
        if (state == db::dsCalcFields) RaiseEdsClientError(this, "Dataset not in edit mode");
        if (Field->ReadOnly() && state != db::dsSetKey && state != db::dsFilter)
            db::DatabaseErrorFmt(db::texts::SFieldReadOnly, {Field->DisplayName()}, this);
        if (state == db::dsEdit || state == db::dsInsert) Field->Validate(Buffer);
        TEDSFieldDef* column = edsFieldDefs_->Count() >= Field->FieldNo() ? (*edsFieldDefs_)[Field->FieldNo() - 1] : nullptr;
        if (column == nullptr) return;
        if (Field->FieldKind() != db::fkInternalCalc) {
            if (state == db::dsEdit && (column->Permissions & EDS_PERMISSION_UPDATE) == 0)
                RaiseRightsError("Update permission not granted on this field: " + Field->FieldName() + ".");
            if (state == db::dsInsert && (column->Permissions & EDS_PERMISSION_INSERT) == 0)
                RaiseRightsError("Insert permission not granted on this field: " + Field->FieldName() + ".");
            ConvertNativeToEdsField(this, column->Layout(), Field->DataType(), Buffer,
                                    static_cast<std::size_t>(std::max(Field->DataSize(), 0)), record, cursorTableType_);
            column->Changed = 1;
        }
        if (state == db::dsSetKey) KeyFieldStored(*column, Field, Buffer);
    }
    if (state != db::dsCalcFields && state != db::dsFilter && state != db::dsNewValue)
        DataEvent(db::deFieldChange, reinterpret_cast<std::intptr_t>(Field));
}

void TEdsDataSet::WriteChangedColumns(db::TRecordBuffer Buffer) {
    for (int i = edsFieldDefs_->Count() - 1; i >= 0; --i) {
        const TEDSFieldDef* column = (*edsFieldDefs_)[i];
        if (column->Changed == 0 || IsEdsBlobType(column->FieldType) || column->FieldType == EDS_AUTOINC) continue;
        const std::uint8_t* value = Buffer + column->Offset;
        if (IsEdsCharType(column->FieldType)) {
            const bool blank = std::all_of(value, value + column->Length, [](std::uint8_t b) { return b == ' ' || b == 0; });
            if (blank) Check(EdsApi.EdsSetEmpty(cursor_, column->FieldNum));
            else Check(EdsApi.EdsSetField(cursor_, column->FieldNum, value, column->Length));
        } else {
            Check(EdsApi.EdsSetFieldRaw(cursor_, column->FieldNum, value, column->Length));
        }
    }
    for (int i = 0; i < edsFieldDefs_->Count(); ++i) {
        const TEDSFieldDef* column = (*edsFieldDefs_)[i];
        TEdsBlobCache* cache = IsEdsBlobType(column->FieldType) ? BlobCache(Buffer, column->FieldNum) : nullptr;
        if (cache == nullptr || !cache->Modified()) continue;
        std::memset(Buffer + column->Offset, cache->Size() == 0 ? 0 : 0xFF, 4);
        // The cache may have been read through another handle, or not at all.
        if (cache->Handle() != cursor_ || cache->Column() != column->FieldNum) {
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(cache->Size()));
            if (!bytes.empty()) std::memcpy(bytes.data(), cache->Memory(), bytes.size());
            cache->ReadBlob(cursor_, column->FieldNum, 0, true);
            cache->ClearForWriting();
            if (!bytes.empty()) cache->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        }
        cache->WriteBlob();
    }
}

void TEdsDataSet::InternalPost() {
    db::TDataSet::InternalPost();
    db::TRecordBuffer buffer = ActiveBuffer();
    const bool editing = State() == db::dsEdit;
    const bool optimistic = editing && !exclusive_ && options_->EdsRecordLockingMode() == lmOptimistic;
    bool locked = false;
    try {
        if (editing) {
            Check(EdsApi.EdsGotoRecord(cursor_, BufferRecordNumber(buffer)));
            if (optimistic) {
                Check(EdsApi.EdsLockRecord(cursor_, 0));
                locked = true;
                UNSIGNED32 checksum = 0;
                Check(EdsApi.EdsGetRecordCRC(cursor_, &checksum, 0));
                if (checksum != recordChecksum_)
                    throw EEDSDatabaseError(this, static_cast<std::int32_t>(EDS_E_RECORD_CHANGED),
                                            "Record was changed by another user.");
            }
        } else if (GetBookmarkFlag(buffer) != db::bfInserted) {
            Check(EdsApi.EdsAppendRecord(cursor_));
            SetBookmarkFlag(buffer, db::bfInserted);
            UNSIGNED32 number = 0;
            Check(EdsApi.EdsGetRecordNum(cursor_, EDS_IGNOREFILTERS, &number));
            std::memcpy(buffer + bookmarkOffset_, &number, sizeof number);
        }
        WriteChangedColumns(buffer);
        Check(EdsApi.EdsWriteRecord(cursor_));
        if (editing && !exclusive_) Check(EdsApi.EdsUnlockRecord(cursor_, BufferRecordNumber(buffer)));
    } catch (...) {
        if (locked) EdsApi.EdsUnlockRecord(cursor_, 0);
        throw;
    }
}

void TEdsDataSet::InternalCancel() {
    const UNSIGNED32 code = EdsApi.EdsCancelUpdate(cursor_);
    if (code != 0 && code != EDS_E_NO_CURRENT_RECORD && code != EDS_E_NO_PENDING_UPDATE) Check(code);
    const bool editing = State() == db::dsEdit;
    if (State() == db::dsInsert) {
        if (Eof()) {
            InternalLast();
            return;
        }
        // The record after the inserted one is the one that was current.
        const int next = ActiveRecord() + 1;
        if (next >= RecordCountInBuffers()) {
            InternalLast();
            return;
        }
        const UNSIGNED32 record = BufferRecordNumber(Buffers(next));
        const UNSIGNED32 gotoCode = EdsApi.EdsGotoBookmark(cursor_, record);
        if (gotoCode != 0 && gotoCode != EDS_E_RECORD_NOT_FOUND) Check(gotoCode);
        return;
    }
    db::TRecordBuffer buffer = ActiveBuffer();
    FetchCurrentOrFail(buffer);
    if (editing && !exclusive_ && options_->EdsRecordLockingMode() == lmPessimistic)
        Check(EdsApi.EdsUnlockRecord(cursor_, BufferRecordNumber(buffer)));
}

void TEdsDataSet::InternalDelete() {
    UNSIGNED32 code = EdsApi.EdsDeleteRecord(cursor_);
    if (code == 0) code = EdsApi.EdsWriteRecord(cursor_);
    if (code != 0) {
        EdsApi.EdsCancelUpdate(cursor_);
        Check(code);
    }
    UNSIGNED16 shown = 0;
    Check(EdsApi.EdsGetDeleted(&shown));
    if (shown == 0) Check(EdsApi.EdsSkip(order_, 1));
}
