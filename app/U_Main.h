#pragma once
// The main window: one mailer's recipient, sender, text fields, fees and
// switches, the menus around them, and the program's start-up and shut-down
// (settings file, folders and tables, printer, first-show notices).

#include <QMainWindow>

#include <memory>
#include <string>
#include <vector>

class QLineEdit;
class TF_About;

namespace Ui {
class TF_Main;
}

// "Sendora Pro " and the program's version: the application title.
std::string ApplicationTitle();

class TF_Main : public QMainWindow {
    Q_OBJECT

public:
    // Runs the start-up (FormCreate). `splash` is the splash window to wait
    // for and to close on the first show (nullptr: none); `args` are the
    // program's arguments without the program name.
    TF_Main(std::unique_ptr<TF_About> splash, std::vector<std::string> args, QWidget* parent = nullptr);
    ~TF_Main() override;

    bool ZerosOn() const;
    bool MultipleForms() const { return multipleForms_; }
    // The first show's steps (notices) are still to run.
    bool FirstShowPending() const { return firstShowPending_; }

    // Fee edits' exits: the fee shown in money form, and the total refreshed.
    void editPostageExit();
    void editCertFeeExit();
    void editReturnExit();
    void editRestrictedExit();
    void editpriorityExit();
    // The ZIP edit's exit: fills a blank city or state from table ZIPCODES.
    void editToZipExit();
    void ApplyDefaultFees();

    // The entry's colours: greyed with Print disabled after a print with the
    // notice switched off, and back to editable on any change.
    void MarkEditable();
    void MarkPrinted();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FirstShow();
    void LoadSettings();
    void SaveSettings();
    void ShowYourAddress();
    void FillFromCommandLine();

    // The display text of a fee just left; refreshes editTotal with the fee
    // counted as it will show.
    std::string UpdateFeeTotal(const QLineEdit* fee);
    void FeeExit(QLineEdit* fee);
    void cbRestrictedClick();
    void cbPriorityClick();
    void CBReturnReceiptClick();
    void EDPosChange(QLineEdit* edit, int& cell);
    void memoToAddressChange();
    void memoToAddressExit();
    std::vector<std::string> MemoLines() const;

    void btnToClearClick();
    void btnToPasteClick();
    void btnCopyClick();
    void btnCloseDBClick();

    void miShowFeesOnClick();
    void miShowFeesOffClick();
    void miSaveValuesClick();
    void miCalculateClick();
    void miBatchOnClick();
    void miBatchOffClick();
    void miPrinterSetupClick();
    void miAboutClick();

    // Runs a start-up step; a failure is shown and start-up goes on.
    template <class Step>
    void Guarded(Step&& step);

    const std::unique_ptr<Ui::TF_Main> ui;
    std::unique_ptr<TF_About> splash_;
    std::vector<std::string> args_;
    bool created_ = false;
    bool firstShowPending_ = false;
    bool commandLineDone_ = false;
    bool multipleForms_ = false;
    bool trimmingMemo_ = false;
};
