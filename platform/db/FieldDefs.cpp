#include "platform/db/FieldDefs.h"

#include "platform/db/Convert.h"
#include "platform/db/DBError.h"
#include "platform/db/DataSet.h"

namespace db {

std::vector<std::string> SplitFieldNames(const std::string& names) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= names.size()) {
        size_t semi = names.find(';', start);
        if (semi == std::string::npos) semi = names.size();
        std::string name = TrimText(std::string_view(names).substr(start, semi - start));
        if (!name.empty()) out.push_back(std::move(name));
        start = semi + 1;
    }
    return out;
}

// ================================================================ field definitions

TFieldDef::TFieldDef(TFieldDefs* owner, const std::string& name, TFieldType type, int size, bool required,
                     int fieldNo)
    : owner_(owner), name_(name), dataType_(type), size_(size), required_(required), fieldNo_(fieldNo) {}

TFieldClass TFieldDef::FieldClass() const {
    TDataSet* ds = owner_ ? owner_->DataSet() : nullptr;
    return ds ? ds->GetFieldClass(dataType_) : nullptr;
}

TField* TFieldDef::CreateField(TDataSet* dataSet) const {
    if (!dataSet) dataSet = owner_ ? owner_->DataSet() : nullptr;
    if (!dataSet) DatabaseErrorFmt(texts::SDataSetMissing, {name_});
    TFieldClass make = dataSet->GetFieldClass(dataType_);
    if (!make) DatabaseErrorFmt(texts::SUnknownFieldType, {name_}, dataSet);
    std::unique_ptr<TField> field = make();
    field->SetFieldName(name_);
    // Sizes mean something only for the types that carry one.
    switch (dataType_) {
        case ftString:
        case ftFixedChar:
        case ftWideString:
        case ftBytes:
        case ftVarBytes:
        case ftBCD:
            field->SetSize(size_);
            break;
        default: break;
    }
    if (auto* bcd = dynamic_cast<TBCDField*>(field.get()); bcd && precision_ > 0) bcd->SetPrecision(precision_);
    if (auto* flt = dynamic_cast<TFloatField*>(field.get()); flt && precision_ > 0) flt->SetPrecision(precision_);
    field->SetRequired(required_);
    field->SetReadOnly(readOnly_);
    if (internalCalc_) field->SetFieldKind(fkInternalCalc);
    return dataSet->Fields().Add(std::move(field));
}

TFieldDef* TFieldDefs::operator[](int index) const {
    if (index < 0 || index >= Count()) DatabaseError(texts::SFieldIndexError, dataSet_);
    return items_[static_cast<size_t>(index)].get();
}

TFieldDef* TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
    if (name.empty()) DatabaseError(texts::SFieldNameMissing, dataSet_);
    if (IndexOf(name) >= 0) DatabaseErrorFmt(texts::SDuplicateFieldName, {name}, dataSet_);
    items_.push_back(std::make_unique<TFieldDef>(this, name, type, size, required, Count() + 1));
    if (dataSet_) dataSet_->DefChanged();
    return items_.back().get();
}

void TFieldDefs::Clear() {
    items_.clear();
    updated_ = false;
    if (dataSet_) dataSet_->DefChanged();
}

int TFieldDefs::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (SameName(items_[i]->Name(), name)) return static_cast<int>(i);
    return -1;
}

TFieldDef* TFieldDefs::Find(const std::string& name) const {
    const int i = IndexOf(name);
    if (i < 0) DatabaseErrorFmt(texts::SFieldNotFound, {name}, dataSet_);
    return items_[static_cast<size_t>(i)].get();
}

void TFieldDefs::Update() {
    if (!updated_ && dataSet_) dataSet_->InitFieldDefs();
}

// ================================================================ index definitions

TIndexDef* TIndexDefs::operator[](int index) const {
    if (index < 0 || index >= Count()) DatabaseError(texts::SFieldIndexError, dataSet_);
    return items_[static_cast<size_t>(index)].get();
}

TIndexDef* TIndexDefs::Add(const std::string& name, const std::string& fields, TIndexOptions options) {
    if (!name.empty() && IndexOf(name) >= 0) DatabaseErrorFmt(texts::SDuplicateIndexName, {name}, dataSet_);
    items_.push_back(std::make_unique<TIndexDef>(name, fields, options));
    return items_.back().get();
}

TIndexDef* TIndexDefs::AddIndexDef() {
    items_.push_back(std::make_unique<TIndexDef>());
    return items_.back().get();
}

void TIndexDefs::Clear() { items_.clear(); }

void TIndexDefs::Assign(const TIndexDefs& source) {
    if (&source == this) return;
    items_.clear();
    for (const auto& d : source.items_) items_.push_back(std::make_unique<TIndexDef>(*d));
}

int TIndexDefs::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (SameName(items_[i]->Name(), name)) return static_cast<int>(i);
    return -1;
}

TIndexDef* TIndexDefs::Find(const std::string& name) const {
    const int i = IndexOf(name);
    if (i < 0) DatabaseErrorFmt(texts::SIndexNotFound, {name}, dataSet_);
    return items_[static_cast<size_t>(i)].get();
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& fields, bool caseInsensitive) const {
    const auto wanted = SplitFieldNames(fields);
    if (wanted.empty()) return nullptr;
    auto usable = [&](const TIndexDef& d) {
        return !d.Options().Contains(ixExpression) && d.Options().Contains(ixCaseInsensitive) == caseInsensitive;
    };
    auto covers = [&](const TIndexDef& d, bool exact) {
        const auto have = SplitFieldNames(d.Fields());
        if (have.size() < wanted.size() || (exact && have.size() != wanted.size())) return false;
        for (size_t i = 0; i < wanted.size(); ++i)
            if (!SameName(have[i], wanted[i])) return false;
        return true;
    };
    for (const auto& d : items_)
        if (usable(*d) && covers(*d, true)) return d.get();
    for (const auto& d : items_)
        if (usable(*d) && covers(*d, false)) return d.get();
    return nullptr;
}

TIndexDef* TIndexDefs::FindIndexForFields(const std::string& fields) const {
    TIndexDef* d = GetIndexForFields(fields, false);
    if (!d) d = GetIndexForFields(fields, true);
    if (!d) DatabaseErrorFmt(texts::SNoIndexForFields, {fields}, dataSet_);
    return d;
}

std::unique_ptr<TIndexDefs> GetIndexDefs(const TIndexDefs& source, TIndexOptions types) {
    auto out = std::make_unique<TIndexDefs>();
    for (int i = 0; i < source.Count(); ++i) {
        const TIndexDef* d = source[i];
        bool wanted = types.Empty();
        for (TIndexOption o : {ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression, ixNonMaintained})
            if (types.Contains(o) && d->Options().Contains(o)) wanted = true;
        if (wanted) *out->AddIndexDef() = *d;
    }
    return out;
}

void TIndexDefs::Update() {
    if (!updated_ && dataSet_) dataSet_->UpdateIndexDefs();
}

}  // namespace db
