// Another user's changes under a dataset's order, on dBase III, dBase IV and
// FoxPro tables, the other user a dataset of this program or another program.
//
// A record another user took out of the FOR tag in control is still the one the
// dataset shows: its edit is written, its deletion and its restore reach it, and
// the cursor then stands as after an own post that takes a record out of the order
// (on the record that followed it there, else on the order's last). Next and Prior
// from it, or from a record whose follower left the tag, skip no record the order
// shows.
//
// In record order, with the table's index file open or without one, Next reaches
// the records other users appended.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dbfengine/uxffds.h"
#include "dbfengine/xfndx.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

struct Kind {
    std::uint8_t memo;
    const char* name;
};
// A memo field gives the table the kind's version byte.
const Kind kKinds[] = {{0x83, "dBase III"}, {0x8B, "dBase IV"}, {0xF5, "FoxPro"}};

const std::vector<std::string> kFields {"name,C,10,0", "cnt,N,5,0", "notes,M,10,0"};
const std::vector<std::string> kTags {"NAMES,F,F,NAME", "CNT > 0"};

std::unique_ptr<TXfDbf> OpenTable(const std::string& path, const std::string& name, bool tags)
{
    auto ds = std::make_unique<TXfDbf>();
    ds->SetName(name);
    ds->SetDbfFields(kFields);
    if (tags) ds->SetIndexList(kTags);
    ds->SetDbfFileName(path);
    ds->Open();
    return ds;
}

// Records "a" to "d" with CNT 1 to 4; the table's path.
std::string MakeTable(const testsupport::TempDir& dir, const Kind& kind, bool tags, int records = 4)
{
    XfDbfSettings().MemoVersion = kind.memo;
    const std::string path = dir.str() + "/shared.dbf";
    auto maker = OpenTable(path, "Maker", tags);
    for (int n = 1; n <= records; ++n) maker->AppendRecord({std::string(1, static_cast<char>('a' + n - 1)), n, "memo"});
    return path;
}

// The other user's dataset stands on record `n` in record order.
std::unique_ptr<TXfDbf> OtherOn(const std::string& path, int n)
{
    auto other = OpenTable(path, "Other", true);
    Select(other->WorkAreaNo());
    Set_Order_To(0);
    other->SetRecNo(n);
    return other;
}

void SetCount(const std::string& path, int n, int count)
{
    auto other = OtherOn(path, n);
    other->Edit();
    other->FieldByName("CNT")->SetAsInteger(count);
    other->Post();
}

// Record n as the file holds it: "deleted|NAME|CNT|NOTES".
std::string Stored(const std::string& path, int n)
{
    auto reader = OpenTable(path, "Reader", false);
    reader->SetRecNo(n);
    if (reader->RecNo() != n) return "no record " + std::to_string(n);
    Select(reader->WorkAreaNo());
    return std::string(CurrentRecord().Deleted() ? "*" : " ") + "|" + reader->FieldByName("NAME")->AsString() + "|" +
           reader->FieldByName("CNT")->AsString() + "|" + reader->FieldByName("NOTES")->AsString();
}

// The records the dataset shows from First to Eof.
std::vector<int> Walk(TXfDbf& ds)
{
    std::vector<int> seen;
    for (ds.First(); !ds.Eof() && seen.size() < 10; ds.Next()) seen.push_back(ds.RecNo());
    return seen;
}

}  // namespace

TEST(XfSharedOrder, ARecordAnotherUserTookOutOfTheTagIsWrittenDeletedAndRestoredAndNextSkipsNothing)
{
    EngineScope scope;
    for (const Kind& kind : kKinds) {
        for (const bool otherProgram : {false, true}) {
            for (int r = 1; r <= 4; ++r) {
                // The record the order showed after r, which the cursor goes to once
                // r is out; else the order's last one.
                const int follower = r < 4 ? r + 1 : 3;
                const std::string on = std::string(kind.name) + (otherProgram ? ", other program" : ", other dataset") +
                                       ", X on record " + std::to_string(r) + ", ";
                const auto run = [&](const std::string& what, bool deletedFirst, const std::function<void(TXfDbf&, const std::string&)>& act) {
                    SCOPED_TRACE(on + what);
                    testsupport::TempDir dir;
                    const std::string path = MakeTable(dir, kind, true);
                    if (deletedFirst) {
                        auto other = OtherOn(path, r);
                        other->Delete();
                    }
                    auto x = OpenTable(path, "X", true);
                    x->SetRecNo(r);
                    ASSERT_EQ(x->RecNo(), r);
                    AsOtherUser(otherProgram, [&] { SetCount(path, r, -1); });
                    try {
                        act(*x, path);
                    } catch (const std::exception& e) {
                        ADD_FAILURE() << e.what();
                    }
                };
                run("posts CNT back", false, [&](TXfDbf& x, const std::string& path) {
                    x.Edit();
                    x.FieldByName("CNT")->SetAsInteger(r);
                    x.Post();
                    EXPECT_EQ(Stored(path, r), " |" + std::string(1, 'a' + r - 1) + "|" + std::to_string(r) + "|memo");
                    EXPECT_EQ(x.RecNo(), r);
                    EXPECT_EQ(Walk(x), (std::vector<int> {1, 2, 3, 4}));
                });
                run("posts its memo", false, [&](TXfDbf& x, const std::string& path) {
                    x.Edit();
                    x.FieldByName("NOTES")->SetAsString("by X");
                    x.Post();
                    EXPECT_EQ(Stored(path, r), " |" + std::string(1, 'a' + r - 1) + "|-1|by X");
                    EXPECT_EQ(x.RecNo(), follower);
                });
                run("deletes", false, [&](TXfDbf& x, const std::string& path) {
                    x.Delete();
                    EXPECT_EQ(Stored(path, r), "*|" + std::string(1, 'a' + r - 1) + "|-1|memo");
                    EXPECT_EQ(x.RecNo(), follower);
                });
                run("restores", true, [&](TXfDbf& x, const std::string& path) {
                    x.Restore();
                    EXPECT_EQ(Stored(path, r), " |" + std::string(1, 'a' + r - 1) + "|-1|memo");
                    EXPECT_EQ(x.RecNo(), follower);
                });
                run("Next", false, [&](TXfDbf& x, const std::string&) {
                    x.Next();
                    EXPECT_EQ(x.Eof(), r == 4);
                    if (r < 4) {
                        EXPECT_EQ(x.RecNo(), r + 1);
                    }
                });
                run("Prior", false, [&](TXfDbf& x, const std::string&) {
                    x.Prior();
                    EXPECT_EQ(x.Bof(), r == 1);
                    if (r > 1) {
                        EXPECT_EQ(x.RecNo(), r - 1);
                    }
                });
                // The record after X's leaves the tag: Next goes to the one after it.
                if (r < 4) {
                    SCOPED_TRACE(on + "record " + std::to_string(r + 1) + " leaves, Next");
                    testsupport::TempDir dir;
                    const std::string path = MakeTable(dir, kind, true);
                    auto x = OpenTable(path, "X", true);
                    x->SetRecNo(r);
                    AsOtherUser(otherProgram, [&] { SetCount(path, r + 1, -1); });
                    x->Next();
                    EXPECT_EQ(x->Eof(), r == 3);
                    if (r < 3) {
                        EXPECT_EQ(x->RecNo(), r + 2);
                    }
                }
            }
        }
    }
}

TEST(XfSharedOrder, NextInRecordOrderReachesRecordsOthersAppended)
{
    EngineScope scope;
    for (const Kind& kind : kKinds) {
        for (const bool otherProgram : {false, true}) {
            for (const bool indexOpen : {false, true}) {
                for (const std::string reach : {"Next", "SetRecNo", "Prior, Next"}) {
                    SCOPED_TRACE(std::string(kind.name) + (otherProgram ? ", other program" : ", other dataset") +
                                 (indexOpen ? ", index file open" : ", no index file") + ", last record by " + reach);
                    testsupport::TempDir dir;
                    const std::string path = MakeTable(dir, kind, indexOpen, 2);
                    auto b = OpenTable(path, "B", indexOpen);
                    if (indexOpen) {
                        Select(b->WorkAreaNo());
                        Set_Order_To(0);
                        b->First();
                    }
                    for (int last = 2; last <= 4; ++last) {
                        if (reach == "Next") {
                            b->First();
                            while (b->RecNo() < last && !b->Eof()) b->Next();
                        } else if (reach == "SetRecNo") {
                            b->SetRecNo(last);
                        } else {
                            b->SetRecNo(last);
                            b->Prior();
                            b->Next();
                        }
                        ASSERT_EQ(b->RecNo(), last);
                        ASSERT_FALSE(b->Eof());
                        AsOtherUser(otherProgram, [&] {
                            auto other = OpenTable(path, "Other", indexOpen);
                            other->AppendRecord({std::string(1, static_cast<char>('a' + last)), last + 1, "new"});
                        });
                        b->Next();
                        EXPECT_FALSE(b->Eof());
                        EXPECT_EQ(b->RecNo(), last + 1);
                        EXPECT_EQ(b->RecordCount(), last + 1);
                        EXPECT_EQ(b->FieldByName("NOTES")->AsString(), "new");
                    }
                }
            }
        }
    }
}
