#pragma once
// How many forms or labels to print with the same address (1 to 100). OK
// stores gNumLabels; the field is checked when it is left and again on OK.

#include <QDialog>

#include <memory>

namespace Ui {
class TF_NumLabels;
}

class TF_NumLabels : public QDialog {
    Q_OBJECT

public:
    explicit TF_NumLabels(QWidget* parent = nullptr);
    ~TF_NumLabels() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void btnOKClick();

private:
    // The checks of leaving the field; false (after the message) when the
    // count cannot be used.
    bool editNumLabelsExit();

    const std::unique_ptr<Ui::TF_NumLabels> ui;
    bool checking_ = false;
};
