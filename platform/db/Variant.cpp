#include "platform/db/Variant.h"

#include "platform/db/Convert.h"

#include <cmath>
#include <limits>

namespace db {

// Built in place: moving a freshly made std::variant trips GCC's
// maybe-uninitialized analysis under the sanitizers.
Variant Variant::Null() {
    Variant v;
    v.value_.emplace<NullTag>();
    return v;
}

Variant Variant::FromDateTime(double dateTime) {
    Variant v;
    v.value_.emplace<DateTimeValue>(DateTimeValue{dateTime});
    return v;
}

Variant Variant::FromBytes(std::vector<std::uint8_t> bytes) {
    Variant v;
    v.value_.emplace<Bytes>(std::move(bytes));
    return v;
}

Variant Variant::ArrayOf(std::vector<Variant> items) {
    Variant v;
    v.value_.emplace<Items>(std::move(items));
    return v;
}

Variant::Type Variant::VarType() const {
    switch (value_.index()) {
        case 0: return Type::Empty;
        case 1: return Type::Null;
        case 2: return Type::Boolean;
        case 3: return Type::Integer;
        case 4: return Type::Float;
        case 5: return Type::DateTime;
        case 6: return Type::String;
        case 7: return Type::Bytes;
        default: return Type::Array;
    }
}

const char* VarTypeName(Variant::Type type) {
    switch (type) {
        case Variant::Type::Empty: return "Empty";
        case Variant::Type::Null: return "Null";
        case Variant::Type::Boolean: return "Boolean";
        case Variant::Type::Integer: return "Integer";
        case Variant::Type::Float: return "Double";
        case Variant::Type::DateTime: return "Date";
        case Variant::Type::String: return "String";
        case Variant::Type::Bytes: return "Array Byte";
        case Variant::Type::Array: return "Array Variant";
    }
    return "Unknown";
}

bool Variant::IsNumeric() const {
    auto t = VarType();
    return t == Type::Integer || t == Type::Float || t == Type::Boolean;
}

size_t Variant::ArrayLength() const {
    if (auto* items = std::get_if<Items>(&value_)) return items->size();
    return 0;
}

const Variant& Variant::operator[](size_t index) const {
    auto* items = std::get_if<Items>(&value_);
    if (!items) throw EVariantError("Variant is not an array");
    if (index >= items->size()) throw EVariantError("Variant array index out of bounds");
    return (*items)[index];
}

void Variant::CastError(const char* target) const {
    throw EVariantError(std::string("Could not convert variant of type (") + VarTypeName(VarType()) +
                        ") into type (" + target + ")");
}

std::string Variant::ToString() const {
    switch (VarType()) {
        case Type::Empty:
        case Type::Null: return std::string();
        case Type::Boolean: return std::get<bool>(value_) ? "True" : "False";
        case Type::Integer: return IntToText(std::get<std::int64_t>(value_));
        case Type::Float: return FloatToText(std::get<double>(value_));
        case Type::DateTime: return DateTimeToText(std::get<DateTimeValue>(value_).value);
        case Type::String: return std::get<std::string>(value_);
        case Type::Bytes: {
            const auto& b = std::get<Bytes>(value_);
            return std::string(b.begin(), b.end());
        }
        case Type::Array: break;
    }
    CastError("String");
}

std::int64_t Variant::ToInt64() const {
    switch (VarType()) {
        case Type::Boolean: return std::get<bool>(value_) ? -1 : 0;
        case Type::Integer: return std::get<std::int64_t>(value_);
        case Type::Float:
        case Type::DateTime: {
            double d = VarType() == Type::Float ? std::get<double>(value_) : std::get<DateTimeValue>(value_).value;
            d = std::nearbyint(d);
            if (!std::isfinite(d) || d < -9.2e18 || d > 9.2e18) CastError("Int64");
            return static_cast<std::int64_t>(d);
        }
        case Type::String:
            if (auto v = TextToInt(std::get<std::string>(value_))) return *v;
            if (auto f = TextToFloat(std::get<std::string>(value_)); f && std::fabs(*f) < 9.2e18)
                return static_cast<std::int64_t>(std::nearbyint(*f));
            break;
        default: break;
    }
    CastError("Int64");
}

int Variant::ToInt() const {
    std::int64_t v = ToInt64();
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) CastError("Integer");
    return static_cast<int>(v);
}

double Variant::ToDouble() const {
    switch (VarType()) {
        case Type::Boolean: return std::get<bool>(value_) ? -1.0 : 0.0;
        case Type::Integer: return static_cast<double>(std::get<std::int64_t>(value_));
        case Type::Float: return std::get<double>(value_);
        case Type::DateTime: return std::get<DateTimeValue>(value_).value;
        case Type::String:
            if (auto v = TextToFloat(std::get<std::string>(value_))) return *v;
            break;
        default: break;
    }
    CastError("Double");
}

bool Variant::ToBool() const {
    switch (VarType()) {
        case Type::Boolean: return std::get<bool>(value_);
        case Type::Integer: return std::get<std::int64_t>(value_) != 0;
        case Type::Float: return std::get<double>(value_) != 0;
        case Type::String: {
            const auto& s = std::get<std::string>(value_);
            if (SameName(TrimText(s), "True")) return true;
            if (SameName(TrimText(s), "False")) return false;
            if (auto v = TextToFloat(s)) return *v != 0;
            break;
        }
        default: break;
    }
    CastError("Boolean");
}

double Variant::ToDateTime() const {
    switch (VarType()) {
        case Type::Integer:
        case Type::Float:
        case Type::DateTime: return ToDouble();
        case Type::String:
            if (auto v = TextToDateTime(std::get<std::string>(value_))) return *v;
            break;
        default: break;
    }
    CastError("Date");
}

const std::vector<std::uint8_t>& Variant::ToBytes() const {
    if (auto* b = std::get_if<Bytes>(&value_)) return *b;
    CastError("Array Byte");
}

bool Variant::operator==(const Variant& other) const {
    const bool numA = IsNumeric() || VarType() == Type::DateTime;
    const bool numB = other.IsNumeric() || other.VarType() == Type::DateTime;
    if (numA && numB) {
        if (VarType() == Type::Integer && other.VarType() == Type::Integer)
            return std::get<std::int64_t>(value_) == std::get<std::int64_t>(other.value_);
        return ToDouble() == other.ToDouble();
    }
    return value_ == other.value_;
}

}  // namespace db
