#include "TestData.h"

#include <gtest/gtest.h>

using namespace dbtest;

namespace {

int Id(TDataSet& ds) { return ds.FieldByName("ID")->AsInteger(); }

std::unique_ptr<TMemDataSet> Sample(int ring = 1) {
    return MakePeople({{1, "Anna"}, {2, "bob"}, {3, "Bob"}, {4, "Carl"}, {5, "bobby"}, {6, "Dora"}}, ring);
}

}  // namespace

TEST(DataSetFilter, OnFilterRecordHidesRecordsBothWays) {
    for (int ring : {1, 3}) {
        auto ds = Sample(ring);
        ds->SetOnFilterRecord([](TDataSet& d, bool& accept) { accept = d.FieldByName("ID")->AsInteger() % 2 == 0; });
        ds->SetFiltered(true);
        EXPECT_EQ(IdsForward(*ds), (std::vector<int>{2, 4, 6}));
        EXPECT_EQ(IdsBackward(*ds), (std::vector<int>{6, 4, 2}));
        EXPECT_EQ(ds->RecordCount(), 3);
        ds->SetFiltered(false);
        EXPECT_EQ(ds->RecordCount(), 6);
        EXPECT_EQ(Id(*ds), 1);  // switching the filter goes to the first record
    }
}

TEST(DataSetFilter, FilterTextReappliesWhileFiltered) {
    auto ds = Sample();
    ds->SetFilter("NAME=Bob");
    EXPECT_EQ(IdsForward(*ds), (std::vector<int>{1, 2, 3, 4, 5, 6}));  // not Filtered yet
    ds->SetFiltered(true);
    EXPECT_EQ(IdsForward(*ds), (std::vector<int>{3}));
    ds->SetFilter("NAME=Dora");
    EXPECT_EQ(Id(*ds), 6);
    EXPECT_EQ(ds->Filter(), "NAME=Dora");
}

TEST(DataSetFilter, FilterThatRejectsEverythingGivesAnEmptyDataset) {
    auto ds = Sample();
    ds->SetOnFilterRecord([](TDataSet&, bool& accept) { accept = false; });
    ds->SetFiltered(true);
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
    EXPECT_EQ(ds->RecNo(), -1);
}

TEST(DataSetFilter, PostingARecordTheFilterRejectsLeavesAVisibleOne) {
    auto ds = Sample(3);
    ds->SetOnFilterRecord([](TDataSet& d, bool& accept) { accept = d.FieldByName("NAME")->AsString() != "hidden"; });
    ds->SetFiltered(true);
    ds->Next();
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("hidden");
    ds->Post();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_NE(ds->FieldByName("NAME")->AsString(), "hidden");
    EXPECT_EQ(IdsForward(*ds), (std::vector<int>{1, 3, 4, 5, 6}));
}

TEST(DataSetFind, FindFirstNextPriorLastUseTheFilterWithoutFiltering) {
    auto ds = Sample();
    ds->SetOnFilterRecord([](TDataSet& d, bool& accept) { accept = d.FieldByName("ID")->AsInteger() % 3 == 0; });
    EXPECT_TRUE(ds->FindFirst());
    EXPECT_EQ(Id(*ds), 3);
    EXPECT_TRUE(ds->Found());
    EXPECT_TRUE(ds->FindNext());
    EXPECT_EQ(Id(*ds), 6);
    EXPECT_FALSE(ds->FindNext());
    EXPECT_FALSE(ds->Found());
    EXPECT_EQ(Id(*ds), 6);  // stays where it was
    EXPECT_TRUE(ds->FindPrior());
    EXPECT_EQ(Id(*ds), 3);
    EXPECT_TRUE(ds->FindLast());
    EXPECT_EQ(Id(*ds), 6);
    EXPECT_EQ(IdsForward(*ds).size(), 6u);  // nothing stays filtered
}

TEST(DataSetLocate, ExactCaseInsensitiveAndPartial) {
    auto ds = Sample(3);
    EXPECT_TRUE(ds->Locate("NAME", "Bob", {}));
    EXPECT_EQ(Id(*ds), 3);
    EXPECT_TRUE(ds->Locate("name", "BOB", {loCaseInsensitive}));
    EXPECT_EQ(Id(*ds), 2);
    EXPECT_TRUE(ds->Locate("NAME", "bobb", {loPartialKey}));
    EXPECT_EQ(Id(*ds), 5);
    EXPECT_FALSE(ds->Locate("NAME", "Zed", {loCaseInsensitive, loPartialKey}));
    EXPECT_EQ(Id(*ds), 5);  // a failed locate stays put
    ds->Next();
    EXPECT_EQ(Id(*ds), 6);  // and the cursor still follows the buffers
}

TEST(DataSetLocate, SeveralFieldsAndNumbersAcrossKinds) {
    auto ds = Sample();
    EXPECT_TRUE(ds->Locate("NAME;ID", VarArrayOf({"bob", 2}), {}));
    EXPECT_EQ(Id(*ds), 2);
    EXPECT_FALSE(ds->Locate("NAME;ID", VarArrayOf({"bob", 3}), {}));
    EXPECT_TRUE(ds->Locate("AMOUNT", 6.0, {}));  // 4 * 1.5
    EXPECT_EQ(Id(*ds), 4);
    EXPECT_TRUE(ds->Locate("ID", "5", {}));
    EXPECT_EQ(Id(*ds), 5);
    EXPECT_THROW(ds->Locate("NOPE", 1, {}), EDatabaseError);
}

TEST(DataSetLocate, KeysConvertToTheFieldsKind) {
    TMemDataSet ds;
    ds.AddColumn("ID", ftInteger);
    ds.AddColumn("OK", ftBoolean);
    ds.AddColumn("DAY", ftDate);
    ds.Open();
    ds.AppendRecord({1, false, Variant::FromDateTime(45000.0)});
    ds.AppendRecord({2, true, Variant::FromDateTime(45001.0)});
    EXPECT_TRUE(ds.Locate("OK", "True", {}));
    EXPECT_EQ(Id(ds), 2);
    EXPECT_TRUE(ds.Locate("DAY", ds.FieldByName("DAY")->AsString(), {}));
    EXPECT_TRUE(ds.Locate("DAY", 45000.0, {}));
    EXPECT_EQ(Id(ds), 1);
    EXPECT_FALSE(ds.Locate("OK", "perhaps", {}));
    EXPECT_FALSE(ds.Locate("ID", "one", {}));
}

TEST(DataSetLocate, NullKeyMatchesAnEmptyField) {
    auto ds = Sample();
    ds->AppendRecord({7, Variant(), 0.0});
    ds->First();
    EXPECT_TRUE(ds->Locate("NAME", Variant::Null(), {}));
    EXPECT_EQ(Id(*ds), 7);
}

TEST(DataSetLocate, LocatePostsAPendingEdit) {
    auto ds = Sample();
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("Zoe");
    EXPECT_TRUE(ds->Locate("NAME", "Zoe", {}));
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(Id(*ds), 1);
}

TEST(DataSetLookup, AnswersValuesWithoutMoving) {
    auto ds = Sample(3);
    ds->MoveBy(2);
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet&) { ++scrolls; };
    Variant v = ds->Lookup("ID", 4, "NAME");
    EXPECT_EQ(v.ToString(), "Carl");
    Variant both = ds->Lookup("NAME", "Dora", "ID;AMOUNT");
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(both[0].ToInt(), 6);
    EXPECT_DOUBLE_EQ(both[1].ToDouble(), 9.0);
    EXPECT_TRUE(ds->Lookup("ID", 99, "NAME").IsNull());
    EXPECT_TRUE(ds->Lookup("ID", Variant::Null(), "NAME").IsNull());
    EXPECT_EQ(Id(*ds), 3);
    EXPECT_EQ(scrolls, 0);
    ds->Next();
    EXPECT_EQ(Id(*ds), 4);
}

TEST(DataSetLookup, RespectsTheFilter) {
    auto ds = Sample();
    ds->SetOnFilterRecord([](TDataSet& d, bool& accept) { accept = d.FieldByName("ID")->AsInteger() != 4; });
    ds->SetFiltered(true);
    EXPECT_TRUE(ds->Lookup("ID", 4, "NAME").IsNull());
}

// ---------------------------------------------------------------- calculated and lookup fields

namespace {

// A dataset with persistent fields: ID, NAME, AMOUNT and a calculated DOUBLED.
std::unique_ptr<TMemDataSet> WithCalcField(int ring, int& calcCalls) {
    auto ds = std::make_unique<TMemDataSet>();
    ds->AddColumn("ID", ftInteger);
    ds->AddColumn("NAME", ftString, 20);
    ds->AddColumn("AMOUNT", ftFloat);
    CreateField<TIntegerField>(*ds, "ID");
    CreateField<TStringField>(*ds, "NAME", fkData, 20);
    CreateField<TFloatField>(*ds, "AMOUNT");
    CreateField<TFloatField>(*ds, "DOUBLED", fkCalculated);
    ds->OnCalcFields = [&calcCalls](TDataSet& d) {
        ++calcCalls;
        EXPECT_EQ(d.State(), dsCalcFields);
        if (!d.FieldByName("AMOUNT")->IsNull())
            d.FieldByName("DOUBLED")->SetAsFloat(d.FieldByName("AMOUNT")->AsFloat() * 2);
    };
    ds->Open();
    if (ring > 1) ds->SetBufferCountForTest(ring);
    return ds;
}

}  // namespace

TEST(DataSetCalcFields, ComputedPerRecordAndKeptPerBuffer) {
    int calls = 0;
    auto ds = WithCalcField(3, calls);
    EXPECT_FALSE(ds->DefaultFields());
    EXPECT_GT(ds->CalcFieldsSize(), 0);
    EXPECT_EQ(ds->FieldByName("DOUBLED")->FieldNo(), -1);
    ds->AppendRecord({1, "a", 2.0});
    ds->AppendRecord({2, "b", 3.5});
    ds->AppendRecord({3, "c", Variant()});
    ds->First();
    EXPECT_DOUBLE_EQ(ds->FieldByName("DOUBLED")->AsFloat(), 4.0);
    ds->Next();
    EXPECT_DOUBLE_EQ(ds->FieldByName("DOUBLED")->AsFloat(), 7.0);
    ds->Next();
    EXPECT_TRUE(ds->FieldByName("DOUBLED")->IsNull());
    ds->Prior();  // from the ring: no new computation needed for the value
    EXPECT_DOUBLE_EQ(ds->FieldByName("DOUBLED")->AsFloat(), 7.0);
}

TEST(DataSetCalcFields, RecomputedWhenADataFieldChangesInEdit) {
    int calls = 0;
    auto ds = WithCalcField(1, calls);
    ds->AppendRecord({1, "a", 2.0});
    ds->Edit();
    ds->FieldByName("AMOUNT")->SetAsFloat(10);
    EXPECT_DOUBLE_EQ(ds->FieldByName("DOUBLED")->AsFloat(), 20.0);
    EXPECT_THROW(ds->FieldByName("DOUBLED")->SetAsFloat(1), EDatabaseError);  // only OnCalcFields writes it
    ds->SetAutoCalcFields(false);
    ds->FieldByName("AMOUNT")->SetAsFloat(11);
    EXPECT_DOUBLE_EQ(ds->FieldByName("DOUBLED")->AsFloat(), 20.0);
    ds->Post();
    EXPECT_DOUBLE_EQ(ds->FieldByName("DOUBLED")->AsFloat(), 22.0);
}

TEST(DataSetCalcFields, LocateAndLookupSeeCalculatedValues) {
    int calls = 0;
    auto ds = WithCalcField(1, calls);
    ds->AppendRecord({1, "a", 2.0});
    ds->AppendRecord({2, "b", 3.0});
    EXPECT_TRUE(ds->Locate("DOUBLED", 4.0, {}));
    EXPECT_EQ(Id(*ds), 1);
    EXPECT_DOUBLE_EQ(ds->Lookup("NAME", "b", "DOUBLED").ToDouble(), 6.0);
}

TEST(DataSetLookupFields, ValueComesFromTheLookupDataset) {
    auto cities = std::make_unique<TMemDataSet>();
    cities->AddColumn("CODE", ftInteger);
    cities->AddColumn("CITY", ftString, 20);
    cities->Open();
    cities->AppendRecord({10, "Boston"});
    cities->AppendRecord({20, "Denver"});
    cities->First();

    TMemDataSet people;
    people.AddColumn("ID", ftInteger);
    people.AddColumn("CITYCODE", ftInteger);
    CreateField<TIntegerField>(people, "ID");
    CreateField<TIntegerField>(people, "CITYCODE");
    auto* city = CreateField<TStringField>(people, "CITYNAME", fkLookup, 20);
    city->SetLookupDataSet(cities.get());
    city->SetKeyFields("CITYCODE");
    city->SetLookupKeyFields("CODE");
    city->SetLookupResultField("CITY");
    people.Open();
    people.AppendRecord({1, 20});
    people.AppendRecord({2, 30});
    people.First();
    EXPECT_EQ(people.FieldByName("CITYNAME")->AsString(), "Denver");
    EXPECT_FALSE(city->CanModify());
    people.Next();
    EXPECT_TRUE(people.FieldByName("CITYNAME")->IsNull());
    EXPECT_EQ(cities->FieldByName("CODE")->AsInteger(), 10);  // the lookup dataset did not move
}

TEST(DataSetLookupFields, IncompleteLookupInformationIsRefusedAtOpen) {
    TMemDataSet people;
    people.AddColumn("ID", ftInteger);
    CreateField<TIntegerField>(people, "ID");
    CreateField<TStringField>(people, "CITYNAME", fkLookup, 20);
    EXPECT_THROW(people.Open(), EDatabaseError);
    EXPECT_FALSE(people.Active());
    EXPECT_EQ(people.FieldCount(), 2);  // persistent fields stay
}
