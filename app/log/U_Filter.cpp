#include "app/log/U_Filter.h"

#include "app/data/U_FieldTables.h"
#include "app/data/U_MailerNumbers.h"
#include "app/log/U_FilterRules.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/MessageService.h"

#include "ui_U_Filter.h"

#include <QDate>
#include <QTime>

std::string gFilterField;
std::string gFilterOperator;
std::string gFilterValue;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

rtl::TDateTime FromQDate(const QDate& date) { return rtl::EncodeDate(date.year(), date.month(), date.day()); }

}  // namespace

TF_Filter::TF_Filter(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_Filter>())
{
    ui->setupUi(this);
    ui->editCustID->SetEditMask("00-000-0000;1;_");
    ui->editSerialNum->SetEditMask("00000000;1;_");
    for (std::string_view caption : LogFilterCaptions) ui->cbFieldName->addItem(Q(std::string(caption)));
    ui->cbFieldName->setCurrentIndex(-1);
    connect(ui->cbFieldName, &QComboBox::currentIndexChanged, this, &TF_Filter::cbFieldNameChange);
    connect(ui->btnOK, &QPushButton::clicked, this, &TF_Filter::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    const QDateTime now = QDateTime::currentDateTime();
    ui->pickerDate->setDate(now.date());
    ui->pickerTime->setTime(now.time());
    cbFieldNameChange();

    if (const std::optional<int> row = FilterRow(gFilterField)) {
        ui->cbFieldName->setCurrentIndex(*row);
        cbFieldNameChange();
        ui->cbFieldName->setEnabled(false);
    }
    if (!gFilterOperator.empty()) ui->cbOperator->setCurrentText(Q(gFilterOperator));
    if (!gFilterValue.empty()) TakeValue(gFilterValue);
}

TF_Filter::~TF_Filter() = default;

void TF_Filter::cbFieldNameChange()
{
    for (QWidget* editor : std::initializer_list<QWidget*>{ui->editValue, ui->pickerDate, ui->pickerTime,
                                                           ui->maskeditMailerNum, ui->editCustID, ui->editSerialNum,
                                                           ui->cbTrueFalse, ui->cbResult})
        editor->hide();
    ui->cbOperator->clear();
    const int row = ui->cbFieldName->currentIndex();
    if (row < 0) {
        ui->editValue->show();
        return;
    }
    for (const std::string& op : FilterOperatorsOf(row)) ui->cbOperator->addItem(Q(op));
    switch (FilterEditorOf(row)) {
    case TFilterEditor::DateTime:
        ui->pickerDate->show();
        ui->pickerTime->show();
        break;
    case TFilterEditor::MailerNum: ui->maskeditMailerNum->show(); break;
    case TFilterEditor::CustID: ui->editCustID->show(); break;
    case TFilterEditor::SerialNum: ui->editSerialNum->show(); break;
    case TFilterEditor::TrueFalse: ui->cbTrueFalse->show(); break;
    case TFilterEditor::Result: ui->cbResult->show(); break;
    case TFilterEditor::Text: ui->editValue->show(); break;
    }
    ui->cbOperator->setCurrentIndex(0);
}

void TF_Filter::TakeValue(const std::string& value)
{
    const int row = ui->cbFieldName->currentIndex();
    switch (row < 0 ? TFilterEditor::Text : FilterEditorOf(row)) {
    case TFilterEditor::DateTime: {
        const std::size_t blank = value.find(' ');
        rtl::TDateTime date = 0, time = 0;
        if (rtl::TryStrToDate(value.substr(0, blank), date)) {
            int y = 0, m = 0, d = 0;
            rtl::DecodeDate(date, y, m, d);
            ui->pickerDate->setDate(QDate(y, m, d));
        }
        if (blank != std::string::npos && rtl::TryStrToTime(value.substr(blank + 1), time)) {
            int h = 0, n = 0, s = 0, z = 0;
            rtl::DecodeTime(time, h, n, s, z);
            ui->pickerTime->setTime(QTime(h, n, s));
        }
        break;
    }
    case TFilterEditor::MailerNum: ui->maskeditMailerNum->setText(Q(value)); break;
    case TFilterEditor::CustID: ui->editCustID->SetText(value); break;
    case TFilterEditor::SerialNum: ui->editSerialNum->SetText(value); break;
    case TFilterEditor::TrueFalse: ui->cbTrueFalse->setCurrentText(Q(value)); break;
    case TFilterEditor::Result: ui->cbResult->setCurrentText(Q(value)); break;
    case TFilterEditor::Text: ui->editValue->setText(Q(value)); break;
    }
}

void TF_Filter::Refuse(const char* message, QWidget* control)
{
    ui::ShowError(message);
    control->setFocus();
}

void TF_Filter::btnOKClick()
{
    const int row = ui->cbFieldName->currentIndex();
    if (row < 0) return Refuse("Your must select a field name.", ui->cbFieldName);
    std::string value;
    switch (FilterEditorOf(row)) {
    case TFilterEditor::Text: {
        value = S(ui->editValue->text());
        double amount = 0;
        if (rtl::Trim(value).empty()) return Refuse("You must enter a value.", ui->editValue);
        if (IsMoneyFilterRow(row) && !rtl::TryStrToFloat(value, amount))
            return Refuse("Your must enter a numeric value.", ui->editValue);
        break;
    }
    case TFilterEditor::TrueFalse: value = S(ui->cbTrueFalse->currentText()); break;
    case TFilterEditor::MailerNum: {
        // Older logs' 20 digits, the 22 this program prints, or a scan.
        const std::optional<TMailerNumberKey> key = MailerNumberKey(S(ui->maskeditMailerNum->text()));
        if (!key) return Refuse("Your must enter a full Mailer Number.", ui->maskeditMailerNum);
        value = key->Display;
        break;
    }
    case TFilterEditor::DateTime: {
        const QTime time = ui->pickerTime->time();
        value = rtl::FormatDateTime(rtl::ShortDateFormat, FromQDate(ui->pickerDate->date())) + " " +
                rtl::FormatDateTime(rtl::LongTimeFormat, rtl::EncodeTime(time.hour(), time.minute(), time.second()));
        break;
    }
    case TFilterEditor::CustID:
        value = ui->editCustID->Text();
        if (value.find(' ') != std::string::npos)
            return Refuse("Your must enter a full Customer ID.", ui->editCustID);
        break;
    case TFilterEditor::SerialNum:
        value = rtl::StringReplace(ui->editSerialNum->Text(), " ", "");
        if (value.empty()) return Refuse("Your must enter a Serial Number.", ui->editSerialNum);
        break;
    case TFilterEditor::Result: value = S(ui->cbResult->currentText()); break;
    }
    gFilterField = std::to_string(row);
    gFilterOperator = S(ui->cbOperator->currentText());
    gFilterValue = value;
    done(ui::mrOk);
}
