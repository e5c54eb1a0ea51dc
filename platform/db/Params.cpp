#include "platform/db/Params.h"

#include "platform/db/Convert.h"
#include "platform/db/DBError.h"
#include "platform/db/Fields.h"

#include <cctype>
#include <cstring>

namespace db {

// ================================================================ TParam

void TParam::SetValue(const Variant& value) {
    if (dataType_ == ftUnknown) {
        switch (value.VarType()) {
            case Variant::Type::Boolean: dataType_ = ftBoolean; break;
            case Variant::Type::Integer: dataType_ = ftInteger; break;
            case Variant::Type::Float: dataType_ = ftFloat; break;
            case Variant::Type::DateTime: dataType_ = ftDateTime; break;
            case Variant::Type::String: dataType_ = ftString; break;
            case Variant::Type::Bytes: dataType_ = ftBlob; break;
            default: break;
        }
    }
    value_ = value.IsEmpty() ? Variant::Null() : value;
    bound_ = true;
}

void TParam::Assign(TFieldType type, Variant value) {
    dataType_ = type;
    value_ = std::move(value);
    bound_ = true;
}

void TParam::SetAsBlob(const std::string& v) {
    Assign(ftBlob, Variant::FromBytes(std::vector<std::uint8_t>(v.begin(), v.end())));
}

int TParam::GetDataSize() const { return static_cast<int>(GetBytes().size()); }

std::string TParam::GetBytes() const {
    if (IsNull()) return std::string();
    if (value_.VarType() == Variant::Type::Bytes) {
        const auto& b = value_.ToBytes();
        return std::string(b.begin(), b.end());
    }
    return value_.ToString();
}

void TParam::Assign(const TParam& source) {
    if (&source == this) return;
    name_ = source.name_;
    dataType_ = source.dataType_;
    paramType_ = source.paramType_;
    value_ = source.value_;
    bound_ = source.bound_;
    size_ = source.size_;
    precision_ = source.precision_;
    numericScale_ = source.numericScale_;
}

void TParam::AssignField(const TField& field) {
    name_ = field.FieldName();
    AssignFieldValue(field, field.AsVariant());
}

void TParam::AssignFieldValue(const TField& field, const Variant& value) {
    dataType_ = field.DataType() == ftAutoInc ? ftInteger : field.DataType();
    size_ = field.Size();
    value_ = value.IsEmpty() ? Variant::Null() : value;
    bound_ = true;
}

// ================================================================ TParams

TParam* TParams::operator[](int index) const {
    if (index < 0 || index >= Count()) DatabaseError(texts::SFieldIndexError);
    return items_[static_cast<size_t>(index)].get();
}

TParam* TParams::CreateParam(TFieldType type, const std::string& name, TParamType paramType) {
    items_.push_back(std::make_unique<TParam>(name, type, paramType));
    return items_.back().get();
}

TParam* TParams::AddParam(std::unique_ptr<TParam> param) {
    items_.push_back(std::move(param));
    return items_.back().get();
}

void TParams::RemoveParam(TParam* param) {
    for (auto it = items_.begin(); it != items_.end(); ++it)
        if (it->get() == param) {
            items_.erase(it);
            return;
        }
}

TParam* TParams::FindParam(const std::string& name) const {
    for (const auto& p : items_)
        if (SameName(p->Name(), name)) return p.get();
    return nullptr;
}

TParam* TParams::ParamByName(const std::string& name) const {
    TParam* p = FindParam(name);
    if (!p) DatabaseErrorFmt(texts::SParameterNotFound, {name});
    return p;
}

void TParams::Assign(const TParams& source) {
    if (&source == this) return;
    items_.clear();
    for (const auto& p : source.items_) {
        auto copy = std::make_unique<TParam>();
        copy->Assign(*p);
        items_.push_back(std::move(copy));
    }
}

void TParams::AssignValues(const TParams& source) {
    for (const auto& p : source.items_) {
        // Every parameter of the name takes the value (a name may repeat).
        for (auto& mine : items_)
            if (SameName(mine->Name(), p->Name())) {
                const std::string keepName = mine->Name();
                mine->Assign(*p);
                mine->SetName(keepName);
            }
    }
}

bool TParams::IsEqual(const TParams& other) const {
    if (Count() != other.Count()) return false;
    for (int i = 0; i < Count(); ++i) {
        const TParam& a = *items_[static_cast<size_t>(i)];
        const TParam& b = *other.items_[static_cast<size_t>(i)];
        if (a.Name() != b.Name() || a.DataType() != b.DataType() || a.ParamType() != b.ParamType() ||
            !(a.Value() == b.Value()))
            return false;
    }
    return true;
}

namespace {

bool IsNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || u >= 0x80;
}

// Index just past a quoted part that starts at `i` (quote doubled = literal).
size_t SkipQuoted(const std::string& s, size_t i, char close) {
    ++i;
    while (i < s.size()) {
        if (s[i] == close) {
            if (close != ']' && i + 1 < s.size() && s[i + 1] == close) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return s.size();
}

}  // namespace

std::string TParams::ParseSQL(const std::string& sql, bool doCreate) {
    std::string out;
    out.reserve(sql.size());
    size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'' || c == '"' || c == '[') {
            const size_t end = SkipQuoted(sql, i, c == '[' ? ']' : c);
            out.append(sql, i, end - i);
            i = end;
            continue;
        }
        if (c != ':') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 < sql.size() && sql[i + 1] == ':') {
            out += ':';
            i += 2;
            continue;
        }
        std::string name;
        size_t j = i + 1;
        if (j < sql.size() && sql[j] == '"') {
            const size_t end = SkipQuoted(sql, j, '"');
            const bool closed = end >= j + 2 && sql[end - 1] == '"';
            name = sql.substr(j + 1, closed ? end - j - 2 : end - j - 1);
            j = end;
        } else {
            while (j < sql.size() && IsNameChar(sql[j])) ++j;
            name = sql.substr(i + 1, j - i - 1);
        }
        if (name.empty()) {
            out += c;  // a lone colon
            ++i;
            continue;
        }
        out += '?';
        if (doCreate) CreateParam(ftUnknown, name, ptInput);
        i = j;
    }
    return out;
}

// ================================================================ SQL scanning

namespace {

// Words, quoted names and punctuation, quotes and comments left out.
std::vector<std::string> Tokens(const std::string& sql) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '\'') {
            i = SkipQuoted(sql, i, '\'');
            out.push_back("'");
        } else if (c == '"' || c == '[') {
            const size_t end = SkipQuoted(sql, i, c == '[' ? ']' : '"');
            out.push_back(sql.substr(i + 1, end >= i + 2 ? end - i - 2 : 0));
            i = end;
        } else if (IsNameChar(c) || c == '.' || c == '\\' || c == '/' || c == ':') {
            size_t j = i;
            while (j < sql.size() &&
                   (IsNameChar(sql[j]) || sql[j] == '.' || sql[j] == '\\' || sql[j] == '/' || sql[j] == ':'))
                ++j;
            out.push_back(sql.substr(i, j - i));
            i = j;
        } else {
            out.push_back(std::string(1, c));
            ++i;
        }
    }
    return out;
}

}  // namespace

std::string GetTableNameFromSQL(const std::string& sql) {
    const auto t = Tokens(sql);
    for (size_t i = 0; i < t.size(); ++i) {
        if (!SameName(t[i], "FROM")) continue;
        if (i + 1 >= t.size() || t[i + 1] == "(") return std::string();
        const std::string table = t[i + 1];
        // An alias may follow; a comma or a JOIN means several tables.
        for (size_t j = i + 2; j < t.size(); ++j) {
            if (t[j] == ",") return std::string();
            if (SameName(t[j], "JOIN")) return std::string();
            if (SameName(t[j], "WHERE") || SameName(t[j], "ORDER") || SameName(t[j], "GROUP") ||
                SameName(t[j], "HAVING") || SameName(t[j], "UNION"))
                break;
        }
        return table;
    }
    return std::string();
}

std::string GetOrderByFieldsFromSQL(const std::string& sql) {
    const auto t = Tokens(sql);
    std::string fields;
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        if (!SameName(t[i], "ORDER") || !SameName(t[i + 1], "BY")) continue;
        for (size_t j = i + 2; j < t.size(); ++j) {
            if (t[j] == "," || SameName(t[j], "ASC") || SameName(t[j], "DESC")) continue;
            if (t[j] == ";" || SameName(t[j], "LIMIT")) break;
            std::string name = t[j];
            const auto dot = name.rfind('.');
            if (dot != std::string::npos) name = name.substr(dot + 1);
            if (!fields.empty()) fields += ';';
            fields += name;
        }
        break;
    }
    return fields;
}

}  // namespace db
