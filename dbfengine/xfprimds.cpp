#include "dbfengine/xfprimds.h"

#include <cstring>

namespace xf {

using namespace db;

namespace {

// Record info: record number (4), a reserved byte, the bookmark flag; then the bookmark.
constexpr int kInfoSize = 6;
constexpr int kBookmarkSize = 4;

}  // namespace

TXfPrimDataset::TXfPrimDataset(rtl::TComponent* owner) : TDataSet(owner) {}

TXfPrimDataset::~TXfPrimDataset() = default;

void TXfPrimDataset::CheckResult(int code)
{
    if (code == xfOk) return;
    if (code == xfNoFileName) DatabaseError("Missing DbfFilename property", this);
    if (code >= xfError && code <= xfAtEnd) DatabaseError("Dataset error: " + std::to_string(code), this);
    DatabaseError("Dataset error: " + ErrorText(code), this);
}

void TXfPrimDataset::DataEvent(TDataEvent event, std::intptr_t info)
{
    // Every edit begins and ends with a change of state; temporary states pass
    // no event and leave the edit as it is.
    if (event == deUpdateState) {
        if (State() != dsEdit && State() != dsInsert) editLife_.reset();
        else if (!editLife_) editLife_ = std::make_shared<int>();
    }
    TDataSet::DataEvent(event, info);
}

std::uint8_t* TXfPrimDataset::InfoOf(TRecordBuffer buffer) const { return buffer + nativeSize_ + CalcFieldsSize(); }

TRecordBuffer TXfPrimDataset::AllocRecordBuffer()
{
    const std::size_t size = static_cast<std::size_t>(nativeSize_ + CalcFieldsSize() + kInfoSize + kBookmarkSize);
    auto storage = std::make_unique<std::uint8_t[]>(size);
    TRecordBuffer buffer = storage.get();
    buffers_[buffer] = std::move(storage);
    return buffer;
}

void TXfPrimDataset::FreeRecordBuffer(TRecordBuffer& buffer)
{
    buffers_.erase(buffer);
    buffer = nullptr;
}

std::int32_t TXfPrimDataset::RecNoOf(TRecordBuffer buffer) const
{
    std::int32_t n = 0;
    std::memcpy(&n, InfoOf(buffer), 4);
    return n;
}

void TXfPrimDataset::GetBookmarkData(TRecordBuffer buffer, void* data) { std::memcpy(data, InfoOf(buffer) + kInfoSize, kBookmarkSize); }

TBookmarkFlag TXfPrimDataset::GetBookmarkFlag(TRecordBuffer buffer) { return static_cast<TBookmarkFlag>(InfoOf(buffer)[5]); }

void TXfPrimDataset::SetBookmarkData(TRecordBuffer buffer, const void* data)
{
    std::memcpy(InfoOf(buffer) + kInfoSize, data, kBookmarkSize);
    std::memcpy(InfoOf(buffer), data, 4);
}

void TXfPrimDataset::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) { InfoOf(buffer)[5] = static_cast<std::uint8_t>(flag); }

TGetResult TXfPrimDataset::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck)
{
    std::int32_t recNo = 0;
    int code = xfError;
    switch (mode) {
    case gmCurrent: code = XfiGetRecord(buffer, recNo); break;
    case gmNext: code = XfiGetNextRecord(buffer, recNo); break;
    case gmPrior: code = XfiGetPriorRecord(buffer, recNo); break;
    }
    if (code == xfAtBegin) return grBOF;
    if (code == xfAtEnd) return grEOF;
    if (code != xfOk) {
        if (doCheck) CheckResult(code);
        return grError;
    }
    std::uint8_t* info = InfoOf(buffer);
    std::memcpy(info, &recNo, 4);
    info[5] = static_cast<std::uint8_t>(bfCurrent);
    std::memcpy(info + kInfoSize, &recNo, 4);
    GetCalcFields(buffer);
    return grOK;
}

void TXfPrimDataset::InternalOpen()
{
    CheckResult(XfiOpen());
    cursorOpen_ = true;
    try {
        InternalInitFieldDefs();
        if (DefaultFields()) CreateFields();
        BindFields(true);
        nativeSize_ = XfiGetRecordSize();
        SetBookmarkSize(kBookmarkSize);
        InternalFirst();
    } catch (...) {
        cursorOpen_ = false;
        XfiClose();
        throw;
    }
}

void TXfPrimDataset::InternalClose()
{
    const bool wasOpen = cursorOpen_;
    cursorOpen_ = false;
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    if (wasOpen) CheckResult(XfiClose());
}

void TXfPrimDataset::InternalFirst() { CheckResult(XfiSetToBegin()); }

void TXfPrimDataset::InternalLast() { CheckResult(XfiSetToEnd()); }

void TXfPrimDataset::InternalInitRecord(TRecordBuffer buffer) { CheckResult(XfiInitRecord(buffer)); }

void TXfPrimDataset::ClearCalcFields(TRecordBuffer buffer) { std::memset(buffer + nativeSize_, 0, static_cast<std::size_t>(CalcFieldsSize())); }

void TXfPrimDataset::InternalAddRecord(TRecordBuffer buffer, bool append)
{
    TDataSet::InternalPost();
    CheckResult(append ? XfiAppendRecord(buffer) : XfiInsertRecord(buffer));
}

void TXfPrimDataset::InternalPost()
{
    TDataSet::InternalPost();
    if (State() == dsEdit) {
        CheckResult(XfiPostRecord(ActiveBuffer()));
    } else {
        CheckResult(XfiInsertRecord(ActiveBuffer()));
    }
}

void TXfPrimDataset::InternalDelete() { CheckResult(XfiDeleteRecord()); }

void TXfPrimDataset::InternalRefresh() { CheckResult(XfiForceReread()); }

void TXfPrimDataset::InternalSetToRecord(TRecordBuffer buffer)
{
    const int code = XfiGoToRecNo(RecNoOf(buffer));
    if (code != xfAtEnd) CheckResult(code);
}

bool TXfPrimDataset::LocateRecord(const std::string& keyFields, const Variant& keyValues, TLocateOptions options)
{
    CheckBrowseMode();
    CursorPosChanged();
    const int code = XfiLocateRecord(keyFields, keyValues, options);
    if (code == xfAtEnd) return false;
    CheckResult(code);
    return true;
}

int TXfPrimDataset::XfiLocateRecord(const std::string& keyFields, const Variant& keyValues, TLocateOptions options)
{
    return TDataSet::LocateRecord(keyFields, keyValues, options) ? xfOk : xfAtEnd;
}

Variant TXfPrimDataset::Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultFields)
{
    if (keyValues.IsClear()) return Variant::Null();
    Variant result = Variant::Null();
    if (LocateRecord(keyFields, keyValues, {})) {
        scratch_.assign(static_cast<std::size_t>(nativeSize_ + CalcFieldsSize() + kInfoSize + kBookmarkSize), 0);
        TRecordBuffer buffer = scratch_.data();
        if (GetRecord(buffer, gmCurrent, true) == grOK) {
            TTempState temp(*this, dsCalcFields);
            SetCalcBuffer(buffer);
            result = FieldValues(resultFields);
        }
    }
    // The cursor goes back to the active record before it is next used.
    CursorPosChanged();
    return result;
}

void TXfPrimDataset::InternalGotoBookmark(const void* bookmark)
{
    std::int32_t n = 0;
    std::memcpy(&n, bookmark, 4);
    if (XfiGoToRecNo(n) != xfOk) {
        RefusedTarget();
        DatabaseError("Record not found", this);
    }
}

void TXfPrimDataset::RefusedTarget()
{
    // The primitive left the engine at its end; the dataset still shows its record,
    // and the engine goes back to it before it is next used.
    CursorPosChanged();
}

int TXfPrimDataset::CompareBookmarks(const TBookmark& a, const TBookmark& b)
{
    if (a.size() < 4 || b.size() < 4) return a.size() < 4 ? (b.size() < 4 ? 0 : -1) : 1;
    std::int32_t x = 0, y = 0;
    std::memcpy(&x, a.data(), 4);
    std::memcpy(&y, b.data(), 4);
    return x < y ? -1 : x > y ? 1 : 0;
}

bool TXfPrimDataset::BookmarkValid(const TBookmark& bookmark)
{
    if (!Active() || bookmark.size() < 4) return false;
    std::int32_t n = 0;
    std::memcpy(&n, bookmark.data(), 4);
    int count = 0;
    return XfiGetRecordCount(count) == xfOk && n >= 1 && n <= count;
}

int TXfPrimDataset::GetRecordCount()
{
    CheckActive();
    int count = 0;
    CheckResult(XfiGetRecordCount(count));
    return count;
}

int TXfPrimDataset::GetRecNo()
{
    CheckActive();
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return -1;
    return RecNoOf(ActiveBuffer());
}

void TXfPrimDataset::SetRecNo(int value)
{
    CheckBrowseMode();
    if (XfiGoToRecNo(value) != xfOk) {
        RefusedTarget();
        return;
    }
    Resync(TResyncMode {rmCenter});
    DoAfterScroll();
}

TRecordBuffer TXfPrimDataset::BufferForState() const
{
    switch (State()) {
    case dsBrowse:
    case dsBlockRead: return RecordCountInBuffers() == 0 ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue: return ActiveBuffer();
    case dsCalcFields:
    case dsInternalCalc: return CalcBuffer();
    default: return nullptr;
    }
}

bool TXfPrimDataset::GetFieldData(TField* field, void* buffer)
{
    TRecordBuffer record = BufferForState();
    if (!record) return false;
    if (field->FieldNo() < 1) {
        const std::uint8_t* slot = record + nativeSize_ + field->Offset();
        if (!slot[0]) return false;
        if (buffer) std::memcpy(buffer, slot + 1, static_cast<std::size_t>(field->DataSize()));
        return true;
    }
    return XfiGetFieldData(field, record, buffer);
}

void TXfPrimDataset::SetFieldData(TField* field, const void* buffer)
{
    const TDataSetState state = State();
    TRecordBuffer record = BufferForState();
    if (!IsWriteState(state) || !record) DatabaseError("Dataset not in edit or insert mode", this);
    if (field->FieldNo() < 1) {
        if (state != dsCalcFields && state != dsInternalCalc) DatabaseError("Field '" + field->DisplayName() + "' cannot be modified", this);
        std::uint8_t* slot = record + nativeSize_ + field->Offset();
        slot[0] = buffer ? 1 : 0;
        if (buffer) {
            std::memcpy(slot + 1, buffer, static_cast<std::size_t>(field->DataSize()));
        } else {
            std::memset(slot + 1, 0, static_cast<std::size_t>(field->DataSize()));
        }
        return;
    }
    if (state == dsCalcFields) DatabaseError("Dataset not in edit or insert mode", this);
    if (field->ReadOnly()) DatabaseError("Field '" + field->DisplayName() + "' cannot be modified", this);
    if (state == dsEdit || state == dsInsert) field->Validate(buffer);
    XfiSetFieldData(field, record, buffer);
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

}  // namespace xf
