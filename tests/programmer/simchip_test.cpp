#include "simchip.h"

#include <gtest/gtest.h>

#include "codes.h"

namespace tessaly::sim {
namespace {

ChipShape shape(std::int32_t flash, std::int32_t eeprom, bool config2, std::int32_t page) {
    ChipShape s;
    s.flashsize = flash;
    s.eepromsize = eeprom;
    s.config2used = config2;
    s.pagesize = page;
    s.deviceid = 0x0560;
    return s;
}

const ChipShape f84a = shape(1024, 64, false, 1);
const ChipShape f88 = shape(4096, 256, true, 4);
const ChipShape f877a = shape(8192, 256, false, 8);

// A load command with its data word, as the programmer passes them on.
void load(SimChip& chip, int command, std::int32_t word) {
    chip.command(command);
    chip.data_word(word);
}

std::int32_t read(SimChip& chip, int command) {
    chip.command(command);
    std::string note;
    return chip.read_word(note);
}

void steps(SimChip& chip, int n) {
    for (int i = 0; i < n; ++i) chip.command(icsp_increment);
}

TEST(SimChip, ProgramsWordsAndReadsThemBackAsFourteenBits) {
    SimChip chip(f84a);
    chip.power_on();
    load(chip, icsp_load_program, 0x1234);
    chip.command(icsp_begin_erase_program);
    steps(chip, 1);
    load(chip, icsp_load_program, 0xC123);  // bits above 13 cannot be kept
    chip.command(icsp_begin_program_only);
    chip.command(icsp_end_programming);
    steps(chip, 1);
    EXPECT_EQ(read(chip, icsp_read_program), 0x3FFF);

    chip.power_on();  // back at address 0
    EXPECT_EQ(read(chip, icsp_read_program), 0x1234);
    steps(chip, 1);
    EXPECT_EQ(read(chip, icsp_read_program), 0x0123);
}

TEST(SimChip, ReadsPastFlashAndOutsideTheConfigurationWordsAsBlank) {
    SimChip chip(f84a);
    EXPECT_EQ(chip.program_word(1024), 0x3FFF);
    EXPECT_EQ(chip.program_word(0x2004), 0x3FFF);
    EXPECT_EQ(chip.program_word(config2_address), 0x3FFF);  // no second word on this model
    EXPECT_EQ(chip.program_word(device_id_address), 0x0560);
    EXPECT_EQ(chip.eeprom_byte(64), 0xFF);
}

TEST(SimChip, ConfigurationWordsAreReachedThroughLoadConfigurationAndIncrements) {
    SimChip chip(f88);
    chip.power_on();
    load(chip, icsp_load_config, 0x1111);  // ID location 2000h
    chip.command(icsp_begin_erase_program);
    EXPECT_EQ(chip.address(), config_base);
    steps(chip, 6);
    EXPECT_EQ(read(chip, icsp_read_program), 0x0560);  // device ID at 2006h
    steps(chip, 1);
    load(chip, icsp_load_program, 0x3F72);
    chip.command(icsp_begin_erase_program);
    steps(chip, 1);
    load(chip, icsp_load_program, 0x3FFC);
    chip.command(icsp_begin_erase_program);
    EXPECT_EQ(chip.address(), config2_address);

    EXPECT_EQ(chip.program_word(config_base), 0x1111);
    EXPECT_EQ(chip.program_word(config1_address), 0x3F72);
    EXPECT_EQ(chip.program_word(config2_address), 0x3FFC);
    EXPECT_EQ(chip.image().conf[0], 0x3F72);
    EXPECT_EQ(chip.image().conf[1], 0x3FFC);

    // The device ID cannot be written, and only a new power-on leaves the area.
    chip.power_on();
    load(chip, icsp_load_config, 0);
    steps(chip, 6);
    load(chip, icsp_load_program, 0x0000);
    chip.command(icsp_begin_erase_program);
    EXPECT_EQ(chip.program_word(device_id_address), 0x0560);
    steps(chip, 0x2000);
    EXPECT_GE(chip.address(), config_base);
    chip.power_on();
    EXPECT_EQ(chip.address(), 0);
}

TEST(SimChip, EepromKeepsTheLowByteAndReadsWithHighByteZero) {
    SimChip chip(f84a);
    chip.power_on();
    steps(chip, 3);
    load(chip, icsp_load_data, 0x1234);
    chip.command(icsp_begin_erase_program);
    EXPECT_EQ(read(chip, icsp_read_data), 0x0034);
    EXPECT_EQ(chip.eeprom_byte(3), 0x34);
    EXPECT_EQ(chip.program_word(3), 0x3FFF);  // the data latch never reaches FLASH
}

// A chip with a programmed word, EEPROM byte, ID and configuration word.
SimChip programmed_chip() {
    SimChip chip(f84a);
    chip.power_on();
    load(chip, icsp_load_program, 0x0123);
    chip.command(icsp_begin_erase_program);
    load(chip, icsp_load_data, 0x55);
    chip.command(icsp_begin_erase_program);
    load(chip, icsp_load_config, 0x0AAA);
    chip.command(icsp_begin_erase_program);
    steps(chip, 7);
    load(chip, icsp_load_program, 0x3F70);
    chip.command(icsp_begin_erase_program);
    chip.power_on();
    return chip;
}

TEST(SimChip, BulkErasesClearWhatTheyName) {
    struct Case {
        const char* name;
        bool in_config_area;
        int command;
        std::int32_t flash, eeprom, id, config1;
    };
    const Case cases[] = {
        {"program memory only", false, icsp_bulk_erase_program, 0x3FFF, 0x55, 0x0AAA, 0x3F70},
        {"program memory and configuration", true, icsp_bulk_erase_program, 0x3FFF, 0x55, 0x3FFF,
         0x3FFF},
        {"data memory", false, icsp_bulk_erase_data, 0x0123, 0xFF, 0x0AAA, 0x3F70},
        {"whole chip", false, icsp_chip_erase, 0x3FFF, 0xFF, 0x3FFF, 0x3FFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimChip chip = programmed_chip();
        if (c.in_config_area) load(chip, icsp_load_config, 0x3FFF);
        chip.command(c.command);
        EXPECT_EQ(chip.program_word(0), c.flash);
        EXPECT_EQ(chip.eeprom_byte(0), c.eeprom);
        EXPECT_EQ(chip.program_word(config_base), c.id);
        EXPECT_EQ(chip.program_word(config1_address), c.config1);
    }
}

TEST(SimChip, UnpoweredCommandsChangeNothing) {
    SimChip chip = programmed_chip();
    chip.power_off();
    const ChipImage before = chip.image();
    for (int command : {icsp_load_program, icsp_load_data, icsp_begin_erase_program,
                        icsp_bulk_erase_program, icsp_bulk_erase_data, icsp_chip_erase,
                        icsp_load_config, icsp_increment}) {
        EXPECT_FALSE(chip.command(command).empty());
        EXPECT_FALSE(chip.data_word(0).empty());
    }
    EXPECT_EQ(read(chip, icsp_read_program), 0);
    EXPECT_EQ(chip.address(), 0);
    const ChipImage after = chip.image();
    EXPECT_EQ(after.flashbuf, before.flashbuf);
    EXPECT_EQ(after.eeprombuf, before.eeprombuf);
    EXPECT_EQ(after.conf, before.conf);
}

TEST(SimChip, StrayWordsReadsAndCyclesAreHarmless) {
    SimChip chip(f84a);
    chip.power_on();
    EXPECT_FALSE(chip.data_word(0x1234).empty());  // no load command before it
    EXPECT_FALSE(chip.command(icsp_begin_erase_program).empty());  // nothing loaded
    EXPECT_FALSE(chip.command(0x3F).empty());  // no such command
    // A data word or a read belongs to the command right before it.
    chip.command(icsp_load_program);
    chip.command(icsp_increment);
    EXPECT_FALSE(chip.data_word(0x2222).empty());
    chip.command(icsp_begin_erase_program);
    chip.command(icsp_read_program);
    chip.command(icsp_increment);
    std::string note;
    EXPECT_EQ(chip.read_word(note), 0);
    EXPECT_FALSE(note.empty());
    EXPECT_EQ(chip.image().flashbuf, std::vector<std::int32_t>(1024, 0x3FFF));
}

TEST(SimChip, RowLatchesAreWrittenTogetherByOneCycle) {
    SimChip chip(f877a);
    chip.power_on();
    steps(chip, 8);  // second row, 8 to 15
    for (int i = 0; i < 8; ++i) {
        load(chip, icsp_load_program, 0x100 + i);
        if (i < 7) steps(chip, 1);
    }
    EXPECT_EQ(chip.program_word(8), 0x3FFF) << "nothing is written before the cycle";
    chip.command(icsp_begin_erase_program);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(chip.program_word(8 + i), 0x100 + i);
    EXPECT_EQ(chip.program_word(7), 0x3FFF);
    EXPECT_EQ(chip.program_word(16), 0x3FFF);

    // A cycle at any address of a row writes that row; latches start blank again.
    steps(chip, 3);  // address 18, third row
    load(chip, icsp_load_program, 0x0AAA);
    chip.command(icsp_begin_erase_program);
    EXPECT_EQ(chip.program_word(18), 0x0AAA);
    EXPECT_EQ(chip.program_word(16), 0x3FFF);
}

TEST(SimChip, FlippedWordReadsWrongButStaysRightInMemory) {
    SimChip chip = programmed_chip();
    chip.set_flip_address(0);
    EXPECT_EQ(read(chip, icsp_read_program), 0x0122);
    steps(chip, 1);
    EXPECT_EQ(read(chip, icsp_read_program), 0x3FFF);
    EXPECT_EQ(chip.image().flashbuf[0], 0x0123);
}

TEST(SimChip, LoadsAnImageCutToItsWidths) {
    SimChip chip(f84a);
    ChipImage image;
    image.flashbuf = {0xFFFF, 0x1234};
    image.eeprombuf = {0x1AB};
    image.conf = {0x7F72, -1};
    chip.load_image(image);
    EXPECT_EQ(chip.program_word(0), 0x3FFF);
    EXPECT_EQ(chip.program_word(1), 0x1234);
    EXPECT_EQ(chip.program_word(2), 0x3FFF);
    EXPECT_EQ(chip.eeprom_byte(0), 0xAB);
    EXPECT_EQ(chip.image().conf[0], 0x3F72);
}

TEST(SimChip, ShapeFromTheSelectedDeviceIsHeldToUsableValues) {
    SelectedDevice dev;
    dev.modelname = "pic16f628a";
    dev.flashsize = 2048;
    dev.eepromsize = 128;
    dev.conferased = {0x3FFF, -1};
    dev.pagesize = 0;
    const ChipShape s = chip_shape(dev);
    EXPECT_EQ(s.pagesize, 1);
    EXPECT_EQ(s.conferased[1], 0x3FFF);
    EXPECT_EQ(s.deviceid, 0x1060);
    EXPECT_EQ(device_id_for("NO-SUCH-PART"), 0x3FFF);
}

}  // namespace
}  // namespace tessaly::sim
