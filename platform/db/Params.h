#pragma once
// Statement parameters: TParam, TParams and the SQL scanner that finds
// ":name" markers.

#include "platform/db/DBTypes.h"
#include "platform/db/Variant.h"

#include <memory>
#include <string>
#include <vector>

namespace db {

class TField;

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TParam {
public:
    TParam() = default;
    TParam(const std::string& name, TFieldType type, TParamType paramType)
        : name_(name), dataType_(type), paramType_(paramType) {}

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }
    TParamType ParamType() const { return paramType_; }
    void SetParamType(TParamType type) { paramType_ = type; }
    // Set by every value assignment; a master source fills only unbound ones.
    bool Bound() const { return bound_; }
    void SetBound(bool on) { bound_ = on; }
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }
    int Precision() const { return precision_; }
    void SetPrecision(int precision) { precision_ = precision; }
    int NumericScale() const { return numericScale_; }
    void SetNumericScale(int scale) { numericScale_ = scale; }

    bool IsNull() const { return value_.IsClear(); }
    // Null value; the data type stays.
    void Clear() { value_ = Variant::Null(); }

    const Variant& Value() const { return value_; }
    // A parameter of unknown type takes the value's type.
    void SetValue(const Variant& value);

    // Each setter also sets the data type named after it.
    std::string AsString() const { return value_.ToString(); }
    void SetAsString(const std::string& v) { Assign(ftString, Variant(v)); }
    std::int32_t AsInteger() const { return IsNull() ? 0 : value_.ToInt(); }
    void SetAsInteger(std::int32_t v) { Assign(ftInteger, Variant(v)); }
    std::int32_t AsSmallInt() const { return AsInteger(); }
    void SetAsSmallInt(std::int32_t v) { Assign(ftSmallint, Variant(v)); }
    std::int32_t AsWord() const { return AsInteger(); }
    void SetAsWord(std::int32_t v) { Assign(ftWord, Variant(v)); }
    double AsFloat() const { return IsNull() ? 0.0 : value_.ToDouble(); }
    void SetAsFloat(double v) { Assign(ftFloat, Variant(v)); }
    double AsCurrency() const { return AsFloat(); }
    void SetAsCurrency(double v) { Assign(ftCurrency, Variant(v)); }
    double AsBCD() const { return AsFloat(); }
    void SetAsBCD(double v) { Assign(ftBCD, Variant(v)); }
    bool AsBoolean() const { return !IsNull() && value_.ToBool(); }
    void SetAsBoolean(bool v) { Assign(ftBoolean, Variant(v)); }
    double AsDateTime() const { return IsNull() ? 0.0 : value_.ToDateTime(); }
    void SetAsDateTime(double v) { Assign(ftDateTime, Variant::FromDateTime(v)); }
    double AsDate() const { return AsDateTime(); }
    void SetAsDate(double v) { Assign(ftDate, Variant::FromDateTime(v)); }
    double AsTime() const { return AsDateTime(); }
    void SetAsTime(double v) { Assign(ftTime, Variant::FromDateTime(v)); }
    std::string AsMemo() const { return AsString(); }
    void SetAsMemo(const std::string& v) { Assign(ftMemo, Variant(v)); }
    // Raw bytes.
    std::string AsBlob() const { return AsString(); }
    void SetAsBlob(const std::string& v);

    // Bytes of the value as a binary parameter would hand them over.
    int GetDataSize() const;
    std::string GetBytes() const;

    // Name, types and value of another parameter.
    void Assign(const TParam& source);
    // The field's name, type and current value.
    void AssignField(const TField& field);
    // The field's type with `value`.
    void AssignFieldValue(const TField& field, const Variant& value);

private:
    void Assign(TFieldType type, Variant value);

    std::string name_;
    TFieldType dataType_ = ftUnknown;
    TParamType paramType_ = ptUnknown;
    Variant value_ = Variant::Null();
    bool bound_ = false;
    int size_ = 0;
    int precision_ = 0;
    int numericScale_ = 0;
};

class TParams {
public:
    TParams() = default;
    TParams(const TParams& other) { Assign(other); }
    TParams& operator=(const TParams& other) {
        if (this != &other) Assign(other);
        return *this;
    }

    int Count() const { return static_cast<int>(items_.size()); }
    TParam* operator[](int index) const;
    TParam* Items(int index) const { return (*this)[index]; }
    TParam* CreateParam(TFieldType type, const std::string& name, TParamType paramType = ptUnknown);
    TParam* AddParam(std::unique_ptr<TParam> param);
    void RemoveParam(TParam* param);
    void Clear() { items_.clear(); }
    // First parameter of that name (case-insensitive), or nullptr.
    TParam* FindParam(const std::string& name) const;
    // Raises "Parameter 'x' not found".
    TParam* ParamByName(const std::string& name) const;
    // Copies of the other list's parameters.
    void Assign(const TParams& source);
    // Takes the values of same-named parameters of `source`.
    void AssignValues(const TParams& source);
    bool IsEqual(const TParams& other) const;

    // Scans `sql` for parameter markers: a colon followed by a name (letters,
    // digits, "_", or any text in double quotes) outside quoted literals and
    // bracketed names; "::" stands for a literal colon. Answers the text with
    // each marker replaced by "?"; with doCreate a parameter per marker is
    // appended, in order of appearance (a name used twice gives two).
    std::string ParseSQL(const std::string& sql, bool doCreate);

private:
    std::vector<std::unique_ptr<TParam>> items_;
};

// The one table a simple SELECT reads from (after FROM), or "" when the
// text reads several tables or none.
std::string GetTableNameFromSQL(const std::string& sql);
// The fields of the ORDER BY clause joined by ";" ("" when none).
std::string GetOrderByFieldsFromSQL(const std::string& sql);

}  // namespace db
