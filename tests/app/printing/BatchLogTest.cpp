// The batch entries of a real log table, and what each one gives the printer.

#include "app/data/U_ArticleNumber.h"
#include "app/data/U_Globals.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "app/printing/U_BatchLog.h"
#include "dbaccess/edsquery.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TBatchRow Fees(const std::string& postage, const std::string& certified, const std::string& ret,
               const std::string& restricted, const std::string& total)
{
    TBatchRow row;
    row.Postage = postage;
    row.Certified = certified;
    row.Return = ret;
    row.Restricted = restricted;
    row.Total = total;
    return row;
}

TEST(BatchPriority, TheFeeIsTheTotalLessTheOtherFeesCountedInWholeCents)
{
    // Sums that binary fractions do not hold exactly still come out at 0.
    EXPECT_EQ(PriorityFeeCents(Fees("0.39", "2.40", "1.85", "", "4.64")), 0);
    EXPECT_EQ(PriorityFeeCents(Fees("0.1", "0.2", "", "", "0.3")), 0);
    EXPECT_EQ(PriorityFeeCents(Fees("0.39", "2.40", "1.85", "", "13.99")), 935);
    // Money as the window shows it, blanks before; blank and unreadable fees count 0.
    EXPECT_EQ(PriorityFeeCents(Fees("     0.39", " ", "abc", "", "          9.74")), 935);
    // A total below its parts (an entry edited by hand) is no priority.
    EXPECT_LT(PriorityFeeCents(Fees("0.39", "2.40", "", "", "1.00")), 0);
    EXPECT_EQ(PriorityFeeCents(Fees("", "", "", "", "")), 0);
}

TEST(BatchPriority, WithoutBarcodesTheNumberCarriesTheEntrysOwnServiceCodeWhateverTheSwitchSays)
{
    TBatchRow row = Fees("0.39", "2.40", "1.85", "", "4.64");
    row.ToZip = "12345-";
    gPriority = true;
    EXPECT_EQ(ArticleNumberDisplay(BatchPrintRecord(row, "123-456-789", "0000041", false)[15]),
              "9214 7123 4567 8900 0004 11");
    gPriority = false;
    row.Total = "13.99";
    const MailerPrintFields priority = BatchPrintRecord(row, "123456789", "0000041", false);
    EXPECT_EQ(ArticleNumberDisplay(priority[15]), "9202 7123 4567 8900 0004 16");
    EXPECT_EQ(priority[28] + "|" + priority[29], "Y|          9.35");
}

class BatchLogTable : public ::testing::Test {
protected:
    BatchLogTable() { dm.EnsureTable(dir.str(), "Log37"); }

    void Exec(const std::string& sql)
    {
        TEdsQuery query;
        query.SetDatabaseName(dir.str());
        query.SetSQLText(sql);
        query.ExecSQL();
    }

    testsupport::TempDir dir;
    TdmSendoPro dm;
};

TEST_F(BatchLogTable, AnEntryLeavesTheBatchOnceAndClearTakesOnlyBatchEntries)
{
    TBatchLog log(dir.str());
    EXPECT_FALSE(log.Any());
    EXPECT_TRUE(log.Read().empty());
    Exec("insert into Log37 (ToAddress1, Total, WishRest, Batch) values ('Ann', '4.64', True, True)");
    Exec("insert into Log37 (ToAddress1, MailerNum, Batch) values ('Printed', '9214', False)");
    Exec("insert into Log37 (ToAddress1, Total, Batch) values ('Bob', '13.99', True)");
    EXPECT_TRUE(log.Any());

    const std::vector<TBatchRow> rows = log.Read();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].ToAddress1 + rows[1].ToAddress1, "AnnBob");
    EXPECT_TRUE(rows[0].WishRest);
    EXPECT_EQ(rows[1].Total, "13.99");

    const TPrintedNumber number{"9214 7123 4567 8900 0004 11", "123456789", 41};
    EXPECT_TRUE(log.MarkPrinted(rows[0].LID, number));
    // Printed already (here or on another station): nothing changes.
    EXPECT_FALSE(log.MarkPrinted(rows[0].LID, {"9214 7123 4567 8900 0004 28", "123456789", 42}));
    EXPECT_FALSE(log.MarkPrinted(999, number));
    ASSERT_EQ(log.Read().size(), 1u);
    EXPECT_EQ(log.Read()[0].ToAddress1, "Bob");

    EXPECT_EQ(log.Clear(), 1);
    EXPECT_FALSE(log.Any());
}

TEST_F(BatchLogTable, FindingTheBatchEntriesReadsTheirIndexNotTheWholeLog)
{
    REQUIRE_TOOLS("sqlite3");
    const std::string plan =
        testsupport::RunCommand("sqlite3 '" + dir.str() + "/Log37.edt' 'explain query plan select * from Log37 where " +
                                kBatchCondition + " order by LID'")
            .output;
    EXPECT_NE(plan.find("USING INDEX Log37_BatchEntries"), std::string::npos) << plan;
}

}  // namespace
