// Importing a 3 Pro log of 100,000 rows into an empty log, in one transaction,
// beside the sqlite3 tool copying the same rows between the same two files
// (attach, insert ... select in DATETIME order) in the same run.

#include "app/data/U_dmSendoProSchemas.h"
#include "app/imports/U_OlderLogs.h"
#include "bench/edsengine/LogBench.h"
#include "dbaccess/edsquery.h"
#include "dbaccess/edstable.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace logbench;

namespace {

double LoadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

void CreateLog(const fs::path& folder) {
    fs::create_directories(folder);
    TEdsTable table;
    table.CreateTable((folder / "Log37.edt").string(), ttEdsEDT, ANSI, 0, LogFields());
}

}  // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 100000;
    const fs::path root = fs::temp_directory_path() / ("sendora-import-bench-" + std::to_string(::getpid()));
    CreateLog(root / "old");
    CreateLog(root / "ours");
    CreateLog(root / "tool");
    FillLogRows((root / "old" / "Log37.edt").string(), rows);

    TEdsQuery query;
    TEdsTable log;
    log.SetTableName("Log37");
    TPro3LogSource source(query);
    const auto start = Clock::now();
    source.Open((root / "old" / "Log37.edt").string());
    const TLogImportResult result = ImportLogRows(source, log, (root / "ours").string());
    source.Close();
    const double ours = Ms(Clock::now() - start);

    std::string columns;
    for (int c = 0; c < kColumnCount; ++c) columns += std::string(c ? ", " : "") + "\"" + kColumns[c] + "\"";
    const std::string command = "sqlite3 '" + (root / "tool" / "Log37.edt").string() + "' \"ATTACH '" +
                                (root / "old" / "Log37.edt").string() + "' AS s; INSERT INTO Log37 (" + columns +
                                ") SELECT " + columns + " FROM s.Log37 ORDER BY DateTime;\"";
    const auto toolStart = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "sqlite3 failed (is it installed?)\n");
        return 1;
    }
    const double tool = Ms(Clock::now() - toolStart);

    std::printf("log import of %ld rows (%d imported): ours %.0f ms (target < 2000 ms); sqlite3 tool copying the "
                "same rows %.0f ms; ratio %.2f (load average now %.1f)\n",
                rows, result.Imported, ours, tool, ours / tool, LoadAverage());
    fs::remove_all(root);
    return result.Imported == rows ? 0 : 1;
}
