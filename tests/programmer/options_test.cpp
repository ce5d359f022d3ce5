#include "options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly::sim {
namespace {

TEST(SimOptions, TakesEveryOptionWithItsValue) {
    SimOptions o;
    const std::vector<std::string> args = {
        "--model", "PIC16F88", "--device-list", "d.txt", "--port", "/dev/ttyUSB0",
        "--load", "in.hex", "--dump", "out.hex", "--trace", "t.txt", "--pace", "9600",
        "--baud", "19200", "--reply-delay-ms", "0", "--stop-after", "0", "--extra-byte-after", "5",
        "--flip-bit", "0x1F", "--extra-byte-delay-ms", "30", "--empty-socket", "--which-model", "cfg"};
    ASSERT_EQ(parse_options(args, o), "");
    EXPECT_EQ(o.model, "PIC16F88");
    EXPECT_EQ(o.device_list, "d.txt");
    EXPECT_EQ(o.port, "/dev/ttyUSB0");
    EXPECT_EQ(o.load, "in.hex");
    EXPECT_EQ(o.dump, "out.hex");
    EXPECT_EQ(o.trace, "t.txt");
    EXPECT_EQ(o.pace, 9600);
    EXPECT_EQ(o.baud, 19200);
    EXPECT_EQ(o.reply_delay_ms, 0);
    EXPECT_EQ(o.faults.stop_after, 0);
    EXPECT_EQ(o.faults.extra_byte_after, 5);
    EXPECT_EQ(o.flip_address, 0x1F);
    EXPECT_EQ(o.faults.extra_byte_delay_ms, 30);
    EXPECT_TRUE(o.faults.empty_socket);
    EXPECT_EQ(o.which_model, "cfg");
}

TEST(SimOptions, PortLineRateIs56000UnlessGiven) {
    SimOptions o;
    ASSERT_EQ(parse_options({"--port", "/dev/ttyS0"}, o), "");
    EXPECT_EQ(o.baud, 56000);
}

TEST(SimOptions, FlipAddressIsHexInEveryWrittenForm) {
    for (const char* text : {"1F", "1f", "0x1F", "1Fh"}) {
        SimOptions o;
        EXPECT_EQ(parse_options({"--flip-bit", text}, o), "") << text;
        EXPECT_EQ(o.flip_address, 0x1F) << text;
    }
}

TEST(SimOptions, RefusesBadCommandLinesSayingWhy) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"--speed", "9600"}, "unknown option '--speed'"},
        {{"model"}, "unexpected argument 'model'"},
        {{"--pace"}, "--pace needs a value"},
        {{"--pace", "0"}, "--pace needs a whole number from 1"},
        {{"--pace", "96OO"}, "not '96OO'"},
        {{"--reply-delay-ms", "-1"}, "--reply-delay-ms needs a whole number"},
        {{"--stop-after", "99999999999999999999"}, "--stop-after needs a whole number"},
        {{"--extra-byte-after", "0"}, "--extra-byte-after needs a whole number from 1"},
        {{"--flip-bit", "2000"}, "--flip-bit needs a FLASH word address"},
        {{"--flip-bit", "0x"}, "--flip-bit needs"},
        {{"--flip-bit", "G1"}, "--flip-bit needs"},
        {{"--model", ""}, "--model needs a non-empty value"},
        {{"--baud", "0"}, "--baud needs a whole number from 50"},
        {{"--baud", "9600"}, "--baud sets the rate of a --port device"},
        {{"--baud", "56000", "--model", "PIC16F84A"}, "--baud sets the rate of a --port device"},
        {{"--extra-byte-delay-ms", "30"}, "--extra-byte-delay-ms delays the byte of --extra-byte-after"},
        {{"--extra-byte-after", "2", "--extra-byte-delay-ms", "600001"},
         "--extra-byte-delay-ms needs a whole number from 0 to 600000"},
        {{"--empty-socket", "yes"}, "unexpected argument 'yes'"},
    };
    for (const auto& c : cases) {
        SimOptions o;
        const std::string fault = parse_options(c.args, o);
        EXPECT_NE(fault.find(c.says), std::string::npos) << c.args[0] << ": " << fault;
    }
}

}  // namespace
}  // namespace tessaly::sim
