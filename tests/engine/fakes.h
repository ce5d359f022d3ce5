// Recording stand-ins for the serial link and the main window, and a tiny
// programmer that answers every complete message the engine has written, so
// tests can run whole instruction lists.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "devices/device.h"
#include "engine/engine.h"
#include "devices/wire.h"

namespace tessaly::testing {

// One log shared by link and host, so tests can check the order of events.
using Log = std::vector<std::string>;

class FakeLink : public Link {
public:
    explicit FakeLink(Log& log) : log_(log) {}
    bool write_byte(std::uint8_t byte) override {
        if (failafter >= 0 && static_cast<int>(written.size()) >= failafter) return false;
        written.push_back(byte);
        log_.push_back("w" + std::to_string(byte));
        return true;
    }
    bool end_message() override {
        log_.push_back("sent");
        return true;
    }
    void yield() override {
        log_.push_back("yield");
        if (onyield) onyield();
    }
    void set_rthreshold(int threshold) override {
        rthreshold = threshold;
        log_.push_back("rt" + std::to_string(threshold));
    }
    std::size_t discard_input() override {
        log_.push_back("discard");
        return std::exchange(inbound, {}).size();
    }
    std::uint64_t session() const override { return connection; }
    bool input_waiting() override { return !inbound.empty(); }

    std::vector<std::uint8_t> written;
    int rthreshold = -1;
    int failafter = -1;  // refuse every byte once this many were written
    std::uint64_t connection = 0;  // a test changes it as reopening the port would
    std::string inbound;  // received bytes waiting in the control, not handed over
    std::function<void()> onyield;  // window events that run in a message's yields

private:
    Log& log_;
};

class FakeHost : public Host {
public:
    explicit FakeHost(Log& log) : log_(log) {}
    void set_status(const std::string& text) override {
        status = text;
        statuses.push_back(text);
    }
    void yield() override {
        log_.push_back("hyield");
        if (onyield) onyield();
    }
    void sleep_ms(std::int32_t ms) override { sleeps.push_back(ms); }
    int show_msgbox(const std::string& text, int kind) override {
        boxes.push_back({text, kind});
        log_.push_back("box");
        return 1;
    }
    void enable() override {
        locked = false;
        log_.push_back("enable");
        if (onenable) onenable();  // the window's unlock yields
    }
    void disable() override {
        locked = true;
        log_.push_back("disable");
        if (ondisable) ondisable();  // the window's lock yields
    }
    void updatedisplay() override { log_.push_back("updatedisplay"); }
    double clock() override { return now; }
    void end_program() override { ended = true; }
    bool portopen() override { return open; }
    std::int32_t portnumber() override { return port; }
    void start_reply_timer(std::int32_t ms) override { timerms = ms; }
    void stop_reply_timer() override { timerms = 0; }
    void engine_free() override { ++freed; }
    bool actions_held() override { return held; }

    struct Box {
        std::string text;
        int kind;
    };
    std::string status;
    std::vector<std::string> statuses;
    std::vector<std::int32_t> sleeps;
    std::vector<Box> boxes;
    std::function<void()> onyield;
    std::function<void()> onenable;
    std::function<void()> ondisable;
    bool locked = false;
    bool held = false;  // the window holds actions behind the call
    int freed = 0;      // outermost calls returned
    bool ended = false;
    bool open = true;
    std::int32_t port = 3;
    std::int32_t timerms = 0;  // 0: stopped
    double now = 100.0;

private:
    Log& log_;
};

// A small device whose lists the tests replace as they need.
inline SelectedDevice small_device() {
    SelectedDevice d;
    d.devindex = 1;
    d.modelname = "TEST16";
    d.flashsize = 16;
    d.eepromsize = 8;
    d.conferased = {0x3FFF, 0x3FFF};
    d.config2used = true;
    d.voltageseq = 1;
    d.progtime = 10;
    d.pagesize = 4;
    d.eraselines = d.programlines = d.readlines = d.blanklines = d.verifylines = {"begin", "end"};
    return d;
}

// The engine with its world, and a programmer that replies to each message.
struct Rig {
    Log log;
    FakeLink link{log};
    FakeHost host{log};
    SelectedDevice cur = small_device();
    ChipImage image;
    Engine engine{link, host, cur, image};
    // Data word the programmer returns for the n-th read (0-based).
    std::function<std::int32_t(int)> readvalue = [](int) { return 0x3FFF; };
    std::size_t answered = 0;  // bytes of link.written already answered
    int reads = 0;

    Rig() {
        blank_buffers(cur, image);
        engine.reset();
    }

    // Replies owed for the complete messages written since the last call.
    std::string replies() {
        std::string out;
        const auto& w = link.written;
        while (answered < w.size()) {
            const std::uint8_t code = w[answered];
            const auto len = static_cast<std::size_t>(wire_message(code).message_bytes);
            if (answered + len > w.size()) break;
            answered += len;
            if (code == cmd_read) {
                const std::int32_t v = readvalue(reads++);
                out += static_cast<char>(v & 0xFF);
                out += static_cast<char>((v >> 8) & 0xFF);
                out += '\x55';
            } else {
                out += '\x11';
            }
        }
        return out;
    }

    // Answers byte by byte, one receive event each, until nothing more is sent.
    void run() {
        for (int guard = 0; guard < 1000000; ++guard) {
            const std::string r = replies();
            if (r.empty()) break;
            for (char c : r) engine.MSComm1_OnComm(std::string(1, c));
        }
        quiet();
    }

    // The quiet time after the last reply passes, as the window's timer would.
    void quiet() {
        if (engine.settling()) engine.reply_timeout();
    }

    void lines(std::vector<std::string> list) {
        cur.eraselines = cur.programlines = cur.readlines = cur.blanklines = cur.verifylines = list;
    }

    // Starts a run whose first instruction only sends a command byte, the
    // list after it: step() then runs the list's first instruction, once the
    // test has set in opstate what it needs. Instruction k of the list is
    // opstate's k + 1.
    void prime(std::vector<std::string> list) {
        list.insert(list.begin(), "s00");
        lines(std::move(list));
        engine.start(Operation::program);
    }

    // Answers what has been sent since the last answer: one step for each byte.
    void step() {
        for (char c : replies()) engine.MSComm1_OnComm(std::string(1, c));
    }

    // The messages written, split by command code.
    std::vector<std::vector<int>> messages() const {
        std::vector<std::vector<int>> out;
        const auto& w = link.written;
        for (std::size_t i = 0; i < w.size();) {
            const auto len = static_cast<std::size_t>(wire_message(w[i]).message_bytes);
            out.emplace_back(w.begin() + static_cast<std::ptrdiff_t>(i),
                             w.begin() + static_cast<std::ptrdiff_t>(std::min(i + len, w.size())));
            i += len;
        }
        return out;
    }
};

}  // namespace tessaly::testing
