// The serial line the simulated programmer serves: a pseudo-terminal pair it
// creates (the program opens the terminal side) or an existing serial device.
// Serving survives the other side being closed and opened again any number of
// times, waits without spinning while nobody is there, paces bytes like a real
// line when asked, and ends cleanly on SIGTERM or SIGINT.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "protocol.h"

namespace tessaly::sim {

struct Pacing {
    std::int64_t baud = 0;            // 10 bit times per byte, both ways; 0: no pacing
    std::int64_t reply_delay_ms = 0;  // before the first byte of each reply
};

// Byte times of an 8N1 line (10 bit times per byte), kept apart per direction
// so that a burst of bytes takes as long as it would on the wire. A byte's slot
// starts when the line is free and the byte is there, so the slots of a burst
// follow each other exactly however late the sleeps between them wake. Times
// are nanoseconds on one clock.
class LineClock {
public:
    explicit LineClock(std::int64_t baud) : byte_ns_(baud > 0 ? 10'000'000'000 / baud : 0) {}
    // When a byte that arrived at arrived has been received.
    std::int64_t received(std::int64_t arrived);
    // When a byte ready to go at ready has been sent; it is written then.
    std::int64_t sent(std::int64_t ready);

private:
    std::int64_t pass(std::int64_t& line_free, std::int64_t ready) const;

    std::int64_t byte_ns_;
    std::int64_t rx_free_ = 0;
    std::int64_t tx_free_ = 0;
};

class SerialLine {
public:
    SerialLine() = default;
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;
    ~SerialLine();

    // A new pseudo-terminal pair in raw mode; path is its terminal side, left to
    // the program: while nobody has it open, bytes sent are lost as on a real line.
    bool open_pty(std::string& path, std::string& error);
    // An existing device; a terminal is set to raw 8N1 at baud, without flow control.
    bool open_port(const std::string& path, std::int64_t baud, std::string& error);

    int fd() const { return fd_; }

    // Called once each time the far side has been closed by everyone: replies
    // still waiting unread in the pseudo-terminal are dropped, as a real port
    // drops them on close, so the next opener meets only its own replies.
    void drop_unread() const;

private:
    int fd_ = -1;
    std::string terminal_;  // the pseudo-terminal's terminal side; empty for a port
};

// From now on SIGTERM and SIGINT make serve return instead of ending the
// process. Returns false (with errno set) when the handlers cannot be set up.
bool catch_stop_signals();

// Answers the messages arriving on line until a stop signal. Returns "" then,
// or the fault of the line that ended serving. on_idle, when given, runs each
// time serving is about to wait for the line (the trace is written out then,
// not between a message and its reply).
std::string serve(SerialLine& line, WireProtocol& protocol, const Pacing& pacing,
                  const std::function<void()>& on_idle = {});

}  // namespace tessaly::sim
