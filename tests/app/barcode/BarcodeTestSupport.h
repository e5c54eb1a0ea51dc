#pragma once
// Helpers of the barcode tests: a GUI application for the font, decoding a
// rendered image with zbarimg, reference module rows from zint, and reading
// module rows back out of an image.

#include "app/barcode/Barcode.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QByteArray>
#include <QImage>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace barcodetest {

// The human-readable line needs fonts, which need an application object.
inline void EnsureApplication() { testsupport::EnsureQtApp(); }

inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// What zbarimg reads from the image, without the trailing newline; empty when
// it finds nothing. Its complaints on stderr are ignored.
inline std::string Decode(const QImage& image, const std::string& options = "") {
    testsupport::TempDir dir;
    const std::string file = (dir / "code.png").string();
    if (!image.save(QString::fromStdString(file), "PNG")) return "<not saved>";
    const auto result =
        testsupport::RunCommand("zbarimg --raw -q " + options + " " + ShellQuote(file) + " 2>/dev/null");
    std::string text = result.output;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// What zbarimg reads from each image, in order, through one run of the tool
// (its XML output keeps control characters and line ends intact); "" where it
// reads nothing, "<more than one>" where it reads several symbols.
inline std::vector<std::string> DecodeAll(const std::vector<QImage>& images) {
    testsupport::TempDir dir;
    std::string files;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::string file = (dir / (std::to_string(i) + ".png")).string();
        images[i].save(QString::fromStdString(file), "PNG");
        files += " " + ShellQuote(file);
    }
    const auto result = testsupport::RunCommand("zbarimg --xml -q" + files + " 2>/dev/null");
    std::vector<std::string> decoded(images.size());
    std::vector<int> found(images.size(), 0);
    // An XML reader turns CR into LF; a private-use character carries it through.
    const QString kCarriageReturn(QChar(0xE000));
    QByteArray output = QByteArray::fromStdString(result.output);
    output.replace('\r', kCarriageReturn.toUtf8());
    QXmlStreamReader xml(output);
    std::size_t current = 0;
    bool base64 = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == u"source") {
            const std::string href = xml.attributes().value("href").toString().toStdString();
            const std::string name = href.substr(href.find_last_of('/') + 1);
            current = std::stoul(name);
        } else if (xml.name() == u"data") {
            base64 = xml.attributes().value("format") == u"base64";
            QString text = xml.readElementText();
            text.replace(kCarriageReturn, QStringLiteral("\r"));
            const QByteArray bytes = base64 ? QByteArray::fromBase64(text.trimmed().toLatin1()) : text.toUtf8();
            if (current < decoded.size()) {
                decoded[current] = ++found[current] > 1 ? "<more than one>" : bytes.toStdString();
            }
        }
    }
    return decoded;
}

// zint's --dump rows as module strings ('1' bar, '0' space), padded by zint to
// whole hex digits.
inline std::vector<std::string> ZintRows(int symbology, const std::string& data,
                                          const std::string& options = "") {
    const auto result = testsupport::RunCommand("zint --dump -b " + std::to_string(symbology) + " " +
                                                options + " -d " + ShellQuote(data) + " 2>/dev/null");
    std::vector<std::string> rows;
    std::string row;
    for (char c : result.output) {
        if (c == '\n') {
            if (!row.empty()) rows.push_back(row);
            row.clear();
        } else if (std::isxdigit(static_cast<unsigned char>(c))) {
            const int v = std::stoi(std::string(1, c), nullptr, 16);
            for (int bit = 3; bit >= 0; --bit) row += (v >> bit) & 1 ? '1' : '0';
        }
    }
    if (!row.empty()) rows.push_back(row);
    return rows;
}

// A module row padded with spaces to whole hex digits, as zint prints it.
inline std::string PadToNibbles(std::string modules) {
    while (modules.size() % 4) modules += '0';
    return modules;
}

// The modules along one pixel row of an unrotated image, reading one pixel
// per module starting at the left quiet zone.
inline std::string ModulesInRow(const QImage& image, int y, int scale, size_t count) {
    std::string modules;
    for (size_t k = 0; k < count; ++k) {
        const int x = 10 * scale + static_cast<int>(k) * scale;
        modules += image.pixelColor(x, y).value() < 128 ? '1' : '0';
    }
    return modules;
}

}  // namespace barcodetest
