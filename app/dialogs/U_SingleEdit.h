#pragma once
// The dialog that asks for one text (a new group or filter name, a search
// text, a folder name). The caller sets the captions and the first text; OK
// leaves the text in gSingleEditText and refuses a blank field.

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TF_SingleEdit;
}

class TF_SingleEdit : public QDialog {
    Q_OBJECT

public:
    explicit TF_SingleEdit(QWidget* parent = nullptr);
    ~TF_SingleEdit() override;

    void Prepare(const std::string& caption, const std::string& groupCaption, const std::string& text);

private slots:
    void btnOKClick();

private:
    const std::unique_ptr<Ui::TF_SingleEdit> ui;
};

// The auto-created instance (made by the main block), or nullptr.
extern TF_SingleEdit* F_SingleEdit;
