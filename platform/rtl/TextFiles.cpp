#include "platform/rtl/TextFiles.h"

namespace rtl {

namespace {

int Open(TTextRec& file, TTextFileMode mode)
{
    if (file.Mode != fmClosed) {
        // Opening an open file closes it first, as the library always has.
        if (const int code = CloseFile(file)) return code;
    }
    file.Mode = mode;
    file.Buffer.clear();
    file.BufPos = 0;
    const int code = file.OpenFunc ? file.OpenFunc(file) : 0;
    if (code) file.Mode = fmClosed;
    return code;
}

// Input: at least one unread character, unless the device has no more.
int Fill(TTextRec& file, bool& more)
{
    more = file.BufPos < file.Buffer.size();
    if (more) return 0;
    file.Buffer.clear();
    file.BufPos = 0;
    const int code = file.InOutFunc ? file.InOutFunc(file) : 0;
    more = code == 0 && file.BufPos < file.Buffer.size();
    return code;
}

int CheckInput(const TTextRec& file)
{
    if (file.Mode == fmClosed) return 103;
    return file.Mode == fmInput ? 0 : 104;
}

int CheckOutput(const TTextRec& file)
{
    if (file.Mode == fmClosed) return 103;
    return file.Mode == fmOutput ? 0 : 105;
}

int HandOver(TTextRec& file)
{
    if (file.Buffer.empty() || !file.InOutFunc) return 0;
    return file.InOutFunc(file);
}

}  // namespace

int Reset(TTextRec& file) { return Open(file, fmInput); }
int Rewrite(TTextRec& file) { return Open(file, fmOutput); }
int Append(TTextRec& file) { return Open(file, fmInOut); }

int ReadLn(TTextRec& file, std::string& line)
{
    line.clear();
    if (const int code = CheckInput(file)) return code;
    for (;;) {
        bool more = false;
        if (const int code = Fill(file, more)) return code;
        if (!more) return 0;
        const std::size_t end = file.Buffer.find_first_of("\r\n", file.BufPos);
        if (end == std::string::npos) {
            line.append(file.Buffer, file.BufPos);
            file.BufPos = file.Buffer.size();
            continue;
        }
        line.append(file.Buffer, file.BufPos, end - file.BufPos);
        file.BufPos = end + 1;
        if (file.Buffer[end] == '\r') {
            // The LF of a CR LF may come with the next delivery.
            if (const int code = Fill(file, more)) return code;
            if (more && file.Buffer[file.BufPos] == '\n') ++file.BufPos;
        }
        return 0;
    }
}

bool Eof(TTextRec& file)
{
    if (CheckInput(file)) return true;
    bool more = false;
    return Fill(file, more) != 0 || !more;
}

int Write(TTextRec& file, std::string_view text)
{
    if (const int code = CheckOutput(file)) return code;
    file.Buffer.append(text);
    return file.Buffer.size() >= kTextBufSize ? HandOver(file) : 0;
}

int WriteLn(TTextRec& file, std::string_view text)
{
    if (const int code = CheckOutput(file)) return code;
    file.Buffer.append(text);
    file.Buffer += "\r\n";
    return Flush(file);
}

int Flush(TTextRec& file)
{
    if (file.Mode != fmOutput) return file.Mode == fmClosed ? 103 : 0;
    return file.FlushFunc ? file.FlushFunc(file) : HandOver(file);
}

int CloseFile(TTextRec& file)
{
    if (file.Mode == fmClosed) return 103;
    int code = file.Mode == fmOutput ? HandOver(file) : 0;
    const int closed = file.CloseFunc ? file.CloseFunc(file) : 0;
    if (code == 0) code = closed;
    file.Mode = fmClosed;
    file.Buffer.clear();
    file.BufPos = 0;
    return code;
}

}  // namespace rtl
