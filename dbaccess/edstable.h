#pragma once
// The table component: a dataset over one table file in a folder (or a table
// of a data dictionary). TEdsExtendedTable adds making a table file from a
// field specification; TEdsTable opens the engine cursor and answers the
// provider questions.

#include "dbaccess/edsdata.h"

#include <memory>
#include <string>
#include <vector>

// What an open does when the table's indexes were built with another collation.
enum TIndexCollationMismatchOptions { icmError, icmIgnore, icmReindex };

class TEdsExtendedTable : public TEdsExtendedDataSet {
public:
    using TEdsExtendedDataSet::TEdsExtendedDataSet;

    // Makes the table file `FileName` from the field specification `Fields`
    // (handed to the engine unchanged) and closes it again. The dataset itself
    // need not be open and stays as it is.
    void CreateTable(const std::string& FileName, TEdsTableTypes TableType, TEdsCharTypes CharType,
                     UNSIGNED16 MemoSize, const std::string& Fields);
};

class TEdsTable : public TEdsExtendedTable {
public:
    explicit TEdsTable(rtl::TComponent* Owner = nullptr);

    TIndexCollationMismatchOptions IndexCollationMismatch() const { return collationMismatch_; }
    // Only on a closed table.
    void SetIndexCollationMismatch(TIndexCollationMismatchOptions Value);
    const std::string& EncryptionPassword() const { return encryptionPassword_; }
    void SetEncryptionPassword(const std::string& Value) { encryptionPassword_ = Value; }
    // Becomes true whenever the field or index definitions change.
    bool StoreDefs() const { return storeDefs_; }
    void SetStoreDefs(bool Value) { storeDefs_ = Value; }
    // Whether the definitions are written with the component.
    bool FieldDefsStored() { return storeDefs_ && FieldDefs().Count() > 0; }
    bool IndexDefsStored() { return storeDefs_ && IndexDefs().Count() > 0; }

    // Provider support.
    std::unique_ptr<db::TIndexDef> PSGetDefaultOrder() override;
    std::string PSGetKeyFields() override;
    std::string PSGetTableName() override;
    std::unique_ptr<db::TIndexDefs> PSGetIndexDefs(db::TIndexOptions IndexTypes) override;
    void PSSetParams(const db::TParams& Params) override;
    void PSSetCommandText(const std::string& CommandText) override;
    void DefChanged() override { storeDefs_ = true; }
    void GetDetailLinkFields(std::vector<db::TField*>& MasterFields, std::vector<db::TField*>& DetailFields) override;

protected:
    EDSHANDLE OpenCursorHandle() override;
    UNSIGNED32 GetLastAutoInc() override;
    bool IsTable() const override { return true; }

private:
    // An index definition whose fields all exist in the dataset.
    bool FieldsExist(const db::TIndexDef& Index);
    db::TIndexDef* IndexOfOrder();

    TIndexCollationMismatchOptions collationMismatch_ = icmError;
    std::string encryptionPassword_;
    bool storeDefs_ = false;
};

// Leading and trailing blanks removed; an all-blank text gives "".
std::string TrimBlanks(const std::string& Text);

// The Number-th name (from 1) of a ";"-separated list, exactly as written; ""
// when the list has fewer names.
std::string NthListName(const std::string& List, int Number);

// Rewrites an index field list so that character columns of the table compare
// without regard to case: each character column becomes UPPER(name).
void BuildIndexExpression(EDSHANDLE Table, std::string& Fields);
