#include "devices/device.h"

#include <algorithm>

#include "devices/hextext.h"
#include "devices/wire.h"

namespace tessaly {
namespace {

// Erased configuration word from four characters of the upper-cased text;
// -1 where the text is too short or not hexadecimal.
std::int32_t erased_word(const std::string& upper, std::size_t from) {
    if (from >= upper.size()) return -1;
    return hex4val(std::string_view(upper).substr(from, 4));
}

// How much of a buffer belongs to a device part of size cells: never more
// than the buffer holds.
std::size_t device_cells(const std::vector<std::int32_t>& buffer, std::int32_t size) {
    return std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(std::max(size, 0)));
}

std::int32_t last_nonblank(const std::vector<std::int32_t>& buffer, std::int32_t size,
                           std::int32_t blank) {
    for (std::size_t a = device_cells(buffer, size); a-- > 0;) {
        if (buffer[a] != blank) return static_cast<std::int32_t>(a);
    }
    return -1;
}

void set_flag(const std::string& text, bool& flag) {
    const std::string word = to_lower(text);
    if (word == "false") flag = false;
    if (word == "true") flag = true;
}

void set_voltage_order(const std::string& text, std::int32_t& order) {
    const std::string word = to_lower(text);
    if (word == "vddvpp") order = voltageseq_vddvpp;
    if (word == "vppvdd") order = voltageseq_vppvdd;
}

}  // namespace

std::vector<std::string> split_instructions(const std::string& algorithm) {
    std::string s = to_lower(algorithm);
    if (s.empty() || s.back() != ',') s += ',';
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < s.size()) {
        const std::size_t comma = s.find(',', from);
        lines.push_back(s.substr(from, comma - from));
        from = comma + 1;
    }
    return lines;
}

std::string device_fault(const DeviceEntry& entry) {
    const std::int32_t flash = leading_number(entry.devflash);
    if (flash < 1 || flash > max_flashsize) {
        return "Model " + entry.devmodel + ": FLASH size '" + entry.devflash +
               "' is not usable (1 to " + std::to_string(max_flashsize) + " words).";
    }
    if (leading_number(entry.deveeprom) > max_eepromsize) {
        return "Model " + entry.devmodel + ": EEPROM size '" + entry.deveeprom +
               "' is not usable (at most " + std::to_string(max_eepromsize) + " bytes).";
    }
    return "";
}

std::string select_device(const DeviceList& list, std::int32_t index, SelectedDevice& cur) {
    if (index < 1 || index > list.devcount) {
        return "There is no model number " + std::to_string(index) + " in the device list.";
    }
    const DeviceEntry& e = list.entries[static_cast<std::size_t>(index)];
    if (std::string fault = device_fault(e); !fault.empty()) return fault;

    cur.devindex = index;
    cur.modelname = e.devmodel;
    cur.flashsize = leading_number(e.devflash);
    cur.eepromsize = leading_number(e.deveeprom);
    const std::string c = to_upper(e.devconfigerased);
    cur.conferased = {erased_word(c, 0), erased_word(c, 5)};
    set_flag(e.devconfig2used, cur.config2used);
    set_voltage_order(e.devvoltageseq, cur.voltageseq);
    cur.progtime = leading_number(e.devprogtime);
    cur.pagesize = leading_number(e.devpagesize);
    cur.eraselines = split_instructions(e.deverasealg);
    cur.programlines = split_instructions(e.devprogramalg);
    cur.readlines = split_instructions(e.devreadalg);
    cur.blanklines = split_instructions(e.devblankcheckalg);
    cur.verifylines = split_instructions(e.devverifyalg);
    return "";
}

void blank_buffers(const SelectedDevice& cur, ChipImage& image) {
    image.flashbuf.assign(static_cast<std::size_t>(cur.flashsize > 0 ? cur.flashsize : 0),
                          blank_flash_word);
    if (cur.eepromsize > 0) {
        image.eeprombuf.assign(static_cast<std::size_t>(cur.eepromsize), blank_eeprom_byte);
    } else {
        // Always one element; with no EEPROM it holds 0, not the blank value.
        image.eeprombuf.assign(1, 0);
    }
    image.conf = cur.conferased;
}

std::int32_t last_nonblank_flash(const SelectedDevice& cur, const ChipImage& image) {
    return last_nonblank(image.flashbuf, cur.flashsize, blank_flash_word);
}

std::int32_t last_nonblank_eeprom(const SelectedDevice& cur, const ChipImage& image) {
    return last_nonblank(image.eeprombuf, cur.eepromsize, blank_eeprom_byte);
}

WideWords wide_words(const SelectedDevice& cur, const ChipImage& image) {
    WideWords wide;
    const auto note = [&wide](std::int32_t address, std::int32_t word) {
        if (is_chip_word(word)) return;
        if (wide.count++ == 0) {
            wide.first_address = address;
            wide.first_word = word;
        }
    };
    const std::size_t flash = device_cells(image.flashbuf, cur.flashsize);
    for (std::size_t a = 0; a < flash; ++a) note(static_cast<std::int32_t>(a), image.flashbuf[a]);
    note(config1_address, image.conf[0]);
    if (cur.config2used) note(config2_address, image.conf[1]);
    return wide;
}

}  // namespace tessaly
