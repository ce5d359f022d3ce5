#include "ptypair.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tessaly::test {

PtyPair::PtyPair() {
    fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0)
        throw std::runtime_error("no pseudo-terminal available");
    char name[128];
    if (::ptsname_r(fd_, name, sizeof name) != 0) throw std::runtime_error("ptsname failed");
    path_ = name;
    // Non-blocking, so a read at the far end can never hang a test.
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() { close_far(); }

void PtyPair::close_far() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool PtyPair::send(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (std::chrono::steady_clock::now() > deadline) {
            return false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return fd_ >= 0;
}

std::vector<std::uint8_t> PtyPair::receive_now() {
    std::vector<std::uint8_t> got;
    std::uint8_t buf[4096];
    while (fd_ >= 0) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) break;  // nothing yet, or no terminal side open (EIO)
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

std::vector<std::uint8_t> PtyPair::receive(std::size_t n, int timeout_ms) {
    std::vector<std::uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (fd_ >= 0 && got.size() < n && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd_, POLLIN, 0};
        // POLLHUP while the terminal side is closed: poll returns at once, so nap.
        if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
            const auto more = receive_now();
            got.insert(got.end(), more.begin(), more.end());
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    if (got.size() > n) got.resize(n);
    return got;
}

DeviceLink::DeviceLink(std::string link, const std::string& device) : link_(std::move(link)) {
    if (::symlink(device.c_str(), link_.c_str()) != 0)
        throw std::runtime_error("no link " + link_ + ": " + std::strerror(errno));
}

DeviceLink::~DeviceLink() { pull(); }

void DeviceLink::pull() { ::unlink(link_.c_str()); }

}  // namespace tessaly::test
