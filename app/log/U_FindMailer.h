#pragma once
// What to look for in the log: a mailer number ("1") or a part of the
// addressee's name ("2"). OK checks the entry and leaves it in
// gSingleEditText (a number without its blanks) and the kind in
// gFindMailerType; a refused entry keeps the dialog open.

#include <QDialog>

#include <memory>

namespace Ui {
class TF_FindMailer;
}

class TF_FindMailer : public QDialog {
    Q_OBJECT

public:
    explicit TF_FindMailer(QWidget* parent = nullptr);
    ~TF_FindMailer() override;

private slots:
    void btnOKClick();

private:
    const std::unique_ptr<Ui::TF_FindMailer> ui;
};
