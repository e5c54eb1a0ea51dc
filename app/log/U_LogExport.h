#pragma once
// The whole mail log as a text listing: per row one "caption = value" line
// for each column of the log field table, in its order, then two empty
// lines; appended to the file, in Windows-1252 with CR LF.

#include "app/data/U_TextFile.h"

#include <string>

// Appends every row of Log37 in Folder, by DateTime, to FileName (created
// when missing), read through Query, which is left closed. Raises on a
// failure of the table or the file; the file then keeps only what it held
// before.
TTextExportResult ExportLog(TEdsQuery& Query, const std::string& Folder, const std::string& FileName);
