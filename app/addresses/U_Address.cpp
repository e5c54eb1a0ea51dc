#include "app/addresses/U_Address.h"

#include "app/data/RowEdit.h"
#include "app/data/U_Globals.h"
#include "app/data/U_MainData.h"
#include "app/data/U_MainEntry.h"
#include "app/data/U_Records.h"
#include "app/data/U_Settings.h"
#include "app/data/U_TextRoutines.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_Address.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QSignalBlocker>
#include <QTextBlock>

#include <exception>
#include <optional>

namespace {

constexpr int kMaxMemoLines = 4;

std::string S(const QString& text) { return text.toStdString(); }
QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

std::optional<std::string> AddressEditSql(const std::string& table, const TAddressRec& read)
{
    return ChangedColumnsUpdateSql(table, "A_ID = " + std::to_string(read.ID),
                                   {{"Address1", read.Address1, gEditAddress1},
                                    {"Address2", read.Address2, gEditAddress2},
                                    {"Address3", read.Address3, gEditAddress3},
                                    {"Address4", read.Address4, gEditAddress4},
                                    {"City", read.City, gEditCity},
                                    {"State", read.State, gEditState},
                                    {"Zip", read.Zip, gEditZip}});
}

TF_Address::TF_Address(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_Address>())
{
    ui->setupUi(this);
    ui->editZip->SetEditMask("99999\\-9999;1;_");
    connect(ui->memoAddress, &QPlainTextEdit::textChanged, this, &TF_Address::memoAddressChange);
    connect(ui->btnClear, &QPushButton::clicked, this, &TF_Address::btnClearClick);
    connect(ui->btnPaste, &QPushButton::clicked, this, &TF_Address::btnPasteClick);
    connect(ui->btnCopy, &QPushButton::clicked, this, &TF_Address::btnCopyClick);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_Address::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QWidget* field : {static_cast<QWidget*>(ui->memoAddress), static_cast<QWidget*>(ui->editCity),
                           static_cast<QWidget*>(ui->editState), static_cast<QWidget*>(ui->editZip)})
        field->installEventFilter(this);
    LoadFromGlobals();
    UpdateOkButton();
}

TF_Address::~TF_Address() = default;

void TF_Address::SetCaption(const std::string& caption) { ui->gbAddress->setTitle(Q(caption)); }

void TF_Address::LoadFromGlobals()
{
    ui->memoAddress->clear();
    for (const std::string* line : {&gEditAddress1, &gEditAddress2, &gEditAddress3, &gEditAddress4})
        if (!line->empty()) ui->memoAddress->appendPlainText(Q(*line));
    ui->memoAddress->moveCursor(QTextCursor::Start);
    ui->editCity->setText(Q(gEditCity));
    ui->editState->setText(Q(gEditState));
    ui->editZip->SetText(gEditZip);
}

std::vector<std::string> TF_Address::MemoLines() const
{
    std::vector<std::string> lines;
    const QString text = ui->memoAddress->toPlainText();
    if (text.isEmpty()) return lines;
    for (const QString& line : text.split('\n')) lines.push_back(S(line));
    return lines;
}

void TF_Address::memoAddressChange()
{
    QTextDocument* document = ui->memoAddress->document();
    if (document->blockCount() <= kMaxMemoLines) return;
    const QSignalBlocker blocker(ui->memoAddress);
    // Line 5 goes as long as there is one, so the memo never holds more than
    // four lines, wherever the extra line break was typed.
    while (document->blockCount() > kMaxMemoLines) {
        QTextCursor cursor(document->findBlockByNumber(kMaxMemoLines));
        cursor.movePosition(QTextCursor::PreviousCharacter);  // the line break before line 5
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
}

void TF_Address::UpdateOkButton()
{
    const std::vector<std::string> lines = MemoLines();
    okReturnsOk_ = (!lines.empty() && !rtl::Trim(lines[0]).empty()) || !rtl::Trim(S(ui->editCity->text())).empty() ||
                   !rtl::Trim(S(ui->editState->text())).empty() || rtl::Trim(ui->editZip->Text()) != "-";
}

void TF_Address::ZipLookup()
{
    const std::optional<std::string> key =
        ZipLookupKey(S(ui->editCity->text()), S(ui->editState->text()), ui->editZip->Text());
    if (!key) return;
    const std::optional<TZipPlace> place = LookupShippedZip(*key);
    if (!place) return;
    if (rtl::Trim(S(ui->editCity->text())).empty()) ui->editCity->setText(Q(place->City));
    if (rtl::Trim(S(ui->editState->text())).empty()) ui->editState->setText(Q(place->State));
}

bool TF_Address::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched != ui->memoAddress) ZipLookup();
        UpdateOkButton();
    }
    return QDialog::eventFilter(watched, event);
}

void TF_Address::btnClearClick()
{
    ui->memoAddress->clear();
    ui->editCity->clear();
    ui->editState->clear();
    ui->editZip->SetText("");
    UpdateOkButton();
}

void TF_Address::btnPasteClick()
{
    PasteAddressFromText(S(QApplication::clipboard()->text()));
    LoadFromGlobals();
    UpdateOkButton();
}

void TF_Address::btnCopyClick()
{
    std::vector<std::string> lines = MemoLines();
    lines.resize(kMaxMemoLines);
    const std::optional<std::string> text =
        AddressClipboardText({lines[0], lines[1], lines[2], lines[3]}, S(ui->editCity->text()),
                             S(ui->editState->text()), ui->editZip->Text());
    if (text) QApplication::clipboard()->setText(Q(*text));
}

void TF_Address::btnOKClick()
{
    // Enter presses OK without leaving the field just typed in, so the state
    // is taken again here.
    UpdateOkButton();
    if (!okReturnsOk_) {
        ui::ShowError("Address can not be empty.");
        return;
    }
    std::vector<std::string> lines = MemoLines();
    lines.resize(kMaxMemoLines);
    gEditAddress1 = lines[0];
    gEditAddress2 = lines[1];
    gEditAddress3 = lines[2];
    gEditAddress4 = lines[3];
    gEditCity = S(ui->editCity->text());
    gEditState = S(ui->editState->text());
    gEditZip = CleanZip(ui->editZip->Text());
    done(ui::mrOk);
}
