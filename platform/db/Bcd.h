#pragma once
// TBcd, the native form of BCD fields: packed decimal digits with a scale.
// Currency values are int64 counts of 1/10000.

#include <cstdint>
#include <optional>
#include <string>

namespace db {

struct TBcd {
    std::uint8_t Precision = 0;          // number of digits in Fraction
    std::uint8_t SignSpecialPlaces = 0;  // bit 7 negative, bits 0-5 decimal places
    std::uint8_t Fraction[32] = {};      // two digits per byte, most significant first
};

inline constexpr std::int64_t kCurrencyScale = 10000;

// False when the value needs more than `precision` digits (precision 1..64).
bool CurrToBCD(std::int64_t currency, TBcd& bcd, int precision = 32, int decimals = 4);
// Digits beyond four decimal places are rounded half away from zero; nullopt
// when the value does not fit an int64 of 1/10000.
std::optional<std::int64_t> BCDToCurr(const TBcd& bcd);
double BcdToDouble(const TBcd& bcd);
std::string BcdToText(const TBcd& bcd);

// Rounds to four decimals; nullopt for values an int64 of 1/10000 cannot hold.
std::optional<std::int64_t> DoubleToCurr(double value);
inline double CurrToDouble(std::int64_t currency) { return static_cast<double>(currency) / kCurrencyScale; }

}  // namespace db
