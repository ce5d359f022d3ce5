// The bit rate of a serial device, any whole rate the driver takes (56000 is
// not one of the classic termios rates). Apart from line.cpp because the
// kernel's termios2 header cannot be included beside <termios.h>.
#pragma once

#include <cstdint>

namespace tessaly::sim {

// Sets both directions of the terminal fd to baud; false (errno set) when refused.
bool set_line_rate(int fd, std::int64_t baud);

// The output rate the terminal fd is set to; -1 when it cannot be read.
std::int64_t line_rate(int fd);

}  // namespace tessaly::sim
