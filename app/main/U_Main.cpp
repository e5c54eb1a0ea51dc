#include "app/main/U_Main.h"

#include "app/main/AppVersion.h"
#include "app/addresses/U_YourAddress.h"
#include "app/main/U_About.h"
#include "app/main/U_CalculatePostage.h"
#include "app/dialogs/U_ChoiceDialog.h"
#include "app/data/FailureMessage.h"
#include "app/data/U_Globals.h"
#include "app/data/U_MainData.h"
#include "app/printing/U_SendoPrint.h"
#include "app/data/U_MainEntry.h"
#include "app/main/U_PostageFees.h"
#include "app/printing/U_PrinterSetup.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextRoutines.h"
#include "app/data/U_dmSendoPro.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "platform/print/Cups.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_Main.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>

#include <array>
#include <exception>

namespace {

constexpr int kMainWidth = 569;

const char* const kRegistrationNotice =
    "This software prints the newly required Bar Code on the your Certified Mailer. Thus the U.S. Postal "
    "Service Requires that you register with them.  The DUNS numbers are no longer used. You must have a "
    "mailer ID issued by the U.S. Postal Server. To obtain one, call the Postal Service's National Customer "
    "Support Center at 1-800-238-3150.";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

void SetBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
}

void ShowAndEnable(QWidget* widget, bool on)
{
    widget->setEnabled(on);
    widget->setVisible(on);
}

}  // namespace

std::string ApplicationTitle() { return "Sendora Pro " + AppVersion(); }

TF_Main::TF_Main(std::unique_ptr<TF_About> splash, std::vector<std::string> args, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TF_Main>()), splash_(std::move(splash)), args_(std::move(args))
{
    ui->setupUi(this);
    ui->editToZip->SetEditMask("99999\\-9999;1;_");
    // Four lines must fit the box without scrolling.
    ui->memoToAddress->document()->setDocumentMargin(1);
    // Tab moves on, as in every other box: a TAB in an address line would be printed and logged.
    ui->memoToAddress->setTabChangesFocus(true);
    // What is printed is what the log keeps: no field takes more than its log column.
    const std::pair<QLineEdit*, const char*> logged[] = {{ui->editToCity, "ToCity"},
                                                         {ui->editToState, "ToState"},
                                                         {ui->editDepartment, "Department"},
                                                         {ui->editProcessedBy, "ProcessedBy"},
                                                         {ui->editRe, "RE"},
                                                         {ui->editComment, "Comment"}};
    for (const auto& [edit, column] : logged) edit->setMaxLength(FindLogColumn(column)->Width);

    auto* zeros = new QActionGroup(this);
    zeros->addAction(ui->miZerosOn);
    zeros->addAction(ui->miZerosOff);
    auto* fees = new QActionGroup(this);
    fees->addAction(ui->miShowFeesOn);
    fees->addAction(ui->miShowFeesOff);
    auto* batch = new QActionGroup(this);
    batch->addAction(ui->miBatchOn);
    batch->addAction(ui->miBatchOff);

    for (QWidget* w : {static_cast<QWidget*>(ui->editPostage), static_cast<QWidget*>(ui->editCertFee),
                       static_cast<QWidget*>(ui->editReturn), static_cast<QWidget*>(ui->editRestricted),
                       static_cast<QWidget*>(ui->editpriority), static_cast<QWidget*>(ui->editToZip),
                       static_cast<QWidget*>(ui->memoToAddress)})
        w->installEventFilter(this);

    for (QLineEdit* edit : {ui->editToCity, ui->editToState, static_cast<QLineEdit*>(ui->editToZip),
                            ui->editDepartment, ui->editProcessedBy, ui->editRe, ui->editComment, ui->editPostage,
                            ui->editCertFee, ui->editReturn, ui->editRestricted, ui->editpriority, ui->editTotal})
        connect(edit, &QLineEdit::textChanged, this, &TF_Main::MarkEditable);
    connect(ui->memoToAddress, &QPlainTextEdit::textChanged, this, &TF_Main::memoToAddressChange);

    connect(ui->cbRestricted, &QCheckBox::toggled, this, &TF_Main::cbRestrictedClick);
    connect(ui->cbPriority, &QCheckBox::toggled, this, &TF_Main::cbPriorityClick);
    connect(ui->CBReturn, &QCheckBox::toggled, this, &TF_Main::CBReturnReceiptClick);
    connect(ui->CBLabel, &QCheckBox::toggled, this, [this](bool on) { ui->CBEnvelope->setChecked(!on); });
    connect(ui->CBEnvelope, &QCheckBox::toggled, this, [this](bool on) { ui->CBLabel->setChecked(!on); });
    connect(ui->EDPosRow, &QLineEdit::textChanged, this, [this] { EDPosChange(ui->EDPosRow, gLabelRow); });
    connect(ui->EDPosCol, &QLineEdit::textChanged, this, [this] { EDPosChange(ui->EDPosCol, gLabelCol); });

    connect(ui->btnToClear, &QPushButton::clicked, this, &TF_Main::btnToClearClick);
    connect(ui->btnToPaste, &QPushButton::clicked, this, &TF_Main::btnToPasteClick);
    connect(ui->btnCopy, &QPushButton::clicked, this, &TF_Main::btnCopyClick);
    connect(ui->btnPrint, &QPushButton::clicked, this, &TF_Main::btnPrintClick);
    // The menu item follows the button, so a printed entry is not printed again by accident.
    connect(ui->miPrint, &QAction::triggered, ui->btnPrint, &QPushButton::click);
    connect(ui->btnCloseDB, &QPushButton::clicked, this, &TF_Main::btnCloseDBClick);
    connect(ui->miCloseToDB, &QAction::triggered, ui->btnCloseDB, &QPushButton::click);

    connect(ui->miShowFeesOn, &QAction::triggered, this, &TF_Main::miShowFeesOnClick);
    connect(ui->miShowFeesOff, &QAction::triggered, this, &TF_Main::miShowFeesOffClick);
    connect(ui->miSaveValues, &QAction::triggered, this, &TF_Main::miSaveValuesClick);
    connect(ui->miResetValues, &QAction::triggered, this, &TF_Main::ApplyDefaultFees);
    connect(ui->miCalculate, &QAction::triggered, this, &TF_Main::miCalculateClick);
    connect(ui->miBatchOn, &QAction::triggered, this, &TF_Main::miBatchOnClick);
    connect(ui->miBatchOff, &QAction::triggered, this, &TF_Main::miBatchOffClick);
    ConnectBatchCommands();
    connect(ui->miPrinterSetup, &QAction::triggered, this, &TF_Main::miPrinterSetupClick);
    for (QAction* about : {ui->miAbout, ui->miOrderSupplies, ui->miTechnicalSupport})
        connect(about, &QAction::triggered, this, &TF_Main::miAboutClick);
    connect(ui->miExit, &QAction::triggered, this, &QWidget::close);
    ConnectMenuCommands();
    ConnectAddressBook();
    ConnectImportCommands();
    // After the imports: the text files join their Utilities menu.
    ConnectTextFileCommands();

    FormCreate();
}

TF_Main::~TF_Main() = default;

template <class Step>
void TF_Main::Guarded(const std::string& whatFailed, Step&& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        ShowFailure(whatFailed, e);
    }
}

// ---- start-up and shut-down ---------------------------------------------------

void TF_Main::FormCreate()
{
    gPriority = false;
    gFormMode = 1;
    commandLineDone_ = false;
    multipleForms_ = false;
    gShowPrintedNotice = true;
    gAppPath = ProgramFolder();
    LoadSettings();
    setWindowTitle(Q(ApplicationTitle()));

    if (gCompany == kBrandReseller) {
        QPixmap logo;
        if (logo.load(Q(rtl::JoinPath(gAppPath, kLogoFileName)))) {
            ui->imageCompany->setStyleSheet({});
            ui->imageCompany->setPixmap(logo);
            ui->imageCompany->setScaledContents(true);
            ui->imageCompany->setGeometry(30, 63, 197, 97);
        }
    }
    Guarded("The printer chosen in Printer Setup could not be used; prints go to the system's printer.",
            [] { ApplySavedPrinter(gPrinterName, gPrinterTray); });

    // In a data folder that cannot be written (already told) nothing is made.
    const auto ensureTable = [](const std::string& folder, const char* table) {
        if (!InUnwritableProgramFolder(folder)) MainData().EnsureTable(folder, table);
    };
    for (const char* folder : {"Addresses", "Log"}) {
        const std::string path = rtl::JoinPath(gAppPath, folder);
        if (!InUnwritableProgramFolder(path) && !rtl::ForceDirectories(path))
            ui::ShowError("Cannot create folder " + path + ".");
    }

    for (QLabel* label : {ui->lblYourAddress1, ui->lblYourAddress2, ui->lblYourAddress3, ui->lblYourAddress4,
                          ui->lblYourAddress5})
        label->clear();
    Guarded("Your name and address could not be read.", [this, &ensureTable] {
        ensureTable(gYourAddressDB, "YourAddress");
        const std::optional<int> id = YourAddressIdNumber();
        if (!id || (InUnwritableProgramFolder(gYourAddressDB) && !TdmSendoPro::TableExists(gYourAddressDB, "YourAddress")))
            return;
        const std::optional<TSenderAddress> address = MainData().ReadYourAddress(gYourAddressDB, *id);
        if (!address) return;
        gYourAddress1 = address->Address1;
        gYourAddress2 = address->Address2;
        gYourAddress3 = address->Address3;
        gYourAddress4 = address->Address4;
        gYourCity = address->City;
        gYourState = address->State;
        gYourZip = address->Zip;
        ShowYourAddress();
    });
    Guarded("The mail log in " + gLogDB + " could not be made ready.",
            [&ensureTable] { ensureTable(gLogDB, "Log37"); });

    if (gShowFees)
        ui->miShowFeesOn->trigger();
    else
        ui->miShowFeesOff->trigger();
    Guarded("The mailer number counter in " + gMailerNumDB + " could not be made ready.",
            [&ensureTable] { ensureTable(gMailerNumDB, "MailerNum"); });
    if (gBatch)
        ui->miBatchOn->trigger();
    else
        ui->miBatchOff->trigger();

    gFindText.clear();
    resize(kMainWidth, height());
    while (splash_ && splash_->TimerRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    created_ = true;
}

void TF_Main::LoadSettings()
{
    const std::string file = SettingsFilePath();
    // Junk read as settings would reset everything silently, and the next
    // save would append good sections under it.
    const bool junk = !InUnwritableProgramFolder(file) && SettingsFileIsJunk(file);
    std::string setAside;
    if (junk) {
        try {
            setAside = SetAsideBadSettingsFile(file);
        } catch (const std::exception& e) {
            ShowFailure("The settings file " + file + " could not be read, and it could not be set aside.", e);
        }
    }
    const TLoadedSettings loaded = ReadSettings(file);
    if (!setAside.empty()) {
        Guarded("The settings file " + file + " could not be written.", [&] { WriteSettings(file, loaded.ZerosOn); });
        ui::ShowWarning("The settings file " + file +
                        " could not be read, so the program starts with its default settings.\r\r"
                        "The unreadable file was kept as " + setAside + ".");
    }
    if (loaded.LogoFound) {
        QPixmap logo;
        if (logo.load(Q(rtl::JoinPath(gAppPath, kLogoFileName)))) ui->imageCompany->setPixmap(logo);
    }
    (loaded.ZerosOn ? ui->miZerosOn : ui->miZerosOff)->setChecked(true);
    const QSignalBlocker row(ui->EDPosRow), col(ui->EDPosCol);
    ui->EDPosRow->setText(QString::number(gLabelRow + 1));
    ui->EDPosCol->setText(QString::number(gLabelCol + 1));
}

void TF_Main::SaveSettings()
{
    if (InUnwritableProgramFolder(SettingsFilePath())) return;
    Guarded("The settings could not be saved in " + SettingsFilePath() + ".",
            [this] { WriteSettings(SettingsFilePath(), ZerosOn()); });
}

void TF_Main::ShowYourAddress()
{
    std::string lines[5] = {gYourAddress1, gYourAddress2, gYourAddress3, gYourAddress4, ""};
    AddCityStateZipLine(lines[0], lines[1], lines[2], lines[3], lines[4], gYourCity, gYourState, gYourZip);
    QLabel* labels[5] = {ui->lblYourAddress1, ui->lblYourAddress2, ui->lblYourAddress3, ui->lblYourAddress4,
                         ui->lblYourAddress5};
    for (int i = 0; i < 5; ++i) labels[i]->setText(Q(lines[i]));
}

void TF_Main::FillFromCommandLine()
{
    if (commandLineDone_) return;
    commandLineDone_ = true;
    ui->memoToAddress->clear();
    const TCommandLineFill fill = CommandLineFields(args_);
    for (const std::string& line : fill.MemoLines) ui->memoToAddress->appendPlainText(Q(line));
    ui->memoToAddress->moveCursor(QTextCursor::Start);
    if (fill.City) ui->editToCity->setText(Q(*fill.City));
    if (fill.State) ui->editToState->setText(Q(*fill.State));
    if (fill.Zip) ui->editToZip->SetText(*fill.Zip);
    if (fill.Department) ui->editDepartment->setText(Q(*fill.Department));
    if (fill.ProcessedBy) ui->editProcessedBy->setText(Q(*fill.ProcessedBy));
    if (fill.Comment) ui->editComment->setText(Q(*fill.Comment));
    if (fill.Re) ui->editRe->setText(Q(*fill.Re));
}

void TF_Main::FormShow()
{
    FillFromCommandLine();
    if (!created_) return;
    created_ = false;
    firstShowPending_ = true;
    // The notices come once the window is on screen, not before it.
    QMetaObject::invokeMethod(this, &TF_Main::FirstShow, Qt::QueuedConnection);
}

void TF_Main::FirstShow()
{
    firstShowPending_ = false;
    if (splash_) {
        splash_->close();
        splash_.reset();
    }
    FirstShowYourAddress();
    if (gBarCodeApp &&
        ShowChoiceDialog("Bar Code Printing Registration", kRegistrationNotice, {"&Never Print again"}) == 1)
        gBarCodeApp = false;
    FirstShowMailerNumber();
    if (gDatabaseON) {
        firstShowRunning_ = true;
        OpenAddressBook();
        firstShowRunning_ = false;
    } else {
        ui->gbToDB->hide();
    }
    for (QLabel* label : {ui->LabelEnvelope, ui->LabelLabel}) ShowAndEnable(label, false);
}

void TF_Main::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TF_Main::closeEvent(QCloseEvent* event)
{
    SaveSettings();
    Guarded("The program's tables could not all be closed.", [] { MainData().CloseAllTables(); });
    event->accept();
    QApplication::quit();
}

void TF_Main::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TF_Main::eventFilter(QObject* watched, QEvent* event)
{
    if (AddressBookEvent(watched, event)) return true;
    if (event->type() == QEvent::FocusOut && HasExit(watched)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        LeaveField(static_cast<QWidget*>(watched), reason == Qt::PopupFocusReason ||
                                                       reason == Qt::ActiveWindowFocusReason ||
                                                       reason == Qt::MenuBarFocusReason);
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- leaving an entry field ---------------------------------------------------------

namespace {
QString EntryText(const QWidget* field)
{
    if (const auto* memo = qobject_cast<const QPlainTextEdit*>(field)) return memo->toPlainText();
    if (const auto* edit = qobject_cast<const QLineEdit*>(field)) return edit->text();
    return {};
}
}  // namespace

bool TF_Main::HasExit(const QObject* field) const
{
    return field != nullptr &&
           (field == ui->editPostage || field == ui->editCertFee || field == ui->editReturn ||
            field == ui->editRestricted || field == ui->editpriority || field == ui->editToZip ||
            field == ui->memoToAddress);
}

void TF_Main::RunExit(QWidget* field)
{
    if (field == ui->editToZip)
        editToZipExit();
    else if (field == ui->memoToAddress)
        memoToAddressExit();
    else
        FeeExit(static_cast<QLineEdit*>(field));
}

void TF_Main::LeaveField(QWidget* field, bool focusStays)
{
    const bool leftAlready = leftInPlace_.Field == field && leftInPlace_.Text == EntryText(field) &&
                             leftInPlace_.ZerosOn == ZerosOn();
    if (!leftAlready) RunExit(field);
    leftInPlace_ = focusStays ? TLeftInPlace{field, EntryText(field), ZerosOn()} : TLeftInPlace{};
}

void TF_Main::LeaveFocusedField()
{
    if (QWidget* field = focusWidget(); HasExit(field)) LeaveField(field, true);
}

// ---- fees ---------------------------------------------------------------------

bool TF_Main::ZerosOn() const { return ui->miZerosOn->isChecked(); }

std::string TF_Main::UpdateFeeTotal(const QLineEdit* fee)
{
    const std::string shown = FeeDisplayText(S(fee->text()), ZerosOn());
    // The fee just left counts as it will show: a refused amount adds nothing.
    const auto text = [&](const QLineEdit* edit) { return edit == fee ? shown : S(edit->text()); };
    const std::array<std::string, 5> fees = {text(ui->editPostage), text(ui->editCertFee), text(ui->editRestricted),
                                             text(ui->editpriority), text(ui->editReturn)};
    ui->editTotal->setText(Q(FeeTotalText(fees, ZerosOn())));
    return shown;
}

void TF_Main::FeeExit(QLineEdit* fee) { fee->setText(Q(UpdateFeeTotal(fee))); }

void TF_Main::editPostageExit() { FeeExit(ui->editPostage); }
void TF_Main::editCertFeeExit() { FeeExit(ui->editCertFee); }
void TF_Main::editReturnExit() { FeeExit(ui->editReturn); }
void TF_Main::editRestrictedExit() { FeeExit(ui->editRestricted); }
void TF_Main::editpriorityExit() { FeeExit(ui->editpriority); }

void TF_Main::ApplyDefaultFees()
{
    ui->editPostage->setText(Q(gPostage));
    editPostageExit();
    ui->editCertFee->setText(Q(gCertFee));
    editCertFeeExit();
    ui->editReturn->setText(Q(gReturnFee));
    editReturnExit();
    ui->cbRestricted->setChecked(gRestrictedOn);
}

void TF_Main::miShowFeesOnClick()
{
    ui->miShowFeesOn->setChecked(true);
    gShowFees = true;
    ApplyDefaultFees();
}

void TF_Main::miShowFeesOffClick()
{
    ui->miShowFeesOff->setChecked(true);
    gShowFees = false;
    ui->editPostage->clear();
    ui->editCertFee->clear();
    ui->editReturn->clear();
    ui->cbRestricted->setChecked(false);
    editPostageExit();
}

void TF_Main::miSaveValuesClick()
{
    TF_PostageFees dialog(this);
    if (dialog.exec() == ui::mrOk) ApplyDefaultFees();
}

void TF_Main::miCalculateClick()
{
    TF_CalculatePostage dialog(this);
    if (dialog.exec() == ui::mrOk && !gSingleEditText.empty()) {
        ui->editPostage->setText(Q(gSingleEditText));
        editPostageExit();
    }
}

// ---- switches -------------------------------------------------------------------

void TF_Main::cbRestrictedClick()
{
    const bool on = ui->cbRestricted->isChecked();
    ui->lblRestricted->setEnabled(on);
    ui->editRestricted->setEnabled(on);
    if (on)
        ui->editRestricted->setText(Q(gRestrictedFee));
    else
        ui->editRestricted->clear();
    editRestrictedExit();
}

void TF_Main::cbPriorityClick()
{
    const bool on = ui->cbPriority->isChecked();
    gPriority = on;
    ui->LblPriority->setEnabled(on);
    ui->editpriority->setEnabled(on);
    if (on)
        ui->editpriority->setText(Q(gPriorityFee));
    else
        ui->editpriority->clear();
    editpriorityExit();
}

void TF_Main::CBReturnReceiptClick()
{
    const bool returnReceipt = ui->CBReturn->isChecked();
    gFormMode = returnReceipt ? 1 : 0;
    for (QWidget* w : {static_cast<QWidget*>(ui->CBLabel), static_cast<QWidget*>(ui->CBEnvelope),
                       static_cast<QWidget*>(ui->LabelLabel), static_cast<QWidget*>(ui->LabelEnvelope),
                       static_cast<QWidget*>(ui->Label1), static_cast<QWidget*>(ui->Label2),
                       static_cast<QWidget*>(ui->EDPosRow), static_cast<QWidget*>(ui->EDPosCol)})
        ShowAndEnable(w, !returnReceipt);
    ui->lblReturn->setEnabled(returnReceipt);
    ui->editReturn->setEnabled(returnReceipt);
    if (returnReceipt) {
        ui->editReturn->setText(Q(gReturnFee));
    } else {
        ui->CBLabel->setChecked(true);
        ui->editReturn->clear();
    }
    editReturnExit();
}

void TF_Main::EDPosChange(QLineEdit* edit, int& cell)
{
    const std::string text = rtl::Trim(S(edit->text()));
    const QSignalBlocker quiet(edit);
    if (text.empty()) {
        edit->setText("1");
        cell = 0;
        return;
    }
    if (const std::optional<int> value = LabelCellOf(text))
        cell = *value;
    else
        edit->setText(QString::number(cell + 1));
}

void TF_Main::miBatchOnClick()
{
    gBatch = true;
    ui->miBatchOn->setChecked(true);
    ui->btnPrint->setText("&Batch");
    ui->miPrint->setText("&Print to Batch");
    // Print keeps the key it has outside batch mode.
    ui->miPrint->setShortcut(QKeySequence(Qt::ALT | Qt::Key_P));
    ui->miPrintBatch->setEnabled(true);
    ui->miClearBatch->setEnabled(true);
}

void TF_Main::miBatchOffClick()
{
    gBatch = false;
    ui->miBatchOff->setChecked(true);
    ui->btnPrint->setText("&Print");
    ui->miPrint->setText("&Print");
    // The button's own key; a second one would make Alt+P ambiguous.
    ui->miPrint->setShortcut({});
    ui->miPrintBatch->setEnabled(false);
    ui->miClearBatch->setEnabled(false);
}

// ---- recipient --------------------------------------------------------------------

std::vector<std::string> TF_Main::MemoLines() const
{
    std::vector<std::string> lines;
    const QTextDocument* doc = ui->memoToAddress->document();
    if (doc->isEmpty()) return lines;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) lines.push_back(S(block.text()));
    return lines;
}

void TF_Main::memoToAddressChange()
{
    if (!trimmingMemo_) {
        trimmingMemo_ = true;
        // A fifth line has no place on the form: drop it (and any beyond it).
        QTextDocument* doc = ui->memoToAddress->document();
        while (doc->blockCount() > 4) {
            QTextCursor cursor(doc->findBlockByNumber(4));
            cursor.movePosition(QTextCursor::PreviousCharacter);
            cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::MoveAnchor);
            cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
            cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        // Each line as the log keeps it: a pasted TAB becomes a blank, and
        // the line ends at the width of its log column.
        const int width = FindLogColumn("ToAddress1")->Width;
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
            const QString text = block.text();
            if (text.contains('\t')) {
                for (int at = text.indexOf('\t'); at >= 0; at = text.indexOf('\t', at + 1)) {
                    QTextCursor cursor(block);
                    cursor.setPosition(block.position() + at);
                    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
                    cursor.insertText(QStringLiteral(" "));
                }
            }
            if (block.length() - 1 > width) {
                QTextCursor cursor(block);
                cursor.setPosition(block.position() + width);
                cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
                cursor.removeSelectedText();
            }
        }
        trimmingMemo_ = false;
    }
    MarkEditable();
}

void TF_Main::memoToAddressExit()
{
    std::vector<std::string> lines = MemoLines();
    if (lines.size() <= 4) return;
    lines.resize(4);
    QString text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + Q(lines[i]);
    ui->memoToAddress->setPlainText(text);
}

void TF_Main::editToZipExit()
{
    const std::optional<std::string> key =
        ZipLookupKey(S(ui->editToCity->text()), S(ui->editToState->text()), ui->editToZip->Text());
    if (!key) return;
    const std::optional<TZipPlace> place = LookupShippedZip(*key);
    if (!place) return;
    if (rtl::Trim(S(ui->editToCity->text())).empty()) ui->editToCity->setText(Q(place->City));
    if (rtl::Trim(S(ui->editToState->text())).empty()) ui->editToState->setText(Q(place->State));
}

void TF_Main::btnToClearClick()
{
    ui->memoToAddress->clear();
    ui->editToCity->clear();
    ui->editToState->clear();
    ui->editToZip->SetText("");
}

void TF_Main::btnToPasteClick()
{
    btnToClearClick();
    PasteAddressFromText(S(QApplication::clipboard()->text()));
    for (const std::string* line : {&gEditAddress1, &gEditAddress2, &gEditAddress3})
        ui->memoToAddress->appendPlainText(Q(*line));
    if (!rtl::Trim(gEditAddress4).empty()) ui->memoToAddress->appendPlainText(Q(gEditAddress4));
    ui->memoToAddress->moveCursor(QTextCursor::Start);
    ui->editToCity->setText(Q(gEditCity));
    ui->editToState->setText(Q(gEditState));
    ui->editToZip->SetText(gEditZip);
}

void TF_Main::btnCopyClick()
{
    std::vector<std::string> lines = MemoLines();
    lines.resize(4);
    const std::optional<std::string> text =
        AddressClipboardText({lines[0], lines[1], lines[2], lines[3]}, S(ui->editToCity->text()),
                             S(ui->editToState->text()), ui->editToZip->Text());
    if (text) QApplication::clipboard()->setText(Q(*text));
}

void TF_Main::btnCloseDBClick()
{
    gDatabaseON = false;
    ui->panelDB->hide();
    resize(kMainWidth, height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    ui->miToTextFiles->setEnabled(false);
    ui->gbTo->show();
    ui->gbToDB->hide();
    const std::pair<QWidget*, int> tops[] = {{ui->editDepartment, 103}, {ui->labelDepartment, 109},
                                             {ui->editProcessedBy, 128}, {ui->labelProcessedBy, 134},
                                             {ui->editComment, 153},    {ui->labelComment, 159},
                                             {ui->editRe, 178},         {ui->labelRE, 184}};
    for (const auto& [widget, top] : tops) widget->move(widget->x(), top);
    ui->miCloseToDB->setVisible(false);
    CloseAddressTables();
    MarkEditable();
}

// ---- printed / editable -------------------------------------------------------------

namespace {
template <class Ui>
std::vector<QWidget*> MarkedControls(Ui& ui)
{
    return {ui.editPostage,   ui.editCertFee,   ui.editRestricted, ui.editReturn,      ui.editTotal,
            ui.editRe,        ui.editComment,   ui.editProcessedBy, ui.editDepartment, ui.memoToAddress,
            ui.editToCity,    ui.editToState,   ui.editToZip,       ui.lvAddress,      ui.tvGroups};
}
}  // namespace

void TF_Main::MarkEditable()
{
    for (QWidget* w : MarkedControls(*ui)) SetBackground(w, QColor(0xFF, 0xFF, 0xFF));
    // From the address book only one picked address can be printed.
    ui->btnPrint->setEnabled(ui->panelDB->isHidden() || OneAddressSelected());
}

void TF_Main::MarkPrinted()
{
    for (QWidget* w : MarkedControls(*ui)) SetBackground(w, QColor(0xC0, 0xC0, 0xC0));
    ui->btnPrint->setEnabled(false);
}

// ---- dialogs ---------------------------------------------------------------------------

void TF_Main::miPrinterSetupClick()
{
    // Two empty lists and a disabled OK would tell a new user nothing.
    if (print::PrinterNames().empty()) {
        ui::ShowInformation("No printer is installed, so there is nothing to set up.\r\rPrints are saved as PDF "
                            "files in " + PrintToPdfFolder(DefaultPdfFolder()) +
                            ". To print on paper, install a printer in the system's printer settings.");
        return;
    }
    TF_PrinterSetup dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    gPrinterName = dialog.ChosenPrinter();
    gPrinterTray = dialog.ChosenTray();
    Guarded("The printer " + gPrinterName + " could not be chosen.", [] { SetDefaultPrinter(gPrinterName); });
    SetProgramPrinterTray(gPrinterTray);
}

void TF_Main::miAboutClick()
{
    TF_About about(0, this);
    about.exec();
}
