#pragma once
// The engine's small text, number and file routines (the string functions of the
// expression language, the option words of USE and LOCATE, temporary files).
// Text is in the ANSI page; case follows it (accented and Cyrillic letters too).

#include <cstdint>
#include <string>
#include <string_view>

namespace xf {

std::string UpperCaseStr(std::string_view text);
// Whether the first character is a letter.
bool IsAlpha(std::string_view text);
char CharUpper(char c);
char CharLower(char c);

// Non-overlapping occurrences of `what` in `text` (0 for an empty `what`).
int Occurs(std::string_view what, std::string_view text);
// 1-based position of the n-th occurrence from the start (or from the end), 0 when absent.
int AtPos(std::string_view what, std::string_view text, int n, bool fromEnd);
// The text repeated until the result has at least n characters ("" for an empty text).
std::string Replicate(std::string_view text, int n);
std::string IifText(bool condition, std::string_view a, std::string_view b);

// A number text to -32768..32767: "$", thousands separators and everything from the
// first blank are ignored.
std::int16_t TextToSmallInt(std::string_view text);
// Fixed-point text with the engine's decimal separator.
std::string FloatToText(double value, int decimals);
// Right-aligned in `width` characters (wider numbers keep all digits).
std::string IntToText(std::int64_t value, int width);
// "$" and leading blanks out, a "0" before a leading decimal separator, "." as the point.
void CleanNumberText(std::string& text);

// Whether `word` occurs in the text (compared in upper case) followed by a blank, a
// comma or the end; every such occurrence is taken out, the rest keeps its case.
bool RemoveOption(std::string_view word, std::string& text);

bool FileExistsShort(const std::string& name);
bool FileDateIsToday(const std::string& name);
// The DOS code of erasing one file (0 when erased).
int EraseFile(const std::string& name);
// Erases one file, or every file a pattern with "*" or "?" matches; failures are reported.
void EraseFiles(const std::string& pattern);
// Free bytes on the folder's file system (64-bit; -1 after a reported failure).
std::int64_t DiskFree(const std::string& folder);
// A new empty file in the temporary folder, named "XFP..."; "" after a reported failure.
std::string UniqueFilename();

}  // namespace xf
