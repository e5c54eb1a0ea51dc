// Case-insensitive keys fold every letter Windows-1252 has in both cases: unique
// indexes, seeks and filters agree with a model of that folding, and tables made
// when only ASCII letters were folded are brought up to date and stay readable,
// writable and sound for the sqlite3 tool.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/edsengine/eds.h"
#include "platform/rtl/CodePages.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

const char kGroups[] = "G_ID,AutoInc; Group_Name,Char,40; Nick,CIChar,20;";

std::string Ansi(const std::string& utf8) { return rtl::Utf8ToAnsi(utf8); }

UNSIGNED32 AppendGroup(EDSHANDLE table, const std::string& utf8) {
    if (UNSIGNED32 rc = EdsAppendRecord(table)) return rc;
    EdsFieldId name("Group_Name"), nick("Nick");
    if (UNSIGNED32 rc = SetText(table, name, Ansi(utf8))) return rc;
    if (UNSIGNED32 rc = SetText(table, nick, Ansi(utf8))) return rc;
    const UNSIGNED32 rc = EdsWriteRecord(table);
    if (rc != EDS_SUCCESS) EdsCancelUpdate(table);
    return rc;
}

// Seeks a text key (given in UTF-8); answers the group name found, or "".
std::string SeekName(EDSHANDLE index, const std::string& utf8) {
    const std::string key = Ansi(utf8);
    UNSIGNED16 found = 0;
    EXPECT_EQ(EdsSeek(index, U(key), static_cast<UNSIGNED16>(key.size()), EDS_STRINGKEY, EDS_HARDSEEK, &found),
              EDS_SUCCESS)
        << LastError();
    return found ? rtl::AnsiToUtf8(Text(index, "Group_Name")) : "";
}

std::string Sqlite(const std::string& file, const std::string& sql) {
    auto r = testsupport::RunCommand("sqlite3 -batch '" + file + "' \"" + sql + "\" 2>&1");
    return r.output;
}

class CaseFolding : public ::testing::Test {
protected:
    void SetUp() override { connection_ = Connect(dir_.str()); }
    void TearDown() override { EdsDisconnect(connection_); }
    std::string File() const { return (dir_ / "Groups.edt").string(); }

    testsupport::TempDir dir_;
    EDSHANDLE connection_ = 0;
};

TEST_F(CaseFolding, UniqueIndexesAndSeeksAgreeWithAModelOfWindows1252Folding) {
    REQUIRE_TOOLS("sqlite3");
    EDSHANDLE table = 0, byName = 0, byNick = 0;
    ASSERT_EQ(Create(connection_, "Groups", kGroups, &table), EDS_SUCCESS) << LastError();
    EDS_OK(EdsCreateIndex61(table, U(""), U("NAME"), U("UPPER(Group_Name)"), U(""), U(""), EDS_UNIQUE, 0, &byName));
    EDS_OK(EdsCreateIndex61(table, U(""), U("NICK"), U("Nick"), U(""), U(""), 0, 0, &byNick));
    // Names from letters of both cases, accented and plain, that the folding must join.
    const std::vector<std::string> letters = {"a", "A", "ä", "Ä", "é", "É", "ñ", "Ñ", "ç", "Ç", "ø", "Ø", "ÿ", "Ÿ",
                                              "š", "Š", "œ", "Œ", "ž", "Ž", "þ", "Þ", "ß", "µ", "-", "z"};
    std::mt19937 random(21);
    std::map<std::string, std::string> model;  // folded -> the name stored
    for (int round = 0; round < 300; ++round) {
        std::string name;
        const int length = 1 + static_cast<int>(random() % 3);
        for (int i = 0; i < length; ++i) name += letters[random() % letters.size()];
        const std::string folded = rtl::AnsiUpperCase(name);
        const bool fresh = model.count(folded) == 0;
        const UNSIGNED32 rc = AppendGroup(table, name);
        EXPECT_EQ(rc, fresh ? EDS_SUCCESS : EDS_E_UNIQUE_VIOLATION) << name << " after " << model[folded];
        if (fresh && rc == EDS_SUCCESS) model[folded] = name;
    }
    ASSERT_GT(model.size(), 50u);
    // Every name is found by its key in any case, through either index.
    for (const auto& [folded, name] : model) {
        std::string other = folded;
        for (const rtl::CaseFoldPair& pair : rtl::kAnsiCaseFolds) {
            for (std::size_t at = other.find(pair.upper); at != std::string::npos; at = other.find(pair.upper, at + 2))
                if (random() % 2) other.replace(at, 2, pair.lower);
        }
        EXPECT_EQ(SeekName(byName, other), name) << other;
        EXPECT_EQ(SeekName(byNick, folded), name) << folded;
    }
    // German, French and Spanish names in the other case.
    EDS_OK(AppendGroup(table, "Müller"));
    EDS_OK(AppendGroup(table, "Française"));
    EDS_OK(AppendGroup(table, "Peña"));
    EXPECT_EQ(AppendGroup(table, "MÜLLER"), EDS_E_UNIQUE_VIOLATION);
    EXPECT_EQ(AppendGroup(table, "FRANÇAISE"), EDS_E_UNIQUE_VIOLATION);
    EXPECT_EQ(AppendGroup(table, "peÑa"), EDS_E_UNIQUE_VIOLATION);
    EXPECT_EQ(SeekName(byName, "MÜLLER"), "Müller");
    EXPECT_EQ(SeekName(byNick, "française"), "Française");
    EXPECT_EQ(SeekName(byName, "PEÑA"), "Peña");
    // A filter's UPPER() folds alike, whether SQLite or the evaluator runs it.
    EDS_OK(EdsSetAOF(table, U("UPPER(Group_Name) = 'MÜLLER'"), EDS_RESOLVE_IMMEDIATE));
    UNSIGNED32 count = 0;
    EDS_OK(EdsGetRecordCount(table, EDS_RESPECTFILTERS, &count));
    EXPECT_EQ(count, 1u);
    EDS_OK(EdsClearAOF(table));
    EDS_OK(EdsCloseTable(table));
    // The sqlite3 tool checks, reads and writes the file; its writes keep the key.
    EXPECT_EQ(Sqlite(File(), "PRAGMA integrity_check"), "ok\n");
    EXPECT_NE(Sqlite(File(), "INSERT INTO Groups(Group_Name) VALUES('müller')").find("UNIQUE"), std::string::npos);
    EXPECT_EQ(Sqlite(File(), "INSERT INTO Groups(Group_Name, Nick) VALUES('Ôté', 'Ôté')"), "");
    EXPECT_EQ(Sqlite(File(), "PRAGMA integrity_check"), "ok\n");
    EDS_OK(Open(connection_, "Groups", 0, &table));
    EDS_OK(EdsGetIndexHandle(table, U("NICK"), &byNick));
    EXPECT_EQ(SeekName(byNick, "ôTÉ"), "Ôté");
    EdsCloseTable(table);
}

// A table as the engine made it while keys folded ASCII letters only.
void MakeOlderTable(const std::string& file, const std::vector<std::string>& names) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    std::string sql =
        "CREATE TABLE _edt_meta(key TEXT PRIMARY KEY, value TEXT);"
        "CREATE TABLE _edt_index(tag TEXT PRIMARY KEY COLLATE NOCASE, expr TEXT NOT NULL, options INTEGER NOT NULL,"
        " sql_index TEXT NOT NULL);"
        "CREATE TABLE \"Groups\"(\"G_ID\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Group_Name\" TEXT,"
        " \"Nick\" TEXT COLLATE NOCASE);"
        "INSERT INTO _edt_meta VALUES('format', 'EDT 1'), ('fields', 'G_ID,AUTOINC;Group_Name,CHAR,40;Nick,CICHAR,20;'),"
        " ('table', 'Groups');"
        "CREATE UNIQUE INDEX \"Groups$NAME\" ON \"Groups\"(upper(ifnull(\"Group_Name\", '')));"
        "CREATE INDEX \"Groups$NICK\" ON \"Groups\"(ifnull(\"Nick\", '') COLLATE NOCASE);"
        "INSERT INTO _edt_index VALUES('NAME', 'UPPER(Group_Name)', 3, 'Groups$NAME'),"
        " ('NICK', 'Nick', 0, 'Groups$NICK');";
    for (const std::string& name : names) sql += "INSERT INTO Groups(Group_Name, Nick) VALUES('" + name + "', '" + name + "');";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

TEST_F(CaseFolding, AnOlderTableIsReadAsItIsAndBroughtUpToDateAtItsFirstWritableOpen) {
    REQUIRE_TOOLS("sqlite3");
    MakeOlderTable(File(), {"Müller", "Zoë", "ñandú"});
    const std::string before = testsupport::ReadFile(File());
    EDSHANDLE table = 0, index = 0;
    // Read-only: the file stays as it is, and its keys still work as they did.
    EDS_OK(Open(connection_, "Groups", EDS_READONLY, &table));
    EDS_OK(EdsGetIndexHandle(table, U("NAME"), &index));
    EXPECT_EQ(SeekName(index, "zoë"), "Zoë");  // ASCII letters fold, accented ones not yet
    EXPECT_EQ(SeekName(index, "ZOË"), "");
    EXPECT_EQ(SeekName(index, "MüLLER"), "Müller");
    EDS_OK(EdsCloseTable(table));
    // So does a statement.
    EDSHANDLE stmt = 0, cursor = 0;
    UNSIGNED32 count = 0;
    EDS_OK(EdsCreateSQLStatement(connection_, &stmt));
    EDS_OK(EdsExecuteSQLDirect(stmt, U("SELECT Group_Name FROM Groups ORDER BY Nick"), &cursor));
    EDS_OK(EdsGetRecordCount(cursor, EDS_IGNOREFILTERS, &count));
    EXPECT_EQ(count, 3u);
    EDS_OK(EdsCloseTable(cursor));
    EDS_OK(EdsCloseSQLStatement(stmt));
    EXPECT_EQ(testsupport::ReadFile(File()), before);
    // Writable: every accented letter folds from now on.
    EDS_OK(Open(connection_, "Groups", 0, &table));
    EDS_OK(EdsGetIndexHandle(table, U("NAME"), &index));
    EXPECT_EQ(SeekName(index, "MÜLLER"), "Müller");
    EXPECT_EQ(SeekName(index, "ÑANDÚ"), "ñandú");
    EXPECT_EQ(AppendGroup(table, "MÜLLER"), EDS_E_UNIQUE_VIOLATION);
    EDS_OK(EdsGetIndexHandle(table, U("NICK"), &index));
    EXPECT_EQ(SeekName(index, "zoË"), "Zoë");
    EDS_OK(EdsCloseTable(table));
    EXPECT_EQ(Sqlite(File(), "SELECT value FROM _edt_meta WHERE key = 'format'"), "EDT 2\n");
    EXPECT_EQ(Sqlite(File(), "PRAGMA integrity_check"), "ok\n");
    EXPECT_EQ(Sqlite(File(), "SELECT Group_Name FROM Groups ORDER BY G_ID"), "Müller\nZoë\nñandú\n");
}

TEST_F(CaseFolding, AnOlderUniqueIndexWhoseNamesCollideOnceFoldedKeepsItsFormAndTheTableOpens) {
    REQUIRE_TOOLS("sqlite3");
    MakeOlderTable(File(), {"müller", "MÜLLER"});
    EDSHANDLE table = 0, index = 0;
    EDS_OK(Open(connection_, "Groups", 0, &table));
    EDS_OK(EdsGetIndexHandle(table, U("NAME"), &index));
    EXPECT_EQ(SeekName(index, "MÜLLER"), "MÜLLER");
    EDS_OK(EdsGetIndexHandle(table, U("NICK"), &index));  // not unique: brought up to date
    EXPECT_EQ(SeekName(index, "Müller"), "müller");
    EDS_OK(EdsCloseTable(table));
    EXPECT_EQ(Sqlite(File(), "PRAGMA integrity_check"), "ok\n");
}

TEST_F(CaseFolding, SelectStarShowsTheFieldsWithoutTheFoldingColumns) {
    EDSHANDLE table = 0;
    ASSERT_EQ(Create(connection_, "Groups", kGroups, &table), EDS_SUCCESS) << LastError();
    EDS_OK(EdsCreateIndex61(table, U(""), U("NICK"), U("Nick"), U(""), U(""), 0, 0, nullptr));
    EDS_OK(AppendGroup(table, "Ève"));
    EDS_OK(EdsCloseTable(table));
    EDSHANDLE stmt = 0, cursor = 0;
    EDS_OK(EdsCreateSQLStatement(connection_, &stmt));
    EDS_OK(EdsExecuteSQLDirect(stmt, U("SELECT * FROM Groups"), &cursor));
    UNSIGNED16 fields = 0;
    EDS_OK(EdsGetNumFields(cursor, &fields));
    EXPECT_EQ(fields, 3u);
    EDS_OK(EdsGotoTop(cursor));
    EXPECT_EQ(rtl::AnsiToUtf8(Text(cursor, "Nick")), "Ève");
    EdsCloseTable(cursor);
    EDS_OK(EdsExecuteSQLDirect(stmt, U("INSERT INTO Groups VALUES(NULL, 'x', 'x')"), &cursor));
    EdsCloseSQLStatement(stmt);
}

}  // namespace
