// Packed-decimal numeric keys: byte order against Python's decimal arithmetic over a
// million generated pairs, and the key layout of known values.

#include <fstream>
#include <random>

#include <cmath>

#include <gtest/gtest.h>

#include "dbfengine/xfndxlow.h"
#include "tests/dbfengine/DbfTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;

namespace {

// A number text of the shapes index keys meet: blanks, signs, leading and trailing
// zeros, long integer parts, many zeros after the point.
std::string RandomNumberText(std::mt19937_64& rng)
{
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<std::uint64_t>(n)); };
    auto digits = [&](int count) {
        std::string s;
        for (int i = 0; i < count; ++i) s += static_cast<char>('0' + pick(10));
        return s;
    };
    std::string text(pick(3), ' ');
    const int sign = pick(4);
    if (sign == 0) text += '-';
    if (sign == 1) text += '+';
    std::string integer = pick(4) == 0 ? std::string(pick(3), '0') + digits(pick(30)) : digits(pick(6));
    std::string fraction;
    const bool point = pick(2) == 0;
    if (point) fraction = (pick(3) == 0 ? std::string(pick(45), '0') : "") + digits(pick(25));
    if (integer.empty() && fraction.empty()) integer = digits(1);
    text += integer;
    if (point) text += "." + fraction;
    return text;
}

// A second text near the first: the same value written otherwise, one digit changed,
// the sign flipped, or digits appended.
std::string Neighbour(const std::string& a, std::mt19937_64& rng)
{
    std::string b = a;
    switch (rng() % 5) {
    case 0:
        return b.find('.') == std::string::npos ? b + ".000" : b + "00";
    case 1: {
        std::vector<std::size_t> positions;
        for (std::size_t i = 0; i < b.size(); ++i)
            if (b[i] >= '0' && b[i] <= '9') positions.push_back(i);
        b[positions[rng() % positions.size()]] = static_cast<char>('0' + rng() % 10);
        return b;
    }
    case 2: {
        const std::size_t at = b.find_first_of("+-");
        if (at == std::string::npos) return b.insert(b.find_first_not_of(' '), "-");
        b.erase(at, 1);
        return b;
    }
    case 3:
        return b + (b.find('.') == std::string::npos ? "." : "") + std::to_string(rng() % 1000);
    default:
        return b + std::to_string(rng() % 10);
    }
}

TBcdKey Key(const std::string& text, int decimals = 0)
{
    TBcdKey key {};
    BcdKeyFromText(key, text, decimals);
    return key;
}

}  // namespace

TEST(XfBcdKey, ByteOrderMatchesDecimalOrderOnAMillionPairs)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    testsupport::TempDir folder;
    const std::string input = folder.str() + "/pairs.txt", output = folder.str() + "/signs.txt";
    std::mt19937_64 rng(20261207);
    std::vector<std::pair<std::string, std::string>> pairs;
    constexpr int kPairs = 1000000;
    pairs.reserve(kPairs);
    {
        std::ofstream out(input);
        for (int i = 0; i < kPairs; ++i) {
            std::string a = RandomNumberText(rng);
            std::string b = i % 2 == 0 ? RandomNumberText(rng) : Neighbour(a, rng);
            out << a << '|' << b << '\n';
            pairs.emplace_back(std::move(a), std::move(b));
        }
    }
    ASSERT_EQ(testsupport::RunCommand("/usr/bin/python3 " + dbftest::PythonScript("bcd.py") + " " + input + " " + output).status, 0)
        << "python3 bcd.py failed";
    std::ifstream signs(output);
    int failures = 0, equal = 0;
    for (const auto& [a, b] : pairs) {
        int expected = 2;
        signs >> expected;
        const int decimals = static_cast<int>(a.size() % 4);
        const int got = BcdKeyCompare(Key(a, decimals), Key(b, decimals));
        equal += expected == 0;
        if (got != expected && ++failures <= 10) ADD_FAILURE() << "'" << a << "' vs '" << b << "': " << got << ", python " << expected;
    }
    EXPECT_EQ(failures, 0);
    EXPECT_GT(equal, 50000);  // the generator makes equal values written otherwise
}

TEST(XfBcdKey, LayoutOfKnownValues)
{
    const TBcdKey k125 = Key("125", 0);
    EXPECT_EQ(k125[0], 0x37);
    EXPECT_EQ(k125[1], (10 << 2) | 1);
    EXPECT_EQ(k125[2], 0x12);
    EXPECT_EQ(k125[3], 0x50);
    const TBcdKey k12_5 = Key("12.5", 2);
    EXPECT_EQ(k12_5[0], 0x36);
    EXPECT_EQ((k12_5[1] >> 2) & 0x1F, 3);
    const TBcdKey k005 = Key("0.05", 2);
    EXPECT_EQ(k005[0], 0x33);
    EXPECT_EQ(k005[2], 0x50);
    const TBcdKey zero = {0x34, 0x01};
    EXPECT_EQ(Key("-0"), zero);
    EXPECT_EQ(Key("   "), zero);
    EXPECT_EQ(Key("0." + std::string(60, '0') + "1"), zero);  // below the exponent byte
    // Integer digits past the twentieth still count.
    EXPECT_LT(BcdKeyCompare(Key("1" + std::string(21, '0')), Key("1" + std::string(25, '0'))), 0);
    EXPECT_LT(BcdKeyCompare(Key("-2"), Key("-1")), 0);
    EXPECT_LT(BcdKeyCompare(Key("-1"), zero), 0);

    TBcdKey fromFloat {}, nan {}, inf {}, big {};
    BcdKeyFromFloat(fromFloat, 2, 12.5);
    EXPECT_EQ(BcdKeyCompare(fromFloat, Key("12.50", 2)), 0);
    BcdKeyFromFloat(nan, 2, std::nan(""));
    EXPECT_EQ(nan, zero);
    BcdKeyFromFloat(inf, 0, -HUGE_VAL);
    BcdKeyFromFloat(big, 0, -1e300);
    EXPECT_LE(BcdKeyCompare(inf, big), 0);
    EXPECT_EQ(CompareFloat(1.0, 2.0), -1);
    EXPECT_EQ(CompareFloat(2.0, 2.0), 0);
}
