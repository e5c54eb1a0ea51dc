// Locate and Lookup: which way a search goes (index seek, temporary AOF or
// filter, record scan), what it finds, and that the cursor's filters, exact
// setting, dataset state and position come back after it, also when the
// engine fails half way.

#include "tests/dbaccess/EdsLocateTestSupport.h"

#include "platform/rtl/DateUtils.h"

using namespace edslocatetest;
using edstabletest::CreateAppTable;
using edstabletest::Raises;

namespace {

constexpr int kBigRows = 100000;

int VisibleRecords(db::TDataSet& DataSet) {
    int count = 0;
    for (DataSet.First(); !DataSet.Eof(); DataSet.Next()) ++count;
    return count;
}

std::unique_ptr<TLocateTable> OpenLocateTable(const std::string& Folder, const std::string& Name,
                                              const std::string& IndexName = std::string()) {
    auto table = std::make_unique<TLocateTable>();
    table->SetDatabaseName(Folder);
    table->SetTableName(Name);
    if (!IndexName.empty()) table->SetIndexName(IndexName);
    table->Open();
    return table;
}

class EdsLocateBig : public ::testing::Test {
protected:
    void SetUp() override {
        MakeBigTable(dir_.str(), kBigRows);
        table_ = OpenLocateTable(dir_.str(), "Big");
        table_->MoveBy(41);  // record 42: a place to come back to
        CountSearchPaths();
    }
    int CurrentId() { return table_->FieldByName("ID")->AsInteger(); }
    // A plain filter beside the dataset's AOF: the layer can then only scan.
    void OccupyCursorWithAofAndFilter() {
        table_->SetFilter("Amount > 0");
        table_->SetFiltered(true);
        ASSERT_EQ(::EdsSetFilter(table_->Handle(), EdsText("ID > 0")), 0u);
        table_->Resync({});
    }

    testsupport::TempDir dir_;
    TEdsEntryPointsGuard entryPoints_;
    std::unique_ptr<TLocateTable> table_;
};

TEST_F(EdsLocateBig, EachPathFindsItsRecordAndLeavesTheCursorAsItWas) {
    const TCursorState before = CursorState(table_->Handle());

    EXPECT_TRUE(table_->Locate("ID", 77777, {}));
    EXPECT_EQ(table_->FieldByName("City")->AsString(), "C77777");
    EXPECT_EQ(Counts().Seeks, 1);
    EXPECT_EQ(Counts().Aofs, 0);

    EXPECT_TRUE(table_->Locate("City", "C99001", {}));
    EXPECT_EQ(CurrentId(), 99001);
    EXPECT_EQ(Counts().Aofs, 1);
    EXPECT_EQ(Counts().Evals, 0);
    EXPECT_EQ(CursorState(table_->Handle()), before);

    OccupyCursorWithAofAndFilter();
    const TCursorState occupied = CursorState(table_->Handle());
    EXPECT_TRUE(table_->Locate("City", "C1500", {}));
    EXPECT_EQ(CurrentId(), 1500);
    EXPECT_GE(Counts().Evals, 1500);
    EXPECT_EQ(Counts().Aofs, 2);  // only the user's own AOF was set since
    EXPECT_EQ(CursorState(table_->Handle()), occupied);
    EXPECT_TRUE(occupied.Aof && occupied.Filter);
    table_->Next();
    EXPECT_EQ(CurrentId(), 1501);
}

TEST_F(EdsLocateBig, AMissStaysOnTheRecordThatWasCurrent) {
    EXPECT_FALSE(table_->Locate("ID", kBigRows + 5, {}));
    EXPECT_EQ(CurrentId(), 42);
    EXPECT_FALSE(table_->Locate("City", "nowhere", {}));
    EXPECT_EQ(CurrentId(), 42);
    table_->Next();
    EXPECT_EQ(CurrentId(), 43);
}

TEST_F(EdsLocateBig, AnEngineFailureOnEveryPathPutsFiltersExactStateAndPositionBack) {
    // The exact setting starts False, so that the search's own True must be undone.
    ASSERT_EQ(::EdsSetExact22(table_->Handle(), 0), 0u);
    const TCursorState before = CursorState(table_->Handle());
    auto expectRestored = [&](const TCursorState& wanted, const char* path) {
        EXPECT_EQ(table_->State(), db::dsBrowse) << path;
        EXPECT_EQ(CursorState(table_->Handle()), wanted) << path;
        EXPECT_EQ(CurrentId(), 42) << path;
        table_->Next();
        EXPECT_EQ(CurrentId(), 43) << path;
        table_->Prior();
    };

    EdsApi.EdsSeek = [](EDSHANDLE, const UNSIGNED8*, UNSIGNED16, UNSIGNED16, UNSIGNED16, UNSIGNED16*) -> UNSIGNED32 {
        return EDS_E_IO;
    };
    EXPECT_TRUE(Raises([&] { table_->Locate("ID", 5000, {}); }).Raised);
    EdsApi.EdsSeek = &::EdsSeek;
    expectRestored(before, "seek");

    // The temporary AOF is in force when moving to the top fails.
    EdsApi.EdsGotoTop = [](EDSHANDLE) -> UNSIGNED32 { return EDS_E_IO; };
    EXPECT_TRUE(Raises([&] { table_->Locate("City", "C5000", {}); }).Raised);
    EdsApi.EdsGotoTop = &::EdsGotoTop;
    expectRestored(before, "temporary AOF");

    OccupyCursorWithAofAndFilter();
    table_->Locate("ID", 42, {});
    const TCursorState occupied = CursorState(table_->Handle());
    EdsApi.EdsEvalLogicalExpr = [](EDSHANDLE handle, const UNSIGNED8* text, UNSIGNED16* result) -> UNSIGNED32 {
        if (++Counts().Evals > 700) return EDS_E_EXPRESSION;
        return ::EdsEvalLogicalExpr(handle, text, result);
    };
    EXPECT_TRUE(Raises([&] { table_->Locate("City", "C5000", {}); }).Raised);
    expectRestored(occupied, "scan");
}

// ---- small tables: choosing the index, and what a filter compares ------------------------

class EdsLocate : public ::testing::Test {
protected:
    void SetUp() override {
        auto maker = CreateAppTable(dir_.str(), "People",
                                    "Last,Char,20; First,Char,20; Town,Char,20; Born,Date; Active,Logical; Score,Double;");
        maker->AddIndex("ByName", "Last;First;Town", {});
        maker->AddIndex("ByTown", "Town", {});
        maker->Open();
        const double born = rtl::EncodeDate(1931, 5, 17);
        auto add = [&](const char* last, const char* first, const char* town, bool active, double score) {
            maker->Append();
            maker->FieldByName("Last")->SetAsString(last);
            maker->FieldByName("First")->SetAsString(first);
            if (*town != 0) maker->FieldByName("Town")->SetAsString(town);
            maker->FieldByName("Born")->SetAsDateTime(born + score);
            maker->FieldByName("Active")->SetAsBoolean(active);
            maker->FieldByName("Score")->SetAsFloat(score);
            maker->Post();
        };
        add("Smith", "Anna", "Oslo", true, 1.5);
        add("Smith", "Bert", "Bergen", false, 2.25);
        add("Jones", "Carl", "", true, 3);
        add("O\"Hara", "Dora", "Cork", true, 4);
        add("alpha", "Eve", "Rome", false, 5);
        CountSearchPaths();
    }
    std::string Current(const TLocateTable& table) { return table.FieldByName("First")->AsString(); }

    testsupport::TempDir dir_;
    TEdsEntryPointsGuard entryPoints_;
};

TEST_F(EdsLocate, LeadingSegmentsInAnyOrderSeekAndOtherFieldsFilter) {
    auto table = OpenLocateTable(dir_.str(), "People");
    EXPECT_TRUE(table->Locate("First;Last", db::VarArrayOf({"Bert", "Smith"}), {}));
    EXPECT_EQ(Current(*table), "Bert");
    EXPECT_EQ(Counts().Seeks, 1);

    EXPECT_TRUE(table->Locate("Last", "Jones", {}));
    EXPECT_EQ(Counts().Seeks, 2);
    EXPECT_EQ(Counts().Aofs, 0);

    // The second segment alone is no leading part of any index.
    EXPECT_TRUE(table->Locate("First", "Eve", {}));
    EXPECT_EQ(Current(*table), "Eve");
    EXPECT_EQ(Counts().Seeks, 2);
    EXPECT_EQ(Counts().Aofs, 1);
}

TEST_F(EdsLocate, PartialKeysMatchOnlyTheLastSegmentByPrefix) {
    auto table = OpenLocateTable(dir_.str(), "People");
    EXPECT_TRUE(table->Locate("Last;First", db::VarArrayOf({"Smith", "Be"}), {db::loPartialKey}));
    EXPECT_EQ(Current(*table), "Bert");
    EXPECT_EQ(Counts().Seeks, 1);
    EXPECT_FALSE(table->Locate("Last;First", db::VarArrayOf({"Smi", "Bert"}), {db::loPartialKey}));
    // Through a filter a partial key is a partial comparison too.
    EXPECT_TRUE(table->Locate("First", "Do", {db::loPartialKey}));
    EXPECT_EQ(Current(*table), "Dora");
    EXPECT_FALSE(table->Locate("First", "Do", {}));
}

TEST_F(EdsLocate, CaseInsensitiveSearchesFilterWithUpperOnBothSides) {
    auto table = OpenLocateTable(dir_.str(), "People");
    EXPECT_TRUE(table->Locate("Last", "ALPHA", {db::loCaseInsensitive}));
    EXPECT_EQ(Current(*table), "Eve");
    EXPECT_EQ(Counts().Seeks, 0);
    EXPECT_EQ(table->FilterFor("Last", {"ALPHA"}, true), "(UPPER(Last)=UPPER(\"ALPHA\"))");
    EXPECT_FALSE(table->Locate("Last", "ALPHA", {}));
}

TEST_F(EdsLocate, QuotesNullsDatesAndNumbersReachTheEngineIntact) {
    auto table = OpenLocateTable(dir_.str(), "People");
    EXPECT_TRUE(table->Locate("Last", "O\"Hara", {db::loCaseInsensitive}));
    EXPECT_EQ(Current(*table), "Dora");
    EXPECT_EQ(table->FilterFor("Last", {"O\"Hara"}, false), "(Last=\"O\"+ Chr(34) + \"Hara\")");

    EXPECT_TRUE(table->Locate("Town", db::Null(), {}));
    EXPECT_EQ(Current(*table), "Carl");
    EXPECT_EQ(table->FilterFor("Town", {db::Null()}, false), "(empty(Town))");

    // A date keeps its century, whatever the short date format writes.
    rtl::DateFormatGuard formats;
    rtl::ShortDateFormat = "MM/dd/yy";
    EXPECT_EQ(table->FilterFor("Born", {db::Variant::FromDateTime(rtl::EncodeDate(1931, 5, 20))}, false),
              "(Born=ctod(\"05/20/1931\"))");
    EXPECT_TRUE(table->Locate("Born", db::Variant::FromDateTime(rtl::EncodeDate(1931, 5, 20)), {}));
    EXPECT_EQ(Current(*table), "Carl");

    EXPECT_EQ(table->FilterFor("Score;Active", {2.25, false}, false), "(Score=2.25) AND (Active=.FALSE.)");
    EXPECT_TRUE(table->Locate("Score;Active", db::VarArrayOf({2.25, false}), {}));
    EXPECT_EQ(Current(*table), "Bert");
}

TEST_F(EdsLocate, TooFewValuesAndTheWrongStateAreRefused) {
    auto table = OpenLocateTable(dir_.str(), "People");
    table->Next();
    const auto raised = Raises([&] { table->Locate("Last;First", db::VarArrayOf({"Smith"}), {}); });
    EXPECT_TRUE(raised.Raised);
    EXPECT_EQ(raised.Code, EdsClientErrorCode);
    EXPECT_TRUE(Raises([&] { table->Locate("Last;First", "Smith", {}); }).Raised);
    EXPECT_EQ(Current(*table), "Bert");
    EXPECT_EQ(table->State(), db::dsBrowse);

    const auto internal = Raises([&] { table->FilterOutsideFilterState(); });
    EXPECT_NE(internal.Message.find("Internal Error, << BuildFilterString >>"), std::string::npos);
}

TEST_F(EdsLocate, OnlyTheActiveIndexServesWhileItHasARange) {
    auto table = OpenLocateTable(dir_.str(), "People", "ByName");
    table->EdsTableOptions().SetEdsAutoKeyFieldCount(true);
    table->SetRangeStart();
    table->FieldByName("Last")->SetAsString("Smith");
    table->SetRangeEnd();
    table->FieldByName("Last")->SetAsString("Smith");
    table->ApplyRange();
    ASSERT_EQ(VisibleRecords(*table), 2);

    // ByTown would find Rome, outside the range: the range must win.
    EXPECT_FALSE(table->Locate("Town", "Rome", {}));
    EXPECT_EQ(Counts().Seeks, 0);
    EXPECT_TRUE(table->Locate("Town", "Bergen", {}));
    EXPECT_EQ(Current(*table), "Bert");
    EXPECT_TRUE(table->Locate("Last;First", db::VarArrayOf({"Smith", "Anna"}), {}));
    EXPECT_EQ(Counts().Seeks, 1);
}

TEST_F(EdsLocate, ARecordTheFilterEventRejectsIsNoAnswer) {
    auto table = OpenLocateTable(dir_.str(), "People", "ByName");
    table->SetOnFilterRecord([](db::TDataSet& dataSet, bool& accept) {
        accept = dataSet.FieldByName("First")->AsString() != "Anna";
    });
    table->SetFiltered(true);
    // The seek lands on Anna Smith first; the answer is the next Smith the event lets through.
    EXPECT_TRUE(table->Locate("Last", "Smith", {}));
    EXPECT_EQ(Current(*table), "Bert");
    EXPECT_EQ(Counts().Seeks, 1);
    EXPECT_FALSE(table->Locate("Last;First", db::VarArrayOf({"Smith", "Anna"}), {}));
    EXPECT_EQ(Current(*table), "Bert");
    EXPECT_TRUE(table->Lookup("First", "Anna", "Town").IsNull());
}

TEST_F(EdsLocate, LookupAnswersValuesWithoutMovingTheVisibleRecord) {
    auto table = OpenLocateTable(dir_.str(), "People");
    table->MoveBy(2);
    const db::Variant found = table->Lookup("Town", "Cork", "First;Score");
    ASSERT_TRUE(found.IsArray());
    EXPECT_EQ(found[0].ToString(), "Dora");
    EXPECT_EQ(found[1].ToDouble(), 4.0);
    EXPECT_EQ(table->Lookup("Last;First", db::VarArrayOf({"Smith", "Anna"}), "Town").ToString(), "Oslo");
    EXPECT_TRUE(table->Lookup("Town", "Paris", "First").IsNull());
    EXPECT_TRUE(table->Lookup("Town", db::Null(), "First").IsNull());
    EXPECT_EQ(Current(*table), "Carl");
    table->Next();
    EXPECT_EQ(Current(*table), "Dora");
}

}  // namespace

TEST(EdsLocateCase, CaseSensitiveSearchesTakeOnlyTheExactValueFromACaseInsensitiveIndex) {
    testsupport::TempDir dir;
    {
        auto maker = CreateAppTable(dir.str(), "Groups", "G_ID,AutoInc; Group_Name,CIChar,40;");
        maker->AddIndex("ByName", "Group_Name", {});
        maker->Open();
        for (const char* name : {"Friends", "FRIENDS", "Müller", "Peña"}) {
            maker->Append();
            maker->FieldByName("Group_Name")->SetAsString(name);
            maker->Post();
        }
    }
    auto table = OpenLocateTable(dir.str(), "Groups");
    auto current = [&] { return table->FieldByName("G_ID")->AsInteger(); };
    EXPECT_TRUE(table->Locate("Group_Name", "FRIENDS", {}));
    EXPECT_EQ(current(), 2);
    EXPECT_TRUE(table->Locate("Group_Name", "Friends", {}));
    EXPECT_EQ(current(), 1);
    EXPECT_FALSE(table->Locate("Group_Name", "friends", {}));
    EXPECT_EQ(current(), 1);
    EXPECT_FALSE(table->Locate("Group_Name", "MÜLLER", {}));
    EXPECT_TRUE(table->Locate("Group_Name", "MÜLLER", {db::loCaseInsensitive}));
    EXPECT_EQ(current(), 3);
    EXPECT_TRUE(table->Locate("Group_Name", "PEÑ", {db::loCaseInsensitive, db::loPartialKey}));
    EXPECT_EQ(current(), 4);
}
