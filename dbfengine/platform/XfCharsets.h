#pragma once
// The engine's two 8-bit character sets: the OEM page of DOS-era tables
// (437, 850 or 866) and the ANSI page its text is converted to (1251 beside
// 866, else 1252), byte for byte through 256-entry tables built from the
// run-time library's code pages. UTF-8 appears only at the dataset boundary.
//
// Fallback for bytes one side leaves undefined: an OEM character missing from
// the ANSI page (box drawing, most Greek) becomes '?', and so does an ANSI
// character missing from the OEM page; the bytes Windows-1252 and -1251 leave
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D; 0x98) read as the C1 control of the
// same number in UTF-8 and have no OEM counterpart ('?'). Bytes below 0x80 never
// change.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/rtl/CodePages.h"

namespace xf {

// Selects the OEM page (437 by default); the ANSI page follows from it.
void XfSetOemCodePage(rtl::CodePage oem);
rtl::CodePage XfOemCodePage();
rtl::CodePage XfAnsiCodePage();

void XfOemToAnsiBuff(char* text, std::size_t length);
void XfAnsiToOemBuff(char* text, std::size_t length);
std::string XfOemToAnsi(std::string_view text);
std::string XfAnsiToOem(std::string_view text);

// A pair that loses nothing, for text that must come back as the bytes it was
// read from: the same as the pair above for every character both pages hold, while
// each OEM byte without an ANSI counterpart has an ANSI byte of its own among those
// the OEM page lacks (rather than "?"), caseless ones first and then upper-case
// ones, so UPPER() keeps them. There and back gives every byte again.
void XfOemToAnsiWholeBuff(char* text, std::size_t length);
void XfAnsiToOemWholeBuff(char* text, std::size_t length);
// Whether some byte of the OEM text has no ANSI counterpart (reads as "?").
bool XfOemLacksAnsi(const char* text, std::size_t length);

std::string XfAnsiToUtf8(std::string_view ansi);
std::string XfUtf8ToAnsi(std::string_view utf8);

// Case and letters of the ANSI page (accented and Cyrillic letters included).
char XfAnsiUpper(char c);
char XfAnsiLower(char c);
bool XfAnsiIsAlpha(char c);

}  // namespace xf
