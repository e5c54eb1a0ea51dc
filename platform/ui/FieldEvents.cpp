#include "platform/ui/FieldFocus.h"

#include <QFocusEvent>

namespace ui {

bool LeavesField(const QEvent* event)
{
    if (event->type() != QEvent::FocusOut) return false;
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

}  // namespace ui
