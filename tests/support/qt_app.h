// One QApplication for a whole GoogleTest program, made before the first test
// runs; widget tests include this once per executable.
#pragma once

#include <memory>

#include <QApplication>
#include <gtest/gtest.h>

namespace tessaly::testing {

class QtApp : public ::testing::Environment {
public:
    void SetUp() override {
        // Widget tests run without a display unless the caller chose one.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "tessaly-test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const qt_app_env =
    ::testing::AddGlobalTestEnvironment(new QtApp);

}  // namespace tessaly::testing
