#include "platform/db/Fields.h"

#include "platform/db/Convert.h"
#include "platform/db/DBError.h"
#include "platform/db/DataSet.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>

namespace db {

const char* FieldTypeName(TFieldType type) {
    static const char* const kNames[] = {
        "Unknown", "String", "Smallint", "Integer", "Word", "Boolean", "Float", "Currency", "BCD",
        "Date", "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic",
        "FmtMemo", "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor", "FixedChar", "WideString",
        "Largeint", "ADT", "Array", "Reference", "DataSet", "OraBlob", "OraClob", "Variant",
        "Interface", "IDispatch", "Guid", "TimeStamp", "FMTBcd"};
    const auto i = static_cast<size_t>(type);
    return i < sizeof kNames / sizeof kNames[0] ? kNames[i] : "Unknown";
}

namespace {

// Text goes through the field's own parsing and gives nothing back; any other
// Variant is converted, and one that cannot be is the field's value error.
template <class T>
std::optional<T> NonTextValue(TField& field, const Variant& value, T (Variant::*convert)() const) {
    if (value.VarType() == Variant::Type::String) {
        field.SetAsString(value.ToString());
        return std::nullopt;
    }
    try {
        return (value.*convert)();
    } catch (const EVariantError&) {
        DatabaseErrorFmt(texts::SFieldValueError, {field.DisplayName()}, field.DataSet());
    }
}

// The integer fields' native values, each at its own width.
template <class Native>
bool ReadNativeAs(const TField& field, std::int64_t& value) {
    Native v = 0;
    if (!field.GetData(&v)) return false;
    value = v;
    return true;
}

template <class Native>
void WriteNativeAs(TField& field, std::int64_t value) {
    const auto v = static_cast<Native>(value);
    field.SetData(&v);
}

}  // namespace

// ================================================================ TField

TField::TField(rtl::TComponent* owner) : rtl::TComponent(owner) {}

TField::~TField() = default;

void TField::SetFieldName(const std::string& name) {
    if (dataSet_ && dataSet_->Active()) DatabaseError(texts::SDataSetOpen, dataSet_);
    fieldName_ = name;
}

void TField::SetFieldKind(TFieldKind kind) {
    if (kind == fieldKind_) return;
    if (dataSet_ && dataSet_->Active()) DatabaseError(texts::SDataSetOpen, dataSet_);
    if ((kind == fkCalculated || kind == fkLookup) && IsBlob())
        DatabaseErrorFmt(texts::SInvalidCalcType, {DisplayName()}, dataSet_);
    fieldKind_ = kind;
}

void TField::SetSize(int size) {
    if (dataSet_ && dataSet_->Active()) DatabaseError(texts::SDataSetOpen, dataSet_);
    CheckSize(size);
    size_ = size;
}

void TField::CheckSize(int size) const {
    if (size < 0) DatabaseError(texts::SInvalidFieldSize, dataSet_);
}

int TField::Index() const { return dataSet_ ? dataSet_->Fields().IndexOf(this) : -1; }

bool TField::CanModify() const {
    if (readOnly_ || !dataSet_) return false;
    if (fieldKind_ == fkLookup) return false;
    return dataSet_->CanModify();
}

bool TField::IsIndexField() const { return dataSet_ && fieldKind_ == fkData && dataSet_->GetIsIndexField(const_cast<TField*>(this)); }

TDataSet& TField::RequireDataSet() const {
    if (!dataSet_) DatabaseErrorFmt(texts::SDataSetMissing, {DisplayName()});
    return *dataSet_;
}

bool TField::GetData(void* buffer) const {
    if (inValidate_) {
        if (!validating_) return false;
        if (buffer) std::memcpy(buffer, validating_, static_cast<size_t>(DataSize()));
        return true;
    }
    return RequireDataSet().GetFieldData(const_cast<TField*>(this), buffer);
}

void TField::SetData(const void* buffer) { RequireDataSet().SetFieldData(this, buffer); }

void TField::Validate(const void* buffer) {
    if (!OnValidate) return;
    struct Guard {
        TField& f;
        ~Guard() {
            f.inValidate_ = false;
            f.validating_ = nullptr;
        }
    } guard{*this};
    inValidate_ = true;
    validating_ = buffer;
    OnValidate(*this);
}

void TField::Change() {
    if (OnChange) OnChange(*this);
}

bool TField::IsNull() const { return !GetData(nullptr); }

void TField::Clear() { SetData(nullptr); }

void TField::AccessError(const char* typeName) const {
    DatabaseErrorFmt(texts::SFieldAccessError, {DisplayName(), typeName}, dataSet_);
}

void TField::RangeError(double value, double min, double max) const {
    DatabaseErrorFmt(texts::SFieldRangeError, {FloatToText(value), DisplayName(), FloatToText(min), FloatToText(max)},
                     dataSet_);
}

std::string TField::TextFromNative(std::string_view bytes) const {
    return dataSet_ ? dataSet_->TextFromNative(bytes) : std::string(bytes);
}

std::string TField::TextToNative(std::string_view text) const {
    return dataSet_ ? dataSet_->TextToNative(text) : std::string(text);
}

std::string TField::GetAsString() const { AccessError("String"); }
void TField::SetAsStringValue(const std::string&) { AccessError("String"); }
std::int32_t TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsIntegerValue(std::int32_t) { AccessError("Integer"); }
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloatValue(double) { AccessError("Float"); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBooleanValue(bool) { AccessError("Boolean"); }
double TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTimeValue(double) { AccessError("DateTime"); }
Variant TField::GetAsVariant() const { AccessError("Variant"); }
void TField::SetVarValue(const Variant&) { AccessError("Variant"); }

void TField::SetAsVariant(const Variant& value) {
    if (value.IsClear()) Clear();
    else SetVarValue(value);
}

std::string TField::GetText(bool displayText) const {
    if (OnGetText) {
        std::string text;
        OnGetText(const_cast<TField&>(*this), text, displayText);
        return text;
    }
    return IsNull() ? std::string() : GetAsString();
}

void TField::SetText(const std::string& text) {
    if (OnSetText) OnSetText(*this, text);
    else SetAsString(text);
}

Variant TField::OldValue() const { return RequireDataSet().GetStateFieldValue(dsOldValue, const_cast<TField*>(this)); }

Variant TField::NewValue() const { return RequireDataSet().GetStateFieldValue(dsNewValue, const_cast<TField*>(this)); }

void TField::CalcLookupValue() {
    if (!lookupDataSet_ || !lookupDataSet_->Active()) {
        Clear();
        return;
    }
    const Variant keys = RequireDataSet().FieldValues(keyFields_);
    SetAsVariant(lookupDataSet_->Lookup(lookupKeyFields_, keys, lookupResultField_));
}

// ================================================================ TStringField

TStringField::TStringField(rtl::TComponent* owner) : TField(owner) {
    SetDataType(ftString);
    SetSize(20);
}

void TStringField::CheckSize(int size) const {
    if (size < 1 || size > 8192) DatabaseError(texts::SInvalidFieldSize, DataSet());
}

namespace {

// A string field's native buffer: on the stack for the usual sizes, as every
// text of every row read or written passes through one.
class TNativeBuffer {
public:
    explicit TNativeBuffer(int size) : size_(static_cast<size_t>(std::max(size, 1))) {
        if (size_ > sizeof small_) large_.assign(size_, '\0');
        else std::memset(small_, 0, size_);
    }
    char* data() { return size_ > sizeof small_ ? large_.data() : small_; }
    size_t size() const { return size_; }

private:
    size_t size_;
    char small_[512];
    std::string large_;
};

}  // namespace

std::string TStringField::GetAsString() const {
    TNativeBuffer buf(DataSize());
    if (!GetData(buf.data())) return std::string();
    return TextFromNative(std::string_view(buf.data(), strnlen(buf.data(), buf.size())));
}

void TStringField::SetAsStringValue(const std::string& value) {
    // Cut on a character boundary until the native form fits the field. A
    // native form has at least a byte per character, so more characters than
    // the size never fit: drop those first, which bounds the loop.
    std::string_view text = value;
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars++ == static_cast<size_t>(Size())) {
            text = text.substr(0, i);
            break;
        }
    }
    std::string native = TextToNative(text);
    while (static_cast<int>(native.size()) > Size()) {
        text = CutUtf8(text, text.size() - 1);
        native = TextToNative(text);
    }
    TNativeBuffer buf(DataSize());
    std::memcpy(buf.data(), native.data(), std::min(native.size(), buf.size() - 1));
    SetData(buf.data());
}

std::int32_t TStringField::GetAsInteger() const {
    const std::string text = GetAsString();
    auto v = TextToInt(text);
    if (!v || *v < INT32_MIN || *v > INT32_MAX) DatabaseErrorFmt(texts::SInvalidIntegerValue, {text, DisplayName()}, DataSet());
    return static_cast<std::int32_t>(*v);
}

void TStringField::SetAsIntegerValue(std::int32_t value) { SetAsString(IntToText(value)); }

double TStringField::GetAsFloat() const {
    const std::string text = GetAsString();
    auto v = TextToFloat(text);
    if (!v) DatabaseErrorFmt(texts::SInvalidFloatValue, {text, DisplayName()}, DataSet());
    return *v;
}

void TStringField::SetAsFloatValue(double value) { SetAsString(FloatToText(value)); }

bool TStringField::GetAsBoolean() const {
    const std::string text = GetAsString();
    return !text.empty() && std::strchr("TtYy1", text[0]) != nullptr;
}

void TStringField::SetAsBooleanValue(bool value) { SetAsString(value ? "T" : "F"); }

double TStringField::GetAsDateTime() const {
    const std::string text = GetAsString();
    auto v = TextToDateTime(text);
    if (!v) DatabaseErrorFmt(texts::SInvalidDateValue, {text, DisplayName()}, DataSet());
    return *v;
}

void TStringField::SetAsDateTimeValue(double value) { SetAsString(DateTimeToText(value)); }

Variant TStringField::GetAsVariant() const { return Variant(GetAsString()); }

void TStringField::SetVarValue(const Variant& value) { SetAsString(value.ToString()); }

// ================================================================ integers

TIntegerField::TIntegerField(rtl::TComponent* owner) : TNumericField(owner) { SetDataType(ftInteger); }

bool TIntegerField::ReadNative(std::int64_t& value) const { return ReadNativeAs<std::int32_t>(*this, value); }

void TIntegerField::WriteNative(std::int64_t value) { WriteNativeAs<std::int32_t>(*this, value); }

void TIntegerField::CheckRange(std::int64_t value) const {
    std::int64_t lo = TypeMin(), hi = TypeMax();
    if (minValue_ != 0 || maxValue_ != 0) {
        lo = std::max<std::int64_t>(lo, minValue_);
        hi = std::min<std::int64_t>(hi, maxValue_);
    }
    if (value < lo || value > hi)
        DatabaseErrorFmt(texts::SFieldRangeError, {IntToText(value), DisplayName(), IntToText(lo), IntToText(hi)},
                         DataSet());
}

std::string TIntegerField::GetAsString() const {
    std::int64_t v = 0;
    return ReadNative(v) ? IntToText(v) : std::string();
}

void TIntegerField::SetAsStringValue(const std::string& value) {
    if (TrimText(value).empty()) {
        Clear();
        return;
    }
    auto v = TextToInt(value);
    if (!v) DatabaseErrorFmt(texts::SInvalidIntegerValue, {value, DisplayName()}, DataSet());
    CheckRange(*v);
    WriteNative(*v);
}

std::int32_t TIntegerField::GetAsInteger() const {
    std::int64_t v = 0;
    return ReadNative(v) ? static_cast<std::int32_t>(v) : 0;
}

void TIntegerField::SetAsIntegerValue(std::int32_t value) {
    CheckRange(value);
    WriteNative(value);
}

double TIntegerField::GetAsFloat() const {
    std::int64_t v = 0;
    return ReadNative(v) ? static_cast<double>(v) : 0.0;
}

void TIntegerField::SetAsFloatValue(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 9.0e18)
        DatabaseErrorFmt(texts::SFieldValueError, {DisplayName()}, DataSet());
    const auto v = static_cast<std::int64_t>(std::llround(value));
    CheckRange(v);
    WriteNative(v);
}

Variant TIntegerField::GetAsVariant() const {
    std::int64_t v = 0;
    return ReadNative(v) ? Variant(v) : Variant::Null();
}

void TIntegerField::SetVarValue(const Variant& value) {
    if (const auto v = NonTextValue(*this, value, &Variant::ToInt64)) {
        CheckRange(*v);
        WriteNative(*v);
    }
}

TSmallintField::TSmallintField(rtl::TComponent* owner) : TIntegerField(owner) { SetDataType(ftSmallint); }

bool TSmallintField::ReadNative(std::int64_t& value) const { return ReadNativeAs<std::int16_t>(*this, value); }

void TSmallintField::WriteNative(std::int64_t value) { WriteNativeAs<std::int16_t>(*this, value); }

TWordField::TWordField(rtl::TComponent* owner) : TIntegerField(owner) { SetDataType(ftWord); }

bool TWordField::ReadNative(std::int64_t& value) const { return ReadNativeAs<std::uint16_t>(*this, value); }

void TWordField::WriteNative(std::int64_t value) { WriteNativeAs<std::uint16_t>(*this, value); }

TLargeintField::TLargeintField(rtl::TComponent* owner) : TIntegerField(owner) { SetDataType(ftLargeint); }

std::int32_t TLargeintField::GetAsInteger() const {
    std::int64_t v = 0;
    if (!ReadNative(v)) return 0;
    if (v < INT32_MIN || v > INT32_MAX) AccessError("Integer");
    return static_cast<std::int32_t>(v);
}

bool TLargeintField::ReadNative(std::int64_t& value) const { return ReadNativeAs<std::int64_t>(*this, value); }

void TLargeintField::WriteNative(std::int64_t value) { WriteNativeAs<std::int64_t>(*this, value); }

TAutoIncField::TAutoIncField(rtl::TComponent* owner) : TIntegerField(owner) { SetDataType(ftAutoInc); }

// ================================================================ floats

TFloatField::TFloatField(rtl::TComponent* owner) : TNumericField(owner) { SetDataType(ftFloat); }

std::string TFloatField::GetAsString() const {
    double v = 0;
    return GetData(&v) ? FloatToText(v) : std::string();
}

void TFloatField::SetAsStringValue(const std::string& value) {
    if (TrimText(value).empty()) {
        Clear();
        return;
    }
    auto v = TextToFloat(value);
    if (!v) DatabaseErrorFmt(texts::SInvalidFloatValue, {value, DisplayName()}, DataSet());
    SetAsFloat(*v);
}

std::int32_t TFloatField::GetAsInteger() const {
    const double v = GetAsFloat();
    if (!(v >= INT32_MIN && v <= INT32_MAX)) AccessError("Integer");
    return static_cast<std::int32_t>(std::llround(v));
}

void TFloatField::SetAsIntegerValue(std::int32_t value) { SetAsFloat(value); }

double TFloatField::GetAsFloat() const {
    double v = 0;
    return GetData(&v) ? v : 0.0;
}

void TFloatField::SetAsFloatValue(double value) {
    if (!std::isfinite(value)) DatabaseErrorFmt(texts::SFieldValueError, {DisplayName()}, DataSet());
    if ((minValue_ != 0 || maxValue_ != 0) && (value < minValue_ || value > maxValue_))
        RangeError(value, minValue_, maxValue_);
    SetData(&value);
}

Variant TFloatField::GetAsVariant() const {
    double v = 0;
    return GetData(&v) ? Variant(v) : Variant::Null();
}

void TFloatField::SetVarValue(const Variant& value) {
    if (const auto v = NonTextValue(*this, value, &Variant::ToDouble)) SetAsFloat(*v);
}

TCurrencyField::TCurrencyField(rtl::TComponent* owner) : TFloatField(owner) {
    SetDataType(ftCurrency);
    SetCurrency(true);
}

// ================================================================ BCD

TBCDField::TBCDField(rtl::TComponent* owner) : TNumericField(owner) {
    SetDataType(ftBCD);
    SetSize(4);
}

void TBCDField::CheckSize(int size) const {
    if (size < 0 || size > 32) DatabaseError(texts::SInvalidFieldSize, DataSet());
}

bool TBCDField::GetCurrencyUnits(std::int64_t& units) const {
    TBcd bcd;
    if (!GetData(&bcd)) return false;
    auto v = BCDToCurr(bcd);
    if (!v) DatabaseErrorFmt(texts::SFieldValueError, {DisplayName()}, DataSet());
    units = *v;
    return true;
}

void TBCDField::SetCurrencyUnits(std::int64_t units) {
    TBcd bcd;
    if (!CurrToBCD(units, bcd, precision_ < 1 ? 32 : precision_, std::min(Size(), 4)))
        DatabaseErrorFmt(texts::SFieldValueError, {DisplayName()}, DataSet());
    SetData(&bcd);
}

std::string TBCDField::GetAsString() const {
    TBcd bcd;
    return GetData(&bcd) ? BcdToText(bcd) : std::string();
}

void TBCDField::SetAsStringValue(const std::string& value) {
    if (TrimText(value).empty()) {
        Clear();
        return;
    }
    auto v = TextToFloat(value);
    if (!v) DatabaseErrorFmt(texts::SInvalidFloatValue, {value, DisplayName()}, DataSet());
    SetAsFloat(*v);
}

std::int32_t TBCDField::GetAsInteger() const {
    std::int64_t units = 0;
    if (!GetCurrencyUnits(units)) return 0;
    const std::int64_t v = units / kCurrencyScale;
    if (v < INT32_MIN || v > INT32_MAX) AccessError("Integer");
    return static_cast<std::int32_t>(v);
}

void TBCDField::SetAsIntegerValue(std::int32_t value) { SetCurrencyUnits(std::int64_t{value} * kCurrencyScale); }

double TBCDField::GetAsFloat() const {
    TBcd bcd;
    return GetData(&bcd) ? BcdToDouble(bcd) : 0.0;
}

void TBCDField::SetAsFloatValue(double value) {
    auto units = DoubleToCurr(value);
    if (!units) DatabaseErrorFmt(texts::SFieldValueError, {DisplayName()}, DataSet());
    SetCurrencyUnits(*units);
}

Variant TBCDField::GetAsVariant() const {
    TBcd bcd;
    return GetData(&bcd) ? Variant(BcdToDouble(bcd)) : Variant::Null();
}

void TBCDField::SetVarValue(const Variant& value) {
    if (const auto v = NonTextValue(*this, value, &Variant::ToDouble)) SetAsFloat(*v);
}

// ================================================================ Boolean

TBooleanField::TBooleanField(rtl::TComponent* owner) : TField(owner) {
    SetDataType(ftBoolean);
    SetDisplayValues(std::string(texts::STextTrue) + ";" + texts::STextFalse);
}

void TBooleanField::SetDisplayValues(const std::string& values) {
    const auto semi = values.find(';');
    std::string t = semi == std::string::npos ? values : values.substr(0, semi);
    std::string f = semi == std::string::npos ? std::string() : values.substr(semi + 1);
    if (t.empty() && f.empty()) DatabaseErrorFmt(texts::SInvalidBoolValue, {values, DisplayName()}, DataSet());
    displayValues_ = values;
    trueText_ = t;
    falseText_ = f;
}

bool TBooleanField::GetAsBoolean() const {
    std::int16_t v = 0;
    return GetData(&v) && v != 0;
}

void TBooleanField::SetAsBooleanValue(bool value) {
    const std::int16_t v = value ? -1 : 0;
    SetData(&v);
}

std::string TBooleanField::GetAsString() const {
    std::int16_t v = 0;
    if (!GetData(&v)) return std::string();
    return v != 0 ? trueText_ : falseText_;
}

void TBooleanField::SetAsStringValue(const std::string& value) {
    const std::string text = TrimText(value);
    if (text.empty()) {
        Clear();
        return;
    }
    // A leading part of either text will do ("T", "fal").
    auto starts = [&](const std::string& full) {
        return !full.empty() && text.size() <= full.size() &&
               UpperText(full.substr(0, text.size())) == UpperText(text);
    };
    if (starts(trueText_)) SetAsBoolean(true);
    else if (starts(falseText_)) SetAsBoolean(false);
    else DatabaseErrorFmt(texts::SInvalidBoolValue, {value, DisplayName()}, DataSet());
}

std::int32_t TBooleanField::GetAsInteger() const { return GetAsBoolean() ? 1 : 0; }

void TBooleanField::SetAsIntegerValue(std::int32_t value) { SetAsBoolean(value != 0); }

Variant TBooleanField::GetAsVariant() const {
    std::int16_t v = 0;
    return GetData(&v) ? Variant(v != 0) : Variant::Null();
}

void TBooleanField::SetVarValue(const Variant& value) {
    if (const auto v = NonTextValue(*this, value, &Variant::ToBool)) SetAsBoolean(*v);
}

// ================================================================ dates and times

TDateTimeField::TDateTimeField(rtl::TComponent* owner) : TField(owner) { SetDataType(ftDateTime); }

bool TDateTimeField::ReadDateTime(double& value) const {
    double ms = 0;
    if (!GetData(&ms)) return false;
    value = TimeStampToDateTime(MSecsToTimeStamp(ms));
    return true;
}

void TDateTimeField::WriteDateTime(double value) {
    const double ms = TimeStampToMSecs(DateTimeToTimeStamp(value));
    SetData(&ms);
}

std::string TDateTimeField::FormatValue(double value) const { return DateTimeToText(value); }

std::optional<double> TDateTimeField::ParseText(const std::string& text) const { return TextToDateTime(text); }

std::string TDateTimeField::GetAsString() const {
    double v = 0;
    return ReadDateTime(v) ? FormatValue(v) : std::string();
}

void TDateTimeField::SetAsStringValue(const std::string& value) {
    if (TrimText(value).empty()) {
        Clear();
        return;
    }
    const auto v = ParseText(value);
    if (!v) DatabaseErrorFmt(texts::SInvalidDateValue, {value, DisplayName()}, DataSet());
    SetAsDateTime(*v);
}

double TDateTimeField::GetAsFloat() const { return GetAsDateTime(); }

void TDateTimeField::SetAsFloatValue(double value) { SetAsDateTime(value); }

double TDateTimeField::GetAsDateTime() const {
    double v = 0;
    return ReadDateTime(v) ? v : 0.0;
}

void TDateTimeField::SetAsDateTimeValue(double value) {
    // Before 1 January of year 1, from 1 January 10000 on, or not a number: no
    // such date. The value is kept to the millisecond, so the upper bound is
    // taken there: a fraction of one short of year 10000 is stored in it.
    constexpr double kYear10000 = 2958466.0;
    if (!std::isfinite(value) || value < -kDateDelta + 1 ||
        std::round(value * kMSecsPerDay) >= kYear10000 * kMSecsPerDay)
        DatabaseErrorFmt(texts::SFieldValueError, {DisplayName()}, DataSet());
    WriteDateTime(value);
}

Variant TDateTimeField::GetAsVariant() const {
    double v = 0;
    return ReadDateTime(v) ? Variant::FromDateTime(v) : Variant::Null();
}

void TDateTimeField::SetVarValue(const Variant& value) {
    if (const auto v = NonTextValue(*this, value, &Variant::ToDateTime)) SetAsDateTime(*v);
}

TDateField::TDateField(rtl::TComponent* owner) : TDateTimeField(owner) { SetDataType(ftDate); }

bool TDateField::ReadDateTime(double& value) const {
    std::int32_t day = 0;
    if (!GetData(&day)) return false;
    value = TimeStampToDateTime(TTimeStamp{0, day});
    return true;
}

void TDateField::WriteDateTime(double value) {
    const std::int32_t day = DateTimeToTimeStamp(value).Date;
    SetData(&day);
}

std::string TDateField::FormatValue(double value) const { return DateToText(value); }

std::optional<double> TDateField::ParseText(const std::string& text) const { return TextToDate(text); }

TTimeField::TTimeField(rtl::TComponent* owner) : TDateTimeField(owner) { SetDataType(ftTime); }

bool TTimeField::ReadDateTime(double& value) const {
    std::int32_t ms = 0;
    if (!GetData(&ms)) return false;
    value = static_cast<double>(ms) / kMSecsPerDay;
    return true;
}

void TTimeField::WriteDateTime(double value) {
    const std::int32_t ms = DateTimeToTimeStamp(value).Time;
    SetData(&ms);
}

std::string TTimeField::FormatValue(double value) const { return TimeToText(value); }

std::optional<double> TTimeField::ParseText(const std::string& text) const { return TextToTime(text); }

// ================================================================ bytes

TBytesField::TBytesField(rtl::TComponent* owner) : TField(owner) {
    SetDataType(ftBytes);
    SetSize(16);
}

void TBytesField::CheckSize(int size) const {
    if (size < 1 || size > 65533) DatabaseError(texts::SInvalidFieldSize, DataSet());
}

std::string TBytesField::ReadBytes(bool& present) const {
    std::string buf(static_cast<size_t>(DataSize()), '\0');
    present = GetData(buf.data());
    return present ? buf : std::string();
}

void TBytesField::WriteBytes(const std::string& bytes) {
    std::string buf(static_cast<size_t>(DataSize()), '\0');
    std::memcpy(buf.data(), bytes.data(), std::min(bytes.size(), buf.size()));
    SetData(buf.data());
}

std::string TBytesField::GetAsString() const {
    bool present = false;
    return ReadBytes(present);
}

void TBytesField::SetAsStringValue(const std::string& value) { WriteBytes(value); }

Variant TBytesField::GetAsVariant() const {
    bool present = false;
    std::string bytes = ReadBytes(present);
    if (!present) return Variant::Null();
    return Variant::FromBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void TBytesField::SetVarValue(const Variant& value) {
    if (value.VarType() == Variant::Type::Bytes) {
        const auto& b = value.ToBytes();
        WriteBytes(std::string(b.begin(), b.end()));
    } else {
        WriteBytes(value.ToString());
    }
}

TVarBytesField::TVarBytesField(rtl::TComponent* owner) : TBytesField(owner) { SetDataType(ftVarBytes); }

std::string TVarBytesField::ReadBytes(bool& present) const {
    std::string buf(static_cast<size_t>(DataSize()), '\0');
    present = GetData(buf.data());
    if (!present) return std::string();
    std::uint16_t len = 0;
    std::memcpy(&len, buf.data(), 2);
    len = static_cast<std::uint16_t>(std::min<int>(len, Size()));
    return buf.substr(2, len);
}

void TVarBytesField::WriteBytes(const std::string& bytes) {
    std::string buf(static_cast<size_t>(DataSize()), '\0');
    const auto len = static_cast<std::uint16_t>(std::min<size_t>(bytes.size(), static_cast<size_t>(Size())));
    std::memcpy(buf.data(), &len, 2);
    std::memcpy(buf.data() + 2, bytes.data(), len);
    SetData(buf.data());
}

// ================================================================ blobs

TBlobField::TBlobField(rtl::TComponent* owner) : TField(owner) { SetDataType(ftBlob); }

void TBlobField::Clear() {
    auto stream = RequireDataSet().CreateBlobStream(this, bmWrite);
}

std::int64_t TBlobField::BlobSize() const {
    auto stream = RequireDataSet().CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
    return stream ? stream->Size() : 0;
}

std::string TBlobField::AsBytes() const {
    auto stream = RequireDataSet().CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
    return stream ? stream->ReadAllBytes() : std::string();
}

void TBlobField::SetAsBytes(const std::string& bytes) {
    auto stream = RequireDataSet().CreateBlobStream(this, bmWrite);
    if (!stream) DatabaseErrorFmt(texts::SFieldReadOnly, {DisplayName()}, DataSet());
    stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TBlobField::LoadFromStream(TStream& stream) { SetAsBytes(stream.ReadAllBytes()); }

void TBlobField::SaveToStream(TStream& stream) const {
    const std::string bytes = AsBytes();
    stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

std::string TBlobField::GetAsString() const { return AsBytes(); }

void TBlobField::SetAsStringValue(const std::string& value) { SetAsBytes(value); }

Variant TBlobField::GetAsVariant() const {
    const std::string bytes = AsBytes();
    return Variant::FromBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void TBlobField::SetVarValue(const Variant& value) {
    if (value.VarType() == Variant::Type::Bytes) {
        const auto& b = value.ToBytes();
        SetAsBytes(std::string(b.begin(), b.end()));
    } else {
        SetAsString(value.ToString());
    }
}

// Upper case when there is a value, lower case when there is none.
static std::string BlobMarker(const TField& field, const char* name) {
    std::string text = name;
    for (char& c : text) c = static_cast<char>(field.IsNull() ? std::tolower(static_cast<unsigned char>(c))
                                                             : std::toupper(static_cast<unsigned char>(c)));
    return "(" + text + ")";
}

std::string TBlobField::GetText(bool displayText) const {
    if (OnGetText) return TField::GetText(displayText);
    return BlobMarker(*this, "Blob");
}

TMemoField::TMemoField(rtl::TComponent* owner) : TBlobField(owner) { SetDataType(ftMemo); }

std::string TMemoField::GetAsString() const { return TextFromNative(AsBytes()); }

void TMemoField::SetAsStringValue(const std::string& value) { SetAsBytes(TextToNative(value)); }

Variant TMemoField::GetAsVariant() const { return Variant(GetAsString()); }

std::string TMemoField::GetText(bool displayText) const {
    if (OnGetText) return TField::GetText(displayText);
    return displayText ? BlobMarker(*this, "Memo") : GetAsString();
}

// ================================================================ TFields

TFields::~TFields() { Clear(); }

TField* TFields::operator[](int index) const {
    if (index < 0 || index >= Count()) DatabaseError(texts::SFieldIndexError, dataSet_);
    return fields_[static_cast<size_t>(index)].get();
}

TField* TFields::Add(std::unique_ptr<TField> field) {
    if (!field) return nullptr;
    if (field->FieldName().empty()) DatabaseError(texts::SFieldNameMissing, dataSet_);
    if (FindField(field->FieldName())) DatabaseErrorFmt(texts::SDuplicateFieldName, {field->DisplayName()}, dataSet_);
    if (dataSet_ && dataSet_->Active()) DatabaseError(texts::SDataSetOpen, dataSet_);
    field->dataSet_ = dataSet_;
    fields_.push_back(std::move(field));
    if (dataSet_) dataSet_->DataEvent(deFieldListChange);
    return fields_.back().get();
}

std::unique_ptr<TField> TFields::Remove(TField* field) {
    for (auto it = fields_.begin(); it != fields_.end(); ++it) {
        if (it->get() == field) {
            std::unique_ptr<TField> out = std::move(*it);
            fields_.erase(it);
            out->dataSet_ = nullptr;
            return out;
        }
    }
    return nullptr;
}

void TFields::Clear() {
    // Fields may be looked at while others go: empty the list first.
    auto doomed = std::move(fields_);
    fields_.clear();
    for (auto& f : doomed) f->dataSet_ = nullptr;
    doomed.clear();
}

int TFields::IndexOf(const TField* field) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].get() == field) return static_cast<int>(i);
    return -1;
}

TField* TFields::FindField(const std::string& name) const {
    for (const auto& f : fields_)
        if (SameName(f->FieldName(), name)) return f.get();
    return nullptr;
}

TField* TFields::FieldByName(const std::string& name) const {
    TField* f = FindField(name);
    if (!f) DatabaseErrorFmt(texts::SFieldNotFound, {name}, dataSet_);
    return f;
}

std::vector<TField*> TFields::List() const {
    std::vector<TField*> list;
    list.reserve(fields_.size());
    for (const auto& f : fields_) list.push_back(f.get());
    return list;
}

}  // namespace db
