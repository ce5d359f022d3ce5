// The main window on a line that changes under it: the port reopened between
// messages and their replies, and the programmer vanishing in the middle of
// an operation. Served by tessaly-sim on a pseudo-terminal.
#include "app/form1.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include "appfixture.h"
#include "qt_app.h"
#include "qtloop.h"

using namespace tessaly;

namespace {

const std::string shipped = std::string(TESSALY_BIN_DIR) + "/quarndevices.txt";

// The window on COM16, served by tessaly-sim as a PIC16F628A. Every message
// box is read and closed as soon as it shows.
struct LineWindow {
    explicit LineWindow(const QStringList& simargs = {}) : folder("line") {
        EXPECT_EQ(load_devices(shipped, list), LoadResult::loaded);
        sim.start(QString(TESSALY_BIN_DIR) + "/tessaly-sim",
                  QStringList{"--model", "PIC16F628A", "--device-list", QString::fromStdString(shipped)} +
                      simargs);
        EXPECT_TRUE(sim.waitForStarted(5000));
        test::spin_until([this] { return sim.canReadLine() || (sim.waitForReadyRead(20), sim.canReadLine()); },
                         10000);
        folder.map_port(16, sim.readLine().trimmed().toStdString());
        SettingsStore(folder.path()).reg_setstring(set_model, "3");
        window = std::make_unique<Form1>(list, appinfo, folder.path());
        closer.setInterval(5);
        QObject::connect(&closer, &QTimer::timeout, [this] { read_and_close_box(); });
        closer.start();
        window->Form_Load();
    }
    ~LineWindow() {
        window.reset();
        sim.kill();
        sim.waitForFinished(5000);
    }

    void read_and_close_box() {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        std::string text;
        for (QLabel* l : box->findChildren<QLabel*>()) text += l->text().toStdString() + "\n";
        for (QTextEdit* t : box->findChildren<QTextEdit*>()) text += t->toPlainText().toStdString() + "\n";
        boxes.push_back(text);
        box->reject();
    }

    std::string status() const { return window->label_status->text().toStdString(); }
    bool idle() const { return !window->engine().busy(); }

    test::ConfigFolder folder;
    DeviceList list;
    AppInfo appinfo;
    QProcess sim;
    std::unique_ptr<Form1> window;
    QTimer closer;
    std::vector<std::string> boxes;
};

bool starts(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

}  // namespace

// The replies to Test Vpp wait in the control (no operation is reading) and
// go with the old connection when the baud rate is changed: the next run must
// not wait for them.
TEST(Form1OnALine, RepliesOwedBeforeTheBaudRateChangesAreNotAwaited) {
    LineWindow w;
    ASSERT_EQ(w.status(), "Serial port COM16 ready...");
    QTest::mouseClick(w.window->label_vpp, Qt::LeftButton);
    QTest::mouseClick(w.window->label_vpp, Qt::LeftButton);
    test::spin_for(200);  // both replies are in
    w.window->ports().menubaud_Click([](const std::string&, const std::string&) { return "56000"; },
                                     [](const std::string&, int) { return answer_ok; });
    ASSERT_EQ(w.status(), "Serial port COM16 ready...");
    w.window->Command[2]->click();
    EXPECT_TRUE(test::spin_until([&] { return w.idle(); }, 20000));
    EXPECT_TRUE(starts(w.status(), "Chip erased. ")) << w.status();
    EXPECT_TRUE(w.boxes.empty()) << w.boxes.front();
}

// The programmer vanishes mid-run: the run ends on the loss itself, with a box
// that names the port, the interface unlocked and the buffers as they were.
TEST(Form1OnALine, LostPortEndsTheRunAndNamesThePort) {
    LineWindow w({"--reply-delay-ms", "5"});
    ChipImage& image = w.window->chipimage();
    std::fill(image.flashbuf.begin(), image.flashbuf.end(), 0x0123);
    const ChipImage before = image;
    w.window->Command[0]->click();
    test::spin_for(300);
    ASSERT_FALSE(w.idle());
    w.sim.kill();
    EXPECT_TRUE(test::spin_until([&] { return w.idle(); }, 20000));
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_NE(w.boxes[0].find("COM16"), std::string::npos) << w.boxes[0];
    EXPECT_EQ(w.boxes[0].find("did not answer"), std::string::npos) << w.boxes[0];
    // Usually the loss is seen first; a reply still on its way may make the
    // next write the first to fail.
    if (w.boxes[0].find("Writing to the serial port failed") == std::string::npos) {
        EXPECT_NE(w.boxes[0].find("was lost"), std::string::npos) << w.boxes[0];
        EXPECT_EQ(w.status(), "Operation stopped: the serial port was lost!");
    }
    for (QPushButton* b : w.window->Command) EXPECT_TRUE(b->isEnabled());
    // A loss met inside a receive event (the stop's box stands in it) is
    // finished once that event has returned.
    EXPECT_TRUE(test::spin_until([&] { return !w.window->ports().portstate.portopen; }, 2000));
    EXPECT_EQ(image.flashbuf, before.flashbuf);
    EXPECT_EQ(image.conf, before.conf);
}
