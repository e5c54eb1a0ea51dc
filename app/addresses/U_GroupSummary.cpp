#include "app/addresses/U_GroupSummary.h"

#include "platform/ui/MessageService.h"

#include "ui_U_GroupSummary.h"

#include <QStyle>

TF_GroupSummary::TF_GroupSummary(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TF_GroupSummary>())
{
    ui->setupUi(this);
    ui->lvSummary->setColumnWidth(0, 28);
    ui->lvSummary->setColumnWidth(1, 36);
    ui->lvSummary->setColumnWidth(2, 220);
    connect(ui->ButtonOK, &QPushButton::clicked, this, [this] { done(ui::mrOk); });
}

TF_GroupSummary::~TF_GroupSummary() = default;

void TF_GroupSummary::AddLine(bool ok, const std::string& address, const std::string& result)
{
    auto* item = new QTreeWidgetItem(ui->lvSummary);  // the list owns its rows
    const int image = ok ? kImageDone : kImageError;
    item->setIcon(0, style()->standardIcon(ok ? QStyle::SP_DialogApplyButton : QStyle::SP_MessageBoxCritical));
    item->setData(0, Qt::UserRole, image);
    item->setText(1, QString::number(ui->lvSummary->topLevelItemCount()));
    item->setText(2, QString::fromStdString(address));
    item->setText(3, QString::fromStdString(result));
    if (ok)
        ++successes_;
    else
        ++errors_;
    ui->StatusBar->showMessage(QString::fromStdString(std::to_string(errors_ + successes_) + " item(s) processed; " +
                                                      std::to_string(errors_) + " error(s)"));
    ui->LabelActionSummary->setText(errors_ == 0
                                        ? "Action completed sucessfully."
                                        : "Action completed with errors. See details below for more information.");
}
