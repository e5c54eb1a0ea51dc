#pragma once
// The default fees: postage, additional ounce, certified and return receipt
// fees and the restricted delivery default. OK stores them in the settings
// variables as shown; a fee that is neither blank nor an amount of 0 or more
// is named and the dialog stays open.

#include <QDialog>

#include <memory>

class QLineEdit;

namespace Ui {
class TF_PostageFees;
}

class TF_PostageFees : public QDialog {
    Q_OBJECT

public:
    explicit TF_PostageFees(QWidget* parent = nullptr);
    ~TF_PostageFees() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cbRestrictedClick();
    void btnOKClick();
    // A fee edit just left: its amount in money form, or unchanged when it is
    // not a number.
    static void FeeExit(QLineEdit* edit);

    const std::unique_ptr<Ui::TF_PostageFees> ui;
};
