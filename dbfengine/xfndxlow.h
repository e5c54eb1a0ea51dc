#pragma once
// What the index layer and the expression language share: the 12-byte packed-
// decimal key of numeric index entries, date numbers (Julian day numbers in a
// double), Soundex, zero-terminated text routines and the node lists the
// expression compiler keeps its stacks in.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xf {

// ---- packed-decimal keys --------------------------------------------------------
//
// Byte 0: 0x34 + the number of integer digits (or 0x34 minus the zeros between the
// point and the first significant digit), clamped to 1..255; byte 1: sign in bit 7,
// digit count in bits 2-6, bit 0 set; bytes 2-11: up to 20 digits, two a byte.
// Every integer digit counts toward the exponent, also those past the 20 stored,
// so byte order follows numeric order on the first 20 significant digits. A value
// too small for the exponent byte is the zero key (0x34, 0x01, zeros).
using TBcdKey = std::array<std::uint8_t, 12>;

void BcdKeyFromText(TBcdKey& key, std::string_view text, int decimals);
// NaN gives the zero key; infinities the largest keys of their sign.
void BcdKeyFromFloat(TBcdKey& key, int decimals, double value);
int BcdKeyCompare(const TBcdKey& a, const TBcdKey& b);
int CompareFloat(double a, double b);

// ---- date numbers -----------------------------------------------------------------

// Blank or invalid date (bit pattern 54B249AD2594C37D).
constexpr double kBlankDateNumber = 1.0E100;
constexpr double kFirstDateNumber = 1721426;  // 1 January of year 1
constexpr double kLastDateNumber = 5373484;   // 31 December 9999

double DateNumber(int year, int month, int day);
double DateNumberFromDtos(std::string_view text);
double DateNumberFromText(std::string_view text);
std::string DtosFromDateNumber(double number);
std::string DateTextFromNumber(double number);
std::string DtosFromDateText(std::string_view text);

std::int64_t DaysBeforeYear(std::int64_t year);
int DayOfYear(int year, int month, int day);
// Month and day of a day of the year (29 February is day 60 of a leap year).
void MonthDayOfDayOfYear(int year, int dayOfYear, int& month, int& day);
// Year, month and day of a date number (false when it is outside 1 January 1 .. 31 December 9999).
bool SplitDateNumber(double number, int& year, int& month, int& day);

// ---- Soundex ----------------------------------------------------------------------

std::string Soundex(std::string_view text);

// ---- zero-terminated texts ----------------------------------------------------------

std::size_t StrLenZ(const char* text);
// Copies with the terminator; returns dest.
char* StrCopyZ(char* dest, const char* source);
// At most n characters of a zero-terminated text.
std::string StrLCopyToString(const char* source, std::size_t n);
// 0 when the first n bytes are equal, else the difference of the first unequal bytes.
int StrCompN(const char* a, const char* b, std::size_t n);
// The text and a terminator into a buffer the caller sized.
char* StrToBufZ(char* dest, std::string_view text);
const char* StrOffset(const char* text, std::size_t offset);
// ASCII letters a-z only.
void StrUpperAscii(char* text);
bool IsUpperLetter(char c);
void ReverseRange(char* text, std::size_t length);
// [first][second] becomes [second][first], by three reversals.
void SwapAdjacentRanges(char* text, std::size_t firstLength, std::size_t secondLength);
// A non-negative number with leading zeros to `width` digits.
std::string ZeroPadNumber(std::uint64_t value, int width);

// ---- node lists ---------------------------------------------------------------------
//
// A circular doubly linked list addressed by one node (the list's "current" node).
// Nodes are owned by the list until removed.
struct TXfNode {
    TXfNode* Next = nullptr;
    TXfNode* Prev = nullptr;
    std::vector<std::byte> Payload;  // zero-filled when added
};

class TXfNodeList {
public:
    TXfNodeList() = default;
    ~TXfNodeList();
    TXfNodeList(const TXfNodeList&) = delete;
    TXfNodeList& operator=(const TXfNodeList&) = delete;

    // Links a node of `payloadSize` bytes after the current one and makes it current;
    // nullptr when the engine's memory limit refuses the size.
    std::byte* ListAdd(std::size_t payloadSize);
    // Unlinks the current node; the list then points to its predecessor (or is empty).
    std::unique_ptr<TXfNode> ListRemove();
    // Walks the circle from the oldest node (Current()->Next) to the newest (Current()):
    // the node after `node`, nullptr after the current one.
    TXfNode* ListNext(const TXfNode* node) const;
    TXfNode* Current() const { return current_; }
    bool Empty() const { return current_ == nullptr; }

private:
    TXfNode* current_ = nullptr;
};

}  // namespace xf
