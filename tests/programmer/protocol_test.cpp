#include "protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codes.h"

namespace tessaly::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

ChipShape small_chip() {
    ChipShape s;
    s.flashsize = 1024;
    s.eepromsize = 64;
    return s;
}

// Every byte fed one at a time; the replies of all of them, in order.
Bytes replies(WireProtocol& protocol, const Bytes& input) {
    Bytes out;
    for (auto byte : input) {
        const Bytes reply = protocol.feed(byte);
        out.insert(out.end(), reply.begin(), reply.end());
    }
    return out;
}

TEST(WireProtocol, AnswersEachMessageWithItsReply) {
    struct Case {
        const char* name;
        Bytes input;
        Bytes expected;
    };
    const Case cases[] = {
        {"step and power messages", {100, 101, 102, 103}, {100, 101, 102, 103}},
        {"command byte is data, not a code", {104, 101, 104, 106}, {104, 104}},
        {"word bytes are data, not codes", {105, 104, 106}, {105}},
        {"unknown code bytes", {0, 99, 107, 255}, {0, 99, 107, 255}},
        {"read of a blank word", {101, 104, 0x04, 106}, {101, 104, 0xFF, 0x3F, 106}},
        {"read of a blank EEPROM byte", {101, 104, 0x05, 106}, {101, 104, 0xFF, 0x00, 106}},
        {"word programmed and read back",
         {101, 104, 0x02, 105, 0x34, 0x12, 104, 0x08, 104, 0x04, 106},
         {101, 104, 105, 104, 104, 0x34, 0x12, 106}},
        {"read while unpowered", {104, 0x04, 106}, {104, 0, 0, 106}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimChip chip(small_chip());
        WireProtocol protocol(chip);
        EXPECT_EQ(replies(protocol, c.input), c.expected);
    }
}

TEST(WireProtocol, IncompleteMessageWaitsForItsRemainingBytes) {
    SimChip chip(small_chip());
    WireProtocol protocol(chip);
    replies(protocol, {101, 104, 0x02});
    EXPECT_TRUE(protocol.feed(105).empty());
    EXPECT_TRUE(protocol.feed(0x34).empty());
    EXPECT_EQ(protocol.messages(), 2);
    EXPECT_EQ(protocol.feed(0x12), Bytes{105});
    EXPECT_TRUE(protocol.feed(104).empty());
    EXPECT_EQ(protocol.feed(0x08), Bytes{104});
    EXPECT_EQ(chip.program_word(0), 0x1234);
}

TEST(WireProtocol, PlannedFaultsSilenceOrAddBytes) {
    SimChip chip(small_chip());
    FaultPlan silent;
    silent.stop_after = 2;
    WireProtocol stopping(chip, silent);
    EXPECT_EQ(replies(stopping, {101, 104, 0x09, 103, 100}), (Bytes{101, 104}));
    EXPECT_TRUE(chip.powered()) << "unanswered messages are not carried out";

    FaultPlan chatty;
    chatty.extra_byte_after = 2;
    WireProtocol extra(chip, chatty);
    EXPECT_EQ(replies(extra, {100, 100, 100}), (Bytes{100, 100, unrequested_byte, 100}));
}

TEST(WireProtocol, DelayedExtraByteIsOwedApartFromTheReply) {
    std::vector<std::string> lines;
    SimChip chip(small_chip());
    FaultPlan late;
    late.extra_byte_after = 2;
    late.extra_byte_delay_ms = 30;
    WireProtocol protocol(chip, late, [&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(protocol.feed(100), Bytes{100});
    EXPECT_FALSE(protocol.owes_delayed_byte());
    EXPECT_EQ(protocol.feed(100), Bytes{100}) << "the reply alone";
    EXPECT_TRUE(protocol.owes_delayed_byte());
    EXPECT_EQ(protocol.feed(100), Bytes{100});
    EXPECT_EQ(protocol.delayed_byte_ms(), 30);
    EXPECT_EQ(protocol.take_delayed_byte(), unrequested_byte);
    EXPECT_FALSE(protocol.owes_delayed_byte());
    EXPECT_EQ(lines.back(), "tx #2: A5 (unrequested, 30 ms after the reply)");
}

// A chip is programmed over a good socket first; with the socket empty, nothing
// reaches it, while every message is answered and reads see the pulled-up line.
TEST(WireProtocol, EmptySocketReadsAllOnesAndLeavesTheChipAsItWas) {
    SimChip chip(small_chip());
    WireProtocol good(chip);
    replies(good, {101, 104, 0x02, 105, 0x34, 0x12, 104, 0x08, 103});
    ASSERT_EQ(chip.program_word(0), 0x1234);

    std::vector<std::string> lines;
    FaultPlan empty;
    empty.empty_socket = true;
    WireProtocol protocol(chip, empty, [&](const std::string& line) { lines.push_back(line); });
    const Bytes input = {101, 104, 0x09, 104, 0x08, 104, 0x02, 105, 0x00, 0x00, 104, 0x08,
                         104, 0x04, 106, 104, 0x06, 104, 0x05, 106, 103, 7};
    EXPECT_EQ(replies(protocol, input),
              (Bytes{101, 104, 104, 104, 105, 104, 104, 0xFF, 0xFF, 106, 104, 104, 0xFF, 0xFF,
                     106, 103, 7}));
    EXPECT_EQ(chip.program_word(0), 0x1234) << "the bulk erase and the new word reach no chip";
    EXPECT_EQ(chip.program_word(1), blank_flash_word);
    EXPECT_EQ(chip.address(), 0) << "no increment either";
    EXPECT_NE(lines[2].find("bulk erase program memory [empty socket: no chip takes it]"),
              std::string::npos) << lines[2];
    EXPECT_NE(lines[8].find("data word 0000 [empty socket"), std::string::npos) << lines[8];
    EXPECT_NE(lines[14].find("read FFFF [empty socket: the data line is pulled up]"),
              std::string::npos) << lines[14];
}

TEST(WireProtocol, TracesEachMessageAndReplyOnALine) {
    std::vector<std::string> lines;
    SimChip chip(small_chip());
    WireProtocol protocol(chip, {}, [&](const std::string& line) { lines.push_back(line); });
    replies(protocol, {7, 104, 0x02});
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("rx #1: 07", 0), 0u);
    EXPECT_NE(lines[0].find("unknown"), std::string::npos);
    EXPECT_EQ(lines[1], "tx #1: 07");
    EXPECT_NE(lines[2].find("unpowered"), std::string::npos);
}

}  // namespace
}  // namespace tessaly::sim
