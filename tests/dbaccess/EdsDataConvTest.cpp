// Record images of every engine type against their native forms, both ways,
// byte for byte; the empty images and emptiness rules of EDT and of the
// xBase table types; numbers that a column cannot hold.

#include "dbaccess/edsdataconv.h"

#include "platform/db/Bcd.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<UNSIGNED8>;

// A one-column image with guard bytes on both sides, so a conversion that
// writes past its column shows.
struct Image {
    explicit Image(UNSIGNED32 length, UNSIGNED8 fill = 0xAA) : bytes(length + 4, fill) {}
    Bytes bytes;
    UNSIGNED8* data() { return bytes.data(); }
    Bytes Column(UNSIGNED32 length) const { return Bytes(bytes.begin() + 2, bytes.begin() + 2 + length); }
    bool GuardsIntact(UNSIGNED32 length) const {
        return bytes[0] == 0xAA && bytes[1] == 0xAA && bytes[2 + length] == 0xAA && bytes[3 + length] == 0xAA;
    }
};

TEdsColumnLayout Column(UNSIGNED16 type, UNSIGNED32 length, UNSIGNED16 decimals = 0) {
    return TEdsColumnLayout{type, 2, length, decimals};
}

template <class T>
Bytes Write(UNSIGNED16 type, UNSIGNED32 length, db::TFieldType dataType, T value, UNSIGNED16 decimals = 0,
            UNSIGNED16 tableType = EDS_EDT) {
    Image image(length);
    ConvertNativeToEdsField(nullptr, Column(type, length, decimals), dataType, &value, sizeof value, image.data(), tableType);
    EXPECT_TRUE(image.GuardsIntact(length));
    return image.Column(length);
}

template <class T>
T Read(UNSIGNED16 type, const Bytes& column, db::TFieldType dataType, UNSIGNED16 decimals = 0) {
    Image image(static_cast<UNSIGNED32>(column.size()));
    std::memcpy(image.data() + 2, column.data(), column.size());
    EXPECT_FALSE(EdsColumnIsEmpty(Column(type, static_cast<UNSIGNED32>(column.size()), decimals), image.data(), EDS_EDT));
    T value{};
    ConvertEdsFieldToNative(nullptr, Column(type, static_cast<UNSIGNED32>(column.size()), decimals), dataType,
                            image.data(), &value, sizeof value);
    return value;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes EmptyImage(UNSIGNED16 type, UNSIGNED32 length, UNSIGNED16 tableType) {
    Image image(length);
    EdsWriteEmptyColumn(Column(type, length), image.data(), tableType);
    EXPECT_TRUE(image.GuardsIntact(length));
    EXPECT_TRUE(EdsColumnIsEmpty(Column(type, length), image.data(), tableType)) << "type " << type;
    return image.Column(length);
}

bool IsEmpty(UNSIGNED16 type, const Bytes& column, UNSIGNED16 tableType) {
    Image image(static_cast<UNSIGNED32>(column.size()));
    std::memcpy(image.data() + 2, column.data(), column.size());
    return EdsColumnIsEmpty(Column(type, static_cast<UNSIGNED32>(column.size())), image.data(), tableType);
}

// The engine's Julian day number of a date, checked against its digits.
std::int32_t DayNumber(const char* digits) {
    double julian = 0;
    EXPECT_EQ(EdsApi.EdsConvertStringToJulian(reinterpret_cast<const UNSIGNED8*>(digits), 8, &julian), 0u);
    return static_cast<std::int32_t>(julian) - EdsJulianDelta;
}

#define EXPECT_OUT_OF_RANGE(statement)                                                          \
    EXPECT_THAT([&] { statement; }, ::testing::ThrowsMessage<EEDSDatabaseError>(               \
                                        ::testing::HasSubstr("Numeric out of range.")))

// ---- fixed-size types -------------------------------------------------------------------

TEST(EdsDataConvFixed, IntegersAndTheirEmptyValues) {
    EXPECT_EQ(Write(EDS_INTEGER, 4, db::ftInteger, std::int32_t{7}), (Bytes{7, 0, 0, 0}));
    EXPECT_EQ(Write(EDS_INTEGER, 4, db::ftInteger, std::int32_t{-2}), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Read<std::int32_t>(EDS_INTEGER, Bytes{0xFE, 0xFF, 0xFF, 0x7F}, db::ftInteger), 0x7FFFFFFE);
    EXPECT_EQ(Write(EDS_SHORTINT, 2, db::ftSmallint, std::int16_t{-2}), (Bytes{0xFE, 0xFF}));
    EXPECT_EQ(Read<std::int16_t>(EDS_SHORTINT, Bytes{0xFF, 0x7F}, db::ftSmallint), 32767);
    EXPECT_EQ(Write(EDS_AUTOINC, 4, db::ftAutoInc, std::int32_t{5}), (Bytes{5, 0, 0, 0}));
    EXPECT_EQ(Read<std::int32_t>(EDS_AUTOINC, Bytes{0, 1, 0, 0}, db::ftAutoInc), 256);

    // The values whose images mean null cannot be stored as values.
    EXPECT_OUT_OF_RANGE(Write(EDS_INTEGER, 4, db::ftInteger, std::numeric_limits<std::int32_t>::min()));
    EXPECT_OUT_OF_RANGE(Write(EDS_SHORTINT, 2, db::ftSmallint, std::int16_t{-32768}));
    EXPECT_EQ(Write(EDS_INTEGER, 4, db::ftInteger, std::numeric_limits<std::int32_t>::min() + 1),
              (Bytes{1, 0, 0, 0x80}));
    EXPECT_EQ(Write(EDS_SHORTINT, 2, db::ftSmallint, std::int16_t{-32767}), (Bytes{1, 0x80}));
}

TEST(EdsDataConvFixed, DoublesRefuseWhatWouldNotReadBack) {
    double v = 3.25;
    Bytes expected(8);
    std::memcpy(expected.data(), &v, 8);
    EXPECT_EQ(Write(EDS_DOUBLE, 8, db::ftFloat, v), expected);
    EXPECT_EQ(Read<double>(EDS_DOUBLE, expected, db::ftFloat), 3.25);
    EXPECT_EQ(Write(EDS_CURDOUBLE, 8, db::ftCurrency, v), expected);
    EXPECT_EQ(Read<double>(EDS_CURDOUBLE, expected, db::ftCurrency), 3.25);

    EXPECT_OUT_OF_RANGE(Write(EDS_DOUBLE, 8, db::ftFloat, std::nan("")));
    EXPECT_OUT_OF_RANGE(Write(EDS_DOUBLE, 8, db::ftFloat, std::numeric_limits<double>::infinity()));
    EXPECT_OUT_OF_RANGE(Write(EDS_CURDOUBLE, 8, db::ftCurrency, -std::numeric_limits<double>::infinity()));
    // The empty pattern is itself a (denormal) double.
    double emptyPattern = 0;
    const Bytes pattern{0x20, 0, 0, 0, 0, 0, 0, 0x80};
    std::memcpy(&emptyPattern, pattern.data(), 8);
    EXPECT_OUT_OF_RANGE(Write(EDS_DOUBLE, 8, db::ftFloat, emptyPattern));
}

TEST(EdsDataConvFixed, LogicalTimeRawAndMoney) {
    EXPECT_EQ(Write(EDS_LOGICAL, 1, db::ftBoolean, std::int16_t{-1}), Text("T"));
    EXPECT_EQ(Write(EDS_LOGICAL, 1, db::ftBoolean, std::int16_t{0}), Text("F"));
    for (char c : std::string("1TYty")) EXPECT_EQ(Read<std::int16_t>(EDS_LOGICAL, Bytes{UNSIGNED8(c)}, db::ftBoolean), -1) << c;
    for (char c : std::string("0FNfn?")) EXPECT_EQ(Read<std::int16_t>(EDS_LOGICAL, Bytes{UNSIGNED8(c)}, db::ftBoolean), 0) << c;

    const std::int32_t time = ((12 * 60 + 34) * 60 + 56) * 1000 + 789;
    const Bytes timeImage{0x95, 0x2C, 0xB3, 0x02};
    EXPECT_EQ(Write(EDS_TIME, 4, db::ftTime, time), timeImage);
    EXPECT_EQ(Read<std::int32_t>(EDS_TIME, timeImage, db::ftTime), time);

    const std::uint8_t raw[3] = {0, 0xFF, 7};
    Image rawImage(3);
    ConvertNativeToEdsField(nullptr, Column(EDS_RAW, 3), db::ftBytes, raw, 3, rawImage.data(), EDS_EDT);
    EXPECT_EQ(rawImage.Column(3), (Bytes{0, 0xFF, 7}));
    std::uint8_t back[3] = {};
    ConvertEdsFieldToNative(nullptr, Column(EDS_RAW, 3), db::ftBytes, rawImage.data(), back, 3);
    EXPECT_EQ(std::memcmp(back, raw, 3), 0);

    db::TBcd bcd;
    ASSERT_TRUE(db::CurrToBCD(-123456, bcd, 20, 4));  // -12.3456
    const Bytes money{0xC0, 0x1D, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(Write(EDS_MONEY, 8, db::ftBCD, bcd), money);
    const db::TBcd read = Read<db::TBcd>(EDS_MONEY, money, db::ftBCD);
    EXPECT_EQ(read.Precision, 20);
    EXPECT_EQ(db::BCDToCurr(read), -123456);
}

// ---- dates -------------------------------------------------------------------------------

TEST(EdsDataConvDates, FourByteAndCompactDatesGiveTheSameDay) {
    const std::int32_t day = DayNumber("20240315");
    EXPECT_EQ(day + EdsJulianDelta, 2460385);  // the astronomers' Julian day of that date

    const Bytes julian = Write(EDS_DATE, 4, db::ftDate, day);
    EXPECT_EQ(julian, (Bytes{0xE1, 0x8A, 0x25, 0x00}));
    EXPECT_EQ(Read<std::int32_t>(EDS_DATE, julian, db::ftDate), day);

    // 2024 * 2 + (3 >> 3) = 0x0FD0, then (3 << 5) + 15.
    const Bytes compact = Write(EDS_COMPACTDATE, 3, db::ftDate, day);
    EXPECT_EQ(compact, (Bytes{0x0F, 0xD0, 0x6F}));
    EXPECT_EQ(Read<std::int32_t>(EDS_COMPACTDATE, compact, db::ftDate), day);

    // Months from August on carry a bit into the year bytes.
    const std::int32_t december = DayNumber("19991231");
    const Bytes late = Write(EDS_COMPACTDATE, 3, db::ftDate, december);
    EXPECT_EQ(late, (Bytes{0x0F, 0x9F, 0x9F}));
    EXPECT_EQ(Read<std::int32_t>(EDS_COMPACTDATE, late, db::ftDate), december);
}

TEST(EdsDataConvDates, TimestampsSplitIntoDayAndMilliseconds) {
    const std::int32_t day = DayNumber("20240315");
    const double noon = static_cast<double>(day) * 86400000.0 + 43200000.0;
    const Bytes image = Write(EDS_TIMESTAMP, 8, db::ftDateTime, noon);
    EXPECT_EQ(image, (Bytes{0xE1, 0x8A, 0x25, 0x00, 0x00, 0x2E, 0x93, 0x02}));
    EXPECT_EQ(Read<double>(EDS_TIMESTAMP, image, db::ftDateTime), noon);

    // Before the first day of year 1 there is nothing to show but 0.
    EXPECT_EQ(Read<double>(EDS_TIMESTAMP, Bytes{1, 0, 0, 0, 0, 0, 0, 0}, db::ftDateTime), 0.0);
    EXPECT_OUT_OF_RANGE(Write(EDS_TIMESTAMP, 8, db::ftDateTime, std::nan("")));
}

TEST(EdsDataConvDates, TextDatesOfLongerColumnsUseTheEngineDigits) {
    const std::int32_t day = DayNumber("20240315");
    EXPECT_EQ(Write(EDS_DATE, 8, db::ftDate, day, 0, EDS_CDX), Text("20240315"));
    EXPECT_EQ(Read<std::int32_t>(EDS_DATE, Text("20240315"), db::ftDate), day);
    EXPECT_THAT([&] { Write(EDS_DATE, 6, db::ftDate, day, 0, EDS_CDX); },
                ::testing::ThrowsMessage<EEDSDatabaseError>(::testing::HasSubstr("Something's wrong with EDS date functions")));
}

// ---- numeric text ----------------------------------------------------------------------------

TEST(EdsDataConvNumeric, FixedPointRightAligned) {
    EXPECT_EQ(Write(EDS_NUMERIC, 5, db::ftFloat, 12.34, 2), Text("12.34"));
    EXPECT_EQ(Write(EDS_NUMERIC, 5, db::ftFloat, 1.5, 2), Text(" 1.50"));
    EXPECT_EQ(Write(EDS_NUMERIC, 5, db::ftFloat, -1.5, 2), Text("-1.50"));
    EXPECT_EQ(Write(EDS_NUMERIC, 5, db::ftFloat, -0.001, 2), Text(" 0.00"));
    EXPECT_EQ(Write(EDS_NUMERIC, 5, db::ftFloat, 9.999, 2), Text("10.00"));
    EXPECT_EQ(Write(EDS_NUMERIC, 3, db::ftFloat, 999.0, 0), Text("999"));
    EXPECT_EQ(Write(EDS_NUMERIC, 4, db::ftSmallint, std::int16_t{42}), Text("  42"));
    EXPECT_EQ(Write(EDS_NUMERIC, 4, db::ftSmallint, std::int16_t{-999}), Text("-999"));

    EXPECT_EQ(Read<double>(EDS_NUMERIC, Text(" 1.50"), db::ftFloat, 2), 1.5);
    EXPECT_EQ(Read<std::int16_t>(EDS_NUMERIC, Text("  42"), db::ftSmallint), 42);
    EXPECT_EQ(Read<std::int16_t>(EDS_NUMERIC, Text("-999"), db::ftSmallint), -999);
}

TEST(EdsDataConvNumeric, ValuesTheColumnCannotHoldAreRefused) {
    EXPECT_OUT_OF_RANGE(Write(EDS_NUMERIC, 5, db::ftFloat, 123.45, 2));
    EXPECT_OUT_OF_RANGE(Write(EDS_NUMERIC, 5, db::ftFloat, 99.999, 2));
    EXPECT_OUT_OF_RANGE(Write(EDS_NUMERIC, 3, db::ftFloat, 1000.0, 0));
    EXPECT_OUT_OF_RANGE(Write(EDS_NUMERIC, 4, db::ftSmallint, std::int16_t{12345}));
    EXPECT_OUT_OF_RANGE(Write(EDS_NUMERIC, 10, db::ftFloat, 1e300, 2));
    EXPECT_OUT_OF_RANGE(Write(EDS_NUMERIC, 10, db::ftFloat, std::nan(""), 2));
    EXPECT_OUT_OF_RANGE(Write(EDS_NUMERIC, 10, db::ftFloat, std::numeric_limits<double>::infinity(), 2));
}

// ---- character columns --------------------------------------------------------------------------

TEST(EdsDataConvText, PaddedCutAndTrimmed) {
    char value[11] = "abc";
    Image image(6);
    ConvertNativeToEdsField(nullptr, Column(EDS_STRING, 6), db::ftString, value, sizeof value, image.data(), EDS_EDT);
    EXPECT_EQ(image.Column(6), Text("abc   "));
    char back[7] = {};
    ConvertEdsFieldToNative(nullptr, Column(EDS_STRING, 6), db::ftString, image.data(), back, sizeof back);
    EXPECT_STREQ(back, "abc");

    // Longer than the column: cut, never written past it.
    char longer[11] = "abcdefghij";
    ConvertNativeToEdsField(nullptr, Column(EDS_CISTRING, 6), db::ftString, longer, sizeof longer, image.data(), EDS_EDT);
    EXPECT_EQ(image.Column(6), Text("abcdef"));
    EXPECT_TRUE(image.GuardsIntact(6));

    // A native buffer smaller than the column gets what fits, terminated.
    char small[4] = {};
    ConvertEdsFieldToNative(nullptr, Column(EDS_CISTRING, 6), db::ftString, image.data(), small, sizeof small);
    EXPECT_STREQ(small, "abc");
}

TEST(EdsDataConvText, EmptyTextReadsBackAsNullOnEveryTableType) {
    char empty[4] = "";
    Image edt(5);
    ConvertNativeToEdsField(nullptr, Column(EDS_STRING, 5), db::ftString, empty, sizeof empty, edt.data(), EDS_EDT);
    EXPECT_EQ(edt.Column(5), Bytes(5, 0));
    EXPECT_TRUE(EdsColumnIsEmpty(Column(EDS_STRING, 5), edt.data(), EDS_EDT));

    Image cdx(5);
    ConvertNativeToEdsField(nullptr, Column(EDS_STRING, 5), db::ftString, empty, sizeof empty, cdx.data(), EDS_CDX);
    EXPECT_EQ(cdx.Column(5), Text("     "));
    EXPECT_TRUE(EdsColumnIsEmpty(Column(EDS_STRING, 5), cdx.data(), EDS_CDX));
}

// ---- empty images ----------------------------------------------------------------------------------

TEST(EdsDataConvEmpty, EdtEmptyImages) {
    EXPECT_EQ(EmptyImage(EDS_LOGICAL, 1, EDS_EDT), Text(" "));
    for (UNSIGNED16 type : {EDS_NUMERIC, EDS_STRING, EDS_COMPACTDATE, EDS_RAW, EDS_CISTRING})
        EXPECT_EQ(EmptyImage(type, 3, EDS_EDT), Bytes(3, 0)) << type;
    for (UNSIGNED16 type : {EDS_DATE, EDS_MEMO, EDS_BINARY, EDS_IMAGE, EDS_VARCHAR})
        EXPECT_EQ(EmptyImage(type, 4, EDS_EDT), Bytes(4, 0)) << type;
    for (UNSIGNED16 type : {EDS_DOUBLE, EDS_CURDOUBLE})
        EXPECT_EQ(EmptyImage(type, 8, EDS_EDT), (Bytes{0x20, 0, 0, 0, 0, 0, 0, 0x80})) << type;
    EXPECT_EQ(EmptyImage(EDS_INTEGER, 4, EDS_EDT), (Bytes{0, 0, 0, 0x80}));
    EXPECT_EQ(EmptyImage(EDS_SHORTINT, 2, EDS_EDT), (Bytes{0, 0x80}));
    EXPECT_EQ(EmptyImage(EDS_TIME, 4, EDS_EDT), Bytes(4, 0xFF));
    EXPECT_EQ(EmptyImage(EDS_AUTOINC, 4, EDS_EDT), Bytes(4, 0xFF));
    EXPECT_EQ(EmptyImage(EDS_TIMESTAMP, 8, EDS_EDT), (Bytes{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(EmptyImage(EDS_MONEY, 8, EDS_EDT), (Bytes{0, 0, 0, 0, 0, 0, 0, 0x80}));

    // A value is not empty: zero is a value for the binary types.
    EXPECT_FALSE(IsEmpty(EDS_INTEGER, Bytes(4, 0), EDS_EDT));
    EXPECT_FALSE(IsEmpty(EDS_LOGICAL, Text("F"), EDS_EDT));
    EXPECT_FALSE(IsEmpty(EDS_TIMESTAMP, (Bytes{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), EDS_EDT));
    EXPECT_FALSE(IsEmpty(EDS_MEMO, Bytes(4, 0xFF), EDS_EDT));
}

TEST(EdsDataConvEmpty, XbaseRules) {
    for (UNSIGNED16 tableType : {EDS_CDX, EDS_NTX}) {
        // Nulls: zeros for the binary types, blanks for the rest.
        for (UNSIGNED16 type : {EDS_MEMO, EDS_BINARY, EDS_IMAGE, EDS_VARCHAR, EDS_COMPACTDATE})
            EXPECT_EQ(EmptyImage(type, 4, tableType), Bytes(4, 0)) << type;
        for (UNSIGNED16 type : {EDS_LOGICAL, EDS_NUMERIC, EDS_STRING})
            EXPECT_EQ(EmptyImage(type, 4, tableType), Text("    ")) << type;
        Image date(8);
        EdsWriteEmptyColumn(Column(EDS_DATE, 8), date.data(), tableType);
        EXPECT_EQ(date.Column(8), Text("        "));

        EXPECT_TRUE(IsEmpty(EDS_LOGICAL, Bytes{0}, tableType));
        EXPECT_TRUE(IsEmpty(EDS_NUMERIC, Text("  "), tableType));
        EXPECT_TRUE(IsEmpty(EDS_DATE, Bytes(4, 0), tableType));
        EXPECT_FALSE(IsEmpty(EDS_DATE, (Bytes{1, 0, 0, 0}), tableType));
        EXPECT_TRUE(IsEmpty(EDS_COMPACTDATE, Bytes(3, 0), tableType));
        // Binary numbers have no empty form there, and the types the xBase
        // tables do not know never hold a value.
        for (UNSIGNED16 type : {EDS_DOUBLE, EDS_INTEGER, EDS_SHORTINT, EDS_CURDOUBLE})
            EXPECT_FALSE(IsEmpty(type, Bytes(8, 0), tableType)) << type;
        for (UNSIGNED16 type : {EDS_RAW, EDS_MONEY, EDS_CISTRING, EDS_TIMESTAMP})
            EXPECT_TRUE(IsEmpty(type, Text("abcdefgh"), tableType)) << type;
    }
}

}  // namespace
