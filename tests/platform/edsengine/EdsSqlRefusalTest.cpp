// SQL that the table engine cannot stand behind for every station is refused
// before it takes effect; what describes a table and indexes made on a table
// still run; the engine's own tables in each file are never written by SQL; a
// connection that goes closes its SQL session's files.

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/support/TestSupport.h"

#include <filesystem>
#include <set>
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
    // Expects `sql` refused with the authorizer's code and `text`, at prepare
    // too unless told otherwise.
    void ExpectRefused(const std::string& sql, const std::string& text, bool atPrepare = true) {
        if (atPrepare) {
            EDSHANDLE stmt = 0;
            EDS_OK(EdsCreateSQLStatement(connection, &stmt));
            EXPECT_EQ(EdsPrepareSQL(stmt, U(sql)), EDS_E_SQL) << sql;
            EdsCloseSQLStatement(stmt);
        }
        std::string error;
        EXPECT_EQ(Run(sql, nullptr, &error), EDS_E_SQL) << sql;
        EXPECT_EQ(error.rfind("7200 ERROR 7200: NATIVEERROR = 23; ", 0), 0u) << sql << ": " << error;
        EXPECT_NE(error.find(text), std::string::npos) << sql << ": " << error;
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
    const std::string noTemp = "cannot be run through SQL: a query reads its rows on a connection of its own, where "
                               "TEMP tables do not exist. Make a table through the table API instead.";
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
        {"create temp table t(a)", "CREATE TEMP TABLE " + noTemp},
        {"CREATE TEMPORARY TABLE IF NOT EXISTS Y(ID, A)", "CREATE TEMP TABLE " + noTemp},
        {"create table temp.x as select * from Y", "CREATE TEMP TABLE " + noTemp},
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
    };
    for (const auto& [sql, text] : refused)
        f.ExpectRefused(sql, text, text != "authorization denied");  // VACUUM is refused only as it runs
    // Nothing of it happened: no table came or went, the file keeps its one
    // row and its fields, and another connection opens and appends at once.
    EXPECT_EQ(f.Files(), files);
    EXPECT_EQ(f.Rows("select A || '/' || ifnull(N, '') from Y"), Strings{"first/"});
    EXPECT_EQ(f.Run("select * from temp.x"), EDS_E_SQL);
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

TEST(EdsSqlRefusals, TablesDescribedAndIndexesOnATableStillRun) {
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
}

// Each file's own tables (its fields and index tags, SQLite's record numbers
// and statistics) are read by every station that opens it: no SQL writes a row
// of them or indexes them, named plainly or by attachment, whichever file the
// session attached first. Reading them stays allowed: it changes nothing.
TEST(EdsSqlRefusals, TheEnginesOwnTablesInEveryFileAreNeverWrittenBySql) {
    Folder f;
    EDSHANDLE table = 0;
    EDS_OK(edstest::Create(f.connection, "Numbered", "ID,AutoInc; Name,Char,10;", &table));
    for (const char* name : {"one", "two"}) {
        EDS_OK(EdsAppendRecord(table));
        EDS_OK(edstest::SetText(table, "Name", name));
        EDS_OK(EdsWriteRecord(table));
    }
    EdsCloseTable(table);
    // Everything of a file but its rows, straight from it.
    auto own = [&](const std::string& name, bool analyse = false) {
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open_v2((f.dir / (name + ".edt")).c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        if (analyse) sqlite3_exec(db, "ANALYZE", nullptr, nullptr, nullptr);  // as another program may leave it
        std::string dump;
        for (const char* sql : {"SELECT * FROM _edt_meta", "SELECT * FROM _edt_index", "SELECT * FROM sqlite_stat1",
                                "SELECT type, name, sql FROM sqlite_master", "SELECT * FROM sqlite_sequence"}) {
            sqlite3_stmt* stmt = nullptr;
            sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
            while (sqlite3_step(stmt) == SQLITE_ROW)
                for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                    const unsigned char* t = sqlite3_column_text(stmt, c);
                    dump += (t ? reinterpret_cast<const char*>(t) : "-") + std::string("|");
                }
            sqlite3_finalize(stmt);
        }
        sqlite3_close(db);
        return dump;
    };
    const std::string before = own("Y", true) + own("Numbered", true);
    // Y is attached first (edt1): unqualified names of the engine's tables resolve to it.
    f.Rows("select A from Y");
    f.Rows("select Name from Numbered");
    for (const std::string sql : {
             "insert into _edt_index select 'x', 'y', 0, 'z' from Y limit 1",
             "delete from _edt_meta where rowid in (select N from Y)",
             "delete from _edt_meta where exists(select 1 from Numbered)",
             "update _edt_meta set value = 'A,Char,5' where key = 'fields' and exists(select 1 from Numbered)",
             "update sqlite_sequence set seq = 2147483646 where exists(select 1 from Numbered)",
             "insert or replace into edt2.sqlite_sequence(name, seq) select 'Numbered', 9 from Numbered",
             "replace into edt2._edt_meta(key, value) select 'fields', 'A,Char,5' from Numbered",
             "delete from edt1._edt_index where exists(select 1 from Y)",
             "delete from edt2.sqlite_stat1 where exists(select 1 from Numbered)",
             "with w(a) as (select 1) update edt1._edt_meta set value = 'x' where exists(select 1 from Y, w)",
         })
        f.ExpectRefused(sql, " is the engine's own: SQL may insert, update and delete the rows of a table only.");
    f.ExpectRefused("create unique index edt1.M on _edt_meta(value)", "indexes are made only on a table's rows");
    f.ExpectRefused("create index if not exists edt2.S on _edt_index(expr)", "indexes are made only on a table's rows");
    EXPECT_EQ(f.Rows("select name || ':' || seq from sqlite_sequence where exists(select 1 from Numbered)"),
              Strings{"Numbered:2"});
    EXPECT_EQ(own("Y") + own("Numbered"), before);

    // What writes them for the engine still does: an index made on a table, and
    // the numbering of an insert, through SQL and then through the table API.
    f.Rows("create index if not exists Y_Batch on Y (N) where A = 'first'");
    f.Rows("insert into Numbered(Name) values('three')");
    EDS_OK(edstest::Open(f.connection, "Numbered", 0, &table));
    EDS_OK(EdsAppendRecord(table));
    EDS_OK(edstest::SetText(table, "Name", "four"));
    EDS_OK(EdsWriteRecord(table));
    EdsCloseTable(table);
    EXPECT_EQ(f.Rows("select ID || Name from Numbered"), (Strings{"1one", "2two", "3three", "4four"}));
    EXPECT_EQ(f.Rows("pragma index_list(Y)", 2), Strings{"Y_Batch"});
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

// What each connection that ran this test's probe held when it ran: SQLite's
// defensive mode on, extensions and FTS3 tokenizers from values off.
struct Hardening {
    std::set<sqlite3*> connections;
    int calls = 0;
    int soft = 0;  // calls on a connection without the settings
};
Hardening* gHardening = nullptr;

void Probe(sqlite3_context* context, int, sqlite3_value**) {
    sqlite3* db = sqlite3_context_db_handle(context);
    int defensive = -1, extensions = -1, tokenizers = -1;
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, -1, &defensive);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, -1, &extensions);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, -1, &tokenizers);
    if (gHardening) {
        gHardening->connections.insert(db);
        ++gHardening->calls;
        if (defensive != 1 || extensions != 0 || tokenizers != 0) ++gHardening->soft;
    }
    sqlite3_result_int(context, 1);
}

// Every connection SQLite opens in this process from here gets the probe.
int AddProbe(sqlite3* db, char**, const sqlite3_api_routines*) {
    return sqlite3_create_function(db, "eds_probe", 0, SQLITE_UTF8, nullptr, Probe, nullptr, nullptr);
}

// The caller's text runs on the session's connection (a change), on a
// by-record result's (its conditions) and on a streamed result's (its rows,
// and the kinds of its columns on one more): each holds the settings that keep
// SQL from writing a file's schema or pages directly.
TEST(EdsSqlRefusals, EveryConnectionThatRunsTheCallersTextIsHardened) {
    const auto entry = reinterpret_cast<void (*)()>(&AddProbe);
    ASSERT_EQ(sqlite3_auto_extension(entry), SQLITE_OK);
    {
        Folder f;
        struct Case {
            const char* sql;
            std::size_t connections;
        };
        for (const Case& c : {Case{"update Y set N = eds_probe()", 1}, Case{"select A from Y where eds_probe() = 1", 1},
                              Case{"select eds_probe() as P, A from Y", 2}}) {
            Hardening seen;
            gHardening = &seen;
            std::string error;
            EXPECT_EQ(f.Run(c.sql, nullptr, &error), EDS_SUCCESS) << c.sql << ": " << error;
            gHardening = nullptr;
            EXPECT_GT(seen.calls, 0) << c.sql;
            EXPECT_EQ(seen.connections.size(), c.connections) << c.sql;
            EXPECT_EQ(seen.soft, 0) << c.sql;
        }
    }
    sqlite3_cancel_auto_extension(entry);
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
