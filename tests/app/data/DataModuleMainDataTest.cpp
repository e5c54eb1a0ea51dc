// What the main window reads through the data module: the sender address,
// the customer ID, the ZIP lookup; and the module's installation at start-up.
#include "app/data/ShippedFiles.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmMainData.h"
#include "app/data/U_dmSendoPro.h"
#include "platform/ui/MessageService.h"
#include "tests/support/TestSupport.h"
#include "tools/zipcodes/ZipcodesTable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

class DataModuleMainData : public ::testing::Test {
protected:
    void AddSender(const std::string& line1, const std::string& city)
    {
        TEdsTable table;
        table.SetDatabaseName(dir.str());
        table.SetTableName("YourAddress");
        table.Open();
        table.Append();
        table.FieldByName("Address1")->SetAsString(line1);
        table.FieldByName("Address2")->SetAsString("12 Elm Street");
        table.FieldByName("City")->SetAsString(city);
        table.FieldByName("State")->SetAsString("IL");
        table.FieldByName("Zip")->SetAsString("62701-1234");
        table.Post();
    }

    testsupport::TempDir dir;
    TdmSendoPro dm;
    TdmMainData data{dm};
};

}  // namespace

TEST_F(DataModuleMainData, SenderAddressIsReadByItsNumber)
{
    data.EnsureTable(dir.str(), "YourAddress");
    AddSender("Acme Legal", "Springfield");
    AddSender("Zenith & Sons", "Peoria");

    const auto second = data.ReadYourAddress(dir.str(), 2);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Address1, "Zenith & Sons");
    EXPECT_EQ(second->Address2, "12 Elm Street");
    EXPECT_EQ(second->Address3, "");
    EXPECT_EQ(second->City, "Peoria");
    EXPECT_EQ(second->State, "IL");
    EXPECT_EQ(second->Zip, "62701-1234");
    EXPECT_FALSE(data.ReadYourAddress(dir.str(), 7));
    // The query is not left holding the table.
    EXPECT_FALSE(dm.edsqYourAddress->Active());
}

TEST_F(DataModuleMainData, CustomerIdComesFromTheCounterWhenThereIsOne)
{
    EXPECT_FALSE(data.ReadCustID(dir.str()));
    data.EnsureTable(dir.str(), "MailerNum");
    EXPECT_EQ(data.ReadCustID(dir.str()), "000000000");
    EXPECT_FALSE(dm.edstMailerNum->Active());

    // An emptied counter reads as nothing rather than failing.
    {
        TEdsTable table;
        table.SetDatabaseName(dir.str());
        table.SetTableName("MailerNum");
        table.Open();
        table.Delete();
    }
    EXPECT_FALSE(data.ReadCustID(dir.str()));
}

TEST_F(DataModuleMainData, ZipLookupFindsCityAndStateAndQuotesWhatItIsGiven)
{
    EXPECT_THROW(data.LookupZip(dir.str(), "62701"), rtl::Exception);

    WriteZipCodesTable(dir.str(), ParseZipCsv("ZIP,City,State\n00501,Holtsville,NY\n62701,Springfield,IL\n"));
    const auto place = data.LookupZip(dir.str(), "62701");
    ASSERT_TRUE(place);
    EXPECT_EQ(place->City, "Springfield");
    EXPECT_EQ(place->State, "IL");
    EXPECT_EQ(data.LookupZip(dir.str(), "00501")->City, "Holtsville");
    EXPECT_FALSE(data.LookupZip(dir.str(), "99999"));
    EXPECT_FALSE(data.LookupZip(dir.str(), "1' or '1' = '1"));
    EXPECT_FALSE(dm.edsqZipCodes->Active());
}

TEST(DataModuleInstallation, ServesTheMainWindowUntilItGoes)
{
    testsupport::TempDir program;
    // What the program ships lies apart from the user's data.
    testsupport::TempDir build, share;
    testsupport::WriteFile(share / "Sendo3pro.rpf", "SENDORA REPORT PROJECT 1\n");
    WriteZipCodesTable(share.str(), ParseZipCsv("ZIP,City,State\n62701,Springfield,IL\n"));
    const ScopedShippedFolders shipped({build.str(), share.str()});
    ui::ScriptedMessages messages;
    {
        const TInstalledDataModule installed(program.str());
        ASSERT_EQ(dmSendoPro, &installed.Module());
        EXPECT_EQ(messages.Count(), 0u);
        EXPECT_TRUE(dmSendoPro->EdsConnection1->IsConnected());
        EXPECT_EQ(dmSendoPro->edsqZipCodes->DatabaseName(), share.str());
        EXPECT_EQ(dmSendoPro->RpProject1.ProjectFile(), (share / "Sendo3pro.rpf").string());
        ASSERT_TRUE(LookupShippedZip("62701"));
        EXPECT_EQ(LookupShippedZip("62701")->City, "Springfield");

        MainData().EnsureTable(program.str(), "MailerNum");
        EXPECT_EQ(MainData().ReadCustID(program.str()), "000000000");
    }
    EXPECT_EQ(dmSendoPro, nullptr);
    // The window is back on its own: no tables, and the lookup says so.
    EXPECT_FALSE(MainData().ReadCustID(program.str()));
    EXPECT_THROW(MainData().LookupZip(program.str(), "62701"), rtl::Exception);

    // A first start makes the program folder.
    {
        const TInstalledDataModule installed((program / "new" / "sendora-pro").string());
        EXPECT_TRUE(installed.Module().EdsConnection1->IsConnected());
        EXPECT_TRUE(std::filesystem::is_directory(program / "new" / "sendora-pro"));
        EXPECT_EQ(messages.Count(), 0u);
    }
    // One that cannot be made is told once, by name, and the module still
    // serves tables in other folders.
    testsupport::WriteFile(program / "file", "x");
    const TInstalledDataModule installed((program / "file" / "sendora-pro").string());
    EXPECT_FALSE(installed.Module().EdsConnection1->IsConnected());
    ASSERT_EQ(messages.Count(), 1u);
    EXPECT_NE(messages.Last().text.find((program / "file" / "sendora-pro").string() + " cannot be written"),
              std::string::npos) << messages.Last().text;
    EXPECT_FALSE(messages.Last().details.empty());
    EXPECT_FALSE(gProgramFolderWritable);
    MainData().EnsureTable(program.str(), "Log37");
    EXPECT_TRUE(TdmSendoPro::TableExists(program.str(), "Reports"));
}
