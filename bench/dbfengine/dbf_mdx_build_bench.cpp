// The bulk build of one index tag over 1,000,000 records (random 10-character keys),
// beside `sort` ordering the same keys as text lines, measured in the same run.
// The build runs with the engine's own working size (sorted runs through a
// temporary run file, merged), with a forced small one (many more runs) and with
// room for every key in memory; the run file must be gone after each build.
// Usage: dbf_mdx_build_bench [records]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <unistd.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndx.h"

namespace {

double Seconds(const std::chrono::steady_clock::time_point& start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int RunFiles(const std::string& folder)
{
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind("XFP", 0) == 0) ++n;
    return n;
}

}  // namespace

int main(int argc, char** argv)
{
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    xf::SetRaiseOnError(1);
    const std::string folder = (std::filesystem::temp_directory_path() / ("dbf_mdx_bench_" + std::to_string(getpid()))).string();
    const std::string temp = folder + "/tmp";
    std::filesystem::create_directories(temp);
    setenv("TMPDIR", temp.c_str(), 1);
    const std::string table = folder + "/keys.dbf";
    const std::string text = folder + "/keys.txt";

    auto start = std::chrono::steady_clock::now();
    {
        xf::TDbfTable t;
        if (xf::CreateDbf(t, table, {{"KEY", 'C', 10, 0}}) != 0) return 1;
        std::mt19937_64 random(42);
        std::ofstream lines(text);
        xf::USE(table, "EXCLUSIVE");
        std::string key(10, ' ');
        for (int i = 0; i < records; ++i) {
            for (char& c : key) c = static_cast<char>('A' + random() % 26);
            xf::ClearRecord();
            xf::CurrentRecord().SetText(1, key);
            xf::Append();
            lines << key << '\n';
        }
        xf::CloseDatabase();
    }
    std::printf("table of %d random 10-character keys made in %.2f s\n", records, Seconds(start));

    start = std::chrono::steady_clock::now();
    const int status = std::system(("LC_ALL=C sort '" + text + "' -o '" + folder + "/sorted.txt'").c_str());
    const double sortSeconds = Seconds(start);
    if (status != 0) {
        std::printf("sort failed\n");
        return 1;
    }

    xf::USE(table, "EXCLUSIVE");
    struct Build {
        const char* what;
        std::int64_t workingSize;
        double seconds = 0;
        int runFilesLeft = 0;
    } builds[] = {{"engine's working size (32758 bytes, runs)", 32758}, {"forced small budget (2048 bytes)", 2048},
                  {"every key in memory", std::int64_t {1} << 30}};
    for (Build& b : builds) {
        xf::XfIndexSettings().WorkingSize = b.workingSize;
        start = std::chrono::steady_clock::now();
        if (!xf::MakeIndex({{"KEY", "KEY", "", false, false}}, folder + "/keys")) return 1;
        b.seconds = Seconds(start);
        b.runFilesLeft = RunFiles(temp);
    }
    // The built order, checked against sort's.
    xf::SetIndexTo("");
    std::ifstream sorted(folder + "/sorted.txt");
    std::string line;
    long mismatches = 0, n = 0;
    for (xf::GoTop(); !xf::dEOF(); xf::SKIP(1), ++n) {
        std::getline(sorted, line);
        if (xf::CurrentRecord().Text(1) != line) ++mismatches;
    }
    xf::CloseAll();

    std::printf("sort (LC_ALL=C) of the same keys as text: %.3f s\n", sortSeconds);
    for (const Build& b : builds)
        std::printf("index build, %s: %.3f s (%.2fx sort), run files left: %d\n", b.what, b.seconds, b.seconds / sortSeconds,
                    b.runFilesLeft);
    std::printf("order walked: %ld keys, %ld differ from sort's order\n", n, mismatches);
    std::printf("target: under 2 s for 1,000,000 keys: %s\n", builds[0].seconds < 2.0 ? "met" : "NOT met");
    std::filesystem::remove_all(folder);
    return mismatches == 0 && n == records ? 0 : 1;
}
