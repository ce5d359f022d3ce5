#include "view/gridtext.h"

#include <algorithm>

#include "devices/crlf.h"
#include "devices/hextext.h"

namespace tessaly {
namespace {

std::string hex_of(std::int64_t n, int digits) {
    switch (digits) {
    case 2: return hex2(n);
    case 4: return hex4(n);
    default: return hex6(n);
    }
}

}  // namespace

std::string grid_text(const std::vector<std::int32_t>& buffer, std::int32_t size,
                      std::int32_t first_row, const GridFormat& format) {
    // Never trust size beyond what the buffer holds.
    const std::int64_t count = std::min<std::int64_t>(std::max(size, 0), buffer.size());
    std::string text;
    if (size <= 0) return text;
    for (std::int64_t r = std::max(first_row, 0); r < std::int64_t(first_row) + grid_rows; ++r) {
        const std::int64_t base = r * grid_columns;
        if (base >= count) break;
        if (!text.empty()) text += crlf;
        text += hex_of(base, format.address_digits) + ":";
        for (int c = 0; c < grid_columns; ++c) {
            const std::int64_t i = base + c;
            text += ' ';
            text += i < count ? hex_of(buffer[static_cast<std::size_t>(i)], format.cell_digits)
                              : std::string(static_cast<std::size_t>(format.cell_digits), ' ');
        }
    }
    return text;
}

std::int32_t grid_scroll_max(std::int32_t size) {
    if (size <= 0) return 0;
    const std::int64_t rows = (std::int64_t(size) + grid_columns - 1) / grid_columns;
    return static_cast<std::int32_t>(std::max<std::int64_t>(rows - grid_rows, 0));
}

std::string sizes_text(std::int32_t flashsize, std::int32_t eepromsize) {
    return "FLASH: " + std::to_string(flashsize) + ",  EEPROM: " + std::to_string(eepromsize);
}

}  // namespace tessaly
