// What a new user meets in the first hour, through the real main window:
// a settings file of junk, Printer Setup without printers, Track Item without
// a browser, and where the data folder is.

#include "app/data/U_Settings.h"
#include "app/main/U_About.h"
#include "app/main/U_Main.h"
#include "tests/app/main/MainTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cups/cups.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

class FirstHour : public maintest::MainFixture {
protected:
    std::unique_ptr<TF_Main> Start()
    {
        auto window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
        window->show();
        QCoreApplication::processEvents();
        return window;
    }

    // Messages other than the registration notice of every first start.
    std::vector<ui::MessageRequest> Told() const
    {
        std::vector<ui::MessageRequest> told;
        for (const ui::MessageRequest& r : messages.Shown())
            if (r.kind != ui::MsgKind::Choice) told.push_back(r);
        return told;
    }
};

// Sets an environment variable for the scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) previous_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (previous_)
            setenv(name_, previous_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> previous_;
};

}  // namespace

TEST_F(FirstHour, JunkSettingsFileIsToldOnceKeptAsBadAndReplacedByACleanFile)
{
    std::string junk = "\x7f" "ELF\x02\x01\x01";
    junk += std::string("\0\0\0\x03\x00>\x00", 7) + "[Values]\r\nPostage=9.99\r\n" + std::string(200, '\xff');
    WriteIni(junk);
    auto w = Start();

    const auto told = Told();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].kind, ui::MsgKind::Warning);
    EXPECT_NE(told[0].text.find(Ini() + " could not be read"), std::string::npos) << told[0].text;
    EXPECT_NE(told[0].text.find(Ini() + ".bad"), std::string::npos) << told[0].text;
    EXPECT_EQ(testsupport::ReadFile(Ini() + ".bad"), junk) << "the unreadable file is kept as it was";
    EXPECT_EQ(gPostage, "0.39") << "defaults, not whatever the junk seemed to say";

    // The new file is clean at once, and stays clean when the program closes.
    const auto clean = [this](const std::string& postage) {
        const std::string text = testsupport::ReadFile(Ini());
        EXPECT_FALSE(SettingsFileIsJunk(Ini())) << text;
        EXPECT_EQ(text.find('\xff'), std::string::npos);
        EXPECT_EQ(text.find("ELF"), std::string::npos);
        EXPECT_NE(text.find("Postage=" + postage), std::string::npos) << text;
    };
    clean("0.39");
    gPostage = "0.44";
    w->close();
    clean("0.44");

    // The next start reads it without a word.
    messages.Clear();
    auto again = Start();
    EXPECT_TRUE(Told().empty()) << Told()[0].text;
    EXPECT_EQ(gPostage, "0.44");
}

TEST_F(FirstHour, SettingsTextIsNotJunkEvenWithAByteOrderMarkOrOddBytes)
{
    const auto junk = [this](const std::string& text) {
        WriteIni(text);
        return SettingsFileIsJunk(Ini());
    };
    EXPECT_FALSE(junk("\xEF\xBB\xBF[Type]\r\nCompany=Farrowby\r\n"));
    EXPECT_FALSE(junk("  [Values]\nPostage=0.39\n\x1A"));
    EXPECT_FALSE(junk("[Printing]\r\nExtraLabel=Adress\xE9 To\r\n"));  // cp1252 text
    EXPECT_FALSE(junk(""));
    EXPECT_TRUE(junk("Postage=0.39\r\n"));  // keys without any section are nothing the program wrote
    EXPECT_TRUE(junk(std::string("[Type]\0\0", 8)));
    EXPECT_FALSE(SettingsFileIsJunk((home / "missing.ini").string()));
}

TEST_F(FirstHour, PrinterSetupWithoutPrintersSaysWherePrintsGo)
{
    // A print server that is not there lists no printers, on any machine.
    cupsSetServer((home / "no-cups.sock").c_str());
    const ScopedEnv pdfFolder("SENDORA_PRINT_TO_PDF", (home / "pdf").string());
    auto w = Start();
    messages.Clear();
    bool dialogOpened = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&dialogOpened] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            dialogOpened = true;
            modal->close();
        }
    });
    watch.start(1);
    w->findChild<QAction*>("miPrinterSetup")->trigger();
    cupsSetServer(nullptr);

    EXPECT_FALSE(dialogOpened) << "no dialog of empty lists";
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_EQ(messages.Last().kind, ui::MsgKind::Information);
    EXPECT_NE(messages.Last().text.find("No printer is installed"), std::string::npos) << messages.Last().text;
    EXPECT_NE(messages.Last().text.find((home / "pdf").string()), std::string::npos) << messages.Last().text;
}

TEST_F(FirstHour, TrackItemWithoutABrowserShowsTheAddress)
{
    auto w = Start();
    QAction* track = w->findChild<QAction*>("Track");
    ASSERT_NE(track, nullptr);
    const std::string address = "https://www.usps.com/shipping/trackandconfirm.htm";

    // No opener at all on this machine.
    {
        const ScopedEnv path("PATH", (home / "empty-bin").string());
        messages.Clear();
        track->trigger();
        ASSERT_EQ(messages.Count(), 1u);
        EXPECT_NE(messages.Last().text.find(address), std::string::npos) << messages.Last().text;
    }

    // An opener that finds no browser says so only when it ends.
    const std::filesystem::path bin = home / "bin";
    std::filesystem::create_directories(bin);
    testsupport::WriteFile(bin / "xdg-open", "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/asked\"\nexit 3\n");
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    {
        const ScopedEnv path("PATH", bin.string() + ":/usr/bin:/bin");
        messages.Clear();
        track->trigger();
        QElapsedTimer waited;
        waited.start();
        while (messages.Count() == 0 && waited.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_NE(messages.Last().text.find(address), std::string::npos) << messages.Last().text;
    EXPECT_EQ(testsupport::ReadFile(bin / "asked"), address + "\n");
}

TEST(DataFolder, LiesInTheUsersDataHomeUnlessSendoraHomeSaysOtherwise)
{
    const ScopedEnv home("HOME", "/home/ann");
    {
        const ScopedEnv sendora("SENDORA_HOME", "/srv/sendora/");
        EXPECT_EQ(ProgramFolder(), "/srv/sendora");
    }
    const ScopedEnv sendora("SENDORA_HOME", "");
    {
        const ScopedEnv data("XDG_DATA_HOME", "/data/ann/");
        EXPECT_EQ(ProgramFolder(), "/data/ann/sendora-pro");
    }
    {
        const ScopedEnv data("XDG_DATA_HOME", "relative/ignored");
        EXPECT_EQ(ProgramFolder(), "/home/ann/.local/share/sendora-pro");
    }
    const ScopedEnv data("XDG_DATA_HOME", "");
    EXPECT_EQ(ProgramFolder(), "/home/ann/.local/share/sendora-pro");
}
