#include "dbfengine/platform/XfCharsets.h"

#include <array>
#include <cstdint>
#include <vector>

namespace xf {

namespace {

using ByteMap = std::array<unsigned char, 256>;

char32_t CodePointOf(unsigned char byte, rtl::CodePage page)
{
    const std::string utf8 = rtl::ToUtf8(std::string_view(reinterpret_cast<const char*>(&byte), 1), page);
    const auto* u = reinterpret_cast<const unsigned char*>(utf8.data());
    if (utf8.size() == 1) return u[0];
    if (utf8.size() == 2) return ((u[0] & 0x1F) << 6) | (u[1] & 0x3F);
    return ((u[0] & 0x0F) << 12) | ((u[1] & 0x3F) << 6) | (u[2] & 0x3F);
}

ByteMap Translation(rtl::CodePage from, rtl::CodePage to)
{
    ByteMap map {};
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const std::string out = rtl::FromUtf8(rtl::ToUtf8(std::string_view(&c, 1), from), to);
        map[b] = out.size() == 1 ? static_cast<unsigned char>(out[0]) : '?';
    }
    return map;
}

// Simple case pairs of the letters the ANSI pages hold.
char32_t UpperOf(char32_t c)
{
    if (c >= 'a' && c <= 'z') return c - 32;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c == 0x161 || c == 0x153 || c == 0x17E) return c - 1;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    if (c == 0x491) return 0x490;
    return c;
}

char32_t LowerOf(char32_t c)
{
    if (c >= 'A' && c <= 'Z') return c + 32;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c == 0x178) return 0xFF;
    if (c == 0x160 || c == 0x152 || c == 0x17D) return c + 1;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c == 0x490) return 0x491;
    return c;
}

bool IsLetter(char32_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == 0xAA || c == 0xB5 || c == 0xBA || c == 0x2C6 ||
           (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7) || (c >= 0x100 && c <= 0x24F) ||
           (c >= 0x400 && c <= 0x4FF);
}

struct Tables {
    rtl::CodePage oem = rtl::CodePage::Oem437;
    rtl::CodePage ansi = rtl::CodePage::Windows1252;
    ByteMap oemToAnsi {}, ansiToOem {}, upper {}, lower {};
    ByteMap oemToAnsiWhole {}, ansiToOemWhole {};
    std::array<bool, 256> alpha {}, lacksAnsi {};

    // The OEM bytes the ordinary table turns into "?" take the ANSI bytes no OEM byte
    // reads as, in order of how little UPPER() and LOWER() change them.
    void BuildWhole()
    {
        std::array<bool, 256> taken {};
        std::vector<int> lacking, free;
        for (int b = 0; b < 256; ++b) {
            const unsigned char a = oemToAnsi[b];
            lacksAnsi[b] = (a == '?' && b != '?') || taken[a];
            if (lacksAnsi[b]) {
                lacking.push_back(b);
            } else {
                taken[a] = true;
                oemToAnsiWhole[b] = a;
            }
        }
        for (int rank = 0; rank < 3; ++rank)
            for (int a = 0; a < 256; ++a) {
                const bool keepsUpper = upper[a] == a, keepsLower = lower[a] == a;
                const int r = keepsUpper && keepsLower ? 0 : keepsUpper ? 1 : 2;
                if (!taken[a] && r == rank) free.push_back(a);
            }
        for (std::size_t i = 0; i < lacking.size() && i < free.size(); ++i)
            oemToAnsiWhole[lacking[i]] = static_cast<unsigned char>(free[i]);
        for (int b = 0; b < 256; ++b) ansiToOemWhole[oemToAnsiWhole[b]] = static_cast<unsigned char>(b);
    }

    void Build(rtl::CodePage oemPage)
    {
        oem = oemPage;
        ansi = oemPage == rtl::CodePage::Oem866 ? rtl::CodePage::Windows1251 : rtl::CodePage::Windows1252;
        oemToAnsi = Translation(oem, ansi);
        ansiToOem = Translation(ansi, oem);
        std::array<char32_t, 256> points {};
        for (int b = 0; b < 256; ++b) points[b] = CodePointOf(static_cast<unsigned char>(b), ansi);
        for (int b = 0; b < 256; ++b) {
            upper[b] = lower[b] = static_cast<unsigned char>(b);
            alpha[b] = IsLetter(points[b]);
            const char32_t up = UpperOf(points[b]), low = LowerOf(points[b]);
            for (int o = 0; o < 256; ++o) {
                if (up != points[b] && points[o] == up) upper[b] = static_cast<unsigned char>(o);
                if (low != points[b] && points[o] == low) lower[b] = static_cast<unsigned char>(o);
            }
        }
        BuildWhole();
    }
};

Tables& Current()
{
    static Tables tables = [] {
        Tables t;
        t.Build(rtl::CodePage::Oem437);
        return t;
    }();
    return tables;
}

void Translate(const ByteMap& map, char* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(map[static_cast<unsigned char>(text[i])]);
}

}  // namespace

void XfSetOemCodePage(rtl::CodePage oem)
{
    if (oem == rtl::CodePage::Windows1252 || oem == rtl::CodePage::Windows1251) oem = rtl::CodePage::Oem437;
    if (Current().oem != oem) Current().Build(oem);
}

rtl::CodePage XfOemCodePage() { return Current().oem; }
rtl::CodePage XfAnsiCodePage() { return Current().ansi; }

void XfOemToAnsiBuff(char* text, std::size_t length) { Translate(Current().oemToAnsi, text, length); }
void XfAnsiToOemBuff(char* text, std::size_t length) { Translate(Current().ansiToOem, text, length); }

void XfOemToAnsiWholeBuff(char* text, std::size_t length) { Translate(Current().oemToAnsiWhole, text, length); }
void XfAnsiToOemWholeBuff(char* text, std::size_t length) { Translate(Current().ansiToOemWhole, text, length); }

bool XfOemLacksAnsi(const char* text, std::size_t length)
{
    const auto& lacks = Current().lacksAnsi;
    for (std::size_t i = 0; i < length; ++i)
        if (lacks[static_cast<unsigned char>(text[i])]) return true;
    return false;
}

std::string XfOemToAnsi(std::string_view text)
{
    std::string out(text);
    XfOemToAnsiBuff(out.data(), out.size());
    return out;
}

std::string XfAnsiToOem(std::string_view text)
{
    std::string out(text);
    XfAnsiToOemBuff(out.data(), out.size());
    return out;
}

std::string XfAnsiToUtf8(std::string_view ansi) { return rtl::ToUtf8(ansi, Current().ansi); }
std::string XfUtf8ToAnsi(std::string_view utf8) { return rtl::FromUtf8(utf8, Current().ansi); }

char XfAnsiUpper(char c) { return static_cast<char>(Current().upper[static_cast<unsigned char>(c)]); }
char XfAnsiLower(char c) { return static_cast<char>(Current().lower[static_cast<unsigned char>(c)]); }
bool XfAnsiIsAlpha(char c) { return Current().alpha[static_cast<unsigned char>(c)]; }

}  // namespace xf
