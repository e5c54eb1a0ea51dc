// The program's tables as the data module makes them, read back with the
// sqlite3 tool: columns and widths, indexes, the MailerNum seed row, the side
// tables of Log37, and a start interrupted half way.
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "dbaccess/edsapi.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct CommandOutput {
    int status;
    std::string text;
};

CommandOutput Sql(const fs::path& file, const std::string& statement)
{
    const auto result = testsupport::RunCommand("sqlite3 -batch '" + file.string() + "' \"" + statement + "\" 2>&1");
    return {result.status, result.output};
}

std::string Query(const fs::path& file, const std::string& statement)
{
    const CommandOutput out = Sql(file, statement);
    EXPECT_EQ(out.status, 0) << out.text;
    return out.text;
}

// The field specification the engine keeps for a table, as it normalised it.
std::string StoredFields(const fs::path& folder, const std::string& table)
{
    return Query(folder / (table + ".edt"), "select value from _edt_meta where key = 'fields'");
}

std::string ColumnNames(const fs::path& folder, const std::string& table)
{
    return Query(folder / (table + ".edt"), "select group_concat(name, ' ') from pragma_table_info('" + table + "')");
}

std::vector<std::string> TableFiles(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".edt") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string IndexTags(const fs::path& folder, const std::string& table)
{
    return Query(folder / (table + ".edt"), "select group_concat(tag || '=' || expr, ' ') from _edt_index");
}

class DataModuleTables : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_TOOLS("sqlite3");
    }

    testsupport::TempDir dir;
    TdmSendoPro dm;
};

}  // namespace

TEST_F(DataModuleTables, EveryTableHasItsColumnsInOrderWithTheirWidths)
{
    dm.CreateEdsTable(dir.str(), "Address",
                      "A_ID,AutoInc; Address1,Char,50; Address2,Char,50;Address3,Char,50; Address4,Char,50;"
                      "City,Char,35; State,Char,4; Zip,Char,10;");
    for (const char* table : {"YourAddress", "Groups", "Members", "MailerNum", "Log37"})
        dm.EnsureTable(dir.str(), table);

    const std::string address =
        "A_ID,AUTOINC;Address1,CHAR,50;Address2,CHAR,50;Address3,CHAR,50;Address4,CHAR,50;City,CHAR,35;"
        "State,CHAR,4;Zip,CHAR,10;\n";
    EXPECT_EQ(StoredFields(dir.path(), "Address"), address);
    EXPECT_EQ(StoredFields(dir.path(), "YourAddress"), address);
    EXPECT_EQ(StoredFields(dir.path(), "Groups"), "G_ID,AUTOINC;Parent_ID,INTEGER;Group_Name,CHAR,40;\n");
    EXPECT_EQ(StoredFields(dir.path(), "Members"), "A_ID,INTEGER;G_ID,INTEGER;\n");
    EXPECT_EQ(StoredFields(dir.path(), "MailerNum"), "CustID,CHAR,9;SerialNum,CHAR,8;Increment,LOGICAL;BarCodes,LOGICAL;\n");
    EXPECT_EQ(Query(dir / "MailerNum.edt", "select CustID, SerialNum, Increment, BarCodes from MailerNum"),
              "000000000|0000000|1|1\n");
    EXPECT_EQ(StoredFields(dir.path(), "Log37"),
              "LID,AUTOINC;DateTime,TIMESTAMP;MailerNum,CHAR,30;CustID,CHAR,11;SerialNum,INTEGER;"
              "ToAddress1,CHAR,50;ToAddress2,CHAR,50;ToAddress3,CHAR,50;ToAddress4,CHAR,50;ToCity,CHAR,35;"
              "ToState,CHAR,4;ToZip,CHAR,10;YourAddress1,CHAR,50;YourAddress2,CHAR,50;YourAddress3,CHAR,50;"
              "YourAddress4,CHAR,50;YourCity,CHAR,35;YourState,CHAR,4;YourZip,CHAR,10;Postage,CHAR,15;"
              "Certified,CHAR,15;Return,CHAR,15;Restricted,CHAR,15;Total,CHAR,15;Department,CHAR,20;"
              "ProcessedBy,CHAR,20;RE,CHAR,25;Comment,CHAR,35;WishRest,LOGICAL;Batch,LOGICAL;Result,CHAR,22;\n");
    EXPECT_EQ(StoredFields(dir.path(), "LogFilters"), "FilterName,CHAR,20;FilterCombination,CHAR,3;\n");
    EXPECT_EQ(StoredFields(dir.path(), "LogFiltersDetail"),
              "FilterName,CHAR,20;FieldName,CHAR,2;Operator,CHAR,2;Value,CHAR,40;\n");
    EXPECT_EQ(StoredFields(dir.path(), "Reports"), "ReportName,CHAR,20;Orientation,CHAR,1;\n");
    EXPECT_EQ(StoredFields(dir.path(), "Report_Detail"), "ReportName,CHAR,20;Field_Name,CHAR,15;FieldOrder,INTEGER;\n");

    // The rows themselves are readable columns under the same names.
    EXPECT_EQ(ColumnNames(dir.path(), "Members"), "A_ID G_ID\n");
    EXPECT_EQ(ColumnNames(dir.path(), "Log37"),
              "LID DateTime MailerNum CustID SerialNum ToAddress1 ToAddress2 ToAddress3 ToAddress4 ToCity ToState "
              "ToZip YourAddress1 YourAddress2 YourAddress3 YourAddress4 YourCity YourState YourZip Postage "
              "Certified Return Restricted Total Department ProcessedBy RE Comment WishRest Batch Result\n");

    // Only these four tables carry an index.
    EXPECT_EQ(IndexTags(dir.path(), "Groups"), "Group_Name=UPPER(Group_Name)\n");
    EXPECT_EQ(IndexTags(dir.path(), "Members"), "ID=A_ID;G_ID\n");
    EXPECT_EQ(IndexTags(dir.path(), "LogFilters"), "FilterName=FilterName\n");
    EXPECT_EQ(IndexTags(dir.path(), "Reports"), "ReportName=ReportName\n");
    for (const char* table : {"Address", "YourAddress", "MailerNum", "Log37", "LogFiltersDetail", "Report_Detail"})
        EXPECT_EQ(IndexTags(dir.path(), table), "\n") << table;
}

TEST_F(DataModuleTables, UniqueIndexesRefuseDuplicatesAndGroupNamesTheirCaseVariants)
{
    for (const char* table : {"Groups", "Members", "Log37"}) dm.EnsureTable(dir.str(), table);
    const fs::path groups = dir / "Groups.edt";
    EXPECT_EQ(Sql(groups, "insert into Groups(Parent_ID, Group_Name) values (0, 'Friends')").status, 0);
    EXPECT_NE(Sql(groups, "insert into Groups(Parent_ID, Group_Name) values (0, 'FRIENDS')").status, 0);
    EXPECT_NE(Sql(groups, "insert into Groups(Parent_ID, Group_Name) values (1, 'friends')").status, 0);
    EXPECT_EQ(Sql(groups, "insert into Groups(Parent_ID, Group_Name) values (0, 'Friends 2')").status, 0);

    const fs::path members = dir / "Members.edt";
    EXPECT_EQ(Sql(members, "insert into Members values (1, 2)").status, 0);
    EXPECT_NE(Sql(members, "insert into Members values (1, 2)").status, 0);
    EXPECT_EQ(Sql(members, "insert into Members values (1, 3)").status, 0);
    EXPECT_EQ(Sql(members, "insert into Members values (2, 2)").status, 0);

    // Filter and report names are unique as written: letter case counts.
    for (const auto& [table, column] : {std::pair{"LogFilters", "FilterName"}, std::pair{"Reports", "ReportName"}}) {
        const fs::path file = dir / (std::string(table) + ".edt");
        const std::string insert = std::string("insert into ") + table + "(" + column + ") values ";
        EXPECT_EQ(Sql(file, insert + "('Monthly')").status, 0) << table;
        EXPECT_NE(Sql(file, insert + "('Monthly')").status, 0) << table;
        EXPECT_EQ(Sql(file, insert + "('MONTHLY')").status, 0) << table;
    }

    // The program's own road refuses the case variant too.
    TEdsTable table;
    table.SetDatabaseName(dir.str());
    table.SetTableName("Groups");
    table.Open();
    table.Append();
    table.FieldByName("Parent_ID")->SetAsInteger(0);
    table.FieldByName("Group_Name")->SetAsString("fRiEnDs");
    EXPECT_THROW(table.Post(), EEDSDatabaseError);
    table.Cancel();
    table.Close();
    EXPECT_EQ(Query(groups, "select count(*) from Groups"), "2\n");
}

TEST_F(DataModuleTables, CreatingLog37LeavesExactlyFiveTableFiles)
{
    dm.CreateEdsTable(dir.str(), "Log37", LogFields());
    EXPECT_EQ(TableFiles(dir.path()), (std::vector<std::string>{"Log37.edt", "LogFilters.edt", "LogFiltersDetail.edt",
                                                                "Report_Detail.edt", "Reports.edt"}));
    // A second creation is refused by the engine and leaves the folder alone.
    EXPECT_THROW(dm.CreateEdsTable(dir.str(), "Log37", LogFields()), EEDSDatabaseError);
    EXPECT_EQ(TableFiles(dir.path()).size(), 5u);
    dm.EnsureTable(dir.str(), "Log37");
    EXPECT_EQ(TableFiles(dir.path()).size(), 5u);
}

TEST_F(DataModuleTables, AStartInterruptedHalfWayIsCompletedByTheNext)
{
    // What a start that stopped right after creating the files leaves behind.
    for (const char* table : {"MailerNum", "Groups", "Members", "Log37", "LogFilters", "Reports"}) {
        TEdsTable work;
        work.CreateTable(TdmSendoPro::TableFileName(dir.str(), table), ttEdsEDT, ANSI, 0, FieldSpecOf(table));
    }
    ASSERT_EQ(Query(dir / "MailerNum.edt", "select count(*) from MailerNum"), "0\n");

    for (const char* table : {"MailerNum", "Groups", "Members", "Log37"}) dm.EnsureTable(dir.str(), table);
    EXPECT_EQ(Query(dir / "MailerNum.edt", "select count(*), CustID from MailerNum"), "1|000000000\n");
    EXPECT_EQ(IndexTags(dir.path(), "Groups"), "Group_Name=UPPER(Group_Name)\n");
    EXPECT_EQ(IndexTags(dir.path(), "Members"), "ID=A_ID;G_ID\n");
    EXPECT_EQ(IndexTags(dir.path(), "LogFilters"), "FilterName=FilterName\n");
    EXPECT_EQ(IndexTags(dir.path(), "Reports"), "ReportName=ReportName\n");
    EXPECT_EQ(TableFiles(dir.path()).size(), 8u);

    // A counter in use is never reseeded by a later start.
    ASSERT_EQ(Sql(dir / "MailerNum.edt", "update MailerNum set CustID = '123456789', SerialNum = '0000042'").status, 0);
    for (const char* table : {"MailerNum", "Groups", "Members", "Log37"}) dm.EnsureTable(dir.str(), table);
    EXPECT_EQ(Query(dir / "MailerNum.edt", "select count(*), CustID || SerialNum from MailerNum"),
              "1|1234567890000042\n");
    EXPECT_EQ(Query(dir / "Groups.edt", "select count(*) from _edt_index"), "1\n");
}

TEST_F(DataModuleTables, TableFilesAreFoundWithoutRegardToCaseAndLockFilesAreNoTables)
{
    EXPECT_FALSE(TdmSendoPro::TableExists(dir.str(), "MailerNum"));
    testsupport::WriteFile(dir / "MailerNum.edt.lck", "");
    EXPECT_FALSE(TdmSendoPro::TableExists(dir.str(), "MailerNum"));
    dm.EnsureTable(dir.str(), "MailerNum");
    EXPECT_EQ(Query(dir / "MailerNum.edt", "select count(*) from MailerNum"), "1\n");

    fs::rename(dir / "MailerNum.edt", dir / "MAILERNUM.EDT");
    EXPECT_TRUE(TdmSendoPro::TableExists(dir.str(), "MailerNum"));
    dm.EnsureTable(dir.str(), "MailerNum");
    EXPECT_EQ(TableFiles(dir.path()), std::vector<std::string>{});  // ".EDT" is not ".edt" for this listing
    EXPECT_EQ(Query(dir / "MAILERNUM.EDT", "select count(*) from MailerNum"), "1\n");

    EXPECT_THROW(dm.EnsureTable(dir.str(), "ZIPCODES"), rtl::Exception);
    EXPECT_THROW(dm.EnsureTable(dir.str(), "log37"), rtl::Exception);  // names are exact
    EXPECT_THROW(dm.EnsureTable((dir / "missing").string(), "Log37"), EEDSDatabaseError);
}

TEST_F(DataModuleTables, CloseAllTablesClosesEverythingAndLeavesMailerNumShared)
{
    dm.EnsureTable(dir.str(), "MailerNum");
    dm.EnsureTable(dir.str(), "Log37");
    dm.SetProgramFolder(dir.str());
    ASSERT_TRUE(dm.EdsConnection1->IsConnected());

    dm.edstMailerNum->SetDatabaseName(dir.str());
    dm.edstMailerNum->SetTableName("MailerNum");
    dm.edstMailerNum->SetExclusive(true);
    dm.edstMailerNum->Open();
    dm.edstLog->SetDatabaseName(dir.str());
    dm.edstLog->Open();
    dm.edsqLog->SetDatabaseName(dir.str());
    dm.edsqLog->SetSQLText("select * from Log37 order by DATETIME");
    dm.edsqLog->Open();

    dm.CloseAllTables();
    EXPECT_FALSE(dm.edstMailerNum->Active());
    EXPECT_FALSE(dm.edstMailerNum->Exclusive());
    EXPECT_FALSE(dm.edstLog->Active());
    EXPECT_FALSE(dm.edsqLog->Active());
    EXPECT_FALSE(dm.EdsConnection1->IsConnected());

    TEdsTable other;
    other.SetDatabaseName(dir.str());
    other.SetTableName("MailerNum");
    other.SetExclusive(true);
    EXPECT_NO_THROW(other.Open());
    other.Close();

    // A close that fails half way still releases MailerNum and the connection.
    dm.SetProgramFolder(dir.str());
    dm.edstLog->Open();
    dm.edstMailerNum->SetExclusive(true);
    dm.edstMailerNum->Open();
    TEdsEntryPointsGuard guard;
    EdsApi.EdsCloseTable = [](EDSHANDLE table) -> UNSIGNED32 {
        ::EdsCloseTable(table);
        return ::EdsSetLastError(5000, reinterpret_cast<const UNSIGNED8*>("injected close failure"));
    };
    EXPECT_THROW(dm.CloseAllTables(), EEDSDatabaseError);
    EXPECT_FALSE(dm.edstMailerNum->Exclusive());
    EXPECT_FALSE(dm.edstLog->Active());
    EXPECT_FALSE(dm.EdsConnection1->IsConnected());
}
