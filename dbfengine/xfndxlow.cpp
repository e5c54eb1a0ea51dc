#include "dbfengine/xfndxlow.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "dbfengine/timedate.h"
#include "dbfengine/xfcommon.h"

namespace xf {

namespace {

constexpr int kZeroExponent = 0x34;
constexpr int kMonthStart[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

void SetZeroKey(TBcdKey& key)
{
    key.fill(0);
    key[0] = kZeroExponent;
    key[1] = 0x01;
}

int DigitCount(const TBcdKey& key) { return (key[1] >> 2) & 0x1F; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int MonthLength(int year, int month)
{
    int length = kMonthStart[month] - kMonthStart[month - 1];
    if (month == 2 && IsLeapYear(year)) ++length;
    return length;
}

std::string Digits(int value, int width) { return ZeroPadNumber(static_cast<std::uint64_t>(value), width); }

}  // namespace

// ---- packed-decimal keys --------------------------------------------------------

void BcdKeyFromText(TBcdKey& key, std::string_view text, int decimals)
{
    key.fill(0);
    std::size_t i = 0;
    const std::size_t n = text.size();
    bool negative = false;
    while (i < n && text[i] == ' ') ++i;
    if (i < n && text[i] == '+') {
        ++i;
    } else if (i < n && text[i] == '-') {
        negative = true;
        ++i;
    }
    while (i < n && (text[i] == ' ' || text[i] == '0')) ++i;
    int exponent = kZeroExponent;
    bool fraction = false;
    if (i < n && text[i] == '.') {
        fraction = true;
        ++i;
        int zeros = 0;
        while (i < n && text[i] == '0') ++zeros, ++i;
        if (i < n) exponent -= zeros;
    }
    int stored = 0, trailingZeros = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            if (stored < 20) {
                const int digit = c - '0';
                key[2 + stored / 2] |= static_cast<std::uint8_t>(stored % 2 == 0 ? digit << 4 : digit);
                ++stored;
                trailingZeros = digit == 0 ? trailingZeros + 1 : 0;
            } else if (fraction) {
                break;
            }
            // Integer digits past the stored ones still scale the number.
            if (!fraction && exponent < 1000) ++exponent;
        } else if (c == '.' && !fraction) {
            fraction = true;
        } else {
            break;
        }
    }
    int count;
    if (fraction && decimals > trailingZeros) {
        count = stored;
    } else {
        count = stored - trailingZeros;
        if (count >= 1 && count <= 9) count = 10;
    }
    count = std::min(count, 20);
    if (count <= 0 || exponent < 1) {
        SetZeroKey(key);
        return;
    }
    key[0] = static_cast<std::uint8_t>(std::min(exponent, 255));
    key[1] = static_cast<std::uint8_t>((negative ? 0x80 : 0) | (count << 2) | 0x01);
}

void BcdKeyFromFloat(TBcdKey& key, int decimals, double value)
{
    if (std::isnan(value)) {
        SetZeroKey(key);
        return;
    }
    if (std::isinf(value)) {
        key.fill(0x99);
        key[0] = 255;
        key[1] = static_cast<std::uint8_t>((value < 0 ? 0x80 : 0) | (20 << 2) | 0x01);
        return;
    }
    decimals = std::clamp(decimals, 0, 50);
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    BcdKeyFromText(key, std::string_view(buffer, result.ec == std::errc() ? result.ptr - buffer : 0), decimals);
}

int BcdKeyCompare(const TBcdKey& a, const TBcdKey& b)
{
    const bool aNegative = (a[1] & 0x80) != 0, bNegative = (b[1] & 0x80) != 0;
    if (aNegative != bNegative) return aNegative ? -1 : 1;
    const int aCount = DigitCount(a), bCount = DigitCount(b);
    const int aExponent = aCount != 0 ? a[0] : 0, bExponent = bCount != 0 ? b[0] : 0;
    if (aExponent == bExponent) {
        const int bytes = std::min((std::max(aCount, bCount) + 1) / 2, 10);
        for (int i = 2; i < 2 + bytes; ++i) {
            if (a[i] != b[i]) {
                const int sign = a[i] < b[i] ? -1 : 1;
                return aNegative ? -sign : sign;
            }
        }
        return 0;
    }
    const int sign = aExponent < bExponent ? -1 : 1;
    return aNegative ? -sign : sign;
}

int CompareFloat(double a, double b)
{
    if (a == b) return 0;
    return a > b ? 1 : -1;
}

// ---- date numbers -----------------------------------------------------------------

std::int64_t DaysBeforeYear(std::int64_t year)
{
    if (year <= 1) return 0;
    const std::int64_t y = year - 1;
    return y * 365 + y / 4 - y / 100 + y / 400;
}

int DayOfYear(int year, int month, int day)
{
    return kMonthStart[month - 1] + day + (month > 2 && IsLeapYear(year) ? 1 : 0);
}

void MonthDayOfDayOfYear(int year, int dayOfYear, int& month, int& day)
{
    const int leap = IsLeapYear(year) ? 1 : 0;
    month = 1;
    while (month < 12 && dayOfYear > kMonthStart[month] + (month >= 2 ? leap : 0)) ++month;
    day = dayOfYear - kMonthStart[month - 1] - (month > 2 ? leap : 0);
}

double DateNumber(int year, int month, int day)
{
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > MonthLength(year, month)) return kBlankDateNumber;
    return static_cast<double>(DaysBeforeYear(year) + DayOfYear(year, month, day) + 1721425);
}

bool SplitDateNumber(double number, int& year, int& month, int& day)
{
    if (!(number >= kFirstDateNumber && number < kLastDateNumber + 1)) return false;
    const std::int64_t n = static_cast<std::int64_t>(number) - 1721425;
    std::int64_t y = std::max<std::int64_t>(1, n / 366);
    while (n - DaysBeforeYear(y) > (IsLeapYear(static_cast<int>(y)) ? 366 : 365)) ++y;
    year = static_cast<int>(y);
    MonthDayOfDayOfYear(year, static_cast<int>(n - DaysBeforeYear(y)), month, day);
    return true;
}

double DateNumberFromDtos(std::string_view text)
{
    text = text.substr(0, std::min<std::size_t>(8, text.size()));
    if (text == "        ") return kBlankDateNumber;
    auto part = [&](std::size_t from, std::size_t length) {
        if (from >= text.size()) return 0;
        std::int64_t value = 0;
        return rtl::TryStrToInt64(text.substr(from, length), value) && value >= 0 && value <= 99999
                   ? static_cast<int>(value)
                   : 0;
    };
    return DateNumber(part(0, 4), part(4, 2), part(6, 2));
}

namespace {

// The text in the month/day/year layout with a four-digit year.
std::string FullYearNormal(std::string_view text)
{
    TXfDateSettings& settings = XfDates();
    const std::uint8_t century = settings.Century;
    settings.Century = 1;
    std::string normal(text.substr(0, std::min<std::size_t>(10, text.size())));
    NormalizeDateText(normal);
    settings.Century = century;
    return normal;
}

int NumberAt(std::string_view text, std::size_t from, std::size_t length)
{
    if (from + length > text.size()) return 0;
    int value = 0;
    for (char c : text.substr(from, length)) {
        if (!IsDigit(c)) return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

double DateNumberFromText(std::string_view text)
{
    const std::string normal = FullYearNormal(text);
    if (normal.size() != 10) return kBlankDateNumber;
    return DateNumber(NumberAt(normal, 6, 4), NumberAt(normal, 0, 2), NumberAt(normal, 3, 2));
}

std::string DtosFromDateNumber(double number)
{
    int year = 0, month = 0, day = 0;
    if (!(number < kLastDateNumber) || !SplitDateNumber(number, year, month, day)) return std::string(8, ' ');
    return Digits(year, 4) + Digits(month, 2) + Digits(day, 2);
}

std::string DateTextFromNumber(double number)
{
    const TXfDateSettings& settings = XfDates();
    int year = 0, month = 0, day = 0;
    if (!SplitDateNumber(number, year, month, day)) return BlankDateText(settings.Style);
    const std::string y = settings.Century ? Digits(year, 4) : Digits(year % 100, 2);
    const std::string m = Digits(month, 2), d = Digits(day, 2);
    switch (settings.Style) {
    case 0: return m + "/" + d + "/" + y;
    case 1: return y + "." + m + "." + d;
    case 2:
    case 8: return d + "/" + m + "/" + y;
    case 3: return d + "-" + m + "-" + y;
    default: return d + "." + m + "." + y;
    }
}

std::string DtosFromDateText(std::string_view text)
{
    const std::string normal = FullYearNormal(text);
    if (normal.size() != 10) return std::string(8, ' ');
    std::string dtos = normal.substr(6, 4) + normal.substr(0, 2) + normal.substr(3, 2);
    if (dtos == "00000000") dtos.assign(8, ' ');
    return dtos;
}

// ---- Soundex ----------------------------------------------------------------------

std::string Soundex(std::string_view text)
{
    static constexpr char kCodes[] = "01230120022455012623010202";
    text = text.substr(0, std::min<std::size_t>(100, text.size()));
    std::string result = "0000";
    if (text.empty()) return result;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    auto isLetter = [](char c) { return c >= 'A' && c <= 'Z'; };
    result[0] = upper(text[0]);
    char last = isLetter(result[0]) ? kCodes[result[0] - 'A'] : '0';
    std::size_t filled = 1;
    for (std::size_t i = 1; i < text.size() && filled < result.size(); ++i) {
        const char c = upper(text[i]);
        if (!isLetter(c)) continue;
        const char code = kCodes[c - 'A'];
        if (code != last && code != '0') result[filled++] = code;
        last = code;
    }
    return result;
}

// ---- zero-terminated texts ----------------------------------------------------------

std::size_t StrLenZ(const char* text)
{
    std::size_t n = 0;
    while (text[n] != '\0') ++n;
    return n;
}

char* StrCopyZ(char* dest, const char* source)
{
    std::size_t i = 0;
    do {
        dest[i] = source[i];
    } while (source[i++] != '\0');
    return dest;
}

std::string StrLCopyToString(const char* source, std::size_t n)
{
    std::size_t length = 0;
    while (length < n && source[length] != '\0') ++length;
    return std::string(source, length);
}

int StrCompN(const char* a, const char* b, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const int difference = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
        if (difference != 0) return difference;
    }
    return 0;
}

char* StrToBufZ(char* dest, std::string_view text)
{
    std::copy(text.begin(), text.end(), dest);
    dest[text.size()] = '\0';
    return dest;
}

const char* StrOffset(const char* text, std::size_t offset) { return text + offset; }

void StrUpperAscii(char* text)
{
    for (; *text != '\0'; ++text)
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 32);
}

bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }

void ReverseRange(char* text, std::size_t length) { std::reverse(text, text + length); }

void SwapAdjacentRanges(char* text, std::size_t firstLength, std::size_t secondLength)
{
    ReverseRange(text, firstLength);
    ReverseRange(text + firstLength, secondLength);
    ReverseRange(text, firstLength + secondLength);
}

std::string ZeroPadNumber(std::uint64_t value, int width)
{
    std::string text = std::to_string(value);
    if (width > 0 && text.size() < static_cast<std::size_t>(width)) text.insert(0, width - text.size(), '0');
    return text;
}

// ---- node lists ---------------------------------------------------------------------

TXfNodeList::~TXfNodeList()
{
    while (!Empty()) ListRemove();
}

std::byte* TXfNodeList::ListAdd(std::size_t payloadSize)
{
    if (static_cast<std::int64_t>(payloadSize) + 10 >= MaxAvail) return nullptr;
    auto node = std::make_unique<TXfNode>();
    node->Payload.assign(payloadSize, std::byte {0});
    TXfNode* raw = node.release();
    if (current_ == nullptr) {
        raw->Next = raw->Prev = raw;
    } else {
        raw->Prev = current_;
        raw->Next = current_->Next;
        current_->Next->Prev = raw;
        current_->Next = raw;
    }
    current_ = raw;
    return raw->Payload.data();
}

std::unique_ptr<TXfNode> TXfNodeList::ListRemove()
{
    if (current_ == nullptr) return nullptr;
    std::unique_ptr<TXfNode> node(current_);
    if (node->Next == node.get()) {
        current_ = nullptr;
    } else {
        node->Prev->Next = node->Next;
        node->Next->Prev = node->Prev;
        current_ = node->Prev;
    }
    node->Next = node->Prev = nullptr;
    return node;
}

TXfNode* TXfNodeList::ListNext(const TXfNode* node) const
{
    if (node == nullptr || node == current_) return nullptr;
    return node->Next;
}

}  // namespace xf
