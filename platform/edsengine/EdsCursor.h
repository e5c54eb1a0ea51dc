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
// Rows read ahead, and the current row, are taken as fresh for a short while only
// (kFreshFor): other processes' changes show within that time, and at once after
// this process writes the file.
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

inline constexpr std::chrono::milliseconds kFreshFor{200};

class Cursor {
public:
    explicit Cursor(Relation relation);

    const Relation& Rel() const { return rel_; }
    // Whoever may change the visibility makes the current row's verdict unknown.
    Visibility& Filter() {
        passedOrder_ = kUnknown;
        return visibility_;
    }
    // Drops rows read ahead (after the visibility or a scope changed).
    void ForgetReadAhead();

    void GotoTop(const OrderSpec& order);
    void GotoBottom(const OrderSpec& order);
    void GotoBof();
    void GotoEof();
    // Moves |n| visible rows; stops in the BOF or EOF crack.
    void Skip(const OrderSpec& order, std::int64_t n);
    // Stands on the row with this record number (visible or not); false (at EOF) when none.
    bool GotoRecord(std::int64_t recno);
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
    void Reread() { currentGeneration_ = ~std::uint64_t{0}; }
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
    std::vector<std::string> Terms(const OrderSpec& order) const;
    std::string SelectList(const OrderSpec& order) const;
    std::string OrderBy(const OrderSpec& order, bool forward) const;
    Query BaseConditions(const OrderSpec& order, bool withScopes, bool withFilter) const;
    // Rows that the query finds and the predicate passes.
    std::int64_t CountPassing(const Query& q);
    // Runs a query and returns the rows that pass the predicate (with their keys).
    std::size_t RunRows(const OrderSpec& order, const std::string& sql, const std::vector<Value>& params,
                        std::vector<Row>& rows, std::vector<std::vector<Value>>& keys, bool applyPredicate);
    // Reads up to `limit` rows after the position (or from the start) in a direction.
    bool Fetch(const OrderSpec& order, bool forward, bool fromCrack, std::size_t limit);
    const std::vector<Value>& KeyFor(const OrderSpec& order);
    // Stands on a row read at readAt (now when not given). orderId is the order whose
    // scopes and the visibility the query that read the row applied, and of its key
    // (-1 for a row read by its record number alone).
    void Land(Row row, std::vector<Value> key, int orderId,
              std::chrono::steady_clock::time_point readAt = std::chrono::steady_clock::now());
    bool Passes(const Row& row) const;
    void Need(std::int64_t upTo) const {
        if (rel_.need) rel_.need(upTo);
    }
    bool Scoped(const OrderSpec& order) const;

    static constexpr int kUnknown = -1;

    Relation rel_;
    Visibility visibility_;
    At at_ = At::Bof;
    std::int64_t recno_ = 0;
    std::optional<Row> current_;      // as read; reread when stale
    bool gone_ = false;               // the current row was deleted
    bool bothCracks_ = false;         // nothing to stand on: at BOF and EOF at once
    std::pair<std::vector<Value>, std::int64_t> lastRaw_;  // last row a query gave
    std::uint64_t currentGeneration_ = 0;
    std::chrono::steady_clock::time_point currentRead_{};
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
    int aheadOrder_ = -1;
    std::uint64_t aheadGeneration_ = 0;
    std::chrono::steady_clock::time_point aheadRead_{};
    std::size_t nextBatch_ = 16;
};

}  // namespace eds
