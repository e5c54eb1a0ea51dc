#pragma once
// TIniFile: settings files with the rules of Windows INI files.
//  - Section and key names, and the file's own name, are compared without
//    regard to ASCII case; the first section and the first key of a name win.
//  - The file on disk is the truth: every read looks at it, every write
//    rewrites it at once (through a temporary file, so a failed write never
//    leaves half a file). Comments, blank lines, unknown lines, their order and
//    the file's line ends (CR LF or LF; new files get CR LF) are kept.
//  - A value is the text after the first "=", blanks around it cut; ";", "\",
//    "," and inner blanks are part of it. One pair of matching quotes around
//    the whole value is removed, as Windows does.
//  - A file in Windows-1252 (not valid UTF-8) is read as such and written back
//    in Windows-1252; otherwise the file is UTF-8.

#include "platform/rtl/Classes.h"
#include "platform/rtl/SysUtils.h"

#include <string>
#include <string_view>

namespace rtl {

class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

class TIniFile {
public:
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(std::string_view section, std::string_view ident, std::string_view fallback) const;
    // Decimal or "0x" hexadecimal; anything else gives the fallback.
    int ReadInteger(std::string_view section, std::string_view ident, int fallback) const;
    // An integer other than 0 is true; a value that is not an integer gives the fallback.
    bool ReadBool(std::string_view section, std::string_view ident, bool fallback) const;

    // Raise EIniFileException when the file cannot be written. Line breaks in
    // names and values become blanks (they would start new lines in the file).
    // A value with blanks at either end is written in quotes so that it reads
    // back as written; rewriting a key's current value leaves the file alone.
    void WriteString(std::string_view section, std::string_view ident, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view ident, int value);
    void WriteBool(std::string_view section, std::string_view ident, bool value);  // "1" / "0"

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view ident) const;
    // Key names of a section, in file order.
    void ReadSection(std::string_view section, TStringList& keys) const;
    // Section names in file order, each once.
    void ReadSections(TStringList& sections) const;
    // "key=value" items of a section.
    void ReadSectionValues(std::string_view section, TStringList& values) const;

    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view ident);
    // Writes are on disk already; kept for callers that flush explicitly.
    void UpdateFile() {}

private:
    std::string fileName_;
};

}  // namespace rtl
