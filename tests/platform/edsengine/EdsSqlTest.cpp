// SQL statements over a folder of table files: the statements the program
// sends, with their rows and rows affected; attachments found without regard
// to case and recycled; static results that outlive their statement.

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsDates.h"
#include "platform/edsengine/EdsSqlSession.h"
#include "platform/edsengine/EdsSqlText.h"
#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
using edstest::LastError;

std::vector<Strings> CursorRows(EDSHANDLE cursor);

// A folder of the program's tables, made by the engine, and a connection to it.
struct Folder {
    testsupport::TempDir dir;
    EDSHANDLE connection = 0;

    void Make(const std::string& name, const std::string& spec, const char* tag = nullptr, const char* expr = nullptr,
              UNSIGNED32 options = 0) {
        EDSHANDLE table = 0;
        ASSERT_EQ(edstest::Create(connection, name, spec, &table), EDS_SUCCESS) << LastError();
        if (tag) {
            EDSHANDLE index = 0;
            ASSERT_EQ(EdsCreateIndex61(table, edstest::U(""), edstest::U(tag), edstest::U(expr), edstest::U(""),
                                       edstest::U(""), options | EDS_COMPOUND, 0, &index),
                      EDS_SUCCESS)
                << LastError();
        }
        ASSERT_EQ(EdsCloseTable(table), EDS_SUCCESS);
    }

    Folder() {
        connection = edstest::Connect(dir.str());
        const std::string address = "A_ID,AutoInc; Address1,Char,50; Address2,Char,50;Address3,Char,50; "
                                    "Address4,Char,50;City,Char,35; State,Char,4; Zip,Char,10;";
        Make("Address", address);
        Make("YourAddress", address);
        Make("Groups", "G_ID,AutoInc; Parent_ID,Integer; Group_Name,Char,40;", "Group_Name", "UPPER(Group_Name)",
             EDS_UNIQUE);
        Make("Members", "A_ID,Integer; G_ID,Integer;", "ID", "A_ID;G_ID", EDS_UNIQUE);
        Make("LogFilters", "FilterName,Char,20; FilterCombination,Char,3;", "FilterName", "FilterName", EDS_UNIQUE);
        Make("LogFiltersDetail", "FilterName,Char,20; FieldName,Char,2; Operator,Char,2; Value,Char,40;");
        Make("Reports", "ReportName,Char,20; Orientation,Char,1;", "ReportName", "ReportName", EDS_UNIQUE);
        Make("Report_Detail", "ReportName,Char,20; Field_Name,Char,15; FieldOrder,Integer;");
        Make("ZIPCODES", "ZIP,Char,5; City,Char,35; State,Char,2;");
        std::string log = "LID,AutoInc; DateTime,TimeStamp; MailerNum,Char,30; CustID,Char,11; SerialNum,Integer;"
                          "ToAddress1,Char,50; ToAddress2,Char,50; ToAddress3,Char,50; ToAddress4,Char,50;"
                          "ToCity,Char,35; ToState,Char,4; ToZip,Char,10; YourAddress1,Char,50; YourAddress2,Char,50;"
                          "YourAddress3,Char,50; YourAddress4,Char,50; YourCity,Char,35; YourState,Char,4;"
                          "YourZip,Char,10; Postage,Char,15; Certified,Char,15; Return,Char,15; Restricted,Char,15;"
                          "Total,Char,15; Department,Char,20; ProcessedBy,Char,20; RE,Char,25; Comment,Char,35;"
                          "WishRest,Logical; Batch,Logical; Result,Char,22;";
        Make("Log37", log);
        Make("log", log);
    }
    ~Folder() { EdsDisconnect(connection); }

    // Runs a statement; answers the cursor (0 for none) and the rows affected (-1: 5117).
    EDSHANDLE Run(const std::string& sql, std::int64_t* affected = nullptr) {
        EDSHANDLE stmt = 0, cursor = 0;
        EXPECT_EQ(EdsCreateSQLStatement(connection, &stmt), EDS_SUCCESS) << LastError();
        EXPECT_EQ(EdsPrepareSQL(stmt, edstest::U(sql)), EDS_SUCCESS) << sql << ": " << LastError();
        EXPECT_EQ(EdsExecuteSQL(stmt, &cursor), EDS_SUCCESS) << sql << ": " << LastError();
        UNSIGNED32 count = 0;
        UNSIGNED32 rc = EdsGetRecordCount(stmt, EDS_IGNOREFILTERS, &count);
        if (affected) *affected = rc == EDS_E_NO_ROWS_AFFECTED ? -1 : static_cast<std::int64_t>(count);
        EXPECT_EQ(EdsCloseSQLStatement(stmt), EDS_SUCCESS);
        return cursor;
    }

    std::int64_t Affected(const std::string& sql) {
        std::int64_t n = -2;
        EDSHANDLE cursor = Run(sql, &n);
        EXPECT_EQ(cursor, 0u) << sql;
        return n;
    }

    std::vector<Strings> Rows(const std::string& sql) {
        EDSHANDLE cursor = Run(sql);
        EXPECT_NE(cursor, 0u) << sql;
        std::vector<Strings> rows = CursorRows(cursor);
        EdsCloseTable(cursor);
        return rows;
    }

    std::vector<std::string> Column(const std::string& sql, std::size_t column) {
        std::vector<std::string> out;
        for (const auto& r : Rows(sql)) out.push_back(r.at(column));
        return out;
    }
};

// A field of the current record as text ("-" for empty).
std::string FieldText(EDSHANDLE cursor, UNSIGNED16 number) {
    UNSIGNED16 empty = 0;
    EdsIsEmpty(cursor, number, &empty);
    if (empty) return "-";
    UNSIGNED16 type = 0;
    EdsGetFieldType(cursor, number, &type);
    UNSIGNED8 buf[600];
    UNSIGNED32 len = sizeof buf;
    if (EdsGetField(cursor, number, buf, &len, EDS_RTRIM) != EDS_SUCCESS) return "<" + LastError() + ">";
    std::int32_t i32 = 0, ms = 0;
    double d = 0;
    switch (type) {
    case EDS_INTEGER: case EDS_AUTOINC: std::memcpy(&i32, buf, 4); return std::to_string(i32);
    case EDS_DOUBLE: std::memcpy(&d, buf, 8); return std::to_string(d);
    case EDS_LOGICAL: return std::string(1, static_cast<char>(buf[0]));
    case EDS_TIMESTAMP:
        std::memcpy(&i32, buf, 4);
        std::memcpy(&ms, buf + 4, 4);
        return eds::IsoTimeStamp(i32, static_cast<std::uint32_t>(ms));
    default: return std::string(reinterpret_cast<char*>(buf), len);
    }
}

std::vector<Strings> CursorRows(EDSHANDLE cursor) {
    std::vector<Strings> rows;
    UNSIGNED16 fields = 0;
    EXPECT_EQ(EdsGetNumFields(cursor, &fields), EDS_SUCCESS);
    EXPECT_EQ(EdsGotoTop(cursor), EDS_SUCCESS) << LastError();
    UNSIGNED16 eof = 0;
    while (EdsAtEOF(cursor, &eof) == EDS_SUCCESS && !eof && rows.size() < 10000) {
        Strings row;
        for (UNSIGNED16 f = 1; f <= fields; ++f) row.push_back(FieldText(cursor, f));
        rows.push_back(row);
        EXPECT_EQ(EdsSkip(cursor, 1), EDS_SUCCESS);
    }
    return rows;
}

std::string SqlError(Folder& f, const std::string& sql) {
    EDSHANDLE stmt = 0, cursor = 0;
    EXPECT_EQ(EdsCreateSQLStatement(f.connection, &stmt), EDS_SUCCESS);
    UNSIGNED32 rc = EdsPrepareSQL(stmt, edstest::U(sql));
    if (rc == EDS_SUCCESS) rc = EdsExecuteSQL(stmt, &cursor);
    std::string text = LastError();
    EdsCloseSQLStatement(stmt);
    EXPECT_EQ(rc, EDS_E_SQL) << sql << ": " << text;
    return text;
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
    EXPECT_EQ(f.Affected("delete from YourAddress where A_ID = 1"), 1);
    EXPECT_EQ(f.Affected("update Groups set Group_Name = 'Hobby ''n'' fun', Parent_ID = 2 where G_ID = 3"), 1);
    EXPECT_EQ(f.Column("select Group_Name from Groups where Parent_ID = 2", 0), Strings{"Hobby 'n' fun"});
    EXPECT_EQ(f.Affected("update Members set G_ID = 2 where A_ID = 3 and G_ID = 4"), 1);
    EXPECT_EQ(f.Affected("delete from Groups where G_ID = 4"), 1);
    EXPECT_EQ(f.Affected("delete from Members where G_ID = 4"), 0);
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
    EXPECT_EQ(f.Affected("update Reports set Orientation = 'L' where ReportName = 'Daily'"), 1);
    EXPECT_EQ(f.Affected("update Report_Detail set FieldOrder = 3 where ReportName = 'Daily' and Field_Name = 'Postage'"), 1);
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
              (std::vector<Strings>{{"0.39", "1.75", "Lease 'B'", "T", "F"}}));
    EXPECT_EQ(f.Affected("update Log37 set RESULT = 'Received - Signed' where LID = 12"), 0);
    EXPECT_EQ(f.Affected("update Log37 set RESULT = 'Received - Signed' where LID = 2"), 1);
    EXPECT_EQ(f.Column("select Result, Comment, Value from (select Result, Comment, 1 as Value from Log37) where "
                       "Result is not null", 0), Strings{"Received - Signed"});
    EXPECT_EQ(f.Affected("delete from Log37 where LID = 12"), 0);
    EXPECT_EQ(f.Affected("delete from Log37 where LID = 3"), 1);
    EXPECT_EQ(f.Column("select * from Log37 order by DATETIME", 0), (Strings{"2", "1"}));

    // A table file named in lower case answers to any spelling.
    f.Affected("insert into LOG (DateTime, MailerNum, Batch) values('2020-01-01 10:00:00.000', '1234 5678 9012 3456 7890', 1)");
    EXPECT_EQ(f.Rows("select DateTime, MailerNum, Batch from LOG"),
              (std::vector<Strings>{{"2020-01-01 10:00:00.000", "1234 5678 9012 3456 7890", "T"}}));
}

TEST(EdsSqlResults, CursorsAreStaticReadOnlyAndOutliveTheirStatement) {
    Folder f;
    for (int i = 0; i < 5; ++i)
        f.Affected("insert into Log37 (DateTime, SerialNum, MailerNum) values('2026-12-0" + std::to_string(5 - i) +
                   " 10:00:00.000', " + std::to_string(i) + ", 'm" + std::to_string(i) + "')");
    EDSHANDLE stmt = 0, cursor = 0;
    EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
    UNSIGNED8 names[64];
    UNSIGNED32 namesLen = sizeof names;
    const char* sql = "select * from Log37 where SerialNum >= :low order by DATETIME";
    EDS_OK(EdsGetSQLStmtParams(edstest::U(sql), names, &namesLen));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(names), namesLen), "low");
    EDS_OK(EdsPrepareSQL(stmt, edstest::U(sql)));
    EDS_OK(EdsSetString(stmt, 1, edstest::U("1"), 1));
    EDS_OK(EdsExecuteSQL(stmt, &cursor));
    UNSIGNED32 count = 0;
    EXPECT_EQ(EdsGetRecordCount(stmt, EDS_IGNOREFILTERS, &count), EDS_E_NO_ROWS_AFFECTED);
    EDS_OK(EdsCloseSQLStatement(stmt));
    EXPECT_EQ(EdsCloseSQLStatement(stmt), EDS_E_INVALID_STATEMENT);

    UNSIGNED16 kind = 9, type = 0;
    EDS_OK(EdsSqlPeekStatement(cursor, &kind));
    EXPECT_EQ(kind, EDS_CURSOR_STATIC);
    UNSIGNED16 fields = 0;
    EDS_OK(EdsGetNumFields(cursor, &fields));
    EXPECT_EQ(fields, 31);
    EDS_OK(EdsGetFieldType(cursor, "DateTime", &type));
    EXPECT_EQ(type, EDS_TIMESTAMP);
    EDS_OK(EdsGetFieldType(cursor, "Batch", &type));
    EXPECT_EQ(type, EDS_LOGICAL);
    UNSIGNED32 length = 0;
    EDS_OK(EdsGetFieldLength(cursor, "MailerNum", &length));
    EXPECT_EQ(length, 30u);

    // Rows added after the execution are not part of the result.
    f.Affected("insert into Log37 (DateTime, SerialNum) values('2026-11-01 10:00:00.000', 9)");
    EDS_OK(EdsGetRecordCount(cursor, EDS_RESPECTFILTERS, &count));
    EXPECT_EQ(count, 4u);
    std::vector<Strings> rows = CursorRows(cursor);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][4], "4");
    EXPECT_EQ(rows[3][4], "1");
    EXPECT_EQ(rows[0][2], "m4");

    // Both ways, with bookmarks.
    EDS_OK(EdsGotoBottom(cursor));
    EXPECT_EQ(FieldText(cursor, 5), "1");
    EDS_OK(EdsSkip(cursor, -2));
    EXPECT_EQ(FieldText(cursor, 5), "3");
    EDSHANDLE mark = 0;
    EDS_OK(EdsGetBookmark(cursor, &mark));
    EDS_OK(EdsGotoTop(cursor));
    EDS_OK(EdsGotoBookmark(cursor, mark));
    EXPECT_EQ(FieldText(cursor, 5), "3");

    // Read-only; a filter still works on it.
    EXPECT_EQ(edstest::SetText(cursor, "MailerNum", "x"), EDS_E_READ_ONLY);
    EDS_OK(EdsSetAOF(cursor, edstest::U("SerialNum < 3"), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(CursorRows(cursor).size(), 2u);
    EDS_OK(EdsCloseTable(cursor));

    // Aggregates and computed columns are held whole, typed by their values.
    EDSHANDLE whole = f.Run("select count(*) as N, max(DateTime) as Latest, 2.5 as Half, count(*) as n from Log37");
    EDS_OK(EdsGetFieldType(whole, 1, &type));
    EXPECT_EQ(type, EDS_INTEGER);
    EDS_OK(EdsGetFieldType(whole, 2, &type));
    EXPECT_EQ(type, EDS_STRING);
    EDS_OK(EdsGetFieldType(whole, "Half", &type));
    EXPECT_EQ(type, EDS_DOUBLE);
    EDS_OK(EdsGetFieldType(whole, "n_2", &type));  // a repeated name is made unique
    EXPECT_EQ(CursorRows(whole), (std::vector<Strings>{{"6", "2026-12-05 10:00:00.000", "2.500000", "6"}}));
    EDS_OK(EdsSqlPeekStatement(whole, &kind));
    EXPECT_EQ(kind, EDS_CURSOR_STATIC);
    // The connection closes what is left.
}

TEST(EdsSqlResults, ParametersByNumberAndName) {
    Folder f;
    EDSHANDLE stmt = 0, cursor = 0;
    EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
    EDS_OK(EdsPrepareSQL(stmt, edstest::U("insert into Log37 (DateTime, SerialNum, Batch, ToCity, Postage, Comment) "
                                          "values(:when, :serial, :batch, :city, :postage, :comment)")));
    UNSIGNED8 stamp[8];
    std::int32_t julian = 2451545, ms = 43200000;
    std::memcpy(stamp, &julian, 4);
    std::memcpy(stamp + 4, &ms, 4);
    EDS_OK(EdsSetTimeStampRaw(stmt, 1, stamp, 8));
    EDS_OK(EdsSetDouble(stmt, "serial", 41));
    EDS_OK(EdsSetLogical(stmt, 3, 1));
    EDS_OK(EdsSetString(stmt, ":CITY", edstest::U("O'Hara"), 6));
    EDS_OK(EdsSetString(stmt, 5, edstest::U("2.40"), 4));
    EDS_OK(EdsSetEmpty(stmt, 6));
    EXPECT_EQ(EdsSetString(stmt, 7, edstest::U("x"), 1), EDS_E_INVALID_ARGUMENT);
    EXPECT_EQ(EdsSetDouble(stmt, "nothere", 1), EDS_E_INVALID_ARGUMENT);
    EDS_OK(EdsExecuteSQL(stmt, &cursor));
    EXPECT_EQ(cursor, 0u);
    UNSIGNED32 count = 0, autoinc = 0;
    EDS_OK(EdsGetRecordCount(stmt, EDS_IGNOREFILTERS, &count));
    EXPECT_EQ(count, 1u);
    EDS_OK(EdsGetLastAutoinc(stmt, &autoinc));
    EXPECT_EQ(autoinc, 1u);
    EDS_OK(EdsCloseSQLStatement(stmt));
    EXPECT_EQ(f.Rows("select DateTime, SerialNum, Batch, ToCity, Postage, Comment from Log37"),
              (std::vector<Strings>{{"2000-01-01 12:00:00.000", "41", "T", "O'Hara", "2.40", "-"}}));

    EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
    EDS_OK(EdsPrepareSQL(stmt, edstest::U("select SerialNum from Log37 where DateTime >= :day and :t <> '' ")));
    EDS_OK(EdsSetJulian(stmt, 1, 2451545));
    EDS_OK(EdsSetMilliseconds(stmt, 2, 1000));
    EDS_OK(EdsExecuteSQL(stmt, &cursor));
    EXPECT_EQ(CursorRows(cursor), (std::vector<Strings>{{"41"}}));
    EDS_OK(EdsSetJulian(stmt, 1, 2451546));
    EDSHANDLE second = 0;
    EDS_OK(EdsExecuteSQL(stmt, &second));
    EXPECT_EQ(CursorRows(second), (std::vector<Strings>{}));
    EXPECT_EQ(CursorRows(cursor).size(), 1u);  // the first result stays as it was
    EDS_OK(EdsCloseSQLStatement(stmt));
}

TEST(EdsSqlSession, AttachesOnDemandAndRecyclesIdleTables) {
    Folder f;
    for (int i = 0; i < 14; ++i) f.Make("extra" + std::to_string(i), "N,Integer;");
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 14; ++i)
            EXPECT_EQ(f.Affected("insert into EXTRA" + std::to_string(i) + " values(" + std::to_string(round) + ")"), 1);
    EXPECT_EQ(f.Column("select count(*) from Extra3", 0), Strings{"2"});
    // Ten tables at once still fit; eleven cannot.
    std::string ten = "select count(*) from extra0";
    for (int i = 1; i < 10; ++i) ten += ", extra" + std::to_string(i);
    EXPECT_EQ(f.Column(ten, 0), Strings{"1024"});
    EXPECT_NE(SqlError(f, ten + ", extra10").find("at most 10 tables"), std::string::npos);
}

TEST(EdsSqlSession, RefusalsAreEngineErrors) {
    Folder f;
    EXPECT_NE(SqlError(f, "select * from NoSuchTable").find("no such table"), std::string::npos);
    EXPECT_NE(SqlError(f, "selec * from Log37").find("ERROR 7200: NATIVEERROR = 1;"), std::string::npos);
    EXPECT_NE(SqlError(f, "").find("no statement"), std::string::npos);
    EXPECT_NE(SqlError(f, "delete from Log37; delete from Address").find("one SQL statement"), std::string::npos);
    EXPECT_NE(SqlError(f, "insert into Members (A_ID, G_ID) values('x')").find("ERROR 7200:"), std::string::npos);
    EXPECT_NE(SqlError(f, "attach database '/tmp/elsewhere.edt' as x").find("not authorized"), std::string::npos);
    EXPECT_NE(SqlError(f, "detach database edt1").find("not authorized"), std::string::npos);

    EDSHANDLE stmt = 0, cursor = 0;
    EXPECT_EQ(EdsCreateSQLStatement(12345, &stmt), EDS_E_NOT_CONNECTED);
    EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
    UNSIGNED16 type = 0;
    EDS_OK(EdsGetHandleType(stmt, &type));
    EXPECT_EQ(type, EDS_STATEMENT);
    EXPECT_EQ(EdsExecuteSQL(stmt, &cursor), EDS_E_INVALID_STATEMENT);
    EDS_OK(EdsStmtSetTableReadOnly(stmt, 1));
    EXPECT_EQ(EdsStmtSetTableType(stmt, EDS_CDX), EDS_E_NOT_SUPPORTED);
    EXPECT_EQ(EdsPrepareSQL(cursor, edstest::U("select 1")), EDS_E_INVALID_STATEMENT);
    EDS_OK(EdsExecuteSQLDirect(stmt, edstest::U("select 1 as One"), &cursor));
    EXPECT_EQ(CursorRows(cursor), (std::vector<Strings>{{"1"}}));
    // A statement whose connection is gone refuses to run.
    EDS_OK(EdsDisconnect(f.connection));
    EXPECT_EQ(EdsExecuteSQLDirect(stmt, edstest::U("select 1"), &cursor), EDS_E_NOT_CONNECTED);
    f.connection = edstest::Connect(f.dir.str());
    // The layer forgets such handles; the engine frees them.
    EDSHANDLE fresh = 0;
    EDS_OK(EdsCreateSQLStatement(f.connection, &fresh));
    EXPECT_EQ(EdsCloseSQLStatement(stmt), EDS_E_INVALID_STATEMENT);
    EDS_OK(EdsCloseSQLStatement(fresh));
}

TEST(EdsSqlText, ParametersAndSingleTableShapes) {
    eds::SqlParams p = eds::RewriteSqlParams("select ':x', [a:b] from T where A = :a and B = :B1 or C = :a -- :z");
    EXPECT_EQ(p.text, "select ':x', [a:b] from T where A = ?1 and B = ?2 or C = ?3 -- :z");
    EXPECT_EQ(p.names, (Strings{"a", "B1", "a"}));

    eds::SingleTableSelect s;
    ASSERT_TRUE(eds::AnalyseSingleTableSelect("select * from Log37 where (Batch = True) order by DATETIME", s));
    EXPECT_EQ(s.rowidQuery, "SELECT \"Log37\".rowid from Log37 where (Batch = True) order by DATETIME");
    ASSERT_TRUE(eds::AnalyseSingleTableSelect("SELECT a.Zip, upper(a.City) FROM Address AS a ORDER BY a.Zip;", s));
    EXPECT_EQ(s.qualifier, "a");
    EXPECT_EQ(s.rowidQuery, "SELECT \"a\".rowid FROM Address AS a ORDER BY a.Zip");
    for (const char* no : {"select max(A_ID) from Address", "select * from A, B", "select * from A join B on 1",
                           "select distinct Zip from A", "select Zip from A group by Zip", "select * from A limit 3",
                           "select * from A union select * from B", "insert into A values(1)", "select 1",
                           "select (select 1) from A", "select * from main.A"})
        EXPECT_FALSE(eds::AnalyseSingleTableSelect(no, s)) << no;
}

TEST(EdsSqlText, TablesAreSourcesAndTargetsNeverColumnsAliasesOrFunctions) {
    const std::vector<std::pair<std::string, Strings>> cases = {
        {"select LID, MailerNum, ToCity from Log37", {"Log37"}},
        {"select MailerNum.LID from Log37 as MailerNum, [Members] m join \"Groups\" g on g.G_ID = m.G_ID, Address",
         {"Log37", "Members", "Groups", "Address"}},
        {"select * from (Address a left outer join (Members natural join Groups)) where a.City in "
         "(select City from ZIPCODES where ToCity is distinct from MailerNum)",
         {"Address", "Members", "Groups", "ZIPCODES"}},
        {"select * from Log37 where LID in Reports and Result is not distinct from MailerNum", {"Log37", "Reports"}},
        {"insert into Log37(MailerNum) select CustID from MailerNum", {"Log37", "MailerNum"}},
        {"insert or replace into 'Groups' values(1) on conflict(G_ID) do update set Group_Name = 'x', Parent_ID = 2",
         {"Groups"}},
        {"update or ignore Log37 set MailerNum = (select max(Zip) from Reports) where LID = 1", {"Log37", "Reports"}},
        {"delete from Log37 where MailerNum not in (select MailerNum from log)", {"Log37", "log"}},
        {"create unique index if not exists Zip_i on ZIPCODES (Zip)", {"ZIPCODES"}},
        {"drop table if exists Old", {"Old"}},
        {"alter table Address rename to Addr", {"Address"}},
        {"pragma table_info(Log37)", {"Log37"}},
        {"select * from json_each(MailerNum), main.Groups, pragma_table_info('Log37')", {}},
        {"select 1 as Log37, 'from Address' from Reports -- from Members", {"Reports"}},
        {"select * from a, b where x = 1 group by c, d union select * from e order by 1, 2 limit 1, 2", {"a", "b", "e"}},
        {"SELECT * FROM LOG37, log37 AS Groups", {"LOG37"}},
        {"select ?2from Log37 where LID = ?1", {"Log37"}},
        // SQLite's other parameters take a "(...)" after their name, brackets and all.
        {"select #max(L[ID)  LID from Log37", {"Log37"}},
        {"select $a::b(x[y), @c from Members where G_ID = $d(]", {"Members"}},
    };
    for (const auto& [sql, tables] : cases) EXPECT_EQ(eds::SqlTableNames(sql), tables) << sql;
}

}  // namespace

namespace {

TEST(EdsSqlTableList, ListsTablesOfAFolderWithoutRegardToCase) {
    Folder f;
    testsupport::WriteFile(f.dir / "notes.txt", "x");
    testsupport::WriteFile(f.dir / "OLD.EDT", "");
    std::vector<std::string> names;
    UNSIGNED8 name[260], folder[260];
    UNSIGNED16 nameLen = sizeof name, folderLen = sizeof folder;
    EDSHANDLE find = 0;
    const std::string mask = f.dir.str() + "\\*.edt";
    EDS_OK(EdsFindFirstTable62(f.connection, edstest::U(mask), folder, &folderLen, name, &nameLen, &find));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(folder), folderLen), f.dir.str());
    for (;;) {
        names.emplace_back(reinterpret_cast<char*>(name), nameLen);
        nameLen = sizeof name;
        folderLen = sizeof folder;
        UNSIGNED32 rc = EdsFindNextTable62(f.connection, find, folder, &folderLen, name, &nameLen);
        if (rc == EDS_E_NO_MORE_FILES) break;
        ASSERT_EQ(rc, EDS_SUCCESS) << LastError();
    }
    EDS_OK(EdsFindClose(f.connection, find));
    EXPECT_EQ(names, (Strings{"Address.edt", "Groups.edt", "log.edt", "Log37.edt", "LogFilters.edt",
                              "LogFiltersDetail.edt", "Members.edt", "OLD.EDT", "Report_Detail.edt", "Reports.edt",
                              "YourAddress.edt", "ZIPCODES.edt"}));
    EXPECT_EQ(EdsFindClose(f.connection, find), EDS_E_INVALID_HANDLE);

    // The older form, a relative mask, and a pattern that matches nothing.
    nameLen = sizeof name;
    EDS_OK(EdsFindFirstTable(f.connection, edstest::U("log3?.EDT"), name, &nameLen, &find));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), nameLen), "Log37.edt");
    nameLen = sizeof name;
    EXPECT_EQ(EdsFindNextTable(f.connection, find, name, &nameLen), EDS_E_NO_MORE_FILES);
    EDS_OK(EdsFindClose(f.connection, find));
    EXPECT_EQ(EdsFindFirstTable(f.connection, edstest::U("*.dbf"), name, &nameLen, &find), EDS_E_NO_MORE_FILES);
    nameLen = 4;
    EXPECT_EQ(EdsFindFirstTable(f.connection, edstest::U("Log37.edt"), name, &nameLen, &find), EDS_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(find, 0u);
}

}  // namespace

namespace {

TEST(EdsSqlTables, InsertsNeverTakeANumberAPendingAppendReserved) {
    Folder f;
    EDSHANDLE table = 0;
    EDS_OK(edstest::Open(f.connection, "Address", 0, &table));
    EDS_OK(EdsAppendRecord(table));  // reserves record 1 at once
    EDS_OK(edstest::SetText(table, "Address1", "by table"));
    EXPECT_EQ(f.Affected("insert into Address (Address1) values('by SQL')"), 1);
    EDS_OK(EdsWriteRecord(table));
    EXPECT_EQ(f.Rows("select A_ID, Address1 from Address order by A_ID"),
              (std::vector<Strings>{{"1", "by table"}, {"2", "by SQL"}}));
    EDS_OK(EdsAppendRecord(table));
    EDS_OK(EdsWriteRecord(table));
    EXPECT_EQ(f.Column("select max(A_ID) from Address", 0), Strings{"3"});
    EDS_OK(EdsCloseTable(table));
}

// The counter lives beside the log when the user keeps them in one folder: a
// print on another station holds it exclusively, and the log's statements,
// which name its column MailerNum, must go on.
TEST(EdsSqlTables, ATableHeldElsewhereStopsOnlyTheStatementsThatUseIt) {
    Folder f;
    f.Make("MailerNum", "CustID,Char,9; SerialNum,Char,7; Increment,Logical; BarCodes,Logical;");
    EXPECT_EQ(f.Affected("insert into Log37 (MailerNum, ToAddress1, ToCity, Result) values"
                         "('9407 1112 0620 1234 5678', 'Acme', 'Springfield', 'None')"),
              1);
    edstest::Holder printing(f.dir.str(), "MailerNum", EDS_EXCLUSIVE, false);
    ASSERT_TRUE(printing.Ready());
    EXPECT_EQ(f.Rows("select LID, MailerNum, ToCity from Log37"),
              (std::vector<Strings>{{"1", "9407 1112 0620 1234 5678", "Springfield"}}));
    EXPECT_EQ(f.Column("select LID, ToAddress1 from Log37 where MailerNum in ('9407 1112 0620 1234 5678', "
                       "'94071112062012345678') and Result = 'None'",
                       1),
              Strings{"Acme"});
    EXPECT_EQ(f.Column("select MailerNum.LID from Log37 as MailerNum where MailerNum.Result = 'None'", 0),
              Strings{"1"});
    EXPECT_EQ(f.Affected("update Log37 set Result = 'Received - Signed' where MailerNum = '9407 1112 0620 1234 5678'"),
              1);
    // What reads the counter is refused, as its open would be.
    for (const char* sql : {"select CustID from MailerNum",
                            "select LID from Log37 where exists (select 1 from \"MailerNum\" where CustID = '')"}) {
        EDSHANDLE stmt = 0, cursor = 0;
        EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
        EXPECT_EQ(EdsExecuteSQLDirect(stmt, edstest::U(sql), &cursor), EDS_E_TABLE_LOCKED) << sql;
        EXPECT_NE(LastError().find("MailerNum.edt is open exclusively by another user"), std::string::npos)
            << LastError();
        EDS_OK(EdsCloseSQLStatement(stmt));
    }
}

TEST(EdsSqlTables, AStatementIsRefusedATableHeldExclusively) {
    Folder f;
    // Earlier statements leave the table attached to the session under a name
    // of its own; spelling that name is no way past the lock.
    EXPECT_EQ(f.Column("select count(*) from Members", 0), Strings{"0"});
    EXPECT_EQ(f.Column("select count(*) from Log37", 0), Strings{"0"});
    EDSHANDLE table = 0;
    EDS_OK(edstest::Open(f.connection, "Members", EDS_EXCLUSIVE, &table));
    EDSHANDLE stmt = 0, cursor = 0;
    EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
    EXPECT_EQ(EdsExecuteSQLDirect(stmt, edstest::U("update Members set G_ID = 1"), &cursor), EDS_E_TABLE_LOCKED);
    EDS_OK(EdsCloseSQLStatement(stmt));
    for (int n = 1; n <= 12; ++n) {
        const std::string schema = "edt" + std::to_string(n);
        for (const std::string& sql : {"select count(*) from " + schema + ".Members",
                                       "select count(*) from Log37, \"" + schema + "\".\"Members\"",
                                       "update " + schema + ".Members set G_ID = 1"}) {
            const std::string error = SqlError(f, sql);
            EXPECT_NE(error.find("no such table: " + schema + ".Members"), std::string::npos) << sql << ": " << error;
        }
    }
    EDS_OK(EdsCloseTable(table));
    EXPECT_EQ(f.Affected("insert into Members values(1, 2)"), 1);
    EXPECT_EQ(f.Column("select edt1.G_ID from Members edt1 where edt1.A_ID = 1", 0), Strings{"2"}) << "an alias";
}

}  // namespace

namespace {

// Attachments outlive their statement; one that a statement's text did not name
// to the finder is no table to it, whether spelled by its attachment name or
// reached by a name the finder missed (here: told it found none).
TEST(EdsSqlSession, AStatementReachesOnlyTheFilesFoundInItsText) {
    Folder f;
    eds::SqlSession session(f.dir.str());
    const std::vector<std::string> log = session.AttachFor("select * from Log37");
    ASSERT_EQ(log.size(), 1u);
    const std::string schema = session.ByPath(log[0])->schema;
    for (const std::string sql : {"select 1 from Log37", "select count(*) from Log37", "select * from Log37",
                                  "select LID from Log37 where 0", "delete from Log37"}) {
        sqlite3_finalize(session.PrepareReaching(sql, log));
        try {
            sqlite3_finalize(session.PrepareReaching(sql, {}));
            ADD_FAILURE() << sql << ": prepared";
        } catch (const eds::EngineError& e) {
            EXPECT_NE(e.Text().find("Log37"), std::string::npos) << sql << ": " << e.Text();
        }
        try {
            std::string qualified = sql;
            qualified.replace(qualified.find("Log37"), 5, schema + ".Log37");
            sqlite3_finalize(session.PrepareReaching(qualified, {}));
            ADD_FAILURE() << qualified << ": prepared";
        } catch (const eds::EngineError& e) {
            EXPECT_NE(e.Text().find("no such table: " + schema + ".Log37"), std::string::npos) << e.Text();
        }
    }
}

TEST(EdsSqlSession, ATableFileMadeAgainIsAttachedAgain) {
    Folder f;
    EXPECT_EQ(f.Affected("insert into Reports values('old', 'P')"), 1);
    EXPECT_EQ(f.Column("select ReportName from Reports", 0), Strings{"old"});
    std::filesystem::remove(f.dir / "Reports.edt");
    std::filesystem::remove(f.dir / "Reports.edt.lck");
    f.Make("Reports", "ReportName,Char,20; Orientation,Char,1;");
    EXPECT_EQ(f.Affected("insert into Reports values('new', 'L')"), 1);
    EXPECT_EQ(f.Column("select ReportName from Reports", 0), Strings{"new"});
}

}  // namespace

namespace {

TEST(EdsSqlResults, BinaryParametersArriveInPieces) {
    Folder f;
    f.Make("Blobs", "Name,Char,10; Data,Binary;");
    EDSHANDLE stmt = 0, cursor = 0;
    EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
    EDS_OK(EdsPrepareSQL(stmt, edstest::U("insert into Blobs values(:name, :data)")));
    EDS_OK(EdsSetString(stmt, 1, edstest::U("pic"), 3));
    const UNSIGNED8 bytes[6] = {0, 1, 2, 0xFF, 0, 7};
    EDS_OK(EdsSetBinary(stmt, "data", EDS_BINARY, 6, 3, bytes + 3, 3));
    EDS_OK(EdsSetBinary(stmt, 2, EDS_BINARY, 6, 0, bytes, 3));
    EXPECT_EQ(EdsSetBinary(stmt, 2, EDS_BINARY, 6, 5, bytes, 3), EDS_E_INVALID_ARGUMENT);
    EDS_OK(EdsExecuteSQL(stmt, &cursor));
    EDS_OK(EdsExecuteSQLDirect(stmt, edstest::U("select Data from Blobs where Name = 'pic'"), &cursor));
    EDS_OK(EdsGotoTop(cursor));
    UNSIGNED32 length = 0;
    EDS_OK(EdsGetBinaryLength(cursor, "Data", &length));
    EXPECT_EQ(length, 6u);
    UNSIGNED8 back[16];
    UNSIGNED32 got = sizeof back;
    EDS_OK(EdsGetField(cursor, "Data", back, &got, EDS_NONE));
    ASSERT_EQ(got, 6u);
    EXPECT_EQ(std::memcmp(back, bytes, 6), 0);
    EDS_OK(EdsCloseSQLStatement(stmt));
}

}  // namespace

namespace {

TEST(EdsSqlTables, UpdatesAndDeletesLeaveLockedRecordsAlone) {
    Folder f;
    for (int i = 0; i < 3; ++i) f.Affected("insert into Address (Address1, City) values('a', '(x)')");
    EDSHANDLE table = 0, stmt = 0, cursor = 0;
    EDS_OK(edstest::Open(f.connection, "Address", 0, &table));
    EDS_OK(EdsLockRecord(table, 2));
    EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
    EXPECT_EQ(EdsExecuteSQLDirect(stmt, edstest::U("update Address set City = 'y' where A_ID = 2"), &cursor),
              EDS_E_RECORD_LOCKED);
    EXPECT_EQ(EdsExecuteSQLDirect(stmt, edstest::U("delete from Address where City = '(x)'"), &cursor),
              EDS_E_RECORD_LOCKED);
    EDS_OK(EdsPrepareSQL(stmt, edstest::U("update Address AS a set City = :c where a.A_ID <> :id")));
    EDS_OK(EdsSetString(stmt, 1, edstest::U("z"), 1));
    EDS_OK(EdsSetString(stmt, 2, edstest::U("2"), 1));
    EDS_OK(EdsExecuteSQL(stmt, &cursor));
    EXPECT_EQ(f.Column("select City from Address order by A_ID", 0), (Strings{"z", "(x)", "z"}));
    EDS_OK(EdsUnlockRecord(table, 2));
    EDS_OK(EdsExecuteSQLDirect(stmt, edstest::U("delete from Address where City = '(x)'"), &cursor));
    UNSIGNED32 count = 0;
    EDS_OK(EdsGetRecordCount(stmt, EDS_IGNOREFILTERS, &count));
    EXPECT_EQ(count, 1u);
    EDS_OK(EdsCloseSQLStatement(stmt));
    EDS_OK(EdsCloseTable(table));
}

}  // namespace
