#include "app/data/U_TextFile.h"

#include "dbaccess/edsquery.h"
#include "platform/rtl/CodePages.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Small enough to stay in the cache while it fills.
constexpr std::size_t kFlushAt = 64 * 1024;

}  // namespace

std::string TextFileName(const std::string& Chosen)
{
    return Chosen.find(".txt") == std::string::npos ? Chosen + ".txt" : Chosen;
}

TAnsiTextAppender::TAnsiTextAppender(const std::string& FileName) : fileName_(FileName)
{
    file_ = std::fopen(FileName.c_str(), "ab");
    if (file_ == nullptr) Fail("could not be opened");
    struct stat info {};
    if (fstat(fileno(file_), &info) == 0 && S_ISREG(info.st_mode)) startSize_ = info.st_size;
    buffer_.reserve(kFlushAt + 4096);
}

TAnsiTextAppender::~TAnsiTextAppender()
{
    if (file_ == nullptr) return;
    // Not closed on purpose: the listing is incomplete, so the file goes
    // back to what it was.
    std::fflush(file_);
    struct stat info {};
    if (fstat(fileno(file_), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > startSize_)
        [[maybe_unused]] const int cut = ftruncate(fileno(file_), startSize_);
    std::fclose(file_);
}

void TAnsiTextAppender::WriteLine(std::string_view Utf8)
{
    Append(Utf8);
    EndLine();
}

void TAnsiTextAppender::WriteLine(std::string_view Utf8Head, std::string_view Utf8Tail)
{
    Append(Utf8Head);
    Append(Utf8Tail);
    EndLine();
}

void TAnsiTextAppender::Append(std::string_view utf8)
{
    if (rtl::IsAscii(utf8)) {
        buffer_.append(utf8);
        return;
    }
    const std::string ansi = rtl::Utf8ToAnsi(utf8);
    // Each character the page lacks became one "?".
    replaced_ += std::count(ansi.begin(), ansi.end(), '?') - std::count(utf8.begin(), utf8.end(), '?');
    buffer_.append(ansi);
}

void TAnsiTextAppender::EndLine()
{
    buffer_.append("\r\n");
    if (buffer_.size() >= kFlushAt) Flush();
}

void TAnsiTextAppender::Flush()
{
    if (buffer_.empty()) return;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size() || std::fflush(file_) != 0)
        Fail("could not be written");
    buffer_.clear();
}

void TAnsiTextAppender::Close()
{
    Flush();
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) Fail("could not be written");
}

void TAnsiTextAppender::Fail(const char* what)
{
    throw rtl::Exception("The file \"" + fileName_ + "\" " + what + ": " + std::strerror(errno) + ".");
}

std::string ExportCompletedText(const std::string& FileName, std::int64_t Replaced)
{
    std::string text = "Export completed fo file \"" + FileName + "\".";
    if (Replaced == 1)
        text += "\n1 character that a text file cannot hold was written as \"?\".";
    else if (Replaced > 1)
        text += "\n" + std::to_string(Replaced) + " characters that a text file cannot hold were written as \"?\".";
    return text;
}

TQueryListing::TQueryListing(TEdsQuery& Query, const std::string& Folder, const std::string& Sql,
                             const std::string& FileName)
    : file_(FileName), query_(Query)
{
    Query.Close();
    Query.SetDatabaseName(Folder);
    Query.SetSQLText(Sql);
    Query.Open();
}

TQueryListing::~TQueryListing()
{
    try {
        query_.Close();
    } catch (...) {
        // Closed again by its next use.
    }
}

TTextExportResult TQueryListing::Finish(std::int64_t Rows)
{
    query_.Close();
    file_.Close();
    return TTextExportResult{Rows, file_.Replaced()};
}
