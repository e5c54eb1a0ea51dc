#include "app/receipts/U_IncomingMailers.h"

#include "app/data/FailureMessage.h"
#include "app/data/U_MailerNumbers.h"
#include "app/data/U_Records.h"
#include "app/data/U_Settings.h"
#include "app/data/U_dmSendoPro.h"
#include "app/receipts/U_MultiMailers.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"
#include "platform/ui/WaitCursor.h"

#include "ui_U_IncomingMailers.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <exception>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

constexpr const char* kReceived = "Received - Signed";
constexpr int kResultColumn = 2;

}  // namespace

TF_IncomingMailers::TF_IncomingMailers(TdmSendoPro& dm, QWidget* parent)
    : QDialog(parent), dm_(dm), ui(std::make_unique<Ui::TF_IncomingMailers>())
{
    ui->setupUi(this);
    CloseQuery();
    ui->sgMailers->setColumnWidth(0, 138);
    ui->sgMailers->setColumnWidth(1, 198);
    ui->sgMailers->setColumnWidth(kResultColumn, ui->cbResult->width());
    ui->cbResult->setParent(ui->sgMailers->viewport());
    ui->cbResult->hide();
    ui->maskeditMailerNum->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9 ]*")), ui->maskeditMailerNum));
    ui->maskeditMailerNum->installEventFilter(this);
    ui->editData->installEventFilter(this);
    ui->cbResult->installEventFilter(this);
    ui->editData->hide();

    scanPause_.setSingleShot(true);
    scanPause_.setInterval(kScanPauseMs);
    connect(&scanPause_, &QTimer::timeout, this, [this] {
        if (ui->rbMailerNumber->isChecked() && MailerNumberComplete(S(ui->maskeditMailerNum->text()))) LookUpMailer();
    });
    connect(ui->maskeditMailerNum, &QLineEdit::textChanged, this, &TF_IncomingMailers::maskeditMailerNumChange);
    connect(ui->rbMailerNumber, &QRadioButton::clicked, this, &TF_IncomingMailers::rgEnterDataClick);
    connect(ui->rbAddresseeName, &QRadioButton::clicked, this, &TF_IncomingMailers::rgEnterDataClick);
    connect(ui->btnTrack, &QPushButton::clicked, this, &TF_IncomingMailers::LookUpMailer);
    connect(ui->sgMailers, &QTableWidget::currentCellChanged, this,
            [this](int row, int column) { sgMailersSelectCell(row, column); });
    connect(ui->sgMailers, &QTableWidget::cellClicked, this, &TF_IncomingMailers::sgMailersSelectCell);
    connect(ui->cbResult, &QComboBox::activated, this, &TF_IncomingMailers::cbResultChange);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_IncomingMailers::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ui->maskeditMailerNum->setFocus();
}

TF_IncomingMailers::~TF_IncomingMailers() { CloseQuery(); }

void TF_IncomingMailers::CloseQuery() noexcept
{
    try {
        dm_.edsqLog2->Close();
    } catch (const std::exception&) {
        // Nothing is left to free on a query whose connection went.
    }
}

bool TF_IncomingMailers::eventFilter(QObject* watched, QEvent* event)
{
    // Enter looks the entry up (a scanner ends its input with it) instead of
    // pressing OK.
    if ((watched == ui->maskeditMailerNum || watched == ui->editData) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            scanPause_.stop();
            LookUpMailer();
            return true;
        }
    }
    // Tab while the result combo is open stays with the combo, so the choice
    // is not left half made.
    if (watched == ui->cbResult && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab)
        return true;
    return QDialog::eventFilter(watched, event);
}

void TF_IncomingMailers::rgEnterDataClick()
{
    const bool byNumber = ui->rbMailerNumber->isChecked();
    ui->maskeditMailerNum->setVisible(byNumber);
    ui->editData->setVisible(!byNumber);
    (byNumber ? ui->maskeditMailerNum : ui->editData)->setFocus();
}

void TF_IncomingMailers::maskeditMailerNumChange()
{
    // Only a pause after a complete number starts the lookup, so a 30-character
    // scan is not taken at its 20th character.
    if (MailerNumberComplete(S(ui->maskeditMailerNum->text())))
        scanPause_.start();
    else
        scanPause_.stop();
}

void TF_IncomingMailers::LookUpMailer()
{
    scanPause_.stop();
    try {
        if (ui->rbMailerNumber->isChecked())
            LookUpNumber();
        else
            LookUpName();
    } catch (const std::exception& e) {
        ShowFailure("The log could not be searched.", e);
    }
}

std::vector<std::vector<std::string>> TF_IncomingMailers::Select(const std::string& sql,
                                                                  const std::vector<std::string>& fields)
{
    ui::WaitCursor hourglass;
    TEdsQuery& query = *dm_.edsqLog2;
    query.Close();
    query.SetDatabaseName(gLogDB);
    query.SetSQLText(sql);
    query.Open();
    std::vector<std::vector<std::string>> rows;
    for (; !query.Eof(); query.Next()) {
        std::vector<std::string> row;
        for (const std::string& field : fields) row.push_back(query.FieldByName(field)->AsString());
        rows.push_back(std::move(row));
    }
    query.Close();
    return rows;
}

void TF_IncomingMailers::LookUpNumber()
{
    TMailerNumberProblem problem = TMailerNumberProblem::None;
    const std::optional<TMailerNumberKey> key = MailerNumberKey(S(ui->maskeditMailerNum->text()), &problem);
    if (!key) {
        ui::ShowError(problem == TMailerNumberProblem::Length ? "Mailer Number must be 20 or 22 digits."
                                                              : "Invalid entry for Mailer Number.");
        return;
    }
    const auto rows = Select("select LID, ToAddress1 from Log37 where " + MailerNumberCondition(*key) +
                                 " and Result = " + rtl::QuotedStr("None"),
                             {"LID", "ToAddress1"});
    if (rows.empty()) {
        ui::ShowError("Mailer Number not found.");
        return;
    }
    AddMailerRow(rows[0][0], key->Display, rows[0][1]);
    ui->maskeditMailerNum->clear();
}

void TF_IncomingMailers::LookUpName()
{
    const std::string entry = S(ui->editData->text());
    if (rtl::Trim(entry).empty()) {
        ui::ShowError("Please enter a value.");
        return;
    }
    const std::string p = rtl::QuotedStr("%" + entry + "%");
    const auto rows = Select(
        "select LID, MailerNum, ToAddress1, ToAddress2, ToAddress3, ToAddress4, ToCity, ToState, ToZip from Log37 "
        "where ((ToAddress1 like " + p + ") or (ToAddress2 like " + p + ") or (ToAddress3 like " + p +
            ") or (ToAddress4 like " + p + ") or (ToCity like " + p + ") or (ToState like " + p +
            ") or (ToZip like " + p + ")) and Result = " + rtl::QuotedStr("None"),
        {"LID", "MailerNum", "ToAddress1", "ToAddress2", "ToAddress3", "ToAddress4", "ToCity", "ToState", "ToZip"});
    if (rows.empty()) {
        ui::ShowError("Addressee name not found.");
        return;
    }
    if (rows.size() == 1) {
        AddMailerRow(rows[0][0], rows[0][1], rows[0][2]);
        return;
    }
    TF_MultiMailers pick(this);
    for (const auto& row : rows)
        if (std::find(lids_.begin(), lids_.end(), row[0]) == lids_.end())
            pick.AddItem(TMailerRec(row[0], row[1], row[2], row[3], row[4], row[5], row[6], row[7], row[8]));
    pick.SetMessage("We found " + std::to_string(pick.Count()) + " log records containing Addressee name \"" +
                    entry + "\".  Please select the Mailers you'd like to add to the list.");
    if (pick.exec() != ui::mrOk) return;
    for (const TMailerRec& mailer : pick.Selected()) AddMailerRow(mailer.LID, mailer.MailerNum, mailer.ToAddress1);
}

bool TF_IncomingMailers::AddMailerRow(const std::string& lid, const std::string& number, const std::string& name)
{
    if (std::find(lids_.begin(), lids_.end(), lid) != lids_.end()) {
        ui::ShowError("Mailer for Mailer # \"" + number + "\" is already in the list.");
        return false;
    }
    lids_.push_back(lid);
    QTableWidget& grid = *ui->sgMailers;
    // The grid starts disabled with one empty row, which the first mailer takes.
    const int row = static_cast<int>(lids_.size()) - 1;
    if (row == 0)
        grid.setEnabled(true);
    else
        grid.setRowCount(row + 1);
    grid.setItem(row, 0, new QTableWidgetItem(Q(number)));
    grid.setItem(row, 1, new QTableWidgetItem(Q(name)));
    grid.setItem(row, kResultColumn, new QTableWidgetItem(kReceived));
    return true;
}

void TF_IncomingMailers::sgMailersSelectCell(int row, int column)
{
    if (column != kResultColumn || row < 0 || row >= static_cast<int>(lids_.size())) {
        ui->cbResult->hide();
        return;
    }
    const QTableWidgetItem* cell = ui->sgMailers->item(row, column);
    ui->cbResult->setGeometry(ui->sgMailers->visualItemRect(cell));
    ui->cbResult->setCurrentText(cell->text());
    ui->cbResult->show();
    ui->cbResult->setFocus();
}

void TF_IncomingMailers::cbResultChange()
{
    const int row = ui->sgMailers->currentRow();
    if (row >= 0 && row < static_cast<int>(lids_.size()))
        ui->sgMailers->item(row, kResultColumn)->setText(ui->cbResult->currentText());
    ui->cbResult->hide();
}

void TF_IncomingMailers::btnOKClick()
{
    // A row is written only while it is still open, as it was found: another
    // station may have deleted it or recorded its receipt since, and what it
    // recorded stays. OK after a failure writes only the rows not yet written.
    written_.resize(lids_.size(), false);
    try {
        TEdsQuery& query = *dm_.edsqLog2;
        for (std::size_t i = 0; i < lids_.size(); ++i) {
            if (written_[i]) continue;
            const int row = static_cast<int>(i);
            const std::string result = S(ui->sgMailers->item(row, kResultColumn)->text());
            query.Close();
            query.SetDatabaseName(gLogDB);
            query.SetSQLText("update Log37 set RESULT = " + rtl::QuotedStr(result) + " where LID = " + lids_[i] +
                             " and Result = " + rtl::QuotedStr("None"));
            query.ExecSQL();
            written_[i] = true;
            if (query.RowsAffected() == 0) notRecorded_.push_back(S(ui->sgMailers->item(row, 0)->text()));
        }
    } catch (const std::exception& e) {
        ShowFailure("The results could not be saved in the log.", e);
        return;
    }
    CloseQuery();
    if (!notRecorded_.empty()) {
        std::string text;
        for (const std::string& number : notRecorded_)
            text += (text.empty() ? "" : "\r") + std::string("Mailer # \"") + number +
                    "\" was not recorded: deleted, or already recorded at another station; its result is kept.";
        ui::ShowWarning(text);
    }
    // The log window refreshes after OK, so it shows what the other station did too.
    done(ui::mrOk);
}
