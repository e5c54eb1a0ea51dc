// The SQL the program sends, run through TEdsQuery over the program's tables:
// SELECTs opened, everything else through ExecSQL, with rows and rows
// affected; and statements sent down the wrong road.

#include "tests/dbaccess/EdsQueryTestSupport.h"

#include "dbaccess/edstable.h"

#include <gtest/gtest.h>

namespace {

using namespace querytest;

// A statement and what it must give: rows affected, or one column of its rows.
struct Step {
    Step(std::string sql, std::int32_t affected) : Sql(std::move(sql)), Affected(affected) {}
    Step(std::string sql, std::int32_t, std::string field, Strings values)
        : Sql(std::move(sql)), Field(std::move(field)), Values(std::move(values)) {}
    std::string Sql;
    std::int32_t Affected = 0;
    std::string Field;  // set for a SELECT
    Strings Values;
};

void RunSteps(ProgramFolder& f, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        if (step.Field.empty()) EXPECT_EQ(f.Exec(step.Sql), step.Affected) << step.Sql;
        else EXPECT_EQ(f.Column(step.Sql, step.Field), step.Values) << step.Sql;
    }
}

TEST(EdsQueryProgramStatements, AddressBookSendersAndLookups) {
    ProgramFolder f;
    FillGroups(f);
    RunSteps(f, {
        {"insert into Address (Address1, City, State, Zip) values('O''Hara & Sons', 'Springfield', 'IL', '62701')", 1},
        {"insert into Address (Address1, City) values('Bob', 'Shelbyville')", 1},
        {"insert into Address (Address1) values('Carl')", 1},
        {"select max(A_ID) as LastID from Address", 0, "LastID", {"3"}},
        {"select A.*  from Address A, Members M where M.G_ID = 1 and A.A_ID = M.A_ID order by A.A_ID", 0, "A_ID",
         {"1", "2"}},
        {"select a.* from Address a, Members m where ((M.G_ID = 1)or (M.G_ID = 2)) and m.A_ID = a.A_ID order by a.A_ID",
         0, "Address1", {"O'Hara & Sons", "Bob", "Carl"}},
        {"insert into Members (A_ID, G_ID) values(7, 2)", 1},
        {"insert into Members (A_ID, G_ID) values(7, 1)", 1},
        {"select g.Group_Name from Groups g, Members m where m.A_ID = 7 and m.G_ID = g.G_ID order by g.G_ID", 0,
         "Group_Name", {"Friends", "Clients"}},
        {"update Address set Address2 = 'c/o ''Ma''', City = 'Capital City' where A_ID = 2", 1},
        {"select * from Address where A_ID = 2", 0, "Address2", {"c/o 'Ma'"}},
        {"update Groups set Group_Name = 'Family' where G_ID = 1", 1},
        {"delete from Members where G_ID = 3", 3},
        {"delete from Groups where G_ID = 3", 1},
        {"delete from Address where A_ID = 99", 0},
        {"insert into YourAddress (Address1, Zip) values('Me', '12345-6789')", 1},
        {"update YourAddress set Address1 = 'Myself' where A_ID = 1", 1},
        {"select * from YourAddress", 0, "Address1", {"Myself"}},
        {"delete from YourAddress where A_ID = 1", 1},
        {"insert into ZIPCODES values('12345', 'Schenectady', 'NY')", 1},
        {"select * from ZIPCODES where ZIP = '12345'", 0, "City", {"Schenectady"}},
    });
    // The unique indexes refuse duplicates as engine errors; group names without regard to case.
    EXPECT_EQ(ErrorOf([&] { f.Exec("insert into Groups (Parent_ID, Group_Name) values(0, 'CLIENTS')"); }), 7200);
    EXPECT_EQ(ErrorOf([&] { f.Exec("insert into Members (A_ID, G_ID) values(7, 2)"); }), 7200);
}

TEST(EdsQueryProgramStatements, FiltersReportsAndTheLog) {
    ProgramFolder f;
    const std::string insertLog =
        "insert into Log37 (DateTime, MailerNum, SerialNum, ToAddress1, ToCity, Postage, Batch, WishRest) values(";
    RunSteps(f, {
        {"insert into LogFilters (FILTERNAME, FILTERCOMBINATION) values('It''s mine', 'AND')", 1},
        {"insert into LogFiltersDetail (FILTERNAME, FIELDNAME, OPERATOR, VALUE) values('It''s mine', '4', '=', 'O''Hara')",
         1},
        {"select * from LogFiltersDetail where FILTERNAME = 'It''s mine'", 0, "Value", {"O'Hara"}},
        {"update LogFilters set FILTERCOMBINATION = 'OR' where FILTERNAME = 'It''s mine'", 1},
        {"delete from LogFiltersDetail where FILTERNAME = 'It''s mine'", 1},
        {"delete from LogFilters where FILTERNAME = 'It''s mine'", 1},
        {"insert into Reports (ReportName, Orientation) values('Daily', 'P')", 1},
        {"insert into Report_Detail (ReportName, Field_Name, FieldOrder) values('Daily', 'Postage', 2)", 1},
        {"insert into Report_Detail (ReportName, Field_Name, FieldOrder) values('Daily', 'MailerNum', 1)", 1},
        {"select Field_Name from Report_Detail where ReportName = 'Daily' order by FieldOrder", 0, "Field_Name",
         {"MailerNum", "Postage"}},
        {"delete from Report_Detail where ReportName = 'Daily'", 2},
        {"delete from Reports where ReportName = 'Daily'", 1},
        {insertLog + "'2026-12-02 09:00:00.000', '9214 8901 0000 0000 0041 12', 41, 'Acme Corp', 'Springfield', "
                     "' 2.40', 1, 0)", 1},
        {insertLog + "'2026-11-30 17:30:00.000', '9214 8901 0000 0000 0040 55', 40, 'Bob', 'Acme Falls', ' 2.39', "
                     "0, 1)", 1},
        {insertLog + "'2026-12-01 00:00:00.000', '9214 8901 0000 0000 0042 33', 42, 'Carl', 'Capital', ' 2.41', "
                     "1, 0)", 1},
        {"select * from Log37 order by DATETIME", 0, "LID", {"2", "3", "1"}},
        {"select * from Log37 where (DateTime >= '2026-12-01 00:00:00') order by DATETIME", 0, "LID", {"3", "1"}},
        {"select * from Log37 where (SerialNum >= 00000041) order by DATETIME", 0, "LID", {"3", "1"}},
        {"select * from Log37 where (Batch = True) order by DATETIME", 0, "LID", {"3", "1"}},
        {"select * from Log37 where (ToAddress1 like '%acme%' or ToCity like '%acme%') order by DATETIME", 0, "LID",
         {"2", "1"}},
        {"select * from Log37 where (Postage > ' 2.40') order by DATETIME", 0, "LID", {"3"}},
        {"update Log37 set POSTAGE='0.39', CERTIFIED='2.40', RETURN='1.75', RESTRICTED='', TOTAL='4.54', "
         "DEPARTMENT='Sales', PROCESSEDBY='Ann', RE='Lease ''B''', COMMENT='x', WISHREST = True, BATCH = False "
         "where LID = 1", 1},
        {"select * from Log37 where LID = 1", 0, "RE", {"Lease 'B'"}},
        {"update Log37 set RESULT = 'Received - Signed' where LID = 12", 0},
        {"update Log37 set RESULT = 'Received - Signed' where LID = 2", 1},
        {"delete from Log37 where LID = 12", 0},
        {"delete from Log37 where LID = 3", 1},
        {"select * from Log37 order by DATETIME", 0, "Result", {"Received - Signed", ""}},
    });
    EXPECT_EQ(f.Column("select WishRest, Batch from Log37 where LID = 1", "WishRest"), Strings{"True"});

    // An older log in a file named in lower case.
    MakeTable(f.str(), "log", kLogFields);
    RunSteps(f, {{"insert into LOG (DateTime, MailerNum) values('2020-01-01 10:00:00.000', '1234 5678 9012 3456 7890')", 1},
            {"select DateTime, MailerNum from LOG", 0, "MailerNum", {"1234 5678 9012 3456 7890"}}});
}

TEST(EdsQueryWrongRoad, SelectThroughExecSqlAndUpdateThroughOpen) {
    ProgramFolder f;
    FillGroups(f);
    CursorSpy spy;
    TEdsQuery query;
    query.SetName("edsqLog2");
    query.SetDatabaseName(f.str());
    query.SetSQLText("select * from Groups");
    query.ExecSQL();  // the rows are closed at once
    EXPECT_FALSE(query.Active());
    ASSERT_EQ(spy.Cursors().size(), 1u);
    EXPECT_FALSE(spy.IsLive(spy.Cursors()[0]));
    EXPECT_EQ(query.RowsAffected(), -1);  // the engine has no count for a result

    query.SetSQLText("update Groups set Group_Name = 'Family' where G_ID = 1");
    std::string message;
    EXPECT_EQ(ErrorOf([&] { query.Open(); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message,
              "edsqLog2: The SQL statement did not generate a cursor handle.  Use TEdsQuery.ExecSQL to execute SQL "
              "statements that are not SELECT statements");
    EXPECT_FALSE(query.Active());
    EXPECT_EQ(query.RowsAffected(), 1);  // it ran all the same
    EXPECT_EQ(f.Column("select * from Groups where G_ID = 1", "Group_Name"), Strings{"Family"});

    query.SetSQLText("selec * from Groups");
    EXPECT_EQ(ErrorOf([&] { query.Open(); }), 7200);
    query.SetSQLText("select * from Groups");
    query.Open();
    EXPECT_FALSE(query.CanModify());  // a static result
    EXPECT_THROW(query.ExecSQL(), db::EDatabaseError);
    EXPECT_EQ(ErrorOf([&] { query.SetDatabaseName(f.str() + "/other"); }), EdsClientErrorCode);
    EXPECT_TRUE(query.Active());
    EXPECT_EQ(query.DatabaseName(), f.str());

    // An index file that cannot be opened on the rows closes them again.
    query.Close();
    query.IndexFiles().Add("Missing.adi");
    spy.Cursors().clear();
    EXPECT_NE(ErrorOf([&] { query.Open(); }), 0);
    ASSERT_EQ(spy.Cursors().size(), 1u);
    EXPECT_FALSE(spy.IsLive(spy.Cursors()[0]));
}

TEST(EdsQueryProgramStatements, AnIndexMadeBySqlLivesInItsTablesFileServesItsConditionAndIsNoTag) {
    REQUIRE_TOOLS("sqlite3");
    ProgramFolder f;
    // Other tables attached first, so the log's attachment is not the first one.
    f.Exec("insert into Groups (Parent_ID, Group_Name) values(0, 'Family')");
    f.Exec("insert into ZIPCODES (ZIP, City, State) values('12345', 'Springfield', 'IL')");
    const std::string make = "create index if not exists Log37_BatchEntries on Log37 (LID) where Batch = True";
    f.Exec(make);
    f.Exec(make);  // already there: nothing happens
    EXPECT_EQ(ErrorOf([&] { f.Exec("create index Log37_BatchEntries on Log37 (LID) where Batch = True"); }), 7200);
    RunSteps(f, {{"insert into Log37 (ToAddress1, Batch) values('Ann', True)", 1},
                 {"insert into Log37 (ToAddress1, Batch) values('Bob', False)", 1},
                 {"insert into Log37 (ToAddress1, Batch) values('Cy', True)", 1},
                 {"update Log37 set Batch = False where ToAddress1 = 'Ann' and Batch = True", 1},
                 {"select * from Log37 where Batch = True order by LID", 0, "ToAddress1", {"Cy"}}});

    const auto sql = [&](const std::string& file, const std::string& query) {
        return testsupport::RunCommand("sqlite3 '" + f.str() + "/" + file + "' '" + query + "'").output;
    };
    EXPECT_EQ(sql("Log37.edt", "select count(*) from sqlite_master where name = \"Log37_BatchEntries\""), "1\n");
    EXPECT_EQ(sql("Groups.edt", "select count(*) from sqlite_master where type = \"index\" and sql like \"%Batch%\""),
              "0\n");
    EXPECT_NE(sql("Log37.edt", "explain query plan select * from Log37 where Batch = True order by LID")
                  .find("Log37_BatchEntries"),
              std::string::npos);

    TEdsTable log;
    log.SetDatabaseName(f.str());
    log.SetTableName("Log37");
    log.UpdateIndexDefs();
    EXPECT_EQ(log.IndexDefs().Count(), 0);
}

}  // namespace
