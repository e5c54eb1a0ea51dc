#include <gtest/gtest.h>

#include <filesystem>

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

const char kMembers[] = "A_ID,Integer; G_ID,Integer;";
const char kGroups[] = "G_ID,AutoInc; Parent_ID,Integer; Group_Name,Char,40;";

TEST(EdsTables, CreateAppendReadBack) {
    testsupport::TempDir dir;
    EDSHANDLE connection = Connect(dir.str());
    EDSHANDLE table = 0;
    EDS_OK(Create(connection, "Groups", kGroups, &table));
    EDS_OK(EdsAppendRecord(table));
    EXPECT_EQ(RecNo(table), 1u);
    EDS_OK(SetText(table, "Group_Name", "Friends"));
    EDS_OK(SetInt(table, "Parent_ID", 7));
    EDS_OK(EdsWriteRecord(table));
    UNSIGNED32 autoinc = 0;
    EDS_OK(EdsGetLastAutoinc(table, &autoinc));
    EXPECT_EQ(autoinc, 1u);
    EDS_OK(EdsGotoTop(table));
    EXPECT_EQ(Text(table, "Group_Name"), "Friends");
    EXPECT_EQ(Text(table, 3), "Friends");
    EDS_OK(EdsCloseTable(table));
    EDS_OK(EdsDisconnect(connection));
}

}  // namespace
