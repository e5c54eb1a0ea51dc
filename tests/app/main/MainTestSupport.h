#pragma once
// Helpers of the main-window tests: the application object, a program folder
// of the test's own (SENDORA_HOME), a fake of the tables the window reads,
// and the settings variables put back to their defaults.

#include "app/data/ShippedFiles.h"
#include "app/data/U_Globals.h"
#include "app/data/U_MainData.h"
#include "app/printing/U_SendoPrint.h"
#include "app/data/U_Settings.h"
#include "app/printing/U_PrinterSetup.h"
#include "platform/print/RecordingPrintDevice.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace maintest {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { app.reset(); }
    static inline std::unique_ptr<QApplication> app;
};

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "main_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        ApplicationEnvironment::app = std::make_unique<QApplication>(argc, argv);
        ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);  // gtest owns it
    }
}

// Records what the window asks of the tables and answers from a small map.
class FakeData final : public TMainData {
public:
    struct Log {
        std::vector<std::string> ensured;  // "folder|table"
        std::vector<int> addressIds;
        std::vector<std::string> zipLookups;
        int closeAll = 0;
    };

    explicit FakeData(Log& log) : log_(log) {}

    std::map<std::string, TZipPlace> zips;
    std::map<int, TSenderAddress> addresses;
    std::string failEnsure;  // table whose creation fails
    bool zipTableMissing = false;

    void EnsureTable(const std::string& folder, const std::string& table) override {
        log_.ensured.push_back(folder + "|" + table);
        if (table == failEnsure) throw rtl::Exception("Cannot create table " + table + ".");
    }
    std::optional<TSenderAddress> ReadYourAddress(const std::string&, int id) override {
        log_.addressIds.push_back(id);
        auto it = addresses.find(id);
        if (it == addresses.end()) return std::nullopt;
        return it->second;
    }
    std::optional<std::string> ReadCustID(const std::string&) override { return "000000000"; }
    std::optional<TZipPlace> LookupZip(const std::string&, const std::string& zip5) override {
        log_.zipLookups.push_back(zip5);
        if (zipTableMissing) throw rtl::Exception("ZIPCODES: table not found.");
        auto it = zips.find(zip5);
        if (it == zips.end()) return std::nullopt;
        return it->second;
    }
    void CloseAllTables() override { ++log_.closeAll; }

private:
    Log& log_;
};

// A fresh program folder, scripted message boxes and the fake tables, for
// one test; everything goes back when the test ends.
class MainFixture : public ::testing::Test {
protected:
    MainFixture() {
        EnsureApplication();
        setenv("SENDORA_HOME", home.str().c_str(), 1);
        auto fake = std::make_unique<FakeData>(dataLog);
        data = fake.get();
        previous_ = SetMainData(std::move(fake));
        gAppPath = home.str();
        ResetSettingsToDefaults();
        gSingleEditText.clear();
    }
    ~MainFixture() override {
        SetMainData(std::move(previous_));
        unsetenv("SENDORA_HOME");
    }

    // The fake answers the ZIP lookup; the shipped table need only be there.
    void ShipZipTable() const { testsupport::WriteFile(shipped / "ZIPCODES.edt", ""); }

    std::string Ini() const { return (home / "sendo4.ini").string(); }
    void WriteIni(const std::string& text) const { testsupport::WriteFile(home / "sendo4.ini", text); }

    testsupport::TempDir home;
    // What the program ships, apart from the data folder; empty unless a test puts something there.
    testsupport::TempDir shipped;
    ScopedShippedFolders shippedFolders{{shipped.str()}};
    ui::ScriptedMessages messages;
    FakeData::Log dataLog;
    FakeData* data = nullptr;

private:
    std::unique_ptr<TMainData> previous_;
};

// Closes, unanswered, every modal dialog that opens while it lives: the
// sender and mailer-number dialogs a fresh program folder brings up on the
// first show, for tests about something else.
class DialogDismisser {
public:
    DialogDismisser()
    {
        QObject::connect(&timer_, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
        });
        timer_.start(1);
    }

private:
    QTimer timer_;
};

// Sends every print of the program to one recording device (the program
// makes a device per print; this one outlives them all), for as long as it lives.
class RecordingPrinter {
public:
    explicit RecordingPrinter(int dpi = 600) : device(dpi, dpi)
    {
        SetPrintDeviceFactory([this](const std::string&) { return std::make_unique<Forward>(device); });
    }
    ~RecordingPrinter()
    {
        SetPrintDeviceFactory(nullptr);
        print::SetPrinter(nullptr);
    }
    RecordingPrinter(const RecordingPrinter&) = delete;
    RecordingPrinter& operator=(const RecordingPrinter&) = delete;

    print::RecordingPrintDevice device;

private:
    class Forward final : public print::PrintDevice {
    public:
        explicit Forward(print::PrintDevice& to) : to_(to) {}
        int DpiX() const override { return to_.DpiX(); }
        int DpiY() const override { return to_.DpiY(); }
        int OffsetX() const override { return to_.OffsetX(); }
        int OffsetY() const override { return to_.OffsetY(); }
        void BeginDoc() override { to_.BeginDoc(); }
        void EndDoc() override { to_.EndDoc(); }
        void NewPage() override { to_.NewPage(); }
        bool Printing() const override { return to_.Printing(); }
        void TextOut(int x, int y, const std::string& text, const print::FontSpec& font) override
        {
            to_.TextOut(x, y, text, font);
        }
        print::TextSize TextExtent(const std::string& text, const print::FontSpec& font) override
        {
            return to_.TextExtent(text, font);
        }
        void StretchDraw(int x, int y, int width, int height, const QImage& image) override
        {
            to_.StretchDraw(x, y, width, height, image);
        }

    private:
        print::PrintDevice& to_;
    };
};

inline std::string Blanks(std::size_t n) { return std::string(n, ' '); }

// The child of `w` named `name`; the test fails when there is none.
template <class T>
T* Find(const QWidget& w, const char* name)
{
    T* found = w.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

}  // namespace maintest
