#pragma once
// Index keys: the key expressions tags are made of ("A;B", "A+B", UPPER(A)), the SQL
// term of each segment, raw keys, and key bounds as SQL conditions.
//
// A segment's SQL term never yields NULL (a null column takes the lowest value of its
// kind), so keyset conditions and the SQLite index over the same terms agree.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/edsengine/EdsFields.h"

namespace eds {

struct Segment {
    int field = 0;       // column index
    bool upper = false;  // UPPER(...) over a character column
    // The segment folds only ASCII letters: an index made before every Windows-1252
    // letter was folded, kept so (read-only opens, or a unique index whose rows
    // would collide once folded).
    bool asciiFold = false;
    bool Folds(const Schema& schema) const;
};

struct IndexDef {
    std::string tag;      // as created
    std::string expr;     // as given
    UNSIGNED32 options = 0;
    std::string sqlName;  // the SQLite index
    std::vector<Segment> segments;

    bool Unique() const { return (options & EDS_UNIQUE) != 0; }
    bool Descending() const { return (options & EDS_DESCENDING) != 0; }
};

// Throws EngineError (EDS_E_INDEX_EXPRESSION) for anything else than field lists.
std::vector<Segment> ParseKeyExpression(const Schema& schema, std::string_view expr);

std::string KeyTermSql(const Schema& schema, const Segment& segment);
// Case-insensitive keys fold every Windows-1252 letter with SQLite's own functions
// only, so that any SQLite tool reads, writes and checks a table with such an
// index. SQLite's parser takes about 25 nested calls, too few for the 34 letters
// in one term: a virtual generated column beside the field folds the first half,
// and the key term the rest.
std::string FoldColumnName(const FieldDef& field);
std::string FoldColumnSql(const FieldDef& field);  // the generated column's expression
// The same folding of any SQL text in one call, for filters on the engine's own
// connections (RegisterFolding makes it known there, with the functions the
// SQL of filters and of the cursors' reads calls).
std::string FoldSql(const std::string& text);
void RegisterFolding(sqlite3* db);
// The term's value for a column value (NULL replaced, UPPER applied).
Value KeyValue(const Schema& schema, const Segment& segment, Value columnValue);

// A position in key order: the first values.size() segments compared; with lastPrefix
// a text last value stands for every text that starts with it; step +1 / -1 puts the
// bound just after / just before every key it matches.
struct KeyBound {
    std::vector<Value> values;
    bool lastPrefix = false;
    int step = 0;
};

// SQL condition (with its parameters appended to params) of keys >= bound, or <= bound.
std::string LowerBoundSql(const std::vector<std::string>& terms, const KeyBound& bound, std::vector<Value>& params);
std::string UpperBoundSql(const std::vector<std::string>& terms, const KeyBound& bound, std::vector<Value>& params);

// Raw keys: an opaque byte form of a KeyBound.
std::string EncodeRawKey(const KeyBound& bound);
std::optional<KeyBound> DecodeRawKey(std::string_view bytes);
// Room a raw key of the index may need.
std::size_t RawKeyRoom(const Schema& schema, const IndexDef& index);

// A text key: the first segment's value (or "a;b" for several segments) as text.
KeyBound BoundFromText(const Schema& schema, const IndexDef& index, std::string_view text);

}  // namespace eds
