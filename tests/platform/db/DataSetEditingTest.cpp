#include "TestData.h"

#include <gtest/gtest.h>

using namespace dbtest;

namespace {

int Id(TDataSet& ds) { return ds.FieldByName("ID")->AsInteger(); }

}  // namespace

TEST(DataSetInsert, OldCurrentRecordSitsInTheBufferAfterTheInsertedOne) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}}, 4);
    ds->Next();  // on 2, active buffer 1
    ds->Insert();
    EXPECT_EQ(ds->State(), dsInsert);
    EXPECT_EQ(ds->ActiveRecord(), 1);
    EXPECT_EQ(ds->FlagOf(1), bfInserted);
    EXPECT_EQ(ds->IdOf(1), ds->IdOf(2));  // the new buffer carries the old current's bookmark
    EXPECT_EQ(ds->FlagOf(2), bfCurrent);
    EXPECT_EQ(ds->RecordCountInBuffers(), 4);
    EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
    ds->Cancel();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(Id(*ds), 2);
    EXPECT_EQ(IdsForward(*ds), (std::vector<int>{1, 2, 3}));
}

TEST(DataSetInsert, PostStoresAndStandsOnTheNewRecord) {
    auto ds = MakePeople({{1, "a"}, {3, "c"}});
    ds->Last();
    ds->Insert();
    ds->FieldByName("ID")->SetAsInteger(2);
    ds->FieldByName("NAME")->SetAsString("b");
    EXPECT_TRUE(ds->Modified());
    ds->Post();
    EXPECT_EQ(Id(*ds), 2);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "b");
    EXPECT_EQ(IdsForward(*ds), (std::vector<int>{1, 2, 3}));
}

TEST(DataSetInsert, AppendSitsAfterTheLastRecordAndCancelReturnsToIt) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}}, 3);
    ds->First();
    ds->Append();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->FlagOf(ds->ActiveRecord()), bfEOF);
    EXPECT_EQ(ds->ActiveRecord(), ds->RecordCountInBuffers() - 1);
    ds->Cancel();
    EXPECT_EQ(Id(*ds), 3);
}

TEST(DataSetInsert, InsertIntoAnEmptyDatasetAndCancel) {
    auto ds = MakePeople({});
    ds->Insert();
    EXPECT_EQ(ds->FlagOf(0), bfBOF);
    ds->Cancel();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->Bof() && ds->Eof());
}

TEST(DataSetInsert, ExceptionInOnNewRecordUndoesTheInsert) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}}, 3);
    ds->Next();
    int afterInsert = 0;
    ds->OnNewRecord = [](TDataSet&) { throw EDatabaseError("no new records today"); };
    ds->AfterInsert = [&](TDataSet&) { ++afterInsert; };
    EXPECT_THROW(ds->Insert(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(Id(*ds), 2);
    EXPECT_EQ(afterInsert, 0);
    EXPECT_THROW(ds->Append(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(Id(*ds), 2);
    EXPECT_EQ(IdsForward(*ds), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ds->StoredRowCount(), 3);
}

TEST(DataSetInsert, OnNewRecordMayFillDefaults) {
    auto ds = MakePeople({{1, "a"}});
    ds->OnNewRecord = [](TDataSet& d) { d.FieldByName("NAME")->SetAsString("default"); };
    ds->Append();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "default");
    EXPECT_FALSE(ds->Modified());  // defaults alone do not count as a change
    ds->FieldByName("ID")->SetAsInteger(9);
    ds->Post();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "default");
}

TEST(DataSetEdit, EditPostCancelAndOldValue) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}});
    ds->Edit();
    EXPECT_EQ(ds->State(), dsEdit);
    ds->FieldByName("NAME")->SetAsString("changed");
    EXPECT_EQ(ds->FieldByName("NAME")->OldValue().ToString(), "a");
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "changed");
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "a");
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("kept");
    ds->Next();  // navigation posts a modified record
    ds->First();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "kept");
}

TEST(DataSetEdit, EditOfAnEmptyDatasetInserts) {
    auto ds = MakePeople({});
    ds->Edit();
    EXPECT_EQ(ds->State(), dsInsert);
}

TEST(DataSetEdit, WritingOutsideEditStateIsRefused) {
    auto ds = MakePeople({{1, "a"}});
    EXPECT_THROW(ds->FieldByName("NAME")->SetAsString("x"), EDatabaseError);
    ds->FieldByName("NAME")->SetReadOnly(true);
    ds->Edit();
    try {
        ds->FieldByName("NAME")->SetAsString("x");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "People: Field 'NAME' cannot be modified");
    }
}

TEST(DataSetEdit, ReadOnlyDatasetRefusesEveryChange) {
    auto ds = MakePeople({{1, "a"}});
    ds->SetReadOnly(true);
    EXPECT_THROW(ds->Edit(), EDatabaseError);
    EXPECT_THROW(ds->Append(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
}

TEST(DataSetEdit, RequiredFieldsAreCheckedAtPost) {
    TMemDataSet ds;
    ds.SetName("T");
    ds.AddColumn("ID", ftInteger);
    ds.AddColumn("NAME", ftString, 5, true);
    ds.Open();
    ds.Append();
    ds.FieldByName("ID")->SetAsInteger(1);
    try {
        ds.Post();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "T: Field 'NAME' must have a value");
    }
    EXPECT_EQ(ds.State(), dsInsert);  // the post can be repeated
    ds.FieldByName("NAME")->SetAsString("x");
    ds.Post();
    EXPECT_EQ(ds.StoredRowCount(), 1);
}

TEST(DataSetEdit, FailedPostKeepsTheEditAndOnPostErrorCanRetry) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}});
    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(2);  // key taken
    EXPECT_THROW(ds->Post(), EDatabaseError);
    EXPECT_EQ(ds->State(), dsInsert);
    int calls = 0;
    ds->OnPostError = [&](TDataSet& d, EDatabaseError&, TDataAction& action) {
        ++calls;
        d.FieldByName("ID")->SetAsInteger(3);
        action = daRetry;
    };
    ds->Post();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(IdsForward(*ds), (std::vector<int>{1, 2, 3}));
}

TEST(DataSetDelete, DeleteMovesToTheNextRecordOrThePriorAtTheEnd) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}}, 2);
    ds->Next();
    ds->Delete();
    EXPECT_EQ(Id(*ds), 3);
    ds->Delete();
    EXPECT_EQ(Id(*ds), 1);
    ds->Delete();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_THROW(ds->Delete(), EDatabaseError);
}

TEST(DataSetDelete, DeleteInInsertStateCancels) {
    auto ds = MakePeople({{1, "a"}});
    ds->Append();
    ds->Delete();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->StoredRowCount(), 1);
}

TEST(DataSetEdit, AppendRecordAndInsertRecordAddWithoutLeavingEditState) {
    auto ds = MakePeople({});
    ds->AppendRecord({5, "e", 1.0});
    ds->InsertRecord({4, "d", Variant()});
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(IdsForward(*ds), (std::vector<int>{4, 5}));
    ds->First();
    EXPECT_TRUE(ds->FieldByName("AMOUNT")->IsNull());  // an Empty value leaves the field alone
    // A record that cannot be stored leaves nothing behind.
    EXPECT_THROW(ds->AppendRecord({5, "dup"}), EDatabaseError);
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ds->StoredRowCount(), 2);
}

TEST(DataSetEdit, EventOrderOfAnEditAndAnInsert) {
    auto ds = MakePeople({{1, "a"}});
    std::vector<std::string> log;
    auto note = [&](const char* what) { return [&log, what](TDataSet&) { log.push_back(what); }; };
    ds->BeforeEdit = note("BeforeEdit");
    ds->AfterEdit = note("AfterEdit");
    ds->BeforePost = note("BeforePost");
    ds->AfterPost = note("AfterPost");
    ds->BeforeInsert = note("BeforeInsert");
    ds->AfterInsert = note("AfterInsert");
    ds->OnNewRecord = note("OnNewRecord");
    ds->BeforeScroll = note("BeforeScroll");
    ds->AfterScroll = note("AfterScroll");
    ds->BeforeCancel = note("BeforeCancel");
    ds->AfterCancel = note("AfterCancel");
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("x");
    ds->Post();
    ds->Insert();
    ds->Cancel();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost", "BeforeInsert",
                                             "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
                                             "BeforeCancel", "BeforeScroll", "AfterCancel", "AfterScroll"}));
}

TEST(DataSetBookmark, BookmarksSurviveDeletesOfOtherRecords) {
    auto ds = MakePeople({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}}, 2);
    ds->Last();
    const TBookmark four = ds->GetBookmark();
    ds->First();
    const TBookmark one = ds->GetBookmark();
    ds->Next();
    ds->Delete();  // 2 goes
    ds->GotoBookmark(four);
    EXPECT_EQ(Id(*ds), 4);
    EXPECT_LT(ds->CompareBookmarks(one, four), 0);
    EXPECT_GT(ds->CompareBookmarks(four, one), 0);
    EXPECT_EQ(ds->CompareBookmarks(four, ds->GetBookmark()), 0);
    EXPECT_TRUE(ds->BookmarkValid(one));
    ds->GotoBookmark(one);
    ds->Delete();
    EXPECT_FALSE(ds->BookmarkValid(one));
    EXPECT_THROW(ds->GotoBookmark(one), EDatabaseError);
    EXPECT_EQ(Id(*ds), 3);  // a failed jump does not move
}

TEST(DataSetBookmark, EmptyBookmarksCompareAsTheFrameworkSays) {
    auto ds = MakePeople({{1, "a"}});
    const TBookmark b = ds->GetBookmark();
    EXPECT_EQ(ds->CompareBookmarks({}, {}), 0);
    EXPECT_EQ(ds->CompareBookmarks(b, {}), -1);
    EXPECT_EQ(ds->CompareBookmarks({}, b), 1);
    ds->Append();
    EXPECT_TRUE(ds->GetBookmark().empty());  // no bookmark for a record not yet stored
    ds->Cancel();
    ds->GotoBookmark({});  // nothing happens
}

TEST(DataSetClose, ClosingInEditStateDropsTheChange) {
    auto ds = MakePeople({{1, "a"}});
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("lost");
    ds->Close();
    ds->Open();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "a");
}
