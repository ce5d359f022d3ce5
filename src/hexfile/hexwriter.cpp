#include "hexfile/hexwriter.h"

#include <algorithm>

#include "devices/crlf.h"
#include "devices/fileio.h"
#include "devices/hextext.h"
#include "devices/memorymap.h"
#include "hexfile/hexreader.h"

namespace tessaly {

namespace {

constexpr std::int32_t flash_byte_start = 0x0000;
constexpr std::int32_t config_byte_address = hex_byte_address(config1_address);
constexpr std::int32_t eeprom_byte_start = hex_byte_address(eeprom_address);
constexpr std::size_t digits_per_record = 32;

std::string record(const std::string& body) { return ":" + body + record_checksum(body); }

std::string data_record(std::int32_t address, const std::string& digits) {
    return record(hex2(static_cast<std::int64_t>(digits.size() / 2)) + hex4(address) + "00" + digits);
}

// The area's words, low byte first, cut into records of 16 bytes from start.
void add_area(std::vector<std::string>& lines, const std::vector<std::int32_t>& values,
              std::int64_t last, std::int32_t start) {
    std::string digits;
    for (std::int64_t i = 0; i <= last; ++i) digits += hex4swap(values[static_cast<std::size_t>(i)]);
    for (std::size_t at = 0; at < digits.size(); at += digits_per_record) {
        const auto offset = static_cast<std::int32_t>(at / 2);
        lines.push_back(data_record(start + offset, digits.substr(at, digits_per_record)));
    }
}

// The reader refuses FLASH words above 3FFFh and masks configuration words,
// so a file holding either would not load back as these buffers.
std::string wide_word_fault(const SelectedDevice& dev, const ChipImage& image) {
    const WideWords wide = wide_words(dev, image);
    if (wide.count == 0) return "";
    const std::string what = wide.first_address < config1_address ? "FLASH word " : "Configuration word ";
    return what + hex4h(wide.first_address) + " holds " + hex4h(wide.first_word) +
           ", more than the 14 bits of a chip word.";
}

}  // namespace

std::string hexfile_fault(const SelectedDevice& dev, const ChipImage& image) {
    if (dev.flashsize > max_flashsize || dev.eepromsize > max_eepromsize)
        return "The memory of " + dev.modelname + " does not fit the addresses of a HEX file.";
    if (image.flashbuf.size() < static_cast<std::size_t>(std::max(dev.flashsize, 0)) ||
        image.eeprombuf.size() < static_cast<std::size_t>(std::max(dev.eepromsize, 0)))
        return "The buffers do not match the memory of " + dev.modelname + ".";
    return wide_word_fault(dev, image);
}

std::vector<std::string> hexfile_lines(const SelectedDevice& dev, const ChipImage& image) {
    std::vector<std::string> lines;
    if (!hexfile_fault(dev, image).empty()) return lines;
    add_area(lines, image.flashbuf, last_nonblank_flash(dev, image), flash_byte_start);
    std::string config = hex4swap(image.conf[0]);
    if (dev.config2used) config += hex4swap(image.conf[1]);
    lines.push_back(data_record(config_byte_address, config));
    add_area(lines, image.eeprombuf, last_nonblank_eeprom(dev, image), eeprom_byte_start);
    lines.push_back(end_of_file_record);
    return lines;
}

bool write_hexfile(const std::string& path, const SelectedDevice& dev, const ChipImage& image,
                   std::string& error) {
    const std::string fault = hexfile_fault(dev, image);
    if (!fault.empty()) {
        error = "The HEX file " + path + " was not saved." + crlf + fault;
        return false;
    }
    std::string text;
    for (const std::string& line : hexfile_lines(dev, image)) text += line + crlf;
    std::string why;
    if (replace_file(path, text, &why)) return true;
    error = "The HEX file could not be saved." + std::string(crlf) + why;
    return false;
}

}  // namespace tessaly
