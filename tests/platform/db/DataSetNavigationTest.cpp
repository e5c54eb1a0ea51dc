#include "TestData.h"

#include <gtest/gtest.h>

using namespace dbtest;

TEST(DataSetOpen, StatesAndDefaultFields) {
    TMemDataSet ds;
    ds.AddColumn("ID", ftInteger);
    ds.AddColumn("NAME", ftString, 10);
    EXPECT_EQ(ds.State(), dsInactive);
    EXPECT_FALSE(ds.Active());
    ds.Open();
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_TRUE(ds.DefaultFields());
    ASSERT_EQ(ds.FieldCount(), 2);
    EXPECT_NE(dynamic_cast<TStringField*>(ds.FieldByName("name")), nullptr);
    EXPECT_EQ(ds.FieldByName("NAME")->Size(), 10);
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.Bof());
    EXPECT_TRUE(ds.Eof());
    ds.Close();
    EXPECT_EQ(ds.State(), dsInactive);
    EXPECT_EQ(ds.FieldCount(), 0);  // default fields go with the cursor
}

TEST(DataSetOpen, FieldByNameOfMissingFieldNamesTheDataset) {
    auto ds = MakePeople({{1, "a"}});
    try {
        ds->FieldByName("NOPE");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "People: Field 'NOPE' not found");
    }
    EXPECT_EQ(ds->FindField("NOPE"), nullptr);
}

TEST(DataSetOpen, OperationsOnClosedDatasetRaise) {
    TMemDataSet ds;
    ds.AddColumn("ID", ftInteger);
    EXPECT_THROW(ds.First(), EDatabaseError);
    EXPECT_THROW(ds.Append(), EDatabaseError);
    EXPECT_THROW(ds.Delete(), EDatabaseError);
}

TEST(DataSetOpen, EventsInOrder) {
    TMemDataSet ds;
    ds.AddColumn("ID", ftInteger);
    std::vector<std::string> log;
    ds.BeforeOpen = [&](TDataSet&) { log.push_back("BeforeOpen"); };
    ds.AfterOpen = [&](TDataSet& d) { log.push_back(std::string("AfterOpen ") + (d.State() == dsBrowse ? "browse" : "?")); };
    ds.AfterScroll = [&](TDataSet&) { log.push_back("AfterScroll"); };
    ds.BeforeClose = [&](TDataSet&) { log.push_back("BeforeClose"); };
    ds.AfterClose = [&](TDataSet& d) { log.push_back(std::string("AfterClose ") + (d.Active() ? "active" : "closed")); };
    ds.Open();
    ds.Close();
    // An empty dataset opens without a scroll event.
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen", "AfterOpen browse", "BeforeClose", "AfterClose closed"}));
}

TEST(DataSetNavigation, ForwardAndBackwardWithEveryRingSize) {
    for (int ring : {1, 2, 3, 5, 11}) {
        auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}, {6, "f"}}, ring);
        EXPECT_EQ(IdsForward(*ds), (std::vector<int>{1, 2, 3, 4, 5, 6})) << ring;
        EXPECT_EQ(IdsBackward(*ds), (std::vector<int>{6, 5, 4, 3, 2, 1})) << ring;
    }
}

TEST(DataSetNavigation, BofEofAtTheEnds) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}});
    ds->First();
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
    ds->Next();
    EXPECT_FALSE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
    ds->Next();  // past the last: stays on it
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    ds->Prior();
    EXPECT_FALSE(ds->Eof());
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
    ds->Prior();
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
}

TEST(DataSetNavigation, MoveByAnswersTheDistanceMoved) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}}, 2);
    EXPECT_EQ(ds->MoveBy(2), 2);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(ds->MoveBy(10), 1);
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->MoveBy(-10), -3);
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(ds->MoveBy(0), 0);
}

TEST(DataSetNavigation, RingKeepsConsecutiveRecordsAroundTheActiveOne) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}}, 3);
    ds->First();
    EXPECT_EQ(ds->RecordCountInBuffers(), 3);
    EXPECT_EQ(ds->ActiveRecord(), 0);
    ds->MoveBy(3);  // 4: window scrolls
    EXPECT_EQ(ds->ActiveRecord(), 2);
    EXPECT_EQ(ds->IdOf(0), 2u);
    EXPECT_EQ(ds->IdOf(1), 3u);
    EXPECT_EQ(ds->IdOf(2), 4u);
    ds->Last();
    EXPECT_EQ(ds->ActiveRecord(), 2);
    EXPECT_EQ(ds->IdOf(0), 3u);
}

TEST(DataSetNavigation, ResyncCentredPutsTheRecordInTheMiddle) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}}, 5);
    ds->SetRecNo(3);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(ds->ActiveRecord(), 2);
    ds->SetRecNo(5);
    // Near the end the ring fills from before.
    EXPECT_EQ(ds->RecordCountInBuffers(), 5);
    EXPECT_EQ(ds->ActiveRecord(), 4);
}

TEST(DataSetNavigation, RecNoAndRecordCount) {
    auto ds = MakePeople({{10, "a"}, {20, "b"}, {30, "c"}});
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->RecNo(), 1);
    ds->Last();
    EXPECT_EQ(ds->RecNo(), 3);
    ds->SetRecNo(2);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 20);
    ds->SetRecNo(99);  // beyond the count: the last record
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 30);
}

TEST(DataSetNavigation, GrowingAndShrinkingTheRingKeepsTheActiveRecord) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}, {6, "f"}}, 4);
    ds->MoveBy(3);
    ASSERT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
    ds->SetBufferCountForTest(2);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
    ds->SetBufferCountForTest(6);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4);
    EXPECT_EQ(ds->RecordCountInBuffers(), 6);
    EXPECT_EQ(IdsForward(*ds), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(DataSetOpen, ActiveSetWhileLoadingOpensWhenLoadingEnds) {
    TMemDataSet ds;
    ds.AddColumn("ID", ftInteger);
    ds.SetLoading(true);
    ds.Open();
    EXPECT_FALSE(ds.Active());
    ds.SetLoading(false);
    EXPECT_TRUE(ds.Active());
}

TEST(DataSetOpen, FailedOpenLeavesTheDatasetClosedAndReopenable) {
    TMemDataSet ds;
    ds.AddColumn("ID", ftInteger);
    int afterOpen = 0;
    ds.AfterOpen = [&](TDataSet&) { ++afterOpen; };
    CreateField<TStringField>(ds, "ID");  // does not match the column
    EXPECT_THROW(ds.Open(), EDatabaseError);
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(afterOpen, 0);
    ds.Fields().Clear();
    ds.Open();
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(afterOpen, 1);
    EXPECT_NE(ds.FieldByNumber(1), nullptr);
    EXPECT_EQ(ds.FieldByNumber(2), nullptr);
}

TEST(DataSetFaults, AReadFailureWhileScrollingLeavesAUsableDataset) {
    for (int ring : {1, 3}) {
        auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}}, ring);
        ds->SetFailOnFetch(4);
        EXPECT_THROW(
            {
                while (!ds->Eof()) ds->Next();
            },
            EDatabaseError);
        EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);  // still on the last good record
        ds->SetFailOnFetch(0);
        ds->Next();
        EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 4) << ring;
        ds->Prior();
        EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3) << ring;
        EXPECT_EQ(IdsForward(*ds), (std::vector<int>{1, 2, 3, 4, 5})) << ring;
    }
}

TEST(DataSetFaults, AFailedDeleteKeepsRecordAndState) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}});
    ds->Next();
    ds->SetFailOnDelete(true);
    int afterDelete = 0;
    ds->AfterDelete = [&](TDataSet&) { ++afterDelete; };
    EXPECT_THROW(ds->Delete(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(afterDelete, 0);
    int errors = 0;
    ds->OnDeleteError = [&](TDataSet& d, EDatabaseError&, TDataAction& action) {
        ++errors;
        static_cast<TMemDataSet&>(d).SetFailOnDelete(false);
        action = daRetry;
    };
    ds->Delete();
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(ds->RecordCount(), 1);
    ds->SetFailOnDelete(true);
    ds->OnDeleteError = [](TDataSet&, EDatabaseError&, TDataAction& action) { action = daAbort; };
    EXPECT_THROW(ds->Delete(), EAbort);
}

TEST(DataSetFaults, AFailingFirstFetchLeavesTheDatasetClosed) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}});
    ds->Close();
    ds->SetFailOnFetch(1);
    int afterOpen = 0;
    ds->AfterOpen = [&](TDataSet&) { ++afterOpen; };
    EXPECT_THROW(ds->Open(), EDatabaseError);
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(afterOpen, 0);
    EXPECT_EQ(ds->FieldCount(), 0);
    ds->SetFailOnFetch(0);
    ds->Open();
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
}
