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

// ---- another process deleting and changing records of a ten-record table ---------------

namespace {

// Stock: Qty 10 to 100 in record order, Name "j" to "a", so that ByName reverses it.
// Commands: 'a'..'j' deletes the record of Qty 10..100, 'A'..'J' changes its Name to
// "other" under a lock, 'r' makes the ten records again.
void ServeStock(const std::string& Folder, TChildProcess& Self) {
    auto table = CreateAppTable(Folder, "Stock", "Name,Char,10; Qty,Integer");
    table->AddIndex("ByName", "Name", {});
    table->Open();
    for (char command = 'r'; command != 0 && command != 'q'; command = Self.Await()) {
        const bool change = command >= 'A' && command <= 'J';
        const TRaised raised = Raises([&] {
            if (command == 'r') {
                for (table->First(); !table->Eof();) table->Delete();
                for (int i = 1; i <= 10; ++i) table->AppendRecord({std::string(1, static_cast<char>('k' - i)), i * 10});
            } else if (!table->Locate("Qty", ((change ? command - 'A' : command - 'a') + 1) * 10, {})) {
                throw EEDSDatabaseError(nullptr, 0, "no such record");
            } else if (change) {
                table->Edit();
                table->FieldByName("Name")->SetAsString("other");
                table->Post();
            } else {
                table->Delete();
            }
        });
        if (table->State() == db::dsEdit) table->Cancel();
        Self.Report(raised.Raised ? "refused " + std::to_string(raised.Code) : "done");
    }
}

// The other station, ready; Send gives it a command and answers its reply.
struct TStockStation {
    explicit TStockStation(const std::string& Folder) : child([Folder](TChildProcess& self) { ServeStock(Folder, self); }) {
        EXPECT_EQ(child.Next(), "done");
    }
    std::string Send(char Command) {
        child.Tell(Command);
        return child.Next();
    }
    TChildProcess child;
};

// The dataset on Stock, optimistic, through a connection that can hold a transaction.
struct TStock {
    explicit TStock(const std::string& Folder) {
        connection.SetConnectPath(Folder);
        table.SetEdsConnection(&connection);
        table.SetTableName("Stock");
        table.EdsTableOptions().SetEdsRecordLockingMode(lmOptimistic);
        table.Open();
    }
    int Qty() { return table.FieldByName("Qty")->AsInteger(); }
    TEdsConnection connection{nullptr};
    TEdsTable table;
};

}  // namespace

TEST(EdsEditProcesses, PessimisticEditNeverPostsWithoutItsLock) {
    testsupport::TempDir dir;
    TStockStation other(dir.str());
    const std::string locked = "refused " + std::to_string(EDS_E_RECORD_LOCKED);
    auto stock = OpenTable(dir.str(), "Stock");
    const auto stored = [&](int Qty) {
        auto reader = OpenTable(dir.str(), "Stock", false, lmOptimistic);
        return reader->Locate("Qty", Qty, {}) ? reader->FieldByName("Name")->AsString() : "";
    };
    static bool failing = false;

    // A cancel whose re-read fails keeps the edit and its lock; a later one ends both.
    stock->SetOnFilterRecord([](db::TDataSet&, bool& accept) {
        if (failing) throw db::EDatabaseError("filter failed");
        accept = true;
    });
    stock->SetFiltered(true);
    stock->Edit();
    stock->FieldByName("Name")->SetAsString("mine");
    failing = true;
    EXPECT_THROW(stock->Cancel(), db::EDatabaseError);
    failing = false;
    EXPECT_EQ(stock->State(), db::dsEdit);
    EXPECT_EQ(other.Send('A'), locked);
    stock->Cancel();
    EXPECT_EQ(other.Send('A'), "done");
    stock->SetFiltered(false);
    stock->Next();

    // Whatever gives the lock back while the edit stays, the post refuses and writes
    // nothing: here a calculation that fails as the edit enters its state.
    db::TDataSource source(nullptr);
    source.SetDataSet(stock.get());
    stock->OnCalcFields = [](db::TDataSet&) {
        if (failing) throw db::EDatabaseError("calculation failed");
    };
    source.OnStateChange = [&](db::TDataSource&) {
        failing = stock->State() == db::dsEdit;
        if (failing) stock->FieldByName("Qty")->SetAsInteger(11);
    };
    EXPECT_THROW(stock->Edit(), db::EDatabaseError);
    failing = false;
    source.OnStateChange = nullptr;
    ASSERT_EQ(stock->State(), db::dsEdit);
    EXPECT_EQ(other.Send('B'), "done");
    stock->FieldByName("Name")->SetAsString("mine");
    const TRaised refused = Raises([&] { stock->Post(); });
    EXPECT_EQ(refused.Code, 5121);
    EXPECT_NE(refused.Message.find("no longer locked"), std::string::npos) << refused.Message;
    EXPECT_EQ(stored(20), "other");
    stock->Cancel();
    source.SetDataSet(nullptr);
}

TEST(EdsEditProcesses, MovesFromARecordAnotherProcessDeletedLandOnItsNeighbour) {
    testsupport::TempDir dir;
    TStockStation other(dir.str());
    TStock stock(dir.str());
    TEdsTable& t = stock.table;
    for (const bool byName : {false, true}) {
        SCOPED_TRACE(byName ? "ByName order" : "record order");
        t.SetIndexName(byName ? "ByName" : "");
        // A cancel after a post refused for the record's going, also inside a
        // transaction; the edit changed the key the order sorts by.
        for (const bool transaction : {false, true}) {
            ASSERT_EQ(other.Send('r'), "done");
            t.First();
            if (transaction) stock.connection.BeginTransaction();
            ASSERT_TRUE(t.Locate("Qty", 30, {}));
            t.Edit();
            t.FieldByName("Name")->SetAsString("zz");
            ASSERT_EQ(other.Send('c'), "done");
            EXPECT_EQ(Raises([&] { t.Post(); }).Code, static_cast<std::int32_t>(EDS_E_RECORD_NOT_FOUND));
            t.Cancel();
            EXPECT_EQ(stock.Qty(), byName ? 20 : 40) << transaction;
            if (transaction) stock.connection.Rollback();
        }
        // A cancelled insert begun on the record that went.
        ASSERT_EQ(other.Send('r'), "done");
        t.First();
        ASSERT_TRUE(t.Locate("Qty", 30, {}));
        t.Insert();
        ASSERT_EQ(other.Send('c'), "done");
        t.Cancel();
        EXPECT_EQ(stock.Qty(), byName ? 20 : 40);
        // Next, Prior and Refresh after Lookup moved the engine's cursor away.
        const std::vector<std::pair<int, std::function<void()>>> moves{
            {40, [&] { t.Next(); }}, {60, [&] { t.Prior(); }}, {80, [&] { t.Refresh(); }}};
        const int neighbours[2][3] = {{50, 50, 90}, {20, 70, 70}};
        for (std::size_t i = 0; i < moves.size(); ++i) {
            ASSERT_TRUE(t.Locate("Qty", moves[i].first, {}));
            EXPECT_EQ(t.Lookup("Qty", 90, "Name").ToString(), "b");
            ASSERT_EQ(other.Send(static_cast<char>('a' + moves[i].first / 10 - 1)), "done");
            moves[i].second();
            EXPECT_EQ(stock.Qty(), neighbours[byName][i]) << "from " << moves[i].first;
        }
    }
}

TEST(EdsEditProcesses, CancelRightAfterAnotherProcessDeletedTheRecordLeavesIt) {
    testsupport::TempDir dir;
    TStockStation other(dir.str());
    TStock stock(dir.str());
    for (const bool byName : {false, true}) {
        for (const bool transaction : {false, true}) {
            SCOPED_TRACE(std::string(byName ? "ByName order" : "record order") + (transaction ? ", in a transaction" : ""));
            ASSERT_EQ(other.Send('r'), "done");
            stock.table.SetIndexName(byName ? "ByName" : "");
            stock.table.First();
            if (transaction) stock.connection.BeginTransaction();
            ASSERT_TRUE(stock.table.Locate("Qty", 40, {}));
            stock.table.Edit();
            ASSERT_EQ(other.Send('d'), "done");
            stock.table.Cancel();  // at once: the rows read have no time to age
            EXPECT_EQ(stock.Qty(), byName ? 30 : 50);
            EXPECT_FALSE(Raises([&] { stock.table.Edit(); }).Raised);
            stock.table.Cancel();
            if (transaction) stock.connection.Rollback();
        }
    }
}
