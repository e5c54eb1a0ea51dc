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
#include "bench/edsengine/LogBench.h"
#include "platform/edsengine/eds.h"

namespace {

using namespace logbench;

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
        FillLogRows(folder + "/Log37.edt", rows);
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
