// What restricts the visible records of a dataset: the filter as an engine
// expression, scopes given as key texts, ranges built from key buffers, and
// the master link that keeps a detail's range on the master's current record.

#include "dbaccess/edsdata.h"

#include "platform/db/DBError.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr UNSIGNED16 kScopeRoom = 4082;
constexpr UNSIGNED16 kKeyRoom = 4083;

bool IsWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_' || u >= 0x80;
}

// From an opening parenthesis at `i`, the position after its closing one;
// quoted parts and parts in square brackets do not count.
std::size_t SkipParentheses(const std::string& text, std::size_t i) {
    int depth = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            const std::size_t close = text.find(c, i + 1);
            i = close == std::string::npos ? text.size() : close + 1;
            continue;
        }
        if (c == '[') {
            const std::size_t close = text.find(']', i + 1);
            i = close == std::string::npos ? text.size() : close + 1;
            continue;
        }
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) return i + 1;
        ++i;
    }
    return i;
}

// The CONTAINS( ... ) call at `i`, if one starts there: the position after it.
std::size_t ContainsCallEnd(const std::string& text, std::size_t i) {
    constexpr std::string_view kWord = "CONTAINS";
    if (i + kWord.size() >= text.size()) return std::string::npos;
    if (i > 0 && IsWordChar(text[i - 1])) return std::string::npos;
    if (!rtl::SameText(std::string_view(text).substr(i, kWord.size()), kWord)) return std::string::npos;
    std::size_t j = i + kWord.size();
    while (j < text.size() && text[j] == ' ') ++j;
    if (j >= text.size() || text[j] != '(') return std::string::npos;
    return SkipParentheses(text, j);
}

// Removes one star before each closing quote (partial match), unless the
// quoted part is made only of stars; CONTAINS( ... ) is left as written.
std::string StripPartialStars(std::string text, bool& Exact) {
    Exact = true;
    char quote = 0;
    std::size_t open = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (quote == 0) {
            if (c == '"' || c == '\'') {
                quote = c;
                open = i;
                ++i;
                continue;
            }
            if (const std::size_t end = ContainsCallEnd(text, i); end != std::string::npos) {
                i = end;
                continue;
            }
            ++i;
            continue;
        }
        if (c == quote) {
            if (i > open + 1 && text[i - 1] == '*') {
                const bool allStars = std::all_of(text.begin() + static_cast<std::ptrdiff_t>(open) + 1,
                                                  text.begin() + static_cast<std::ptrdiff_t>(i),
                                                  [](char s) { return s == '*'; });
                if (!allStars) {
                    text.erase(i - 1, 1);
                    Exact = false;
                    --i;
                }
            }
            quote = 0;
        }
        ++i;
    }
    return text;
}

}  // namespace

// ---- filters ------------------------------------------------------------------------------

std::string TEdsDataSet::ConvertExpressionFieldNames(bool& Exact) {
    const std::string& filter = Filter();
    const bool edt = cursorTableType_ == EDS_EDT;
    const auto room = static_cast<UNSIGNED16>(std::min<std::size_t>(filter.size() + 51, 65535));
    std::string text = filter;
    if (edt) {
        std::vector<UNSIGNED8> buffer(room + 1u, 0);
        UNSIGNED16 length = room;
        Check(EdsApi.EdsExpressionLongToShort(cursor_, EdsText(filter), buffer.data(), &length));
        text = EdsBufferText(buffer.data(), buffer.size(), length);
    }
    text = StripPartialStars(std::move(text), Exact);
    if (edt) {
        std::vector<UNSIGNED8> buffer(room + 1u, 0);
        UNSIGNED16 length = room;
        const UNSIGNED32 code = EdsApi.EdsExpressionShortToLong(cursor_, EdsText(text), buffer.data(), &length);
        if (code == 0) text = EdsBufferText(buffer.data(), buffer.size(), length);
        Check(code);
    }
    return text;
}

void TEdsDataSet::ActivateFilter() {
    if (Filter().empty()) {
        DeactivateFilter();
        return;
    }
    bool exact = true;
    const std::string text = ConvertExpressionFieldNames(exact);
    Check(EdsApi.EdsSetExact22(cursor_, exact ? 1 : 0));
    if (!options_->EdsOptimizedFilters()) {
        Check(EdsApi.EdsSetFilter(cursor_, EdsText(text)));
        return;
    }
    UNSIGNED16 aofOptions = options_->EdsAOFResolveImmediate() ? EDS_RESOLVE_IMMEDIATE : EDS_RESOLVE_DYNAMIC;
    if (options_->EdsAOFType() == atKeySet) aofOptions |= EDS_KEYSET;
    else if (options_->EdsAOFType() == atFixed) aofOptions |= EDS_FIXED;
    Check(EdsApi.EdsSetAOF(cursor_, EdsText(text), aofOptions));
}

void TEdsDataSet::DeactivateFilter() {
    const UNSIGNED32 code =
        options_->EdsOptimizedFilters() ? EdsApi.EdsClearAOF(cursor_) : EdsApi.EdsClearFilter(cursor_);
    if (code != EDS_E_NO_FILTER) Check(code);
}

namespace {

// Puts the engine's exact setting of a cursor back when the scope ends.
class TExactGuard {
public:
    TExactGuard(EDSHANDLE Cursor, UNSIGNED16 Saved) : cursor_(Cursor), saved_(Saved) {}
    ~TExactGuard() {
        if (armed_) EdsApi.EdsSetExact22(cursor_, saved_);
    }
    TExactGuard(const TExactGuard&) = delete;
    TExactGuard& operator=(const TExactGuard&) = delete;
    void Release() { armed_ = false; }

private:
    EDSHANDLE cursor_;
    UNSIGNED16 saved_;
    bool armed_ = true;
};

}  // namespace

void TEdsDataSet::ReapplyFilter(bool OldFiltered, const std::string& OldText) {
    UNSIGNED16 exact = 1;
    Check(EdsApi.EdsGetExact22(cursor_, &exact));
    try {
        if (Filtered()) ActivateFilter();
        else DeactivateFilter();
    } catch (...) {
        // The engine refused: the dataset and the cursor stay as they were.
        db::TDataSet::SetFiltered(OldFiltered);
        db::TDataSet::SetFilterText(OldText);
        EdsApi.EdsSetExact22(cursor_, exact);
        try {
            if (OldFiltered) ActivateFilter();
            else DeactivateFilter();
        } catch (...) {
            EdsReportCurrentException();
        }
        throw;
    }
    if (Active()) First();
}

void TEdsDataSet::SetFiltered(bool Value) {
    if (Active()) CheckBrowseMode();
    const bool old = Filtered();
    db::TDataSet::SetFiltered(Value);
    if (IsCursorOpen()) ReapplyFilter(old, Filter());
}

void TEdsDataSet::SetFilterText(const std::string& Value) {
    if (Active()) CheckBrowseMode();
    const std::string old = Filter();
    db::TDataSet::SetFilterText(Value);
    if (Active() && Filtered()) ReapplyFilter(true, old);
}

void TEdsTableOptions::SetEdsOptimizedFilters(bool Value) {
    if (Value == optimizedFilters_) return;
    if (dataSet_ != nullptr && dataSet_->Active() && !dataSet_->ComponentState().Contains(rtl::csLoading) &&
        dataSet_->Filtered()) {
        dataSet_->DeactivateFilter();
        optimizedFilters_ = Value;
        try {
            dataSet_->ActivateFilter();
        } catch (...) {
            // The filter goes back on the cursor the way it was applied before.
            optimizedFilters_ = !Value;
            try {
                dataSet_->ActivateFilter();
            } catch (...) {
                EdsReportCurrentException();
            }
            throw;
        }
        dataSet_->First();
        return;
    }
    optimizedFilters_ = Value;
}

bool TEdsDataSet::FindRecord(bool Restart, bool GoForward) {
    CheckBrowseMode();
    DoBeforeScroll();
    SetFound(false);
    UpdateCursorPos();
    CursorPosChanged();
    bool atEnd = true;
    {
        UNSIGNED16 exact = 1;
        Check(EdsApi.EdsGetExact22(cursor_, &exact));
        TExactGuard exactGuard(cursor_, exact);
        const bool temporary = !Filtered();
        // The filter is on the cursor only for this search, whatever happens.
        struct TFilterGuard {
            TEdsDataSet& dataSet;
            bool armed;
            ~TFilterGuard() {
                if (!armed) return;
                try {
                    dataSet.DeactivateFilter();
                } catch (...) {
                    EdsReportCurrentException();
                }
            }
        } filterGuard{*this, false};
        if (temporary) {
            filterGuard.armed = true;
            ActivateFilter();
        } else {
            exactGuard.Release();
        }
        UNSIGNED16 end = 0;
        if (GoForward) {
            Check(Restart ? EdsApi.EdsGotoTop(order_) : EdsApi.EdsSkip(order_, 1));
            Check(EdsApi.EdsAtEOF(cursor_, &end));
        } else {
            Check(Restart ? EdsApi.EdsGotoBottom(order_) : EdsApi.EdsSkip(order_, -1));
            Check(EdsApi.EdsAtBOF(cursor_, &end));
        }
        atEnd = end != 0;
    }
    if (!atEnd) {
        Resync({db::rmExact, db::rmCenter});
        SetFound(true);
    }
    if (Found()) DoAfterScroll();
    return Found();
}

// ---- scopes -------------------------------------------------------------------------------

void TEdsDataSet::SetScopeBegin(const std::string& Value) {
    if (Value.size() > static_cast<std::size_t>(kScopeRoom) + 1)
        RaiseEdsClientError(this, "Scope text length exceeded " + rtl::IntToStr(kScopeRoom));
    scopeBegin_ = Value;
}

void TEdsDataSet::SetScopeEnd(const std::string& Value) {
    if (Value.size() > static_cast<std::size_t>(kScopeRoom) + 1)
        RaiseEdsClientError(this, "Scope text length exceeded " + rtl::IntToStr(kScopeRoom));
    scopeEnd_ = Value;
}

void TEdsDataSet::ActivateScope() {
    if (!HasActiveIndex()) RaiseEdsClientError(this, "Cannot activate scope when there is no active index.");
    for (UNSIGNED16 which : {EDS_TOP, EDS_BOTTOM}) {
        std::vector<UNSIGNED8> buffer(kScopeRoom + 1u, 0);
        UNSIGNED16 length = kScopeRoom;
        const UNSIGNED32 code = EdsApi.EdsGetScope(order_, which, buffer.data(), &length);
        if (code == 0 || code == EDS_E_INSUFFICIENT_BUFFER)
            RaiseEdsClientError(this, "Cannot activate scope when there is an active range.");
        if (code != EDS_E_NO_SCOPE) Check(code);
    }
    if (!scopeBegin_.empty())
        Check(EdsApi.EdsSetScope(order_, EDS_TOP, EdsText(scopeBegin_), static_cast<UNSIGNED16>(scopeBegin_.size()),
                                 EDS_STRINGKEY));
    if (!scopeEnd_.empty())
        Check(EdsApi.EdsSetScope(order_, EDS_BOTTOM, EdsText(scopeEnd_), static_cast<UNSIGNED16>(scopeEnd_.size()),
                                 EDS_STRINGKEY));
}

void TEdsDataSet::DeactivateScope() {
    if (!HasActiveIndex()) return;
    for (UNSIGNED16 which : {EDS_TOP, EDS_BOTTOM}) {
        const UNSIGNED32 code = EdsApi.EdsClearScope(order_, which);
        if (code != EDS_E_NO_SCOPE) Check(code);
    }
}

void TEdsDataSet::SetScoped(bool Value) {
    if (Value == scoped_) return;
    if (!Active()) {
        scoped_ = Value;
        return;
    }
    CheckBrowseMode();
    UpdateCursorPos();
    const db::TRecordBuffer active = IsEmpty() ? nullptr : ActiveBuffer();
    const UNSIGNED32 record = active != nullptr ? BufferRecordNumber(active) : 0;
    if (Value) {
        ActivateScope();
        scoped_ = true;
        UNSIGNED16 visible = 0;
        const UNSIGNED32 code = EdsApi.EdsIsRecordVisible(order_, &visible);
        if (code == EDS_E_NO_CURRENT_RECORD) visible = 0;
        else Check(code);
        if (visible != 0) Resync({});
        else First();
        return;
    }
    const bool bothEnds = Bof() && Eof();
    DeactivateScope();
    scoped_ = false;
    if (bothEnds || record == 0) {
        First();
        return;
    }
    // A record deleted meanwhile leaves no place to return to: start over.
    if (EdsApi.EdsGotoRecord(cursor_, record) == EDS_E_RECORD_NOT_FOUND) {
        First();
        return;
    }
    Resync({});
}

// ---- key buffers --------------------------------------------------------------------------

void TEdsDataSet::InitKeyBuffer(TKeyBuffer& Buffer) {
    Buffer.Modified = 0;
    Buffer.Exclusive = 0;
    Buffer.FieldCount = 0;
    Buffer.Record.assign(std::max<std::size_t>(infoOffset_, recordLength_) + 1, 0);
    UNSIGNED32 length = recordLength_;
    Check(EdsApi.EdsGetNullRecord(cursor_, Buffer.Record.data(), &length));
    Buffer.Markers.assign(static_cast<std::size_t>(edsFieldDefs_->Count()), kNoKeyValue);
}

void TEdsDataSet::AllocKeyBuffers() {
    keyBuffer_ = nullptr;
    for (TKeyBuffer& buffer : keyBuffers_) InitKeyBuffer(buffer);
}

void TEdsDataSet::FreeKeyBuffers() {
    keyBuffer_ = nullptr;
    for (TKeyBuffer& buffer : keyBuffers_) buffer = TKeyBuffer{};
}

db::TRecordBuffer TEdsDataSet::KeyRecordBuffer() {
    return keyBuffer_ != nullptr && !keyBuffer_->Record.empty() ? keyBuffer_->Record.data() : nullptr;
}

void TEdsDataSet::KeyFieldStored(const TEDSFieldDef& Column, db::TField* Field, const void* Buffer) {
    if (keyBuffer_ == nullptr || Column.FieldNum < 1 || Column.FieldNum > keyBuffer_->Markers.size()) return;
    UNSIGNED16 marker = 1;
    if (IsEdsCharType(Column.FieldType)) {
        const auto room = static_cast<std::size_t>(std::max(Field->DataSize(), 0));
        marker = Buffer == nullptr ? 0
                                   : static_cast<UNSIGNED16>(std::min<std::size_t>(
                                         strnlen(static_cast<const char*>(Buffer), room), kNoKeyValue - 1));
    }
    keyBuffer_->Markers[Column.FieldNum - 1u] = marker;
}

bool TEdsDataSet::KeyExclusive() const { return keyBuffer_ != nullptr && keyBuffer_->Exclusive != 0; }

void TEdsDataSet::SetKeyExclusive(bool Value) {
    if (State() != db::dsSetKey || keyBuffer_ == nullptr) db::DatabaseError(db::texts::SNotEditing, this);
    keyBuffer_->Exclusive = Value ? 1 : 0;
}

void TEdsDataSet::SetKeyBuffer(TKeyIndex Index, bool Clear) {
    CheckBrowseMode();
    TKeyBuffer& buffer = keyBuffers_[Index];
    keyBuffers_[kiSave] = buffer;
    if (Clear) InitKeyBuffer(buffer);
    buffer.FieldCount = 0;
    keyBuffer_ = &buffer;
    SetState(db::dsSetKey);
    SetModified(true);
    DataEvent(db::deDataSetChange);
}

void TEdsDataSet::EndKeyState(bool Posted) {
    if (keyBuffer_ != nullptr) {
        if (Posted) keyBuffer_->Modified = Modified() ? 1 : 0;
        else *keyBuffer_ = keyBuffers_[kiSave];
    }
    keyBuffer_ = nullptr;
    SetState(db::dsBrowse);
    DataEvent(db::deDataSetChange);
}

void TEdsDataSet::Post() {
    db::TDataSet::Post();
    if (State() == db::dsSetKey) EndKeyState(true);
}

void TEdsDataSet::Cancel() {
    db::TDataSet::Cancel();
    if (State() == db::dsSetKey) EndKeyState(false);
}

// ---- ranges -------------------------------------------------------------------------------

void TEdsDataSet::SetRangeStart() {
    if (!IsCursorOpen() || !HasActiveIndex()) RaiseEdsClientError(this, "Index is not set.");
    SetKeyBuffer(kiRangeStart, true);
}

void TEdsDataSet::SetRangeEnd() {
    if (!IsCursorOpen() || !HasActiveIndex()) RaiseEdsClientError(this, "Index is not set.");
    SetKeyBuffer(kiRangeEnd, true);
}

void TEdsDataSet::ApplyRange() {
    CheckBrowseMode();
    if (SetRange()) First();
}

void TEdsDataSet::BuildKeyFromBuffer(TKeyIndex Buffer, UNSIGNED16& Length, UNSIGNED8* Key) {
    const TKeyBuffer& keys = keyBuffers_[Buffer];
    const bool allSegments = !options_->EdsAutoKeyFieldCount() && keys.FieldCount == 0;
    Check(EdsApi.EdsInitRawKey(order_));
    for (UNSIGNED16 segment = 0;; ++segment) {
        UNSIGNED8 name[130] = {};
        UNSIGNED16 nameLength = 129;
        if (EdsApi.EdsGetSegmentFieldname(order_, segment, name, &nameLength) != 0) break;
        const int index = edsFieldDefs_->IndexOf(EdsBufferText(name, sizeof name, nameLength));
        if (index < 0) continue;
        const TEDSFieldDef& column = *(*edsFieldDefs_)[index];
        const UNSIGNED16 marker = keys.Markers.at(column.FieldNum - 1u);
        if (marker == kNoKeyValue && !allSegments) continue;
        const UNSIGNED8* value = keys.Record.data() + column.Offset;
        if (marker == kNoKeyValue) Check(EdsApi.EdsSetEmpty(order_, name));
        else if (IsEdsCharType(column.FieldType)) Check(EdsApi.EdsSetField(order_, name, value, column.Length));
        else Check(EdsApi.EdsSetFieldRaw(order_, name, value, column.Length));
    }
    Check(EdsApi.EdsBuildRawKey(order_, Key, &Length));
}

bool TEdsDataSet::SetRange() {
    if (scoped_) RaiseEdsClientError(this, "Cannot set range on table when there is an active scope.");
    if (keyBuffers_[kiRangeStart].SameAs(keyBuffers_[kiCurRangeStart]) &&
        keyBuffers_[kiRangeEnd].SameAs(keyBuffers_[kiCurRangeEnd]))
        return false;
    UNSIGNED16 keyLength = 0;
    Check(EdsApi.EdsGetKeyLength(order_, &keyLength));
    struct TEnd {
        TKeyIndex Wanted;
        TKeyIndex Current;
        UNSIGNED16 Scope;
        SIGNED16 Step;
    };
    for (const TEnd& end : {TEnd{kiRangeStart, kiCurRangeStart, EDS_TOP, 1}, TEnd{kiRangeEnd, kiCurRangeEnd, EDS_BOTTOM, -1}}) {
        const TKeyBuffer& wanted = keyBuffers_[end.Wanted];
        if (wanted.Modified == 0) continue;
        std::vector<UNSIGNED8> key(std::max<std::size_t>(kKeyRoom, keyLength) + 1u, 0);
        auto length = static_cast<UNSIGNED16>(key.size() - 1);
        BuildKeyFromBuffer(end.Wanted, length, key.data());
        if (wanted.Exclusive != 0 && cursorTableType_ == EDS_EDT)
            Check(EdsApi.EdsStepIndexKey(order_, key.data(), length, end.Step));
        Check(EdsApi.EdsSetScope(order_, end.Scope, key.data(), length, EDS_RAWKEY));
        keyBuffers_[end.Current] = wanted;
    }
    if (State() != db::dsBrowse) SetState(db::dsBrowse);
    return true;
}

void TEdsDataSet::CancelRange() {
    CheckBrowseMode();
    UpdateCursorPos();
    if (ResetRange()) Resync({});
}

bool TEdsDataSet::ResetRange() {
    if (scoped_) return true;
    if (keyBuffers_[kiCurRangeStart].Modified == 0 && keyBuffers_[kiCurRangeEnd].Modified == 0) return false;
    Check(EdsApi.EdsClearAllScopes(cursor_));
    UNSIGNED16 atBof = 0;
    UNSIGNED16 atEof = 0;
    Check(EdsApi.EdsAtBOF(cursor_, &atBof));
    Check(EdsApi.EdsAtEOF(cursor_, &atEof));
    if (atBof != 0 && atEof != 0) Check(EdsApi.EdsGotoTop(order_));
    InitKeyBuffer(keyBuffers_[kiCurRangeStart]);
    InitKeyBuffer(keyBuffers_[kiCurRangeEnd]);
    return true;
}

// ---- master link --------------------------------------------------------------------------

db::TDataSource* TEdsDataSet::GetDataSource() { return masterLink_->DataSource(); }

db::TDataSource* TEdsDataSet::MasterSource() const { return masterLink_->DataSource(); }

void TEdsDataSet::SetMasterSource(db::TDataSource* Value) {
    if (Value != nullptr && (Value->DataSet() == this || Value->IsLinkedTo(this)))
        RaiseEdsClientError(this, "Circular Data Link");
    masterLink_->SetDataSource(Value);
    if (Value == nullptr) masterLink_->SetFieldNames(std::string());
}

const std::string& TEdsDataSet::MasterFields() const { return masterLink_->FieldNames(); }

void TEdsDataSet::SetMasterFields(const std::string& Value) { masterLink_->SetFieldNames(Value); }

bool TEdsDataSet::MasterLinkActive() { return masterLink_->Active() && !masterLink_->Fields().empty(); }

std::vector<db::TField*> TEdsDataSet::MasterLinkFields() {
    return MasterLinkActive() ? masterLink_->Fields() : std::vector<db::TField*>{};
}

void TEdsDataSet::MasterChanged() {
    CheckBrowseMode();
    const std::vector<db::TField*> masters = masterLink_->Fields();
    if (masters.empty()) return;
    if (!HasActiveIndex())
        RaiseEdsClientError(this, "Cannot follow the master " + masterLink_->FieldNames() + ": no index is active.");
    UNSIGNED16 segments = 0;
    Check(EdsApi.EdsGetNumSegments(order_, &segments));
    if (segments < masters.size())
        RaiseEdsClientError(this, "Cannot follow the master " + masterLink_->FieldNames() +
                                      ": the active index has fewer fields than the master fields.");
    // Linked controls see the detail once, when its new range is in force.
    DisableControls();
    try {
        {
            TKeyBuffer& start = keyBuffers_[kiRangeStart];
            TKeyBuffer* const previous = keyBuffer_;
            struct TKeyStateGuard {
                TEdsDataSet& dataSet;
                TKeyBuffer* previous;
                ~TKeyStateGuard() { dataSet.keyBuffer_ = previous; }
            } keyGuard{*this, previous};
            TTempState state(*this, db::dsSetKey);
            InitKeyBuffer(start);
            keyBuffer_ = &start;
            start.Modified = 1;
            for (std::size_t i = 0; i < masters.size(); ++i)
                FieldByName(SegmentName(order_, static_cast<UNSIGNED16>(i), 129))->SetValue(masters[i]->Value());
            start.FieldCount = static_cast<std::int32_t>(masters.size());
        }
        keyBuffers_[kiRangeEnd] = keyBuffers_[kiRangeStart];
        ApplyRange();
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

void TEdsDataSet::MasterDisabled() { CancelRange(); }
