#include "platform/ui/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace ui {

WaitCursor::WaitCursor() {
    // Without an application object there is no screen cursor to change
    // (code run from command-line tools and engine tests).
    if (qApp == nullptr) return;
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    active_ = true;
}

WaitCursor::~WaitCursor() { Restore(); }

void WaitCursor::Restore() {
    if (!active_) return;
    active_ = false;
    if (qApp != nullptr) QApplication::restoreOverrideCursor();
}

bool WaitCursorShowing() {
    if (qApp == nullptr) return false;
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}

}  // namespace ui
