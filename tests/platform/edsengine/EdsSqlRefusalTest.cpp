// SQL that the table engine cannot stand behind for every station is refused
// before it takes effect; what describes a table, TEMP tables and indexes made
// on a table still run; a connection that goes closes its SQL session's files.

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
using edstest::LastError;
using edstest::U;

struct Folder {
    testsupport::TempDir dir;
    EDSHANDLE connection = 0;

    Folder() {
        connection = edstest::Connect(dir.str());
        EDSHANDLE table = 0;
        EXPECT_EQ(edstest::Create(connection, "Y", "A,Char,10; N,Integer;", &table), EDS_SUCCESS) << LastError();
        EXPECT_EQ(EdsAppendRecord(table), EDS_SUCCESS);
        EXPECT_EQ(edstest::SetText(table, "A", "first"), EDS_SUCCESS);
        EXPECT_EQ(EdsWriteRecord(table), EDS_SUCCESS) << LastError();
        EdsCloseTable(table);
    }
    ~Folder() { EdsDisconnect(connection); }

    // Runs a statement: its code, with the rows of a column of a result.
    UNSIGNED32 Run(const std::string& sql, Strings* rows = nullptr, std::string* error = nullptr,
                   UNSIGNED16 column = 1) {
        EDSHANDLE stmt = 0, cursor = 0;
        EXPECT_EQ(EdsCreateSQLStatement(connection, &stmt), EDS_SUCCESS) << LastError();
        UNSIGNED32 rc = EdsExecuteSQLDirect(stmt, U(sql), &cursor);
        if (error) *error = LastError();
        if (rc == EDS_SUCCESS && cursor != 0) {
            for (EdsGotoTop(cursor); !edstest::AtEof(cursor); EdsSkip(cursor, 1))
                if (rows) rows->push_back(edstest::Text(cursor, column));
            EdsCloseTable(cursor);
        }
        EdsCloseSQLStatement(stmt);
        return rc;
    }
    Strings Rows(const std::string& sql, UNSIGNED16 column = 1) {
        Strings rows;
        std::string error;
        EXPECT_EQ(Run(sql, &rows, &error, column), EDS_SUCCESS) << sql << ": " << error;
        return rows;
    }
    std::int64_t Affected(const std::string& sql) {
        EDSHANDLE stmt = 0, cursor = 0;
        EXPECT_EQ(EdsCreateSQLStatement(connection, &stmt), EDS_SUCCESS) << LastError();
        EXPECT_EQ(EdsExecuteSQLDirect(stmt, U(sql), &cursor), EDS_SUCCESS) << sql << ": " << LastError();
        UNSIGNED32 count = 0;
        const UNSIGNED32 rc = EdsGetRecordCount(stmt, EDS_IGNOREFILTERS, &count);
        EdsCloseSQLStatement(stmt);
        return rc == EDS_SUCCESS ? count : -1;
    }
    Strings Files() const {
        Strings names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.str())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(EdsSqlRefusals, WhatNoStationCouldRelyOnIsRefusedWithWhatToUseInstead) {
    Folder f;
    f.Rows("create index Y_A on Y(A)");  // something for REINDEX and DROP INDEX to name
    const Strings files = f.Files();
    const std::string transaction = "use the connection's transaction calls (BeginTransaction, Commit, Rollback)";
    const std::string tableApi = "cannot be run through SQL: tables, their fields and their indexes are made, changed "
                                 "and removed through the table API";
    const std::string returning = "cannot return rows (RETURNING) through SQL; run the statement, then a SELECT";
    f.Rows("create temp table t(a)");
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"begin", transaction},
        {"BEGIN IMMEDIATE TRANSACTION", transaction},
        {"savepoint a", transaction},
        {"release a", transaction},
        {"commit", transaction},
        {"end", transaction},
        {"rollback", transaction},
        {"pragma locking_mode=exclusive", "PRAGMA locking_mode cannot be run through SQL"},
        {"PRAGMA main.locking_mode = EXCLUSIVE", "PRAGMA locking_mode cannot be run through SQL"},
        {"pragma journal_mode", "PRAGMA journal_mode cannot be run through SQL"},
        {"pragma writable_schema=on", "PRAGMA writable_schema cannot be run through SQL"},
        {"pragma user_version = 7", "PRAGMA user_version cannot be run through SQL"},
        {"pragma database_list", "PRAGMA database_list cannot be run through SQL"},
        {"select * from pragma_database_list", "PRAGMA database_list cannot be read through SQL"},
        {"select * from Y where A in (select name from pragma_collation_list)",
         "PRAGMA collation_list cannot be read through SQL"},
        {"create table Extra(a)", "CREATE TABLE " + tableApi},
        {"create table if not exists Y(a)", "CREATE TABLE " + tableApi},
        {"create table Copy as select * from Y", "CREATE TABLE " + tableApi},
        {"drop table Y", "DROP TABLE " + tableApi},
        {"drop table if exists Y", "DROP TABLE " + tableApi},
        {"alter table Y rename to Q", "ALTER TABLE " + tableApi},
        {"alter table Y rename column A to B", "ALTER TABLE " + tableApi},
        {"alter table Y add column C", "ALTER TABLE " + tableApi},
        {"drop index Y_A", "DROP INDEX " + tableApi},
        {"reindex", "REINDEX " + tableApi},
        {"reindex binary", "REINDEX " + tableApi},
        {"analyze", "ANALYZE " + tableApi},
        {"analyze Y", "ANALYZE " + tableApi},
        {"create view V as select * from Y", "CREATE VIEW " + tableApi},
        {"create temp view V as select * from Y", "CREATE VIEW " + tableApi},
        {"create trigger edt1.T after insert on Y begin select 1; end", "CREATE TRIGGER " + tableApi},
        {"create temp trigger T after insert on Y begin delete from Y; end", "CREATE TRIGGER " + tableApi},
        {"create virtual table temp.V using fts4(a)", "CREATE VIRTUAL TABLE " + tableApi},
        {"create virtual table temp.V using rtree(id, x0, x1)", "CREATE VIRTUAL TABLE " + tableApi},
        {"select fts3_tokenizer('simple')", "The function fts3_tokenizer cannot be used through SQL"},
        {"select A from Y where FTS3_TOKENIZER('x', N) is null", "The function fts3_tokenizer cannot be used"},
        // The session alone attaches and detaches files, which VACUUM would do too.
        {"attach database 'Y.edt' as other", "not authorized"},
        {"vacuum", "authorization denied"},
        {"vacuum into '" + f.dir.str() + "/Copy.edt'", "authorization denied"},
        // The rows a change returns would come from a run of it elsewhere, past
        // the locks, the numbering and the value checks, and never stored.
        {"insert into Y(A) values('r') returning A", returning},
        {"insert into Y(A) values('r') on conflict do nothing returning rowid", returning},
        {"replace into Y(A, N) select 'r', 2 from Y returning *", returning},
        {"update Y set A = 'changed' returning N", returning},
        {"delete from Y returning A", returning},
        {"with w(a) as (select 'w') insert into Y(A) select a from w returning A", returning},
        {"insert into temp.t values(1) returning a", returning},
    };
    for (const auto& [sql, text] : refused) {
        std::string error;
        if (text != "authorization denied") {  // VACUUM is refused only as it runs
            EDSHANDLE stmt = 0;
            EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
            EXPECT_EQ(EdsPrepareSQL(stmt, U(sql)), EDS_E_SQL) << sql;
            EdsCloseSQLStatement(stmt);
        }
        EXPECT_EQ(f.Run(sql, nullptr, &error), EDS_E_SQL) << sql;
        EXPECT_EQ(error.rfind("7200 ERROR 7200: NATIVEERROR = 23; ", 0), 0u) << sql << ": " << error;
        EXPECT_NE(error.find(text), std::string::npos) << sql << ": " << error;
    }
    // Nothing of it happened: no table came or went, the file keeps its one
    // row and its fields, and another connection opens and appends at once.
    EXPECT_EQ(f.Files(), files);
    EXPECT_EQ(f.Rows("select A || '/' || ifnull(N, '') from Y"), Strings{"first/"});
    EXPECT_EQ(f.Affected("delete from t"), 0);
    EXPECT_EQ(f.Rows("pragma table_info(Y)", 2), (Strings{"A", "N"}));
    const EDSHANDLE other = edstest::Connect(f.dir.str());
    EDSHANDLE table = 0;
    EDS_OK(edstest::Open(other, "Y", 0, &table));
    EDS_OK(EdsAppendRecord(table));
    EDS_OK(edstest::SetText(table, "A", "second"));
    EDS_OK(EdsWriteRecord(table));
    EdsCloseTable(table);
    EdsDisconnect(other);
    EXPECT_EQ(f.Rows("select A from Y order by A"), (Strings{"first", "second"}));
}

TEST(EdsSqlRefusals, TablesDescribedTempTablesAndIndexesOnATableStillRun) {
    Folder f;
    // The PRAGMAs that describe a table, in either form, and as tables.
    EXPECT_EQ(f.Rows("pragma table_info(Y)", 2), (Strings{"A", "N"}));
    EXPECT_EQ(f.Rows("PRAGMA table_xinfo = Y", 2), (Strings{"A", "N"}));
    f.Rows("create unique index if not exists Y_N on Y(N) where N > 0");
    f.Rows("CREATE INDEX IF NOT EXISTS Y_N on Y(N)");
    f.Rows("create index Y_AN on Y(A, N)");
    EXPECT_EQ(f.Rows("pragma index_list(Y)", 2), (Strings{"Y_AN", "Y_N"}));
    EXPECT_EQ(f.Rows("select name from Y, pragma_table_info('Y') where N is null", 1), (Strings{"A", "N"}));
    EXPECT_EQ(f.Rows("select name from Y, pragma_index_info('Y_AN') where A = 'first'"), (Strings{"A", "N"}));
    EXPECT_EQ(f.Rows("select name from Y, pragma_index_xinfo('Y_AN') where A = 'first'").size(), 3u);
    // The plan of a change that returns rows is only read.
    EXPECT_FALSE(f.Rows("explain insert into Y(A) values('x') returning A").empty());
    EXPECT_EQ(f.Rows("select A from Y"), Strings{"first"});
    // The indexes live in the table's file: another connection keeps them up.
    const EDSHANDLE other = edstest::Connect(f.dir.str());
    EDSHANDLE table = 0;
    EDS_OK(edstest::Open(other, "Y", 0, &table));
    EDS_OK(EdsAppendRecord(table));
    EDS_OK(edstest::SetInt(table, "N", 5));
    EDS_OK(EdsWriteRecord(table));
    EDS_OK(EdsAppendRecord(table));
    EDS_OK(edstest::SetInt(table, "N", 5));
    EXPECT_EQ(EdsWriteRecord(table), EDS_E_UNIQUE_VIOLATION);
    EdsCloseTable(table);
    EdsDisconnect(other);

    // TEMP tables come and go in the session, as do their indexes.
    f.Rows("create temp table t(a)");
    f.Rows("create table temp.u as select A from Y");
    f.Rows("create index t_a on t(a)");
    f.Rows("insert into t select N from Y where N is not null");
    EXPECT_EQ(f.Affected("update t set a = a + 1"), 1);
    EXPECT_EQ(f.Affected("delete from u"), 2);
    f.Rows("drop index t_a");
    f.Rows("drop table t");
    f.Rows("drop table temp.u");
    EXPECT_EQ(f.Run("select * from t"), EDS_E_SQL);
}

// The session's own statements pass: its write transaction numbering an
// insert, its checks of each file's version, its attachments.
TEST(EdsSqlRefusals, TheSessionsOwnStatementsStillRun) {
    Folder f;
    EDSHANDLE table = 0;
    EDS_OK(edstest::Create(f.connection, "Numbered", "ID,AutoInc; Name,Char,10;", &table));
    EdsCloseTable(table);
    for (int i = 0; i < 12; ++i) {  // more tables than the session attaches at once
        EDS_OK(edstest::Create(f.connection, "T" + std::to_string(i), "V,Integer;", &table));
        EdsCloseTable(table);
        f.Rows("insert into T" + std::to_string(i) + " values(" + std::to_string(i) + ")");
    }
    f.Rows("insert into Numbered (Name) values('one')");
    f.Rows("insert into Numbered (Name) values('two')");
    EXPECT_EQ(f.Rows("select ID || '' from Numbered"), (Strings{"1", "2"}));
    EXPECT_EQ(f.Rows("select V || '' from T0 union all select V || '' from T11"), (Strings{"0", "11"}));
}

// The files a connection's statements attached are closed with it, and so
// are their locks; its statements answer that it is gone.
TEST(EdsSqlRefusals, ADisconnectClosesTheFilesItsStatementsAttached) {
    Folder f;
    const std::string file = (std::filesystem::path(f.dir.str()) / "Y.edt").string();
    auto opened = [&] {
        int count = 0;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            if (std::filesystem::read_symlink(fd.path(), ec).string() == file) ++count;
        }
        return count;
    };
    EDSHANDLE stmt = 0, cursor = 0;
    EDS_OK(EdsCreateSQLStatement(f.connection, &stmt));
    EDS_OK(EdsExecuteSQLDirect(stmt, U("update Y set N = 1"), &cursor));
    EXPECT_GT(opened(), 0);
    EDS_OK(EdsDisconnect(f.connection));
    EXPECT_EQ(opened(), 0);
    EXPECT_EQ(EdsPrepareSQL(stmt, U("select * from Y")), EDS_E_NOT_CONNECTED);
    EXPECT_EQ(EdsExecuteSQL(stmt, &cursor), EDS_E_NOT_CONNECTED);
    EXPECT_EQ(EdsCloseSQLStatement(stmt), EDS_SUCCESS);
    f.connection = edstest::Connect(f.dir.str());
    EXPECT_EQ(f.Rows("select N || '' from Y"), Strings{"1"});
}

}  // namespace
