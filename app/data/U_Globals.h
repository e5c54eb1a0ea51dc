#pragma once
// Application-wide variables shared by the mailing windows. Plain variables
// without locks: every use runs on the GUI thread. The settings read from the
// settings file live with the start-up code.

#include <cstdint>
#include <string>

// The sender of the mailers.
extern std::string gYourAddress1, gYourAddress2, gYourAddress3, gYourAddress4, gYourCity, gYourState, gYourZip;
// The recipient picked in the address book.
extern std::string gToAddress1, gToAddress2, gToAddress3, gToAddress4, gToCity, gToState, gToZip;
// The address exchanged with the address dialog (and filled by a paste).
extern std::string gEditAddress1, gEditAddress2, gEditAddress3, gEditAddress4, gEditCity, gEditState, gEditZip;
extern std::string gEditAddress5;  // the fifth display line (city, state and ZIP) of the address book
// Exchange values of the small entry dialogs.
extern std::string gSingleEditText;
extern std::int32_t gNumLabels;

// Numbering state, read from table MailerNum before each print.
extern std::string gCustID;     // nine digits
extern std::string gSerialNum;  // seven digits
extern bool gPrintBarCode;
extern bool gIncrement;

// Main-window switches.
extern bool gPriority;            // selects the service code of the article number
extern int gFormMode;             // 1 the whole certified-mail form, 0 label or envelope
extern bool gShowPrintedNotice;   // the "Mailer has been sent to printer." notice

// Results of the last MakeArticleNumber call, all without the check digit.
// The label cell for kind 2 prints: gLabelRow moves across the sheet (2.75 in
// steps), gLabelCol down it (3.7 in steps); each 0 to 2. The settings file keeps it.
extern int gLabelRow;
extern int gLabelCol;

extern std::string gArticleNumber;   // 21 digits, last call
extern std::string gBarcodeData;     // 29 characters, last call
extern std::string gArticleNumberT;  // last "T" (recipient's copy) call
extern std::string gBarcodeDataT;
extern std::string gArticleNumberF;  // last "F" (sender's copy) call
extern std::string gBarcodeDataF;
