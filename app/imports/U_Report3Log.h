#pragma once
// Editions 3 and 3 lite kept their log in a dBase file, report3.dbf, read here
// through the dBase engine's dataset (the data module's XfDbfReport): every
// record, deleted ones too, in file order. The file is opened read-only with the
// engine raising its errors, so a damaged file is a message, never the end of
// the program.

#include <cstdint>

#include "app/imports/U_ImportLog.h"

namespace xf {
class TXfDbf;
}

class TReport3LogSource : public TLogRowSource {
public:
    explicit TReport3LogSource(xf::TXfDbf& Table) : table_(Table) {}
    ~TReport3LogSource() override;
    void Open(const std::string& FileName) override;
    bool Eof() override;
    void Next() override;
    bool Fill(db::TDataSet& Log) override;
    void Close() override;

private:
    xf::TXfDbf& table_;
    bool raising_ = false;
    std::uint8_t previousRaise_ = 0;
};

TLogImportKind Import3Kind();
