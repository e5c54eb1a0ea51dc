#pragma once
// The main window: one mailer's recipient, sender, text fields, fees and
// switches, the menus around them, and the program's start-up and shut-down
// (settings file, folders and tables, printer, first-show notices).

#include "app/printing/U_SendoPrint.h"
#include "platform/ui/MessageService.h"

#include <QFont>
#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLineEdit;
class QMenu;
class QTreeWidgetItem;
class TAddressRec;
class TF_About;

namespace Ui {
class TF_Main;
}

// "Sendora Pro " and the program's version: the application title.
std::string ApplicationTitle();

class TF_Main : public QMainWindow {
    Q_OBJECT

public:
    // Runs the start-up (FormCreate). `splash` is the splash window to wait
    // for and to close on the first show (nullptr: none); `args` are the
    // program's arguments without the program name.
    TF_Main(std::unique_ptr<TF_About> splash, std::vector<std::string> args, QWidget* parent = nullptr);
    ~TF_Main() override;

    bool ZerosOn() const;
    bool MultipleForms() const { return multipleForms_; }
    // The first show's steps (notices) are still to run.
    bool FirstShowPending() const { return firstShowPending_; }

    // Fee edits' exits: the fee shown in money form, and the total refreshed.
    void editPostageExit();
    void editCertFeeExit();
    void editReturnExit();
    void editRestrictedExit();
    void editpriorityExit();
    // The ZIP edit's exit: fills a blank city or state from table ZIPCODES.
    void editToZipExit();
    void ApplyDefaultFees();

    // The entry's colours: greyed with Print disabled after a print with the
    // notice switched off, and back to editable on any change.
    void MarkEditable();
    void MarkPrinted();

    // The Print button and menu item: numbers, prints and logs the mailer on
    // the window (in batch mode only logs it). Every failure is shown.
    void btnPrintClick();

    // ---- imports of older logs (app/imports/U_MainImports.cpp)
    // Creates the Utilities menu with its import items; run once by the constructor.
    void ConnectImportCommands();
    void miImportPro25Click();
    void miImport3Click();
    void miImportPro3Click();
    QAction* miImportPro25 = nullptr;
    QAction* miImport3 = nullptr;
    QAction* miImportPro3 = nullptr;

    // ---- the address book (app/addresses/U_MainAddressBook.cpp)
    // Shows the panel beside the entry and fills the tree and the list from
    // the tables of gAddressDB; the recipient then comes from the list.
    void OpenAddressBook();
    // Prints the given addresses one after another through the print road,
    // each as the recipient in turn; stops at the first one that fails. The
    // list's selection (and so the recipient) is put back afterwards.
    void PrintCheckedAddresses(const std::vector<TAddressRec>& ticked);
    void UncheckAllAddresses();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FirstShow();
    void LoadSettings();
    void SaveSettings();
    void ShowYourAddress();
    void FillFromCommandLine();

    // The display text of a fee just left; refreshes editTotal with the fee
    // counted as it will show.
    std::string UpdateFeeTotal(const QLineEdit* fee);
    void FeeExit(QLineEdit* fee);
    // The entry fields whose exit handler runs when the focus leaves them:
    // the fees, the ZIP (its lookup) and the recipient memo.
    bool HasExit(const QObject* field) const;
    void RunExit(QWidget* field);
    // Leaving `field` runs its exit, unless the exit ran already while the
    // focus stayed in the field and nothing has changed the field or the
    // Zeros switch since: a fee's exit is not idempotent (with Zeros on a
    // refused fee's " " becomes "0.00"). `focusStays`: the focus comes back
    // without the user moving it (a menu, a box over the window, a key).
    void LeaveField(QWidget* field, bool focusStays);
    // Before Print reads the entry: the field that holds the focus is left
    // as a click on Print leaves it, since Print's key, its menu item and the
    // roads that print many leave the focus where it is.
    void LeaveFocusedField();
    void cbRestrictedClick();
    void cbPriorityClick();
    void CBReturnReceiptClick();
    void EDPosChange(QLineEdit* edit, int& cell);
    void memoToAddressChange();
    void memoToAddressExit();
    std::vector<std::string> MemoLines() const;

    void btnToClearClick();
    void btnToPasteClick();
    void btnCopyClick();
    void btnCloseDBClick();

    void miShowFeesOnClick();
    void miShowFeesOffClick();
    void miSaveValuesClick();
    void miCalculateClick();
    void miBatchOnClick();
    void miBatchOffClick();
    void miPrinterSetupClick();
    void miAboutClick();

    // ---- the print road
    // Opens MailerNum exclusively and reads the numbering state into gCustID,
    // gSerialNum, gPrintBarCode and gIncrement. False (with the reason shown)
    // when nothing may be printed: an all-zero customer ID with barcodes on,
    // or a serial that is not a number. The table stays open and exclusive
    // for the caller, who closes it and releases it in every case. Raises the
    // database layer's error (among others when another station holds it).
    bool LoadMailerNumber();
    // Steps gSerialNum in the counter's direction (always up with barcodes)
    // and posts it to the open, exclusively held MailerNum; answers the new
    // serial and leaves gSerialNum, the one to print, as it was.
    std::string PostNextSerial();
    // What every print of one mailer does first: LoadMailerNumber, then the
    // serial stepped and posted at once and the table closed and released,
    // so the number is taken before the page is printed. False as
    // LoadMailerNumber. PrintAndLogMailer then prints with that number.
    bool NumberNextMailer();
    // Prints the mailer numbered by NumberNextMailer and appends its log
    // row, then the notice; in batch mode only the log row and its message.
    // False when the mailer could not be printed or logged (the user has
    // been told what was printed and which number was skipped).
    bool PrintAndLogMailer();
    // What the Print button does; false when the mailer was not printed and
    // logged (every failure is shown).
    bool PrintCurrentMailer();
    // Runs `prints`, which prints many mailers through PrintAndLogMailer (a
    // multiple-forms run, a mass print), as one run: what would repeat with
    // every mailer is told once. Where no printer is in use, the PDF files
    // are told at the end, before the caller's own closing message; a new
    // log started because the log was not found is told the first time.
    // Runs nest: only the outermost one tells.
    void AsOnePrintRun(const std::function<void()>& prints);
    MailerPrintFields BuildPrintRecord() const;
    // Prints `rec`, numbered by NumberNextMailer (gSerialNum holds the serial
    // taken, and moves on to the next one here). True with the number as it
    // is logged; false after an error that names the number the failure
    // skipped (it is never handed out again).
    bool PrintNumberedMailer(const MailerPrintFields& rec, std::string& mailerNumber);
    // Prints on a fresh program print device (a PDF file is named after
    // `expected`, the barcode data the record will give); returns the
    // recipient's barcode data. Raises when printing fails.
    std::string PrintMailer(const MailerPrintFields& rec, const std::string& expected);
    // Appends the log row; the number fields only outside batch mode.
    void AppendLogRow(const std::string& mailerNumber, const std::string& printedSerial);
    // Label sheet of 3 x 3 cells: column first, then row, back to the first cell.
    void AdvanceLabelPosition();

    // ---- batch entries (app/printing/U_MainBatch.cpp)
    // Connects the Print Batch and Clear Batch items; run once by the constructor.
    void ConnectBatchCommands();
    // Numbers and prints every batch entry with MailerNum held exclusively
    // for the whole run. Each entry's serial is posted before its page or
    // label is printed, and the entry leaves the batch only once that page or
    // the label job has been printed; the first failure stops the run, with
    // the numbers it skipped named and the entries not printed left in the
    // batch.
    void miPrintBatchClick();
    // After the user's Yes: deletes every batch entry while MailerNum is held
    // exclusively, so no station is printing them meanwhile.
    void miClearBatchClick();
    void PrintBatch();

    // ---- commands that open a dialog (U_MainCommands.cpp)
    // Creates the menu items of these commands and connects them; run once
    // by the constructor.
    void ConnectMenuCommands();
    void miPrintAlignmentClick();
    void miExtraLabelClick();
    void miMailerNumberClick();
    void miPrintBarCodesClick();
    void miPrintMultipleFormsClick();
    void TrackClick();
    void miNetworkSettingsClick();
    // The sender list; on OK the sender lines are shown again and the entry
    // becomes editable.
    void btnSelectYourAddressClick();
    // The sender list modally; true on OK, with the chosen sender shown.
    bool SelectYourAddress();
    // First show: the sender list while no sender is chosen.
    void FirstShowYourAddress();
    // The mailer-number dialog over MailerNum; a table that cannot be opened
    // is reported, and MailerNum is left closed and shared in every case.
    void ShowMailerNumberDialog();
    // First show: the mailer-number dialog while CustID is still all zeros.
    void FirstShowMailerNumber();
    // The log window (app/log/U_MainLog.cpp) and the returned-receipt dialog
    // (app/receipts/U_MainReceipts.cpp), which the log window opens too.
    void miLogFileClick();
    void miTrackIncomingMailersClick();
    static bool ShowIncomingMailers(QWidget* parent);
    // The reports over the whole log (app/reports/U_MainReports.cpp).
    void miReportClick();
    static void ShowReports(QWidget* parent);
    QAction* miPrintAlignment = nullptr;
    QAction* miExtraLabel = nullptr;
    QAction* miMailerNumber = nullptr;
    QAction* miPrintBarCodes = nullptr;
    QAction* miPrintMultipleForms = nullptr;
    QAction* Track = nullptr;
    QAction* miNetworkSettings = nullptr;
    QAction* miYourAddress = nullptr;

    // ---- text files (app/addresses/U_MainTextFiles.cpp, app/log/U_MainLogExport.cpp)
    // Creates the Text Files menu under Utilities and connects its commands;
    // run once by the constructor.
    void ConnectTextFileCommands();
    // Target 1: the address book's Address; 0: the sender addresses. An
    // import shows the file's addresses in the tick grid and adds the ticked
    // ones; an export appends every address to a text file.
    void ImportAddressFile(int Target);
    void ExportAddressFile(int Target);
    // Appends the whole log, row by row as "caption = value" lines, to a text file.
    void miLogExportClick();
    QAction* miToImport = nullptr;
    QAction* miToExport = nullptr;
    QAction* miYourImport = nullptr;
    QAction* miYourExport = nullptr;
    QAction* miLogExport = nullptr;

    // ---- the address book (app/addresses/U_MainAddressBook.cpp)
    // Creates the panel's pop-up menus and connects its commands; run once
    // by the constructor.
    void ConnectAddressBook();
    void CloseAddressTables();
    void SetDatabaseNameLabel();
    // Rebuilds the tree and the group sub-menus, then lists every address.
    void LoadGroupTree();
    // The first node, in tree order, whose group is GroupID, or null.
    QTreeWidgetItem* FindGroupNode(std::int32_t GroupID) const;
    // Lists every address (-1) or the members of one group.
    void LoadAddressList(std::int32_t GroupID);
    // Empty on success, "1" when the membership exists already, else the
    // failure in the program's words.
    std::string InsertMember(std::int32_t A_ID, std::int32_t G_ID);
    // Empty when the membership was removed, "1" when there was none, else
    // the failure in the program's words.
    std::string DeleteMember(std::int32_t A_ID, std::int32_t G_ID);
    // The box for a membership result that is not a success: the refusal for
    // "1", else the failure with the engine's text under its details.
    void ShowMemberResult(const std::string& result, const std::string& refused);
    void DeleteAddressRows(std::int32_t A_ID);
    void DeleteGroupRows(std::int32_t G_ID);
    void DeleteGroupSubtree(QTreeWidgetItem* node);
    QAction* AddGroupMenuItem(QMenu* parent, const std::string& caption, std::int32_t G_ID, bool adding);
    void AddToGroupClick(std::int32_t G_ID);
    void DeleteFromGroupClick(std::int32_t G_ID);
    // Adds (or removes) every selected address to the group of `node`, with
    // one message for one address and the summary window for several.
    void ChangeMembership(QTreeWidgetItem* node, bool adding);
    void FindAddress();
    void FindGroup();
    // The group whose addresses are listed: the selected node's, else "All".
    std::int32_t SelectedGroupID() const;
    void ShowRecipient(const TAddressRec& rec);
    void ClearRecipient();
    bool OneAddressSelected() const;
    void SelectAddress(std::int32_t A_ID);
    void ShowMassPrint(const std::vector<TAddressRec>& records, const std::vector<bool>& checked);

    void tbtnNewAddressClick();
    void tbtnEditAddressClick();
    void tbtnDeleteAddressClick();
    void tbtnFindAddressClick();
    void tbtnMassPrintAddressClick();
    void tbtnSelectAllAddressClick();
    void tbtnNewGroupClick();
    void tbtnEditGroupClick();
    void tbtnDeleteGroupClick();
    void tbtnFindGroupClick();
    void tbtnMassPrintGroupClick();
    void tbtnSelectAllGroupClick();
    void miAssignedClick();
    void miOpenToDBClick();
    void lvAddressSelectItem();
    void tvGroupsMouseDown(QTreeWidgetItem* node);
    // Keys (F3, Ctrl+F) in the list and the tree, the list's hover hint and
    // addresses dragged onto the tree; true when the event was used.
    bool AddressBookEvent(QObject* watched, QEvent* event);

    QMenu* pmAddress = nullptr;
    QMenu* pmGroups = nullptr;
    QAction* miNewAddress = nullptr;
    QAction* miEditAddress = nullptr;
    QAction* miDeleteAddress = nullptr;
    QAction* miFindAddress = nullptr;
    QAction* miMassPrintAddress = nullptr;
    QAction* miSelectAllAddress = nullptr;
    QMenu* miGroup = nullptr;
    QMenu* miAddToGroup = nullptr;
    QMenu* miDeleteFromGroup = nullptr;
    QAction* miAssigned = nullptr;
    QAction* miNewGroup = nullptr;
    QAction* miEditGroup = nullptr;
    QAction* miDeleteGroup = nullptr;
    QAction* miFindGroup = nullptr;
    QAction* miMassPrintGroup = nullptr;
    QAction* miSelectAllGroup = nullptr;
    bool groupsExist_ = false;
    std::int32_t listedGroup_ = -1;  // the group whose addresses the list shows
    ui::MessageRequest memberFailure_;  // the last failed InsertMember or DeleteMember
    bool firstShowRunning_ = false;

    // Runs a step; a failure is shown as `whatFailed` with its cause (ShowFailure), and the caller goes on.
    template <class Step>
    void Guarded(const std::string& whatFailed, Step&& step);

    // The receipt's face. Nothing on the window changes it: the form's other
    // texts are in OCR-A, which is too wide for the receipt strip.
    struct TFontDialog {
        QFont Font;
    };
    TFontDialog FontDialog1{QFont(QStringLiteral("Arial"))};

    const std::unique_ptr<Ui::TF_Main> ui;
    std::unique_ptr<TF_About> splash_;
    std::vector<std::string> args_;
    bool created_ = false;
    bool firstShowPending_ = false;
    bool commandLineDone_ = false;
    bool multipleForms_ = false;
    bool trimmingMemo_ = false;
    // The field whose exit ran while the focus stayed in it, as the exit left it.
    struct TLeftInPlace {
        const QWidget* Field = nullptr;
        QString Text;
        bool ZerosOn = false;
    };
    TLeftInPlace leftInPlace_;
    std::string reservedNextSerial_;  // posted by LoadMailerNumber
    std::string pdfWritten_;          // the last print's PDF file, empty for paper
    struct TPrintRun {
        std::vector<std::string> PdfFiles;  // told at the run's end
        bool LogStartTold = false;
    };
    TPrintRun* printRun_ = nullptr;  // the run under way (AsOnePrintRun), or null
};

// Test-only: the widget a drag over the address book's group tree is taken to
// come from, in place of the running drag's own source. A drag carries a
// source only while the platform runs it, and the offscreen platform runs
// none, so a test's drop events would come from nowhere. Null (the default):
// the drag's own source.
void SetAddressDragSourceForTests(QObject* source);

// Test-only, for driving the real program from a script: with the environment
// variable SENDORA_UNATTENDED_PRINTS=N the program answers every message box
// itself (the notice with "&OK"; each box is written to stderr), presses
// Print N times on the mailer its command line fills, then triggers the menu
// item that SENDORA_UNATTENDED_COMMAND names by its object name (if any),
// closes and exits with 0, or with 1 after the first error box.
class TUnattendedPrints {
public:
    explicit TUnattendedPrints(int count, std::string command = {});
    // Null unless the variable is set.
    static std::unique_ptr<TUnattendedPrints> FromEnvironment();
    int Run(TF_Main& main);

private:
    int count_;
    std::string command_;
    int errors_ = 0;
    ui::ScriptedMessages messages_;
};
