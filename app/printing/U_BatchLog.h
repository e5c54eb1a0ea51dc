#pragma once
// The batch entries of the mail log: log rows with Batch = True, written
// during the day without a number and numbered and printed together later.
// What the batch print needs of them, apart from the main window: finding
// them, the print record each one gives, taking a printed one out of the
// batch, and clearing them.
//
// The caller holds MailerNum exclusively around Read, MarkPrinted and Clear,
// so that two stations never print or clear the same entries.

#include "app/printing/U_SendoPrint.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TEdsQuery;

// One batch entry as the log holds it.
struct TBatchRow {
    std::int32_t LID = 0;
    std::string ToAddress1, ToAddress2, ToAddress3, ToAddress4, ToCity, ToState, ToZip;
    std::string YourAddress1, YourAddress2, YourAddress3, YourAddress4, YourCity, YourState, YourZip;
    std::string Postage, Certified, Return, Restricted, Total;
    std::string Department, ProcessedBy, RE, Comment;
    bool WishRest = false;
};

// The priority fee a batch entry was logged with, in cents: Total less postage,
// certified, return receipt and restricted fees (the log keeps no priority
// column). A blank or unreadable fee counts 0. Above 0 means the mailer goes
// with priority; a priority fee of 0.00 cannot be told from none.
std::int64_t PriorityFeeCents(const TBatchRow& Row);

// The print record of a batch entry numbered with CustID (dashes allowed) and
// Serial: the row's addresses, texts and fees, the program's alignment and
// extra-label settings, and the priority entries inferred from the fees (the
// fee in money form, or "N" and empty). With barcodes on, entries 15 and 16
// carry the customer ID and serial; off, 15 carries the article's barcode data
// for the row's ZIP (with the row's own priority service code).
MailerPrintFields BatchPrintRecord(const TBatchRow& Row, const std::string& CustID, const std::string& Serial,
                                   bool PrintBarcodes);

// What a printed batch entry gets in the log.
struct TPrintedNumber {
    std::string MailerNum;  // display form, 27 characters
    std::string CustID;
    std::int32_t SerialNum = 0;
};

// The batch entries of the log table Log37 in one folder. Every call raises
// the database layer's error.
class TBatchLog {
public:
    explicit TBatchLog(const std::string& Folder);
    ~TBatchLog();
    TBatchLog(const TBatchLog&) = delete;
    TBatchLog& operator=(const TBatchLog&) = delete;

    bool Any();
    // Every batch entry, in the order it was logged.
    std::vector<TBatchRow> Read();
    // Writes the number and the time now into entry LID and takes it out of
    // the batch; false when it is no longer a batch entry (printed or deleted
    // elsewhere), which then changes nothing.
    bool MarkPrinted(std::int32_t LID, const TPrintedNumber& Number);
    // Deletes every batch entry in one statement; answers how many went.
    std::int32_t Clear();

private:
    std::unique_ptr<TEdsQuery> query_;
};

// The message after a batch print of Count mailers (Count >= 1): the one
// number, or the first and the last.
std::string BatchPrintedMessage(int Count, const std::string& First, const std::string& Last);
