#pragma once
// Conversions between the program's UTF-8 text and the 8-bit code pages of
// files made on Windows: Windows-1252 and Windows-1251 ("ANSI") and the OEM
// pages 437, 850 and 866. One byte per character; a character the page lacks becomes '?'.

#include <cstddef>
#include <string>
#include <string_view>

namespace rtl {

enum class CodePage { Windows1252 = 1252, Windows1251 = 1251, Oem437 = 437, Oem850 = 850, Oem866 = 866 };

// 8-bit bytes of `page` to UTF-8.
std::string ToUtf8(std::string_view bytes, CodePage page);
// UTF-8 to one byte per character; unmappable characters and every byte of a
// malformed UTF-8 sequence become '?'.
std::string FromUtf8(std::string_view utf8, CodePage page);

inline std::string AnsiToUtf8(std::string_view bytes) { return ToUtf8(bytes, CodePage::Windows1252); }
inline std::string Utf8ToAnsi(std::string_view utf8) { return FromUtf8(utf8, CodePage::Windows1252); }

// Byte to byte between Windows-1252 and an OEM page (a character missing on
// the other side becomes '?').
std::string AnsiToOem(std::string_view ansi, CodePage oem = CodePage::Oem437);
std::string OemToAnsi(std::string_view oem, CodePage oemPage = CodePage::Oem437);

bool IsValidUtf8(std::string_view text);

// How many bytes at the start of `text` are ASCII (below 0x80).
std::size_t AsciiPrefix(std::string_view text);
inline bool IsAscii(std::string_view text) { return AsciiPrefix(text) == text.size(); }

// The lower-case letters of Windows-1252, each with its capital, as UTF-8: the
// letters that case-insensitive comparisons of the program's text fold.
struct CaseFoldPair {
    const char* lower;
    const char* upper;
};
extern const CaseFoldPair kAnsiCaseFolds[34];

// UTF-8 text with every letter Windows-1252 has in both cases made capital (ASCII
// and accented letters alike); other characters stay as they are.
std::string AnsiUpperCase(std::string_view utf8);

}  // namespace rtl
