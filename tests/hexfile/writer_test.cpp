#include <gtest/gtest.h>

#include "devices/devicelist.h"
#include "hexfile/hexwriter.h"
#include "hextest.h"

namespace tessaly::test {
namespace {

using Lines = std::vector<std::string>;
const std::string eof = ":00000001FF";

TEST(HexfileLines, WritesTheRecordsOfEachArea) {
    const struct {
        const char* name;
        bool config2used;
        std::function<void(ChipImage&)> fill;
        Lines lines;
    } cases[] = {
        {"all blank", false, [](ChipImage&) {}, {":02400E00FF3F72", eof}},
        {"second configuration word", true, [](ChipImage&) {}, {":04400E00FF3FFF3F32", eof}},
        {"configuration values low byte first", true, [](ChipImage& i) { i.conf = {0x3F18, 0x0123}; },
         {":04400E00183F230133", eof}},
        {"nine FLASH words cut after eight", false,
         [](ChipImage& i) { std::fill(i.flashbuf.begin(), i.flashbuf.begin() + 9, 0); },
         {":1000000000000000000000000000000000000000F0", ":020010000000EE", ":02400E00FF3F72", eof}},
        {"blank word inside written, trailing blanks not", false,
         [](ChipImage& i) { i.flashbuf[0] = 0x2805; i.flashbuf[2] = 0x0008; },
         {":060000000528FF3F080087", ":02400E00FF3F72", eof}},
        {"one EEPROM byte", false, [](ChipImage& i) { i.eeprombuf[0] = 0x12; },
         {":02400E00FF3F72", ":024200001200AA", eof}},
    };
    const SelectedDevice base = test_device(1024, 128, false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SelectedDevice dev = base;
        dev.config2used = c.config2used;
        ChipImage image = blank_image(dev);
        c.fill(image);
        EXPECT_EQ(hexfile_lines(dev, image), c.lines);
    }
}

TEST(HexfileLines, FullRecordsStepSixteenBytesFromEachAreaStart) {
    const SelectedDevice dev = test_device(1024, 128, false);
    ChipImage image = blank_image(dev);
    for (int i = 0; i < 16; ++i) image.eeprombuf[static_cast<std::size_t>(i)] = i;
    image.flashbuf[1023] = 0;
    const Lines got = hexfile_lines(dev, image);
    // 1024 words: 128 FLASH records, the configuration, two EEPROM records of
    // eight bytes each (every byte takes a word), the end.
    ASSERT_EQ(got.size(), 128u + 1 + 2 + 1);
    EXPECT_EQ(got[0].substr(0, 9), ":10000000");
    EXPECT_EQ(got[127].substr(0, 9), ":1007F000");
    EXPECT_EQ(got[129], ":104200000000010002000300040005000600070092");
    EXPECT_EQ(got[130], ":10421000080009000A000B000C000D000E000F0042");
}

TEST(HexfileLines, RefusesSizesThatWouldWrapTheAddresses) {
    const struct {
        const char* name;
        SelectedDevice dev;
    } cases[] = {
        {"FLASH into the configuration words", test_device(0x2008, 128, false)},
        {"EEPROM past FFFFh", test_device(1024, 0x5F01, false)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChipImage image = blank_image(c.dev);
        EXPECT_FALSE(hexfile_fault(c.dev, image).empty());
        EXPECT_TRUE(hexfile_lines(c.dev, image).empty());
        TempFolder dir;
        std::string error;
        EXPECT_FALSE(write_hexfile(dir.file("big.hex"), c.dev, image, error));
        EXPECT_NE(error.find(dir.file("big.hex")), std::string::npos);
        EXPECT_TRUE(dir.names().empty());
    }
    // The largest sizes that still fit are written.
    const SelectedDevice top = test_device(0x2000, 0x5F00, true);
    ChipImage image = blank_image(top);
    image.flashbuf.back() = 0;
    image.eeprombuf.back() = 0;
    const Lines got = hexfile_lines(top, image);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[got.size() - 2].substr(0, 9), ":10FFF000");
}

// A word the reader would refuse or cut is refused before anything is
// written, so no file is ever saved that does not load back.
TEST(WriteHexfile, WordWiderThanFourteenBitsIsRefusedAndTheOldFileKept) {
    const struct {
        const char* name;
        std::function<void(ChipImage&)> fill;
        std::string fault;
    } cases[] = {
        {"FLASH", [](ChipImage& i) { i.flashbuf[0x12] = 0xFF68; },
         "FLASH word 0012h holds FF68h, more than the 14 bits of a chip word."},
        {"configuration word 2", [](ChipImage& i) { i.conf[1] = 0x4000; },
         "Configuration word 2008h holds 4000h"},
    };
    const SelectedDevice dev = test_device(1024, 128, true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ChipImage image = blank_image(dev);
        c.fill(image);
        TempFolder dir;
        write_text(dir.file("old.hex"), "old contents");
        std::string error;
        EXPECT_FALSE(write_hexfile(dir.file("old.hex"), dev, image, error));
        EXPECT_NE(error.find(c.fault), std::string::npos) << error;
        EXPECT_NE(error.find(dir.file("old.hex")), std::string::npos) << error;
        EXPECT_EQ(read_text(dir.file("old.hex")), "old contents");
        EXPECT_EQ(dir.names(), std::vector<std::string>{"old.hex"});
    }
    // Configuration word 2 of a device that does not use it is never written.
    SelectedDevice one = dev;
    one.config2used = false;
    ChipImage image = blank_image(one);
    image.conf[1] = 0x4000;
    EXPECT_EQ(hexfile_fault(one, image), "");
}

TEST(WriteHexfile, WritesTheLinesWithCrLf) {
    TempFolder dir;
    const SelectedDevice dev = test_device(1024, 128, true);
    ChipImage image = blank_image(dev);
    image.flashbuf[3] = 0x1234;
    std::string error;
    ASSERT_TRUE(write_hexfile(dir.file("out.hex"), dev, image, error)) << error;
    std::string want;
    for (const auto& line : hexfile_lines(dev, image)) want += line + "\r\n";
    EXPECT_EQ(read_text(dir.file("out.hex")), want);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"out.hex"});
}

TEST(WriteHexfile, FailureLeavesTheOldFileAndNoTemporary) {
    TempFolder dir;
    const SelectedDevice dev = test_device(1024, 128, false);
    ChipImage image = blank_image(dev);
    std::fill(image.flashbuf.begin(), image.flashbuf.end(), 0);
    write_text(dir.file("old.hex"), "old contents");
    std::string error;
    {
        FileSizeLimit limit(64);
        EXPECT_FALSE(write_hexfile(dir.file("old.hex"), dev, image, error));
    }
    EXPECT_EQ(read_text(dir.file("old.hex")), "old contents");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"old.hex"});
    EXPECT_NE(error.find(dir.file("old.hex")), std::string::npos);

    EXPECT_FALSE(write_hexfile(dir.file("no/such/folder.hex"), dev, image, error));
    EXPECT_NE(error.find(dir.file("no/such/folder.hex")), std::string::npos);
}

// Every shipped model: a patterned image written and read back is the same image.
TEST(RoundTrip, EveryShippedModelReadsBackWhatWasWritten) {
    DeviceList list;
    ASSERT_EQ(load_devices(std::string(TESSALY_SOURCE_DIR) + "/quarndevices.txt", list), LoadResult::loaded);
    for (std::int32_t index = 1; index <= list.devcount; ++index) {
        SelectedDevice dev;
        ASSERT_EQ(select_device(list, index, dev), "") << index;
        SCOPED_TRACE(dev.modelname);
        ChipImage image = blank_image(dev);
        // Values cover the full 14-bit and 8-bit ranges; the tail stays blank.
        const std::size_t last = image.flashbuf.size() - 7;
        for (std::size_t i = 0; i <= last; ++i) image.flashbuf[i] = static_cast<std::int32_t>((i * 2731 + 5) % 0x4000);
        image.flashbuf[last - 1] = blank_flash_word;
        for (std::size_t i = 0; i + 3 < image.eeprombuf.size(); ++i)
            image.eeprombuf[i] = static_cast<std::int32_t>((i * 37 + 11) % 256);
        image.conf = {0x3F18, 0x2ABC};

        TempFolder dir;
        std::string error;
        ASSERT_TRUE(write_hexfile(dir.file("round.hex"), dev, image, error)) << error;
        ChipImage back = blank_image(dev);
        std::int32_t wordsloaded = 0;
        BoxRecorder boxes;
        EXPECT_TRUE(read_hexfile(dir.file("round.hex"), dev, back, wordsloaded, boxes.box()));
        EXPECT_TRUE(boxes.boxes.empty());
        if (!dev.config2used) image.conf[1] = dev.conferased[1];
        expect_same_image(back, image);
        EXPECT_EQ(wordsloaded, static_cast<std::int32_t>(last + 1));
    }
}

}  // namespace
}  // namespace tessaly::test
