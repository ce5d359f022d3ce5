#include "rawclient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace tessaly::bench {

namespace {

int open_raw(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

bool exchange(int fd, const Exchange& e) {
    if (::write(fd, e.out.data(), e.out.size()) != static_cast<ssize_t>(e.out.size())) return false;
    std::uint8_t buffer[16];
    std::size_t got = 0;
    while (got < e.reply) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) return false;
        const auto n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

double run_raw_client(const std::string& path, const std::vector<Exchange>& exchanges) {
    const int fd = open_raw(path);
    if (fd < 0) return -1;
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    for (const Exchange& e : exchanges) {
        if (!(ok = exchange(fd, e))) break;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    ::close(fd);
    return ok ? took.count() : -1;
}

}  // namespace tessaly::bench
