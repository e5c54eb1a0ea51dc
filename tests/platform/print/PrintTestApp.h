#pragma once
// One QApplication per test process (each test runs in its own process).

#include <QApplication>
#include <QCoreApplication>

inline void EnsureQtApp()
{
    if (QCoreApplication::instance() != nullptr)
        return;
    static int argc = 1;
    static char name[] = "print_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}
