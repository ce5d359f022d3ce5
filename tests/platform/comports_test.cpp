#include "platform/comports.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tempfolder.h"

namespace tessaly {
namespace {

TEST(ComPortMap, DefaultTable) {
    const ComPortMap map;
    const char* expected[] = {
        "/dev/ttyS0",   "/dev/ttyS1",   "/dev/ttyS2",   "/dev/ttyS3",
        "/dev/ttyS4",   "/dev/ttyS5",   "/dev/ttyS6",   "/dev/ttyS7",
        "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB3",
        "/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyACM2", "/dev/ttyACM3"};
    for (int n = 1; n <= 16; ++n) EXPECT_EQ(map.path(n), expected[n - 1]) << "COM" << n;
    for (int n : {0, -1, 17, 1000}) EXPECT_EQ(map.path(n), "") << n;
}

TEST(ComPortMap, WellFormedLinesOverrideAndMalformedOnesAreIgnored) {
    ComPortMap map;
    map.override_lines(
        "COM3=/dev/ttyUSB1\r\n"        // CR LF line end
        "  com4 =  /dev/pts/7  \n"     // any case, blanks around
        "COM05=/dev/my port\n"         // leading zero; a blank inside the path
        "COM9=/dev/first\nCOM9=/dev/second\n"  // the later line wins
        "COM0=/dev/x\nCOM17=/dev/x\nCOM-1=/dev/x\nCOM=/dev/x\nCOMx=/dev/x\n"
        "LPT1=/dev/x\nCOM2\nCOM6=\nCOM7=   \n=/dev/x\n# COM8=/dev/x\n"
        "COM12=/dev/last-line-without-newline");
    const ComPortMap defaults;
    EXPECT_EQ(map.path(3), "/dev/ttyUSB1");
    EXPECT_EQ(map.path(4), "/dev/pts/7");
    EXPECT_EQ(map.path(5), "/dev/my port");
    EXPECT_EQ(map.path(9), "/dev/second");
    EXPECT_EQ(map.path(12), "/dev/last-line-without-newline");
    for (int n : {1, 2, 6, 7, 8, 16}) EXPECT_EQ(map.path(n), defaults.path(n)) << "COM" << n;
}

TEST(ComPortMap, BinaryJunkChangesNothing) {
    std::string junk(5000, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 37 % 256);
    junk += std::string("COM1=/dev/a\0b\n", 14);  // an embedded NUL is no path
    ComPortMap map;
    map.override_lines(junk);
    EXPECT_EQ(map.path(1), "/dev/ttyS0");
}

TEST(ComPortMap, FromFolder) {
    const test::TempFolder dir;
    const std::string& folder = dir.path();
    EXPECT_EQ(ComPortMap::from_folder(folder + "/missing").path(3), "/dev/ttyS2");

    std::ofstream(folder + "/ports") << "COM3=/dev/ttyUSB1\nnonsense\n";
    EXPECT_EQ(ComPortMap::from_folder(folder).path(3), "/dev/ttyUSB1");
    EXPECT_EQ(ComPortMap::from_folder(folder).path(4), "/dev/ttyS3");
}

TEST(ComPortMap, PortsFileThatIsNoPlainFileIsIgnoredWithoutBlocking) {
    const test::TempFolder dir;
    const std::string& folder = dir.path();
    const std::string ports = folder + "/ports";
    // A device that never ends, then a FIFO nobody writes: neither may hang.
    ASSERT_EQ(::symlink("/dev/zero", ports.c_str()), 0);
    EXPECT_EQ(ComPortMap::from_folder(folder).path(1), "/dev/ttyS0");
    ASSERT_EQ(::unlink(ports.c_str()), 0);
    ASSERT_EQ(::mkfifo(ports.c_str(), 0600), 0);
    EXPECT_EQ(ComPortMap::from_folder(folder).path(1), "/dev/ttyS0");
}

}  // namespace
}  // namespace tessaly
