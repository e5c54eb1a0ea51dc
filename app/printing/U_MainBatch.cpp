// The main window's batch commands: print every batch entry of the log, or
// clear them.
//
// A batch run follows the single print's rules on numbering: MailerNum is
// taken exclusively before the entries are read (a station that waited must
// not print what another has just printed) and held until the run ends, each
// entry's serial is posted before its page is printed, and an entry leaves
// the batch only after its page or its label job has printed. So a failure
// can waste numbers but never issues one twice, and whatever was not printed
// stays in the batch for the next run.

#include "app/main/U_Main.h"
#include "app/main/U_MainGuards.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_ArticleNumber.h"
#include "app/data/U_Globals.h"
#include "app/data/U_MainData.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "app/printing/U_BatchLog.h"
#include "app/printing/U_PrinterSetup.h"
#include "app/printing/U_SendoPrint.h"
#include "platform/print/QtPrintDevice.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"

#include "ui_U_Main.h"

#include <QFont>

#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const kNoBatchRecords = "There are no records in the Batch file.";

// The article number's service code follows each entry's own priority while
// it prints, and the window's switch comes back afterwards.
class TPriorityScope {
public:
    explicit TPriorityScope(bool priority) : saved_(gPriority) { gPriority = priority; }
    ~TPriorityScope() { gPriority = saved_; }
    TPriorityScope(const TPriorityScope&) = delete;
    TPriorityScope& operator=(const TPriorityScope&) = delete;

private:
    bool saved_;
};

// A printed entry waiting to leave the batch.
struct TPrintedEntry {
    std::int32_t LID = 0;
    TPrintedNumber Number;
};

std::string Joined(const std::vector<std::string>& numbers)
{
    std::string out;
    for (const std::string& n : numbers) out += (out.empty() ? "" : ", ") + n;
    return out;
}

}  // namespace

void TF_Main::ConnectBatchCommands()
{
    connect(ui->miPrintBatch, &QAction::triggered, this, &TF_Main::miPrintBatchClick);
    connect(ui->miClearBatch, &QAction::triggered, this, &TF_Main::miClearBatchClick);
}

void TF_Main::miPrintBatchClick()
{
    try {
        PrintBatch();
    } catch (const std::exception& e) {
        ShowFailure("The Batch file could not be printed.", e);
    }
}

void TF_Main::PrintBatch()
{
    StartLogIfMissing(gLogDB);
    TBatchLog log(gLogDB);
    if (!log.Any()) {
        ui::ShowError(kNoBatchRecords);
        return;
    }
    TCloseTableGuard release(*DataModule().edstMailerNum, true);
    if (!LoadMailerNumber()) return;
    // Read again under the counter: another station may have printed them.
    const std::vector<TBatchRow> rows = log.Read();
    if (rows.empty()) {
        ui::ShowError(kNoBatchRecords);
        return;
    }

    std::vector<std::string> logged;     // numbers of the entries printed and out of the batch
    std::vector<TPrintedEntry> pending;  // printed, or label cells whose job has not ended yet
    std::vector<std::string> pdfs;
    std::exception_ptr failure;
    std::vector<std::string> skipped;  // numbers handed out but not printed
    std::string unlogged;              // what was printed but is still in the batch
    const QFont& font = FontDialog1.Font;

    const auto pendingNumbers = [&pending] {
        std::vector<std::string> numbers;
        for (const TPrintedEntry& entry : pending) numbers.push_back(entry.Number.MailerNum);
        return numbers;
    };
    // False, with the failure set, when an entry cannot leave the batch. Its
    // mailer is printed all the same, and so are those pending after it.
    const auto takeOutOfBatch = [&] {
        for (std::size_t i = 0; i < pending.size(); ++i) {
            try {
                if (!log.MarkPrinted(pending[i].LID, pending[i].Number))
                    throw rtl::Exception("Its entry had left the Batch file meanwhile.");
            } catch (const std::exception&) {
                failure = std::current_exception();
                pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(i));
                const std::vector<std::string> printed = pendingNumbers();
                unlogged = (printed.size() == 1 ? "The mailer " + printed.front() + " was printed"
                                                : "The mailers " + Joined(printed) + " were printed") +
                           " but not taken out of the Batch file. ";
                return false;
            }
            logged.push_back(pending[i].Number.MailerNum);
        }
        pending.clear();
        return true;
    };

    {
        ui::WaitCursor hourglass;
        std::optional<TPrintJob> labels;
        for (const TBatchRow& row : rows) {
            const TPriorityScope priority(PriorityFeeCents(row) > 0);
            const std::string printedSerial = gSerialNum;
            const MailerPrintFields rec = BatchPrintRecord(row, gCustID, printedSerial, gPrintBarCode);
            std::string number = ArticleNumberDisplay(RecipientBarcodeData(rec, gPrintBarCode));
            // The sheet's last cell ends its job: every cell on it is then printed.
            const bool jobEnds = gFormMode == 1 || (gLabelRow == 2 && gLabelCol == 2);
            bool numbered = false;
            try {
                gSerialNum = PostNextSerial();
                numbered = true;
                std::string data;
                if (gFormMode == 1) {
                    const std::string pdf = UseProgramPrinter(number);
                    PrintMailerForm(rec, gPrintBarCode, 1, font, data);
                    if (!pdf.empty()) pdfs.push_back(pdf);
                    number = ArticleNumberDisplay(data);
                } else {
                    if (!labels) {
                        const std::string pdf = UseProgramPrinter(number);
                        if (!pdf.empty()) pdfs.push_back(pdf);
                        labels.emplace();
                    }
                    PrintMailerForm(rec, gPrintBarCode, 2, font, data);
                    AdvanceLabelPosition();
                }
            } catch (const std::exception&) {
                failure = std::current_exception();
                skipped = pendingNumbers();
                if (numbered) skipped.push_back(number);
                break;
            }
            pending.push_back({row.LID, {number, gCustID, rtl::StrToInt(printedSerial)}});
            if (jobEnds && !takeOutOfBatch()) break;
        }
        if (labels && !failure) {
            try {
                labels->End();
            } catch (const std::exception&) {
                failure = std::current_exception();
                skipped = pendingNumbers();
                pending.clear();
            }
            if (!failure) takeOutOfBatch();
        }
        if (gFormMode != 1 && !pdfs.empty()) {
            if (auto* device = dynamic_cast<print::QtPrintDevice*>(&print::Printer())) pdfs = device->OutputFiles();
        }
    }

    ShowPdfsWritten(pdfs);
    if (!failure) {
        ui::ShowInformation(BatchPrintedMessage(static_cast<int>(logged.size()), logged.front(), logged.back()));
        return;
    }
    std::string whatFailed = "The batch print stopped. " + unlogged;
    if (!logged.empty())
        whatFailed += std::to_string(logged.size()) + " printed and logged: " + logged.front() +
                      (logged.size() > 1 ? " to " + logged.back() : std::string()) + ". ";
    if (!skipped.empty()) whatFailed += SkippedNumbersText(skipped) + " ";
    whatFailed += "The entries not printed are still in the Batch file.";
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        ShowFailure(whatFailed, e);
    }
}

void TF_Main::miClearBatchClick()
{
    if (!ui::AskYesNo("Are you sure you want to clear the Batch file?")) return;
    try {
        TEdsTable& table = *DataModule().edstMailerNum;
        TCloseTableGuard release(table, true);
        table.Close();
        table.SetDatabaseName(gMailerNumDB);
        table.SetTableName(kMailerNumTable);
        table.SetExclusive(true);
        table.Open();
        TBatchLog(gLogDB).Clear();
    } catch (const std::exception& e) {
        ShowFailure("The Batch file could not be cleared.", e);
    }
}
