#include "app/data/U_Settings.h"

#include "tests/app/main/MainTestSupport.h"

#include <filesystem>
#include <sstream>

using maintest::MainFixture;

namespace {

using Settings = MainFixture;

// "section|key=value" of every line of an INI file, in file order.
std::vector<std::string> KeysInOrder(const std::string& file)
{
    std::istringstream in(testsupport::ReadFile(file));
    std::vector<std::string> keys;
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.front() == '[') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        keys.push_back(section + "|" + line);
    }
    return keys;
}

}  // namespace

TEST_F(Settings, MissingFileGivesEveryDefaultAndTheMakersBrand)
{
    const TLoadedSettings loaded = ReadSettings(Ini());
    EXPECT_TRUE(loaded.ZerosOn);
    EXPECT_FALSE(loaded.LogoFound);
    EXPECT_EQ(gCompany, "Farrowby");
    EXPECT_EQ(gYourAddressDB, home.str() + "/Addresses");
    EXPECT_EQ(gAddressDB, home.str() + "/Addresses");
    EXPECT_EQ(gLogDB, home.str() + "/Log");
    EXPECT_EQ(gMailerNumDB, home.str());
    EXPECT_EQ(gPostage, "0.39");
    EXPECT_EQ(gCertFee, "2.40");
    EXPECT_EQ(gReturnFee, "1.85");
    EXPECT_EQ(gRestrictedFee, "3.50");
    EXPECT_EQ(gPriorityFee, "6.95");
    EXPECT_EQ(gAddOunceFee, "0.24");
    EXPECT_TRUE(gShowFees);
    EXPECT_TRUE(gPrintBarCode);
    EXPECT_TRUE(gBarCodeApp);
    EXPECT_FALSE(gBatch);
    EXPECT_EQ(gPrintExtraLabel, "Yes");
    EXPECT_EQ(gExtraLabel, "Addressed To");
    EXPECT_EQ(gFindMailerType, "1");
    EXPECT_EQ(gPrinterTray, 0);
    EXPECT_EQ(gPrinterName, "");
}

TEST_F(Settings, WritesEveryKeyInReadOrderAndReadsThemBackUnchanged)
{
    ReadSettings(Ini());
    WriteSettings(Ini(), true);
    const std::vector<std::string> keys = KeysInOrder(Ini());
    const std::vector<std::string> expected = {
        "Type|Company=Farrowby",
        "Type|BarCodeApp=1",
        "Type|FindMailerType=1",
        "YourAddress|DB=" + home.str() + "/Addresses",
        "YourAddress|ID=",
        "Values|Default=1",
        "Values|Postage=0.39",
        "Values|CertFee=2.40",
        "Values|Return=1.85",
        "Values|Restricted=3.50",
        "Values|Priority=6.95",
        "Values|AddOunce=0.24",
        "Values|RestrictedCB=0",
        "Values|PriorityCB=0",
        "Values|PrintBarCode=1",
        "Printing|PrintExtraLabel=Yes",
        "Printing|ExtraLabel=Addressed To",
        "Printing|Zeros=1",
        "Printing|Batch=0",
        "Print Align|LeftRight=0",
        "Print Align|TopBottom=0",
        "LabelPos|Row=0",
        "LabelPos|Col=0",
        "System Path|MailerNumDB=" + home.str(),
        "System Path|DatabaseON=0",
        "System Path|AddressDB=" + home.str() + "/Addresses",
        "System Path|LogDB=" + home.str() + "/Log",
        "Printer|PTray=0",
        "Printer|Printer=",
    };
    EXPECT_EQ(keys, expected);

    // Changed values survive a round trip, and a second write changes nothing.
    gPostage = "      0.44";
    gRestrictedOn = true;
    gAlignLeftRight = -3;
    gLabelRow = 2;
    gBatch = true;
    gPrinterName = "Office Laser";
    gPrinterTray = 2;
    gYourAddressID = "17";
    WriteSettings(Ini(), false);
    const std::string written = testsupport::ReadFile(Ini());
    ResetSettingsToDefaults();
    const TLoadedSettings loaded = ReadSettings(Ini());
    EXPECT_FALSE(loaded.ZerosOn);
    EXPECT_EQ(gPostage, "      0.44");
    EXPECT_TRUE(gRestrictedOn);
    EXPECT_EQ(gAlignLeftRight, -3);
    EXPECT_EQ(gLabelRow, 2);
    EXPECT_TRUE(gBatch);
    EXPECT_EQ(gPrinterName, "Office Laser");
    EXPECT_EQ(gPrinterTray, 2);
    EXPECT_EQ(gYourAddressID, "17");
    WriteSettings(Ini(), false);
    EXPECT_EQ(testsupport::ReadFile(Ini()), written);
}

TEST_F(Settings, SectionNamesAndBooleansFollowTheFileRules)
{
    WriteIni("[TYPE]\r\nbarcodeapp=0\r\n[values]\r\nDEFAULT=0\r\nPrintBarCode=yes\r\n[printing]\r\nzeros=0\r\n");
    const TLoadedSettings loaded = ReadSettings(Ini());
    EXPECT_FALSE(gBarCodeApp);
    EXPECT_FALSE(gShowFees);
    EXPECT_TRUE(gPrintBarCode) << "a value that is not an integer keeps the default";
    EXPECT_FALSE(loaded.ZerosOn);
}

TEST_F(Settings, FoldersAreWrittenWithoutTrailingSeparators)
{
    ReadSettings(Ini());
    gLogDB = "/data/log//";
    gMailerNumDB = "C:\\Sendo\\\\";
    gAddressDB = "/data/addresses/";
    gYourAddressDB = "/";
    WriteSettings(Ini(), true);
    ReadSettings(Ini());
    EXPECT_EQ(gLogDB, "/data/log");
    EXPECT_EQ(gMailerNumDB, "C:\\Sendo");
    EXPECT_EQ(gAddressDB, "/data/addresses");
    EXPECT_EQ(gYourAddressDB, "/") << "the root keeps its one separator";
}

TEST_F(Settings, LogoBesideTheProgramChoosesTheResellerUntilABrandIsStored)
{
    testsupport::WriteFile(home / "Scr_logo.bmp", "not really a bitmap");
    EXPECT_TRUE(ReadSettings(Ini()).LogoFound);
    EXPECT_EQ(gCompany, "Hollisand");
    WriteSettings(Ini(), true);

    std::filesystem::remove(home / "Scr_logo.bmp");
    ReadSettings(Ini());
    EXPECT_EQ(gCompany, "Hollisand") << "a stored brand outlives the logo";

    WriteIni("[Type]\r\nCompany=Farrowby\r\n");
    testsupport::WriteFile(home / "Scr_logo.bmp", "x");
    EXPECT_FALSE(ReadSettings(Ini()).LogoFound);
    EXPECT_EQ(gCompany, "Farrowby");
}

TEST_F(Settings, LabelCellOutsideTheSheetFallsBackToTheFirst)
{
    WriteIni("[LabelPos]\r\nRow=7\r\nCol=-1\r\n");
    ReadSettings(Ini());
    EXPECT_EQ(gLabelRow, 0);
    EXPECT_EQ(gLabelCol, 0);
    WriteIni("[LabelPos]\r\nRow=2\r\nCol=1\r\n");
    ReadSettings(Ini());
    EXPECT_EQ(gLabelRow, 2);
    EXPECT_EQ(gLabelCol, 1);
}

TEST_F(Settings, SenderAddressIdMustBeAnInteger)
{
    gYourAddressID = "";
    EXPECT_FALSE(YourAddressIdNumber());
    gYourAddressID = " 42 ";
    EXPECT_EQ(YourAddressIdNumber(), 42);
    for (const char* bad : {"0 or 1=1", "4;drop table Log37", "12a", "1.5", "99999999999"}) {
        gYourAddressID = bad;
        EXPECT_FALSE(YourAddressIdNumber()) << bad;
    }
}

TEST_F(Settings, UnwritableFileRaisesTheIniError)
{
    EXPECT_THROW(WriteSettings((home / "no-such-folder" / "sendo4.ini").string(), true), rtl::Exception);
}
