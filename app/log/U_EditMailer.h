#pragma once
// The mailer editor of the log window: the four fees (with their total), the
// restricted-delivery wish, the comment and the result of one log row. The
// row's values come in through the exchange variables below and OK puts the
// edited ones back there; Cancel leaves them alone.

#include "app/log/U_LogRules.h"

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TF_EditMailer;
}

// The row being edited, as texts the log holds.
extern std::string gLogPostage, gLogCertified, gLogReturn, gLogRestricted;
extern bool gLogWishRest;
extern std::string gLogComment, gLogResult;

// The exchange variables as one edit, and filled from one.
TMailerEdit LogEditExchange();
void SetLogEditExchange(const TMailerEdit& edit);

class TF_EditMailer : public QDialog {
    Q_OBJECT

public:
    explicit TF_EditMailer(QWidget* parent = nullptr);
    ~TF_EditMailer() override;

    // Formats a fee edit as money (one blank when it is blank, not a number or
    // negative) and refreshes the total of the four fees.
    void UpdateTotal(class QLineEdit* fee);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void cbRestrictedClick();
    void btnOKClick();

private:
    const std::unique_ptr<Ui::TF_EditMailer> ui;
};
