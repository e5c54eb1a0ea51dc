#pragma once
// The saved log filters apart from their windows: which editor and operators
// each row of the filter field table takes, the statements over LogFilters and
// LogFiltersDetail, and the SQL condition a filter's lines make over Log37.
//
// Every value reaches the condition quoted or as a number checked here; a
// stored line that names no filter field, or holds a value its field cannot
// take, is refused with an rtl::Exception in the program's words, never passed
// on into the statement.

#include "app/data/U_Records.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The value editor of a filter field row.
enum class TFilterEditor { DateTime, MailerNum, CustID, SerialNum, Text, TrueFalse, Result };

TFilterEditor FilterEditorOf(int row);
// The operators the row offers, the first one selected by default.
const std::vector<std::string>& FilterOperatorsOf(int row);
// Fee rows compare as amounts.
bool IsMoneyFilterRow(int row);

// The row a stored FieldName names (0..22, decimal digits only), or nothing.
std::optional<int> FilterRow(std::string_view fieldName);

// The line as the line list shows it: the field's caption, the operator and
// the value in single quotes (inner quotes doubled).
std::string FilterLineCaption(const TFilterLineRec& line);

// The condition of one line, in parentheses.
std::string FilterTerm(const TFilterLineRec& line);
// The lines' conditions joined by " AND " or " OR " (`combination`), in list
// order; empty when there are no lines.
std::string FilterWhereText(const std::vector<TFilterLineRec>& lines, std::string_view combination);

// The statements of the filter lists. `name` is a filter's FilterName.
std::string SelectFiltersSql();
std::string SelectFilterLinesSql(std::string_view name);
std::string InsertFilterSql(std::string_view name);
std::string InsertFilterLineSql(std::string_view name, const TFilterLineRec& line);
// Every line of the filter equal to `before` takes `after`.
std::string UpdateFilterLineSql(std::string_view name, const TFilterLineRec& before, const TFilterLineRec& after);
std::string DeleteFilterLineSql(std::string_view name, const TFilterLineRec& line);
// The filter's row, then its lines.
std::vector<std::string> DeleteFilterSql(std::string_view name);
std::string UpdateCombinationSql(std::string_view name, std::string_view combination);
