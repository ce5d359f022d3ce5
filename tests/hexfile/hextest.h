// Helpers shared by the HEX file tests: small devices built in
// place, a recorder that stands in for the message box, and record building.
#pragma once

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "devices/device.h"
#include "devices/hextext.h"
#include "devices/msgbox.h"
#include "hexfile/hexreader.h"
#include "tempfolder.h"

namespace tessaly::test {

inline void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline SelectedDevice test_device(std::int32_t flash, std::int32_t eeprom, bool config2used) {
    SelectedDevice dev;
    dev.modelname = "TEST";
    dev.flashsize = flash;
    dev.eepromsize = eeprom;
    dev.conferased = {0x3FFF, 0x3FFF};
    dev.config2used = config2used;
    return dev;
}

inline ChipImage blank_image(const SelectedDevice& dev) {
    ChipImage image;
    blank_buffers(dev, image);
    return image;
}

struct Box {
    std::string text;
    int kind;
};

// Records every message box and answers each with the same button.
struct BoxRecorder {
    std::vector<Box> boxes;
    int answer = answer_ok;
    MsgBox box() {
        return [this](const std::string& text, int kind) {
            boxes.push_back({text, kind});
            return answer;
        };
    }
};

// A record with a correct checksum around any body, well-formed or not.
inline std::string rec(const std::string& body) { return ":" + body + record_checksum(body); }

// A data record of 16-bit words at a byte address, low byte first.
inline std::string words_rec(std::int32_t byte_address, const std::vector<std::int32_t>& words) {
    std::string data;
    for (std::int32_t w : words) data += hex2(w) + hex2(w >> 8);
    return rec(hex2(static_cast<std::int64_t>(data.size() / 2)) + hex4(byte_address) + "00" + data);
}

// While alive, writes beyond limit bytes fail with EFBIG instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit now = old_;
        now.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &now);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, old_handler_);
    }

private:
    rlimit old_{};
    void (*old_handler_)(int);
};

inline void expect_same_image(const ChipImage& got, const ChipImage& want) {
    EXPECT_EQ(got.flashbuf, want.flashbuf);
    EXPECT_EQ(got.eeprombuf, want.eeprombuf);
    EXPECT_EQ(got.conf, want.conf);
}

}  // namespace tessaly::test
