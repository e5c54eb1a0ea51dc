// An AOF that SQLite runs must show the records the evaluator would: random
// filters over random rows, each set once as it is (SQLite answers it) and once
// wrapped so that only the evaluator can (an OR with a time of day, which has no
// SQL form), must give the same records, counts and key numbers in every order.

#include "platform/edsengine/EdsExpr.h"
#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using edstest::LastError;
using edstest::U;
using Recs = std::vector<UNSIGNED32>;

struct Observed {
    Recs natural, backward;
    std::vector<Recs> byIndex;
    std::vector<UNSIGNED32> keyNumbers;  // of every record, visible or not, per order
    UNSIGNED32 count = 0;
    bool operator==(const Observed&) const = default;
};

class Table {
public:
    static constexpr int kRows = 160;

    explicit Table(unsigned seed) {
        connection_ = edstest::Connect(dir_.str());
        EXPECT_EQ(edstest::Create(connection_, "T",
                                  "N,Integer; Name,Char,20; City,CIChar,15; Born,Date; Amount,Double; Flag,Logical;",
                                  &table_),
                  EDS_SUCCESS)
            << LastError();
        EdsCloseTable(table_);
        std::mt19937 rng(seed);
        auto pick = [&](const std::vector<std::string>& from) { return from[rng() % from.size()]; };
        std::string insert = "insert into T (N, Name, City, Born, Amount, Flag) values ";
        for (int i = 0; i < kRows; ++i) {
            char born[16];
            std::snprintf(born, sizeof born, "'%04u-%02u-%02u'", static_cast<unsigned>(1990 + rng() % 40),
                          static_cast<unsigned>(1 + rng() % 12), static_cast<unsigned>(1 + rng() % 28));
            insert += std::string(i ? ", (" : "(") + pick({"NULL", "0", "1", "2", "3", "7", "-4", "25"}) + ", " +
                      pick({"NULL", "''", "'Smith'", "'SMITH'", "'smithers'", "'Müller'", "'O''Hara'", "'Zed'",
                                                "'02/29/2024'", "'2/30/24'", "' 7-4-49 '", "'Zed smith-7'"}) +
                      ", " + pick({"NULL", "'Springfield'", "'SPRINGFIELD'", "'albany'", "'Ávila'", "''"}) + ", " +
                      (rng() % 5 ? std::string(born) : "NULL") + ", " +
                      pick({"NULL", "0", "0.1", "-2.5", "3.25", "10", "1.5"}) + ", " + pick({"NULL", "0", "1"}) + ")";
        }
        EDSHANDLE stmt = 0, cursor = 0;
        EXPECT_EQ(EdsCreateSQLStatement(connection_, &stmt), EDS_SUCCESS);
        EXPECT_EQ(EdsExecuteSQLDirect(stmt, U(insert), &cursor), EDS_SUCCESS) << LastError();
        EdsCloseSQLStatement(stmt);
        EXPECT_EQ(edstest::Open(connection_, "T", 0, &table_), EDS_SUCCESS) << LastError();
        const char* indexes[][2] = {{"UNAME", "UPPER(Name)"}, {"BORN", "Born"}, {"CITY", "City"}};
        for (const auto& [tag, expr] : indexes) {
            EDSHANDLE index = 0;
            EXPECT_EQ(EdsCreateIndex61(table_, U(""), U(tag), U(expr), U(""), U(""), 0, 0, &index), EDS_SUCCESS)
                << LastError();
            indexes_.push_back(index);
        }
        EDSHANDLE descending = 0;
        EXPECT_EQ(EdsCreateIndex61(table_, U(""), U("NDESC"), U("N"), U(""), U(""), EDS_DESCENDING, 0, &descending),
                  EDS_SUCCESS);
        indexes_.push_back(descending);
    }
    ~Table() {
        EdsCloseTable(table_);
        EdsDisconnect(connection_);
    }

    Observed Under(const std::string& aof) {
        Observed o;
        EXPECT_EQ(EdsSetAOF(table_, U(aof), EDS_RESOLVE_DYNAMIC), EDS_SUCCESS) << aof << ": " << LastError();
        EXPECT_EQ(EdsGetRecordCount(table_, EDS_RESPECTFILTERS, &o.count), EDS_SUCCESS);
        o.natural = Walk(table_, true);
        o.backward = Walk(table_, false);
        std::vector<EDSHANDLE> orders{table_};
        for (EDSHANDLE index : indexes_) {
            o.byIndex.push_back(Walk(index, true));
            orders.push_back(index);
        }
        for (EDSHANDLE order : orders) {
            for (UNSIGNED32 r = 1; r <= kRows; r += 7) {
                EXPECT_EQ(EdsGotoRecord(table_, r), EDS_SUCCESS);
                UNSIGNED32 key = 0;
                EXPECT_EQ(EdsGetKeyNum(order, EDS_RESPECTFILTERS, &key), EDS_SUCCESS) << LastError();
                o.keyNumbers.push_back(key);
            }
        }
        EXPECT_EQ(EdsClearAOF(table_), EDS_SUCCESS);
        return o;
    }

private:
    Recs Walk(EDSHANDLE h, bool forward) {
        Recs out;
        EXPECT_EQ(forward ? EdsGotoTop(h) : EdsGotoBottom(h), EDS_SUCCESS) << LastError();
        while (!(forward ? edstest::AtEof(h) : edstest::AtBof(h)) && out.size() <= kRows) {
            out.push_back(edstest::RecNo(table_));
            EXPECT_EQ(EdsSkip(h, forward ? 1 : -1), EDS_SUCCESS) << LastError();
        }
        return out;
    }

    testsupport::TempDir dir_;
    EDSHANDLE connection_ = 0, table_ = 0;
    std::vector<EDSHANDLE> indexes_;
};

bool Translatable(const std::string& text) {
    const std::vector<EdsExprColumn> columns = {{"N", EDS_INTEGER, 4, 0},   {"Name", EDS_STRING, 20, 0},
                                                {"City", EDS_CISTRING, 15, 0}, {"Born", EDS_DATE, 4, 0},
                                                {"Amount", EDS_DOUBLE, 8, 0}, {"Flag", EDS_LOGICAL, 1, 0}};
    EdsExprError error;
    auto expr = EdsExpr::Compile(text, columns, EdsExprSettings{}, error);
    EdsSqlPredicate p;
    return expr && expr->ToSql(p);
}

// Only the evaluator can answer a time of day, and with it the whole OR.
std::string OnlyEvaluated(const std::string& text) { return "(" + text + ") .OR. CTOT(Name) > CTOT('23:59')"; }

TEST(EdsFilterPushdown, SqliteShowsWhatTheEvaluatorShows) {
    const std::vector<std::string> atoms = {
        "N > 2", "N / Amount > 1", "Amount / N < 0", "Name = 'Smi'", "Name == 'Smith'", "UPPER(Name) = 'SMITH'",
        "UPPER(Name) = 'MÜLLER'", "City = 'springfield'", "City == 'Springfield'", "City > 'M'", "'mit' $ Name",
        "EMPTY(Born)", "EMPTY(Name)", "Born + N > CTOD('01/01/2010')", "Born - 30 < CTOD('06/01/2000')",
        "CTOD('01/01/2031') - Born > 5000", "DTOS(Born + Amount) > '2015'", "Flag", "Name - City > 'S'",
        "CONTAINS(Name, 'smith')", "CONTAINS(Name, 'SMI* 7')", "CONTAINS(City, 'spring* ávila')",
        "CONTAINS(City, Name)", "STR(N) = '         7'", "STR(Amount, 5, 1) >= '  1.5'", "STR(Amount * N, 3) $ Name",
        "STR(Amount, N, N - 1) = ' 1.50'", "CHR(N + 64) $ UPPER(Name)", "CHR(N * 37) > 'x'", "CHR(Amount * 100) = '2'",
        "CTOD(Name) > CTOD('01/01/2000')", "EMPTY(CTOD(Name))", "DTOS(CTOD(Name) + N) > '2020'",
        "LEFT(Name, N) = 'Sm'", "SUBSTR(Name, N, 2) = 'mi'", "IIF(Flag, N, Amount) > 2", "Amount * 2 >= N",
        "TRIM(City) + Name = 'albanyZed'", "DTOS(Born + Amount) = DTOS(Born + 1)", "DTOS(Born - Amount) = DTOS(Born - 2)",
        "Born - CTOD('') = 0", "LEFT(Name - City, N + 3) = 'Smith'", "Born >= CTOD('01/01/2015') .AND. Born < CTOD('01/01/2020')",
    };
    {
        // Every form alone, so that none hides behind an OR that happens to hold.
        Table t(4);
        for (const std::string& atom : atoms) {
            SCOPED_TRACE(atom);
            ASSERT_TRUE(Translatable(atom));
            EXPECT_EQ(t.Under(atom), t.Under(OnlyEvaluated(atom)));
        }
    }
    for (unsigned seed = 1; seed <= 3; ++seed) {
        Table t(seed);
        std::mt19937 rng(seed * 7919);
        std::function<std::string(int)> gen = [&](int depth) -> std::string {
            const unsigned pick = rng() % (depth > 2 ? 1 : 4);
            if (pick == 0) return atoms[rng() % atoms.size()];
            if (pick == 1) return ".NOT. (" + gen(depth + 1) + ")";
            return "(" + gen(depth + 1) + (pick == 2 ? " .AND. " : " .OR. ") + gen(depth + 1) + ")";
        };
        for (int i = 0; i < 25; ++i) {
            const std::string text = gen(0);
            SCOPED_TRACE(text);
            const std::string evaluated = OnlyEvaluated(text);
            ASSERT_TRUE(Translatable(text));
            ASSERT_FALSE(Translatable(evaluated));
            const Observed pushed = t.Under(text);
            const Observed judged = t.Under(evaluated);
            EXPECT_EQ(pushed.count, judged.count);
            EXPECT_EQ(pushed.natural, judged.natural);
            EXPECT_EQ(pushed.backward, judged.backward);
            EXPECT_EQ(pushed.byIndex, judged.byIndex);
            EXPECT_EQ(pushed.keyNumbers, judged.keyNumbers);
            EXPECT_EQ(pushed.natural.size(), pushed.count);
        }
    }
}

}  // namespace
