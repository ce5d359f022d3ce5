// The main window against the simulated programmer on a pseudo-terminal: a
// HEX file opened from the file label, then the operations from the buttons.
#include "app/form1.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "appfixture.h"
#include "qt_app.h"
#include "qtloop.h"

using namespace tessaly;

namespace {

// The shipped models and algorithms on small chips, so that runs are short.
const std::string devices = TESSALY_SMALL_DEVICES;
const std::string example = std::string(TESSALY_SOURCE_DIR) + "/examples/blink.hex";

struct SimWindow {
    SimWindow() : folder("sim") {
        EXPECT_EQ(load_devices(devices, list), LoadResult::loaded);
        sim.start(QString(TESSALY_BIN_DIR) + "/tessaly-sim",
                  {"--model", "PIC16F628A", "--device-list", QString::fromStdString(devices)});
        EXPECT_TRUE(sim.waitForStarted(5000));
        QElapsedTimer waited;
        waited.start();
        while (!sim.canReadLine() && waited.elapsed() < 5000) sim.waitForReadyRead(100);
        folder.map_port(16, sim.readLine().trimmed().toStdString());
        SettingsStore settings(folder.path());
        settings.reg_setstring(set_model, "3");  // PIC16F628A
        window = std::make_unique<Form1>(list, appinfo, folder.path());
        window->file_chooser = [this](const FileRequest& r) {
            requests.push_back(r);
            return example;
        };
        window->Form_Load();
    }
    ~SimWindow() {
        window.reset();
        sim.terminate();
        sim.waitForFinished(5000);
    }

    std::string status() const { return window->label_status->text().toStdString(); }

    // Clicks the operation button and waits for the operation to end.
    std::string run(int button) {
        window->Command[static_cast<std::size_t>(button)]->click();
        EXPECT_TRUE(test::wait_until([this] { return !window->engine().busy(); }, 60000));
        return status();
    }

    test::ConfigFolder folder;
    DeviceList list;
    AppInfo appinfo;
    QProcess sim;
    std::unique_ptr<Form1> window;
    std::vector<FileRequest> requests;
};

bool starts(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

}  // namespace

TEST(Form1WithProgrammer, OpenProgramVerifyReadEraseBlank) {
    SimWindow s;
    ASSERT_EQ(s.status(), "Serial port COM16 ready...");
    QTest::mouseClick(s.window->Label7, Qt::LeftButton);
    ASSERT_EQ(s.requests.size(), 1u);
    EXPECT_EQ(s.requests[0].title, "Select HEX File To Open");
    EXPECT_EQ(s.window->label_hex->text().toStdString(), example);
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
    QTest::mouseClick(s.window->Label7, Qt::LeftButton);  // a live label, refused
    EXPECT_TRUE(s.requests.empty());
    EXPECT_EQ(s.status(), busy_text);
    QTest::mouseClick(s.window->label_vpp, Qt::LeftButton);
    EXPECT_EQ(s.status(), "Vpp and Vdd voltages turned OFF!");
    EXPECT_TRUE(s.window->Command[0]->isEnabled());
    // The replies to the two voltage messages do not leak into the next run.
    EXPECT_TRUE(starts(s.run(3), "Chip is blank. ")) << s.status();
}
