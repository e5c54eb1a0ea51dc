#include "dbfengine/xfutils.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/platform/XfClock.h"
#include "dbfengine/platform/XfFiles.h"
#include "dbfengine/xfcommon.h"

namespace xf {

std::string UpperCaseStr(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = XfAnsiUpper(c);
    return out;
}

bool IsAlpha(std::string_view text) { return !text.empty() && XfAnsiIsAlpha(text[0]); }
char CharUpper(char c) { return XfAnsiUpper(c); }
char CharLower(char c) { return XfAnsiLower(c); }

int Occurs(std::string_view what, std::string_view text)
{
    if (what.empty()) return 0;
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

int AtPos(std::string_view what, std::string_view text, int n, bool fromEnd)
{
    if (what.empty() || n < 1 || what.size() > text.size()) return 0;
    if (!fromEnd) {
        std::size_t at = text.find(what);
        for (int i = 1; i < n && at != std::string_view::npos; ++i) at = text.find(what, at + 1);
        return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
    }
    std::size_t at = text.rfind(what);
    for (int i = 1; i < n && at != std::string_view::npos; ++i) at = at == 0 ? std::string_view::npos : text.rfind(what, at - 1);
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

std::string Replicate(std::string_view text, int n)
{
    std::string out;
    if (text.empty() || n <= 0) return out;
    out.reserve(static_cast<std::size_t>(n) + text.size());
    while (out.size() < static_cast<std::size_t>(n)) out.append(text);
    return out;
}

std::string IifText(bool condition, std::string_view a, std::string_view b)
{
    return std::string(condition ? a : b);
}

std::int16_t TextToSmallInt(std::string_view text)
{
    const TXfDateSettings& settings = XfDates();
    const char thousands = settings.DecimalSeparator == ',' ? '.' : ',';
    std::string t = AllTrimStr(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    std::string cleaned;
    for (char c : t) {
        if (c == ' ') break;
        if (c == thousands || c == '$') continue;
        cleaned += c;
    }
    std::size_t i = 0;
    bool negative = false;
    if (i < cleaned.size() && cleaned[i] == '-') negative = true, ++i;
    std::int64_t value = 0;
    for (; i < cleaned.size() && cleaned[i] >= '0' && cleaned[i] <= '9'; ++i) {
        value = value * 10 + (cleaned[i] - '0');
        if (value > 100000) value = 100000;  // far enough past the clamp
    }
    if (negative) value = -value;
    if (value > 32767) return 32767;
    if (value < -32768) return -32768;
    return static_cast<std::int16_t>(value);
}

std::string FloatToText(double value, int decimals)
{
    if (!std::isfinite(value)) value = 0;
    if (decimals < 0) decimals = 0;
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ec == std::errc() ? result.ptr : buffer);
    const char point = XfDates().DecimalSeparator;
    for (char& c : text)
        if (c == '.') c = point;
    return text;
}

std::string IntToText(std::int64_t value, int width)
{
    std::string text = std::to_string(value);
    if (width > 0 && text.size() < static_cast<std::size_t>(width)) text.insert(0, width - text.size(), ' ');
    return text;
}

void CleanNumberText(std::string& text)
{
    const char point = XfDates().DecimalSeparator;
    std::string out;
    for (char c : text)
        if (c != '$') out += c;
    const std::size_t first = out.find_first_not_of(' ');
    out.erase(0, first == std::string::npos ? out.size() : first);
    const std::size_t digits = !out.empty() && out[0] == '-' ? 1 : 0;
    if (out.size() > digits && out[digits] == point) out.insert(digits, "0");
    for (char& c : out)
        if (c == point) c = '.';
    text = out;
}

bool RemoveOption(std::string_view word, std::string& text)
{
    if (word.empty()) return false;
    const std::string upperWord = UpperCaseStr(word);
    bool found = false;
    std::size_t at = 0;
    while ((at = UpperCaseStr(text).find(upperWord, at)) != std::string::npos) {
        const std::size_t end = at + upperWord.size();
        if (end == text.size() || text[end] == ' ' || text[end] == ',') {
            text.erase(at, upperWord.size());
            found = true;
        } else {
            ++at;
        }
    }
    return found;
}

bool FileExistsShort(const std::string& name)
{
    std::int64_t seconds = 0;
    return XfCheckPathLength(name) == 0 && XfFileTime(name, seconds) == 0;
}

bool FileDateIsToday(const std::string& name)
{
    std::int64_t seconds = 0;
    if (XfCheckPathLength(name) != 0 || XfFileTime(name, seconds) != 0) return false;
    const TXfTimeParts parts = XfDecodeTime(seconds);
    const TXfDate today = XfClocks().Today();
    return parts.year == today.Year && parts.month == today.Month && parts.day == today.Day;
}

int EraseFile(const std::string& name) { return XfEraseFile(name); }

void EraseFiles(const std::string& pattern)
{
    if (pattern.find_first_of("*?") == std::string::npos) {
        if (const int code = EraseFile(pattern)) DbfRaiseError(static_cast<std::uint16_t>(code), "Error erasing " + pattern);
        return;
    }
    std::vector<std::string> names;
    std::string folder, name, ext;
    SplitFileName(pattern, folder, name, ext);
    TXfSearchRec rec;
    for (int code = XfFindFirst(pattern, 0, rec); code == 0; code = XfFindNext(rec)) names.push_back(folder + rec.Name);
    XfFindClose(rec);
    int remaining = 0;
    for (const std::string& file : names)
        if (EraseFile(file) != 0) ++remaining;
    if (remaining > 0)
        DbfRaiseError(kDosAccessDenied,
                      "Could not erase " + std::to_string(remaining) + " files like " + pattern);
}

std::int64_t DiskFree(const std::string& folder)
{
    std::int64_t bytes = 0;
    if (const int code = XfDiskFree(folder, bytes)) {
        DbfRaiseError(static_cast<std::uint16_t>(code), "Error reading free space of " + folder + " [DiskFree]");
        return -1;
    }
    return bytes;
}

std::string UniqueFilename()
{
    std::string path;
    if (const int code = XfMakeTempFile("XFP", path)) {
        DbfRaiseError(static_cast<std::uint16_t>(code), "Error requesting unique file name [UniqueFilename]");
        return {};
    }
    return path;
}

}  // namespace xf
