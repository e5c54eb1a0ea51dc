// Where the dataset's cursor stands, walked at random against a model of the
// records: moves, record numbers and bookmarks that name a record or none (or
// one the controlling order leaves out), and edits posted, in record order and
// under a tag with a FOR condition, switching between the two. A refused target
// leaves the cursor on its record and the next move goes on from there; a post
// stands on the record posted, or on its neighbour in the order when it has left
// the order, never on a blank.

#include <algorithm>
#include <cstring>
#include <optional>
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

namespace {

struct Row {
    int pos = 0;
    int qty = 0;
    std::string name;
};

// The model: the records, the order in control, and where the cursor stands.
struct Model {
    std::vector<Row> rows;
    bool tagged = false;
    int current = 0;  // 0: the view is empty
    bool bof = false, eof = false;

    // Record numbers as the order shows them: every record, or under the tag those
    // with a positive QTY by POS.
    std::vector<int> Shown() const
    {
        std::vector<int> shown;
        for (int n = 1; n <= static_cast<int>(rows.size()); ++n)
            if (!tagged || rows[static_cast<std::size_t>(n - 1)].qty > 0) shown.push_back(n);
        if (tagged)
            std::sort(shown.begin(), shown.end(), [&](int a, int b) {
                return rows[static_cast<std::size_t>(a - 1)].pos < rows[static_cast<std::size_t>(b - 1)].pos;
            });
        return shown;
    }
    // A POS no other record than `own` (0: none) holds, so that the tag's order is the model's.
    int FreePos(std::mt19937& random, int own) const
    {
        for (;;) {
            const int pos = static_cast<int>(random() % 20);
            bool held = false;
            for (std::size_t i = 0; i < rows.size(); ++i) held = held || (rows[i].pos == pos && static_cast<int>(i) + 1 != own);
            if (!held) return pos;
        }
    }
    bool Shows(int n) const
    {
        const std::vector<int> shown = Shown();
        return std::find(shown.begin(), shown.end(), n) != shown.end();
    }
    void First()
    {
        const std::vector<int> shown = Shown();
        current = shown.empty() ? 0 : shown.front();
        bof = true;
        eof = shown.empty();
    }
    void Last()
    {
        const std::vector<int> shown = Shown();
        current = shown.empty() ? 0 : shown.back();
        eof = true;
        bof = shown.empty();
    }
    void Step(bool forward)
    {
        if (forward ? eof : bof) return;
        (forward ? bof : eof) = false;
        const std::vector<int> shown = Shown();
        const auto at = std::find(shown.begin(), shown.end(), current) - shown.begin();
        const auto to = at + (forward ? 1 : -1);
        if (to < 0 || to >= std::ssize(shown)) (forward ? eof : bof) = true;
        else current = shown[static_cast<std::size_t>(to)];
    }
    void StandOn(int n)
    {
        current = n;
        bof = eof = n == 0;
    }
};

db::TBookmark BookmarkOf(std::int32_t n)
{
    db::TBookmark bookmark(4);
    std::memcpy(bookmark.data(), &n, 4);
    return bookmark;
}

std::string Where(TXfDbf& ds)
{
    return "RecNo " + std::to_string(ds.RecNo()) + (ds.Bof() ? " Bof" : "") + (ds.Eof() ? " Eof" : "") + " NAME '" +
           ds.FieldByName("NAME")->AsString() + "'";
}

}  // namespace

TEST(XfDataSetCursor, RefusedTargetsKeepTheCursorAndPostsStandOnTheRecordOrItsNeighbour)
{
    EngineScope scope;
    testsupport::TempDir dir;
    std::mt19937 random(55);
    TXfDbf ds;
    ds.SetName("Stock");
    ds.SetDbfFields({"pos,N,4,0", "qty,N,4,0", "name,C,8,0"});
    ds.SetIndexList({"POS,F,F,POS", "QTY > 0"});
    ds.SetDbfFileName(dir.str() + "/stock.dbf");
    ds.Open();
    Model model;
    for (int i = 1; i <= 6; ++i) {
        const Row row {model.FreePos(random, 0), i % 3 == 2 ? 0 : static_cast<int>(1 + random() % 4), "r" + std::to_string(i)};
        ds.Append();
        ds.FieldByName("POS")->SetAsInteger(row.pos);
        ds.FieldByName("QTY")->SetAsInteger(row.qty);
        ds.FieldByName("NAME")->SetAsString(row.name);
        ds.Post();
        model.rows.push_back(row);
    }
    // The tag is in control since the open.
    model.tagged = true;
    ds.First();
    model.First();

    const std::vector<int> targets {1, 2, 3, 4, 5, 6, 0, -1, 7, 99};
    int refused = 0, leftTheTag = 0;
    for (int step = 0; step < 1500; ++step) {
        std::string op;
        switch (random() % 10) {
        case 0:
            model.tagged = !model.tagged;
            op = model.tagged ? "tag in control, First" : "record order, First";
            Select(ds.WorkAreaNo());
            if (model.tagged) ASSERT_TRUE(SetOrderToTag("POS"));
            else Set_Order_To(0);
            ds.First();
            model.First();
            break;
        case 1:
            op = random() % 2 ? "First" : "Last";
            if (op == "First") ds.First(), model.First();
            else ds.Last(), model.Last();
            break;
        case 2:
        case 3: {
            const int n = targets[random() % targets.size()];
            op = "SetRecNo(" + std::to_string(n) + ")";
            ds.SetRecNo(n);
            if (model.Shows(n)) model.StandOn(n);
            else ++refused;
            break;
        }
        case 4:
        case 5: {
            const int n = targets[random() % targets.size()];
            op = "GotoBookmark(" + std::to_string(n) + ")";
            std::string message;
            try {
                ds.GotoBookmark(BookmarkOf(n));
            } catch (const db::EDatabaseError& e) {
                message = e.Message();
            }
            if (model.Shows(n)) {
                EXPECT_EQ(message, "") << op;
                model.StandOn(n);
            } else {
                EXPECT_NE(message.find("Record not found"), std::string::npos) << op << ": '" << message << "'";
                ++refused;
            }
            break;
        }
        case 6:
        case 7:
            op = random() % 2 ? "Next" : "Prior";
            if (op == "Next") ds.Next(), model.Step(true);
            else ds.Prior(), model.Step(false);
            break;
        default: {
            if (model.current == 0) continue;
            // Half the edits take the record out of the tag, some move its key.
            Row& row = model.rows[static_cast<std::size_t>(model.current - 1)];
            const int qty = random() % 2 ? 0 : static_cast<int>(1 + random() % 4);
            const int pos = random() % 3 ? row.pos : model.FreePos(random, model.current);
            op = "Edit record " + std::to_string(model.current) + ": POS " + std::to_string(pos) + ", QTY " + std::to_string(qty);
            const std::vector<int> before = model.Shown();
            ds.Edit();
            ASSERT_EQ(ds.State(), db::dsEdit) << op;
            ds.FieldByName("POS")->SetAsInteger(pos);
            ds.FieldByName("QTY")->SetAsInteger(qty);
            ds.Post();
            row.pos = pos;
            row.qty = qty;
            const int posted = model.current;
            if (model.Shows(posted)) {
                model.StandOn(posted);
                break;
            }
            // Gone from the order: the record that followed it, else the last one left.
            ++leftTheTag;
            const auto at = std::find(before.begin(), before.end(), posted);
            const std::vector<int> after = model.Shown();
            model.StandOn(at + 1 != before.end() ? *(at + 1) : after.empty() ? 0 : after.back());
            break;
        }
        }
        SCOPED_TRACE("step " + std::to_string(step) + ": " + op);
        ASSERT_EQ(ds.RecordCount(), 6);
        ASSERT_EQ(ds.IsEmpty(), model.current == 0) << Where(ds);
        if (model.current == 0) continue;
        ASSERT_EQ(ds.RecNo(), model.current) << Where(ds);
        const Row& row = model.rows[static_cast<std::size_t>(model.current - 1)];
        ASSERT_EQ(ds.FieldByName("NAME")->AsString(), row.name) << Where(ds);
        ASSERT_EQ(ds.FieldByName("QTY")->AsInteger(), row.qty) << Where(ds);
        ASSERT_EQ(ds.FieldByName("POS")->AsInteger(), row.pos) << Where(ds);
        ASSERT_EQ(ds.Bof(), model.bof) << Where(ds);
        ASSERT_EQ(ds.Eof(), model.eof) << Where(ds);
    }
    EXPECT_GT(refused, 200);
    EXPECT_GT(leftTheTag, 30);

    // What the posts wrote is in the file, each in its own record.
    Select(ds.WorkAreaNo());
    Set_Order_To(0);
    ds.First();
    for (const Row& row : model.rows) {
        ASSERT_FALSE(ds.Eof());
        EXPECT_EQ(ds.FieldByName("NAME")->AsString(), row.name);
        EXPECT_EQ(ds.FieldByName("QTY")->AsInteger(), row.qty);
        EXPECT_EQ(ds.FieldByName("POS")->AsInteger(), row.pos);
        ds.Next();
    }
    EXPECT_TRUE(ds.Eof());
    ds.Close();
}
