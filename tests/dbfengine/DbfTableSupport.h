#pragma once
// Tables for the engine's tests: a scope that leaves the work areas and settings as
// it found them, the test table of every field type written through the engine,
// and a table read back through the engine as the same normalised lines the
// outside tools' reader prints (tests/dbfengine/python/dbf_tools.py).

#include <string>
#include <vector>

#include "dbfengine/dbf4.h"
#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/xfcommon.h"
#include "platform/rtl/CodePages.h"
#include "tests/dbfengine/DbfTestSupport.h"

namespace dbftest {

class EngineScope {
public:
    EngineScope();
    ~EngineScope();
    EngineScope(const EngineScope&) = delete;
    EngineScope& operator=(const EngineScope&) = delete;

private:
    EngineErrorsGuard errors_;
    xf::TXfDateSettingsGuard dates_;
    xf::TXfDbf4Settings dbf4_;
    xf::TXfDbfSettings dbf_;
    rtl::CodePage oem_;
};

struct ToolRow {
    bool deleted = false;
    std::vector<std::string> values;  // NAME AMOUNT RATE COUNT BIG BORN OK, UTF-8 and plain decimals
};

std::vector<std::string> SplitBar(const std::string& line);
// The rows every interop table carries (dbf_tools.py rows).
std::vector<ToolRow> ExpectedRows();
// Creates `path` and appends the rows through the engine (shared, under the table lock).
void WriteRowsWithEngine(const std::string& path, const std::vector<ToolRow>& rows);
// The table's records as "deleted|NAME|..." lines. With language 0 the names are the
// file's bytes decoded in `page`; with 1 the engine's OEM-to-ANSI text.
std::vector<std::string> ReadWithEngine(const std::string& path, rtl::CodePage page, std::uint8_t language);
// Plain decimal text of a number, as the tools' reader writes it.
std::string PlainDecimal(const std::string& text);

}  // namespace dbftest
