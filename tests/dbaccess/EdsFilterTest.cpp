// Filters, the filter event and FindFirst/FindNext, scopes and ranges: what
// the engine is given, what the dataset shows, where the cursor stands, and
// that a refused change leaves everything as it was.

#include "tests/dbaccess/EdsLocateTestSupport.h"

#include "platform/db/Params.h"

using namespace edslocatetest;
using edstabletest::CreateAppTable;
using edstabletest::Raises;

namespace {

class TFilterTable : public TEdsTable {
public:
    // The filter text as the engine gets it, for Filter = `Text`.
    std::string Prepared(const std::string& Text, bool& Exact) {
        db::TDataSet::SetFilterText(Text);
        return ConvertExpressionFieldNames(Exact);
    }
};

std::vector<std::string> Names(db::TDataSet& DataSet) {
    std::vector<std::string> names;
    for (DataSet.First(); !DataSet.Eof(); DataSet.Next()) names.push_back(DataSet.FieldByName("Name")->AsString());
    return names;
}

class EdsFilter : public ::testing::Test {
protected:
    void SetUp() override {
        auto maker = CreateAppTable(dir_.str(), "Items", "Name,Char,20; Size,Integer; Notes,Memo;");
        maker->AddIndex("ByName", "Name", {});
        maker->AddIndex("BySize", "Size;Name", {});
        maker->Open();
        int size = 1;
        for (const char* name : {"apple", "banana", "cherry", "date", "elder", "fig", "smith", "smithers"}) {
            maker->Append();
            maker->FieldByName("Name")->SetAsString(name);
            maker->FieldByName("Size")->SetAsInteger(size++ % 3);
            maker->Post();
        }
    }
    std::unique_ptr<TFilterTable> Open(const std::string& Index = std::string()) {
        auto table = std::make_unique<TFilterTable>();
        table->SetDatabaseName(dir_.str());
        table->SetTableName("Items");
        if (!Index.empty()) table->SetIndexName(Index);
        table->Open();
        return table;
    }
    static std::string Current(db::TDataSet& DataSet) { return DataSet.FieldByName("Name")->AsString(); }

    testsupport::TempDir dir_;
    TEdsEntryPointsGuard entryPoints_;
};

// ---- filter texts ---------------------------------------------------------------------------

TEST_F(EdsFilter, AStarBeforeAClosingQuoteMeansAPartialMatch) {
    auto table = Open();
    bool exact = true;
    EXPECT_EQ(table->Prepared("Name = 'SMI*'", exact), "Name = 'SMI'");
    EXPECT_FALSE(exact);
    EXPECT_EQ(table->Prepared("Name = \"**\" .OR. Name = \"a*\"", exact), "Name = \"**\" .OR. Name = \"a\"");
    EXPECT_FALSE(exact);
    EXPECT_EQ(table->Prepared("Name = \"**\"", exact), "Name = \"**\"");
    EXPECT_TRUE(exact);
    // A star in the middle, or inside CONTAINS( ... ), is the expression's own.
    EXPECT_EQ(table->Prepared("Name = 'a*b'", exact), "Name = 'a*b'");
    EXPECT_TRUE(exact);
    EXPECT_EQ(table->Prepared("contains (Notes, 'smi* (x*)') .AND. Name = 'f*'", exact),
              "contains (Notes, 'smi* (x*)') .AND. Name = 'f'");
    EXPECT_FALSE(exact);

    table->SetFilter("Name = 'smi*'");
    table->SetFiltered(true);
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"smith", "smithers"}));
    table->SetFilter("Name = 'smith'");
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"smith"}));
}

TEST_F(EdsFilter, ARefusedExpressionKeepsTheFilterThatWasInForce) {
    auto table = Open();
    table->SetFilter("Size = 0");
    table->SetFiltered(true);
    const std::vector<std::string> filtered = Names(*table);
    ASSERT_EQ(filtered.size(), 2u);

    EXPECT_TRUE(Raises([&] { table->SetFilter("Size = = ("); }).Raised);
    EXPECT_EQ(table->Filter(), "Size = 0");
    EXPECT_TRUE(table->Filtered());
    EXPECT_EQ(Names(*table), filtered);

    table->SetFiltered(false);
    table->SetFilter("Nonsense((");
    EXPECT_TRUE(Raises([&] { table->SetFiltered(true); }).Raised);
    EXPECT_FALSE(table->Filtered());
    EXPECT_EQ(Names(*table).size(), 8u);
    EXPECT_EQ(CursorState(table->Handle()), (TCursorState{false, false, 1}));
}

TEST_F(EdsFilter, OptimizedOrPlainDecidesWhatTheCursorCarries) {
    auto table = Open();
    table->SetFilter("Size = 1");
    table->SetFiltered(true);
    EXPECT_TRUE(CursorState(table->Handle()).Aof);
    table->EdsTableOptions().SetEdsOptimizedFilters(false);
    EXPECT_EQ(CursorState(table->Handle()), (TCursorState{false, true, 1}));
    EXPECT_EQ(Names(*table).size(), 3u);
    table->SetFiltered(false);
    EXPECT_EQ(CursorState(table->Handle()), (TCursorState{false, false, 1}));
    // Reopened, the dataset puts its filter on the new cursor.
    table->SetFiltered(true);
    table->Close();
    table->Open();
    EXPECT_EQ(Names(*table).size(), 3u);
}

TEST_F(EdsFilter, FindWalksTheFilterWithoutLeavingItOnTheCursor) {
    auto table = Open("ByName");
    const TCursorState untouched = CursorState(table->Handle());
    table->SetFilter("Size = 2");
    EXPECT_TRUE(table->FindFirst());
    EXPECT_EQ(Current(*table), "banana");
    EXPECT_TRUE(table->FindNext());
    EXPECT_EQ(Current(*table), "elder");
    EXPECT_EQ(CursorState(table->Handle()), untouched);
    // Every record is still there to move to.
    table->Next();
    EXPECT_EQ(Current(*table), "fig");
    EXPECT_TRUE(table->FindLast());
    EXPECT_EQ(Current(*table), "smithers");
    EXPECT_TRUE(table->FindPrior());
    EXPECT_EQ(Current(*table), "elder");
    EXPECT_TRUE(table->FindPrior());
    EXPECT_FALSE(table->FindPrior());
    EXPECT_FALSE(table->Found());

    // A failing move still takes the temporary filter and exact setting away.
    ASSERT_EQ(::EdsSetExact22(table->Handle(), 0), 0u);
    ASSERT_FALSE(untouched.Aof || untouched.Filter);
    EdsApi.EdsSkip = [](EDSHANDLE, SIGNED32) -> UNSIGNED32 { return EDS_E_IO; };
    table->SetFilter("Name = 'f*'");
    EXPECT_TRUE(Raises([&] { table->FindNext(); }).Raised);
    EXPECT_EQ(CursorState(table->Handle()), (TCursorState{false, false, 0}));
}

TEST_F(EdsFilter, TheFilterEventDecidesOnEveryFetchedRecord) {
    auto table = Open("ByName");
    int asked = 0;
    table->SetOnFilterRecord([&](db::TDataSet& dataSet, bool& accept) {
        ++asked;
        accept = dataSet.FieldByName("Name")->AsString().find('e') != std::string::npos;
    });
    EXPECT_EQ(Names(*table).size(), 8u);  // not filtered: never asked
    EXPECT_EQ(asked, 0);
    table->SetFiltered(true);
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"apple", "cherry", "date", "elder", "smithers"}));
    EXPECT_GT(asked, 0);
    table->SetFilter("Size = 2");
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"elder", "smithers"}));
}

// ---- scopes --------------------------------------------------------------------------------

TEST_F(EdsFilter, ScopeRefusals) {
    auto table = Open();
    const auto tooLong = Raises([&] { table->SetScopeBegin(std::string(4084, 'a')); });
    EXPECT_EQ(tooLong.Code, EdsClientErrorCode);
    EXPECT_NE(tooLong.Message.find("Scope text length exceeded 4082"), std::string::npos);
    table->SetScopeEnd(std::string(4083, 'z'));
    table->SetScopeBegin("b");
    table->SetScopeEnd("d");
    const auto noIndex = Raises([&] { table->SetScoped(true); });
    EXPECT_NE(noIndex.Message.find("Cannot activate scope when there is no active index."), std::string::npos);
    EXPECT_FALSE(table->Scoped());

    table->SetIndexName("ByName");
    table->SetRangeStart();
    table->FieldByName("Name")->SetAsString("c");
    table->ApplyRange();
    const auto withRange = Raises([&] { table->SetScoped(true); });
    EXPECT_NE(withRange.Message.find("Cannot activate scope when there is an active range."), std::string::npos);
    table->CancelRange();
    table->SetScoped(true);
    table->SetRangeStart();
    table->FieldByName("Name")->SetAsString("c");
    const auto rangeWhileScoped = Raises([&] { table->ApplyRange(); });
    EXPECT_NE(rangeWhileScoped.Message.find("Cannot set range on table when there is an active scope."),
              std::string::npos);
    EXPECT_EQ(table->State(), db::dsBrowse);
}

TEST_F(EdsFilter, ScopesKeepTheRecordWhereItStaysVisible) {
    auto table = Open("ByName");
    table->SetScopeBegin("b");
    table->SetScopeEnd("d");
    table->MoveBy(2);  // cherry
    table->SetScoped(true);
    EXPECT_EQ(Current(*table), "cherry");
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"banana", "cherry", "date"}));
    table->SetScoped(false);
    table->Last();  // smithers, outside
    table->SetScoped(true);
    EXPECT_EQ(Current(*table), "banana");
    table->Next();
    // Unscoped, the dataset stays on its record.
    table->SetScoped(false);
    EXPECT_EQ(Current(*table), "cherry");
    EXPECT_EQ(Names(*table).size(), 8u);

    // A range cancelled while scoped leaves the scope in force.
    table->SetScoped(true);
    table->CancelRange();
    EXPECT_EQ(Names(*table).size(), 3u);
}

// ---- ranges --------------------------------------------------------------------------------

TEST_F(EdsFilter, RangesAppliedTwiceChangeNothingTheSecondTime) {
    auto table = Open("ByName");
    table->EdsTableOptions().SetEdsAutoKeyFieldCount(true);
    auto range = [&](const char* from, const char* to) {
        table->SetRangeStart();
        table->FieldByName("Name")->SetAsString(from);
        table->SetRangeEnd();
        table->FieldByName("Name")->SetAsString(to);
        table->ApplyRange();
    };
    range("b", "e");
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"banana", "cherry", "date"}));
    table->First();
    table->Next();
    range("b", "e");
    EXPECT_EQ(Current(*table), "cherry");

    // Cancelled key entry brings the previous start back: still the same range.
    table->SetRangeStart();
    table->FieldByName("Name")->SetAsString("z");
    table->Cancel();
    EXPECT_EQ(table->State(), db::dsBrowse);
    table->ApplyRange();
    EXPECT_EQ(Current(*table), "cherry");

    table->CancelRange();
    EXPECT_EQ(Current(*table), "cherry");
    EXPECT_EQ(Names(*table).size(), 8u);
}

TEST_F(EdsFilter, AnExclusiveStartLeavesTheStartKeyOut) {
    auto table = Open("ByName");
    table->SetRangeStart();
    table->FieldByName("Name")->SetAsString("cherry");
    table->SetKeyExclusive(true);
    table->SetRangeEnd();
    table->FieldByName("Name")->SetAsString("elder");
    table->ApplyRange();
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"date", "elder"}));
    EXPECT_THROW(table->SetKeyExclusive(false), db::EDatabaseError);
}

TEST_F(EdsFilter, RangesNeedAnIndexAndEndWithItsChange) {
    auto table = Open();
    const auto refused = Raises([&] { table->SetRangeStart(); });
    EXPECT_NE(refused.Message.find("Index is not set."), std::string::npos);
    EXPECT_EQ(table->State(), db::dsBrowse);

    // Without automatic key field counts every segment is part of the key.
    table->SetIndexName("BySize");
    table->SetRangeStart();
    table->FieldByName("Size")->SetAsInteger(1);
    table->FieldByName("Name")->SetAsString("apple");
    table->SetRangeEnd();
    table->FieldByName("Size")->SetAsInteger(1);
    table->FieldByName("Name")->SetAsString("fig");
    table->ApplyRange();
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"apple", "date"}));

    // A new order by fields drops the range, as a new order by name does.
    table->SetIndexFieldNames("Name");
    EXPECT_EQ(Names(*table).size(), 8u);
    table->SetIndexName("BySize");
    table->EdsTableOptions().SetEdsAutoKeyFieldCount(true);
    table->SetRangeStart();
    table->FieldByName("Size")->SetAsInteger(0);
    table->SetRangeEnd();
    table->FieldByName("Size")->SetAsInteger(0);
    table->ApplyRange();
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"cherry", "fig"}));
    table->SetIndexName("ByName");
    EXPECT_EQ(Names(*table).size(), 8u);
}

TEST_F(EdsFilter, ProviderParamsBecomeARangeAndNoParamsDropIt) {
    auto table = Open("BySize");
    db::TParams params;
    params.CreateParam(db::ftInteger, "", db::ptInput)->SetAsInteger(0);  // the first segment, by position
    params.CreateParam(db::ftString, "Name", db::ptInput)->SetAsString("fig");
    table->PSSetParams(params);
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"fig"}));
    table->PSSetParams(db::TParams());
    EXPECT_EQ(Names(*table).size(), 8u);
}

}  // namespace

// The engine keeps no place for a record that is gone, so stepping on from it
// would land wherever the cursor was left (the last record, seen); the first
// record is a defined place to stand.
TEST_F(EdsFilter, UnscopingWhenTheRecordIsGoneStartsOver) {
    auto table = Open("ByName");
    table->SetScopeBegin("b");
    table->SetScopeEnd("d");
    table->SetScoped(true);
    table->Next();  // cherry
    {
        auto other = Open("ByName");
        ASSERT_TRUE(other->Locate("Name", std::string("cherry"), {}));
        other->Delete();
    }
    table->SetScoped(false);
    EXPECT_EQ(Current(*table), "apple");
    EXPECT_EQ(Names(*table).size(), 7u);
}

// A range on the leading field of a two-field index: with the key field count
// taken from the fields given, it holds every record of that field's value;
// without it, the unset field takes part as an empty value, and no name is empty.
TEST_F(EdsFilter, RangeOnTheLeadingFieldDependsOnTheAutomaticKeyFieldCount) {
    auto table = Open("BySize");
    auto range = [&](int size) {
        table->SetRangeStart();
        table->FieldByName("Size")->SetAsInteger(size);
        table->SetRangeEnd();
        table->FieldByName("Size")->SetAsInteger(size);
        table->ApplyRange();
    };
    table->EdsTableOptions().SetEdsAutoKeyFieldCount(true);
    range(2);
    EXPECT_EQ(Names(*table), (std::vector<std::string>{"banana", "elder", "smithers"}));
    table->CancelRange();
    table->EdsTableOptions().SetEdsAutoKeyFieldCount(false);
    range(1);
    EXPECT_TRUE(Names(*table).empty());
}
