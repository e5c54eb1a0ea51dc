#pragma once
// The rules of the main window's entry fields, apart from the window so tests
// and other windows can use them: fee texts and their total, the label cell,
// the command-line fill, the ZIP lookup key and the address copied to the
// clipboard.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---- fees -------------------------------------------------------------------

// The amount a fee text stands for: nothing when it is blank, not a number or
// negative (such a fee shows blank and adds nothing to the total).
std::optional<double> FeeAmount(std::string_view text);

// The display text of a fee just entered: FormatMoney of its amount; a blank
// fee shows FormatMoney(0) with Zeros on and one blank with Zeros off; a text
// that is not a number or is negative shows one blank.
std::string FeeDisplayText(std::string_view text, bool zerosOn);

// The total of the five fee texts as shown (postage, certified, restricted,
// priority, return): FormatMoney of the sum of their amounts. With Zeros off a
// zero total shows one blank.
std::string FeeTotalText(const std::array<std::string, 5>& fees, bool zerosOn);

// ---- label cell ---------------------------------------------------------------

// The 0-based cell a row or column edit names ("1" to "3"), or nothing.
std::optional<int> LabelCellOf(std::string_view text);

// ---- command line -------------------------------------------------------------

// The recipient fields the program's arguments fill: arguments 1 to 4 are
// memo lines, then city, state, ZIP, department, processed by, comment and
// re; arguments beyond the eleventh are ignored.
struct TCommandLineFill {
    std::vector<std::string> MemoLines;
    std::optional<std::string> City, State, Zip, Department, ProcessedBy, Comment, Re;
};
TCommandLineFill CommandLineFields(const std::vector<std::string>& args);

// ---- ZIP lookup ---------------------------------------------------------------

// The five-digit key to look up for the ZIP edit's text, or nothing when the
// lookup does not run: city and state both filled, or fewer than five
// characters before the "+4" part.
std::optional<std::string> ZipLookupKey(std::string_view city, std::string_view state, std::string_view zipText);

// ---- copy ---------------------------------------------------------------------

// The recipient as clipboard text: line 1 joined with each following
// non-blank line (lines 2 to 4, then the city line) by LF CR. Nothing when
// the text would be 256 characters or longer.
std::optional<std::string> AddressClipboardText(const std::array<std::string, 4>& lines, std::string_view city,
                                                std::string_view state, std::string_view zip);

// ---- postage calculator ---------------------------------------------------------

// Postage for a weight in ounces: postage + (ounces - 1) x additional ounce,
// as FloatToStr writes it. Raises rtl::EConvertError when either fee text is
// not a number.
std::string CalculatedPostage(int ounces, std::string_view postage, std::string_view addOunce);

// Heaviest weight the calculator prices; heavier pieces go to the post office.
inline constexpr int kMaxPricedOunces = 13;
