// Results that no table's record numbers stand for (computed columns, grouping,
// unions) arrive while the cursor already reads them: every move, count and
// record number must answer as if the whole result were there, field widths
// must cover rows not yet read, and the table files must be free for writers
// once the rows have arrived.

#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using edstest::LastError;
using edstest::U;

constexpr int kRows = 9000;  // more than one batch of the copy

// Row n (1-based in the table) sorts at position kRows + 1 - n; its label is
// widest for the row that sorts last.
std::string Label(int n) { return (n == 1 ? std::string(37, 'w') : "name" + std::to_string(n % 97)) + "-" + std::to_string(n); }

struct Folder {
    testsupport::TempDir dir;
    EDSHANDLE connection = edstest::Connect(dir.str());

    Folder() {
        EDSHANDLE table = 0;
        EXPECT_EQ(edstest::Create(connection, "T", "N,Integer; Name,Char,40; Stamp,TimeStamp;", &table), EDS_SUCCESS)
            << LastError();
        EdsCloseTable(table);
        Execute("insert into T (N, Name, Stamp) with recursive k(i) as (select 1 union all select i + 1 from k where i < " +
                std::to_string(kRows) + ") select i, CASE WHEN i = 1 THEN '" + std::string(37, 'w') +
                "' ELSE 'name' || (i % 97) END, strftime('%Y-%m-%d %H:%M:%S', 1800000000 - i * 60, 'unixepoch') || "
                "'.000' from k");
    }
    ~Folder() { EdsDisconnect(connection); }

    UNSIGNED32 Execute(const std::string& sql, EDSHANDLE* cursor = nullptr) {
        EDSHANDLE stmt = 0, out = 0;
        EXPECT_EQ(EdsCreateSQLStatement(connection, &stmt), EDS_SUCCESS);
        const UNSIGNED32 rc = EdsExecuteSQLDirect(stmt, U(sql), &out);
        EdsCloseSQLStatement(stmt);
        if (cursor) *cursor = out;
        return rc;
    }
    EDSHANDLE Open(const std::string& sql) {
        EDSHANDLE cursor = 0;
        EXPECT_EQ(Execute(sql, &cursor), EDS_SUCCESS) << sql << ": " << LastError();
        return cursor;
    }
};

UNSIGNED32 Number(EDSHANDLE cursor) {
    UNSIGNED32 length = 4;
    UNSIGNED8 raw[8] = {};
    std::int32_t v = 0;
    if (EdsGetField(cursor, 1, raw, &length, EDS_NONE) != EDS_SUCCESS) return 0;
    std::memcpy(&v, raw, 4);
    return static_cast<UNSIGNED32>(v);
}

UNSIGNED32 Count(EDSHANDLE cursor) {
    UNSIGNED32 count = 0;
    EXPECT_EQ(EdsGetRecordCount(cursor, EDS_RESPECTFILTERS, &count), EDS_SUCCESS) << LastError();
    return count;
}

// Random moves against a model of the result (position p holds row kRows + 1 - p),
// started while the rows are still arriving.
TEST(EdsStreamedResults, MovesCountsAndWidthsAnswerAsForTheWholeResult) {
    Folder f;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        EDSHANDLE cursor = f.Open("select N, Name || '-' || N as Label, N * 0.5 as Half from T order by Stamp");
        // The widest label belongs to the last row of the order.
        UNSIGNED32 length = 0;
        UNSIGNED16 type = 0;
        EDS_OK(EdsGetFieldLength(cursor, "Label", &length));
        EXPECT_EQ(length, Label(1).size());
        EDS_OK(EdsGetFieldType(cursor, "Half", &type));
        EXPECT_EQ(type, EDS_DOUBLE);
        EDS_OK(EdsGetFieldType(cursor, "N", &type));
        EXPECT_EQ(type, EDS_INTEGER);

        std::mt19937 rng(seed);
        std::int64_t at = 0;  // model position; 0 BOF, kRows + 1 EOF
        EDS_OK(EdsGotoTop(cursor));
        at = 1;
        for (int step = 0; step < 300; ++step) {
            const unsigned op = rng() % 10;
            if (op < 4) {
                const int n = static_cast<int>(rng() % 700) + 1;
                EDS_OK(EdsSkip(cursor, n));
                at = std::min<std::int64_t>(at + n, kRows + 1);
            } else if (op < 6) {
                const int n = static_cast<int>(rng() % 300) + 1;
                EDS_OK(EdsSkip(cursor, -n));
                at = std::max<std::int64_t>(at - n, 0);
            } else if (op == 6) {
                const auto r = static_cast<UNSIGNED32>(rng() % (kRows + 50) + 1);
                EdsGotoRecord(cursor, r);
                at = r <= kRows ? r : kRows + 1;
            } else if (op == 7) {
                EXPECT_EQ(Count(cursor), static_cast<UNSIGNED32>(kRows));
            } else if (op == 8) {
                EDS_OK(rng() % 2 ? EdsGotoBottom(cursor) : EdsGotoTop(cursor));
                at = edstest::AtEof(cursor) ? kRows + 1 : (edstest::RecNo(cursor) == 1 ? 1 : kRows);
            } else if (at >= 1 && at <= kRows) {
                UNSIGNED32 key = 0;
                EDS_OK(EdsGetKeyNum(cursor, EDS_RESPECTFILTERS, &key));
                EXPECT_EQ(key, static_cast<UNSIGNED32>(at));
            }
            if (at >= 1 && at <= kRows) {
                ASSERT_FALSE(edstest::AtEof(cursor)) << step;
                ASSERT_EQ(edstest::RecNo(cursor), static_cast<UNSIGNED32>(at)) << step;
                const int n = kRows + 1 - static_cast<int>(at);
                ASSERT_EQ(Number(cursor), static_cast<UNSIGNED32>(n)) << step;
                ASSERT_EQ(edstest::Text(cursor, "Label"), Label(n)) << step;
            } else {
                ASSERT_TRUE(at == 0 ? edstest::AtBof(cursor) : edstest::AtEof(cursor)) << step;
            }
        }
        EDS_OK(EdsCloseTable(cursor));
    }
}

// Widths come from the rows of the result, whatever shape the text has.
TEST(EdsStreamedResults, WidthsFollowTheRowsOfEveryShape) {
    Folder f;
    auto width = [&](const std::string& sql, const char* field) {
        EDSHANDLE cursor = f.Open(sql);
        UNSIGNED32 length = 0;
        EXPECT_EQ(EdsGetFieldLength(cursor, U(field), &length), EDS_SUCCESS) << sql << ": " << LastError();
        EdsCloseTable(cursor);
        return length;
    };
    // A limit after the order picks the rows: only theirs count.
    EXPECT_EQ(width("select Name || '-' || N as Label from T order by Stamp limit 3", "Label"),
              std::string("name" + std::to_string((kRows - 2) % 97) + "-" + std::to_string(kRows - 2)).size());
    EXPECT_EQ(width("select Name || '-' || N as Label from T order by Stamp limit 2 offset " + std::to_string(kRows - 2),
                    "Label"),
              Label(1).size());
    // Grouping, unions, a nested order and a text SQLite cannot nest.
    EXPECT_EQ(width("select N % 3 as G, max(Name) || '!' as M from T group by N % 3 order by G desc", "M"), 38u);
    EXPECT_EQ(width("select 'ab' as X union all select Name || 'x' from T where N = 1 order by 1", "X"), 38u);
    EXPECT_EQ(width("select X from (select Name || '' as X from T order by Stamp limit 1)", "X"), 6u);
    EXPECT_EQ(width("pragma table_info(T)", "name"), 5u);
    // The same name twice, and a statement that fails while it runs.
    EDSHANDLE cursor = f.Open("select N || 'a' as A, N || 'bb' as A from T order by N desc");
    EDS_OK(EdsGotoTop(cursor));
    EXPECT_EQ(edstest::Text(cursor, "A_2"), std::to_string(kRows) + "bb");
    EdsCloseTable(cursor);
    EXPECT_EQ(f.Execute("select json(Name) from T order by Stamp"), static_cast<UNSIGNED32>(EDS_E_SQL));
    EXPECT_NE(LastError().find("malformed JSON"), std::string::npos) << LastError();
}

// The statement ends once its rows have arrived: writers go on, and a cursor
// closed early stops the copy.
TEST(EdsStreamedResults, TablesAreFreeOnceTheRowsHaveArrived) {
    Folder f;
    EDSHANDLE early = f.Open("select N, N + 1 as M from T order by Stamp");
    EdsCloseTable(early);
    EDSHANDLE cursor = f.Open("select N, Name || '.' as X from T order by Stamp");
    EDS_OK(EdsGotoTop(cursor));
    EXPECT_EQ(Number(cursor), static_cast<UNSIGNED32>(kRows));
    EXPECT_EQ(f.Execute("insert into T (N, Name) values(0, 'later')"), EDS_SUCCESS) << LastError();
    EDSHANDLE table = 0;
    EDS_OK(edstest::Open(f.connection, "T", EDS_EXCLUSIVE, &table));
    EDS_OK(EdsCloseTable(table));
    EXPECT_EQ(Count(cursor), static_cast<UNSIGNED32>(kRows));
    EDS_OK(EdsCloseTable(cursor));
    // One left open goes with the connection.
    f.Open("select N, N * 2 as M from T order by Stamp desc");
}

// Filters on a result see its computed columns, case folding included, whether
// SQLite or the evaluator judges them.
TEST(EdsStreamedResults, FiltersJudgeComputedColumns) {
    Folder f;
    EDSHANDLE cursor = f.Open("select N, upper(Name) || '-' || N as Label from T order by Stamp");
    for (const char* aof : {"UPPER(Label) = 'NAME3-'", "Label = 'NAME3-' .OR. CTOT(Label) > CTOT('23:59')"}) {
        SCOPED_TRACE(aof);
        EDS_OK(EdsSetAOF(cursor, U(aof), EDS_RESOLVE_DYNAMIC));
        std::vector<UNSIGNED32> shown;
        EDS_OK(EdsGotoTop(cursor));
        while (!edstest::AtEof(cursor)) {
            shown.push_back(Number(cursor));
            EDS_OK(EdsSkip(cursor, 1));
        }
        std::vector<UNSIGNED32> expected;  // in the order of the stamps: the highest numbers first
        for (int n = kRows; n >= 1; --n)
            if (n % 97 == 3) expected.push_back(static_cast<UNSIGNED32>(n));
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(Count(cursor), expected.size());
        EDS_OK(EdsClearAOF(cursor));
    }
    EdsCloseTable(cursor);
}

}  // namespace
