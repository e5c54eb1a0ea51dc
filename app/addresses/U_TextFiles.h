#pragma once
// The tick grid of an address import: every address read from the file in
// a row of its own, ticked at first unless it is Altered; "Add to Database"
// adds the ticked rows to Address or YourAddress in one go, or, when one of
// them fails, none.

#include "app/addresses/U_AddressText.h"

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TF_TextFiles;
}
class TTickGridModel;

class TF_TextFiles : public QDialog {
    Q_OBJECT

public:
    // Target: 1 the address book (Address in gAddressDB), 0 the sender
    // addresses (YourAddress in gYourAddressDB).
    explicit TF_TextFiles(int Target, QWidget* parent = nullptr);
    ~TF_TextFiles() override;

    // Appends one data row, not ticked.
    void AddAddressRow(const TTextAddress& Address);
    // Appends many rows at once (a whole file).
    void AddAddressRows(std::vector<TTextAddress> Addresses);
    // Toggles data row `Row` (1-based); row 0, the header, ticks every row
    // when it is not ticked itself and unticks every row when it is.
    void ToggleTick(int Row);
    // The header is ticked exactly when every data row is.
    void UpdateTickAllMark();

    // The grid's cell text: column 0 holds " " for a tick and "" else; row 0
    // is the header.
    std::string Cell(int Col, int Row) const;
    int RowCount() const;  // data rows
    int Target() const { return target_; }
    // The rows added by the last "Add to Database".
    std::size_t Added() const { return added_; }

    // Adds every ticked row, in row order, then tells how many and closes
    // with OK. A row the table refuses leaves the table as it was, and the
    // grid open, with the row's line named.
    void btnAddtoDBClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const std::unique_ptr<Ui::TF_TextFiles> ui;
    std::unique_ptr<TTickGridModel> model_;
    int target_;
    bool shown_ = false;
    std::size_t added_ = 0;
};
