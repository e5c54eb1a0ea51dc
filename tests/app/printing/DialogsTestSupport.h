#pragma once
// What the dialog tests do to a dialog's widgets: find one by its object name
// (a missing one fails the test) and tab out of a field.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFocusEvent>
#include <QWidget>

namespace dialogtest {

template <class T>
T* Find(const QWidget& w, const char* name)
{
    T* found = w.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// What the dialog sees when the user tabs out of a field.
inline void Leave(QWidget* field)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(field, &out);
}

}  // namespace dialogtest
