// A pseudo-terminal pair for tests that need a real serial line: the program
// under test opens terminal_path(), the test plays the far end on the master
// side. Plain POSIX, so tests with or without Qt can share it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

class PtyPair {
public:
    PtyPair();  // throws std::runtime_error when no pseudo-terminal can be had
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& terminal_path() const { return path_; }
    int far_fd() const { return fd_; }

    // Writes every byte from the far end; false when the far end is closed.
    bool send(const std::vector<std::uint8_t>& bytes);

    // Reads up to n bytes at the far end, waiting at most timeout_ms for them.
    std::vector<std::uint8_t> receive(std::size_t n, int timeout_ms);

    // Whatever has arrived at the far end by now, without waiting.
    std::vector<std::uint8_t> receive_now();

    // Hangs up the far end, as a pulled adapter or an ended peer would.
    void close_far();

private:
    int fd_ = -1;
    std::string path_;
};

// A name of the test's own for a device, as /dev/serial/by-id gives one to an
// adapter: a symbolic link, in a folder of the test's, that leads to it.
// pull() takes the name away, as unplugging the adapter does, and no other
// process can bring it back. A pseudo-terminal's own path cannot stand for a
// gone device: any process may take its number for a new pseudo-terminal once
// the port has let it go, and the kernel wakes the reader of a line whose far
// end closed before it removes the path.
class DeviceLink {
public:
    DeviceLink(std::string link, const std::string& device);  // throws std::runtime_error if not made
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    const std::string& path() const { return link_; }
    void pull();

private:
    std::string link_;
};

}  // namespace tessaly::test
