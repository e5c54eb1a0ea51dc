#pragma once
// Tables with index files for the index tests: a table of names, cities, amounts,
// dates and flags filled from a seed (with duplicate keys and deleted records), and
// the tag definitions that cover every kind of key.

#include <cstdint>
#include <string>
#include <vector>

#include "dbfengine/xfndx.h"
#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

namespace dbftest {

// NAME C(12), CITY C(10), AMOUNT N(10,2), BORN D, OK L. Names, amounts and dates
// repeat; with `deletions` about one record in eight is deleted.
void MakeIndexTable(const std::string& path, int records, std::uint32_t seed, bool deletions = true);

// The engine's state kept, a folder of the test's own and a table made there by
// MakeIndexTable.
struct IndexTableScope {
    IndexTableScope(int records, std::uint32_t seed, bool deletions = true);
    EngineScope Engine;
    testsupport::TempDir Dir;
    std::string Table;
};

// Restores the index settings a test changes.
class IndexSettingsScope {
public:
    IndexSettingsScope() : saved_(xf::XfIndexSettings()) {}
    ~IndexSettingsScope() { xf::XfIndexSettings() = saved_; }
    IndexSettingsScope(const IndexSettingsScope&) = delete;
    IndexSettingsScope& operator=(const IndexSettingsScope&) = delete;

private:
    xf::TXfIndexSettings saved_;
};

// Character, numeric, date, descending, unique and FOR tags over that table.
std::vector<xf::TXfTagDef> EveryKindOfTag();

// The record numbers of a full walk of the controlling order (GoTop, then SKIP to
// the end), and backwards (GoBottom, then SKIP(-1) to the start).
std::vector<std::int32_t> WalkForward();
std::vector<std::int32_t> WalkBackward();

}  // namespace dbftest
