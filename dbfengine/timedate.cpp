#include "dbfengine/timedate.h"

#include <array>
#include <cmath>

#include "dbfengine/platform/XfClock.h"
#include "dbfengine/xfcommon.h"
#include "platform/rtl/CodePages.h"

namespace xf {

namespace {

enum class Order { MDY, YMD, DMY };

Order OrderOf(unsigned style)
{
    if (style == 0 || style >= 9) return Order::MDY;
    return style == 1 ? Order::YMD : Order::DMY;
}

char SeparatorOf(unsigned style)
{
    switch (style) {
    case 1: return '.';
    case 3: return '-';
    case 0:
    case 2: return '/';
    default: return style >= 9 ? '/' : '.';
    }
}

bool IsDigitText(std::string_view text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

int NumberOf(std::string_view digits)
{
    if (!IsDigitText(digits)) return 0;
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

std::string PadZeros(std::string text, std::size_t width)
{
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return text;
}

std::string TwoDigits(int value)
{
    return std::string {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

// The parts of a normalised text; false when the text is not of that form.
struct DateParts {
    std::string month, day, year;
};

bool PartsOf(std::string_view normal, DateParts& parts)
{
    if ((normal.size() != 8 && normal.size() != 10) || normal[2] != '/' || normal[5] != '/') return false;
    parts.month = std::string(normal.substr(0, 2));
    parts.day = std::string(normal.substr(3, 2));
    parts.year = std::string(normal.substr(6));
    return true;
}

// Year, month and day of a date text (two-digit years given their century); false
// when blank or not numeric.
bool NumbersOf(std::string_view text, int& year, int& month, int& day)
{
    std::string normal(text);
    NormalizeDateText(normal);
    DateParts parts;
    if (IsBlankDateText(normal) || !PartsOf(normal, parts)) return false;
    if (!IsDigitText(parts.month) || !IsDigitText(parts.day) || !IsDigitText(parts.year)) return false;
    month = NumberOf(parts.month);
    day = NumberOf(parts.day);
    year = NumberOf(parts.year);
    if (parts.year.size() == 2) year += CenturyOf(year);
    return true;
}

struct Names {
    std::array<const char*, 7> days;
    std::array<const char*, 12> months;
    rtl::CodePage page;
};

const Names kEnglish {{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
                      {"January", "February", "March", "April", "May", "June", "July", "August", "September",
                       "October", "November", "December"},
                      rtl::CodePage::Oem850};
const Names kItalian {{"Domenica", "Lunedi", "Martedi", "Mercoledi", "Giovedi", "Venerdi", "Sabato"},
                      {"Gennaio", "Febbraio", "Marzo", "Aprile", "Maggio", "Giugno", "Luglio", "Agosto",
                       "Settembre", "Ottobre", "Novembre", "Dicembre"},
                      rtl::CodePage::Oem850};
const Names kFrench {{"Dimanche", "Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi"},
                     {"Janvier", "Février", "Mars", "Avril", "Mai", "Juin", "Juillet", "Août", "Septembre",
                      "Octobre", "Novembre", "Décembre"},
                     rtl::CodePage::Oem850};
const Names kGerman {{"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
                     {"Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August", "September",
                      "Oktober", "November", "Dezember"},
                     rtl::CodePage::Oem850};
const Names kSpanish {{"Domingo", "Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado"},
                      {"Enero", "Febrero", "Marzo", "Abril", "Mayo", "Junio", "Julio", "Agosto", "Septiembre",
                       "Octubre", "Noviembre", "Diciembre"},
                      rtl::CodePage::Oem850};
const Names kRussian {{"Воскресенье", "Понедельник", "Вторник", "Среда", "Четверг", "Пятница", "Суббота"},
                      {"Январь", "Февраль", "Март", "Апрель", "Май", "Июнь", "Июль", "Август", "Сентябрь",
                       "Октябрь", "Ноябрь", "Декабрь"},
                      rtl::CodePage::Oem866};

struct StyleNames {
    const Names* names;
    std::size_t dayWidth, monthWidth;
};

StyleNames NamesOfStyle(unsigned style)
{
    switch (style) {
    case 3: return {&kItalian, 9, 9};
    case 4:
    case 7: return {&kFrench, 8, 9};
    case 5: return {&kGerman, 10, 9};
    case 6: return {&kSpanish, 9, 10};
    case 8: return {&kRussian, 11, 8};
    default: return {&kEnglish, 9, 9};
    }
}

std::string NameAtWidth(const char* utf8, rtl::CodePage page, std::size_t width)
{
    std::string name = rtl::FromUtf8(utf8, page);
    name.resize(width, ' ');
    return name;
}

}  // namespace

bool IsBlankDateText(std::string_view text)
{
    for (char c : text)
        if (c != ' ' && c != '/' && c != '-' && c != '.') return false;
    return true;
}

void NormalizeDateText(std::string& text)
{
    const TXfDateSettings& settings = XfDates();
    std::string source = text.substr(0, std::min<std::size_t>(10, text.size()));
    if (IsBlankDateText(source)) {
        text = BlankDateText(0);
        return;
    }
    const std::size_t at = source.find_first_of(".-/");
    std::array<std::string, 3> parts;
    if (at == std::string::npos) {
        parts[0] = source;
    } else {
        const char separator = source[at];
        std::size_t start = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            const std::size_t end = i < 2 ? source.find(separator, start) : std::string::npos;
            parts[i] = source.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    for (std::string& part : parts) {
        part = AllTrimStr(part);
        const std::size_t blank = part.find(' ');
        if (blank != std::string::npos) part.resize(blank);
    }
    std::string month, day, year;
    switch (OrderOf(settings.Style)) {
    case Order::MDY: month = parts[0], day = parts[1], year = parts[2]; break;
    case Order::YMD: year = parts[0], month = parts[1], day = parts[2]; break;
    case Order::DMY: day = parts[0], month = parts[1], year = parts[2]; break;
    }
    month = PadZeros(month, 2);
    day = PadZeros(day, 2);
    if (year.size() <= 2) {
        year = PadZeros(year, 2);
        if (settings.Century && IsDigitText(year)) year = TwoDigits(CenturyOf(NumberOf(year)) / 100) + year;
    } else {
        year = PadZeros(year, 4);
    }
    text = month + "/" + day + "/" + year;
}

void StyleDateText(std::string& text)
{
    const unsigned style = XfDates().Style;
    DateParts parts;
    if (IsBlankDateText(text) || !PartsOf(text, parts)) {
        if (IsBlankDateText(text)) text = BlankDateText(style);
        return;
    }
    const std::string sep(1, SeparatorOf(style));
    switch (OrderOf(style)) {
    case Order::MDY: text = parts.month + sep + parts.day + sep + parts.year; break;
    case Order::YMD: text = parts.year + sep + parts.month + sep + parts.day; break;
    case Order::DMY: text = parts.day + sep + parts.month + sep + parts.year; break;
    }
}

bool IsValidDateText(std::string& text)
{
    NormalizeDateText(text);
    if (IsBlankDateText(text)) {
        text = BlankDateText(XfDates().Style);
        return true;
    }
    DateParts parts;
    if (!PartsOf(text, parts)) return false;
    if (!IsDigitText(parts.month) || !IsDigitText(parts.day) || !IsDigitText(parts.year)) return false;
    const int month = NumberOf(parts.month), day = NumberOf(parts.day);
    int year = NumberOf(parts.year);
    if (parts.year.size() == 2) year += CenturyOf(year);
    if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    if (month == 2 && (day > 29 || (day == 29 && !IsLeapYear(year)))) return false;
    if (day == 31 && (month == 4 || month == 6 || month == 9 || month == 11)) return false;
    if (!XfDates().Century && parts.year.size() == 4) text.erase(6, 2);
    StyleDateText(text);
    return true;
}

int CenturyOf(int twoDigitYear)
{
    const int pivot = XfDates().Pivot;
    const int base = pivot / 100 * 100;
    return pivot % 100 > twoDigitYear ? base + 100 : base;
}

bool IsLeapYear(int year) { return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0); }

int DayOfWeekOfText(std::string_view text)
{
    int year = 0, month = 0, day = 0;
    if (!NumbersOf(text, year, month, day)) return 0;
    if (month < 3) {
        month += 12;
        year -= 1;
    }
    const int k = static_cast<int>(FloorMod(year, 100));
    const int j = static_cast<int>(std::floor(year / 100.0));
    const int h = static_cast<int>(FloorMod(day + 13 * (month + 1) / 5 + k + k / 4 + static_cast<int>(std::floor(j / 4.0)) + 5 * j, 7));
    return h == 0 ? 7 : h;
}

std::string DayName(std::string_view text)
{
    const StyleNames style = NamesOfStyle(XfDates().Style);
    const int dow = DayOfWeekOfText(text);
    if (dow < 1) return std::string(style.dayWidth, ' ');
    return NameAtWidth(style.names->days[dow - 1], style.names->page, style.dayWidth);
}

std::string MonthName(std::string_view text)
{
    const StyleNames style = NamesOfStyle(XfDates().Style);
    const int month = MonthOf(text);
    if (month < 1 || month > 12) return std::string(style.monthWidth, ' ');
    return NameAtWidth(style.names->months[month - 1], style.names->page, style.monthWidth);
}

int MonthOf(std::string_view text)
{
    std::string normal(text);
    NormalizeDateText(normal);
    DateParts parts;
    return PartsOf(normal, parts) ? NumberOf(parts.month) : 0;
}

int DayOf(std::string_view text)
{
    std::string normal(text);
    NormalizeDateText(normal);
    DateParts parts;
    return PartsOf(normal, parts) ? NumberOf(parts.day) : 0;
}

int YearOf(std::string_view text)
{
    std::string normal(text);
    NormalizeDateText(normal);
    DateParts parts;
    return PartsOf(normal, parts) ? NumberOf(parts.year) : 0;
}

std::string DateToDtos(std::string_view text)
{
    int year = 0, month = 0, day = 0;
    if (!NumbersOf(text, year, month, day)) return std::string(8, ' ');
    return PadZeros(std::to_string(year), 4) + TwoDigits(month) + TwoDigits(day);
}

std::int64_t GetTickSeconds() { return XfClocks().MonotonicMs() / 1000; }

double FloorMod(double a, double b) { return a - std::floor(a / b) * b; }

}  // namespace xf
