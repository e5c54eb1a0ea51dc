// SQL writes checked against their fields where the statement stores its values:
// the checks follow a table through eviction and a new file and go with its
// attachment, judge the value as stored rather than as bound, and let an UPDATE
// repair a row that holds a bad value already.

#include "platform/edsengine/EdsSqlSession.h"
#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/support/TestSupport.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

using edstest::LastError;
using edstest::U;

struct Folder {
    testsupport::TempDir dir;
    EDSHANDLE connection = edstest::Connect(dir.str());
    ~Folder() { EdsDisconnect(connection); }

    void Make(const std::string& name, const std::string& spec) {
        EDSHANDLE table = 0;
        ASSERT_EQ(edstest::Create(connection, name, spec, &table), EDS_SUCCESS) << LastError();
        ASSERT_EQ(EdsCloseTable(table), EDS_SUCCESS);
    }
    // The code of a statement, with the engine's text when it fails.
    std::string Run(const std::string& sql) {
        return edstest::RunSql(connection, sql);
    }
    // The rows of a table straight from its file, one text a row.
    std::vector<std::string> Stored(const std::string& table, const std::string& columns) {
        sqlite3* db = nullptr;
        sqlite3_open_v2((dir / (table + ".edt")).c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        std::vector<std::string> rows;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, ("SELECT " + columns + " FROM " + table + " ORDER BY rowid").c_str(), -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::string row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                const unsigned char* t = sqlite3_column_text(stmt, c);
                row += (c ? "|" : "") + std::string(t ? reinterpret_cast<const char*>(t) : "-");
            }
            rows.push_back(row);
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return rows;
    }
};

const std::string kRefusedN = "5148 The column \"N\" of the table T cannot hold 12345.5; it holds numbers of at most 6 "
                              "characters with 2 decimals.";

TEST(EdsSqlStoredValues, ChecksFollowTheirTableThroughANewFileAndEvictionAndGoWithTheirAttachment) {
    Folder f;
    f.Make("T", "N,Numeric,6,2;");
    EXPECT_EQ(f.Run("insert into T values(12345.5)"), kRefusedN);
    // The file made again is attached again, with its own checks.
    std::filesystem::remove(f.dir / "T.edt");
    std::filesystem::remove(f.dir / "T.edt.lck");
    f.Make("T", "N,Numeric,6,2; I,Integer;");
    EXPECT_EQ(f.Run("insert into T(N) values(12345.5)"), kRefusedN);
    EXPECT_EQ(f.Run("insert into T(I) values(3000000000)"),
              "5148 The column \"I\" of the table T cannot hold 3000000000; it holds whole numbers from -2147483647 "
              "to 2147483647.");
    EXPECT_EQ(f.Run("insert into T(N, I) values(1.5, 2)"), "0");
    // Other tables push T out of the session, twice; its checks go with it and
    // come back with it.
    for (int i = 0; i < 11; ++i) f.Make("Other" + std::to_string(i), "N,Numeric,6,2;");
    auto evict = [&] {
        for (int i = 0; i < 11; ++i) EXPECT_EQ(f.Run("insert into Other" + std::to_string(i) + " values(1)"), "0");
    };
    evict();
    EXPECT_EQ(f.Run("insert into T(N) values(12345.5)"), kRefusedN);
    EXPECT_EQ(f.Stored("T", "N, I"), std::vector<std::string>{"1.5|2"});

    // An attachment's checks go before it does, whatever ends it; a table
    // without a column to check has none.
    f.Make("Names", "Name,Char,10;");
    eds::SqlSession session(f.dir.str());
    // The value checks' triggers; the record checks (four on a table without AutoInc) go the same way.
    auto triggers = [&](const char* like) {
        sqlite3_stmt* count = nullptr;
        sqlite3_prepare_v2(session.Db(),
                           ("SELECT count(*) FROM temp.sqlite_master WHERE type = 'trigger' AND name LIKE '" +
                            std::string(like) + "'").c_str(),
                           -1, &count, nullptr);
        sqlite3_step(count);
        const int n = sqlite3_column_int(count, 0);
        sqlite3_finalize(count);
        return n;
    };
    auto checks = [&] {
        EXPECT_EQ(triggers("%$leaves") + triggers("%$changes") + triggers("%$comes") + triggers("%$placed"),
                  4 * static_cast<int>(session.AttachedCount()));
        return triggers("%") - 4 * static_cast<int>(session.AttachedCount());
    };
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 11; ++i) {
            session.AttachFor("select * from Names, Other" + std::to_string(i));
            EXPECT_EQ(checks(), 2 * static_cast<int>(session.AttachedCount() - 1));
        }
    std::filesystem::remove(f.dir / "Other10.edt");
    f.Make("Other10", "N,Numeric,6,2;");
    session.AttachFor("select * from Other10");
    EXPECT_EQ(checks(), 2 * static_cast<int>(session.AttachedCount() - 1));
}

TEST(EdsSqlStoredValues, AnUpdateChecksOnlyTheColumnsItChangesSoABadRowStaysRepairable) {
    Folder f;
    f.Make("T", "ID,AutoInc; N,Numeric,6,2; I,Integer; C,Char,5;");
    {
        // Rows as an earlier build let SQL store them.
        sqlite3* db = nullptr;
        sqlite3_open((f.dir / "T.edt").c_str(), &db);
        ASSERT_EQ(sqlite3_exec(db, "INSERT INTO T VALUES(1, 12345.5, 3000000000, 'a'), (2, 1, 1, 'b')", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    EXPECT_EQ(f.Run("update T set C = 'x'"), "0");
    EXPECT_EQ(f.Run("update T set N = N, I = I + 0"), "0");
    EXPECT_EQ(f.Run("update T set I = I + 1 where ID = 2"), "0");
    EXPECT_EQ(f.Run("update T set N = 12345.5 where ID = 2"), kRefusedN);
    EXPECT_EQ(f.Run("update T set N = 1.25 where ID = 1"), "0");
    // Every way of writing a row is checked: REPLACE, and the UPDATE of an upsert.
    EXPECT_EQ(f.Run("replace into T(ID, N) values(2, 12345.5)"), kRefusedN);
    EXPECT_EQ(f.Run("insert into T(ID, N) values(2, 0) on conflict(ID) do update set N = 12345.5"), kRefusedN);
    // A refusal undoes the rows the statement wrote before it, whatever its conflict clause.
    EXPECT_EQ(f.Run("insert into T(ID, I) values(3, 1), (4, 2), (5, 'x')").substr(0, 20), "5148 The column \"I\" ");
    EXPECT_EQ(f.Run("insert or fail into T(ID, I) values(3, 1), (4, 'x')").substr(0, 20), "5148 The column \"I\" ");
    EXPECT_EQ(f.Run("update or ignore T set I = case ID when 1 then 5 else 'x' end").substr(0, 20),
              "5148 The column \"I\" ");
    EXPECT_EQ(f.Stored("T", "ID, N, I, C"), (std::vector<std::string>{"1|1.25|3000000000|x", "2|1.0|2|x"}));
}

TEST(EdsSqlStoredValues, ParametersAreJudgedAsStoredNotAsBound) {
    Folder f;
    f.Make("T", "I,Integer; N,Numeric,6,2; D,Date;");
    EDSHANDLE stmt = 0, cursor = 0;
    EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
    EDS_OK(EdsPrepareSQL(stmt, U("insert into T values(:i, :n, :d)")));
    auto run = [&](const std::string& i, double n, SIGNED32 julian) {
        EdsSetString(stmt, "i", U(i), static_cast<UNSIGNED32>(i.size()));
        EdsSetDouble(stmt, "n", n);
        EdsSetJulian(stmt, "d", julian);
        return EdsExecuteSQL(stmt, &cursor) == EDS_SUCCESS ? std::string("0") : LastError().substr(0, 20);
    };
    const SIGNED32 lastDay = 5373484;  // 9999-12-31
    EXPECT_EQ(run("42", 1.234, lastDay), "0");
    EXPECT_EQ(run("1e3", 999.99, 2451545), "0");
    EXPECT_EQ(run("4.5", 0, 2451545), "5148 The column \"I\" ");
    EXPECT_EQ(run("0x10", 0, 2451545), "5148 The column \"I\" ");
    EXPECT_EQ(run("1", 999.995, 2451545), "5148 The column \"N\" ");  // rounds to 1000.00
    EXPECT_EQ(run("1", 0, lastDay + 1), "5148 The column \"D\" ");
    EDS_OK(EdsCloseSQLStatement(stmt));
    // The checks called by hand judge only what a field could be.
    EXPECT_EQ(f.Run("insert into T(I) select eds_stored_fits('T', 'X', 2, 1000, 5, 1.5)").substr(0, 4), "7200");
    EXPECT_EQ(f.Run("insert into T(I) select eds_changed_fits('T', 'X', 2, 32, 30, -1.7e308, 0)").substr(0, 20),
              "5148 The column \"X\" ");
    EXPECT_EQ(f.Stored("T", "I, N, D"), (std::vector<std::string>{"42|1.234|9999-12-31", "1000|999.99|2000-01-01"}));
}

// A table wider than one call of a check takes (SQLite limits a function's
// arguments): every column is checked, the last as well as the first, on
// insert and on update.
TEST(EdsSqlStoredValues, EveryColumnOfAWideTableIsChecked) {
    Folder f;
    std::string spec;
    std::vector<std::string> columns;
    for (const char* kind : {"I", "D"})
        for (int i = 1; i <= 25; ++i) {
            columns.push_back(kind + std::to_string(i));
            spec += columns.back() + (*kind == 'I' ? ",Integer;" : ",Date;");
        }
    f.Make("Wide", spec);
    // A row of good values, or with the one of `bad` in its column.
    auto insert = [&](const std::string& badColumn, const std::string& bad) {
        std::string values;
        for (const std::string& column : columns)
            values += std::string(values.empty() ? "" : ", ") +
                      (column == badColumn ? bad : column[0] == 'I' ? column.substr(1) : "'2020-01-01'");
        return f.Run("insert into Wide values(" + values + ")");
    };
    EXPECT_EQ(insert("", ""), "0");
    for (const std::string& column : columns) {
        const std::string bad = column[0] == 'I' ? "'x'" : "'2020-13-45'";
        const std::string refused = "5148 The column \"" + column + "\" of the table Wide cannot hold " + bad;
        EXPECT_EQ(insert(column, bad).substr(0, refused.size()), refused);
        EXPECT_EQ(f.Run("update Wide set " + column + " = " + bad).substr(0, refused.size()), refused);
    }
    EXPECT_EQ(f.Run("update Wide set I25 = 7, D25 = '2021-02-03'"), "0");
    EXPECT_EQ(f.Stored("Wide", "I1, D1, I25, D25"), std::vector<std::string>{"1|2020-01-01|7|2021-02-03"});
}

// A time written with more decimals than a field keeps reads through the table
// API as the millisecond it lies in: never another second, never refused, in
// a Time and in a TimeStamp, and SQL finds it as that millisecond.
TEST(EdsSqlStoredValues, ATimeWithMoreDecimalsThanMillisecondsReadsAsItsMillisecond) {
    Folder f;
    f.Make("Times", "T,Time; TS,TimeStamp;");
    struct Case {
        std::string millisecond;  // HH:MM:SS.mmm
        std::string further;      // up to six more digits
    };
    std::vector<Case> cases;
    for (const std::string ms : {"12:30:01.234", "00:00:00.000", "23:59:59.999", "12:30:00.999", "09:05:07.050"})
        for (const std::string further : {"5", "0", "56", "0001", "99999", "123456", "000009", "999999"})
            for (std::size_t digits = 1; digits <= further.size(); ++digits)
                cases.push_back({ms, further.substr(0, digits)});
    for (const Case& c : cases) {
        const std::string text = c.millisecond + c.further;
        ASSERT_EQ(f.Run("insert into Times values('" + text + "', '9999-12-31 " + text + "')"), "0") << text;
    }
    auto millisecondOf = [](const std::string& hms) {
        return ((std::stoi(hms.substr(0, 2)) * 60 + std::stoi(hms.substr(3, 2))) * 60 + std::stoi(hms.substr(6, 2))) *
                   1000 + std::stoi(hms.substr(9, 3));
    };
    EDSHANDLE table = 0;
    EDS_OK(edstest::Open(f.connection, "Times", 0, &table));
    EDS_OK(EdsGotoTop(table));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.millisecond + c.further);
        ASSERT_FALSE(edstest::AtEof(table));
        std::uint32_t time = 0;
        std::int32_t stamp[2] = {0, 0};
        UNSIGNED32 length = sizeof time;
        EDS_OK(EdsGetField(table, U("T"), reinterpret_cast<UNSIGNED8*>(&time), &length, EDS_NONE));
        length = sizeof stamp;
        EDS_OK(EdsGetField(table, U("TS"), reinterpret_cast<UNSIGNED8*>(stamp), &length, EDS_NONE));
        EXPECT_EQ(time, static_cast<std::uint32_t>(millisecondOf(c.millisecond)));
        EXPECT_EQ(stamp[0], 5373484);  // 9999-12-31
        EXPECT_EQ(stamp[1], millisecondOf(c.millisecond));
        EDS_OK(EdsSkip(table, 1));
    }
    EXPECT_TRUE(edstest::AtEof(table));
    EdsCloseTable(table);
    EDSHANDLE stmt = 0, cursor = 0;
    EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
    EDS_OK(EdsExecuteSQLDirect(stmt, U("select T from Times where T = '12:30:01.234'"), &cursor));
    UNSIGNED32 count = 0;
    EDS_OK(EdsGetRecordCount(cursor, EDS_IGNOREFILTERS, &count));
    EXPECT_EQ(count, 31u);  // every further digit after 12:30:01.234
    EdsCloseTable(cursor);
    EdsCloseSQLStatement(stmt);
    // What is no time stays refused.
    EXPECT_EQ(f.Run("insert into Times(T) values('12:30:01.2345x')").substr(0, 20), "5148 The column \"T\" ");
    EXPECT_EQ(f.Run("insert into Times(TS) values('2020-01-01 12:30:01.234 5')").substr(0, 21),
              "5148 The column \"TS\" ");
}

// Every time and timestamp SQL stores is kept in the form the table API writes
// (whatever form of it SQL was given, and however it stored it), so WHERE
// compares it as the field reads, beside rows the API wrote; a value the
// engine cannot read stays refused, and one stored before stays as it was.
TEST(EdsSqlStoredValues, TimesAreStoredInTheFormTheTableApiWrites) {
    Folder f;
    f.Make("Clock", "N,Integer; TM,Time; TS,TimeStamp;");
    EDSHANDLE table = 0;
    EDS_OK(edstest::Open(f.connection, "Clock", 0, &table));
    EDS_OK(EdsAppendRecord(table));
    EDS_OK(edstest::SetInt(table, "N", 1));
    EDS_OK(edstest::SetInt(table, "TM", 45000000));  // the image of 12:30:00.000
    EDS_OK(EdsWriteRecord(table));
    EdsCloseTable(table);
    struct Case {
        std::string written, time, stamp;
    };
    const std::vector<Case> cases = {
        {"12:30:00.9999", "12:30:00.999", "2024-05-01 12:30:00.999"},
        {"12:30:00.5", "12:30:00.500", "2024-05-01 12:30:00.500"},
        {"12:30:00.05", "12:30:00.050", "2024-05-01 12:30:00.050"},
        {"12:30:00", "12:30:00.000", "2024-05-01 12:30:00.000"},
        {"12:30", "12:30:00.000", "2024-05-01 12:30:00.000"},
        {"23:59:59.999999999", "23:59:59.999", "2024-05-01 23:59:59.999"},
    };
    std::vector<std::string> expected{"1|12:30:00.000|-"};
    int n = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        const std::string at = std::to_string(++n);
        ASSERT_EQ(f.Run("insert into Clock values(" + at + ", '" + c.written + "', '2024-05-01 " + c.written + "')"),
                  "0");
        expected.push_back(at + "|" + c.time + "|" + c.stamp);
        ASSERT_EQ(f.Run("insert into Clock(N, TS) values(" + std::to_string(++n) + ", '2024-05-01T" + c.written + "')"),
                  "0");
        expected.push_back(std::to_string(n) + "|-|" + c.stamp);
    }
    ASSERT_EQ(f.Run("insert into Clock(N, TS) values(" + std::to_string(++n) + ", '2024-05-01')"), "0");
    expected.push_back(std::to_string(n) + "|-|2024-05-01 00:00:00.000");
    // UPDATE, REPLACE and an upsert store in that form as well; so do parameters.
    ASSERT_EQ(f.Run("insert into Clock(N, TM) values(90, '07:00:00.000')"), "0");
    ASSERT_EQ(f.Run("update Clock set TM = '07:08', TS = '2024-06-01T07:08:09.1234' where N = 90"), "0");
    expected.push_back("90|07:08:00.000|2024-06-01 07:08:09.123");
    ASSERT_EQ(f.Run("insert or replace into Clock(rowid, N, TM) values(100, 91, '08:09')"), "0");
    ASSERT_EQ(f.Run("insert or replace into Clock(rowid, N, TM) values(100, 92, '08:10')"), "0");
    expected.push_back("92|08:10:00.000|-");
    ASSERT_EQ(f.Run("insert into Clock(rowid, N, TM) values(100, 93, '00:00') on conflict(rowid) do update set TM = "
                    "'09:10:11.12'"),
              "0");
    expected.back() = "92|09:10:11.120|-";
    {
        EDSHANDLE stmt = 0, cursor = 0;
        EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
        EDS_OK(EdsPrepareSQL(stmt, U("insert into Clock(N, TM) values(94, :T)")));
        EDS_OK(EdsSetString(stmt, U("T"), U("10:11"), 5));
        EDS_OK(EdsExecuteSQL(stmt, &cursor));
        EdsCloseSQLStatement(stmt);
        expected.push_back("94|10:11:00.000|-");
    }
    EXPECT_EQ(f.Stored("Clock", "N, TM, TS"), expected);
    // WHERE finds each as it reads, the API's row among them, and the program's
    // bounds of a second take in each of its milliseconds.
    auto count = [&](const std::string& where) {
        EDSHANDLE stmt = 0, cursor = 0;
        UNSIGNED32 rows = 99;
        EdsCreateSQLStatement(f.connection, &stmt);
        EXPECT_EQ(EdsExecuteSQLDirect(stmt, U("select N from Clock where " + where), &cursor), EDS_SUCCESS)
            << LastError();
        if (cursor) EdsGetRecordCount(cursor, EDS_IGNOREFILTERS, &rows), EdsCloseTable(cursor);
        EdsCloseSQLStatement(stmt);
        return rows;
    };
    EXPECT_EQ(count("TM = '12:30:00.000'"), 3u);
    EXPECT_EQ(count("TM = '12:30:00.999'"), 1u);
    EXPECT_EQ(count("TM < '12:30:00.500'"), 7u);  // the API's row, .050, two at 12:30, 07:08, 09:10, 10:11
    EXPECT_EQ(count("TS > '2024-05-01 12:30:00' and TS <= '2024-05-01 12:30:00.999'"), 10u);
    EXPECT_EQ(count("TS = '2024-05-01 00:00:00.000'"), 1u);
    // What is no time stays refused and stores nothing; a row stored before in
    // another form keeps it until the time is written again.
    const std::vector<std::string> before = f.Stored("Clock", "N, TM, TS");
    EXPECT_EQ(f.Run("update Clock set TM = '12:3' where N = 2").substr(0, 21), "5148 The column \"TM\" ");
    EXPECT_EQ(f.Run("insert into Clock(N, TS) values(95, '2024-05-01X12:30')").substr(0, 21),
              "5148 The column \"TS\" ");
    EXPECT_EQ(f.Stored("Clock", "N, TM, TS"), before);
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((f.dir / "Clock.edt").c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "UPDATE Clock SET TM = '13:00' WHERE N = 1", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    ASSERT_EQ(f.Run("update Clock set N = 101 where N = 1"), "0");
    EXPECT_EQ(f.Stored("Clock", "TM FROM Clock WHERE N = 101 --"), std::vector<std::string>{"13:00"});
    ASSERT_EQ(f.Run("update Clock set TS = '2024-07-01' where N = 101"), "0");
    EXPECT_EQ(f.Stored("Clock", "TM, TS FROM Clock WHERE N = 101 --"),
              std::vector<std::string>{"13:00|2024-07-01 00:00:00.000"});
    ASSERT_EQ(f.Run("update Clock set TM = TM where N = 101"), "0");
    EXPECT_EQ(f.Stored("Clock", "TM FROM Clock WHERE N = 101 --"), std::vector<std::string>{"13:00"});
    ASSERT_EQ(f.Run("update Clock set TM = '13:00:00' where N = 101"), "0");
    EXPECT_EQ(f.Stored("Clock", "TM FROM Clock WHERE N = 101 --"), std::vector<std::string>{"13:00:00.000"});
}

}  // namespace
