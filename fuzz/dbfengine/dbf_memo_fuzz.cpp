// Fuzzes the memo file: any bytes as the memo file of a small table whose memo
// fields point at blocks the input chooses, in each layout and block size. Every
// memo is read (as bytes, lines, a text file and a blob stream; its block also
// straight from the record in the file), appended to as a text file under a small
// line limit, rewritten, grown, freed, copied, and the file packed. Every failure
// must be an engine error, never a read or write outside a buffer, a hang or a
// crash; after a pack every memo must read as it did before.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "dbfengine/dbf4.h"
#include "dbfengine/xfcommon.h"
#include "dbfengine/xfmemo.h"
#include "platform/rtl/TextFiles.h"
#include "fuzz/dbfengine/FuzzSupport.h"

namespace {

std::string Base()
{
    static const std::string base = dbffuzz::FileBase("dbf_memo_fuzz");
    return base;
}

using dbffuzz::Try;

constexpr int kRecords = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 + 4 * kRecords) return 0;
    xf::XfErrors() = xf::TXfErrorState {};
    xf::XfErrors().RaiseOnError = 1;
    xf::MemoInit();
    xf::XfMemoTextSettings() = {};
    const std::uint8_t knobs = data[0];
    static const std::uint8_t kinds[] = {0x83, 0x8B, 0xF5, 0x8C};
    xf::XfDbfSettings().MemoVersion = kinds[knobs & 3];
    xf::XfDbfSettings().MemoBlockSize = (knobs & 4) ? 64 : (knobs & 8) ? 1024 : 512;
    const std::string table = Base() + ".dbf";
    std::string memoName = Base() + (kinds[knobs & 3] == 0xF5 ? ".fpt" : ".dbt");
    Try([&] {
        xf::TDbfTable t;
        xf::CreateDbf(t, table, {{"ID", 'N', 3, 0}, {"NOTES", 'M', 10, 0}});
    });
    // The records point at the blocks the input names.
    Try([&] {
        xf::USE(table, "EXCLUSIVE");
        for (int n = 0; n < kRecords; ++n) {
            std::int32_t block = 0;
            std::memcpy(&block, data + 1 + 4 * n, 4);
            if (knobs & 16) block = block & 0xFF;
            xf::ClearRecord();
            xf::CurrentRecord().SetInteger(1, n + 1);
            xf::CurrentRecord().SetInteger(2, block);
            xf::Append();
        }
        xf::CloseAll();
    });
    {
        FILE* file = std::fopen(memoName.c_str(), "wb");
        if (!file) return 0;
        std::fwrite(data + 1 + 4 * kRecords, 1, size - 1 - 4 * kRecords, file);
        std::fclose(file);
    }
    Try([&] { xf::USE(table, "EXCLUSIVE"); });
    if (xf::WorkArea(xf::CurrentWorkArea())) {
        // Text written through a memo text file past its line limit stores nothing:
        // the field keeps its memo. Text that fits becomes the field's memo.
        Try([&] {
            xf::XfMemoTextSettings().MaxLines = 1 + (knobs >> 5);
            xf::GO(2);
            const std::int32_t block = static_cast<std::int32_t>(xf::CurrentRecord().Integer(2));
            const std::string old = xf::GetMemo(block);
            rtl::TTextRec text;
            xf::AssignMemo(text, 2);
            if (rtl::Append(text) != 0) return;
            const std::size_t tail = std::min<std::size_t>(size - 1 - 4 * kRecords, 4096);
            const int wrote = rtl::Write(text, std::string_view(reinterpret_cast<const char*>(data) + size - tail, tail));
            const int closed = rtl::CloseFile(text);
            if (wrote == 101 || closed == 101) {
                if (xf::CurrentRecord().Integer(2) != block || xf::GetMemo(block) != old) std::abort();
            } else if (wrote == 0 && closed == 0) {
                xf::Replace();
            }
        });
        xf::XfMemoTextSettings() = {};
        std::vector<std::string> before(kRecords + 1);
        std::vector<bool> readable(kRecords + 1, false);
        for (int n = 1; n <= kRecords; ++n) {
            Try([&] {
                xf::GO(n);
                before[static_cast<std::size_t>(n)] = xf::GetMemo(static_cast<std::int32_t>(xf::CurrentRecord().Integer(2)));
                readable[static_cast<std::size_t>(n)] = true;
                xf::MemoToLines(before[static_cast<std::size_t>(n)], 40);
            });
            // The file's own bytes name the block the record was read with.
            Try([&] {
                xf::GO(n);
                const std::optional<std::int32_t> stored = xf::StoredMemoBlock(2, n);
                if (!stored || *stored != xf::CurrentRecord().Integer(2)) std::abort();
            });
            Try([&] {
                rtl::TTextRec text;
                xf::AssignMemo(text, 2);
                std::string line;
                if (rtl::Reset(text) == 0) {
                    for (int lines = 0; lines < 100000 && !rtl::Eof(text); ++lines) rtl::ReadLn(text, line);
                    rtl::CloseFile(text);
                }
            });
            Try([&] {
                if (xf::CreateBlobDescriptor(true, static_cast<std::int32_t>(xf::CurrentRecord().Integer(2)), xf::kBlobRead) != 0) {
                    char buffer[97];
                    while (xf::ReadBlobStream(buffer, sizeof buffer) > 0) {
                    }
                    xf::SeekBlobStream(-5, 2);
                }
                xf::DestroyBlobDescriptor();
            });
        }
        // A pack keeps every memo as it read; on the file it leaves, rewrites (one
        // memo grows, one shrinks, one is cleared, one is new) keep the others intact.
        bool packed = false;
        Try([&] {
            xf::PackMemofile();
            packed = readable[1] && readable[2] && readable[3] && readable[4];
        });
        const auto check = [&] {
            for (int n = 1; n <= kRecords; ++n) {
                xf::GO(n);
                const std::int32_t block = static_cast<std::int32_t>(xf::CurrentRecord().Integer(2));
                if (xf::GetMemo(block) != before[static_cast<std::size_t>(n)] || xf::StoredMemoBlock(2, n) != block) std::abort();
            }
        };
        if (packed) {
            check();
            const std::string grown(static_cast<std::size_t>(600 + (knobs >> 5) * 100), 'g');
            const std::string texts[kRecords + 1] = {"", grown, "s", "", "new memo"};
            for (int n = 1; n <= kRecords; ++n) {
                xf::GO(n);
                xf::TXfTypedRecord r = xf::CurrentRecord();
                r.SetInteger(2, xf::EditMemo(static_cast<std::int32_t>(r.Integer(2)), texts[n]));
                xf::Replace();
                before[static_cast<std::size_t>(n)] = texts[n];
            }
            check();
            // A line appended through the text file ends the memo's last line read back.
            xf::GO(1);
            rtl::TTextRec text;
            xf::AssignMemo(text, 2);
            if (rtl::Append(text) != 0 || rtl::WriteLn(text, "tail") != 0 || rtl::CloseFile(text) != 0) std::abort();
            xf::Replace();
            before[1] = xf::GetMemo(static_cast<std::int32_t>(xf::CurrentRecord().Integer(2)));
            std::string line, last;
            if (rtl::Reset(text) != 0) std::abort();
            while (!rtl::Eof(text)) {
                rtl::ReadLn(text, line);
                last = line;
            }
            rtl::CloseFile(text);
            if (!last.ends_with("tail")) std::abort();
            // Copies within the file never land on another memo.
            for (int n = 1; n <= kRecords; ++n) {
                xf::GO(n);
                xf::TXfTypedRecord r = xf::CurrentRecord();
                const std::int32_t block = static_cast<std::int32_t>(r.Integer(2));
                const std::int32_t copy = xf::CopyMemo(xf::CurrentWorkArea(), xf::GetMemoType() == 0x83 ? -block : block, true);
                if (copy != 0 && copy == block) std::abort();
                if (copy != 0) {
                    r.SetInteger(2, copy);
                    xf::Replace();
                }
            }
            check();
        }
    }
    Try([] { xf::CloseAll(); });
    std::remove(table.c_str());
    std::remove(memoName.c_str());
    return 0;
}
