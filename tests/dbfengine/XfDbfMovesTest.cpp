// Every move of a work area under a condition that no record passes (a filter of
// .F., a filter nothing meets, every record deleted and deleted records hidden),
// in record order, in an index's record order and in a tag's order: each ends at
// the end or the start. The index layer's steps are counted, so a move that keeps
// stepping fails the test instead of hanging it.

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfndx.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

struct MoveRunsOn {};

// Wraps the index layer's stepping entries: more than `limit` steps in one move
// throws MoveRunsOn. Restores the entries when it goes.
class StepLimit {
public:
    explicit StepLimit(int limit) : saved_(XfIndexHooks()), limit_(limit)
    {
        TXfIndexHooks& hooks = XfIndexHooks();
        for (auto entry : {&TXfIndexHooks::FindNextRec, &TXfIndexHooks::FindPriorRec, &TXfIndexHooks::FindFirstRec,
                           &TXfIndexHooks::FindLastRec}) {
            hooks.*entry = [this, inner = saved_.*entry] {
                if (++steps_ > limit_) throw MoveRunsOn {};
                return inner();
            };
        }
    }
    ~StepLimit() { XfIndexHooks() = saved_; }
    StepLimit(const StepLimit&) = delete;
    StepLimit& operator=(const StepLimit&) = delete;
    void Reset() { steps_ = 0; }

private:
    TXfIndexHooks saved_;
    int limit_;
    int steps_ = 0;
};

enum class Order { Records, IndexRecords, Tag };
enum class Condition { False, NothingMeets, AllDeleted };

std::string Describe(int records, Order order, Condition condition)
{
    static const char* orders[] = {"record order", "index open, order 0", "tag order"};
    static const char* conditions[] = {"filter .F.", "filter COUNT > 100", "all deleted and hidden"};
    return std::to_string(records) + " records, " + orders[static_cast<int>(order)] + ", " +
           conditions[static_cast<int>(condition)];
}

}  // namespace

TEST(XfDbfMoves, EveryMoveUnderAConditionNothingPassesEndsAtAnEnd)
{
    for (const int records : {1, 4}) {
        for (const Order order : {Order::Records, Order::IndexRecords, Order::Tag}) {
            for (const Condition condition : {Condition::False, Condition::NothingMeets, Condition::AllDeleted}) {
                SCOPED_TRACE(Describe(records, order, condition));
                EngineScope engine;
                testsupport::TempDir dir;
                const std::string path = dir.str() + "/moves.dbf";
                TDbfTable table;
                ASSERT_EQ(CreateDbf(table, path, {{"NAME", 'C', 10, 0}, {"COUNT", 'N', 5, 0}}), 0);
                USE(path, "EXCLUSIVE");
                // Counts falling as the records go on: the tag's order is not the records'.
                for (int i = 1; i <= records; ++i) {
                    ClearRecord();
                    CurrentRecord().SetText(1, "rec");
                    CurrentRecord().SetInteger(2, 10 - i);
                    Append();
                }
                if (order != Order::Records) {
                    ASSERT_TRUE(IndexOn({{"COUNT", "COUNT", "", false, false}}, ""));
                    if (order == Order::IndexRecords) Set_Order_To(0);
                }
                ASSERT_TRUE(LocateCountSum("NAME", std::string("rec")));  // for Continue below
                switch (condition) {
                case Condition::False: ASSERT_TRUE(SetFilterCondition(".F.")); break;
                case Condition::NothingMeets: ASSERT_TRUE(SetFilterCondition("COUNT > 100")); break;
                case Condition::AllDeleted:
                    for (int n = 1; n <= records; ++n) {
                        GO(n);
                        DeleteRec();
                    }
                    GO(1);
                    SetIgnoreDel(true);
                    break;
                }

                StepLimit limit(4 * records + 8);
                const auto move = [&](const char* name, const std::function<void()>& action,
                                      const std::function<bool()>& atAnEnd) {
                    limit.Reset();
                    try {
                        action();
                    } catch (const MoveRunsOn&) {
                        ADD_FAILURE() << name << " kept stepping";
                        return;
                    }
                    EXPECT_TRUE(atAnEnd()) << name << " stopped on record " << RecNo();
                };
                move("Continue", [] { EXPECT_FALSE(Continue()); }, [] { return dEOF(); });
                move("SKIP(1)", [] { GO(1); SKIP(1); }, [] { return dEOF(); });
                move("SKIP(-1)", [&] { GO(records); SKIP(-1); }, [] { return dBOF(); });
                move("SKIP(-1) from the first", [] { GO(1); SKIP(-1); }, [] { return dBOF(); });
                move("GoTop", [] { GoTop(); }, [] { return dEOF(); });
                move("GoBottom", [] { GoBottom(); }, [] { return dEOF() && dBOF(); });
                move("LOCATE", [] { EXPECT_FALSE(LocateCountSum("NAME", std::string("rec"))); }, [] { return dEOF(); });
                move("LocateRecord", [] { EXPECT_FALSE(LocateRecord("NAME", {std::string("rec")}, false, true, true)); },
                     [] { return true; });
                EXPECT_EQ(RecNo(), records + 1);
            }
        }
    }
}
