// A full scan of 1,000,000 records of 338 bytes through the work-area interface
// (GoTop, then SKIP to the end, every record unpacked), beside pgdbf converting the
// same file, measured in the same run. Usage: dbf_scan_bench [records]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfcommon.h"

namespace {

double Seconds(const std::chrono::steady_clock::time_point& start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// C(100) C(100) C(50) N(12,2) N(10,0) D L C(56): 338 bytes with the deletion mark.
void MakeTable(const std::string& path, int records)
{
    xf::TDbfTable table;
    if (xf::CreateDbf(table, path,
                      {{"NAME", 'C', 100, 0}, {"STREET", 'C', 100, 0}, {"CITY", 'C', 50, 0}, {"AMOUNT", 'N', 12, 2},
                       {"SERIAL", 'N', 10, 0}, {"SENT", 'D', 8, 0}, {"RETURNED", 'L', 1, 0}, {"NOTE", 'C', 56, 0}}) != 0)
        std::exit(1);
    xf::USE(path, "EXCLUSIVE");
    for (int i = 1; i <= records; ++i) {
        xf::ClearRecord();
        xf::TXfTypedRecord r = xf::CurrentRecord();
        r.SetText(1, "Addressee " + std::to_string(i));
        r.SetText(2, std::to_string(i % 9000 + 100) + " Main Street");
        r.SetText(3, "Springfield");
        r.SetNumber(4, (i % 100000) / 100.0);
        r.SetInteger(5, i);
        r.SetText(6, "12/07/2026");
        r.SetLogical(7, i % 3 == 0);
        r.SetText(8, "certified");
        xf::Append();
    }
    xf::CloseDatabase();
}

double ScanWithEngine(const std::string& path, const char* options, long long& checksum)
{
    const auto start = std::chrono::steady_clock::now();
    xf::USE(path, options);
    checksum = 0;
    for (xf::GoTop(); !xf::dEOF(); xf::SKIP(1)) checksum += xf::CurrentRecord().Integer(5);
    xf::CloseDatabase();
    return Seconds(start);
}

}  // namespace

int main(int argc, char** argv)
{
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    xf::SetRaiseOnError(1);
    const std::string folder = (std::filesystem::temp_directory_path() / ("dbf_scan_bench_" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/scan.dbf";
    auto start = std::chrono::steady_clock::now();
    MakeTable(path, records);
    std::printf("table of %d records of 338 bytes made in %.2f s (%lld bytes)\n", records, Seconds(start),
                static_cast<long long>(std::filesystem::file_size(path)));

    long long exclusiveSum = 0, sharedSum = 0;
    ScanWithEngine(path, "EXCLUSIVE", exclusiveSum);  // warm the page cache for both sides
    const double exclusive = ScanWithEngine(path, "EXCLUSIVE", exclusiveSum);
    const double shared = ScanWithEngine(path, "", sharedSum);
    start = std::chrono::steady_clock::now();
    const int status = std::system(("pgdbf -s cp437 '" + path + "' > /dev/null").c_str());
    const double pgdbf = Seconds(start);
    const long long expected = static_cast<long long>(records) * (records + 1) / 2;
    std::printf("full scan: engine %.3f s exclusive, %.3f s shared; pgdbf %.3f s%s\n", exclusive, shared, pgdbf,
                status == 0 ? "" : " (pgdbf failed)");
    std::printf("checksums %s\n", exclusiveSum == expected && sharedSum == expected ? "ok" : "WRONG");
    std::filesystem::remove_all(folder);
    return exclusiveSum == expected && sharedSum == expected && status == 0 ? 0 : 1;
}
