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

TEST(BatchPriority, ThePrintRecordCarriesTheEntrysOwnPriorityWhateverTheSwitchSays)
{
    gPriority = true;  // the window's switch, which must not decide
    TBatchRow plain = Fees("0.39", "2.40", "1.85", "", "4.64");
    plain.ToAddress1 = "Jane Roe";
    plain.ToCity = "Springfield";
    plain.ToState = "IL";
    plain.ToZip = "12345-";
    const MailerPrintFields off = BatchPrintRecord(plain, "123-456-789", "0000041", false);
    EXPECT_EQ(off[28], "N");
    EXPECT_EQ(off[29], "");
    EXPECT_EQ(ArticleNumberDisplay(off[15]), "9214 7123 4567 8900 0004 11");
    EXPECT_EQ(off[6] + "|" + off[7] + "|" + off[11], "Jane Roe|Springfield IL 12345|12345-");

    gPriority = false;
    TBatchRow priority = plain;
    priority.Total = "13.99";
    const MailerPrintFields on = BatchPrintRecord(priority, "123456789", "0000041", false);
    EXPECT_EQ(on[28], "Y");
    EXPECT_EQ(on[29], "          9.35");
    EXPECT_EQ(ArticleNumberDisplay(on[15]), "9202 7123 4567 8900 0004 16");

    // With barcodes the printer makes the number: it gets the ID without dashes.
    const MailerPrintFields barcodes = BatchPrintRecord(priority, "123-456-789", "0000041", true);
    EXPECT_EQ(barcodes[15] + "|" + barcodes[16], "123456789|0000041");
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
    TEdsQuery check;
    check.SetDatabaseName(dir.str());
    check.SetSQLText("select * from Log37 where LID = " + std::to_string(rows[0].LID));
    check.Open();
    EXPECT_EQ(check.FieldByName("MailerNum")->AsString(), number.MailerNum);
    EXPECT_EQ(check.FieldByName("SerialNum")->AsInteger(), 41);
    EXPECT_FALSE(check.FieldByName("DateTime")->IsNull());
    EXPECT_FALSE(check.FieldByName("Batch")->AsBoolean());
    check.Close();
    check.SetSQLText("select count(*) as N from Log37");
    check.Open();
    EXPECT_EQ(check.FieldByName("N")->AsInteger(), 2);
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
