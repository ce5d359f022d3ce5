#include "platform/serialcontrol.h"
#include "platform/seriallink.h"
#include "cputime.h"
#include "ordinary_user.h"
#include "ptypair.h"
#include "qtloop.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <memory>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::process_cpu_seconds;
using test::PtyPair;
using test::spin_for;
using test::spin_until;

ComPortMap map_of(int n, const std::string& path) {
    ComPortMap map;
    map.override_lines("COM" + std::to_string(n) + "=" + path);
    return map;
}

// A control on COM3 wired to a pseudo-terminal, recording what its handler reads.
class SerialLine : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensure_app();
        ctl = std::make_unique<SerialControl>(map_of(3, pty.terminal_path()));
        QObject::connect(ctl.get(), &SerialControl::OnComm, [this] {
            ++events;
            const Bytes in = ctl->Input();
            got.insert(got.end(), in.begin(), in.end());
        });
        QObject::connect(ctl.get(), &SerialControl::port_lost, [this](const QString& why) {
            ++losses;
            lost_text = why.toStdString();
        });
    }

    void open(const std::string& settings = "9600,n,8,1") {
        ASSERT_TRUE(ctl->CommPort(3));
        ASSERT_TRUE(ctl->Settings(settings));
        ASSERT_TRUE(ctl->PortOpen(true)) << ctl->error_text();
    }

    // The line settings as the terminal side has them.
    termios line() {
        termios t{};
        const int fd = ::open(pty.terminal_path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return t;
        ::tcgetattr(fd, &t);
        ::close(fd);
        return t;
    }

    PtyPair pty;
    std::unique_ptr<SerialControl> ctl;
    Bytes got;
    int events = 0;
    int losses = 0;
    std::string lost_text;
};

TEST_F(SerialLine, OutputGoesOutAtOnceUnchangedAndInOrder) {
    open();
    // Line ends, flow-control characters and the extremes must pass untouched.
    const Bytes out = {0x65, 0x00, 0x0A, 0x0D, 0x11, 0x13, 0x03, 0x7F, 0xFF, 0x68};
    for (auto b : out) ASSERT_TRUE(ctl->Output(b)) << ctl->error_text();
    // No event loop runs here: the bytes must already be on the line.
    EXPECT_EQ(pty.receive(out.size() + 1, 500), out);
}

// Opening asks the driver for low latency; a pseudo-terminal has no such
// setting, and the port still opens and carries bytes both ways.
TEST_F(SerialLine, PseudoTerminalOpensThoughItHasNoLowLatencySetting) {
    open("56000,n,8,1");
    EXPECT_TRUE(ctl->PortOpen());
    ASSERT_TRUE(ctl->Output(0x64));
    EXPECT_EQ(pty.receive(1, 500), Bytes{0x64});
    ASSERT_TRUE(pty.send({0x64}));
    EXPECT_TRUE(spin_until([&] { return !ctl->Input().empty(); }));
}

TEST_F(SerialLine, EveryByteReachesInputOnceAndInOrder) {
    open();
    ASSERT_TRUE(ctl->RThreshold(1));
    Bytes sent;
    for (int round = 0; round < 3; ++round) {
        for (int start = 0; start < 256; start += 50) {
            Bytes chunk;
            for (int b = start; b < std::min(start + 50, 256); ++b) chunk.push_back(b);
            ASSERT_TRUE(pty.send(chunk));
            sent.insert(sent.end(), chunk.begin(), chunk.end());
            spin_for(2);
        }
    }
    ASSERT_TRUE(spin_until([&] { return got.size() >= sent.size(); }));
    spin_for(50);
    EXPECT_EQ(got, sent);
    EXPECT_TRUE(ctl->Input().empty());
}

TEST_F(SerialLine, BytesWaitWhileThresholdIsZeroAndRaiseTheEventWhenSwitchedOn) {
    open();
    ASSERT_TRUE(ctl->RThreshold(0));
    ASSERT_TRUE(pty.send({1, 2, 3}));
    spin_for(100);
    EXPECT_EQ(events, 0);

    // Switched off again before the loop ran: the owed event must not come.
    ASSERT_TRUE(ctl->RThreshold(1));
    ASSERT_TRUE(ctl->RThreshold(0));
    spin_for(50);
    EXPECT_EQ(events, 0);

    ASSERT_TRUE(ctl->RThreshold(1));
    EXPECT_EQ(events, 0) << "the event must come through the event loop, not the assignment";
    ASSERT_TRUE(spin_until([&] { return events == 1; }));
    EXPECT_EQ(got, (Bytes{1, 2, 3}));
    spin_for(50);
    EXPECT_EQ(events, 1) << "no event without new bytes";
}

TEST_F(SerialLine, HandlerIsNeverReenteredThroughItsYields) {
    // The handler behaves like the interpreter: per byte it switches reception
    // off, makes the far end answer, yields, switches reception on and yields.
    QObject::disconnect(ctl.get(), &SerialControl::OnComm, nullptr, nullptr);
    int depth = 0, deepest = 0;
    QObject::connect(ctl.get(), &SerialControl::OnComm, [&] {
        deepest = std::max(deepest, ++depth);
        for (auto b : ctl->Input()) {
            got.push_back(b);
            ASSERT_TRUE(ctl->RThreshold(0));
            if (b < 20) {
                ASSERT_TRUE(pty.send({static_cast<std::uint8_t>(b + 10)}));
            }
            spin_for(15);
            ASSERT_TRUE(ctl->RThreshold(1));
            spin_for(15);
        }
        --depth;
    });
    open();
    ASSERT_TRUE(ctl->RThreshold(1));
    ASSERT_TRUE(pty.send({10, 11, 12}));
    ASSERT_TRUE(spin_until([&] { return got.size() >= 6; }));
    spin_for(100);
    EXPECT_EQ(got, (Bytes{10, 11, 12, 20, 21, 22}));
    EXPECT_EQ(deepest, 1);
}

// A handler that runs the event loop (as a message box does) while bytes
// come in: they are handed over once it has returned, and a loss of the port
// in that time is told then, never under it.
TEST_F(SerialLine, WhatHappensWhileAHandlerRunsTheLoopComesAfterIt) {
    QObject::disconnect(ctl.get(), &SerialControl::OnComm, nullptr, nullptr);
    std::vector<Bytes> handed;
    int losses_inside = -1;
    QObject::connect(ctl.get(), &SerialControl::OnComm, [&] {
        handed.push_back(ctl->Input());
        if (handed.size() == 1) {
            ASSERT_TRUE(pty.send({5, 6}));
            spin_for(100);
        } else if (handed.size() == 2) {
            pty.close_far();
            spin_for(200);
            losses_inside = losses;
        }
    });
    open();
    ASSERT_TRUE(ctl->RThreshold(1));
    ASSERT_TRUE(pty.send({4}));
    ASSERT_TRUE(spin_until([&] { return handed.size() >= 2; })) << handed.size();
    EXPECT_EQ(handed[0], Bytes{4});
    EXPECT_EQ(handed[1], (Bytes{5, 6}));
    ASSERT_TRUE(spin_until([&] { return losses == 1; }));
    EXPECT_EQ(losses_inside, 0);
    EXPECT_FALSE(ctl->PortOpen());
}

// Runs a loop of its own for ms milliseconds, as a box that stands does.
void stand(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A line lost while a handler stands (a box it shows) cannot be closed under
// it, and the dead line stays readable: nothing may spin on it meanwhile. Nor
// may the port's hold on the dead device keep a device that comes meanwhile
// from opening.
TEST_F(SerialLine, LineLostUnderAStandingHandlerIdlesAndLetsANewDeviceOpen) {
    QObject::disconnect(ctl.get(), &SerialControl::OnComm, nullptr, nullptr);
    double cpu = -1;
    std::string other_open;
    QObject::connect(ctl.get(), &SerialControl::OnComm, [&] {
        ctl->Input();
        if (cpu >= 0) return;
        pty.close_far();
        const double before = process_cpu_seconds();
        stand(1000);
        cpu = process_cpu_seconds() - before;
        PtyPair newcomer;
        SerialControl other(map_of(3, newcomer.terminal_path()));
        other_open = other.CommPort(3) && other.PortOpen(true) ? "" : other.error_text();
    });
    open();
    ASSERT_TRUE(ctl->RThreshold(1));
    ASSERT_TRUE(pty.send({1}));
    ASSERT_TRUE(spin_until([&] { return losses == 1; })) << losses;
    EXPECT_LT(cpu, 0.25) << "seconds of processor time while the handler stood for one second";
    EXPECT_EQ(other_open, "");
    EXPECT_FALSE(ctl->PortOpen());
}

// The reason a lost line is told with is the failure's own, not the text of
// some earlier call's errno: the adapter pulled takes its device path away.
TEST(SerialLoss, ReasonSaysTheDeviceIsGone) {
    test::ensure_app();
    const test::TempFolder dir;
    for (const bool in_handler : {false, true}) {
        SCOPED_TRACE(in_handler ? "while a handler stands" : "while nothing runs");
        PtyPair pty;
        test::DeviceLink device(dir.file("adapter"), pty.terminal_path());
        const auto unplug = [&] {
            device.pull();
            pty.close_far();
        };
        SerialControl ctl(map_of(3, device.path()));
        std::string why;
        QObject::connect(&ctl, &SerialControl::port_lost, [&](const QString& w) { why = w.toStdString(); });
        QObject::connect(&ctl, &SerialControl::OnComm, [&] {
            ctl.Input();
            unplug();
            stand(100);
        });
        ASSERT_TRUE(ctl.CommPort(3) && ctl.PortOpen(true)) << ctl.error_text();
        ASSERT_TRUE(ctl.RThreshold(in_handler ? 1 : 0));
        if (in_handler) {
            ASSERT_TRUE(pty.send({1}));
        } else {
            unplug();
        }
        ASSERT_TRUE(spin_until([&] { return !why.empty(); }));
        EXPECT_EQ(why.rfind("COM3 (" + device.path() + ") was lost: the device is gone", 0), 0u) << why;
        EXPECT_EQ(why.find("temporarily unavailable"), std::string::npos) << why;
    }
}

// The link sends a message's bytes in one go once its last byte is handed
// over; a message cut short by a closed port leaves nothing for the next.
TEST_F(SerialLine, LinkSendsEachMessageWhole) {
    open();
    SerialLink link(*ctl);
    ASSERT_EQ(send_word(link, 0x1234), SendResult::sent);
    EXPECT_EQ(pty.receive(3, 500), (Bytes{0x69, 0x34, 0x12}));
    ASSERT_TRUE(link.write_byte(0x68));
    ASSERT_TRUE(ctl->PortOpen(false));
    EXPECT_FALSE(link.write_byte(0x02));
    EXPECT_EQ(send_step(link), SendResult::failed);
    open();
    ASSERT_EQ(send_step(link), SendResult::sent);
    EXPECT_EQ(pty.receive(1, 500), Bytes{0x64});
    spin_for(20);
    EXPECT_EQ(pty.receive_now(), Bytes{});
}

TEST_F(SerialLine, SettingsReachTheLine) {
    // A non-standard rate is taken at open and on the open port.
    open("56000,n,8,1");
    EXPECT_TRUE(ctl->Settings("19200,n,8,1")) << ctl->error_text();
    EXPECT_TRUE(ctl->Settings("56000,n,8,1")) << ctl->error_text();
    ASSERT_TRUE(ctl->PortOpen(false));

    open("19200,n,8,1");
    const termios t = line();
    if (cfgetospeed(&t) == 0) GTEST_SKIP() << "the open terminal side cannot be inspected by this user";
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
}

TEST_F(SerialLine, FarSideClosingIsReportedOnceAndClosesTheControl) {
    open();
    ASSERT_TRUE(ctl->RThreshold(1));
    ASSERT_TRUE(pty.send({7, 8, 9}));
    ASSERT_TRUE(spin_until([&] { return got.size() == 3; }));
    pty.close_far();
    ASSERT_TRUE(spin_until([&] { return losses == 1; }));
    spin_for(200);
    EXPECT_EQ(losses, 1);
    EXPECT_NE(lost_text.find("COM3"), std::string::npos) << lost_text;
    EXPECT_FALSE(ctl->PortOpen());
    EXPECT_FALSE(ctl->Output(0x64));
    EXPECT_EQ(got, (Bytes{7, 8, 9}));
}

TEST_F(SerialLine, ReopeningStartsWithNothingWaiting) {
    open();
    ASSERT_TRUE(pty.send({1, 2}));
    spin_for(100);
    ASSERT_TRUE(ctl->PortOpen(false));
    // Bytes received before the close are still there for Input.
    EXPECT_EQ(ctl->Input(), (Bytes{1, 2}));

    ASSERT_TRUE(pty.send({3}));  // sent while nobody listens
    ASSERT_TRUE(pty.send({4}));
    ASSERT_TRUE(ctl->PortOpen(true)) << ctl->error_text();
    spin_for(100);
    EXPECT_TRUE(ctl->Input().empty());
    ASSERT_TRUE(pty.send({5}));
    ASSERT_TRUE(spin_until([&] { return !ctl->Input().empty(); }));
}

TEST_F(SerialLine, RefusedAssignmentsKeepTheOldValue) {
    ASSERT_TRUE(ctl->Settings("9600,n,8,1"));
    for (const char* bad : {"", "9600", "9600,n,8", "1199,n,8,1", "56001,n,8,1", "0,n,8,1",
                            "9600.5,n,8,1", "-9600,n,8,1", "+9600,n,8,1", " 9600,n,8,1",
                            "9600 ,n,8,1", "abc,n,8,1", "99999999999999999999,n,8,1",
                            "9600,e,8,1", "9600,n,7,1", "9600,n,8,2", "9600,n,8,1,",
                            ",n,8,1", "9600;n;8;1"}) {
        EXPECT_FALSE(ctl->Settings(bad)) << '"' << bad << '"';
        EXPECT_FALSE(ctl->error_text().empty());
        EXPECT_EQ(ctl->Settings(), "9600,n,8,1") << bad;
    }
    for (const char* good : {"1200,n,8,1", "56000,n,8,1", "19200,N,8,1", "31250,n,8,1"})
        EXPECT_TRUE(ctl->Settings(good)) << good;
    EXPECT_EQ(ctl->Settings(), "31250,n,8,1");

    ASSERT_TRUE(ctl->CommPort(5));
    for (int bad : {0, -1, 17, 256}) {
        EXPECT_FALSE(ctl->CommPort(bad)) << bad;
        EXPECT_EQ(ctl->CommPort(), 5);
    }
    for (int bad : {-1, 2, 255}) {
        EXPECT_FALSE(ctl->RThreshold(bad)) << bad;
        EXPECT_EQ(ctl->RThreshold(), 0);
    }
    EXPECT_TRUE(ctl->CommPort(16));
    EXPECT_TRUE(ctl->CommPort(1));

    open();
    EXPECT_FALSE(ctl->CommPort(4)) << "port number changes only while closed";
    EXPECT_EQ(ctl->CommPort(), 3);
}

TEST_F(SerialLine, OutputOnAClosedPortIsRefused) {
    EXPECT_FALSE(ctl->Output(0x65));
    EXPECT_NE(ctl->error_text().find("not open"), std::string::npos) << ctl->error_text();
    open();
    ASSERT_TRUE(ctl->PortOpen(false));
    EXPECT_FALSE(ctl->Output(0x65));
    EXPECT_TRUE(ctl->PortOpen(false)) << "closing a closed port is harmless";
}

TEST_F(SerialLine, OpenFailuresAreRefusedAndLeaveTheControlClosed) {
    const test::TempFolder dir;
    const std::string plain = dir.file("plain");
    std::ofstream(plain) << "not a terminal";
    struct Case {
        const char* name;
        std::string path;
    } cases[] = {
        {"absent", dir.file("no-such-tty")},
        {"not a terminal", plain},
        {"busy", pty.terminal_path()},
    };
    SerialControl holder(map_of(3, pty.terminal_path()));
    ASSERT_TRUE(holder.PortOpen(false));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SerialControl probe(map_of(3, c.path));
        ASSERT_TRUE(probe.CommPort(3));
        if (std::string(c.name) == "busy") {
            ASSERT_TRUE(holder.CommPort(3) && holder.PortOpen(true));
        }
        EXPECT_FALSE(probe.PortOpen(true));
        EXPECT_FALSE(probe.PortOpen());
        EXPECT_NE(probe.error_text().find("COM3"), std::string::npos) << probe.error_text();
        EXPECT_FALSE(probe.Output(0x64));
    }
    ASSERT_TRUE(holder.PortOpen(false));
    EXPECT_TRUE(ctl->CommPort(3) && ctl->PortOpen(true)) << "free again once closed";
}

TEST_F(SerialLine, PortWithoutPermissionIsRefused) {
    ASSERT_TRUE(test::hand_to_ordinary_user(pty.terminal_path()));
    const auto checks = [&] {
        ASSERT_EQ(::chmod(pty.terminal_path().c_str(), 0), 0);
        ASSERT_TRUE(ctl->CommPort(3));
        EXPECT_FALSE(ctl->PortOpen(true));
        EXPECT_FALSE(ctl->PortOpen());
    };
    EXPECT_TRUE(test::as_ordinary_user(checks));
}

// A control that reads the ports file at every open, and the far ends of the
// devices the test points COM3 at.
struct PortsFileLine {
    PortsFileLine() { test::ensure_app(); }
    void name_com3(const std::string& device) const {
        std::ofstream(folder + "/" + ports_filename) << "COM3=" << device << "\n";
    }
    // Opens COM3 and sends one byte, which must arrive at far and nowhere else.
    void open_and_reach(PtyPair& far, PtyPair& other, std::uint8_t byte) {
        ASSERT_TRUE(ctl.PortOpen(true)) << ctl.error_text();
        ASSERT_TRUE(ctl.Output(byte));
        EXPECT_EQ(far.receive(1, 2000), Bytes{byte});
        EXPECT_EQ(other.receive_now(), Bytes{});
    }

    const test::TempFolder dir;
    const std::string folder = dir.path();
    SerialControl ctl{ports_file_lookup(folder)};
};

TEST(PortsFile, EachOpenReachesTheDeviceTheFileNamesThen) {
    PortsFileLine l;
    PtyPair first, second;
    ASSERT_TRUE(l.ctl.CommPort(3));
    l.name_com3(first.terminal_path());
    l.open_and_reach(first, second, 0x41);
    ASSERT_TRUE(l.ctl.PortOpen(false));
    l.name_com3(second.terminal_path());
    l.open_and_reach(second, first, 0x42);
}

// The adapter is gone with its device, and the file now names where the
// programmer came back.
TEST(PortsFile, LostPortReopensOnTheDeviceTheFileNowNames) {
    PortsFileLine l;
    auto gone = std::make_unique<PtyPair>();
    PtyPair back, unused;
    test::DeviceLink old_device(l.dir.file("adapter"), gone->terminal_path());
    l.name_com3(old_device.path());
    ASSERT_TRUE(l.ctl.CommPort(3));
    l.open_and_reach(*gone, back, 0x43);
    int losses = 0;
    QObject::connect(&l.ctl, &SerialControl::port_lost, [&] { ++losses; });
    old_device.pull();
    gone.reset();
    ASSERT_TRUE(spin_until([&] { return losses == 1; }));
    ASSERT_FALSE(l.ctl.PortOpen());
    l.name_com3(back.terminal_path());
    l.open_and_reach(back, unused, 0x44);
}

}  // namespace
}  // namespace tessaly
