#pragma once
// The results of a group action (adding addresses to a group, removing them),
// one row per address. The caller adds every row and then shows the dialog.

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TF_GroupSummary;
}

class TF_GroupSummary : public QDialog {
    Q_OBJECT

public:
    // The images of the first column.
    static constexpr int kImageError = 0;
    static constexpr int kImageDone = 1;

    explicit TF_GroupSummary(QWidget* parent = nullptr);
    ~TF_GroupSummary() override;

    // Adds one row and updates the counts, the status bar and the headline.
    void AddLine(bool ok, const std::string& address, const std::string& result);

    int Errors() const { return errors_; }
    int Successes() const { return successes_; }

private:
    const std::unique_ptr<Ui::TF_GroupSummary> ui;
    int errors_ = 0;
    int successes_ = 0;
};
