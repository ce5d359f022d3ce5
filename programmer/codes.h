// The byte values of the programmer's serial line and of the chip's ICSP
// commands, in one place, so the simulated programmer, its trace and its tests
// all speak of the same numbers.
#pragma once

#include <cstdint>

namespace tessaly::sim {

// Message codes on the serial line. 104 carries one command byte, 105 a data
// word (low byte first); 106 is answered by three bytes, every other message by
// one.
inline constexpr std::uint8_t wire_step = 100;
inline constexpr std::uint8_t wire_power_vddvpp = 101;
inline constexpr std::uint8_t wire_power_vppvdd = 102;
inline constexpr std::uint8_t wire_power_off = 103;
inline constexpr std::uint8_t wire_command = 104;
inline constexpr std::uint8_t wire_word = 105;
inline constexpr std::uint8_t wire_read = 106;

// 6-bit ICSP commands of the 14-bit flash parts.
inline constexpr int icsp_load_config = 0x00;
inline constexpr int icsp_load_program = 0x02;
inline constexpr int icsp_load_data = 0x03;
inline constexpr int icsp_read_program = 0x04;
inline constexpr int icsp_read_data = 0x05;
inline constexpr int icsp_increment = 0x06;
inline constexpr int icsp_begin_erase_program = 0x08;
inline constexpr int icsp_bulk_erase_program = 0x09;
inline constexpr int icsp_bulk_erase_data = 0x0B;
inline constexpr int icsp_end_programming = 0x17;
inline constexpr int icsp_begin_program_only = 0x18;
inline constexpr int icsp_chip_erase = 0x1F;

// Addresses of the configuration area, reached through Load Configuration.
inline constexpr int config_base = 0x2000;     // ID locations 2000h-2003h
inline constexpr int id_locations = 4;
inline constexpr int device_id_address = 0x2006;
inline constexpr int config1_address = 0x2007;
inline constexpr int config2_address = 0x2008;
inline constexpr int word_mask = 0x3FFF;

}  // namespace tessaly::sim
