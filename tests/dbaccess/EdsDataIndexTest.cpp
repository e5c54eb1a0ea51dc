// Where a dataset's data comes from and in which order: database names,
// connections, table types, index selection and index files.

#include "tests/dbaccess/EdsDataTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using edsdatatest::AppendRows;
using edsdatatest::CreateTable;
using edsdatatest::TTestTable;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// Three people; by name the order is 3, 1, 2; by city 2, 3, 1.
void CreatePeople(const std::string& folder) {
    CreateTable(folder, "People", "ID,Integer; Name,Char,10; City,Char,10",
                {{"BYNAME", "Name", 0}, {"BYCITY", "City;Name", EDS_DESCENDING}, {"BYID", "ID", EDS_UNIQUE}});
    const char* names[] = {"Baker", "Cole", "Adams"};
    const char* cities[] = {"Austin", "Denver", "Boston"};
    AppendRows(folder, "People", 3, [&](EDSHANDLE table, int row) {
        ASSERT_EQ(edsdatatest::SetInteger(table, "ID", row + 1), 0u);
        ASSERT_EQ(edsdatatest::SetText(table, "Name", names[row]), 0u);
        ASSERT_EQ(edsdatatest::SetText(table, "City", cities[row]), 0u);
    });
}

std::vector<int> Ids(TTestTable& t) {
    std::vector<int> ids;
    for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("ID")->AsInteger());
    return ids;
}

TEST(EdsDataIndex, IndexDefsComeFromTheEngine) {
    testsupport::TempDir dir;
    CreatePeople(dir.str());
    TTestTable t(dir.str(), "People");
    t.Open();
    db::TIndexDefs& defs = t.IndexDefs();
    ASSERT_EQ(defs.Count(), 3);
    const db::TIndexDef* byCity = defs.Find("BYCITY");
    EXPECT_EQ(byCity->Fields(), "CITY;NAME");
    EXPECT_TRUE(byCity->Options().Contains(db::ixDescending));
    EXPECT_FALSE(byCity->Options().Contains(db::ixUnique));
    EXPECT_TRUE(defs.Find("BYID")->Options().Contains(db::ixUnique));
}

TEST(EdsDataIndex, IndexNameAndIndexFieldNamesExcludeEachOther) {
    testsupport::TempDir dir;
    CreatePeople(dir.str());
    TTestTable t(dir.str(), "People");
    t.SetIndexName("BYNAME");  // before opening: kept for the open
    t.Open();
    EXPECT_EQ(Ids(t), (std::vector<int>{3, 1, 2}));

    t.SetIndexFieldNames(" City;Name ");
    EXPECT_EQ(t.IndexFieldNames(), "City;Name");
    EXPECT_EQ(t.IndexName(), "");
    EXPECT_EQ(Ids(t), (std::vector<int>{2, 3, 1}));

    t.SetIndexName("byid");
    EXPECT_EQ(t.IndexFieldNames(), "");
    EXPECT_EQ(Ids(t), (std::vector<int>{1, 2, 3}));

    t.SetIndexName("");
    EXPECT_EQ(t.IndexMode(), EdsIndexNatural);
    EXPECT_EQ(t.OrderHandle(), t.Handle());

    // Closing and opening again keeps the choice.
    t.SetIndexFieldNames("Name");
    t.Close();
    t.Open();
    EXPECT_EQ(Ids(t), (std::vector<int>{3, 1, 2}));
}

TEST(EdsDataIndex, AFailedChangeKeepsThePreviousOrder) {
    testsupport::TempDir dir;
    CreatePeople(dir.str());
    TTestTable t(dir.str(), "People");
    t.Open();
    t.SetIndexName("BYNAME");  // the current record (1) stays current
    EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 1);
    t.Next();
    const EDSHANDLE order = t.OrderHandle();

    // An index that starts with the fields but orders by more is no match.
    EXPECT_THAT([&] { t.SetIndexFieldNames("City"); },
                ThrowsMessage<EEDSDatabaseError>(HasSubstr("Not a valid index field name:City")));
    EXPECT_EQ(t.IndexName(), "BYNAME");
    EXPECT_EQ(t.IndexFieldNames(), "");
    EXPECT_EQ(t.OrderHandle(), order);
    EXPECT_EQ(t.FieldByName("ID")->AsInteger(), 2);

    EXPECT_THROW(t.SetIndexName("NOSUCH"), EEDSDatabaseError);
    EXPECT_EQ(t.IndexName(), "BYNAME");
    EXPECT_EQ(t.IndexMode(), EdsIndexByName);
    EXPECT_EQ(t.OrderHandle(), order);
    EXPECT_EQ(Ids(t), (std::vector<int>{3, 1, 2}));
}

TEST(EdsDataIndex, TheDefaultIndexWithoutADictionaryIsNaturalOrder) {
    testsupport::TempDir dir;
    CreatePeople(dir.str());
    TTestTable t(dir.str(), "People");
    t.Open();
    t.SetIndexName("eds_default");
    EXPECT_EQ(t.IndexMode(), EdsIndexDefault);
    EXPECT_EQ(t.OrderHandle(), t.Handle());
    EXPECT_EQ(Ids(t), (std::vector<int>{1, 2, 3}));
}

TEST(EdsDataIndex, IndexFilesAreASortedListThatOpensAndClosesFiles) {
    testsupport::TempDir dir;
    CreatePeople(dir.str());
    EXPECT_THAT([] { TEdsIndexFiles files(nullptr); },
                ThrowsMessage<EEDSDatabaseError>(HasSubstr("TEdsIndexFiles instances require a non-nil owner")));

    TTestTable t(dir.str(), "People");
    t.IndexFiles().Add("b.cdx");
    t.IndexFiles().Insert(0, "a.cdx");
    EXPECT_EQ(t.IndexFiles().Count(), 2);
    EXPECT_EQ(t.IndexFiles()[0], "a.cdx");

    // The engine keeps no separate index files: stand in for one that does.
    static std::vector<std::string> opened;
    static int closed = 0;
    opened.clear();
    closed = 0;
    TEdsEntryPointsGuard guard;
    EdsApi.EdsOpenIndex = [](EDSHANDLE, const UNSIGNED8* name, EDSHANDLE*, UNSIGNED16* count) -> UNSIGNED32 {
        opened.emplace_back(reinterpret_cast<const char*>(name));
        *count = 0;
        return 0;
    };
    EdsApi.EdsGetIndexFilename = [](EDSHANDLE, UNSIGNED16, UNSIGNED8* name, UNSIGNED16* length) -> UNSIGNED32 {
        std::strcpy(reinterpret_cast<char*>(name), "A.CDX");
        *length = 5;
        return 0;
    };
    EdsApi.EdsCloseIndex = [](EDSHANDLE) -> UNSIGNED32 {
        ++closed;
        return 0;
    };
    t.Open();
    t.IndexFiles().Add("a.cdx");
    EXPECT_EQ(t.IndexFiles().Count(), 2);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], dir.str() + "/a.cdx");

    // Closing the file of the active index returns to natural order.
    t.SetIndexName("BYNAME");
    t.IndexFiles().Delete(0);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(t.IndexName(), "");
    EXPECT_EQ(t.OrderHandle(), t.Handle());
    EXPECT_EQ(Ids(t), (std::vector<int>{1, 2, 3}));
    t.Close();

    t.SetTableName("Other");
    EXPECT_EQ(t.IndexFiles().Count(), 0);
}

// ---- database name, connection, table type ------------------------------------------------

TEST(EdsDataSource, PropertiesThatWantAClosedDataSet) {
    testsupport::TempDir dir;
    CreatePeople(dir.str());
    TTestTable t(dir.str(), "People");
    t.Open();
    const auto refused = [](const char* text) { return ThrowsMessage<db::EDatabaseError>(HasSubstr(text)); };
    EXPECT_THAT([&] { t.SetTableName("X"); }, refused("Cannot perform this operation on an open dataset"));
    EXPECT_THAT([&] { t.SetDatabaseName("X"); }, refused("Cannot perform this operation on an open dataset"));
    EXPECT_THAT([&] { t.SetTableType(ttEdsCDX); }, refused("Cannot perform this operation on an open dataset"));
    EXPECT_THAT([&] { t.SetExclusive(true); }, refused("Cannot perform this operation on an open dataset"));
    EXPECT_THAT([&] { t.SetEdsConnection(nullptr); }, refused("Table must not be Active."));
    EXPECT_THAT([&] { t.EdsTableOptions().SetEdsLockType(Compatible); }, refused("Table must not be Active."));
    EXPECT_THAT([&] { t.EdsTableOptions().SetEdsCharType(OEM); }, refused("Table must not be Active."));
    EXPECT_THAT([&] { t.EdsTableOptions().SetEdsRightsCheck(false); }, refused("Table must not be Active."));
    EXPECT_THAT([&] { t.OpenAgain(); }, refused("Table is already open."));
    EXPECT_EQ(t.TableName(), "People");
}

TEST(EdsDataSource, AConnectionOfTheDataSetsOwnFormWins) {
    rtl::TComponent formA(nullptr);
    rtl::TComponent formB(nullptr);
    formA.SetName("FormA");
    formB.SetName("FormB");
    TEdsConnection onB(&formB);
    onB.SetName("Shared");
    TEdsConnection onA(&formA);
    onA.SetName("Shared");

    TTestTable t(std::string(), std::string(), &formA);
    t.SetDatabaseName("SHARED");
    EXPECT_EQ(t.EdsConnection(), &onA);
    TTestTable u(std::string(), std::string(), &formB);
    u.SetDatabaseName("shared");
    EXPECT_EQ(u.EdsConnection(), &onB);
    // Owner name and connection name name it from anywhere.
    TTestTable v;
    v.SetDatabaseName("FormB.Shared");
    EXPECT_EQ(v.EdsConnection(), &onB);
    // A folder is only a folder.
    TTestTable w;
    w.SetDatabaseName("/tmp/some/folder");
    EXPECT_EQ(w.EdsConnection(), nullptr);
    EXPECT_EQ(w.GetConnectPath(), "/tmp/some/folder");
}

TEST(EdsDataSource, AConnectionOfThisThreadWinsOverOneOfTheSameForm) {
    rtl::TComponent form(nullptr);
    rtl::TComponent elsewhere(nullptr);
    std::unique_ptr<TEdsConnection> foreign;
    std::thread([&] {
        foreign = std::make_unique<TEdsConnection>(&form);
        foreign->SetName("Db");
    }).join();
    TEdsConnection local(&elsewhere);
    local.SetName("Db");
    TTestTable t(std::string(), std::string(), &form);
    t.SetDatabaseName("Db");
    EXPECT_EQ(t.EdsConnection(), &local);
    // Without one of this thread, the one of the same form.
    TTestTable u(std::string(), std::string(), &form);
    local.SetName("Other");
    u.SetDatabaseName("Db");
    EXPECT_EQ(u.EdsConnection(), foreign.get());
}

TEST(EdsDataSource, TheTableTypeOfAnAliasCannotBeChanged) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "eds.ini", "[Databases]\r\nOLDLOGS=" + dir.str() + ";N\r\nPLAIN=" + dir.str() + "\r\n");
    const char* previous = std::getenv("SENDORA_HOME");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("SENDORA_HOME", dir.str().c_str(), 1);
    TTestTable t;
    t.SetDatabaseName("OLDLOGS");
    EXPECT_EQ(t.TableType(), ttEdsNTX);
    EXPECT_EQ(t.EngineTableType(), EDS_NTX);
    EXPECT_EQ(t.GetConnectPath(), dir.str());
    EXPECT_THAT([&] { t.SetTableType(ttEdsEDT); },
                ThrowsMessage<EEDSDatabaseError>(HasSubstr(
                    "The table type must remain identical to the table type associated with the alias.")));
    EXPECT_EQ(t.TableType(), ttEdsNTX);
    // An alias without a type letter stands for the engine's own tables, and holds to them.
    TTestTable u;
    u.SetTableType(ttEdsCDX);
    u.SetDatabaseName("PLAIN");
    EXPECT_EQ(u.TableType(), ttEdsEDT);
    EXPECT_EQ(u.EngineTableType(), EDS_EDT);
    EXPECT_EQ(u.GetConnectPath(), dir.str());
    EXPECT_THAT([&] { u.SetTableType(ttEdsCDX); },
                ThrowsMessage<EEDSDatabaseError>(HasSubstr(
                    "The table type must remain identical to the table type associated with the alias.")));
    EXPECT_EQ(u.TableType(), ttEdsEDT);
    if (previous != nullptr) setenv("SENDORA_HOME", saved.c_str(), 1);
    else unsetenv("SENDORA_HOME");
}

}  // namespace

namespace {

std::vector<std::string> Names(TTestTable& t) {
    std::vector<std::string> names;
    for (t.First(); !t.Eof(); t.Next()) names.push_back(t.FieldByName("Name")->AsString());
    return names;
}

}  // namespace

// Ordering by field names wants the exact order of the values: an index over
// UPPER(Name) would put "clients" before "Friends". Listed first, it is still passed over.
TEST(EdsDataIndex, IndexFieldNamesTakeOnlyACaseSensitiveIndex) {
    testsupport::TempDir dir;
    CreateTable(dir.str(), "Groups", "ID,Integer; Name,Char,20",
                {{"BYNAMECI", "UPPER(Name)", EDS_UNIQUE}, {"BYID", "ID", EDS_UNIQUE}});
    AppendRows(dir.str(), "Groups", 3, [&](EDSHANDLE table, int row) {
        const char* names[] = {"clients", "Friends", "banks"};
        ASSERT_EQ(edsdatatest::SetInteger(table, "ID", row + 1), 0u);
        ASSERT_EQ(edsdatatest::SetText(table, "Name", names[row]), 0u);
    });
    TTestTable t(dir.str(), "Groups");
    t.Open();
    EXPECT_TRUE(t.IndexDefs().Find("BYNAMECI")->Options().Contains(db::ixCaseInsensitive));
    EXPECT_FALSE(t.IndexDefs().Find("BYID")->Options().Contains(db::ixCaseInsensitive));
    EXPECT_THAT([&] { t.SetIndexFieldNames("Name"); },
                ThrowsMessage<EEDSDatabaseError>(HasSubstr("Not a valid index field name:Name")));
    t.Close();

    const EDSHANDLE connection = DynamicConnList().Connect(dir.str());
    EDSHANDLE table = 0;
    ASSERT_EQ(EdsApi.EdsOpenTable(connection, EdsText("Groups"), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING,
                                  EDS_CHECK_RIGHTS, EDS_EXCLUSIVE, &table),
              0u);
    EDSHANDLE index = 0;
    ASSERT_EQ(EdsApi.EdsCreateIndex61(table, EdsText(""), EdsText("BYNAME"), EdsText("Name"), EdsText(""), EdsText(""),
                                      0, 0, &index),
              0u);
    ASSERT_EQ(EdsApi.EdsCloseTable(table), 0u);
    t.Open();
    t.SetIndexFieldNames("Name");
    EXPECT_EQ(Names(t), (std::vector<std::string>{"Friends", "banks", "clients"}));
}

// Blanks around the list are dropped and the rest kept as given; each name is
// still matched without the white space around it.
TEST(EdsDataIndex, IndexFieldNamesLoseOnlyTheirBlanks) {
    testsupport::TempDir dir;
    CreatePeople(dir.str());
    TTestTable t(dir.str(), "People");
    t.Open();
    t.SetIndexFieldNames("  Name ");
    EXPECT_EQ(t.IndexFieldNames(), "Name");
    t.SetIndexFieldNames(" \tName\t");
    EXPECT_EQ(t.IndexFieldNames(), "\tName\t");
    EXPECT_EQ(Ids(t), (std::vector<int>{3, 1, 2}));
}
