#include "platform/edsengine/EdsCursor.h"

#include <algorithm>
#include <cmath>

#include "platform/edsengine/EdsCore.h"

namespace eds {
namespace {

constexpr std::size_t kFirstBatch = 16;
constexpr std::size_t kMaxBatch = 256;
constexpr std::size_t kTurnBatch = 2;
// Against a set of passing records a row refused costs only its index entry.
constexpr std::uint64_t kMatchBudgetFactor = 16;
// A set of passing records costs one pass over the table in record order, about
// what index-order reads cost that refused this share of the table's rows in
// scattered reads.
constexpr std::uint64_t kRefusedShare = 32;
constexpr std::uint64_t kLeastRefused = 256;
// Record numbers that span more than this make no set (its bits would pass 8 MB).
constexpr std::uint64_t kMaxMatchSpan = std::uint64_t{1} << 26;

bool Descending(const OrderSpec& order) { return order.index && order.index->Descending(); }

// A field as a row image holds it: a blob only as whether it has a value.
std::string FieldSql(const FieldDef& f) {
    const std::string column = QuoteName(f.name);
    return f.IsBlob() ? "(coalesce(length(" + column + "), 0) > 0)" : column;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
    return out;
}

std::string RowOf(const std::vector<std::string>& terms) {
    if (terms.size() == 1) return terms[0];
    std::string row = "(";
    row += Join(terms, ", ");
    row += ')';
    return row;
}

std::string Placeholders(std::size_t n) {
    std::string s = n == 1 ? "?" : "(";
    if (n != 1) {
        for (std::size_t i = 0; i < n; ++i) s += i ? ", ?" : "?";
        s += ")";
    }
    return s;
}

}  // namespace

struct MatchSet {
    std::int64_t low = 0;
    std::vector<std::uint64_t> bits;
    // The bit of a record number; past the end for one outside the set's span.
    std::uint64_t Bit(std::int64_t recno) const {
        if (recno < low) return ~std::uint64_t{0};
        return static_cast<std::uint64_t>(recno) - static_cast<std::uint64_t>(low);
    }
    bool Has(std::int64_t recno) const {
        const std::uint64_t i = Bit(recno);
        return i / 64 < bits.size() && (bits[i / 64] >> (i % 64) & 1) != 0;
    }
};

struct CursorScan {
    std::uint64_t budget = kScanBudget;
    std::uint64_t refused = 0;  // rows the query passed over so far
    bool spent = false;
    const MatchSet* matches = nullptr;
    std::optional<std::pair<std::vector<Value>, std::int64_t>> stoppedAt;  // key and record number
};

namespace {

// The scan of the query running on this thread, for its SQL functions.
thread_local CursorScan* tScan = nullptr;

class ScanGuard {
public:
    explicit ScanGuard(CursorScan* scan) : previous_(tScan) { tScan = scan; }
    ~ScanGuard() { tScan = previous_; }
    ScanGuard(const ScanGuard&) = delete;
    ScanGuard& operator=(const ScanGuard&) = delete;

private:
    CursorScan* previous_;
};

}  // namespace

void RegisterScanFunctions(sqlite3* db) {
    // Neither is deterministic (one counts), and neither belongs in a file's schema.
    const int flags = SQLITE_UTF8 | SQLITE_DIRECTONLY;
    // True once the query has passed over more rows than its budget: the row it is
    // asked about then ends the query. Asked only about rows the filter refused.
    sqlite3_create_function_v2(
        db, "eds_scan_spent", 0, flags, nullptr,
        [](sqlite3_context* context, int, sqlite3_value**) {
            CursorScan* scan = tScan;
            if (scan && ++scan->refused > scan->budget) scan->spent = true;
            sqlite3_result_int(context, scan && scan->spent ? 1 : 0);
        },
        nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(
        db, "eds_scan_match", 1, flags, nullptr,
        [](sqlite3_context* context, int, sqlite3_value** args) {
            const CursorScan* scan = tScan;
            const bool match = !scan || !scan->matches || scan->matches->Has(sqlite3_value_int64(args[0]));
            sqlite3_result_int(context, match ? 1 : 0);
        },
        nullptr, nullptr, nullptr);
}

Cursor::Cursor(Relation relation) : rel_(std::move(relation)) {
    // Rows come from every schema of the connection but the temporary one.
    sqlite3_stmt* stmt = rel_.statements->Get("PRAGMA database_list");
    StatementUse use(stmt);
    while (Step(rel_.db, stmt)) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
        if (name && std::string_view(name) != "temp") watched_.emplace_back(name);
    }
}

Cursor::Seen Cursor::Before() const {
    Seen seen;
    seen.generation = rel_.shared ? rel_.shared->generation : 0;
    seen.dataVersion = DataVersion();
    return seen;
}

std::uint64_t Cursor::DataVersion() const {
    // The versions SQLite found when this connection last began to read; each only grows.
    std::uint64_t sum = 0;
    for (const std::string& schema : watched_) {
        unsigned int version = 0;
        sqlite3_file_control(rel_.db, schema.c_str(), SQLITE_FCNTL_DATA_VERSION, &version);
        sum += version;
    }
    return sum;
}

bool Cursor::StillGood(Seen& seen) {
    if (seen.generation != (rel_.shared ? rel_.shared->generation : 0)) return false;
    const auto now = clock_();
    if (now - seen.confirmed < kFreshFor) return true;
    // Beginning to read is what makes SQLite look for other connections' commits.
    for (const std::string& schema : watched_) {
        sqlite3_stmt* stmt = rel_.statements->Get("PRAGMA " + QuoteName(schema) + ".data_version");
        StatementUse use(stmt);
        Step(rel_.db, stmt);
    }
    if (DataVersion() != seen.dataVersion) return false;
    seen.confirmed = now;
    return true;
}

void Cursor::ForgetMatches() {
    matches_.reset();
    refused_ = 0;
    matchesTooWide_ = false;
}

const MatchSet* Cursor::Matches(const OrderSpec& order) {
    if (!order.index || visibility_.Empty() || matchesTooWide_) return nullptr;
    if (matches_) {
        if (StillGood(matchesSeen_)) return matches_.get();
        ForgetMatches();
    }
    if (refused_ < kLeastRefused) return nullptr;
    std::int64_t low = 0, high = -1;
    {
        sqlite3_stmt* stmt = rel_.statements->Get("SELECT (SELECT min(" + rel_.recnoSql + ") FROM " + rel_.from +
                                                  "), (SELECT max(" + rel_.recnoSql + ") FROM " + rel_.from + ")");
        StatementUse use(stmt);
        if (Step(rel_.db, stmt) && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
            low = sqlite3_column_int64(stmt, 0);
            high = sqlite3_column_int64(stmt, 1);
        }
    }
    if (high < low) return nullptr;
    const std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
    if (refused_ * kRefusedShare <= span) return nullptr;
    if (span >= kMaxMatchSpan) {
        matchesTooWide_ = true;
        return nullptr;
    }
    Seen seen = Before();
    auto set = std::make_shared<MatchSet>();
    set->low = low;
    set->bits.assign(static_cast<std::size_t>(span / 64 + 1), 0);
    ForEachPassing(BaseConditions(OrderSpec{}, false, FilterUse::Plain), [&](std::int64_t recno) {
        const std::uint64_t i = set->Bit(recno);
        if (i / 64 < set->bits.size()) set->bits[i / 64] |= std::uint64_t{1} << (i % 64);
    });
    Done(seen);
    matches_ = std::move(set);
    matchesSeen_ = seen;
    return matches_.get();
}

void Cursor::ForgetReadAhead() {
    ahead_.clear();
    aheadKeys_.clear();
    aheadPos_ = 0;
    aheadOrder_ = -1;
    aheadComplete_ = false;
    aheadResume_.reset();
    nextBatch_ = kFirstBatch;
    passedOrder_ = kUnknown;  // the scopes or the visibility may have changed
}

std::vector<std::string> Cursor::Terms(const OrderSpec& order) const {
    std::vector<std::string> terms;
    if (order.index)
        for (const Segment& s : order.index->segments) terms.push_back(KeyTermSql(*rel_.schema, s));
    return terms;
}

std::string Cursor::SelectList(const OrderSpec& order) const {
    std::string list;
    for (const FieldDef& f : rel_.schema->Fields()) list += (list.empty() ? "" : ", ") + FieldSql(f);
    list += ", " + rel_.recnoSql;
    for (const std::string& t : Terms(order)) list += ", " + t;
    return list;
}

std::string Cursor::OrderBy(const OrderSpec& order, bool forward) const {
    const char* dir = forward != Descending(order) ? " ASC" : " DESC";
    std::string out;
    for (const std::string& t : Terms(order)) out += t + dir + ", ";
    return out + rel_.recnoSql + dir;
}

Cursor::Query Cursor::BaseConditions(const OrderSpec& order, bool withScopes, FilterUse filter) const {
    Query q;
    std::vector<std::string> parts;
    if (filter == FilterUse::Matches) {
        parts.push_back("(eds_scan_match(" + rel_.recnoSql + ") OR eds_scan_spent())");
    } else if (filter != FilterUse::None && !visibility_.sql.empty()) {
        parts.push_back(filter == FilterUse::Bounded ? "((" + visibility_.sql + ") OR eds_scan_spent())"
                                                     : "(" + visibility_.sql + ")");
        q.params.insert(q.params.end(), visibility_.params.begin(), visibility_.params.end());
    }
    if (withScopes && order.index) {
        const std::vector<std::string> terms = Terms(order);
        if (order.top && !order.top->values.empty()) parts.push_back(LowerBoundSql(terms, *order.top, q.params));
        if (order.bottom && !order.bottom->values.empty()) parts.push_back(UpperBoundSql(terms, *order.bottom, q.params));
    }
    q.where = parts.empty() ? "1" : Join(parts, " AND ");
    return q;
}

bool Cursor::Scoped(const OrderSpec& order) const {
    return order.index && ((order.top && !order.top->values.empty()) || (order.bottom && !order.bottom->values.empty()));
}

bool Cursor::Passes(const Row& row) const {
    return !visibility_.predicate || visibility_.predicate(RowView{*rel_.schema, row.recno, row.image.data()});
}

std::size_t Cursor::RunRows(const OrderSpec& order, const std::string& sql, const std::vector<Value>& params,
                            std::vector<Row>& rows, std::vector<std::vector<Value>>& keys, bool applyPredicate,
                            CursorScan* scan, std::size_t want) {
    sqlite3_stmt* stmt = rel_.statements->Get(sql);
    StatementUse use(stmt);
    for (std::size_t i = 0; i < params.size(); ++i) BindValue(stmt, static_cast<int>(i + 1), params[i]);
    const Schema& schema = *rel_.schema;
    const int fieldCount = static_cast<int>(schema.Count());
    const int keyCount = order.index ? static_cast<int>(order.index->segments.size()) : 0;
    // A row the predicate refuses needs only the fields it reads.
    const bool judged = applyPredicate && visibility_.predicate;
    const std::vector<std::size_t>* reads =
        judged && visibility_.predicateReads ? &*visibility_.predicateReads : nullptr;
    std::size_t raw = 0;
    ScanGuard guard(scan);
    while (Step(rel_.db, stmt)) {
        const std::int64_t recno = sqlite3_column_int64(stmt, fieldCount);
        std::vector<Value> key;
        key.reserve(static_cast<std::size_t>(keyCount));
        for (int k = 0; k < keyCount; ++k) key.push_back(ColumnValue(stmt, fieldCount + 1 + k));
        if (scan && scan->spent) {
            scan->stoppedAt.emplace(std::move(key), recno);
            break;
        }
        ++raw;
        Row row;
        row.recno = recno;
        row.image.resize(schema.RecordLength());
        lastRaw_ = {key, row.recno};
        if (reads) {
            for (std::size_t i : *reads) {
                const FieldDef& f = schema.At(i);
                ImageFromColumn(f, stmt, static_cast<int>(i), row.image.data() + f.offset);
            }
            if (!Passes(row)) continue;
        }
        for (int i = 0; i < fieldCount; ++i) {
            const FieldDef& f = schema.At(static_cast<std::size_t>(i));
            ImageFromColumn(f, stmt, i, row.image.data() + f.offset);
        }
        if (judged && !reads && !Passes(row)) continue;
        if (rows.size() == rows.capacity()) rows.reserve(rows.size() * 2 + 16);
        rows.push_back(std::move(row));
        keys.push_back(std::move(key));
        if (rows.size() >= want) break;
    }
    return raw;
}

const std::vector<Value>& Cursor::KeyFor(const OrderSpec& order) {
    static const std::vector<Value> none;
    if (!order.index) return none;
    Current();  // a row changed since it was read has a new key
    if (keyOrder_ == order.id) return key_;
    const std::vector<std::string> terms = Terms(order);
    std::vector<Value> key;
    {
        sqlite3_stmt* stmt =
            rel_.statements->Get("SELECT " + Join(terms, ", ") + " FROM " + rel_.from + " WHERE " + rel_.recnoSql + " = ?");
        StatementUse use(stmt);
        sqlite3_bind_int64(stmt, 1, recno_);
        if (Step(rel_.db, stmt))
            for (std::size_t k = 0; k < terms.size(); ++k) key.push_back(ColumnValue(stmt, static_cast<int>(k)));
    }
    if (key.empty()) {
        // The row is gone: its key comes from the image last read.
        if (!current_) Throw(EDS_E_NO_POSITION, "The position of the deleted record is not known.");
        for (const Segment& s : order.index->segments) {
            const FieldDef& f = rel_.schema->At(static_cast<std::size_t>(s.field));
            key.push_back(KeyValue(*rel_.schema, s, ValueFromImage(f, current_->image.data() + f.offset)));
        }
    }
    key_ = std::move(key);
    keyOrder_ = order.id;
    return key_;
}

void Cursor::Land(Row row, std::vector<Value> key, int orderId, const Seen& seen) {
    at_ = At::Row;
    bothCracks_ = false;
    recno_ = row.recno;
    current_ = std::move(row);
    gone_ = false;
    currentSeen_ = seen;
    key_ = std::move(key);
    keyOrder_ = orderId;
    passedOrder_ = orderId;
}

bool Cursor::Fetch(const OrderSpec& order, bool forward, std::optional<Position> from, std::size_t limit) {
    ForgetReadAhead();
    aheadForward_ = forward;
    aheadOrder_ = order.id;
    if (rel_.need) {
        // Rows arriving in record number order: reading on in that order needs the
        // next `limit` rows, reading back none; any other order or a condition all.
        std::int64_t upTo = kAllRows;
        if (!order.index && visibility_.Empty())
            upTo = forward ? (from ? from->recno : 0) + static_cast<std::int64_t>(limit) : (from ? 0 : kAllRows);
        if (upTo > 0) Need(upTo);
    }
    Seen seen = Before();
    while (true) {
        // An SQL condition refuses rows that the query passes over unseen: a read
        // keeps to a budget of those, and goes on from where it stopped.
        const MatchSet* matches = Matches(order);
        const bool bounded = matches || !visibility_.sql.empty();
        CursorScan scan;
        scan.matches = matches;
        if (matches) scan.budget = kScanBudget * kMatchBudgetFactor;
        const Query base = BaseConditions(
            order, true, matches ? FilterUse::Matches : bounded ? FilterUse::Bounded : FilterUse::Plain);
        // Rows the predicate judges come back to be judged here: a read takes as many
        // of those as the budget, and stops once it has `limit` that pass.
        const std::size_t take = visibility_.predicate ? std::max<std::size_t>(limit, kScanBudget) : limit;
        const std::size_t raw =
            FetchFrom(order, forward, base, from ? &*from : nullptr, take, limit, bounded ? &scan : nullptr);
        // ahead_ was empty before: what the SQL let through and is not there, the predicate refused.
        if (order.index && !matches) refused_ += scan.refused + (raw - ahead_.size());
        if (scan.stoppedAt) {
            from = Position{std::move(scan.stoppedAt->first), scan.stoppedAt->second, true};
        } else if (raw < take && ahead_.size() < limit) {
            aheadComplete_ = true;
            break;
        } else {
            from = Position{lastRaw_.first, lastRaw_.second, false};
        }
        if (!ahead_.empty()) {
            aheadResume_ = std::move(from);
            break;
        }
        // Every row so far refused: go on from there.
    }
    Done(seen);
    aheadSeen_ = seen;
    return !ahead_.empty();
}

std::size_t Cursor::FetchFrom(const OrderSpec& order, bool forward, const Query& base, const Position* from,
                              std::size_t limit, std::size_t want, CursorScan* scan) {
    const std::string select = "SELECT " + SelectList(order) + " FROM " + rel_.from + " WHERE ";
    const bool ascending = forward != Descending(order);
    const char* after = ascending ? " > " : " < ";
    const char* at = from && from->inclusive ? (ascending ? " >= " : " <= ") : after;
    const auto count = Value::Int(static_cast<std::int64_t>(limit));
    const auto run = [&](const std::string& sql, const std::vector<Value>& values) {
        return RunRows(order, sql, values, ahead_, aheadKeys_, true, scan, want);
    };
    std::vector<Value> params = base.params;
    if (!from) {
        params.push_back(count);
        return run(select + base.where + " ORDER BY " + OrderBy(order, forward) + " LIMIT ?", params);
    }
    if (!order.index) {
        params.push_back(Value::Int(from->recno));
        params.push_back(count);
        return run(select + base.where + " AND " + rel_.recnoSql + at + "? ORDER BY " + OrderBy(order, forward) +
                       " LIMIT ?",
                   params);
    }
    // Same key, further record numbers; then further keys. Kept apart, since a
    // row-value test over key and record number rescans every duplicate.
    const std::vector<std::string> terms = Terms(order);
    std::string equal;
    for (std::size_t k = 0; k < terms.size(); ++k) {
        equal += " AND " + terms[k] + " = ?";
        params.push_back(from->key[k]);
    }
    params.push_back(Value::Int(from->recno));
    params.push_back(count);
    std::size_t raw = run(select + base.where + equal + " AND " + rel_.recnoSql + at + "? ORDER BY " +
                              rel_.recnoSql + (ascending ? " ASC" : " DESC") + " LIMIT ?",
                          params);
    if (raw < limit && ahead_.size() < want && !(scan && scan->stoppedAt)) {
        std::vector<Value> further = base.params;
        further.insert(further.end(), from->key.begin(), from->key.end());
        further.push_back(Value::Int(static_cast<std::int64_t>(limit - raw)));
        raw += run(select + base.where + " AND " + RowOf(terms) + after + Placeholders(terms.size()) + " ORDER BY " +
                       OrderBy(order, forward) + " LIMIT ?",
                   further);
    }
    return raw;
}

void Cursor::GotoBof() {
    ForgetReadAhead();
    at_ = At::Bof;
    bothCracks_ = false;
}

void Cursor::GotoEof() {
    ForgetReadAhead();
    at_ = At::Eof;
    bothCracks_ = false;
}

void Cursor::GotoTop(const OrderSpec& order) {
    GotoBof();
    Skip(order, 1);
    if (at_ != At::Row) bothCracks_ = true;
}

void Cursor::GotoBottom(const OrderSpec& order) {
    GotoEof();
    Skip(order, -1);
    if (at_ != At::Row) {
        at_ = At::Eof;
        bothCracks_ = true;
    }
}

void Cursor::Skip(const OrderSpec& order, std::int64_t n) {
    const bool forward = n > 0;
    for (std::int64_t step = 0; step < (n < 0 ? -n : n); ++step) {
        if ((at_ == At::Eof && forward) || (at_ == At::Bof && !forward)) return;
        std::optional<Position> from;
        if (at_ == At::Row) {
            if (aheadPos_ > 0 && aheadOrder_ == order.id && aheadForward_ == forward && StillGood(aheadSeen_)) {
                if (aheadPos_ < ahead_.size()) {
                    Land(std::move(ahead_[aheadPos_]), std::move(aheadKeys_[aheadPos_]), order.id, aheadSeen_);
                    ++aheadPos_;
                    continue;
                }
                if (aheadComplete_) {
                    at_ = forward ? At::Eof : At::Bof;
                    bothCracks_ = false;
                    continue;
                }
                from = aheadResume_;
            }
            if (!from) from = Position{KeyFor(order), recno_, false};
        }
        // A grid scrolled back and forth turns at every step: after a turn the batch
        // starts small again, and grows only while the direction holds.
        if (aheadOrder_ == order.id && aheadForward_ != forward) nextBatch_ = kTurnBatch;
        const std::size_t batch = nextBatch_;
        if (!Fetch(order, forward, std::move(from), batch)) {
            at_ = forward ? At::Eof : At::Bof;
            bothCracks_ = false;
            continue;
        }
        nextBatch_ = std::min(batch * 4, kMaxBatch);
        Land(std::move(ahead_[0]), std::move(aheadKeys_[0]), order.id, aheadSeen_);
        aheadPos_ = 1;
    }
}

bool Cursor::GotoRecord(std::int64_t recno, const UNSIGNED8* lastImage) {
    ForgetReadAhead();
    Need(recno);
    std::vector<Row> rows;
    std::vector<std::vector<Value>> keys;
    const OrderSpec natural;
    Seen seen = Before();
    RunRows(natural, "SELECT " + SelectList(natural) + " FROM " + rel_.from + " WHERE " + rel_.recnoSql + " = ?",
            {Value::Int(recno)}, rows, keys, false);
    Done(seen);
    if (rows.empty() && lastImage) {
        // The key of the position comes from the image, as for a row deleted
        // while the cursor stood on it.
        Row gone;
        gone.recno = recno;
        gone.image.assign(lastImage, lastImage + rel_.schema->RecordLength());
        Land(std::move(gone), {}, -1, seen);
        gone_ = true;
        return false;
    }
    if (rows.empty()) {
        at_ = At::Eof;
        bothCracks_ = false;
        return false;
    }
    Land(std::move(rows[0]), {}, -1, seen);
    return true;
}

void Cursor::Place(Row row) {
    ForgetReadAhead();
    Seen seen = Before();
    Done(seen);
    Land(std::move(row), {}, -1, seen);
}

const Row* Cursor::Current() {
    if (at_ != At::Row) return nullptr;
    if (current_ && StillGood(currentSeen_)) return gone_ ? nullptr : &*current_;
    std::vector<Row> rows;
    std::vector<std::vector<Value>> keys;
    const OrderSpec natural;
    Seen seen = Before();
    RunRows(natural, "SELECT " + SelectList(natural) + " FROM " + rel_.from + " WHERE " + rel_.recnoSql + " = ?",
            {Value::Int(recno_)}, rows, keys, false);
    Done(seen);
    currentSeen_ = seen;
    if (rows.empty()) {
        gone_ = true;  // the image stays: the key of the position comes from it
        return nullptr;
    }
    gone_ = false;
    current_ = std::move(rows[0]);
    keyOrder_ = -1;
    passedOrder_ = kUnknown;  // the row may have changed into one the conditions refuse
    return &*current_;
}

bool Cursor::Visible(const OrderSpec& order) {
    // A row deleted or changed by this process is read again here, one changed by
    // another within the freshness time, as for every other use of the current row.
    const Row* row = Current();
    if (!row) return false;
    if (passedOrder_ == order.id) return true;
    const bool scoped = Scoped(order);
    if (!scoped && visibility_.Empty()) return true;
    if (!Passes(*row)) return false;
    if (scoped || !visibility_.sql.empty()) {
        // Conditions only SQL can judge: ask about this one row.
        const Query base = BaseConditions(order, true, FilterUse::Plain);
        std::vector<Value> params = base.params;
        params.push_back(Value::Int(recno_));
        sqlite3_stmt* stmt = rel_.statements->Get("SELECT 1 FROM " + rel_.from + " WHERE " + base.where + " AND " +
                                                  rel_.recnoSql + " = ?");
        StatementUse use(stmt);
        for (std::size_t i = 0; i < params.size(); ++i) BindValue(stmt, static_cast<int>(i + 1), params[i]);
        if (!Step(rel_.db, stmt)) return false;
    }
    passedOrder_ = order.id;
    return true;
}

void Cursor::ForEachPassing(const Query& q, const std::function<void(std::int64_t)>& pass) {
    // Only the fields the predicate reads come from the file (none without one).
    const Schema& schema = *rel_.schema;
    std::vector<std::size_t> read;
    if (visibility_.predicate) {
        if (visibility_.predicateReads) {
            read = *visibility_.predicateReads;
        } else {
            for (std::size_t i = 0; i < schema.Count(); ++i) read.push_back(i);
        }
    }
    std::string list;
    for (std::size_t i : read) list += FieldSql(schema.At(i)) + ", ";
    sqlite3_stmt* stmt = rel_.statements->Get("SELECT " + list + rel_.recnoSql + " FROM " + rel_.from + " WHERE " + q.where);
    StatementUse use(stmt);
    for (std::size_t i = 0; i < q.params.size(); ++i) BindValue(stmt, static_cast<int>(i + 1), q.params[i]);
    Row row;
    row.image.resize(schema.RecordLength());
    while (Step(rel_.db, stmt)) {
        for (std::size_t k = 0; k < read.size(); ++k) {
            const FieldDef& f = schema.At(read[k]);
            ImageFromColumn(f, stmt, static_cast<int>(k), row.image.data() + f.offset);
        }
        row.recno = sqlite3_column_int64(stmt, static_cast<int>(read.size()));
        if (Passes(row)) pass(row.recno);
    }
}

std::int64_t Cursor::CountPassing(const Query& q) {
    std::int64_t count = 0;
    ForEachPassing(q, [&count](std::int64_t) { ++count; });
    return count;
}

std::int64_t Cursor::Count(const OrderSpec& order, CountMode mode) {
    Need(kAllRows);
    const Query base = BaseConditions(order, mode != CountMode::All, mode == CountMode::Visible ? FilterUse::Plain : FilterUse::None);
    // What SQL lets through, judged here row by row where only C++ can judge.
    if (mode == CountMode::Visible && visibility_.predicate) return CountPassing(base);
    // Without a condition SQLite counts from the table's pages alone; "WHERE 1" would turn that off.
    sqlite3_stmt* stmt = rel_.statements->Get("SELECT count(*) FROM " + rel_.from +
                                              (base.where == "1" ? std::string() : " WHERE " + base.where));
    StatementUse use(stmt);
    for (std::size_t i = 0; i < base.params.size(); ++i) BindValue(stmt, static_cast<int>(i + 1), base.params[i]);
    Step(rel_.db, stmt);
    return sqlite3_column_int64(stmt, 0);
}

std::int64_t Cursor::KeyNumber(const OrderSpec& order) {
    if (at_ != At::Row) Throw(EDS_E_NO_POSITION, "There is no current record.");
    // In record number order the rows before this one are all there.
    if (order.index) Need(kAllRows);
    // One more than the visible rows before this one in the order.
    Query before = BaseConditions(order, true, FilterUse::Plain);
    const bool ascending = !Descending(order);
    const char* earlier = ascending ? " < " : " > ";
    if (!order.index) {
        before.where += " AND " + rel_.recnoSql + earlier + "?";
        before.params.push_back(Value::Int(recno_));
    } else {
        const std::vector<std::string> terms = Terms(order);
        const std::vector<Value> key = KeyFor(order);
        before.where += " AND (" + RowOf(terms) + earlier + Placeholders(terms.size()) + " OR (" + RowOf(terms) +
                        " = " + Placeholders(terms.size()) + " AND " + rel_.recnoSql + earlier + "?))";
        before.params.insert(before.params.end(), key.begin(), key.end());
        before.params.insert(before.params.end(), key.begin(), key.end());
        before.params.push_back(Value::Int(recno_));
    }
    if (visibility_.predicate) return CountPassing(before) + 1;
    sqlite3_stmt* stmt = rel_.statements->Get("SELECT count(*) FROM " + rel_.from + " WHERE " + before.where);
    StatementUse use(stmt);
    for (std::size_t i = 0; i < before.params.size(); ++i) BindValue(stmt, static_cast<int>(i + 1), before.params[i]);
    Step(rel_.db, stmt);
    return sqlite3_column_int64(stmt, 0) + 1;
}

std::optional<double> Cursor::RelativePosition(const OrderSpec& order) {
    if (at_ != At::Row || CurrentDeleted()) return std::nullopt;
    const std::int64_t count = Count(order, CountMode::Visible);
    if (count <= 1) return 0.0;
    const double pos = static_cast<double>(KeyNumber(order) - 1) / static_cast<double>(count - 1);
    return std::clamp(pos, 0.0, 1.0);
}

void Cursor::SetRelativePosition(const OrderSpec& order, double position) {
    const std::int64_t count = Count(order, CountMode::Visible);
    if (count == 0) {
        GotoEof();
        bothCracks_ = true;
        return;
    }
    const double p = std::isnan(position) ? 0.0 : std::clamp(position, 0.0, 1.0);
    const auto offset = static_cast<std::int64_t>(std::floor(p * static_cast<double>(count - 1) + 1e-9));
    if (visibility_.predicate) {
        GotoTop(order);
        Skip(order, offset);
        return;
    }
    ForgetReadAhead();
    const Query base = BaseConditions(order, true, FilterUse::Plain);
    std::vector<Value> params = base.params;
    params.push_back(Value::Int(offset));
    std::vector<Row> rows;
    std::vector<std::vector<Value>> keys;
    Seen seen = Before();
    RunRows(order,
            "SELECT " + SelectList(order) + " FROM " + rel_.from + " WHERE " + base.where + " ORDER BY " +
                OrderBy(order, true) + " LIMIT 1 OFFSET ?",
            params, rows, keys, false);
    Done(seen);
    if (rows.empty()) {
        GotoEof();
        return;
    }
    Land(std::move(rows[0]), std::move(keys[0]), order.id, seen);
}

bool Cursor::Seek(const OrderSpec& order, const KeyBound& key, bool soft) {
    if (!order.index) Throw(EDS_E_INVALID_ARGUMENT, "A seek needs an index.");
    ForgetReadAhead();
    Need(kAllRows);
    const std::vector<std::string> terms = Terms(order);
    auto first = [&](bool exact) {
        Query q = BaseConditions(order, true, FilterUse::Plain);
        KeyBound bound = key;
        bound.step = 0;
        const bool ascending = !Descending(order);
        if (exact || ascending) q.where += " AND " + LowerBoundSql(terms, bound, q.params);
        if (exact || !ascending) q.where += " AND " + UpperBoundSql(terms, bound, q.params);
        std::vector<Row> rows;
        std::vector<std::vector<Value>> keys;
        // Rows after the one found are read ahead for the next skips; under a
        // condition SQLite judges, those may lie anywhere up to the end, so only the
        // first is sought and the skips read on within their budget.
        std::size_t limit = visibility_.sql.empty() ? kFirstBatch : 1;
        while (true) {
            std::vector<Value> params = q.params;
            params.push_back(Value::Int(static_cast<std::int64_t>(limit)));
            Seen seen = Before();
            const std::size_t raw = RunRows(order,
                                            "SELECT " + SelectList(order) + " FROM " + rel_.from + " WHERE " + q.where +
                                                " ORDER BY " + OrderBy(order, true) + " LIMIT ?",
                                            params, rows, keys, true);
            Done(seen);
            if (!rows.empty()) {
                // The rows after the one found are the next ones in the order: the
                // first skips read them from here.
                aheadForward_ = true;
                aheadOrder_ = order.id;
                aheadSeen_ = seen;
                Land(std::move(rows[0]), std::move(keys[0]), order.id, seen);
                ahead_ = std::move(rows);
                aheadKeys_ = std::move(keys);
                aheadPos_ = 1;
                aheadComplete_ = false;
                return true;
            }
            if (raw < limit) return false;
            limit *= 8;  // the predicate refused a whole batch: look further
        }
    };
    if (first(true)) return true;
    if (soft && first(false)) return false;
    GotoEof();
    return false;
}

}  // namespace eds
