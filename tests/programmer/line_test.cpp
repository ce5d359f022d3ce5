// The simulated line's byte clock: slots follow each other on the line's own
// deadlines, never on the time a sleep happened to wake.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "line.h"
#include "linerate.h"

namespace tessaly::sim {
namespace {

constexpr std::int64_t byte_ns = 10'000'000'000 / 56000;  // 178571 ns per byte at 56000 baud

TEST(LineClock, BurstsTakeOneSlotPerByteFromTheirArrival) {
    LineClock clock(56000);
    // Three bytes of one read: back to back from the time they arrived.
    EXPECT_EQ(clock.received(1000), 1000 + byte_ns);
    EXPECT_EQ(clock.received(1000), 1000 + 2 * byte_ns);
    EXPECT_EQ(clock.received(1000), 1000 + 3 * byte_ns);
    // A three-byte reply ready at the last one's end: its slots follow on,
    // whenever the writer got round to asking.
    const std::int64_t ready = 1000 + 3 * byte_ns;
    EXPECT_EQ(clock.sent(ready), ready + byte_ns);
    EXPECT_EQ(clock.sent(ready), ready + 2 * byte_ns);
    EXPECT_EQ(clock.sent(ready), ready + 3 * byte_ns);
    // After a pause each direction starts again where its next byte is there.
    EXPECT_EQ(clock.received(10'000'000), 10'000'000 + byte_ns);
    EXPECT_EQ(clock.sent(20'000'000), 20'000'000 + byte_ns);
}

TEST(LineClock, UnpacedLineTakesNoTime) {
    LineClock clock(0);
    EXPECT_EQ(clock.received(5), 5);
    EXPECT_EQ(clock.sent(7), 7);
}

// A pseudo-terminal stands in for a serial device: its termios keeps what the
// simulator set, as a real port's driver would.
class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(::grantpt(master_), 0);
        ASSERT_EQ(::unlockpt(master_), 0);
        char name[128];
        ASSERT_EQ(::ptsname_r(master_, name, sizeof name), 0);
        path_ = name;
    }
    void TearDown() override { ::close(master_); }

    // Starts the device cooked, odd parity, two stop bits, 7 bits, flow control.
    void spoil() {
        const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(fd, &tio);
        tio.c_lflag |= ICANON | ECHO;
        tio.c_cflag = (tio.c_cflag & ~CSIZE) | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS;
        tio.c_iflag |= IXON | ICRNL;
        tio.c_oflag |= OPOST;
        cfsetspeed(&tio, B2400);
        ::tcsetattr(fd, TCSANOW, &tio);
        ::close(fd);
    }

    int master_ = -1;
    std::string path_;
};

TEST_F(PtyPort, OpenPortSetsRaw8N1AtTheRateGiven) {
    for (const std::int64_t baud : {56000, 9600}) {
        spoil();
        SerialLine line;
        std::string error;
        ASSERT_TRUE(line.open_port(path_, baud, error)) << error;
        termios tio{};
        ASSERT_EQ(::tcgetattr(line.fd(), &tio), 0);
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_NE(tio.c_cflag & CREAD, 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(line_rate(line.fd()), baud);
    }
}

}  // namespace
}  // namespace tessaly::sim
