// A read-only cursor over rows that are not a table file (what a statement's result
// becomes) answers the same entry points as a table.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <mutex>

#include "platform/edsengine/EdsObjects.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"

using namespace edstest;

namespace {

struct Result {
    sqlite3* db = nullptr;
    std::unique_ptr<eds::StatementCache> statements;
    eds::Schema schema = eds::Schema::Parse("Name,Char,8; N,Integer");
    ~Result() {
        statements.reset();
        sqlite3_close(db);
    }
};

EDSHANDLE OpenResult() {
    auto result = std::make_shared<Result>();
    sqlite3_open(":memory:", &result->db);
    sqlite3_exec(result->db,
                 "CREATE TABLE res(seq INTEGER PRIMARY KEY, Name TEXT, N INTEGER);"
                 "INSERT INTO res(Name, N) VALUES ('carol', 3), ('alice', 1), ('bob', NULL);",
                 nullptr, nullptr, nullptr);
    result->statements = std::make_unique<eds::StatementCache>(result->db);
    eds::Relation relation{result->db, result->statements.get(), &result->schema, "res", "seq", nullptr, {}};
    std::lock_guard<std::recursive_mutex> lock(eds::EngineLock());
    return eds::Registry::Instance().Add(std::make_unique<eds::Table>(0, relation, result));
}

TEST(EdsResultCursors, NavigateAndReadLikeATableButRefuseChanges) {
    const EDSHANDLE cursor = OpenResult();
    UNSIGNED16 type = 0;
    EDS_OK(EdsGetHandleType(cursor, &type));
    EXPECT_EQ(type, EDS_CURSOR);
    std::vector<std::string> names;
    for (EdsGotoTop(cursor); !AtEof(cursor); EdsSkip(cursor, 1)) names.push_back(Text(cursor, "Name"));
    EXPECT_EQ(names, (std::vector<std::string>{"carol", "alice", "bob"}));
    EDS_OK(EdsGotoBottom(cursor));
    EXPECT_EQ(RecNo(cursor), 3u);
    UNSIGNED16 empty = 0;
    EDS_OK(EdsIsEmpty(cursor, "N", &empty));
    EXPECT_EQ(empty, 1);
    UNSIGNED32 count = 0, options = 0;
    EDS_OK(EdsGetRecordCount(cursor, EDS_IGNOREFILTERS, &count));
    EXPECT_EQ(count, 3u);
    EDS_OK(EdsGetTableOpenOptions(cursor, &options));
    EXPECT_EQ(options, EDS_READONLY);
    EXPECT_EQ(EdsAppendRecord(cursor), EDS_E_READ_ONLY);
    EXPECT_EQ(SetText(cursor, "Name", "x"), EDS_E_READ_ONLY);
    EXPECT_EQ(EdsLockRecord(cursor, 1), EDS_E_READ_ONLY);
    EXPECT_EQ(EdsCreateIndex61(cursor, U(""), U("N"), U("N"), U(""), U(""), 0, 0, nullptr), EDS_E_NOT_SUPPORTED);
    EDS_OK(EdsGotoRecord(cursor, 2));
    EXPECT_EQ(Text(cursor, "Name"), "alice");
    EDS_OK(EdsCloseTable(cursor));
    EXPECT_EQ(EdsGotoTop(cursor), EDS_E_INVALID_HANDLE);
}

}  // namespace
