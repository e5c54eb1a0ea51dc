#include "app/log/U_FilterRules.h"

#include "app/data/U_FieldTables.h"
#include "app/data/U_MailerNumbers.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

constexpr int kDateTimeRow = 0, kMailerRow = 1, kCustIdRow = 2, kSerialRow = 3, kToRow = 4, kFromRow = 8,
              kBatchRow = 16, kResultRow = 17, kFirstFeeRow = 18;

std::string q(std::string_view text) { return rtl::QuotedStr(text); }

std::string Column(int row) { return std::string(LogFilterFields[static_cast<std::size_t>(row)]); }

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

[[noreturn]] void Refuse(const TFilterLineRec& line, const std::string& why)
{
    throw rtl::Exception("The filter line " + q(FilterLineCaption(line)) + " " + why);
}

// The line's operator, when its row offers it: it goes into the statement as it stands.
const std::string& CheckedOperator(const TFilterLineRec& line, int row)
{
    const std::vector<std::string>& offered = FilterOperatorsOf(row);
    const auto found = std::find(offered.begin(), offered.end(), line.Operator);
    if (found == offered.end()) Refuse(line, "has an operator its field does not take.");
    return *found;
}

// A timestamp column holds "YYYY-MM-DD HH:MM:SS.zzz", so a bare second sorts
// before every row of that second: "later than" and "up to" a second take the
// whole second in.
std::string DateTimeTerm(const TFilterLineRec& line, const std::string& op)
{
    rtl::TDateTime when = 0;
    if (!rtl::TryStrToDateTime(rtl::Trim(line.Value), when)) Refuse(line, "does not hold a date and time.");
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    rtl::DecodeDate(when, year, month, day);
    rtl::DecodeTime(when, hour, minute, second, msec);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    std::string bound = text;
    if (op == ">" || op == "<=") bound += ".999";
    return "(" + Column(kDateTimeRow) + " " + op + " " + q(bound) + ")";
}

std::string LikeAny(const std::vector<std::string>& columns, std::string_view value)
{
    const std::string pattern = q("%" + std::string(value) + "%");
    std::string out;
    for (const std::string& column : columns) out += (out.empty() ? "(" : " or ") + ("(" + column + " like " + pattern + ")");
    return out + ")";
}

std::string AddressTerm(int row, std::string_view value)
{
    const std::string side = Column(row);
    return LikeAny({side + "1", side + "2", side + "3", side + "4", Column(row + 1), Column(row + 2), Column(row + 3)},
                   value);
}

std::string NumberText(double value)
{
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return std::string(text, ec == std::errc() ? end : text);
}

}  // namespace

TFilterEditor FilterEditorOf(int row)
{
    switch (row) {
    case kDateTimeRow: return TFilterEditor::DateTime;
    case kMailerRow: return TFilterEditor::MailerNum;
    case kCustIdRow: return TFilterEditor::CustID;
    case kSerialRow: return TFilterEditor::SerialNum;
    case kBatchRow: return TFilterEditor::TrueFalse;
    case kResultRow: return TFilterEditor::Result;
    default: return TFilterEditor::Text;
    }
}

const std::vector<std::string>& FilterOperatorsOf(int row)
{
    static const std::vector<std::string> ordered{"=", ">", ">=", "<", "<="};
    static const std::vector<std::string> later{">", ">=", "<", "<="};
    static const std::vector<std::string> equal{"="};
    if (row == kDateTimeRow) return later;
    if (row == kSerialRow || IsMoneyFilterRow(row)) return ordered;
    return equal;
}

bool IsMoneyFilterRow(int row) { return row >= kFirstFeeRow && row < static_cast<int>(LogFilterCount); }

std::optional<int> FilterRow(std::string_view fieldName)
{
    const std::string trimmed = rtl::Trim(fieldName);
    if (!AllDigits(trimmed) || trimmed.size() > 2) return std::nullopt;
    const int row = std::stoi(trimmed);
    if (row >= static_cast<int>(LogFilterCount)) return std::nullopt;
    return row;
}

std::string FilterLineCaption(const TFilterLineRec& line)
{
    const std::optional<int> row = FilterRow(line.FieldName);
    const std::string caption =
        row ? std::string(LogFilterCaptions[static_cast<std::size_t>(*row)]) : "Field " + line.FieldName;
    return caption + " " + line.Operator + " " + q(line.Value);
}

std::string FilterTerm(const TFilterLineRec& line)
{
    const std::optional<int> found = FilterRow(line.FieldName);
    if (!found) Refuse(line, "names no field a filter can use (" + q(line.FieldName) + ").");
    const int row = *found;
    const std::string& v = line.Value;
    switch (FilterEditorOf(row)) {
    case TFilterEditor::DateTime: return DateTimeTerm(line, CheckedOperator(line, row));
    case TFilterEditor::MailerNum: {
        const std::optional<TMailerNumberKey> key = MailerNumberKey(v);
        if (!key) Refuse(line, "does not hold a full mailer number.");
        return "(" + MailerNumberCondition(*key) + ")";
    }
    case TFilterEditor::CustID: {
        // The print road logs the nine digits, imports keep the dashed form.
        std::string digits = v;
        digits.erase(std::remove(digits.begin(), digits.end(), '-'), digits.end());
        if (digits == v || !AllDigits(digits)) return "(" + Column(row) + " = " + q(v) + ")";
        return "(" + Column(row) + " in (" + q(v) + ", " + q(digits) + "))";
    }
    case TFilterEditor::SerialNum: {
        const std::string digits = rtl::Trim(v);
        if (!AllDigits(digits)) Refuse(line, "does not hold a serial number.");
        const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
        if (digits.size() - first > 18) Refuse(line, "holds a serial number that is too long.");
        return "(" + Column(row) + " " + CheckedOperator(line, row) + " " + digits.substr(first) + ")";
    }
    case TFilterEditor::TrueFalse:
        if (v != "True" && v != "False") Refuse(line, "holds neither True nor False.");
        return "(" + Column(row) + " = " + v + ")";
    case TFilterEditor::Result: return "(" + Column(row) + " = " + q(v) + ")";
    case TFilterEditor::Text: break;
    }
    if (row == kToRow || row == kFromRow) return AddressTerm(row, v);
    if (!IsMoneyFilterRow(row)) return "(" + Column(row) + " like " + q("%" + v + "%") + ")";
    // Fees are stored as trimmed money texts, so they compare as amounts; a
    // blank fee counts 0.
    double amount = 0;
    if (!rtl::TryStrToFloat(v, amount)) Refuse(line, "does not hold an amount.");
    return "(coalesce(cast(" + Column(row) + " as real), 0) " + CheckedOperator(line, row) + " " + NumberText(amount) +
           ")";
}

std::string FilterWhereText(const std::vector<TFilterLineRec>& lines, std::string_view combination)
{
    const std::string joint = combination == "AND" ? " AND " : " OR ";
    std::string where;
    for (const TFilterLineRec& line : lines) where += (where.empty() ? "" : joint) + FilterTerm(line);
    return where;
}

std::string SelectFiltersSql() { return "select FILTERNAME, FILTERCOMBINATION from LogFilters order by FILTERNAME"; }

std::string SelectFilterLinesSql(std::string_view name)
{
    return "select * from LogFiltersDetail where FILTERNAME = " + q(name);
}

std::string InsertFilterSql(std::string_view name)
{
    return "insert into LogFilters (FILTERNAME, FILTERCOMBINATION) values(" + q(name) + ", " + q("AND") + ")";
}

std::string InsertFilterLineSql(std::string_view name, const TFilterLineRec& line)
{
    return "insert into LogFiltersDetail (FILTERNAME, FIELDNAME, OPERATOR, VALUE) values(" + q(name) + ", " +
           q(line.FieldName) + ", " + q(line.Operator) + ", " + q(line.Value) + ")";
}

namespace {
std::string LineCondition(std::string_view name, const TFilterLineRec& line)
{
    return " where FILTERNAME = " + q(name) + " and FIELDNAME = " + q(line.FieldName) + " and OPERATOR = " +
           q(line.Operator) + " and VALUE = " + q(line.Value);
}
}  // namespace

std::string UpdateFilterLineSql(std::string_view name, const TFilterLineRec& before, const TFilterLineRec& after)
{
    return "update LogFiltersDetail set FIELDNAME = " + q(after.FieldName) + ", OPERATOR = " + q(after.Operator) +
           ", VALUE = " + q(after.Value) + LineCondition(name, before);
}

std::string DeleteFilterLineSql(std::string_view name, const TFilterLineRec& line)
{
    return "delete from LogFiltersDetail" + LineCondition(name, line);
}

std::vector<std::string> DeleteFilterSql(std::string_view name)
{
    return {"delete from LogFilters where FILTERNAME = " + q(name),
            "delete from LogFiltersDetail where FILTERNAME = " + q(name)};
}

std::string UpdateCombinationSql(std::string_view name, std::string_view combination)
{
    return "update LogFilters set FILTERCOMBINATION = " + q(combination) + " where FILTERNAME = " + q(name);
}
