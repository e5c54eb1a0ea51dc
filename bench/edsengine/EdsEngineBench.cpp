// Timings of the client table engine against raw SQLite on the same files, in the
// same run: opening a log-shaped table of a million rows, skipping through it in
// index order, and appending rows (a commit per row, and one transaction).
//
// Usage: edsengine_bench [--rows N] [--appends N] [--folder DIR]
// The folder defaults to a fresh one under /dev/shm (or /tmp), removed afterwards.

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/edsengine/LogBench.h"
#include "platform/edsengine/eds.h"

namespace {

using namespace logbench;

EDSHANDLE CreateLog(EDSHANDLE connection, const std::string& name) {
    EDSHANDLE table = 0;
    Check(EdsCreateTable(connection, U(name), nullptr, EDS_EDT, EDS_ANSI, 1, 1, 0, U(kLog37), &table), "create");
    Check(EdsCreateIndex61(table, U(""), U("DateTime"), U("DateTime"), U(""), U(""), EDS_COMPOUND, 0, nullptr), "index");
    return table;
}

// Appends n rows through the engine the way the database layer posts a record.
void EngineAppends(EDSHANDLE table, long n, long first) {
    UNSIGNED32 offsets[kColumnCount + 1], lengths[kColumnCount + 1];
    UNSIGNED16 types[kColumnCount + 1];
    for (int c = 0; c < kColumnCount; ++c) {
        EdsGetFieldOffset(table, c + 2, &offsets[c]);
        EdsGetFieldLength(table, c + 2, &lengths[c]);
        EdsGetFieldType(table, c + 2, &types[c]);
    }
    for (long i = first; i < first + n; ++i) {
        Check(EdsAppendRecord(table), "append");
        for (int c = kColumnCount - 1; c >= 0; --c) {
            const std::string v = Value(c, i);
            UNSIGNED8 raw[8];
            switch (types[c]) {
            case EDS_TIMESTAMP: {
                int y, mo, d, h, mi, s, ms;
                std::sscanf(v.c_str(), "%d-%d-%d %d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms);
                const int a = (14 - mo) / 12, yy = y + 4800 - a, mm = mo + 12 * a - 3;
                const std::int32_t julian = d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
                const std::int32_t millis = ((h * 60 + mi) * 60 + s) * 1000 + ms;
                std::memcpy(raw, &julian, 4);
                std::memcpy(raw + 4, &millis, 4);
                Check(EdsSetFieldRaw(table, c + 2, raw, 8), "set");
                break;
            }
            case EDS_INTEGER: {
                const std::int32_t value = std::atoi(v.c_str());
                std::memcpy(raw, &value, 4);
                Check(EdsSetFieldRaw(table, c + 2, raw, 4), "set");
                break;
            }
            case EDS_LOGICAL:
                raw[0] = v == "1" ? 'T' : 'F';
                Check(EdsSetFieldRaw(table, c + 2, raw, 1), "set");
                break;
            default: Check(EdsSetField(table, c + 2, U(v), static_cast<UNSIGNED32>(v.size())), "set"); break;
            }
        }
        Check(EdsWriteRecord(table), "write");
    }
}

void RawAppends(const std::string& file, const std::string& table, long n, long first, bool oneTransaction) {
    sqlite3* db = nullptr;
    SqlCheck(db, sqlite3_open(file.c_str(), &db), "open");
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* stmt = nullptr;
    SqlCheck(db, sqlite3_prepare_v2(db, InsertSql(table).c_str(), -1, &stmt, nullptr), "prepare");
    if (oneTransaction) SqlCheck(db, sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), "begin");
    for (long i = first; i < first + n; ++i) {
        BindRow(stmt, i);
        SqlCheck(db, sqlite3_step(stmt), "insert");
        sqlite3_reset(stmt);
    }
    if (oneTransaction) SqlCheck(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
    long rows = 1000000, appends = 100000;
    std::string folder;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rows") rows = std::atol(argv[i + 1]);
        else if (option == "--appends") appends = std::atol(argv[i + 1]);
        else if (option == "--folder") folder = argv[i + 1];
    }
    bool removeFolder = false;
    if (folder.empty()) {
        const std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        folder = base + "/edsengine_bench." + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
        removeFolder = true;
    }
    std::printf("client table engine vs raw SQLite %s, folder %s\n", sqlite3_libversion(), folder.c_str());

    EDSHANDLE connection = 0;
    Check(EdsConnect(U(folder), &connection), "connect");

    // A log of `rows` rows, filled with raw SQLite (set-up, not measured).
    {
        EDSHANDLE table = CreateLog(connection, "Log37");
        Check(EdsCloseTable(table), "close");
        const auto start = Clock::now();
        RawAppends(folder + "/Log37.edt", "Log37", rows, 0, true);
        std::printf("set-up: %ld rows written in %.0f ms\n", rows, Ms(Clock::now() - start));
    }

    // Open and go to the top in index order.
    EDSHANDLE table = 0, index = 0;
    const auto openStart = Clock::now();
    Check(EdsOpenTable(connection, U(std::string("Log37")), nullptr, EDS_EDT, EDS_ANSI, 1, 1, 0, &table), "open");
    Check(EdsGetIndexHandle(table, U(std::string("DateTime")), &index), "index");
    Check(EdsGotoTop(index), "top");
    UNSIGNED32 recordLength = 0;
    EdsGetRecordLength(table, &recordLength);
    std::vector<UNSIGNED8> record(recordLength);
    UNSIGNED32 got = recordLength;
    Check(EdsGetRecord(table, record.data(), &got), "record");
    const double openMs = Ms(Clock::now() - openStart);
    std::printf("open and go to top (%ld rows): %.2f ms (target under 50 ms)\n", rows, openMs);

    // Skip through every row in index order, reading each record.
    const auto skipStart = Clock::now();
    long seen = 0;
    UNSIGNED16 eof = 0;
    while (EdsAtEOF(index, &eof) == EDS_SUCCESS && !eof) {
        got = recordLength;
        Check(EdsGetRecord(table, record.data(), &got), "record");
        ++seen;
        Check(EdsSkip(index, 1), "skip");
    }
    const double skipMs = Ms(Clock::now() - skipStart);
    Check(EdsCloseTable(table), "close");

    // The same rows with a raw ORDER BY over the same index, reading every column.
    double rawScanMs = 0;
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2((folder + "/Log37.edt").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        const auto start = Clock::now();
        SqlCheck(db, sqlite3_prepare_v2(db, "SELECT *, rowid FROM Log37 ORDER BY ifnull(\"DateTime\", ''), rowid", -1,
                                        &stmt, nullptr),
                 "prepare");
        long rawSeen = 0;
        std::size_t bytes = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c <= kColumnCount + 1; ++c) {
                if (sqlite3_column_type(stmt, c) == SQLITE_TEXT) bytes += static_cast<std::size_t>(sqlite3_column_bytes(stmt, c));
                else bytes += static_cast<std::size_t>(sqlite3_column_int64(stmt, c) & 1);
            }
            ++rawSeen;
        }
        rawScanMs = Ms(Clock::now() - start);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        if (rawSeen != seen) std::printf("warning: raw scan saw %ld rows, the engine %ld\n", rawSeen, seen);
        if (bytes == 0) std::printf("warning: nothing read\n");
    }
    std::printf("skip through %ld rows in index order: engine %.0f ms, raw ORDER BY scan %.0f ms, ratio %.2f (target <= 3)\n",
                seen, skipMs, rawScanMs, skipMs / rawScanMs);

    // Appends: a commit per row, then one transaction; raw inserts into a twin table.
    const long perRow = appends;
    for (int mode = 0; mode < 2; ++mode) {
        const bool oneTransaction = mode == 1;
        const std::string name = oneTransaction ? "AppendTx" : "AppendRow";
        EDSHANDLE engineTable = CreateLog(connection, name + "Engine");
        Check(EdsCloseTable(engineTable), "close");
        EDSHANDLE rawTable = CreateLog(connection, name + "Raw");
        Check(EdsCloseTable(rawTable), "close");
        Check(EdsOpenTable(connection, U(name + "Engine"), nullptr, EDS_EDT, EDS_ANSI, 1, 1, 0, &engineTable), "open");
        const auto engineStart = Clock::now();
        if (oneTransaction) Check(EdsBeginTransaction(connection), "begin");
        EngineAppends(engineTable, perRow, 0);
        if (oneTransaction) Check(EdsCommitTransaction(connection), "commit");
        const double engineMs = Ms(Clock::now() - engineStart);
        Check(EdsCloseTable(engineTable), "close");
        const auto rawStart = Clock::now();
        RawAppends(folder + "/" + name + "Raw.edt", name + "Raw", perRow, 0, oneTransaction);
        const double rawMs = Ms(Clock::now() - rawStart);
        std::printf("append %ld rows, %s: engine %.0f ms, raw inserts %.0f ms, ratio %.2f (target <= 2)\n", perRow,
                    oneTransaction ? "one transaction" : "a commit per row", engineMs, rawMs, engineMs / rawMs);
    }

    Check(EdsDisconnect(connection), "disconnect");
    if (removeFolder) std::filesystem::remove_all(folder);
    return 0;
}
