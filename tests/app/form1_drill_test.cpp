// Faults of the programmer met through the real main window: the simulator
// killed in the middle of a run, falling silent, and sending a byte nobody
// asked for. Each run must end with a message that says what happened, the
// interface unlocked and the buffers kept.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "drillkit.h"
#include "qt_app.h"
#include "tempfolder.h"

using namespace tessaly;
using test::Answer;
using test::any_says;
using test::BoxReader;
using test::ends_powered_off;
using test::inside_next_call;
using test::last_power_message;
using test::open_example;
using test::SimWindow;
using test::starts;

namespace {

constexpr int program_all = 0;
constexpr int read_all = 1;
constexpr int blank_check = 3;
constexpr int verify = 4;

bool same(const ChipImage& a, const ChipImage& b) {
    return a.flashbuf == b.flashbuf && a.eeprombuf == b.eeprombuf && a.conf == b.conf;
}

}  // namespace

// The programmer unplugged: the run ends at once, not after the reply time-out,
// and says which port was lost.
TEST(Form1Drill, SimulatorKilledDuringProgramAll) {
    SimWindow s({"--reply-delay-ms", "20"});
    const ChipImage loaded = open_example(s);
    BoxReader boxes;
    s.click(program_all);
    ASSERT_TRUE(test::wait_until([&] { return starts(s.status(), "F:"); }, 10000)) << s.status();
    s.sim.kill();
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(test::wait_until([&] { return s.idle(); }, 15000)) << s.status();
    // Well inside the 5 s a silent programmer is given, even on a busy machine.
    EXPECT_LT(t.elapsed(), 4500) << "the lost port was noticed only after " << t.elapsed() << " ms";
    EXPECT_TRUE(test::wait_until([&] { return !boxes.texts.empty(); }, 2000));
    EXPECT_TRUE(any_says(boxes.texts, "COM16")) << (boxes.texts.empty() ? "" : boxes.texts[0]);
    EXPECT_FALSE(any_says(boxes.texts, "did not answer"));
    EXPECT_FALSE(starts(s.status(), "Chip programmed.")) << s.status();
    EXPECT_TRUE(s.unlocked());
    EXPECT_TRUE(same(s.window->chipimage(), loaded));
}

TEST(Form1Drill, SilentProgrammerDuringProgramAll) {
    SimWindow s({"--stop-after", "20"});
    const ChipImage loaded = open_example(s);
    BoxReader boxes;
    EXPECT_EQ(s.run(program_all, 30000), "Operation stopped: the programmer did not answer!");
    EXPECT_TRUE(test::wait_until([&] { return !boxes.texts.empty(); }, 2000));
    EXPECT_TRUE(any_says(boxes.texts, "did not answer"));
    EXPECT_TRUE(s.unlocked());
    EXPECT_TRUE(same(s.window->chipimage(), loaded));
}

// A byte nobody asked for stops the run as out of step, never as programmed;
// a second Program All then writes the whole chip, as Verify shows.
TEST(Form1Drill, UnrequestedByteDuringProgramAll) {
    SimWindow s({"--extra-byte-after", "5"});
    const ChipImage loaded = open_example(s);
    BoxReader boxes;
    EXPECT_EQ(s.run(program_all), "Operation stopped: the programmer's replies are out of step!");
    EXPECT_TRUE(test::wait_until([&] { return !boxes.texts.empty(); }, 2000));
    EXPECT_TRUE(any_says(boxes.texts, "out of step")) << (boxes.texts.empty() ? "" : boxes.texts[0]);
    EXPECT_TRUE(s.unlocked());
    EXPECT_TRUE(same(s.window->chipimage(), loaded));
    boxes.texts.clear();
    EXPECT_TRUE(starts(s.run(program_all), "Chip programmed. ")) << s.status();
    EXPECT_TRUE(starts(s.run(verify), "Chip verified. ")) << s.status();
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts[0];
}

ChipImage blank_image(SimWindow& s) {
    ChipImage image;
    blank_buffers(s.window->curdevice(), image);
    return image;
}

// A byte nobody asked for, with a reply or on its own a moment later, shifts
// every later reply: the read is not called complete, and the buffers hold
// what they held before it, not half a chip over blank buffers.
TEST(Form1Drill, UnrequestedByteDuringReadAll) {
    const struct {
        const char* name;
        QStringList simargs;
    } cases[] = {
        {"with a reply", {"--extra-byte-after", "12"}},
        {"on its own after 30 ms", {"--extra-byte-after", "12", "--extra-byte-delay-ms", "30"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimWindow s(QStringList{"--load", QString::fromStdString(test::example_hex)} + c.simargs);
        const ChipImage before = blank_image(s);
        ASSERT_TRUE(same(s.window->chipimage(), before));
        BoxReader boxes;
        EXPECT_EQ(s.run(read_all), "Operation stopped: the programmer's replies are out of step!");
        EXPECT_TRUE(test::wait_until([&] { return !boxes.texts.empty(); }, 2000));
        EXPECT_TRUE(any_says(boxes.texts, "out of step")) << (boxes.texts.empty() ? "" : boxes.texts[0]);
        EXPECT_TRUE(any_says(boxes.texts, "back as they were before it"));
        EXPECT_TRUE(s.unlocked());
        EXPECT_TRUE(same(s.window->chipimage(), before));
    }
}

// A read of blink.hex from the chip: complete, no box, the file's words.
TEST(Form1Drill, CleanReadAllEndsWithNoBox) {
    SimWindow s({"--load", QString::fromStdString(test::example_hex)});
    const ChipImage loaded = open_example(s);
    s.window->menuclear_Click();
    BoxReader boxes;
    EXPECT_TRUE(starts(s.run(read_all), "Chip read. ")) << s.status();
    test::wait_until([] { return false; }, 100);
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts[0];
    EXPECT_TRUE(same(s.window->chipimage(), loaded));
}

// No chip in the socket, behind a programmer that does not mask the word:
// every word reads FFFFh. Read All keeps them and says so; Blank Check and
// Verify report them like any other mismatch.
TEST(Form1Drill, EmptySocketReadsFFFFh) {
    SimWindow s({"--empty-socket"});
    BoxReader boxes;
    EXPECT_TRUE(starts(s.run(read_all), "Chip read. ")) << s.status();
    EXPECT_TRUE(test::wait_until([&] { return !boxes.texts.empty(); }, 2000));
    EXPECT_TRUE(any_says(boxes.texts, "words read hold more than the 14 bits of a chip word, the "
                                      "first FLASH Word 0000h as FFFFh."))
        << (boxes.texts.empty() ? "" : boxes.texts[0]);
    EXPECT_EQ(s.window->chipimage().flashbuf.back(), 0xFFFF);
    const struct {
        int button;
        const char* status;
        const char* line;
    } checks[] = {
        {blank_check, "Chip is not blank. ", "FLASH Word 0000h,   FFFFh,   3FFFh,"},
        {verify, "Chip verify failed. ", "FLASH Word 0000h,   FFFFh,   "},
    };
    for (const auto& c : checks) {
        SCOPED_TRACE(c.status);
        open_example(s);
        boxes.texts.clear();
        EXPECT_TRUE(starts(s.run(c.button), c.status)) << s.status();
        EXPECT_TRUE(test::wait_until([&] { return !boxes.texts.empty(); }, 2000));
        EXPECT_TRUE(any_says(boxes.texts, c.line)) << (boxes.texts.empty() ? "" : boxes.texts[0]);
    }
}

namespace {

// Answers the question of a close, given in the middle of a Program All, with
// this button; how many times it was asked.
int close_during_program_all(SimWindow& s, const QString& answer) {
    open_example(s);
    Answer given(answer);
    s.click(program_all);
    EXPECT_TRUE(test::wait_until([&] { return starts(s.status(), "F:"); }, 10000)) << s.status();
    s.window->close();
    return given.given;
}

}  // namespace

// Closing the window in the middle of a run asks first; Yes stops the run and
// the chip's voltages are off before the program ends.
TEST(Form1Close, DuringAnOperationYesSwitchesTheVoltagesOff) {
    const test::TempFolder dir;
    const QString trace = QString::fromStdString(dir.file("trace.txt"));
    SimWindow s({"--reply-delay-ms", "20", "--trace", trace});
    EXPECT_EQ(close_during_program_all(s, "Yes"), 1);
    EXPECT_FALSE(s.window->isVisible());
    EXPECT_FALSE(s.window->engine().pending());
    EXPECT_TRUE(ends_powered_off(trace)) << last_power_message(trace);
}

TEST(Form1Close, DuringAnOperationNoKeepsItRunning) {
    SimWindow s({"--reply-delay-ms", "5"});
    EXPECT_EQ(close_during_program_all(s, "No"), 1);
    EXPECT_TRUE(s.window->isVisible());
    EXPECT_TRUE(test::wait_until([&] { return s.idle(); }, 60000));
    EXPECT_TRUE(starts(s.status(), "Chip programmed. ")) << s.status();
}

// With Test Vpp on there is nothing to ask: the voltages go off and the window closes.
TEST(Form1Close, WithTestVppOnSwitchesTheVoltagesOff) {
    const test::TempFolder dir;
    const QString trace = QString::fromStdString(dir.file("trace.txt"));
    SimWindow s({"--trace", trace});
    BoxReader boxes;
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    ASSERT_TRUE(test::wait_until([&] { return last_power_message(trace).find("power on") != std::string::npos; }, 3000));
    s.window->close();
    EXPECT_FALSE(s.window->isVisible());
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts[0];
    EXPECT_TRUE(ends_powered_off(trace)) << last_power_message(trace);
}

// A programmer that does not answer: Test Vpp must not go on saying the
// voltages are on.
TEST(Form1Drill, TestVppWithNothingAnsweringSaysSoAndSwitchesOff) {
    SimWindow s({"--stop-after", "0"});
    BoxReader boxes;
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    EXPECT_EQ(s.status(), "Vpp and Vdd voltages turned ON!");
    EXPECT_TRUE(test::wait_until([&] { return !boxes.texts.empty(); }, 10000));
    EXPECT_TRUE(any_says(boxes.texts, "may not be on")) << (boxes.texts.empty() ? "" : boxes.texts[0]);
    EXPECT_EQ(s.status(), "Test Vpp stopped: the programmer did not answer!");
    EXPECT_FALSE(s.window->engine().opstate().testvpp);
    EXPECT_TRUE(s.unlocked());
}

// A close that the window system hands over inside an engine call (in one of
// its yields) waits until the call has returned: the voltages-on of a Test
// Vpp switch, or the first message of a run, must not follow the voltages-off.
TEST(Form1Close, ThatComesInsideAnEngineCallWaitsForItToReturn) {
    for (const bool operation : {false, true}) {
        SCOPED_TRACE(operation ? "starting Program All" : "switching Test Vpp on");
        const test::TempFolder dir;
        const QString trace = QString::fromStdString(dir.file("trace.txt"));
        SimWindow s({"--reply-delay-ms", "20", "--trace", trace});
        if (operation) open_example(s);
        bool asked_inside = false;
        Answer yes("Yes", [&] { asked_inside = s.window->engine().inside(); });
        bool inside = false;
        inside_next_call(s, [&] {
            inside = s.window->engine().inside();
            s.window->close();
        });
        if (operation) {
            s.click(program_all);
        } else {
            QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
        }
        EXPECT_TRUE(inside) << "the close did not come inside the call";
        EXPECT_TRUE(test::wait_until([&] { return !s.window->isVisible(); }, 5000));
        EXPECT_EQ(yes.given, operation ? 1 : 0);
        EXPECT_FALSE(asked_inside) << "the question was asked inside the call";
        EXPECT_FALSE(s.window->engine().pending());
        EXPECT_TRUE(ends_powered_off(trace)) << last_power_message(trace);
    }
}

// Two clicks on Test Vpp close together: the second comes inside the first
// one's lock, and is handled once the first has returned. The window then
// says what the programmer was last told.
TEST(Form1Nesting, ASecondTestVppClickInsideTheFirstSwitchesItOffAfterIt) {
    const test::TempFolder dir;
    const QString trace = QString::fromStdString(dir.file("trace.txt"));
    SimWindow s({"--trace", trace});
    bool inside = false;
    inside_next_call(s, [&] {
        inside = s.window->engine().inside();
        QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    });
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    EXPECT_TRUE(inside) << "the second click did not come inside the first";
    EXPECT_TRUE(test::wait_until([&] { return s.idle(); }, 3000));
    EXPECT_TRUE(ends_powered_off(trace)) << last_power_message(trace);
    EXPECT_EQ(s.status(), "Vpp and Vdd voltages turned OFF!");
    EXPECT_FALSE(s.window->engine().opstate().testvpp);
    EXPECT_TRUE(s.unlocked());
}

// With Test Vpp on, a Test Vpp click inside the close's voltages-off finds the
// program ending: no voltages-on follows, and the window closes.
TEST(Form1Nesting, ATestVppClickInsideTheClosingVoltagesOffIsRefused) {
    const test::TempFolder dir;
    const QString trace = QString::fromStdString(dir.file("trace.txt"));
    SimWindow s({"--trace", trace});
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    ASSERT_TRUE(test::wait_until([&] { return last_power_message(trace).find("power on") != std::string::npos; }, 3000));
    bool inside = false;
    inside_next_call(s, [&] {
        inside = s.window->engine().inside();
        QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    });
    s.window->close();
    EXPECT_TRUE(inside) << "the click did not come inside the close";
    test::spin_for(100);  // a held click would run by now
    EXPECT_FALSE(s.window->isVisible());
    EXPECT_TRUE(ends_powered_off(trace)) << last_power_message(trace);
    EXPECT_FALSE(s.window->engine().opstate().testvpp);
}

// The close question is withdrawn when the run ends while it stands; the
// window stays, and a later close closes it. Erase All is a few messages, each
// answered after a tenth of a second: the question stands about a second,
// whatever the load on the machine.
TEST(Form1Close, TheQuestionIsWithdrawnWhenTheRunEnds) {
    SimWindow s({"--reply-delay-ms", "100"});
    s.click(2);  // Erase All
    ASSERT_TRUE(s.window->engine().pending());
    bool stood = false;
    bool stayed = false;
    QTimer::singleShot(50, s.window.get(), [&] { stood = QApplication::activeModalWidget() != nullptr; });
    QTimer::singleShot(4000, s.window.get(), [&] {
        if (auto* box = QApplication::activeModalWidget()) {
            stayed = true;
            box->close();
        }
    });
    s.window->close();
    EXPECT_TRUE(stood);
    EXPECT_FALSE(stayed) << "the question stayed after the run had ended";
    EXPECT_TRUE(starts(s.status(), "Chip erased. ")) << s.status();
    EXPECT_TRUE(s.window->isVisible());
    s.window->close();
    EXPECT_FALSE(s.window->isVisible());
}

namespace {

// The small device list with one algorithm line spoiled by a typo.
std::string typo_devices(const test::TempFolder& dir) {
    std::ifstream in(test::small_devices);
    std::stringstream text;
    text << in.rdbuf();
    std::string list = text.str();
    const std::string good = "erasealgdef 0: begin,s00-3fff,s02-3fff,s09,";
    const auto at = list.find(good);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos) list.replace(at, good.size(), "erasealgdef 0: begin,s00-3fff,s02-3fff,s9,");
    const std::string path = dir.file("typo_devices.txt");
    std::ofstream(path) << list;
    return path;
}

}  // namespace

// A typo in an algorithm ends the program, as it must, but not with the chip
// powered: the voltages are off while the box stands, before anyone reads it.
TEST(Form1Drill, UnrecognizedInstructionEndsWithTheVoltagesOff) {
    const test::TempFolder dir;
    const QString trace = QString::fromStdString(dir.file("trace.txt"));
    SimWindow s({"--trace", trace}, typo_devices(dir));
    bool off_under_box = false;
    Answer ok("OK", [&] { off_under_box = ends_powered_off(trace); });
    s.click(2);  // Erase All
    EXPECT_TRUE(test::wait_until([&] { return s.window->ended(); }, 10000));
    EXPECT_EQ(ok.given, 1);
    EXPECT_TRUE(off_under_box) << last_power_message(trace);
    EXPECT_FALSE(s.window->isVisible());
    EXPECT_TRUE(ends_powered_off(trace)) << last_power_message(trace);
}

namespace {

// The signals as a fresh program finds them, whatever the shell that started
// the tests ignores: an ignored signal would stay ignored.
void default_end_signals() {
    for (int signo : {SIGTERM, SIGHUP, SIGINT}) std::signal(signo, SIG_DFL);
}

}  // namespace

// A signal that would end the program (a logout, kill, its terminal closed,
// Ctrl+C) during a run or with Test Vpp on first switches the voltages off,
// as a close answered Yes does; with nothing running it ends it at once.
TEST(Form1Signal, EndsTheProgramWithTheVoltagesOff) {
    const struct {
        const char* name;
        int signo;
        bool vpp;  // Test Vpp on rather than Program All
    } cases[] = {
        {"SIGTERM during Program All", SIGTERM, false},
        {"SIGHUP during Program All", SIGHUP, false},
        {"SIGINT during Program All", SIGINT, false},
        {"SIGTERM with Test Vpp on", SIGTERM, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        default_end_signals();
        const test::TempFolder dir;
        const QString trace = QString::fromStdString(dir.file("trace.txt"));
        SimWindow s({"--reply-delay-ms", "20", "--trace", trace});
        int ended = 0;
        s.window->exit_by_signal = [&](int signo) { ended = signo; };
        BoxReader boxes;
        if (c.vpp) {
            QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
            ASSERT_TRUE(test::wait_until([&] { return last_power_message(trace).find("power on") != std::string::npos; }, 3000));
        } else {
            open_example(s);
            s.click(program_all);
            ASSERT_TRUE(test::wait_until([&] { return starts(s.status(), "F:"); }, 10000)) << s.status();
        }
        ::kill(::getpid(), c.signo);
        EXPECT_TRUE(test::wait_until([&] { return ended != 0; }, 5000));
        EXPECT_EQ(ended, c.signo);
        EXPECT_TRUE(boxes.texts.empty()) << boxes.texts[0];
        EXPECT_TRUE(ends_powered_off(trace)) << last_power_message(trace);
    }
}

TEST(Form1Signal, WithNothingRunningEndsAtOnce) {
    default_end_signals();
    const test::TempFolder dir;
    const QString trace = QString::fromStdString(dir.file("trace.txt"));
    SimWindow s({"--trace", trace});
    int ended = 0;
    s.window->exit_by_signal = [&](int signo) { ended = signo; };
    ::kill(::getpid(), SIGHUP);
    EXPECT_TRUE(test::wait_until([&] { return ended != 0; }, 2000));
    EXPECT_EQ(ended, SIGHUP);
    EXPECT_EQ(last_power_message(trace), "");
}

// A signal taken in the yields of the voltages-off message itself, before its
// bytes have gone out, ends the program only once they have. The stand-in for
// the end closes the port, as the end of the process would.
TEST(Form1Signal, InsideTheVoltagesOffItWaitsForItToGoOut) {
    for (const bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "a close with Test Vpp on" : "Test Vpp switched off");
        default_end_signals();
        const test::TempFolder dir;
        const QString trace = QString::fromStdString(dir.file("trace.txt"));
        SimWindow s({"--trace", trace});
        QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
        ASSERT_TRUE(test::wait_until([&] { return last_power_message(trace).find("power on") != std::string::npos; }, 3000));
        test::spin_for(50);
        int ended = 0;
        bool inside = true;
        s.window->exit_by_signal = [&](int signo) {
            ended = signo;
            inside = s.window->engine().inside();
            (void)s.window->MSComm1().PortOpen(false);
        };
        ::kill(::getpid(), SIGTERM);
        QThread::msleep(3);  // past the yield pacing: the first yield takes the signal
        if (closing) {
            s.window->close();
        } else {
            QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
        }
        EXPECT_TRUE(test::wait_until([&] { return ended != 0; }, 3000));
        EXPECT_EQ(ended, SIGTERM);
        EXPECT_FALSE(inside) << "ended inside an engine call";
        EXPECT_TRUE(ends_powered_off(trace)) << last_power_message(trace);
    }
}

// A box that nobody answers does not keep a signalled program: it goes, and
// the program ends by the signal with the voltages off, not by the end that
// the box announced. The window runs in an event loop of its own, as in the
// program, so that an end asked for first would end that loop.
TEST(Form1Signal, AStandingBoxDoesNotKeepTheProgram) {
    default_end_signals();
    const test::TempFolder dir;
    const QString trace = QString::fromStdString(dir.file("trace.txt"));
    SimWindow s({"--trace", trace}, typo_devices(dir));
    QEventLoop program;
    int ended = 0;
    s.window->exit_by_signal = [&](int signo) {
        ended = signo;
        program.exit(100);
    };
    bool sent = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (sent || QApplication::activeModalWidget() == nullptr) return;
        sent = true;
        ::kill(::getpid(), SIGTERM);
    });
    look.start(10);
    QTimer::singleShot(0, s.window.get(), [&] { s.click(2); });  // Erase All meets the typo
    QTimer::singleShot(4000, &program, [&] { program.exit(0); });
    EXPECT_EQ(program.exec(), 100) << "the box kept the program, or it ended without the signal";
    EXPECT_TRUE(sent);
    EXPECT_EQ(ended, SIGTERM);
    EXPECT_TRUE(ends_powered_off(trace)) << last_power_message(trace);
}
