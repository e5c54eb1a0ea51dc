#include "dbfengine/xfcommon.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <utility>

#include <unistd.h>

#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/platform/XfClock.h"
#include "dbfengine/platform/XfFiles.h"
#include "dbfengine/platform/XfUi.h"
#include "dbfengine/xfndxlow.h"
#include "platform/rtl/DateUtils.h"

namespace xf {

namespace {

struct ErrorEntry {
    std::uint16_t code;
    const char* message;
};

// Ordered by code.
constexpr ErrorEntry kErrors[] = {
    {1, "Invalid DOS function code"},
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Not enough memory"},
    {9, "Memory block address invalid"},
    {10, "Environment invalid"},
    {11, "Format invalid"},
    {12, "Invalid file access code"},
    {13, "Data invalid"},
    {14, "Unknown unit"},
    {15, "Invalid drive number"},
    {16, "Cannot remove current directory"},
    {17, "Cannot rename across drives"},
    {18, "Too many open files"},
    {19, "Disk write-protected"},
    {20, "Unknown unit"},
    {21, "Drive not ready"},
    {22, "Unknown command"},
    {23, "CRC error in data"},
    {24, "Bad drive request structure length"},
    {25, "Disk seek error"},
    {26, "Unknown media type"},
    {27, "Disk sector not found"},
    {28, "Printer out of paper"},
    {29, "Device write fault"},
    {30, "Device read fault"},
    {31, "General failure"},
    {32, "File sharing violation"},
    {33, "File lock violation"},
    {34, "Disk change invalid"},
    {35, "File Control Block unavailable"},
    {36, "File sharing buffer overflow"},
    {50, "Unsupported network request"},
    {51, "Remote machine not listening"},
    {52, "Duplicate name on network"},
    {53, "Network name not found"},
    {54, "Network busy"},
    {55, "Device no longer exists on network"},
    {56, "Net-Bios command limit exceeded"},
    {57, "Error in network adapter hardware"},
    {58, "Incorrect response from network"},
    {59, "Unexpected network error"},
    {60, "Remote adapter incompatible"},
    {100, "Disk read error"},
    {101, "Disk write error (probable cause: Disk Full)."},
    {102, "File not assigned"},
    {103, "File not open"},
    {104, "File not open for input"},
    {105, "File not open for output"},
    {106, "Invalid numeric format"},
    {150, "Disk write-protected"},
    {151, "Unknown unit"},
    {152, "Drive not ready"},
    {153, "Unknown command"},
    {154, "CRC error in data"},
    {155, "Bad drive request structure length"},
    {156, "Disk seek error"},
    {157, "Unknown media type"},
    {158, "Disk sector not found"},
    {159, "Printer out of paper"},
    {160, "Device write fault"},
    {161, "Device read fault"},
    {162, "File sharing violation"},
    {200, "Division by zero error"},
    {201, "Range check error"},
    {202, "Stack overflow error"},
    {203, "Heap overflow error"},
    {204, "Invalid pointer operation"},
    {205, "Floating point overflow"},
    {206, "Floating point underflow"},
    {207, "Invalid floating point operation"},
    {208, "Overlay-manager not installed"},
    {209, "Overlay file read error"},
    {210, "Not a dBASE data file"},
    {211, "Invalid database field type encountered"},
    {212, "Request beyond range"},
    {213, "End of file found unexpectedly"},
    {214, "File already in use"},
    {215, "No database in use"},
    {216, "GP Fault"},
    {217, "Insufficient memory"},
    {218, "Invalid pointer specified"},
    {219, "Cannot duplicate file handle"},
    {220, "Invalid parameter"},
    {221, "Index file not open"},
    {222, "Corrupted index file"},
    {223, "Index version mismatch"},
    {224, "Cyclical relationship detected"},
    {225, "Exclusive Use() required"},
    {226, "BROWSE not active"},
    {227, "Insufficient disk space "},
    {228, "Unbalanced Push/Pop operation "},
    {229, "dBASE IV memo files not supported"},
    {230, "No dBASE memory variables loaded"},
    {231, "Screen library not open"},
    {239, "Missing colon in time"},
    {240, "Non-numeric character in time"},
    {241, "Invalid time specified"},
    {242, "Negative time specified"},
    {243, "TimeDiff result negative"},
    {254, "DBF engine internal error"},
    {266, "Invalid size"},
    {1003, "Invalid memo address"},
    {1004, "Disk full"},
    {1005, "Memo file write error"},
    {1007, "Memo file is already open"},
    {1012, "Insufficient disk space to pack memo file"},
    {1017, "Cannot lock memo file"},
    {1018, "Cannot unlock memo file"},
    {1019, "Invalid memo operation: database not open or no memo field in database"},
    {1100, "Not a valid operation on Linked List"},
    {1101, "Virtual File Manager Unit not Linked in"},
    {1102, "Virtual File Memory Management Error"},
    {1103, "Invalid Operation "},
    {1200, "Record not locked"},
    {1201, "File not locked"},
    {1202, "Semaphore file error. Possible solutions: log into network or load SHARE.EXE before running Windows"},
    {1300, "File format not supported"},
};

std::vector<std::function<void()>>& HaltCleanups()
{
    static std::vector<std::function<void()>> cleanups;
    return cleanups;
}

// Cuts a UTF-8 text to at most `limit` bytes without splitting a character.
std::string CutUtf8(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit) return std::string(text);
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

[[noreturn]] void Halt(std::uint16_t code, const std::string& message)
{
    XfMessageBox(message, "Program halted.", MB_ICONSTOP);
    XfErrors().Halted = 1;
    for (auto& cleanup : HaltCleanups()) {
        try {
            cleanup();
        } catch (...) {
        }
    }
    std::fflush(nullptr);
    std::_Exit(XfExitStatus(code));
}

bool IsFolderSeparator(char c) { return c == '/' || c == '\\'; }

// Position of the extension's "." in the last part of `path`, npos when none.
std::size_t ExtensionDot(std::string_view path)
{
    for (std::size_t i = path.size(); i-- > 0;) {
        if (path[i] == '.') return i;
        if (IsFolderSeparator(path[i]) || path[i] == ':') break;
    }
    return std::string_view::npos;
}

struct StartedSettings {
    TXfDateSettings settings;
    StartedSettings() { Start(settings); }

    static void Start(TXfDateSettings& s)
    {
        const char* locale = nullptr;
        for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
            const char* value = std::getenv(name);
            if (value && *value) {
                locale = value;
                break;
            }
        }
        s.Style = XfStyleOfLanguage(locale ? locale : "");
        XfSeparatorsOfStyle(s.Style, s.ThousandSeparator, s.DecimalSeparator);
        s.Pivot = XfClocks().Today().Year - 70;
    }
};

}  // namespace

// ---- errors -------------------------------------------------------------------

TXfErrorState& XfErrors()
{
    static TXfErrorState state;
    return state;
}

std::string_view DbfErrorMessage(std::uint16_t code)
{
    if (code >= 1203 && code <= 1299) return "Network Error";
    const auto* end = std::end(kErrors);
    const auto* it = std::lower_bound(std::begin(kErrors), end, code,
                                      [](const ErrorEntry& e, std::uint16_t c) { return e.code < c; });
    if (it != end && it->code == code) return it->message;
    return "Undefined error";
}

std::string DbfErrorText(std::uint16_t code)
{
    if (code == 0) return {};
    return "Error # " + std::to_string(code) + " (" + std::string(DbfErrorMessage(code)) + ")";
}

void DbfRaiseError(std::uint16_t code, std::string_view context)
{
    TXfErrorState& state = XfErrors();
    state.LastError = code;
    state.PendingError = code;
    state.Context = context;
    if (state.DeliverNow) CheckError();
}

void CheckError()
{
    TXfErrorState& state = XfErrors();
    if (state.Halted) return;
    state.PendingError = state.LastError;
    if (state.ErrorHook) {
        state.ErrorHook();
        return;
    }
    if (state.LastError == 0) return;
    const std::string text = DbfErrorText(state.LastError);
    if (state.RaiseOnError) throw EXfError(text + "\r\n" + TakeErrorContext());
    Halt(state.LastError, CutUtf8(text + "\r\n" + TakeErrorContext(), 255));
}

std::uint8_t SetDeferErrors(std::uint8_t deliverNow)
{
    return std::exchange(XfErrors().DeliverNow, deliverNow);
}

std::uint8_t SetRaiseOnError(std::uint8_t raise) { return std::exchange(XfErrors().RaiseOnError, raise); }

std::string PendingErrorText()
{
    TXfErrorState& state = XfErrors();
    if (state.PendingError == 0) return {};
    std::string text = DbfErrorText(state.PendingError) + "\r\n" + state.Context;
    state.Context.clear();
    state.PendingError = 0;
    return text;
}

std::string TakeErrorContext()
{
    TXfErrorState& state = XfErrors();
    std::string context = std::move(state.Context);
    state.Context.clear();
    state.PendingError = 0;
    return context;
}

int XfExitStatus(std::uint16_t code)
{
    if (code == 0) return 1;
    return code > 255 ? 255 : code;
}

void XfAddHaltCleanup(std::function<void()> cleanup) { HaltCleanups().push_back(std::move(cleanup)); }

int XfMessageBox(std::string_view text, std::string_view caption, unsigned flags)
{
    return XfUi().MessageBox(CutUtf8(text, 255), CutUtf8(caption, 255), flags);
}

// ---- numbers ------------------------------------------------------------------

std::int32_t XfSaturateInt32(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::int64_t XfSaturateInt64(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// ---- settings -----------------------------------------------------------------

TXfDateSettings& XfDates()
{
    static StartedSettings started;
    return started.settings;
}

TXfDateSettingsGuard::TXfDateSettingsGuard()
    : saved_(XfDates()), shortDateFormat_(rtl::ShortDateFormat), dateSeparator_(rtl::DateSeparator)
{
}

TXfDateSettingsGuard::~TXfDateSettingsGuard()
{
    XfDates() = saved_;
    rtl::ShortDateFormat = shortDateFormat_;
    rtl::DateSeparator = dateSeparator_;
}

std::uint8_t XfStyleOfLanguage(std::string_view locale)
{
    const std::string_view language = locale.substr(0, std::min<std::size_t>(2, locale.size()));
    if (language == "de") return 5;
    if (language == "en") return locale.substr(0, 5) == "en_US" ? 0 : 2;
    if (language == "es") return 6;
    if (language == "fr") return locale.substr(0, 5) == "fr_CA" ? 7 : 4;
    if (language == "it") return 3;
    if (language == "ru") return 8;
    return 0;
}

void XfSeparatorsOfStyle(std::uint8_t style, char& thousands, char& decimal)
{
    if (style >= 3 && style <= 6) {
        decimal = ',';
        thousands = '.';
    } else if (style == 8) {
        decimal = '.';
        thousands = ' ';
    } else {
        decimal = '.';
        thousands = ',';
    }
}

void XfEngineStartup() { StartedSettings::Start(XfDates()); }

void XfComputePivot() { XfDates().Pivot = XfClocks().Today().Year - 70; }

void XfDateSettingsFromPlatform()
{
    TXfDateSettings& s = XfDates();
    // The platform keeps "." as decimal point and "," between thousands.
    s.ThousandSeparator = ',';
    s.DecimalSeparator = '.';
    const std::string format = rtl::UpperCase(rtl::ShortDateFormat);
    s.Century = format.find("YYYY") != std::string::npos ? 1 : 0;
    unsigned style = 0;
    if (!format.empty() && format[0] == 'Y') {
        style = 1;
    } else if (!format.empty() && format[0] == 'D') {
        style = rtl::DateSeparator == '-' ? 3 : rtl::DateSeparator == '.' ? 5 : 2;
    }
    SetDateStyle(style);
}

void SetDateStyle(unsigned style)
{
    if (style >= 9) style = 0;
    TXfDateSettings& s = XfDates();
    s.Style = static_cast<std::uint8_t>(style);
    const std::string year = s.Century ? "yyyy" : "yy";
    // "/" stands for the date separator in the platform's formats.
    switch (style) {
    case 0:
        rtl::ShortDateFormat = "MM/dd/" + year;
        rtl::DateSeparator = '/';
        break;
    case 1:
        rtl::ShortDateFormat = year + "/MM/dd";
        rtl::DateSeparator = '.';
        break;
    case 2:
        rtl::ShortDateFormat = "dd/MM/" + year;
        rtl::DateSeparator = '/';
        break;
    case 3:
        rtl::ShortDateFormat = "dd/MM/" + year;
        rtl::DateSeparator = '-';
        break;
    default:
        rtl::ShortDateFormat = "dd/MM/" + year;
        rtl::DateSeparator = '.';
        break;
    }
}

std::string BlankDateText(unsigned style)
{
    if (style >= 9) style = 0;
    const std::string year(XfDates().Century ? 4 : 2, ' ');
    switch (style) {
    case 1: return year + ".  .  ";
    case 3: return "  -  -" + year;
    case 0:
    case 2: return "  /  /" + year;
    default: return "  .  ." + year;
    }
}

// ---- text ---------------------------------------------------------------------

std::string AnsiToOemStr(std::string_view text) { return XfAnsiToOem(text); }
std::string OemToAnsiStr(std::string_view text) { return XfOemToAnsi(text); }
std::string TrimRightStr(std::string_view text) { return rtl::TrimRight(text); }
std::string TrimLeftStr(std::string_view text) { return rtl::TrimLeft(text); }
std::string AllTrimStr(std::string_view text) { return rtl::Trim(text); }

// ---- file names ---------------------------------------------------------------

void SplitFileName(std::string_view path, std::string& folder, std::string& name, std::string& ext)
{
    std::size_t start = 0;
    for (std::size_t i = path.size(); i-- > 0;) {
        if (IsFolderSeparator(path[i]) || path[i] == ':') {
            start = i + 1;
            break;
        }
    }
    folder = std::string(path.substr(0, start));
    const std::size_t dot = ExtensionDot(path);
    if (dot == std::string_view::npos) {
        name = std::string(path.substr(start));
        ext.clear();
    } else {
        name = std::string(path.substr(start, dot - start));
        ext = std::string(path.substr(dot));
    }
}

std::string ApplyExtension(std::string_view name, std::string_view ext)
{
    if (ExtensionDot(name) != std::string_view::npos) return std::string(name);
    std::string base(name);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    return base + "." + std::string(ext);
}

std::string ForceExtension(std::string_view name, std::string_view ext)
{
    return StripExtension(name) + "." + std::string(ext);
}

std::string StripExtension(std::string_view name)
{
    const std::size_t dot = ExtensionDot(name);
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string ExpandName(std::string_view name)
{
    std::string path(name);
    std::replace(path.begin(), path.end(), '\\', '/');
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    if (ec) return path;
    return full.lexically_normal().string();
}

// ---- today --------------------------------------------------------------------

void GetTodayParts(std::uint16_t& year, std::uint16_t& month, std::uint16_t& day, std::uint16_t& dayOfWeek)
{
    const TXfDate today = XfClocks().Today();
    year = static_cast<std::uint16_t>(today.Year);
    month = static_cast<std::uint16_t>(today.Month);
    day = static_cast<std::uint16_t>(today.Day);
    const double number = DateNumber(today.Year, today.Month, today.Day);
    const std::int64_t days = number < kBlankDateNumber ? static_cast<std::int64_t>(number) - 1721425 : 1;
    dayOfWeek = static_cast<std::uint16_t>(days % 7 + 1);
}

void DecodeFileDate(std::int64_t fileDate, std::uint16_t parts[6])
{
    const TXfTimeParts t = XfDecodeTime(fileDate);
    const int values[6] = {t.year, t.month, t.day, t.hour, t.minute, t.second};
    for (int i = 0; i < 6; ++i) parts[i] = static_cast<std::uint16_t>(values[i]);
}

}  // namespace xf
