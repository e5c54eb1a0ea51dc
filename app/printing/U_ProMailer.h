#pragma once
// The mailer-number counter in table MailerNum: the customer ID, the next
// serial, whether serials count up or down and whether article barcodes are
// printed. The dialog holds MailerNum exclusively while it is open, so no
// other station numbers mailers meanwhile, and closes it (clearing
// Exclusive) when it closes, OK or not.
//
// With barcodes off the dialog shows the article data built from the
// customer ID and serial, but keeps and stores the two as they were entered:
// the data depends on the recipient's ZIP and is only shown.

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class TEdsTable;

namespace Ui {
class TF_ProMailer;
}

// Opens the database folder settings. The window that provides them installs
// it; while it is empty the dialog's Change button is disabled.
extern std::function<void(QWidget* parent)> gShowDatabaseFolders;

// Where the customer IDs are handed out; the dialog's link opens it.
inline constexpr const char* kCustIDRegistryAddress = "https://gateway.usps.com";

// A serial as the counter keeps it: left-padded with "0" to 7 characters,
// then its rightmost 7.
std::string NormalizedSerial(const std::string& serial);

// A path shortened to fit a label: when wider than 310 pixels, leading folders
// are dropped one at a time while it is at least 297 wide and a separator
// remains, and ".../" goes in front.
std::string ShortenedPath(const std::string& path, const std::function<int(const std::string&)>& widthOf);

class TF_ProMailer : public QDialog {
    Q_OBJECT

public:
    // Opens MailerNum in gMailerNumDB exclusively and shows its row; the
    // database layer's error when that is refused reaches the caller.
    explicit TF_ProMailer(TEdsTable& MailerNum, QWidget* parent = nullptr);
    ~TF_ProMailer() override;

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void cbPrintBarCodesClick();
    void btnHelpClick();
    void btnChangeYourDBClick();
    void btnOKClick();

private:
    void LoadMailerNum();
    void EditSerialNumExit();
    void ShowHelpForMode();
    void CloseMailerNum() noexcept;

    const std::unique_ptr<Ui::TF_ProMailer> ui;
    TEdsTable& table_;
    bool helpShowing_ = false;
    bool holding_ = false;  // MailerNum opened here and not yet released
};
