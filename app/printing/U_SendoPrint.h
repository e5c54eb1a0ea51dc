#pragma once
// The form and label printer: draws one mailer straight onto the process
// printer (print::Printer()), either the whole certified-mail form or one cell
// of a 3 x 3 label sheet, and prints blank barcode labels.
//
// Positions are hundredths of an inch from the paper's top-left corner,
// turned into printer pixels in integers with the printer's resolution, its
// unprintable offset and the user's alignment (one step = 3 printer pixels).

#include <array>
#include <string>
#include <vector>

#include "app/data/U_Globals.h"  // the label cell gLabelRow/gLabelCol

class QFont;

// The 30 texts that describe one mailer to the printer:
//  0-4  sender's display lines     5  sender ZIP
//  6-10 recipient's display lines  11 recipient ZIP
//  12 RE   13 comment   14 restricted delivery "Y"/"N" (not printed)
//  15 barcodes on: customer ID without dashes; off: the caller's barcode data
//  16 barcodes on: serial; off: empty
//  17-21 postage, certified, return receipt, restricted, total (money texts)
//  22, 23 horizontal and vertical alignment steps as decimal text
//  24 extra label "Yes"/"No"   25 "Addressed To" or "Your Name and Address"
//  26 department, 27 processed by ("-1" = none)
//  28 priority "Y"/"N" (not printed)   29 priority fee
using MailerPrintFields = std::array<std::string, 30>;

// Prints one mailer. Kind 1: the whole form as a print job of its own. Kind 2:
// one label cell inside the caller's job (BeginPrintJob/EndPrintJob or
// TPrintJob); after the sheet's last cell (row 2, column 2) the job is ended
// and a new one begun, which ejects the sheet.
// With PrintBarcodes the recipient's ("T") and sender's ("F") article numbers
// are made from Rec[15] and Rec[16] and printed as GS1-128 barcodes with their
// display texts; Data receives the recipient's 30-character barcode data.
// Without, Data receives Rec[15] unchanged and no article barcode is printed.
// FontSource gives the face of the receipt texts.
void PrintMailerForm(const MailerPrintFields& Rec, bool PrintBarcodes, int Kind, const QFont& FontSource,
                     std::string& Data);

// Prints Count labels of article barcodes (Layout 1: the form's places,
// Layout 2: the current label cell), each in its own print job, numbered from
// Serial on in the counter's direction (CountUp, else downwards). Returns the
// serial that follows the last one printed (Serial itself when Count <= 0),
// for the caller to store. A Serial that is not a number raises EConvertError
// before anything is printed. Printed, when given, counts the labels whose
// job was completed, so a caller can name the ones a failure left out.
std::string PrintBlankBarcodeLabels(int Count, int Layout, const std::string& CustID, const std::string& Serial,
                                    const std::string& AlignX, const std::string& AlignY, const QFont& FontSource,
                                    bool CountUp, int* Printed = nullptr);

// The sentence that names the article numbers (display form) a failed print
// used up: they are never handed out again, so the user must learn that
// they were not printed.
std::string SkippedNumbersText(const std::vector<std::string>& Numbers);

// The recipient's barcode data PrintMailerForm will hand back for Rec, known
// before printing so that a failed print can name its number.
std::string RecipientBarcodeData(const MailerPrintFields& Rec, bool PrintBarcodes);

void BeginPrintJob();
void EndPrintJob();

// Begins a print job and ends it on every path; End() ends it and lets a
// failure of the printer through.
class TPrintJob {
public:
    TPrintJob();
    ~TPrintJob();
    TPrintJob(const TPrintJob&) = delete;
    TPrintJob& operator=(const TPrintJob&) = delete;

    void End();

private:
    bool open_ = true;
};

// The ZIP the blank labels put into the recipient's article data: the sender
// ZIP5 of the last mailer printed with barcodes in this run, empty before
// (which the article number turns into "00000").
const std::string& LastZip();
void SetLastZip(const std::string& zip);

// The first five characters of a ZIP as five digits: "1234" gives "01234";
// anything but blanks followed by digits gives "00000".
std::string ArticleZip5(const std::string& zip);
