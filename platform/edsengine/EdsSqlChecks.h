#pragma once
// What SQL may store in a field: every value an INSERT or UPDATE writes into a
// numeric, date or time column must read back through the engine as the value
// it is (a Numeric rounded to its decimals), or the statement is refused with
// the column's error and changes nothing. A value the engine would read as
// something else, as empty or not at all would make the row unreadable through
// the table API, or silently different from what SQL wrote.
//
// The checks are TEMP triggers of the connection on each attached table: they
// touch no other station, and fire for every form of write (INSERT ...
// SELECT, REPLACE, upserts). An UPDATE checks only the columns whose value it
// changes, so a row stored badly before stays repairable.
//
// A time or timestamp is kept in the one form the table API writes it
// (HH:MM:SS.mmm, YYYY-MM-DD HH:MM:SS.mmm): a text SQL writes in another form
// the engine reads ('12:30', a date alone or with a T, digits past the
// millisecond, which are cut) is stored again in that form within the
// statement, so that SQL compares the text as the field reads. Stored values
// stay text: the program compares them with text bounds. The row is written
// again by a statement of the checks' own, from a function the trigger calls:
// a trigger's own UPDATE could only name the table unqualified, which SQLite
// looks up in the first attachment that has a table of that name.
//
// Thread safety: REQUIRES the engine lock, like the session that owns it.

#include <sqlite3.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace eds {

struct SqlField;
class SqlSession;

class FieldChecks {
public:
    // Registers the check functions on the session's connection; this object
    // must outlive their use.
    FieldChecks(sqlite3* db, SqlSession& session);
    ~FieldChecks();
    FieldChecks(const FieldChecks&) = delete;
    FieldChecks& operator=(const FieldChecks&) = delete;

    // The statements that make the checks of the table `rowTable` attached as
    // `schema`, whose record number SQL names `recno` (empty for a table
    // without a column to check), and those that drop them if there are any.
    // The drop must come before the attachment's DETACH: SQLite would leave
    // them behind, on the TEMP schema. The session runs both as its own
    // statements, and tells Forget of the drop.
    static std::string Make(const std::string& schema, const std::string& rowTable, const std::string& recno,
                            const std::vector<SqlField>& fields);
    static std::string Remove(const std::string& schema);
    void Forget(const std::string& schema);
    // Whether user SQL names a function of the checks that only they may call.
    static bool IsOwn(std::string_view function);

    // Call before running a statement.
    void Clear() { refusal_.clear(); }
    // Throws what stopped a statement on `db`: a value a check refused as the
    // column's error (EDS_E_COLUMN_VALUE), anything else as SQLite's.
    [[noreturn]] void ThrowFailure(sqlite3* db, int rc, std::string_view sql);

private:
    static void Stored(sqlite3_context* context, int argc, sqlite3_value** argv);
    static void Changed(sqlite3_context* context, int argc, sqlite3_value** argv);
    static void Keep(sqlite3_context* context, int argc, sqlite3_value** argv);

    sqlite3* db_;
    SqlSession& session_;
    std::string refusal_;  // the text of the value refused last
    // The statements that store a row's times again, by attachment and text.
    std::map<std::pair<std::string, std::string>, sqlite3_stmt*> keeps_;
};

}  // namespace eds
