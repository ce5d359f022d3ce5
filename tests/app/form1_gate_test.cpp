// What the user does while the engine is inside one of its calls (its yields,
// its boxes) is held and runs as soon as the call has returned, in the order
// it came: a signal or a close is acted on within a step's time, even when
// every step of a run waits the programming time; a held click meets the
// engine as one on a free engine would; and whatever opens after the chip's
// voltages-off finds that message already on the line.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>

#include <csignal>

#include <unistd.h>

#include "drillkit.h"
#include "view/bufferview.h"
#include "view/celleditor.h"
#include "qt_app.h"
#include "tempfolder.h"

using namespace tessaly;
using test::Answer;
using test::ends_powered_off;
using test::inside_next_call;
using test::last_power_message;
using test::SimWindow;
using test::starts;

namespace {

constexpr int program_all = 0;

// Every FLASH and EEPROM location to be programmed: the PIC16F628A's list
// waits the programming time after each of them.
void fill_buffers(SimWindow& s) {
    ChipImage& image = s.window->chipimage();
    for (std::int32_t& w : image.flashbuf) w = 0x1234;
    for (std::int32_t& b : image.eeprombuf) b = 0x56;
}

// The Tools menu item of an operation, as a held click would reach it.
QAction* tools_item(SimWindow& s, const char* caption) {
    for (QAction* a : s.window->menu3->actions()) {
        if (a->text() == QString(caption)) return a;
    }
    ADD_FAILURE() << "no Tools item " << caption;
    return nullptr;
}

void switch_vpp_on(SimWindow& s, const QString& trace) {
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    ASSERT_TRUE(test::wait_until([&] { return test::powered_on(trace); }, 3000));
    ASSERT_TRUE(test::wait_until([&] { return s.window->engine().phase() == Engine::Phase::vpp_on; }, 3000));
}

}  // namespace

// A signal or a close that comes during Program All is acted on within a
// fifth of a second, whatever the programming time waited after every word.
TEST(Form1Gate, SignalAndCloseAreActedOnAtOnceWhileEveryWordWaits) {
    for (const int progtime : {10, 20, 30}) {
        for (const bool signal : {true, false}) {
            SCOPED_TRACE(std::to_string(progtime) + " ms, " + (signal ? "SIGTERM" : "a close"));
            for (int signo : {SIGTERM, SIGHUP, SIGINT}) std::signal(signo, SIG_DFL);
            SimWindow s;
            fill_buffers(s);
            s.window->curdevice().progtime = progtime;
            QElapsedTimer since;
            qint64 acted = -1;
            s.window->exit_by_signal = [&](int) { acted = since.elapsed(); };
            Answer yes("Yes", [&] { acted = since.elapsed(); });
            s.click(program_all);
            ASSERT_TRUE(test::wait_until([&] { return starts(s.status(), "F:5/"); }, 10000)) << s.status();
            // Inside a step, as the window system or the signal pipe hands
            // it over nearly always when every step waits.
            bool fired = false;
            QTimer inside;
            QObject::connect(&inside, &QTimer::timeout, [&] {
                if (fired || !s.window->engine().inside()) return;
                fired = true;
                since.start();
                if (signal) {
                    // Taken here, as one that came in a wait would be taken
                    // at the step's next yield.
                    ::kill(::getpid(), SIGTERM);
                    QCoreApplication::processEvents();
                    QCoreApplication::processEvents();
                } else {
                    s.window->close();
                }
            });
            inside.start(1);
            EXPECT_TRUE(test::wait_until([&] { return acted >= 0; }, 5000)) << s.status();
            EXPECT_LT(acted, 200) << "acted on after " << acted << " ms";
            EXPECT_TRUE(test::wait_until([&] { return !s.window->isVisible() || signal; }, 3000));
            EXPECT_TRUE(s.window->engine().ending());
        }
    }
}

// A Tools item held inside Test Vpp's voltages-on meets Test Vpp on and is
// refused with the busy text; held inside its voltages-off it runs, as a
// click after the off would.
TEST(Form1Gate, AHeldOperationRunsOrIsRefusedWithTheBusyText) {
    for (const bool switching_on : {true, false}) {
        SCOPED_TRACE(switching_on ? "inside the voltages-on" : "inside the voltages-off");
        const test::TempFolder dir;
        const QString trace = QString::fromStdString(dir.file("trace.txt"));
        SimWindow s({"--trace", trace});
        if (!switching_on) switch_vpp_on(s, trace);
        bool inside = false;
        inside_next_call(s, [&] {
            inside = s.window->engine().inside();
            tools_item(s, "&Blank Check")->trigger();
        });
        QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
        EXPECT_TRUE(inside) << "the click did not come inside the call";
        if (switching_on) {
            EXPECT_TRUE(test::wait_until([&] { return s.status() == busy_text; }, 2000)) << s.status();
            EXPECT_TRUE(s.window->engine().opstate().testvpp);
        } else {
            EXPECT_TRUE(test::wait_until([&] { return starts(s.status(), "Chip is "); }, 10000))
                << s.status();
        }
    }
}

// Two clicks held inside one call run in the order they came: the first
// starts its operation, the second then finds it running.
TEST(Form1Gate, HeldActionsRunInTheOrderTheyCame) {
    const test::TempFolder dir;
    const QString trace = QString::fromStdString(dir.file("trace.txt"));
    SimWindow s({"--trace", trace});
    switch_vpp_on(s, trace);
    inside_next_call(s, [&] {
        tools_item(s, "&Blank Check")->trigger();
        tools_item(s, "&Verify")->trigger();
    });
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    ASSERT_TRUE(test::wait_until([&] { return s.window->engine().pending(); }, 2000));
    EXPECT_EQ(s.window->engine().opstate().opname, "blank");
    EXPECT_TRUE(test::wait_until([&] { return s.status() == busy_text; }, 2000)) << s.status();
    EXPECT_TRUE(test::wait_until([&] { return !s.window->engine().busy(); }, 10000));
}

// A click on the file label or a model label that comes inside the
// voltages-off of Test Vpp or of a stopped run opens its dialog only once the
// call has returned, with the voltages-off already on the line.
TEST(Form1Gate, ADialogOpensOnlyAfterTheVoltagesOffIsOut) {
    const struct {
        const char* name;
        bool stop;  // a stopped run rather than Test Vpp switched off
        bool model;  // the model label rather than the file label
    } cases[] = {
        {"file label, Test Vpp off", false, false},
        {"model label, Test Vpp off", false, true},
        {"file label, a stop", true, false},
        {"model label, a stop", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempFolder dir;
        const QString trace = QString::fromStdString(dir.file("trace.txt"));
        SimWindow s({"--trace", trace});
        int opened = 0;
        bool opened_inside = true;
        bool off_before = false;
        const auto seen = [&] {
            ++opened;
            opened_inside = s.window->engine().inside();
            off_before = ends_powered_off(trace);
        };
        s.window->file_chooser = [&](const FileRequest&) {
            seen();
            return std::string();
        };
        Answer cancel("Cancel", seen);  // the model list
        Answer ok("OK");                // the stop's box
        if (c.stop) {
            fill_buffers(s);
            s.click(program_all);
            ASSERT_TRUE(test::wait_until([&] { return starts(s.status(), "F:"); }, 10000)) << s.status();
        } else {
            switch_vpp_on(s, trace);
        }
        QLabel* label = c.model ? s.window->Label1 : s.window->Label7;
        bool inside = false;
        inside_next_call(s, [&] {
            inside = s.window->engine().inside();
            QTest::mouseClick(label, Qt::LeftButton);
        });
        if (c.stop) {
            s.window->engine().reply_timeout();  // as if the programmer had fallen silent
        } else {
            QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
        }
        EXPECT_TRUE(inside) << "the click did not come inside the call";
        EXPECT_TRUE(test::wait_until([&] { return opened > 0; }, 5000));
        EXPECT_EQ(opened, 1);
        EXPECT_FALSE(opened_inside) << "the dialog opened inside the call";
        EXPECT_TRUE(off_before) << last_power_message(trace);
    }
}

// Held actions run one after the other: a held operation does not start while
// the model list a held click before it opened still stands, and the model
// change cannot unlock the window under a run.
TEST(Form1Gate, AHeldActionWaitsForTheDialogOfTheOneBeforeIt) {
    const test::TempFolder dir;
    const QString trace = QString::fromStdString(dir.file("trace.txt"));
    SimWindow s({"--trace", trace});
    switch_vpp_on(s, trace);
    bool pending_in_dialog = false;
    bool unlocked_while_pending = false;
    bool inside = false;
    Answer select("Select", [&] {
        test::spin_until([&] { return s.window->engine().pending(); }, 500);
        pending_in_dialog = s.window->engine().pending();
    });
    inside_next_call(s, [&] {
        inside = s.window->engine().inside();
        QTest::mouseClick(s.window->Label1, Qt::LeftButton);
        tools_item(s, "&Program All")->trigger();
    });
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    ASSERT_TRUE(inside) << "the clicks did not come inside the call";
    ASSERT_TRUE(test::wait_until([&] { return select.given > 0; }, 5000));
    test::spin_until([&] {
        if (s.window->engine().pending() && s.unlocked()) unlocked_while_pending = true;
        return !s.window->engine().busy();
    }, 20000);
    EXPECT_FALSE(pending_in_dialog) << "Program All ran while the model list stood";
    EXPECT_FALSE(unlocked_while_pending) << "the model change unlocked the window during the run";
}

// A close that comes between a call's return and its held click does not
// overtake the click: no run starts behind the closed window.
TEST(Form1Gate, ACloseDoesNotOvertakeAHeldClick) {
    const test::TempFolder dir;
    const QString trace = QString::fromStdString(dir.file("trace.txt"));
    SimWindow s({"--trace", trace});
    s.click(3);  // Blank Check
    ASSERT_TRUE(test::wait_until([&] { return s.window->engine().settling(); }, 10000));
    bool inside = false;
    inside_next_call(s, [&] {
        inside = s.window->engine().inside();
        tools_item(s, "&Read All")->trigger();
    });
    s.window->engine().reply_timeout();  // the completion
    ASSERT_TRUE(inside) << "the click did not come inside the completion";
    Answer yes("Yes");
    s.window->close();
    test::spin_for(300);
    EXPECT_FALSE(!s.window->isVisible() && s.window->engine().pending())
        << "Read All runs behind the closed window";
    EXPECT_TRUE(ends_powered_off(trace)) << last_power_message(trace);
}

// A held Enter in the in-place editor does not store what Esc dropped after it.
TEST(Form1Gate, AHeldEnterDoesNotStoreAnEntryEscDropped) {
    SimWindow s;
    const std::int32_t before = s.window->chipimage().conf[0];
    QTest::mouseClick(s.window->view().label_conf[0], Qt::LeftButton);
    QLineEdit* box = s.window->editor().unosbox;
    ASSERT_TRUE(box->isVisible());
    QTest::keyClicks(box, "12");
    bool inside = false;
    inside_next_call(s, [&] {
        inside = s.window->engine().inside();
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    ASSERT_TRUE(inside) << "the keys did not come inside the call";
    test::spin_for(100);
    EXPECT_EQ(s.window->chipimage().conf[0], before) << "the dropped entry was stored";
}

// A signal is acted on at once even while a held close's question stands.
TEST(Form1Gate, ASignalDuringAHeldClosesQuestionActsAtOnce) {
    for (int signo : {SIGTERM, SIGHUP, SIGINT}) std::signal(signo, SIG_DFL);
    SimWindow s;
    fill_buffers(s);
    s.window->curdevice().progtime = 20;
    QElapsedTimer since;
    qint64 acted = -1;
    s.window->exit_by_signal = [&](int) { acted = since.elapsed(); };
    s.click(program_all);
    ASSERT_TRUE(test::wait_until([&] { return starts(s.status(), "F:5/"); }, 10000)) << s.status();
    int stage = 0;  // 1: the close came inside a step; 2: the signal inside one, the question standing
    QTimer inside;
    QObject::connect(&inside, &QTimer::timeout, [&] {
        if (!s.window->engine().inside()) return;
        if (stage == 0) {
            stage = 1;
            s.window->close();
        } else if (stage == 1 && QApplication::activeModalWidget() != nullptr) {
            stage = 2;
            since.start();
            ::kill(::getpid(), SIGTERM);
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
        }
    });
    inside.start(1);
    EXPECT_TRUE(test::wait_until([&] { return stage == 2; }, 5000));
    EXPECT_TRUE(test::wait_until([&] { return acted >= 0; }, 3000));
    EXPECT_LT(acted, 200) << "acted on after " << acted << " ms";
    if (QWidget* box = QApplication::activeModalWidget()) box->close();
}
