// The device list file: model blocks and numbered algorithm definitions, loaded
// once at start-up. Every value is kept as the text that stands in the file;
// turning texts into numbers and instruction lists is select_device's business.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

inline constexpr const char* devicelist_filename = "quarndevices.txt";
inline constexpr int algdef_slots = 21;  // definition numbers 0 to 20

struct DeviceEntry {
    std::string devmodel;
    std::string devflash;
    std::string deveeprom;
    std::string devconfigerased;
    std::string devconfig2used;
    std::string devvoltageseq;
    std::string devprogtime;
    std::string devpagesize;
    std::string deverasealg;
    std::string devprogramalg;
    std::string devreadalg;
    std::string devblankcheckalg;
    std::string devverifyalg;
};

using AlgDefs = std::array<std::string, algdef_slots>;

struct DeviceList {
    std::int32_t devcount = 0;
    // entries[0] takes the keys that stand before the first "model:" line and is
    // never selected; entries[i] is the i-th model block, i = 1 to devcount.
    std::vector<DeviceEntry> entries = std::vector<DeviceEntry>(1);
    AlgDefs erasealgdefs;
    AlgDefs programalgdefs;
    AlgDefs readalgdefs;
    AlgDefs blankcheckalgdefs;
    AlgDefs verifyalgdefs;
};

enum class LoadResult {
    loaded,      // at least one device was read
    no_devices,  // the file was read but holds no "model:" line
    unreadable,  // the file is missing or could not be read
};

// Splits a whole file's bytes into lines (CR LF, a lone CR or a lone LF end a
// line) and fills a fresh list from them.
DeviceList parse_devices(const std::string& text);

// Reads the file at path into list (replaced in every case).
LoadResult load_devices(const std::string& path, DeviceList& list);

}  // namespace tessaly
