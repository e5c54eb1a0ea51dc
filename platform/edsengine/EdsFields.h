#pragma once
// Columns of a table: the field specification, the record image layout of each
// engine type, and the conversion between an image and the SQLite column that
// stores it.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/edsengine/eds.h"

namespace eds {

struct FieldDef {
    std::string name;        // as created (UTF-8)
    UNSIGNED16 type = 0;     // EDS_LOGICAL ...
    UNSIGNED32 length = 0;   // bytes in the record image
    UNSIGNED16 decimals = 0;
    UNSIGNED32 offset = 0;   // in the record image

    bool IsBlob() const { return type >= EDS_MEMO && type <= EDS_VARCHAR; }
    bool IsText() const { return type == EDS_STRING || type == EDS_CISTRING; }
    bool IsMemoText() const { return type == EDS_MEMO || type == EDS_VARCHAR; }
};

// The record numbers the table API can name: 32 bits without 0 (a bookmark's
// first 4 bytes). An AutoInc field's values are its table's record numbers.
inline constexpr std::int64_t kLastRecordNumber = 4294967295;
inline constexpr std::int64_t kLastAutoincNumber = 2147483647;

class Schema {
public:
    // Parses "name,type[,length[,decimals]];..." (see eds.h). Throws EngineError.
    static Schema Parse(std::string_view spec);

    const std::vector<FieldDef>& Fields() const { return fields_; }
    std::size_t Count() const { return fields_.size(); }
    const FieldDef& At(std::size_t index) const { return fields_[index]; }
    UNSIGNED32 RecordLength() const { return recordLength_; }
    // Index of a column by name (ASCII case-insensitive), or -1.
    int Find(std::string_view name) const;
    // The field definitions in a normal form that Parse reads back to the same schema.
    std::string ToSpec() const;
    // The column definitions of CREATE TABLE; the first AutoInc column becomes the rowid.
    std::string CreateColumnsSql() const;
    int RowidAlias() const { return rowidAlias_; }  // column index, or -1
    // How SQL names a row's record number. SQLite knows the rowid by three names,
    // and a column of one of them hides that name: the first name no field takes,
    // else the AutoInc column that is the rowid itself.
    std::string RecnoSql() const;
    // Refuses (EDS_E_FIELD_SPEC, naming the field) what a new table must not have:
    // a field the database layer cannot open, or fields that hide the record number.
    void CheckCreatable() const;

    void FillNullImage(UNSIGNED8* image) const;

private:
    std::vector<FieldDef> fields_;
    UNSIGNED32 recordLength_ = 0;
    int rowidAlias_ = -1;
};

// SQL text of an identifier, in double quotes.
std::string QuoteName(std::string_view name);

// A value as SQLite stores it.
struct Value {
    enum class Kind { Null, Int, Real, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t i = 0;
    double d = 0;
    std::string s;  // text (UTF-8) or blob bytes

    static Value Int(std::int64_t v) { Value x; x.kind = Kind::Int; x.i = v; return x; }
    static Value Real(double v) { Value x; x.kind = Kind::Real; x.d = v; return x; }
    static Value Text(std::string v) { Value x; x.kind = Kind::Text; x.s = std::move(v); return x; }
    static Value Blob(std::string v) { Value x; x.kind = Kind::Blob; x.s = std::move(v); return x; }
    bool IsNull() const { return kind == Kind::Null; }
    friend bool operator==(const Value&, const Value&) = default;
};

Value ColumnValue(sqlite3_stmt* stmt, int column);
// Binds without copying: the value must outlive the statement's next step.
void BindValue(sqlite3_stmt* stmt, int parameter, const Value& value);
// SQLite's ordering of values (NULL < numbers < text < blob; text by bytes).
int CompareValues(const Value& a, const Value& b);

// The null image of one column.
void NullImage(const FieldDef& field, UNSIGNED8* dst);
bool IsNullImage(const FieldDef& field, const UNSIGNED8* src);
// The image of a stored column value (for blob columns: 0 or 0xFFFFFFFF by nullness).
void ImageFromColumn(const FieldDef& field, sqlite3_stmt* stmt, int column, UNSIGNED8* dst);
// The same for a value SQLite hands a function.
void ImageFromValue(const FieldDef& field, sqlite3_value* value, UNSIGNED8* dst);
// The stored value of an image (blob columns are not stored through images).
Value ValueFromImage(const FieldDef& field, const UNSIGNED8* src);
// Binds the stored value of an image, as ValueFromImage gives it; an ASCII text
// is bound where it stands, so the image must outlive the statement's next step.
void BindImage(sqlite3_stmt* stmt, int parameter, const FieldDef& field, const UNSIGNED8* src);

// Windows-1252 text of a character column to its stored form: trailing blanks cut,
// UTF-8; "" for all blanks. And back, blank-padded to the column.
std::string StoredText(std::string_view ansi);

}  // namespace eds
