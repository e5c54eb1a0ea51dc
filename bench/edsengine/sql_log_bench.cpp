// SQL and AOF figures on a million-row log, against the sqlite3 command-line
// tool on the same file in the same run:
//  - the rows written by one INSERT ... SELECT through the engine's SQL, and then
//    changed by one UPDATE of an Integer column of every row, beside the same two
//    statements straight on SQLite into a copy of the empty table file (the
//    engine checks every value it stores against its field); and 200 UPDATEs of
//    one row each, of a Char and an Integer column as marking a batch row printed
//    does, beside the same texts prepared and run one by one on SQLite (on a
//    disk the commits dominate: TMPDIR=/dev/shm shows the statements' own cost);
//  - the whole-table UPDATE again (all rows but the last), in CPU seconds,
//    while another open of the table holds the last row's record lock, beside
//    the same UPDATE with no lock held and on SQLite alone;
//  - "select * from Log37 order by DATETIME" opened and positioned on its first
//    row (target: under 1 s, cursor memory under 64 MB);
//  - the AOF "(Batch = True)" on the table: time to its first row, compared
//    with the same WHERE in the sqlite3 tool (target: within 1.5x). The few
//    batch rows sit at the end, so both have to pass the whole table.
//  - "select *, 1 as X from Log37 order by DATETIME" (a result the engine reads
//    as the statement gives it): first row and peak memory, beside the sqlite3
//    tool's first row and its peak memory (targets: within 1.5x, under 64 MB); and
//    when all its rows have arrived (its record count), beside the tool's count of
//    the whole sorted result;
//  - the record count of the table without and with the AOF, beside the tool's
//    count(*) with and without the same WHERE; the key number of the last row
//    under the AOF, and both again where only the evaluator can judge the AOF;
//  - 10,000 alternating skips (+1, -1) on the table, beside the same moves as
//    single-row keyset queries straight on SQLite;
//  - one DELETE of every row through the engine's SQL, beside the same DELETE
//    on SQLite alone (which may empty the table at once where the engine
//    judges every row it removes);
//  - in CPU seconds, a table without AutoInc filled by the INSERT ... SELECT
//    (a tenth of the rows), emptied and filled again (the new rows land below
//    the numbers handed out, and move above them), beside the same statements
//    on SQLite alone; and 200 one-row INSERTs into that table, beside the same
//    into the AutoInc table and on SQLite alone.
// Usage: sql_log_bench [rows]   (default 1000000)

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "bench/edsengine/LogBench.h"
#include "platform/edsengine/eds.h"

namespace {

using namespace logbench;

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// CPU seconds of this process: a shared machine's load leaves them alone.
double CpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A memory figure of this process from /proc/self/status ("VmRSS:", "VmHWM:"), in MB.
double StatusMb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}
// Resident memory now; and its peak since the last reset (the reset makes the next
// peak this process's own again).
double ResidentMb() { return StatusMb("VmRSS:"); }
double PeakMb() { return StatusMb("VmHWM:"); }
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

EDSHANDLE Execute(EDSHANDLE connection, const std::string& sql) {
    EDSHANDLE stmt = 0, cursor = 0;
    Check(EdsCreateSQLStatement(connection, &stmt), "EdsCreateSQLStatement");
    Check(EdsExecuteSQLDirect(stmt, U(sql), &cursor), sql.c_str());
    Check(EdsCloseSQLStatement(stmt), "EdsCloseSQLStatement");
    return cursor;
}

// Wall time of the sqlite3 tool running one query on the file (output discarded).
double CliSeconds(const std::string& file, const std::string& sql) {
    std::string command = "sqlite3 '" + file + "' \"" + sql + "\" > /dev/null";
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", command.c_str());
        std::exit(1);
    }
    return Seconds(start);
}

// The sqlite3 tool's wall time and peak memory (MB) for one query.
std::pair<double, double> CliRun(const std::string& file, const std::string& sql) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execlp("sqlite3", "sqlite3", file.c_str(), sql.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", sql.c_str());
        std::exit(1);
    }
    return {Seconds(start), static_cast<double>(usage.ru_maxrss) / 1024.0};
}

// Wall time until the sqlite3 tool prints the first row of a query as it stands
// (no LIMIT, which would let SQLite keep only the top row instead of sorting all).
double CliFirstLineSeconds(const std::string& file, const std::string& sql) {
    int out[2];
    if (::pipe(out) != 0) std::exit(1);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::execlp("sqlite3", "sqlite3", file.c_str(), sql.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    char c = 0;
    bool line = false;
    while (::read(out[0], &c, 1) == 1) {
        if (c == '\n') {
            line = true;
            break;
        }
    }
    const double seconds = Seconds(start);
    ::kill(pid, SIGKILL);
    ::close(out[0]);
    ::waitpid(pid, nullptr, 0);
    if (!line) {
        std::fprintf(stderr, "sqlite3 printed no row: %s\n", sql.c_str());
        std::exit(1);
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (std::system("command -v sqlite3 > /dev/null") != 0) {
        std::fprintf(stderr, "the sqlite3 tool is needed for the comparison\n");
        return 1;
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("sql_log_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string file = (folder / "Log37.edt").string();

    EDSHANDLE connection = 0, table = 0;
    Check(EdsConnect60(U(folder.string()), EDS_LOCAL_SERVER, U(""), U(""), 0, &connection), "EdsConnect60");
    Check(EdsCreateTable(connection, U("Log37"), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0,
                         U(kLog37), &table),
          "EdsCreateTable");
    Check(EdsCloseTable(table), "EdsCloseTable");

    // The rows go in through the engine's own SQL; dates run backwards against
    // the record numbers so that the ORDER BY really sorts. The same statements
    // run straight on SQLite against a copy of the empty file, in a folder of its own.
    const std::filesystem::path plainFolder = folder / "plain";
    std::filesystem::create_directories(plainFolder);
    const std::string plainFile = (plainFolder / "Log37.edt").string();
    std::filesystem::copy_file(file, plainFile);
    const std::string n = std::to_string(rows);
    auto fillOf = [](const std::string& table, long count) {
        const std::string n = std::to_string(count);
        return "insert into " + table + " (DateTime, MailerNum, CustID, SerialNum, ToAddress1, ToCity, ToState, ToZip, "
        "YourAddress1, Postage, Certified, Return, Total, WishRest, Batch, Result) "
        "with recursive k(i) as (select 1 union all select i + 1 from k where i < " + n + ") "
        "select strftime('%Y-%m-%d %H:%M:%S', 1800000000 - i * 37, 'unixepoch') || '.000', "
        "printf('9214 8901 %04d %04d %04d %04d 12', i % 10000, i / 10000, i % 7, i % 13), '123456789', i, "
        "'Recipient ' || i, 'Springfield', 'IL', '62701', 'Sender Inc', '  2.40', '  3.45', '  2.85', '  8.70', "
        "i % 2, i > " + n + " - " + std::to_string(count / 100 + 1) + ", 'None' from k";
    };
    const std::string fill = fillOf("Log37", rows);
    const std::string change = "update Log37 set SerialNum = SerialNum + 1";
    const int singles = 200;
    auto single = [&](int k) {
        return "update Log37 set Result = 'Received', SerialNum = " + std::to_string(k) +
               " where LID = " + std::to_string(1 + (static_cast<long>(k) * 7919) % rows);
    };
    auto start = std::chrono::steady_clock::now();
    Execute(connection, fill);
    const double filled = Seconds(start);
    start = std::chrono::steady_clock::now();
    Execute(connection, change);
    const double changed = Seconds(start);
    start = std::chrono::steady_clock::now();
    for (int k = 0; k < singles; ++k) Execute(connection, single(k));
    const double each = Seconds(start) / singles;
    {
        sqlite3* db = nullptr;
        SqlCheck(db, sqlite3_open(plainFile.c_str(), &db), "open");
        start = std::chrono::steady_clock::now();
        SqlCheck(db, sqlite3_exec(db, fill.c_str(), nullptr, nullptr, nullptr), "insert");
        const double plainFilled = Seconds(start);
        start = std::chrono::steady_clock::now();
        SqlCheck(db, sqlite3_exec(db, change.c_str(), nullptr, nullptr, nullptr), "update");
        const double plainChanged = Seconds(start);
        start = std::chrono::steady_clock::now();
        for (int k = 0; k < singles; ++k)
            SqlCheck(db, sqlite3_exec(db, single(k).c_str(), nullptr, nullptr, nullptr), "update");
        const double plainEach = Seconds(start) / singles;
        sqlite3_close(db);
        std::printf("filled %ld rows by one INSERT ... SELECT in %.2f s (SQLite alone: %.2f s, ratio %.2f); "
                    "one UPDATE of SerialNum in every row %.2f s (SQLite alone: %.2f s, ratio %.2f)\n"
                    "  %d UPDATEs of one row each: %.0f us a statement (SQLite alone: %.0f us, ratio %.2f)\n",
                    rows, filled, plainFilled, filled / plainFilled, changed, plainChanged, changed / plainChanged,
                    singles, each * 1e6, plainEach * 1e6, each / plainEach);
    }

    // Beside another station: the whole-table UPDATE while another open holds a
    // record lock on a row the statement does not touch.
    {
        const std::string skip = "update Log37 set SerialNum = SerialNum + 1 where LID <> " + n;
        EDSHANDLE other = 0;
        Check(EdsOpenTable(connection, U("Log37"), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING,
                           EDS_CHECK_RIGHTS, 0, &other),
              "EdsOpenTable");
        Check(EdsLockRecord(other, static_cast<UNSIGNED32>(rows)), "EdsLockRecord");
        double cpu = CpuSeconds();
        Execute(connection, skip);
        const double locked = CpuSeconds() - cpu;
        Check(EdsUnlockRecord(other, static_cast<UNSIGNED32>(rows)), "EdsUnlockRecord");
        Check(EdsCloseTable(other), "EdsCloseTable");
        cpu = CpuSeconds();
        Execute(connection, skip);
        const double unlocked = CpuSeconds() - cpu;
        sqlite3* db = nullptr;
        SqlCheck(db, sqlite3_open(plainFile.c_str(), &db), "open");
        cpu = CpuSeconds();
        SqlCheck(db, sqlite3_exec(db, skip.c_str(), nullptr, nullptr, nullptr), "update");
        const double plain = CpuSeconds() - cpu;
        sqlite3_close(db);
        std::printf("one UPDATE of SerialNum in every row but the last, CPU: %.2f s with another open holding the "
                    "last row's lock, %.2f s with no lock held (ratio %.2f); SQLite alone %.2f s (ratio %.2f)\n",
                    locked, unlocked, locked / unlocked, plain, locked / plain);
    }

    // 1. The log window's query.
    const double before = ResidentMb();
    start = std::chrono::steady_clock::now();
    EDSHANDLE cursor = Execute(connection, "select * from Log37 order by DATETIME");
    Check(EdsGotoTop(cursor), "EdsGotoTop");
    UNSIGNED32 length = 0;
    Check(EdsGetRecordLength(cursor, &length), "EdsGetRecordLength");
    std::string image(length, '\0');
    Check(EdsGetRecord(cursor, reinterpret_cast<UNSIGNED8*>(image.data()), &length), "EdsGetRecord");
    const double open = Seconds(start);
    const double memory = ResidentMb() - before;
    const double cliSort = CliSeconds(file, "select * from Log37 order by DATETIME");
    const double cliFirst = CliSeconds(file, "select * from Log37 order by DATETIME limit 1");
    std::printf("select * from Log37 order by DATETIME: first row after %.3f s (target < 1 s), cursor memory "
                "%.1f MB (target < 64 MB)\n  sqlite3 tool: whole query %.3f s (ratio %.2f), first row only "
                "(limit 1) %.3f s (ratio %.2f)\n",
                open, memory, cliSort, open / cliSort, cliFirst, open / cliFirst);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000; ++i) Check(EdsSkip(cursor, 1), "EdsSkip");
    std::printf("  10000 skips through the result: %.3f s\n", Seconds(start));
    Check(EdsCloseTable(cursor), "EdsCloseTable");

    // 2. A result with a computed column.
    {
        const std::string sql = "select *, 1 as X from Log37 order by DATETIME";
        const double base = ResidentMb();
        ResetPeak();
        start = std::chrono::steady_clock::now();
        EDSHANDLE computed = Execute(connection, sql);
        Check(EdsGotoTop(computed), "EdsGotoTop");
        UNSIGNED32 len = 0;
        Check(EdsGetRecordLength(computed, &len), "EdsGetRecordLength");
        std::string row(len, '\0');
        Check(EdsGetRecord(computed, reinterpret_cast<UNSIGNED8*>(row.data()), &len), "EdsGetRecord");
        const double first = Seconds(start);
        const double peakAll = PeakMb();
        const double peak = peakAll - base;
        // The rest of the rows arrive behind the first; a count waits for all of them.
        UNSIGNED32 total = 0;
        Check(EdsGetRecordCount(computed, EDS_RESPECTFILTERS, &total), "EdsGetRecordCount");
        const double counted = Seconds(start);
        const double peakCounted = PeakMb();
        Check(EdsCloseTable(computed), "EdsCloseTable");
        const auto [cliTime, cliPeak] = CliRun(file, sql + " limit 1");
        const double cliWhole = CliRun(file, "select count(*) from (" + sql + ")").first;
        const double cliFirstLine = CliFirstLineSeconds(file, sql);
        std::printf("%s: first row after %.3f s, peak memory %.1f MB (+%.1f MB over the process before; target "
                    "< 64 MB)\n  sqlite3 tool, first row (limit 1): %.3f s, peak memory %.1f MB; ratio %.2f\n"
                    "  sqlite3 tool, first row printed of the query as it stands: %.3f s; ratio %.2f (target "
                    "<= 1.5)\n  all %u rows arrived (record count) after %.3f s, peak memory %.1f MB; sqlite3 tool, "
                    "the whole sorted result counted: %.3f s\n",
                    sql.c_str(), first, peakAll, peak, cliTime, cliPeak, first / cliTime, cliFirstLine,
                    first / cliFirstLine, total, counted, peakCounted, cliWhole);
    }

    // 3. Record counts, and alternating skips, on the table.
    Check(EdsOpenTable(connection, U("Log37"), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0,
                       &table),
          "EdsOpenTable");
    {
        UNSIGNED32 count = 0;
        start = std::chrono::steady_clock::now();
        Check(EdsGetRecordCount(table, EDS_RESPECTFILTERS, &count), "EdsGetRecordCount");
        const double plain = Seconds(start);
        Check(EdsSetAOF(table, U("(Batch = True)"), EDS_RESOLVE_DYNAMIC), "EdsSetAOF");
        UNSIGNED32 filtered = 0;
        start = std::chrono::steady_clock::now();
        Check(EdsGetRecordCount(table, EDS_RESPECTFILTERS, &filtered), "EdsGetRecordCount");
        const double withAof = Seconds(start);
        // The key number of the last visible row, under the AOF as SQLite runs it and
        // as only the evaluator can (an OR with a term that has no SQL form).
        auto keyNumber = [&] {
            Check(EdsGotoBottom(table), "EdsGotoBottom");
            UNSIGNED32 key = 0;
            start = std::chrono::steady_clock::now();
            Check(EdsGetKeyNum(table, EDS_RESPECTFILTERS, &key), "EdsGetKeyNum");
            return std::make_pair(key, Seconds(start));
        };
        const auto [key, keyTime] = keyNumber();
        Check(EdsSetAOF(table, U("(Batch = True) .OR. STR(SerialNum) = '#'"), EDS_RESOLVE_DYNAMIC), "EdsSetAOF");
        UNSIGNED32 judged = 0;
        start = std::chrono::steady_clock::now();
        Check(EdsGetRecordCount(table, EDS_RESPECTFILTERS, &judged), "EdsGetRecordCount");
        const double judgedCount = Seconds(start);
        const auto [judgedKey, judgedKeyTime] = keyNumber();
        Check(EdsClearAOF(table), "EdsClearAOF");
        const double cliPlain = CliRun(file, "select count(*) from Log37").first;
        const double cliWhere = CliRun(file, "select count(*) from Log37 where (Batch = 1)").first;
        std::printf("RecordCount: %u rows in %.4f s (sqlite3 tool count(*), with its start: %.4f s); with the AOF "
                    "(Batch = True): %u rows in %.4f s (sqlite3 tool, same WHERE: %.4f s)\n"
                    "  EdsGetKeyNum of the last row under that AOF: %u in %.4f s; the same AOF where only the "
                    "evaluator can judge it: RecordCount %u in %.3f s, EdsGetKeyNum %u in %.3f s\n",
                    count, plain, cliPlain, filtered, withAof, cliWhere, key, keyTime, judged, judgedCount, judgedKey,
                    judgedKeyTime);
    }
    {
        Check(EdsGotoTop(table), "EdsGotoTop");
        Check(EdsSkip(table, 500), "EdsSkip");
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < 10000; ++i) Check(EdsSkip(table, i % 2 ? -1 : 1), "EdsSkip");
        const double engine = Seconds(start);
        // The same moves on SQLite alone: one keyset query of one row per step.
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* next = nullptr;
        sqlite3_stmt* prior = nullptr;
        sqlite3_prepare_v2(db, "SELECT rowid, * FROM Log37 WHERE rowid > ? ORDER BY rowid LIMIT 1", -1, &next, nullptr);
        sqlite3_prepare_v2(db, "SELECT rowid, * FROM Log37 WHERE rowid < ? ORDER BY rowid DESC LIMIT 1", -1, &prior,
                           nullptr);
        sqlite3_int64 at = 501;
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < 10000; ++i) {
            sqlite3_stmt* q = i % 2 ? prior : next;
            sqlite3_bind_int64(q, 1, at);
            SqlCheck(db, sqlite3_step(q), "keyset step");
            at = sqlite3_column_int64(q, 0);
            sqlite3_reset(q);
        }
        const double raw = Seconds(start);
        sqlite3_finalize(next);
        sqlite3_finalize(prior);
        sqlite3_close(db);
        std::printf("10000 alternating skips: %.3f s (%.1f us a step); SQLite alone, one-row keyset queries: %.3f s "
                    "(%.1f us a step)\n",
                    engine, engine * 100, raw, raw * 100);
    }
    Check(EdsCloseTable(table), "EdsCloseTable");

    // 4. The AOF on the table, natural order.
    Check(EdsOpenTable(connection, U("Log37"), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING, EDS_CHECK_RIGHTS, 0,
                       &table),
          "EdsOpenTable");
    start = std::chrono::steady_clock::now();
    Check(EdsSetAOF(table, U("(Batch = True)"), EDS_RESOLVE_DYNAMIC), "EdsSetAOF");
    Check(EdsGotoTop(table), "EdsGotoTop");
    length = static_cast<UNSIGNED32>(image.size());
    Check(EdsGetRecord(table, reinterpret_cast<UNSIGNED8*>(image.data()), &length), "EdsGetRecord");
    const double aof = Seconds(start);
    const double cliWhere = CliSeconds(file, "select * from Log37 where (Batch = True) limit 1");
    std::printf("AOF (Batch = True): first row after %.3f s; sqlite3 tool, same WHERE %.3f s; ratio %.2f "
                "(target <= 1.5)\n",
                aof, cliWhere, aof / cliWhere);
    Check(EdsCloseTable(table), "EdsCloseTable");

    // 5. Every row deleted by one statement.
    {
        const std::string wipe = "delete from Log37";
        start = std::chrono::steady_clock::now();
        Execute(connection, wipe);
        const double wiped = Seconds(start);
        sqlite3* db = nullptr;
        SqlCheck(db, sqlite3_open(plainFile.c_str(), &db), "open");
        start = std::chrono::steady_clock::now();
        SqlCheck(db, sqlite3_exec(db, wipe.c_str(), nullptr, nullptr, nullptr), "delete");
        const double plainWiped = Seconds(start);
        sqlite3_close(db);
        std::printf("one DELETE of every row: %.2f s (SQLite alone: %.2f s)\n", wiped, plainWiped);
    }
    // 6. A table without AutoInc filled, emptied and filled again: the second fill's
    // rows land below the numbers handed out by the first.
    {
        const long some = std::max(1L, rows / 10);
        std::string layout = kLog37;
        layout.replace(layout.find("LID,AutoInc;"), 12, "LID,Integer;");
        Check(EdsCreateTable(connection, U("Items"), nullptr, EDS_EDT, EDS_ANSI, EDS_PROPRIETARY_LOCKING,
                             EDS_CHECK_RIGHTS, 0, U(layout), &table),
              "EdsCreateTable");
        Check(EdsCloseTable(table), "EdsCloseTable");
        const std::string plainItems = (plainFolder / "Items.edt").string();
        std::filesystem::copy_file(folder / "Items.edt", plainItems);
        const std::string fillItems = fillOf("Items", some), empty = "delete from Items";
        double cpu = CpuSeconds();
        Execute(connection, fillItems);
        const double first = CpuSeconds() - cpu;
        Execute(connection, empty);
        cpu = CpuSeconds();
        Execute(connection, fillItems);
        const double again = CpuSeconds() - cpu;
        sqlite3* db = nullptr;
        SqlCheck(db, sqlite3_open(plainItems.c_str(), &db), "open");
        cpu = CpuSeconds();
        SqlCheck(db, sqlite3_exec(db, fillItems.c_str(), nullptr, nullptr, nullptr), "insert");
        const double plainFirst = CpuSeconds() - cpu;
        SqlCheck(db, sqlite3_exec(db, empty.c_str(), nullptr, nullptr, nullptr), "delete");
        cpu = CpuSeconds();
        SqlCheck(db, sqlite3_exec(db, fillItems.c_str(), nullptr, nullptr, nullptr), "insert");
        const double plainAgain = CpuSeconds() - cpu;
        std::printf("a table without AutoInc, %ld rows by one INSERT ... SELECT, CPU: filled %.2f s, emptied and "
                    "filled again %.2f s (ratio %.2f to the first); SQLite alone %.2f s and %.2f s (ratio %.2f)\n",
                    some, first, again, again / first, plainFirst, plainAgain, again / plainAgain);

        // One-row INSERTs: into that table, into the AutoInc one, and on SQLite alone.
        auto one = [](const std::string& table, int k) {
            return "insert into " + table + " (DateTime, MailerNum, SerialNum, ToAddress1, Result) values "
                   "('2024-05-06 07:08:09.000', '9214 8901 0001', " + std::to_string(k) + ", 'Recipient " +
                   std::to_string(k) + "', 'None')";
        };
        cpu = CpuSeconds();
        for (int k = 0; k < singles; ++k) Execute(connection, one("Items", k));
        const double items = (CpuSeconds() - cpu) / singles;
        cpu = CpuSeconds();
        for (int k = 0; k < singles; ++k) Execute(connection, one("Log37", k));
        const double log = (CpuSeconds() - cpu) / singles;
        cpu = CpuSeconds();
        for (int k = 0; k < singles; ++k)
            SqlCheck(db, sqlite3_exec(db, one("Items", k).c_str(), nullptr, nullptr, nullptr), "insert");
        const double plainItemsEach = (CpuSeconds() - cpu) / singles;
        sqlite3_close(db);
        std::printf("  %d one-row INSERTs, CPU a statement: %.0f us into the table without AutoInc, %.0f us into "
                    "the AutoInc table (difference %.0f us); SQLite alone %.0f us (ratio %.2f)\n",
                    singles, items * 1e6, log * 1e6, (items - log) * 1e6, plainItemsEach * 1e6,
                    items / plainItemsEach);
    }
    Check(EdsDisconnect(connection), "EdsDisconnect");
    std::filesystem::remove_all(folder);
    return 0;
}
