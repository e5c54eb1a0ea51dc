#pragma once
// A custom report: a name, an orientation and the log columns in order.
// Space is counted in whole hundredths of an inch, so columns that fill the
// page exactly are accepted.

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TF_CreateReport;
}
class TdmSendoPro;

class TF_CreateReport : public QDialog {
    Q_OBJECT

public:
    explicit TF_CreateReport(TdmSendoPro& dm, QWidget* parent = nullptr);
    ~TF_CreateReport() override;

    // The width in inches between "(" and ")" of a caption ("Date and Time(1.4)").
    static double GetFieldWidth(const std::string& caption);

private slots:
    void btnAddFieldClick();
    void btnRemoveFieldClick();
    void MoveField(int step);
    void rgOrientationClick();
    void btnOKClick();

private:
    void ShowSpace();
    // The Reports row and its Report_Detail rows, all or nothing.
    void SaveReport(const std::string& name);

    TdmSendoPro& dm_;
    const std::unique_ptr<Ui::TF_CreateReport> ui;
    int availableHundredths_ = 700;
    int usedHundredths_ = 0;
};
