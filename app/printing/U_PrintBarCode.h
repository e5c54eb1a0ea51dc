#pragma once
// Sheets of blank barcode labels: the customer ID and first serial to print
// and how many labels. The dialog opens table MailerNum exclusively (so no
// other station numbers mailers meanwhile) and leaves it open: the caller
// prints, then closes the table and clears Exclusive, whether OK was pressed
// or not. OK stores gCustID, gSerialNum and gNumLabels; it refuses a first
// serial the counter has handed out already.

#include <QDialog>

#include <memory>
#include <string>

class TEdsTable;

namespace Ui {
class TF_PrintBarCode;
}

class TF_PrintBarCode : public QDialog {
    Q_OBJECT

public:
    // Opens MailerNum in gMailerNumDB on MailerNum exclusively; the database
    // layer's error when that is refused reaches the caller.
    explicit TF_PrintBarCode(TEdsTable& MailerNum, QWidget* parent = nullptr);
    ~TF_PrintBarCode() override;

    // The direction of the counter, and so of the labels' serials: up with
    // barcodes on or counting up, else down.
    bool CountsUp() const { return countsUp_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void btnOKClick();

private:
    // The checks of leaving each field; false (after the message) when the
    // value cannot be printed with.
    bool editCustIDExit();
    bool editNumLabelsExit();

    const std::unique_ptr<Ui::TF_PrintBarCode> ui;
    bool checking_ = false;
    bool countsUp_ = true;
    std::string counter_;  // the serial the counter hands out next
};
