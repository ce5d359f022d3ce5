// The main window losing its programmer: killed while a box stands inside a
// receive event, and killed in the middle of what the window had it do. The
// loss must cost nothing while it waits to be told, and be told with its own
// reason.
#include <gtest/gtest.h>

#include <QTest>

#include "cputime.h"
#include "qt_app.h"
#include "simwindow.h"

using namespace tessaly;
using test::BoxReader;
using test::process_cpu_seconds;
using test::SimWindow;
using test::starts;

namespace {

constexpr int program_all = 0;

// Kills the simulator while the first box that says `says` stands, and leaves
// it standing for a second more; the processor time the program used in it.
class KillUnderBox {
public:
    KillUnderBox(SimWindow& s, const std::string& says) {
        poll_.setInterval(5);
        QObject::connect(&poll_, &QTimer::timeout, [this, &s, says] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            if (tessaly::testing::BoxGuard::text_of(box).find(says) == std::string::npos) return;
            poll_.stop();
            s.sim.kill();
            s.sim.waitForFinished(5000);
            const double before = process_cpu_seconds();
            QTimer::singleShot(1000, box, [this, box, before] {
                cpu = process_cpu_seconds() - before;
                box->accept();
            });
        });
        poll_.start();
    }
    double cpu = -1;

private:
    QTimer poll_;
};

}  // namespace

// The out-of-step box stands inside the receive event that met the stray byte,
// so the port cannot close under it when the programmer dies: the program must
// sit still until the box is answered, and close the port then.
TEST(Form1Loss, ProgrammerKilledUnderAStandingBoxUsesNoProcessorTime) {
    SimWindow s({"--extra-byte-after", "5"});
    QTest::mouseClick(s.window->Label7, Qt::LeftButton);
    KillUnderBox kill(s, "out of step");
    s.click(program_all);
    ASSERT_TRUE(test::wait_until([&] { return kill.cpu >= 0; }, 20000)) << s.status();
    EXPECT_LT(kill.cpu, 0.25) << "seconds of processor time while the box stood for one second";
    EXPECT_TRUE(test::wait_until([&] { return !s.window->ports().portstate.portopen; }, 2000));
    EXPECT_TRUE(s.idle());
    EXPECT_TRUE(s.unlocked());
}

// The lost-port box gives the failure's own reason: the adapter pulled took
// its device path with it.
TEST(Form1Loss, LostPortBoxSaysTheDeviceIsGone) {
    const struct {
        const char* name;
        void (*start)(SimWindow&);
    } cases[] = {
        {"during Program All",
         [](SimWindow& s) {
             QTest::mouseClick(s.window->Label7, Qt::LeftButton);
             s.click(program_all);
             EXPECT_TRUE(test::wait_until([&] { return starts(s.status(), "F:"); }, 10000)) << s.status();
         }},
        {"with Test Vpp on",
         [](SimWindow& s) {
             QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
             test::spin_for(200);  // the voltages-on has been answered
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimWindow s({"--reply-delay-ms", "20"});
        BoxReader boxes;
        c.start(s);
        s.unplug();
        ASSERT_TRUE(test::wait_until([&] { return !boxes.texts.empty(); }, 10000)) << s.status();
        const std::string& text = boxes.texts[0];
        EXPECT_NE(text.find("COM16 ("), std::string::npos) << text;
        EXPECT_NE(text.find(") was lost: the device is gone"), std::string::npos) << text;
        EXPECT_EQ(text.find("temporarily unavailable"), std::string::npos) << text;
    }
}
