#pragma once
// Money, serial-number and address-line routines shared by the mailing windows.

#include <string>
#include <vector>
#include <string_view>

// The amount right-aligned by magnitude (10 blanks below 10, 8 below 100, 6
// below 1000, 5 below 10000, 3 below 100000, else 1) and shown with at least
// two decimals: 2.4 gives "          2.40".
std::string FormatMoney(double Amount);

// The serial after (Up) or before (down) `Serial`, seven digits: up from
// 9999999 wraps to 0000000, down from 0000000 to 9999999. Raises
// rtl::EConvertError when `Serial` is not an integer.
std::string StepSerialNumber(const std::string& Serial, bool Up);

// The Count serials from `First` on, in the counter's direction, and the one
// that follows them (`First` itself for Count <= 0). Raise as StepSerialNumber.
std::vector<std::string> SerialRun(const std::string& First, int Count, bool Up);
std::string SerialAfter(const std::string& First, int Count, bool Up);

// True when `Serial` lies behind the counter that stands at `Counter`: the
// counter has handed it out already (below it when counting up, above it when
// counting down). False when either is not a number.
bool SerialIssued(const std::string& Serial, const std::string& Counter, bool Up);

// The customer ID as the article number takes it: every "-" removed.
std::string WithoutDashes(std::string_view Text);

// The ZIP without the residue of the ZIP+4 edit mask ("12345-" gives "12345").
std::string CleanZip(std::string_view Zip);

// Puts "City State ZIP" (or "City ZIP" without a state) into the first of the
// four lines that is blank, or into Extra when all four hold text.
void AddCityStateZipLine(std::string& Line1, std::string& Line2, std::string& Line3, std::string& Line4,
                         std::string& Extra, std::string_view City, std::string_view State, std::string_view Zip);

// An address taken apart from pasted text: the lines before the last fill up
// to four address lines, the last line gives city, state and ZIP.
struct TPastedAddress {
    std::string Address1, Address2, Address3, Address4, City, State, Zip;
};

// Lines end in LF, CR LF, LF CR or CR. Blank lines at the end are ignored.
// The ZIP is the last 5 characters of the last line, or the 10 characters of
// a ZIP+4 (5 before its "-"); the state the 2 characters before it (blanks
// skipped); the city the rest of the line before that (blanks and commas
// skipped). Whatever does not fit stays empty.
TPastedAddress ParsePastedAddress(std::string_view text);

// Fills gEditAddress1..4, gEditCity, gEditState and gEditZip from the text
// (all cleared first; an empty text leaves them empty).
void PasteAddressFromText(std::string_view text);
