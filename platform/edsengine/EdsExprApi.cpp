// Entry points: filters, AOFs and single evaluations of expressions on a table.
//
// A filter and an AOF are both expressions over the table's columns; they are
// ANDed into the cursor's visibility: the parts that have an SQL form narrow
// every query the cursor runs (so SQLite can use its indexes), the rest is a
// row predicate evaluated here. A fixed or keyset AOF resolves its records
// once; later changes to those records do not change the set.

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <unordered_set>

#include "platform/edsengine/EdsCore.h"
#include "platform/edsengine/EdsExprAst.h"
#include "platform/edsengine/EdsObjects.h"
#include "platform/edsengine/EdsSettings.h"

using namespace eds;

namespace {

struct Condition {
    std::string text;
    std::shared_ptr<const EdsExpr> expr;
};

struct FixedSet {
    std::unordered_set<std::int64_t> records;
    std::int64_t low = 0, high = -1;
};

struct FilterState {
    std::optional<Condition> filter;
    std::optional<Condition> aof;
    std::shared_ptr<const FixedSet> fixed;  // set for fixed and keyset AOFs
};

// Filter states of open tables, by table handle (handles are never reused).
std::map<EDSHANDLE, FilterState>& States() {
    static std::map<EDSHANDLE, FilterState> states;
    return states;
}

// Forgets the states of tables that were closed since.
void Prune() {
    auto& states = States();
    for (auto it = states.begin(); it != states.end();)
        it = Registry::Instance().Find(it->first) ? std::next(it) : states.erase(it);
}

std::vector<EdsExprColumn> ColumnsOf(const Schema& schema) {
    std::vector<EdsExprColumn> columns;
    for (const FieldDef& f : schema.Fields())
        columns.push_back(EdsExprColumn{f.name, f.type, static_cast<int>(f.length), f.decimals});
    return columns;
}

std::shared_ptr<const EdsExpr> CompileFor(Table& table, std::string_view text) {
    EdsExprSettings settings;
    settings.exact = table.exact;
    settings.dateFormat = ProcessSettings().dateFormat;
    EdsExprError error;
    std::shared_ptr<const EdsExpr> expr = EdsExpr::Compile(text, ColumnsOf(table.Fields()), settings, error);
    if (!expr) Throw(EDS_E_EXPRESSION, error.text);
    return expr;
}

std::shared_ptr<const EdsExpr> CompileCondition(Table& table, std::string_view text) {
    auto expr = CompileFor(table, text);
    if (expr->ResultType() != EdsExprType::Logical)
        Throw(EDS_E_EXPRESSION, "The expression " + std::string(text) + " is not a logical expression.");
    return expr;
}

// A record image read as expression values, column by column when asked.
class ImageRow : public EdsExprRow {
public:
    // `memo` reads the text of memo columns, which the image does not hold.
    ImageRow(const Schema& schema, const UNSIGNED8* image, std::function<std::string(std::size_t)> memo)
        : schema_(schema), image_(image), memo_(std::move(memo)) {}

    EdsExprValue Field(std::size_t index) const override {
        const FieldDef& f = schema_.At(index);
        EdsExprType type = EdsExprType::String;
        EdsExprTypeOfField(f.type, type);
        if (f.IsBlob()) return type == EdsExprType::String ? EdsExprValue::String(memo_(index)) : EdsExprValue::Empty(type);
        Value v = ValueFromImage(f, image_ + f.offset);
        if (v.IsNull()) return EdsExprValue::Empty(type);
        double number = v.kind == Value::Kind::Int ? static_cast<double>(v.i) : v.d;
        switch (type) {
        case EdsExprType::Logical: return EdsExprValue::Logical(number != 0);
        case EdsExprType::Number: return EdsExprValue::Number(number);
        case EdsExprType::String: return EdsExprValue::String(v.s);
        case EdsExprType::Date: return EdsExprValue::Date(edsexpr::DateFromStored(v.s));
        case EdsExprType::TimeStamp: return EdsExprValue::TimeStamp(edsexpr::TimeStampFromStored(v.s));
        case EdsExprType::Time: {
            if (v.kind == Value::Kind::Int) return EdsExprValue::Time(v.i);
            bool ok = false;
            std::int64_t ms = edsexpr::ParseTimeText(v.s, ok);
            return EdsExprValue::Time(ok ? ms : -1);
        }
        }
        return EdsExprValue::Empty(type);
    }

private:
    const Schema& schema_;
    const UNSIGNED8* image_;
    std::function<std::string(std::size_t)> memo_;
};

// The stored text of a memo column of a record, read from the relation.
std::string MemoText(const Relation& rel, std::int64_t recno, std::size_t column) {
    sqlite3_stmt* stmt = rel.statements->Get("SELECT " + QuoteName(rel.schema->At(column).name) + " FROM " + rel.from +
                                             " WHERE " + rel.recnoSql + " = ?");
    StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, recno);
    if (!Step(rel.db, stmt)) return {};
    const Value v = ColumnValue(stmt, 0);
    return v.kind == Value::Kind::Text ? v.s : std::string();
}

Value FromBind(const EdsSqlBind& b) {
    if (auto* i = std::get_if<std::int64_t>(&b)) return Value::Int(*i);
    if (auto* d = std::get_if<double>(&b)) return Value::Real(*d);
    if (auto* s = std::get_if<std::string>(&b)) return Value::Text(*s);
    return Value();
}

// The cursor's visibility for the table's filter, AOF and fixed set together.
Visibility Compose(Table& table, const FilterState& state, bool withFixed = true) {
    Visibility v;
    std::vector<std::shared_ptr<const EdsExpr>> residual;
    std::shared_ptr<const FixedSet> fixed = withFixed ? state.fixed : nullptr;
    for (const auto* c : {&state.filter, &state.aof}) {
        // A fixed AOF is its record set, whatever its records hold now.
        if (!*c || (fixed && c == &state.aof)) continue;
        EdsSqlPredicate p;
        bool complete = false;
        if ((*c)->expr->ToSqlPart(p, complete)) {
            v.sql += (v.sql.empty() ? "(" : " AND (") + p.text + ")";
            for (const auto& b : p.binds) v.params.push_back(FromBind(b));
        }
        if (!complete) residual.push_back((*c)->expr);
    }
    if (fixed) {
        const std::string& recno = table.Cur().Rel().recnoSql;
        v.sql += std::string(v.sql.empty() ? "" : " AND ") + "(" + recno + " BETWEEN ? AND ?)";
        v.params.push_back(Value::Int(fixed->low));
        v.params.push_back(Value::Int(fixed->high));
    }
    if (!residual.empty() || fixed) {
        std::vector<std::size_t> reads;
        for (const auto& e : residual)
            for (std::size_t c : e->ColumnsUsed())
                if (std::find(reads.begin(), reads.end(), c) == reads.end()) reads.push_back(c);
        v.predicateReads = std::move(reads);
        // The relation lives as long as the cursor that holds this predicate.
        const Relation rel = table.Cur().Rel();
        v.predicate = [residual, fixed, rel](const RowView& row) {
            if (fixed && !fixed->records.count(row.recno)) return false;
            ImageRow values(row.schema, row.image,
                            [&](std::size_t column) { return MemoText(rel, row.recno, column); });
            for (const auto& e : residual)
                if (!e->IsTrue(values)) return false;
            return true;
        };
    }
    return v;
}

void Install(Table& table, const FilterState& state) {
    table.Cur().Filter() = Compose(table, state);
    table.Cur().ForgetReadAhead();
}

Table& TableOf(EDSHANDLE handle) { return *Navigate(handle).table; }

// The records a fixed or keyset AOF keeps: those visible when it is set.
std::shared_ptr<const FixedSet> Resolve(Table& table, const FilterState& state) {
    auto set = std::make_shared<FixedSet>();
    Cursor scan(table.Cur().Rel());
    scan.Filter() = Compose(table, state, false);
    OrderSpec natural;
    for (scan.GotoTop(natural); scan.OnRow(); scan.Skip(natural, 1)) {
        std::int64_t r = scan.Recno();
        set->records.insert(r);
        if (set->high < set->low) set->low = set->high = r;
        set->low = std::min(set->low, r);
        set->high = std::max(set->high, r);
    }
    return set;
}

void GetText(EDSHANDLE handle, const std::optional<Condition> FilterState::*which, UNSIGNED8* buf, UNSIGNED16* len) {
    TableOf(handle);
    auto it = States().find(Navigate(handle).table->handle);
    if (it == States().end() || !(it->second.*which)) Throw(EDS_E_NO_FILTER, DefaultErrorText(EDS_E_NO_FILTER));
    if (!buf) Throw(EDS_E_INSUFFICIENT_BUFFER, "A filter is set.");
    CopyOut((it->second.*which)->text, buf, len);
}

void CopyExpression(EDSHANDLE table, const UNSIGNED8* in, UNSIGNED8* out, UNSIGNED16* len) {
    TableOf(table);
    // Table files keep their columns' full names: the long and short forms agree.
    CopyOut(TextArg(in), out, len);
}

}  // namespace

UNSIGNED32 EdsSetFilter(EDSHANDLE hTable, const UNSIGNED8* pucFilter) {
    return Run([&] {
        Table& table = TableOf(hTable);
        Prune();
        std::string text(TextArg(pucFilter));
        FilterState& state = States()[table.handle];
        state.filter = Condition{text, CompileCondition(table, text)};
        Install(table, state);
    });
}

UNSIGNED32 EdsGetFilter(EDSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen) {
    return Run([&] { GetText(hTable, &FilterState::filter, pucFilter, pusLen); });
}

UNSIGNED32 EdsClearFilter(EDSHANDLE hTable) {
    return Run([&] {
        Table& table = TableOf(hTable);
        auto it = States().find(table.handle);
        if (it == States().end() || !it->second.filter) Throw(EDS_E_NO_FILTER, DefaultErrorText(EDS_E_NO_FILTER));
        it->second.filter.reset();
        Install(table, it->second);
    });
}

UNSIGNED32 EdsSetAOF(EDSHANDLE hTable, const UNSIGNED8* pucFilter, UNSIGNED16 usOptions) {
    return Run([&] {
        Table& table = TableOf(hTable);
        Prune();
        std::string text(TextArg(pucFilter));
        FilterState& state = States()[table.handle];
        FilterState next = state;
        next.aof = Condition{text, CompileCondition(table, text)};
        next.fixed.reset();
        if (usOptions & (EDS_FIXED | EDS_KEYSET)) {
            // The set is what the AOF alone selects now.
            FilterState alone;
            alone.aof = next.aof;
            next.fixed = Resolve(table, alone);
        }
        state = std::move(next);
        Install(table, state);
    });
}

UNSIGNED32 EdsGetAOF(EDSHANDLE hTable, UNSIGNED8* pucFilter, UNSIGNED16* pusLen) {
    return Run([&] { GetText(hTable, &FilterState::aof, pucFilter, pusLen); });
}

UNSIGNED32 EdsClearAOF(EDSHANDLE hTable) {
    return Run([&] {
        Table& table = TableOf(hTable);
        auto it = States().find(table.handle);
        if (it == States().end() || !it->second.aof) Throw(EDS_E_NO_FILTER, DefaultErrorText(EDS_E_NO_FILTER));
        it->second.aof.reset();
        it->second.fixed.reset();
        Install(table, it->second);
    });
}

UNSIGNED32 EdsEvalLogicalExpr(EDSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED16* pbResult) {
    return Run([&] {
        CheckOut(pbResult, "answer");
        Table& table = TableOf(hObj);
        auto expr = CompileCondition(table, TextArg(pucExpr));
        const UNSIGNED8* image = table.Image();
        if (!image) Throw(EDS_E_NO_CURRENT_RECORD, DefaultErrorText(EDS_E_NO_CURRENT_RECORD));
        ImageRow row(table.Fields(), image, [&](std::size_t column) {
            auto text = table.BlobValue(static_cast<int>(column));
            return text ? *text : std::string();
        });
        *pbResult = expr->IsTrue(row) ? 1 : 0;
    });
}

UNSIGNED32 EdsExpressionLongToShort(EDSHANDLE hTable, const UNSIGNED8* pucLongExpr, UNSIGNED8* pucShortExpr,
                                    UNSIGNED16* pusBufLen) {
    return Run([&] { CopyExpression(hTable, pucLongExpr, pucShortExpr, pusBufLen); });
}

UNSIGNED32 EdsExpressionShortToLong(EDSHANDLE hTable, const UNSIGNED8* pucShortExpr, UNSIGNED8* pucLongExpr,
                                    UNSIGNED16* pusBufLen) {
    return Run([&] { CopyExpression(hTable, pucShortExpr, pucLongExpr, pusBufLen); });
}
