#pragma once
// Table ZIPCODES (ZIP, City, State) made from the CSV file the converter
// writes, for the main window's ZIP lookup.

#include <string>
#include <string_view>
#include <vector>

struct TZipRow {
    std::string Zip, City, State;
};

// The rows of a "ZIP,City,State" CSV text (header line first; fields may be
// quoted, with "" for a quote inside). Raises rtl::Exception naming the line
// of a row without three fields or with a ZIP that is not five digits.
std::vector<TZipRow> ParseZipCsv(std::string_view text);

// Makes `folder`/ZIPCODES.edt from the rows, replacing an existing one.
// Returns the number of rows written. Raises the database layer's error.
std::size_t WriteZipCodesTable(const std::string& folder, const std::vector<TZipRow>& rows);
