#include "platform/print/Fonts.h"

#include "tests/support/QtTestApp.h"

#include <QFont>
#include <QFontInfo>
#include <QString>

#include <gtest/gtest.h>

#include <set>

using print::InstalledFamily;

TEST(Fonts, FormFacesMapToTheirLinuxFamiliesWhateverTheCase)
{
    EXPECT_EQ(InstalledFamily("OCR A Extended"), "OCRA");
    EXPECT_EQ(InstalledFamily("ocr a extended"), "OCRA");
    EXPECT_EQ(InstalledFamily("Arial"), "Liberation Sans");
    EXPECT_EQ(InstalledFamily("COURIER NEW"), "Liberation Mono");
    EXPECT_EQ(InstalledFamily("DejaVu Serif"), "DejaVu Serif");
    EXPECT_EQ(InstalledFamily("OCR A"), "OCR A");  // a prefix is not the face
}

TEST(Fonts, MissingFamiliesAreNamedWithThePackageThatInstallsThem)
{
    const auto messages = print::MissingFontMessages([](const std::string& family) { return family != "OCRA"; });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("\"OCR A Extended\""), std::string::npos);
    EXPECT_NE(messages[0].find("fonts-ocr-a"), std::string::npos);

    EXPECT_TRUE(print::MissingFontMessages([](const std::string&) { return true; }).empty());
    EXPECT_EQ(print::MissingFontMessages([](const std::string&) { return false; }).size(),
              print::FontMappings().size());
}

TEST(Fonts, EveryMappedFamilyIsInstalledAndTheCheckRunsOnce)
{
    testsupport::EnsureQtApp();
    const auto& first = print::CheckFonts();
    EXPECT_TRUE(first.empty()) << first.front();
    EXPECT_EQ(&print::CheckFonts(), &first);

    // After the check, widgets naming the Windows faces get the mapped families.
    for (const auto& m : print::FontMappings())
        EXPECT_EQ(QFontInfo(QFont(QString::fromUtf8(m.face))).family().toStdString(), m.family) << m.face;
}
