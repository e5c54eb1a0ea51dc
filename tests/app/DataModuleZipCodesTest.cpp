// Table ZIPCODES as the build makes it from the converter's rows, read back
// with the sqlite3 tool.
#include "app/U_dmSendoProZipCodes.h"
#include "platform/rtl/SysUtils.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

std::string Sql(const std::filesystem::path& table, const std::string& statement)
{
    const auto result =
        testsupport::RunCommand("sqlite3 -batch '" + table.string() + "' \"" + statement + "\" 2>&1");
    EXPECT_EQ(result.status, 0) << result.output;
    return result.output;
}

}  // namespace

TEST(DataModuleZipCodes, RowsQuotedNamesAndIndexLandInTheTable)
{
    if (!testsupport::HaveProgram("sqlite3")) GTEST_SKIP() << "sqlite3 is not installed";
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "ZIPCODES.csv",
                           "ZIP,City,State\r\n"
                           "00501,Holtsville,NY\r\n"
                           "12345,\"Schenectady, \"\"GE\"\"\",NY\r\n"
                           "\r\n"
                           "96799,Pago Pago,AS\r\n");
    const auto table = dir / "ZIPCODES.edt";
    EXPECT_EQ(WriteZipCodesTable((dir / "ZIPCODES.csv").string(), table.string()), 3);
    EXPECT_EQ(Sql(table, "select ZIP, City, State from ZIPCODES order by ZIP"),
              "00501|Holtsville|NY\n12345|Schenectady, \"GE\"|NY\n96799|Pago Pago|AS\n");
    // The lookup compares ZIP as text: leading zeros must survive.
    EXPECT_EQ(Sql(table, "select count(*) from ZIPCODES where ZIP = '00501'"), "1\n");
    EXPECT_NE(Sql(table, "select sql from sqlite_master where type = 'index'").find("ZIP"), std::string::npos);

    // A second run replaces the table instead of failing on the existing file.
    testsupport::WriteFile(dir / "ZIPCODES.csv", "ZIP,City,State\n62701,Springfield,IL\n");
    EXPECT_EQ(WriteZipCodesTable((dir / "ZIPCODES.csv").string(), table.string()), 1);
    EXPECT_EQ(Sql(table, "select ZIP || ' ' || City from ZIPCODES"), "62701 Springfield\n");
}

TEST(DataModuleZipCodes, BadInputNamesItsLineAndLeavesNoTable)
{
    testsupport::TempDir dir;
    const auto table = dir / "ZIPCODES.edt";
    const struct {
        std::string csv;
        std::string where;
    } cases[] = {
        {"ZIP,City,State\n00501,Holtsville,NY\n1234,Short,NY\n", "line 3"},
        {"ZIP,City,State\n00501,\"Holtsville,NY\n", "line 2"},
        {"ZIP,City,State\n00501,A city whose name is far too long to fit,NY\n", "line 2"},
        {"Zip;City;State\n", "line 1"},
    };
    for (const auto& c : cases) {
        testsupport::WriteFile(dir / "ZIPCODES.csv", c.csv);
        try {
            WriteZipCodesTable((dir / "ZIPCODES.csv").string(), table.string());
            ADD_FAILURE() << "accepted: " << c.csv;
        } catch (const rtl::Exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.where), std::string::npos) << e.what();
        }
        EXPECT_FALSE(std::filesystem::exists(table)) << c.csv;
        EXPECT_FALSE(std::filesystem::exists(table.string() + ".lck")) << c.csv;
    }
    EXPECT_THROW(WriteZipCodesTable((dir / "none.csv").string(), table.string()), rtl::Exception);
}
