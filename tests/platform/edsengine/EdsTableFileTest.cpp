// The table file below the entry points: removal with its lock file, and a file that
// another SQLite user keeps locked.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsTableFile.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

TEST(EdsTableFiles, RemovingATableTakesItsLockFileAndWaitsForNoOpen) {
    testsupport::TempDir dir;
    const std::string path = (dir / "T.edt").string();
    eds::TableFile::Create(path, eds::Schema::Parse("A,Integer"));
    {
        eds::TableFile open(path, false, false);
        EXPECT_TRUE(std::filesystem::exists(path + ".lck"));
        try {
            eds::TableFile::Remove(path);
            ADD_FAILURE() << "removed an open table";
        } catch (const eds::EngineError& e) {
            EXPECT_EQ(e.Code(), EDS_E_TABLE_LOCKED);
        }
    }
    eds::TableFile::Remove(path);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".lck"));
}

TEST(EdsTableFiles, ABusyFileIsAnErrorAfterABoundedWaitNeverASuccess) {
    testsupport::TempDir dir;
    EDSHANDLE connection = Connect(dir.str());
    EDSHANDLE table = 0;
    EDS_OK(Create(connection, "Busy", "A,Integer", &table));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "Busy.edt").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);  // readers may go on
    EDS_OK(EdsAppendRecord(table));
    EDS_OK(SetInt(table, "A", 1));
    EXPECT_EQ(EdsWriteRecord(table), EDS_E_BUSY);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EDS_OK(EdsWriteRecord(table));  // the pending record was kept
    UNSIGNED32 count = 0;
    EDS_OK(EdsGetRecordCount(table, EDS_IGNOREFILTERS, &count));
    EXPECT_EQ(count, 1u);
    EdsCloseTable(table);
    EdsDisconnect(connection);
}

}  // namespace
