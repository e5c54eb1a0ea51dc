#include "MemDataSet.h"

#include <algorithm>
#include <cstring>

namespace dbtest {

namespace {

int NativeSize(TFieldType type, int size) {
    switch (type) {
        case ftString: return size + 1;
        case ftSmallint:
        case ftWord:
        case ftBoolean: return 2;
        case ftInteger:
        case ftAutoInc:
        case ftDate:
        case ftTime: return 4;
        case ftFloat:
        case ftLargeint:
        case ftCurrency:
        case ftDateTime: return 8;
        case ftBCD: return static_cast<int>(sizeof(TBcd));
        case ftBytes: return size;
        case ftVarBytes: return size + 2;
        default: return 0;
    }
}

bool IsBlobType(TFieldType type) { return type == ftBlob || type == ftMemo; }

}  // namespace

// A stream over one blob slot of one record buffer; written bytes reach the
// buffer when the stream goes, and the post stores them with the row.
class MemBlobStream : public TMemoryStream {
public:
    MemBlobStream(TMemDataSet& ds, TField* field, TRecordBuffer buffer, int column, TBlobStreamMode mode)
        : ds_(ds), field_(field), buffer_(buffer), column_(column), mode_(mode) {
        if (mode == bmWrite) {
            modified_ = true;
        } else if (buffer_) {
            const std::string& bytes = ds_.BlobsOf(buffer_)[static_cast<size_t>(ds_.columns_[static_cast<size_t>(column)].blobIndex)];
            TMemoryStream::Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
            SetPosition(0);
        }
    }
    ~MemBlobStream() override {
        if (!modified_ || !buffer_) return;
        const auto& col = ds_.columns_[static_cast<size_t>(column_)];
        std::string bytes(reinterpret_cast<const char*>(Memory()), static_cast<size_t>(Size()));
        buffer_[col.offset] = bytes.empty() ? 0 : 1;
        ds_.BlobsOf(buffer_)[static_cast<size_t>(col.blobIndex)] = std::move(bytes);
        try {
            ds_.DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field_));
        } catch (...) {
            // A change handler's failure cannot leave a destructor.
        }
    }
    std::int64_t Write(const void* data, std::int64_t count) override {
        if (mode_ == bmRead) DatabaseErrorFmt(texts::SFieldReadOnly, {field_->DisplayName()}, &ds_);
        modified_ = true;
        return TMemoryStream::Write(data, count);
    }

private:
    TMemDataSet& ds_;
    TField* field_;
    TRecordBuffer buffer_;
    int column_;
    TBlobStreamMode mode_;
    bool modified_ = false;
};

TMemDataSet::TMemDataSet(rtl::TComponent* owner) : TDataSet(owner), masterLink_(this) {
    masterLink_.OnMasterChange = [this] { MasterChanged(); };
    masterLink_.OnMasterDisable = [this] { MasterDisabled(); };
}

TMemDataSet::~TMemDataSet() { Close(); }

void TMemDataSet::AddColumn(const std::string& name, TFieldType type, int size, bool required) {
    CheckInactive();
    columns_.push_back(Column{name, type, size, required});
}

// ---------------------------------------------------------------- open and close

void TMemDataSet::InternalInitFieldDefs() {
    FieldDefs().Clear();
    for (const Column& c : columns_) FieldDefs().Add(c.name, c.type, c.size, c.required);
}

void TMemDataSet::InternalOpen() {
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    int offset = 0;
    blobCount_ = 0;
    for (Column& c : columns_) {
        c.offset = offset;
        c.dataSize = NativeSize(c.type, c.size);
        c.blobIndex = IsBlobType(c.type) ? blobCount_++ : -1;
        offset += 1 + c.dataSize;
    }
    recordSize_ = offset;
    SetBookmarkSize(4);
    open_ = true;
    InternalFirst();
}

void TMemDataSet::InternalClose() {
    open_ = false;
    haveOld_ = false;
}

void TMemDataSet::DoAfterOpen() {
    TDataSet::DoAfterOpen();
    if (masterLink_.Active() && !masterLink_.Fields().empty()) MasterChanged();
}

// ---------------------------------------------------------------- buffers

TRecordBuffer TMemDataSet::AllocRecordBuffer() {
    const size_t size = static_cast<size_t>(recordSize_ + CalcFieldsSize()) + kInfoSize;
    auto storage = std::make_unique<std::uint8_t[]>(size);
    TRecordBuffer buffer = storage.get();
    blobs_[buffer] = std::vector<std::string>(static_cast<size_t>(blobCount_));
    storage_[buffer] = std::move(storage);
    return buffer;
}

void TMemDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
    blobs_.erase(buffer);
    storage_.erase(buffer);
    buffer = nullptr;
}

std::uint8_t* TMemDataSet::InfoOf(TRecordBuffer buffer) const { return buffer + recordSize_ + CalcFieldsSize(); }

std::uint32_t TMemDataSet::IdIn(TRecordBuffer buffer) const {
    std::uint32_t id = 0;
    std::memcpy(&id, InfoOf(buffer), 4);
    return id;
}

void TMemDataSet::SetIdIn(TRecordBuffer buffer, std::uint32_t id) const { std::memcpy(InfoOf(buffer), &id, 4); }

void TMemDataSet::GetBookmarkData(TRecordBuffer buffer, void* data) { std::memcpy(data, InfoOf(buffer), 4); }

TBookmarkFlag TMemDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
    return static_cast<TBookmarkFlag>(InfoOf(buffer)[4]);
}

void TMemDataSet::SetBookmarkData(TRecordBuffer buffer, const void* data) { std::memcpy(InfoOf(buffer), data, 4); }

void TMemDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
    InfoOf(buffer)[4] = static_cast<std::uint8_t>(flag);
}

std::uint32_t TMemDataSet::IdOf(int bufferIndex) { return IdIn(Buffers(bufferIndex)); }

void TMemDataSet::InternalInitRecord(TRecordBuffer buffer) {
    std::memset(buffer, 0, static_cast<size_t>(recordSize_));
    blobs_[buffer].assign(static_cast<size_t>(blobCount_), std::string());
}

void TMemDataSet::ClearCalcFields(TRecordBuffer buffer) {
    std::memset(buffer + recordSize_, 0, static_cast<size_t>(CalcFieldsSize()));
}

// ---------------------------------------------------------------- fetching

void TMemDataSet::Fetch(TRecordBuffer buffer, int index) {
    const Row& row = rows_[static_cast<size_t>(index)];
    if (failKey_ != 0 && KeyOf(row.image) == failKey_) DatabaseError("Simulated read failure", this);
    std::memcpy(buffer, row.image.data(), row.image.size());
    blobs_[buffer] = row.blobs;
    SetIdIn(buffer, row.id);
    SetBookmarkFlag(buffer, bfCurrent);
}

bool TMemDataSet::Visible(int index) {
    if (!ranged_ && !Filtered() && !findMode_) return true;
    TRecordBuffer scratch = Buffers(BufferCount());
    // The spare buffer may hold the record being fetched; use a private copy.
    std::vector<std::uint8_t> keep(scratch, scratch + recordSize_ + CalcFieldsSize() + kInfoSize);
    auto keepBlobs = blobs_[scratch];
    Fetch(scratch, index);
    bool ok = true;
    {
        TTempState temp(*this, dsFilter);
        TRecordBuffer oldFilter = filterBuffer_;
        filterBuffer_ = scratch;
        try {
            if (ranged_) {
                auto fields = GetFieldList(detailFields_);
                for (size_t i = 0; i < fields.size() && ok; ++i)
                    ok = i < rangeValues_.size() && fields[i]->AsVariant() == rangeValues_[i];
            }
            if (ok && (Filtered() || findMode_)) {
                if (!filterField_.empty()) ok = FieldByName(filterField_)->AsString() == filterValue_;
                if (ok && OnFilterRecord()) OnFilterRecord()(*this, ok);
            }
        } catch (...) {
            filterBuffer_ = oldFilter;
            std::memcpy(scratch, keep.data(), keep.size());
            blobs_[scratch] = std::move(keepBlobs);
            throw;
        }
        filterBuffer_ = oldFilter;
    }
    std::memcpy(scratch, keep.data(), keep.size());
    blobs_[scratch] = std::move(keepBlobs);
    return ok;
}

TGetResult TMemDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) {
    ++getRecordCalls_;
    const int n = static_cast<int>(rows_.size());
    switch (mode) {
        case gmCurrent:
            if (pos_ < 0) return grBOF;
            if (pos_ >= n) return grEOF;
            if (!Visible(pos_)) {
                if (doCheck) DatabaseError("Record is not visible", this);
                return grError;
            }
            break;
        case gmNext:
            do {
                ++pos_;
            } while (pos_ < n && !Visible(pos_));
            if (pos_ >= n) {
                pos_ = n;
                return grEOF;
            }
            break;
        case gmPrior:
            do {
                --pos_;
            } while (pos_ >= 0 && !Visible(pos_));
            if (pos_ < 0) {
                pos_ = -1;
                return grBOF;
            }
            break;
    }
    Fetch(buffer, pos_);
    GetCalcFields(buffer);
    return grOK;
}

int TMemDataSet::IndexOfId(std::uint32_t id) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].id == id) return static_cast<int>(i);
    return -1;
}

void TMemDataSet::InternalGotoBookmark(const void* bookmark) {
    std::uint32_t id = 0;
    std::memcpy(&id, bookmark, 4);
    const int index = IndexOfId(id);
    if (index < 0) DatabaseError(texts::SRecordNotFound, this);
    pos_ = index;
}

void TMemDataSet::InternalSetToRecord(TRecordBuffer buffer) { InternalGotoBookmark(InfoOf(buffer)); }

// ---------------------------------------------------------------- field data

TRecordBuffer TMemDataSet::BufferForState() const {
    switch (State()) {
        case dsBrowse:
        case dsBlockRead: return IsEmpty() ? nullptr : ActiveBuffer();
        case dsEdit:
        case dsInsert:
        case dsNewValue: return ActiveBuffer();
        case dsCalcFields:
        case dsInternalCalc: return CalcBuffer();
        case dsFilter: return filterBuffer_;
        case dsOldValue: return haveOld_ ? const_cast<std::uint8_t*>(oldImage_.data()) : nullptr;
        default: return nullptr;
    }
}

bool TMemDataSet::GetFieldData(TField* field, void* buffer) {
    TRecordBuffer rec = BufferForState();
    if (!rec) return false;
    if (field->FieldNo() < 1) {
        const std::uint8_t* slot = rec + recordSize_ + field->Offset();
        if (!slot[0]) return false;
        if (buffer) std::memcpy(buffer, slot + 1, static_cast<size_t>(field->DataSize()));
        return true;
    }
    const Column& c = columns_.at(static_cast<size_t>(field->FieldNo() - 1));
    if (!rec[c.offset]) return false;
    if (buffer && c.dataSize) std::memcpy(buffer, rec + c.offset + 1, static_cast<size_t>(c.dataSize));
    return true;
}

void TMemDataSet::SetFieldData(TField* field, const void* buffer) {
    const TDataSetState state = State();
    if (!IsWriteState(state)) DatabaseError(texts::SNotEditing, this);
    TRecordBuffer rec = BufferForState();
    if (!rec) DatabaseError(texts::SNotEditing, this);
    if (field->FieldNo() < 1) {
        if (state != dsCalcFields && state != dsInternalCalc)
            DatabaseErrorFmt(texts::SFieldReadOnly, {field->DisplayName()}, this);
        std::uint8_t* slot = rec + recordSize_ + field->Offset();
        slot[0] = buffer ? 1 : 0;
        if (buffer) std::memcpy(slot + 1, buffer, static_cast<size_t>(field->DataSize()));
        else std::memset(slot + 1, 0, static_cast<size_t>(field->DataSize()));
        return;
    }
    if (state == dsCalcFields) DatabaseError(texts::SNotEditing, this);
    if (field->ReadOnly() && state != dsSetKey && state != dsFilter)
        DatabaseErrorFmt(texts::SFieldReadOnly, {field->DisplayName()}, this);
    if (state == dsEdit || state == dsInsert) field->Validate(buffer);
    const Column& c = columns_.at(static_cast<size_t>(field->FieldNo() - 1));
    rec[c.offset] = buffer ? 1 : 0;
    if (buffer) std::memcpy(rec + c.offset + 1, buffer, static_cast<size_t>(c.dataSize));
    else std::memset(rec + c.offset + 1, 0, static_cast<size_t>(c.dataSize));
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

std::unique_ptr<TStream> TMemDataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
    if (mode != bmRead && State() != dsEdit && State() != dsInsert) DatabaseError(texts::SNotEditing, this);
    if (field->FieldNo() < 1 || !field->IsBlob())
        DatabaseErrorFmt(texts::SNotABlobField, {field->DisplayName()}, this);
    return std::make_unique<MemBlobStream>(*this, field, BufferForState(), field->FieldNo() - 1, mode);
}

std::string TMemDataSet::TextFromNative(std::string_view bytes) const {
    if (!latin1_) return std::string(bytes);
    std::string out;
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string TMemDataSet::TextToNative(std::string_view text) const {
    if (!latin1_) return std::string(text);
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += text[i];
        } else if ((b & 0xE0) == 0xC0 && i + 1 < text.size()) {
            const unsigned cp = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            out += cp <= 0xFF ? static_cast<char>(cp) : '?';
            ++i;
        } else {
            out += '?';
            while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) ++i;
        }
    }
    return out;
}

// ---------------------------------------------------------------- editing

std::int64_t TMemDataSet::KeyOf(const std::vector<std::uint8_t>& image) const {
    const Column& c = columns_.at(0);
    if (!image[static_cast<size_t>(c.offset)]) return INT64_MIN;
    if (c.dataSize == 2) {
        std::int16_t v;
        std::memcpy(&v, image.data() + c.offset + 1, 2);
        return v;
    }
    std::int32_t v;
    std::memcpy(&v, image.data() + c.offset + 1, 4);
    return v;
}

void TMemDataSet::StoreRow(TRecordBuffer buffer, bool inserting) {
    std::vector<std::uint8_t> image(buffer, buffer + recordSize_);
    if (columns_.at(0).type == ftAutoInc && !image[0]) {
        const auto v = static_cast<std::int32_t>(nextId_);
        image[0] = 1;
        std::memcpy(image.data() + 1, &v, 4);
    }
    const std::int64_t key = KeyOf(image);
    const std::uint32_t selfId = inserting ? 0 : IdIn(buffer);
    int selfIndex = -1;
    if (!inserting) {
        selfIndex = IndexOfId(selfId);
        if (selfIndex < 0) DatabaseError(texts::SRecordNotFound, this);
    }
    for (const Row& r : rows_)
        if (r.id != selfId && KeyOf(r.image) == key) DatabaseError("Key violation", this);
    Row row{inserting ? nextId_++ : selfId, std::move(image), blobs_[buffer]};
    if (!inserting) rows_.erase(rows_.begin() + selfIndex);
    auto at = std::lower_bound(rows_.begin(), rows_.end(), key,
                               [this](const Row& r, std::int64_t k) { return KeyOf(r.image) < k; });
    pos_ = static_cast<int>(at - rows_.begin());
    rows_.insert(at, std::move(row));
}

void TMemDataSet::InternalEdit() {
    if (pos_ < 0 || pos_ >= static_cast<int>(rows_.size())) DatabaseError(texts::SRecordNotFound, this);
    Fetch(ActiveBuffer(), pos_);
    const size_t size = static_cast<size_t>(recordSize_ + CalcFieldsSize()) + kInfoSize;
    oldImage_.assign(ActiveBuffer(), ActiveBuffer() + size);
    haveOld_ = true;
}

void TMemDataSet::InternalCancel() { haveOld_ = false; }

void TMemDataSet::InternalPost() {
    TDataSet::InternalPost();
    StoreRow(ActiveBuffer(), State() == dsInsert);
    haveOld_ = false;
}

void TMemDataSet::InternalAddRecord(TRecordBuffer buffer, bool) {
    TDataSet::InternalPost();
    StoreRow(buffer, true);
}

void TMemDataSet::InternalDelete() {
    if (failDelete_) DatabaseError("Simulated delete failure", this);
    if (pos_ < 0 || pos_ >= static_cast<int>(rows_.size())) DatabaseError(texts::SRecordNotFound, this);
    rows_.erase(rows_.begin() + pos_);
}

// ---------------------------------------------------------------- counts, positions, searching

int TMemDataSet::GetRecordCount() {
    CheckActive();
    int n = 0;
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        if (Visible(i)) ++n;
    return n;
}

int TMemDataSet::GetRecNo() {
    CheckActive();
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return -1;
    const int index = IndexOfId(IdIn(ActiveBuffer()));
    int n = 0;
    for (int i = 0; i <= index; ++i)
        if (Visible(i)) ++n;
    return n;
}

void TMemDataSet::SetRecNo(int value) {
    CheckBrowseMode();
    DoBeforeScroll();
    int last = -1, seen = 0;
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        if (!Visible(i)) continue;
        last = i;
        if (++seen == value) break;
    }
    if (last < 0) return;
    pos_ = last;
    Resync({rmCenter});
    DoAfterScroll();
}

bool TMemDataSet::FindRecord(bool restart, bool goForward) {
    CheckBrowseMode();
    DoBeforeScroll();
    SetFound(false);
    UpdateCursorPos();
    CursorPosChanged();
    findMode_ = !Filtered();
    TGetResult result = grError;
    try {
        if (restart) {
            if (goForward) InternalFirst();
            else InternalLast();
        }
        result = GetRecord(Buffers(BufferCount()), goForward ? gmNext : gmPrior, true);
    } catch (...) {
        findMode_ = false;
        throw;
    }
    findMode_ = false;
    if (result == grOK) {
        Resync({rmExact, rmCenter});
        SetFound(true);
        DoAfterScroll();
    }
    return Found();
}

bool TMemDataSet::BookmarkValid(const TBookmark& bookmark) {
    if (bookmark.size() != 4 || !Active()) return false;
    std::uint32_t id = 0;
    std::memcpy(&id, bookmark.data(), 4);
    return IndexOfId(id) >= 0;
}

int TMemDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
    if (a.empty() && b.empty()) return 0;
    if (a.empty()) return 1;
    if (b.empty()) return -1;
    std::uint32_t ia = 0, ib = 0;
    std::memcpy(&ia, a.data(), 4);
    std::memcpy(&ib, b.data(), 4);
    const int pa = IndexOfId(ia), pb = IndexOfId(ib);
    const long long x = (pa >= 0 && pb >= 0) ? pa : ia, y = (pa >= 0 && pb >= 0) ? pb : ib;
    return x < y ? -1 : (x > y ? 1 : 0);
}

void TMemDataSet::SetFiltered(bool on) {
    TDataSet::SetFiltered(on);
    if (Active()) First();
}

void TMemDataSet::SetFilterText(const std::string& text) {
    TDataSet::SetFilterText(text);
    const auto eq = text.find('=');
    filterField_ = eq == std::string::npos ? std::string() : TrimText(text.substr(0, eq));
    filterValue_ = eq == std::string::npos ? std::string() : TrimText(text.substr(eq + 1));
    if (Active() && Filtered()) First();
}

// ---------------------------------------------------------------- master-detail

void TMemDataSet::SetMasterSource(TDataSource* source) { masterLink_.SetDataSource(source); }

void TMemDataSet::MasterChanged() {
    CheckBrowseMode();
    rangeValues_.clear();
    for (TField* f : masterLink_.Fields()) rangeValues_.push_back(f->AsVariant());
    ranged_ = true;
    First();
}

void TMemDataSet::MasterDisabled() {
    ranged_ = false;
    rangeValues_.clear();
    if (Active()) First();
}

}  // namespace dbtest
