#pragma once
// Run-time library basics: the exception root, number <-> text conversions and
// the small string helpers every unit uses. Text is UTF-8 std::string; numbers
// never go through the C locale, so the process locale cannot change a text.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rtl {

// Root of every error the program raises on purpose. The message is the text
// the user sees, UTF-8.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A text that does not convert to the wanted type (StrToInt and friends).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// ---- integers -------------------------------------------------------------

std::string IntToStr(std::int64_t value);

// Decimal integer text: leading blanks allowed, then an optional sign and
// digits, nothing after. Raises EConvertError ("'x' is not a valid integer
// value") for anything else, including values outside the 32-bit range.
int StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);
int StrToIntDef(std::string_view text, int fallback);
bool TryStrToInt(std::string_view text, int& value);
bool TryStrToInt64(std::string_view text, std::int64_t& value);

// ---- floating point -------------------------------------------------------

// General format with 15 significant digits, trailing zeros dropped: the
// shortest text that reads back to the same value at that precision
// (0.1 + 0.2 gives "0.3"). Exponent form "1.5E20" / "1E-5" outside
// 1E-5 <= |value| < 1E15. Always "." as decimal point.
std::string FloatToStr(double value);

// Leading and trailing blanks are ignored; "." is the decimal point.
// Raises EConvertError ("'x' is not a valid floating point value").
double StrToFloat(std::string_view text);
double StrToFloatDef(std::string_view text, double fallback);
bool TryStrToFloat(std::string_view text, double& value);

// ---- trimming and case (ASCII only, bytes >= 0x80 are never touched) -------

// Trim cuts every character up to and including the blank (control
// characters too) from both ends; TrimLeft and TrimRight from one end.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
// <0, 0, >0 like strcmp, ignoring ASCII case.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view text);
bool EndsText(std::string_view suffix, std::string_view text);
bool ContainsText(std::string_view text, std::string_view part);

// ---- small text helpers -----------------------------------------------------

// 1-based position of the first `part` in `text`, 0 when absent.
std::size_t Pos(std::string_view part, std::string_view text);

enum class ReplaceFlags { First = 0, All = 1, IgnoreCase = 2, AllIgnoreCase = 3 };
std::string StringReplace(std::string_view text, std::string_view from, std::string_view to,
                          ReplaceFlags flags = ReplaceFlags::All);

// The text in `quote` characters with every `quote` inside doubled.
std::string QuotedStr(std::string_view text, char quote = '\'');

// `text` padded on the left with `fill` to at least `width` characters.
std::string PadLeft(std::string_view text, std::size_t width, char fill = ' ');
std::string PadRight(std::string_view text, std::size_t width, char fill = ' ');

// True when `text` is not empty and holds only the digits 0-9.
bool IsDigits(std::string_view text);

}  // namespace rtl
