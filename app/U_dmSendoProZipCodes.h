#pragma once
// Table ZIPCODES from the rows the ZIP code converter writes (a CSV file with
// the header ZIP,City,State). The build runs it once; the program only reads
// the table.

#include <string>

// Replaces `tableFile` (a ".edt" path) with a table of every row of `csvFile`,
// indexed on ZIP, and answers the number of rows. Raises rtl::Exception naming
// the line of a malformed row or the engine's text; a failed run leaves no
// table behind.
int WriteZipCodesTable(const std::string& csvFile, const std::string& tableFile);
