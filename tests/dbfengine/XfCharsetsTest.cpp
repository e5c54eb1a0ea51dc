// The code pages and the engine's OEM/ANSI tables against Python's codecs for
// every byte, with the fallback for bytes one side leaves undefined.

#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/xfutils.h"
#include "platform/rtl/CodePages.h"
#include "tests/dbfengine/DbfTestSupport.h"

using namespace xf;
using rtl::CodePage;

namespace {

const std::map<std::string, CodePage> kPages = {
    {"cp1252", CodePage::Windows1252}, {"cp1251", CodePage::Windows1251}, {"cp437", CodePage::Oem437},
    {"cp850", CodePage::Oem850},       {"cp866", CodePage::Oem866},
};

char32_t CodePointOf(unsigned char byte, CodePage page)
{
    const std::string utf8 = rtl::ToUtf8(std::string(1, static_cast<char>(byte)), page);
    const auto* u = reinterpret_cast<const unsigned char*>(utf8.data());
    if (utf8.size() == 1) return u[0];
    if (utf8.size() == 2) return ((u[0] & 0x1F) << 6) | (u[1] & 0x3F);
    return ((u[0] & 0x0F) << 12) | ((u[1] & 0x3F) << 6) | (u[2] & 0x3F);
}

struct OemPageGuard {
    CodePage saved = XfOemCodePage();
    ~OemPageGuard() { XfSetOemCodePage(saved); }
};

}  // namespace

TEST(XfCharsets, EveryByteOfEveryPageAgreesWithPython)
{
    REQUIRE_TOOLS("/usr/bin/python3");
    OemPageGuard restore;
    int checked = 0, failures = 0;
    auto fail = [&](const std::string& what) {
        if (++failures <= 20) ADD_FAILURE() << what;
    };
    const int status = dbftest::ForEachOutputLine("/usr/bin/python3 " + dbftest::PythonScript("codepages.py"), [&](const std::string& line) {
        std::istringstream in(line);
        std::string kind, name;
        int byte = 0;
        in >> kind >> name >> byte;
        const CodePage page = kPages.at(name);
        const char c = static_cast<char>(byte);
        ++checked;
        if (kind == "map") {
            long expected = 0;
            in >> expected;
            // Undefined bytes read as the C1 control of the same number.
            if (expected < 0) expected = byte;
            if (static_cast<long>(CodePointOf(static_cast<unsigned char>(byte), page)) != expected)
                fail(line + " got " + std::to_string(CodePointOf(static_cast<unsigned char>(byte), page)));
            // Every defined character comes back to its byte.
            if (rtl::FromUtf8(rtl::ToUtf8(std::string(1, c), page), page) != std::string(1, c)) fail(line + " round trip");
        } else if (kind == "case") {
            int upper = 0, lower = 0, alpha = 0;
            in >> upper >> lower >> alpha;
            XfSetOemCodePage(page == CodePage::Windows1251 ? CodePage::Oem866 : CodePage::Oem437);
            if (static_cast<unsigned char>(XfAnsiUpper(c)) != upper) fail(line + " upper");
            if (static_cast<unsigned char>(XfAnsiLower(c)) != lower) fail(line + " lower");
            if (XfAnsiIsAlpha(c) != (alpha == 1)) fail(line + " alpha");
        } else {
            int expected = 0;
            in >> expected;
            XfSetOemCodePage(page);
            std::string s(1, c);
            if (kind == "oem2ansi") {
                XfOemToAnsiBuff(s.data(), 1);
            } else {
                XfAnsiToOemBuff(s.data(), 1);
            }
            if (static_cast<unsigned char>(s[0]) != expected) fail(line + " got " + std::to_string(static_cast<unsigned char>(s[0])));
        }
    });
    ASSERT_EQ(status, 0) << "python3 codepages.py failed";
    EXPECT_EQ(checked, 5 * 256 + 2 * 256 + 3 * 512);
    EXPECT_EQ(failures, 0);
}

TEST(XfCharsets, PagesPairAndTextConvertsWhole)
{
    OemPageGuard restore;
    XfSetOemCodePage(CodePage::Oem850);
    EXPECT_EQ(XfAnsiCodePage(), CodePage::Windows1252);
    const std::string oem = rtl::FromUtf8("Müller ÄÖÜ ß é", CodePage::Oem850);
    EXPECT_EQ(XfAnsiToUtf8(XfOemToAnsi(oem)), "Müller ÄÖÜ ß é");
    EXPECT_EQ(XfAnsiToOem(XfOemToAnsi(oem)), oem);
    EXPECT_EQ(XfAnsiToUtf8(UpperCaseStr(XfUtf8ToAnsi("müller ÿ"))), "MÜLLER Ÿ");
    // Box drawing has no ANSI counterpart: '?' (documented fallback), ASCII never changes.
    EXPECT_EQ(XfOemToAnsi("\xC4\xB3 abc"), "?? abc");
    XfSetOemCodePage(CodePage::Oem866);
    EXPECT_EQ(XfAnsiCodePage(), CodePage::Windows1251);
    EXPECT_EQ(XfAnsiToUtf8(UpperCaseStr(XfOemToAnsi(rtl::FromUtf8("привет", CodePage::Oem866)))), "ПРИВЕТ");
}

TEST(XfCharsets, TheLosslessPairGivesBackEveryByteAndAgreesWhereBothPagesHoldTheCharacter)
{
    OemPageGuard guard;
    for (const CodePage oem : {CodePage::Oem437, CodePage::Oem850, CodePage::Oem866}) {
        XfSetOemCodePage(oem);
        std::string all(256, '\0');
        for (int b = 0; b < 256; ++b) all[static_cast<std::size_t>(b)] = static_cast<char>(b);
        std::string ansi = all;
        XfOemToAnsiWholeBuff(ansi.data(), ansi.size());
        std::string back = ansi;
        XfAnsiToOemWholeBuff(back.data(), back.size());
        EXPECT_EQ(back, all) << static_cast<int>(oem);
        const std::string ordinary = XfOemToAnsi(all);
        for (int b = 0; b < 256; ++b) {
            const char c = all[static_cast<std::size_t>(b)];
            EXPECT_EQ(XfOemLacksAnsi(&c, 1), ordinary[static_cast<std::size_t>(b)] == '?' && c != '?') << b;
            if (!XfOemLacksAnsi(&c, 1)) {
                EXPECT_EQ(ansi[static_cast<std::size_t>(b)], ordinary[static_cast<std::size_t>(b)]) << b;
            }
        }
    }
    // Box drawing keeps its bytes through UPPER() of its stand-ins.
    XfSetOemCodePage(CodePage::Oem437);
    std::string box = "\xB3\xC4\xDA\xBF\xC0\xD9\xC3\xB4\xC5\xCD\xBA\xC9\xBB\xC8\xBC\xB0\xB1\xB2\xDB";
    std::string text = box;
    XfOemToAnsiWholeBuff(text.data(), text.size());
    for (char& c : text) c = XfAnsiUpper(c);
    XfAnsiToOemWholeBuff(text.data(), text.size());
    EXPECT_EQ(dbftest::Hex(text), dbftest::Hex(box));
}
