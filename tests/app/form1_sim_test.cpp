// The main window against the simulated programmer on a pseudo-terminal: a
// HEX file opened from the file label, then the operations from the buttons.
#include <gtest/gtest.h>

#include <QTest>

#include "qt_app.h"
#include "simwindow.h"

using namespace tessaly;
using test::SimWindow;
using test::starts;

TEST(Form1WithProgrammer, OpenProgramVerifyReadEraseBlank) {
    SimWindow s;
    ASSERT_EQ(s.status(), "Serial port COM16 ready...");
    QTest::mouseClick(s.window->Label7, Qt::LeftButton);
    ASSERT_EQ(s.requests.size(), 1u);
    EXPECT_EQ(s.requests[0].title, "Select HEX File To Open");
    EXPECT_EQ(s.window->label_hex->text().toStdString(), test::example_hex);
    EXPECT_EQ(s.status(), "Operation completed. Total 24 (.023K) program words loaded.");
    const ChipImage loaded = s.window->chipimage();
    EXPECT_EQ(loaded.flashbuf[0], 0x2805);
    EXPECT_EQ(loaded.conf[0], 0x3F70);

    EXPECT_TRUE(starts(s.run(0), "Chip programmed. ")) << s.status();
    EXPECT_TRUE(starts(s.run(4), "Chip verified. ")) << s.status();
    EXPECT_TRUE(starts(s.run(1), "Chip read. ")) << s.status();
    EXPECT_EQ(s.window->chipimage().flashbuf, loaded.flashbuf);
    EXPECT_EQ(s.window->chipimage().eeprombuf, loaded.eeprombuf);
    EXPECT_EQ(s.window->chipimage().conf, loaded.conf);
    EXPECT_TRUE(starts(s.run(2), "Chip erased. ")) << s.status();
    EXPECT_TRUE(starts(s.run(3), "Chip is blank. ")) << s.status();
    for (QPushButton* b : s.window->Command) EXPECT_TRUE(b->isEnabled());
}

TEST(Form1WithProgrammer, TestVppLocksUntilSwitchedOff) {
    SimWindow s;
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    EXPECT_EQ(s.status(), "Vpp and Vdd voltages turned ON!");
    EXPECT_FALSE(s.window->Command[0]->isEnabled());
    ASSERT_TRUE(test::wait_until([&] { return s.window->engine().phase() == Engine::Phase::vpp_on; }, 3000));
    QTest::mouseClick(s.window->Label7, Qt::LeftButton);  // a live label, refused
    EXPECT_TRUE(s.requests.empty());
    EXPECT_EQ(s.status(), busy_text);
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    EXPECT_EQ(s.status(), "Vpp and Vdd voltages turned OFF!");
    EXPECT_TRUE(s.window->Command[0]->isEnabled());
    ASSERT_TRUE(test::wait_until([&] { return !s.window->engine().busy(); }, 3000));
    // The replies to the two voltage messages do not leak into the next run.
    EXPECT_TRUE(starts(s.run(3), "Chip is blank. ")) << s.status();
}

// Events posted through the event loop during a Read All: each one wakes the
// loop with a system call each way, so one per reply or per address would
// cost more than the exchange itself (a posted receive event, a layout pass
// asked for by each status text).
class PostedCount : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MetaCall || e->type() == QEvent::LayoutRequest) ++count;
        return false;
    }
};

TEST(Form1WithProgrammer, ReadAllPostsNoEventPerReply) {
    SimWindow s;
    PostedCount posted;
    qApp->installEventFilter(&posted);
    EXPECT_TRUE(starts(s.run(1), "Chip read. ")) << s.status();
    qApp->removeEventFilter(&posted);
    const int addresses = s.window->curdevice().flashsize + s.window->curdevice().eepromsize;
    EXPECT_LT(posted.count, addresses / 2) << "for " << addresses << " addresses";
}
