// SQL through TEdsQuery while another station edits a record and appends one:
// the statement that would change the record being edited raises the lock
// error whatever its shape and changes nothing, and an insert leaves the other
// station's record number to it.

#include "platform/edsengine/EdsLockFile.h"
#include "tests/dbaccess/EdsQueryTestSupport.h"
#include "tests/dbaccess/EdsTableTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace edstabletest;

void Exec(const std::string& folder, const std::string& sql) {
    TEdsQuery query;
    query.SetDatabaseName(folder);
    query.SetSQLText(sql);
    query.ExecSQL();
}

std::string Rows(const std::string& folder, const std::string& name = "Y") {
    auto table = OpenTable(folder, name);
    std::string rows;
    for (table->First(); !table->Eof(); table->Next())
        rows += table->FieldByName("ID")->AsString() + ":" + table->FieldByName("A")->AsString() + " ";
    return rows;
}

TEST(EdsQueryOtherStation, ARecordBeingEditedElsewhereIsLeftAloneAndAReservedNumberToItsStation) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    ASSERT_EQ(RunInChild([&] {
                  auto table = CreateAppTable(folder, "Y", "ID,AutoInc; A,Char,10;");
                  table->Open();
                  for (const char* a : {"one", "two", "three"}) table->AppendRecord({db::Variant(), db::Variant(std::string(a))});
              }),
              "");
    // 'e' edits record 1 (a pessimistic lock), 'p' posts it; 'a' appends
    // through the engine and leaves the record unwritten, 'w' writes it.
    TChildProcess station([&](TChildProcess& self) {
        auto table = OpenTable(folder, "Y");
        EDSHANDLE connection = 0, raw = 0;
        for (char command = self.Await(); command != 0; command = self.Await()) {
            if (command == 'e') {
                table->First();
                table->Edit();
                table->FieldByName("A")->SetAsString("edited");
                self.Report("editing");
            } else if (command == 'p') {
                table->Post();
                self.Report("posted");
            } else if (command == 'a') {
                UNSIGNED32 recno = 0;
                EdsConnect(reinterpret_cast<const UNSIGNED8*>(folder.c_str()), &connection);
                EdsOpenTable(connection, reinterpret_cast<const UNSIGNED8*>("Y"), nullptr, EDS_EDT, EDS_ANSI,
                             EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0, &raw);
                EdsAppendRecord(raw);
                EdsGetRecordNum(raw, EDS_IGNOREFILTERS, &recno);
                self.Report(std::to_string(recno));
            } else if (command == 'w') {
                EdsSetField(raw, "A", reinterpret_cast<const UNSIGNED8*>("other"), 5);
                self.Report(std::to_string(EdsWriteRecord(raw)));
            }
        }
    });
    station.Tell('e');
    ASSERT_EQ(station.Next(), "editing");
    const std::string before = Rows(folder);
    for (const char* sql : {"with x as (select 1) update Y set A = 'p' where ID = 1",
                            "update Y set A = 'p' from (select 1 as k) as z where ID = z.k",
                            "delete from Y where ID < 3 order by ID desc limit 2",
                            "replace into Y(ID, A) values(1, 'p')",
                            "insert into Y(ID, A) values(1, 'x') on conflict(ID) do update set A = 'p'",
                            "update or replace Y set ID = 1 where ID = 3"}) {
        const TRaised refused = Raises([&] { Exec(folder, sql); });
        EXPECT_EQ(refused.Code, 5205) << sql << ": " << refused.Message;
        EXPECT_EQ(Rows(folder), before) << sql;
    }
    station.Tell('p');
    ASSERT_EQ(station.Next(), "posted");
    station.Tell('a');
    EXPECT_EQ(station.Next(), "4");
    Exec(folder, "with x as (select 1) insert into Y(A) select 'sql' from x");
    station.Tell('w');
    EXPECT_EQ(station.Next(), "0");
    EXPECT_EQ(Rows(folder), "1:edited 2:two 3:three 4:other 5:sql ");
}

// An append needs a record number, which another station's insert holds for
// as long as it runs: the post is refused after the usual wait, nothing is
// written, and the record stays in insert state so the post can be repeated.
// A statement waits for the numbers no longer either.
TEST(EdsQueryOtherStation, AnAppendBesideAnInsertIsRefusedInTimeAndPostedAgainLater) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    ASSERT_EQ(RunInChild([&] {
                  auto table = CreateAppTable(folder, "Z", "ID,AutoInc; A,Char,10;");
                  table->Open();
                  table->AppendRecord({db::Variant(), db::Variant(std::string("one"))});
              }),
              "");
    // 'i' runs an insert that never ends; 'h' holds the numbers as an append
    // does for a moment. Either station ends by itself after a while, so that
    // a wait without a limit ends too.
    TChildProcess inserting([&](TChildProcess& self) {
        if (self.Await() != 'i') return;
        ::alarm(30);
        Exec(folder, "insert into Z(A) select 'endless' from (with recursive c(n) as (select 1 union all "
                     "select n + 1 from c) select n from c) where n < 0");
    });
    TChildProcess holding([&](TChildProcess& self) {
        if (self.Await() != 'h') return;
        eds::LockFile numbers(folder + "/Z.edt");
        numbers.HoldNumbers();
        self.Report("holding");
        ::alarm(30);
        self.Await();
    });
    eds::LockFile probe(folder + "/Z.edt");
    const auto heldElsewhere = [&] {
        for (int i = 0; i < 60000 && !probe.NumbersHeldElsewhere(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return probe.NumbersHeldElsewhere();
    };

    inserting.Tell('i');
    ASSERT_TRUE(heldElsewhere());
    auto table = OpenTable(folder, "Z");
    table->Append();
    table->FieldByName("A")->SetAsString("posted");
    TRaised refused = Raises([&] { table->Post(); });
    EXPECT_EQ(refused.Code, 5210) << refused.Message;
    EXPECT_NE(refused.Message.find("being written by another user"), std::string::npos) << refused.Message;
    EXPECT_NE(refused.Message.find("Try again"), std::string::npos) << refused.Message;
    EXPECT_EQ(table->State(), db::dsInsert);
    EXPECT_TRUE(probe.NumbersHeldElsewhere()) << "the insert ended before the post was refused";
    inserting.Kill();

    holding.Tell('h');
    ASSERT_EQ(holding.Next(), "holding");
    refused = Raises([&] { Exec(folder, "insert into Z(A) values('sql')"); });
    EXPECT_EQ(refused.Code, 5210) << refused.Message;
    EXPECT_TRUE(probe.NumbersHeldElsewhere()) << "the station let the numbers go before the insert was refused";
    EXPECT_EQ(Rows(folder, "Z"), "1:one ");
    holding.Kill();

    table->Post();
    EXPECT_EQ(table->State(), db::dsBrowse);
    Exec(folder, "insert into Z(A) values('sql')");
    EXPECT_EQ(Rows(folder, "Z"), "1:one 2:posted 3:sql ");
}

}  // namespace
