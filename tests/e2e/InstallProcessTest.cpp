// `cmake --install` into a prefix of the test's own, then the installed
// program run as a new user would: its data lands in the user's data folder,
// never beside the program, and survives the program being removed and
// installed again.

#include "tests/e2e/E2ESupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;
using e2e::Quote;

std::set<std::string> FilesUnder(const fs::path& root)
{
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).string());
    return files;
}

class Installed : public ::testing::Test {
protected:
    testsupport::CommandResult Install() const
    {
        return testsupport::RunCommand("cmake --install " + Quote(SENDORA_BUILD_DIR) + " --prefix " +
                                       Quote(prefix.string()) + " 2>&1");
    }

    // The installed program as a user with only HOME set: no SENDORA_HOME,
    // no XDG_DATA_HOME; prints become PDF files.
    testsupport::CommandResult Run(int prints) const
    {
        return testsupport::RunCommand(
            "cd / && env -u SENDORA_HOME -u XDG_DATA_HOME HOME=" + Quote(home.string()) +
            " QT_QPA_PLATFORM=offscreen SENDORA_PRINT_TO_PDF=" + Quote((root / "pdf").string()) +
            " SENDORA_UNATTENDED_PRINTS=" + std::to_string(prints) + " " + Quote((prefix / "bin" / "SendoraPro").string()) +
            " 'Jane Roe' '12 Elm Street' '' '' Springfield IL 12345 2>&1");
    }

    testsupport::TempDir root;
    fs::path prefix = root / "opt" / "sendora";
    fs::path home = root / "home" / "ann";
    fs::path data = home / ".local" / "share" / "sendora-pro";
};

}  // namespace

TEST_F(Installed, ProgramStartsFromItsPrefixAndKeepsItsDataInTheUsersDataFolder)
{
    REQUIRE_TOOLS("cmake", "desktop-file-validate", "sqlite3");
    const testsupport::CommandResult install = Install();
    ASSERT_EQ(install.status, 0) << install.output;
    std::set<std::string> shipped = {"bin/SendoraPro", "share/sendora-pro/Sendo3pro.rpf",
                                     "share/applications/sendora-pro.desktop",
                                     "share/icons/hicolor/scalable/apps/sendora-pro.svg"};
    // The ZIP table goes along only when the build made it (it needs the network).
    if (fs::exists(fs::path(SENDORA_BUILD_DIR) / "app" / "ZIPCODES.edt")) {
        shipped.insert("share/sendora-pro/ZIPCODES.edt");
        shipped.insert("share/sendora-pro/ZIPCODES.LICENSE.txt");
    }
    EXPECT_EQ(FilesUnder(prefix), shipped);

    // The desktop entry is valid and starts the installed program with its icon.
    const fs::path entry = prefix / "share" / "applications" / "sendora-pro.desktop";
    const testsupport::CommandResult valid = testsupport::RunCommand("desktop-file-validate " + Quote(entry.string()) + " 2>&1");
    EXPECT_EQ(valid.status, 0) << "desktop-file-validate: " << valid.output;
    const std::string text = testsupport::ReadFile(entry);
    EXPECT_NE(text.find("Exec=\"" + (prefix / "bin" / "SendoraPro").string() + "\""), std::string::npos) << text;
    EXPECT_NE(text.find("Icon=" + (prefix / "share/icons/hicolor/scalable/apps/sendora-pro.svg").string()),
              std::string::npos)
        << text;

    // A first start makes the user's data folder and its tables.
    const testsupport::CommandResult first = Run(0);
    ASSERT_EQ(first.status, 0) << first.output;
    for (const char* made : {"MailerNum.edt", "Log/Log37.edt", "Addresses/YourAddress.edt", "sendo4.ini"})
        EXPECT_TRUE(fs::exists(data / made)) << made << "\n" << first.output;
    e2e::SqlRows(data / "MailerNum.edt", "update MailerNum set CustID='123456789', SerialNum='0000041'");
    const testsupport::CommandResult print = Run(1);
    ASSERT_EQ(print.status, 0) << print.output;
    EXPECT_EQ(print.output.find("[Error]"), std::string::npos) << print.output;

    // Removing the program and installing it again keeps the log and the counter.
    fs::remove_all(prefix);
    ASSERT_EQ(Install().status, 0);
    EXPECT_EQ(FilesUnder(prefix), shipped) << "the program's folders hold no user data";
    ASSERT_EQ(Run(1).status, 0);
    EXPECT_EQ(e2e::SqlRows(data / "Log" / "Log37.edt", "select SerialNum from Log37 order by LID"),
              (std::vector<std::string>{"41", "42"}));
    EXPECT_EQ(e2e::SqlValue(data / "MailerNum.edt", "select SerialNum from MailerNum"), "0000043");
    EXPECT_EQ(e2e::PdfFiles(root / "pdf").size(), 2u);
}
