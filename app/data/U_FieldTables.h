#pragma once
// The constant tables that name the log's columns. The log field table's row
// order is the order of the log export and the index by which reports name
// columns; a saved filter line stores a row number of the filter field table.

#include <array>
#include <cstddef>
#include <string_view>

constexpr std::size_t LogFieldCount = 29;
constexpr std::size_t LogFilterCount = 23;

// Column names of table Log37.
extern const std::array<std::string_view, LogFieldCount> LogFieldNames;
// Heading + "(" + default width in inches + ")"; readers take the text before "(".
extern const std::array<std::string_view, LogFieldCount> LogFieldCaptions;
// The widths of the captions, in inches.
extern const std::array<double, LogFieldCount> LogFieldWidths;

extern const std::array<std::string_view, LogFilterCount> LogFilterCaptions;
// "ToAddress" and "YourAddress" stand for the four address lines together
// with city, state and ZIP of that side.
extern const std::array<std::string_view, LogFilterCount> LogFilterFields;
