#include "platform/db/DataSet.h"

#include "platform/db/Convert.h"
#include "platform/db/Params.h"

#include <algorithm>
#include <exception>

namespace db {

TDataSet::TDataSet(rtl::TComponent* owner) : rtl::TComponent(owner), fields_(this), fieldDefs_(this) {}

TDataSet::~TDataSet() {
    Destroying();
    // A descendant should have closed; its buffers cannot be freed from here.
    auto sources = dataSources_;
    for (TDataSource* source : sources) source->DataSetDestroyed();
    dataSources_.clear();
    fields_.Clear();
}

// ---------------------------------------------------------------- state

void TDataSet::CheckActive() const {
    if (state_ == dsInactive) DatabaseError(texts::SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
    if (Active()) DatabaseError(texts::SDataSetOpen, this);
}

void TDataSet::CheckCanModify() {
    if (!GetCanModify()) DatabaseError(texts::SDataSetReadOnly, this);
}

void TDataSet::SetState(TDataSetState state) {
    if (state_ == state) return;
    state_ = state;
    modified_ = false;
    DataEvent(deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState state) {
    const TDataSetState old = state_;
    state_ = state;
    return old;
}

void TDataSet::RestoreState(TDataSetState state) { state_ = state; }

TRecordBuffer TDataSet::ActiveBuffer() const {
    if (buffers_.empty()) return nullptr;
    return buffers_[static_cast<size_t>(activeRecord_)];
}

// ---------------------------------------------------------------- open and close

void TDataSet::SetActive(bool on) {
    if (ComponentState().Contains(rtl::csLoading)) {
        streamedActive_ = on;
        return;
    }
    if (Active() == on) return;
    if (on) {
        DoBeforeOpen();
        try {
            OpenCursor(false);
        } catch (...) {
            // A dataset that failed to open is closed, even when only the
            // first fetch failed; a failure while closing it must not hide
            // the first one.
            internalOpenComplete_ = false;
            try {
                OpenCursorComplete();
            } catch (...) {
            }
            throw;
        }
        OpenCursorComplete();
    } else {
        if (state_ == dsEdit || state_ == dsInsert) Cancel();
        else if (state_ == dsSetKey) Post();
        const bool destroying = ComponentState().Contains(rtl::csDestroying);
        if (!destroying) DoBeforeClose();
        SetState(dsInactive);
        CloseCursor();
        if (!destroying) DoAfterClose();
    }
}

void TDataSet::Loaded() {
    rtl::TComponent::Loaded();
    if (streamedActive_) {
        streamedActive_ = false;
        SetActive(true);
    }
}

void TDataSet::OpenCursor(bool infoQuery) {
    if (infoQuery) {
        InternalInitFieldDefs();
    } else if (state_ != dsOpening) {
        DoInternalOpen();
    }
}

void TDataSet::DoInternalOpen() {
    defaultFields_ = fields_.Count() == 0;
    InternalOpen();
    internalOpenComplete_ = true;
    UpdateBufferCount();
    bof_ = true;
}

void TDataSet::OpenCursorComplete() {
    if (internalOpenComplete_) {
        SetState(dsBrowse);
        DoAfterOpen();
        if (!IsEmpty()) DoAfterScroll();
    } else {
        SetState(dsInactive);
        CloseCursor();
    }
}

void TDataSet::CloseCursor() {
    internalOpenComplete_ = false;
    ClearBuffers();
    SetBufListSize(0);
    bufferCount_ = 0;
    std::exception_ptr failure;
    if (IsCursorOpen()) {
        try {
            InternalClose();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // Also after a failed open or close, so no half-bound fields stay behind.
    if (defaultFields_) DestroyFields();
    else BindFields(false);
    defaultFields_ = false;
    if (failure) std::rethrow_exception(failure);
}

void TDataSet::InitFieldDefs() {
    if (IsCursorOpen()) {
        InternalInitFieldDefs();
    } else {
        // The cursor opened only to read the definitions closes on every path.
        struct Closer {
            TDataSet& ds;
            ~Closer() {
                try {
                    if (ds.IsCursorOpen()) ds.InternalClose();
                } catch (...) {
                    // Nothing was read through it; a failing close is moot.
                }
            }
        } closer{*this};
        OpenCursor(true);
    }
    fieldDefs_.SetUpdated(true);
}

// ---------------------------------------------------------------- fields

void TDataSet::CreateFields() {
    for (int i = 0; i < fieldDefs_.Count(); ++i) {
        TFieldDef* def = fieldDefs_[i];
        if (def->DataType() == ftUnknown) continue;
        def->CreateField(this);
    }
}

void TDataSet::DestroyFields() { fields_.Clear(); }

void TDataSet::BindFields(bool binding) {
    calcFieldsSize_ = 0;
    hasLookupFields_ = false;
    for (TField* field : fields_.List()) {
        if (!binding) {
            field->fieldNo_ = 0;
            field->offset_ = 0;
            continue;
        }
        if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
            field->fieldNo_ = -1;
            field->offset_ = calcFieldsSize_;
            calcFieldsSize_ += field->DataSize() + 1;
            if (field->FieldKind() == fkLookup) {
                hasLookupFields_ = true;
                if (!field->LookupDataSet() || field->KeyFields().empty() || field->LookupKeyFields().empty() ||
                    field->LookupResultField().empty())
                    DatabaseErrorFmt(texts::SLookupInfoError, {field->DisplayName()}, this);
            }
            continue;
        }
        TFieldDef* def = fieldDefs_.Find(field->FieldName());
        const bool compatible =
            def->DataType() == field->DataType() ||
            (def->DataType() == ftAutoInc && field->DataType() == ftInteger) ||
            (def->DataType() == ftFixedChar && field->DataType() == ftString) ||
            (def->DataType() == ftFmtMemo && field->DataType() == ftMemo);
        if (!compatible)
            DatabaseErrorFmt(texts::SFieldTypeMismatch,
                             {field->DisplayName(), FieldTypeName(field->DataType()), FieldTypeName(def->DataType())},
                             this);
        field->fieldNo_ = def->FieldNo();
        field->offset_ = 0;
    }
}

TFieldClass TDataSet::GetFieldClass(TFieldType type) {
    switch (type) {
        case ftString:
        case ftFixedChar:
        case ftWideString: return &MakeField<TStringField>;
        case ftSmallint: return &MakeField<TSmallintField>;
        case ftInteger: return &MakeField<TIntegerField>;
        case ftWord: return &MakeField<TWordField>;
        case ftLargeint: return &MakeField<TLargeintField>;
        case ftBoolean: return &MakeField<TBooleanField>;
        case ftFloat: return &MakeField<TFloatField>;
        case ftCurrency: return &MakeField<TCurrencyField>;
        case ftBCD: return &MakeField<TBCDField>;
        case ftDate: return &MakeField<TDateField>;
        case ftTime: return &MakeField<TTimeField>;
        case ftDateTime: return &MakeField<TDateTimeField>;
        case ftBytes: return &MakeField<TBytesField>;
        case ftVarBytes: return &MakeField<TVarBytesField>;
        case ftAutoInc: return &MakeField<TAutoIncField>;
        case ftBlob:
        case ftGraphic:
        case ftTypedBinary: return &MakeField<TBlobField>;
        case ftMemo:
        case ftFmtMemo: return &MakeField<TMemoField>;
        default: return nullptr;
    }
}

TField* TDataSet::FieldByNumber(int fieldNo) const {
    for (TField* f : fields_.List())
        if (f->FieldNo() == fieldNo && f->FieldKind() != fkCalculated && f->FieldKind() != fkLookup) return f;
    return nullptr;
}

std::vector<TField*> TDataSet::GetFieldList(const std::string& names) const {
    std::vector<TField*> list;
    for (const std::string& name : SplitFieldNames(names)) list.push_back(FieldByName(name));
    return list;
}

std::vector<std::string> TDataSet::GetFieldNames() const {
    std::vector<std::string> names;
    if (fields_.Count() > 0) {
        for (TField* f : fields_.List()) names.push_back(f->FieldName());
    } else {
        for (int i = 0; i < fieldDefs_.Count(); ++i) names.push_back(fieldDefs_[i]->Name());
    }
    return names;
}

Variant TDataSet::FieldValues(const std::string& names) const {
    auto list = GetFieldList(names);
    if (list.size() == 1) return list[0]->AsVariant();
    std::vector<Variant> values;
    for (TField* f : list) values.push_back(f->AsVariant());
    return Variant::ArrayOf(std::move(values));
}

void TDataSet::SetFieldValues(const std::string& names, const Variant& values) {
    auto list = GetFieldList(names);
    if (list.size() == 1) {
        list[0]->SetAsVariant(values.IsArray() ? values[0] : values);
        return;
    }
    for (size_t i = 0; i < list.size(); ++i) list[i]->SetAsVariant(values[i]);
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
    if (calcFieldsSize_ == 0 && !OnCalcFields) return;
    TTempState temp(*this, dsCalcFields);
    CalculateFields(buffer);
}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
    calcBuffer_ = buffer;
    if (state_ != dsInternalCalc) {
        ClearCalcFields(buffer);
        if (hasLookupFields_)
            for (TField* f : fields_.List())
                if (f->FieldKind() == fkLookup) f->CalcLookupValue();
    }
    DoOnCalcFields();
}

Variant TDataSet::GetStateFieldValue(TDataSetState state, TField* field) {
    TTempState temp(*this, state);
    return field->AsVariant();
}

void TDataSet::CheckRequiredFields() {
    for (TField* f : fields_.List())
        if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->IsNull())
            DatabaseErrorFmt(texts::SFieldRequired, {f->DisplayName()}, this);
}

void TDataSet::InternalPost() { CheckRequiredFields(); }

void TDataSet::InternalHandleException() {}

void TDataSet::InitRecord(TRecordBuffer buffer) {
    InternalInitRecord(buffer);
    ClearCalcFields(buffer);
    SetBookmarkFlag(buffer, bfInserted);
}

// ---------------------------------------------------------------- buffer ring

void TDataSet::SetBufListSize(int size) {
    size = std::max(size, 0);
    while (static_cast<int>(buffers_.size()) > size) {
        TRecordBuffer buffer = buffers_.back();
        buffers_.pop_back();
        FreeRecordBuffer(buffer);
    }
    buffers_.reserve(static_cast<size_t>(size));
    while (static_cast<int>(buffers_.size()) < size) buffers_.push_back(AllocRecordBuffer());
    recordCount_ = std::min(recordCount_, std::max(0, size - 1));
    if (activeRecord_ >= std::max(recordCount_, 1)) activeRecord_ = std::max(recordCount_ - 1, 0);
    if (currentRecord_ >= recordCount_) currentRecord_ = -1;
}

void TDataSet::SetBufferCount(int count) {
    count = std::max(count, 1);
    if (count == bufferCount_) return;
    if (!IsCursorOpen() || buffers_.empty()) {
        bufferCount_ = count;
        if (IsCursorOpen()) SetBufListSize(count + 1);
        return;
    }
    if (count < bufferCount_) {
        // Keep the active record inside the smaller window: drop records
        // from the front first.
        const int drop = std::max(0, activeRecord_ - (count - 1));
        if (drop > 0) {
            std::rotate(buffers_.begin(), buffers_.begin() + drop, buffers_.begin() + recordCount_);
            recordCount_ -= drop;
            activeRecord_ -= drop;
            currentRecord_ = currentRecord_ >= drop ? currentRecord_ - drop : -1;
        }
        recordCount_ = std::min(recordCount_, count);
        if (currentRecord_ >= recordCount_) currentRecord_ = -1;
        bufferCount_ = count;
        SetBufListSize(count + 1);
    } else {
        bufferCount_ = count;
        SetBufListSize(count + 1);
        if (state_ == dsBrowse && recordCount_ > 0) {
            GetNextRecords();
            GetPriorRecords();
        }
    }
}

void TDataSet::UpdateBufferCount() {
    if (!IsCursorOpen()) return;
    int count = 1;
    for (TDataSource* source : dataSources_)
        for (TDataLink* link : source->links_) count = std::max(count, link->BufferCount());
    if (buffers_.empty()) {
        bufferCount_ = count;
        SetBufListSize(count + 1);
        GetNextRecords();
    } else {
        SetBufferCount(count);
    }
}

void TDataSet::ClearBuffers() {
    recordCount_ = 0;
    activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = true;
    eof_ = true;
}

void TDataSet::ActivateBuffers() {
    recordCount_ = 1;
    activeRecord_ = 0;
    currentRecord_ = 0;
    bof_ = false;
    eof_ = false;
}

void TDataSet::MoveBuffer(int from, int to) {
    if (from == to) return;
    auto begin = buffers_.begin();
    if (from < to) std::rotate(begin + from, begin + from + 1, begin + to + 1);
    else std::rotate(begin + to, begin + from, begin + from + 1);
}

void TDataSet::SetCurrentRecord(int index) {
    if (currentRecord_ == index) return;
    TRecordBuffer buffer = buffers_.at(static_cast<size_t>(index));
    currentRecord_ = -1;
    switch (GetBookmarkFlag(buffer)) {
        case bfCurrent:
        case bfInserted: InternalSetToRecord(buffer); break;
        case bfBOF: InternalFirst(); break;
        case bfEOF: InternalLast(); break;
    }
    currentRecord_ = index;
}

void TDataSet::UpdateCursorPos() {
    if (recordCount_ > 0) SetCurrentRecord(activeRecord_);
}

// A fetch that fails leaves the cursor somewhere unknown: the next move
// repositions it from the buffers.
TGetResult TDataSet::FetchInto(TRecordBuffer buffer, TGetMode mode) {
    try {
        return GetRecord(buffer, mode, true);
    } catch (...) {
        CursorPosChanged();
        throw;
    }
}

bool TDataSet::GetNextRecord() {
    if (recordCount_ > 0) SetCurrentRecord(recordCount_ - 1);
    TRecordBuffer spare = buffers_.at(static_cast<size_t>(recordCount_));
    if (FetchInto(spare, gmNext) != grOK) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0) {
        ActivateBuffers();  // the spare was buffer 0
        return true;
    }
    if (recordCount_ < bufferCount_) {
        ++recordCount_;
    } else {
        // Buffer 0 becomes the spare; the active index now names the
        // record after the one it named (callers that scroll rely on it).
        MoveBuffer(0, recordCount_);
    }
    currentRecord_ = recordCount_ - 1;
    return true;
}

bool TDataSet::GetPriorRecord() {
    if (recordCount_ > 0) SetCurrentRecord(0);
    TRecordBuffer spare = buffers_.at(static_cast<size_t>(recordCount_));
    if (FetchInto(spare, gmPrior) != grOK) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0) {
        ActivateBuffers();
        return true;
    }
    MoveBuffer(recordCount_, 0);
    if (recordCount_ < bufferCount_) {
        ++recordCount_;
        ++activeRecord_;
    }
    currentRecord_ = 0;
    return true;
}

int TDataSet::GetNextRecords() {
    int n = 0;
    while (recordCount_ < bufferCount_ && GetNextRecord()) ++n;
    return n;
}

int TDataSet::GetPriorRecords() {
    int n = 0;
    while (recordCount_ < bufferCount_ && GetPriorRecord()) ++n;
    return n;
}

void TDataSet::Resync(TResyncMode mode) {
    if (buffers_.empty()) return;  // closed: nothing to re-read
    TRecordBuffer spare = buffers_.at(static_cast<size_t>(recordCount_));
    if (mode.Contains(rmExact)) {
        CursorPosChanged();
        if (GetRecord(spare, gmCurrent, true) != grOK) DatabaseError(texts::SRecordNotFound, this);
    } else if (GetRecord(spare, gmCurrent, false) != grOK && GetRecord(spare, gmNext, false) != grOK &&
               GetRecord(spare, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange);
        return;
    }
    int before = mode.Contains(rmCenter) ? (bufferCount_ - 1) / 2 : activeRecord_;
    MoveBuffer(recordCount_, 0);
    ActivateBuffers();
    try {
        while (before > 0 && GetPriorRecord()) --before;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange);
        throw;
    }
    DataEvent(deDataSetChange);
}

// ---------------------------------------------------------------- navigation

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalFirst();
        GetNextRecords();
    } catch (...) {
        bof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    bof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalLast();
        GetPriorRecords();
    } catch (...) {
        eof_ = true;
        DataEvent(deDataSetChange);
        throw;
    }
    eof_ = true;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
    CheckBrowseMode();
    int moved = 0;
    DoBeforeScroll();
    if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
        bof_ = false;
        eof_ = false;
        const int oldRecordCount = recordCount_;
        int scrolled = 0;
        try {
            while (distance > 0) {
                if (activeRecord_ < recordCount_ - 1) {
                    ++activeRecord_;
                } else {
                    const bool full = recordCount_ == bufferCount_;
                    if (!GetNextRecord()) {
                        eof_ = true;
                        break;
                    }
                    if (full) --scrolled;
                    activeRecord_ = recordCount_ - 1;
                }
                --distance;
                ++moved;
            }
            while (distance < 0) {
                if (activeRecord_ > 0) {
                    --activeRecord_;
                } else {
                    const bool full = recordCount_ == bufferCount_;
                    if (!GetPriorRecord()) {
                        bof_ = true;
                        break;
                    }
                    if (full) ++scrolled;
                    activeRecord_ = 0;
                }
                ++distance;
                --moved;
            }
        } catch (...) {
            DataEvent(deDataSetChange);
            throw;
        }
        if (recordCount_ != oldRecordCount) DataEvent(deDataSetChange);
        else DataEvent(deDataSetScroll, scrolled);
        DoAfterScroll();
    }
    return moved;
}

void TDataSet::Refresh() {
    CheckBrowseMode();
    DoBeforeRefresh();
    UpdateCursorPos();
    InternalRefresh();
    Resync({});
    DoAfterRefresh();
}

// ---------------------------------------------------------------- editing

void TDataSet::CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& onError) {
    for (;;) {
        try {
            UpdateCursorPos();
            operation();
            return;
        } catch (EDatabaseError& e) {
            TDataAction action = daFail;
            if (onError) onError(*this, e, action);
            if (action == daFail) throw;
            if (action == daAbort) throw EAbort();
        }
    }
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeInsert();
    DoBeforeScroll();
    undoBookmark_ = GetBookmark();
    undoActive_ = activeRecord_;
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        // The new record never existed: take its buffer out of the ring and
        // stand on the record that was current before.
        SetState(dsBrowse);
        UndoInsert();
        throw;
    }
    modified_ = false;
    DataEvent(deDataSetChange);
    DoAfterInsert();
    DoAfterScroll();
}

void TDataSet::UndoInsert() {
    // The ring is rebuilt around the record that was current when the insert
    // began (or from the start when there was none or it is gone).
    ClearBuffers();
    if (!undoBookmark_.empty()) {
        try {
            InternalGotoBookmark(undoBookmark_.data());
            activeRecord_ = std::min(undoActive_, bufferCount_ - 1);
            Resync({});
            return;
        } catch (const EDatabaseError&) {
            ClearBuffers();
        }
    }
    InternalFirst();
    GetNextRecords();
    DataEvent(deDataSetChange);
}

void TDataSet::Insert() {
    BeginInsertAppend();
    const TBookmark oldCurrent = undoBookmark_;
    MoveBuffer(recordCount_, activeRecord_);
    TRecordBuffer buffer = ActiveBuffer();
    InitRecord(buffer);
    if (recordCount_ == 0) SetBookmarkFlag(buffer, bfBOF);
    else if (!oldCurrent.empty()) SetBookmarkData(buffer, oldCurrent.data());
    if (recordCount_ < bufferCount_) ++recordCount_;
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    ClearBuffers();
    TRecordBuffer buffer = buffers_.at(0);
    InitRecord(buffer);
    SetBookmarkFlag(buffer, bfEOF);
    recordCount_ = 1;
    bof_ = false;
    GetPriorRecords();
    eof_ = true;
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Edit() {
    if (state_ == dsEdit || state_ == dsInsert) return;
    if (recordCount_ == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeEdit();
    CheckOperation([this] { InternalEdit(); }, OnEditError);
    GetCalcFields(ActiveBuffer());
    SetState(dsEdit);
    DataEvent(deRecordChange);
    DoAfterEdit();
}

void TDataSet::UpdateRecord() {
    if (!IsWriteState(state_)) DatabaseError(texts::SNotEditing, this);
    DataEvent(deUpdateRecord);
}

void TDataSet::Post() {
    UpdateRecord();
    if (state_ != dsEdit && state_ != dsInsert) return;
    DataEvent(deCheckBrowseMode);
    DoBeforePost();
    CheckOperation([this] { InternalPost(); }, OnPostError);
    SetState(dsBrowse);
    Resync({});
    DoAfterPost();
}

void TDataSet::Cancel() {
    if (state_ != dsEdit && state_ != dsInsert) return;
    DataEvent(deCheckBrowseMode);
    DoBeforeCancel();
    const bool scrollEvents = state_ == dsInsert;
    if (scrollEvents) DoBeforeScroll();
    UpdateCursorPos();
    InternalCancel();
    SetState(dsBrowse);
    Resync({});
    DoAfterCancel();
    if (scrollEvents) DoAfterScroll();
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert || state_ == dsSetKey) {
        Cancel();
        return;
    }
    if (recordCount_ == 0) DatabaseError(texts::SDataSetEmpty, this);
    DataEvent(deCheckBrowseMode);
    DoBeforeDelete();
    DoBeforeScroll();
    CheckOperation([this] { InternalDelete(); }, OnDeleteError);
    SetState(dsBrowse);
    Resync({});
    DoAfterDelete();
    DoAfterScroll();
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode);
    switch (state_) {
        case dsEdit:
        case dsInsert:
            UpdateRecord();
            if (modified_) Post();
            else Cancel();
            break;
        case dsSetKey: Post(); break;
        default: break;
    }
}

void TDataSet::SetFields(const std::vector<Variant>& values) {
    if (!IsWriteState(state_)) DatabaseError(texts::SNotEditing, this);
    for (size_t i = 0; i < values.size() && static_cast<int>(i) < fields_.Count(); ++i)
        if (!values[i].IsEmpty()) fields_[static_cast<int>(i)]->SetAsVariant(values[i]);
}

void TDataSet::ClearFields() {
    if (state_ != dsEdit && state_ != dsInsert) DatabaseError(texts::SNotEditing, this);
    DataEvent(deCheckBrowseMode);
    InternalInitRecord(ActiveBuffer());
    if (state_ != dsSetKey) GetCalcFields(ActiveBuffer());
    DataEvent(deRecordChange);
}

void TDataSet::InsertOrAppendRecord(const std::vector<Variant>& values, bool append) {
    if (append) Append();
    else Insert();
    try {
        SetFields(values);
        DataEvent(deCheckBrowseMode);
        DoBeforePost();
        CheckOperation([&] { InternalAddRecord(ActiveBuffer(), append); }, OnPostError);
    } catch (...) {
        Cancel();
        throw;
    }
    SetState(dsBrowse);
    Resync({});
    DoAfterPost();
}

// ---------------------------------------------------------------- controls and events

void TDataSet::DisableControls() {
    if (disableCount_ == 0) {
        disableState_ = state_;
        enableEvent_ = deDataSetChange;
    }
    ++disableCount_;
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ != 0) return;
    if (state_ != disableState_) DataEvent(deUpdateState);
    if (disableState_ != dsInactive && state_ != dsInactive) DataEvent(enableEvent_);
}

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info) {
    switch (event) {
        case deFieldChange: {
            auto* field = reinterpret_cast<TField*>(info);
            if (field && (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc)) modified_ = true;
            if (field && state_ != dsSetKey && autoCalcFields_ && field->FieldKind() == fkData &&
                (calcFieldsSize_ != 0 || OnCalcFields) && ActiveBuffer())
                GetCalcFields(ActiveBuffer());
            if (field) field->Change();
            break;
        }
        case dePropertyChange: fieldDefs_.SetUpdated(false); break;
        default: break;
    }
    if (disableCount_ != 0 || state_ == dsBlockRead) {
        if (event == deLayoutChange) enableEvent_ = deLayoutChange;
        return;
    }
    auto sources = dataSources_;
    for (TDataSource* source : sources) source->DataEvent(event, info);
}

void TDataSet::AddDataSource(TDataSource* source) {
    dataSources_.push_back(source);
    UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
    dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), source), dataSources_.end());
    if (!ComponentState().Contains(rtl::csDestroying)) UpdateBufferCount();
}

bool TDataSet::IsLinkedTo(const TDataSource* source) {
    // Walks the master chain upwards from `source`.
    const TDataSource* s = source;
    for (int guard = 0; s && guard < 1000; ++guard) {
        TDataSet* ds = s->DataSet();
        if (!ds) return false;
        if (ds == this) return true;
        s = ds->GetDataSource();
    }
    return false;
}

void TDataSet::GetDetailLinkFields(std::vector<TField*>& masterFields, std::vector<TField*>& detailFields) {
    masterFields.clear();
    detailFields.clear();
}

// ---------------------------------------------------------------- filters and searching

void TDataSet::SetFiltered(bool on) {
    if (Active()) CheckBrowseMode();
    filtered_ = on;
}

void TDataSet::SetFilterText(const std::string& text) {
    if (Active()) CheckBrowseMode();
    filterText_ = text;
}

void TDataSet::SetFilterOptions(TFilterOptions options) {
    if (Active()) CheckBrowseMode();
    filterOptions_ = options;
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
    if (Active()) CheckBrowseMode();
    onFilterRecord_ = std::move(handler);
}

bool TDataSet::FindRecord(bool, bool) { return false; }

bool TDataSet::MatchesKeys(const std::vector<TField*>& fields, const Variant& keyValues,
                           TLocateOptions options) const {
    for (size_t i = 0; i < fields.size(); ++i) {
        const Variant& key = (fields.size() == 1 && !keyValues.IsArray()) ? keyValues : keyValues[i];
        TField* field = fields[i];
        if (key.IsClear()) {
            if (!field->IsNull()) return false;
            continue;
        }
        if (field->IsNull()) return false;
        const bool textual = field->DataType() == ftString || field->DataType() == ftFixedChar ||
                             field->DataType() == ftMemo || field->DataType() == ftWideString;
        if (textual) {
            std::string value = field->AsString();
            std::string wanted = key.ToString();
            if (options.Contains(loCaseInsensitive)) {
                value = UpperText(value);
                wanted = UpperText(wanted);
            }
            if (options.Contains(loPartialKey) ? value.compare(0, wanted.size(), wanted) != 0 : value != wanted)
                return false;
        } else {
            // The key converts to the field's kind of value: "True" matches a
            // Boolean, a date text a date, "5" a number.
            const Variant value = field->AsVariant();
            try {
                switch (value.VarType()) {
                    case Variant::Type::Boolean:
                        if (value.ToBool() != key.ToBool()) return false;
                        break;
                    case Variant::Type::DateTime:
                        if (value.ToDateTime() != key.ToDateTime()) return false;
                        break;
                    case Variant::Type::Integer:
                    case Variant::Type::Float:
                        if (value.ToDouble() != key.ToDouble()) return false;
                        break;
                    default:
                        if (!(value == key)) return false;
                        break;
                }
            } catch (const EVariantError&) {
                return false;
            }
        }
    }
    return true;
}

bool TDataSet::LocateRecord(const std::string& keyFields, const Variant& keyValues, TLocateOptions options) {
    CheckBrowseMode();
    const auto fields = GetFieldList(keyFields);
    if (keyValues.IsArray() ? keyValues.ArrayLength() < fields.size() : fields.size() != 1)
        DatabaseError(texts::SFieldIndexError, this);
    CursorPosChanged();
    TRecordBuffer spare = buffers_.at(static_cast<size_t>(recordCount_));
    TTempState temp(*this, dsCalcFields);
    InternalFirst();
    for (;;) {
        if (GetRecord(spare, gmNext, true) != grOK) return false;
        calcBuffer_ = spare;
        if (MatchesKeys(fields, keyValues, options)) return true;
    }
}

bool TDataSet::Locate(const std::string& keyFields, const Variant& keyValues, TLocateOptions options) {
    CheckBrowseMode();
    DoBeforeScroll();
    const bool found = LocateRecord(keyFields, keyValues, options);
    if (found) {
        Resync({rmExact, rmCenter});
        DoAfterScroll();
    }
    return found;
}

Variant TDataSet::Lookup(const std::string& keyFields, const Variant& keyValues, const std::string& resultFields) {
    if (keyValues.IsClear()) return Variant::Null();
    Variant result = Variant::Null();
    if (LocateRecord(keyFields, keyValues, {})) {
        TTempState temp(*this, dsCalcFields);
        calcBuffer_ = buffers_.at(static_cast<size_t>(recordCount_));
        result = FieldValues(resultFields);
    }
    CursorPosChanged();
    return result;
}

// ---------------------------------------------------------------- bookmarks

bool TDataSet::BookmarkAvailable() const {
    return Active() && recordCount_ > 0 && (state_ == dsBrowse || state_ == dsEdit || state_ == dsCalcFields) &&
           const_cast<TDataSet*>(this)->GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() {
    TBookmark bookmark;
    if (!BookmarkAvailable() || bookmarkSize_ <= 0) return bookmark;
    bookmark.resize(static_cast<size_t>(bookmarkSize_));
    GetBookmarkData(ActiveBuffer(), bookmark.data());
    return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) return;
    CheckActive();
    // The datasets read BookmarkSize bytes from what they are handed; a cut
    // bookmark names no record, so it is refused before anything moves.
    if (std::ssize(bookmark) < bookmarkSize_) DatabaseError(texts::SRecordNotFound, this);
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(bookmark.data());
    Resync({rmExact, rmCenter});
    DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark&) { return false; }

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() && b.empty()) return 0;
    if (a.empty()) return 1;
    if (b.empty()) return -1;
    return 0;
}

// ---------------------------------------------------------------- the rest

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField*, TBlobStreamMode) { return nullptr; }

bool TDataSet::GetCurrentRecord(TRecordBuffer) { return false; }

TUpdateStatus TDataSet::UpdateStatus() { return usUnmodified; }

int TDataSet::PSExecuteStatement(const std::string&, TParams*, std::unique_ptr<TDataSet>*) {
    DatabaseError("Provider support: statements are not supported", this);
}

void TDataSet::PSExecute() { DatabaseError("Provider support: execute is not supported", this); }

std::string TDataSet::PSGetKeyFields() {
    std::string keys;
    return keys;
}

}  // namespace db
