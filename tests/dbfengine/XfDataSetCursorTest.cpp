// Where the dataset's cursor stands, walked at random against a model, in record
// order and under a tag with a FOR condition: record numbers and bookmarks that
// name a record, none, or one the order leaves out, moves, and posts that keep a
// record in the order or take it out.

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dbfengine/uxffds.h"
#include "dbfengine/xfndx.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

TEST(XfDataSetCursor, RefusedTargetsKeepTheCursorAndPostsStandOnTheRecordOrItsNeighbour)
{
    EngineScope scope;
    testsupport::TempDir dir;
    std::mt19937 random(55);
    TXfDbf ds;
    ds.SetDbfFields({"pos,N,4,0", "qty,N,4,0"});
    ds.SetIndexList({"POS,F,F,POS", "QTY > 0"});
    ds.SetDbfFileName(dir.str() + "/stock.dbf");
    ds.Open();
    // The model: each record's POS (no two alike) and QTY, the order in control, and
    // where the cursor stands (0: the view is empty).
    std::vector<int> pos {4, 1, 5, 0, 3, 2}, qty {1, 0, 2, 3, 0, 1};
    for (std::size_t i = 0; i < pos.size(); ++i) ds.AppendRecord({pos[i], qty[i]});
    bool tagged = true, bof = true, eof = false;
    const auto shown = [&] {
        std::vector<int> records;
        for (int n = 1; n <= 6; ++n)
            if (!tagged || qty[n - 1] > 0) records.push_back(n);
        if (tagged) std::ranges::sort(records, {}, [&](int n) { return pos[n - 1]; });
        return records;
    };
    int current = shown().front();
    const auto standOn = [&](int n) { current = n, bof = eof = n == 0; };
    ds.First();
    int refused = 0, leftTheOrder = 0;
    for (int step = 0; step < 1500; ++step) {
        const std::vector<int> before = shown();
        const auto at = std::ranges::find(before, current);
        const int n = std::vector {1, 2, 3, 4, 5, 6, 0, -1, 7, 99}[random() % 10];
        const bool reachable = std::ranges::count(before, n) > 0;
        std::string op, message;
        switch (random() % 8) {
        case 0:
            tagged = !tagged;
            op = tagged ? "tag, First" : "record order, First";
            Select(ds.WorkAreaNo());
            Set_Order_To(tagged ? 1 : 0);
            ds.First();
            standOn(shown().empty() ? 0 : shown().front());
            bof = true;
            break;
        case 1:
        case 2:
            op = "SetRecNo(" + std::to_string(n) + ")";
            ds.SetRecNo(n);
            reachable ? standOn(n) : void(++refused);
            break;
        case 3:
            op = "GotoBookmark(" + std::to_string(n) + ")";
            try {
                db::TBookmark bookmark(4);
                std::memcpy(bookmark.data(), &n, 4);
                ds.GotoBookmark(bookmark);
            } catch (const db::EDatabaseError& e) {
                message = e.Message();
            }
            ASSERT_EQ(message.find("Record not found") != std::string::npos, !reachable) << op << ": " << message;
            reachable ? standOn(n) : void(++refused);
            break;
        case 4:
            op = "Next";
            ds.Next();
            if (!eof) {
                bof = false;
                if (at + 1 == before.end()) eof = true;
                else current = *(at + 1);
            }
            break;
        case 5:
            op = "Prior";
            ds.Prior();
            if (!bof) {
                eof = false;
                if (at == before.begin()) bof = true;
                else current = *(at - 1);
            }
            break;
        default: {
            if (current == 0) continue;
            // Half the edits take the record out of the tag, some move its key.
            int newPos = pos[current - 1];
            if (random() % 3 == 0) {
                do newPos = static_cast<int>(random() % 20);
                while (std::ranges::count(pos, newPos));
            }
            const int newQty = random() % 2 ? 0 : static_cast<int>(1 + random() % 4);
            op = "Edit record " + std::to_string(current) + " to POS " + std::to_string(newPos) + ", QTY " + std::to_string(newQty);
            ds.Edit();
            ASSERT_EQ(ds.State(), db::dsEdit) << op;
            ds.FieldByName("POS")->SetAsInteger(pos[current - 1] = newPos);
            ds.FieldByName("QTY")->SetAsInteger(qty[current - 1] = newQty);
            ds.Post();
            // Gone from the order: on the record that followed it, else the last one left.
            const std::vector<int> after = shown();
            if (std::ranges::count(after, current)) {
                standOn(current);
            } else {
                ++leftTheOrder;
                standOn(at + 1 != before.end() ? *(at + 1) : after.empty() ? 0 : after.back());
            }
        }
        }
        SCOPED_TRACE("step " + std::to_string(step) + ": " + op);
        ASSERT_EQ(ds.RecordCount(), 6);
        ASSERT_EQ(ds.RecNo(), current ? current : -1);
        ASSERT_EQ(ds.Bof(), bof);
        ASSERT_EQ(ds.Eof(), eof);
        if (current == 0) continue;
        ASSERT_EQ(ds.FieldByName("POS")->AsInteger(), pos[current - 1]);
        ASSERT_EQ(ds.FieldByName("QTY")->AsInteger(), qty[current - 1]);
    }
    EXPECT_GT(refused, 200);
    EXPECT_GT(leftTheOrder, 30);
    ds.Close();
}
