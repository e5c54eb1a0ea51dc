// The main window's commands that open a dialog: the print settings, the
// mailer-number counter, sheets of blank barcode labels, several forms with
// the same address, and the first show's mailer-number step.
//
// Every dialog over MailerNum holds the table exclusively while it is open;
// whatever happens, the table is closed and shared again before the command
// ends, or no mailer could be printed on any station afterwards.

#include "app/main/U_Main.h"
#include "app/main/U_MainGuards.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_ArticleNumber.h"
#include "app/printing/U_Align.h"
#include "app/printing/U_ExtraLabel.h"
#include "app/data/U_Globals.h"
#include "app/data/U_MainData.h"
#include "app/addresses/U_NetworkSettings.h"
#include "app/log/U_Log.h"
#include "app/printing/U_NumLabels.h"
#include "app/printing/U_PrintBarCode.h"
#include "app/printing/U_PrinterSetup.h"
#include "app/printing/U_ProMailer.h"
#include "app/printing/U_SendoPrint.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextRoutines.h"
#include "app/addresses/U_YourAddress.h"
#include "app/data/U_dmSendoPro.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"
#include "platform/ui/WebPage.h"

#include "ui_U_Main.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>

#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace {

// The postal service's page for following a mailer.
const char* const kTrackingPage = "https://www.usps.com/shipping/trackandconfirm.htm";

const char* const kNoTables = "The program's tables are not open.";

// A scripted run has nobody to answer a dialog.
bool UnattendedRun()
{
    const char* prints = std::getenv("SENDORA_UNATTENDED_PRINTS");
    return prints != nullptr && *prints != '\0';
}

QAction* AddCommand(QWidget* owner, QMenu* menu, const char* name, const char* caption)
{
    auto* action = new QAction(QString::fromUtf8(caption), owner);
    action->setObjectName(QString::fromUtf8(name));
    menu->addAction(action);
    return action;
}

}  // namespace

void TF_Main::ConnectMenuCommands()
{
    auto* options = new QMenu(QStringLiteral("&Options"), this);
    options->setObjectName(QStringLiteral("menuOptions"));
    menuBar()->insertMenu(ui->menuHelp->menuAction(), options);
    miPrintAlignment = AddCommand(this, options, "miPrintAlignment", "Printer &Alignment...");
    miExtraLabel = AddCommand(this, options, "miExtraLabel", "&Extra Label...");
    miMailerNumber = AddCommand(this, options, "miMailerNumber", "&Mailer Number...");
    options->addSeparator();
    miYourAddress = AddCommand(this, options, "miYourAddress", "&Your Address...");
    miNetworkSettings = AddCommand(this, options, "miNetworkSettings", "&Network Settings...");

    ui->menuFile->insertSeparator(ui->miPrinterSetup);
    miPrintMultipleForms = new QAction(QStringLiteral("Print &Multiple forms with same Address"), this);
    miPrintMultipleForms->setObjectName(QStringLiteral("miPrintMultipleForms"));
    miPrintBarCodes = new QAction(QStringLiteral("Print &Bar Codes"), this);
    miPrintBarCodes->setObjectName(QStringLiteral("miPrintBarCodes"));
    Track = new QAction(QStringLiteral("&Track Item"), this);
    Track->setObjectName(QStringLiteral("Track"));
    ui->menuFile->insertActions(ui->miPrinterSetup, {miPrintMultipleForms, miPrintBarCodes, Track});

    connect(miPrintAlignment, &QAction::triggered, this, &TF_Main::miPrintAlignmentClick);
    connect(miExtraLabel, &QAction::triggered, this, &TF_Main::miExtraLabelClick);
    connect(miMailerNumber, &QAction::triggered, this, &TF_Main::miMailerNumberClick);
    connect(miPrintBarCodes, &QAction::triggered, this, &TF_Main::miPrintBarCodesClick);
    connect(miPrintMultipleForms, &QAction::triggered, this, &TF_Main::miPrintMultipleFormsClick);
    connect(Track, &QAction::triggered, this, &TF_Main::TrackClick);
    connect(miNetworkSettings, &QAction::triggered, this, &TF_Main::miNetworkSettingsClick);
    connect(ui->btnSelectYourAddress, &QPushButton::clicked, this, &TF_Main::btnSelectYourAddressClick);
    connect(miYourAddress, &QAction::triggered, ui->btnSelectYourAddress, &QPushButton::click);

    connect(ui->miLogFile, &QAction::triggered, this, &TF_Main::miLogFileClick);
    connect(ui->miTrackIncomingMailers, &QAction::triggered, this, &TF_Main::miTrackIncomingMailersClick);
    gShowIncomingMailers = &TF_Main::ShowIncomingMailers;
    connect(ui->miReport, &QAction::triggered, this, &TF_Main::miReportClick);
    gShowReports = &TF_Main::ShowReports;

    // The mailer-number dialog's Change button.
    gShowDatabaseFolders = [](QWidget* parent) {
        TF_NetworkSettings dialog(parent);
        dialog.exec();
    };
}

void TF_Main::miPrintAlignmentClick()
{
    TF_Align dialog(this);
    dialog.exec();
}

void TF_Main::miExtraLabelClick()
{
    TF_ExtraLabel dialog(this);
    dialog.exec();
}

void TF_Main::miMailerNumberClick() { ShowMailerNumberDialog(); }

void TF_Main::TrackClick() { ui::OpenWebPageOrShowAddress(kTrackingPage); }

void TF_Main::miNetworkSettingsClick()
{
    TF_NetworkSettings dialog(this);
    dialog.exec();
}

bool TF_Main::SelectYourAddress()
{
    TF_YourAddress dialog(this);
    if (dialog.exec() != ui::mrOk) return false;
    ShowYourAddress();
    return true;
}

void TF_Main::btnSelectYourAddressClick()
{
    if (SelectYourAddress()) MarkEditable();
}

void TF_Main::FirstShowYourAddress()
{
    // Without the data module there is no list to choose from.
    if (dmSendoPro == nullptr || UnattendedRun() || !gYourAddressID.empty()) return;
    SelectYourAddress();
}

void TF_Main::ShowMailerNumberDialog()
{
    if (dmSendoPro == nullptr) {
        ui::ShowError(kNoTables);
        return;
    }
    TEdsTable& table = *dmSendoPro->edstMailerNum;
    TCloseTableGuard release(table, true);
    try {
        TF_ProMailer dialog(table, this);
        dialog.exec();
    } catch (const std::exception& e) {
        ShowFailure("The mailer number could not be opened.", e);
    }
}

void TF_Main::FirstShowMailerNumber()
{
    // Without the data module there is no counter to set up.
    if (dmSendoPro == nullptr || UnattendedRun()) return;
    std::optional<std::string> custId;
    try {
        custId = MainData().ReadCustID(gMailerNumDB);
    } catch (const std::exception& e) {
        ShowFailure("The Customer ID could not be read.", e);
        return;
    }
    if (custId && *custId == "000000000") ShowMailerNumberDialog();
}

void TF_Main::miPrintBarCodesClick()
{
    if (dmSendoPro == nullptr) {
        ui::ShowError(kNoTables);
        return;
    }
    TEdsTable& table = *dmSendoPro->edstMailerNum;
    TCloseTableGuard release(table, true);
    try {
        TF_PrintBarCode dialog(table, this);
        if (dialog.exec() != ui::mrOk) return;

        // The labels take serials from the counter in its direction (the
        // dialog refused a start behind it). The counter moves past them
        // before anything is printed, so neither a later mailer nor a print
        // that fails half way hands out a printed number again.
        const bool up = dialog.CountsUp();
        const std::string custId = WithoutDashes(gCustID);
        const std::vector<std::string> serials = SerialRun(gSerialNum, gNumLabels, up);
        table.Edit();
        table.FieldByName("SerialNum")->SetAsString(SerialAfter(gSerialNum, gNumLabels, up));
        table.Post();

        std::string pdfPath;
        int printed = 0;
        try {
            ui::WaitCursor hourglass;
            pdfPath = UseProgramPrinter(custId + "-" + gSerialNum);
            PrintBlankBarcodeLabels(gNumLabels, gFormMode == 1 ? 1 : 2, custId, gSerialNum,
                                    std::to_string(gAlignLeftRight), std::to_string(gAlignTopBottom),
                                    FontDialog1.Font, up, &printed);
        } catch (const std::exception& e) {
            std::vector<std::string> skipped;
            for (std::size_t i = static_cast<std::size_t>(printed); i < serials.size(); ++i)
                skipped.push_back(ArticleNumberDisplay(MakeArticleNumber(custId, serials[i], "00000", "T")));
            ui::ShowError(std::string(e.what()) + "\r\r" + std::to_string(printed) + " of " +
                          std::to_string(gNumLabels) + " labels were printed. " + SkippedNumbersText(skipped));
            return;
        }

        if (!pdfPath.empty()) ShowPdfWritten(pdfPath);
        ui::ShowInformation("Printing of bar codes is complete.");
    } catch (const std::exception& e) {
        ShowFailure("The bar code labels could not be printed.", e);
    }
}

void TF_Main::miPrintMultipleFormsClick()
{
    TF_NumLabels dialog(this);
    if (dialog.exec() != ui::mrOk) return;
    LeaveFocusedField();

    // The first failure ends the run: the forms after it would fail alike or
    // come out of order, and the success text would hide the failure.
    bool stopped = false;
    AsOnePrintRun([this, &stopped] {
        ui::WaitCursor hourglass;
        multipleForms_ = true;
        for (int i = 1; i <= gNumLabels && !stopped; ++i) {
            try {
                if (gBatch)
                    stopped = !PrintAndLogMailer();
                else
                    stopped = !NumberNextMailer() || !PrintAndLogMailer();
            } catch (const std::exception& e) {
                ShowFailure("Form " + std::to_string(i) + " of " + std::to_string(gNumLabels) + " could not be printed.", e);
                stopped = true;
            }
        }
        multipleForms_ = false;
    });
    if (!stopped) ui::ShowInformation(std::to_string(gNumLabels) + " labels have been sent to the printer.");
}
