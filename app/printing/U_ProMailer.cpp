#include "app/printing/U_ProMailer.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_ArticleNumber.h"
#include "app/data/U_Globals.h"
#include "app/printing/U_SendoPrint.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoProSchemas.h"
#include "dbaccess/edstable.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WebPage.h"

#include "ui_U_ProMailer.h"
#include "platform/ui/ScreenPlace.h"

#include <QFocusEvent>
#include <QGuiApplication>
#include <QRegularExpressionValidator>

#include <exception>

std::function<void(QWidget* parent)> gShowDatabaseFolders;

namespace {

constexpr int kHeightNoHelp = 250;
constexpr int kHeightBarCodeHelp = 335;
constexpr int kHeightMailerNumHelp = 383;

bool LeavesField(const QEvent* event)
{
    if (event->type() != QEvent::FocusOut) return false;
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

std::string CustIDOf(const std::string& text) { return rtl::StringReplace(text, "-", ""); }

}  // namespace

std::string NormalizedSerial(const std::string& serial)
{
    const std::string padded = rtl::PadLeft(serial, 7, '0');
    return padded.substr(padded.size() - 7);
}

std::string ShortenedPath(const std::string& path, const std::function<int(const std::string&)>& widthOf)
{
    if (widthOf(path) <= 310) return path;
    std::string text = path;
    while (widthOf(text) >= 297) {
        const std::size_t slash = text.find('/');
        if (slash == std::string::npos) break;
        text.erase(0, slash + 1);
    }
    return ".../" + text;
}

TF_ProMailer::TF_ProMailer(TEdsTable& MailerNum, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TF_ProMailer>()), table_(MailerNum)
{
    ui->setupUi(this);
    ui::CenterOnScreen(*this);
    ui->editCustID->SetEditMask("000000000;0;_");
    ui->editMailerNumOLD->SetEditMask(std::string(30, '0') + ";0;_");
    ui->editMailerNumOLD->setReadOnly(true);
    // A serial is a number; anything else would stop the next print.
    ui->EditSerialNum->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), ui->EditSerialNum));
    ui->EditMailerNum->setVisible(false);
    ui->panelBarCode->setVisible(false);
    ui->panelMailerNum->setVisible(false);
    ui->btnChangeYourDB->setEnabled(static_cast<bool>(gShowDatabaseFolders));
    ui->labelRegistry->setText(QString::fromUtf8(kCustIDRegistryAddress));
    ui->labelRegistry->setCursor(Qt::PointingHandCursor);
    resize(width(), kHeightNoHelp);

    ui->EditSerialNum->installEventFilter(this);
    ui->labelRegistry->installEventFilter(this);
    connect(ui->EditMailerNum, &QLineEdit::textChanged, this,
            [this](const QString& text) { ui->editMailerNumOLD->SetText(text.toStdString()); });
    connect(ui->cbPrintBarCodes, &QCheckBox::clicked, this, &TF_ProMailer::cbPrintBarCodesClick);
    connect(ui->btnHelp, &QPushButton::clicked, this, &TF_ProMailer::btnHelpClick);
    connect(ui->btnChangeYourDB, &QPushButton::clicked, this, &TF_ProMailer::btnChangeYourDBClick);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_ProMailer::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    try {
        LoadMailerNum();
    } catch (...) {
        CloseMailerNum();
        throw;
    }
}

TF_ProMailer::~TF_ProMailer() { CloseMailerNum(); }

void TF_ProMailer::LoadMailerNum()
{
    const std::string path = gMailerNumDB + "/" + kMailerNumTable + ".edt";
    const QFontMetrics metrics = ui->labelDatabaseName->fontMetrics();
    ui->labelDatabaseName->setText(QString::fromStdString(ShortenedPath(
        path, [&metrics](const std::string& text) { return metrics.horizontalAdvance(QString::fromStdString(text)); })));
    setWindowTitle("Mailer Number");

    table_.Close();
    table_.SetDatabaseName(gMailerNumDB);
    table_.SetTableName(kMailerNumTable);
    table_.SetExclusive(true);
    holding_ = true;
    table_.Open();
    table_.First();
    const std::string custID = table_.FieldByName("CustID")->AsString();
    const std::string serial = table_.FieldByName("SerialNum")->AsString();
    ui->editCustID->SetText(custID);
    ui->EditSerialNum->setText(QString::fromStdString(serial));
    if (LastZip().size() < 5) SetLastZip("00000");
    ui->EditMailerNum->setText(QString::fromStdString(MakeArticleNumber(custID, serial, LastZip(), "T")));
    if (table_.FieldByName("Increment")->AsBoolean())
        ui->rbIncrement->setChecked(true);
    else
        ui->rbDecrement->setChecked(true);
    ui->cbPrintBarCodes->setChecked(table_.FieldByName("BarCodes")->AsBoolean());
    cbPrintBarCodesClick();
    ui->btnOK->setEnabled(true);
}

void TF_ProMailer::cbPrintBarCodesClick()
{
    const bool barcodes = ui->cbPrintBarCodes->isChecked();
    ui->panelPrintBarCodes->setVisible(barcodes);
    ui->panelNoBarCodes->setVisible(!barcodes);
    if (!barcodes) {
        // Shown only: the customer ID and serial stay in their own fields.
        const std::string custID = CustIDOf(ui->editCustID->Text());
        const std::string serial = NormalizedSerial(ui->EditSerialNum->text().toStdString());
        ui->EditMailerNum->setText(QString::fromStdString(MakeArticleNumber(custID, serial, gToZip, "T")));
    }
    if (helpShowing_) ShowHelpForMode();
}

bool TF_ProMailer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->EditSerialNum && LeavesField(event)) EditSerialNumExit();
    if (watched == ui->labelRegistry && event->type() == QEvent::MouseButtonRelease)
        ui::OpenWebPageOrShowAddress(kCustIDRegistryAddress);
    return QDialog::eventFilter(watched, event);
}

void TF_ProMailer::EditSerialNumExit()
{
    ui->EditSerialNum->setText(QString::fromStdString(NormalizedSerial(ui->EditSerialNum->text().toStdString())));
}

void TF_ProMailer::ShowHelpForMode()
{
    const bool barcodes = ui->cbPrintBarCodes->isChecked();
    ui->panelBarCode->setVisible(barcodes);
    ui->panelMailerNum->setVisible(!barcodes);
    resize(width(), barcodes ? kHeightBarCodeHelp : kHeightMailerNumHelp);
}

void TF_ProMailer::btnHelpClick()
{
    helpShowing_ = true;
    ShowHelpForMode();
    ui->btnHelp->setEnabled(false);
    ui::CenterOnScreen(*this);
}

void TF_ProMailer::btnChangeYourDBClick()
{
    if (!gShowDatabaseFolders) return;
    const std::string before = gMailerNumDB;
    gShowDatabaseFolders(this);
    if (gMailerNumDB != before) {
        try {
            LoadMailerNum();
        } catch (const std::exception& e) {
            // The folder holds no usable counter: OK stays off until one does.
            CloseMailerNum();
            ui->btnOK->setEnabled(false);
            ShowFailure("The folder holds no mailer number that can be used.", e);
        }
    }
    ui->btnOK->setFocus();
}

void TF_ProMailer::btnOKClick()
{
    if (!table_.Active()) return;  // the folder changed to one without a counter
    EditSerialNumExit();
    const std::string custID = CustIDOf(ui->editCustID->Text());
    const std::string serial = ui->EditSerialNum->text().toStdString();
    // The numbers carry the ID as stored; a short one would be padded into
    // another office's number.
    if (!IsNineDigitCustID(custID)) {
        ui::ShowError("The Customer ID must have nine digits. Please enter the whole Customer ID.");
        ui->editCustID->setFocus();
        return;
    }
    try {
        table_.Edit();
        table_.FieldByName("BarCodes")->SetAsBoolean(ui->cbPrintBarCodes->isChecked());
        table_.FieldByName("CustID")->SetAsString(custID);
        table_.FieldByName("SerialNum")->SetAsString(serial);
        table_.FieldByName("Increment")->SetAsBoolean(ui->rbIncrement->isChecked());
        table_.Post();
    } catch (const std::exception& e) {
        try {
            if (table_.Active()) table_.Cancel();
        } catch (...) {
            // The error below is the one the user needs.
        }
        ShowFailure("The mailer number could not be saved.", e);
        return;
    }
    gCustID = custID;
    gSerialNum = serial;
    done(ui::mrOk);
}

void TF_ProMailer::done(int result)
{
    QDialog::done(result);
    CloseMailerNum();
}

void TF_ProMailer::CloseMailerNum() noexcept
{
    // The table component is shared: once released it may be someone else's.
    if (!holding_) return;
    holding_ = false;
    try {
        table_.Close();
    } catch (...) {
        // Closing again later (the data module's shut-down) reports it.
    }
    try {
        table_.SetExclusive(false);
    } catch (...) {
    }
}
