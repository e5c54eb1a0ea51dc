// Whether the current record is visible: the answer must follow the filter, the AOF
// and the scopes as they are now (not as they were when the record was read), the
// order it is asked for, and the record's changes, here at once and by another
// station once the row is no longer fresh.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <thread>

#include "platform/edsengine/EdsCursor.h"
#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

// Five records: Name, Batch, Serial; an index on Name.
struct Items {
    testsupport::TempDir dir;
    EDSHANDLE connection = 0;
    EDSHANDLE table = 0;
    EDSHANDLE byName = 0;

    Items() {
        connection = Connect(dir.str());
        EXPECT_EQ(Create(connection, "Items", "ID,AutoInc; Name,Char,20; Batch,Logical; Serial,Integer;", &table),
                  EDS_SUCCESS)
            << LastError();
        Add("delta", true, 41);
        Add("alpha", false, 42);
        Add("echo", true, 7);
        Add("bravo", false, 0);
        Add("charlie", true, 43);
        EXPECT_EQ(EdsCreateIndex61(table, U(""), U("ByName"), U("Name"), U(""), U(""), 0, 0, &byName), EDS_SUCCESS)
            << LastError();
        // Shared, as the program opens its tables.
        EXPECT_EQ(EdsCloseTable(table), EDS_SUCCESS) << LastError();
        EXPECT_EQ(Open(connection, "Items", 0, &table), EDS_SUCCESS) << LastError();
        EXPECT_EQ(EdsGetIndexHandle(table, U("ByName"), &byName), EDS_SUCCESS) << LastError();
    }
    ~Items() {
        EdsCloseTable(table);
        EdsDisconnect(connection);
    }

    void Add(const std::string& name, bool batch, int serial) {
        EXPECT_EQ(EdsAppendRecord(table), EDS_SUCCESS) << LastError();
        EXPECT_EQ(SetText(table, "Name", name), EDS_SUCCESS) << LastError();
        SetBatch(batch);
        EXPECT_EQ(SetInt(table, "Serial", serial), EDS_SUCCESS) << LastError();
        EXPECT_EQ(EdsWriteRecord(table), EDS_SUCCESS) << LastError();
    }
    void SetBatch(bool batch) {
        UNSIGNED8 logical = batch ? 'T' : 'F';
        EXPECT_EQ(EdsSetFieldRaw(table, "Batch", &logical, 1), EDS_SUCCESS) << LastError();
    }
    std::string File() const { return dir.str() + "/Items.edt"; }
};

int Visible(EDSHANDLE handle) {
    UNSIGNED16 visible = 9;
    const UNSIGNED32 rc = EdsIsRecordVisible(handle, &visible);
    if (rc != EDS_SUCCESS) return -static_cast<int>(rc);
    return visible;
}

// Changes the file the way another station does, past this process's engine.
void OtherStation(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 2000);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

void UntilNoLongerFresh() { std::this_thread::sleep_for(eds::kFreshFor + std::chrono::milliseconds(100)); }

}  // namespace

TEST(EdsVisibility, FiltersAndScopesSetAfterTheMoveDecide) {
    Items t;
    EDS_OK(EdsGotoTop(t.table));
    EDS_OK(EdsSkip(t.table, 1));
    ASSERT_EQ(RecNo(t.table), 2u);  // alpha, not in a batch, serial 42
    EXPECT_EQ(Visible(t.table), 1);

    EDS_OK(EdsSetAOF(t.table, U("Batch"), EDS_RESOLVE_DYNAMIC));
    EXPECT_EQ(Visible(t.table), 0);
    EDS_OK(EdsClearAOF(t.table));
    EXPECT_EQ(Visible(t.table), 1);

    // A condition that only the evaluator can judge (a time of day has no SQL form).
    EDS_OK(EdsSetFilter(t.table, U("STR(Serial, 2) == '41' .OR. CTOT(Name) > CTOT('23:59')")));
    EXPECT_EQ(Visible(t.table), 0);
    EDS_OK(EdsSetFilter(t.table, U("STR(Serial, 2) == '42' .OR. CTOT(Name) > CTOT('23:59')")));
    EXPECT_EQ(Visible(t.table), 1);
    EDS_OK(EdsClearFilter(t.table));

    EDS_OK(EdsSetScope(t.byName, EDS_TOP, U("b"), 1, EDS_STRINGKEY));
    EXPECT_EQ(Visible(t.byName), 0);
    EXPECT_EQ(Visible(t.table), 1) << "natural order has no scopes";
    EDS_OK(EdsClearScope(t.byName, EDS_TOP));
    EXPECT_EQ(Visible(t.byName), 1);
    EDS_OK(EdsSetScope(t.byName, EDS_BOTTOM, U("b"), 1, EDS_STRINGKEY));
    EDS_OK(EdsClearAllScopes(t.table));
    EXPECT_EQ(Visible(t.byName), 1);
}

TEST(EdsVisibility, ARecordReadInOneOrderIsJudgedAgainInAnother) {
    Items t;
    EDS_OK(EdsSetScope(t.byName, EDS_TOP, U("c"), 1, EDS_STRINGKEY));
    EDS_OK(EdsGotoTop(t.byName));
    ASSERT_EQ(Text(t.table, "Name"), "charlie");
    EXPECT_EQ(Visible(t.byName), 1);
    // Walking in natural order lands on records the scope leaves out.
    EDS_OK(EdsGotoTop(t.table));
    EDS_OK(EdsSkip(t.table, 1));
    ASSERT_EQ(Text(t.table, "Name"), "alpha");
    EXPECT_EQ(Visible(t.table), 1);
    EXPECT_EQ(Visible(t.byName), 0);
    EDS_OK(EdsSkip(t.table, 1));
    ASSERT_EQ(Text(t.table, "Name"), "echo");
    EXPECT_EQ(Visible(t.byName), 1);

    // Records reached by number are judged as well.
    EDS_OK(EdsSetAOF(t.table, U("Serial > 40"), EDS_RESOLVE_DYNAMIC));
    EDS_OK(EdsGotoRecord(t.table, 3));  // echo, serial 7
    EXPECT_EQ(Visible(t.table), 0);
    EXPECT_EQ(Visible(t.byName), 0);
    EDS_OK(EdsGotoRecord(t.table, 1));  // delta, serial 41
    EXPECT_EQ(Visible(t.table), 1);
    EXPECT_EQ(Visible(t.byName), 1);
    EDS_OK(EdsGotoRecord(t.table, 2));  // alpha: passes the AOF, not the scope
    EXPECT_EQ(Visible(t.table), 1);
    EXPECT_EQ(Visible(t.byName), 0);
}

TEST(EdsVisibility, ARecordChangedHereIsJudgedAsItIsNow) {
    Items t;
    EDS_OK(EdsSetAOF(t.table, U("Batch"), EDS_RESOLVE_DYNAMIC));
    EDS_OK(EdsGotoTop(t.table));
    ASSERT_EQ(RecNo(t.table), 1u);
    EXPECT_EQ(Visible(t.table), 1);
    t.SetBatch(false);
    EDS_OK(EdsWriteRecord(t.table));
    EXPECT_EQ(Visible(t.table), 0);
    t.SetBatch(true);
    EDS_OK(EdsWriteRecord(t.table));
    EXPECT_EQ(Visible(t.table), 1);

    // Changed through another handle on the same table file.
    EDSHANDLE second = 0;
    EDS_OK(Open(t.connection, "Items", 0, &second));
    EDS_OK(EdsGotoRecord(second, 1));
    UNSIGNED8 no = 'F';
    EDS_OK(EdsSetFieldRaw(second, "Batch", &no, 1));
    EDS_OK(EdsWriteRecord(second));
    EXPECT_EQ(Visible(t.table), 0);
    // Deleted there: neither visible nor anything else.
    EDS_OK(EdsSkip(t.table, 1));
    ASSERT_EQ(RecNo(t.table), 3u);
    EXPECT_EQ(Visible(t.table), 1);
    EDS_OK(EdsGotoRecord(second, 3));
    EDS_OK(EdsDeleteRecord(second));
    EXPECT_EQ(Visible(t.table), 0);
    UNSIGNED16 deleted = 0;
    EDS_OK(EdsIsRecordDeleted(t.table, &deleted));
    EXPECT_EQ(deleted, 1);
    EDS_OK(EdsSkip(t.table, 1));
    EXPECT_EQ(RecNo(t.table), 5u);
    EdsCloseTable(second);
}

TEST(EdsVisibility, AnotherStationsChangeShowsOnceTheRecordIsNoLongerFresh) {
    Items t;
    EDS_OK(EdsSetAOF(t.table, U("Batch"), EDS_RESOLVE_DYNAMIC));
    EDS_OK(EdsGotoTop(t.table));
    ASSERT_EQ(RecNo(t.table), 1u);
    EXPECT_EQ(Visible(t.table), 1);
    OtherStation(t.File(), "UPDATE Items SET Batch = 0 WHERE rowid = 1");
    UntilNoLongerFresh();
    EXPECT_EQ(Visible(t.table), 0);
    OtherStation(t.File(), "UPDATE Items SET Batch = 1 WHERE rowid = 1");
    UntilNoLongerFresh();
    EXPECT_EQ(Visible(t.table), 1);

    // Without any condition a deleted record still is not visible.
    EDS_OK(EdsClearAOF(t.table));
    EDS_OK(EdsGotoTop(t.byName));
    EDS_OK(EdsSkip(t.byName, 1));
    ASSERT_EQ(Text(t.table, "Name"), "bravo");
    EXPECT_EQ(Visible(t.byName), 1);
    OtherStation(t.File(), "DELETE FROM Items WHERE Name = 'bravo'");
    UntilNoLongerFresh();
    EXPECT_EQ(Visible(t.byName), 0);
    EXPECT_EQ(Visible(t.table), 0);
    EDS_OK(EdsSkip(t.byName, 1));
    EXPECT_EQ(Text(t.table, "Name"), "charlie");
    EXPECT_EQ(Visible(t.byName), 1);
}
