#pragma once
// Text files the program writes for other programs to read: Windows-1252
// text, lines ending in CR LF, appended to what the file already holds.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

class TEdsQuery;

// The name a save dialog's choice is written to: ".txt" is appended when
// the name holds no ".txt" anywhere ("x" becomes "x.txt").
std::string TextFileName(const std::string& Chosen);

// Appends lines to a text file, creating it when it is missing. Every write
// is checked; a run that does not reach Close() (an exception, a failed
// write) cuts the file back to what it held before, so a failed export
// leaves no half listing behind.
class TAnsiTextAppender {
public:
    // Raises rtl::Exception naming the file when it cannot be opened.
    explicit TAnsiTextAppender(const std::string& FileName);
    ~TAnsiTextAppender();
    TAnsiTextAppender(const TAnsiTextAppender&) = delete;
    TAnsiTextAppender& operator=(const TAnsiTextAppender&) = delete;

    // `Utf8` in Windows-1252 followed by CR LF; a character the code page
    // lacks is written as "?" and counted. Raises rtl::Exception when the
    // file cannot take it.
    void WriteLine(std::string_view Utf8);
    // The same for a line made of two pieces, without joining them first.
    void WriteLine(std::string_view Utf8Head, std::string_view Utf8Tail);
    // Writes what is buffered and closes; raises rtl::Exception on failure
    // (the file is then cut back as when Close is never reached).
    void Close();

    // Characters written as "?" so far.
    std::int64_t Replaced() const { return replaced_; }

private:
    void Append(std::string_view utf8);
    void EndLine();
    void Flush();
    [[noreturn]] void Fail(const char* what);

    std::string fileName_;
    std::FILE* file_ = nullptr;
    long long startSize_ = 0;
    std::string buffer_;
    std::int64_t replaced_ = 0;
};

// The message after an export to FileName: "Export completed fo file
// "<file>".", and, when characters had to be written as "?", how many.
std::string ExportCompletedText(const std::string& FileName, std::int64_t Replaced);

// What an export wrote.
struct TTextExportResult {
    std::int64_t Rows = 0;
    std::int64_t Replaced = 0;  // characters the code page lacks, written as "?"
};

// An export's frame: the file opened for appending, then Sql run through
// Query on Folder; the caller writes the rows to File() and calls Finish().
// The query is closed in every case; without Finish() the file keeps only
// what it held before.
class TQueryListing {
public:
    // Raises when the file or the query cannot be opened.
    TQueryListing(TEdsQuery& Query, const std::string& Folder, const std::string& Sql, const std::string& FileName);
    ~TQueryListing();
    TQueryListing(const TQueryListing&) = delete;
    TQueryListing& operator=(const TQueryListing&) = delete;

    TAnsiTextAppender& File() { return file_; }
    // Closes the query and the file; raises when the file cannot take the
    // rest. `Rows` is the number of rows the caller wrote.
    TTextExportResult Finish(std::int64_t Rows);

private:
    TAnsiTextAppender file_;
    TEdsQuery& query_;
};
