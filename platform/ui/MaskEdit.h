#pragma once
// A line edit with an edit mask (see EditMask.h): typing overwrites, skips
// the literals and refuses what the position does not take; the program
// reads Text() and assigns with SetText(). Without a mask it is a plain edit.
//
// Use Text()/SetText(), not QLineEdit's text()/setText(), which see the edit
// text with its blank characters. textChanged fires on every change, typed
// or assigned.

#include "platform/ui/EditMask.h"

#include <QLineEdit>

#include <string>

namespace ui {

class MaskEdit : public QLineEdit {
    Q_OBJECT
    // Lets a form layout set the mask.
    Q_PROPERTY(QString editMask READ editMaskQ WRITE setEditMaskQ)

public:
    explicit MaskEdit(QWidget* parent = nullptr);

    const std::string& EditMaskText() const { return mask_.Source(); }
    // Keeps the current text, re-read through the new mask.
    void SetEditMask(const std::string& mask);

    std::string Text() const;
    void SetText(const std::string& text);
    std::string EditText() const;
    void SetEditText(const std::string& editText);

    // Every required position filled (always true without a mask).
    bool IsComplete() const;

    QString editMaskQ() const { return QString::fromStdString(mask_.Source()); }
    void setEditMaskQ(const QString& mask) { SetEditMask(mask.toStdString()); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void Show(const std::string& editText, std::size_t cursor);
    void InsertText(const std::string& typed);
    // Empties the selected positions; returns where the selection began,
    // or the cursor position when nothing was selected.
    std::size_t ClearSelection(std::string& edit);

    EditMask mask_;
};

}  // namespace ui
