// The SQL the program sends, run through TEdsQuery over the program's tables:
// SELECTs opened, everything else through ExecSQL, with rows and rows affected;
// and what happens when a statement goes the wrong way.

#include "tests/dbaccess/EdsQueryTestSupport.h"

#include <gtest/gtest.h>

namespace {

using querytest::ErrorOf;
using querytest::ProgramFolder;
using querytest::Strings;

constexpr const char* kNoCursorText =
    "The SQL statement did not generate a cursor handle.  Use TEdsQuery.ExecSQL to execute SQL statements that are "
    "not SELECT statements";

TEST(EdsQueryProgramStatements, AddressBookGroupsAndMembers) {
    ProgramFolder f;
    EXPECT_EQ(f.Exec("insert into Address (Address1, City, State, Zip) values('O''Hara & Sons', 'Springfield', 'IL', "
                     "'62701')"),
              1);
    EXPECT_EQ(f.Exec("insert into Address (Address1, City) values('Bob', 'Shelbyville')"), 1);
    EXPECT_EQ(f.Exec("insert into Address (Address1) values('Carl')"), 1);
    EXPECT_EQ(f.Column("select max(A_ID) as LastID from Address", "LastID"), Strings{"3"});
    EXPECT_EQ(f.Column("select * from Address where Address1 = 'O''Hara & Sons'", "State"), Strings{"IL"});

    for (const char* name : {"Friends", "Clients", "Hobby"})
        EXPECT_EQ(f.Exec(std::string("insert into Groups (Parent_ID, Group_Name) values(0, '") + name + "')"), 1);
    EXPECT_EQ(f.Exec("insert into Groups (Parent_ID, Group_Name) values(1, 'Old friends')"), 1);
    for (const char* m : {"(1, 3)", "(2, 3)", "(3, 4)", "(2, 4)", "(7, 2)", "(7, 1)"})
        EXPECT_EQ(f.Exec(std::string("insert into Members (A_ID, G_ID) values") + m), 1);

    EXPECT_EQ(f.Column("select A.*  from Address A, Members M where M.G_ID = 3 and A.A_ID = M.A_ID order by A.A_ID",
                       "A_ID"),
              (Strings{"1", "2"}));
    EXPECT_EQ(f.Column("select a.* from Address a, Members m where ((M.G_ID = 3)or (M.G_ID = 4)) and m.A_ID = a.A_ID "
                       "order by a.A_ID",
                       "Address1"),
              (Strings{"O'Hara & Sons", "Bob", "Bob", "Carl"}));
    EXPECT_EQ(f.Column("select g.Group_Name from Groups g, Members m where m.A_ID = 7 and m.G_ID = g.G_ID order by g.G_ID",
                       "Group_Name"),
              (Strings{"Friends", "Clients"}));

    // Unique indexes refuse duplicates as engine errors, the group name without regard to case.
    std::string message;
    EXPECT_EQ(ErrorOf([&] { f.Exec("insert into Groups (Parent_ID, Group_Name) values(0, 'FRIENDS')"); }, &message),
              7200);
    EXPECT_NE(message.find("NATIVEERROR"), std::string::npos) << message;
    EXPECT_EQ(ErrorOf([&] { f.Exec("insert into Members (A_ID, G_ID) values(1, 3)"); }), 7200);

    EXPECT_EQ(f.Exec("update Address set Address2 = 'c/o ''Ma''', City = 'Capital City' where A_ID = 2"), 1);
    EXPECT_EQ(f.Column("select Address2, City from Address where A_ID = 2", "Address2"), Strings{"c/o 'Ma'"});
    EXPECT_EQ(f.Exec("delete from Members where A_ID = 2"), 2);
    EXPECT_EQ(f.Exec("delete from Address where A_ID = 99"), 0);
    EXPECT_EQ(f.Exec("delete from Groups where G_ID = 4"), 1);
    EXPECT_EQ(f.Exec("update Groups set Group_Name = 'Family' where G_ID = 1"), 1);
    EXPECT_EQ(f.Exec("insert into YourAddress (Address1, Zip) values('Me', '12345-6789')"), 1);
    EXPECT_EQ(f.Exec("update YourAddress set Address1 = 'Myself' where A_ID = 1"), 1);
    EXPECT_EQ(f.Column("select * from YourAddress", "Zip"), Strings{"12345-6789"});
    EXPECT_EQ(f.Exec("delete from YourAddress where A_ID = 1"), 1);
}

TEST(EdsQueryProgramStatements, ZipLookupFiltersAndReports) {
    ProgramFolder f;
    f.Exec("insert into ZIPCODES values('12345', 'Schenectady', 'NY')");
    f.Exec("insert into ZIPCODES values('54321', 'Somewhere', 'WI')");
    EXPECT_EQ(f.Column("select * from ZIPCODES where ZIP = '12345'", "City"), Strings{"Schenectady"});

    EXPECT_EQ(f.Exec("insert into LogFilters (FILTERNAME, FILTERCOMBINATION) values('It''s mine', 'AND')"), 1);
    EXPECT_EQ(ErrorOf([&] { f.Exec("insert into LogFilters (FILTERNAME, FILTERCOMBINATION) values('It''s mine', 'OR')"); }),
              7200);
    EXPECT_EQ(f.Exec("insert into LogFiltersDetail (FILTERNAME, FIELDNAME, OPERATOR, VALUE) values('It''s mine', '4', "
                     "'=', 'O''Hara')"),
              1);
    EXPECT_EQ(f.Exec("insert into LogFiltersDetail (FILTERNAME, FIELDNAME, OPERATOR, VALUE) values('It''s mine', '16', "
                     "'=', 'True')"),
              1);
    EXPECT_EQ(f.Column("select * from LogFiltersDetail where FILTERNAME = 'It''s mine'", "Value"),
              (Strings{"O'Hara", "True"}));
    EXPECT_EQ(f.Exec("update LogFiltersDetail set FIELDNAME = '5', OPERATOR = '=', VALUE = 'x' where FILTERNAME = "
                     "'It''s mine' and FIELDNAME = '4' and OPERATOR = '=' and VALUE = 'O''Hara'"),
              1);
    EXPECT_EQ(f.Exec("update LogFilters set FILTERCOMBINATION = 'OR' where FILTERNAME = 'It''s mine'"), 1);
    EXPECT_EQ(f.Exec("delete from LogFilters where FILTERNAME = 'It''s mine'"), 1);
    EXPECT_EQ(f.Exec("delete from LogFiltersDetail where FILTERNAME = 'It''s mine'"), 2);

    EXPECT_EQ(f.Exec("insert into Reports (ReportName, Orientation) values('Daily', 'P')"), 1);
    EXPECT_EQ(f.Exec("insert into Report_Detail (ReportName, Field_Name, FieldOrder) values('Daily', 'Postage', 2)"), 1);
    EXPECT_EQ(f.Exec("insert into Report_Detail (ReportName, Field_Name, FieldOrder) values('Daily', 'MailerNum', 1)"),
              1);
    EXPECT_EQ(f.Column("select Field_Name from Report_Detail where ReportName = 'Daily' order by FieldOrder",
                       "Field_Name"),
              (Strings{"MailerNum", "Postage"}));
    EXPECT_EQ(f.Exec("update Reports set Orientation = 'L' where ReportName = 'Daily'"), 1);
    EXPECT_EQ(f.Exec("delete from Report_Detail where ReportName = 'Daily'"), 2);
    EXPECT_EQ(f.Exec("delete from Reports where ReportName = 'Daily'"), 1);
}

TEST(EdsQueryProgramStatements, LogWindowQueriesUpdatesAndDeletes) {
    ProgramFolder f;
    const char* rows[] = {
        "'2026-12-02 09:00:00.000', '9214 8901 0000 0000 0041 12', 41, 'Acme Corp', 'Main St', 'Springfield', ' 2.40', "
        "1, 0",
        "'2026-11-30 17:30:00.000', '9214 8901 0000 0000 0040 55', 40, 'Bob', 'ACME lane', 'Shelbyville', ' 2.39', 0, 1",
        "'2026-12-01 00:00:00.000', '9214 8901 0000 0000 0042 33', 42, 'Carl', 'Elm', 'Capital City', ' 2.41', 1, 0",
    };
    for (const char* r : rows)
        EXPECT_EQ(f.Exec(std::string("insert into Log37 (DateTime, MailerNum, SerialNum, ToAddress1, ToAddress2, ToCity, "
                                     "Postage, Batch, WishRest) values(") +
                         r + ")"),
                  1);
    EXPECT_EQ(f.Column("select * from Log37 order by DATETIME", "LID"), (Strings{"2", "3", "1"}));
    auto where = [&](const std::string& w) { return f.Column("select * from Log37 where " + w + " order by DATETIME", "LID"); };
    EXPECT_EQ(where("(DateTime >= '2026-12-01 00:00:00')"), (Strings{"3", "1"}));
    EXPECT_EQ(where("(SerialNum >= 00000041)"), (Strings{"3", "1"}));
    EXPECT_EQ(where("(Batch = True)"), (Strings{"3", "1"}));
    EXPECT_EQ(where("(ToAddress1 like '%acme%' or ToCity like '%acme%')"), (Strings{"1"}));
    EXPECT_EQ(where("(Postage > ' 2.40')"), (Strings{"3"}));

    EXPECT_EQ(f.Exec("update Log37 set POSTAGE='0.39', CERTIFIED='2.40', RETURN='1.75', RESTRICTED='', TOTAL='4.54', "
                     "DEPARTMENT='Sales', PROCESSEDBY='Ann', RE='Lease ''B''', COMMENT='x', WISHREST = True, "
                     "BATCH = False where LID = 1"),
              1);
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetSQLText("select * from Log37 where LID = 1");
    query.Open();
    EXPECT_EQ(query.RecordCount(), 1);
    EXPECT_EQ(query.FieldByName("Return")->AsString(), "1.75");
    EXPECT_EQ(query.FieldByName("RE")->AsString(), "Lease 'B'");
    EXPECT_TRUE(query.FieldByName("WishRest")->AsBoolean());
    EXPECT_FALSE(query.FieldByName("Batch")->AsBoolean());
    EXPECT_EQ(query.FieldByName("SerialNum")->AsInteger(), 41);
    // Rows of a statement are a static result: the query cannot change them.
    EXPECT_FALSE(query.CanModify());
    query.Close();

    // The log update expects exactly one row; a missing LID touches none.
    EXPECT_EQ(f.Exec("update Log37 set RESULT = 'Received - Signed' where LID = 12"), 0);
    EXPECT_EQ(f.Exec("update Log37 set RESULT = 'Received - Signed' where LID = 2"), 1);
    EXPECT_EQ(f.Exec("delete from Log37 where LID = 12"), 0);
    EXPECT_EQ(f.Exec("delete from Log37 where LID = 3"), 1);
    EXPECT_EQ(f.Column("select * from Log37 order by DATETIME", "Result"), (Strings{"Received - Signed", ""}));

    // An older log in a file named in lower case.
    querytest::MakeTable(f.str(), "log", querytest::kLogFields);
    EXPECT_EQ(f.Exec("insert into LOG (DateTime, MailerNum, Batch) values('2020-01-01 10:00:00.000', "
                     "'1234 5678 9012 3456 7890', 1)"),
              1);
    EXPECT_EQ(f.Column("select DateTime, MailerNum, Batch from LOG", "MailerNum"), Strings{"1234 5678 9012 3456 7890"});
}

TEST(EdsQueryWrongRoad, SelectThroughExecSqlClosesItsCursorAndLeavesTheQueryClosed) {
    ProgramFolder f;
    f.Exec("insert into Groups (Parent_ID, Group_Name) values(0, 'Friends')");
    querytest::CursorSpy spy;
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetSQLText("select * from Groups");
    query.ExecSQL();
    EXPECT_FALSE(query.Active());
    ASSERT_EQ(spy.Cursors().size(), 1u);
    EXPECT_FALSE(spy.IsOpen(spy.Cursors()[0]));
    // The same query still opens the rows afterwards.
    query.Open();
    EXPECT_EQ(query.FieldByName("Group_Name")->AsString(), "Friends");
}

TEST(EdsQueryWrongRoad, UpdateThroughOpenRunsThenRaisesAndStaysClosed) {
    ProgramFolder f;
    f.Exec("insert into Groups (Parent_ID, Group_Name) values(0, 'Friends')");
    TEdsQuery query;
    query.SetName("edsqLog2");
    query.SetDatabaseName(f.str());
    query.SetSQLText("update Groups set Group_Name = 'Family' where G_ID = 1");
    std::string message;
    EXPECT_EQ(ErrorOf([&] { query.Open(); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message, std::string("edsqLog2: ") + kNoCursorText);
    EXPECT_FALSE(query.Active());
    EXPECT_EQ(query.RowsAffected(), 1);
    EXPECT_EQ(f.Column("select * from Groups", "Group_Name"), Strings{"Family"});
}

TEST(EdsQueryWrongRoad, EngineErrorsCarryTheEngineCodeAndLeaveTheQueryUsable) {
    ProgramFolder f;
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetSQLText("selec * from Groups");
    EXPECT_EQ(ErrorOf([&] { query.Open(); }), 7200);
    EXPECT_FALSE(query.Active());
    query.SetSQLText("select * from NoSuchTable");
    EXPECT_NE(ErrorOf([&] { query.Open(); }), 0);
    query.SetSQLText("select * from Groups");
    query.Open();
    EXPECT_TRUE(query.Active());
    EXPECT_TRUE(query.IsEmpty());
}

}  // namespace
