// Shared pieces of the fuzz targets: the shipped device list, a scratch folder
// of this process for targets whose code under test reads files, and a check
// that stops the run with a message when an invariant breaks.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "devices/device.h"
#include "devices/devicelist.h"

namespace tessaly::fuzzing {

// A model of the shipped device list, chosen by one byte of the input.
inline SelectedDevice shipped_model(std::uint8_t choice) {
    static const DeviceList list = [] {
        DeviceList l;
        load_devices(TESSALY_DEVICE_LIST, l);
        return l;
    }();
    SelectedDevice cur;
    if (list.devcount == 0 || !select_device(list, 1 + choice % list.devcount, cur).empty()) {
        std::fprintf(stderr, "cannot select from %s\n", TESSALY_DEVICE_LIST);
        std::abort();
    }
    return cur;
}

// Removed when the process ends.
class Scratch {
public:
    Scratch()
        : dir_(std::filesystem::temp_directory_path() /
               ("tessaly_fuzz_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(dir_);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

inline const std::filesystem::path& scratch() {
    static const Scratch folder;
    return folder.dir();
}

inline std::string write_scratch(const std::string& name, const std::uint8_t* data,
                                 std::size_t size) {
    const std::string path = (scratch() / name).string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
    std::abort();
}

inline void check(bool ok, const std::string& what) {
    if (!ok) fail(what);
}

}  // namespace tessaly::fuzzing
