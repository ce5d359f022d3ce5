// One QApplication for a whole GoogleTest program, made before the first test
// runs, with a guard that fails a test whose modal box nobody answers; widget
// tests include this once per executable.
#pragma once

#include <memory>

#include <QApplication>
#include <gtest/gtest.h>

#include "boxguard.h"

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
        guard_ = std::make_unique<BoxGuard>();
    }
    void TearDown() override {
        guard_.reset();
        app_.reset();
    }

private:
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<BoxGuard> guard_;
};

inline ::testing::Environment* const qt_app_env =
    ::testing::AddGlobalTestEnvironment(new QtApp);

}  // namespace tessaly::testing
