#include "devices/devicelist.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tempfolder.h"

using namespace tessaly;

namespace {

DeviceList parse(const std::string& text) { return parse_devices(text); }

const DeviceEntry& device(const DeviceList& list, int i) {
    return list.entries.at(static_cast<std::size_t>(i));
}

}  // namespace

TEST(DeviceList, TwoDeviceExampleKeepsCopiesPerReference) {
    DeviceList list;
    ASSERT_EQ(load_devices(std::string(TESSALY_TEST_DATA) + "/two_devices.txt", list),
              LoadResult::loaded);
    ASSERT_EQ(list.devcount, 2);
    ASSERT_EQ(list.entries.size(), 3u);
    const DeviceEntry& a = device(list, 1);
    EXPECT_EQ(a.devmodel, "MODEL-A");
    EXPECT_EQ(a.devflash, "1024");
    EXPECT_EQ(a.deveeprom, "64");
    EXPECT_EQ(a.devconfigerased, "3FFF,3FFF");
    EXPECT_EQ(a.devconfig2used, "false");
    EXPECT_EQ(a.devvoltageseq, "vppvdd");
    EXPECT_EQ(a.devprogtime, "10");
    EXPECT_EQ(a.devpagesize, "1");
    EXPECT_EQ(a.deverasealg, "begin,s09,w10,end");
    EXPECT_EQ(a.devprogramalg, "begin,setflashloop,s02-flash,s08,wprog,s06,loop,end");
    const DeviceEntry& b = device(list, 2);
    EXPECT_EQ(b.devmodel, "MODEL-B");
    EXPECT_EQ(b.devprogramalg,
              "begin,calcflashpage,setflashloop,s02-flash,ifpage,s08,wprog,endifpage,s06,loop,end");
    EXPECT_EQ(b.deverasealg, a.deverasealg);
    EXPECT_EQ(b.devverifyalg, a.devverifyalg);
    EXPECT_EQ(b.devpagesize, "4");
}

TEST(DeviceList, KeyLineSyntax) {
    struct Case { const char* name; const char* text; int count; const char* model; const char* flash; };
    const Case cases[] = {
        {"upper case key", "MODEL: X", 1, "X", ""},
        {"mixed case key", "Model: X", 1, "X", ""},
        {"blank before colon", "model :X Y", 0, "", ""},
        {"key after a blank", " model: X", 0, "", ""},
        {"tab is no separator", "model:\tX", 0, "", ""},
        {"value after first blank", "model:MODEL-A rev", 1, "rev", ""},
        {"value keeps blanks", "model: A  B ", 1, "A  B ", ""},
        {"flash value", "model: X\nflash: 1024", 1, "X", "1024"},
        {"flash keeps leading blank", "model: X\nflash:  1024", 1, "X", " 1024"},
        {"flash value after first blank", "model: X\nflash:1024 words", 1, "X", "words"},
        {"flash empty after blank", "model: X\nflash: ", 1, "X", ""},
        {"repeated key replaces", "model: X\nflash: 1\nflash: 2", 1, "X", "2"},
        {"comment lines", "; any text\nlist of models\nmodel: X", 1, "X", ""},
        {"line without blank ignored", "model:X\nmodel: Y", 1, "Y", ""},
        {"only comments", "; a\n; b", 0, "", ""},
        {"empty file", "", 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DeviceList list = parse(c.text);
        ASSERT_EQ(list.devcount, c.count);
        if (c.count > 0) {
            EXPECT_EQ(device(list, 1).devmodel, c.model);
            EXPECT_EQ(device(list, 1).devflash, c.flash);
        }
    }
}

TEST(DeviceList, LineEnds) {
    struct Case { const char* name; std::string text; };
    const Case cases[] = {
        {"CR LF", "model: X\r\nflash: 8\r\n"},
        {"lone CR", "model: X\rflash: 8\r"},
        {"lone LF", "model: X\nflash: 8\n"},
        {"no final line end", "model: X\nflash: 8"},
        {"mixed", "model: X\r\n\r\n\nflash: 8\r"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DeviceList list = parse(c.text);
        ASSERT_EQ(list.devcount, 1);
        EXPECT_EQ(device(list, 1).devmodel, "X");
        EXPECT_EQ(device(list, 1).devflash, "8");
    }
}

TEST(DeviceList, DefinitionLines) {
    struct Case { const char* name; const char* line; int slot; const char* text; };
    const Case cases[] = {
        {"well formed", "erasealgdef 3: begin,end", 3, "begin,end"},
        {"no blank after colon", "erasealgdef 3:begin,end", 3, "egin,end"},
        {"upper case keyword", "ERASEALGDEF 3: a", 3, "a"},
        {"highest slot", "erasealgdef 20: x", 20, "x"},
        {"half rounds down to even", "erasealgdef 2.5: x", 2, "x"},
        {"half rounds up to even", "erasealgdef 3.5: x", 4, "x"},
        {"no colon", "erasealgdef 5", 5, "rasealgdef 5"},
        {"colon at line end", "erasealgdef 6:", 6, ""},
        {"text keeps case", "erasealgdef 7: BEGIN,End", 7, "BEGIN,End"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = std::string(c.line) + "\nmodel: X\nerasealg: " + std::to_string(c.slot);
        const DeviceList list = parse(text);
        EXPECT_EQ(list.erasealgdefs[static_cast<std::size_t>(c.slot)], c.text);
        EXPECT_EQ(device(list, 1).deverasealg, c.text);
    }
}

TEST(DeviceList, NumbersOutsideTheSlotsAreIgnored) {
    const DeviceList list = parse(
        "erasealgdef 21: big\nerasealgdef -1: neg\nerasealgdef 99999999999: huge\n"
        "erasealgdef 0: zero\nmodel: X\nerasealg: 0\nerasealg: 21\nerasealg: -1\n");
    for (const auto& slot : list.erasealgdefs) EXPECT_TRUE(slot.empty() || slot == "zero");
    EXPECT_EQ(device(list, 1).deverasealg, "zero");
}

TEST(DeviceList, EachKindHasItsOwnTableAndField) {
    const DeviceList list = parse(
        "erasealgdef 1: e\nprogramalgdef 1: p\nreadalgdef 1: r\nblankcheckalgdef 1: b\n"
        "verifyalgdef 1: v\nmodel: X\nerasealg: 1\nprogramalg: 1\nreadalg: 1\n"
        "blankcheckalg: 1\nverifyalg: 1\neeprom: 64\nconfigerased: 3FFF\nconfig2used: true\n"
        "voltageseq: vddvpp\nprogtime: 5\npagesize: 8\n");
    const DeviceEntry& d = device(list, 1);
    EXPECT_EQ(d.deverasealg, "e");
    EXPECT_EQ(d.devprogramalg, "p");
    EXPECT_EQ(d.devreadalg, "r");
    EXPECT_EQ(d.devblankcheckalg, "b");
    EXPECT_EQ(d.devverifyalg, "v");
    EXPECT_EQ(d.deveeprom, "64");
    EXPECT_EQ(d.devconfigerased, "3FFF");
    EXPECT_EQ(d.devconfig2used, "true");
    EXPECT_EQ(d.devvoltageseq, "vddvpp");
    EXPECT_EQ(d.devprogtime, "5");
    EXPECT_EQ(d.devpagesize, "8");
}

TEST(DeviceList, ReferencesCopyTheSlotAsItStandsThen) {
    const DeviceList list = parse(
        "verifyalg: 0\nmodel: A\nverifyalg: 0\nverifyalgdef 0: first\nmodel: B\nverifyalg: 0\n"
        "model: A\neeprom: 1\neeprom: 2\n");
    ASSERT_EQ(list.devcount, 3);
    EXPECT_EQ(device(list, 0).devverifyalg, "");  // keys before the first model fill entry 0
    EXPECT_EQ(device(list, 1).devverifyalg, "");  // referenced before it was defined
    EXPECT_EQ(device(list, 2).devverifyalg, "first");
    EXPECT_EQ(device(list, 3).devmodel, "A");     // same name, second device kept
    EXPECT_EQ(device(list, 3).deveeprom, "2");
    EXPECT_EQ(device(list, 1).devflash, "");      // a missing key leaves its text empty
}

TEST(DeviceList, LoadResults) {
    namespace fs = std::filesystem;
    const test::TempFolder folder;
    const fs::path dir = folder.path();
    const std::string empty = (dir / "empty.txt").string();
    std::FILE* f = std::fopen(empty.c_str(), "wb");
    std::fputs("; only a comment\r\n", f);
    std::fclose(f);

    DeviceList list = parse("model: stale");
    EXPECT_EQ(load_devices((dir / "missing.txt").string(), list), LoadResult::unreadable);
    EXPECT_EQ(list.devcount, 0);
    EXPECT_EQ(load_devices(dir.string(), list), LoadResult::unreadable);  // a folder
    EXPECT_EQ(load_devices(empty, list), LoadResult::no_devices);
    EXPECT_EQ(list.devcount, 0);
}

TEST(DeviceList, BinaryGarbageNeverCrashes) {
    std::string text;
    for (int i = 0; i < 4096; ++i) text += static_cast<char>((i * 7919) % 256);
    text += "\nmodel: after garbage\n";
    const DeviceList list = parse(text);
    EXPECT_GE(list.devcount, 1);
    EXPECT_EQ(list.entries.back().devmodel, "after garbage");
}
