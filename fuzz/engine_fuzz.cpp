// The engine running a fuzzed device definition against the simulated chip,
// with fuzzed faults on the programmer's replies. The input is a device list
// text, a NUL byte, then the fault script: byte 0 chooses the model and whether
// replies come one byte per receive event; then groups of three bytes (gap,
// kind, value) each spoil the reply byte that comes gap bytes after the last
// spoiled one: dropped, an extra byte before it, corrupted or repeated.
// Every operation and Test Vpp run in turn; each must end (by itself, or when
// the window's timer would run out: the quiet time or the reply time-out),
// leave the interface unlocked and keep the buffers' shapes; a Read All that
// leaves words wider than 14 bits says so.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "devices/device.h"
#include "devices/devicelist.h"
#include "devices/memorymap.h"
#include "devices/msgbox.h"
#include "engine/engine.h"
#include "engine/host.h"
#include "engine/operations.h"
#include "fuzzing.h"
#include "memorylink.h"
#include "protocol.h"
#include "simchip.h"

using namespace tessaly;
using namespace tessaly::fuzzing;

namespace {

class Faults {
public:
    Faults(const std::uint8_t* script, std::size_t size) : script_(script), size_(size) { next(); }

    // The bytes that reach the line for one reply byte.
    void pass(std::uint8_t byte, std::string& line) {
        if (gap_ > 0 || pos_ > size_) {
            gap_ -= 1;
            line += static_cast<char>(byte);
            return;
        }
        switch (kind_ % 4) {
            case 0: break;                                             // dropped
            case 1: line += static_cast<char>(value_); line += static_cast<char>(byte); break;
            case 2: line += static_cast<char>(byte ^ (value_ | 1)); break;
            default: line += static_cast<char>(byte); line += static_cast<char>(byte); break;
        }
        next();
    }

private:
    void next() {
        if (pos_ + 3 > size_) {
            pos_ = size_ + 1;
            return;
        }
        gap_ = script_[pos_];
        kind_ = script_[pos_ + 1];
        value_ = script_[pos_ + 2];
        pos_ += 3;
    }

    const std::uint8_t* script_;
    std::size_t size_;
    std::size_t pos_ = 0;
    int gap_ = 0;
    std::uint8_t kind_ = 0;
    std::uint8_t value_ = 0;
};

// Says what the window would show when TESSALY_FUZZ_TRACE is set, for
// looking into an input the fuzzer has found.
class QuietHost : public Host {
public:
    void set_status(const std::string& text) override {
        status = text;
        trace("status: " + text);
    }
    void yield() override {}
    void sleep_ms(std::int32_t) override {}
    int show_msgbox(const std::string& text, int) override {
        trace("box: " + text);
        lastbox = text;
        return answer_ok;
    }
    void enable() override { locked = false; trace("enable"); }
    void disable() override { locked = true; trace("disable"); }
    void updatedisplay() override {}
    double clock() override { return 100.0; }
    void end_program() override { ended = true; trace("end program"); }
    bool portopen() override { return true; }
    std::int32_t portnumber() override { return 1; }
    void start_reply_timer(std::int32_t) override { timer = true; }
    void stop_reply_timer() override { timer = false; }

    std::string status;
    std::string lastbox;
    bool locked = false;
    bool timer = false;
    bool ended = false;  // the program was told to end: nothing more runs

private:
    static void trace(const std::string& line) {
        static const bool on = std::getenv("TESSALY_FUZZ_TRACE") != nullptr;
        if (on) std::fprintf(stderr, "%s\n", line.c_str());
    }
};

struct Run {
    QuietHost host;
    SelectedDevice& cur;
    ChipImage image;
    std::unique_ptr<sim::SimChip> chip;
    std::unique_ptr<sim::WireProtocol> protocol;
    std::unique_ptr<sim::MemoryLink> link;
    std::unique_ptr<Engine> engine;
    bool onebyte;

    Run(SelectedDevice& device, Faults& faults, bool onebyte_events)
        : cur(device), onebyte(onebyte_events) {
        blank_buffers(cur, image);
        for (std::size_t a = 0; a < image.flashbuf.size(); a += 3) image.flashbuf[a] = a & chip_word_mask;
        chip = std::make_unique<sim::SimChip>(sim::chip_shape(cur));
        protocol = std::make_unique<sim::WireProtocol>(*chip);
        link = std::make_unique<sim::MemoryLink>(
            *protocol, [&faults](std::uint8_t byte, std::string& line) { faults.pass(byte, line); });
        engine = std::make_unique<Engine>(*link, host, cur, image);
        engine->reset();
    }

    // Bytes on the line that an operation of this list may need at most: three
    // per message, two messages per instruction and address, a page beyond the
    // end of FLASH; more means the operation would not have ended.
    std::int64_t cap(Operation op) const {
        const std::int64_t algcount =
            static_cast<std::int64_t>((cur.*operation_info(op).lines).size());
        const std::int64_t addresses = std::max(cur.flashsize, cur.eepromsize) +
                                       std::clamp(cur.pagesize, 0, cur.flashsize) + 2;
        return 3 * 2 * algcount * addresses + 16;
    }

    // Returns false when the program was told to end.
    bool drive(std::int64_t limit) {
        const std::int64_t start = link->written;
        while (engine->busy()) {
            if (host.ended) return false;
            check(link->written - start <= limit, "the operation ends within its bound");
            const std::string input = link->take(onebyte);
            if (!input.empty()) {
                engine->MSComm1_OnComm(input);
            } else if (engine->pending()) {
                check(host.timer, "a pending operation waits with its reply timer running");
                engine->reply_timeout();
            } else if (host.timer) {
                engine->reply_timeout();  // a voltage message of Test Vpp unanswered
            } else {
                check(engine->opstate().testvpp, "nothing runs but Test Vpp, answered");
                (void)engine->label_vpp_Click();  // switch it off
            }
        }
        if (host.ended) return false;
        check(!host.locked, "the interface is unlocked once nothing runs");
        check(image.flashbuf.size() == static_cast<std::size_t>(cur.flashsize), "FLASH size kept");
        check(image.eeprombuf.size() == static_cast<std::size_t>(std::max(cur.eepromsize, 1)),
              "EEPROM size kept");
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const void* nul = std::memchr(data, 0, size);
    const std::size_t textsize = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data) : size;
    const DeviceList list = parse_devices(std::string(reinterpret_cast<const char*>(data), textsize));
    if (list.devcount == 0) return 0;
    const std::uint8_t* script = data + std::min(textsize + 1, size);
    const std::size_t scriptsize = size - std::min(textsize + 1, size);
    const std::uint8_t first = scriptsize > 0 ? script[0] : 0;
    SelectedDevice cur;
    if (!select_device(list, 1 + (first >> 1) % list.devcount, cur).empty()) return 0;
    Faults faults(script + (scriptsize > 0), scriptsize - (scriptsize > 0));
    Run run(cur, faults, first & 1);
    for (Operation op : {Operation::erase, Operation::blank, Operation::program,
                         Operation::verify, Operation::read}) {
        (void)run.engine->start(op);
        if (!run.drive(run.cap(op))) return 0;
        if (op == Operation::read && run.host.status.rfind("Chip read.", 0) == 0) {
            // Words no chip holds are kept as read, and the read says so.
            if (wide_words(cur, run.image).count != 0) {
                check(run.host.lastbox.find("more than the 14 bits") != std::string::npos,
                      "a read of words wider than 14 bits is told");
            }
            for (std::int32_t b : run.image.eeprombuf) check(is_eeprom_byte(b), "8-bit EEPROM read");
        }
    }
    if (run.engine->label_vpp_Click()) {
        if (!run.drive(16)) return 0;
    }
    return 0;
}
