#pragma once
// The check list of addresses to print in one go. The caller fills it from
// its address list with AddAddress, sets the caption, shows it modally and,
// after OK, takes the check marks back by address ID (CheckMarkOf), so an
// address list that changed order or content meanwhile gets the right marks.

#include "app/data/U_Records.h"

#include <QDialog>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QListWidgetItem;

namespace Ui {
class TF_MassPrint;
}

// The hint of an address: its four lines and the city line, the non-empty
// ones joined by LF CR.
std::string MassPrintHint(const TAddressRec& Rec);

class TF_MassPrint : public QDialog {
    Q_OBJECT

public:
    explicit TF_MassPrint(QWidget* parent = nullptr);
    ~TF_MassPrint() override;

    // Lists a copy of the address under Caption with the given check mark;
    // an address whose ID is already listed is skipped.
    void AddAddress(const TAddressRec& Rec, const std::string& Caption, bool Checked);

    // The check mark of the listed address with this ID, or nothing when it
    // is not listed.
    std::optional<bool> CheckMarkOf(std::int32_t ID) const;
    // The checked addresses, in list order.
    std::vector<TAddressRec> CheckedAddresses() const;

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void cbAllClick(bool checked);
    void miSelectAllClick();
    void miUnselectAllClick();

private:
    const std::unique_ptr<Ui::TF_MassPrint> ui;
    std::vector<TAddressRec> records_;  // one per list item, in list order
    std::set<std::int32_t> ids_;
};
