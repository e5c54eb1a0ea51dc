// Two users of one record of a shared table: A posts new values for NAME and CNT
// while B stands on the record; B then reads it again, either while its records
// read ahead still serve (they show A's values only after a refresh) or after they
// went stale (the engine's clock decides), and assigns values it had read before
// A's post. B's post writes every field B assigned, equal to what B read or not,
// and keeps A's value in every field B left alone. A is another dataset of this
// program or another program.

#include <gtest/gtest.h>

#include "dbfengine/platform/XfClock.h"
#include "dbfengine/uxffds.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace xf;
using namespace dbftest;

namespace {

std::unique_ptr<TXfDbf> OpenTable(const std::string& path, const std::string& name)
{
    return OpenDbf(path, name, {"name,C,20,0", "cnt,N,5,0"});
}

std::string Row(TXfDbf& ds)
{
    return ds.FieldByName("NAME")->AsString() + "|" + ds.FieldByName("CNT")->AsString();
}

}  // namespace

TEST(XfSharedPost, APostWritesEveryFieldItAssignedAndKeepsOtherUsersValuesInTheRest)
{
    EngineScope scope;
    for (const bool stale : {false, true}) {
        for (const bool otherProgram : {false, true}) {
            for (const bool nameToo : {false, true}) {
                SCOPED_TRACE(std::string(stale ? "read-ahead stale" : "read-ahead fresh") +
                             (otherProgram ? ", other program" : ", other dataset") + (nameToo ? ", NAME assigned too" : ""));
                std::int64_t now = 1000000;
                TXfClocks clocks;
                clocks.MonotonicMs = [&now] { return now; };
                TXfClocksGuard clock(std::move(clocks));
                testsupport::TempDir dir;
                const std::string path = dir.str() + "/counts.dbf";
                {
                    auto maker = OpenTable(path, "Maker");
                    for (const auto& [name, count] : {std::pair {"orig", 5}, std::pair {"second", 1}}) {
                        maker->Append();
                        maker->FieldByName("NAME")->SetAsString(name);
                        maker->FieldByName("CNT")->SetAsInteger(count);
                        maker->Post();
                    }
                }
                auto b = OpenTable(path, "B"), r = OpenTable(path, "R");
                ASSERT_EQ(Row(*b), "orig|5");
                ASSERT_EQ(Row(*r), "orig|5");
                AsOtherUser(otherProgram, [&] {
                    auto a = OpenTable(path, "A");
                    a->Edit();
                    a->FieldByName("NAME")->SetAsString("by A");
                    a->FieldByName("CNT")->SetAsInteger(7);
                    a->Post();
                });
                if (stale) now += 1000;
                // A refresh reads the file, whatever was read ahead.
                r->Refresh();
                EXPECT_EQ(Row(*r), "by A|7");
                b->Next();
                b->Prior();
                EXPECT_EQ(Row(*b), stale ? "by A|7" : "orig|5") << "the timing this case stands for";
                b->Edit();
                b->FieldByName("CNT")->SetAsInteger(5);
                if (nameToo) b->FieldByName("NAME")->SetAsString("orig");
                b->Post();
                const std::string expected = nameToo ? "orig|5" : "by A|5";
                EXPECT_EQ(Row(*b), expected);
                b->Close();
                r->Close();
                EXPECT_EQ(Row(*OpenTable(path, "Reader")), expected);
            }
        }
    }
}
