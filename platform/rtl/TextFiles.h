#pragma once
// Text files of the run-time library over a device: a text-file variable carries
// four procedures (open, in/out, flush, close) that do its I/O, so reading and
// writing lines work the same whether the variable is bound to a disk file or to
// something else (a memo field, for one). Lines end with CR LF; a reader also
// accepts a lone LF or CR.
//
// The routines answer the run-time library's I/O result (0: done): 100 read
// failed, 101 write failed, 103 file not open, 104 not open for input, 105 not
// open for output, or what the device answered.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace rtl {

enum TTextFileMode : std::uint16_t { fmClosed = 0xD7B0, fmInput = 0xD7B1, fmOutput = 0xD7B2, fmInOut = 0xD7B3 };

struct TTextRec;
using TTextDeviceProc = std::function<int(TTextRec& file)>;

struct TTextRec {
    int Handle = 0;
    TTextFileMode Mode = fmClosed;
    // Input: what the device delivered, read from BufPos on. Output: what was written
    // and not yet handed to the device.
    std::string Buffer;
    std::size_t BufPos = 0;
    // Open runs with Mode already set to the kind of open (fmInput for Reset, fmOutput
    // for Rewrite, fmInOut for Append) and may change it.
    TTextDeviceProc OpenFunc, InOutFunc, FlushFunc, CloseFunc;
    std::shared_ptr<void> UserData;  // the device's own state
};

// Output is handed to the device whenever this much is waiting.
constexpr std::size_t kTextBufSize = 128;

int Reset(TTextRec& file);
int Rewrite(TTextRec& file);
int Append(TTextRec& file);
// One line without its end; at the end of the input an empty line and Eof.
int ReadLn(TTextRec& file, std::string& line);
bool Eof(TTextRec& file);
int Write(TTextRec& file, std::string_view text);
// The text and CR LF, then the device's flush.
int WriteLn(TTextRec& file, std::string_view text = {});
int Flush(TTextRec& file);
int CloseFile(TTextRec& file);

}  // namespace rtl
