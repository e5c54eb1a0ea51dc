// Exclusive opens and record locks between processes: a second process is refused
// while the holder lives, and both succeed once the holder is killed.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UnwritableFolder.h"

using namespace edstest;

namespace {

class Locks : public ::testing::Test {
protected:
    void SetUp() override {
        connection_ = Connect(dir_.str());
        EDSHANDLE table = 0;
        ASSERT_EQ(Create(connection_, "Shared", "Name,Char,10; Count,Integer", &table), EDS_SUCCESS) << LastError();
        EDS_OK(EdsAppendRecord(table));
        EDS_OK(SetText(table, "Name", "first"));
        EDS_OK(EdsWriteRecord(table));
        EDS_OK(EdsCloseTable(table));
    }
    void TearDown() override { EdsDisconnect(connection_); }

    testsupport::TempDir dir_;
    EDSHANDLE connection_ = 0;
};

TEST_F(Locks, ExclusiveOpenInAnotherProcessRefusesEveryOpenUntilItsHolderDies) {
    Holder holder(dir_.str(), "Shared", EDS_EXCLUSIVE, false);
    ASSERT_TRUE(holder.Ready());
    EDSHANDLE table = 0;
    EXPECT_EQ(Open(connection_, "Shared", 0, &table), EDS_E_TABLE_LOCKED);
    EXPECT_EQ(Open(connection_, "Shared", EDS_EXCLUSIVE, &table), EDS_E_TABLE_LOCKED);
    holder.Kill();
    EDS_OK(Open(connection_, "Shared", EDS_EXCLUSIVE, &table));
    EDS_OK(EdsCloseTable(table));
}

TEST_F(Locks, ExclusiveOpenWaitsForAHolderThatFinishesSoon) {
    Holder holder(dir_.str(), "Shared", EDS_EXCLUSIVE, false, 300);
    ASSERT_TRUE(holder.Ready());
    EDSHANDLE table = 0;
    EDS_OK(Open(connection_, "Shared", EDS_EXCLUSIVE, &table));
    EDS_OK(EdsCloseTable(table));
}

TEST_F(Locks, SharedOpenElsewhereRefusesAnExclusiveOpen) {
    Holder holder(dir_.str(), "Shared", 0, false);
    ASSERT_TRUE(holder.Ready());
    EDSHANDLE table = 0;
    EXPECT_EQ(Open(connection_, "Shared", EDS_EXCLUSIVE, &table), EDS_E_TABLE_LOCKED);
    EDS_OK(Open(connection_, "Shared", 0, &table));  // sharing is fine
    EDS_OK(EdsCloseTable(table));
}

TEST_F(Locks, RecordLockInAnotherProcessRefusesLockAndWriteUntilItsHolderDies) {
    Holder holder(dir_.str(), "Shared", 0, true);
    ASSERT_TRUE(holder.Ready());
    EDSHANDLE table = 0;
    EDS_OK(Open(connection_, "Shared", 0, &table));
    EDS_OK(EdsGotoTop(table));
    EXPECT_EQ(EdsLockRecord(table, 1), EDS_E_RECORD_LOCKED);
    EDS_OK(SetText(table, "Name", "changed"));
    EXPECT_EQ(EdsWriteRecord(table), EDS_E_RECORD_LOCKED);
    EXPECT_EQ(EdsDeleteRecord(table), EDS_E_RECORD_LOCKED);
    holder.Kill();
    EDS_OK(EdsLockRecord(table, 1));
    EDS_OK(SetText(table, "Name", "changed"));
    EDS_OK(EdsWriteRecord(table));
    EDS_OK(EdsUnlockRecord(table, 1));
    EXPECT_EQ(Text(table, "Name"), "changed");
    EDS_OK(EdsCloseTable(table));
}

TEST_F(Locks, HandlesInOneProcessExcludeEachOtherToo) {
    EDSHANDLE first = 0, second = 0;
    EDS_OK(Open(connection_, "Shared", 0, &first));
    EDS_OK(Open(connection_, "Shared", 0, &second));
    EDS_OK(EdsLockRecord(first, 1));
    EXPECT_EQ(EdsLockRecord(second, 1), EDS_E_RECORD_LOCKED);
    EDS_OK(EdsLockRecord(first, 1));  // again by its holder
    EDS_OK(EdsCloseTable(first));     // closing releases its locks
    EDS_OK(EdsLockRecord(second, 1));
    EDS_OK(EdsCloseTable(second));
}

// A folder this user may not write (a share mounted read-only, a folder of
// another user) is still read: its tables open shared, an exclusive holder
// elsewhere still keeps such an open out and is kept out by it, and every write
// is refused with the system's reason.
TEST_F(Locks, TablesOfAFolderThatCannotBeWrittenReadAndStillTakePartInLocking) {
    const auto refusedAsUnwritable = [](UNSIGNED32 result) {
        EXPECT_NE(result, EDS_SUCCESS);
        const std::string text = LastError();
        EXPECT_TRUE(text.find("Permission denied") != std::string::npos || text.find("read-only") != std::string::npos)
            << text;
    };
    std::optional<Holder> exclusive(std::in_place, dir_.str(), "Shared", EDS_EXCLUSIVE, false);
    ASSERT_TRUE(exclusive->Ready());
    std::optional<testsupport::UnwritableFolder> readOnly(std::in_place, dir_.path());
    EDSHANDLE table = 0, other = 0;
    EXPECT_EQ(Open(connection_, "Shared", 0, &table), EDS_E_TABLE_LOCKED);
    exclusive.reset();

    EDS_OK(Open(connection_, "Shared", 0, &table));
    EDS_OK(EdsGotoTop(table));
    EXPECT_EQ(Text(table, "Name"), "first");
    refusedAsUnwritable(Open(connection_, "Shared", EDS_EXCLUSIVE, &other));
    refusedAsUnwritable(EdsLockRecord(table, 1));
    refusedAsUnwritable(EdsAppendRecord(table));
    EDS_OK(SetText(table, "Name", "changed"));
    refusedAsUnwritable(EdsWriteRecord(table));
    EdsCancelUpdate(table);

    readOnly.reset();
    EXPECT_FALSE(Holder(dir_.str(), "Shared", EDS_EXCLUSIVE, false).Ready()) << "the reading open counts";
    EDS_OK(EdsCloseTable(table));
    EXPECT_TRUE(Holder(dir_.str(), "Shared", EDS_EXCLUSIVE, false).Ready());
    EDS_OK(Open(connection_, "Shared", 0, &table));
    UNSIGNED32 count = 0;
    EDS_OK(EdsGetRecordCount(table, EDS_IGNOREFILTERS, &count));
    EXPECT_EQ(count, 1u) << "nothing was appended";
    EDS_OK(EdsGotoTop(table));
    EXPECT_EQ(Text(table, "Name"), "first") << "nothing was changed";
    EDS_OK(EdsCloseTable(table));
}

}  // namespace
