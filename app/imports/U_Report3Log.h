#pragma once
// Editions 3 and 3 lite kept their log in a dBase file, report3.dbf, read here
// through the dBase engine's dataset (the data module's XfDbfReport): every
// record, deleted ones too, in file order. The file is opened read-only with the
// engine raising its errors, so a damaged file is a message, never the end of
// the program, and a file without every field of the log is refused at open.
//
// The engine writes a date with the program's date format, whose two-digit
// years would lose the century the file stores: from open to close the engine
// and the program's format use four-digit years, and both are put back after.

#include <cstdint>
#include <optional>

#include "app/imports/U_ImportLog.h"
#include "dbfengine/xfcommon.h"

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
    std::optional<xf::TXfDateSettingsGuard> dates_;
};

TLogImportKind Import3Kind();
