#include "tests/dbfengine/MdxTestSupport.h"

#include <cstdlib>
#include <random>

#include "dbfengine/dbf4.h"

namespace dbftest {

void MakeIndexTable(const std::string& path, int records, std::uint32_t seed, bool deletions)
{
    xf::TDbfTable table;
    if (xf::CreateDbf(table, path,
                      {{"NAME", 'C', 12, 0}, {"CITY", 'C', 10, 0}, {"AMOUNT", 'N', 10, 2}, {"BORN", 'D', 8, 0}, {"OK", 'L', 1, 0}}) != 0)
        std::abort();
    static const char* const kNames[] = {"Abel", "Baker", "Cole", "Dunn", "Eve", "Abbot", "Zed", "Ab", "Miller", "Muller"};
    static const char* const kCities[] = {"Austin", "Boston", "Chicago", "Dallas", "El Paso", ""};
    std::mt19937 random(seed);
    xf::USE(path, "EXCLUSIVE");
    for (int i = 1; i <= records; ++i) {
        xf::ClearRecord();
        xf::TXfTypedRecord r = xf::CurrentRecord();
        const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<std::uint32_t>(n)); };
        std::string name = kNames[pick(10)];
        if (pick(3) == 0) name += " " + std::to_string(pick(200));
        r.SetText(1, name);
        r.SetText(2, kCities[pick(6)]);
        r.SetNumber(3, (pick(4001) - 2000) / 4.0);
        if (pick(10) != 0) {
            char date[11];
            std::snprintf(date, sizeof date, "%02d/%02d/%04d", 1 + pick(12), 1 + pick(28), 1890 + pick(140));
            r.SetText(4, date);
        }
        r.SetLogical(5, pick(2) == 0);
        r.SetDeleted(pick(8) == 0 && deletions);
        xf::Append();
    }
    xf::CloseDatabase();
}

IndexTableScope::IndexTableScope(int records, std::uint32_t seed, bool deletions) : Table(Dir.str() + "/people.dbf")
{
    MakeIndexTable(Table, records, seed, deletions);
}

std::vector<xf::TXfTagDef> EveryKindOfTag()
{
    return {
        {"NAME", "NAME", "", false, false},
        {"AMOUNT", "AMOUNT", "", false, false},
        {"BORN", "BORN", "", false, false},
        {"NAMEDESC", "UPPER(NAME)", "", true, false},
        {"CITYONCE", "CITY", "", false, true},
        {"OKNAMES", "NAME + CITY", "OK .AND. AMOUNT > 0", false, false},
        {"AMTDESC", "AMOUNT", "", true, false},
    };
}

std::vector<std::int32_t> WalkForward()
{
    std::vector<std::int32_t> records;
    for (xf::GoTop(); !xf::dEOF() && records.size() <= static_cast<std::size_t>(xf::RecCount()); xf::SKIP(1))
        records.push_back(xf::RecNo());
    return records;
}

std::vector<std::int32_t> WalkBackward()
{
    std::vector<std::int32_t> records;
    for (xf::GoBottom(); !xf::dBOF() && records.size() <= static_cast<std::size_t>(xf::RecCount()); xf::SKIP(-1))
        records.push_back(xf::RecNo());
    return records;
}

}  // namespace dbftest
