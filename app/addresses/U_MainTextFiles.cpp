// The main window's text files: addresses of the address book and sender
// addresses read from and written to comma-separated text, and the menu
// that holds them beside the log export.

#include "app/main/U_Main.h"

#include "app/addresses/U_AddressText.h"
#include "app/addresses/U_TextFiles.h"
#include "app/data/FailureMessage.h"
#include "app/data/U_Globals.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextFile.h"
#include "app/data/U_dmSendoPro.h"
#include "app/dialogs/U_FileDialogs.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"

#include "ui_U_Main.h"

#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>

namespace {

constexpr int kSenders = 0;
constexpr int kBook = 1;

QAction* AddCommand(QMenu* menu, const char* name, const char* caption)
{
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromUtf8(name));
    return action;
}

QMenu* AddSubMenu(QMenu* menu, const char* name, const char* caption)
{
    QMenu* sub = menu->addMenu(QString::fromUtf8(caption));
    sub->setObjectName(QString::fromUtf8(name));
    return sub;
}

}  // namespace

void TF_Main::ConnectTextFileCommands()
{
    // The Utilities menu also holds the imports of older logs.
    auto* utilities = findChild<QMenu*>(QStringLiteral("menuUtilities"));
    if (utilities == nullptr) {
        utilities = new QMenu(QStringLiteral("&Utilities"), this);
        utilities->setObjectName(QStringLiteral("menuUtilities"));
        menuBar()->insertMenu(ui->menuHelp->menuAction(), utilities);
    }
    QMenu* textFiles = AddSubMenu(utilities, "menuTextFiles", "&Text Files");

    // Recipients need the address book open: miToTextFiles is enabled with it.
    auto* toAddress = new QMenu(QStringLiteral("&To Address"), this);
    ui->miToTextFiles->setText(QStringLiteral("&To Address"));
    ui->miToTextFiles->setMenu(toAddress);
    textFiles->addAction(ui->miToTextFiles);
    miToImport = AddCommand(toAddress, "miToImport", "&Import");
    miToExport = AddCommand(toAddress, "miToExport", "&Export");

    QMenu* yourAddress = AddSubMenu(textFiles, "menuYourTextFiles", "&Your Name && Address Text Files");
    miYourImport = AddCommand(yourAddress, "miYourImport", "&Import");
    miYourExport = AddCommand(yourAddress, "miYourExport", "&Export");

    QMenu* logFile = AddSubMenu(textFiles, "menuLogTextFile", "&Log File");
    miLogExport = AddCommand(logFile, "miLogExport", "&Export");

    connect(miToImport, &QAction::triggered, this, [this] { ImportAddressFile(kBook); });
    connect(miToExport, &QAction::triggered, this, [this] { ExportAddressFile(kBook); });
    connect(miYourImport, &QAction::triggered, this, [this] { ImportAddressFile(kSenders); });
    connect(miYourExport, &QAction::triggered, this, [this] { ExportAddressFile(kSenders); });
    connect(miLogExport, &QAction::triggered, this, &TF_Main::miLogExportClick);
}

void TF_Main::ImportAddressFile(int Target)
{
    TOpenDialog dialog;
    dialog.Filter = "Import Files(*.txt;*.csv)|*.txt;*.csv|All Files|*.*";
    dialog.FileName = "*.txt";
    if (!dialog.Execute(this)) return;

    TF_TextFiles grid(Target, this);
    std::string notice;
    try {
        ui::WaitCursor hourglass;
        std::vector<TTextAddress> rows = ReadAddressFile(dialog.FileName);
        notice = AlteredAddressesNotice(rows);
        grid.AddAddressRows(std::move(rows));
    } catch (const std::exception& e) {
        ShowFailure("The addresses in \"" + dialog.FileName + "\" could not be read.", e);
        return;
    }
    if (!notice.empty()) ui::ShowWarning(notice);
    if (grid.exec() != ui::mrOk) return;

    if (Target == kSenders) {
        // The new senders can be chosen at once.
        btnSelectYourAddressClick();
        return;
    }
    try {
        LoadAddressList(SelectedGroupID());
    } catch (const std::exception& e) {
        ShowFailure("The address list could not be read.", e);
        return;
    }
    QTreeWidget& list = *ui->lvAddress;
    if (QTreeWidgetItem* last = list.topLevelItem(list.topLevelItemCount() - 1)) {
        list.setCurrentItem(last, 0, QItemSelectionModel::NoUpdate);
        list.clearSelection();
        last->setSelected(true);
        list.scrollToItem(last);
    }
}

void TF_Main::ExportAddressFile(int Target)
{
    const std::string file = AskExportFileName(this);
    if (file.empty()) return;
    TTextExportResult result;
    try {
        ui::WaitCursor hourglass;
        TdmSendoPro& module = DataModule();
        result = Target == kSenders ? ExportAddresses(*module.edsqYourAddress, gYourAddressDB, "YourAddress", file)
                                    : ExportAddresses(*module.edsqToAddress, gAddressDB, "Address", file);
    } catch (const std::exception& e) {
        ShowFailure("The addresses could not be exported to \"" + file + "\".", e);
        return;
    }
    ui::ShowInformation(ExportCompletedText(file, result.Replaced));
}
