#pragma once
// The engine's common base: the numbered errors and their one dispatcher, the
// process-wide date and number settings, OEM/ANSI text, trimming, file names
// and today's date. Single-threaded: every call runs on the program's main thread.
//
// Engine texts (contexts, messages) are UTF-8 where they carry a file name and
// plain ASCII otherwise; table text stays in the table's 8-bit code page.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/SysUtils.h"

namespace xf {

// ---- errors -----------------------------------------------------------------

// Raised instead of halting when the raise flag is set: the error text, CR LF and the context.
class EXfError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

struct TXfErrorState {
    std::uint16_t LastError = 0;     // left in place after delivery
    std::uint16_t PendingError = 0;  // rendered by PendingErrorText
    std::string Context;
    std::uint8_t DeliverNow = 1;
    std::uint8_t RaiseOnError = 0;
    std::uint8_t Halted = 0;
    std::function<void()> ErrorHook;  // when set, CheckError calls only it
};
TXfErrorState& XfErrors();

// "Error # <n> (<message>)"; "" for code 0.
std::string DbfErrorText(std::uint16_t code);
// The message of a code ("Undefined error" for unlisted ones).
std::string_view DbfErrorMessage(std::uint16_t code);

void DbfRaiseError(std::uint16_t code, std::string_view context);
void CheckError();
// Both return the previous flag. SetDeferErrors(0) defers delivery.
std::uint8_t SetDeferErrors(std::uint8_t deliverNow);
std::uint8_t SetRaiseOnError(std::uint8_t raise);
std::string PendingErrorText();
std::string TakeErrorContext();

// Defers delivery for its lifetime and restores the previous flag on every path.
class TXfDeferErrors {
public:
    TXfDeferErrors() : previous_(SetDeferErrors(0)) {}
    ~TXfDeferErrors() { SetDeferErrors(previous_); }
    TXfDeferErrors(const TXfDeferErrors&) = delete;
    TXfDeferErrors& operator=(const TXfDeferErrors&) = delete;

private:
    std::uint8_t previous_;
};

// The process exit status of a halt on `code`: Linux keeps 8 bits, so codes above
// 255 end with 255; a failure never ends with 0.
int XfExitStatus(std::uint16_t code);

// Work the halt does before the process ends (rewrite headers and end marks, leave
// semaphores), best effort: errors inside it are ignored. Layers add theirs once.
void XfAddHaltCleanup(std::function<void()> cleanup);

// MessageBoxA through the program's hook; text and caption are cut to 255 characters.
int XfMessageBox(std::string_view text, std::string_view caption, unsigned flags);

// ---- memory -------------------------------------------------------------------

// The largest block callers may request; bigger requests answer code 217.
constexpr std::int64_t MaxAvail = 2147483647;

// ---- number conversions ---------------------------------------------------------

// Double to integer, saturating at the type's range; NaN gives 0.
std::int32_t XfSaturateInt32(double value);
std::int64_t XfSaturateInt64(double value);

// ---- settings -----------------------------------------------------------------

struct TXfDateSettings {
    std::uint8_t Style = 0;    // 0..8
    std::uint8_t Century = 0;  // 1: four-digit years in date texts
    int Pivot = 1956;          // two-digit years >= Pivot mod 100 fall in Pivot's century
    char ThousandSeparator = ',';
    char DecimalSeparator = '.';
};
TXfDateSettings& XfDates();

// Restores every date and number setting (and the platform's date format) on scope exit.
class TXfDateSettingsGuard {
public:
    TXfDateSettingsGuard();
    ~TXfDateSettingsGuard();
    TXfDateSettingsGuard(const TXfDateSettingsGuard&) = delete;
    TXfDateSettingsGuard& operator=(const TXfDateSettingsGuard&) = delete;

private:
    TXfDateSettings saved_;
    std::string shortDateFormat_;
    char dateSeparator_;
};

// The date style of a user language given as a locale name ("de_DE.UTF-8", "en_US").
std::uint8_t XfStyleOfLanguage(std::string_view locale);
// Number separators that go with a style.
void XfSeparatorsOfStyle(std::uint8_t style, char& thousands, char& decimal);

// Engine start-up: style and separators from the user's language (LC_ALL, LC_TIME,
// LANG), then the two-digit-year pivot from today's year (the calendar clock).
// Runs by itself before the first use of the settings; tests call it again after
// changing the clock.
void XfEngineStartup();
// Today's year minus 70.
void XfComputePivot();
// The second start-up step of the dataset layer: separators and style from the
// platform's short date format and date separator.
void XfDateSettingsFromPlatform();

void SetDateStyle(unsigned style);
std::string BlankDateText(unsigned style);

// ---- text ---------------------------------------------------------------------

std::string AnsiToOemStr(std::string_view text);
std::string OemToAnsiStr(std::string_view text);
std::string TrimRightStr(std::string_view text);
std::string TrimLeftStr(std::string_view text);
std::string AllTrimStr(std::string_view text);

// ---- file names ---------------------------------------------------------------
// "\" and "/" both separate folders; the extension is the text from the last "."
// of the last part (a name ending in "." has the extension ".").

void SplitFileName(std::string_view path, std::string& folder, std::string& name, std::string& ext);
std::string ApplyExtension(std::string_view name, std::string_view ext);
std::string ForceExtension(std::string_view name, std::string_view ext);
std::string StripExtension(std::string_view name);
std::string ExpandName(std::string_view name);

// ---- today -------------------------------------------------------------------

// Day of week 1..7, 1 = Sunday.
void GetTodayParts(std::uint16_t& year, std::uint16_t& month, std::uint16_t& day, std::uint16_t& dayOfWeek);
// A file time (seconds since 1970) as year, month, day, hour, minute, second.
void DecodeFileDate(std::int64_t fileDate, std::uint16_t parts[6]);

}  // namespace xf
