#pragma once
// One line of a saved log filter: a field of the filter field table, an
// operator and a value, each field with its own value editor. The line comes
// in and goes out through gFilterField (the row as text), gFilterOperator and
// gFilterValue; empty strings open a new line, and an existing line's field
// cannot be changed. OK checks the value and keeps the dialog open on a
// refusal.

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class TF_Filter;
}

extern std::string gFilterField;
extern std::string gFilterOperator;
extern std::string gFilterValue;

class TF_Filter : public QDialog {
    Q_OBJECT

public:
    explicit TF_Filter(QWidget* parent = nullptr);
    ~TF_Filter() override;

private slots:
    void cbFieldNameChange();
    void btnOKClick();

private:
    void TakeValue(const std::string& value);
    // Refuses with `message`, focusing `control`.
    void Refuse(const char* message, QWidget* control);

    const std::unique_ptr<Ui::TF_Filter> ui;
};
