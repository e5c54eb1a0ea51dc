#include "TestData.h"

#include <gtest/gtest.h>

using namespace dbtest;

namespace {

// Records what a control would see.
class RecordingLink : public TDataLink {
public:
    std::vector<std::string> log;
    int updates = 0;

protected:
    void ActiveChanged() override { log.push_back(Active() ? "active" : "inactive"); }
    void EditingChanged() override { log.push_back(Editing() ? "editing" : "browsing"); }
    void DataSetChanged() override { log.push_back("changed"); }
    void DataSetScrolled(int distance) override { log.push_back("scrolled " + std::to_string(distance)); }
    void RecordChanged(TField* field) override { log.push_back(field ? "field " + field->FieldName() : "record"); }
    void UpdateData() override { ++updates; }
};

std::unique_ptr<TMemDataSet> Orders() {
    auto ds = std::make_unique<TMemDataSet>();
    ds->AddColumn("NO", ftInteger);
    ds->AddColumn("CUST", ftInteger);
    ds->AddColumn("ITEM", ftString, 10);
    ds->Open();
    int no = 1;
    for (auto [cust, item] : std::vector<std::pair<int, const char*>>{
             {1, "pen"}, {2, "ink"}, {1, "pad"}, {3, "cap"}, {2, "box"}, {1, "nib"}})
        ds->AppendRecord({no++, cust, item});
    return ds;
}

std::vector<std::string> Items(TDataSet& ds) {
    std::vector<std::string> items;
    ds.First();
    while (!ds.Eof()) {
        items.push_back(ds.FieldByName("ITEM")->AsString());
        ds.Next();
    }
    return items;
}

// The orders as the detail of the customers: CUST follows the master's ID.
void LinkOrders(TMemDataSet& orders, TDataSource& customerSource, TDataSet& customers) {
    customerSource.SetDataSet(&customers);
    orders.SetMasterSource(&customerSource);
    orders.SetMasterFields("ID");
    orders.SetDetailFields("CUST");
}

}  // namespace

TEST(DataLink, FollowsStateScrollsAndFieldChanges) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}});
    TDataSource source;
    RecordingLink link;
    link.SetDataSource(&source);
    source.SetDataSet(ds.get());
    EXPECT_TRUE(link.Active());
    ds->Next();
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("x");
    ds->Post();
    ds->Close();
    EXPECT_EQ(link.log, (std::vector<std::string>{"active", "scrolled -1", "editing", "record", "field NAME",
                                                  "browsing", "changed", "inactive"}));
    EXPECT_EQ(link.updates, 1);  // the post asked the control for its value
}

TEST(DataLink, DisableControlsHoldsEventsUntilEnabled) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}});
    TDataSource source;
    RecordingLink link;
    link.SetDataSource(&source);
    source.SetDataSet(ds.get());
    link.log.clear();
    ds->DisableControls();
    ds->DisableControls();
    EXPECT_TRUE(ds->ControlsDisabled());
    ds->Next();
    ds->Last();
    ds->EnableControls();
    EXPECT_TRUE(link.log.empty());
    ds->EnableControls();
    EXPECT_FALSE(ds->ControlsDisabled());
    EXPECT_EQ(link.log, (std::vector<std::string>{"changed"}));
    ds->EnableControls();  // unbalanced: ignored
}

TEST(DataLink, MultiRecordLinkSeesAWindowOfTheRing) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}});
    TDataSource source;
    RecordingLink grid;
    grid.SetBufferCount(3);
    grid.SetDataSource(&source);
    source.SetDataSet(ds.get());
    EXPECT_EQ(ds->BufferCount(), 3);
    EXPECT_EQ(grid.RecordCount(), 3);
    ds->MoveBy(3);
    EXPECT_EQ(grid.ActiveRecord(), 2);
    grid.SetActiveRecord(0);  // a grid paints row 0 through the fields
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    grid.SetActiveRecord(2);
    grid.SetDataSource(nullptr);
    EXPECT_EQ(ds->BufferCount(), 1);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
}

TEST(DataSource, RefusesCircularLinks) {
    auto master = Orders();
    auto detail = Orders();
    TDataSource masterSource, detailSource;
    masterSource.SetDataSet(master.get());
    detailSource.SetDataSet(detail.get());
    detail->SetMasterSource(&masterSource);
    EXPECT_THROW(master->SetMasterSource(&detailSource), EDatabaseError);
    EXPECT_THROW(detail->SetMasterSource(&detailSource), EDatabaseError);
    EXPECT_EQ(master->MasterSource(), nullptr);
}

TEST(DataSource, DatasetDestroyedFirstLeavesTheSourceEmpty) {
    TDataSource source;
    RecordingLink link;
    link.SetDataSource(&source);
    {
        auto ds = MakePeople({{1, "a"}});
        source.SetDataSet(ds.get());
        EXPECT_TRUE(link.Active());
    }
    EXPECT_EQ(source.DataSet(), nullptr);
    EXPECT_FALSE(link.Active());
    EXPECT_EQ(source.State(), dsInactive);
}

TEST(MasterDetail, DetailFollowsTheMastersCurrentRecord) {
    auto customers = MakePeople({{1, "Ann"}, {2, "Ben"}, {3, "Cy"}, {4, "Di"}});
    auto orders = Orders();
    TDataSource customerSource;
    LinkOrders(*orders, customerSource, *customers);
    customers->First();
    EXPECT_EQ(Items(*orders), (std::vector<std::string>{"pen", "pad", "nib"}));
    customers->Next();
    EXPECT_EQ(Items(*orders), (std::vector<std::string>{"ink", "box"}));
    customers->Last();
    EXPECT_TRUE(orders->IsEmpty());
    customers->Locate("NAME", "Cy", {});
    EXPECT_EQ(Items(*orders), (std::vector<std::string>{"cap"}));
    EXPECT_EQ(orders->RecordCount(), 1);
}

TEST(MasterDetail, ChangingTheMasterKeyMovesTheDetailAndClosingLiftsTheRange) {
    auto customers = MakePeople({{1, "Ann"}, {2, "Ben"}});
    auto orders = Orders();
    TDataSource customerSource;
    LinkOrders(*orders, customerSource, *customers);
    customers->Edit();
    customers->FieldByName("ID")->SetAsInteger(3);  // the master field itself changes
    EXPECT_EQ(Items(*orders), (std::vector<std::string>{"cap"}));
    customers->Cancel();
    EXPECT_EQ(Items(*orders), (std::vector<std::string>{"pen", "pad", "nib"}));
    customers->Close();
    EXPECT_EQ(Items(*orders).size(), 6u);
}

TEST(MasterDetail, DetailOpenedAfterTheMasterStartsOnItsRange) {
    auto customers = MakePeople({{1, "Ann"}, {2, "Ben"}});
    customers->Next();
    auto orders = Orders();
    orders->Close();
    TDataSource customerSource;
    LinkOrders(*orders, customerSource, *customers);
    orders->Open();
    EXPECT_EQ(Items(*orders), (std::vector<std::string>{"ink", "box"}));
}

TEST(MasterDetail, DisabledControlsOnTheMasterHoldTheDetail) {
    auto customers = MakePeople({{1, "Ann"}, {2, "Ben"}});
    auto orders = Orders();
    TDataSource customerSource;
    LinkOrders(*orders, customerSource, *customers);
    customers->DisableControls();
    customers->Next();
    EXPECT_EQ(Items(*orders), (std::vector<std::string>{"pen", "pad", "nib"}));
    customers->EnableControls();
    EXPECT_EQ(Items(*orders), (std::vector<std::string>{"ink", "box"}));
}

TEST(MasterDetail, UnknownMasterFieldIsReported) {
    auto customers = MakePeople({{1, "Ann"}});
    auto orders = Orders();
    TDataSource customerSource;
    customerSource.SetDataSet(customers.get());
    orders->SetMasterSource(&customerSource);
    EXPECT_THROW(orders->SetMasterFields("NOPE"), EDatabaseError);
}

TEST(DataSetStates, TemporaryStatesSwitchBuffersWithoutTellingControls) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}});
    TDataSource source;
    source.SetDataSet(ds.get());
    RecordingLink link;
    link.SetDataSource(&source);
    link.log.clear();

    std::vector<TDataSetState> seen;
    ds->SetOnFilterRecord([&](TDataSet& d, bool& accept) {
        seen.push_back(d.State());
        accept = true;
    });
    ds->SetFiltered(true);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), dsFilter);
    EXPECT_EQ(ds->State(), dsBrowse);

    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("new");
    EXPECT_EQ(ds->FieldByName("NAME")->NewValue().ToString(), "new");
    EXPECT_EQ(ds->FieldByName("NAME")->OldValue().ToString(), "a");
    EXPECT_EQ(ds->State(), dsEdit);
    ds->Cancel();
    EXPECT_TRUE(ds->FieldByName("NAME")->OldValue().IsNull());  // no edit, no old values

    link.log.clear();
    const TDataSetState old = ds->EnterTempState(dsBlockRead);
    ds->Next();  // moves, but controls hear nothing while block reading
    ds->LeaveTempState(old);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    EXPECT_TRUE(link.log.empty());
}

TEST(DataSetStates, EveryStateChangeReachesTheControls) {
    auto ds = MakePeople({{1, "a"}});
    TDataSource source;
    std::vector<TDataSetState> states;
    source.OnStateChange = [&](TDataSource& s) { states.push_back(s.State()); };
    source.SetDataSet(ds.get());
    ds->Edit();
    ds->Post();
    ds->Insert();
    ds->Cancel();
    ds->Close();
    ds->Open();
    EXPECT_EQ(states, (std::vector<TDataSetState>{dsBrowse, dsEdit, dsBrowse, dsInsert, dsBrowse, dsInactive,
                                                  dsBrowse}));
    source.SetEnabled(false);
    EXPECT_EQ(source.State(), dsInactive);
}
