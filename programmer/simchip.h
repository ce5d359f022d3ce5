// The simulated 14-bit flash PIC behind the programmer: FLASH, EEPROM, ID and
// configuration words, the address counter, one row of write latches and a data
// latch, driven by the ICSP commands. It only acts while powered, keeps every
// program word to 14 bits and every EEPROM cell to 8, and never reads or writes
// outside its memories whatever commands and words arrive.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/device.h"
#include "codes.h"

namespace tessaly::sim {

// What the chip takes from a device list model.
struct ChipShape {
    std::int32_t flashsize = 0;    // words
    std::int32_t eepromsize = 0;   // bytes
    std::array<std::int32_t, 2> conferased{blank_flash_word, blank_flash_word};
    bool config2used = false;
    std::int32_t pagesize = 1;     // words per row of write latches
    std::int32_t deviceid = blank_flash_word;
};

// The shape of a selected model; sizes and page size are held to what the
// memories can hold, and an erased value that is not a 14-bit word reads 3FFFh.
ChipShape chip_shape(const SelectedDevice& dev);

// Device ID word (read at 2006h) of the known models, 3FFFh for any other name.
std::int32_t device_id_for(const std::string& modelname);

class SimChip {
public:
    explicit SimChip(const ChipShape& shape);

    // Voltages on (address to 0, latches blank) and off.
    void power_on();
    void power_off();
    bool powered() const { return powered_; }

    // One ICSP command, one data word (the one a load command waits for) and one
    // read (what the last read command chose). Each returns a note for the trace,
    // empty when the chip simply did what was asked.
    std::string command(int code);
    std::string data_word(std::int32_t word);
    std::int32_t read_word(std::string& note);

    // The FLASH word at address reads back with bit 0 changed; -1 for none.
    void set_flip_address(std::int32_t address) { flip_address_ = address; }

    std::int32_t address() const { return address_; }
    // The word the program-memory read returns at address, without the flip.
    std::int32_t program_word(std::int32_t address) const;
    std::int32_t eeprom_byte(std::int32_t address) const;

    // Memory as a HEX file holds it: FLASH, both configuration words, EEPROM.
    // Values are cut to 14 and 8 bits on the way in.
    void load_image(const ChipImage& image);
    ChipImage image() const;

private:
    enum class Load { none, program, data };
    enum class Read { none, program, data };

    std::string program_cycle();
    void erase_program(bool with_config);
    void erase_data();
    void blank_latches();
    void increment();
    // The writable ID or configuration word at address, null for any other.
    const std::int32_t* config_cell(std::int32_t address) const;
    std::int32_t* config_cell(std::int32_t address);

    ChipShape shape_;
    std::vector<std::int32_t> flash_;
    std::vector<std::int32_t> eeprom_;
    std::array<std::int32_t, id_locations> ids_{};
    std::array<std::int32_t, 2> conf_{};
    std::vector<std::int32_t> latches_;
    std::int32_t data_latch_ = blank_eeprom_byte;
    std::int32_t address_ = 0;
    bool powered_ = false;
    int awaiting_word_ = -1;  // the load command whose data word comes next
    Read read_ = Read::none;
    Load loaded_ = Load::none;
    std::int32_t flip_address_ = -1;
};

}  // namespace tessaly::sim
