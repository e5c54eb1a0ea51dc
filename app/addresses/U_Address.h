#pragma once
// The dialog that edits one name-and-address block. The caller fills the
// gEditAddress1..4, gEditCity, gEditState and gEditZip strings, sets the
// group box caption, shows it modally and on OK reads the strings back.

#include <QDialog>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TAddressRec;

namespace Ui {
class TF_Address;
}

// The statement that saves the exchange strings over row `read` of `table`
// (Address or YourAddress, which share their columns) after an edit: only
// the fields that changed, and only while the row still holds them as read.
// Nothing when nothing changed. RunRowEdit runs it.
std::optional<std::string> AddressEditSql(const std::string& table, const TAddressRec& read);

class TF_Address : public QDialog {
    Q_OBJECT

public:
    explicit TF_Address(QWidget* parent = nullptr);
    ~TF_Address() override;

    // The caption of the group box gbAddress.
    void SetCaption(const std::string& caption);

    // Whether OK may close the dialog: some line, city, state or ZIP holds text.
    bool OkReturnsOk() const { return okReturnsOk_; }
    void UpdateOkButton();

    // Fills a blank city or state from table ZIPCODES when the ZIP has five
    // characters and city or state is still blank.
    void ZipLookup();

    std::vector<std::string> MemoLines() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void memoAddressChange();
    void btnClearClick();
    void btnPasteClick();
    void btnCopyClick();
    void btnOKClick();

private:
    // Shows the exchange strings; blank address lines close up.
    void LoadFromGlobals();

    const std::unique_ptr<Ui::TF_Address> ui;
    bool okReturnsOk_ = false;
};
