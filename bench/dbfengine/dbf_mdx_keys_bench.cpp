// Index key maintenance: 100,000 appends to a table with 5 tags, in microseconds per
// append, and a seek in the NAME tag, in microseconds, on tables of 10,000 and
// 1,000,000 records, beside SQLite (the library, in this run) inserting the same
// rows into a table with 5 indexes and looking a name up. Both write through to the
// operating system on every row without forcing it to disk: each SQLite insert is
// its own transaction with synchronous=OFF and the journal in memory.
// Flat means the cost per append and per seek barely grows with a table 100 times
// larger (the trees grow by a level at most).
// Usage: dbf_mdx_keys_bench [appends]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <sqlite3.h>
#include <unistd.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndx.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(const Clock::time_point& start, long count)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / static_cast<double>(count);
}

struct Row {
    std::string Name, City, Born;
    double Amount;
    bool Ok;
};

class Rows {
public:
    explicit Rows(std::uint64_t seed) : random_(seed) {}
    Row Next()
    {
        static const char* const kNames[] = {"Abel", "Baker", "Cole", "Dunn", "Eve", "Abbot", "Zed", "Miller", "Muller", "Stone"};
        static const char* const kCities[] = {"Austin", "Boston", "Chicago", "Dallas", "El Paso", "Fresno", "Gary", "Houston"};
        char born[11];
        std::snprintf(born, sizeof born, "%02d/%02d/%04d", 1 + Pick(12), 1 + Pick(28), 1900 + Pick(120));
        return {std::string(kNames[Pick(10)]) + " " + std::to_string(Pick(100000)), kCities[Pick(8)], born, Pick(400000) / 4.0,
                Pick(2) == 0};
    }
    int Pick(int n) { return static_cast<int>(random_() % static_cast<std::uint64_t>(n)); }

private:
    std::mt19937_64 random_;
};

const std::vector<xf::TXfTagDef> kTags {
    {"NAME", "NAME", "", false, false},           {"CITYNAME", "CITY + NAME", "", false, false},
    {"AMOUNT", "AMOUNT", "", true, false},        {"BORN", "BORN", "", false, false},
    {"OKNAMES", "NAME", "OK .AND. AMOUNT > 500", false, false},
};

void AppendRow(const Row& row)
{
    xf::ClearRecord();
    xf::TXfTypedRecord r = xf::CurrentRecord();
    r.SetText(1, row.Name);
    r.SetText(2, row.City);
    r.SetNumber(3, row.Amount);
    r.SetText(4, row.Born);
    r.SetLogical(5, row.Ok);
    xf::Append();
}

struct Figures {
    double Append = 0, Seek = 0;
};

Figures Ours(const std::string& folder, int base, int appends, std::vector<std::string>& names)
{
    const std::string table = folder + "/keys" + std::to_string(base) + ".dbf";
    xf::TDbfTable t;
    if (xf::CreateDbf(t, table, {{"NAME", 'C', 12, 0}, {"CITY", 'C', 10, 0}, {"AMOUNT", 'N', 10, 2}, {"BORN", 'D', 8, 0}, {"OK", 'L', 1, 0}}) != 0)
        std::exit(1);
    xf::USE(table, "EXCLUSIVE");
    Rows rows(base);
    for (int i = 0; i < base; ++i) AppendRow(rows.Next());
    if (!xf::IndexOn(kTags, "")) std::exit(1);
    Figures f;
    auto start = Clock::now();
    for (int i = 0; i < appends; ++i) {
        const Row row = rows.Next();
        AppendRow(row);
        if (i % 97 == 0) names.push_back(row.Name);
    }
    f.Append = Micros(start, appends);
    xf::SetOrderToTag("NAME");
    long found = 0;
    start = Clock::now();
    for (int round = 0; round < 10; ++round) {
        for (const std::string& name : names) {
            xf::FindExact(name);
            found += xf::IndexFound();
        }
    }
    f.Seek = Micros(start, static_cast<long>(names.size()) * 10);
    if (found != static_cast<long>(names.size()) * 10) std::printf("  (%ld of %zu seeks found their key)\n", found, names.size() * 10);
    xf::CloseAll();
    return f;
}

void Exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::printf("sqlite: %s\n", error ? error : "?");
        std::exit(1);
    }
}

Figures Sqlite(const std::string& folder, int base, int appends, const std::vector<std::string>& names)
{
    sqlite3* db = nullptr;
    if (sqlite3_open((folder + "/keys" + std::to_string(base) + ".sqlite").c_str(), &db) != SQLITE_OK) std::exit(1);
    Exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY;");
    Exec(db, "CREATE TABLE t (name TEXT, city TEXT, amount REAL, born TEXT, ok INTEGER)");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?)", -1, &insert, nullptr);
    const auto add = [&](const Row& row) {
        sqlite3_bind_text(insert, 1, row.Name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, row.City.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(insert, 3, row.Amount);
        sqlite3_bind_text(insert, 4, row.Born.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 5, row.Ok);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    };
    Rows rows(base);
    Exec(db, "BEGIN");
    for (int i = 0; i < base; ++i) add(rows.Next());
    Exec(db, "COMMIT");
    Exec(db, "CREATE INDEX t_name ON t (name); CREATE INDEX t_cityname ON t (city, name); CREATE INDEX t_amount ON t (amount DESC);"
             "CREATE INDEX t_born ON t (born); CREATE INDEX t_oknames ON t (name) WHERE ok AND amount > 500;");
    Figures f;
    auto start = Clock::now();
    for (int i = 0; i < appends; ++i) add(rows.Next());
    f.Append = Micros(start, appends);
    sqlite3_stmt* seek = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid FROM t WHERE name = ? ORDER BY name, rowid LIMIT 1", -1, &seek, nullptr);
    long found = 0;
    start = Clock::now();
    for (int round = 0; round < 10; ++round) {
        for (const std::string& name : names) {
            sqlite3_bind_text(seek, 1, name.c_str(), -1, SQLITE_STATIC);
            found += sqlite3_step(seek) == SQLITE_ROW;
            sqlite3_reset(seek);
        }
    }
    f.Seek = Micros(start, static_cast<long>(names.size()) * 10);
    sqlite3_finalize(insert);
    sqlite3_finalize(seek);
    sqlite3_close(db);
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    const int appends = argc > 1 ? std::atoi(argv[1]) : 100000;
    xf::SetRaiseOnError(1);
    const std::string folder = (std::filesystem::temp_directory_path() / ("dbf_mdx_keys_bench_" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(folder);
    std::printf("%d appends to a table with 5 tags (one with a FOR condition, one descending), then seeks of a name\n", appends);
    std::printf("%-12s %16s %16s %16s %16s\n", "records", "append us", "sqlite insert us", "seek us", "sqlite seek us");
    Figures first, last;
    for (const int base : {10000, 1000000}) {
        std::vector<std::string> names;
        const Figures ours = Ours(folder, base, appends, names);
        const Figures theirs = Sqlite(folder, base, appends, names);
        std::printf("%-12d %16.2f %16.2f %16.2f %16.2f\n", base, ours.Append, theirs.Append, ours.Seek, theirs.Seek);
        (base == 10000 ? first : last) = ours;
    }
    std::printf("growth from 10,000 to 1,000,000 records: append %.2fx, seek %.2fx\n", last.Append / first.Append, last.Seek / first.Seek);
    std::filesystem::remove_all(folder);
    return 0;
}
