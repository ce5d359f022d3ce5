#include "view/gridtext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tessaly;

namespace {

std::vector<std::int32_t> iota(int n, int from = 0) {
    std::vector<std::int32_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = from + i;
    return v;
}

std::vector<std::string> rows(const std::string& text) {
    std::vector<std::string> out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find("\r\n", from);
        out.push_back(text.substr(from, at - from));
        if (at == std::string::npos) return out;
        from = at + 2;
    }
}

}  // namespace

TEST(GridText, BlankRowsOfBothGrids) {
    const auto flash = rows(grid_text(std::vector<std::int32_t>(1024, 0x3FFF), 1024, 0, flash_grid));
    ASSERT_EQ(flash.size(), 8u);
    EXPECT_EQ(flash[0], "000000: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF");
    EXPECT_EQ(flash[7].substr(0, 7), "000038:");
    EXPECT_EQ(flash[0].size(), 47u);
    const auto eeprom = rows(grid_text(std::vector<std::int32_t>(128, 255), 128, 0, eeprom_grid));
    EXPECT_EQ(eeprom[0], "0000: FF FF FF FF FF FF FF FF");
    EXPECT_EQ(eeprom[0].size(), 29u);
}

TEST(GridText, ScrolledToTheEndShowsTheLastRows) {
    const auto flash = rows(grid_text(iota(1024), 1024, 120, flash_grid));
    ASSERT_EQ(flash.size(), 8u);
    EXPECT_EQ(flash.front().substr(0, 7), "0003C0:");
    EXPECT_EQ(flash.back(), "0003F8: 03F8 03F9 03FA 03FB 03FC 03FD 03FE 03FF");
    const auto eeprom = rows(grid_text(iota(128), 128, 8, eeprom_grid));
    EXPECT_EQ(eeprom.front().substr(0, 5), "0040:");
    EXPECT_EQ(eeprom.back(), "0078: 78 79 7A 7B 7C 7D 7E 7F");
}

TEST(GridText, ValuesShowTheirLowDigits) {
    const auto r = rows(grid_text({-1, 0x12345, 0, 0, 0, 0, 0, 0}, 8, 0, flash_grid));
    EXPECT_EQ(r[0], "000000: FFFF 2345 0000 0000 0000 0000 0000 0000");
}

TEST(GridText, NeverReadsPastTheBuffer) {
    EXPECT_EQ(grid_text({}, 0, 0, flash_grid), "");
    EXPECT_EQ(grid_text({1, 2}, -4, 0, eeprom_grid), "");
    // A size larger than the buffer, a partial last row and a first row past the end.
    EXPECT_EQ(grid_text({1, 2, 3}, 64, 0, eeprom_grid), "0000: 01 02 03" + std::string(15, ' '));
    EXPECT_EQ(rows(grid_text(iota(20), 20, 0, eeprom_grid)).size(), 3u);
    EXPECT_EQ(grid_text(iota(64), 64, 500, eeprom_grid), "");
}

TEST(GridText, ScrollMaximum) {
    struct Case { int size; int max; };
    const Case cases[] = {{1024, 120}, {128, 8}, {64, 0}, {8192, 1016}, {0, 0}, {-8, 0}, {20, 0}, {100, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(grid_scroll_max(c.size), c.max);
    }
}

TEST(GridText, SizesLine) {
    EXPECT_EQ(sizes_text(1024, 128), "FLASH: 1024,  EEPROM: 128");
    EXPECT_EQ(sizes_text(2048, 0), "FLASH: 2048,  EEPROM: 0");
    EXPECT_EQ(sizes_text(8, -3), "FLASH: 8,  EEPROM: -3");
}
