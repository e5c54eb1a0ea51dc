#pragma once
// Field definitions (what the dataset's storage holds, column by column) and
// index definitions.

#include "platform/db/DBTypes.h"
#include "platform/db/Fields.h"

#include <memory>
#include <string>
#include <vector>

namespace db {

class TDataSet;
class TFieldDefs;

class TFieldDef {
public:
    TFieldDef(TFieldDefs* owner, const std::string& name, TFieldType type, int size, bool required, int fieldNo);

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType type) { dataType_ = type; }
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }
    int Precision() const { return precision_; }
    void SetPrecision(int precision) { precision_ = precision; }
    bool Required() const { return required_; }
    void SetRequired(bool on) { required_ = on; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on) { readOnly_ = on; }
    // 1-based column number.
    int FieldNo() const { return fieldNo_; }
    void SetFieldNo(int no) { fieldNo_ = no; }
    bool InternalCalcField() const { return internalCalc_; }
    void SetInternalCalcField(bool on) { internalCalc_ = on; }

    TFieldClass FieldClass() const;
    // Makes the field this definition describes and gives it to `dataSet`
    // (the definitions' dataset when nullptr).
    TField* CreateField(TDataSet* dataSet = nullptr) const;

private:
    TFieldDefs* owner_;
    std::string name_;
    TFieldType dataType_;
    int size_;
    int precision_ = 0;
    bool required_;
    bool readOnly_ = false;
    int fieldNo_;
    bool internalCalc_ = false;
};

class TFieldDefs {
public:
    explicit TFieldDefs(TDataSet* dataSet) : dataSet_(dataSet) {}

    TDataSet* DataSet() const { return dataSet_; }
    int Count() const { return static_cast<int>(items_.size()); }
    TFieldDef* operator[](int index) const;
    TFieldDef* Items(int index) const { return (*this)[index]; }
    // The new definition's FieldNo is its position (from 1).
    TFieldDef* Add(const std::string& name, TFieldType type, int size = 0, bool required = false);
    void Clear();
    // -1 when absent; names compare without regard to case.
    int IndexOf(const std::string& name) const;
    TFieldDef* Find(const std::string& name) const;  // raises "Field 'x' not found"
    // Reads the definitions from the dataset when they are not up to date.
    void Update();
    bool Updated() const { return updated_; }
    void SetUpdated(bool on) { updated_ = on; }

private:
    TDataSet* dataSet_;
    std::vector<std::unique_ptr<TFieldDef>> items_;
    bool updated_ = false;
};

enum TIndexOption { ixPrimary, ixUnique, ixDescending, ixCaseInsensitive, ixExpression, ixNonMaintained };
using TIndexOptions = TSet<TIndexOption>;

class TIndexDef {
public:
    TIndexDef() = default;
    TIndexDef(const std::string& name, const std::string& fields, TIndexOptions options)
        : name_(name), fields_(fields), options_(options) {}

    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    // Field names joined by ";".
    const std::string& Fields() const { return fields_; }
    void SetFields(const std::string& fields) { fields_ = fields; }
    TIndexOptions Options() const { return options_; }
    void SetOptions(TIndexOptions options) { options_ = options; }
    const std::string& Expression() const { return expression_; }
    void SetExpression(const std::string& expression) { expression_ = expression; }
    const std::string& Source() const { return source_; }
    void SetSource(const std::string& source) { source_ = source; }

private:
    std::string name_;
    std::string fields_;
    TIndexOptions options_;
    std::string expression_;
    std::string source_;
};

class TIndexDefs {
public:
    explicit TIndexDefs(TDataSet* dataSet = nullptr) : dataSet_(dataSet) {}

    int Count() const { return static_cast<int>(items_.size()); }
    TIndexDef* operator[](int index) const;
    TIndexDef* Items(int index) const { return (*this)[index]; }
    TIndexDef* Add(const std::string& name, const std::string& fields, TIndexOptions options = {});
    TIndexDef* AddIndexDef();
    void Clear();
    void Assign(const TIndexDefs& source);
    int IndexOf(const std::string& name) const;
    TIndexDef* Find(const std::string& name) const;  // raises "Index 'x' not found"
    // An index over exactly these fields, else one whose fields begin with
    // them; expression indexes never match. nullptr when none.
    TIndexDef* GetIndexForFields(const std::string& fields, bool caseInsensitive) const;
    TIndexDef* FindIndexForFields(const std::string& fields) const;  // raises when none
    // Asks the dataset to rebuild the list when it is stale.
    void Update();
    bool Updated() const { return updated_; }
    void SetUpdated(bool on) { updated_ = on; }

private:
    TDataSet* dataSet_;
    std::vector<std::unique_ptr<TIndexDef>> items_;
    bool updated_ = false;
};

// The definitions of `source` with at least one of `types` among their
// options (all of them when `types` is empty).
std::unique_ptr<TIndexDefs> GetIndexDefs(const TIndexDefs& source, TIndexOptions types);

// Splits "A;B ; C" into trimmed names; empty parts are dropped.
std::vector<std::string> SplitFieldNames(const std::string& names);

}  // namespace db
