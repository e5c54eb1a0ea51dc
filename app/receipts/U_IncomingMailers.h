#pragma once
// Returned receipts: the open log rows (Result still "None") whose receipts
// came back are collected in a grid, by mailer number (typed or scanned) or
// by addressee name, each with the result to record; OK writes the results
// into the log, Cancel writes nothing. Statements run through the data
// module's edsqLog2 on the log folder.

#include <QDialog>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

class TdmSendoPro;

namespace Ui {
class TF_IncomingMailers;
}

class TF_IncomingMailers : public QDialog {
    Q_OBJECT

public:
    explicit TF_IncomingMailers(TdmSendoPro& dm, QWidget* parent = nullptr);
    ~TF_IncomingMailers() override;

    // Looks the entry up and adds what it finds (by number or by name, as
    // the entry kind is chosen).
    void LookUpMailer();
    // Appends a grid row for log row `lid` unless it is listed already;
    // false (after saying so) when it is.
    bool AddMailerRow(const std::string& lid, const std::string& number, const std::string& name);

    // How long the number field waits after the last key before a complete
    // number is looked up by itself (a scanner types one key at a time).
    static constexpr int kScanPauseMs = 300;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LookUpNumber();
    void LookUpName();
    void rgEnterDataClick();
    void maskeditMailerNumChange();
    void sgMailersSelectCell(int row, int column);
    void cbResultChange();
    void btnOKClick();
    // Runs a SELECT through edsqLog2; the rows as field texts.
    std::vector<std::vector<std::string>> Select(const std::string& sql, const std::vector<std::string>& fields);
    void CloseQuery() noexcept;

    TdmSendoPro& dm_;
    const std::unique_ptr<Ui::TF_IncomingMailers> ui;
    std::vector<std::string> lids_;  // LID of each grid row, in row order
    std::vector<bool> written_;      // per grid row: its statement ran
    std::vector<std::string> notRecorded_;  // numbers of rows found deleted or recorded elsewhere
    QTimer scanPause_;
};
