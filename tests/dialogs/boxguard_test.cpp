// The guard every widget test runs under: a box that nobody answers is
// closed within a short time and fails the test that met it, with its text;
// a box that a test answers is left to the test.
#include <functional>
#include <string>

#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "boxguard.h"
#include "dialogs/boxes.h"
#include "dialogs/form08.h"
#include "qt_app.h"
#include "themes/theme.h"

namespace tessaly {
namespace {

struct BoxGuardTest : ::testing::Test {
    AppInfo app;
    Theme theme;
    Boxes boxes{app, theme};

    BoxGuardTest() { apply_theme_row(*find_theme("Original Lite"), theme); }
};

TEST_F(BoxGuardTest, ClosesABoxNobodyAnswersAndFailsTheTest) {
    const struct {
        const char* what;
        std::function<void()> show;
    } cases[] = {
        {"message box", [&] { EXPECT_EQ(boxes.show_msgbox("Nobody answers this one.", box_yesno), answer_no); }},
        {"input box", [&] { EXPECT_EQ(boxes.show_inputbox("Nobody answers this one.", "12"), ""); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const testing::BoxGuard guard(300);
        QElapsedTimer waited;
        waited.start();
        EXPECT_NONFATAL_FAILURE(c.show(), "Nobody answers this one.");
        EXPECT_LT(waited.elapsed(), 3000);
    }
}

TEST_F(BoxGuardTest, LeavesABoxThatIsAnsweredInTime) {
    const testing::BoxGuard guard(2000);
    QTimer::singleShot(700, [] {
        if (auto* box = qobject_cast<Form08*>(QApplication::activeModalWidget())) box->Command1->click();
    });
    EXPECT_EQ(boxes.show_msgbox("Answered after a while.", box_yesno), answer_yes);
}

}  // namespace
}  // namespace tessaly
