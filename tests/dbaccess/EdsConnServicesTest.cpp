// The services of an open connection: transactions with their events, SQL
// text run directly with its statement cache, table listings, server facts,
// and the dataset's provider calls that go through them.

#include "tests/dbaccess/EdsTableTestSupport.h"

#include "platform/db/Params.h"
#include "platform/rtl/DateUtils.h"

#include <cmath>

using edstabletest::CreateAppTable;
using edstabletest::Raises;

namespace {

struct TStatementCalls {
    int Prepares = 0;
    int Executes = 0;
    int Directs = 0;
    int Closes = 0;
    std::vector<UNSIGNED16> TableOptions;  // type, char type, lock type, rights
};
TStatementCalls& StatementCalls() {
    static TStatementCalls calls;
    return calls;
}

void CountStatements() {
    StatementCalls() = TStatementCalls{};
    EdsApi.EdsPrepareSQL = [](EDSHANDLE statement, const UNSIGNED8* sql) -> UNSIGNED32 {
        ++StatementCalls().Prepares;
        return ::EdsPrepareSQL(statement, sql);
    };
    EdsApi.EdsExecuteSQL = [](EDSHANDLE statement, EDSHANDLE* cursor) -> UNSIGNED32 {
        ++StatementCalls().Executes;
        return ::EdsExecuteSQL(statement, cursor);
    };
    EdsApi.EdsExecuteSQLDirect = [](EDSHANDLE statement, const UNSIGNED8* sql, EDSHANDLE* cursor) -> UNSIGNED32 {
        ++StatementCalls().Directs;
        return ::EdsExecuteSQLDirect(statement, sql, cursor);
    };
    EdsApi.EdsCloseSQLStatement = [](EDSHANDLE statement) -> UNSIGNED32 {
        ++StatementCalls().Closes;
        return ::EdsCloseSQLStatement(statement);
    };
    EdsApi.EdsStmtSetTableType = [](EDSHANDLE statement, UNSIGNED16 value) -> UNSIGNED32 {
        StatementCalls().TableOptions.push_back(value);
        return ::EdsStmtSetTableType(statement, value);
    };
    EdsApi.EdsStmtSetTableCharType = [](EDSHANDLE statement, UNSIGNED16 value) -> UNSIGNED32 {
        StatementCalls().TableOptions.push_back(value);
        return ::EdsStmtSetTableCharType(statement, value);
    };
    EdsApi.EdsStmtSetTableLockType = [](EDSHANDLE statement, UNSIGNED16 value) -> UNSIGNED32 {
        StatementCalls().TableOptions.push_back(value);
        return ::EdsStmtSetTableLockType(statement, value);
    };
    EdsApi.EdsStmtSetTableRights = [](EDSHANDLE statement, UNSIGNED16 value) -> UNSIGNED32 {
        StatementCalls().TableOptions.push_back(value);
        return ::EdsStmtSetTableRights(statement, value);
    };
}

UNSIGNED16 OpenTables() {
    UNSIGNED16 count = 0;
    ::EdsGetNumOpenTables(&count);
    return count;
}

class EdsConnServices : public ::testing::Test {
protected:
    void SetUp() override {
        CreateAppTable(dir_.str(), "Items", "Name,Char,10; Count,Integer;")->Open();
        CreateAppTable(dir_.str(), "Other", "Name,Char,10;");
        connection_.SetName("Office");
        connection_.SetConnectPath(dir_.str());
        table_.SetEdsConnection(&connection_);
        table_.SetTableName("Items");
    }
    int Rows() {
        auto reader = edstabletest::OpenTable(dir_.str(), "Items");
        return reader->RecordCount();
    }
    void AddItem(const char* Name, int Count) { table_.AppendRecord({std::string(Name), Count}); }

    testsupport::TempDir dir_;
    TEdsEntryPointsGuard entryPoints_;
    TEdsConnection connection_{nullptr};
    TEdsTable table_;
};

std::string ConnectionRefusal(const std::function<void()>& Call) {
    try {
        Call();
    } catch (const EdsConnectionError& error) {
        return error.what();
    }
    return "nothing raised";
}

TEST_F(EdsConnServices, WithoutAConnectionEveryServiceSaysSo) {
    const std::string text = "No connection to EDS server.";
    EXPECT_EQ(ConnectionRefusal([&] { connection_.BeginTransaction(); }), text);
    EXPECT_EQ(ConnectionRefusal([&] { connection_.Commit(); }), text);
    EXPECT_EQ(ConnectionRefusal([&] { connection_.Rollback(); }), text);
    EXPECT_EQ(ConnectionRefusal([&] { connection_.InTransaction(); }), text);
    EXPECT_EQ(ConnectionRefusal([&] { connection_.GetTableNames(nullptr, "*.edt"); }), text);
    EXPECT_EQ(ConnectionRefusal([&] { connection_.GetServerName(); }), "Must be connected to get EDS server name.");
    EXPECT_EQ(connection_.GetConnectionType(), "");
    // The provider's calls reach the connection, which refuses the same way:
    // no transaction is begun or ended in silence.
    EXPECT_EQ(ConnectionRefusal([&] { table_.PSStartTransaction(); }), text);
    EXPECT_EQ(ConnectionRefusal([&] { table_.PSInTransaction(); }), text);
    EXPECT_EQ(ConnectionRefusal([&] { table_.PSEndTransaction(true); }), text);
}

TEST_F(EdsConnServices, RollbackUndoesAndCancelsCommitKeeps) {
    std::vector<std::string> events;
    connection_.BeforeRollback = [&](rtl::TComponent*) { events.push_back("before rollback"); };
    connection_.AfterRollback = [&](rtl::TComponent*) { events.push_back("after rollback"); };
    connection_.AfterCommit = [&](rtl::TComponent*) { events.push_back("after commit"); };
    table_.Open();
    connection_.BeginTransaction();
    EXPECT_TRUE(connection_.InTransaction());
    AddItem("kept?", 1);
    table_.Append();
    table_.FieldByName("Name")->SetAsString("pending");
    connection_.Rollback();
    EXPECT_FALSE(connection_.InTransaction());
    EXPECT_EQ(table_.State(), db::dsBrowse);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"before rollback", "after rollback"}));

    table_.PSStartTransaction();
    EXPECT_TRUE(table_.PSInTransaction());
    AddItem("kept", 2);
    table_.PSEndTransaction(true);
    EXPECT_FALSE(connection_.InTransaction());
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(events.back(), "after commit");
}

TEST_F(EdsConnServices, AFailedCommitStaysInTheTransactionWithoutItsAfterEvent) {
    bool after = false;
    connection_.AfterCommit = [&](rtl::TComponent*) { after = true; };
    connection_.Open();
    connection_.BeginTransaction();
    EdsApi.EdsCommitTransaction = [](EDSHANDLE) -> UNSIGNED32 { return EDS_E_IO; };
    EXPECT_THROW(connection_.Commit(), EdsError);
    EXPECT_TRUE(connection_.InTransaction());
    EXPECT_FALSE(after);
    EdsApi.EdsCommitTransaction = &::EdsCommitTransaction;
    connection_.Commit();
    EXPECT_FALSE(connection_.InTransaction());
    connection_.BeginTransaction();
    EXPECT_THROW(connection_.BeginTransaction(), EdsError);
    EXPECT_TRUE(connection_.InTransaction());
    connection_.Rollback();
}

TEST_F(EdsConnServices, ADisconnectEndsTheTransactionAnExternalHandleKeepsIt) {
    const std::string noConnection = "No connection to EDS server.";
    table_.Open();
    connection_.BeginTransaction();
    AddItem("gone", 1);
    connection_.Close();  // the engine rolls back with the connection
    EXPECT_EQ(ConnectionRefusal([&] { connection_.InTransaction(); }), noConnection);
    connection_.Open();
    EXPECT_FALSE(connection_.InTransaction());
    EXPECT_EQ(Rows(), 0);
    // What is begun now is a real transaction again, and its rollback undoes.
    table_.Open();
    connection_.BeginTransaction();
    AddItem("undone", 2);
    connection_.Rollback();
    EXPECT_FALSE(connection_.InTransaction());
    EXPECT_EQ(Rows(), 0);

    // A disconnect that reports a failure has still let go of the connection.
    connection_.BeginTransaction();
    EdsApi.EdsDisconnect = [](EDSHANDLE Handle) -> UNSIGNED32 { return ::EdsDisconnect(Handle), EDS_E_IO; };
    EXPECT_THROW(connection_.Close(), EdsError);
    EdsApi.EdsDisconnect = &::EdsDisconnect;
    connection_.Open();
    EXPECT_FALSE(connection_.InTransaction());
    connection_.Close();

    // An external handle is never disconnected: its transaction and the flag outlive Close.
    EDSHANDLE external = 0;
    ASSERT_EQ(EdsApi.EdsConnect(EdsText(dir_.str()), &external), 0u);
    connection_.SetExternalHandle(external);
    table_.Open();
    connection_.BeginTransaction();
    AddItem("kept until rollback", 3);
    connection_.Close();
    EXPECT_EQ(ConnectionRefusal([&] { connection_.InTransaction(); }), noConnection);
    connection_.Open();
    EXPECT_TRUE(connection_.InTransaction());
    connection_.Rollback();
    EXPECT_FALSE(connection_.InTransaction());
    EXPECT_EQ(Rows(), 0);
    connection_.Close();
    connection_.SetExternalHandle(0);
    EXPECT_EQ(EdsApi.EdsDisconnect(external), 0u);
}

TEST_F(EdsConnServices, ExecuteCachesStatementsByTheirExactText) {
    CountStatements();
    table_.Open();
    AddItem("a", 1);
    AddItem("b", 1);
    AddItem("c", 2);
    // Connecting is Execute's own business.
    connection_.Close();
    table_.Open();
    EXPECT_EQ(connection_.Execute("update Items set Count = Count + 1 where Count = 1", nullptr, true, nullptr), 2);
    EXPECT_EQ(connection_.Execute("update Items set Count = Count + 1 where Count = 1", nullptr, true, nullptr), 0);
    EXPECT_EQ(StatementCalls().Prepares, 1);
    EXPECT_EQ(StatementCalls().Directs, 2);
    EXPECT_EQ(connection_.Execute("UPDATE Items set Count = Count + 1 where Count = 1", nullptr, true, nullptr), 0);
    EXPECT_EQ(StatementCalls().Prepares, 2);

    db::TParams params;
    params.CreateParam(db::ftInteger, "n", db::ptInput)->SetAsInteger(3);
    EXPECT_EQ(connection_.Execute("update Items set Count = :n where Count = 2", &params, false, nullptr), 3);
    EXPECT_EQ(StatementCalls().Executes, 1);
    EXPECT_EQ(StatementCalls().Closes, 1);  // only the statement made for that call

    connection_.BeginTransaction();
    connection_.Commit();
    EXPECT_EQ(StatementCalls().Closes, 3);  // the two cached ones went with the commit
    EXPECT_EQ(connection_.Execute("update Items set Count = Count + 1 where Count = 1", nullptr, true, nullptr), 0);
    EXPECT_EQ(StatementCalls().Prepares, 4);
}

TEST_F(EdsConnServices, ACursorGoesToWhoAsksAndIsClosedForWhoDoesNot) {
    table_.Open();
    AddItem("a", 1);
    AddItem("b", 2);
    const UNSIGNED16 before = OpenTables();
    EXPECT_EQ(connection_.Execute("select * from Items", nullptr, false, nullptr), 0);
    EXPECT_EQ(OpenTables(), before);

    EDSHANDLE cursor = 0;
    EXPECT_EQ(connection_.Execute("select * from Items where Count = 2", nullptr, false, &cursor), 0);
    ASSERT_NE(cursor, 0u);
    UNSIGNED32 count = 0;
    EXPECT_EQ(::EdsGetRecordCount(cursor, EDS_IGNOREFILTERS, &count), 0u);
    EXPECT_EQ(count, 1u);
    ::EdsCloseTable(cursor);
}

TEST_F(EdsConnServices, TheDatasetsStatementsCarryItsTableOptions) {
    CountStatements();
    table_.EdsTableOptions().SetEdsLockType(Compatible);
    table_.EdsTableOptions().SetEdsRightsCheck(false);
    table_.Open();
    AddItem("a", 1);
    EXPECT_EQ(table_.PSExecuteStatement("update Items set Count = 7", nullptr, nullptr), 1);
    EXPECT_EQ(StatementCalls().TableOptions,
              (std::vector<UNSIGNED16>{EDS_EDT, EDS_ANSI, EDS_COMPATIBLE_LOCKING, EDS_IGNORE_RIGHTS}));

    std::unique_ptr<db::TDataSet> rows;
    table_.PSExecuteStatement("select Name, Count from Items", nullptr, &rows);
    ASSERT_NE(rows, nullptr);
    EXPECT_TRUE(rows->Active());
    EXPECT_EQ(rows->FieldByName("Count")->AsInteger(), 7);
}

TEST_F(EdsConnServices, ListingsAndServerFacts) {
    connection_.Open();
    rtl::TStringList tables;
    connection_.GetTableNames(&tables, "*.edt");
    std::vector<std::string> names(tables.Items().begin(), tables.Items().end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names.size(), 2u);
    rtl::TStringList databases;
    rtl::TStringList newer;
    connection_.GetTableNames(&databases, &newer, "*.edt");
    EXPECT_EQ(newer.Count(), 2);
    EXPECT_EQ(databases.Count(), 2);
    connection_.GetTableNames(nullptr, nullptr, "*.edt");  // either list may be left out

    EXPECT_EQ(connection_.GetConnectionType(), "Local");
    EXPECT_FALSE(connection_.GetServerName().empty());
    EXPECT_LT(std::fabs(connection_.GetServerTime() - rtl::Now()) * 86400.0, 60.0);
    EXPECT_EQ(connection_.GetNumActiveLinks(), 0);
    connection_.CloseCachedTables();

    EdsApi.EdsGetActiveLinkInfo = [](EDSHANDLE, UNSIGNED16, UNSIGNED8* info, UNSIGNED16* length) -> UNSIGNED32 {
        const std::string text = "Sales;\\\\srv\\sales;ANSI";
        std::memcpy(info, text.c_str(), text.size() + 1);
        *length = static_cast<UNSIGNED16>(text.size());
        return 0;
    };
    rtl::TStringList link;
    connection_.GetActiveLinkInfo(1, link);
    ASSERT_EQ(link.Count(), 2);
    EXPECT_EQ(link[0], "Sales");
    EXPECT_EQ(link[1], "\\\\srv\\sales");

    rtl::TStringList objects;
    connection_.GetDictionaryObjectNames(objects);  // a folder connection has no dictionary
    EXPECT_EQ(objects.Count(), 0);
    EXPECT_EQ(connection_.UserGroups().Count(), 0);
    EXPECT_EQ(connection_.UserGroupText(), "");
}

}  // namespace

// Closing, destroying or disconnect-closing a table's dataset inside a
// transaction leaves its rows in the transaction: a second process sees the
// rows of both tables after Commit and none after Rollback.
TEST(EdsConnTransactions, ATableClosedInsideATransactionKeepsItsRowsUntilCommitOrRollback) {
    testsupport::TempDir dir;
    const std::string folder = dir.str();
    edstabletest::TChildProcess reader([&](edstabletest::TChildProcess& self) {
        while (self.Await() == 'r') {
            std::string rows;
            for (const char* name : {"A", "B"}) {
                auto table = edstabletest::OpenTable(folder, name);
                for (table->First(); !table->Eof(); table->Next()) rows += table->FieldByName("Name")->AsString() + " ";
            }
            self.Report(rows);
        }
    });
    const auto storedRows = [&] {
        reader.Tell('r');
        return reader.Next();
    };
    CreateAppTable(folder, "A", "Name,Char,12;");
    CreateAppTable(folder, "B", "Name,Char,12;");
    TEdsConnection connection{nullptr};
    connection.SetName("Office");
    connection.SetConnectPath(folder);
    const auto open = [&](const char* Name) {
        auto table = std::make_unique<TEdsTable>();
        table->SetEdsConnection(&connection);
        table->SetTableName(Name);
        table->Open();
        return table;
    };
    const auto add = [](TEdsTable& Table, const char* Name) { Table.AppendRecord({std::string(Name)}); };

    auto a = open("A");
    auto b = open("B");
    connection.BeginTransaction();
    add(*b, "b1");
    add(*a, "a1");
    a->Close();
    EXPECT_EQ(storedRows(), "");
    // Opened again inside the transaction, A shows its row and takes more.
    a->Open();
    EXPECT_EQ(a->RecordCount(), 1);
    EXPECT_EQ(a->FieldByName("Name")->AsString(), "a1");
    add(*a, "a2");
    a->Close();
    b.reset();
    connection.Commit();
    EXPECT_EQ(storedRows(), "a1 a2 b1 ");
    EXPECT_EQ(edstabletest::OpenTable(folder, "B")->RecordCount(), 1);

    a->Open();
    b = open("B");
    connection.BeginTransaction();
    add(*a, "a3");
    add(*b, "b2");
    a->Close();
    b.reset();
    connection.Rollback();
    EXPECT_EQ(storedRows(), "a1 a2 b1 ");

    // A disconnect with the transaction open throws it away, as it always did.
    a->Open();
    connection.BeginTransaction();
    add(*a, "a4");
    connection.Close();
    EXPECT_FALSE(a->Active());
    EXPECT_EQ(storedRows(), "a1 a2 b1 ");

    // An external handle outlives the disconnect, and so does the transaction
    // with the rows of the datasets the disconnect closed.
    EDSHANDLE external = 0;
    ASSERT_EQ(EdsApi.EdsConnect(EdsText(folder), &external), 0u);
    connection.SetExternalHandle(external);
    a->Open();
    b = open("B");
    connection.BeginTransaction();
    add(*a, "a5");
    add(*b, "b3");
    connection.Close();
    connection.Open();
    connection.Commit();
    EXPECT_EQ(storedRows(), "a1 a2 a5 b1 b3 ");
    connection.Close();
    connection.SetExternalHandle(0);
    EXPECT_EQ(EdsApi.EdsDisconnect(external), 0u);
    reader.Tell('q');
    EXPECT_TRUE(reader.Join());
}
