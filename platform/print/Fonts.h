#pragma once
// The faces the printouts name, and the families installed on Linux that
// stand in for them. This is the only place that knows the mapping.

#include <functional>
#include <string>
#include <vector>

namespace print {

struct FontMapping {
    const char* face;    // as the forms and the user's settings name it
    const char* family;  // the installed family that prints it
    const char* package; // the Debian package that installs the family
};

const std::vector<FontMapping>& FontMappings();

// The installed family for a face name; a name without a mapping is returned
// unchanged (compared without regard to case).
std::string InstalledFamily(const std::string& face);

// The mappings whose family `installed` does not know, as messages for the user.
std::vector<std::string> MissingFontMessages(const std::function<bool(const std::string&)>& installed);

// Registers the mappings as Qt font substitutions and checks the families
// against the font database. The work is done once per process: a missing
// family is reported once (through qWarning), and printing goes on with the
// nearest face Qt finds. Needs a QGuiApplication. Returns the messages.
const std::vector<std::string>& CheckFonts();

}  // namespace print
