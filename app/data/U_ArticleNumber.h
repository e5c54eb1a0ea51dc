#pragma once
// The USPS article number of a mailer and the GS1-128 data of its barcode.

#include <string>
#include <string_view>

// Builds the number from the nine-digit customer ID, the seven-digit serial,
// the destination ZIP and the variant ("F" the sender's copy, anything else
// the recipient's), with service code "027" for priority, else "147". Returns
// the 30-character barcode data "420" + ZIP5 + 21-digit number + check digit,
// and sets gArticleNumber, gBarcodeData and the variant's pair (all without
// the check digit). Never fails: a customer ID or serial that is not all
// digits becomes zeros; a ZIP shorter than five characters is padded with "0"
// on the left, so the number stays at its place in the data.
std::string MakeArticleNumber(std::string_view CustID, std::string_view Serial, std::string_view Zip,
                              std::string_view Variant, bool Priority);
// The same with the main window's priority switch (gPriority).
std::string MakeArticleNumber(std::string_view CustID, std::string_view Serial, std::string_view Zip,
                              std::string_view Variant);

// A customer ID as the postal service issues it: exactly nine digits. A
// shorter one would be padded into somebody else's number.
bool IsNineDigitCustID(std::string_view CustID);
// What a barcode may carry: nine digits and not all of them zero.
bool IsPrintableCustID(std::string_view CustID);

// GS1 modulo-10 check digit of a digit string: from the right, odd positions
// count three times.
int GS1CheckDigit(std::string_view digits);

// Characters 9-30 of the barcode data in groups of 4, 4, 4, 4, 4 and 2 joined
// by single blanks ("9214 7123 4567 8900 0000 15"), as printed and logged.
std::string ArticleNumberDisplay(std::string_view Data);
