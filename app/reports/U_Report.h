#pragma once
// The list of reports over the log rows as the log window shows them: the
// project file's built-in reports and the user's own column lists (tables
// Reports and Report_Detail in the log folder). Both kinds read edsqLog as
// it stands, so the log window's filter limits every report.

#include "platform/report/ReportTypes.h"

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TF_Report;
}
class TdmSendoPro;
class QListWidgetItem;
namespace report {
struct ReportLayout;
}

class TF_Report : public QDialog {
    Q_OBJECT

public:
    explicit TF_Report(TdmSendoPro& dm, QWidget* parent = nullptr);
    ~TF_Report() override;

    void LoadReportList();
    // Runs the selected report to the preview or to the program's printer (or
    // the PDF file that stands for it); a failure is shown, not raised.
    void RunSelected(report::TReportDest dest);

private slots:
    void btnNewClick();
    void btnDeleteClick();
    void lvReportsSelect();

protected:
    void done(int result) override;

private:
    QListWidgetItem* Selected() const;
    void RunReport(const std::string& name, bool custom, bool portrait, report::TReportDest dest);
    // The preview window's Print button: the report it shows to a fresh
    // device for the program's printer (or the PDF file that stands for it);
    // a failure is shown and the preview stays open.
    void PrintFromPreview(const std::string& name, const report::ReportLayout& layout,
                          report::TOrientation orientation);

    TdmSendoPro& dm_;
    const std::unique_ptr<Ui::TF_Report> ui;
};
