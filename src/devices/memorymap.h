// The memory map of the 14-bit flash PICs as the buffers, the HEX files, the
// interpreter and the simulated chip see it: FLASH from word 0, the ID and
// configuration area from 2000h, the EEPROM image from 2100h, and the byte
// addresses of a HEX file, which are twice the word addresses; the width of
// each kind of cell.
#pragma once

#include <cstdint>

namespace tessaly {

// FLASH and configuration words hold 14 bits; a read with higher bits set
// cannot have come from a chip.
inline constexpr std::int32_t chip_word_mask = 0x3FFF;
inline constexpr bool is_chip_word(std::int32_t word) {
    return word >= 0 && word <= chip_word_mask;
}

// EEPROM cells hold 8 bits: the high byte of a data word or a read does not
// reach them.
inline constexpr std::int32_t eeprom_byte_mask = 0xFF;
inline constexpr bool is_eeprom_byte(std::int32_t value) {
    return value >= 0 && value <= eeprom_byte_mask;
}

inline constexpr std::int32_t id_first_address = 0x2000;  // ID locations 2000h-2003h
inline constexpr std::int32_t id_last_address = 0x2003;
inline constexpr std::int32_t device_id_address = 0x2006;
inline constexpr std::int32_t config1_address = 0x2007;
inline constexpr std::int32_t config2_address = 0x2008;
inline constexpr std::int32_t eeprom_address = 0x2100;  // EEPROM byte 0, one word per byte

// A HEX file counts bytes: word address a is byte address 2a.
inline constexpr std::int32_t hex_byte_address(std::int32_t word_address) {
    return 2 * word_address;
}

}  // namespace tessaly
