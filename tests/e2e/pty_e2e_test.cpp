// The engine over the real serial control and a pseudo-terminal served by the
// tessaly-sim program: what the window will do, without the window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "devices/devicelist.h"
#include "engine/fakes.h"
#include "fixture.h"
#include "hexfile/hexwriter.h"
#include "platform/serialcontrol.h"
#include "platform/seriallink.h"
#include "qtloop.h"
#include "tempfolder.h"

namespace tessaly::testing {
namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "pty_e2e_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// The recording host, with a real event loop and a real reply timer.
class LoopHost : public FakeHost {
public:
    explicit LoopHost(Log& log) : FakeHost(log) { timer.setSingleShot(true); }
    void yield() override {
        FakeHost::yield();
        QCoreApplication::processEvents();
    }
    void start_reply_timer(std::int32_t ms) override {
        FakeHost::start_reply_timer(ms);
        timer.start(ms);
    }
    void stop_reply_timer() override {
        FakeHost::stop_reply_timer();
        timer.stop();
    }
    QTimer timer;
};

// A model of the shrunk device list: the shipped algorithms on a small chip.
SelectedDevice small_device(int model) {
    DeviceList list;
    EXPECT_EQ(load_devices(TESSALY_SMALL_DEVICES, list), LoadResult::loaded);
    SelectedDevice cur;
    EXPECT_EQ(select_device(list, model, cur), "");
    EXPECT_EQ(cur.flashsize, 64);
    return cur;
}

struct PtyBench {
    Log log;
    LoopHost host{log};
    SelectedDevice cur;
    ChipImage image;
    QProcess sim;
    std::unique_ptr<SerialControl> control;
    std::unique_ptr<SerialLink> link;
    std::unique_ptr<Engine> engine;

    explicit PtyBench(const QStringList& simargs, const std::string& baud = "9600", int model = 1) {
        app();
        cur = small_device(model);
        blank_buffers(cur, image);
        QStringList args{"--model", QString::fromStdString(cur.modelname), "--device-list",
                         TESSALY_SMALL_DEVICES};
        sim.start(QString(TESSALY_BIN_DIR) + "/tessaly-sim", args + simargs);
        EXPECT_TRUE(sim.waitForStarted(5000));
        QElapsedTimer waited;
        waited.start();
        while (!sim.canReadLine() && waited.elapsed() < 5000) sim.waitForReadyRead(100);
        const std::string path = sim.readLine().trimmed().toStdString();
        ComPortMap ports;
        ports.override_lines("COM1=" + path);
        control = std::make_unique<SerialControl>(ports);
        link = std::make_unique<SerialLink>(*control);
        engine = std::make_unique<Engine>(*link, host, cur, image);
        EXPECT_TRUE(control->CommPort(1));
        EXPECT_TRUE(control->Settings(baud + ",n,8,1"));
        EXPECT_TRUE(control->PortOpen(true)) << control->error_text() << " " << path;
        QObject::connect(control.get(), &SerialControl::OnComm, [this] {
            const std::vector<std::uint8_t> in = control->Input();
            engine->MSComm1_OnComm(std::string(in.begin(), in.end()));
        });
        QObject::connect(&host.timer, &QTimer::timeout, [this] { engine->reply_timeout(); });
        engine->reset();
    }

    ~PtyBench() {
        (void)control->PortOpen(false);
        sim.terminate();
        sim.waitForFinished(5000);
    }

    std::string run(Operation op, int limitms = 60000) {
        host.boxes.clear();
        EXPECT_EQ(engine->start(op), StartResult::started);
        EXPECT_TRUE(test::wait_until([this] { return !engine->busy(); }, limitms))
            << "still running after " << limitms << " ms";
        return host.status;
    }
};

bool starts(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

// Every shipped model, through the real serial control.
class PtyModel : public ::testing::TestWithParam<int> {};

TEST_P(PtyModel, WholeCycleOverTheSerialControl) {
    PtyBench b({}, "56000", GetParam());
    const ChipImage data = fixture(b.cur);
    EXPECT_TRUE(starts(b.run(Operation::erase), "Chip erased. "));
    EXPECT_TRUE(starts(b.run(Operation::blank), "Chip is blank. ")) << b.host.status;
    b.image = data;
    EXPECT_TRUE(starts(b.run(Operation::program), "Chip programmed. "));
    EXPECT_TRUE(starts(b.run(Operation::verify), "Chip verified. ")) << b.host.status;
    EXPECT_TRUE(starts(b.run(Operation::read), "Chip read. "));
    EXPECT_EQ(b.image.flashbuf, data.flashbuf);
    EXPECT_EQ(b.image.eeprombuf, data.eeprombuf);
    EXPECT_EQ(b.image.conf, data.conf);
}

// The chip starts out holding the image, so Verify alone meets the flipped bit.
TEST_P(PtyModel, FlippedBitIsTheOneMismatchOfVerify) {
    const test::TempFolder folder;
    const std::string hex = folder.file("chip.hex");
    std::string error;
    const SelectedDevice cur = small_device(GetParam());
    ASSERT_TRUE(write_hexfile(hex, cur, fixture(cur), error)) << error;
    PtyBench b({"--load", QString::fromStdString(hex), "--flip-bit", "10"}, "56000", GetParam());
    b.image = fixture(b.cur);
    EXPECT_TRUE(starts(b.run(Operation::verify), "Chip verify failed. ")) << b.host.status;
    ASSERT_EQ(b.host.boxes.size(), 1u);
    const std::string& report = b.host.boxes[0].text;
    EXPECT_NE(report.find("FLASH Word 0010h"), std::string::npos) << report;
    EXPECT_EQ(report.find("FLASH Word", report.find("FLASH Word 0010h") + 1), std::string::npos)
        << report;
    EXPECT_EQ(report.find("EEPROM"), std::string::npos) << report;
    EXPECT_EQ(report.find("Config"), std::string::npos) << report;
}

INSTANTIATE_TEST_SUITE_P(ShippedModels, PtyModel, ::testing::Range(1, 11));

TEST(Pty, PacedLineAt56000) {
    PtyBench b({"--pace", "56000"}, "56000");
    ChipImage data;
    blank_buffers(b.cur, data);
    data.flashbuf[0] = 0x0123;
    data.conf[0] = 0x3FF1;
    EXPECT_TRUE(starts(b.run(Operation::erase), "Chip erased. "));
    b.image = data;
    EXPECT_TRUE(starts(b.run(Operation::program), "Chip programmed. "));
    EXPECT_TRUE(starts(b.run(Operation::verify), "Chip verified. ")) << b.host.status;
}

TEST(Pty, SilentProgrammerIsTimedOut) {
    PtyBench b({"--stop-after", "20"});
    b.image = fixture(b.cur);
    const std::string status = b.run(Operation::program, 30000);
    EXPECT_EQ(status, "Operation stopped: the programmer did not answer!");
    ASSERT_EQ(b.host.boxes.size(), 1u);
    EXPECT_FALSE(b.host.locked);
}

// The unrequested byte stops the program run as out of step; whatever is
// left on the line is not taken by the next operation.
TEST(Pty, ExtraByteDoesNotSpoilTheNextOperation) {
    PtyBench b({"--extra-byte-after", "5"});
    b.image = fixture(b.cur);
    EXPECT_EQ(b.run(Operation::program), "Operation stopped: the programmer's replies are out of step!");
    EXPECT_TRUE(starts(b.run(Operation::program), "Chip programmed. ")) << b.host.status;
    EXPECT_TRUE(starts(b.run(Operation::verify), "Chip verified. ")) << b.host.status;
}

}  // namespace
}  // namespace tessaly::testing
