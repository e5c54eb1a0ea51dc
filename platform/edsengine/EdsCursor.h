#pragma once
// Navigation over the rows of a relation in natural (record number) or key order.
//
// A cursor keeps its position as the current row's key values plus its record
// number, and moves with keyset queries (key = K AND recno > r, then key > K, each
// ordered and limited), reading rows ahead in the direction of travel. A position
// survives the deletion of its row: the next move continues from the same key.
//
// Where visibility plugs in: `Visibility` holds an SQL condition (with its bound
// values) that is ANDed into every query the cursor runs, and an optional C++ row
// predicate that skips rows the condition lets through. Filters and AOFs set it;
// scopes come with the order (OrderSpec). Everything a count, a seek or a move sees
// passes both. After changing it, call ForgetReadAhead() so rows read ahead under the
// old condition are not delivered. A table's cursor is reached from a handle with
// Navigate(handle).table->Cur() (EdsObjects.h).
//
// Rows read ahead, and the current row, stay good while nothing changed the file
// since they were read: this process's writes count at once, other connections'
// commits (SQLite's data version) are looked for once the rows are kFreshFor old,
// counted from when the query that read them finished. So another station's change
// shows within that time, however long the reading took.
//
// A move reads ahead under a filter at most kScanBudget rows that the filter
// refuses, and the next read goes on from where that one stopped; so no single
// skip scans a large table to its end. In an index order, once the rows
// refused pass a share of the table, the visibility is judged once over the whole
// table in record order, and the index is walked against that set of record
// numbers: scattered reads then only fetch rows that pass.
//
// What a cursor reads is a Relation: a table file's row table, or a result that a
// statement materialised (any SQLite table with a record number column). A result
// whose rows are still arriving numbers them 1, 2, ... in order, and the cursor asks
// for the rows a query needs before it runs it (`need`).

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/edsengine/EdsFields.h"
#include "platform/edsengine/EdsKeys.h"
#include "platform/edsengine/EdsTableFile.h"

namespace eds {

struct Relation {
    sqlite3* db = nullptr;
    StatementCache* statements = nullptr;
    const Schema* schema = nullptr;
    std::string from;                 // quoted relation name
    std::string recnoSql = "rowid";   // the record number of a row
    std::shared_ptr<FileShared> shared;  // write generation of what is read
    // Waits until the rows numbered up to its argument (kAllRows: every row) are there.
    std::function<void(std::int64_t)> need;
};

inline constexpr std::int64_t kAllRows = INT64_MAX;

// One row as a cursor delivers it.
struct Row {
    std::int64_t recno = 0;
    std::vector<UNSIGNED8> image;
};

// What a row predicate sees.
struct RowView {
    const Schema& schema;
    std::int64_t recno;
    const UNSIGNED8* image;
};

struct Visibility {
    std::string sql;                 // "" for none; else an SQL condition over the relation's columns
    std::vector<Value> params;       // bound to its "?" in order
    std::function<bool(const RowView&)> predicate;  // empty for none
    // The fields the predicate reads (the others may be left empty in the image it
    // sees when rows are only counted); every field when not given.
    std::optional<std::vector<std::size_t>> predicateReads;
    bool Empty() const { return sql.empty() && !predicate; }
};

// The order of a move: natural (index null) or an index's keys, with its scopes.
struct OrderSpec {
    int id = 0;                       // 0 natural; distinct per index
    const IndexDef* index = nullptr;
    const KeyBound* top = nullptr;
    const KeyBound* bottom = nullptr;
};

enum class CountMode { All, Scopes, Visible };

struct CursorScan;  // a read's budget, as its query's SQL functions see it
struct MatchSet;    // record numbers that pass a filter

inline constexpr std::chrono::milliseconds kFreshFor{200};
// Rows a read ahead may pass over, refused by the filter, before it stops.
inline constexpr std::uint64_t kScanBudget = 4096;

using ClockFunction = std::function<std::chrono::steady_clock::time_point()>;

// Registers the SQL functions through which a cursor's queries keep to their
// budget and consult a set of passing records; every connection that holds
// relations has them.
void RegisterScanFunctions(sqlite3* db);

class Cursor {
public:
    explicit Cursor(Relation relation);

    const Relation& Rel() const { return rel_; }
    // Whoever may change the visibility makes the current row's verdict unknown.
    Visibility& Filter() {
        passedOrder_ = kUnknown;
        ForgetMatches();
        return visibility_;
    }
    // The clock that ages rows read (steady_clock by default); for tests.
    void SetClock(ClockFunction clock) { clock_ = std::move(clock); }
    // Drops rows read ahead (after the visibility or a scope changed).
    void ForgetReadAhead();

    void GotoTop(const OrderSpec& order);
    void GotoBottom(const OrderSpec& order);
    void GotoBof();
    void GotoEof();
    // Moves |n| visible rows; stops in the BOF or EOF crack.
    void Skip(const OrderSpec& order, std::int64_t n);
    // Stands on the row with this record number (visible or not); false when none.
    // Then the cursor is at EOF; or, given the image of the row as last read, it
    // stands where the row stood, as when a row vanishes under it, so that a skip
    // goes on to the row's neighbours in any order.
    bool GotoRecord(std::int64_t recno, const UNSIGNED8* lastImage = nullptr);
    // Stands on a row just written through this cursor's table, without reading it.
    void Place(Row row);
    bool AtBof() const { return at_ == At::Bof || (at_ == At::Eof && bothCracks_); }
    bool AtEof() const { return at_ == At::Eof; }
    bool OnRow() const { return at_ == At::Row; }
    std::int64_t Recno() const { return at_ == At::Row ? recno_ : 0; }
    // The current row, read again when this process wrote since; null at a crack or
    // when the row is gone.
    const Row* Current();
    bool CurrentDeleted() { return OnRow() && Current() == nullptr; }
    // Makes the next Current() read the row from the file.
    void Reread() { currentSeen_ = Seen{}; }
    // Whether the current row passes the order's scopes and the visibility. A row
    // that a move read under the same conditions, and that is still fresh, passes
    // without asking the file again; so does any fresh row when nothing can hide it.
    bool Visible(const OrderSpec& order);

    std::int64_t Count(const OrderSpec& order, CountMode mode);
    // Position (from 1) of the current row among visible rows in the order.
    std::int64_t KeyNumber(const OrderSpec& order);
    std::optional<double> RelativePosition(const OrderSpec& order);
    void SetRelativePosition(const OrderSpec& order, double position);
    // Hard seek: the first row whose key matches; soft: or the next key. Answers found.
    bool Seek(const OrderSpec& order, const KeyBound& key, bool soft);

private:
    enum class At { Bof, Eof, Row };

    struct Query {
        std::string where;            // conditions (without "WHERE")
        std::vector<Value> params;
    };
    // What rows were read under: this process's writes to the file, the data
    // version of what the relation reads, and when both were last found the same.
    struct Seen {
        std::uint64_t generation = ~std::uint64_t{0};
        std::uint64_t dataVersion = 0;
        std::chrono::steady_clock::time_point confirmed{};
    };
    // Where a read goes on in an order: after a row, or (inclusive) at it.
    struct Position {
        std::vector<Value> key;
        std::int64_t recno = 0;
        bool inclusive = false;
    };
    // How a query applies the visibility's SQL condition: not at all, as it is,
    // with a budget of rows it may refuse, or as a set of passing records (with a budget).
    enum class FilterUse { None, Plain, Bounded, Matches };

    std::vector<std::string> Terms(const OrderSpec& order) const;
    std::string SelectList(const OrderSpec& order) const;
    std::string OrderBy(const OrderSpec& order, bool forward) const;
    Query BaseConditions(const OrderSpec& order, bool withScopes, FilterUse filter) const;
    // The record numbers of the rows that the query finds and the predicate passes.
    void ForEachPassing(const Query& q, const std::function<void(std::int64_t)>& pass);
    std::int64_t CountPassing(const Query& q);
    // Runs a query and returns the rows that pass the predicate (with their keys),
    // stopping once `rows` holds `want`; answers how many rows the query gave.
    // Under a scan, the row at which the scan's budget ran out ends the query
    // (neither delivered nor counted): the scan notes where it stands.
    std::size_t RunRows(const OrderSpec& order, const std::string& sql, const std::vector<Value>& params,
                        std::vector<Row>& rows, std::vector<std::vector<Value>>& keys, bool applyPredicate,
                        CursorScan* scan = nullptr, std::size_t want = SIZE_MAX);
    // Reads up to `limit` rows from a position (or from the start) in a direction.
    bool Fetch(const OrderSpec& order, bool forward, std::optional<Position> from, std::size_t limit);
    // One query (or two, same key first) of at most `limit` rows from a position,
    // into the read-ahead until it holds `want`; answers the rows the SQL passed.
    std::size_t FetchFrom(const OrderSpec& order, bool forward, const Query& base, const Position* from,
                          std::size_t limit, std::size_t want, CursorScan* scan);
    const std::vector<Value>& KeyFor(const OrderSpec& order);
    // Stands on a row, read under `seen`. orderId is the order whose scopes and the
    // visibility the query that read the row applied, and of its key (-1 for a row
    // read by its record number alone).
    void Land(Row row, std::vector<Value> key, int orderId, const Seen& seen);
    bool Passes(const Row& row) const;
    void Need(std::int64_t upTo) const {
        if (rel_.need) rel_.need(upTo);
    }
    bool Scoped(const OrderSpec& order) const;

    // What a read sees, taken before its query (a commit seen first by the query
    // makes it stale, never the other way); confirmed when the query is done.
    Seen Before() const;
    void Done(Seen& seen) const { seen.confirmed = clock_(); }
    std::uint64_t DataVersion() const;
    // Whether rows read under `seen` still stand (and when so, since now).
    bool StillGood(Seen& seen);

    // The set of records that pass the visibility, built once index-order reads
    // have refused enough rows; null when there is none or it went stale.
    const MatchSet* Matches(const OrderSpec& order);
    void ForgetMatches();

    static constexpr int kUnknown = -1;

    Relation rel_;
    Visibility visibility_;
    ClockFunction clock_ = [] { return std::chrono::steady_clock::now(); };
    std::vector<std::string> watched_;  // the schemas whose data versions count
    At at_ = At::Bof;
    std::int64_t recno_ = 0;
    std::optional<Row> current_;      // as read; reread when stale
    bool gone_ = false;               // the current row was deleted
    bool bothCracks_ = false;         // nothing to stand on: at BOF and EOF at once
    std::pair<std::vector<Value>, std::int64_t> lastRaw_;  // last row a query gave
    Seen currentSeen_;
    std::vector<Value> key_;          // of the current row in order keyOrder_
    int keyOrder_ = -1;
    // The order whose conditions current_ was found to pass, as it was read; kUnknown
    // when it was not (yet) checked, or was read again since.
    int passedOrder_ = kUnknown;

    // Rows read ahead of the position.
    std::vector<Row> ahead_;
    std::vector<std::vector<Value>> aheadKeys_;
    std::size_t aheadPos_ = 0;
    bool aheadForward_ = true;
    bool aheadComplete_ = false;      // the query ran dry: nothing beyond the buffer
    std::optional<Position> aheadResume_;  // where the read stopped, when not complete
    int aheadOrder_ = -1;
    Seen aheadSeen_;
    std::size_t nextBatch_ = 16;

    // Rows the filter refused in index-order reads, since the filter or the file
    // last changed; and the set of passing records those reads led to.
    std::uint64_t refused_ = 0;
    std::shared_ptr<const MatchSet> matches_;
    Seen matchesSeen_;
    bool matchesTooWide_ = false;     // record numbers spread too far for a set
};

}  // namespace eds
