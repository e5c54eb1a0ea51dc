#pragma once
// TField and its classes. A field reads and writes its value through its
// dataset (GetFieldData/SetFieldData) in the native layout of its type
// (Convert.h); the dataset decides which record buffer that is, by state.
// Text is UTF-8 here; the dataset's TextToNative/TextFromNative hooks turn it
// into the 8-bit form its record image stores.

#include "platform/db/Bcd.h"
#include "platform/db/DBTypes.h"
#include "platform/db/Streams.h"
#include "platform/db/Variant.h"
#include "platform/rtl/Components.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace db {

class TDataSet;
class TField;

using TFieldNotifyEvent = std::function<void(TField& sender)>;
using TFieldGetTextEvent = std::function<void(TField& sender, std::string& text, bool displayText)>;
using TFieldSetTextEvent = std::function<void(TField& sender, const std::string& text)>;

// A factory standing in for a field class reference.
using TFieldClass = std::unique_ptr<TField> (*)();
template <class T>
std::unique_ptr<TField> MakeField() {
    return std::make_unique<T>();
}

class TField : public rtl::TComponent {
public:
    explicit TField(rtl::TComponent* owner = nullptr);
    ~TField() override;

    // --- identity and binding
    const std::string& FieldName() const { return fieldName_; }
    void SetFieldName(const std::string& name);
    const std::string& DisplayLabel() const { return displayLabel_; }
    void SetDisplayLabel(const std::string& label) { displayLabel_ = label; }
    // DisplayLabel, or FieldName when there is none: the name errors show.
    std::string DisplayName() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
    TDataSet* DataSet() const { return dataSet_; }
    TFieldType DataType() const { return dataType_; }
    TFieldKind FieldKind() const { return fieldKind_; }
    void SetFieldKind(TFieldKind kind);
    bool Calculated() const { return fieldKind_ == fkCalculated; }
    bool Lookup() const { return fieldKind_ == fkLookup; }
    // 1-based column of a data field; -1 for calculated and lookup fields;
    // 0 while unbound.
    int FieldNo() const { return fieldNo_; }
    // Position in the dataset's Fields, or -1.
    int Index() const;
    int Size() const { return size_; }
    void SetSize(int size);
    // Bytes of the native value in a record buffer.
    virtual int DataSize() const { return 0; }
    // Calculated and lookup fields: start of the field's slot (a presence
    // byte, then DataSize bytes) inside the calculated-fields part of a buffer.
    int Offset() const { return offset_; }
    virtual bool IsBlob() const { return false; }

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on) { readOnly_ = on; }
    bool Required() const { return required_; }
    void SetRequired(bool on) { required_ = on; }
    bool Visible() const { return visible_; }
    void SetVisible(bool on) { visible_ = on; }
    const std::string& DefaultExpression() const { return defaultExpression_; }
    void SetDefaultExpression(const std::string& text) { defaultExpression_ = text; }
    // Not read-only, a dataset that can be modified, a state that takes values.
    bool CanModify() const;
    bool IsIndexField() const;

    // Lookup fields: the value of LookupResultField in the record of
    // LookupDataSet whose LookupKeyFields equal this dataset's KeyFields.
    TDataSet* LookupDataSet() const { return lookupDataSet_; }
    void SetLookupDataSet(TDataSet* dataSet) { lookupDataSet_ = dataSet; }
    const std::string& KeyFields() const { return keyFields_; }
    void SetKeyFields(const std::string& names) { keyFields_ = names; }
    const std::string& LookupKeyFields() const { return lookupKeyFields_; }
    void SetLookupKeyFields(const std::string& names) { lookupKeyFields_ = names; }
    const std::string& LookupResultField() const { return lookupResultField_; }
    void SetLookupResultField(const std::string& name) { lookupResultField_ = name; }

    // --- values
    virtual bool IsNull() const;
    virtual void Clear();
    std::string AsString() const { return GetAsString(); }
    void SetAsString(const std::string& value) { SetAsStringValue(value); }
    std::int32_t AsInteger() const { return GetAsInteger(); }
    void SetAsInteger(std::int32_t value) { SetAsIntegerValue(value); }
    double AsFloat() const { return GetAsFloat(); }
    void SetAsFloat(double value) { SetAsFloatValue(value); }
    double AsCurrency() const { return GetAsFloat(); }
    void SetAsCurrency(double value) { SetAsFloatValue(value); }
    bool AsBoolean() const { return GetAsBoolean(); }
    void SetAsBoolean(bool value) { SetAsBooleanValue(value); }
    // A TDateTime: days since 30 December 1899.
    double AsDateTime() const { return GetAsDateTime(); }
    void SetAsDateTime(double value) { SetAsDateTimeValue(value); }
    Variant AsVariant() const { return IsNull() ? Variant::Null() : GetAsVariant(); }
    void SetAsVariant(const Variant& value);
    Variant Value() const { return AsVariant(); }
    void SetValue(const Variant& value) { SetAsVariant(value); }
    // Text for editing and for display; OnGetText/OnSetText may take over.
    std::string Text() const { return GetText(false); }
    std::string DisplayText() const { return GetText(true); }
    void SetText(const std::string& text);
    // The value before the current edit, and the value being written.
    Variant OldValue() const;
    Variant NewValue() const;

    // --- native data
    // Copies the native value into `buffer` (DataSize bytes; may be nullptr to
    // ask only whether there is a value). False when the field is null.
    bool GetData(void* buffer) const;
    // Stores a native value; nullptr stores null.
    void SetData(const void* buffer);
    // Runs OnValidate with `buffer` as the field's value while it runs (reads
    // of this field inside the handler see the new value).
    void Validate(const void* buffer);
    // Sends OnChange (the dataset calls it on a field-change event).
    virtual void Change();
    // Called by the dataset in the calculated-fields state.
    void CalcLookupValue();

    TFieldNotifyEvent OnChange;
    TFieldNotifyEvent OnValidate;
    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;

protected:
    void SetDataType(TFieldType type) { dataType_ = type; }
    virtual std::string GetAsString() const;
    virtual void SetAsStringValue(const std::string& value);
    virtual std::int32_t GetAsInteger() const;
    virtual void SetAsIntegerValue(std::int32_t value);
    virtual double GetAsFloat() const;
    virtual void SetAsFloatValue(double value);
    virtual bool GetAsBoolean() const;
    virtual void SetAsBooleanValue(bool value);
    virtual double GetAsDateTime() const;
    virtual void SetAsDateTimeValue(double value);
    virtual Variant GetAsVariant() const;
    // Non-null variants only.
    virtual void SetVarValue(const Variant& value);
    virtual std::string GetText(bool displayText) const;
    // Checks size rules of the class; the base accepts any size >= 0.
    virtual void CheckSize(int size) const;

    TDataSet& RequireDataSet() const;
    [[noreturn]] void AccessError(const char* typeName) const;
    [[noreturn]] void RangeError(double value, double min, double max) const;
    // Text conversions of the owning dataset (identity without one).
    std::string TextFromNative(std::string_view bytes) const;
    std::string TextToNative(std::string_view text) const;

private:
    friend class TDataSet;
    friend class TFields;

    TDataSet* dataSet_ = nullptr;
    std::string fieldName_;
    std::string displayLabel_;
    TFieldType dataType_ = ftUnknown;
    TFieldKind fieldKind_ = fkData;
    int fieldNo_ = 0;
    int size_ = 0;
    int offset_ = 0;
    bool readOnly_ = false;
    bool required_ = false;
    bool visible_ = true;
    std::string defaultExpression_;
    TDataSet* lookupDataSet_ = nullptr;
    std::string keyFields_;
    std::string lookupKeyFields_;
    std::string lookupResultField_;
    // Set while OnValidate runs: the candidate value (nullptr = null).
    const void* validating_ = nullptr;
    bool inValidate_ = false;
};

class TStringField : public TField {
public:
    explicit TStringField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return Size() + 1; }
    bool FixedChar() const { return fixedChar_; }
    void SetFixedChar(bool on) { fixedChar_ = on; }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& value) override;
    std::int32_t GetAsInteger() const override;
    void SetAsIntegerValue(std::int32_t value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanValue(bool value) override;
    double GetAsDateTime() const override;
    void SetAsDateTimeValue(double value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    void CheckSize(int size) const override;

private:
    bool fixedChar_ = false;
};

// Common base of the number fields.
class TNumericField : public TField {
public:
    using TField::TField;
};

class TIntegerField : public TNumericField {
public:
    explicit TIntegerField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return 4; }
    // 0 and 0: only the type's own limits apply.
    std::int32_t MinValue() const { return minValue_; }
    std::int32_t MaxValue() const { return maxValue_; }
    void SetMinValue(std::int32_t v) { minValue_ = v; }
    void SetMaxValue(std::int32_t v) { maxValue_ = v; }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& value) override;
    std::int32_t GetAsInteger() const override;
    void SetAsIntegerValue(std::int32_t value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    // The native value as a 64-bit number (null: false).
    virtual bool ReadNative(std::int64_t& value) const;
    virtual void WriteNative(std::int64_t value);
    // Limits of the native type.
    virtual std::int64_t TypeMin() const { return INT32_MIN; }
    virtual std::int64_t TypeMax() const { return INT32_MAX; }
    void CheckRange(std::int64_t value) const;

private:
    std::int32_t minValue_ = 0;
    std::int32_t maxValue_ = 0;
};

class TSmallintField : public TIntegerField {
public:
    explicit TSmallintField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return 2; }

protected:
    bool ReadNative(std::int64_t& value) const override;
    void WriteNative(std::int64_t value) override;
    std::int64_t TypeMin() const override { return -32768; }
    std::int64_t TypeMax() const override { return 32767; }
};

class TWordField : public TIntegerField {
public:
    explicit TWordField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return 2; }

protected:
    bool ReadNative(std::int64_t& value) const override;
    void WriteNative(std::int64_t value) override;
    std::int64_t TypeMin() const override { return 0; }
    std::int64_t TypeMax() const override { return 65535; }
};

// A 64-bit integer; AsInteger refuses a value beyond 32 bits.
class TLargeintField : public TIntegerField {
public:
    explicit TLargeintField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return 8; }

protected:
    std::int32_t GetAsInteger() const override;
    bool ReadNative(std::int64_t& value) const override;
    void WriteNative(std::int64_t value) override;
    std::int64_t TypeMin() const override { return INT64_MIN; }
    std::int64_t TypeMax() const override { return INT64_MAX; }
};

class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(rtl::TComponent* owner = nullptr);
};

class TFloatField : public TNumericField {
public:
    explicit TFloatField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return 8; }
    bool Currency() const { return currency_; }
    void SetCurrency(bool on) { currency_ = on; }
    int Precision() const { return precision_; }
    void SetPrecision(int digits) { precision_ = digits; }
    // 0 and 0: no range.
    double MinValue() const { return minValue_; }
    double MaxValue() const { return maxValue_; }
    void SetMinValue(double v) { minValue_ = v; }
    void SetMaxValue(double v) { maxValue_ = v; }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& value) override;
    std::int32_t GetAsInteger() const override;
    void SetAsIntegerValue(std::int32_t value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;

private:
    bool currency_ = false;
    int precision_ = 15;
    double minValue_ = 0;
    double maxValue_ = 0;
};

class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(rtl::TComponent* owner = nullptr);
};

// Native form TBcd; Size is the number of decimal places (default 4).
class TBCDField : public TNumericField {
public:
    explicit TBCDField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return static_cast<int>(sizeof(TBcd)); }
    bool Currency() const { return currency_; }
    void SetCurrency(bool on) { currency_ = on; }
    int Precision() const { return precision_; }
    void SetPrecision(int digits) { precision_ = digits; }
    // The value in 1/10000 units; false when null.
    bool GetCurrencyUnits(std::int64_t& units) const;
    void SetCurrencyUnits(std::int64_t units);

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& value) override;
    std::int32_t GetAsInteger() const override;
    void SetAsIntegerValue(std::int32_t value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    void CheckSize(int size) const override;

private:
    bool currency_ = false;
    int precision_ = 32;
};

class TBooleanField : public TField {
public:
    explicit TBooleanField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return 2; }
    // "True;False" by default: the texts AsString gives and SetAsString takes.
    const std::string& DisplayValues() const { return displayValues_; }
    void SetDisplayValues(const std::string& values);

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& value) override;
    bool GetAsBoolean() const override;
    void SetAsBooleanValue(bool value) override;
    std::int32_t GetAsInteger() const override;
    void SetAsIntegerValue(std::int32_t value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;

private:
    std::string displayValues_;
    std::string trueText_;
    std::string falseText_;
};

// Date-time: native double milliseconds (Convert.h).
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return 8; }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& value) override;
    double GetAsFloat() const override;
    void SetAsFloatValue(double value) override;
    double GetAsDateTime() const override;
    void SetAsDateTimeValue(double value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    virtual bool ReadDateTime(double& value) const;
    virtual void WriteDateTime(double value);
    virtual std::string FormatValue(double value) const;
    // The value a text stands for; nothing when it is no valid text of the kind.
    virtual std::optional<double> ParseText(const std::string& text) const;
};

// Date: native int32 day number.
class TDateField : public TDateTimeField {
public:
    explicit TDateField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return 4; }

protected:
    bool ReadDateTime(double& value) const override;
    void WriteDateTime(double value) override;
    std::string FormatValue(double value) const override;
    std::optional<double> ParseText(const std::string& text) const override;
};

// Time: native int32 milliseconds of the day.
class TTimeField : public TDateTimeField {
public:
    explicit TTimeField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return 4; }

protected:
    bool ReadDateTime(double& value) const override;
    void WriteDateTime(double value) override;
    std::string FormatValue(double value) const override;
    std::optional<double> ParseText(const std::string& text) const override;
};

// Fixed-length bytes: native = Size bytes.
class TBytesField : public TField {
public:
    explicit TBytesField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return Size(); }

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    virtual std::string ReadBytes(bool& present) const;
    virtual void WriteBytes(const std::string& bytes);
    void CheckSize(int size) const override;
};

// Variable-length bytes: native = 16-bit length, then Size bytes.
class TVarBytesField : public TBytesField {
public:
    explicit TVarBytesField(rtl::TComponent* owner = nullptr);
    int DataSize() const override { return Size() + 2; }

protected:
    std::string ReadBytes(bool& present) const override;
    void WriteBytes(const std::string& bytes) override;
};

// Blob values live outside the record buffer and travel through the
// dataset's CreateBlobStream.
class TBlobField : public TField {
public:
    explicit TBlobField(rtl::TComponent* owner = nullptr);
    bool IsBlob() const override { return true; }
    void Clear() override;
    bool Modified() const { return modified_; }
    void SetModified(bool on) { modified_ = on; }
    std::int64_t BlobSize() const;
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    // The raw bytes, for both blobs and memos.
    std::string AsBytes() const;
    void SetAsBytes(const std::string& bytes);

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& value) override;
    Variant GetAsVariant() const override;
    void SetVarValue(const Variant& value) override;
    std::string GetText(bool displayText) const override;

private:
    bool modified_ = false;
};

// A memo: a blob of text, converted through the dataset's text hooks.
class TMemoField : public TBlobField {
public:
    explicit TMemoField(rtl::TComponent* owner = nullptr);

protected:
    std::string GetAsString() const override;
    void SetAsStringValue(const std::string& value) override;
    Variant GetAsVariant() const override;
    std::string GetText(bool displayText) const override;
};

// The fields of one dataset, in order; owns them.
class TFields {
public:
    explicit TFields(TDataSet* dataSet) : dataSet_(dataSet) {}
    ~TFields();
    TFields(const TFields&) = delete;
    TFields& operator=(const TFields&) = delete;

    int Count() const { return static_cast<int>(fields_.size()); }
    TField* operator[](int index) const;
    TField* Fields(int index) const { return (*this)[index]; }
    // Takes the field; a name already present raises "Duplicate field name".
    TField* Add(std::unique_ptr<TField> field);
    std::unique_ptr<TField> Remove(TField* field);
    void Clear();
    int IndexOf(const TField* field) const;
    TField* FindField(const std::string& name) const;
    // Raises "Field 'x' not found" naming the dataset.
    TField* FieldByName(const std::string& name) const;
    std::vector<TField*> List() const;

private:
    TDataSet* dataSet_;
    std::vector<std::unique_ptr<TField>> fields_;
};

}  // namespace db
