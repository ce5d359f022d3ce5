// The simulated programmer joined to the engine without a serial line, for
// tests and fuzzing: bytes the engine writes go straight to the protocol, and
// the replies wait in inbound until the caller hands them to the engine, as a
// serial control holds received bytes. A reply filter may change each reply
// byte on its way (drop it, add bytes), to stand for a faulty line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "engine/senders.h"
#include "protocol.h"

namespace tessaly::sim {

class MemoryLink : public Link {
public:
    // Appends what reaches the line for one reply byte.
    using ReplyFilter = std::function<void(std::uint8_t byte, std::string& line)>;

    explicit MemoryLink(WireProtocol& protocol, ReplyFilter filter = {})
        : protocol_(protocol), filter_(std::move(filter)) {}

    bool write_byte(std::uint8_t byte) override {
        written += 1;
        for (std::uint8_t r : protocol_.feed(byte)) {
            if (filter_) {
                filter_(r, inbound);
            } else {
                inbound += static_cast<char>(r);
            }
        }
        return true;
    }
    void yield() override {}
    void set_rthreshold(int threshold) override { rthreshold = threshold; }
    std::size_t discard_input() override {
        const std::size_t n = inbound.size();
        inbound.clear();
        return n;
    }
    bool input_waiting() override { return !inbound.empty(); }

    // The bytes a receive event hands over now: all that wait, or only the
    // first (a slow line, one event per byte). Empty while reception is off.
    std::string take(bool onebyte) {
        std::string out;
        if (rthreshold != 1 || inbound.empty()) return out;
        if (onebyte) {
            out = inbound.substr(0, 1);
            inbound.erase(0, 1);
        } else {
            out.swap(inbound);
        }
        return out;
    }

    std::string inbound;
    int rthreshold = 0;
    std::int64_t written = 0;

private:
    WireProtocol& protocol_;
    ReplyFilter filter_;
};

}  // namespace tessaly::sim
