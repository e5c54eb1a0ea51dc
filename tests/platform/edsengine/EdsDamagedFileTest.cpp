// Damaged and foreign files: every open (read-only or not, and a statement that
// reads the table) answers an error code with a text, never crashes, leaves
// every byte of the file as it was and no lock file behind; a statement that only
// names a column like the file goes on.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

struct Damage {
    const char* what;
    std::string sql;        // run on a sound table file; empty: bytes replace the file
    std::string bytes;      // the file's bytes when no SQL is given
    UNSIGNED32 expected;
};

class DamagedFiles : public ::testing::Test {
protected:
    void SetUp() override { connection_ = Connect(dir_.str()); }
    void TearDown() override { EdsDisconnect(connection_); }

    std::string File() const { return (dir_ / "T.edt").string(); }

    // A sound table with rows and an index, as the engine makes it.
    std::string SoundBytes() {
        EDSHANDLE table = 0;
        EXPECT_EQ(Create(connection_, "T", "ID,AutoInc; Name,Char,20; Nick,CIChar,10;", &table), EDS_SUCCESS)
            << LastError();
        EXPECT_EQ(EdsCreateIndex61(table, U(""), U("NICK"), U("Nick"), U(""), U(""), 0, 0, nullptr), EDS_SUCCESS);
        for (const char* name : {"one", "two"}) {
            EdsAppendRecord(table);
            SetText(table, "Name", name);
            SetText(table, "Nick", name);
            EXPECT_EQ(EdsWriteRecord(table), EDS_SUCCESS);
        }
        EdsCloseTable(table);
        std::string bytes = testsupport::ReadFile(File());
        std::filesystem::remove(File());
        std::filesystem::remove(File() + ".lck");
        return bytes;
    }

    void Make(const Damage& d, const std::string& sound) {
        testsupport::WriteFile(File(), d.sql.empty() ? d.bytes : sound);
        if (d.sql.empty()) return;
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(File().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, d.sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << d.what << sqlite3_errmsg(db);
        sqlite3_close(db);
    }

    testsupport::TempDir dir_;
    EDSHANDLE connection_ = 0;
};

TEST_F(DamagedFiles, EachAnswersAnErrorAndKeepsItsBytes) {
    const std::string sound = SoundBytes();
    EDSHANDLE other = 0;
    ASSERT_EQ(Create(connection_, "S", "T,Char,5; Name,Char,5;", &other), EDS_SUCCESS) << LastError();
    EDS_OK(EdsCloseTable(other));
    const std::vector<Damage> damages = {
        {"a NULL index tag", "CREATE TABLE x AS SELECT NULL AS tag, expr, options, sql_index FROM _edt_index; DROP TABLE _edt_index; ALTER TABLE x RENAME TO _edt_index", "", EDS_E_NOT_A_TABLE},
        {"a NULL index expression", "CREATE TABLE x AS SELECT tag, NULL AS expr, options, sql_index FROM _edt_index; DROP TABLE _edt_index; ALTER TABLE x RENAME TO _edt_index", "", EDS_E_NOT_A_TABLE},
        {"options as text", "UPDATE _edt_index SET options = 'x'", "", EDS_E_NOT_A_TABLE},
        {"options out of range", "UPDATE _edt_index SET options = 1 << 40", "", EDS_E_NOT_A_TABLE},
        {"a NULL SQLite index", "CREATE TABLE x AS SELECT tag, expr, options, NULL AS sql_index FROM _edt_index; DROP TABLE _edt_index; ALTER TABLE x RENAME TO _edt_index", "", EDS_E_NOT_A_TABLE},
        {"a SQLite index missing", "UPDATE _edt_index SET sql_index = 'nothing'", "", EDS_E_NOT_A_TABLE},
        {"an index on no column", "UPDATE _edt_index SET expr = 'Missing'", "", EDS_E_NOT_A_TABLE},
        {"a NULL description key", "UPDATE _edt_meta SET key = NULL WHERE key = 'table'", "", EDS_E_NOT_A_TABLE},
        {"the fields as a blob", "UPDATE _edt_meta SET value = x'00' WHERE key = 'fields'", "", EDS_E_NOT_A_TABLE},
        {"the format as a number", "UPDATE _edt_meta SET value = 2 WHERE key = 'format'", "", EDS_E_NOT_A_TABLE},
        {"no table of rows", "UPDATE _edt_meta SET value = 'Other' WHERE key = 'table'", "", EDS_E_NOT_A_TABLE},
        {"a field the table lacks",
         "UPDATE _edt_meta SET value = 'ID,AUTOINC;Name,CHAR,20;Nick,CICHAR,10;Ghost,CHAR,5;' WHERE key = 'fields'", "",
         EDS_E_FIELD_SPEC},
        {"a huge field specification",
         "UPDATE _edt_meta SET value = 'ID,AUTOINC;' || replace(hex(zeroblob(3000)), '00', 'A,CHAR,65530;')"
         " WHERE key = 'fields'",
         "", EDS_E_FIELD_SPEC},
        {"no description", "DROP TABLE _edt_meta", "", EDS_E_NOT_A_TABLE},
        {"a foreign SQLite file", "", "", EDS_E_NOT_A_TABLE},
        {"a truncated file", "", sound.substr(0, 1500), EDS_E_NOT_A_TABLE},
        {"text", "", "not a table at all", EDS_E_NOT_A_TABLE},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        if (std::string(d.what) == "a foreign SQLite file") {
            std::filesystem::remove(File());
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(File().c_str(), &db), SQLITE_OK);
            sqlite3_exec(db, "CREATE TABLE people(name TEXT); INSERT INTO people VALUES('x')", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        } else {
            Make(d, sound);
        }
        const std::string before = testsupport::ReadFile(File());
        std::string refusal;
        for (UNSIGNED32 options : {UNSIGNED32{EDS_READONLY}, UNSIGNED32{0}, UNSIGNED32{EDS_EXCLUSIVE}}) {
            EDSHANDLE table = 0;
            EXPECT_EQ(Open(connection_, "T", options, &table), d.expected) << options << " " << LastError();
            EXPECT_GT(LastError().size(), 6u);
            refusal = LastError();
        }
        EDSHANDLE stmt = 0, cursor = 0;
        EDS_OK(EdsCreateSQLStatement(connection_, &stmt));
        EXPECT_EQ(EdsExecuteSQLDirect(stmt, U("SELECT * FROM T"), &cursor), d.expected);
        EXPECT_EQ(LastError(), refusal);
        EXPECT_EQ(EdsPrepareSQL(stmt, U("SELECT T FROM S WHERE Name IN (SELECT Name FROM t)")), d.expected);
        EXPECT_EQ(LastError(), refusal);
        EDS_OK(EdsExecuteSQLDirect(stmt, U("SELECT T FROM S WHERE T IN ('x')"), &cursor));
        EXPECT_NE(cursor, 0u);
        EdsCloseTable(cursor);
        EdsCloseSQLStatement(stmt);
        EXPECT_FALSE(std::filesystem::exists(File() + ".lck"));
        EXPECT_EQ(testsupport::ReadFile(File()), before);
    }
}

}  // namespace

namespace {

// A file damaged while another open holds it: the refused opens leave its lock
// file as it is, since that file carries the holder's record locks.
TEST_F(DamagedFiles, RefusalsLeaveTheLockFileOfAnOpenThatHoldsTheTable) {
    auto setFormat = [&](const char* format) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(File().c_str(), &db), SQLITE_OK);
        const std::string sql = std::string("UPDATE _edt_meta SET value = '") + format + "' WHERE key = 'format'";
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    };
    EDSHANDLE holder = 0, table = 0, stmt = 0, cursor = 0;
    ASSERT_EQ(Create(connection_, "T", "ID,AutoInc; Name,Char,20;", &holder), EDS_SUCCESS) << LastError();
    EDS_OK(EdsCloseTable(holder));
    EDS_OK(Open(connection_, "T", 0, &holder));
    EDS_OK(EdsAppendRecord(holder));
    EDS_OK(EdsWriteRecord(holder));
    EDS_OK(EdsLockRecord(holder, 1));
    EDS_OK(EdsCreateSQLStatement(connection_, &stmt));
    EDS_OK(EdsExecuteSQLDirect(stmt, U("SELECT Name FROM T"), &cursor));  // a statement that read it before
    EDS_OK(EdsCloseTable(cursor));
    setFormat("EDT 9");
    EXPECT_EQ(Open(connection_, "T", 0, &table), EDS_E_NOT_A_TABLE);
    EXPECT_EQ(Open(connection_, "T", EDS_EXCLUSIVE, &table), EDS_E_NOT_A_TABLE);
    EXPECT_EQ(EdsExecuteSQLDirect(stmt, U("UPDATE T SET Name = 'x'"), &cursor), EDS_E_NOT_A_TABLE);
    EDS_OK(EdsCloseSQLStatement(stmt));
    EXPECT_TRUE(std::filesystem::exists(File() + ".lck"));
    setFormat("EDT 2");
    EDS_OK(Open(connection_, "T", 0, &table));
    EXPECT_EQ(EdsLockRecord(table, 1), EDS_E_RECORD_LOCKED);
    EDS_OK(EdsCloseTable(table));
    EDS_OK(EdsCloseTable(holder));
}

}  // namespace
