// scripts/model-index, which the run command uses to store the model number it
// starts with and to start the simulator as the model the program will select:
// both ways it must agree with the program's own list parser, settings store
// and number rule.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "devices/devicelist.h"
#include "devices/fileio.h"
#include "devices/hextext.h"
#include "devices/settings.h"

using namespace tessaly;

namespace {

struct Answer {
    int status;
    std::string out;
};

Answer run_script(const std::string& args) {
    const std::string cmd = "bash '" TESSALY_SOURCE_DIR "/scripts/model-index' " + args;
    FILE* p = ::popen(cmd.c_str(), "r");
    Answer a{-1, {}};
    if (!p) return a;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) a.out += buf;
    a.status = ::pclose(p);
    return a;
}

Answer model_index(const std::string& list, const std::string& name) {
    return run_script("'" + list + "' '" + name + "'");
}

Answer selected_model(const std::string& list, const std::string& settings) {
    return run_script("--selected '" + list + "' '" + settings + "'");
}

// The model the program selects at start: the stored number, model 1 when it
// lies outside the list.
std::int32_t program_selection(const std::string& folder, std::int32_t count) {
    const std::int32_t index = leading_number(SettingsStore(folder).reg_getstring(set_model, "1"));
    return index < 1 || index > count ? 1 : index;
}

// Every model of the list is found at the number the parser gives it.
void expect_parser_numbers(const std::string& list) {
    std::string text;
    ASSERT_TRUE(read_file(list, text));
    const DeviceList parsed = parse_devices(text);
    ASSERT_GT(parsed.devcount, 1);
    for (std::int32_t i = 1; i <= parsed.devcount; ++i) {
        const std::string& name = parsed.entries[static_cast<std::size_t>(i)].devmodel;
        SCOPED_TRACE(name);
        const Answer a = model_index(list, name);
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(a.out, std::to_string(i) + "\n");
    }
}

}  // namespace

TEST(ModelIndex, ShippedListGivesEachModelItsOwnNumber) {
    // PIC16F87 is a prefix of four other names in this list.
    expect_parser_numbers(TESSALY_SOURCE_DIR "/quarndevices.txt");
}

TEST(ModelIndex, WholeNamesInAnyCaseAndAnyLineEnd) {
    const std::string list = ::testing::TempDir() + "model_index_list.txt";
    std::ofstream(list, std::ios::binary)
        << "flash: 16\r\nMODEL: PIC16F870\r\nmodel: PIC16F87\rModel: X PIC16F87\n"
           "model:PIC16F8 7\r\nflash: 1024\r\nmodel: PIC16F87A\r\n";
    expect_parser_numbers(list);
    EXPECT_EQ(model_index(list, "pic16f870").out, "1\n");
    const Answer none = model_index(list, "PIC16F8");
    EXPECT_NE(none.status, 0);
    EXPECT_EQ(none.out, "");
    std::remove(list.c_str());
}

TEST(ModelIndex, SelectedModelIsTheOneTheProgramSelectsFromItsSettings) {
    const std::string list = TESSALY_SOURCE_DIR "/quarndevices.txt";
    std::string text;
    ASSERT_TRUE(read_file(list, text));
    const DeviceList parsed = parse_devices(text);
    ASSERT_EQ(parsed.devcount, 10);
    const std::string head = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tessaly]\n";
    const std::string model = "\"Microcontroller Model\"=";
    struct Case {
        const char* name;
        std::string file;  // empty: no settings file
        std::int32_t index;
    };
    const Case cases[] = {
        {"no file", "", 1},
        {"stored by the program", head + "\"Last Path\"=\"/tmp/\"\n" + model + "\"3\"\n", 3},
        {"last model", head + model + "\"10\"\n", 10},
        {"CR LF lines", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tessaly]\r\n" + model + "\"4\"\r\n", 4},
        {"zero", head + model + "\"0\"\n", 1},
        {"negative", head + model + "\"-2\"\n", 1},
        {"past the list", head + model + "\"11\"\n", 1},
        {"far past the list", head + model + "\"99999999999999999999\"\n", 1},
        {"huge exponent", head + model + "\"1e999\"\n", 1},
        {"not a number", head + model + "\"PIC16F84A\"\n", 1},
        {"empty", head + model + "\"\"\n", 1},
        {"number rule: blanks dropped", head + model + "\" 1 0 \"\n", 10},
        {"number rule: sign, point, exponent", head + model + "\"+.3e1x\"\n", 3},
        {"number rule: halves to even", head + model + "\"2.5\"\n", 2},
        {"number rule: rounded", head + model + "\"3.5\"\n", 4},
        {"escaped quote", head + model + "\"5\\\"\"\n", 5},
        {"first of two", head + model + "\"6\"\n" + model + "\"7\"\n", 6},
        {"deleted first", head + model + "-\n" + model + "\"7\"\n", 7},
        {"too long to read", head + model + "\"8" + std::string(260, ' ') + "\"\n", 1},
        {"dword read as text", head + model + "dword:00000039\n", 9},
        {"dword not text", head + model + "dword:00000003\n", 1},
        {"hex bytes", head + model + "hex:32,00\n", 2},
        {"hex list continued", head + model + "hex:31,\\\n  30,00\n", 10},
        {"no header", "REGEDIT5\n" + head.substr(9) + model + "\"3\"\n", 1},
        {"other key", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n" + model + "\"3\"\n", 1},
        {"value before the key", "REGEDIT4\n" + model + "\"3\"\n", 1},
        {"another value garbled", head + model + "\"3\"\n\"Color Theme\"=dword:xyz\n", 1},
        {"unclosed text", head + model + "\"3\n", 1},
        {"no value", head + "\"Last Path\"=\"/tmp/\"\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string folder = ::testing::TempDir() + "/model_index_XXXXXX";
        ASSERT_NE(::mkdtemp(folder.data()), nullptr);
        const std::string settings = folder + "/" + settings_filename;
        if (!c.file.empty()) std::ofstream(settings, std::ios::binary) << c.file;
        const Answer a = selected_model(list, settings);
        EXPECT_EQ(a.status, 0);
        // The program's own reading, after the script's (it writes defaults back).
        const std::int32_t index = program_selection(folder, parsed.devcount);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(a.out, parsed.entries[static_cast<std::size_t>(index)].devmodel + "\n");
        std::filesystem::remove_all(folder);
    }
}

TEST(ModelIndex, SelectedModelOfAListWithoutModelsIsNone) {
    const std::string list = ::testing::TempDir() + "model_index_empty.txt";
    std::ofstream(list) << "flash: 16\n";
    const Answer a = selected_model(list, "/nonexistent/settings.reg");
    EXPECT_NE(a.status, 0);
    EXPECT_EQ(a.out, "");
    std::remove(list.c_str());
}
