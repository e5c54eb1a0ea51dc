#pragma once
// One QApplication for the widget tests of this program (offscreen). It goes
// when the tests end, before static destruction, which it must not outlive.

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace reporttest {

inline std::unique_ptr<QApplication>& AppSlot() {
    static std::unique_ptr<QApplication> app;
    return app;
}

class AppEnvironment : public ::testing::Environment {
public:
    void TearDown() override { AppSlot().reset(); }
};

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "report_tests";
    static char* argv[] = {name, nullptr};
    if (!AppSlot()) {
        AppSlot() = std::make_unique<QApplication>(argc, argv);
        // gtest owns its environments.
        ::testing::AddGlobalTestEnvironment(std::make_unique<AppEnvironment>().release());
    }
    return *AppSlot();
}

}  // namespace reporttest
