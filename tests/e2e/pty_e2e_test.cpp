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
#include "devices/msgbox.h"
#include "engine/fakes.h"
#include "fixture.h"
#include "hexfile/hexwriter.h"
#include "memorylink.h"
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

// A model of a shrunk device list: the shipped algorithms on a small chip.
SelectedDevice shrunk_device(int model, const char* devicelist = TESSALY_SMALL_DEVICES) {
    DeviceList list;
    EXPECT_EQ(load_devices(devicelist, list), LoadResult::loaded);
    SelectedDevice cur;
    EXPECT_EQ(select_device(list, model, cur), "");
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

    explicit PtyBench(const QStringList& simargs, const std::string& baud = "9600", int model = 1,
                      const char* devicelist = TESSALY_SMALL_DEVICES) {
        app();
        cur = shrunk_device(model, devicelist);
        blank_buffers(cur, image);
        QStringList args{"--model", QString::fromStdString(cur.modelname), "--device-list",
                         devicelist};
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

const std::string out_of_step = "Operation stopped: the programmer's replies are out of step!";

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
    const SelectedDevice cur = shrunk_device(GetParam());
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
    EXPECT_EQ(b.run(Operation::program), out_of_step);
    EXPECT_TRUE(starts(b.run(Operation::program), "Chip programmed. ")) << b.host.status;
    EXPECT_TRUE(starts(b.run(Operation::verify), "Chip verified. ")) << b.host.status;
}

// The messages a clean run of the operation sends, counted on the simulator
// joined in memory.
std::int64_t messages_of(const SelectedDevice& cur, const ChipImage& image, Operation op) {
    Log log;
    FakeHost host(log);
    SelectedDevice dev = cur;
    ChipImage buffers = image;
    sim::SimChip chip(sim::chip_shape(dev));
    sim::WireProtocol protocol(chip);
    sim::MemoryLink link(protocol);
    Engine engine(link, host, dev, buffers);
    engine.reset();
    engine.start(op);
    for (std::string in = link.take(false); !in.empty(); in = link.take(false)) {
        engine.MSComm1_OnComm(in);
    }
    if (engine.settling()) engine.reply_timeout();
    EXPECT_FALSE(engine.busy());
    return protocol.messages();
}

// A programmer that takes a quarter of a second (or more) for each reply and
// sends one byte that no message asked for 100 ms after the reply to message
// k, so that it lands while the next reply is owed: from there every reply is
// taken for the message after its own. Early, in the middle or in the last
// exchanges, the run must end out of step with its box; without the byte it
// completes as always.
enum class Stray { none, early, middle, late };

struct SlowCase {
    const char* name;
    Operation op;
    int replyms;
    Stray stray;
};

void PrintTo(const SlowCase& c, std::ostream* os) { *os << c.name; }

class SlowProgrammer : public ::testing::TestWithParam<SlowCase> {};

TEST_P(SlowProgrammer, AShiftedRunEndsOutOfStep) {
    const SlowCase& c = GetParam();
    const SelectedDevice cur = shrunk_device(3, TESSALY_TINY_DEVICES);  // PIC16F628A
    const ChipImage data = fixture(cur);
    const std::int64_t n = messages_of(cur, data, c.op);
    ASSERT_GT(n, 6);
    // The reply to message k + 1 is the one the byte lands in front of; "late"
    // leaves the last reply taken one exchange before the surplus one.
    const std::int64_t k = c.stray == Stray::early ? 2 : c.stray == Stray::middle ? n / 2 : n - 2;
    QStringList args{"--reply-delay-ms", QString::number(c.replyms)};
    // A read's three reply bytes come one by one on a slow line, as on a real one.
    const bool paced = c.op == Operation::read;
    if (paced) args << "--pace" << "1200";
    if (c.stray != Stray::none) {
        args << "--extra-byte-after" << QString::number(k) << "--extra-byte-delay-ms" << "100";
    }
    PtyBench b(args, paced ? "1200" : "56000", 3, TESSALY_TINY_DEVICES);
    b.image = data;
    const std::string status = b.run(c.op, 120000);
    if (c.stray == Stray::none) {
        EXPECT_TRUE(starts(status, operation_info(c.op).donetext)) << status;
        EXPECT_TRUE(b.host.boxes.empty()) << b.host.boxes[0].text;
        EXPECT_GE(b.engine->settle_ms(), 2 * c.replyms);
        return;
    }
    EXPECT_EQ(status, out_of_step) << "stray after message " << k << " of " << n;
    ASSERT_EQ(b.host.boxes.size(), 1u);
    EXPECT_EQ(b.host.boxes[0].kind, box_error);
}

INSTANTIATE_TEST_SUITE_P(
    Shifted, SlowProgrammer,
    ::testing::Values(SlowCase{"EraseClean", Operation::erase, 250, Stray::none},
                      SlowCase{"EraseEarly", Operation::erase, 250, Stray::early},
                      SlowCase{"EraseMiddle", Operation::erase, 400, Stray::middle},
                      SlowCase{"EraseLate", Operation::erase, 250, Stray::late},
                      SlowCase{"ProgramClean", Operation::program, 250, Stray::none},
                      SlowCase{"ProgramEarly", Operation::program, 250, Stray::early},
                      SlowCase{"ProgramMiddle", Operation::program, 250, Stray::middle},
                      SlowCase{"ProgramLate", Operation::program, 300, Stray::late},
                      SlowCase{"ReadClean", Operation::read, 250, Stray::none},
                      SlowCase{"ReadEarly", Operation::read, 250, Stray::early},
                      SlowCase{"ReadMiddle", Operation::read, 250, Stray::middle},
                      SlowCase{"ReadLate", Operation::read, 250, Stray::late}),
    [](const ::testing::TestParamInfo<SlowCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaly::testing
