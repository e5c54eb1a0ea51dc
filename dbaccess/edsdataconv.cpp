#include "dbaccess/edsdataconv.h"

#include "platform/db/Bcd.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr double kMSecsPerDay = 86400000.0;
constexpr UNSIGNED32 kDoubleNullLow = 0x00000020u;
constexpr UNSIGNED32 kDoubleNullHigh = 0x80000000u;

UNSIGNED32 Load32(const UNSIGNED8* p) {
    return static_cast<UNSIGNED32>(p[0]) | static_cast<UNSIGNED32>(p[1]) << 8 | static_cast<UNSIGNED32>(p[2]) << 16 |
           static_cast<UNSIGNED32>(p[3]) << 24;
}

UNSIGNED16 Load16(const UNSIGNED8* p) { return static_cast<UNSIGNED16>(p[0] | p[1] << 8); }

UNSIGNED64 Load64(const UNSIGNED8* p) { return Load32(p) | static_cast<UNSIGNED64>(Load32(p + 4)) << 32; }

void Store32(UNSIGNED8* p, UNSIGNED32 v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<UNSIGNED8>(v >> (8 * i));
}

void Store16(UNSIGNED8* p, UNSIGNED16 v) {
    p[0] = static_cast<UNSIGNED8>(v);
    p[1] = static_cast<UNSIGNED8>(v >> 8);
}

void Store64(UNSIGNED8* p, UNSIGNED64 v) {
    Store32(p, static_cast<UNSIGNED32>(v));
    Store32(p + 4, static_cast<UNSIGNED32>(v >> 32));
}

template <class T>
T NativeAs(const void* native) {
    T value;
    std::memcpy(&value, native, sizeof value);
    return value;
}

template <class T>
void NativeStore(void* native, std::size_t nativeSize, T value) {
    if (nativeSize < sizeof value) return;
    std::memcpy(native, &value, sizeof value);
}

bool AllBytes(const UNSIGNED8* p, UNSIGNED32 length, UNSIGNED8 value) {
    return std::all_of(p, p + length, [value](UNSIGNED8 b) { return b == value; });
}

bool AllZeroOrBlank(const UNSIGNED8* p, UNSIGNED32 length) {
    return std::all_of(p, p + length, [](UNSIGNED8 b) { return b == 0 || b == ' '; });
}

[[noreturn]] void NumericOutOfRange(IEdsDataSet* dataSet) { RaiseEdsClientError(dataSet, "Numeric out of range."); }

std::string ColumnText(const UNSIGNED8* p, UNSIGNED32 length) {
    std::string text(reinterpret_cast<const char*>(p), length);
    if (auto zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    return text;
}

// Eight digits CCYYMMDD of a Julian day number, from the engine.
std::string JulianToDigits(IEdsDataSet* dataSet, std::int64_t julian, UNSIGNED16 room) {
    std::string buffer(room, '\0');
    UNSIGNED16 length = room;
    CheckEdsError(dataSet, EdsApi.EdsConvertJulianToString(static_cast<double>(julian),
                                                          reinterpret_cast<UNSIGNED8*>(buffer.data()), &length));
    return EdsBufferText(reinterpret_cast<const UNSIGNED8*>(buffer.data()), buffer.size(), length);
}

std::int32_t DigitsToDay(IEdsDataSet* dataSet, const std::string& digits) {
    double julian = 0;
    CheckEdsError(dataSet, EdsApi.EdsConvertStringToJulian(reinterpret_cast<const UNSIGNED8*>(digits.c_str()),
                                                          static_cast<UNSIGNED16>(digits.size()), &julian));
    return static_cast<std::int32_t>(std::trunc(julian - EdsJulianDelta));
}

int DigitsValue(const std::string& text, std::size_t from, std::size_t count) {
    int value = 0;
    for (std::size_t i = from; i < from + count && i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::string TwoDigits(int v) { return std::string{static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)}; }

std::string FixedText(double value, int decimals) {
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return std::string();
    std::string text(buffer, end);
    // A value that rounds to zero carries no sign.
    if (text.front() == '-' && text.find_first_of("123456789") == std::string::npos) text.erase(0, 1);
    return text;
}

int IntegerDigits(const std::string& text) {
    std::size_t start = text.front() == '-' ? 1 : 0;
    const std::size_t point = std::min(text.find('.'), text.size());
    while (start < point && text[start] == '0') ++start;
    return static_cast<int>(point - start);
}

}  // namespace

void RaiseEdsClientError(IEdsDataSet* DataSet, const std::string& Text) {
    throw EEDSDatabaseError(DataSet, EdsClientErrorCode, Text);
}

bool FormatEdsNumeric(double Value, UNSIGNED32 Length, UNSIGNED16 Decimals, std::string& Text) {
    if (!std::isfinite(Value) || Length == 0) return false;
    // Significant digits the column shows; a value needing more integer
    // digits would come out in exponent form, which the column cannot hold.
    const int precision = static_cast<int>(Decimals > 0 ? Length - 1 : Length);
    std::string text = FixedText(Value, Decimals);
    if (text.empty()) return false;
    const int integerDigits = IntegerDigits(text);
    if (integerDigits > precision) return false;
    if (integerDigits + Decimals > precision) {
        // Rounded to the significant digits first, then padded to the decimals.
        const int shown = precision - integerDigits;
        text = FixedText(Value, shown);
        if (IntegerDigits(text) > precision) return false;
        if (Decimals > 0) {
            if (shown == 0) text += '.';
            text.append(static_cast<std::size_t>(Decimals - shown), '0');
        }
    }
    if (text.size() > Length) return false;
    Text = std::string(Length - text.size(), ' ') + text;
    return true;
}

bool EdsColumnIsEmpty(const TEdsColumnLayout& Column, const UNSIGNED8* Image, UNSIGNED16 TableType) {
    const UNSIGNED8* p = Image + Column.Offset;
    const UNSIGNED32 length = Column.Length;
    if (TableType == EDS_EDT) {
        switch (Column.FieldType) {
            case EDS_LOGICAL: return p[0] == ' ';
            case EDS_NUMERIC:
            case EDS_DATE:
            case EDS_STRING:
            case EDS_COMPACTDATE:
            case EDS_RAW:
            case EDS_CISTRING: return AllBytes(p, length, 0);
            case EDS_MEMO:
            case EDS_BINARY:
            case EDS_IMAGE:
            case EDS_VARCHAR: return Load32(p) == 0;
            case EDS_DOUBLE:
            case EDS_CURDOUBLE: return Load32(p) == kDoubleNullLow && Load32(p + 4) == kDoubleNullHigh;
            case EDS_INTEGER: return Load32(p) == 0x80000000u;
            case EDS_SHORTINT: return Load16(p) == 0x8000u;
            case EDS_TIME: return Load32(p) == 0xFFFFFFFFu;
            case EDS_TIMESTAMP: return Load32(p) == 0;
            case EDS_AUTOINC: return Load32(p) == 0xFFFFFFFFu;
            case EDS_MONEY: return Load32(p + 4) == 0x80000000u && Load32(p) == 0;
            default: return true;
        }
    }
    switch (Column.FieldType) {
        case EDS_LOGICAL:
        case EDS_NUMERIC:
        case EDS_STRING: return AllZeroOrBlank(p, length);
        case EDS_DATE: return AllZeroOrBlank(p, length) || (length == 4 && Load32(p) == 0);
        case EDS_MEMO:
        case EDS_BINARY:
        case EDS_IMAGE:
        case EDS_VARCHAR: return Load32(p) == 0;
        case EDS_COMPACTDATE: return AllBytes(p, length, 0);
        case EDS_DOUBLE:
        case EDS_INTEGER:
        case EDS_SHORTINT:
        case EDS_CURDOUBLE: return false;
        default: return true;
    }
}

void EdsWriteEmptyColumn(const TEdsColumnLayout& Column, UNSIGNED8* Image, UNSIGNED16 TableType) {
    UNSIGNED8* p = Image + Column.Offset;
    const UNSIGNED32 length = Column.Length;
    if (TableType != EDS_EDT) {
        const bool zeros = Column.FieldType >= EDS_MEMO &&
                           (Column.FieldType <= EDS_SHORTINT || Column.FieldType == EDS_CURDOUBLE);
        std::memset(p, zeros ? 0 : ' ', length);
        return;
    }
    switch (Column.FieldType) {
        case EDS_LOGICAL: p[0] = ' '; break;
        case EDS_NUMERIC:
        case EDS_DATE:
        case EDS_STRING:
        case EDS_MEMO:
        case EDS_BINARY:
        case EDS_IMAGE:
        case EDS_VARCHAR:
        case EDS_COMPACTDATE:
        case EDS_RAW:
        case EDS_CISTRING: std::memset(p, 0, length); break;
        case EDS_DOUBLE:
        case EDS_CURDOUBLE:
            Store32(p, kDoubleNullLow);
            Store32(p + 4, kDoubleNullHigh);
            break;
        case EDS_INTEGER: Store32(p, 0x80000000u); break;
        case EDS_SHORTINT: Store16(p, 0x8000u); break;
        case EDS_TIME:
        case EDS_AUTOINC: Store32(p, 0xFFFFFFFFu); break;
        case EDS_TIMESTAMP:
            Store32(p, 0);
            Store32(p + 4, 0xFFFFFFFFu);
            break;
        case EDS_MONEY:
            Store32(p, 0);
            Store32(p + 4, 0x80000000u);
            break;
        default: break;  // types 0 and 19 are left as they are
    }
}

void ConvertEdsFieldToNative(IEdsDataSet* DataSet, const TEdsColumnLayout& Column, db::TFieldType DataType,
                             const UNSIGNED8* Image, void* Native, std::size_t NativeSize) {
    const UNSIGNED8* p = Image + Column.Offset;
    const UNSIGNED32 length = Column.Length;
    switch (Column.FieldType) {
        case EDS_LOGICAL: {
            const char c = static_cast<char>(p[0]);
            const bool value = c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y';
            NativeStore<std::int16_t>(Native, NativeSize, value ? -1 : 0);
            break;
        }
        case EDS_NUMERIC: {
            const std::string text = rtl::Trim(ColumnText(p, length));
            if (DataType == db::ftSmallint || DataType == db::ftInteger) {
                double value = 0;
                if (!rtl::TryStrToFloat(text, value)) rtl::StrToInt(text);  // raises with the text
                const double whole = std::trunc(value);
                if (DataType == db::ftSmallint) NativeStore<std::int16_t>(Native, NativeSize, static_cast<std::int16_t>(whole));
                else NativeStore<std::int32_t>(Native, NativeSize, static_cast<std::int32_t>(whole));
            } else {
                NativeStore<double>(Native, NativeSize, rtl::StrToFloat(text));
            }
            break;
        }
        case EDS_DATE: {
            std::int32_t day = 0;
            if (length == 4) day = static_cast<std::int32_t>(static_cast<std::int64_t>(static_cast<SIGNED32>(Load32(p))) - EdsJulianDelta);
            else day = DigitsToDay(DataSet, ColumnText(p, length));
            NativeStore<std::int32_t>(Native, NativeSize, day);
            break;
        }
        case EDS_STRING:
        case EDS_CISTRING: {
            if (NativeSize == 0) break;
            // Up to the first zero, without trailing blanks; read for every
            // text of every row, so without a string in between.
            const auto* text = reinterpret_cast<const char*>(p);
            std::size_t size = strnlen(text, length);
            while (size > 0 && text[size - 1] == ' ') --size;
            size = std::min(size, NativeSize - 1);
            std::memcpy(Native, text, size);
            static_cast<char*>(Native)[size] = '\0';
            break;
        }
        case EDS_COMPACTDATE: {
            const unsigned yearMonth = static_cast<unsigned>(p[0]) << 8 | p[1];
            const int year = static_cast<int>(yearMonth >> 1);
            const int month = static_cast<int>((yearMonth & 1u) * 8 + (p[2] >> 5));
            const int day = p[2] & 31;
            const std::string digits = TwoDigits(year / 100 % 100) + TwoDigits(year % 100) + TwoDigits(month) + TwoDigits(day);
            NativeStore<std::int32_t>(Native, NativeSize, DigitsToDay(DataSet, digits));
            break;
        }
        case EDS_DOUBLE:
        case EDS_CURDOUBLE:
        case EDS_INTEGER:
        case EDS_TIME:
        case EDS_AUTOINC:
        case EDS_SHORTINT: {
            const std::size_t bytes = Column.FieldType == EDS_SHORTINT ? 2 : (Column.FieldType == EDS_DOUBLE || Column.FieldType == EDS_CURDOUBLE) ? 8 : 4;
            if (NativeSize >= bytes) std::memcpy(Native, p, bytes);
            break;
        }
        case EDS_RAW: std::memcpy(Native, p, std::min<std::size_t>(length, NativeSize)); break;
        case EDS_TIMESTAMP: {
            const auto date = static_cast<SIGNED32>(Load32(p));
            const auto time = static_cast<SIGNED32>(Load32(p + 4));
            double msecs = (static_cast<double>(date) - EdsJulianDelta) * kMSecsPerDay + time;
            if (msecs < 0) msecs = 0;
            NativeStore<double>(Native, NativeSize, msecs);
            break;
        }
        case EDS_MONEY: {
            db::TBcd bcd;
            const auto units = static_cast<std::int64_t>(Load64(p));
            if (!db::CurrToBCD(units, bcd, 20, 4)) NumericOutOfRange(DataSet);
            NativeStore<db::TBcd>(Native, NativeSize, bcd);
            break;
        }
        default: break;
    }
}

void ConvertNativeToEdsField(IEdsDataSet* DataSet, const TEdsColumnLayout& Column, db::TFieldType DataType,
                             const void* Native, std::size_t NativeSize, UNSIGNED8* Image, UNSIGNED16 TableType) {
    if (Native == nullptr) {
        EdsWriteEmptyColumn(Column, Image, TableType);
        return;
    }
    UNSIGNED8* p = Image + Column.Offset;
    const UNSIGNED32 length = Column.Length;
    switch (Column.FieldType) {
        case EDS_LOGICAL: p[0] = NativeAs<std::int16_t>(Native) != 0 ? 'T' : 'F'; break;
        case EDS_NUMERIC: {
            std::string text;
            if (DataType == db::ftSmallint || DataType == db::ftInteger) {
                const std::int64_t value = DataType == db::ftSmallint ? NativeAs<std::int16_t>(Native) : NativeAs<std::int32_t>(Native);
                text = rtl::IntToStr(value);
                if (text.size() > length) NumericOutOfRange(DataSet);
                text.insert(0, length - text.size(), ' ');
            } else if (!FormatEdsNumeric(NativeAs<double>(Native), length, Column.Decimals, text)) {
                NumericOutOfRange(DataSet);
            }
            std::memcpy(p, text.data(), length);
            break;
        }
        case EDS_DATE: {
            const std::int64_t julian = static_cast<std::int64_t>(NativeAs<std::int32_t>(Native)) + EdsJulianDelta;
            if (length == 4) {
                if (julian == 0 || julian > std::numeric_limits<SIGNED32>::max()) NumericOutOfRange(DataSet);
                Store32(p, static_cast<UNSIGNED32>(julian));
            } else {
                const std::string text = JulianToDigits(DataSet, julian, 13);
                if (text.size() > length) RaiseEdsClientError(DataSet, "Something's wrong with EDS date functions");
                std::memset(p, ' ', length);
                std::memcpy(p, text.data(), text.size());
            }
            break;
        }
        case EDS_STRING:
        case EDS_CISTRING: {
            const auto* text = static_cast<const char*>(Native);
            const std::size_t size = strnlen(text, NativeSize);
            std::memset(p, size == 0 && TableType == EDS_EDT ? 0 : ' ', length);
            std::memcpy(p, text, std::min<std::size_t>(size, length));
            break;
        }
        case EDS_COMPACTDATE: {
            const std::int64_t julian = static_cast<std::int64_t>(NativeAs<std::int32_t>(Native)) + EdsJulianDelta;
            const std::string digits = JulianToDigits(DataSet, julian, 13);
            const int year = DigitsValue(digits, 0, 4);
            const int month = DigitsValue(digits, 4, 2);
            const int day = DigitsValue(digits, 6, 2);
            if (digits.size() != 8 || year < 0 || month < 0 || day < 0)
                RaiseEdsClientError(DataSet, "Something's wrong with EDS date functions");
            const unsigned yearMonth = static_cast<unsigned>(year * 2 + (month >> 3));
            p[0] = static_cast<UNSIGNED8>(yearMonth >> 8);
            p[1] = static_cast<UNSIGNED8>(yearMonth);
            p[2] = static_cast<UNSIGNED8>((month << 5) + day);
            if (AllBytes(p, 3, 0)) NumericOutOfRange(DataSet);
            break;
        }
        case EDS_DOUBLE:
        case EDS_CURDOUBLE: {
            const double value = NativeAs<double>(Native);
            UNSIGNED64 bits;
            std::memcpy(&bits, &value, sizeof bits);
            // The empty pattern is a tiny negative denormal: refused like the
            // integer types' empty values, so a stored value never reads back null.
            if (!std::isfinite(value) || bits == (static_cast<UNSIGNED64>(kDoubleNullHigh) << 32 | kDoubleNullLow))
                NumericOutOfRange(DataSet);
            Store64(p, bits);
            break;
        }
        case EDS_INTEGER: {
            const auto value = NativeAs<std::int32_t>(Native);
            if (value == std::numeric_limits<std::int32_t>::min()) NumericOutOfRange(DataSet);
            Store32(p, static_cast<UNSIGNED32>(value));
            break;
        }
        case EDS_AUTOINC:
        case EDS_TIME: {
            const auto value = NativeAs<std::int32_t>(Native);
            if (Column.FieldType == EDS_TIME && value == -1) NumericOutOfRange(DataSet);
            Store32(p, static_cast<UNSIGNED32>(value));
            break;
        }
        case EDS_SHORTINT: {
            const auto value = NativeAs<std::int16_t>(Native);
            if (value == std::numeric_limits<std::int16_t>::min()) NumericOutOfRange(DataSet);
            Store16(p, static_cast<UNSIGNED16>(value));
            break;
        }
        case EDS_RAW:
            std::memset(p, 0, length);
            std::memcpy(p, Native, std::min<std::size_t>(length, NativeSize));
            break;
        case EDS_TIMESTAMP: {
            const double msecs = NativeAs<double>(Native);
            if (!std::isfinite(msecs)) NumericOutOfRange(DataSet);
            const double days = std::trunc(msecs / kMSecsPerDay);
            const double julian = days + EdsJulianDelta;
            if (julian <= 0 || julian > std::numeric_limits<SIGNED32>::max()) NumericOutOfRange(DataSet);
            auto time = static_cast<std::int64_t>(std::llround(msecs - days * kMSecsPerDay));
            time = std::clamp<std::int64_t>(time, 0, static_cast<std::int64_t>(kMSecsPerDay) - 1);
            Store32(p, static_cast<UNSIGNED32>(static_cast<SIGNED32>(julian)));
            Store32(p + 4, static_cast<UNSIGNED32>(time));
            break;
        }
        case EDS_MONEY: {
            const auto units = db::BCDToCurr(NativeAs<db::TBcd>(Native));
            if (!units || *units == std::numeric_limits<std::int64_t>::min()) NumericOutOfRange(DataSet);
            Store64(p, static_cast<UNSIGNED64>(*units));
            break;
        }
        default: break;
    }
}
