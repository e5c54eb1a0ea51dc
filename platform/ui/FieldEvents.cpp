#include "platform/ui/FieldEvents.h"

#include <QFocusEvent>

namespace ui {

bool LeavesField(const QEvent* event)
{
    if (event->type() != QEvent::FocusOut) return false;
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

bool DigitFieldRefuses(QChar typed)
{
    const bool control = typed.unicode() < 32 && typed != QChar('\r') && typed != QChar('\n');
    return !typed.isDigit() && !control;
}

}  // namespace ui
