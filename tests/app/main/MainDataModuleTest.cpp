// The main window over the real data module and tables in a folder of the
// test's own, and the ZIPCODES table made from the converter's rows.

#include "app/main/U_Main.h"

#include "app/main/U_About.h"

#include "app/data/ShippedFiles.h"
#include "app/data/U_dmMainData.h"
#include "tests/app/main/MainTestSupport.h"
#include "tools/zipcodes/ZipcodesTable.h"

#include "platform/ui/MaskEdit.h"

#include <QLineEdit>
#include <QTest>

#include <filesystem>

namespace {

class MainOverTables : public ::testing::Test {
protected:
    MainOverTables()
    {
        maintest::EnsureApplication();
        setenv("SENDORA_HOME", home.str().c_str(), 1);
        gAppPath = home.str();
        ResetSettingsToDefaults();
    }
    ~MainOverTables() override { unsetenv("SENDORA_HOME"); }

    std::unique_ptr<TF_Main> Start()
    {
        auto window = std::make_unique<TF_Main>(nullptr, std::vector<std::string>{});
        const maintest::DialogDismisser dismiss;
        window->show();
        while (window->FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return window;
    }
    static QString Text(const TF_Main& w, const char* name) { return w.findChild<QLineEdit*>(name)->text(); }

    testsupport::TempDir home;
    // The program's shipped files, apart from the data folder (SENDORA_HOME).
    testsupport::TempDir shipped;
    ScopedShippedFolders shippedFolders{{shipped.str()}};
    ui::ScriptedMessages messages;
};

}  // namespace

TEST(ZipCsv, ReadsQuotedFieldsAndRefusesBrokenRows)
{
    const auto rows = ParseZipCsv("ZIP,City,State\r\n00501,Holtsville,NY\r\n12345,\"Schenectady, \"\"GE\"\"\",NY\r\n\r\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Zip, "00501");
    EXPECT_EQ(rows[1].City, "Schenectady, \"GE\"");
    EXPECT_EQ(rows[1].State, "NY");
    EXPECT_THROW(ParseZipCsv("ZIP,City,State\n1234,Nowhere,NY\n"), rtl::Exception);
    EXPECT_THROW(ParseZipCsv("ZIP,City,State\n12345,Nowhere\n"), rtl::Exception);
    EXPECT_THROW(ParseZipCsv("ZIP,City,State\n12345,\"Open,NY\n"), rtl::Exception);
    EXPECT_TRUE(ParseZipCsv("ZIP,City,State\n").empty());
}

TEST_F(MainOverTables, FreshFolderGetsItsTablesAndTheZipLookupReadsZipcodes)
{
    ASSERT_EQ(WriteZipCodesTable(shipped.str(), {{"62701", "Springfield", "IL"}, {"00501", "Holtsville", "NY"}}), 2u);
    TInstalledDataModule dataModule(home.str());
    auto w = Start();
    EXPECT_TRUE(std::filesystem::exists(home / "Addresses" / "YourAddress.edt"));
    EXPECT_TRUE(std::filesystem::exists(home / "Log" / "Log37.edt"));
    EXPECT_TRUE(std::filesystem::exists(home / "MailerNum.edt"));
    ASSERT_GE(messages.Count(), 1u);
    EXPECT_EQ(messages.Shown()[0].title, "Bar Code Printing Registration");
    EXPECT_EQ(MainData().ReadCustID(home.str()), "000000000");

    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    auto* zip = w->findChild<ui::MaskEdit*>("editToZip");
    zip->setFocus();
    QTest::keyClicks(zip, "62701");
    QTest::keyClick(zip, Qt::Key_Tab);
    EXPECT_EQ(Text(*w, "editToCity"), "Springfield");
    EXPECT_EQ(Text(*w, "editToState"), "IL");
    w->close();
    EXPECT_TRUE(std::filesystem::exists(home / "sendo4.ini"));
}

TEST_F(MainOverTables, MissingZipcodesTableSaysOncePerRunThatTheLookupIsUnavailable)
{
    ForgetZipLookupNotice();
    // A table in the data folder is not the shipped one.
    WriteZipCodesTable(home.str(), {{"62701", "Springfield", "IL"}});
    TInstalledDataModule dataModule(home.str());
    auto w = Start();
    messages.Clear();
    for (const char* zip : {"62701", "10001", "62701"}) {
        w->findChild<ui::MaskEdit*>("editToZip")->SetText(zip);
        w->editToZipExit();
    }
    ASSERT_EQ(messages.Count(), 1u);
    const ui::MessageRequest& told = messages.Last();
    EXPECT_EQ(told.text.rfind("The ZIP code lookup is unavailable", 0), 0u) << told.text;
    EXPECT_NE(told.text.find(shipped.str()), std::string::npos) << "says where it looked: " << told.text;
    for (const char* engineWord : {"NATIVEERROR", "ERROR 7200", "SQL"})
        EXPECT_EQ(told.text.find(engineWord), std::string::npos) << told.text;
    EXPECT_EQ(Text(*w, "editToCity"), "");
}

TEST_F(MainOverTables, RewritingZipcodesReplacesTheRows)
{
    WriteZipCodesTable(home.str(), {{"62701", "Springfield", "IL"}});
    WriteZipCodesTable(home.str(), {{"62701", "Capital", "IL"}, {"10001", "New York", "NY"}});
    TInstalledDataModule dataModule(home.str());
    const auto place = MainData().LookupZip(home.str(), "62701");
    ASSERT_TRUE(place);
    EXPECT_EQ(place->City, "Capital");
    EXPECT_FALSE(MainData().LookupZip(home.str(), "99999"));
}
