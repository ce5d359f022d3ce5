#include "line.h"

#include "linerate.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace tessaly::sim {

namespace {

// Set by the signal handler; the pipe wakes a poll that is already waiting.
volatile std::sig_atomic_t stop_flag = 0;
int stop_pipe[2] = {-1, -1};

// How long to wait before looking again while nobody has the other side open:
// short enough that a program's first message after opening is not held up.
constexpr int idle_retry_ms = 10;

void on_stop_signal(int) {
    stop_flag = 1;
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(stop_pipe[1], &byte, 1);
}

std::string system_fault(const std::string& what) { return what + ": " + std::strerror(errno); }

// Raw 8N1 without flow control: every byte passes untouched both ways.
bool make_raw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool set_nonblocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

std::int64_t now_ns() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// Sleeps until the monotonic time deadline, or until a stop signal.
void sleep_until(std::int64_t deadline) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(deadline / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(deadline % 1'000'000'000);
    while (!stop_flag && ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// A sleep wakes some tens of microseconds late, more on a busy machine; the
// last stretch before a byte's deadline is waited out awake instead, so the
// byte goes out on time.
constexpr std::int64_t awake_ns = 100'000;

void wait_until(std::int64_t deadline) {
    if (deadline - now_ns() > awake_ns) sleep_until(deadline - awake_ns);
    while (!stop_flag && now_ns() < deadline) {
    }
}

// Waits ms milliseconds unless a stop signal comes first.
void idle(int ms) {
    pollfd pfd{stop_pipe[0], POLLIN, 0};
    ::poll(&pfd, 1, ms);
}

enum class Sent { ok, stopped, failed };

// Writes one byte, waiting while the line cannot take it. A byte that nobody can
// receive (the far side is gone) is lost, as on a real line.
Sent send_byte(int fd, std::uint8_t byte) {
    while (!stop_flag) {
        const auto n = ::write(fd, &byte, 1);
        if (n == 1 || (n < 0 && errno == EIO)) return Sent::ok;
        if (n < 0 && errno != EAGAIN && errno != EINTR) return Sent::failed;
        pollfd fds[2] = {{fd, POLLOUT, 0}, {stop_pipe[0], POLLIN, 0}};
        ::poll(fds, 2, idle_retry_ms);
    }
    return Sent::stopped;
}

}  // namespace

SerialLine::~SerialLine() {
    if (fd_ >= 0) ::close(fd_);
}

bool SerialLine::open_pty(std::string& path, std::string& error) {
    fd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (fd_ < 0) {
        error = system_fault("cannot open a pseudo-terminal");
        return false;
    }
    char name[256] = {};
    if (::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0 || ::ptsname_r(fd_, name, sizeof name) != 0) {
        error = system_fault("cannot set up the pseudo-terminal");
        return false;
    }
    // The line settings stay with the pair while this side is open, so raw mode
    // set once holds for every later opener.
    const int terminal = ::open(name, O_RDWR | O_NOCTTY);
    const bool raw = terminal >= 0 && make_raw(terminal);
    if (terminal >= 0) ::close(terminal);
    if (!raw || !set_nonblocking(fd_)) {
        error = system_fault(std::string("cannot prepare ") + name);
        return false;
    }
    path = name;
    terminal_ = name;
    return true;
}

void SerialLine::drop_unread() const {
    if (terminal_.empty()) return;
    const int terminal = ::open(terminal_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (terminal < 0) return;  // taken again already: its bytes are its own
    ::tcflush(terminal, TCIFLUSH);
    ::close(terminal);
}

bool SerialLine::open_port(const std::string& path, std::int64_t baud, std::string& error) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        error = system_fault("cannot open " + path);
        return false;
    }
    if (!::isatty(fd_)) return true;
    if (!make_raw(fd_)) {
        error = system_fault("cannot set " + path + " to raw 8N1");
        return false;
    }
    if (!set_line_rate(fd_, baud)) {
        error = system_fault("cannot set " + path + " to " + std::to_string(baud) + " baud");
        return false;
    }
    return true;
}

std::int64_t LineClock::received(std::int64_t arrived) { return pass(rx_free_, arrived); }

std::int64_t LineClock::sent(std::int64_t ready) { return pass(tx_free_, ready); }

std::int64_t LineClock::pass(std::int64_t& line_free, std::int64_t ready) const {
    line_free = std::max(line_free, ready) + byte_ns_;
    return line_free;
}

bool catch_stop_signals() {
    if (::pipe(stop_pipe) != 0) return false;
    for (int fd : stop_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        set_nonblocking(fd);
    }
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a sleeping call returns and sees the flag
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

namespace {

// One serving run: the line's two directions keep their own byte clocks.
class Server {
public:
    Server(SerialLine& line, WireProtocol& protocol, const Pacing& pacing,
           const std::function<void()>& on_idle)
        : line_(line), protocol_(protocol), pacing_(pacing), on_idle_(on_idle), clock_(pacing.baud),
          paced_(pacing.baud > 0 || pacing.reply_delay_ms > 0) {}

    std::string run() {
        std::uint8_t buffer[256];
        bool unread_replies = false;  // replies sent since the far side was last seen gone
        while (!stop_flag) {
            pollfd fds[2] = {{line_.fd(), POLLIN, 0}, {stop_pipe[0], POLLIN, 0}};
            if (on_idle_) on_idle_();
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return system_fault("cannot wait for the line");
            }
            if (fds[0].revents & POLLNVAL) return "the line was closed";
            const auto n = (fds[0].revents & POLLIN) ? ::read(line_.fd(), buffer, sizeof buffer) : 0;
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n < 0 && errno != EIO) return system_fault("cannot read the line");
            if (n <= 0) {
                // Hung up: nobody has the other side open just now.
                if (fds[0].revents & (POLLHUP | POLLERR)) {
                    if (unread_replies) line_.drop_unread();
                    unread_replies = false;
                }
                idle(idle_retry_ms);
                continue;
            }
            unread_replies = true;
            if (!answer(buffer, n, paced_ ? now_ns() : 0)) return system_fault("cannot write the line");
        }
        return "";
    }

private:
    // The bytes of one read, there since arrived. Each is received at the end
    // of its slot on the line, and a reply's first byte is ready when the last
    // byte of its message has been received.
    bool answer(const std::uint8_t* bytes, ssize_t n, std::int64_t arrived) {
        for (ssize_t i = 0; i < n && !stop_flag; ++i) {
            const std::int64_t received = clock_.received(arrived);
            const auto reply = protocol_.feed(bytes[i]);
            if (reply.empty()) continue;
            const std::int64_t ready = received + pacing_.reply_delay_ms * 1'000'000;
            for (auto byte : reply) {
                if (paced_) wait_until(clock_.sent(ready));
                if (send_byte(line_.fd(), byte) == Sent::failed) return false;
            }
        }
        return true;
    }

    SerialLine& line_;
    WireProtocol& protocol_;
    const Pacing pacing_;
    const std::function<void()>& on_idle_;
    LineClock clock_;
    const bool paced_;
};

}  // namespace

std::string serve(SerialLine& line, WireProtocol& protocol, const Pacing& pacing,
                  const std::function<void()>& on_idle) {
    // Wake-ups as close to each byte's deadline as the kernel can make them.
    if (pacing.baud > 0) ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    return Server(line, protocol, pacing, on_idle).run();
}

}  // namespace tessaly::sim
