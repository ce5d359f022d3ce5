// The programmer's side of the serial conversation: bytes in, whole messages to
// the simulated chip, reply bytes out. Exactly one reply byte per message, three
// for a read; an unknown code byte is a message of its own and is answered too,
// and an incomplete message waits for the rest of its bytes. Faults for tests
// (silence after a count, one unrequested byte, an empty socket) are planned
// here as well.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "simchip.h"

namespace tessaly::sim {

struct FaultPlan {
    std::int64_t stop_after = -1;        // answer no message after this many; -1: never stop
    std::int64_t extra_byte_after = -1;  // one more byte after the reply to this message; -1: none
    // The extra byte this long after that reply, on its own; 0: sent with the reply.
    std::int64_t extra_byte_delay_ms = 0;
    // No chip and a data line pulled up, behind a programmer that does not mask
    // the word: reads give FFh FFh, commands and data words reach no chip.
    bool empty_socket = false;
};

// Receives one trace line (no line end) per message received and reply sent.
using TraceSink = std::function<void(const std::string&)>;

inline constexpr std::uint8_t unrequested_byte = 0xA5;

class WireProtocol {
public:
    WireProtocol(SimChip& chip, FaultPlan faults = {}, TraceSink trace = {});

    // One byte from the line; returns the bytes to send back now.
    std::vector<std::uint8_t> feed(std::uint8_t byte);

    // Messages completed so far, unknown code bytes included.
    std::int64_t messages() const { return count_; }

    // A delayed extra byte is left out of the reply: from that reply on it is
    // owed, and whoever keeps the line's time sends it once the delay is over,
    // taking it here (which traces it).
    bool owes_delayed_byte() const { return delayed_owed_; }
    std::int64_t delayed_byte_ms() const { return faults_.extra_byte_delay_ms; }
    std::uint8_t take_delayed_byte();

private:
    std::vector<std::uint8_t> complete();
    std::string perform(std::vector<std::uint8_t>& reply);
    std::string perform_empty(std::vector<std::uint8_t>& reply);
    void note(const std::string& line) const;

    SimChip& chip_;
    FaultPlan faults_;
    TraceSink trace_;
    std::vector<std::uint8_t> pending_;
    std::int64_t count_ = 0;
    bool delayed_owed_ = false;
};

}  // namespace tessaly::sim
