// The table component: how it opens its cursor (options, connections, index
// files, failures that must leave nothing open), making tables and index
// tags, and its answers to the provider side.

#include "tests/dbaccess/EdsTableTestSupport.h"

#include "platform/db/Params.h"

#include <gmock/gmock.h>

#include <filesystem>

using namespace edstabletest;

namespace {

// A table that shows its last auto-increment value.
class TAutoIncTable : public TEdsTable {
public:
    UNSIGNED32 LastAutoInc() { return GetLastAutoInc(); }
};

// A connection component that never gets an engine handle.
class THandlelessConnection : public TEdsConnection {
public:
    explicit THandlelessConnection(std::string Folder) : TEdsConnection(nullptr), folder_(std::move(Folder)) {}
    void SetIsConnected(bool) override {}
    EDSHANDLE GetConnectionHandle() const override { return 0; }
    std::string GetConnectionFolder() const override { return folder_; }

private:
    std::string folder_;
};

UNSIGNED16 OpenTableCount() {
    UNSIGNED16 count = 0;
    EdsApi.EdsGetNumOpenTables(&count);
    return count;
}

class EdsTable : public ::testing::Test {
protected:
    void SetUp() override {
        Calls() = TCallLog{};
        auto maker = CreateAppTable(dir_.str(), "Items", "ID,AutoInc; Name,Char,10; Count,Integer;");
        maker->Open();
        for (const char* name : {"beta", "alpha", "gamma"})
            maker->AppendRecord({db::Variant(), db::Variant(std::string(name)), db::Variant(2)});
    }
    std::unique_ptr<TEdsTable> Closed(const std::string& Name = "Items") {
        auto table = std::make_unique<TEdsTable>();
        table->SetDatabaseName(dir_.str());
        table->SetTableName(Name);
        return table;
    }

    testsupport::TempDir dir_;
    TEdsEntryPointsGuard entryPoints_;
};

}  // namespace

// ---- opening -----------------------------------------------------------------------------------

TEST_F(EdsTable, OpenRefusesWithoutTableNamePathOrConnectionHandle) {
    TEdsTable table;
    table.SetDatabaseName(dir_.str());
    TRaised raised = Raises([&] { table.Open(); });
    EXPECT_EQ(raised.Message, "Missing TableName property");
    EXPECT_EQ(raised.Code, 5121);

    TEdsTable nowhere;
    nowhere.SetTableName("Items");
    EXPECT_EQ(Raises([&] { nowhere.Open(); }).Message,
              "One of the DatabaseName property or the EdsConnection property must have a value.");

    THandlelessConnection connection(dir_.str());
    TEdsTable handleless;
    handleless.SetEdsConnection(&connection);
    handleless.SetTableName("Items");
    EXPECT_EQ(Raises([&] { handleless.Open(); }).Message, "Internal Error: invalid connection handle.");
    handleless.SetEdsConnection(nullptr);
    for (TEdsTable* t : {&table, &nowhere, &handleless}) EXPECT_FALSE(t->Active());
    EXPECT_EQ(OpenTableCount(), 0);
}

TEST_F(EdsTable, OpenOptionsFollowExclusiveReadOnlyAndCollationHandling) {
    RecordOpens();
    auto table = Closed();
    const std::vector<std::tuple<bool, bool, TIndexCollationMismatchOptions, UNSIGNED32>> cases = {
        {false, false, icmError, 0}, {true, false, icmError, 1},     {false, true, icmError, 2},
        {true, true, icmError, 3},   {false, false, icmIgnore, 512}, {true, true, icmReindex, 259},
    };
    for (const auto& [exclusive, readOnly, collation, expected] : cases) {
        table->SetExclusive(exclusive);
        table->SetReadOnly(readOnly);
        table->SetIndexCollationMismatch(collation);
        table->Open();
        EXPECT_EQ(Calls().OpenOptions.back(), expected);
        EXPECT_EQ(table->CanModify(), !readOnly);
        table->Close();
    }
    EXPECT_EQ(Calls().OpenTypes.back(), EDS_EDT);
    EXPECT_EQ(Calls().OpenNames.back(), dir_.str() + "/Items");

    table->Open();
    const TRaised raised = Raises([&] { table->SetIndexCollationMismatch(icmIgnore); });
    EXPECT_EQ(raised.Message, "Cannot perform this operation on an open dataset");
    EXPECT_EQ(table->IndexCollationMismatch(), icmReindex);
}

TEST_F(EdsTable, TableOnAReadOnlyConnectionOpensReadOnlyAndStaysSo) {
    RecordOpens();
    TEdsConnection connection(nullptr);
    connection.SetConnectPath(dir_.str());
    connection.SetReadOnly(true);
    TEdsTable table;
    table.SetEdsConnection(&connection);
    table.SetTableName("Items");
    table.Open();
    EXPECT_EQ(Calls().OpenOptions.back(), EDS_READONLY);
    EXPECT_TRUE(connection.IsConnected());
    EXPECT_FALSE(table.CanModify());
    EXPECT_EQ(table.RecordCount(), 3);
    table.Close();
    EXPECT_TRUE(table.ReadOnly());
    table.SetEdsConnection(nullptr);
}

TEST_F(EdsTable, TableNameWithExtensionOpensThatFileAndNamesTheTableWithoutIt) {
    auto table = Closed("Items.edt");
    table->Open();
    EXPECT_EQ(table->RecordCount(), 3);
    EXPECT_EQ(table->PSGetTableName(), "Items");
    table->Close();
    for (const auto& [name, provider] : std::vector<std::pair<std::string, std::string>>{
             {"Items", "Items"}, {"A.edt", "A"}, {".edt", ".edt"}, {"Log37.x", "Log37.x"}, {"a.b.edt", "a.b"}}) {
        table->SetTableName(name);
        EXPECT_EQ(table->PSGetTableName(), provider) << name;
    }
}

TEST_F(EdsTable, TablesOfOneFolderShareOneImplicitConnection) {
    const std::size_t before = DynamicConnList().Count();
    auto first = Closed();
    auto second = Closed();
    first->Open();
    second->Open();
    EXPECT_EQ(DynamicConnList().Count(), before);  // the folder's connection was made by SetUp
    EXPECT_NE(DynamicConnList().FindByPath(dir_.str()), 0u);
    EXPECT_EQ(first->RecordCount(), second->RecordCount());
}

TEST_F(EdsTable, FailingIndexFileLeavesNoCursorAndNoExclusiveHoldBehind) {
    auto table = Closed();
    table->SetExclusive(true);
    table->IndexFiles().Add("Extra.idx");
    EXPECT_TRUE(Raises([&] { table->Open(); }).Raised);
    EXPECT_FALSE(table->Active());
    EXPECT_EQ(OpenTableCount(), 0);
    // Nobody holds the file: an exclusive open elsewhere succeeds at once.
    auto other = Closed();
    other->SetExclusive(true);
    other->Open();
    EXPECT_TRUE(other->Active());
}

TEST_F(EdsTable, FailureAfterTheOpenClosesTheCursor) {
    EdsApi.EdsIsTableEncrypted = [](EDSHANDLE, UNSIGNED16*) -> UNSIGNED32 {
        return EdsApi.EdsSetLastError(EDS_E_IO, EdsText("cannot tell"));
    };
    auto table = Closed();
    table->SetEncryptionPassword("secret");
    EXPECT_EQ(Raises([&] { table->Open(); }).Code, static_cast<std::int32_t>(EDS_E_IO));
    EXPECT_EQ(OpenTableCount(), 0);
    // An unencrypted table opens with a password set.
    EdsApi.EdsIsTableEncrypted = &::EdsIsTableEncrypted;
    table->Open();
    EXPECT_EQ(table->RecordCount(), 3);
}

TEST_F(EdsTable, LastAutoIncIsTheNumberOfTheLastAppend) {
    TAutoIncTable table;
    table.SetDatabaseName(dir_.str());
    table.SetTableName("Items");
    table.Open();
    table.AppendRecord({db::Variant(), db::Variant(std::string("delta")), db::Variant(1)});
    EXPECT_EQ(table.LastAutoInc(), 4u);
    EXPECT_EQ(table.FieldByName("ID")->AsInteger(), 4);
}

// ---- making tables -----------------------------------------------------------------------------

TEST_F(EdsTable, CreateTableHandsTheEngineTheApplicationsChoices) {
    EdsApi.EdsCreateTable = [](EDSHANDLE connection, const UNSIGNED8* name, const UNSIGNED8* alias, UNSIGNED16 type,
                               UNSIGNED16 chars, UNSIGNED16 locking, UNSIGNED16 rights, UNSIGNED16 memo,
                               const UNSIGNED8* fields, EDSHANDLE* table) -> UNSIGNED32 {
        Calls().CreateArgs = {type, chars, locking, rights, memo};
        Calls().OpenNames.emplace_back(reinterpret_cast<const char*>(fields));
        return ::EdsCreateTable(connection, name, alias, EDS_EDT, EDS_ANSI, locking, rights, memo, fields, table);
    };
    TEdsTable table;
    const std::string fields = "FilterName,Char,20; FilterCombination,Char,3;";
    table.CreateTable(dir_.str() + "\\LogFilters.edt", ttEdsEDT, ANSI, 0, fields);
    EXPECT_EQ(Calls().CreateArgs, (std::vector<UNSIGNED16>{EDS_EDT, EDS_ANSI, 1, 1, 0}));
    EXPECT_EQ(Calls().OpenNames.back(), fields);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "LogFilters.edt"));
    table.CreateTable(dir_.str() + "/Cdx.edt", ttEdsCDX, OEM, 64, "A,Integer");
    EXPECT_EQ(Calls().CreateArgs, (std::vector<UNSIGNED16>{EDS_CDX, EDS_OEM, 1, 1, 64}));
    table.CreateTable(dir_.str() + "/Ntx.edt", ttEdsNTX, ANSI, 0, "A,Integer");
    EXPECT_EQ(Calls().CreateArgs[0], EDS_NTX);
    table.CreateTable(dir_.str() + "/Default.edt", ttEdsDefault, ANSI, 0, "A,Integer");
    EXPECT_EQ(Calls().CreateArgs[0], EDS_EDT);
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(OpenTableCount(), 0);
}

TEST_F(EdsTable, CreateTableRefusesAnExistingFileAndANameTooLongToKeep) {
    TEdsTable table;
    EXPECT_EQ(Raises([&] { table.CreateTable(dir_.str() + "/Items.edt", ttEdsEDT, ANSI, 0, "A,Integer"); }).Code,
              static_cast<std::int32_t>(EDS_E_FILE_EXISTS));
    // Cutting the name would make a file of another name.
    const std::string longName = dir_.str() + "/" + std::string(260, 'n') + ".edt";
    const TRaised raised = Raises([&] { table.CreateTable(longName, ttEdsEDT, ANSI, 0, "A,Integer"); });
    EXPECT_EQ(raised.Code, 5121);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2);  // Items.edt and its lock file
}

TEST_F(EdsTable, CreateTablePassesCode5068FromTheCloseButNoOtherFailure) {
    EdsApi.EdsCloseTable = [](EDSHANDLE table) -> UNSIGNED32 {
        ::EdsCloseTable(table);
        return Calls().CloseAnswer;
    };
    TEdsTable table;
    Calls().CloseAnswer = EDS_E_NO_CURRENT_RECORD;
    table.CreateTable(dir_.str() + "/A.edt", ttEdsEDT, ANSI, 0, "A,Integer");
    Calls().CloseAnswer = EdsApi.EdsSetLastError(EDS_E_IO, EdsText("close failed"));
    EXPECT_EQ(Raises([&] { table.CreateTable(dir_.str() + "/B.edt", ttEdsEDT, ANSI, 0, "A,Integer"); }).Code,
              static_cast<std::int32_t>(EDS_E_IO));
}

// ---- index tags ----------------------------------------------------------------------------------

TEST_F(EdsTable, AddIndexOnAClosedTableOpensCreatesTheTagAndClosesAgain) {
    RecordOpens();
    RecordIndexCreation();
    auto table = Closed();
    table->SetExclusive(true);
    table->AddIndex("ByName", "Name", {db::ixUnique});
    EXPECT_FALSE(table->Active());
    EXPECT_EQ(Calls().OpenCalls, 1);
    EXPECT_EQ(Calls().OpenOptions.back(), EDS_EXCLUSIVE);
    EXPECT_EQ(OpenTableCount(), 0);
    EXPECT_EQ(Calls().Tags.back(), "ByName");
    EXPECT_EQ(Calls().FileNames.back(), "");
    EXPECT_EQ(Calls().Expressions.back(), "Name");
    EXPECT_EQ(Calls().IndexOptions.back(), EDS_UNIQUE | EDS_COMPOUND);

    table->SetIndexName("ByName");
    table->Open();
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "alpha");
}

TEST_F(EdsTable, AddIndexOnAnOpenTableUsesItsCursorAndRefreshesTheDefinitions) {
    RecordIndexCreation();
    auto table = Closed();
    table->Open();
    table->IndexDefs().Update();
    EXPECT_EQ(table->IndexDefs().Count(), 0);
    RecordOpens();
    table->AddIndex("ByCount", "Count", {db::ixDescending});
    EXPECT_EQ(Calls().OpenCalls, 0);
    EXPECT_EQ(Calls().IndexOptions.back(), EDS_DESCENDING | EDS_COMPOUND);
    table->IndexDefs().Update();
    ASSERT_EQ(table->IndexDefs().Count(), 1);
    EXPECT_EQ(table->IndexDefs()[0]->Name(), "ByCount");
    EXPECT_TRUE(table->Active());
}

TEST_F(EdsTable, CaseInsensitiveIndexUpperCasesOnlyCharacterColumns) {
    RecordIndexCreation();
    auto table = Closed();
    table->AddIndex("Mixed", "Count;Name", {db::ixUnique, db::ixCaseInsensitive});
    EXPECT_EQ(Calls().Expressions.back(), "Count;UPPER(Name)");
    table->AddIndex("Spaced", "Count; Name", {db::ixCaseInsensitive});
    EXPECT_EQ(Calls().Expressions.back(), "Count; Name");  // the blank is part of the name
    table->Open();
    table->Append();
    table->FieldByName("Name")->SetAsString("ALPHA");
    table->FieldByName("Count")->SetAsInteger(2);
    EXPECT_TRUE(Raises([&] { table->Post(); }).Raised);  // alpha with count 2 exists
    table->Cancel();
}

TEST_F(EdsTable, NtxIndexIsItsOwnFileWithTheFieldsJoinedByPlus) {
    RecordOpens();
    RecordIndexCreation();
    auto table = Closed();
    table->SetTableType(ttEdsNTX);
    table->AddIndex("NameCnt", "Name;Count", {db::ixCaseInsensitive});
    EXPECT_EQ(Calls().OpenTypes.back(), EDS_NTX);
    EXPECT_EQ(Calls().FileNames.back(), "NameCnt");
    EXPECT_EQ(Calls().Tags.back(), "");
    EXPECT_EQ(Calls().Expressions.back(), "UPPER(Name)+Count");
    EXPECT_EQ(Calls().IndexOptions.back(), 0u);
    table->SetTableType(ttEdsCDX);
    table->AddIndex("CdxTag", "Name;Count", {});
    EXPECT_EQ(Calls().Tags.back(), "CdxTag");
    EXPECT_EQ(Calls().Expressions.back(), "Name+Count");
    EXPECT_EQ(Calls().IndexOptions.back(), EDS_COMPOUND);
}

TEST_F(EdsTable, CaseInsensitiveExpressionIndexIsRefusedBeforeTheEngineIsAsked) {
    RecordOpens();
    RecordIndexCreation();
    auto table = Closed();
    const TRaised raised = Raises([&] { table->AddIndex("X", "Name", {db::ixCaseInsensitive, db::ixExpression}); });
    EXPECT_EQ(raised.Message, "ixCaseInsensitive is not supported with ixExpression indexes");
    EXPECT_EQ(raised.Code, 5121);
    EXPECT_EQ(Calls().OpenCalls, 0);
    EXPECT_EQ(Calls().IndexCalls, 0);
}

TEST_F(EdsTable, IndexErrorIsReportedEvenWhenTheCloseAfterItFails) {
    auto table = Closed();
    table->AddIndex("ByName", "Name", {});
    EdsApi.EdsCloseTable = [](EDSHANDLE handle) -> UNSIGNED32 {
        ::EdsCloseTable(handle);
        return EdsApi.EdsSetLastError(EDS_E_IO, EdsText("close failed"));
    };
    const TRaised raised = Raises([&] { table->AddIndex("ByName", "Name", {}); });
    EXPECT_EQ(raised.Code, static_cast<std::int32_t>(EDS_E_INDEX_EXISTS));
    EXPECT_EQ(OpenTableCount(), 0);
    // A failing close after a good creation is itself the error.
    EXPECT_EQ(Raises([&] { table->AddIndex("ByCount", "Count", {}); }).Code, static_cast<std::int32_t>(EDS_E_IO));
    EdsApi.EdsCloseTable = &::EdsCloseTable;
    EXPECT_EQ(Raises([&] { table->AddIndex("Unique", "Count", {db::ixUnique}); }).Code,
              static_cast<std::int32_t>(EDS_E_UNIQUE_VIOLATION));
    EXPECT_FALSE(table->Active());
}

// ---- provider answers --------------------------------------------------------------------------

TEST_F(EdsTable, DefaultOrderAndKeyFieldsComeFromTheChosenOrTheFirstUniqueIndex) {
    auto table = Closed();
    table->AddIndex("ByCount", "Count", {});
    table->AddIndex("ByName", "Name", {db::ixUnique});
    table->Open();
    auto order = table->PSGetDefaultOrder();
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->Name(), "ByName");
    EXPECT_EQ(table->PSGetKeyFields(), "NAME");

    table->SetIndexName("ByCount");
    order = table->PSGetDefaultOrder();
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->Name(), "ByCount");
    table->SetIndexFieldNames("Count");
    EXPECT_EQ(table->PSGetDefaultOrder()->Name(), "ByCount");

    const auto unique = table->PSGetIndexDefs({db::ixUnique});
    ASSERT_EQ(unique->Count(), 1);
    EXPECT_EQ((*unique)[0]->Name(), "ByName");
    EXPECT_EQ(table->PSGetIndexDefs({})->Count(), 2);

    std::vector<db::TField*> master, detail;
    table->GetDetailLinkFields(master, detail);
    EXPECT_TRUE(master.empty());
    ASSERT_EQ(detail.size(), 1u);
    EXPECT_EQ(detail[0], table->FieldByName("Count"));
}

TEST_F(EdsTable, IndexWhoseFieldsTheDatasetLacksIsNoDefaultOrder) {
    auto table = Closed();
    table->AddIndex("ByName", "Name", {db::ixUnique});
    db::CreateField<db::TIntegerField>(*table, "Count");
    table->Open();
    ASSERT_EQ(table->FieldCount(), 1) << table->Fields()[1]->FieldName();
    EXPECT_EQ(table->PSGetDefaultOrder(), nullptr);
    EXPECT_EQ(table->PSGetKeyFields(), "");
    table->Close();
    // Without unique indexes there is no answer either.
    auto bare = CreateAppTable(dir_.str(), "Plain", "A,Integer; B,Char,5");
    bare->AddIndex("ByA", "A", {});
    bare->Open();
    EXPECT_EQ(bare->PSGetDefaultOrder(), nullptr);
    EXPECT_EQ(bare->PSGetKeyFields(), "");
}

TEST_F(EdsTable, CommandTextNamesTheTableAndDefinitionChangesAreStored) {
    auto table = Closed();
    table->PSSetCommandText("Other");
    EXPECT_EQ(table->TableName(), "Other");
    table->PSSetCommandText("");
    EXPECT_EQ(table->TableName(), "Other");

    table->SetTableName("Items");
    EXPECT_FALSE(table->StoreDefs());
    table->FieldDefs().Update();
    EXPECT_TRUE(table->StoreDefs());
    EXPECT_TRUE(table->FieldDefsStored());
    EXPECT_FALSE(table->IndexDefsStored());

    table->Open();
    table->Last();
    table->PSSetParams(db::TParams());  // no range to drop: the table stays as it is
    EXPECT_TRUE(table->Active());
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "gamma");
}

// ---- bookmarks ---------------------------------------------------------------------------------

TEST_F(EdsTable, CutBookmarkIsRefusedBeforeAnythingMovesAndComparesAsNoBookmark) {
    auto table = Closed();
    table->Open();
    table->Last();
    const db::TBookmark last = table->GetBookmark();
    ASSERT_GE(last.size(), 4u);
    table->First();
    int scrolls = 0;
    table->BeforeScroll = [&](db::TDataSet&) { ++scrolls; };
    table->AfterScroll = [&](db::TDataSet&) { ++scrolls; };
    table->Edit();
    table->FieldByName("Count")->SetAsInteger(7);
    for (std::size_t length : {1u, 3u}) {
        // Exactly `length` bytes on the heap, so that a read past them is caught.
        const db::TBookmark cut(last.begin(), last.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_THAT([&] { table->GotoBookmark(cut); },
                    ::testing::ThrowsMessage<db::EDatabaseError>(::testing::HasSubstr("Record not found")))
            << length;
        EXPECT_EQ(scrolls, 0);
        EXPECT_EQ(table->State(), db::dsEdit) << "the pending edit is neither posted nor dropped";
        EXPECT_EQ(table->CompareBookmarks(cut, last), 1);
        EXPECT_EQ(table->CompareBookmarks(last, cut), -1);
        EXPECT_EQ(table->CompareBookmarks(cut, {}), 0);
        EXPECT_EQ(table->CompareBookmarks(cut, cut), 0);
        EXPECT_FALSE(table->BookmarkValid(cut));
    }
    table->GotoBookmark({});  // no bookmark: nothing happens
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(table->State(), db::dsEdit);
    table->Cancel();
    table->Next();
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "alpha");
    table->GotoBookmark(last);
    EXPECT_EQ(table->FieldByName("Name")->AsString(), "gamma");
    EXPECT_EQ(table->CompareBookmarks(last, last), 0);
}

TEST(EdsTableTexts, ListNamesAndTrimming) {
    EXPECT_EQ(NthListName("A_ID;G_ID", 1), "A_ID");
    EXPECT_EQ(NthListName("A_ID;G_ID", 2), "G_ID");
    EXPECT_EQ(NthListName("A_ID;G_ID", 3), "");
    EXPECT_EQ(NthListName("Group_Name", 1), "Group_Name");
    EXPECT_EQ(NthListName("Group_Name", 2), "");
    EXPECT_EQ(NthListName("A; B", 2), " B");
    EXPECT_EQ(NthListName("A;;C", 3), "C");
    EXPECT_EQ(TrimBlanks("  Name;Count  "), "Name;Count");
    EXPECT_EQ(TrimBlanks("   "), "");
    EXPECT_EQ(TrimBlanks(""), "");
}
