#pragma once
// Whether the form's extra label carries an address, and which one. OK stores
// gPrintExtraLabel ("Yes"/"No") and gExtraLabel ("Addressed To" or
// "Your Name and Address"; any other text becomes "Addressed To").

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TF_ExtraLabel;
}

inline constexpr const char* kExtraLabelAddressedTo = "Addressed To";
inline constexpr const char* kExtraLabelYourAddress = "Your Name and Address";

// The stored extra-label text for what the combo box shows.
std::string ExtraLabelChoice(const std::string& comboText);

class TF_ExtraLabel : public QDialog {
    Q_OBJECT

public:
    explicit TF_ExtraLabel(QWidget* parent = nullptr);
    ~TF_ExtraLabel() override;

private slots:
    void rgExtraLabelClick();
    void btnOKClick();

private:
    const std::unique_ptr<Ui::TF_ExtraLabel> ui;
};
