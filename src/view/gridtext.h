// The text of the FLASH and EEPROM grids: eight rows of eight cells from a
// first row on, each row its address, a colon and the cells in hexadecimal.
// Pure functions, so a redraw never reads outside a buffer whatever its size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

inline constexpr int grid_rows = 8;
inline constexpr int grid_columns = 8;

struct GridFormat {
    int address_digits;  // 6 for FLASH word addresses, 4 for EEPROM offsets
    int cell_digits;     // 4 for FLASH words, 2 for EEPROM bytes
};

inline constexpr GridFormat flash_grid{6, 4};
inline constexpr GridFormat eeprom_grid{4, 2};

// Rows first_row to first_row + 7 joined by CR LF, the last without one.
// Rows past the end of the buffer are left out and cells past its end shown
// as blanks; an empty buffer (size <= 0) gives the empty text.
std::string grid_text(const std::vector<std::int32_t>& buffer, std::int32_t size,
                      std::int32_t first_row, const GridFormat& format);

// The highest first row of a buffer of size elements: the one that shows its
// last 64 elements (size / 8 - 8 for the sizes the grids are made for), at
// least 0, and high enough that a last partial row can be reached.
std::int32_t grid_scroll_max(std::int32_t size);

// "FLASH: 1024,  EEPROM: 128".
std::string sizes_text(std::int32_t flashsize, std::int32_t eepromsize);

}  // namespace tessaly
