#pragma once
// Addresses as lines of comma-separated text, read into and written from
// the tables Address and YourAddress: one address a line, seven fields in
// the order Address1-4, City, State, Zip.
//
// A field holding a comma or a double quote is written in double quotes,
// its quotes doubled; reading undoubles them. A quote anywhere but at a
// field's start is an ordinary character, so files written without quoting
// read as they always did.

#include "app/data/U_TextFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

class TEdsQuery;
class TEdsTable;

constexpr std::size_t kAddressTextFields = 7;
using TAddressFieldTexts = std::array<std::string, kAddressTextFields>;

// The columns' widths in characters: Address1-4, City, State, Zip.
inline constexpr std::array<std::size_t, kAddressTextFields> kAddressFieldWidths{50, 50, 50, 50, 35, 4, 10};

// One address read from a file, with the line it came from (1-based).
struct TTextAddress {
    TAddressFieldTexts Fields;
    std::int64_t Line = 0;
    // The fields are not what the line holds: a byte that is not UTF-8, a
    // character Windows-1252 lacks or a control character became "?".
    bool Altered = false;
};

// Reads the field that starts at Position (1-based) and moves Position past
// it and its separator. Blanks and tabs before the field are skipped; the
// field is trimmed. At the end of the line the field is empty and Position
// stays.
void NextCsvField(std::string_view Line, std::size_t& Position, std::string& Field);

// Text as a field of a line: in double quotes, inner quotes doubled, when it
// holds a comma or a double quote; else as it is.
std::string QuoteCsvField(std::string_view Text);

// The seven fields of a line, each cut to its column's width (missing
// trailing fields are empty).
TAddressFieldTexts ReadAddressLine(std::string_view Line);
// The line for an address: its fields quoted as needed, joined by ",".
std::string AddressLine(const TAddressFieldTexts& Fields);

// Every line of the file as an address, its fields as the tables will
// store them. The file is Windows-1252, or UTF-8 after a UTF-8 byte-order
// mark (the mark is no part of the text); lines end at CR LF, LF or CR. A
// character the tables cannot hold, each byte of a line that is not UTF-8,
// and a control character other than the tab become "?", and the address
// is marked Altered. Raises rtl::Exception naming the file when it cannot
// be read, and when it holds a NUL byte: such a file is no text.
std::vector<TTextAddress> ReadAddressFile(const std::string& FileName);

// What the user is told before choosing among the addresses when some of
// them are Altered (naming their lines), or "" when none is.
std::string AlteredAddressesNotice(const std::vector<TTextAddress>& Rows);

// A row the table did not take; nothing of the import stays.
class EAddressImportLine : public std::exception {
public:
    EAddressImportLine(std::int64_t Line, std::exception_ptr Cause) : Line(Line), Cause(std::move(Cause)) {}
    const char* what() const noexcept override { return "An address could not be added."; }
    std::int64_t Line;  // the file's line, 1-based
    std::exception_ptr Cause;
};

// Appends the addresses to Table (Address or YourAddress, closed or open;
// it is opened on Folder and left closed) in one transaction: all of them,
// or, when one fails, none (EAddressImportLine names its line). Answers how
// many were added.
std::size_t InsertAddressRows(TEdsTable& Table, const std::string& Folder, const std::string& TableName,
                              const std::vector<const TTextAddress*>& Rows);

// Appends every row of TableName in Folder, by A_ID, as one line to
// FileName (created when missing), through Query. Raises on a failure of
// the table or the file; the file then keeps only what it held before.
TTextExportResult ExportAddresses(TEdsQuery& Query, const std::string& Folder, const std::string& TableName,
                                  const std::string& FileName);
