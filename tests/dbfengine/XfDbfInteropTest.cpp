// Tables written by the engine, read by the outside dBase tools, and tables those
// tools write, read by the engine: every field type, OEM text in code pages 437 and
// 850, deleted records.

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "tests/dbfengine/DbfTableSupport.h"
#include "tests/support/TestSupport.h"

using namespace dbftest;

namespace {

struct Page {
    const char* name;
    rtl::CodePage page;
};
const Page kPages[] = {{"cp437", rtl::CodePage::Oem437}, {"cp850", rtl::CodePage::Oem850}};

std::vector<std::string> ToolLines(const std::string& tool, const std::string& path, const char* page)
{
    std::vector<std::string> lines;
    const int status = ForEachOutputLine("/usr/bin/python3 " + PythonScript("dbf_tools.py") + " read " + tool + " '" + path + "' " + page +
                                             " 2>&1",
                                         [&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(status, 0) << tool << " failed:\n" << testing::PrintToString(lines);
    return lines;
}

// Field by field; where a tool shows less than the file holds (spreadsheet cells are
// doubles, two-digit years) the comparison takes what it shows.
bool SameLine(const std::string& expected, const std::string& got)
{
    const std::vector<std::string> e = SplitBar(expected), g = SplitBar(got);
    if (e.size() != g.size()) return false;
    for (std::size_t i = 0; i < e.size(); ++i) {
        if (g[i].rfind("~", 0) == 0) {
            const long double a = std::stold(e[i]), b = std::stold(g[i].substr(1));
            if (std::fabs(a - b) > std::fabs(a) * 1e-14L) return false;
        } else if (g[i].rfind("??", 0) == 0) {
            if (e[i].size() != 8 || e[i].substr(2) != g[i].substr(2)) return false;
        } else if (e[i] != g[i]) {
            return false;
        }
    }
    return true;
}

// The rows as a tool shows them: every row with its deleted mark, or (mark "-") the
// live rows only.
std::vector<std::string> Expected(const std::vector<ToolRow>& rows, bool withDeleted)
{
    std::vector<std::string> lines;
    for (const ToolRow& row : rows) {
        if (!withDeleted && row.deleted) continue;
        std::string line = withDeleted ? (row.deleted ? "1" : "0") : "-";
        for (const std::string& v : row.values) line += "|" + v;
        lines.push_back(line);
    }
    return lines;
}

void ExpectSameRows(std::vector<std::string> expected, std::vector<std::string> got, const std::string& who)
{
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got.size(), expected.size()) << who << "\n" << testing::PrintToString(got);
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_TRUE(SameLine(expected[i], got[i])) << who << ": expected " << expected[i] << "\n got " << got[i];
}

}  // namespace

TEST(XfDbfInterop, ToolsReadWhatTheEngineWrites)
{
    REQUIRE_TOOLS("/usr/bin/python3", "dbfdump", "pgdbf", "dbf_dump", "soffice");
    const std::vector<ToolRow> rows = ExpectedRows();
    ASSERT_EQ(rows.size(), 4u);
    // Tables with memo fields in the dBase III and the dBase IV format.
    for (const std::uint8_t memoVersion : {0x83, 0x8B})
    for (const Page& page : kPages) {
        EngineScope engine;
        xf::XfSetOemCodePage(page.page);
        xf::XfDbfSettings().MemoVersion = memoVersion;
        testsupport::TempDir dir;
        const std::string path = dir.str() + "/Engine Table.dbf";
        WriteRowsWithEngine(path, rows);
        // Our own reading first, both as stored bytes and through the OEM conversion.
        ExpectSameRows(Expected(rows, true), ReadWithEngine(path, page.page, 0), std::string("engine raw ") + page.name);
        ExpectSameRows(Expected(rows, true), ReadWithEngine(path, page.page, 1), std::string("engine oem ") + page.name);
        for (const char* tool : {"dbfread", "dbf", "dbfdump"})
            if (memoVersion == 0x83 || std::string(tool) != "dbf")  // python3-dbf has no dBase IV memo tables
            ExpectSameRows(Expected(rows, true), ToolLines(tool, path, page.name), std::string(tool) + " " + page.name);
        for (const char* tool : {"pgdbf", "xbase", "libreoffice"})
            ExpectSameRows(Expected(rows, false), ToolLines(tool, path, page.name), std::string(tool) + " " + page.name);
    }
}

TEST(XfDbfInterop, EngineReadsWhatToolsWrite)
{
    REQUIRE_TOOLS("/usr/bin/python3", "perl", "dbfcreate", "dbfadd");
    const std::vector<ToolRow> rows = ExpectedRows();
    for (const Page& page : kPages) {
        for (const char* tool : {"dbf", "xbase", "shapelib"}) {
            EngineScope engine;
            xf::XfSetOemCodePage(page.page);
            testsupport::TempDir dir;
            const std::string path = dir.str() + "/" + tool + ".dbf";
            ASSERT_EQ(testsupport::RunCommand("/usr/bin/python3 " + PythonScript("dbf_tools.py") + " write " + tool + " '" + path + "' " +
                                              page.name)
                          .status,
                      0)
                << tool;
            // shapelib's tool cannot delete records.
            std::vector<ToolRow> written = rows;
            if (std::string(tool) == "shapelib")
                for (ToolRow& row : written) row.deleted = false;
            const std::string who = std::string(tool) + " " + page.name;
            ExpectSameRows(Expected(written, true), ReadWithEngine(path, page.page, 0), who + " raw");
            ExpectSameRows(Expected(written, true), ReadWithEngine(path, page.page, 1), who + " oem");
        }
    }
}
