#pragma once
// The import of an older edition's mail log into the current log (Log37 in
// gLogDB): the frame every import shares (confirmation, file choice, name
// checks, the rows appended in one transaction, the closing count) and the
// rules that turn an older row into a Log37 row.
//
// A row source reads one older log; the frame asks it for rows. The whole
// import is one transaction: a row the log cannot take rolls everything
// back, so nothing is half imported and a second run after a fix imports
// each row once.

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

class QWidget;
class TEdsTable;
namespace db {
class TDataSet;
}

// One older log, read row by row.
class TLogRowSource {
public:
    virtual ~TLogRowSource() = default;
    // Opens the chosen file; raises when it is no log of this kind.
    virtual void Open(const std::string& FileName) = 0;
    virtual bool Eof() = 0;
    virtual void Next() = 0;
    // Fills the freshly appended Log37 row from the current source row.
    // Answers false when the source row has no readable date (DateTime is
    // then left empty).
    virtual bool Fill(db::TDataSet& Log) = 0;
    virtual void Close() = 0;
};

// What tells the imports apart in the frame.
struct TLogImportKind {
    std::string OpeningText;   // the confirmation's first line
    std::string Filter;        // "Description|pattern"
    std::string FileName;      // pre-set in the dialog
    std::string InitialDir;
    std::string ExpectedName;  // the file's name, compared case-sensitively
    std::string NotFoundText;
    std::string InvalidText;
    // The error shown when the source cannot be opened; empty: the failure
    // in the program's words with the cause under details.
    std::string OpenFailedText;
};

// How one import run ended.
struct TLogImportResult {
    std::int32_t Imported = 0;
    std::int32_t Undated = 0;  // rows imported without a date
};

// A row the log could not take: the import was rolled back.
class ELogImportRow : public std::runtime_error {
public:
    ELogImportRow(std::int32_t Row, const std::string& Cause)
        : std::runtime_error(Cause), Row(Row) {}
    std::int32_t Row;  // 1-based, in source order
};

// Appends every row of the open Source to Log (a Log37 table component,
// pointed at Folder here) in one transaction. Raises ELogImportRow, with
// nothing imported, when a row cannot be written.
TLogImportResult ImportLogRows(TLogRowSource& Source, TEdsTable& Log, const std::string& Folder);

// The whole command: confirmation, file dialog, checks, the import into
// gLogDB, the closing message. Every failure is told to the user.
void RunLogImport(QWidget* Parent, const TLogImportKind& Kind, TLogRowSource& Source);

// The closing message: "<n> records have been imported to your Log file.",
// with a second line when some rows came without a date.
std::string ImportedMessage(const TLogImportResult& Result);

// ---- rules for the older rows ------------------------------------------------------

// The mailer number as stored, and the customer ID and serial read from it.
struct TRegroupedMailerNum {
    std::string MailerNum;
    std::string CustID;                   // "12-345-6789", or empty
    std::optional<std::int32_t> SerialNum;
};

// A 20-character number becomes five groups of four joined by blanks; any
// other text stays as it is. A number of 22 characters or more that begins
// "92071" carries the customer ID in characters 6-14 and the serial in
// characters 15-21 (ASCII digits only).
TRegroupedMailerNum RegroupMailerNum(std::string_view Number);

// The sender of an older log: up to four address lines and the place line
// split into city, state and ZIP.
struct TSenderSplit {
    std::array<std::string, 4> Lines;
    std::string City, State, Zip;
};

// Takes the place line (the last filled line before the first empty one) out
// of the five lines and splits it: the ZIP is its last word when that is a
// ZIP ("12345" or "12345-6789"), the state the last word before it when 2 to
// 4 characters long, the city what remains. Only those trailing words are
// removed, so "VACAVILLE CA 95688" keeps its city whole.
TSenderSplit SplitSender(const std::array<std::string, 5>& Lines);

// Whether Text is a ZIP: five digits, or five digits, "-" and four digits.
bool IsZipText(std::string_view Text);
