// Connections: the alias file, path resolution of a dataset's DatabaseName, the
// TEdsConnection component, and the implicit connections shared per folder.

#include "DbAccessTestSupport.h"

#include "dbaccess/edscnnct.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using dbtest::Engine;
using dbtest::FakeDataSet;
using dbtest::Script;

namespace {

template <class F>
std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

// A program folder of its own (SENDORA_HOME) with the alias file in it.
class AliasFileTest : public testing::Test {
protected:
    AliasFileTest() { setenv("SENDORA_HOME", home_.str().c_str(), 1); }
    ~AliasFileTest() override { unsetenv("SENDORA_HOME"); }

    void WriteAliases(const std::string& lines, const std::string& fileName = "eds.ini") {
        testsupport::WriteFile(home_ / fileName, "[Databases]\r\n" + lines);
    }

    testsupport::TempDir home_;
};

}  // namespace

// ---- the alias file ----------------------------------------------------------------

TEST_F(AliasFileTest, SuffixesGiveTheTableTypeAndAreCutOffThePath) {
    WriteAliases(
        "Sendo=C:\\Sendo\\Data;N\r\n"
        "Cdx=/srv/cdx;c\r\n"
        "Edt=/srv/edt;A\r\n"
        "Other=/srv/other;X\r\n"
        "Plain=/srv/plain\r\n"
        "Empty=;N\r\n");
    struct Case {
        const char* alias;
        const char* path;
        int aliasType;
        TEdsTableTypes tableType;
    };
    for (const Case& c : {Case{"Sendo", "C:\\Sendo\\Data", 2, ttEdsNTX}, Case{"cdx", "/srv/cdx", 1, ttEdsCDX},
                          Case{"EDT", "/srv/edt", 3, ttEdsEDT}, Case{"Other", "/srv/other", 0, ttEdsEDT},
                          Case{"Plain", "/srv/plain", 0, ttEdsEDT}}) {
        const auto alias = LookupEdsIniAlias(c.alias);
        ASSERT_TRUE(alias) << c.alias;
        EXPECT_EQ(alias->Path, c.path) << c.alias;
        EXPECT_EQ(alias->AliasType, c.aliasType) << c.alias;
        EXPECT_EQ(alias->TableType, c.tableType) << c.alias;
    }
    EXPECT_FALSE(LookupEdsIniAlias("Empty"));
    EXPECT_FALSE(LookupEdsIniAlias("Missing"));
    EXPECT_FALSE(LookupEdsIniAlias(""));
}

TEST_F(AliasFileTest, TheFileIsFoundWhateverTheCaseOfItsNameElseByItsPlainName) {
    EXPECT_EQ(EdsIniFileName(), "eds.ini");
    WriteAliases("Sendo=/srv/sendo\r\n", "EDS.INI");
    EXPECT_EQ(EdsIniFileName(), (home_ / "EDS.INI").string());
    ASSERT_TRUE(LookupEdsIniAlias("Sendo"));
}

// ---- path resolution -----------------------------------------------------------------

TEST_F(AliasFileTest, AFolderInDatabaseNameIsThePath) {
    FakeDataSet dataSet(nullptr, "edstLog");
    auto pathOf = [&dataSet](const std::string& databaseName) {
        dataSet.databaseName = databaseName;
        return GetConnectPath(dataSet);
    };
    EXPECT_EQ(pathOf("C:\\Sendo\\Data\\"), "C:\\Sendo\\Data");
    EXPECT_EQ(pathOf("/srv/sendo/data/"), "/srv/sendo/data");
    EXPECT_EQ(pathOf("/srv/sendo/data"), "/srv/sendo/data");
    EXPECT_EQ(pathOf("\\"), "\\");
    EXPECT_EQ(pathOf("/"), "/");
    EXPECT_EQ(pathOf("data"), "data");  // neither a folder path nor an alias
    EXPECT_EQ(pathOf(""), "");          // nothing, and no connection
    EXPECT_EQ(dataSet.tableTypeSets, 0);
}

TEST_F(AliasFileTest, AnAliasGivesItsPathOnceAndItsTableType) {
    WriteAliases("Sendo=/srv/sendo/data/;N\r\n");
    FakeDataSet dataSet(nullptr, "edstLog");
    dataSet.databaseName = "SENDO";
    dataSet.tableType = ttEdsEDT;
    EXPECT_EQ(GetConnectPath(dataSet), "/srv/sendo/data");
    EXPECT_EQ(dataSet.tableType, ttEdsNTX);
    EXPECT_EQ(dataSet.aliasPath, "/srv/sendo/data");

    // The path stays with the dataset until its DatabaseName changes.
    WriteAliases("Sendo=/elsewhere\r\n");
    EXPECT_EQ(GetConnectPath(dataSet), "/srv/sendo/data");
    EXPECT_EQ(dataSet.tableTypeSets, 1);
}

TEST_F(AliasFileTest, ADataSetOnAConnectionTakesItsFolder) {
    rtl::TComponent form;
    form.SetName("frmLog");
    TEdsConnection connection(&form);
    connection.SetName("edsc1");
    connection.SetConnectPath("/srv/sendo/data/");
    FakeDataSet dataSet(&form, "edstLog");
    dataSet.SetEdsConnection(&connection);

    for (const char* name : {"", "EDSC1", "frmlog.edsc1"}) {
        dataSet.databaseName = name;
        EXPECT_EQ(GetConnectPath(dataSet), "/srv/sendo/data") << name;
    }
    // Another name is not the connection: it is resolved on its own.
    dataSet.databaseName = "other.edsc1";
    EXPECT_EQ(GetConnectPath(dataSet), "other.edsc1");

    WriteAliases("Sendo=/srv/ntx;N\r\n");
    connection.SetAliasName("Sendo");
    dataSet.databaseName = "";
    dataSet.tableType = ttEdsEDT;
    EXPECT_EQ(GetConnectPath(dataSet), "/srv/ntx");
    EXPECT_EQ(dataSet.tableType, ttEdsNTX);
}

// ---- the connection component ----------------------------------------------------------

TEST(EdsConnection, DataDictionaryPathsAndTheirFolder) {
    TEdsConnection connection(nullptr);
    struct Case {
        const char* path;
        bool dictionary;
        const char* folder;
    };
    for (const Case& c : {Case{"\\\\server\\share\\sendo.add", true, "\\\\server\\share"},
                          Case{"/srv/sendo/Sendo.Add", true, "/srv/sendo"},
                          Case{"sendo.ADD", true, ".\\"},
                          Case{"a\\b/c.add", true, "a\\b"},
                          Case{"a/b\\c.add", true, "a/b"},
                          Case{"/srv/x.add/data", false, "/srv/x.add/data"},
                          Case{".add", false, ".add"},
                          Case{"/srv/data", false, "/srv/data"}}) {
        connection.SetConnectPath(c.path);
        EXPECT_EQ(connection.IsDictionaryConnection(), c.dictionary) << c.path;
        EXPECT_EQ(connection.GetConnectionFolder(), c.folder) << c.path;
    }
}

TEST_F(AliasFileTest, AnAliasGivesItsTypeToTheDataSetsOfTheSameOwner) {
    WriteAliases("Sendo=/srv/sendo;C\r\n");
    rtl::TComponent form;
    rtl::TComponent otherForm;
    TEdsConnection connection(&form);
    connection.SetName("edsc1");
    FakeDataSet unnamed(&form, "a");
    FakeDataSet byName(&form, "b");
    byName.databaseName = "EDSC1";
    FakeDataSet byFolder(&form, "c");
    byFolder.databaseName = "/srv/x";
    FakeDataSet elsewhere(&otherForm, "d");
    for (FakeDataSet* d : {&unnamed, &byName, &byFolder, &elsewhere}) d->SetEdsConnection(&connection);

    connection.SetAliasName("Sendo");
    EXPECT_EQ(unnamed.tableType, ttEdsCDX);
    EXPECT_EQ(byName.tableType, ttEdsCDX);
    EXPECT_EQ(byFolder.tableType, ttEdsDefault);
    EXPECT_EQ(elsewhere.tableType, ttEdsDefault);
}

class ConnectionTest : public AliasFileTest {
protected:
    ConnectionTest() {
        script_.Connections();
        script_.LastError(0, "");
        connection_.SetName("edsc1");
    }
    ~ConnectionTest() override { SetEdsLoginDialog(nullptr); }

    Script script_;
    TEdsConnection connection_{nullptr};
};

TEST_F(ConnectionTest, NothingOrAnUnknownAliasToConnectTo) {
    EXPECT_EQ(MessageOf([&] { connection_.SetIsConnected(true); }),
              "Must specify connection string before getting a server connection.");
    EXPECT_THROW(connection_.Open(), EdsConnectionError);
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(Engine().connectCalls, 0);
    connection_.SetAliasName("Sendo");
    EXPECT_EQ(connection_.AliasName(), "Sendo");
    EXPECT_EQ(MessageOf([&] { connection_.Open(); }), "TEdsConnection.AliasName is not valid");
    EXPECT_EQ(Engine().connectCalls, 0);

    // Connecting looks the alias up again.
    WriteAliases("Sendo=/srv/sendo;N\r\n");
    connection_.Open();
    EXPECT_TRUE(connection_.IsConnected());
    EXPECT_EQ(Engine().connectPath, "/srv/sendo");  // ";N" cut off
}

TEST_F(ConnectionTest, ConnectsToAFolder) {
    connection_.SetConnectPath("/srv/sendo/data");
    connection_.SetUsername("adam");
    connection_.SetPassword("secret");
    connection_.Open();
    EXPECT_TRUE(connection_.IsConnected());
    EXPECT_EQ(connection_.ConnectionHandle(), 100u);
    EXPECT_EQ(Engine().connectPath, "/srv/sendo/data");
    EXPECT_EQ(Engine().connectServerTypes, 0);  // the process default
    EXPECT_EQ(Engine().connectUser, "");        // credentials only go to a data dictionary
    EXPECT_EQ(Engine().connectPassword, "");
    EXPECT_EQ(Engine().connectOptions, 0u);
    connection_.Open();  // already connected: nothing happens
    EXPECT_EQ(Engine().connectCalls, 1);

    connection_.Close();
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(connection_.ConnectionHandle(), 0u);
    EXPECT_EQ(Engine().disconnected, (std::vector<EDSHANDLE>{100}));

    connection_.SetEdsServerTypes({stEDS_LOCAL, stEDS_AIS});
    connection_.SetMiddleTierConnection(true);
    connection_.SetStoredProcedureConnection(true);
    const std::pair<TEdsCompressionTypes, UNSIGNED32> compressions[] = {{ccEdsCompressionNotSet, 0},
                                                                        {ccEdsCompressInternet, 12}};
    for (const auto& [compression, bits] : compressions) {
        connection_.SetCompression(compression);
        connection_.Open();
        EXPECT_EQ(Engine().connectServerTypes, 5);
        EXPECT_EQ(Engine().connectOptions, 3u | bits);
        connection_.Close();
    }
}

TEST_F(ConnectionTest, AnEngineFailureLeavesItClosed) {
    connection_.SetConnectPath("/srv/missing");
    Engine().connectAnswer = EDS_E_FILE_NOT_FOUND;
    Engine().lastCode = EDS_E_FILE_NOT_FOUND;
    Engine().lastText = "The folder /srv/missing does not exist.";
    try {
        connection_.Open();
        FAIL();
    } catch (const EEDSDatabaseError& e) {
        EXPECT_EQ(e.ErrorCode(), static_cast<int>(EDS_E_FILE_NOT_FOUND));
        EXPECT_STREQ(e.what(), "The folder /srv/missing does not exist.");
    }
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(connection_.ConnectionHandle(), 0u);
}

TEST_F(ConnectionTest, TooLongATextIsRefusedNotCut) {
    connection_.SetConnectPath("/" + std::string(253, 'd'));  // 254 characters: fits
    connection_.Open();
    connection_.Close();
    connection_.SetConnectPath("/" + std::string(254, 'd'));
    EXPECT_EQ(MessageOf([&] { connection_.Open(); }),
              "The connection path of edsc1 is longer than 254 characters.");

    connection_.SetConnectPath("/srv/Sendo.add");
    connection_.SetLoginPrompt(false);
    connection_.SetPassword(std::string(261, 'p'));
    EXPECT_EQ(MessageOf([&] { connection_.Open(); }), "The password of edsc1 is longer than 260 characters.");
    EXPECT_EQ(Engine().connectCalls, 1);
}

TEST_F(ConnectionTest, PathAndAliasAreFixedWhileConnected) {
    WriteAliases("Sendo=/srv/sendo\r\n");
    connection_.SetConnectPath("/srv/a");
    connection_.Open();
    EXPECT_EQ(MessageOf([&] { connection_.SetConnectPath("/srv/b"); }),
              "The TEdsConnection.ConnectPath may not be changed when IsConnected is TRUE");
    EXPECT_EQ(MessageOf([&] { connection_.SetAliasName("Sendo"); }),
              "The TEdsConnection.AliasName may not be changed when IsConnected is TRUE");
    EXPECT_THROW(connection_.SetAliasName(""), EdsConnectionError);
    EXPECT_EQ(connection_.ConnectPath(), "/srv/a");
    EXPECT_EQ(connection_.AliasName(), "");
}

TEST_F(ConnectionTest, ADataDictionaryAsksForTheLoginByEventOrDialog) {
    connection_.SetConnectPath("/srv/Sendo.add");
    connection_.SetUsername("adam");
    connection_.SetPassword("old");
    connection_.OnLogin = [](rtl::TComponent*, std::string& user, std::string& password) {
        EXPECT_EQ(user, "adam");
        user = "eve";
        password = "apple";
    };
    FakeDataSet dataSet(nullptr, "edstLog");
    dataSet.SetEdsConnection(&connection_);
    connection_.Open();
    EXPECT_EQ(Engine().connectUser, "eve");
    EXPECT_EQ(Engine().connectPassword, "apple");
    EXPECT_EQ(connection_.Username(), "eve");
    EXPECT_EQ(connection_.Password(), "apple");
    EXPECT_EQ(dataSet.dictionaryReads, 1);  // the default index is read again
    connection_.Close();

    // Without a prompt the stored credentials go as they are.
    connection_.SetLoginPrompt(false);
    connection_.OnLogin = nullptr;
    connection_.SetPassword("pear");
    connection_.Open();
    EXPECT_EQ(Engine().connectPassword, "pear");

    // Without OnLogin the platform's dialog asks; cancelling it refuses.
    connection_.Close();
    connection_.SetLoginPrompt(true);
    std::string shownFor;
    SetEdsLoginDialog([&shownFor](const std::string& name, std::string&, std::string&) {
        shownFor = name;
        return false;
    });
    EXPECT_EQ(MessageOf([&] { connection_.Open(); }), "Cannot connect to database 'edsc1'");
    EXPECT_THROW(connection_.Open(), db::EDatabaseError);
    EXPECT_EQ(shownFor, "edsc1");
    EXPECT_EQ(Engine().connectCalls, 2);

    SetEdsLoginDialog([](const std::string&, std::string& user, std::string& password) {
        user = "eve";
        password = "apple";
        return true;
    });
    connection_.Open();
    EXPECT_EQ(Engine().connectUser, "eve");
    EXPECT_EQ(connection_.Password(), "apple");
}

TEST_F(ConnectionTest, EventsFireInOrder) {
    std::vector<std::string> events;
    auto note = [&events](const char* name) { return [&events, name](rtl::TComponent*) { events.push_back(name); }; };
    connection_.BeforeConnect = note("BeforeConnect");
    connection_.AfterConnect = note("AfterConnect");
    connection_.OnConnect = note("OnConnect");
    connection_.BeforeDisconnect = note("BeforeDisconnect");
    connection_.AfterDisconnect = note("AfterDisconnect");
    connection_.OnDisconnect = note("OnDisconnect");
    connection_.SetConnectPath("/srv/sendo");
    connection_.Open();
    connection_.Close();
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeConnect", "AfterConnect", "OnConnect", "BeforeDisconnect",
                                                "AfterDisconnect", "OnDisconnect"}));
}

TEST_F(ConnectionTest, DisconnectingClosesEveryDataSetEvenWhenOneFails) {
    connection_.SetConnectPath("/srv/sendo");
    FakeDataSet first(nullptr, "a");
    FakeDataSet failing(nullptr, "b");
    FakeDataSet last(nullptr, "c");
    failing.failClose = true;
    for (FakeDataSet* d : {&first, &failing, &last}) d->SetEdsConnection(&connection_);
    connection_.Open();
    EXPECT_NO_THROW(connection_.Close());
    for (FakeDataSet* d : {&first, &failing, &last}) {
        EXPECT_EQ(d->closes, 1) << d->Name();
        EXPECT_EQ(d->statementsFreed, 1) << d->Name();
        EXPECT_EQ(d->connection, &connection_) << d->Name();  // still attached
    }
    EXPECT_FALSE(connection_.IsConnected());
}

TEST_F(ConnectionTest, AFailedDisconnectStillClosesAndThenRaises) {
    connection_.SetConnectPath("/srv/sendo");
    connection_.Open();
    bool after = false;
    connection_.AfterDisconnect = [&after](rtl::TComponent*) { after = true; };
    Engine().disconnectAnswer = EDS_E_IO;
    Engine().lastCode = EDS_E_IO;
    Engine().lastText = "The storage failed.";
    try {
        connection_.Close();
        FAIL();
    } catch (const EdsError& e) {
        EXPECT_STREQ(e.what(), "The storage failed.");
    }
    EXPECT_TRUE(after);
    EXPECT_FALSE(connection_.IsConnected());
}

TEST_F(ConnectionTest, AnExternalHandleIsUsedButNeverClosed) {
    connection_.SetConnectPath("/srv/sendo");
    connection_.SetExternalHandle(4711);
    connection_.Open();
    EXPECT_EQ(connection_.ConnectionHandle(), 4711u);
    connection_.Close();
    EXPECT_EQ(Engine().connectCalls, 0);
    EXPECT_TRUE(Engine().disconnected.empty());
}

TEST_F(ConnectionTest, CachedStatementsCloseAllAndReportTheFirstFailure) {
    struct Cached : TEdsConnection {
        using TEdsConnection::TEdsConnection;
        void Cache(EDSHANDLE h) { statementCache_.push_back({1, h, "select 1"}); }
        std::size_t CacheSize() const { return statementCache_.size(); }
    } connection(nullptr);
    connection.SetConnectPath("/srv/sendo");
    connection.Open();
    connection.Cache(7);
    connection.Cache(0);  // never prepared
    connection.Cache(8);
    Engine().closeStatementAnswer = EDS_E_INVALID_STATEMENT;
    Engine().lastCode = EDS_E_INVALID_STATEMENT;
    Engine().lastText = "Invalid statement handle.";
    EXPECT_EQ(MessageOf([&] { connection.CloseCachedStatements(); }), "Invalid statement handle.");
    EXPECT_EQ(Engine().closedStatements, (std::vector<EDSHANDLE>{7, 8}));
    EXPECT_EQ(connection.CacheSize(), 0u);
}

TEST_F(ConnectionTest, ConnectingWhileLoadingWaitsForLoaded) {
    connection_.SetConnectPath("/srv/sendo");
    connection_.SetLoading(true);
    connection_.SetIsConnected(true);
    EXPECT_FALSE(connection_.IsConnected());
    EXPECT_EQ(Engine().connectCalls, 0);
    connection_.SetLoading(false);
    EXPECT_TRUE(connection_.IsConnected());

    TEdsConnection broken(nullptr);
    broken.SetLoading(true);
    broken.SetIsConnected(true);
    EXPECT_THROW(broken.SetLoading(false), EdsConnectionError);

    // At design time the failure is shown, not raised.
    dbtest::ErrorHookCapture shown;
    TEdsConnection designed(nullptr);
    designed.SetDesigning(true);
    designed.SetLoading(true);
    designed.SetIsConnected(true);
    EXPECT_NO_THROW(designed.SetLoading(false));
    EXPECT_EQ(shown.texts, (std::vector<std::string>{"Must specify connection string before getting a server connection."}));
}

// ---- destruction -------------------------------------------------------------------

TEST_F(ConnectionTest, DestroyingAConnectedComponentNeverRaises) {
    dbtest::ErrorHookCapture hook;
    FakeDataSet failing(nullptr, "a");
    FakeDataSet fine(nullptr, "b");
    failing.failClose = true;
    std::vector<std::string> events;
    {
        TEdsConnection connection(nullptr);
        connection.SetConnectPath("/srv/sendo");
        connection.BeforeDisconnect = [&events](rtl::TComponent*) { events.push_back("BeforeDisconnect"); };
        connection.AfterDisconnect = [&events](rtl::TComponent*) { events.push_back("AfterDisconnect"); };
        connection.OnDisconnect = [&events](rtl::TComponent*) { events.push_back("OnDisconnect"); };
        failing.SetEdsConnection(&connection);
        fine.SetEdsConnection(&connection);
        connection.Open();
        Engine().disconnectAnswer = EDS_E_IO;
        Engine().lastCode = EDS_E_IO;
        Engine().lastText = "The storage failed.";
    }
    EXPECT_EQ(hook.texts, (std::vector<std::string>{"close of a failed", "The storage failed."}));
    EXPECT_EQ(events, (std::vector<std::string>{"OnDisconnect"}));
    for (FakeDataSet* d : {&failing, &fine}) {
        EXPECT_EQ(d->closes, 1);
        EXPECT_EQ(d->forgotten, 1);
        EXPECT_EQ(d->connection, nullptr);
    }

    hook.texts.clear();
    Engine().disconnected.clear();
    {  // a handle the engine already dropped is no error
        TEdsConnection connection(nullptr);
        connection.SetConnectPath("/srv/sendo");
        connection.Open();
        Engine().disconnectAnswer = EDS_E_NOT_CONNECTED;
    }
    EXPECT_TRUE(hook.texts.empty());
    EXPECT_EQ(Engine().disconnected.size(), 1u);
}

TEST(EdsConnectionLifetime, AnUnconnectedComponentOnlyLetsGoOfItsDataSets) {
    FakeDataSet dataSet(nullptr, "a");
    const std::size_t before = EdsConnectionList().Count();
    {
        TEdsConnection connection(nullptr);
        EXPECT_EQ(EdsConnectionList().Count(), before + 1);
        dataSet.SetEdsConnection(&connection);
    }
    EXPECT_EQ(EdsConnectionList().Count(), before);
    EXPECT_EQ(dataSet.closes, 0);
    EXPECT_EQ(dataSet.forgotten, 1);
    EXPECT_EQ(dataSet.connection, nullptr);
}

// ---- renaming -------------------------------------------------------------------------

TEST(EdsConnectionName, RenamingCarriesTheDataSetsThatNameIt) {
    rtl::TComponent form;
    form.SetName("frmLog");
    TEdsConnection connection(&form);
    TEdsConnection other(&form);
    FakeDataSet unnamed(&form, "a");  // DatabaseName empty
    connection.SetName("edsc1");
    EXPECT_EQ(unnamed.databaseName, "");  // a first name renames nothing

    FakeDataSet bare(&form, "b");
    bare.databaseName = "EDSC1";
    FakeDataSet qualified(&form, "c");
    qualified.databaseName = "frmLog.edsc1";
    qualified.SetEdsConnection(&connection);
    FakeDataSet boundElsewhere(&form, "d");
    boundElsewhere.databaseName = "edsc1";
    boundElsewhere.SetEdsConnection(&other);
    FakeDataSet folder(&form, "e");
    folder.databaseName = "/srv/edsc1";

    connection.SetName("edscLog");
    EXPECT_EQ(bare.databaseName, "edscLog");
    EXPECT_EQ(qualified.databaseName, "frmLog.edscLog");
    EXPECT_EQ(boundElsewhere.databaseName, "edsc1");
    EXPECT_EQ(folder.databaseName, "/srv/edsc1");
    EXPECT_EQ(unnamed.databaseName, "");
}

// ---- implicit connections ----------------------------------------------------------------

class ImplicitConnectionTest : public testing::Test {
protected:
    ImplicitConnectionTest() { script_.Connections(); }

    Script script_;
    testsupport::TempDir dir_;
};

TEST_F(ImplicitConnectionTest, OneConnectionPerFolderExistingOrNot) {
    std::filesystem::create_directories(dir_ / "data");
    TDynamicConnList list;
    const std::string data = (dir_ / "data").string();
    EXPECT_EQ(list.FindByPath(data), 0u);
    const EDSHANDLE handle = list.Connect(data);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(Engine().connectPath, data);
    for (const std::string& spelling : {data + "/", data + "//", data + "/./", dir_.str() + "/data/../data",
                                        dir_.str() + "\\data\\"}) {
        EXPECT_EQ(list.FindByPath(spelling), handle) << spelling;
        EXPECT_EQ(list.Connect(spelling), handle) << spelling;
    }
    EXPECT_EQ(Engine().connectCalls, 1);
    EXPECT_EQ(list.Count(), 1u);

    const std::string later = (dir_ / "later").string();
    const EDSHANDLE notYet = list.Connect(later);
    std::filesystem::create_directories(later);
    EXPECT_EQ(list.FindByPath(later + "/"), notYet);
}

TEST_F(ImplicitConnectionTest, FoldersThatDifferInCaseAreDifferentFolders) {
    std::filesystem::create_directories(dir_ / "data");
    std::filesystem::create_directories(dir_ / "DATA");
    TDynamicConnList list;
    const EDSHANDLE lower = list.Connect((dir_ / "data").string());
    const EDSHANDLE upper = list.Connect((dir_ / "DATA").string());
    EXPECT_NE(lower, upper);
    EXPECT_EQ(list.Count(), 2u);
}

TEST_F(ImplicitConnectionTest, TheFolderIsKnownByItsRealPath) {
    std::filesystem::create_directories(dir_ / "data");
    std::filesystem::create_directory_symlink(dir_ / "data", dir_ / "link");
    TDynamicConnList list;
    const EDSHANDLE handle = list.Connect((dir_ / "link").string());
    EXPECT_EQ(list.FindByPath((dir_ / "data").string()), handle);
    EXPECT_EQ(TDynamicConnList::CanonicalPath((dir_ / "link").string()),
              std::filesystem::canonical(dir_ / "data").string());
}

TEST_F(ImplicitConnectionTest, AFailedConnectRaisesAndRemembersNothing) {
    script_.LastError(EDS_E_FILE_NOT_FOUND, "No such folder.");
    Engine().connectAnswer = EDS_E_FILE_NOT_FOUND;
    TDynamicConnList list;
    EXPECT_EQ(MessageOf([&] { list.Connect(dir_.str()); }), "No such folder.");
    EXPECT_EQ(list.Count(), 0u);
    Engine().connectAnswer = 0;
    EXPECT_NE(list.Connect(dir_.str()), 0u);
}

TEST_F(ImplicitConnectionTest, ShutdownDisconnectsEveryFolderInOrder) {
    dbtest::ErrorHookCapture hook;
    script_.LastError(EDS_E_IO, "The storage failed.");
    std::vector<EDSHANDLE> handles;
    {
        TDynamicConnList list;
        for (const char* name : {"a", "b", "c"}) handles.push_back(list.Connect((dir_ / name).string()));
        Engine().disconnectAnswer = EDS_E_IO;  // every disconnect fails: all are still tried
    }
    EXPECT_EQ(Engine().disconnected, handles);
    EXPECT_EQ(hook.texts, std::vector<std::string>(3, "The storage failed."));
}


// ---- with the engine itself ----------------------------------------------------------

namespace {

bool IsConnectionHandle(EDSHANDLE handle) {
    UNSIGNED16 type = 0;
    return EdsGetHandleType(handle, &type) == 0 && type == EDS_CONNECTION;
}

void CreateTable(EDSHANDLE connection, const std::string& name) {
    EDSHANDLE table = 0;
    CheckEdsError(nullptr, EdsApi.EdsCreateTable(connection, EdsText(name), nullptr, EDS_EDT, EDS_ANSI,
                                                 EDS_PROPRIETARY_LOCKING, EDS_IGNORE_RIGHTS, 0,
                                                 EdsText("Name,Char,10"), &table));
    CheckEdsError(nullptr, EdsApi.EdsCloseTable(table));
}

bool CanOpenTable(EDSHANDLE connection, const std::string& name) {
    EDSHANDLE table = 0;
    if (EdsApi.EdsOpenTable(connection, EdsText(name), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING,
                            EDS_IGNORE_RIGHTS, 0, &table) != 0) {
        return false;
    }
    EdsApi.EdsCloseTable(table);
    return true;
}

}  // namespace

TEST_F(AliasFileTest, EngineConnectsByFolderName) {
    testsupport::TempDir data;
    FakeDataSet log(nullptr, "edstLog");
    FakeDataSet again(nullptr, "edstLog2");
    log.databaseName = data.str() + "/";
    again.databaseName = data.str() + "//.";
    const EDSHANDLE handle = DynamicConnList().Connect(GetConnectPath(log));
    ASSERT_TRUE(IsConnectionHandle(handle));
    CreateTable(handle, "Log");
    EXPECT_EQ(DynamicConnList().FindByPath(GetConnectPath(again)), handle);
    EXPECT_TRUE(CanOpenTable(DynamicConnList().Connect(GetConnectPath(again)), "log"));
}

TEST_F(AliasFileTest, EngineConnectsByAlias) {
    testsupport::TempDir data;
    WriteAliases("Sendo=" + data.str() + ";N\r\n");
    FakeDataSet log(nullptr, "edstLog");
    log.databaseName = "Sendo";
    TDynamicConnList list;
    const EDSHANDLE handle = list.Connect(GetConnectPath(log));
    EXPECT_TRUE(IsConnectionHandle(handle));
    EXPECT_EQ(log.tableType, ttEdsNTX);
    CreateTable(handle, "Log");
    EXPECT_TRUE(std::filesystem::exists(data / "Log.edt"));

    TEdsConnection connection(nullptr);
    connection.SetAliasName("Sendo");
    connection.Open();
    EXPECT_TRUE(CanOpenTable(connection.ConnectionHandle(), "Log"));
}

TEST(EdsConnectionEngine, OpensAndClosesAnEngineConnection) {
    testsupport::TempDir data;
    TEdsConnection connection(nullptr);
    connection.SetConnectPath(data.str());
    connection.Open();
    const EDSHANDLE handle = connection.ConnectionHandle();
    EXPECT_TRUE(IsConnectionHandle(handle));
    CreateTable(handle, "Address");
    connection.Close();
    EXPECT_FALSE(IsConnectionHandle(handle));
    EXPECT_FALSE(CanOpenTable(handle, "Address"));
}

TEST(ImplicitConnectionEngine, RacingThreadsMakeOneEngineConnection) {
    TEdsEntryPointsGuard guard;
    static std::atomic<int> connects{0};
    connects = 0;
    EdsApi.EdsConnect = [](const UNSIGNED8* path, EDSHANDLE* handle) {
        ++connects;
        return ::EdsConnect(path, handle);
    };
    testsupport::TempDir data;
    TDynamicConnList list;
    constexpr int kThreads = 16;
    std::vector<EDSHANDLE> handles(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&list, &handles, &data, i] {
                handles[static_cast<std::size_t>(i)] = list.Connect(i % 2 ? data.str() : data.str() + "/");
            });
        }
    }
    EXPECT_EQ(connects, 1);
    EXPECT_TRUE(IsConnectionHandle(handles.front()));
    for (EDSHANDLE h : handles) EXPECT_EQ(h, handles.front());
}
