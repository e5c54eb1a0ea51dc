#pragma once
// Variant: the loosely typed value that fields, parameters, Locate and Lookup
// pass around. Empty (unassigned) and Null are distinct, as callers rely on:
// Lookup answers Null when nothing is found.

#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>
#include <vector>

namespace db {

class EVariantError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

class Variant {
public:
    enum class Type { Empty, Null, Boolean, Integer, Float, DateTime, String, Bytes, Array };

    Variant() = default;
    Variant(bool value) : value_(value) {}
    Variant(int value) : value_(static_cast<std::int64_t>(value)) {}
    Variant(std::int64_t value) : value_(value) {}
    Variant(double value) : value_(value) {}
    Variant(const char* text) : value_(std::string(text)) {}
    Variant(std::string text) : value_(std::move(text)) {}

    static Variant Null();
    // A date-time value: days since 30 December 1899, fraction = time of day.
    static Variant FromDateTime(double dateTime);
    static Variant FromBytes(std::vector<std::uint8_t> bytes);
    static Variant ArrayOf(std::vector<Variant> items);

    Type VarType() const;
    bool IsEmpty() const { return VarType() == Type::Empty; }
    bool IsNull() const { return VarType() == Type::Null; }
    // Null or unassigned: "no value" for fields and parameters.
    bool IsClear() const { return IsEmpty() || IsNull(); }
    bool IsArray() const { return VarType() == Type::Array; }
    bool IsNumeric() const;
    bool IsString() const { return VarType() == Type::String; }

    size_t ArrayLength() const;
    const Variant& operator[](size_t index) const;

    // Conversions raise EVariantError when the value does not convert
    // (Null and Empty convert to nothing but text: "").
    std::string ToString() const;
    std::int64_t ToInt64() const;
    int ToInt() const;
    double ToDouble() const;
    bool ToBool() const;
    double ToDateTime() const;
    const std::vector<std::uint8_t>& ToBytes() const;

    // Same kind of value and equal; numbers (and date-times) compare by value
    // across kinds. Null equals only Null.
    bool operator==(const Variant& other) const;

private:
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    struct DateTimeValue {
        double value;
        bool operator==(const DateTimeValue&) const = default;
    };
    using Bytes = std::vector<std::uint8_t>;
    using Items = std::vector<Variant>;
    using Storage = std::variant<std::monostate, NullTag, bool, std::int64_t, double, DateTimeValue, std::string,
                                 Bytes, Items>;
    [[noreturn]] void CastError(const char* target) const;

    Storage value_;
};

inline Variant VarArrayOf(std::vector<Variant> items) { return Variant::ArrayOf(std::move(items)); }
inline Variant Null() { return Variant::Null(); }

// Name of the kind of value, as in conversion errors: "Null", "String", ...
const char* VarTypeName(Variant::Type type);

}  // namespace db
