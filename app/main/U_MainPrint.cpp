// The main window's print road: number one mailer from MailerNum, print it as
// a whole form or as one label cell, and append its row to the mail log; in
// batch mode only the log row.
//
// The number is taken before anything is printed: MailerNum is opened
// exclusively, the serial read, stepped and posted, and the table released at
// once. A crash or failure later can waste a number but never hand the same
// number out twice, and no dialog keeps other stations waiting on the table.

#include "app/main/U_Main.h"
#include "app/main/U_MainGuards.h"

#include "app/data/U_ArticleNumber.h"
#include "app/dialogs/U_ChoiceDialog.h"
#include "app/data/FailureMessage.h"
#include "app/data/U_Globals.h"
#include "app/data/U_MainData.h"
#include "app/printing/U_PrinterSetup.h"
#include "app/printing/U_SendoPrint.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextRoutines.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"

#include "ui_U_Main.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>

namespace {

std::string S(const QString& s) { return s.toStdString(); }

// Test-only: with SENDORA_TEST_NUMBERING_STEPS=<folder> a test lines stations
// up against each other on the numbering: the station writes `reached`.<pid>
// into the folder, then waits until `awaited`.<pid> appears there (30 s at
// most). Without the variable nothing happens.
void NumberingStep(const char* reached, const char* awaited)
{
    static const char* const folder = std::getenv("SENDORA_TEST_NUMBERING_STEPS");
    if (folder == nullptr || *folder == '\0') return;
    const std::string pid = std::to_string(QCoreApplication::applicationPid());
    const std::filesystem::path steps(folder);
    std::ofstream(steps / (std::string(reached) + "." + pid)).put('\n');
    const std::filesystem::path go = steps / (std::string(awaited) + "." + pid);
    for (int i = 0; i < 3000 && !std::filesystem::exists(go); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

const char* const kZeroCustomerID =
    "You can not print a Mailer with \"00-000-0000\" as a Customer ID.\r\rPlease enter in a Customer ID, and try "
    "again.";

}  // namespace

TCloseTableGuard::~TCloseTableGuard()
{
    try {
        if (table_.State() == db::dsEdit || table_.State() == db::dsInsert) table_.Cancel();
    } catch (...) {
    }
    try {
        table_.Close();
    } catch (...) {
    }
    if (release_) {
        try {
            table_.SetExclusive(false);
        } catch (...) {
        }
    }
}

namespace {

std::string FirstChars(const std::string& text, std::size_t n) { return text.substr(0, std::min(n, text.size())); }

// The ZIP of a manually entered recipient's article data: its first five
// characters when they read as an integer, else "00000".
std::string ManualArticleZip(const std::string& zipText)
{
    const std::string five = FirstChars(zipText, 5);
    int value = 0;
    if (rtl::TryStrToInt(five, value)) return five;
    return "00000";
}

}  // namespace

// ---- the label cell ---------------------------------------------------------------

void TF_Main::AdvanceLabelPosition()
{
    if (gLabelCol >= 2) {
        gLabelCol = 0;
        gLabelRow = gLabelRow >= 2 ? 0 : gLabelRow + 1;
    } else {
        ++gLabelCol;
    }
    const QSignalBlocker row(ui->EDPosRow), col(ui->EDPosCol);
    ui->EDPosRow->setText(QString::number(gLabelRow + 1));
    ui->EDPosCol->setText(QString::number(gLabelCol + 1));
}

// ---- numbering ---------------------------------------------------------------------

bool TF_Main::LoadMailerNumber()
{
    TEdsTable& table = *DataModule().edstMailerNum;
    table.Close();
    table.SetDatabaseName(gMailerNumDB);
    table.SetTableName(kMailerNumTable);
    table.SetExclusive(true);
    table.Open();
    table.First();
    if (table.Eof()) throw rtl::Exception("Table MailerNum holds no mailer number.");

    gCustID = table.FieldByName("CustID")->AsString();
    gSerialNum = FirstChars(table.FieldByName("SerialNum")->AsString(), 7);
    gPrintBarCode = table.FieldByName("BarCodes")->AsBoolean();
    gIncrement = table.FieldByName("Increment")->AsBoolean();

    // An emptied or incomplete ID would be padded into somebody else's number.
    if (gPrintBarCode && !IsPrintableCustID(gCustID)) {
        ui::ShowError(kZeroCustomerID);
        return false;
    }
    int serial = 0;
    if (!rtl::TryStrToInt(gSerialNum, serial)) {
        ui::ShowError("The mailer number's serial \"" + gSerialNum +
                      "\" in table MailerNum is not a number. Nothing was printed; please correct the serial.");
        return false;
    }
    return true;
}

std::string TF_Main::PostNextSerial()
{
    TEdsTable& table = *DataModule().edstMailerNum;
    const std::string next = StepSerialNumber(gSerialNum, gPrintBarCode ? true : gIncrement);
    table.Edit();
    table.FieldByName("SerialNum")->SetAsString(FirstChars(next, 7));
    table.Post();
    return next;
}

bool TF_Main::NumberNextMailer()
{
    TCloseTableGuard release(*DataModule().edstMailerNum, true);
    NumberingStep("opening", "open");
    if (!LoadMailerNumber()) return false;
    NumberingStep("read", "post");
    reservedNextSerial_ = PostNextSerial();
    return true;
}

// ---- the print record ------------------------------------------------------------------

MailerPrintFields TF_Main::BuildPrintRecord() const
{
    MailerPrintFields rec;
    const QLabel* sender[5] = {ui->lblYourAddress1, ui->lblYourAddress2, ui->lblYourAddress3, ui->lblYourAddress4,
                               ui->lblYourAddress5};
    for (int i = 0; i < 5; ++i) rec[static_cast<std::size_t>(i)] = S(sender[i]->text());
    rec[5] = gYourZip;

    const bool book = ui->gbToDB->isVisible();
    const std::string zipText = ui->editToZip->Text();
    if (book) {
        const QLabel* to[5] = {ui->lblToAddress1, ui->lblToAddress2, ui->lblToAddress3, ui->lblToAddress4,
                               ui->lblToAddress5};
        for (int i = 0; i < 5; ++i) rec[static_cast<std::size_t>(6 + i)] = S(to[i]->text());
        rec[11] = gToZip;
    } else {
        std::vector<std::string> lines = MemoLines();
        lines.resize(4);
        std::string extra;
        AddCityStateZipLine(lines[0], lines[1], lines[2], lines[3], extra, S(ui->editToCity->text()),
                            S(ui->editToState->text()), zipText);
        for (std::size_t i = 0; i < 4; ++i) rec[6 + i] = lines[i];
        rec[10] = extra;
        rec[11] = zipText;
    }
    rec[12] = FirstChars(S(ui->editRe->text()), 25);
    rec[13] = S(ui->editComment->text());
    rec[14] = ui->cbRestricted->isChecked() ? "Y" : "N";
    if (gPrintBarCode) {
        rec[15] = WithoutDashes(gCustID);
        rec[16] = gSerialNum;
    } else {
        const std::string zip = book ? gToZip : ManualArticleZip(zipText);
        rec[15] = MakeArticleNumber(WithoutDashes(gCustID), gSerialNum, zip, "T");
        rec[16].clear();
    }
    rec[17] = S(ui->editPostage->text());
    rec[18] = S(ui->editCertFee->text());
    rec[19] = S(ui->editReturn->text());
    rec[20] = S(ui->editRestricted->text());
    rec[21] = S(ui->editTotal->text());
    rec[22] = std::to_string(gAlignLeftRight);
    rec[23] = std::to_string(gAlignTopBottom);
    rec[24] = gPrintExtraLabel;
    rec[25] = gExtraLabel;
    rec[26] = S(ui->editDepartment->text());
    rec[27] = S(ui->editProcessedBy->text());
    rec[28] = ui->cbPriority->isChecked() ? "Y" : "N";
    rec[29] = S(ui->editpriority->text());
    return rec;
}

// ---- printing ---------------------------------------------------------------------------

std::string TF_Main::PrintMailer(const MailerPrintFields& rec, const std::string& expected)
{
    const std::string pdfPath = UseProgramPrinter(ArticleNumberDisplay(expected));
    std::string data;
    if (gFormMode == 1) {
        PrintMailerForm(rec, gPrintBarCode, 1, FontDialog1.Font, data);
    } else {
        TPrintJob job;
        PrintMailerForm(rec, gPrintBarCode, 2, FontDialog1.Font, data);
        job.End();
        AdvanceLabelPosition();
    }
    pdfWritten_ = pdfPath;
    return data;
}

bool TF_Main::PrintNumberedMailer(const MailerPrintFields& rec, std::string& mailerNumber)
{
    const std::string expected = RecipientBarcodeData(rec, gPrintBarCode);
    // What follows the print may no longer pretend the number is unused.
    gSerialNum = reservedNextSerial_;
    pdfWritten_.clear();

    std::string data;
    try {
        data = PrintMailer(rec, expected);
    } catch (const std::exception& e) {
        ui::ShowError(std::string(e.what()) + "\r\rThe mailer was not printed. " +
                      SkippedNumbersText({ArticleNumberDisplay(expected)}));
        return false;
    }
    mailerNumber = ArticleNumberDisplay(data.size() >= 30 ? data : expected);
    return true;
}

// ---- the log row ------------------------------------------------------------------------

void TF_Main::AppendLogRow(const std::string& mailerNumber, const std::string& printedSerial)
{
    TEdsTable& log = *DataModule().edstLog;
    log.Close();
    StartLogIfMissing(gLogDB, printRun_ != nullptr ? &printRun_->LogStartTold : nullptr);
    log.SetDatabaseName(gLogDB);
    log.SetTableName(kLogTable);
    TCloseTableGuard closer(log, false);
    log.Open();
    log.Append();
    const auto set = [&log](const char* field, const std::string& value) {
        log.FieldByName(field)->SetAsString(value);
    };

    if (!gBatch) {
        log.FieldByName("DateTime")->SetAsDateTime(rtl::Now());
        set("MailerNum", mailerNumber);
        set("CustID", gCustID);
        log.FieldByName("SerialNum")->SetAsInteger(rtl::StrToInt(printedSerial));
        log.FieldByName("Batch")->SetAsBoolean(false);
    } else {
        log.FieldByName("Batch")->SetAsBoolean(true);
    }

    if (ui->gbToDB->isVisible()) {
        set("ToAddress1", gToAddress1);
        set("ToAddress2", gToAddress2);
        set("ToAddress3", gToAddress3);
        set("ToAddress4", gToAddress4);
        set("ToCity", gToCity);
        set("ToState", gToState);
        set("ToZip", gToZip);
    } else {
        std::vector<std::string> lines = MemoLines();
        lines.resize(4);
        set("ToAddress1", lines[0]);
        set("ToAddress2", lines[1]);
        set("ToAddress3", lines[2]);
        set("ToAddress4", lines[3]);
        set("ToCity", S(ui->editToCity->text()));
        set("ToState", S(ui->editToState->text()));
        set("ToZip", ui->editToZip->Text());
    }

    set("YourAddress1", gYourAddress1);
    set("YourAddress2", gYourAddress2);
    set("YourAddress3", gYourAddress3);
    set("YourAddress4", gYourAddress4);
    set("YourCity", gYourCity);
    set("YourState", gYourState);
    set("YourZip", gYourZip);

    const auto trimmed = [](const QLineEdit* edit) { return rtl::Trim(S(edit->text())); };
    set("Postage", trimmed(ui->editPostage));
    set("Certified", trimmed(ui->editCertFee));
    set("Return", trimmed(ui->editReturn));
    set("Restricted", trimmed(ui->editRestricted));
    set("Total", trimmed(ui->editTotal));
    set("Department", trimmed(ui->editDepartment));
    set("ProcessedBy", trimmed(ui->editProcessedBy));
    set("RE", trimmed(ui->editRe));
    set("Comment", trimmed(ui->editComment));
    log.FieldByName("WishRest")->SetAsBoolean(ui->cbRestricted->isChecked());
    set("Result", "None");
    log.Post();
}

// ---- the road ----------------------------------------------------------------------------

bool TF_Main::PrintAndLogMailer()
{
    ui::WaitCursor hourglass;
    if (gBatch) {
        AppendLogRow({}, {});
        ui::ShowInformation("Record has been added to the Batch File.");
        return true;
    }

    const std::string printedSerial = gSerialNum;
    std::string mailerNumber;
    if (!PrintNumberedMailer(BuildPrintRecord(), mailerNumber)) return false;

    try {
        AppendLogRow(mailerNumber, printedSerial);
    } catch (const std::exception& e) {
        ShowFailure("The mailer " + mailerNumber + " was printed, but it could not be added to the log.", e);
        return false;
    }

    if (!pdfWritten_.empty()) {
        if (printRun_ != nullptr)
            printRun_->PdfFiles.push_back(pdfWritten_);
        else
            ShowPdfWritten(pdfWritten_);
    }
    if (multipleForms_) return true;
    if (gShowPrintedNotice) {
        const int choice =
            ShowChoiceDialog("Printing", "Mailer has been sent to printer.  The Mailer Number was:\n\r\n\r" +
                                             gArticleNumberT,
                             {"&Do not show this screen again", "&OK"});
        if (choice == 1) gShowPrintedNotice = false;
    } else {
        MarkPrinted();
    }
    return true;
}

bool TF_Main::PrintCurrentMailer()
{
    try {
        LeaveFocusedField();
        if (gBatch) return PrintAndLogMailer();
        return NumberNextMailer() && PrintAndLogMailer();
    } catch (const std::exception& e) {
        ShowFailure("The mailer could not be printed.", e);
        return false;
    }
}

void TF_Main::btnPrintClick() { PrintCurrentMailer(); }

void TF_Main::AsOnePrintRun(const std::function<void()>& prints)
{
    if (printRun_ != nullptr) {
        prints();
        return;
    }
    TPrintRun run;
    printRun_ = &run;
    struct TRunEnd {
        TPrintRun*& current;
        ~TRunEnd() { current = nullptr; }
    } end{printRun_};
    prints();
    ShowPdfsWritten(run.PdfFiles);
}

// ---- unattended prints (tests) ---------------------------------------------------------------

TUnattendedPrints::TUnattendedPrints(int count, std::string command) : count_(count), command_(std::move(command))
{
    messages_.onMessage = [this](const ui::MessageRequest& request) {
        const std::string title = request.title.empty() ? ui::DefaultTitle(request.kind) : request.title;
        std::fprintf(stderr, "[%s] %s\n", title.c_str(), request.text.c_str());
        if (request.kind == ui::MsgKind::Error) ++errors_;
        // The notice's "&OK"; every other box its harmless answer.
        if (request.kind == ui::MsgKind::Choice) return static_cast<int>(request.customButtons.size());
        return request.buttons == ui::MsgButtons::Ok ? ui::mrOk : ui::mrNo;
    };
}

std::unique_ptr<TUnattendedPrints> TUnattendedPrints::FromEnvironment()
{
    const char* text = std::getenv("SENDORA_UNATTENDED_PRINTS");
    if (text == nullptr || *text == '\0') return nullptr;
    int count = 0;
    if (!rtl::TryStrToInt(text, count) || count < 0) count = 0;
    const char* command = std::getenv("SENDORA_UNATTENDED_COMMAND");
    return std::make_unique<TUnattendedPrints>(count, command != nullptr ? command : "");
}

int TUnattendedPrints::Run(TF_Main& main)
{
    while (main.FirstShowPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    auto* print = main.findChild<QPushButton*>(QStringLiteral("btnPrint"));
    for (int i = 0; i < count_ && errors_ == 0 && print != nullptr; ++i) {
        print->click();
        QCoreApplication::processEvents();
    }
    if (!command_.empty() && errors_ == 0) {
        auto* item = main.findChild<QAction*>(QString::fromStdString(command_));
        if (item == nullptr) {
            std::fprintf(stderr, "[Error] No menu item %s\n", command_.c_str());
            ++errors_;
        } else {
            item->trigger();
        }
        QCoreApplication::processEvents();
    }
    main.close();
    return errors_ == 0 && print != nullptr ? 0 : 1;
}
