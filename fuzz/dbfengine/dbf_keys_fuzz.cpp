// Fuzzes the packed-decimal keys and the date texts. The input is up to three texts
// separated by '|'. Keys must be well formed and order like a total order; texts
// that are plain decimal numbers must order as their values do (first 20
// significant digits); a date text the engine calls valid must read and write back
// to the same day.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "dbfengine/timedate.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndxlow.h"

namespace {

using xf::TBcdKey;

void CheckKeyShape(const TBcdKey& key)
{
    const int count = (key[1] >> 2) & 0x1F;
    if ((key[1] & 0x01) == 0 || (key[1] & 0x02) != 0 || count > 20) std::abort();
    if (count == 0 && (key[0] != 0x34 || key[1] != 0x01)) std::abort();
    if (count > 0 && key[0] < 1) std::abort();
    for (int i = 2 + (count + 1) / 2; i < 12; ++i)
        if (key[i] != 0) std::abort();
    for (int i = 2; i < 12; ++i)
        if ((key[i] >> 4) > 9 || (key[i] & 15) > 9) std::abort();
}

// A plain decimal: blanks, an optional sign, digits with at most one point.
struct Plain {
    int sign = 0;  // 0 for zero
    long exponent = 0;
    std::string digits;  // significant digits, at most 20, no trailing zeros
};

bool ReadPlain(std::string_view text, Plain& out)
{
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos) return false;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    std::string integer, fraction;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            (point ? fraction : integer) += c;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (integer.empty() && fraction.empty()) return false;
    const std::string all = integer + fraction;
    const std::size_t first = all.find_first_not_of('0');
    if (first == std::string::npos) return true;  // zero
    out.sign = negative ? -1 : 1;
    out.exponent = static_cast<long>(integer.size()) - static_cast<long>(first);
    out.digits = all.substr(first, 20);
    while (!out.digits.empty() && out.digits.back() == '0') out.digits.pop_back();
    // Outside the exponent byte's range the keys clamp; compare only inside it.
    return out.exponent > -50 && out.exponent < 200;
}

int ComparePlain(const Plain& a, const Plain& b)
{
    if (a.sign != b.sign) return a.sign < b.sign ? -1 : 1;
    if (a.sign == 0) return 0;
    int magnitude = 0;
    if (a.exponent != b.exponent) {
        magnitude = a.exponent < b.exponent ? -1 : 1;
    } else {
        const int c = a.digits.compare(b.digits);
        magnitude = c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    return a.sign * magnitude;
}

void CheckDate(const std::string& text)
{
    std::string copy = text;
    if (!xf::IsValidDateText(copy) || xf::IsBlankDateText(copy)) return;
    const double number = xf::DateNumberFromText(copy);
    if (number == xf::kBlankDateNumber) std::abort();
    const std::string written = xf::DateTextFromNumber(number);
    if (xf::DateNumberFromText(written) != number) std::abort();
    if (xf::DateNumberFromDtos(xf::DtosFromDateText(copy)) != number) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> texts;
    std::size_t start = 0;
    while (texts.size() < 3) {
        const std::size_t bar = input.find('|', start);
        texts.push_back(input.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    while (texts.size() < 3) texts.push_back(texts.back());

    const int decimals = size > 0 ? data[0] % 8 : 0;
    TBcdKey keys[3];
    for (int i = 0; i < 3; ++i) {
        xf::BcdKeyFromText(keys[i], texts[i], decimals);
        CheckKeyShape(keys[i]);
    }
    for (int i = 0; i < 3; ++i) {
        if (xf::BcdKeyCompare(keys[i], keys[i]) != 0) std::abort();
        for (int j = 0; j < 3; ++j) {
            const int ij = xf::BcdKeyCompare(keys[i], keys[j]);
            if (ij != -xf::BcdKeyCompare(keys[j], keys[i])) std::abort();
            for (int k = 0; k < 3; ++k)
                if (ij <= 0 && xf::BcdKeyCompare(keys[j], keys[k]) <= 0 && xf::BcdKeyCompare(keys[i], keys[k]) > 0)
                    std::abort();
            Plain a, b;
            if (ReadPlain(texts[i], a) && ReadPlain(texts[j], b) && ij != ComparePlain(a, b)) std::abort();
        }
    }
    if (size >= 8) {
        double value = 0;
        std::copy(data, data + 8, reinterpret_cast<std::uint8_t*>(&value));
        TBcdKey key {};
        xf::BcdKeyFromFloat(key, decimals, value);
        CheckKeyShape(key);
        xf::DtosFromDateNumber(value);
        xf::DateTextFromNumber(value);
    }

    xf::XfDates().Style = static_cast<std::uint8_t>(size % 9);
    xf::XfDates().Century = static_cast<std::uint8_t>(size % 2);
    for (const std::string& text : texts) {
        CheckDate(text);
        xf::DayOfWeekOfText(text);
        xf::DayName(text);
        xf::MonthName(text);
        xf::DateNumberFromDtos(text);
    }
    return 0;
}
