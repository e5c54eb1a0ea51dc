// A log read through the table dataset, the way the log window reads it, against
// the engine's own skip loop over the same file in the same run: open, first
// record, next to the end, in natural order and in the DateTime index's order.
//
// Usage: dataset_scan_bench [--rows N] [--folder DIR]
// The folder defaults to a fresh one under /dev/shm (or /tmp), removed afterwards.

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "dbaccess/edstable.h"
#include "platform/edsengine/eds.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kLog37[] =
    "LID,AutoInc; DateTime,TimeStamp; MailerNum,Char,30; CustID,Char,11; SerialNum,Integer; "
    "ToAddress1,Char,50; ToAddress2,Char,50; ToAddress3,Char,50; ToAddress4,Char,50; ToCity,Char,35; "
    "ToState,Char,4; ToZip,Char,10; YourAddress1,Char,50; YourAddress2,Char,50; YourAddress3,Char,50; "
    "YourAddress4,Char,50; YourCity,Char,35; YourState,Char,4; YourZip,Char,10; Postage,Char,15; "
    "Certified,Char,15; Return,Char,15; Restricted,Char,15; Total,Char,15; Department,Char,20; "
    "ProcessedBy,Char,20; RE,Char,25; Comment,Char,35; WishRest,Logical; Batch,Logical; Result,Char,22;";

const char* const kColumns[] = {"DateTime", "MailerNum", "CustID", "SerialNum", "ToAddress1", "ToAddress2",
                                "ToAddress3", "ToAddress4", "ToCity", "ToState", "ToZip", "YourAddress1",
                                "YourAddress2", "YourAddress3", "YourAddress4", "YourCity", "YourState",
                                "YourZip", "Postage", "Certified", "Return", "Restricted", "Total",
                                "Department", "ProcessedBy", "RE", "Comment", "WishRest", "Batch", "Result"};
constexpr int kColumnCount = 30;  // every column but LID

const UNSIGNED8* U(const std::string& s) { return reinterpret_cast<const UNSIGNED8*>(s.c_str()); }

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Check(UNSIGNED32 rc, const char* what) {
    if (rc == EDS_SUCCESS) return;
    UNSIGNED32 code = 0;
    UNSIGNED8 text[600];
    UNSIGNED16 len = sizeof text;
    EdsGetLastError(&code, text, &len);
    std::fprintf(stderr, "%s failed: %u %s\n", what, code, reinterpret_cast<char*>(text));
    std::exit(1);
}

void SqlCheck(sqlite3* db, int rc, const char* what) {
    if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
    std::fprintf(stderr, "%s failed: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
}

// Column c (0-based over kColumns) of row i; timestamps spread over years, so the
// index order differs from the natural one.
void BindValue(sqlite3_stmt* stmt, int c, long i) {
    char buf[64];
    int n = 0;
    switch (c) {
    case 0: {
        const long day = 1 + (i * 7919) % 28, month = 1 + (i / 28) % 12, year = 2000 + (i * 31) % 25;
        n = std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ld %02ld:%02ld:%02ld.%03ld", year, month, day, i % 24,
                          (i / 24) % 60, (i / 1440) % 60, i % 1000);
        break;
    }
    case 1: n = std::snprintf(buf, sizeof buf, "9407 1112 0620 %04ld %04ld 00", i % 10000, (i / 10000) % 10000); break;
    case 2: n = std::snprintf(buf, sizeof buf, "123456789"); break;
    case 3: sqlite3_bind_int64(stmt, c + 1, i % 100000); return;
    case 27: sqlite3_bind_int64(stmt, c + 1, i % 3 ? 1 : 0); return;
    case 28: sqlite3_bind_int64(stmt, c + 1, 0); return;
    case 29: n = std::snprintf(buf, sizeof buf, "None"); break;
    default: n = std::snprintf(buf, sizeof buf, "%s %ld", kColumns[c], i % 997); break;
    }
    sqlite3_bind_text(stmt, c + 1, buf, n, SQLITE_TRANSIENT);
}

void FillLog(const std::string& file, long rows) {
    sqlite3* db = nullptr;
    SqlCheck(db, sqlite3_open(file.c_str(), &db), "open");
    std::string sql = "INSERT INTO Log37(";
    for (int c = 0; c < kColumnCount; ++c) sql += std::string(c ? ", " : "") + "\"" + kColumns[c] + "\"";
    sql += ") VALUES(";
    for (int c = 0; c < kColumnCount; ++c) sql += c ? ", ?" : "?";
    sql += ")";
    sqlite3_stmt* stmt = nullptr;
    SqlCheck(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), "prepare");
    SqlCheck(db, sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), "begin");
    for (long i = 0; i < rows; ++i) {
        for (int c = 0; c < kColumnCount; ++c) BindValue(stmt, c, i);
        SqlCheck(db, sqlite3_step(stmt), "insert");
        sqlite3_reset(stmt);
    }
    SqlCheck(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

struct Scan {
    double ms = 0;
    long rows = 0;
};

// The engine alone: go to the top, read each record, skip, until the end.
Scan EngineScan(EDSHANDLE connection, bool indexed) {
    const auto start = Clock::now();
    EDSHANDLE table = 0, order = 0;
    Check(EdsOpenTable(connection, U("Log37"), nullptr, EDS_EDT, EDS_ANSI, 1, 1, 0, &table), "open");
    order = table;
    if (indexed) Check(EdsGetIndexHandle(table, U("DateTime"), &order), "index");
    UNSIGNED32 recordLength = 0;
    Check(EdsGetRecordLength(table, &recordLength), "length");
    std::vector<UNSIGNED8> record(recordLength);
    Scan scan;
    Check(EdsGotoTop(order), "top");
    UNSIGNED16 eof = 0;
    while (EdsAtEOF(order, &eof) == EDS_SUCCESS && !eof) {
        UNSIGNED32 got = recordLength;
        Check(EdsGetRecord(table, record.data(), &got), "record");
        ++scan.rows;
        Check(EdsSkip(order, 1), "skip");
    }
    Check(EdsCloseTable(table), "close");
    scan.ms = Ms(Clock::now() - start);
    return scan;
}

// The dataset: open, First, Next to the end.
Scan DataSetScan(const std::string& folder, bool indexed) {
    const auto start = Clock::now();
    TEdsTable table;
    table.SetDatabaseName(folder);
    table.SetTableName("Log37");
    if (indexed) table.SetIndexName("DateTime");
    table.SetReadOnly(true);
    table.Open();
    Scan scan;
    for (table.First(); !table.Eof(); table.Next()) ++scan.rows;
    table.Close();
    scan.ms = Ms(Clock::now() - start);
    return scan;
}

}  // namespace

int main(int argc, char** argv) {
    long rows = 1000000;
    std::string folder;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rows") rows = std::atol(argv[i + 1]);
        else if (option == "--folder") folder = argv[i + 1];
    }
    bool removeFolder = false;
    if (folder.empty()) {
        const std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        folder = base + "/dataset_scan_bench." + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
        removeFolder = true;
    }
    std::printf("table dataset vs the engine's skip loop, folder %s\n", folder.c_str());

    EDSHANDLE connection = 0;
    Check(EdsConnect(U(folder), &connection), "connect");
    {
        EDSHANDLE table = 0;
        Check(EdsCreateTable(connection, U("Log37"), nullptr, EDS_EDT, EDS_ANSI, 1, 1, 0, U(kLog37), &table), "create");
        Check(EdsCreateIndex61(table, U(""), U("DateTime"), U("DateTime"), U(""), U(""), EDS_COMPOUND, 0, nullptr),
              "index");
        Check(EdsCloseTable(table), "close");
        const auto start = Clock::now();
        FillLog(folder + "/Log37.edt", rows);
        std::printf("set-up: %ld rows written in %.0f ms\n", rows, Ms(Clock::now() - start));
    }

    bool allSeen = true;
    for (const bool indexed : {false, true}) {
        const Scan engine = EngineScan(connection, indexed);
        const Scan dataset = DataSetScan(folder, indexed);
        std::printf("%-13s engine %7.0f ms (%ld rows), dataset %7.0f ms (%ld rows), ratio %.2f (target <= 3)\n",
                    indexed ? "index order:" : "natural order:", engine.ms, engine.rows, dataset.ms, dataset.rows,
                    dataset.ms / engine.ms);
        allSeen = allSeen && engine.rows == rows && dataset.rows == rows;
    }
    if (!allSeen) std::printf("warning: a scan did not see every row\n");

    Check(EdsDisconnect(connection), "disconnect");
    if (removeFolder) std::filesystem::remove_all(folder);
    return allSeen ? 0 : 1;
}
