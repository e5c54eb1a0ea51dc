// The query's statement over its lifetime (reused, re-prepared, freed), its
// SQL text and parameter list, the options a statement is given, the master
// link, the layer's own refusals and the provider answers.

#include "tests/dbaccess/EdsQueryTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace querytest;

constexpr EDSHANDLE kNone = static_cast<EDSHANDLE>(-1);

struct Tally {
    int prepares = 0;
    int creates = 0;
    std::vector<EDSHANDLE> closed;
    Strings options;
};
Tally& Calls() {
    static Tally tally;
    return tally;
}

// Counts statement calls and records option values, passing everything on.
class CountingEngine {
public:
    CountingEngine() {
        Calls() = Tally{};
        EdsApi.EdsPrepareSQL = [](EDSHANDLE s, const UNSIGNED8* sql) { return ++Calls().prepares, ::EdsPrepareSQL(s, sql); };
        EdsApi.EdsCreateSQLStatement = [](EDSHANDLE c, EDSHANDLE* s) { return ++Calls().creates, ::EdsCreateSQLStatement(c, s); };
        EdsApi.EdsCloseSQLStatement = [](EDSHANDLE s) { return Calls().closed.push_back(s), ::EdsCloseSQLStatement(s); };
#define QUERYTEST_OPTION(entry, label)                                                                          \
    EdsApi.entry = [](EDSHANDLE s, UNSIGNED16 v) { return Calls().options.push_back(label + std::to_string(v)), ::entry(s, v); }
        QUERYTEST_OPTION(EdsStmtSetTableLockType, std::string("lock="));
        QUERYTEST_OPTION(EdsStmtSetTableCharType, std::string("char="));
        QUERYTEST_OPTION(EdsStmtSetTableRights, std::string("rights="));
        QUERYTEST_OPTION(EdsStmtSetTableReadOnly, std::string("readonly="));
        QUERYTEST_OPTION(EdsStmtSetTableType, std::string("type="));
        QUERYTEST_OPTION(EdsStmtConstrainUpdates, std::string("constrain="));
        QUERYTEST_OPTION(EdsStmtReadAllColumns, std::string("readall="));
#undef QUERYTEST_OPTION
    }

private:
    TEdsEntryPointsGuard guard_;
};

bool IsStatement(EDSHANDLE handle) {
    UNSIGNED16 type = 0;
    return EdsApi.EdsGetHandleType(handle, &type) == 0 && type == EDS_STATEMENT;
}

struct QueryOn : TEdsQuery {
    QueryOn(const std::string& folder, const std::string& sql) {
        SetDatabaseName(folder);
        SetSQLText(sql);
    }
};

// ---- the statement over time -------------------------------------------------------------------

TEST(EdsQueryStatement, ReusedAcrossRunsPreparedEachTimeAndFreedWithTheQuery) {
    ProgramFolder f;
    CountingEngine engine;
    EDSHANDLE statement = kNone;
    {
        QueryOn query(f.str(), "select * from Groups");
        query.Open();
        EXPECT_TRUE(query.Prepared());
        statement = query.StatementHandle();
        query.Close();
        EXPECT_FALSE(query.Prepared());
        query.Open();
        query.Close();
        query.ExecSQL();
        EXPECT_EQ(query.StatementHandle(), statement);
        EXPECT_EQ(Calls().creates, 1);
        EXPECT_EQ(Calls().prepares, 3);
        // A statement the engine no longer knows is replaced, not reused.
        ASSERT_EQ(::EdsCloseSQLStatement(statement), 0u);
        query.ExecSQL();
        EXPECT_EQ(Calls().creates, 2);
        statement = query.StatementHandle();
        EXPECT_TRUE(Calls().closed.empty());
    }
    EXPECT_EQ(Calls().closed, std::vector<EDSHANDLE>{statement});
    { QueryOn idle(f.str(), "select * from Groups"); }  // never run: nothing to close
    EXPECT_EQ(Calls().closed.size(), 1u);
}

TEST(EdsQueryStatement, ChangingTheDatabaseNameFreesItWhateverConnectionMadeIt) {
    ProgramFolder f;
    ProgramFolder other;
    FillGroups(f);
    CountingEngine engine;
    QueryOn implicit(f.str(), "select * from Groups");
    implicit.ExecSQL();
    const EDSHANDLE first = implicit.StatementHandle();
    implicit.SetDatabaseName(f.str());
    EXPECT_EQ(implicit.StatementHandle(), first);
    implicit.SetDatabaseName(other.str());
    EXPECT_EQ(implicit.StatementHandle(), kNone);
    EXPECT_EQ(implicit.ImplicitConnectionHandle(), kNone);
    implicit.Open();  // now on the other folder
    EXPECT_TRUE(implicit.IsEmpty());

    TEdsConnection connection(nullptr);
    connection.SetName("Groups0");
    connection.SetConnectPath(f.str());
    TEdsQuery onComponent;
    onComponent.SetEdsConnection(&connection);
    onComponent.SetSQLText("select * from Groups");
    // A connection component alone is not enough: the query names it.
    EXPECT_EQ(ErrorOf([&] { onComponent.Open(); }), EdsClientErrorCode);
    onComponent.SetDatabaseName("Groups0");
    EXPECT_EQ(onComponent.EdsConnection(), &connection);
    onComponent.Open();  // connects the component
    EXPECT_EQ(onComponent.RecordCount(), 3);
    onComponent.Close();
    const EDSHANDLE second = onComponent.StatementHandle();
    onComponent.SetDatabaseName(other.str());
    EXPECT_EQ(onComponent.EdsConnection(), nullptr);
    EXPECT_EQ(onComponent.StatementHandle(), kNone);
    EXPECT_EQ(Calls().closed, (std::vector<EDSHANDLE>{first, second}));
    EXPECT_FALSE(IsStatement(first) || IsStatement(second));
}

TEST(EdsQueryStatement, FreedOnAFreshPrepareRequestADisconnectAndADesignTimeClose) {
    ProgramFolder f;
    CountingEngine engine;
    QueryOn query(f.str(), "select * from Groups");
    query.Open();
    query.Close();
    const EDSHANDLE stale = query.StatementHandle();
    EdsApi.EdsExecuteSQL = [](EDSHANDLE, EDSHANDLE*) -> UNSIGNED32 {
        ::EdsSetLastError(EDS_E_SQL_REPREPARE, reinterpret_cast<const UNSIGNED8*>("Error 7209: prepare again"));
        return EDS_E_SQL_REPREPARE;
    };
    EXPECT_EQ(ErrorOf([&] { query.Open(); }), static_cast<std::int32_t>(EDS_E_SQL_REPREPARE));
    EXPECT_EQ(query.StatementHandle(), kNone);
    EXPECT_EQ(Calls().closed, std::vector<EDSHANDLE>{stale});
    EdsApi.EdsExecuteSQL = &::EdsExecuteSQL;
    // Other failures keep the statement.
    query.SetSQLText("select * from NoSuchTable");
    EXPECT_NE(ErrorOf([&] { query.Open(); }), 0);
    EXPECT_TRUE(IsStatement(query.StatementHandle()));

    TEdsConnection connection(nullptr);
    connection.SetName("Groups1");
    connection.SetConnectPath(f.str());
    TEdsQuery onComponent;
    onComponent.SetDatabaseName("Groups1");
    onComponent.SetSQLText("select * from Groups");
    onComponent.Open();
    connection.Close();
    EXPECT_FALSE(onComponent.Active());
    EXPECT_EQ(onComponent.StatementHandle(), kNone);
    onComponent.Open();  // reconnects
    EXPECT_TRUE(connection.IsConnected());

    QueryOn designed(f.str(), "select * from Groups");
    designed.SetDesigning(true);
    designed.Open();
    const EDSHANDLE statement = designed.StatementHandle();
    designed.Close();
    EXPECT_EQ(designed.StatementHandle(), kNone);
    EXPECT_EQ(Calls().closed.back(), statement);
}

TEST(EdsQueryStatement, OptionsFollowTheQueryAndItsConnection) {
    ProgramFolder f;
    CountingEngine engine;
    QueryOn query(f.str(), "select * from Groups");
    query.ExecSQL();
    EXPECT_EQ(Calls().options,
              (Strings{"lock=1", "char=1", "rights=1", "readonly=1", "type=3", "constrain=2", "readall=2"}));

    TEdsConnection connection(nullptr);
    connection.SetConnectPath(f.str());
    connection.SetReadOnly(true);
    query.SetEdsConnection(&connection);
    query.SetRequestLive(true);
    query.SetConstrained(true);
    query.SetReadAllColumns(true);
    query.EdsTableOptions().SetEdsLockType(Compatible);
    query.EdsTableOptions().SetEdsCharType(OEM);
    query.EdsTableOptions().SetEdsRightsCheck(false);
    Calls().options.clear();
    query.ExecSQL();
    EXPECT_EQ(Calls().options, (Strings{"lock=0", "char=2", "rights=2", "readonly=2", "readonly=1", "type=3",
                                        "constrain=1", "readall=1"}));
}

TEST(EdsQueryStatement, RowsAffectedAutoIncAndAFailedCount) {
    ProgramFolder f;
    FillGroups(f);
    QueryOn query(f.str(), "update Members set G_ID = 9 where G_ID = 3");
    EXPECT_EQ(query.RowsAffected(), -1);
    EXPECT_EQ(query.GetLastAutoInc(), 0u);
    query.ExecSQL();
    EXPECT_EQ(query.RowsAffected(), 3);
    query.SetSQLText("insert into Groups (Group_Name) values('Fourth')");
    query.ExecSQL();
    EXPECT_EQ(query.GetLastAutoInc(), 4u);

    // A cursor that came back before the count failed is not left open.
    CursorSpy spy;
    EdsApi.EdsGetRecordCount = [](EDSHANDLE, UNSIGNED16, UNSIGNED32*) -> UNSIGNED32 {
        ::EdsSetLastError(EDS_E_INVALID_ARGUMENT, reinterpret_cast<const UNSIGNED8*>("count refused"));
        return EDS_E_INVALID_ARGUMENT;
    };
    query.SetSQLText("select * from Members");
    EXPECT_EQ(ErrorOf([&] { query.Open(); }), static_cast<std::int32_t>(EDS_E_INVALID_ARGUMENT));
    ASSERT_EQ(spy.Cursors().size(), 1u);
    EXPECT_FALSE(spy.IsLive(spy.Cursors()[0]));
    EXPECT_FALSE(query.Active());
}

// ---- SQL text and parameters -------------------------------------------------------------------

TEST(EdsQueryText, OnlyADifferentTextClosesTheQueryAndRereadsItsParameters) {
    ProgramFolder f;
    FillGroups(f);
    QueryOn query(f.str(), "select * from Groups where G_ID >= :low");
    query.ParamByName("low")->SetAsInteger(2);
    query.SetStoredData({1, 2, 3});
    query.Open();
    query.SetSQLText("select * from Groups where G_ID >= :low");
    EXPECT_TRUE(query.Active());
    EXPECT_EQ(query.StoredData().size(), 3u);

    query.SQL().Add("and G_ID <> :Skip");  // any change of the lines counts
    EXPECT_FALSE(query.Active());
    EXPECT_TRUE(query.StoredData().empty());
    ASSERT_EQ(query.ParamCount(), 2);
    EXPECT_EQ(query.ParamByName("low")->AsInteger(), 2);  // kept by name
    query.ParamByName("skip")->SetAsInteger(3);
    query.Open();
    EXPECT_EQ(query.RecordCount(), 1);

    db::TParams values;  // values by name; the list stays
    values.CreateParam(db::ftInteger, "LOW", db::ptInput)->SetAsInteger(1);
    values.CreateParam(db::ftInteger, "stranger", db::ptInput)->SetAsInteger(9);
    query.SetParams(values);
    EXPECT_EQ(query.ParamCount(), 2);
    EXPECT_EQ(query.ParamByName("low")->AsInteger(), 1);

    query.SetParamCheck(false);
    query.SetSQLText("select * from Groups where Group_Name = :name");
    EXPECT_EQ(query.ParamCount(), 2);

    // Grouped changes are told once.
    int changes = 0;
    TEdsSQLStrings lines;
    lines.OnChange = [&] { ++changes; };
    lines.Clear();
    lines.BeginUpdate();
    lines.Add("select *");
    lines.Add("from Members");
    lines.EndUpdate();
    EXPECT_EQ(changes, 1);

    TEdsEntryPointsGuard guard;
    EdsApi.EdsGetSQLStmtParams = [](const UNSIGNED8*, UNSIGNED8*, UNSIGNED32*) -> UNSIGNED32 {
        ::EdsSetLastError(EDS_E_SQL, reinterpret_cast<const UNSIGNED8*>("ERROR 7200: NATIVEERROR = 1; unreadable"));
        return EDS_E_SQL;
    };
    EXPECT_EQ(ErrorOf([&] { query.SetSQLText("select :"); }), static_cast<std::int32_t>(EDS_E_SQL));
}

// ---- refusals ---------------------------------------------------------------------------------

TEST(EdsQueryRefusals, TheLayersOwnTexts) {
    std::string message;
    TEdsQuery query;
    query.SetName("q");
    query.SetSQLText("select * from ZIPCODES");
    EXPECT_EQ(ErrorOf([&] { query.Open(); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message, "q: The DatabaseName property has not been assigned a value.");

    EXPECT_EQ(ErrorOf([&] { query.SetSourceTableType(ttEdsNTX); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message, "q: The TEdsQuery component does not support the NTX table type");
    query.SetSourceTableType(ttEdsCDX);
    EXPECT_EQ(query.TableType(), ttEdsCDX);
    struct DictionaryConnection : TEdsConnection {
        DictionaryConnection() : TEdsConnection(nullptr) {}
        bool IsDictionaryConnection() const override { return true; }
    } dictionary;
    TEdsQuery onDictionary;
    onDictionary.SetEdsConnection(&dictionary);
    onDictionary.SetSourceTableType(ttEdsNTX);
    EXPECT_EQ(onDictionary.SourceTableType(), ttEdsNTX);

    db::TDataSource own(nullptr);
    own.SetDataSet(&query);
    EXPECT_EQ(ErrorOf([&] { query.SetDataSource(&own); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message, "q: Circular Data Link");
    db::TDataSource detailSource(nullptr);
    detailSource.SetDataSet(&onDictionary);
    onDictionary.SetDataSource(&own);
    EXPECT_EQ(ErrorOf([&] { query.SetDataSource(&detailSource); }), EdsClientErrorCode);
    EXPECT_EQ(query.DataSource(), nullptr);

    testsupport::TempDir dir;
    TEdsEntryPointsGuard guard;
    EdsApi.EdsConnect = [](const UNSIGNED8*, EDSHANDLE* handle) -> UNSIGNED32 { return *handle = 0, 0; };
    query.SetDatabaseName(dir.str());
    EXPECT_EQ(ErrorOf([&] { query.ExecSQL(); }, &message), EdsClientErrorCode);
    EXPECT_EQ(message, "q: Internal Error: invalid connection handle.");
}

// ---- master and detail, provider answers --------------------------------------------------------

TEST(EdsQueryMaster, TheDetailFollowsTheMastersRecord) {
    ProgramFolder f;
    FillGroups(f);
    QueryOn master(f.str(), "select * from Groups order by G_ID");
    db::TDataSource source(nullptr);
    source.SetDataSet(&master);
    QueryOn detail(f.str(), "select * from Members where G_ID = :G_ID and A_ID > :low order by A_ID");
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
    EXPECT_FALSE(detail.ParamByName("G_ID")->Bound());  // filled from the master, still not bound
    master.Next();
    EXPECT_EQ(members(), Strings{"3"});
    master.Last();
    EXPECT_EQ(members(), (Strings{"4", "5", "6"}));

    std::vector<db::TField*> masterFields;
    std::vector<db::TField*> detailFields;
    detail.GetDetailLinkFields(masterFields, detailFields);
    EXPECT_EQ(masterFields, std::vector<db::TField*>{master.FieldByName("G_ID")});
    EXPECT_EQ(detailFields, std::vector<db::TField*>{detail.FieldByName("G_ID")});
    master.Close();
    EXPECT_TRUE(detail.Active());
}

TEST(EdsQueryProvider, AnswersFromTheTextAndTheParameters) {
    ProgramFolder f;
    FillGroups(f);
    TEdsQuery query;
    query.SetDatabaseName(f.str());
    query.PSSetCommandText("select * from Members where G_ID = :G order by G_ID, A_ID");
    query.PSSetCommandText("");
    EXPECT_EQ(query.PSGetTableName(), "Members");
    const auto order = query.PSGetDefaultOrder();
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(order->Fields(), "G_ID;A_ID");
    EXPECT_EQ(query.PSGetParams(), &query.Params());

    query.ParamByName("G")->SetAsInteger(3);
    query.Open();
    Strings seen;
    for (query.First(); !query.Eof(); query.Next()) seen.push_back(std::to_string(query.RecNo()));
    EXPECT_EQ(seen, (Strings{"1", "2", "3"}));  // record numbers run in result order
    query.PSSetParams(db::TParams());
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
}

TEST(EdsQueryProvider, PositionsInAnIndexOrderRunFromOneToTheCount) {
    ProgramFolder f;
    FillGroups(f);
    struct Probe : QueryOn {
        using QueryOn::QueryOn;
        using TEdsQuery::GetRecordPosition;
    } query(f.str(), "select * from Groups");
    query.Open();
    EXPECT_EQ(query.GetRecordPosition(), 1);  // no index: the record number

    TEdsEntryPointsGuard guard;
    static double relative = 0;
    EdsApi.EdsGetIndexHandle = [](EDSHANDLE, const UNSIGNED8*, EDSHANDLE* index) -> UNSIGNED32 { return *index = 77, 0; };
    EdsApi.EdsGetRelKeyPos = [](EDSHANDLE, DOUBLE* position) -> UNSIGNED32 { return *position = relative, 0; };
    EdsApi.EdsGetRecordCount = [](EDSHANDLE, UNSIGNED16, UNSIGNED32* count) -> UNSIGNED32 { return *count = 3, 0; };
    EdsApi.EdsGetKeyNum = [](EDSHANDLE, UNSIGNED16, UNSIGNED32* key) -> UNSIGNED32 { return *key = 2, 0; };
    query.SetSequenced(true);
    Strings positions;
    for (double r : {0.0, 0.5, 1.0}) {
        relative = r;
        positions.push_back(std::to_string(query.GetRecordPosition()));
    }
    EXPECT_EQ(positions, (Strings{"1", "2", "3"}));
    query.SetSequencedLevel(slExact);
    EXPECT_EQ(query.GetRecordPosition(), 2);
    EdsApi.EdsGetRelKeyPos = [](EDSHANDLE, DOUBLE*) -> UNSIGNED32 { return EDS_E_NO_POSITION; };
    query.SetSequencedLevel(slStandard);
    EXPECT_EQ(query.GetRecordPosition(), 0);
}

}  // namespace
