#pragma once
// One QApplication per test process, for tests that need fonts, images or widgets
// (offscreen). It is made on first use and goes when the tests end, before static
// destruction, which it must not outlive.

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

inline std::unique_ptr<QApplication>& QtAppSlot() {
    static std::unique_ptr<QApplication> app;
    return app;
}

class QtAppEnvironment : public ::testing::Environment {
public:
    void TearDown() override { QtAppSlot().reset(); }
};

inline void EnsureQtApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "sendora_tests";
    static char* argv[] = {name, nullptr};
    QtAppSlot() = std::make_unique<QApplication>(argc, argv);
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);  // gtest owns it
}

}  // namespace testsupport
