// Bookmarks of the dBase dataset cut shorter than the record number they hold:
// no record is gone to, none is read past their end, and the cursor stays.

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "dbfengine/uxffds.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

TEST(XfBookmark, ABookmarkCutShortNamesNoRecordAndLeavesTheCursorWhereItWas)
{
    EngineScope scope;
    testsupport::TempDir dir;
    TXfDbf ds;
    ds.SetName("Marks");
    ds.SetDbfFields({"name,C,10,0"});
    ds.SetDbfFileName(dir.str() + "/marks.dbf");
    ds.Open();
    for (const char* name : {"one", "two", "three"}) {
        ds.Append();
        ds.FieldByName("NAME")->SetAsString(name);
        ds.Post();
    }
    ds.SetRecNo(2);
    const db::TBookmark second = ds.GetBookmark();
    ASSERT_EQ(second.size(), 4u);
    ds.SetRecNo(3);
    for (const std::size_t size : {1u, 3u}) {
        SCOPED_TRACE(std::to_string(size) + "-byte bookmark");
        // Heap copies of exactly that size, so that a read past them is caught.
        const db::TBookmark cut(second.begin(), second.begin() + static_cast<std::ptrdiff_t>(size));
        std::string message;
        try {
            ds.GotoBookmark(cut);
        } catch (const db::EDatabaseError& e) {
            message = e.Message();
        }
        EXPECT_NE(message.find("Record not found"), std::string::npos) << message;
        EXPECT_EQ(ds.RecNo(), 3);
        EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "three");
        EXPECT_FALSE(ds.BookmarkValid(cut));
        EXPECT_EQ(ds.CompareBookmarks(cut, second), -1);
        EXPECT_EQ(ds.CompareBookmarks(second, cut), 1);
    }
    ds.GotoBookmark(second);
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "two");
    ds.Close();
}
