// The query's statement over its lifetime (reused, re-prepared, freed), its
// SQL text and parameter list, the options a statement is given, the master
// link, the layer's own refusals and the provider answers.

#include "tests/dbaccess/EdsQueryTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using querytest::ErrorOf;
using querytest::ProgramFolder;
using querytest::Strings;

// Counts and records engine calls while passing them on to the engine.
struct Tally {
    int prepares = 0;
    int creates = 0;
    std::vector<EDSHANDLE> closedStatements;
    std::vector<std::string> options;
    std::vector<std::string> connectPaths;
};

Tally& Calls() {
    static Tally tally;
    return tally;
}

class CountingEngine {
public:
    CountingEngine() {
        Calls() = Tally{};
        EdsApi.EdsPrepareSQL = [](EDSHANDLE statement, const UNSIGNED8* sql) {
            ++Calls().prepares;
            return ::EdsPrepareSQL(statement, sql);
        };
        EdsApi.EdsCreateSQLStatement = [](EDSHANDLE connection, EDSHANDLE* statement) {
            ++Calls().creates;
            return ::EdsCreateSQLStatement(connection, statement);
        };
        EdsApi.EdsCloseSQLStatement = [](EDSHANDLE statement) {
            Calls().closedStatements.push_back(statement);
            return ::EdsCloseSQLStatement(statement);
        };
#define QUERYTEST_RECORD(entry, label)                                  \
    EdsApi.entry = [](EDSHANDLE statement, UNSIGNED16 value) {          \
        Calls().options.push_back(label + std::to_string(value));       \
        return ::entry(statement, value);                               \
    }
        QUERYTEST_RECORD(EdsStmtSetTableLockType, std::string("lock="));
        QUERYTEST_RECORD(EdsStmtSetTableCharType, std::string("char="));
        QUERYTEST_RECORD(EdsStmtSetTableRights, std::string("rights="));
        QUERYTEST_RECORD(EdsStmtSetTableReadOnly, std::string("readonly="));
        QUERYTEST_RECORD(EdsStmtSetTableType, std::string("type="));
        QUERYTEST_RECORD(EdsStmtConstrainUpdates, std::string("constrain="));
        QUERYTEST_RECORD(EdsStmtReadAllColumns, std::string("readall="));
#undef QUERYTEST_RECORD
    }

private:
    TEdsEntryPointsGuard guard_;
};

bool IsStatement(EDSHANDLE handle) {
    UNSIGNED16 type = 0;
    return EdsApi.EdsGetHandleType(handle, &type) == 0 && type == EDS_STATEMENT;
}

void Fill(ProgramFolder& f) {
    for (const char* name : {"Friends", "Clients", "Hobby"})
        f.Exec(std::string("insert into Groups (Parent_ID, Group_Name) values(0, '") + name + "')");
    for (const char* m : {"(1, 1)", "(2, 1)", "(3, 2)", "(4, 3)", "(5, 3)", "(6, 3)"})
        f.Exec(std::string("insert into Members (A_ID, G_ID) values") + m);
}

// ---- the statement over time -------------------------------------------------------------------

TEST(EdsQueryStatement, ReusedAcrossRunsButPreparedAgainEachTime) {
    ProgramFolder f;
    Fill(f);
    CountingEngine engine;
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetSQLText("select * from Groups");
    EXPECT_FALSE(query.Prepared());
    EXPECT_EQ(query.StatementHandle(), static_cast<EDSHANDLE>(-1));
    query.Open();
    EXPECT_TRUE(query.Prepared());
    const EDSHANDLE statement = query.StatementHandle();
    EXPECT_TRUE(IsStatement(statement));
    query.Close();
    EXPECT_FALSE(query.Prepared());
    EXPECT_EQ(query.StatementHandle(), statement);  // the statement outlives the close at run time
    query.Open();
    query.Close();
    query.ExecSQL();
    EXPECT_EQ(query.StatementHandle(), statement);
    EXPECT_EQ(Calls().creates, 1);
    EXPECT_EQ(Calls().prepares, 3);
    EXPECT_TRUE(Calls().closedStatements.empty());

    // A statement the engine no longer knows is replaced, not reused.
    ASSERT_EQ(::EdsCloseSQLStatement(statement), 0u);
    query.Open();
    EXPECT_NE(query.StatementHandle(), statement);
    EXPECT_EQ(Calls().creates, 2);
}

TEST(EdsQueryStatement, ChangingTheDatabaseNameFreesItWhateverConnectionMadeIt) {
    ProgramFolder f;
    ProgramFolder other;
    Fill(f);
    CountingEngine engine;

    TEdsQuery implicit;
    implicit.SetDatabaseName(f.str());
    implicit.SetSQLText("select * from Groups");
    implicit.ExecSQL();
    const EDSHANDLE first = implicit.StatementHandle();
    EXPECT_NE(implicit.ImplicitConnectionHandle(), static_cast<EDSHANDLE>(-1));
    implicit.SetDatabaseName(f.str());  // the same name keeps it
    EXPECT_EQ(implicit.StatementHandle(), first);
    implicit.SetDatabaseName(other.str());
    EXPECT_EQ(implicit.StatementHandle(), static_cast<EDSHANDLE>(-1));
    EXPECT_EQ(implicit.ImplicitConnectionHandle(), static_cast<EDSHANDLE>(-1));
    EXPECT_FALSE(IsStatement(first));
    // The next run reads the new folder.
    implicit.Open();
    EXPECT_TRUE(implicit.IsEmpty());
    implicit.Close();

    TEdsConnection connection(nullptr);
    connection.SetName("EdsConnection1");
    connection.SetConnectPath(f.str());
    connection.Open();
    TEdsQuery onComponent;
    onComponent.SetEdsConnection(&connection);
    onComponent.SetSQLText("select * from Groups");
    onComponent.Open();
    EXPECT_EQ(onComponent.RecordCount(), 3);
    onComponent.Close();
    const EDSHANDLE second = onComponent.StatementHandle();
    ASSERT_TRUE(IsStatement(second));
    onComponent.SetDatabaseName(other.str());
    EXPECT_EQ(onComponent.EdsConnection(), nullptr);
    EXPECT_EQ(onComponent.StatementHandle(), static_cast<EDSHANDLE>(-1));
    EXPECT_FALSE(IsStatement(second));
    EXPECT_EQ(Calls().closedStatements, (std::vector<EDSHANDLE>{first, second}));
}

TEST(EdsQueryStatement, TheEngineAskingForAFreshPrepareFreesItBeforeRaising) {
    ProgramFolder f;
    CountingEngine engine;
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetSQLText("select * from Groups");
    query.Open();
    query.Close();
    const EDSHANDLE stale = query.StatementHandle();

    EdsApi.EdsExecuteSQL = [](EDSHANDLE, EDSHANDLE*) -> UNSIGNED32 {
        ::EdsSetLastError(EDS_E_SQL_REPREPARE, reinterpret_cast<const UNSIGNED8*>("Error 7209: prepare again"));
        return EDS_E_SQL_REPREPARE;
    };
    EXPECT_EQ(ErrorOf([&] { query.Open(); }), static_cast<std::int32_t>(EDS_E_SQL_REPREPARE));
    EXPECT_FALSE(query.Active());
    EXPECT_EQ(query.StatementHandle(), static_cast<EDSHANDLE>(-1));
    EXPECT_EQ(Calls().closedStatements, std::vector<EDSHANDLE>{stale});

    EdsApi.EdsExecuteSQL = &::EdsExecuteSQL;
    query.Open();
    EXPECT_NE(query.StatementHandle(), stale);
    EXPECT_EQ(Calls().creates, 2);

    // Other failures keep the statement for the next run.
    query.Close();
    const EDSHANDLE kept = query.StatementHandle();
    query.SetSQLText("select * from NoSuchTable");
    EXPECT_NE(ErrorOf([&] { query.Open(); }), 0);
    EXPECT_EQ(query.StatementHandle(), kept);
}

TEST(EdsQueryStatement, FreedOnCloseOnlyAtDesignTime) {
    ProgramFolder f;
    CountingEngine engine;
    TEdsQuery query;
    query.SetDesigning(true);
    query.SetDatabaseName(f.str());
    query.SetSQLText("select * from Groups");
    query.Open();
    const EDSHANDLE statement = query.StatementHandle();
    query.Close();
    EXPECT_EQ(query.StatementHandle(), static_cast<EDSHANDLE>(-1));
    EXPECT_EQ(query.ImplicitConnectionHandle(), static_cast<EDSHANDLE>(-1));
    EXPECT_EQ(Calls().closedStatements, std::vector<EDSHANDLE>{statement});
}

TEST(EdsQueryStatement, ADisconnectingConnectionMakesItForgetAndTheNextRunReconnects) {
    ProgramFolder f;
    Fill(f);
    CountingEngine engine;
    TEdsConnection connection(nullptr);
    connection.SetConnectPath(f.str());
    TEdsQuery query;
    query.SetEdsConnection(&connection);
    query.SetSQLText("select * from Groups");
    query.Open();  // connects the component itself
    EXPECT_TRUE(connection.IsConnected());
    EXPECT_EQ(query.RecordCount(), 3);
    connection.Close();
    EXPECT_FALSE(query.Active());
    EXPECT_FALSE(query.Prepared());
    EXPECT_EQ(query.StatementHandle(), static_cast<EDSHANDLE>(-1));
    query.Open();
    EXPECT_TRUE(connection.IsConnected());
    EXPECT_EQ(query.RecordCount(), 3);
}

TEST(EdsQueryStatement, DestroyingTheQueryClosesItsStatement) {
    ProgramFolder f;
    CountingEngine engine;
    EDSHANDLE statement = 0;
    {
        TEdsQuery query;
        query.SetDatabaseName(f.str());
        query.SetSQLText("select * from Groups");
        query.Open();
        statement = query.StatementHandle();
    }
    EXPECT_EQ(Calls().closedStatements, std::vector<EDSHANDLE>{statement});
    EXPECT_FALSE(IsStatement(statement));
    {
        // Never run: nothing to close.
        TEdsQuery idle;
        idle.SetDatabaseName(f.str());
    }
    EXPECT_EQ(Calls().closedStatements.size(), 1u);
}

// ---- options and counts ----------------------------------------------------------------------

TEST(EdsQueryStatement, OptionsFollowTheQueryAndItsConnection) {
    ProgramFolder f;
    CountingEngine engine;
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetSQLText("select * from Groups");
    query.ExecSQL();
    EXPECT_EQ(Calls().options, (Strings{"lock=1", "char=1", "rights=1", "readonly=1", "type=3", "constrain=2",
                                        "readall=2"}));

    TEdsConnection connection(nullptr);
    connection.SetConnectPath(f.str());
    connection.SetReadOnly(true);
    TEdsQuery live;
    live.SetEdsConnection(&connection);
    live.SetSQLText("select * from Groups");
    live.SetRequestLive(true);
    live.SetConstrained(true);
    live.SetReadAllColumns(true);
    live.EdsTableOptions().SetEdsLockType(Compatible);
    live.EdsTableOptions().SetEdsCharType(OEM);
    live.EdsTableOptions().SetEdsRightsCheck(false);
    Calls().options.clear();
    live.ExecSQL();
    EXPECT_EQ(Calls().options, (Strings{"lock=0", "char=2", "rights=2", "readonly=2", "readonly=1", "type=3",
                                        "constrain=1", "readall=1"}));
}

TEST(EdsQueryStatement, RowsAffectedIsMinusOneWhenTheEngineCannotSay) {
    ProgramFolder f;
    Fill(f);
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetSQLText("update Members set G_ID = 9 where G_ID = 3");
    EXPECT_EQ(query.RowsAffected(), -1);
    query.ExecSQL();
    EXPECT_EQ(query.RowsAffected(), 3);
    query.SetSQLText("select * from Members");
    query.ExecSQL();  // the engine answers 5117 for a result
    EXPECT_EQ(query.RowsAffected(), -1);

    TEdsEntryPointsGuard guard;
    EdsApi.EdsGetRecordCount = [](EDSHANDLE, UNSIGNED16, UNSIGNED32*) -> UNSIGNED32 {
        ::EdsSetLastError(EDS_E_INVALID_ARGUMENT, reinterpret_cast<const UNSIGNED8*>("count refused"));
        return EDS_E_INVALID_ARGUMENT;
    };
    query.SetSQLText("update Members set G_ID = 3 where G_ID = 9");
    EXPECT_EQ(ErrorOf([&] { query.ExecSQL(); }), static_cast<std::int32_t>(EDS_E_INVALID_ARGUMENT));
    // A cursor that came back before the count failed is not left open.
    querytest::CursorSpy spy;
    query.SetSQLText("select * from Members");
    EXPECT_NE(ErrorOf([&] { query.Open(); }), 0);
    ASSERT_EQ(spy.Cursors().size(), 1u);
    EXPECT_FALSE(spy.IsOpen(spy.Cursors()[0]));
    EXPECT_FALSE(query.Active());
}

TEST(EdsQueryStatement, LastAutoIncComesFromTheStatementOfAnInsert) {
    ProgramFolder f;
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    EXPECT_EQ(query.GetLastAutoInc(), 0u);
    for (const char* name : {"A", "B"}) {
        query.SetSQLText(std::string("insert into Address (Address1) values('") + name + "')");
        query.ExecSQL();
    }
    EXPECT_EQ(query.GetLastAutoInc(), 2u);
}

// ---- SQL text and parameters -------------------------------------------------------------------

TEST(EdsQueryText, TheSameTextKeepsTheQueryOpenAndAnyChangeClosesIt) {
    ProgramFolder f;
    Fill(f);
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetSQLText("select * from Groups");
    query.Open();
    query.SetSQLText("select * from Groups");
    EXPECT_TRUE(query.Active());
    EXPECT_TRUE(query.Prepared());
    rtl::TStringList same;
    same.Add("select * from Groups");
    query.SetSQL(same);
    EXPECT_TRUE(query.Active());

    query.SQL().Add("where G_ID > 1");
    EXPECT_FALSE(query.Active());
    EXPECT_FALSE(query.Prepared());
    query.Open();
    EXPECT_EQ(query.RecordCount(), 2);

}

TEST(EdsQueryText, GroupedChangesAreToldOnceAndAnEmptyClearNotAtAll) {
    TEdsSQLStrings lines;
    int changes = 0;
    lines.OnChange = [&] { ++changes; };
    lines.Clear();
    EXPECT_EQ(changes, 0);
    lines.BeginUpdate();
    lines.Add("select *");
    lines.BeginUpdate();
    lines.Add("from Members");
    lines.EndUpdate();
    EXPECT_EQ(changes, 0);
    lines.EndUpdate();
    EXPECT_EQ(changes, 1);
    lines.EndUpdate();  // unbalanced: nothing more
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(lines.Text(), "select *\r\nfrom Members\r\n");
    lines.Put(1, "from Groups");
    lines.Delete(0);
    EXPECT_EQ(changes, 3);
}

TEST(EdsQueryText, ANewTextReadsItsParametersKeepingSameNamedValues) {
    ProgramFolder f;
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetStoredData({1, 2, 3});
    query.SetSQLText("select * from Members where A_ID = :A_ID and G_ID = :G_ID");
    ASSERT_EQ(query.ParamCount(), 2);
    EXPECT_TRUE(query.StoredData().empty());
    query.ParamByName("A_ID")->SetAsInteger(5);
    query.ParamByName("G_ID")->SetAsInteger(3);
    query.SetSQLText("select * from Members where G_ID = :g_id or G_ID = :Other and x = ':not' ");
    ASSERT_EQ(query.ParamCount(), 2);
    EXPECT_EQ(query.Params()[0]->Name(), "g_id");
    EXPECT_EQ(query.Params()[0]->AsInteger(), 3);
    EXPECT_TRUE(query.Params()[1]->IsNull());
    EXPECT_THROW(query.ParamByName("A_ID"), rtl::Exception);

    // Values by name from another list; the list itself stays.
    db::TParams values;
    values.CreateParam(db::ftInteger, "other", db::ptInput)->SetAsInteger(8);
    values.CreateParam(db::ftInteger, "stranger", db::ptInput)->SetAsInteger(9);
    query.SetParams(values);
    EXPECT_EQ(query.ParamCount(), 2);
    EXPECT_EQ(query.ParamByName("Other")->AsInteger(), 8);

    // Without ParamCheck the list is left alone.
    query.SetParamCheck(false);
    query.SetSQLText("select * from Members where A_ID = :A_ID");
    EXPECT_EQ(query.ParamCount(), 2);
    EXPECT_EQ(query.Params()[0]->Name(), "g_id");
}

TEST(EdsQueryText, TheEngineChecksEveryNewText) {
    TEdsEntryPointsGuard guard;
    EdsApi.EdsGetSQLStmtParams = [](const UNSIGNED8*, UNSIGNED8*, UNSIGNED32*) -> UNSIGNED32 {
        ::EdsSetLastError(EDS_E_SQL, reinterpret_cast<const UNSIGNED8*>("ERROR 7200: NATIVEERROR = 1; unreadable"));
        return EDS_E_SQL;
    };
    TEdsQuery query;
    EXPECT_EQ(ErrorOf([&] { query.SetSQLText("select :"); }), static_cast<std::int32_t>(EDS_E_SQL));
}

// ---- refusals ---------------------------------------------------------------------------------

TEST(EdsQueryRefusals, TheLayersOwnTexts) {
    std::string message;
    TEdsQuery query;
    query.SetName("edsqZipCodes");
    query.SetSQLText("select * from ZIPCODES");
    EXPECT_EQ(ErrorOf([&] { query.Open(); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message, "edsqZipCodes: The DatabaseName property has not been assigned a value.");

    EXPECT_EQ(ErrorOf([&] { query.SetSourceTableType(ttEdsNTX); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message, "edsqZipCodes: The TEdsQuery component does not support the NTX table type");
    EXPECT_EQ(query.SourceTableType(), ttEdsEDT);
    query.SetSourceTableType(ttEdsCDX);
    EXPECT_EQ(query.TableType(), ttEdsCDX);

    db::TDataSource own(nullptr);
    own.SetDataSet(&query);
    EXPECT_EQ(ErrorOf([&] { query.SetDataSource(&own); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message, "edsqZipCodes: Circular Data Link");
    TEdsQuery detail;
    db::TDataSource detailSource(nullptr);
    detailSource.SetDataSet(&detail);
    detail.SetDataSource(&own);
    EXPECT_EQ(ErrorOf([&] { query.SetDataSource(&detailSource); }), EdsClientErrorCode);
    EXPECT_EQ(query.DataSource(), nullptr);
}

TEST(EdsQueryRefusals, NtxIsAcceptedOnADataDictionaryConnection) {
    class DictionaryConnection : public TEdsConnection {
    public:
        DictionaryConnection() : TEdsConnection(nullptr) {}
        bool IsDictionaryConnection() const override { return true; }
    };
    DictionaryConnection dictionary;
    TEdsQuery query;
    query.SetEdsConnection(&dictionary);
    query.SetSourceTableType(ttEdsNTX);
    EXPECT_EQ(query.SourceTableType(), ttEdsNTX);
}

TEST(EdsQueryRefusals, AConnectionWithoutAUsableHandle) {
    testsupport::TempDir dir;
    TEdsEntryPointsGuard guard;
    EdsApi.EdsConnect = [](const UNSIGNED8*, EDSHANDLE* handle) -> UNSIGNED32 {
        *handle = 0;
        return 0;
    };
    TEdsQuery query;
    query.SetName("q");
    query.SetDatabaseName(dir.str());
    query.SetSQLText("select * from Groups");
    std::string message;
    EXPECT_EQ(ErrorOf([&] { query.ExecSQL(); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message, "q: Internal Error: invalid connection handle.");
    EXPECT_FALSE(query.Prepared());
}

TEST(EdsQueryRefusals, RunningAnOpenQueryIsRefused) {
    ProgramFolder f;
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetSQLText("select * from Groups");
    query.Open();
    EXPECT_THROW(query.ExecSQL(), db::EDatabaseError);
    EXPECT_TRUE(query.Active());
}

// ---- master and detail ------------------------------------------------------------------------

TEST(EdsQueryMaster, TheDetailFollowsTheMastersRecord) {
    ProgramFolder f;
    Fill(f);
    TEdsQuery master;
    master.SetDatabaseName(f.str());
    master.SetSQLText("select * from Groups order by G_ID");
    db::TDataSource source(nullptr);
    source.SetDataSet(&master);

    TEdsQuery detail;
    detail.SetDatabaseName(f.str());
    detail.SetSQLText("select * from Members where G_ID = :G_ID and A_ID > :low order by A_ID");
    detail.ParamByName("low")->SetAsInteger(1);
    detail.SetDataSource(&source);
    EXPECT_EQ(detail.GetDataSource(), &source);

    master.Open();
    detail.Open();
    auto members = [&] {
        Strings ids;
        for (detail.First(); !detail.Eof(); detail.Next()) ids.push_back(detail.FieldByName("A_ID")->AsString());
        return ids;
    };
    EXPECT_EQ(members(), Strings{"2"});
    // Filled from the master, the parameter still counts as not bound.
    EXPECT_FALSE(detail.ParamByName("G_ID")->Bound());
    EXPECT_TRUE(detail.ParamByName("low")->Bound());
    master.Next();
    EXPECT_TRUE(detail.Active());
    EXPECT_EQ(members(), Strings{"3"});
    master.Last();
    EXPECT_EQ(members(), (Strings{"4", "5", "6"}));

    std::vector<db::TField*> masterFields;
    std::vector<db::TField*> detailFields;
    detail.GetDetailLinkFields(masterFields, detailFields);
    ASSERT_EQ(masterFields.size(), 1u);
    EXPECT_EQ(masterFields[0], master.FieldByName("G_ID"));
    ASSERT_EQ(detailFields.size(), 1u);
    EXPECT_EQ(detailFields[0], detail.FieldByName("G_ID"));

    // A closed master leaves the detail as it is.
    master.Close();
    EXPECT_TRUE(detail.Active());
    detail.SetDataSource(nullptr);
    detail.GetDetailLinkFields(masterFields, detailFields);
    EXPECT_TRUE(masterFields.empty());
}

// ---- provider answers ------------------------------------------------------------------------

TEST(EdsQueryProvider, AnswersFromTheTextAndTheParameters) {
    ProgramFolder f;
    Fill(f);
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.PSSetCommandText("select * from Members where G_ID = :G order by G_ID, A_ID");
    EXPECT_EQ(query.PSGetTableName(), "Members");
    const auto order = query.PSGetDefaultOrder();
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->Fields(), "G_ID;A_ID");
    ASSERT_EQ(query.PSGetParams(), &query.Params());

    query.PSSetCommandText("");
    EXPECT_EQ(query.PSGetTableName(), "Members");

    query.ParamByName("G")->SetAsInteger(3);
    query.Open();
    EXPECT_EQ(query.RecordCount(), 3);
    db::TParams none;
    query.PSSetParams(none);
    EXPECT_FALSE(query.Active());
    EXPECT_EQ(query.ParamByName("G")->AsInteger(), 3);
    db::TParams values;
    values.CreateParam(db::ftInteger, "G", db::ptInput)->SetAsInteger(1);
    query.PSSetParams(values);
    query.Open();
    EXPECT_EQ(query.RecordCount(), 2);
    query.Close();

    query.PSSetCommandText("delete from Members where G_ID = :G");
    query.ParamByName("G")->SetAsInteger(1);
    query.PSExecute();
    EXPECT_EQ(query.RowsAffected(), 2);
    EXPECT_EQ(query.PSGetDefaultOrder(), nullptr);
}

TEST(EdsQueryProvider, RecordNumbersRunInResultOrder) {
    ProgramFolder f;
    Fill(f);
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.SetSQLText("select * from Groups order by Group_Name");
    query.Open();
    Strings seen;
    for (query.First(); !query.Eof(); query.Next())
        seen.push_back(std::to_string(query.RecNo()) + ":" + query.FieldByName("Group_Name")->AsString());
    EXPECT_EQ(seen, (Strings{"1:Clients", "2:Friends", "3:Hobby"}));
}

}  // namespace
