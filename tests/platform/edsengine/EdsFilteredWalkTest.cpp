// Walks under a filter through tables larger than one read ahead passes over:
// every passing record in its order, both ways, in record order and in index
// orders (ascending, descending, scoped), whether SQLite or the evaluator judges
// the filter; a slow read is not read again at every skip, nor a fresh one
// checked again; and changes made elsewhere show once the rows read are old.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/edsengine/EdsCursor.h"
#include "platform/edsengine/EdsObjects.h"
#include "platform/edsengine/eds.h"
#include "tests/platform/edsengine/EdsTestHelpers.h"
#include "tests/support/TestSupport.h"

using namespace edstest;

namespace {

using Clock = std::chrono::steady_clock;

// Rows i = 0 .. n-1 with record number i + 1; K is a permutation of the record
// numbers' order, so that the index on K scatters the rows.
struct Walk {
    testsupport::TempDir dir;
    EDSHANDLE connection = 0;
    EDSHANDLE table = 0;
    EDSHANDLE byKey = 0;
    EDSHANDLE byKeyDown = 0;
    long n;

    static std::string Key(long i, long n) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%06ld", (i * 7919) % n);
        return buf;
    }

    // City is 'Ashby' where `passing` holds of i, else 'Other'.
    Walk(long rows, const std::string& passing) : n(rows) {
        connection = Connect(dir.str());
        EXPECT_EQ(Create(connection, "Walk", "K,Char,8; City,Char,12;", &table), EDS_SUCCESS) << LastError();
        EXPECT_EQ(EdsCloseTable(table), EDS_SUCCESS) << LastError();
        Sql("INSERT INTO Walk(K, City) WITH RECURSIVE r(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM r WHERE i < " +
            std::to_string(n - 1) + ") SELECT printf('%06d', (i * 7919) % " + std::to_string(n) +
            "), CASE WHEN " + passing + " THEN 'Ashby' ELSE 'Other' END FROM r");
        EXPECT_EQ(Open(connection, "Walk", 0, &table), EDS_SUCCESS) << LastError();
        EXPECT_EQ(EdsCreateIndex61(table, U(""), U("ByKey"), U("K"), U(""), U(""), 0, 0, &byKey), EDS_SUCCESS)
            << LastError();
        EXPECT_EQ(EdsCreateIndex61(table, U(""), U("ByKeyDown"), U("K"), U(""), U(""), EDS_DESCENDING, 0, &byKeyDown),
                  EDS_SUCCESS)
            << LastError();
    }
    ~Walk() {
        EdsCloseTable(table);
        EdsDisconnect(connection);
    }

    // Changes the file the way another station does, past this process's engine.
    void Sql(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((dir.str() + "/Walk.edt").c_str(), &db), SQLITE_OK);
        sqlite3_busy_timeout(db, 2000);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }

    eds::Cursor& Cursor() { return eds::Navigate(table).table->Cur(); }

    // Record numbers from the top to the end (or, backward, from the bottom).
    std::vector<long> Visit(EDSHANDLE order, bool forward = true) {
        std::vector<long> seen;
        EXPECT_EQ(forward ? EdsGotoTop(order) : EdsGotoBottom(order), EDS_SUCCESS) << LastError();
        while (forward ? !AtEof(order) : !AtBof(order)) {
            seen.push_back(RecNo(table));
            if (EdsSkip(order, forward ? 1 : -1) != EDS_SUCCESS) {
                ADD_FAILURE() << LastError();
                break;
            }
        }
        return seen;
    }

    // The record numbers of the rows i that pass, by record number or by key.
    std::vector<long> Expected(bool (*passes)(long), bool byKeys, bool (*inScope)(const std::string&) = nullptr) const {
        std::vector<long> out;
        for (long i = 0; i < n; ++i)
            if (passes(i) && (!inScope || inScope(Key(i, n)))) out.push_back(i + 1);
        if (byKeys)
            std::sort(out.begin(), out.end(), [this](long a, long b) { return Key(a - 1, n) < Key(b - 1, n); });
        return out;
    }
};

std::vector<long> Reversed(std::vector<long> v) {
    std::reverse(v.begin(), v.end());
    return v;
}

// Counts the SELECTs and the asks for the file's data version a connection runs.
struct Reads {
    int selects = 0;
    int versionChecks = 0;
};
int CountReads(unsigned, void* reads, void*, void* sql) {
    const std::string_view text(static_cast<const char*>(sql));
    auto& count = *static_cast<Reads*>(reads);
    if (text.rfind("SELECT", 0) == 0) ++count.selects;
    if (text.rfind("PRAGMA", 0) == 0 && text.find("data_version") != std::string_view::npos) ++count.versionChecks;
    return 0;
}

}  // namespace

TEST(EdsFilteredWalk, EveryPassingRowInEveryOrderBothWays) {
    // Clusters far apart in record order (more rows between them than a read passes
    // over), and scattered in key order.
    Walk t(20000, "i % 4999 = 7 OR i >= 19990");
    const auto passes = [](long i) { return i % 4999 == 7 || i >= 19990; };
    const auto scope = [](const std::string& k) { return k >= "004000" && k < "016000"; };
    // The same condition as SQLite judges it and as only the evaluator can (an OR
    // with a time of day, which has no SQL form).
    for (const char* filter : {"City = 'Ashby'", "City = 'Ashby' .OR. CTOT(City) > CTOT('23:59')"}) {
        SCOPED_TRACE(filter);
        EDS_OK(EdsSetAOF(t.table, U(filter), EDS_RESOLVE_DYNAMIC));
        const std::vector<long> natural = t.Expected(passes, false);
        const std::vector<long> byKey = t.Expected(passes, true);
        ASSERT_EQ(natural.size(), 14u);
        // Twice each, since what the first walk learns about the filter shapes the second.
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(t.Visit(t.table), natural);
            EXPECT_EQ(t.Visit(t.table, false), Reversed(natural));
            EXPECT_EQ(t.Visit(t.byKey), byKey);
            EXPECT_EQ(t.Visit(t.byKey, false), Reversed(byKey));
            EXPECT_EQ(t.Visit(t.byKeyDown), Reversed(byKey));
            EXPECT_EQ(t.Visit(t.byKeyDown, false), byKey);
        }
        EDS_OK(EdsSetScope(t.byKey, EDS_TOP, U("004000"), 6, EDS_STRINGKEY));
        EDS_OK(EdsSetScope(t.byKey, EDS_BOTTOM, U("015999"), 6, EDS_STRINGKEY));
        EXPECT_EQ(t.Visit(t.byKey), t.Expected(passes, true, scope));
        EXPECT_EQ(t.Visit(t.byKey, false), Reversed(t.Expected(passes, true, scope)));
        EDS_OK(EdsClearAllScopes(t.table));
        EDS_OK(EdsClearAOF(t.table));
    }
}

TEST(EdsFilteredWalk, ASlowReadIsNotReadAgainAtEverySkip) {
    // A read that takes longer than the freshness time: the clock moves on by more
    // than that whenever it is read.
    Walk t(20000, "i % 40 = 3");
    const auto passes = [](long i) { return i % 40 == 3; };
    Clock::time_point now{};
    t.Cursor().SetClock([&now] { return now += eds::kFreshFor + std::chrono::milliseconds(100); });
    Reads reads;
    sqlite3_trace_v2(eds::Navigate(t.table).table->File().Db(), SQLITE_TRACE_STMT, CountReads, &reads);
    for (const char* filter : {"City = 'Ashby'", "City = 'Ashby' .OR. CTOT(City) > CTOT('23:59')"}) {
        SCOPED_TRACE(filter);
        EDS_OK(EdsSetAOF(t.table, U(filter), EDS_RESOLVE_DYNAMIC));
        for (EDSHANDLE order : {t.table, t.byKey}) {
            reads = Reads{};
            const std::vector<long> seen = t.Visit(order);
            EXPECT_EQ(seen, t.Expected(passes, order != t.table));
            // 500 rows: a few reads per 256 of them, and one pass to learn the filter.
            EXPECT_LE(reads.selects, 24) << "reads for a walk over " << seen.size() << " rows";
        }
    }
    sqlite3_trace_v2(eds::Navigate(t.table).table->File().Db(), 0, nullptr, nullptr);
}

TEST(EdsFilteredWalk, RowsReadAheadAreNotCheckedAgainWhileFresh) {
    // The clock stands still: every row read stays fresh for the whole walk, so
    // none of them needs the file asked whether another station changed it.
    Walk t(20000, "i % 40 = 3");
    const auto passes = [](long i) { return i % 40 == 3; };
    const Clock::time_point now{std::chrono::hours(1)};
    t.Cursor().SetClock([now] { return now; });
    Reads reads;
    sqlite3* db = eds::Navigate(t.table).table->File().Db();
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, CountReads, &reads);
    for (const char* filter : {"City = 'Ashby'", "City = 'Ashby' .OR. CTOT(City) > CTOT('23:59')"}) {
        SCOPED_TRACE(filter);
        EDS_OK(EdsSetAOF(t.table, U(filter), EDS_RESOLVE_DYNAMIC));
        for (EDSHANDLE order : {t.table, t.byKey}) {
            for (bool forward : {true, false}) {
                reads = Reads{};
                const std::vector<long> seen = t.Visit(order, forward);
                const std::vector<long> expected = t.Expected(passes, order != t.table);
                EXPECT_EQ(seen, forward ? expected : Reversed(expected));
                EXPECT_LE(reads.selects, 24) << "reads for a walk over " << seen.size() << " rows";
                EXPECT_LE(reads.versionChecks, 2) << "version checks for a walk over " << seen.size() << " rows";
            }
        }
    }
    sqlite3_trace_v2(db, 0, nullptr, nullptr);
}

TEST(EdsFilteredWalk, RowsCheckedOnceStayFreshForAWholeWindowAgain) {
    // The clock moves a quarter of the freshness time whenever it is read: the
    // rows go stale again and again during the walk, and each check of the
    // file's version makes them fresh for a whole window.
    Walk t(20000, "i % 40 = 3");
    const auto passes = [](long i) { return i % 40 == 3; };
    Clock::time_point now{std::chrono::hours(1)};
    long ticks = 0;
    t.Cursor().SetClock([&] {
        ++ticks;
        return now += eds::kFreshFor / 4;
    });
    Reads reads;
    sqlite3* db = eds::Navigate(t.table).table->File().Db();
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, CountReads, &reads);
    for (const char* filter : {"", "City = 'Ashby'", "City = 'Ashby' .OR. CTOT(City) > CTOT('23:59')"}) {
        SCOPED_TRACE(filter);
        if (*filter) {
            EDS_OK(EdsSetAOF(t.table, U(filter), EDS_RESOLVE_DYNAMIC));
        }
        for (EDSHANDLE order : {t.table, t.byKey}) {
            for (bool forward : {true, false}) {
                reads = Reads{};
                ticks = 0;
                const std::vector<long> seen = t.Visit(order, forward);
                if (*filter) {
                    const std::vector<long> expected = t.Expected(passes, order != t.table);
                    EXPECT_EQ(seen, forward ? expected : Reversed(expected));
                } else {
                    EXPECT_EQ(seen.size(), 20000u);
                }
                // One check a window of the clock's time at most (a window is
                // four readings), and one more after each read.
                EXPECT_LE(reads.versionChecks, ticks / 4 + reads.selects + 2)
                    << ticks << " readings of the clock over " << seen.size() << " rows";
            }
        }
    }
    sqlite3_trace_v2(db, 0, nullptr, nullptr);
}

// Counts the steps of SQLite's machine, a hundred at a time.
int CountWork(void* count) {
    ++*static_cast<long*>(count);
    return 0;
}

// A seek finds the first passing key at or after its own; what lies further
// is read by the skips that want it, within their budget, not by the seek.
TEST(EdsFilteredWalk, ASeekUnderAFilterReadsNoFurtherThanTheRowItFinds) {
    Walk t(20000, "(i * 7919) % 20000 IN (10, 19990)");
    long first = 0, last = 0;
    for (long i = 0; i < t.n; ++i) {
        if (Walk::Key(i, t.n) == "000010") first = i + 1;
        if (Walk::Key(i, t.n) == "019990") last = i + 1;
    }
    sqlite3* db = eds::Navigate(t.table).table->File().Db();
    for (const char* filter : {"City = 'Ashby'", "City = 'Ashby' .OR. CTOT(City) > CTOT('23:59')"}) {
        SCOPED_TRACE(filter);
        EDS_OK(EdsSetAOF(t.table, U(filter), EDS_RESOLVE_DYNAMIC));
        long work = 0;
        sqlite3_progress_handler(db, 100, CountWork, &work);
        UNSIGNED16 found = 1;
        EDS_OK(EdsSeek(t.byKey, U("000009Z"), 7, EDS_STRINGKEY, EDS_SOFTSEEK, &found));
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
        EXPECT_EQ(found, 0);
        EXPECT_EQ(RecNo(t.table), first);
        // Reading on to the end of the 20,000 rows took about 160,000 steps.
        EXPECT_LT(work, 50) << "hundreds of steps for a seek whose row is among the first read";
        EDS_OK(EdsSkip(t.byKey, 1));
        EXPECT_EQ(RecNo(t.table), last);
        EDS_OK(EdsSkip(t.byKey, 1));
        EXPECT_TRUE(AtEof(t.byKey));
        EDS_OK(EdsClearAOF(t.table));
    }
}

TEST(EdsFilteredWalk, ChangesElsewhereShowOnceTheRowsReadAreOld) {
    Walk t(20000, "i % 40 = 3");
    Clock::time_point now{};
    t.Cursor().SetClock([&now] { return now; });
    EDS_OK(EdsSetAOF(t.table, U("City = 'Ashby'"), EDS_RESOLVE_DYNAMIC));
    std::vector<long> expected = t.Expected([](long i) { return i % 40 == 3; }, true);
    // Far enough into the walk that it has learnt which records pass.
    EDS_OK(EdsGotoTop(t.byKey));
    EDS_OK(EdsSkip(t.byKey, 100));
    ASSERT_EQ(static_cast<long>(RecNo(t.table)), expected[100]);

    // Another station makes a row further on pass and one that passed fail.
    const long gained = 2 * 40 + 11, lost = expected[300];
    ASSERT_GT(Walk::Key(gained - 1, t.n), Walk::Key(expected[200] - 1, t.n));
    t.Sql("UPDATE Walk SET City = 'Ashby' WHERE rowid = " + std::to_string(gained) +
          "; UPDATE Walk SET City = 'Other' WHERE rowid = " + std::to_string(lost));
    now += eds::kFreshFor;
    // And a change here, through another handle, shows at once.
    EDSHANDLE second = 0;
    EDS_OK(Open(t.connection, "Walk", 0, &second));
    EDS_OK(EdsGotoRecord(second, static_cast<UNSIGNED32>(expected[400])));
    EDS_OK(SetText(second, "City", "Elsewhere"));
    EDS_OK(EdsWriteRecord(second));
    EdsCloseTable(second);

    std::vector<long> rest;
    while (EdsSkip(t.byKey, 1) == EDS_SUCCESS && !AtEof(t.byKey)) rest.push_back(RecNo(t.table));
    std::vector<long> now101(expected.begin() + 101, expected.end());
    now101.erase(std::find(now101.begin(), now101.end(), lost));
    now101.erase(std::find(now101.begin(), now101.end(), expected[400]));
    now101.insert(std::find_if(now101.begin(), now101.end(),
                               [&](long r) { return Walk::Key(r - 1, t.n) > Walk::Key(gained - 1, t.n); }),
                  gained);
    EXPECT_EQ(rest, now101);
}
