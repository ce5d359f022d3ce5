// The programmer's serial line as the program offers it: the port numbers a
// user may choose, the baud rates it may run at, the rate the start-up scan
// probes every port with, and the fixed line format after the rate.
#pragma once

#include <string>

namespace tessaly {

inline constexpr int first_comport = 1;
inline constexpr int last_comport = 16;

inline constexpr int min_baud = 1200;
inline constexpr int max_baud = 56000;
// A rate every serial device takes, so a probe tells whether the port opens at all.
inline constexpr int probe_baud = 9600;

// No parity, 8 data bits, 1 stop bit: what follows the rate in a settings text.
inline constexpr const char* line_format = ",n,8,1";

// "<baud>,n,8,1" for a baud rate given as text.
inline std::string line_settings(const std::string& baud) { return baud + line_format; }
inline std::string line_settings(int baud) { return line_settings(std::to_string(baud)); }

// "a-b", as the prompts show a range.
inline std::string range_text(int first, int last) {
    return std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace tessaly
