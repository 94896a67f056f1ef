#pragma once
// One QApplication for a whole test program (gtest_main owns main()), on the offscreen platform
// unless the environment names another. A program registers it once:
//   const auto* const g_qt = ::testing::AddGlobalTestEnvironment(new QtApp);

#include <QApplication>

#include <memory>

#include <gtest/gtest.h>

class QtApp : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "tarvo-test";
        static char* argv[] = {name, nullptr};
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};
