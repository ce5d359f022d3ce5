// The chip's ICSP commands, and the simulator's names for the serial line's
// codes and the memory map, which live with the rest of the program's.
#pragma once

#include <cstdint>

#include "devices/memorymap.h"
#include "devices/wire.h"

namespace tessaly::sim {

inline constexpr std::uint8_t wire_step = cmd_step;
inline constexpr std::uint8_t wire_power_vddvpp = cmd_vddvpp;
inline constexpr std::uint8_t wire_power_vppvdd = cmd_vppvdd;
inline constexpr std::uint8_t wire_power_off = cmd_voltsoff;
inline constexpr std::uint8_t wire_command = cmd_byte;
inline constexpr std::uint8_t wire_word = cmd_word;
inline constexpr std::uint8_t wire_read = cmd_read;

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

// The configuration area, reached through Load Configuration.
inline constexpr int config_base = id_first_address;
inline constexpr int id_locations = id_last_address - id_first_address + 1;
inline constexpr int word_mask = chip_word_mask;

}  // namespace tessaly::sim
