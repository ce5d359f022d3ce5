// scripts/model-index, which the run command uses to store the model number it
// starts with: it must give the number the program's own list parser gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "devices/devicelist.h"
#include "devices/fileio.h"
#include "tempfolder.h"

using namespace tessaly;

namespace {

struct Answer {
    int status;
    std::string out;
};

Answer model_index(const std::string& list, const std::string& name) {
    const std::string cmd = "bash '" TESSALY_SOURCE_DIR "/scripts/model-index' '" + list + "' '" + name + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    Answer a{-1, {}};
    if (!p) return a;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) a.out += buf;
    a.status = ::pclose(p);
    return a;
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
    const test::TempFolder folder;
    const std::string list = folder.file("list.txt");
    std::ofstream(list, std::ios::binary)
        << "flash: 16\r\nMODEL: PIC16F870\r\nmodel: PIC16F87\rModel: X PIC16F87\n"
           "model:PIC16F8 7\r\nflash: 1024\r\nmodel: PIC16F87A\r\n";
    expect_parser_numbers(list);
    EXPECT_EQ(model_index(list, "pic16f870").out, "1\n");
    const Answer none = model_index(list, "PIC16F8");
    EXPECT_NE(none.status, 0);
    EXPECT_EQ(none.out, "");
}
