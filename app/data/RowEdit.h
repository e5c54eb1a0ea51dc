#pragma once
// Saving a person's edit of one row that other stations on the same data
// folder may change or delete while the dialog is open.
//
// A dialog shows the values read some time ago. Writing all of them back
// would put back whatever another station stored since, so an edit writes
// only the values the person changed, and only while the row still holds,
// in those columns, what was read. A statement that then changes no row
// means the row was changed or deleted elsewhere; nothing was stored and the
// person is told which.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TEdsQuery;

// An SQL condition: column `column` still holds text `read`. A blank stored
// value is NULL or an empty text, and neither the dataset nor the statements
// keep trailing blanks, so neither side's trailing blanks count.
std::string StillReadsSql(std::string_view column, std::string_view read);

// One text column of an edit: its value as read and as the person left it.
struct TColumnEdit {
    std::string Column;
    std::string Read;
    std::string Written;
};

// "update <table> set ... where <key> and ...": the changed columns only,
// each required to still hold its value as read. Nothing when nothing changed.
std::optional<std::string> ChangedColumnsUpdateSql(std::string_view table, std::string_view key,
                                                   const std::vector<TColumnEdit>& columns);

enum class TRowEditOutcome { Saved, ChangedElsewhere, Deleted };

// Runs `update` on `query` (pointed at the table's folder). When it changed
// no row, asks whether a row of `table` meets `key` to tell a change
// elsewhere from a deletion.
TRowEditOutcome RunRowEdit(TEdsQuery& query, const std::string& update, std::string_view table,
                           std::string_view key);

// Tells the person what became of an edit of `what` ("mailer", "address")
// that was not saved; silent for a saved one.
void TellRowEditOutcome(TRowEditOutcome outcome, const std::string& what);
