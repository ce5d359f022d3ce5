// The command codes of the serial conversation with the programmer. Each
// message starts with one of these bytes; every message is answered with one
// byte, except cmd_read, which is answered with the data word (low byte, high
// byte) and one more byte.
#pragma once

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

inline constexpr int read_reply_bytes = 3;
inline constexpr int plain_reply_bytes = 1;

// The device list's voltage order words, as select_device stores them.
inline constexpr std::int32_t voltageseq_vddvpp = 1;
inline constexpr std::int32_t voltageseq_vppvdd = 2;

}  // namespace tessaly
