#include "tests/dbfengine/DbfTableSupport.h"

#include <sstream>

#include "dbfengine/timedate.h"
#include "dbfengine/xfndxlow.h"
#include "dbfengine/xfutils.h"

namespace dbftest {

EngineScope::EngineScope() : dbf4_(xf::XfDbf4Settings()), dbf_(xf::XfDbfSettings()), oem_(xf::XfOemCodePage())
{
    xf::XfDates().Century = 1;
    xf::XfDates().DecimalSeparator = '.';
    xf::SetDateStyle(0);
}

EngineScope::~EngineScope()
{
    xf::TXfErrorState& errors = xf::XfErrors();
    errors.DeliverNow = 0;
    try {
        xf::CloseAll();
    } catch (...) {
    }
    xf::XfDbf4Settings() = dbf4_;
    xf::XfDbfSettings() = dbf_;
    xf::XfSetOemCodePage(oem_);
}

std::vector<std::string> SplitBar(const std::string& line)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(line);
    while (std::getline(in, part, '|')) parts.push_back(part);
    if (!line.empty() && line.back() == '|') parts.emplace_back();
    return parts;
}

std::vector<ToolRow> ExpectedRows()
{
    std::vector<ToolRow> rows;
    ForEachOutputLine("/usr/bin/python3 " + PythonScript("dbf_tools.py") + " rows", [&](const std::string& line) {
        std::vector<std::string> parts = SplitBar(line);
        ToolRow row;
        row.deleted = parts[0] == "1";
        row.values.assign(parts.begin() + 1, parts.end());
        rows.push_back(row);
    });
    return rows;
}

std::string PlainDecimal(const std::string& text)
{
    std::string t = xf::AllTrimStr(text);
    if (t.empty()) return t;
    bool negative = false;
    if (t[0] == '-' || t[0] == '+') {
        negative = t[0] == '-';
        t.erase(0, 1);
    }
    if (t.find('.') != std::string::npos) {
        while (!t.empty() && t.back() == '0') t.pop_back();
        if (!t.empty() && t.back() == '.') t.pop_back();
    }
    const std::size_t first = t.find_first_not_of('0');
    t = first == std::string::npos ? "0" : t.substr(first);
    if (t[0] == '.') t.insert(0, "0");
    if (t == "0") return t;
    return negative ? "-" + t : t;
}

void WriteRowsWithEngine(const std::string& path, const std::vector<ToolRow>& rows)
{
    xf::TDbfTable table;
    ASSERT_EQ(xf::CreateDbf(table, path,
                            {{"NAME", 'C', 20, 0}, {"AMOUNT", 'N', 12, 2}, {"RATE", 'F', 10, 4}, {"COUNT", 'N', 5, 0},
                             {"BIG", 'N', 19, 0}, {"BORN", 'D', 8, 0}, {"OK", 'L', 1, 0}, {"NOTE", 'M', 10, 0}}),
              0);
    xf::USE(path);
    for (const ToolRow& row : rows) {
        xf::ClearRecord();
        xf::TXfTypedRecord record = xf::CurrentRecord();
        const std::vector<std::string>& v = row.values;
        record.SetText(1, xf::XfUtf8ToAnsi(v[0]));
        record.SetNumber(2, std::stod(v[1]));
        record.SetNumber(3, std::stod(v[2]));
        record.SetInteger(4, std::stoll(v[3]));
        record.SetInteger(5, std::stoll(v[4]));
        record.SetText(6, v[5].empty() ? "" : v[5].substr(4, 2) + "/" + v[5].substr(6, 2) + "/" + v[5].substr(0, 4));
        record.SetLogical(7, v[6] == "T");
        ASSERT_TRUE(xf::ALock());
        xf::Append();
        xf::Unlock();
        if (row.deleted) {
            ASSERT_TRUE(xf::RLock());
            xf::DeleteRec();
            xf::Unlock();
        }
    }
    xf::CloseDatabase();
}

std::vector<std::string> ReadWithEngine(const std::string& path, rtl::CodePage page, std::uint8_t language)
{
    std::vector<std::string> lines;
    xf::USE(path, "", nullptr, 0, language);
    for (xf::GoTop(); !xf::dEOF(); xf::SKIP(1)) {
        xf::TXfTypedRecord record = xf::CurrentRecord();
        std::string line = record.Deleted() ? "1" : "0";
        for (int i = 1; i <= xf::FieldCount() && i <= 7; ++i) {
            std::string value;
            const char type = xf::FieldType(i);
            if (type == 'C') {
                const std::string text = xf::TrimRightStr(record.Text(i));
                value = language == 0 ? rtl::ToUtf8(text, page) : xf::XfAnsiToUtf8(text);
            } else if (type == 'D') {
                value = xf::TrimRightStr(xf::DtosFromDateText(record.Text(i)));
            } else if (type == 'L') {
                value = record.Logical(i) ? "T" : "F";
            } else if (xf::FieldDec(i) > 0) {
                value = PlainDecimal(xf::FloatToText(record.Number(i), xf::FieldDec(i)));
            } else {
                value = std::to_string(record.Integer(i));
            }
            line += "|" + value;
        }
        lines.push_back(line);
    }
    xf::CloseDatabase();
    return lines;
}

}  // namespace dbftest
