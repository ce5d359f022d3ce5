// The device list shipped with the program: every model of the table loads
// with its sizes, and every instruction of its five algorithms is one the
// interpreter knows, in blocks that open and close.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/device.h"
#include "devices/devicelist.h"
#include "engine/instruction.h"

using namespace tessaly;

namespace {

struct Model {
    const char* name;
    int flash;
    int eeprom;
    bool config2;
    int voltageseq;
    int pagesize;
};

const Model shipped_models[] = {
    {"PIC16F84A", 1024, 64, false, 1, 1},   {"PIC16F627A", 1024, 128, false, 2, 1},
    {"PIC16F628A", 2048, 128, false, 2, 1}, {"PIC16F648A", 4096, 256, false, 2, 1},
    {"PIC16F87", 4096, 256, true, 1, 4},    {"PIC16F88", 4096, 256, true, 1, 4},
    {"PIC16F873A", 4096, 128, false, 1, 8}, {"PIC16F874A", 4096, 128, false, 1, 8},
    {"PIC16F876A", 8192, 256, false, 1, 8}, {"PIC16F877A", 8192, 256, false, 1, 8},
};

DeviceList shipped_list() {
    DeviceList list;
    // The build places the list beside the programs; that copy is the one read.
    EXPECT_EQ(load_devices(std::string(TESSALY_BIN_DIR) + "/" + devicelist_filename, list),
              LoadResult::loaded);
    return list;
}

bool contains(const std::vector<std::string>& lines, const std::string& word) {
    for (const auto& l : lines) {
        if (l.find(word) != std::string::npos) return true;
    }
    return false;
}

// Every instruction sound, every loop and page block closed before the next
// opens, voltages switched off at the end of each section and of the list.
void expect_sound_list(const std::vector<std::string>& lines, const std::string& what) {
    SCOPED_TRACE(what);
    bool powered = false;
    Form open_block = Form::unrecognized;
    for (const auto& line : lines) {
        EXPECT_EQ(instruction_fault(line), "") << line;
        const Form f = classify_instruction(line);
        if (f == Form::begin) {
            EXPECT_FALSE(powered) << "begin while powered";
            powered = true;
        } else if (f == Form::end) {
            EXPECT_TRUE(powered) << "end without begin";
            EXPECT_EQ(open_block, Form::unrecognized) << "block open at end";
            powered = false;
        } else {
            EXPECT_TRUE(powered) << line << " while unpowered";
        }
        if (f == Form::setflashloop || f == Form::seteepromloop || f == Form::ifpage) {
            EXPECT_TRUE(open_block == Form::unrecognized ||
                        (f == Form::ifpage && open_block == Form::setflashloop))
                << line;
            if (f != Form::ifpage) open_block = f;
        }
        if (f == Form::loop) open_block = Form::unrecognized;
    }
    EXPECT_FALSE(powered) << "list does not end with end";
    EXPECT_EQ(classify_instruction(lines.back()), Form::end);
}

}  // namespace

TEST(ShippedDeviceList, HoldsTheTenModelsWithTheirSizes) {
    const DeviceList list = shipped_list();
    ASSERT_EQ(list.devcount, 10);
    for (int i = 1; i <= list.devcount; ++i) {
        const Model& m = shipped_models[i - 1];
        SCOPED_TRACE(m.name);
        SelectedDevice cur;
        ASSERT_EQ(select_device(list, i, cur), "");
        EXPECT_EQ(cur.modelname, m.name);
        EXPECT_EQ(cur.flashsize, m.flash);
        EXPECT_EQ(cur.eepromsize, m.eeprom);
        EXPECT_EQ(cur.config2used, m.config2);
        EXPECT_EQ(cur.conferased[0], 0x3FFF);
        EXPECT_EQ(cur.conferased[1], 0x3FFF);
        EXPECT_EQ(cur.voltageseq, m.voltageseq);
        EXPECT_EQ(cur.pagesize, m.pagesize);
        EXPECT_EQ(cur.progtime, 10);
        EXPECT_EQ(cur.flashsize % cur.pagesize, 0);
    }
}

TEST(ShippedDeviceList, EveryAlgorithmSplitsIntoKnownInstructions) {
    const DeviceList list = shipped_list();
    for (int i = 1; i <= list.devcount; ++i) {
        SelectedDevice cur;
        ASSERT_EQ(select_device(list, i, cur), "");
        SCOPED_TRACE(cur.modelname);
        expect_sound_list(cur.eraselines, "erase");
        expect_sound_list(cur.programlines, "program");
        expect_sound_list(cur.readlines, "read");
        expect_sound_list(cur.blanklines, "blank check");
        expect_sound_list(cur.verifylines, "verify");
    }
}

TEST(ShippedDeviceList, AlgorithmsCoverEveryMemoryOfTheModel) {
    const DeviceList list = shipped_list();
    for (int i = 1; i <= list.devcount; ++i) {
        SelectedDevice cur;
        ASSERT_EQ(select_device(list, i, cur), "");
        SCOPED_TRACE(cur.modelname);
        EXPECT_TRUE(contains(cur.programlines, "-flash"));
        EXPECT_TRUE(contains(cur.programlines, "-eeprom"));
        EXPECT_TRUE(contains(cur.programlines, "-config1"));
        EXPECT_EQ(contains(cur.programlines, "-config2"), cur.config2used);
        EXPECT_EQ(contains(cur.programlines, "ifpage"), cur.pagesize > 1);
        for (const auto* lines : {&cur.readlines, &cur.blanklines, &cur.verifylines}) {
            EXPECT_TRUE(contains(*lines, "setflashloop"));
            EXPECT_TRUE(contains(*lines, "seteepromloop"));
            EXPECT_TRUE(contains(*lines, "config1"));
            EXPECT_EQ(contains(*lines, "config2"), cur.config2used);
        }
    }
}
