#include "devices/device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tessaly;

namespace {

// A list of one device whose keys are given as text lines.
DeviceList one_device(const std::string& keys) {
    return parse_devices("model: M\nflash: 1024\n" + keys);
}

SelectedDevice selected(const std::string& keys) {
    SelectedDevice cur;
    EXPECT_EQ(select_device(one_device(keys), 1, cur), "");
    return cur;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(SelectDevice, ErasedConfigurationWords) {
    struct Case { const char* text; int w1; int w2; };
    const Case cases[] = {
        {"3FFF,3FFF", 0x3FFF, 0x3FFF}, {"3fff,0c00", 0x3FFF, 0x0C00}, {"3FFF", 0x3FFF, -1},
        {"3FFG,3FFF", -1, 0x3FFF},     {"3FFF 3FFF", 0x3FFF, 0x3FFF}, {"3fff/3fff", 0x3FFF, 0x3FFF},
        {"", -1, -1},                  {"3FFF,3FF", 0x3FFF, -1},       {"3FFF,3FFFFF", 0x3FFF, 0x3FFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const SelectedDevice cur = selected(std::string("configerased: ") + c.text + "\n");
        EXPECT_EQ(cur.conferased[0], c.w1);
        EXPECT_EQ(cur.conferased[1], c.w2);
    }
}

TEST(SelectDevice, NumbersFollowTheNumberRule) {
    const SelectedDevice cur =
        selected("eeprom: 64 bytes\nprogtime: 2.5\npagesize: 3.5\n");
    EXPECT_EQ(cur.modelname, "M");
    EXPECT_EQ(cur.flashsize, 1024);
    EXPECT_EQ(cur.eepromsize, 64);
    EXPECT_EQ(cur.progtime, 2);
    EXPECT_EQ(cur.pagesize, 4);
    EXPECT_EQ(selected("").eepromsize, 0);  // no eeprom line
    EXPECT_EQ(parse_devices("model: M\nflash: 8K\n").devcount, 1);
    SelectedDevice k;
    EXPECT_EQ(select_device(parse_devices("model: M\nflash: 8K\n"), 1, k), "");
    EXPECT_EQ(k.flashsize, 8);
}

TEST(SelectDevice, FlagsKeepTheirValueForOtherWords) {
    const DeviceList list = parse_devices(
        "model: A\nflash: 8\nconfig2used: TRUE\nvoltageseq: VppVdd\n"
        "model: B\nflash: 8\nconfig2used: yes\nvoltageseq: none\n"
        "model: C\nflash: 8\nconfig2used: False\nvoltageseq: VDDVPP\n");
    SelectedDevice cur;
    ASSERT_EQ(select_device(list, 2, cur), "");
    EXPECT_FALSE(cur.config2used);  // nothing ever set them
    EXPECT_EQ(cur.voltageseq, 0);
    ASSERT_EQ(select_device(list, 1, cur), "");
    EXPECT_TRUE(cur.config2used);
    EXPECT_EQ(cur.voltageseq, 2);
    ASSERT_EQ(select_device(list, 2, cur), "");
    EXPECT_TRUE(cur.config2used);
    EXPECT_EQ(cur.voltageseq, 2);
    ASSERT_EQ(select_device(list, 3, cur), "");
    EXPECT_FALSE(cur.config2used);
    EXPECT_EQ(cur.voltageseq, 1);
}

TEST(SelectDevice, SplitsAlgorithmsIntoInstructions) {
    struct Case { const char* text; Lines lines; };
    const Case cases[] = {
        {"BEGIN,S09,END", {"begin", "s09", "end"}},
        {"begin,end,", {"begin", "end"}},
        {"", {""}},
        {",", {""}},
        {"begin, end", {"begin", " end"}},
        {"a,,b", {"a", "", "b"}},
        {"a,b,,", {"a", "b", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(split_instructions(c.text), c.lines);
    }
    const SelectedDevice cur = selected(
        "erasealgdef 0: e1,e2\nprogramalgdef 0: P\nreadalgdef 0: r\nblankcheckalgdef 0: b\n"
        "verifyalgdef 0: v,V\nerasealg: 0\nprogramalg: 0\nreadalg: 0\nblankcheckalg: 0\nverifyalg: 0\n");
    EXPECT_EQ(cur.eraselines, (Lines{"e1", "e2"}));
    EXPECT_EQ(cur.programlines, (Lines{"p"}));
    EXPECT_EQ(cur.readlines, (Lines{"r"}));
    EXPECT_EQ(cur.blanklines, (Lines{"b"}));
    EXPECT_EQ(cur.verifylines, (Lines{"v", "v"}));
}

TEST(SelectDevice, RefusesWhatTheBuffersCannotHold) {
    struct Case { const char* keys; bool refused; };
    const Case cases[] = {
        {"model: M\nflash: 0\n", true},
        {"model: M\nflash: -4\n", true},
        {"model: M\n", true},
        {"model: M\nflash: words\n", true},
        {"model: M\nflash: 8193\n", true},
        {"model: M\nflash: 8192\neeprom: 24320\n", false},
        {"model: M\nflash: 1\neeprom: 24321\n", true},
        {"model: M\nflash: 1\neeprom: -5\n", false},
        {"model: M\nflash: 99999999999999\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        SelectedDevice cur;
        cur.modelname = "before";
        const std::string fault = select_device(parse_devices(c.keys), 1, cur);
        EXPECT_EQ(!fault.empty(), c.refused);
        if (c.refused) {
            EXPECT_EQ(cur.modelname, "before");  // untouched
            EXPECT_NE(fault.find("M"), std::string::npos);
        }
    }
}

TEST(SelectDevice, RefusesAnIndexOutsideTheList) {
    const DeviceList list = one_device("");
    SelectedDevice cur;
    EXPECT_NE(select_device(list, 0, cur), "");
    EXPECT_NE(select_device(list, 2, cur), "");
    EXPECT_NE(select_device(list, -1, cur), "");
    EXPECT_EQ(cur.devindex, 0);
    EXPECT_EQ(select_device(list, 1, cur), "");
    EXPECT_EQ(cur.devindex, 1);
}

TEST(BlankBuffers, CreatesBlankImageForTheDevice) {
    SelectedDevice cur = selected("eeprom: 64\nconfigerased: 3FFF,0C00\n");
    ChipImage image;
    image.flashbuf.assign(5, 7);
    blank_buffers(cur, image);
    EXPECT_EQ(image.flashbuf, std::vector<std::int32_t>(1024, 0x3FFF));
    EXPECT_EQ(image.eeprombuf, std::vector<std::int32_t>(64, 255));
    EXPECT_EQ(image.conf[0], 0x3FFF);
    EXPECT_EQ(image.conf[1], 0x0C00);
}

TEST(BlankBuffers, NoEepromLeavesOneZeroElement) {
    for (int size : {0, -3}) {
        SelectedDevice cur = selected("eeprom: " + std::to_string(size) + "\n");
        ChipImage image;
        blank_buffers(cur, image);
        EXPECT_EQ(image.eeprombuf, std::vector<std::int32_t>{0});
    }
}

TEST(BlankBuffers, SelectingAnotherDeviceKeepsTheOldShape) {
    const DeviceList list = parse_devices("model: A\nflash: 16\nmodel: B\nflash: 32\n");
    SelectedDevice cur;
    ChipImage image;
    ASSERT_EQ(select_device(list, 1, cur), "");
    blank_buffers(cur, image);
    ASSERT_EQ(select_device(list, 2, cur), "");
    EXPECT_EQ(image.flashbuf.size(), 16u);
    blank_buffers(cur, image);
    EXPECT_EQ(image.flashbuf.size(), 32u);
}

// The last non-blank cell counts only the device's own part of a buffer: a
// buffer of another shape (kept from the device selected before) is read no
// further than both go, and the one element of a device without EEPROM is
// never taken for a programmed byte.
TEST(LastNonblank, CountsOnlyTheDevicesOwnCells) {
    struct Case {
        const char* what;
        bool eeprom;
        std::int32_t size;
        std::vector<std::int32_t> buffer;
        std::int32_t last;
    };
    const std::int32_t w = blank_flash_word;
    const std::int32_t b = blank_eeprom_byte;
    const Case cases[] = {
        {"all words blank", false, 4, {w, w, w, w}, -1},
        {"first word", false, 4, {0, w, w, w}, 0},
        {"last word", false, 4, {w, w, w, 0}, 3},
        {"word past the device", false, 2, {w, 5, 0, 0}, 1},
        {"FLASH buffer shorter", false, 8, {w, 0, w}, 1},
        {"no FLASH", false, 0, {0}, -1},
        {"all bytes blank", true, 3, {b, b, b}, -1},
        {"zero byte", true, 3, {b, 0, b}, 1},
        {"byte past the device", true, 1, {b, 0}, -1},
        {"EEPROM buffer shorter", true, 8, {7, b}, 0},
        {"no EEPROM", true, 0, {0}, -1},
    };
    for (const Case& c : cases) {
        SelectedDevice cur;
        ChipImage image;
        (c.eeprom ? cur.eepromsize : cur.flashsize) = c.size;
        (c.eeprom ? image.eeprombuf : image.flashbuf) = c.buffer;
        const std::int32_t last =
            c.eeprom ? last_nonblank_eeprom(cur, image) : last_nonblank_flash(cur, image);
        EXPECT_EQ(last, c.last) << c.what;
    }
}
