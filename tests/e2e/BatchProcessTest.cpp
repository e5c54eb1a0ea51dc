// Two copies of the real program pressing Print Batch at once on one data
// folder: every batch entry is printed and numbered exactly once.

#include "tests/e2e/E2EProgram.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using e2e::Output;
using e2e::ProgramCommand;
using e2e::SqlRows;
using e2e::SqlValue;
using e2e::Status;

TEST(BatchStations, TwoProgramsPrintingTheBatchAtOncePrintEachEntryOnce)
{
    REQUIRE_TOOLS("sqlite3");
    constexpr int kEntries = 12;
    e2e::ProgramFolder folder;
    testsupport::RunCommand(ProgramCommand(folder, 0, "setup"));
    ASSERT_EQ(Status(folder, "setup"), "0") << Output(folder, "setup");
    folder.SetNumbering("123456789", "0000041", true, true);

    // Batch mode as the settings file keeps it: each print only logs an entry.
    const std::filesystem::path ini = folder.home / "sendo4.ini";
    std::string settings = testsupport::ReadFile(ini);
    const std::size_t at = settings.find("Batch=0");
    ASSERT_NE(at, std::string::npos) << settings;
    settings.replace(at, 7, "Batch=1");
    testsupport::WriteFile(ini, settings);
    testsupport::RunCommand(ProgramCommand(folder, kEntries, "entries"));
    ASSERT_EQ(Status(folder, "entries"), "0") << Output(folder, "entries");
    ASSERT_EQ(SqlValue(folder.Log(), "select count(*) from Log37 where Batch = 1"), std::to_string(kEntries));
    ASSERT_EQ(folder.Serial(), "0000041");

    testsupport::RunCommand(ProgramCommand(folder, 0, "a", "miPrintBatch") + " & " +
                            ProgramCommand(folder, 0, "b", "miPrintBatch") + " & wait");

    // One station printed the batch; the other found it empty or the counter
    // in use, and said so.
    const std::string a = Output(folder, "a"), b = Output(folder, "b");
    const bool aPrinted = a.find(std::to_string(kEntries) + " Mailers from Batch has been sent") != std::string::npos;
    const bool bPrinted = b.find(std::to_string(kEntries) + " Mailers from Batch has been sent") != std::string::npos;
    EXPECT_NE(aPrinted, bPrinted) << a << "\n----\n" << b;
    EXPECT_EQ(Status(folder, aPrinted ? "a" : "b"), "0");
    EXPECT_EQ(Status(folder, aPrinted ? "b" : "a"), "1");

    EXPECT_EQ(SqlValue(folder.Log(), "select count(*) from Log37 where Batch = 1"), "0");
    const auto numbers = SqlRows(folder.Log(), "select MailerNum from Log37 order by SerialNum");
    EXPECT_EQ(std::set<std::string>(numbers.begin(), numbers.end()).size(), std::size_t{kEntries});
    EXPECT_EQ(SqlValue(folder.Log(), "select min(SerialNum) || '-' || max(SerialNum) from Log37"), "41-52");
    EXPECT_TRUE(SqlRows(folder.Log(), "select MailerNum from Log37 group by MailerNum having count(*) > 1").empty());
    EXPECT_EQ(folder.Serial(), "0000053");
    EXPECT_EQ(e2e::PdfFiles(folder.Pdfs()).size(), std::size_t{kEntries});
}

}  // namespace
