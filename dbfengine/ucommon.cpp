#include "dbfengine/ucommon.h"

#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

#include "dbfengine/dbf4Internal.h"
#include "dbfengine/platform/XfClock.h"
#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/timedate.h"
#include "dbfengine/uxffds.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfmemo.h"
#include "dbfengine/xfndx.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfparser.h"
#include "platform/db/Convert.h"
#include "platform/db/DBError.h"

namespace xf {

using namespace db;

namespace {

// The date number of the framework's day 0 (30 December 1899).
double DateBase()
{
    static const double base = DateNumber(1899, 12, 30);
    return base;
}

template <typename T>
T Load(const std::uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void Store(std::uint8_t* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

}  // namespace

// ---- field classes ------------------------------------------------------------------

void TXfIntegerField::CheckSize(int size) const
{
    if (size < 0 || size > 20) DatabaseError(texts::SInvalidFieldSize, DataSet());
}

void TXfFloatField::CheckSize(int size) const
{
    if (size < 0 || size > 20) DatabaseError(texts::SInvalidFieldSize, DataSet());
}

std::string TXfDateField::GetText(bool displayText) const
{
    std::string text = TDateField::GetText(displayText);
    if (OnGetText) return text;
    std::string check = text;
    return IsValidDateText(check) ? std::string(CutUtf8(text, 10)) : text;
}

void TXfDateField::SetAsStringValue(const std::string& value)
{
    if (TrimRightStr(value).empty() || IsBlankDateText(value)) {
        Clear();
        return;
    }
    std::string text = value;
    const double number = IsValidDateText(text) ? DateNumberFromText(text) : kBlankDateNumber;
    if (number == kBlankDateNumber) DatabaseErrorFmt(texts::SInvalidDateValue, {value, DisplayName()}, DataSet());
    SetAsDateTime(number - DateBase());
}

TFieldClass TXfDataSet::GetFieldClass(TFieldType type)
{
    switch (type) {
    case ftInteger: return &MakeField<TXfIntegerField>;
    case ftFloat: return &MakeField<TXfFloatField>;
    case ftDate: return &MakeField<TXfDateField>;
    default: return TXfPrimDataset::GetFieldClass(type);
    }
}

// ---- the dataset ----------------------------------------------------------------------

TXfDataSet::TXfDataSet(rtl::TComponent* owner) : TXfPrimDataset(owner)
{
    MemoInit();
    InstallParserHooks();
    XfDateSettingsFromPlatform();
    // Made on a form being designed: an engine error must reach the designer, not end it.
    designing_ = owner && owner->ComponentState().Contains(rtl::csDesigning);
    if (designing_) {
        SetDesigning(true);
        SetRaiseOnError(1);
    }
}

TXfDataSet::~TXfDataSet() = default;

int TXfDataSet::Engine(const std::function<void()>& step)
{
    XfErrors().LastError = 0;
    try {
        step();
    } catch (const EXfError&) {
        return XfErrors().LastError ? XfErrors().LastError : xfError;
    }
    return XfErrors().LastError;
}

std::string TXfDataSet::ErrorText(int code)
{
    std::string text = PendingErrorText();
    if (text.empty()) text = DbfErrorText(static_cast<std::uint16_t>(code));
    const std::string context = TakeErrorContext();
    return context.empty() ? text : text + "\r\n" + context;
}

bool TXfDataSet::SelectOwnArea(const std::string& tag)
{
    if (area_ == 0 || !xf::WorkArea(area_)) {
        DatabaseError("Database is not open [" + Name() + "." + tag + "]", this);
    }
    xf::Select(area_);
    return true;
}

const TXfFieldProp* TXfDataSet::PropOf(const TField* field) const
{
    const int n = field->FieldNo();
    return n >= 1 && n <= static_cast<int>(props_.size()) ? &props_[static_cast<std::size_t>(n - 1)] : nullptr;
}

std::string TXfDataSet::TextFromNative(std::string_view bytes) const { return XfAnsiToUtf8(bytes); }

std::string TXfDataSet::TextToNative(std::string_view text) const { return XfUtf8ToAnsi(text); }

// ---- opening -----------------------------------------------------------------------

int TXfDataSet::XfiOpen()
{
    if (dbfFileName_.empty()) return xfNoFileName;
    props_.clear();
    // Date texts follow the program's date format as it is now.
    XfDateSettingsFromPlatform();
    if (!RunTime()) return OpenForDesign();
    if (const int code = OpenInArea(FreeArea(0))) return code;
    if (designing_) FieldsFromHeader();
    BuildProps();
    atBegin_ = true;
    atEnd_ = false;
    directClosedAt_ = directArea_ = 0;
    return xfOk;
}

int TXfDataSet::OpenInArea(int area)
{
    if (area == 0) return 1101;
    const int previous = xf::CurrentWorkArea();
    xf::Select(area);
    bool opened = false;
    const int code = Engine([&] { opened = OpenTable(); });
    if (!opened || code != 0 || !xf::WorkArea(area)) {
        if (xf::WorkArea(area)) Engine([] { xf::CloseDatabase(); });
        xf::Select(previous);
        return code ? code : xfError;
    }
    area_ = area;
    xf::SetIgnoreDel(hideDeletedRecs_);
    return xfOk;
}

int TXfDataSet::FreeArea(int preferred)
{
    if (preferred >= 1 && preferred <= kWorkAreas && !xf::WorkArea(preferred)) return preferred;
    for (int i = 1; i <= kWorkAreas; ++i)
        if (!xf::WorkArea(i)) return i;
    return 0;
}

int TXfDataSet::OpenForDesign()
{
    const int previous = xf::CurrentWorkArea();
    const int area = FreeArea(0);
    if (area == 0) return 1101;
    xf::Select(area);
    const int code = Engine([&] { xf::USE(dbfFileName_, {}, nullptr, 0, tableLanguage_ == tlOem ? 1 : 0); });
    if (code == 0 && xf::WorkArea(area)) {
        area_ = area;
        FieldsFromHeader();
        BuildProps();
        area_ = 0;
    }
    if (xf::WorkArea(area)) Engine([] { xf::CloseDatabase(); });
    xf::Select(previous);
    if (code != 0 || props_.empty()) return code ? code : xfError;
    atBegin_ = true;
    atEnd_ = false;
    return xfOk;
}

void TXfDataSet::FieldsFromHeader()
{
    std::vector<std::string> lines;
    for (const TDbfField& f : xf::WorkArea(area_)->Table.Fields) {
        std::string message;
        const TDbfFieldLine c = CorrectDbfField(dbfFileName_, {f.Name, f.Type, f.Length, f.Decimals}, message);
        if (!message.empty()) XfDataSetMessage(message);
        lines.push_back(c.Name + ", " + std::string(1, c.Type) + ", " + std::to_string(c.Length) + ", " + std::to_string(c.Decimals));
    }
    dbfFields_ = std::move(lines);
}

void TXfDataSet::DirectOpenClose(bool open)
{
    if (!Active()) DatabaseError("DataSet must be active. " + Name(), this);
    if (!RunTime()) return;
    if (!open) {
        if (directArea_ != 0) return;
        UpdateCursorPos();
        SelectOwnArea("DirectOpenClose");
        directClosedAt_ = xf::RecNo();
        directArea_ = area_;
        // Until reopened the dataset has no area: whoever takes this one has it alone.
        area_ = 0;
        CheckResult(Engine([] { xf::CloseDatabase(); }));
        return;
    }
    if (directArea_ == 0) return;
    // Another table may have taken the area meanwhile: it keeps it.
    CheckResult(OpenInArea(FreeArea(directArea_)));
    directArea_ = 0;
    const std::int32_t at = directClosedAt_;
    directClosedAt_ = 0;
    CheckResult(Engine([at] {
        if (!xf::GoChecked(at)) xf::GoTop();
    }));
    CursorPosChanged();
    Resync({});
}

void TXfDataSet::BuildProps()
{
    props_.clear();
    int offset = 1;
    const TWorkArea* a = xf::WorkArea(area_);
    for (const TDbfField& f : a->Table.Fields) {
        TXfFieldProp p;
        p.Name = f.Name;
        p.Type = f.Type;
        p.Length = f.Length;
        p.Decimals = f.Decimals;
        switch (f.Type) {
        case 'D': p.FieldType = ftDate, p.NativeSize = 8; break;
        case 'L': p.FieldType = ftBoolean, p.NativeSize = 2; break;
        case 'M': p.FieldType = ftMemo, p.NativeSize = 4; break;
        case 'N':
        case 'F':
            switch (NumberKind(f)) {
            case TXfNumberKind::Real: p.FieldType = ftFloat, p.NativeSize = 8; break;
            case TXfNumberKind::Int64: p.FieldType = ftLargeint, p.NativeSize = 8; break;
            default: p.FieldType = ftInteger, p.NativeSize = 4;
            }
            break;
        default: p.FieldType = ftString, p.NativeSize = f.Length + 1;
        }
        p.NativeOffset = offset;
        offset += p.NativeSize;
        props_.push_back(p);
    }
    nativeSize_ = offset;
    ResetEdit();
}

void TXfDataSet::InternalInitFieldDefs()
{
    if (props_.empty()) DatabaseError(Name() + ".DbfFields undefined. Set Active to TRUE", this);
    FieldDefs().Clear();
    for (const TXfFieldProp& p : props_) FieldDefs().Add(p.Name, p.FieldType, p.FieldType == ftString ? p.Length : 0);
}

int TXfDataSet::XfiClose()
{
    directArea_ = 0;
    if (area_ == 0) return xfOk;
    const int area = area_;
    area_ = 0;
    props_.clear();
    if (!xf::WorkArea(area)) return xfOk;
    xf::Select(area);
    return Engine([] { xf::CloseDatabase(); });
}

// ---- navigation ------------------------------------------------------------------------

int TXfDataSet::XfiSetToBegin()
{
    if (!RunTime()) {
        atBegin_ = true;
        atEnd_ = false;
        return xfOk;
    }
    SelectOwnArea("XfiSetToBegin");
    const int code = Engine([] { xf::GoTop(); });
    atBegin_ = true;
    atEnd_ = false;
    return code;
}

int TXfDataSet::XfiSetToEnd()
{
    if (!RunTime()) {
        atEnd_ = true;
        atBegin_ = false;
        return xfOk;
    }
    SelectOwnArea("XfiSetToEnd");
    const int code = Engine([] { xf::GoBottom(); });
    atEnd_ = true;
    atBegin_ = false;
    return code;
}

int TXfDataSet::XfiGetRecordCount(int& count)
{
    if (!RunTime()) {
        count = 1;
        return xfOk;
    }
    SelectOwnArea("XfiGetRecordCount");
    return Engine([&] { count = xf::RecCount(); });
}

int TXfDataSet::XfiForceReread()
{
    if (!RunTime()) return xfOk;
    SelectOwnArea("XfiForceReread");
    // A refresh shows what the file holds now, not the records read ahead.
    return Engine([&] {
        DropReadAhead(xf::WorkArea(area_)->Table);
        xf::SKIP(0);
    });
}

void TXfDataSet::FillNative(TRecordBuffer buffer, std::int32_t& recNo)
{
    TXfTypedRecord r = xf::CurrentRecord();
    std::memset(buffer, 0, static_cast<std::size_t>(nativeSize_));
    buffer[0] = r.Deleted() ? 1 : 0;
    for (std::size_t i = 0; i < props_.size(); ++i) {
        const TXfFieldProp& p = props_[i];
        const int f = static_cast<int>(i) + 1;
        std::uint8_t* out = buffer + p.NativeOffset;
        switch (p.Type) {
        case 'D': {
            const std::string text = r.Text(f);
            double value = 0;
            if (!IsBlankDateText(text)) {
                const double number = DateNumberFromText(text);
                if (number != kBlankDateNumber) value = number - DateBase();
            }
            Store(out, value);
            break;
        }
        case 'L': Store<std::int16_t>(out, r.Logical(f) ? -1 : 0); break;
        case 'M': Store<std::int32_t>(out, static_cast<std::int32_t>(r.Integer(f))); break;
        case 'N':
        case 'F':
            if (p.FieldType == ftFloat) {
                const double scale = std::pow(10.0, p.Decimals);
                Store(out, std::round(r.Number(f) * scale) / scale);
            } else if (p.FieldType == ftLargeint) {
                Store<std::int64_t>(out, r.Integer(f));
            } else {
                Store<std::int32_t>(out, static_cast<std::int32_t>(r.Integer(f)));
            }
            break;
        default: {
            std::string text = TrimRightStr(r.Text(f));
            text.resize(std::min<std::size_t>(text.size(), static_cast<std::size_t>(p.Length)));
            std::memcpy(out, text.data(), text.size());
        }
        }
    }
    recNo = xf::RecNo();
}

void TXfDataSet::NativeToTyped(const std::uint8_t* record, bool onlyChanged)
{
    TXfTypedRecord r = xf::CurrentRecord();
    for (std::size_t i = 0; i < props_.size(); ++i) {
        if (onlyChanged && !changed_[i]) continue;
        const TXfFieldProp& p = props_[i];
        const int f = static_cast<int>(i) + 1;
        const std::uint8_t* in = record + p.NativeOffset;
        switch (p.Type) {
        case 'D': {
            const double value = Load<double>(in);
            r.SetText(f, value == 0 ? std::string() : DateTextFromNumber(std::floor(value) + DateBase()));
            break;
        }
        case 'L': r.SetLogical(f, Load<std::int16_t>(in) != 0); break;
        case 'M': r.SetInteger(f, Load<std::int32_t>(in)); break;
        case 'N':
        case 'F':
            if (p.FieldType == ftFloat) {
                r.SetNumber(f, Load<double>(in));
            } else if (p.FieldType == ftLargeint) {
                r.SetInteger(f, Load<std::int64_t>(in));
            } else {
                r.SetInteger(f, Load<std::int32_t>(in));
            }
            break;
        default: r.SetText(f, std::string_view(reinterpret_cast<const char*>(in), StrLenZ(reinterpret_cast<const char*>(in))));
        }
    }
}

int TXfDataSet::XfiGetRecord(TRecordBuffer buffer, std::int32_t& recNo)
{
    if (atBegin_) return xfAtBegin;
    if (atEnd_) return xfAtEnd;
    if (!RunTime()) return DesignRecord(buffer, recNo);
    SelectOwnArea("XfiGetRecord");
    if (const int code = Engine([] { xf::SKIP(0); })) return code;
    if (xf::dEOF() || xf::RecCount() == 0) return xfAtEnd;
    FillNative(buffer, recNo);
    return xfOk;
}

int TXfDataSet::XfiGetNextRecord(TRecordBuffer buffer, std::int32_t& recNo)
{
    if (atEnd_) return xfAtEnd;
    if (!RunTime()) return DesignStep(true, buffer, recNo);
    SelectOwnArea("XfiGetNextRecord");
    const bool fromBegin = atBegin_;
    atBegin_ = false;
    if (const int code = Engine([&] {
            if (fromBegin) {
                xf::SKIP(0);
            } else if (!xf::dEOF()) {
                xf::SKIP(1);
            }
        }))
        return code;
    if (xf::dEOF()) {
        // The engine stays on the last record, not the phantom one.
        const int code = Engine([] {
            if (!xf::dBOF() && xf::RecCount() > 0) xf::SKIP(-1);
        });
        atEnd_ = true;
        return code ? code : xfAtEnd;
    }
    FillNative(buffer, recNo);
    return xfOk;
}

int TXfDataSet::XfiGetPriorRecord(TRecordBuffer buffer, std::int32_t& recNo)
{
    if (atBegin_) return xfAtBegin;
    if (!RunTime()) return DesignStep(false, buffer, recNo);
    SelectOwnArea("XfiGetPriorRecord");
    const bool fromEnd = atEnd_;
    atEnd_ = false;
    if (const int code = Engine([&] {
            if (fromEnd) {
                xf::SKIP(0);
            } else if (!xf::dBOF()) {
                xf::SKIP(-1);
            }
        }))
        return code;
    if (xf::dBOF() || xf::dEOF()) {
        atBegin_ = true;
        return xfAtBegin;
    }
    FillNative(buffer, recNo);
    return xfOk;
}

int TXfDataSet::DesignRecord(TRecordBuffer buffer, std::int32_t& recNo)
{
    XfiInitRecord(buffer);
    recNo = 1;
    return xfOk;
}

int TXfDataSet::DesignStep(bool forward, TRecordBuffer buffer, std::int32_t& recNo)
{
    // One blank record between the two cracks.
    bool& leaving = forward ? atBegin_ : atEnd_;
    if (!leaving) {
        (forward ? atEnd_ : atBegin_) = true;
        return forward ? xfAtEnd : xfAtBegin;
    }
    leaving = false;
    return DesignRecord(buffer, recNo);
}

int TXfDataSet::XfiGoToRecNo(std::int32_t recNo)
{
    if (!RunTime()) {
        atBegin_ = atEnd_ = false;
        return recNo == 1 ? xfOk : xfAtEnd;
    }
    SelectOwnArea("XfiGoToRecNo");
    bool ok = false;
    const int code = Engine([&] { ok = xf::GoChecked(recNo); });
    // A record the controlling order leaves out (its FOR condition fails, or a unique
    // tag holds its key for another record) puts the engine at the end: not reached.
    if (code || !ok || xf::dEOF()) {
        XfiSetToEnd();
        return code ? code : xfAtEnd;
    }
    atBegin_ = atEnd_ = false;
    return xfOk;
}

// ---- fields -----------------------------------------------------------------------

bool TXfDataSet::XfiGetFieldData(TField* field, const std::uint8_t* record, void* buffer)
{
    const TXfFieldProp* p = PropOf(field);
    if (!p) return false;
    const std::uint8_t* in = record + p->NativeOffset;
    switch (p->FieldType) {
    case ftString:
        if (in[0] == 0) return false;
        if (buffer) std::memcpy(buffer, in, static_cast<std::size_t>(p->NativeSize));
        return true;
    case ftDate: {
        const double value = Load<double>(in);
        if (value == 0) return false;
        if (buffer) Store<std::int32_t>(static_cast<std::uint8_t*>(buffer), static_cast<std::int32_t>(std::floor(value)) + kDateDelta);
        return true;
    }
    case ftMemo: {
        const TMemoEdit* edit = PendingMemo(field, record);
        return edit ? edit->Bytes->Size() > 0 : Load<std::int32_t>(in) > 0;
    }
    default:
        if (buffer) std::memcpy(buffer, in, static_cast<std::size_t>(p->NativeSize));
        return true;
    }
}

void TXfDataSet::RefuseNumberThatDoesNotFit(const TXfFieldProp& p, const TField* field, const void* buffer)
{
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::string text, value;
    if (p.FieldType == ftFloat) {
        text = NumberText(Load<double>(in), p.Decimals);
        value = db::FloatToText(Load<double>(in));
    } else {
        text = value = std::to_string(p.FieldType == ftLargeint ? Load<std::int64_t>(in) : Load<std::int32_t>(in));
    }
    if (!text.empty() && text.size() <= static_cast<std::size_t>(p.Length)) return;
    // The record would get "*" for it.
    const int whole = p.Length - (p.Decimals > 0 ? p.Decimals + 1 : 0);
    const std::string fraction = p.Decimals > 0 ? "." + std::string(static_cast<std::size_t>(p.Decimals), '9') : "";
    const std::string highest = std::string(static_cast<std::size_t>(std::max(whole, 0)), '9') + fraction;
    const std::string lowest = whole >= 2 ? "-" + std::string(static_cast<std::size_t>(whole - 1), '9') + fraction : "0";
    DatabaseErrorFmt(texts::SFieldRangeError, {value, field->DisplayName(), lowest, highest}, this);
}

void TXfDataSet::XfiSetFieldData(TField* field, std::uint8_t* record, const void* buffer)
{
    const TXfFieldProp* p = PropOf(field);
    if (!p) return;
    if (buffer && (p->Type == 'N' || p->Type == 'F')) RefuseNumberThatDoesNotFit(*p, field, buffer);
    std::uint8_t* out = record + p->NativeOffset;
    std::memset(out, 0, static_cast<std::size_t>(p->NativeSize));
    if (buffer) {
        switch (p->FieldType) {
        case ftString: {
            const auto* text = static_cast<const char*>(buffer);
            std::string value = TrimRightStr(std::string_view(text, StrLenZ(text)));
            std::memcpy(out, value.data(), std::min<std::size_t>(value.size(), static_cast<std::size_t>(p->Length)));
            break;
        }
        case ftDate: Store(out, static_cast<double>(Load<std::int32_t>(static_cast<const std::uint8_t*>(buffer)) - kDateDelta)); break;
        case ftMemo: break;
        default: std::memcpy(out, buffer, static_cast<std::size_t>(p->NativeSize));
        }
    }
    MarkChanged(field);
}

void TXfDataSet::MarkChanged(const TField* field)
{
    const int n = field->FieldNo();
    if (n >= 1 && n <= static_cast<int>(changed_.size())) changed_[static_cast<std::size_t>(n - 1)] = true;
}

// ---- edits ------------------------------------------------------------------------

void TXfDataSet::InternalEdit() { ResetEdit(); }

void TXfDataSet::InternalInsert() { InternalEdit(); }

void TXfDataSet::InternalCancel()
{
    SelectOwnArea("InternalCancel");
    FreeTriedMemos();
    ResetEdit();
}

void TXfDataSet::FreeTriedMemos()
{
    // Memos tries of the post stored go back to the free space, except the one the
    // record names when a try failed after writing it: the record keeps that, and
    // the block it gave up for it goes instead.
    const std::int32_t recNo = State() == dsEdit ? RecNoOf(ActiveBuffer()) : 0;
    for (std::size_t i = 0; i < memoEdits_.size(); ++i) {
        const TMemoEdit& edit = memoEdits_[i];
        std::vector<std::int32_t> blocks = edit.Superseded;
        if (edit.Stored > 0) blocks.push_back(edit.Stored);
        if (blocks.empty()) continue;
        std::optional<std::int32_t> named;
        if (recNo > 0) Engine([&] { named = xf::StoredMemoBlock(static_cast<int>(i) + 1, recNo); });
        if (named && edit.Ours(*named)) {
            std::erase(blocks, *named);
            if (edit.Replaced > 0) blocks.push_back(edit.Replaced);
        }
        for (const std::int32_t block : blocks) Engine([&] { EditMemo(block, {}); });
    }
}

void TXfDataSet::ResetEdit()
{
    changed_.assign(props_.size(), false);
    memoEdits_.assign(props_.size(), {});
    replacedMemos_.clear();
}

const TXfDataSet::TMemoEdit* TXfDataSet::PendingMemo(const TField* field, const std::uint8_t* record) const
{
    const std::size_t i = static_cast<std::size_t>(field->FieldNo() - 1);
    if ((State() != dsEdit && State() != dsInsert) || record != ActiveBuffer() || i >= memoEdits_.size()) return nullptr;
    return memoEdits_[i].Bytes ? &memoEdits_[i] : nullptr;
}

void TXfDataSet::TakeMemoEdit(const TField* field, std::shared_ptr<TMemoryStream> bytes)
{
    const std::size_t i = static_cast<std::size_t>(field->FieldNo() - 1);
    if (i >= memoEdits_.size()) return;
    memoEdits_[i].Bytes = std::move(bytes);
    MarkChanged(field);
}

bool TXfDataSet::MemoStoredFrom(const TField* field, const std::shared_ptr<TMemoryStream>& bytes) const
{
    const std::size_t i = static_cast<std::size_t>(field->FieldNo() - 1);
    return i < memoEdits_.size() && !memoEdits_[i].Bytes && memoEdits_[i].StoredFrom.lock() == bytes;
}

void TXfDataSet::StoreMemoEdits(TRecordBuffer record)
{
    for (std::size_t i = 0; i < memoEdits_.size() && i < props_.size(); ++i) {
        TMemoEdit& edit = memoEdits_[i];
        if (!edit.Bytes) continue;
        TMemoryStream& bytes = *edit.Bytes;
        std::int32_t block = 0;
        CheckResult(Engine([&] {
            CreateBlobDescriptor(tableLanguage_ == tlOem, 0, kBlobWrite, bytes.Size());
            WriteBlobStream(bytes.Memory(), bytes.Size());
            block = DestroyBlobDescriptor();
        }));
        // A memo an earlier try stored is freed once the post is through: that try
        // may have written the record before it failed, which then names it.
        if (edit.Stored > 0) edit.Superseded.push_back(edit.Stored);
        Store<std::int32_t>(record + props_[i].NativeOffset, block);
        edit.StoredFrom = std::exchange(edit.Bytes, nullptr);
        edit.Stored = block;
        edit.HasStored = true;
    }
}

bool TXfDataSet::ReplaceStoredMemos(std::int32_t recNo)
{
    replacedMemos_.clear();
    for (std::size_t i = 0; i < memoEdits_.size() && i < props_.size(); ++i) {
        TMemoEdit& edit = memoEdits_[i];
        if (!edit.HasStored) continue;
        // What this station read of the field may be older than the file, and may
        // even name the block the edit was given: the field is compared with the
        // file, not with that.
        const std::optional<std::int32_t> now = xf::StoredMemoBlock(static_cast<int>(i) + 1, recNo);
        if (!now) return false;
        // A memo of this edit in the file: a try wrote the record before it failed,
        // and the block it replaced then is still the one the record gives up.
        if (!edit.Ours(*now)) edit.Replaced = *now;
        replacedMemos_.insert(replacedMemos_.end(), edit.Superseded.begin(), edit.Superseded.end());
        if (edit.Replaced > 0) replacedMemos_.push_back(edit.Replaced);
    }
    return true;
}

std::string TXfDataSet::ReadMemo(const TField* field, std::uint8_t* record)
{
    const TXfFieldProp* p = PropOf(field);
    if (!p || !record || !RunTime()) return {};
    // Whatever another dataset made current, the memo is this table's.
    SelectOwnArea("CreateBlobStream");
    std::uint8_t* at = record + p->NativeOffset;
    const std::int32_t held = Load<std::int32_t>(at);
    std::string bytes;
    const auto readBlock = [&](std::int32_t block) {
        bytes.clear();
        if (block <= 0) return;
        CreateBlobDescriptor(tableLanguage_ == tlOem, block, kBlobRead);
        if (XfErrors().LastError != 0) return;
        bytes.resize(static_cast<std::size_t>(BlobStreamSize()));
        bytes.resize(static_cast<std::size_t>(ReadBlobStream(bytes.data(), static_cast<std::int64_t>(bytes.size()))));
        DestroyBlobDescriptor();
    };
    const std::size_t i = static_cast<std::size_t>(field->FieldNo() - 1);
    // A record being inserted is not in the file; one being edited may hold the
    // memo its edit stored. A dBASE III or FoxPro file never hands a block on.
    const bool ownBlock = State() == dsInsert ||
                          (State() == dsEdit && record == ActiveBuffer() && i < memoEdits_.size() && memoEdits_[i].HasStored);
    const std::uint8_t kind = GetMemoType();
    if (ownBlock || !dbf4::Shared(*xf::WorkArea(area_)) || (kind != kMemoDbase4 && kind != kMemoLevel7)) {
        CheckResult(Engine([&] { readBlock(held); }));
        return bytes;
    }
    // Another program may free the record's block and hand it to another record's
    // memo while it is read, without a lock: the read counts only when the record
    // names the same block after it as before.
    const std::int32_t recNo = RecNoOf(record);
    for (int attempt = 0; attempt < kSharedMemoReads; ++attempt) {
        if (attempt > 0) XfClocks().SleepMs(std::int64_t {1} << (attempt - 1));
        std::optional<std::int32_t> before, after;
        CheckResult(Engine([&] { before = xf::StoredMemoBlock(field->FieldNo(), recNo); }));
        const std::int32_t block = before.value_or(held);
        int code = 0;
        {
            TXfDeferErrors defer;
            code = Engine([&] { readBlock(block); });
        }
        CheckResult(Engine([&] { after = xf::StoredMemoBlock(field->FieldNo(), recNo); }));
        if (after != before) {
            // What the moved block gave, or its failure, is not this record's.
            TakeErrorContext();
            continue;
        }
        CheckResult(code);
        Store<std::int32_t>(at, block);
        return bytes;
    }
    DatabaseError("Memo of record " + std::to_string(recNo) + " changed on every one of " + std::to_string(kSharedMemoReads) +
                      " reads [CreateBlobStream]",
                  this);
}

int TXfDataSet::XfiInitRecord(TRecordBuffer buffer)
{
    std::memset(buffer, 0, static_cast<std::size_t>(nativeSize_));
    return xfOk;
}

void TXfDataSet::WithLock(bool tableLock, const TXfLockFailedEvent& onFailed, const char* what, const std::function<void()>& work)
{
    while (true) {
        bool locked = false;
        if (const int code = Engine([&] { locked = tableLock ? xf::ALock() : xf::RLock(); })) CheckResult(code);
        if (locked) {
            const int code = Engine(work);
            Engine([] { xf::Unlock(); });
            CheckResult(code);
            return;
        }
        bool retry = false;
        if (onFailed) onFailed(*this, retry);
        if (!retry) DatabaseError("Lock failed [" + std::string(what) + "]", this);
    }
}

int TXfDataSet::XfiAppendRecord(TRecordBuffer buffer)
{
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset", this);
    SelectOwnArea("s_AppendWithLock");
    StoreMemoEdits(buffer);
    WithLock(true, OnALockFailedOnInsert, "Insert", [&] {
        xf::ClearRecord();
        xf::CurrentRecord().SetDeleted(false);
        changed_.assign(props_.size(), true);
        NativeToTyped(buffer, false);
        xf::Append();
    });
    // The new record names none of the memos earlier tries stored.
    replacedMemos_.clear();
    for (const TMemoEdit& edit : memoEdits_) replacedMemos_.insert(replacedMemos_.end(), edit.Superseded.begin(), edit.Superseded.end());
    FreeReplacedMemos();
    atBegin_ = atEnd_ = false;
    ResetEdit();
    return xfOk;
}

int TXfDataSet::XfiPostRecord(TRecordBuffer buffer)
{
    if (atBegin_) return xfAtBegin;
    if (atEnd_) return xfAtEnd;
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset", this);
    SelectOwnArea("s_ReplaceWithLock");
    StoreMemoEdits(buffer);
    const std::int32_t recNo = RecNoOf(buffer);
    const std::int32_t follower = FollowerInOrder(recNo);
    if (const int code = ByRecordNumber(recNo, [&] {
            WithLock(false, OnRLockFailedOnPost, "Post", [&] {
                TWorkArea* a = xf::WorkArea(area_);
                // The record as it is in the file now, under the lock, and the image it is
                // compared with: what this station read may be older (records read ahead),
                // and a value assigned equal to that must still be written. Other users'
                // changes to fields the edit left alone stay.
                if (!dbf4::ReadRecord(*a, recNo)) return;
                NativeToTyped(buffer, true);
                if (ReplaceStoredMemos(recNo)) xf::Replace();
            });
        }))
        return code;
    FreeReplacedMemos();
    ResetEdit();
    StandAfterPost(recNo, follower);
    return xfOk;
}

int TXfDataSet::ByRecordNumber(std::int32_t recNo, const std::function<void()>& write)
{
    // Under an index order GO, and the key upkeep of a replace, send the area to the
    // end when the record fails the order's FOR condition (another user may have
    // changed it since this dataset showed it): record order until the write is done.
    const int order = xf::CurrentOrder();
    const auto orderBack = [&] {
        if (order != 0) Engine([&] { xf::Set_Order_To(order); });
    };
    if (const int code = Engine([&] {
            if (order != 0) xf::Set_Order_To(0);
            xf::GO(recNo);
        })) {
        orderBack();
        return code;
    }
    try {
        write();
    } catch (...) {
        orderBack();
        throw;
    }
    orderBack();
    return xfOk;
}

std::int32_t TXfDataSet::FollowerInOrder(std::int32_t recNo)
{
    if (xf::CurrentOrder() == 0) return 0;
    std::int32_t follower = 0;
    Engine([&] {
        if (recNo < 1 || recNo > xf::RecCount()) return;
        TDbfTable& t = xf::WorkArea(area_)->Table;
        // The record's key as the file holds it decides.
        DropReadAhead(t);
        xf::GO(recNo);
        if (xf::dEOF()) {
            // Its FOR condition leaves it out (another user changed it): the order
            // steps on from where its key goes.
            xf::Dbf4RawGo(recNo);
            t.Bof = t.Eof = false;
            xf::SaveCurrentKeys(false, 1);
        }
        xf::SKIP(1);
        if (!xf::dEOF()) follower = xf::RecNo();
    });
    return follower;
}

void TXfDataSet::StandAfterPost(std::int32_t recNo, std::int32_t follower)
{
    // The write has landed whatever this finds: a record that cannot be read is
    // reported when the dataset reads it next.
    Engine([&] {
        if (!xf::dEOF() && xf::RecNo() == recNo) return;
        if (xf::GoChecked(recNo) && !xf::dEOF()) return;
        if (follower > 0 && xf::GoChecked(follower) && !xf::dEOF()) return;
        xf::GoBottom();
    });
    atBegin_ = false;
    atEnd_ = xf::dEOF();
}

void TXfDataSet::FreeReplacedMemos()
{
    for (const std::int32_t block : replacedMemos_) Engine([&] { EditMemo(block, {}); });
}

void TXfDataSet::Restore()
{
    CheckBrowseMode();
    if (IsEmpty()) return;
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset", this);
    DoBeforeRestore();
    UpdateCursorPos();
    SelectOwnArea("s_RestoreWithLock");
    const std::int32_t recNo = RecNoOf(ActiveBuffer());
    const std::int32_t follower = FollowerInOrder(recNo);
    // Only the deletion flag is written: other fields changed elsewhere stay.
    CheckResult(ByRecordNumber(recNo, [&] { WithLock(false, OnRLockFailedOnRestore, "Restore", [] { xf::RecallRec(); }); }));
    StandAfterPost(recNo, follower);
    Resync({});
    DoAfterRestore();
}

std::optional<TXfValue> TXfDataSet::LocateValue(const TXfFieldProp& p, const Variant& key) const
{
    try {
        switch (p.Type) {
        case 'C': return TextToNative(key.ToString());
        case 'L': return key.ToBool();
        case 'D': {
            // The day of a date with a time of day.
            const double day = std::floor(key.ToDateTime()) + DateBase();
            if (!(day >= kFirstDateNumber && day <= kLastDateNumber)) return std::nullopt;
            return day;
        }
        default:
            // An integer field takes an integer's digits whole (a double drops some
            // past 2^53); any other number LOCATE rounds as the field would.
            if (p.FieldType != ftFloat) {
                std::int64_t whole = 0;
                if (key.VarType() == Variant::Type::Integer) return key.ToInt64();
                if (key.VarType() == Variant::Type::String && ReadWholeInteger(key.ToString(), whole)) return whole;
            }
            return key.ToDouble();
        }
    } catch (const EVariantError&) {
        return std::nullopt;
    }
}

bool TXfDataSet::HeldAsIs(const std::string& text, const std::string& native) const
{
    return TextFromNative(TableLanguage() == tlOem ? XfOemToAnsi(XfAnsiToOem(native)) : native) == text;
}

int TXfDataSet::XfiLocateRecord(const std::string& keyFields, const Variant& keyValues, TLocateOptions options)
{
    const std::vector<TField*> fields = GetFieldList(keyFields);
    if (keyValues.IsArray() ? keyValues.ArrayLength() < fields.size() : fields.size() != 1) DatabaseError(texts::SFieldIndexError, this);
    std::string names;
    std::vector<TXfValue> values;
    bool engine = !Filtered();
    for (std::size_t i = 0; i < fields.size() && engine; ++i) {
        const Variant& key = (fields.size() == 1 && !keyValues.IsArray()) ? keyValues : keyValues[i];
        const TXfFieldProp* p = PropOf(fields[i]);
        // A null key, a memo (which the engine searches for contained text), a
        // calculated field, a text key ending in blanks (which the engine takes for
        // padding) or one with a character the table cannot hold (which the engine
        // would store as another): the framework's scan decides.
        if (!p || key.IsClear() || p->Type == 'M' || (p->Type == 'C' && key.ToString().ends_with(' '))) {
            engine = false;
            break;
        }
        std::optional<TXfValue> value = LocateValue(*p, key);
        // A value the field cannot hold matches no record.
        if (!value) return xfAtEnd;
        if (p->Type == 'C' && !HeldAsIs(key.ToString(), std::get<std::string>(*value))) {
            engine = false;
            break;
        }
        values.push_back(std::move(*value));
        names += (names.empty() ? "" : ";") + p->Name;
    }
    SelectOwnArea("XfiLocateRecord");
    if (!engine) return TXfPrimDataset::XfiLocateRecord(keyFields, keyValues, options);
    // In record order the engine's LOCATE, index file open or not; under an index
    // order the same comparison, the first match the order's.
    const bool inOrder = CurrentOrder() != 0;
    bool found = false;
    const int code = Engine([&] {
        found = xf::LocateRecord(names, values, options.Contains(loCaseInsensitive), options.Contains(loPartialKey), true, inOrder);
    });
    if (code) return code;
    if (!found) return xfAtEnd;
    atBegin_ = atEnd_ = false;
    return xfOk;
}

int TXfDataSet::XfiDeleteRecord()
{
    if (!GetCanModify()) DatabaseError("Cannot modify a read-only dataset", this);
    SelectOwnArea("s_DeleteWithLock");
    const std::int32_t recNo = RecNoOf(ActiveBuffer());
    const std::int32_t follower = FollowerInOrder(recNo);
    if (const int code = ByRecordNumber(recNo, [&] { WithLock(false, OnRLockFailedOnDelete, "Delete", [] { xf::DeleteRec(); }); }))
        return code;
    // Deleted in the middle of an edit, which ends with it.
    FreeTriedMemos();
    ResetEdit();
    StandAfterPost(recNo, follower);
    if (xf::RecCount() == 0) atBegin_ = true;
    return xfOk;
}

}  // namespace xf
