#pragma once
// The printer alignment: how many steps (3 printer pixels each) the printed
// form moves across and down. OK stores gAlignLeftRight and gAlignTopBottom.

#include <QDialog>

#include <memory>

namespace Ui {
class TF_Align;
}

class TF_Align : public QDialog {
    Q_OBJECT

public:
    explicit TF_Align(QWidget* parent = nullptr);
    ~TF_Align() override;

private slots:
    void btnOKClick();

private:
    const std::unique_ptr<Ui::TF_Align> ui;
};
