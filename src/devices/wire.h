// The messages of the serial conversation with the programmer, in one table:
// each message starts with its code byte, some carry data after it, and the
// programmer answers each with a fixed number of bytes. The engine's senders,
// the simulated programmer and the test fakes all read their lengths here.
#pragma once

#include <array>
#include <cstdint>

namespace tessaly {

// Nothing to do: only the reply, which paces the next instruction.
inline constexpr std::uint8_t cmd_step = 100;
inline constexpr std::uint8_t cmd_vddvpp = 101;      // voltages on, Vdd first
inline constexpr std::uint8_t cmd_vppvdd = 102;      // voltages on, Vpp first
inline constexpr std::uint8_t cmd_voltsoff = 103;    // voltages off
inline constexpr std::uint8_t cmd_byte = 104;        // followed by one chip command byte
inline constexpr std::uint8_t cmd_word = 105;        // followed by a data word, low byte first
inline constexpr std::uint8_t cmd_read = 106;        // read one data word from the chip

struct WireMessage {
    std::uint8_t code;
    int message_bytes;  // the code byte included
    int reply_bytes;    // a read: data low byte, data high byte, one more byte
};

inline constexpr std::array<WireMessage, 7> wire_messages{{
    {cmd_step, 1, 1},
    {cmd_vddvpp, 1, 1},
    {cmd_vppvdd, 1, 1},
    {cmd_voltsoff, 1, 1},
    {cmd_byte, 2, 1},
    {cmd_word, 3, 1},
    {cmd_read, 1, 3},
}};

// A code byte outside the table is taken as a message of its own, answered by
// one byte, as the programmer does.
inline constexpr WireMessage wire_message(std::uint8_t code) {
    for (const WireMessage& m : wire_messages) {
        if (m.code == code) return m;
    }
    return {code, 1, 1};
}

// The device list's voltage order words, as select_device stores them.
inline constexpr std::int32_t voltageseq_vddvpp = 1;
inline constexpr std::int32_t voltageseq_vppvdd = 2;

}  // namespace tessaly
