// The serial line the simulated programmer serves: a pseudo-terminal pair it
// creates (the program opens the terminal side) or an existing serial device.
// Serving survives the other side being closed and opened again any number of
// times, waits without spinning while nobody is there, paces bytes like a real
// line when asked, and ends cleanly on SIGTERM or SIGINT.
#pragma once

#include <cstdint>
#include <string>

#include "protocol.h"

namespace tessaly::sim {

struct Pacing {
    std::int64_t baud = 0;            // 10 bit times per byte, both ways; 0: no pacing
    std::int64_t reply_delay_ms = 0;  // before the first byte of each reply
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
    // An existing device, put into raw mode when it is a terminal.
    bool open_port(const std::string& path, std::string& error);

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
// or the fault of the line that ended serving.
std::string serve(SerialLine& line, WireProtocol& protocol, const Pacing& pacing);

}  // namespace tessaly::sim
