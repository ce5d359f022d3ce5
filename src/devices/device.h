// The selected device and the memory buffers whose shape follows it.
// select_device turns one entry of the device list into typed values and five
// instruction lists; blank_buffers is the one place that creates the buffers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/devicelist.h"
#include "devices/memorymap.h"

namespace tessaly {

// Erased memory reads as all ones.
inline constexpr std::int32_t blank_flash_word = chip_word_mask;
inline constexpr std::int32_t blank_eeprom_byte = eeprom_byte_mask;

// Sizes the rest of the program can address: FLASH must stay below the
// configuration area, and the EEPROM image (one HEX word per byte) must stay
// within 16-bit HEX addresses.
inline constexpr std::int32_t max_flashsize = id_first_address;
inline constexpr std::int32_t max_eepromsize = (0x10000 - hex_byte_address(eeprom_address)) / 2;

struct SelectedDevice {
    std::int32_t devindex = 0;
    std::string modelname;
    std::int32_t flashsize = 0;   // words
    std::int32_t eepromsize = 0;  // bytes
    // Erased values of configuration word 1 (2007h) at [0] and word 2 (2008h)
    // at [1]; -1 where the device list gives no four hex digits.
    std::array<std::int32_t, 2> conferased{0, 0};
    bool config2used = false;
    std::int32_t voltageseq = 0;  // 1 = Vdd before Vpp, 2 = Vpp before Vdd, 0 = none
    std::int32_t progtime = 0;    // milliseconds
    std::int32_t pagesize = 0;    // words
    // Instruction lists, lower case, split at commas, not trimmed; each holds at
    // least one instruction. Instruction number k of the operation is [k - 1].
    std::vector<std::string> eraselines;
    std::vector<std::string> programlines;
    std::vector<std::string> readlines;
    std::vector<std::string> blanklines;
    std::vector<std::string> verifylines;
};

struct ChipImage {
    std::vector<std::int32_t> flashbuf;   // one word per FLASH address
    std::vector<std::int32_t> eeprombuf;  // one byte per EEPROM offset, at least one element
    std::array<std::int32_t, 2> conf{0, 0};  // [0] = word 1 at 2007h, [1] = word 2 at 2008h
};

// Splits an algorithm text into its instruction list.
std::vector<std::string> split_instructions(const std::string& algorithm);

// Why the device of this entry cannot be selected: a FLASH size of 0 or less,
// or sizes the buffers, grids and HEX files cannot address. Empty when usable.
std::string device_fault(const DeviceEntry& entry);

// Makes device index of list the selected device. Returns the refusal text
// (an index outside 1..devcount, or device_fault) and leaves cur untouched
// then; returns "" on success. config2used and voltageseq keep their earlier
// values when the entry's text is neither of their two words.
std::string select_device(const DeviceList& list, std::int32_t index, SelectedDevice& cur);

// Re-creates all three buffers blank for the device's sizes and erased values.
void blank_buffers(const SelectedDevice& cur, ChipImage& image);

// The address of the device's last FLASH word or EEPROM byte that is not blank,
// -1 when all are: programming and a saved HEX file end there. Only the
// device's own part of a buffer counts.
std::int32_t last_nonblank_flash(const SelectedDevice& cur, const ChipImage& image);
std::int32_t last_nonblank_eeprom(const SelectedDevice& cur, const ChipImage& image);

// The FLASH and configuration words (the second only where the device has it)
// that hold more than the 14 bits of a chip word: a programmer that does not
// mask what it reads, or a read of an empty socket, leaves such words, and no
// HEX file can carry them.
struct WideWords {
    std::int32_t count = 0;
    std::int32_t first_address = -1;  // FLASH from 0, or 2007h and 2008h
    std::int32_t first_word = 0;
};
WideWords wide_words(const SelectedDevice& cur, const ChipImage& image);

}  // namespace tessaly
