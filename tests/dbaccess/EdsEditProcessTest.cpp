// Two processes on one table: record locks of pessimistic edits, the change
// check of optimistic edits, and an exclusively opened MailerNum table.

#include "tests/dbaccess/EdsTableTestSupport.h"

#include "platform/edsengine/EdsCursor.h"

#include <chrono>
#include <thread>

using namespace edstabletest;

namespace {

// Makes a MailerNum table with its one row, in a child so that the parent's
// engine stays untouched until the test's own child has been forked.
void MakeMailerNum(const std::string& Folder) {
    const std::string failure = RunInChild([&] {
        auto table = CreateAppTable(Folder, "MailerNum",
                                    "CustID,Char,9; SerialNum,Char,8; Increment,Logical;BarCodes,Logical");
        table->Open();
        table->AppendRecord({db::Variant(std::string("000000000")), db::Variant(std::string("0000000")),
                             db::Variant(true), db::Variant(true)});
    });
    ASSERT_EQ(failure, "");
}

std::string Serial(const std::string& Folder) {
    return OpenTable(Folder, "MailerNum")->FieldByName("SerialNum")->AsString();
}

}  // namespace

TEST(EdsEditProcesses, PessimisticEditLocksTheRecordAgainstASecondProcessUntilPosted) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    MakeMailerNum(folder);
    TChildProcess other([&](TChildProcess& self) {
        auto table = OpenTable(folder, "MailerNum");
        table->Edit();
        table->FieldByName("SerialNum")->SetAsString("0000001");
        self.Report("editing");
        if (self.Await() != 'p') return;
        table->Post();
        self.Report("posted");
        self.Await();
    });
    ASSERT_EQ(other.Next(), "editing");

    auto table = OpenTable(folder, "MailerNum");
    const TRaised refused = Raises([&] { table->Edit(); });
    EXPECT_TRUE(refused.Raised);
    EXPECT_EQ(refused.Code, static_cast<std::int32_t>(EDS_E_RECORD_LOCKED));
    EXPECT_EQ(table->State(), db::dsBrowse);

    other.Tell('p');
    ASSERT_EQ(other.Next(), "posted");
    // The post gave the lock back; this edit starts from the other's value.
    table->Edit();
    EXPECT_EQ(table->FieldByName("SerialNum")->AsString(), "0000001");
    table->FieldByName("SerialNum")->SetAsString("0000002");
    table->Post();
    other.Tell('q');
    EXPECT_TRUE(other.Join());
    EXPECT_EQ(Serial(folder), "0000002");
}

TEST(EdsEditProcesses, PessimisticLockOfAKilledEditorIsGone) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    MakeMailerNum(folder);
    TChildProcess other([&](TChildProcess& self) {
        auto table = OpenTable(folder, "MailerNum");
        table->Edit();
        self.Report("editing");
        for (;;) self.Await();
    });
    ASSERT_EQ(other.Next(), "editing");
    auto table = OpenTable(folder, "MailerNum");
    EXPECT_EQ(Raises([&] { table->Edit(); }).Code, static_cast<std::int32_t>(EDS_E_RECORD_LOCKED));
    other.Kill();
    table->Edit();
    EXPECT_EQ(table->State(), db::dsEdit);
    table->Cancel();
}

TEST(EdsEditProcesses, OptimisticPostAfterAnotherProcessChangedTheRecordIsRefusedAndKeepsTheirData) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    MakeMailerNum(folder);
    TChildProcess other([&](TChildProcess& self) {
        if (self.Await() != 'e') return;
        auto table = OpenTable(folder, "MailerNum", false, lmOptimistic);
        table->Edit();
        table->FieldByName("SerialNum")->SetAsString("0000777");
        table->Post();
        self.Report("posted");
        self.Await();
    });

    auto table = OpenTable(folder, "MailerNum", false, lmOptimistic);
    table->Edit();
    table->FieldByName("SerialNum")->SetAsString("0000001");
    // No lock is held while editing optimistically: the other process can post.
    other.Tell('e');
    ASSERT_EQ(other.Next(), "posted");

    const TRaised refused = Raises([&] { table->Post(); });
    EXPECT_TRUE(refused.Raised);
    EXPECT_EQ(refused.Code, static_cast<std::int32_t>(EDS_E_RECORD_CHANGED));
    EXPECT_NE(refused.Message.find("Record was changed by another user."), std::string::npos) << refused.Message;
    EXPECT_EQ(table->State(), db::dsEdit);

    // The short lock of the post was given back: the record can be locked elsewhere.
    auto third = OpenTable(folder, "MailerNum");
    third->Edit();
    third->Cancel();

    table->Cancel();
    EXPECT_EQ(table->FieldByName("SerialNum")->AsString(), "0000777");
    other.Tell('q');
    EXPECT_TRUE(other.Join());
    EXPECT_EQ(Serial(folder), "0000777");
}

TEST(EdsEditProcesses, MailerNumOpenedExclusivelyIsRefusedToAnotherProcessUntilClosedOrKilled) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    MakeMailerNum(folder);
    TChildProcess holder([&](TChildProcess& self) {
        for (;;) {
            auto table = OpenTable(folder, "MailerNum", true);
            table->Edit();
            table->FieldByName("SerialNum")->SetAsString("0000009");
            table->Post();
            self.Report("holding");
            if (self.Await() != 'c') break;
            table->Close();
            self.Report("closed");
            if (self.Await() != 'o') break;
        }
        for (;;) self.Await();
    });
    ASSERT_EQ(holder.Next(), "holding");

    TEdsTable table;
    table.SetDatabaseName(folder);
    table.SetTableName("MailerNum");
    const TRaised shared = Raises([&] { table.Open(); });
    EXPECT_EQ(shared.Code, static_cast<std::int32_t>(EDS_E_TABLE_LOCKED));
    EXPECT_FALSE(table.Active());
    table.SetExclusive(true);
    EXPECT_EQ(Raises([&] { table.Open(); }).Code, static_cast<std::int32_t>(EDS_E_TABLE_LOCKED));
    EXPECT_FALSE(table.Active());

    holder.Tell('c');
    ASSERT_EQ(holder.Next(), "closed");
    table.Open();
    EXPECT_EQ(table.FieldByName("SerialNum")->AsString(), "0000009");
    table.Close();

    holder.Tell('o');
    ASSERT_EQ(holder.Next(), "holding");
    table.SetExclusive(false);
    EXPECT_EQ(Raises([&] { table.Open(); }).Code, static_cast<std::int32_t>(EDS_E_TABLE_LOCKED));
    holder.Kill();
    table.Open();
    EXPECT_TRUE(table.Active());
}

TEST(EdsEditProcesses, OptimisticEditOfARecordAnotherProcessDeletedEndsOnCancel) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    // The child makes the table and, on each 'd', deletes the first record.
    TChildProcess other([&](TChildProcess& self) {
        auto table = CreateAppTable(folder, "Queue", "Name,Char,10; Count,Integer");
        table->Open();
        for (const char* name : {"first", "second"}) table->AppendRecord({std::string(name), 1});
        self.Report("made");
        while (self.Await() == 'd') {
            table->First();
            table->Delete();
            self.Report("deleted");
        }
    });
    ASSERT_EQ(other.Next(), "made");
    auto table = OpenTable(folder, "Queue", false, lmOptimistic);
    for (const bool postFirst : {false, true}) {
        SCOPED_TRACE(postFirst ? "post tried first" : "no post tried");
        table->First();
        table->Edit();
        table->FieldByName("Count")->SetAsInteger(2);
        other.Tell('d');
        ASSERT_EQ(other.Next(), "deleted");
        // Rows read ahead count as current for a moment; then another station's
        // commit is looked for.
        std::this_thread::sleep_for(eds::kFreshFor + std::chrono::milliseconds(100));
        if (postFirst) {
            EXPECT_TRUE(Raises([&] { table->Post(); }).Raised);
        }
        table->Cancel();
        EXPECT_EQ(table->State(), db::dsBrowse);
        if (!postFirst) {
            EXPECT_EQ(table->FieldByName("Name")->AsString(), "second");  // the neighbour
        } else {
            EXPECT_TRUE(table->Eof() && table->Bof());  // nothing left
        }
        table->First();
        EXPECT_EQ(table->Locate("Name", "second", {}), !postFirst);
    }
    table->Close();
    EXPECT_FALSE(table->Active());
    other.Tell('q');
    EXPECT_TRUE(other.Join());
}
