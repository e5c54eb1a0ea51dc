#pragma once
// The older logs of this program's own table format: edition 2.5's LOG table
// (log.edt) and edition 3 Pro's Log37 table, each read through a query of the
// data module, and the dialog texts of their imports.

#include "app/imports/U_ImportLog.h"

#include <utility>
#include <vector>

class TEdsQuery;
namespace db {
class TField;
}

// An older log read through one of the data module's queries, opened on the
// chosen file's folder.
class TQueryLogSource : public TLogRowSource {
public:
    TQueryLogSource(TEdsQuery& Query, const char* Sql) : query_(Query), sql_(Sql) {}
    void Open(const std::string& FileName) override;
    bool Eof() override;
    void Next() override;
    void Close() override;

protected:
    TEdsQuery& query_;

private:
    const char* sql_;
};

// Edition 2.5: its own column names, text flags ("X", "Y"), a sender of five
// lines and 20-digit mailer numbers.
class T25LogSource : public TQueryLogSource {
public:
    explicit T25LogSource(TEdsQuery& Query);
    bool Fill(db::TDataSet& Log) override;
};

// Edition 3 Pro: a Log37 of the same layout, copied column by column (LID
// excepted) in DATETIME order.
class TPro3LogSource : public TQueryLogSource {
public:
    explicit TPro3LogSource(TEdsQuery& Query);
    bool Fill(db::TDataSet& Log) override;
    void Close() override;

private:
    // Source and log field of each copied column, for the log last filled.
    std::vector<std::pair<const db::TField*, db::TField*>> pairs_;
    const db::TField* dateFrom_ = nullptr;
    const db::TDataSet* pairsFor_ = nullptr;
};

// The query that reads an edition 2.5 log.
extern const char* const k25LogQuery;

TLogImportKind Import25Kind();
TLogImportKind ImportPro3Kind();
