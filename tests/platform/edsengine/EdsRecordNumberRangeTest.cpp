// Record numbers stay where the table API can name them: SQL stores no row
// numbered below 1 or past 4294967295 (2147483647 in a table with an AutoInc
// field), appends stop at the end of the range, and a file that holds such
// rows already (SQL stored them once) reads and appends around them, never
// answering for one of them another record's number.

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using edstest::LastError;
using edstest::U;

struct Folder {
    testsupport::TempDir dir;
    EDSHANDLE connection = edstest::Connect(dir.str());
    ~Folder() { EdsDisconnect(connection); }

    // Makes a table with its first records appended through the table API.
    void Make(const std::string& name, const std::string& spec, const std::vector<std::string>& texts) {
        EDSHANDLE table = 0;
        ASSERT_EQ(edstest::Create(connection, name, spec, &table), EDS_SUCCESS) << LastError();
        for (const std::string& text : texts) {
            EDS_OK(EdsAppendRecord(table));
            EDS_OK(edstest::SetText(table, "A", text));
            EDS_OK(EdsWriteRecord(table));
        }
        EdsCloseTable(table);
    }
    // A statement's code, with the engine's text when it fails.
    std::string Run(const std::string& sql) {
        return edstest::RunSql(connection, sql);
    }
    // The rows of a table straight from its file: "number:A" each, by number.
    std::vector<std::string> Stored(const std::string& table) { return Raw(table, {}); }
    // Runs `change` on the file with SQLite alone (as SQL once could), then answers the rows.
    std::vector<std::string> Raw(const std::string& table, const std::string& change) {
        sqlite3* db = nullptr;
        sqlite3_open((dir / (table + ".edt")).c_str(), &db);
        if (!change.empty()) {
            EXPECT_EQ(sqlite3_exec(db, change.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
        std::vector<std::string> rows;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, ("SELECT rowid, A FROM " + table + " ORDER BY rowid").c_str(), -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char* a = sqlite3_column_text(stmt, 1);
            rows.push_back(std::to_string(sqlite3_column_int64(stmt, 0)) + ":" +
                           (a ? reinterpret_cast<const char*>(a) : "-"));
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return rows;
    }
};

// The code and whether the text names the number.
std::string Refusal(const std::string& outcome, std::int64_t number) {
    const std::string code = outcome.substr(0, outcome.find(' '));
    return code + (outcome.find(std::to_string(number)) != std::string::npos ? " naming it" : " without it");
}

UNSIGNED32 AppendText(EDSHANDLE table, const std::string& text) {
    UNSIGNED32 rc = EdsAppendRecord(table);
    if (rc == EDS_SUCCESS) rc = edstest::SetText(table, "A", text);
    if (rc == EDS_SUCCESS) rc = EdsWriteRecord(table);
    return rc;
}

TEST(EdsRecordNumbers, NoRecordIsStoredOrAnsweredWhereTheTableApiCannotNameIt) {
    Folder f;
    // SQL: a number out of range is refused, naming it, and nothing is stored.
    f.Make("TB", "A,Char,10;", {"one"});
    f.Make("TA", "ID,AutoInc; A,Char,10;", {"one"});
    const std::vector<std::string> tb{"1:one"}, ta{"1:one"};
    for (const std::int64_t n : {4294967297ll, 4294967296ll, 0ll, -5ll, -1ll}) {
        SCOPED_TRACE(n);
        const std::string v = std::to_string(n);
        EXPECT_EQ(Refusal(f.Run("insert into TB(rowid, A) values(" + v + ", 'x')"), n), "7200 naming it");
        EXPECT_EQ(Refusal(f.Run("insert or replace into TB(rowid, A) values(" + v + ", 'x')"), n), "7200 naming it");
        EXPECT_EQ(Refusal(f.Run("update TB set rowid = " + v + " where rowid = 1"), n), "7200 naming it");
        EXPECT_EQ(Refusal(f.Run("insert into TB(rowid, A) select " + v + ", A from TB"), n), "7200 naming it");
        EXPECT_EQ(f.Stored("TB"), tb);
    }
    for (const std::int64_t n : {2147483648ll, 4294967297ll, 0ll, -5ll}) {
        SCOPED_TRACE(n);
        const std::string v = std::to_string(n);
        EXPECT_EQ(Refusal(f.Run("insert into TA(ID, A) values(" + v + ", 'x')"), n).substr(4), " naming it");
        EXPECT_EQ(Refusal(f.Run("update TA set ID = " + v + " where ID = 1"), n).substr(4), " naming it");
        EXPECT_EQ(f.Stored("TA"), ta);
    }
    // The last numbers are taken; the next, whether SQLite or the table API would
    // give it, is not, and appends stop with a clear error.
    EXPECT_EQ(f.Run("insert into TB(rowid, A) values(4294967295, 'last')"), "0");
    EXPECT_EQ(Refusal(f.Run("insert into TB(A) values('next')"), 4294967296ll), "7200 naming it");
    EXPECT_EQ(f.Run("insert into TA(ID, A) values(2147483647, 'last')"), "0");
    EXPECT_EQ(Refusal(f.Run("insert into TA(A) values('next')"), 2147483648ll).substr(4), " naming it");
    for (const auto& [name, last] : {std::pair<std::string, std::string>{"TB", "4294967295"}, {"TA", "2147483647"}}) {
        SCOPED_TRACE(name);
        EDSHANDLE table = 0;
        EDS_OK(edstest::Open(f.connection, name, 0, &table));
        EXPECT_EQ(EdsAppendRecord(table), EDS_E_NOT_SUPPORTED);
        EXPECT_NE(LastError().find("every record number up to the last, " + last), std::string::npos) << LastError();
        EDS_OK(EdsBeginTransaction(f.connection));  // a block of numbers stops there too
        EXPECT_EQ(EdsAppendRecord(table), EDS_E_NOT_SUPPORTED);
        EdsRollbackTransaction(f.connection);
        EDS_OK(EdsGotoRecord(table, static_cast<UNSIGNED32>(std::stoul(last))));
        EXPECT_EQ(edstest::Text(table, "A"), "last");
        EXPECT_EQ(edstest::RecNo(table), std::stoul(last));
        EdsCloseTable(table);
        EXPECT_EQ(f.Stored(name), (std::vector<std::string>{"1:one", last + ":last"}));
    }

    // A file that holds such rows already, with the counter that appends above
    // them left behind (past the end): its records read as theirs, the others
    // answer no number, and appends go on in the range beside them.
    f.Make("TC", "A,Char,10;", {"one", "two"});
    f.Raw("TC", "INSERT INTO TC(rowid, A) VALUES(4294967297, 'big'), (-5, 'neg'), (0, 'zero')");
    {
        const int fd = ::open((f.dir / "TC.edt.lck").c_str(), O_WRONLY);
        const std::int64_t counter = 4294967299;
        ASSERT_EQ(::pwrite(fd, &counter, sizeof counter, 0), static_cast<ssize_t>(sizeof counter));
        ::close(fd);
    }
    EDSHANDLE table = 0;
    EDS_OK(edstest::Open(f.connection, "TC", 0, &table));
    std::vector<std::string> walked;
    EDS_OK(EdsGotoTop(table));
    for (; !edstest::AtEof(table); EdsSkip(table, 1)) {
        UNSIGNED32 recno = 0;
        UNSIGNED8 bookmark[4];
        UNSIGNED32 length = sizeof bookmark;
        const UNSIGNED32 rc = EdsGetRecordNum(table, EDS_IGNOREFILTERS, &recno);
        const std::string text = edstest::Text(table, "A");
        if (rc == EDS_SUCCESS) {
            walked.push_back(std::to_string(recno) + ":" + text);
            continue;
        }
        walked.push_back(std::to_string(rc) + ":" + text);
        EXPECT_EQ(EdsGetBookmark60(table, bookmark, &length), EDS_E_NOT_SUPPORTED) << text;
        EXPECT_EQ(EdsLockRecord(table, 0), EDS_E_NOT_SUPPORTED) << text;
    }
    EXPECT_EQ(walked, (std::vector<std::string>{"5201:neg", "5201:zero", "1:one", "2:two", "5201:big"}));
    EDS_OK(EdsGotoRecord(table, 1));
    EXPECT_EQ(edstest::Text(table, "A"), "one");
    EDS_OK(AppendText(table, "three"));
    EXPECT_EQ(edstest::RecNo(table), 3u);
    EDS_OK(AppendText(table, "four"));
    EXPECT_EQ(edstest::RecNo(table), 4u);
    EdsCloseTable(table);
    EXPECT_EQ(f.Stored("TC"),
              (std::vector<std::string>{"-5:neg", "0:zero", "1:one", "2:two", "3:three", "4:four", "4294967297:big"}));
    // SQL still reaches them, to repair or delete them.
    EXPECT_EQ(f.Run("update TC set A = 'fixed' where rowid = 4294967297"), "0");
    EXPECT_EQ(f.Run("delete from TC where rowid < 1"), "0");
    EXPECT_EQ(f.Stored("TC"), (std::vector<std::string>{"1:one", "2:two", "3:three", "4:four", "4294967297:fixed"}));
}

}  // namespace
