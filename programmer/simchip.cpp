#include "simchip.h"

#include <algorithm>
#include <utility>

#include "devices/hextext.h"

namespace tessaly::sim {

namespace {

constexpr std::int32_t blank_word = blank_flash_word;
constexpr std::int32_t blank_byte = blank_eeprom_byte;
constexpr char unpowered[] = "unpowered: ignored";

// Device ID words with revision 0, from the programming sheets of each part.
constexpr std::pair<const char*, std::int32_t> known_ids[] = {
    {"PIC16F84A", 0x0560},  {"PIC16F627A", 0x1040}, {"PIC16F628A", 0x1060},
    {"PIC16F648A", 0x1100}, {"PIC16F87", 0x0720},   {"PIC16F88", 0x0760},
    {"PIC16F873A", 0x0E40}, {"PIC16F874A", 0x0E60}, {"PIC16F876A", 0x0E00},
    {"PIC16F877A", 0x0E20},
};

std::int32_t erased_value(std::int32_t value) {
    return is_chip_word(value) ? value : blank_word;
}

}  // namespace

std::int32_t device_id_for(const std::string& modelname) {
    const std::string name = to_upper(modelname);
    for (const auto& [model, id] : known_ids) {
        if (name == model) return id;
    }
    return blank_word;
}

ChipShape chip_shape(const SelectedDevice& dev) {
    ChipShape shape;
    shape.flashsize = std::clamp(dev.flashsize, 0, max_flashsize);
    shape.eepromsize = std::clamp(dev.eepromsize, 0, max_eepromsize);
    shape.conferased = {erased_value(dev.conferased[0]), erased_value(dev.conferased[1])};
    shape.config2used = dev.config2used;
    shape.pagesize = std::clamp(dev.pagesize, 1, max_flashsize);
    shape.deviceid = device_id_for(dev.modelname);
    return shape;
}

SimChip::SimChip(const ChipShape& shape)
    : shape_(shape),
      flash_(std::max(shape.flashsize, 0), blank_word),
      eeprom_(std::max(shape.eepromsize, 0), blank_byte),
      latches_(std::max(shape.pagesize, 1), blank_word) {
    shape_.pagesize = static_cast<std::int32_t>(latches_.size());
    shape_.flashsize = static_cast<std::int32_t>(flash_.size());
    shape_.eepromsize = static_cast<std::int32_t>(eeprom_.size());
    shape_.conferased = {erased_value(shape.conferased[0]), erased_value(shape.conferased[1])};
    ids_.fill(blank_word);
    conf_ = shape_.conferased;
}

void SimChip::power_on() {
    powered_ = true;
    address_ = 0;
    awaiting_word_ = -1;
    read_ = Read::none;
    loaded_ = Load::none;
    blank_latches();
}

void SimChip::power_off() {
    powered_ = false;
    awaiting_word_ = -1;
    read_ = Read::none;
}

std::string SimChip::command(int code) {
    if (!powered_) return unpowered;
    // A data word or a read belongs to the command right before it.
    awaiting_word_ = -1;
    read_ = Read::none;
    switch (code) {
    case icsp_load_config:
        address_ = config_base;
        awaiting_word_ = code;
        return "";
    case icsp_load_program:
    case icsp_load_data:
        awaiting_word_ = code;
        return "";
    case icsp_read_program:
        read_ = Read::program;
        return "";
    case icsp_read_data:
        read_ = Read::data;
        return "";
    case icsp_increment:
        increment();
        return "";
    case icsp_begin_erase_program:
    case icsp_begin_program_only:
        return program_cycle();
    case icsp_end_programming:
        return "";
    case icsp_bulk_erase_program:
        erase_program(address_ >= config_base);
        return "";
    case icsp_bulk_erase_data:
        erase_data();
        return "";
    case icsp_chip_erase:
        erase_program(true);
        erase_data();
        return "";
    default:
        return "unknown chip command: ignored";
    }
}

std::string SimChip::data_word(std::int32_t word) {
    if (!powered_) return unpowered;
    const int load = std::exchange(awaiting_word_, -1);
    if (load < 0) return "no load command before it: ignored";
    if (load == icsp_load_data) {
        data_latch_ = word & eeprom_byte_mask;
        loaded_ = Load::data;
        return word > eeprom_byte_mask ? "cut to 8 bits" : "";
    }
    latches_[address_ % shape_.pagesize] = word & word_mask;
    loaded_ = Load::program;
    return word > word_mask ? "cut to 14 bits" : "";
}

std::int32_t SimChip::read_word(std::string& note) {
    note.clear();
    if (!powered_) {
        note = "unpowered: reads 0";
        return 0;
    }
    const Read read = std::exchange(read_, Read::none);
    if (read == Read::none) {
        note = "no read command before it: reads 0";
        return 0;
    }
    if (read == Read::data) return eeprom_byte(address_);
    std::int32_t word = program_word(address_);
    if (address_ == flip_address_ && address_ < shape_.flashsize) {
        word ^= 1;
        note = "bit 0 flipped";
    }
    return word;
}

std::int32_t SimChip::program_word(std::int32_t address) const {
    if (address >= 0 && address < shape_.flashsize) return flash_[address];
    if (address == device_id_address) return shape_.deviceid;
    if (const auto* cell = config_cell(address)) return *cell;
    return blank_word;
}

std::int32_t SimChip::eeprom_byte(std::int32_t address) const {
    if (address >= 0 && address < shape_.eepromsize) return eeprom_[address];
    return blank_byte;
}

void SimChip::load_image(const ChipImage& image) {
    const auto flash_n = std::min(flash_.size(), image.flashbuf.size());
    for (std::size_t i = 0; i < flash_n; ++i) flash_[i] = image.flashbuf[i] & word_mask;
    const auto eeprom_n = std::min(eeprom_.size(), image.eeprombuf.size());
    for (std::size_t i = 0; i < eeprom_n; ++i) eeprom_[i] = image.eeprombuf[i] & eeprom_byte_mask;
    conf_ = {image.conf[0] & word_mask, image.conf[1] & word_mask};
}

ChipImage SimChip::image() const {
    ChipImage image;
    image.flashbuf = flash_;
    // The program's buffers always hold one EEPROM element, 0 when there is none.
    image.eeprombuf = eeprom_.empty() ? std::vector<std::int32_t>{0} : eeprom_;
    image.conf = conf_;
    return image;
}

std::string SimChip::program_cycle() {
    if (loaded_ == Load::none) return "nothing loaded: nothing written";
    if (loaded_ == Load::data) {
        if (address_ >= shape_.eepromsize) return "no EEPROM byte at the address: nothing written";
        eeprom_[address_] = data_latch_;
        return "";
    }
    std::string note;
    if (address_ < config_base) {
        // The whole row that holds the address takes the latches.
        const std::int32_t row = address_ - address_ % shape_.pagesize;
        if (row >= shape_.flashsize) note = "past the end of FLASH: nothing written";
        for (std::int32_t i = 0; i < shape_.pagesize && row + i < shape_.flashsize; ++i) {
            flash_[row + i] = latches_[i];
        }
    } else if (auto* cell = config_cell(address_)) {
        *cell = latches_[address_ % shape_.pagesize];
    } else {
        note = "read-only address: nothing written";
    }
    blank_latches();
    return note;
}

void SimChip::erase_program(bool with_config) {
    std::fill(flash_.begin(), flash_.end(), blank_word);
    if (!with_config) return;
    ids_.fill(blank_word);
    conf_ = shape_.conferased;
}

void SimChip::erase_data() { std::fill(eeprom_.begin(), eeprom_.end(), blank_byte); }

void SimChip::blank_latches() { std::fill(latches_.begin(), latches_.end(), blank_word); }

void SimChip::increment() {
    // Program space wraps within itself; the configuration area too, so only a
    // new power-on brings the counter back to 0.
    if (address_ < config_base) {
        address_ = (address_ + 1) % config_base;
    } else {
        address_ = config_base + (address_ - config_base + 1) % config_base;
    }
}

const std::int32_t* SimChip::config_cell(std::int32_t address) const {
    if (address >= config_base && address < config_base + id_locations) {
        return &ids_[address - config_base];
    }
    if (address == config1_address) return &conf_[0];
    if (address == config2_address && shape_.config2used) return &conf_[1];
    return nullptr;
}

std::int32_t* SimChip::config_cell(std::int32_t address) {
    return const_cast<std::int32_t*>(std::as_const(*this).config_cell(address));
}

}  // namespace tessaly::sim
