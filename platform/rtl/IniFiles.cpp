#include "platform/rtl/IniFiles.h"

#include "platform/rtl/CodePages.h"
#include "platform/rtl/Paths.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include <unistd.h>

namespace rtl {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string name;   // section or key name, trimmed
    std::string value;  // key value, trimmed and unquoted
};

ParsedLine ParseLine(std::string_view line)
{
    ParsedLine parsed;
    std::string text = Trim(line);
    if (text.empty() || text[0] == ';') return parsed;
    if (text[0] == '[') {
        std::size_t close = text.find(']');
        parsed.kind = LineKind::Section;
        std::size_t length = close == std::string::npos ? std::string::npos : close - 1;
        parsed.name = Trim(std::string_view(text).substr(1, length));
        return parsed;
    }
    std::size_t eq = text.find('=');
    if (eq == std::string::npos) return parsed;
    parsed.kind = LineKind::Key;
    parsed.name = Trim(std::string_view(text).substr(0, eq));
    parsed.value = Trim(std::string_view(text).substr(eq + 1));
    const std::string& v = parsed.value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        parsed.value = v.substr(1, v.size() - 2);
    return parsed;
}

// Blanks around a value, or quotes around all of it, would be lost on
// reading; quoted, the value reads back as written (Windows strips the quotes too).
std::string StoredValue(const std::string& value)
{
    if (value.empty()) return value;
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    bool quotedAlready =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (blank(value.front()) || blank(value.back()) || quotedAlready) return "\"" + value + "\"";
    return value;
}

std::string OneLine(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c == '\r' || c == '\n') c = ' ';
    return result;
}

// The file as lines of UTF-8 text, with what it takes to write it back in
// the form it came in.
class IniDocument {
public:
    // A file whose name differs only in case is the same file, as on Windows.
    explicit IniDocument(const std::string& fileName)
        : fileName_(FileExists(fileName) ? fileName : ResolvePathNoCase(fileName))
    {
        Load();
    }

    std::vector<std::string> lines;

    // Index of the header of the first section of that name.
    std::optional<std::size_t> FindSection(std::string_view section) const
    {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            ParsedLine p = ParseLine(lines[i]);
            if (p.kind == LineKind::Section && SameText(p.name, section)) return i;
        }
        return std::nullopt;
    }

    // One past the last line of the section whose header is at `header`.
    std::size_t SectionEnd(std::size_t header) const
    {
        std::size_t i = header + 1;
        while (i < lines.size() && ParseLine(lines[i]).kind != LineKind::Section) ++i;
        return i;
    }

    struct KeyLine {
        std::size_t index;
        ParsedLine parsed;
    };

    // The key lines of the section, in file order; none when it is missing.
    std::vector<KeyLine> Keys(std::string_view section) const
    {
        std::vector<KeyLine> keys;
        std::optional<std::size_t> header = FindSection(section);
        if (!header) return keys;
        std::size_t end = SectionEnd(*header);
        for (std::size_t i = *header + 1; i < end; ++i) {
            ParsedLine p = ParseLine(lines[i]);
            if (p.kind == LineKind::Key) keys.push_back({i, std::move(p)});
        }
        return keys;
    }

    std::optional<std::size_t> FindKey(std::string_view section, std::string_view ident) const
    {
        for (const KeyLine& key : Keys(section))
            if (SameText(key.parsed.name, ident)) return key.index;
        return std::nullopt;
    }

    void Save() const
    {
        std::string text = bom_ ? std::string(kUtf8Bom) : std::string();
        for (const std::string& line : lines) {
            text += ansi_ ? Utf8ToAnsi(line) : line;
            text += lineBreak_;
        }
        // Write beside the file, then rename over it: a failure leaves the
        // old file whole.
        std::string temp = fileName_ + ".tmp" + IntToStr(static_cast<long long>(::getpid()));
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            out.close();
            if (!out) {
                std::remove(temp.c_str());
                throw EIniFileException("Unable to write to " + fileName_);
            }
        }
        // The new file takes the old one's permissions.
        std::error_code ec;
        std::filesystem::file_status old = std::filesystem::status(fileName_, ec);
        if (!ec && std::filesystem::exists(old)) std::filesystem::permissions(temp, old.permissions(), ec);
        if (std::rename(temp.c_str(), fileName_.c_str()) != 0) {
            std::remove(temp.c_str());
            throw EIniFileException("Unable to write to " + fileName_);
        }
    }

private:
    void Load()
    {
        std::ifstream in(fileName_, std::ios::binary);
        if (!in) return;
        std::ostringstream buffer;
        buffer << in.rdbuf();
        std::string bytes = buffer.str();
        std::string_view body = bytes;
        if (body.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
            bom_ = true;
            body.remove_prefix(kUtf8Bom.size());
        }
        std::string text;
        if (IsValidUtf8(body)) {
            text.assign(body);
        } else {
            ansi_ = true;
            text = AnsiToUtf8(body);
        }
        std::size_t firstBreak = text.find('\n');
        if (firstBreak != std::string::npos)
            lineBreak_ = (firstBreak > 0 && text[firstBreak - 1] == '\r') ? "\r\n" : "\n";
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            std::size_t next = end == std::string::npos ? text.size() : end + 1;
            if (end == std::string::npos) end = text.size();
            if (end > start && text[end - 1] == '\r') --end;
            lines.push_back(text.substr(start, end - start));
            start = next;
        }
    }

    std::string fileName_;
    std::string lineBreak_ = "\r\n";
    bool ansi_ = false;
    bool bom_ = false;
};

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(NormalizePath(fileName)) {}

std::string TIniFile::ReadString(std::string_view section, std::string_view ident, std::string_view fallback) const
{
    IniDocument doc(fileName_);
    std::optional<std::size_t> line = doc.FindKey(section, ident);
    if (!line) return std::string(fallback);
    return ParseLine(doc.lines[*line]).value;
}

int TIniFile::ReadInteger(std::string_view section, std::string_view ident, int fallback) const
{
    std::string text = ReadString(section, ident, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        long long value = 0;
        for (std::size_t i = 2; i < text.size(); ++i) {
            char c = text[i];
            int digit = (c >= '0' && c <= '9')   ? c - '0'
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                 : -1;
            if (digit < 0 || value > 0xFFFFFFFFLL / 16) return fallback;
            value = value * 16 + digit;
        }
        if (value > 0xFFFFFFFFLL) return fallback;
        // Eight hex digits are the bits of a 32-bit integer.
        return static_cast<int>(static_cast<std::uint32_t>(value));
    }
    return StrToIntDef(text, fallback);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view ident, bool fallback) const
{
    return ReadInteger(section, ident, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view ident, std::string_view value)
{
    std::string sectionName = OneLine(section);
    std::string key = OneLine(ident);
    std::string text = OneLine(value);
    std::string stored = StoredValue(text);
    IniDocument doc(fileName_);
    if (std::optional<std::size_t> line = doc.FindKey(sectionName, key)) {
        std::string& current = doc.lines[*line];
        if (ParseLine(current).value == text) return;  // the file stays untouched
        // Keep the line as the file spells it up to the value.
        std::size_t start = current.find('=') + 1;
        while (start < current.size() && (current[start] == ' ' || current[start] == '\t')) ++start;
        current = current.substr(0, start) + stored;
    } else if (std::optional<std::size_t> header = doc.FindSection(sectionName)) {
        // After the section's last non-blank line, so blank lines between
        // sections stay where they are.
        std::size_t at = doc.SectionEnd(*header);
        while (at > *header + 1 && Trim(doc.lines[at - 1]).empty()) --at;
        doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at), key + "=" + stored);
    } else {
        doc.lines.push_back("[" + sectionName + "]");
        doc.lines.push_back(key + "=" + stored);
    }
    doc.Save();
}

void TIniFile::WriteInteger(std::string_view section, std::string_view ident, int value)
{
    WriteString(section, ident, IntToStr(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view ident, bool value)
{
    WriteString(section, ident, value ? "1" : "0");
}

bool TIniFile::SectionExists(std::string_view section) const
{
    return IniDocument(fileName_).FindSection(section).has_value();
}

bool TIniFile::ValueExists(std::string_view section, std::string_view ident) const
{
    return IniDocument(fileName_).FindKey(section, ident).has_value();
}

void TIniFile::ReadSection(std::string_view section, TStringList& keys) const
{
    keys.Clear();
    for (const IniDocument::KeyLine& key : IniDocument(fileName_).Keys(section)) keys.Add(key.parsed.name);
}

void TIniFile::ReadSections(TStringList& sections) const
{
    sections.Clear();
    IniDocument doc(fileName_);
    std::vector<std::string> seen;
    for (const std::string& line : doc.lines) {
        ParsedLine p = ParseLine(line);
        if (p.kind != LineKind::Section) continue;
        bool known = false;
        for (const std::string& name : seen) known = known || SameText(name, p.name);
        if (known) continue;
        seen.push_back(p.name);
        sections.Add(p.name);
    }
}

void TIniFile::ReadSectionValues(std::string_view section, TStringList& values) const
{
    values.Clear();
    for (const IniDocument::KeyLine& key : IniDocument(fileName_).Keys(section))
        values.Add(key.parsed.name + "=" + key.parsed.value);
}

void TIniFile::EraseSection(std::string_view section)
{
    IniDocument doc(fileName_);
    std::optional<std::size_t> header = doc.FindSection(section);
    if (!header) return;
    std::size_t end = doc.SectionEnd(*header);
    doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(*header),
                    doc.lines.begin() + static_cast<std::ptrdiff_t>(end));
    doc.Save();
}

void TIniFile::DeleteKey(std::string_view section, std::string_view ident)
{
    IniDocument doc(fileName_);
    std::optional<std::size_t> line = doc.FindKey(section, ident);
    if (!line) return;
    doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(*line));
    doc.Save();
}

}  // namespace rtl
