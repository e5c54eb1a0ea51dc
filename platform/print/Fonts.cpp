#include "platform/print/Fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <cctype>

namespace print {

const std::vector<FontMapping>& FontMappings()
{
    static const std::vector<FontMapping> mappings = {
        {"OCR A Extended", "OCRA", "fonts-ocr-a"},
        {"Arial", "Liberation Sans", "fonts-liberation2"},
        {"Courier New", "Liberation Mono", "fonts-liberation2"},
    };
    return mappings;
}

namespace {
bool SameName(const std::string& a, const char* b)
{
    const std::string_view bv(b);
    return std::equal(a.begin(), a.end(), bv.begin(), bv.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}
}  // namespace

std::string InstalledFamily(const std::string& face)
{
    for (const FontMapping& m : FontMappings())
        if (SameName(face, m.face))
            return m.family;
    return face;
}

std::vector<std::string> MissingFontMessages(const std::function<bool(const std::string&)>& installed)
{
    std::vector<std::string> messages;
    for (const FontMapping& m : FontMappings())
        if (!installed(m.family))
            messages.push_back(std::string("The font \"") + m.face + "\" (family " + m.family + ", package " +
                               m.package + ") is not installed; printouts use the nearest face.");
    return messages;
}

const std::vector<std::string>& CheckFonts()
{
    static const std::vector<std::string> messages = [] {
        for (const FontMapping& m : FontMappings())
            QFont::insertSubstitution(QString::fromUtf8(m.face), QString::fromUtf8(m.family));
        const QStringList families = QFontDatabase::families();
        auto result = MissingFontMessages([&families](const std::string& family) {
            return families.contains(QString::fromStdString(family), Qt::CaseInsensitive);
        });
        for (const std::string& message : result)
            qWarning("%s", message.c_str());
        return result;
    }();
    return messages;
}

}  // namespace print
