// Walks of a filtered log to its end, at two sizes in one run: for each form of
// filter that SQLite judges, and one that only the engine's evaluator can, the
// walk in natural order and in DateTime index order (which scatters the rows over
// the file), reading every visible record as the dataset does.
//
// The figure is the time per visible row (the median of three walks). Targets: at the large size within 1.5x
// of the small one (a walk grows linearly with the table), and in DateTime order
// within 3x of the same filter's walk in natural order. A walk that passes its
// time limit is stopped and marked; its figures then count only what it saw.
//
// Usage: filter_walk_bench [--sizes 100000,1000000] [--limit SECONDS] [--folder DIR]
// The folder defaults to a fresh one under /dev/shm (or /tmp), removed afterwards.

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/edsengine/LogBench.h"
#include "platform/edsengine/eds.h"

namespace {

using namespace logbench;

// Every value repeats with a period far below the smaller size, so each filter
// selects the same share of rows at every size. Comment holds dates as the
// process's date format reads them (MM/DD/CCYY), for CTOD.
void Fill(const std::string& file, long rows) {
    sqlite3* db = nullptr;
    SqlCheck(db, sqlite3_open(file.c_str(), &db), "open");
    const std::string n = std::to_string(rows);
    const std::string sql =
        "INSERT INTO Log37 (DateTime, MailerNum, CustID, SerialNum, ToAddress1, ToAddress2, ToCity, ToState, ToZip, "
        "YourAddress1, YourAddress2, YourCity, YourState, YourZip, Postage, Certified, Return, Total, Department, "
        "ProcessedBy, RE, Comment, WishRest, Batch, Result) "
        "WITH RECURSIVE k(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM k WHERE i < " + n + " - 1) "
        "SELECT printf('%04d-%02d-%02d %02d:%02d:%02d.000', 2000 + (i * 31) % 25, 1 + (i / 28) % 12, "
        "1 + (i * 7919) % 28, i % 24, (i / 24) % 60, (i / 1440) % 60), "
        "printf('9214 8901 %04d %04d %04d %04d 12', i % 10000, i / 10000, i % 7, i % 13), '123456789', i % 10007, "
        "'Recipient ' || i, 'Suite ' || (i % 500), 'ToCity ' || (i % 997), 'IL', '62701', 'Sender Inc', "
        "'1 Main Street', 'Chicago', 'IL', '60601', '4.10', '4.40', '3.55', '12.05', 'Shipping', 'Clerk ' || (i % 7), "
        "'RE ' || (i % 991), printf('%02d/%02d/%04d', 1 + i % 12, 1 + (i / 12) % 28, 2000 + (i / 336) % 25), "
        "i % 2, 0, 'None' FROM k";
    SqlCheck(db, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), "fill");
    sqlite3_close(db);
}

struct Form {
    const char* what;
    const char* filter;
};

// Each selects one to ten rows in a thousand, spread evenly over the record numbers.
const Form kForms[] = {
    {"CONTAINS", "CONTAINS(ToCity, '99')"},
    {"$", "'199' $ ToCity"},
    {"STR", "'999' $ STR(SerialNum)"},
    {"CHR", "CHR(SerialNum / 100) = 'c'"},
    {"CTOD of a column", "CTOD(Comment) < CTOD('01/09/2000')"},
    {"date minus days", "CTOD(Comment) - 30 > CTOD('11/20/2024')"},
    {"division by a column", "10007 / SerialNum < 1.002"},
    // An OR with a time of day, which has no SQL form: the evaluator judges it all.
    {"evaluator only", "CONTAINS(ToCity, '99') .OR. CTOT(RE) > CTOT('23:59')"},
};
constexpr int kFormCount = sizeof kForms / sizeof kForms[0];

struct Walk {
    double seconds = 0;
    long visible = 0;
    bool stopped = false;  // passed the time limit
    double PerRowUs() const { return visible ? seconds * 1e6 / static_cast<double>(visible) : 0; }
};

Walk WalkToEnd(EDSHANDLE connection, const char* filter, bool dateOrder, double limit) {
    EDSHANDLE table = 0, order = 0;
    Check(EdsOpenTable(connection, U(std::string("Log37")), nullptr, EDS_EDT, EDS_ANSI, 1, 1, 0, &table), "open");
    order = table;
    if (dateOrder) Check(EdsGetIndexHandle(table, U(std::string("DateTime")), &order), "index");
    UNSIGNED32 length = 0;
    Check(EdsGetRecordLength(table, &length), "length");
    std::vector<UNSIGNED8> record(length);
    Walk walk;
    const auto start = Clock::now();
    Check(EdsSetAOF(table, U(std::string(filter)), EDS_RESOLVE_DYNAMIC), filter);
    Check(EdsGotoTop(order), "top");
    UNSIGNED16 eof = 0;
    while (Check(EdsAtEOF(order, &eof), "eof"), !eof) {
        UNSIGNED32 got = length;
        Check(EdsGetRecord(table, record.data(), &got), "record");
        ++walk.visible;
        Check(EdsSkip(order, 1), "skip");
        if ((walk.visible & 15) == 0 && Ms(Clock::now() - start) > limit * 1000) {
            walk.stopped = true;
            break;
        }
    }
    walk.seconds = Ms(Clock::now() - start) / 1000;
    Check(EdsCloseTable(table), "close");
    return walk;
}

// The median of three walks (one when a walk passes the time limit).
Walk MedianWalk(EDSHANDLE connection, const char* filter, bool dateOrder, double limit) {
    std::vector<Walk> runs;
    for (int i = 0; i < 3; ++i) {
        runs.push_back(WalkToEnd(connection, filter, dateOrder, limit));
        if (runs.back().stopped) return runs.back();
    }
    std::sort(runs.begin(), runs.end(), [](const Walk& a, const Walk& b) { return a.seconds < b.seconds; });
    return runs[1];
}

std::string Load() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

std::string Figure(const Walk& w) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%8.3f s %6ld %8.1f%s", w.seconds, w.visible, w.PerRowUs(), w.stopped ? "+" : " ");
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes = {100000, 1000000};
    double limit = 120;
    std::string folder;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--sizes") {
            sizes.clear();
            for (const char* p = argv[i + 1]; *p;) {
                char* end = nullptr;
                sizes.push_back(std::strtol(p, &end, 10));
                p = *end ? end + 1 : end;
            }
        } else if (option == "--limit") {
            limit = std::atof(argv[i + 1]);
        } else if (option == "--folder") {
            folder = argv[i + 1];
        }
    }
    bool removeFolder = false;
    if (folder.empty()) {
        const std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        folder = base + "/filter_walk_bench." + std::to_string(::getpid());
        removeFolder = true;
    }
    std::printf("filtered walks to the end, SQLite %s, load average at the start %s\n", sqlite3_libversion(),
                Load().c_str());

    // walks[size][form][order]
    std::vector<std::vector<std::vector<Walk>>> walks;
    for (long rows : sizes) {
        const std::string where = folder + "/" + std::to_string(rows);
        std::filesystem::create_directories(where);
        EDSHANDLE connection = 0;
        Check(EdsConnect(U(where), &connection), "connect");
        EDSHANDLE table = 0;
        Check(EdsCreateTable(connection, U(std::string("Log37")), nullptr, EDS_EDT, EDS_ANSI, 1, 1, 0, U(kLog37), &table),
              "create");
        Check(EdsCloseTable(table), "close");
        Fill(where + "/Log37.edt", rows);
        Check(EdsOpenTable(connection, U(std::string("Log37")), nullptr, EDS_EDT, EDS_ANSI, 1, 1, 0, &table), "open");
        Check(EdsCreateIndex61(table, U(""), U("DateTime"), U("DateTime"), U(""), U(""), EDS_COMPOUND, 0, nullptr), "index");
        Check(EdsCloseTable(table), "close");

        std::printf("\n%ld rows                                natural order                 DateTime order\n", rows);
        std::printf("%-22s %19s %8s  %19s %8s  ratio\n", "filter", "time    visible", "us/row", "time    visible", "us/row");
        auto& bySize = walks.emplace_back();
        for (const Form& form : kForms) {
            auto& byForm = bySize.emplace_back();
            byForm.push_back(MedianWalk(connection, form.filter, false, limit));
            byForm.push_back(MedianWalk(connection, form.filter, true, limit));
            const Walk& natural = byForm[0];
            const Walk& dated = byForm[1];
            const double ratio = dated.PerRowUs() / natural.PerRowUs();
            std::printf("%-22s %s  %s  %5.2f%s%s\n", form.what, Figure(natural).c_str(), Figure(dated).c_str(), ratio,
                        ratio <= 3 ? "" : " MISSED", natural.visible == dated.visible || natural.stopped || dated.stopped
                                                          ? ""
                                                          : " (the orders saw different rows)");
            std::fflush(stdout);
        }
        Check(EdsDisconnect(connection), "disconnect");
        std::filesystem::remove_all(where);
    }

    if (sizes.size() >= 2) {
        std::printf("\ntime per visible row, %ld rows against %ld rows (target <= 1.5)\n", sizes.back(), sizes.front());
        std::printf("%-22s %8s %8s\n", "filter", "natural", "DateTime");
        for (int f = 0; f < kFormCount; ++f) {
            std::printf("%-22s", kForms[f].what);
            for (int o = 0; o < 2; ++o) {
                const double ratio = walks.back()[f][o].PerRowUs() / walks.front()[f][o].PerRowUs();
                std::printf(" %7.2f%s", ratio, ratio <= 1.5 ? " " : "!");
            }
            std::printf("\n");
        }
        std::printf("(! marks a missed target, + a walk stopped at the %.0f s limit)\n", limit);
    }
    std::printf("load average at the end %s\n", Load().c_str());
    if (removeFolder) std::filesystem::remove_all(folder);
    return 0;
}
