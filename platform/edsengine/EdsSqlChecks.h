#pragma once
// What SQL may store in a field: every value an INSERT or UPDATE writes into a
// numeric, date or time column must read back through the engine as the value
// it is (a Numeric rounded to its decimals), or the statement is refused with
// the column's error and changes nothing. A value the engine would read as
// something else, as empty or not at all would make the row unreadable through
// the table API, or silently different from what SQL wrote.
//
// The checks are TEMP triggers of the connection on each attached table: they
// touch no file and no other station, and fire for every form of write (INSERT
// ... SELECT, REPLACE, upserts). An UPDATE checks only the columns whose value
// it changes, so a row stored badly before stays repairable.
//
// Thread safety: REQUIRES the engine lock, like the session that owns it.

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <vector>

namespace eds {

struct SqlField;

class FieldChecks {
public:
    // Registers the check functions on `db`; this object must outlive their use.
    explicit FieldChecks(sqlite3* db);
    FieldChecks(const FieldChecks&) = delete;
    FieldChecks& operator=(const FieldChecks&) = delete;

    // The statements that make the checks of the table `rowTable` attached as
    // `schema` (empty for a table without a column to check), and those that
    // drop them if there are any. The drop must come before the attachment's
    // DETACH: SQLite would leave them behind, on the TEMP schema. The session
    // runs both as its own statements.
    static std::string Make(const std::string& schema, const std::string& rowTable,
                            const std::vector<SqlField>& fields);
    static std::string Remove(const std::string& schema);

    // Call before running a statement.
    void Clear() { refusal_.clear(); }
    // Throws what stopped a statement on `db`: a value a check refused as the
    // column's error (EDS_E_COLUMN_VALUE), anything else as SQLite's.
    [[noreturn]] void ThrowFailure(sqlite3* db, int rc, std::string_view sql);

private:
    static void Stored(sqlite3_context* context, int argc, sqlite3_value** argv);
    static void Changed(sqlite3_context* context, int argc, sqlite3_value** argv);

    std::string refusal_;  // the text of the value refused last
};

}  // namespace eds
