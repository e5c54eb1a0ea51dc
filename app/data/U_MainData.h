#pragma once
// What the main window needs of the program's tables: creating missing ones at
// start-up, the chosen sender address, the customer ID of the mailer-number
// counter, the ZIP lookup and closing everything at the end.
//
// The data module supplies the real implementation; until it is installed the
// default one answers "nothing there" and creates nothing, so the window runs
// without tables. Tests install a fake.

#include <memory>
#include <optional>
#include <string>

struct TSenderAddress {
    std::string Address1, Address2, Address3, Address4, City, State, Zip;
};

struct TZipPlace {
    std::string City, State;
};

class TMainData {
public:
    virtual ~TMainData() = default;

    // Makes sure table `tableName` ("YourAddress", "Log37", "MailerNum") is
    // in `folder` with its indexes, side tables and seed rows, creating what is
    // missing. Raises rtl::Exception (the database layer's error) on failure.
    virtual void EnsureTable(const std::string& folder, const std::string& tableName) = 0;

    // The sender address with A_ID = id in table YourAddress of `folder`.
    virtual std::optional<TSenderAddress> ReadYourAddress(const std::string& folder, int id) = 0;

    // CustID of the first row of MailerNum in `folder`; nothing when there is
    // no such row or table.
    virtual std::optional<std::string> ReadCustID(const std::string& folder) = 0;

    // City and state of a five-digit ZIP from table ZIPCODES in `folder`.
    // Nothing when the ZIP is not listed; raises rtl::Exception when the
    // table cannot be opened.
    virtual std::optional<TZipPlace> LookupZip(const std::string& folder, const std::string& zip5) = 0;

    // Closes every table and query at shut-down.
    virtual void CloseAllTables() = 0;
};

// The implementation in use.
TMainData& MainData();

// City and state of a five-digit ZIP from the shipped ZIP table, for the
// address fields' lookup. When the table is missing or cannot be read, one
// message says that the lookup is unavailable and why, the first time only
// in a run; the lookup then answers nothing.
std::optional<TZipPlace> LookupShippedZip(const std::string& zip5);
// Tests: the next failed lookup is told again.
void ForgetZipLookupNotice();

// Before rows are added to the mail log of `folder`: a log that is not
// there (deleted, or a share remounted empty) is started anew there, folder
// and all, as start-up makes it, so the mailers go on being logged. A silent
// new log would split the log in two, so the user is told that the log was
// not found and a new one was started; `toldInRun`, when given, is the
// run's flag: set, nothing is told again, and it is set once told. Raises
// rtl::Exception (the database layer's error) when the log cannot be made.
void StartLogIfMissing(const std::string& folder, bool* toldInRun = nullptr);

// Installs an implementation (the data module at start-up, a fake in tests);
// nullptr puts the default back. Returns the previous one.
std::unique_ptr<TMainData> SetMainData(std::unique_ptr<TMainData> data);
