#pragma once
// Date texts in the engine's nine national styles. Internally a date text is
// normalised to month/day/year ("MM/DD/YY" or "MM/DD/YYYY"), so every check is
// independent of the style; two-digit years take their century from the pivot.

#include <cstdint>
#include <string>
#include <string_view>

namespace xf {

// Rewrites a date text of the current style (at most 10 characters) in the
// internal order; a text of blanks and separators only becomes the blank date
// text of style 0.
void NormalizeDateText(std::string& text);
// The internal order back into the current style's layout.
void StyleDateText(std::string& text);
// Whether the text is a valid date (the blank date is); a valid text comes back in
// the current style, with two year digits unless the century flag is set.
bool IsValidDateText(std::string& text);
// True for a text of blanks and date separators only.
bool IsBlankDateText(std::string_view text);

int CenturyOf(int twoDigitYear);
bool IsLeapYear(int year);

// 1..7, 1 = Sunday; 0 for a blank or unreadable date.
int DayOfWeekOfText(std::string_view text);
// Names in the style's language, blank-padded to the style's width, in the names'
// OEM code page (850, or 866 for Russian); blanks of that width for a blank date.
std::string DayName(std::string_view text);
std::string MonthName(std::string_view text);
int MonthOf(std::string_view text);
int DayOf(std::string_view text);
int YearOf(std::string_view text);
// "YYYYMMDD"; eight blanks for the blank date.
std::string DateToDtos(std::string_view text);

std::int64_t GetTickSeconds();
double FloorMod(double a, double b);

}  // namespace xf
