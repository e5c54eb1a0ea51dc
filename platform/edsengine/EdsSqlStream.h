#pragma once
// The rows of a SELECT that no table's record numbers can stand for (computed
// columns, joins, grouping), served as SQLite produces them.
//
// The statement runs on a connection of its own that attaches the same table
// files. Its first row is there as soon as SQLite has it (for a sorted result:
// once the sort is done); a worker thread then copies the rows, in order, into a
// table of a temporary file (their eds_pos numbers them from 1), which is what a
// cursor reads. A cursor asks for the rows it needs (Need) and waits only for
// those: forward reading goes on while the copy runs, a count or a move to the
// end waits for all of it. The copy runs to the end on its own, because a
// statement that is not finished keeps its table files locked against writers.
//
// Thread safety: the cursor's thread and the worker share the connection, which
// is opened serialized; everything else the worker touches is guarded here.

#include <sqlite3.h>

#include <condition_variable>
#include <future>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/edsengine/EdsSqlSession.h"

namespace eds {

class StreamedRows {
public:
    struct File {
        std::string path;
        std::string schema;  // the name the statement's session attached it by
    };
    // What the values of a column turned out to be.
    struct Kind {
        bool text = false, real = false, blob = false;
        std::int64_t width = 0;  // bytes of the longest text
    };

    static constexpr std::int64_t kAll = std::numeric_limits<std::int64_t>::max();

    // Runs `sql` (parameters "?n") and stands on its first row; throws the
    // statement's error. `kinds` names the columns whose Kind is wanted.
    StreamedRows(const std::vector<File>& files, const std::string& sql, const std::vector<SqlValue>& params,
                 std::vector<int> kinds);
    ~StreamedRows();
    StreamedRows(const StreamedRows&) = delete;
    StreamedRows& operator=(const StreamedRows&) = delete;

    sqlite3* Db() const { return db_; }
    static constexpr const char* kTable = "temp.eds_rows";  // eds_pos, c0, c1, ...

    // The kinds of the wanted columns over every row, found without reading the
    // result in order where SQLite can run the text without its final ORDER BY
    // (on another connection while the statement sorts, when it can); nullopt
    // where it cannot.
    std::optional<std::vector<Kind>> QueryKinds();
    // Starts copying, noting the kinds of the wanted columns as it goes when asked
    // to; a statement that changes tables is run to its end here.
    void Start(bool kinds);
    // Waits until the rows numbered up to `upTo` are in the table, or all rows are;
    // throws what stopped the copy when the rows wanted are not there.
    void Need(std::int64_t upTo);
    // The kinds seen while copying (after Need(kAll)).
    std::vector<Kind> CopiedKinds();

private:
    void Copy();

    sqlite3* db_ = nullptr;
    sqlite3_stmt* rows_ = nullptr;    // the statement, standing on its next row
    sqlite3_stmt* insert_ = nullptr;
    std::string sql_;
    std::vector<SqlValue> params_;
    std::vector<int> wanted_;
    int columns_ = 0;
    std::future<std::optional<std::vector<Kind>>> kindsElsewhere_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t copied_ = 0;
    std::int64_t awaited_ = 0;  // the row a cursor waits for; 0 when none waits
    bool done_ = false;
    bool stop_ = false;
    std::string failure_;
    std::vector<Kind> kinds_;
    std::thread worker_;
};

}  // namespace eds
