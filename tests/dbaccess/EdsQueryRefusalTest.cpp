// SQL that the table engine cannot carry out safely, sent as a program would
// send it while another station works on the same folder: refused with the
// engine's SQL error and what to use instead, before any effect, and the other
// station goes on opening and appending.

#include "tests/dbaccess/EdsQueryTestSupport.h"
#include "tests/dbaccess/EdsTableTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace edstabletest;
using querytest::Strings;

std::int32_t Exec(const std::string& folder, const std::string& sql) {
    TEdsQuery query;
    query.SetDatabaseName(folder);
    query.SetSQLText(sql);
    query.ExecSQL();
    return query.RowsAffected();
}

Strings Column(const std::string& folder, const std::string& sql, const std::string& field) {
    TEdsQuery query;
    query.SetDatabaseName(folder);
    query.SetSQLText(sql);
    query.Open();
    Strings values;
    for (query.First(); !query.Eof(); query.Next()) values.push_back(query.FieldByName(field)->AsString());
    return values;
}

std::string Names(TEdsTable& table) {
    std::string names;
    for (table.First(); !table.Eof(); table.Next()) names += (names.empty() ? "" : ",") + table.FieldByName("A")->AsString();
    return names;
}

// The folder's table Y with its row "first", made in a child so that this
// process's engine is untouched until its own children are forked.
void MakeY(const std::string& folder) {
    ASSERT_EQ(RunInChild([&] {
                  auto table = CreateAppTable(folder, "Y", "A,Char,10;");
                  table->Open();
                  table->AppendRecord({db::Variant(std::string("first"))});
              }),
              "");
}

// Another station: at each 'a' it opens Y, appends "other" and reports the
// names it then reads; 'h' opens Y and keeps it open, and the appends that
// follow go through that open.
void Station(const std::string& folder, TChildProcess& self) {
    std::unique_ptr<TEdsTable> held;
    for (char command = self.Await(); command == 'a' || command == 'h'; command = self.Await()) {
        if (command == 'h') {
            held = OpenTable(folder, "Y");
            self.Report("open: " + Names(*held));
            continue;
        }
        std::unique_ptr<TEdsTable> table = held ? std::move(held) : OpenTable(folder, "Y");
        table->AppendRecord({db::Variant(std::string("other"))});
        self.Report(Names(*table));
    }
}

void ExpectRefused(const std::string& folder, const std::string& sql, const std::string& text) {
    const TRaised refused = Raises([&] { Exec(folder, sql); });
    EXPECT_EQ(refused.Code, 7200) << sql << ": " << refused.Message;
    EXPECT_NE(refused.Message.find(text), std::string::npos) << sql << ": " << refused.Message;
}

TEST(EdsQueryUnsafeSql, TransactionControlIsRefusedAndWhatFollowsIsWrittenForEveryStation) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    MakeY(folder);
    TChildProcess other([&](TChildProcess& self) { Station(folder, self); });
    const std::string text = "use the connection's transaction calls (BeginTransaction, Commit, Rollback)";
    ExpectRefused(folder, "begin", text);
    ExpectRefused(folder, "savepoint a", text);
    EXPECT_EQ(Exec(folder, "insert into Y(A) values('s')"), 1);
    other.Tell('a');
    EXPECT_EQ(other.Next(), "first,s,other");
    for (const char* sql : {"release a", "commit", "end", "rollback", "rollback to a", "BEGIN IMMEDIATE",
                            "begin exclusive transaction"})
        ExpectRefused(folder, sql, text);
    other.Tell('q');
    EXPECT_TRUE(other.Join());
}

TEST(EdsQueryUnsafeSql, APragmaThatWouldHoldTheFilesIsRefusedAndReadingATablesColumnsIsNot) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    MakeY(folder);
    TChildProcess other([&](TChildProcess& self) { Station(folder, self); });
    for (const char* sql : {"pragma locking_mode=exclusive", "PRAGMA main.locking_mode = EXCLUSIVE",
                            "pragma journal_mode = off", "pragma query_only = 1"})
        ExpectRefused(folder, sql, "cannot be run through SQL: the engine keeps its connections' settings itself");
    EXPECT_EQ(Column(folder, "select A from Y", "A"), Strings{"first"});
    EXPECT_EQ(Column(folder, "pragma table_info(Y)", "name"), Strings{"A"});
    other.Tell('a');
    EXPECT_EQ(other.Next(), "first,other");
    EXPECT_EQ(Exec(folder, "insert into Y(A) values('s')"), 1);
    other.Tell('a');
    EXPECT_EQ(other.Next(), "first,other,s,other");
    other.Tell('q');
    EXPECT_TRUE(other.Join());
}

TEST(EdsQueryUnsafeSql, TablesAreNotDroppedAlteredOrMadeByStatementsWhileAnotherStationHasThemOpen) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    MakeY(folder);
    TChildProcess other([&](TChildProcess& self) { Station(folder, self); });
    other.Tell('h');
    ASSERT_EQ(other.Next(), "open: first");
    const std::string tableApi = "cannot be run through SQL: tables, their fields and their indexes are made, changed "
                                 "and removed through the table API";
    const std::string returning = "cannot return rows (RETURNING) through SQL; run the statement, then a SELECT";
    for (const auto& [sql, text] : std::vector<std::pair<std::string, std::string>>{
             {"drop table Y", "DROP TABLE " + tableApi},
             {"alter table Y rename to Q", "ALTER TABLE " + tableApi},
             {"alter table Y rename column A to B", "ALTER TABLE " + tableApi},
             {"create table Extra(a)", "CREATE TABLE " + tableApi},
             {"create view V as select A from Y", "CREATE VIEW " + tableApi},
             {"create temp trigger T after insert on Y begin delete from Y; end", "CREATE TRIGGER " + tableApi},
             {"analyze Y", "ANALYZE " + tableApi},
             {"create temp table Y(A)", "CREATE TEMP TABLE cannot be run through SQL: a query reads its rows on a connection"},
             {"create table temp.Copy as select A from Y", "CREATE TEMP TABLE cannot be run through SQL"},
             {"update _edt_meta set value = 'A,Char,5' where key = 'fields' and exists(select 1 from Y)",
              "The table _edt_meta is the engine's own: SQL may insert, update and delete the rows of a table only"},
             {"delete from _edt_index where exists(select 1 from Y)", "The table _edt_index is the engine's own"},
             {"insert into Y(A) values('r') returning A", returning},
             {"update Y set A = 'changed' returning A", returning},
             {"delete from Y returning A", returning}})
        ExpectRefused(folder, sql, text);
    EXPECT_EQ(Raises([&] { Column(folder, "select a from Extra", "a"); }).Code, 7200);
    const TRaised opened = Raises([&] { Column(folder, "insert into Y(A) values('r') returning A", "A"); });
    EXPECT_EQ(opened.Code, 7200);
    EXPECT_NE(opened.Message.find(returning), std::string::npos) << opened.Message;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder) / "Q.edt"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder) / "Extra.edt"));
    // The other station reads and appends through the open it kept; the file
    // still opens here, with its field as it was.
    other.Tell('a');
    EXPECT_EQ(other.Next(), "first,other");
    auto mine = OpenTable(folder, "Y");
    ASSERT_EQ(mine->FieldCount(), 1);
    EXPECT_EQ(mine->Fields()[0]->FieldName(), "A");
    EXPECT_EQ(Names(*mine), "first,other");
    other.Tell('q');
    EXPECT_TRUE(other.Join());
}

// A tokenizer registered by an address taken from a value would be called
// there: the statements are refused, in a process of their own so that the
// fault they would cause shows as its death.
TEST(EdsQueryUnsafeSql, ATokenizerIsNeverRegisteredFromAValueLiteralOrBound) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    MakeY(folder);
    TChildProcess child([&](TChildProcess& self) {
        auto refusal = [&](const std::function<void()>& statement) {
            const TRaised refused = Raises(statement);
            const bool said = refused.Message.find("The function fts3_tokenizer cannot be used through SQL") !=
                                  std::string::npos ||
                              refused.Message.find("CREATE VIRTUAL TABLE cannot be run through SQL") != std::string::npos;
            self.Report(std::to_string(refused.Code) + (said ? " said" : " " + refused.Message));
        };
        refusal([&] { Exec(folder, "insert into Y(A) select fts3_tokenizer('evil', x'4141414141414141')"); });
        refusal([&] { Exec(folder, "create virtual table temp.v using fts3(a, tokenize=evil)"); });
        TEdsQuery bound;
        bound.SetDatabaseName(folder);
        bound.SetSQLText("select fts3_tokenizer('evil2', :p) as r");
        bound.ParamByName("p")->SetAsBlob(std::string(8, 'A'));
        refusal([&] { bound.Open(); });
        TEdsQuery insert;
        insert.SetDatabaseName(folder);
        insert.SetSQLText("insert into Y(A) values(fts3_tokenizer('evil3', :p))");
        insert.ParamByName("p")->SetAsBlob(std::string(8, 'A'));
        refusal([&] { insert.ExecSQL(); });
        refusal([&] { Exec(folder, "create virtual table temp.w using fts3(a, tokenize=evil2)"); });
        refusal([&] { Exec(folder, "create virtual table temp.x using fts3(a, tokenize=evil3)"); });
        self.Report("still here: " + std::to_string(Exec(folder, "insert into Y(A) values('x')")));
    });
    for (int i = 0; i < 6; ++i) EXPECT_EQ(child.Next(), "7200 said") << i;
    EXPECT_EQ(child.Next(), "still here: 1");
    EXPECT_TRUE(child.Join());
}

}  // namespace
