// The reader and writer against real tools: gpasm assembles programs into HEX
// files, and srecord reads what the writer wrote and writes files of its own.
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "hexfile/hexwriter.h"
#include "hextest.h"

namespace tessaly::test {
namespace {

bool found(const std::string& program) { return program.find("NOTFOUND") == std::string::npos && !program.empty(); }

// Runs a shell command in dir; the tool's output goes to dir/log.txt.
int run_in(const TempFolder& dir, const std::string& command) {
    return std::system(("cd '" + dir.path() + "' && " + command + " > log.txt 2>&1").c_str());
}

struct Loaded {
    bool ok = false;
    ChipImage image;
    std::int32_t wordsloaded = 0;
    std::vector<Box> boxes;
};

Loaded load(const std::string& path, const SelectedDevice& dev) {
    Loaded r;
    r.image = blank_image(dev);
    BoxRecorder boxes;
    r.ok = read_hexfile(path, dev, r.image, r.wordsloaded, boxes.box());
    r.boxes = boxes.boxes;
    return r;
}

struct AsmCase {
    const char* name;
    SelectedDevice dev;
    const char* source;
    std::function<void(ChipImage&)> expect;
    std::int32_t wordsloaded;
};

TEST(Gpasm, AssembledProgramsLoadIntoTheExpectedBuffers) {
    const std::string gpasm = GPASM_PROGRAM;
    ASSERT_TRUE(found(gpasm)) << "gpasm (gputils) is needed for this test";
    // Opcodes from the mid-range instruction set: movlw k = 30kk, goto a = 28aa,
    // retlw k = 34kk, sleep = 0063, nop = 0000, clrw = 0103.
    const AsmCase cases[] = {
        {"one configuration word, ID locations, code at the top of FLASH", test_device(2048, 128, false),
         "        processor 16f628a\n"
         "        __config 0x3F18\n"
         "        __idlocs 0x1234\n"
         "        org     0\n"
         "        movlw   0x55\n"
         "        goto    0x10\n"
         "        org     0x10\n"
         "        retlw   0xAA\n"
         "        org     0x7FF\n"
         "        sleep\n"
         "        org     0x2100\n"
         "        de      1, 2, 0x7F\n"
         "        end\n",
         [](ChipImage& i) {
             i.flashbuf[0] = 0x3055;
             i.flashbuf[1] = 0x2810;
             i.flashbuf[0x10] = 0x34AA;
             i.flashbuf[0x7FF] = 0x0063;
             i.conf[0] = 0x3F18;
             i.eeprombuf[0] = 1;
             i.eeprombuf[1] = 2;
             i.eeprombuf[2] = 0x7F;
         },
         0x800},
        {"two configuration words", test_device(4096, 256, true),
         "        processor 16f88\n"
         "        __config 0x2007, 0x2F50\n"
         "        __config 0x2008, 0x3FFC\n"
         "        org     0\n"
         "        nop\n"
         "        clrw\n"
         "        org     0x123\n"
         "        retlw   0x7E\n"
         "        org     0x2100\n"
         "        de      0xC3, 0, 0x5A\n"
         "        end\n",
         [](ChipImage& i) {
             i.flashbuf[0] = 0x0000;
             i.flashbuf[1] = 0x0103;
             i.flashbuf[0x123] = 0x347E;
             i.conf = {0x2F50, 0x3FFC};
             i.eeprombuf[0] = 0xC3;
             i.eeprombuf[1] = 0;
             i.eeprombuf[2] = 0x5A;
         },
         0x124},
    };
    // inhx32 starts with an extended linear address record, inhx8m has none.
    for (const char* format : {"inhx32", "inhx8m"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + format);
            TempFolder dir;
            write_text(dir.file("prog.asm"), c.source);
            ASSERT_EQ(run_in(dir, "'" + gpasm + "' -a " + format + " -o prog.hex prog.asm"), 0)
                << read_text(dir.file("log.txt"));
            const Loaded r = load(dir.file("prog.hex"), c.dev);
            ChipImage want = blank_image(c.dev);
            c.expect(want);
            EXPECT_TRUE(r.ok);
            EXPECT_TRUE(r.boxes.empty()) << r.boxes[0].text;
            expect_same_image(r.image, want);
            EXPECT_EQ(r.wordsloaded, c.wordsloaded);
        }
    }
}

// An image with programmed words up to some point in each area, blank after.
ChipImage patterned_image(const SelectedDevice& dev) {
    ChipImage image = blank_image(dev);
    for (std::size_t i = 0; i < 300; ++i) image.flashbuf[i] = static_cast<std::int32_t>((i * 977 + 3) % 0x4000);
    image.flashbuf[100] = blank_flash_word;
    for (std::size_t i = 0; i < 37; ++i) image.eeprombuf[i] = static_cast<std::int32_t>((i * 53 + 7) % 256);
    image.conf = {0x3F18, 0x1ABC};
    return image;
}

// The bytes the file must hold for one area, built from the image alone.
std::string area_bytes(const std::vector<std::int32_t>& values, std::size_t count) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes += static_cast<char>(values[i] & 0xFF);
        bytes += static_cast<char>((values[i] >> 8) & 0xFF);
    }
    return bytes;
}

TEST(Srecord, ReadsWhatTheWriterWroteAsTheSameImage) {
    const std::string srec_cmp = SREC_CMP_PROGRAM;
    ASSERT_TRUE(found(srec_cmp)) << "srec_cmp (srecord) is needed for this test";
    const SelectedDevice dev = test_device(2048, 128, true);
    const ChipImage image = patterned_image(dev);
    TempFolder dir;
    std::string error;
    ASSERT_TRUE(write_hexfile(dir.file("out.hex"), dev, image, error)) << error;
    write_text(dir.file("flash.bin"), area_bytes(image.flashbuf, 300));
    write_text(dir.file("conf.bin"), area_bytes({image.conf[0], image.conf[1]}, 2));
    write_text(dir.file("eeprom.bin"), area_bytes(image.eeprombuf, 37));
    const std::string expected =
        " '(' flash.bin -binary conf.bin -binary -offset 0x400E eeprom.bin -binary -offset 0x4200 ')'";
    const std::string compare = "'" + srec_cmp + "' out.hex -intel" + expected;
    EXPECT_EQ(run_in(dir, compare), 0) << read_text(dir.file("log.txt"));

    // The comparison does see a wrong byte.
    std::string flash = read_text(dir.file("flash.bin"));
    flash[7] = static_cast<char>(flash[7] ^ 1);
    write_text(dir.file("flash.bin"), flash);
    EXPECT_NE(run_in(dir, compare), 0);
}

TEST(Srecord, FileWrittenBySrecordLoadsIntoTheSameBuffers) {
    const std::string srec_cat = SREC_CAT_PROGRAM;
    ASSERT_TRUE(found(srec_cat)) << "srec_cat (srecord) is needed for this test";
    const SelectedDevice dev = test_device(2048, 128, true);
    const ChipImage image = patterned_image(dev);
    TempFolder dir;
    std::string error;
    ASSERT_TRUE(write_hexfile(dir.file("out.hex"), dev, image, error)) << error;
    // 24-byte records, an extended linear address record and a start address record.
    ASSERT_EQ(run_in(dir, "'" + srec_cat + "' out.hex -intel -execution-start-address 0 -o srec.hex -intel -obs 24"),
              0)
        << read_text(dir.file("log.txt"));
    const std::string text = read_text(dir.file("srec.hex"));
    ASSERT_NE(text.find(":020000040000FA"), std::string::npos) << text;
    ASSERT_NE(text.find(":18000000"), std::string::npos) << text;
    ASSERT_NE(text.find(":04000005"), std::string::npos) << text;

    const Loaded r = load(dir.file("srec.hex"), dev);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.boxes.empty());
    expect_same_image(r.image, image);
    EXPECT_EQ(r.wordsloaded, 300);
}

}  // namespace
}  // namespace tessaly::test
