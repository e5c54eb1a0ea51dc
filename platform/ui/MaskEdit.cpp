#include "platform/ui/MaskEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QKeySequence>

namespace ui {

MaskEdit::MaskEdit(QWidget* parent) : QLineEdit(parent) {
    // Drops and the context menu would write past the mask.
    setAcceptDrops(false);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void MaskEdit::SetEditMask(const std::string& mask) {
    const std::string current = Text();
    mask_ = EditMask(mask);
    SetText(current);
}

std::string MaskEdit::Text() const { return mask_.TextOf(EditText()); }

void MaskEdit::SetText(const std::string& text) {
    // A plain edit leaves the cursor after the text, a masked one at its start.
    const std::string edit = mask_.EditTextFor(text);
    Show(edit, mask_.IsEmpty() ? edit.size() : 0);
}

std::string MaskEdit::EditText() const { return QLineEdit::text().toStdString(); }

void MaskEdit::SetEditText(const std::string& editText) {
    // An edit text holds its literals in place whatever the mask saves.
    if (mask_.IsEmpty()) {
        Show(editText, editText.size());
        return;
    }
    std::string edit = mask_.EmptyEditText();
    for (std::size_t pos = 0; pos < edit.size() && pos < editText.size(); ++pos)
        if (!mask_.IsLiteral(pos))
            if (const auto c = mask_.Accept(pos, editText[pos])) edit[pos] = *c;
    Show(edit, 0);
}

bool MaskEdit::IsComplete() const { return mask_.IsComplete(EditText()); }

void MaskEdit::Show(const std::string& editText, std::size_t cursor) {
    if (QLineEdit::text().toStdString() != editText) QLineEdit::setText(QString::fromStdString(editText));
    setCursorPosition(static_cast<int>(cursor));
}

std::size_t MaskEdit::ClearSelection(std::string& edit) {
    if (!hasSelectedText()) return static_cast<std::size_t>(cursorPosition());
    const auto from = static_cast<std::size_t>(selectionStart());
    mask_.Clear(edit, from, from + static_cast<std::size_t>(selectedText().size()));
    return from;
}

void MaskEdit::InsertText(const std::string& typed) {
    std::string edit = EditText();
    std::size_t cursor = ClearSelection(edit);
    for (const char c : typed)
        if (const auto next = mask_.Type(edit, cursor, c)) cursor = *next;
    Show(edit, cursor);
}

void MaskEdit::keyPressEvent(QKeyEvent* event) {
    if (mask_.IsEmpty() || isReadOnly()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (event == QKeySequence::Paste) {
        InsertText(QApplication::clipboard()->text().toStdString());
        return;
    }
    if (event == QKeySequence::Cut) {
        if (hasSelectedText()) QApplication::clipboard()->setText(selectedText());
        std::string edit = EditText();
        const std::size_t cursor = ClearSelection(edit);
        Show(edit, cursor);
        return;
    }
    if (event == QKeySequence::Undo || event == QKeySequence::Redo) return;
    switch (event->key()) {
        case Qt::Key_Backspace: {
            std::string edit = EditText();
            if (hasSelectedText()) {
                const std::size_t cursor = ClearSelection(edit);
                Show(edit, cursor);
            } else {
                const std::size_t cursor = mask_.Backspace(edit, static_cast<std::size_t>(cursorPosition()));
                Show(edit, cursor);
            }
            return;
        }
        case Qt::Key_Delete: {
            std::string edit = EditText();
            std::size_t cursor = static_cast<std::size_t>(cursorPosition());
            if (hasSelectedText()) {
                cursor = ClearSelection(edit);
            } else {
                const std::size_t target = mask_.NextEditable(cursor);
                mask_.Clear(edit, target, target + 1);
            }
            Show(edit, cursor);
            return;
        }
        default: break;
    }
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && typed.at(0).isPrint() &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (printable) {
        InsertText(typed.toStdString());
        return;
    }
    QLineEdit::keyPressEvent(event);  // moving, selecting, copying
}

void MaskEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // Entering by keyboard starts at the first position to fill.
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        setCursorPosition(static_cast<int>(mask_.NextEditable(0)));
}

}  // namespace ui
