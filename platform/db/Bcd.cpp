#include "platform/db/Bcd.h"

#include <cmath>
#include <cstdlib>

namespace db {

namespace {

int Digit(const TBcd& bcd, int i) {
    const std::uint8_t b = bcd.Fraction[i / 2];
    return (i % 2 == 0) ? (b >> 4) : (b & 0x0F);
}

}  // namespace

bool CurrToBCD(std::int64_t currency, TBcd& bcd, int precision, int decimals) {
    if (precision < 1 || precision > 64 || decimals < 0 || decimals > precision) return false;
    // Work in unsigned magnitude so INT64_MIN does not overflow.
    const bool negative = currency < 0;
    unsigned __int128 mag = negative ? static_cast<unsigned __int128>(-(currency + 1)) + 1
                                     : static_cast<unsigned __int128>(currency);
    if (decimals < 4) {
        for (int i = decimals; i < 4; ++i) {
            const unsigned rem = static_cast<unsigned>(mag % 10);
            mag /= 10;
            if (i == 3 && rem >= 5) ++mag;  // the most significant dropped digit rounds
        }
    } else {
        for (int i = 4; i < decimals; ++i) mag *= 10;
    }
    char digits[80];
    int n = 0;
    do {
        digits[n++] = static_cast<char>(mag % 10);
        mag /= 10;
    } while (mag != 0 && n < 70);
    if (mag != 0 || n > precision) return false;
    bcd = TBcd{};
    bcd.Precision = static_cast<std::uint8_t>(precision);
    bcd.SignSpecialPlaces = static_cast<std::uint8_t>((negative ? 0x80 : 0) | decimals);
    for (int i = 0; i < precision; ++i) {
        const int fromRight = precision - 1 - i;
        const int d = fromRight < n ? digits[fromRight] : 0;
        bcd.Fraction[i / 2] |= static_cast<std::uint8_t>((i % 2 == 0) ? (d << 4) : d);
    }
    return true;
}

std::optional<std::int64_t> BCDToCurr(const TBcd& bcd) {
    const int places = bcd.SignSpecialPlaces & 0x3F;
    const int precision = bcd.Precision > 64 ? 64 : bcd.Precision;
    unsigned __int128 mag = 0;
    const unsigned __int128 limit = static_cast<unsigned __int128>(1) << 100;
    for (int i = 0; i < precision; ++i) {
        mag = mag * 10 + static_cast<unsigned>(Digit(bcd, i) % 10);
        if (mag > limit) return std::nullopt;
    }
    for (int i = places; i < 4; ++i) mag *= 10;
    for (int i = 4; i < places; ++i) {
        const unsigned rem = static_cast<unsigned>(mag % 10);
        mag /= 10;
        if (i == places - 1 && rem >= 5) ++mag;
    }
    const bool negative = (bcd.SignSpecialPlaces & 0x80) != 0;
    const unsigned __int128 max = static_cast<unsigned __int128>(INT64_MAX) + (negative ? 1 : 0);
    if (mag > max) return std::nullopt;
    if (negative) return static_cast<std::int64_t>(-static_cast<__int128>(mag));
    return static_cast<std::int64_t>(mag);
}

double BcdToDouble(const TBcd& bcd) {
    const int places = bcd.SignSpecialPlaces & 0x3F;
    double v = 0;
    for (int i = 0; i < bcd.Precision && i < 64; ++i) v = v * 10 + Digit(bcd, i) % 10;
    v /= std::pow(10.0, places);
    return (bcd.SignSpecialPlaces & 0x80) ? -v : v;
}

std::string BcdToText(const TBcd& bcd) {
    const int places = bcd.SignSpecialPlaces & 0x3F;
    const int precision = bcd.Precision > 64 ? 64 : bcd.Precision;
    std::string digits;
    for (int i = 0; i < precision; ++i) digits += static_cast<char>('0' + Digit(bcd, i) % 10);
    while (static_cast<int>(digits.size()) <= places) digits.insert(digits.begin(), '0');
    std::string intPart = digits.substr(0, digits.size() - static_cast<size_t>(places));
    std::string frac = digits.substr(digits.size() - static_cast<size_t>(places));
    while (intPart.size() > 1 && intPart[0] == '0') intPart.erase(0, 1);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    std::string text = intPart + (frac.empty() ? "" : "." + frac);
    if ((bcd.SignSpecialPlaces & 0x80) && text != "0") text.insert(text.begin(), '-');
    return text;
}

std::optional<std::int64_t> DoubleToCurr(double value) {
    const double scaled = std::round(value * kCurrencyScale);
    if (!std::isfinite(scaled) || scaled >= 9.2e18 || scaled <= -9.2e18) return std::nullopt;
    return static_cast<std::int64_t>(scaled);
}

}  // namespace db
