#include "app/receipts/U_MultiMailers.h"

#include "app/data/U_TextRoutines.h"
#include "platform/ui/MessageService.h"

#include "ui_U_MultiMailers.h"

TF_MultiMailers::TF_MultiMailers(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_MultiMailers>())
{
    ui->setupUi(this);
    connect(ui->btnAddToList, &QPushButton::clicked, this, [this] { done(ui::mrOk); });
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TF_MultiMailers::~TF_MultiMailers() = default;

void TF_MultiMailers::AddItem(TMailerRec mailer)
{
    std::string line1 = mailer.ToAddress1, line2 = mailer.ToAddress2, line3 = mailer.ToAddress3,
                line4 = mailer.ToAddress4, extra;
    AddCityStateZipLine(line1, line2, line3, line4, extra, mailer.ToCity, mailer.ToState, mailer.ToZip);
    std::string hint = mailer.MailerNum;
    for (const std::string* line : {&line1, &line2, &line3, &line4, &extra})
        if (!line->empty()) hint += "\n\r" + *line;

    auto* item = new QListWidgetItem(QString::fromStdString(mailer.MailerNum + "  " + mailer.ToAddress1));
    item->setToolTip(QString::fromStdString(hint));
    ui->lvMailers->addItem(item);
    mailers_.push_back(std::move(mailer));
}

void TF_MultiMailers::SetMessage(const std::string& text) { ui->lblMain->setText(QString::fromStdString(text)); }

std::vector<TMailerRec> TF_MultiMailers::Selected() const
{
    std::vector<TMailerRec> out;
    for (int i = 0; i < ui->lvMailers->count(); ++i)
        if (ui->lvMailers->item(i)->isSelected()) out.push_back(mailers_[static_cast<std::size_t>(i)]);
    return out;
}
