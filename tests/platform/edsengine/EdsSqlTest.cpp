// SQL statements over a folder of table files: the statements the program
// sends, with their rows and rows affected; attachments found without regard
// to case and recycled; static results that outlive their statement.

#include "platform/edsengine/EdsSqlSession.h"
#include "platform/edsengine/EdsSqlText.h"
#include "platform/edsengine/EdsCore.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

#include <map>
#include <string>
#include <vector>

namespace {

using eds::SqlValue;

// Writes a table file in the engine's layout: the rows in a table named after
// the file, the field specification in _edt_meta.
void MakeTable(const std::string& folder, const std::string& file, const std::string& spec,
               const std::vector<std::string>& extraSql = {}) {
    std::string path = folder + "/" + file + ".edt";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    std::vector<eds::SqlField> fields = eds::ParseStoredFieldSpec(spec);
    std::string stem = file;
    std::string cols;
    bool rowid = false;
    for (const auto& f : fields) {
        if (!cols.empty()) cols += ", ";
        cols += "\"" + f.name + "\" ";
        if (f.type == EDS_AUTOINC && !rowid) {
            cols += "INTEGER PRIMARY KEY AUTOINCREMENT";
            rowid = true;
        } else if (f.type == EDS_STRING || f.type == EDS_TIMESTAMP || f.type == EDS_DATE) {
            cols += "TEXT";
        } else {
            cols += "INTEGER";
        }
    }
    std::string sql = "CREATE TABLE _edt_meta(key TEXT PRIMARY KEY, value TEXT);"
                      "INSERT INTO _edt_meta VALUES('format','edt1'),('fields','" + spec + "'),('table','" + stem + "');"
                      "CREATE TABLE \"" + stem + "\"(" + cols + ");";
    for (const auto& s : extraSql) sql += s + ";";
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << err;
    sqlite3_close(db);
}

struct Folder {
    testsupport::TempDir dir;
    std::unique_ptr<eds::SqlSession> session;

    Folder() {
        const std::string f = dir.str();
        const std::string address = "A_ID,AutoInc; Address1,Char,50; Address2,Char,50;Address3,Char,50; "
                                    "Address4,Char,50;City,Char,35; State,Char,4; Zip,Char,10;";
        MakeTable(f, "Address", address);
        MakeTable(f, "YourAddress", address);
        MakeTable(f, "Groups", "G_ID,AutoInc; Parent_ID,Integer; Group_Name,Char,40;",
                  {"CREATE UNIQUE INDEX g1 ON Groups(upper(Group_Name))"});
        MakeTable(f, "Members", "A_ID,Integer; G_ID,Integer;", {"CREATE UNIQUE INDEX m1 ON Members(A_ID, G_ID)"});
        MakeTable(f, "LogFilters", "FilterName,Char,20; FilterCombination,Char,3;",
                  {"CREATE UNIQUE INDEX f1 ON LogFilters(FilterName)"});
        MakeTable(f, "LogFiltersDetail", "FilterName,Char,20; FieldName,Char,2; Operator,Char,2; Value,Char,40;");
        MakeTable(f, "Reports", "ReportName,Char,20; Orientation,Char,1;");
        MakeTable(f, "Report_Detail", "ReportName,Char,20; Field_Name,Char,15; FieldOrder,Integer;");
        MakeTable(f, "ZIPCODES", "ZIP,Char,5; City,Char,35; State,Char,2;");
        std::string log = "LID,AutoInc; DateTime,TimeStamp; MailerNum,Char,30; CustID,Char,11; SerialNum,Integer;"
                          "ToAddress1,Char,50; ToAddress2,Char,50; ToAddress3,Char,50; ToAddress4,Char,50;"
                          "ToCity,Char,35; ToState,Char,4; ToZip,Char,10; YourAddress1,Char,50; YourAddress2,Char,50;"
                          "YourAddress3,Char,50; YourAddress4,Char,50; YourCity,Char,35; YourState,Char,4;"
                          "YourZip,Char,10; Postage,Char,15; Certified,Char,15; Return,Char,15; Restricted,Char,15;"
                          "Total,Char,15; Department,Char,20; ProcessedBy,Char,20; RE,Char,25; Comment,Char,35;"
                          "WishRest,Logical; Batch,Logical; Result,Char,22;";
        MakeTable(f, "Log37", log);
        MakeTable(f, "log", log);
        session = std::make_unique<eds::SqlSession>(f);
    }

    eds::SqlOutcome Run(const std::string& sql) {
        eds::SqlStatementCore stmt(*session);
        stmt.Prepare(sql);
        return stmt.Execute();
    }

    std::int64_t Affected(const std::string& sql) { return Run(sql).rowsAffected; }

    // Every row of a SELECT as texts (NULL as "-").
    std::vector<std::vector<std::string>> Rows(const std::string& sql) {
        eds::SqlOutcome out = Run(sql);
        EXPECT_TRUE(out.result) << sql;
        std::vector<std::vector<std::string>> rows;
        if (!out.result) return rows;
        std::vector<SqlValue> values;
        for (std::size_t i = 0; i < out.result->RowCount(); ++i) {
            EXPECT_TRUE(out.result->ReadRow(i, values));
            std::vector<std::string> row;
            for (const SqlValue& v : values) {
                if (auto* n = std::get_if<std::int64_t>(&v)) row.push_back(std::to_string(*n));
                else if (auto* s = std::get_if<std::string>(&v)) row.push_back(*s);
                else if (auto* d = std::get_if<double>(&v)) row.push_back(std::to_string(*d));
                else row.push_back("-");
            }
            rows.push_back(row);
        }
        return rows;
    }

    std::vector<std::string> Column(const std::string& sql, std::size_t column) {
        std::vector<std::string> out;
        for (const auto& r : Rows(sql)) out.push_back(r.at(column));
        return out;
    }
};

using Strings = std::vector<std::string>;

std::string SqlError(Folder& f, const std::string& sql) {
    try {
        f.Run(sql);
    } catch (const eds::EngineError& e) {
        EXPECT_EQ(e.Code(), EDS_E_SQL);
        return e.Text();
    }
    ADD_FAILURE() << "no error: " << sql;
    return {};
}

TEST(EdsSqlProgramStatements, AddressBookAndGroups) {
    Folder f;
    EXPECT_EQ(f.Affected("insert into Address (Address1, City, State, Zip) values('O''Hara & Sons', 'Springfield', "
                         "'IL', '62701')"), 1);
    EXPECT_EQ(f.Affected("insert into Address (Address1, City) values('Bob', 'Shelbyville')"), 1);
    EXPECT_EQ(f.Affected("insert into Address (Address1) values('Carl')"), 1);
    EXPECT_EQ(f.Column("select max(A_ID) as LastID from Address", 0), Strings{"3"});
    EXPECT_EQ(f.Rows("select max(A_ID) as LastID from Address")[0].size(), 1u);
    EXPECT_EQ(f.Column("select * from Address where Address1 = 'O''Hara & Sons'", 6), Strings{"IL"});

    EXPECT_EQ(f.Affected("insert into Groups (Parent_ID, Group_Name) values(0, 'Friends')"), 1);
    EXPECT_EQ(f.Affected("insert into Groups (Parent_ID, Group_Name) values(0, 'Clients')"), 1);
    EXPECT_EQ(f.Affected("insert into Groups (Parent_ID, Group_Name) values(0, 'Hobby')"), 1);
    EXPECT_EQ(f.Affected("insert into Groups (Parent_ID, Group_Name) values(1, 'Old friends')"), 1);
    for (const char* m : {"(1, 3)", "(2, 3)", "(3, 4)", "(2, 4)", "(7, 2)", "(7, 1)"})
        EXPECT_EQ(f.Affected(std::string("insert into Members (A_ID, G_ID) values") + m), 1);

    EXPECT_EQ(f.Column("select A.*  from Address A, Members M where M.G_ID = 3 and A.A_ID = M.A_ID order by A.A_ID", 0),
              (Strings{"1", "2"}));
    EXPECT_EQ(f.Column("select a.* from Address a, Members m where ((M.G_ID = 3)or (M.G_ID = 4)) and m.A_ID = a.A_ID "
                       "order by a.A_ID", 1),
              (Strings{"O'Hara & Sons", "Bob", "Bob", "Carl"}));
    EXPECT_EQ(f.Column("select g.Group_Name from Groups g, Members m where m.A_ID = 7 and m.G_ID = g.G_ID order by g.G_ID", 0),
              (Strings{"Friends", "Clients"}));

    // The unique indexes refuse duplicates, the group name without regard to case.
    EXPECT_NE(SqlError(f, "insert into Groups (Parent_ID, Group_Name) values(0, 'FRIENDS')").find("NATIVEERROR = 2067;"),
              std::string::npos);
    EXPECT_NE(SqlError(f, "insert into Members (A_ID, G_ID) values(1, 3)").find("ERROR 7200:"), std::string::npos);

    EXPECT_EQ(f.Affected("update Address set Address2 = 'c/o ''Ma''', City = 'Capital City' where A_ID = 2"), 1);
    EXPECT_EQ(f.Column("select Address2 from Address where A_ID = 2", 0), Strings{"c/o 'Ma'"});
    EXPECT_EQ(f.Affected("delete from Members where A_ID = 2"), 2);
    EXPECT_EQ(f.Affected("delete from Address where A_ID = 99"), 0);
    EXPECT_EQ(f.Affected("insert into YourAddress (Address1, Zip) values('Me', '12345-6789')"), 1);
    EXPECT_EQ(f.Affected("update YourAddress set Address1 = 'Myself' where A_ID = 1"), 1);
}

TEST(EdsSqlProgramStatements, ZipLookupAndFilterTables) {
    Folder f;
    f.Affected("insert into ZIPCODES values('12345', 'Schenectady', 'NY')");
    f.Affected("insert into ZIPCODES values('54321', 'Somewhere', 'WI')");
    EXPECT_EQ(f.Rows("select * from ZIPCODES where ZIP = '12345'"), (std::vector<Strings>{{"12345", "Schenectady", "NY"}}));

    EXPECT_EQ(f.Affected("insert into LogFilters (FILTERNAME, FILTERCOMBINATION) values('It''s mine', 'AND')"), 1);
    EXPECT_NE(SqlError(f, "insert into LogFilters (FILTERNAME, FILTERCOMBINATION) values('It''s mine', 'OR')")
                  .find("NATIVEERROR = 2067;"),
              std::string::npos);
    EXPECT_EQ(f.Affected("insert into LogFiltersDetail (FILTERNAME, FIELDNAME, OPERATOR, VALUE) values('It''s mine', "
                         "'4', '=', 'O''Hara')"), 1);
    EXPECT_EQ(f.Affected("insert into LogFiltersDetail (FILTERNAME, FIELDNAME, OPERATOR, VALUE) values('It''s mine', "
                         "'16', '=', 'True')"), 1);
    EXPECT_EQ(f.Column("select * from LogFiltersDetail where FILTERNAME = 'It''s mine'", 3), (Strings{"O'Hara", "True"}));
    EXPECT_EQ(f.Affected("update LogFiltersDetail set FIELDNAME = '5', OPERATOR = '=', VALUE = 'x' where FILTERNAME = "
                         "'It''s mine' and FIELDNAME = '4' and OPERATOR = '=' and VALUE = 'O''Hara'"), 1);
    EXPECT_EQ(f.Affected("update LogFilters set FILTERCOMBINATION = 'OR' where FILTERNAME = 'It''s mine'"), 1);
    EXPECT_EQ(f.Affected("delete from LogFiltersDetail where FILTERNAME = 'It''s mine' and FIELDNAME = '5' and "
                         "OPERATOR = '=' and VALUE = 'x'"), 1);
    EXPECT_EQ(f.Affected("delete from LogFilters where FILTERNAME = 'It''s mine'"), 1);
    EXPECT_EQ(f.Affected("delete from LogFiltersDetail where FILTERNAME = 'It''s mine'"), 1);

    EXPECT_EQ(f.Affected("insert into Reports (ReportName, Orientation) values('Daily', 'P')"), 1);
    EXPECT_EQ(f.Affected("insert into Report_Detail (ReportName, Field_Name, FieldOrder) values('Daily', 'Postage', 2)"), 1);
    EXPECT_EQ(f.Affected("insert into Report_Detail (ReportName, Field_Name, FieldOrder) values('Daily', 'MailerNum', 1)"), 1);
    EXPECT_EQ(f.Column("select Field_Name from Report_Detail where ReportName = 'Daily' order by FieldOrder", 0),
              (Strings{"MailerNum", "Postage"}));
    EXPECT_EQ(f.Affected("delete from Report_Detail where ReportName = 'Daily'"), 2);
    EXPECT_EQ(f.Affected("delete from Reports where ReportName = 'Daily'"), 1);
}

TEST(EdsSqlProgramStatements, LogWindowQueriesAndEdits) {
    Folder f;
    const char* rows[] = {
        "'2026-12-02 09:00:00.000', '9214 8901 0000 0000 0041 12', 41, 'Acme Corp', 'Main St', 'Springfield', "
        "' 2.40', 1, 0",
        "'2026-11-30 17:30:00.000', '9214 8901 0000 0000 0040 55', 40, 'Bob', 'ACME lane', 'Shelbyville', "
        "' 2.39', 0, 1",
        "'2026-12-01 00:00:00.000', '9214 8901 0000 0000 0042 33', 42, 'Carl', 'Elm', 'Capital City', ' 2.41', 1, 0",
    };
    for (const char* r : rows)
        EXPECT_EQ(f.Affected(std::string("insert into Log37 (DateTime, MailerNum, SerialNum, ToAddress1, ToAddress2, "
                                         "ToCity, Postage, Batch, WishRest) values(") + r + ")"), 1);
    EXPECT_EQ(f.Column("select * from Log37 order by DATETIME", 0), (Strings{"2", "3", "1"}));
    auto where = [&](const std::string& w) {
        return f.Column("select * from Log37 where " + w + " order by DATETIME", 0);
    };
    EXPECT_EQ(where("(DateTime >= '2026-12-01 00:00:00')"), (Strings{"3", "1"}));
    EXPECT_EQ(where("(SerialNum >= 00000041)"), (Strings{"3", "1"}));
    EXPECT_EQ(where("(Batch = True)"), (Strings{"3", "1"}));
    EXPECT_EQ(where("(ToAddress1 like '%acme%' or ToCity like '%acme%')"), (Strings{"1"}));
    EXPECT_EQ(where("((ToAddress1 like '%acme%') or (ToAddress2 like '%acme%') or (ToCity like '%acme%'))"),
              (Strings{"2", "1"}));
    EXPECT_EQ(where("(Postage > ' 2.40')"), (Strings{"3"}));
    EXPECT_EQ(where("(Batch = True) AND (SerialNum >= 00000042)"), (Strings{"3"}));

    EXPECT_EQ(f.Affected("update Log37 set POSTAGE='0.39', CERTIFIED='2.40', RETURN='1.75', RESTRICTED='', "
                         "TOTAL='4.54', DEPARTMENT='Sales', PROCESSEDBY='Ann', RE='Lease ''B''', COMMENT='x', "
                         "WISHREST = True, BATCH = False where LID = 1"), 1);
    EXPECT_EQ(f.Rows("select Postage, Return, RE, WishRest, Batch from Log37 where LID = 1"),
              (std::vector<Strings>{{"0.39", "1.75", "Lease 'B'", "1", "0"}}));
    EXPECT_EQ(f.Affected("update Log37 set RESULT = 'Received - Signed' where LID = 12"), 0);
    EXPECT_EQ(f.Affected("update Log37 set RESULT = 'Received - Signed' where LID = 2"), 1);
    EXPECT_EQ(f.Column("select Result, Comment, Value from (select Result, Comment, 1 as Value from Log37) where "
                       "Result is not null", 0), Strings{"Received - Signed"});
    EXPECT_EQ(f.Affected("delete from Log37 where LID = 3"), 1);
    EXPECT_EQ(f.Column("select * from Log37 order by DATETIME", 0), (Strings{"2", "1"}));

    // A table file named in lower case answers to any spelling.
    f.Affected("insert into LOG (DateTime, MailerNum, Batch) values('2020-01-01 10:00:00.000', '1234 5678 9012 3456 7890', 1)");
    EXPECT_EQ(f.Rows("select DateTime, MailerNum, Batch from LOG"),
              (std::vector<Strings>{{"2020-01-01 10:00:00.000", "1234 5678 9012 3456 7890", "1"}}));
}

TEST(EdsSqlResults, SingleTableResultsKeepRecordNumbersAndOutliveTheStatement) {
    Folder f;
    for (int i = 0; i < 5; ++i)
        f.Affected("insert into Log37 (DateTime, SerialNum) values('2026-12-0" + std::to_string(5 - i) +
                   " 10:00:00.000', " + std::to_string(i) + ")");
    std::unique_ptr<eds::SqlResult> result;
    {
        eds::SqlStatementCore stmt(*f.session);
        stmt.Prepare("select * from Log37 where SerialNum >= :low order by DATETIME");
        ASSERT_EQ(stmt.ParamNames(), Strings{"low"});
        stmt.SetParam(stmt.ParamNumber("LOW"), std::int64_t{1});
        result = stmt.Execute().result;
    }
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->ByRecord());
    ASSERT_EQ(result->RowCount(), 4u);
    EXPECT_EQ(result->RecordNumber(0), 5);
    EXPECT_EQ(result->RecordNumber(3), 2);
    ASSERT_EQ(result->Fields().size(), 31u);
    EXPECT_EQ(result->Fields()[1].name, "DateTime");
    EXPECT_EQ(result->Fields()[1].type, EDS_TIMESTAMP);
    EXPECT_EQ(result->Fields()[2].type, EDS_STRING);
    EXPECT_EQ(result->Fields()[2].length, 30u);
    EXPECT_EQ(result->Fields()[29].type, EDS_LOGICAL);

    // Rows are read when asked for; a row deleted since reads as absent.
    f.Affected("delete from Log37 where LID = 3");
    std::vector<SqlValue> values;
    EXPECT_TRUE(result->ReadRow(3, values));
    EXPECT_EQ(std::get<std::int64_t>(values[4]), 1);
    EXPECT_FALSE(result->ReadRow(2, values));
    EXPECT_FALSE(result->ReadRow(4, values));

    // A join, an aggregate or a computed column are held whole, typed by their values.
    auto joined = f.Run("select count(*) as N, max(DateTime) as Latest, 2.5 as Half from Log37").result;
    ASSERT_TRUE(joined);
    EXPECT_FALSE(joined->ByRecord());
    EXPECT_EQ(joined->Fields()[0].type, EDS_INTEGER);
    EXPECT_EQ(joined->Fields()[1].type, EDS_STRING);
    EXPECT_EQ(joined->Fields()[2].type, EDS_DOUBLE);
}

TEST(EdsSqlSession, AttachesOnDemandAndRecyclesIdleTables) {
    Folder f;
    for (int i = 0; i < 14; ++i) MakeTable(f.dir.str(), "extra" + std::to_string(i), "N,Integer;");
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 14; ++i)
            EXPECT_EQ(f.Affected("insert into EXTRA" + std::to_string(i) + " values(" + std::to_string(round) + ")"), 1);
    EXPECT_LE(f.session->AttachedCount(), eds::SqlSession::kMaxAttached);
    EXPECT_EQ(f.Column("select count(*) from Extra3", 0), Strings{"2"});
    // Ten tables at once still fit; eleven cannot.
    std::string ten = "select count(*) from extra0", eleven;
    for (int i = 1; i < 10; ++i) ten += ", extra" + std::to_string(i);
    EXPECT_EQ(f.Column(ten, 0), Strings{"1024"});
    eleven = ten + ", extra10";
    EXPECT_NE(SqlError(f, eleven).find("at most 10 tables"), std::string::npos);
}

TEST(EdsSqlSession, RefusalsAreEngineErrors) {
    Folder f;
    EXPECT_NE(SqlError(f, "select * from NoSuchTable").find("no such table"), std::string::npos);
    EXPECT_NE(SqlError(f, "selec * from Log37").find("NATIVEERROR = 1;"), std::string::npos);
    EXPECT_NE(SqlError(f, "").find("no statement"), std::string::npos);
    EXPECT_NE(SqlError(f, "delete from Log37; delete from Address").find("one SQL statement"), std::string::npos);
    EXPECT_NE(SqlError(f, "insert into Members (A_ID, G_ID) values('x')").find("ERROR 7200: NATIVEERROR = 1;"),
              std::string::npos);
    eds::SqlStatementCore stmt(*f.session);
    EXPECT_THROW(stmt.Execute(), eds::EngineError);
    stmt.Prepare("select * from Log37 where LID = :id");
    EXPECT_THROW(stmt.SetParam(2, std::int64_t{1}), eds::EngineError);
}

TEST(EdsSqlText, ParametersAndSingleTableShapes) {
    eds::SqlParams p = eds::RewriteSqlParams("select ':x', [a:b] from T where A = :a and B = :B1 or C = :a -- :z");
    EXPECT_EQ(p.text, "select ':x', [a:b] from T where A = ?1 and B = ?2 or C = ?3 -- :z");
    EXPECT_EQ(p.names, (Strings{"a", "B1", "a"}));

    eds::SingleTableSelect s;
    ASSERT_TRUE(eds::AnalyseSingleTableSelect("select * from Log37 where (Batch = True) order by DATETIME", s));
    EXPECT_EQ(s.rowidQuery, "SELECT \"Log37\".rowid from Log37 where (Batch = True) order by DATETIME");
    EXPECT_EQ(s.rowQuery, "SELECT * from Log37 WHERE \"Log37\".rowid = ?1");
    ASSERT_TRUE(eds::AnalyseSingleTableSelect("SELECT a.Zip, upper(a.City) FROM Address AS a ORDER BY a.Zip;", s));
    EXPECT_EQ(s.qualifier, "a");
    EXPECT_EQ(s.rowQuery, "SELECT a.Zip, upper(a.City) FROM Address AS a WHERE \"a\".rowid = ?1");
    for (const char* no : {"select max(A_ID) from Address", "select * from A, B", "select * from A join B on 1",
                           "select distinct Zip from A", "select Zip from A group by Zip", "select * from A limit 3",
                           "select * from A union select * from B", "insert into A values(1)", "select 1",
                           "select (select 1) from A", "select * from main.A"})
        EXPECT_FALSE(eds::AnalyseSingleTableSelect(no, s)) << no;
}

}  // namespace
