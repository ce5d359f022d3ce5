// A named pipe for tests of code that must never wait on one. Opening a FIFO
// waits for the other end, and reading it waits for data: code that does
// either would hang its test for ever. Once grace_ms have passed, a thread
// keeps opening and closing both ends, which lets such code go on (a reader
// then reads end of file), so the test ends and fails instead.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly::test {

class UnblockingFifo {
public:
    explicit UnblockingFifo(std::string path, int grace_ms = 3000)
        : path_(std::move(path)), made_(::mkfifo(path_.c_str(), 0600) == 0),
          poker_([this, grace_ms] { poke_after(grace_ms); }) {}
    ~UnblockingFifo() {
        stop_ = true;
        poker_.join();
    }
    UnblockingFifo(const UnblockingFifo&) = delete;
    UnblockingFifo& operator=(const UnblockingFifo&) = delete;

    bool made() const { return made_; }

private:
    void poke_after(int grace_ms) {
        const auto start = std::chrono::steady_clock::now();
        while (!stop_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(grace_ms)) continue;
            // Both ends at once: never waits, and frees a reader and a writer alike.
            const int fd = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
        }
    }

    std::string path_;
    bool made_;
    std::atomic<bool> stop_{false};
    std::thread poker_;
};

}  // namespace tessaly::test
