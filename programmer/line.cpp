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

// One serving run: the line's two directions keep their own byte clocks. A
// delayed unrequested byte waits for its time beside the line: the wait for
// input ends at its deadline, and a reply byte that becomes ready after that
// deadline lets it go first, as a transmitter sends in the order bytes come.
class Server {
public:
    Server(SerialLine& line, WireProtocol& protocol, const Pacing& pacing,
           const std::function<void()>& on_idle)
        : line_(line), protocol_(protocol), pacing_(pacing), on_idle_(on_idle), clock_(pacing.baud),
          paced_(pacing.baud > 0 || pacing.reply_delay_ms > 0) {}

    std::string run() {
        std::uint8_t buffer[256];
        while (!stop_flag) {
            pollfd fds[2] = {{line_.fd(), POLLIN, 0}, {stop_pipe[0], POLLIN, 0}};
            if (on_idle_) on_idle_();
            const int ready = ::poll(fds, 2, stray_wait_ms());
            if (ready < 0) {
                if (errno == EINTR) continue;
                return system_fault("cannot wait for the line");
            }
            if (!send_stray(now_ns())) return system_fault("cannot write the line");
            if (ready == 0) continue;
            if (fds[0].revents & POLLNVAL) return "the line was closed";
            const auto n = (fds[0].revents & POLLIN) ? ::read(line_.fd(), buffer, sizeof buffer) : 0;
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n < 0 && errno != EIO) return system_fault("cannot read the line");
            if (n <= 0) {
                // Hung up: nobody has the other side open just now.
                if (fds[0].revents & (POLLHUP | POLLERR)) {
                    if (unread_replies_) line_.drop_unread();
                    unread_replies_ = false;
                }
                idle(idle_retry_ms);
                continue;
            }
            unread_replies_ = true;
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
                if (!send_stray(paced_ ? ready : now_ns()) || !put(byte, ready)) return false;
            }
            arm_stray();
        }
        return true;
    }

    // Paced, a byte is written at the end of its slot; unpaced, at once.
    bool put(std::uint8_t byte, std::int64_t ready) {
        if (paced_) {
            last_slot_ = clock_.sent(ready);
            wait_until(last_slot_);
        }
        unread_replies_ = true;
        return send_byte(line_.fd(), byte) != Sent::failed;
    }

    // Right after the reply that the delayed byte follows.
    void arm_stray() {
        if (stray_at_ >= 0 || !protocol_.owes_delayed_byte()) return;
        stray_at_ = (paced_ ? last_slot_ : now_ns()) + protocol_.delayed_byte_ms() * 1'000'000;
    }

    // Sends the delayed byte if it is ready by the time given.
    bool send_stray(std::int64_t by) {
        if (stray_at_ < 0 || stray_at_ > by) return true;
        const std::int64_t ready = stray_at_;
        stray_at_ = -1;
        return put(protocol_.take_delayed_byte(), ready);
    }

    // How long the wait for the line may last: until the delayed byte is due.
    int stray_wait_ms() const {
        if (stray_at_ < 0) return -1;
        const std::int64_t left = stray_at_ - now_ns();
        return left <= 0 ? 0 : static_cast<int>((left + 999'999) / 1'000'000);
    }

    SerialLine& line_;
    WireProtocol& protocol_;
    const Pacing pacing_;
    const std::function<void()>& on_idle_;
    LineClock clock_;
    const bool paced_;
    bool unread_replies_ = false;  // replies sent since the far side was last seen gone
    std::int64_t last_slot_ = 0;   // end of the slot of the last byte sent, when paced
    std::int64_t stray_at_ = -1;   // when the delayed byte is ready; -1: none waiting
};

}  // namespace

std::string serve(SerialLine& line, WireProtocol& protocol, const Pacing& pacing,
                  const std::function<void()>& on_idle) {
    // Wake-ups as close to each byte's deadline as the kernel can make them.
    if (pacing.baud > 0) ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    return Server(line, protocol, pacing, on_idle).run();
}

}  // namespace tessaly::sim
