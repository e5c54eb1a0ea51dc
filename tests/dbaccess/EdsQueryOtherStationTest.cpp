// SQL through TEdsQuery while another station edits a record and appends one:
// the statement that would change the record being edited raises the lock
// error whatever its shape and changes nothing, and an insert leaves the other
// station's record number to it.

#include "tests/dbaccess/EdsQueryTestSupport.h"
#include "tests/dbaccess/EdsTableTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace edstabletest;

void Exec(const std::string& folder, const std::string& sql) {
    TEdsQuery query;
    query.SetDatabaseName(folder);
    query.SetSQLText(sql);
    query.ExecSQL();
}

std::string Rows(const std::string& folder) {
    auto table = OpenTable(folder, "Y");
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

}  // namespace
