#pragma once
// Postage by weight: the first ounce at the postage fee, each further ounce
// at the additional-ounce fee, up to 13 ounces. OK leaves the price in
// gSingleEditText (empty when the weight is beyond the table).

#include <QDialog>

#include <memory>

namespace Ui {
class TF_CalculatePostage;
}

class TF_CalculatePostage : public QDialog {
    Q_OBJECT

public:
    explicit TF_CalculatePostage(QWidget* parent = nullptr);
    ~TF_CalculatePostage() override;

    // The up-down's position (1 to 99).
    int Position() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void editOuncesChange();
    void btnOKClick();

    const std::unique_ptr<Ui::TF_CalculatePostage> ui;
};
