// Fuzzes the table file: any bytes, opened as a table and scanned to the end, read
// without moving, searched and written back. Every failure must be an engine error
// (raised here), never a read or write outside a buffer, a hang or a crash; a
// record read and written back unchanged keeps every byte, whatever the code page
// makes of its text; and a file that holds every record reads without an error.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/platform/XfCharsets.h"
#include "dbfengine/xfcommon.h"
#include "fuzz/dbfengine/FuzzSupport.h"

namespace {

const std::string& TablePath()
{
    static const std::string path = "/tmp/dbf_table_fuzz_" + std::to_string(getpid()) + ".dbf";
    return path;
}

using dbffuzz::Try;

std::string FileBytes()
{
    std::string bytes;
    if (FILE* file = std::fopen(TablePath().c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
        std::fclose(file);
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    xf::XfErrors() = xf::TXfErrorState {};
    xf::XfErrors().RaiseOnError = 1;
    const std::uint8_t knobs = data[0];
    xf::XfDbfSettings().RecountOnOpen = knobs & 1;
    xf::XfDbfSettings().ExtraVersion1 = (knobs & 2) ? 0x30 : 0;
    xf::XfDbf4Settings().PeekCacheSize = (knobs & 4) ? 4096 : 0;
    xf::XfSetOemCodePage((knobs & 8) ? rtl::CodePage::Oem866 : rtl::CodePage::Oem437);
    xf::XfDates().Century = (knobs >> 4) & 1;
    {
        FILE* file = std::fopen(TablePath().c_str(), "wb");
        if (!file) return 0;
        std::fwrite(data + 1, 1, size - 1, file);
        std::fclose(file);
    }
    Try([knobs] { xf::USE(TablePath(), (knobs & 32) ? "EXCLUSIVE" : ""); });
    if (const xf::TWorkArea* area = xf::WorkArea(xf::CurrentWorkArea())) {
        // Whatever its fields hold (numbers past 64 bits, "***", letters), a table
        // whose file holds every record it counts reads to its end.
        const xf::TDbfTable& t = area->Table;
        const bool whole = static_cast<std::int64_t>(FileBytes().size()) >=
                           t.HeaderLength + static_cast<std::int64_t>(t.RecordCount) * t.RecordLength;
        int steps = 0;
        try {
            for (xf::GoTop(); !xf::dEOF() && steps < 10000; xf::SKIP(1)) ++steps;
        } catch (const xf::EXfError&) {
            if (whole) std::abort();
        }
        Try([] { xf::GoBottom(); });
        Try([] { xf::SKIP(-3); });
        Try([] {
            std::vector<std::byte> value;
            for (int f = 0; f <= xf::FieldCount(); ++f) xf::Peek(f, 1, value);
        });
        Try([] {
            if (xf::FieldCount() > 0) xf::LocateCountSum(xf::Field(1) + " NOCASE", std::string("A"));
        });
        Try([] {
            if (xf::RecCount() < 1) return;
            xf::GO(1);
            if (!xf::RLock()) return;
            const std::string before = FileBytes();
            std::vector<std::byte> record;
            if (xf::Peek(0, 1, record) && xf::Poke(0, 1, record) && FileBytes() != before) std::abort();
        });
        Try([knobs] {
            xf::GoTop();
            if (xf::RecCount() > 0 && xf::RLock()) {
                // Numbers too wide for any field fill theirs with "*".
                const bool tooWide = (knobs & 64) != 0;
                xf::TXfTypedRecord record = xf::CurrentRecord();
                for (int f = 1; f <= xf::FieldCount(); ++f) {
                    switch (xf::FieldType(f)) {
                    case 'C': record.SetText(f, "fuzz"); break;
                    case 'D': record.SetText(f, "02/29/2000"); break;
                    case 'L': record.SetLogical(f, true); break;
                    default:
                        if (xf::FieldDec(f) > 0) {
                            record.SetNumber(f, tooWide ? -1.0e300 : 1.5);
                        } else {
                            record.SetInteger(f, tooWide ? INT64_MIN : 7);
                        }
                    }
                }
                xf::Replace();
            }
        });
        Try([] {
            xf::ClearRecord();
            if (xf::ALock()) xf::Append();
        });
    }
    Try([] { xf::CloseAll(); });
    std::remove(TablePath().c_str());
    return 0;
}
