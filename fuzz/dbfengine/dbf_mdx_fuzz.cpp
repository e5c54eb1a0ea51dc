// Fuzzes the index file: any bytes as the index file of a fixed table (some of whose
// names hold OEM characters the program's text lacks), opened and every tag walked
// both ways, searched for texts of each key type, and listed; then a record
// replaced (one such) and one appended, so that their keys move through the
// damaged trees, and every move made under a filter no record passes (the table is
// put back for every input).
// Every failure must be an engine error, never a read outside a buffer, a hang or
// a crash. Seeds in corpus_mdx/ are sound files of this table's tags (write more
// with DBF_MDX_FUZZ_SEEDS=<folder>).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfndx.h"
#include "fuzz/dbfengine/FuzzSupport.h"

namespace {

std::string Base()
{
    static const std::string base = dbffuzz::FileBase("dbf_mdx_fuzz");
    return base;
}

using dbffuzz::Try;

constexpr int kRecords = 300;

void MakeTable(const std::string& path)
{
    xf::TDbfTable t;
    xf::CreateDbf(t, path, {{"NAME", 'C', 12, 0}, {"AMOUNT", 'N', 10, 2}, {"BORN", 'D', 8, 0}, {"OK", 'L', 1, 0}});
    xf::USE(path, "EXCLUSIVE");
    for (int i = 1; i <= kRecords; ++i) {
        xf::ClearRecord();
        xf::TXfTypedRecord r = xf::CurrentRecord();
        r.SetText(1, "Name " + std::to_string(i * 7919 % 97));
        r.SetNumber(2, (i * 31 % 200 - 100) / 4.0);
        r.SetText(3, "0" + std::to_string(1 + i % 9) + "/1" + std::to_string(i % 10) + "/19" + std::to_string(10 + i % 90));
        r.SetLogical(4, i % 3 == 0);
        xf::Append();
    }
    xf::CloseDatabase();
}

std::string& Pristine()
{
    static std::string bytes;
    return bytes;
}

void WriteFile(const std::string& path, const void* data, std::size_t size)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
}

// Every tenth name of the table's bytes gets box drawing, which the program's text
// lacks: keys of those records are made through the lossless character pair.
void DrawBoxes(std::string& table)
{
    if (table.size() < 32) return;
    const std::size_t header = static_cast<std::uint8_t>(table[8]) | static_cast<std::uint8_t>(table[9]) << 8;
    const std::size_t length = static_cast<std::uint8_t>(table[10]) | static_cast<std::uint8_t>(table[11]) << 8;
    for (std::size_t n = 9; header + n * length + 6 <= table.size(); n += 10) table[header + n * length + 5] = '\xB3';
}

void WriteSeeds(const std::string& table, const std::string& folder)
{
    const std::vector<std::vector<xf::TXfTagDef>> seeds = {
        {{"NAME", "NAME", "", false, false}},
        {{"NAME", "NAME", "", false, false}, {"AMOUNT", "AMOUNT", "", true, false}, {"BORN", "BORN", "", false, false}},
        {{"ONCE", "UPPER(NAME)", "", false, true}, {"OKS", "NAME", "OK .AND. AMOUNT > 0", true, false}},
    };
    xf::USE(table, "EXCLUSIVE");
    for (std::size_t i = 0; i < seeds.size(); ++i) xf::MakeIndex(seeds[i], folder + "/seed" + std::to_string(i + 1));
    xf::CloseDatabase();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    xf::XfErrors().RaiseOnError = 1;
    xf::XfDates().Century = 1;
    MakeTable(Base() + ".dbf");
    if (FILE* file = std::fopen((Base() + ".dbf").c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) Pristine().append(buffer, n);
        std::fclose(file);
    }
    DrawBoxes(Pristine());
    WriteFile(Base() + ".dbf", Pristine().data(), Pristine().size());
    std::atexit([] { std::remove((Base() + ".dbf").c_str()); });
    if (const char* seeds = std::getenv("DBF_MDX_FUZZ_SEEDS")) WriteSeeds(Base() + ".dbf", seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    xf::XfErrors() = xf::TXfErrorState {};
    xf::XfErrors().RaiseOnError = 1;
    const std::string table = Base() + ".dbf";
    const std::string index = Base() + ".mdx";
    WriteFile(table, Pristine().data(), Pristine().size());
    WriteFile(index, data, size);
    Try([&] { xf::USE(table, size % 2 ? "EXCLUSIVE" : ""); });
    if (xf::WorkArea(xf::CurrentWorkArea())) {
        Try([&] { xf::SetIndexTo(index); });
        const int tags = xf::IndexOpenTest() ? xf::IndexTagCount() : 0;
        for (int n = 1; n <= tags; ++n) {
            Try([&] { xf::Set_Order_To(n); });
            Try([] {
                int steps = 0;
                for (xf::GoTop(); !xf::dEOF() && steps < 2 * kRecords; xf::SKIP(1)) ++steps;
            });
            Try([] {
                int steps = 0;
                for (xf::GoBottom(); !xf::dBOF() && steps < 2 * kRecords; xf::SKIP(-1)) ++steps;
            });
            for (const char* text : {"Name 4", "N", "12.50", "03/13/1955", "-25"}) {
                Try([&] { xf::Find(text); });
                Try([&] { xf::FindExact(text); });
            }
            Try([] { xf::CurrentKeyText(xf::CurrentOrder()); });
            Try([] { xf::GO(kRecords / 2); });
        }
        if (tags > 0) {
            Try([] { xf::Set_Order_To(1); });
            Try([] {
                xf::GO(kRecords / 3);
                if (!xf::RLock()) return;
                xf::CurrentRecord().SetText(1, "Moved 5");
                xf::CurrentRecord().SetNumber(2, 42.25);
                xf::Replace();
            });
            Try([] { xf::Unlock(); });
            Try([] {
                if (!xf::ALock()) return;
                xf::ClearRecord();
                xf::CurrentRecord().SetText(1, "Name 4");
                xf::CurrentRecord().SetText(3, "03/13/1955");
                xf::Append();
            });
            Try([] { xf::Unlock(); });
        }
        // Under a filter no record passes, every move ends, in record order and in each tag's.
        Try([] { xf::SetFilterCondition(".F."); });
        for (int n = 0; n <= tags; ++n) {
            Try([&] { xf::Set_Order_To(n); });
            Try([] { xf::GoTop(); });
            Try([] { xf::GoBottom(); });
            Try([] {
                xf::GO(kRecords / 2);
                xf::SKIP(1);
            });
            Try([] {
                xf::GO(kRecords / 2);
                xf::SKIP(-1);
            });
            Try([] { xf::LocateCountSum("NAME", std::string("Name 4")); });
        }
        Try([] { xf::SetFilterCondition(""); });
        Try([] { xf::CloseIndex(); });
        Try([&] {
            std::vector<std::string> list;
            xf::ListIndexTags(Base() + ".mdx", list);
        });
    }
    Try([] { xf::CloseAll(); });
    std::remove(index.c_str());
    return 0;
}
