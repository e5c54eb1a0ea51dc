// Turning the framework's insert, edit, post, cancel and delete into engine
// calls, and storing field values into record buffers.

#include "dbaccess/edsdata.h"

#include "dbaccess/edsdatablob.h"
#include "platform/db/DBError.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

constexpr UNSIGNED32 kUpdateRight = EDS_UPDATE_RIGHT;
constexpr UNSIGNED32 kInsertRight = EDS_INSERT_RIGHT;
constexpr EDSHANDLE kNoHandle = static_cast<EDSHANDLE>(-1);
// Days from 1 January of year 1 (day 1) to the run-time library's day 0.
constexpr double kDateDelta = 693594.0;
constexpr double kMsPerDay = 86400000.0;

[[noreturn]] void NumericOutOfRange(const std::string& Text) { throw rtl::EConvertError("Numeric out of range:" + Text); }

std::int32_t ToInt32(double Value, const std::string& Text) {
    if (!std::isfinite(Value) || Value < INT32_MIN || Value > INT32_MAX) NumericOutOfRange(Text);
    return static_cast<std::int32_t>(std::llround(Value));
}

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
    if (MasterLinkActive()) {
        // Segment i of the active index takes master field i.
        const std::vector<db::TField*> masters = MasterLinkFields();
        for (std::size_t i = 0; i < masters.size(); ++i) {
            const std::string name = SegmentName(order_, static_cast<UNSIGNED16>(i), 510);
            FieldByName(name)->SetValue(masters[i]->Value());
        }
    }
    db::TDataSet::DoOnNewRecord();
}

void TEdsDataSet::StoreDefaultValue(db::TRecordBuffer Buffer, TEDSFieldDef& Column, db::TField& Field) {
    const std::string text = rtl::Trim(Field.DefaultExpression());
    const TEdsColumnLayout layout = Column.Layout();
    auto store = [&](const void* native, std::size_t size) {
        ConvertNativeToEdsField(this, layout, Field.DataType(), native, size, Buffer, cursorTableType_);
    };
    switch (Column.FieldType) {
        case EDS_LOGICAL: {
            const std::string upper = rtl::UpperCase(text);
            const std::int16_t value = upper == "TRUE" || upper == "T" || upper == ".T." || upper == "1" ? -1 : 0;
            store(&value, sizeof value);
            break;
        }
        case EDS_NUMERIC:
        case EDS_DOUBLE:
        case EDS_CURDOUBLE: {
            const double value = rtl::StrToFloat(text);
            if (Field.DataType() == db::ftSmallint) {
                const std::int32_t whole = ToInt32(value, text);
                if (whole < -32767 || whole > 32767) NumericOutOfRange(text);
                const auto shortValue = static_cast<std::int16_t>(whole);
                store(&shortValue, sizeof shortValue);
            } else {
                store(&value, sizeof value);
            }
            break;
        }
        case EDS_DATE:
        case EDS_COMPACTDATE: {
            const std::int32_t day = ToInt32(std::floor(rtl::StrToDate(text)) + kDateDelta, text);
            store(&day, sizeof day);
            break;
        }
        case EDS_STRING:
        case EDS_CISTRING:
            // Only a quoted text is a character default; anything else stores nothing.
            if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
                const std::string value = TextToNative(text.substr(1, text.size() - 2));
                store(value.c_str(), value.size() + 1);
            }
            break;
        case EDS_INTEGER:
        case EDS_SHORTINT: {
            const int value = rtl::StrToInt(text);
            const bool fits = Column.FieldType == EDS_SHORTINT ? value >= -32767 && value <= 32767 : value != INT_MIN;
            if (!fits) NumericOutOfRange(text);
            if (Field.DataType() == db::ftSmallint) {
                const auto shortValue = static_cast<std::int16_t>(value);
                store(&shortValue, sizeof shortValue);
            } else {
                const auto longValue = static_cast<std::int32_t>(value);
                store(&longValue, sizeof longValue);
            }
            break;
        }
        case EDS_TIME: {
            const double time = rtl::StrToTime(text);
            const std::int32_t ms = ToInt32((time - std::floor(time)) * kMsPerDay, text);
            store(&ms, sizeof ms);
            break;
        }
        case EDS_TIMESTAMP: {
            const double ms = std::round((rtl::StrToDateTime(text) + kDateDelta) * kMsPerDay);
            store(&ms, sizeof ms);
            break;
        }
        default: break;  // raw, money and unknown types take no default
    }
}

void TEdsDataSet::InternalInitRecord(db::TRecordBuffer Buffer) {
    Check(EdsApi.EdsClearRecordBuffer(cursor_, Buffer, recordLength_));
    UNSIGNED16 columns = 0;
    Check(EdsApi.EdsGetNumFields(cursor_, &columns));
    // Most tables give no field a default: then no column needs its field
    // looked up by name, which for every inserted row adds up.
    bool defaults = false;
    for (int i = 0; i < Fields().Count() && !defaults; ++i) defaults = !Fields()[i]->DefaultExpression().empty();
    for (int i = 0; i < edsFieldDefs_->Count(); ++i) {
        TEDSFieldDef* column = (*edsFieldDefs_)[i];
        column->Changed = State() == db::dsEdit ? 1 : 0;
        if (column->FieldType == EDS_AUTOINC) std::memset(Buffer + column->Offset, 0xFF, 4);
        if (!defaults || IsEdsBlobType(column->FieldType)) continue;
        db::TField* field = FindField(column->Name);
        if (field == nullptr || field->DefaultExpression().empty()) continue;
        try {
            StoreDefaultValue(Buffer, *column, *field);
        } catch (const rtl::Exception& error) {
            throw EEDSDatabaseError(this, 0,
                                    "Error setting default field value. (" + field->DisplayName() + ")\r\n" +
                                        error.Message());
        }
        column->Changed = 1;
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

void TEdsDataSet::ReleaseEditLock() noexcept {
    editStarting_ = false;
    if (editLockRecord_ != 0 && editLockCursor_ == cursor_) EdsApi.EdsUnlockRecord(cursor_, editLockRecord_);
    editLockRecord_ = 0;
    editLockCursor_ = kNoHandle;
}

void TEdsDataSet::InternalEdit() {
    if ((openOptions_ & kUpdateRight) == 0) RaiseRightsError("Update permission not granted on this table.");
    // Only an edit that failed after its lock can have left one behind.
    ReleaseEditLock();
    db::TRecordBuffer buffer = ActiveBuffer();
    const bool pessimistic = !exclusive_ && options_->EdsRecordLockingMode() == lmPessimistic;
    if (pessimistic) {
        const UNSIGNED32 record = BufferRecordNumber(buffer);
        const UNSIGNED32 code = EdsApi.EdsLockRecord(cursor_, record);
        if (code == EDS_E_STATIC_VIEW)
            throw EEDSDatabaseError(this, static_cast<std::int32_t>(EDS_E_STATIC_VIEW),
                                    "This table is based on a static VIEW. Static VIEWs can not be updated.");
        Check(code);
        editLockCursor_ = cursor_;
        editLockRecord_ = record;
    }
    // The lock goes back if the edit does not start after all.
    struct TLockGuard {
        TEdsDataSet& dataSet;
        bool armed = true;
        ~TLockGuard() {
            if (armed) dataSet.ReleaseEditLock();
        }
    } guard{*this};
    FetchCurrentOrFail(buffer);
    if (!exclusive_ && options_->EdsRecordLockingMode() == lmOptimistic)
        Check(EdsApi.EdsGetRecordCRC(cursor_, &recordChecksum_, 0));
    oldValues_.assign(buffer, buffer + recordLength_);
    oldValues_.push_back(0);
    for (int i = 0; i < edsFieldDefs_->Count(); ++i) (*edsFieldDefs_)[i]->Changed = 0;
    guard.armed = false;
    editStarting_ = true;
}

void TEdsDataSet::CalculateFields(db::TRecordBuffer Buffer) {
    try {
        db::TDataSet::CalculateFields(Buffer);
    } catch (...) {
        if (editStarting_) {
            editStarting_ = false;
            ReleaseEditLock();
        }
        throw;
    }
}

void TEdsDataSet::DoAfterEdit() {
    editStarting_ = false;
    db::TDataSet::DoAfterEdit();
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
    editStarting_ = false;
    db::TDataSet::InternalPost();
    db::TRecordBuffer buffer = ActiveBuffer();
    const bool editing = State() == db::dsEdit;
    const bool optimistic = editing && !exclusive_ && options_->EdsRecordLockingMode() == lmOptimistic;
    const bool pessimistic = editing && !exclusive_ && options_->EdsRecordLockingMode() == lmPessimistic;
    // Without its lock another station may have changed the record since the
    // edit read it: writing now would lose that change.
    if (pessimistic && (editLockRecord_ == 0 || editLockCursor_ != cursor_ || editLockRecord_ != BufferRecordNumber(buffer)))
        RaiseEdsClientError(this, "The record is no longer locked for this edit. Cancel the edit and edit the record again.");
    bool shortLock = false;
    try {
        if (editing) {
            // The record as the edit read it places the cursor should it be gone,
            // so that a cancel moves on to its neighbour.
            const std::uint8_t* read = oldValues_.size() >= recordLength_ ? oldValues_.data() : buffer;
            Check(EdsApi.EdsGotoBookmarkOrPlace(cursor_, BufferRecordNumber(buffer), read, recordLength_));
            if (optimistic) {
                Check(EdsApi.EdsLockRecord(cursor_, 0));
                shortLock = true;
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
    } catch (...) {
        // A pessimistic lock stays: the record is still being edited, and a
        // repeated post or a cancel ends the edit.
        if (shortLock) EdsApi.EdsUnlockRecord(cursor_, 0);
        throw;
    }
    if (editing && !exclusive_) {
        const UNSIGNED32 code = EdsApi.EdsUnlockRecord(cursor_, BufferRecordNumber(buffer));
        editLockRecord_ = 0;
        editLockCursor_ = kNoHandle;
        Check(code);
    }
}

void TEdsDataSet::InternalCancel() {
    editStarting_ = false;
    const bool editing = State() == db::dsEdit;
    // A cancel that raises leaves the dataset in its edit, and the edit keeps its
    // lock: a post then still writes under it, and a later cancel gives it back.
    const UNSIGNED32 code = EdsApi.EdsCancelUpdate(cursor_);
    if (code != 0 && code != EDS_E_NO_CURRENT_RECORD && code != EDS_E_NO_PENDING_UPDATE) Check(code);
    if (State() == db::dsInsert) {
        if (Eof()) {
            InternalLast();
            return;
        }
        // The buffer after the inserted one holds the record that was current;
        // with a full ring it was pushed into the spare buffer at the end.
        const int next = ActiveRecord() + 1;
        if (next > BufferCount() || GetBookmarkFlag(Buffers(next)) != db::bfCurrent) {
            InternalLast();
            return;
        }
        // Should that record be gone, the cursor stands where it stood.
        const db::TRecordBuffer following = Buffers(next);
        const UNSIGNED32 gotoCode =
            EdsApi.EdsGotoBookmarkOrPlace(cursor_, BufferRecordNumber(following), following, recordLength_);
        if (gotoCode != 0 && gotoCode != EDS_E_RECORD_NOT_FOUND) Check(gotoCode);
        return;
    }
    // A record that another station deleted (or a filter now rejects) cannot be
    // read again; the edit ends all the same, and the framework's resync moves
    // to a neighbour as a browse move from a vanished record does.
    FetchRecord(ActiveBuffer(), db::gmCurrent);
    if (!editing) return;
    if (exclusive_ || options_->EdsRecordLockingMode() != lmPessimistic) {
        ReleaseEditLock();
    } else {
        const UNSIGNED32 record = editLockRecord_ != 0 ? editLockRecord_ : BufferRecordNumber(ActiveBuffer());
        editLockRecord_ = 0;
        editLockCursor_ = kNoHandle;
        Check(EdsApi.EdsUnlockRecord(cursor_, record));
    }
}

void TEdsDataSet::InternalDelete() {
    UNSIGNED32 code = EdsApi.EdsDeleteRecord(cursor_);
    if (code == 0) code = EdsApi.EdsWriteRecord(cursor_);
    if (code != 0) {
        // The error is read before the cancel, whose own answer would
        // replace the engine's last error text.
        try {
            Check(code);
        } catch (...) {
            EdsApi.EdsCancelUpdate(cursor_);
            throw;
        }
    }
    UNSIGNED16 shown = 0;
    Check(EdsApi.EdsGetDeleted(&shown));
    if (shown == 0) Check(EdsApi.EdsSkip(order_, 1));
}
