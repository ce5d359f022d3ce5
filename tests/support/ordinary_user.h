// Checks of refusals that root never meets: a folder without write rights, a
// device without read rights. Root ignores permissions, and CI runs as root,
// so there the checks run in a child process that has given up root for the
// user and group 65534 ("nobody"). Its failed checks travel to the parent
// through a pipe and fail the test there; a child that hangs is killed after a
// bounded wait. Run by anyone else, the checks run in the test itself.
//
// The child is a copy of the test program without its other threads and never
// returns to GoogleTest: keep the checks to plain calls and the classes under
// test, with no application object made in the child. A window's checks may
// run the event loop there only from a process with no other thread left at
// the fork (Qt's pooled painting threads let go first, as the main window's
// drill does), since the child would wait for them, or for their locks, for ever.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaly::test {

inline constexpr uid_t ordinary_id = 65534;

namespace ordinary_detail {

inline void write_all(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

inline std::string why(const char* call) { return std::string(call) + ": " + std::strerror(errno); }

// What kept the drop from root from happening, empty when it did.
inline std::string drop_root() {
    if (::setgroups(0, nullptr) != 0) return why("setgroups");
    if (::setgid(ordinary_id) != 0) return why("setgid");
    if (::setuid(ordinary_id) != 0) return why("setuid");
    const bool dropped = ::getuid() == ordinary_id && ::geteuid() == ordinary_id && ::getgid() == ordinary_id &&
                         ::getegid() == ordinary_id && ::getgroups(0, nullptr) == 0;
    if (!dropped || ::setuid(0) == 0) return "root rights remain after setuid";
    return "";
}

// Sends each check that did not pass to the parent, a skip included: a skip
// in the child means the refusal went unseen once again.
class PipeReporter : public ::testing::EmptyTestEventListener {
public:
    explicit PipeReporter(int fd) : fd_(fd) {}
    void OnTestPartResult(const ::testing::TestPartResult& r) override {
        if (r.type() == ::testing::TestPartResult::kSuccess) return;
        failed_ = true;
        const std::string where = r.file_name() ? std::string(r.file_name()) + ":" + std::to_string(r.line_number()) : "";
        write_all(fd_, (r.skipped() ? "skipped at " : "") + where + ": " + r.message() + "\n");
    }
    bool failed() const { return failed_; }

private:
    int fd_;
    bool failed_ = false;
};

[[noreturn]] inline void run_child(int fd, const std::function<void()>& checks) {
    const std::string refused = drop_root();
    if (!refused.empty()) {
        write_all(fd, "cannot leave root: " + refused);
        ::_exit(2);
    }
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());  // the parent tells
    auto* reporter = new PipeReporter(fd);
    listeners.Append(reporter);
    try {
        checks();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "exception: " << e.what();
    } catch (...) {
        ADD_FAILURE() << "exception of unknown type";
    }
    // Never back into GoogleTest, which would go on with the parent's tests,
    // and no exit handlers: they belong to the parent (its application object, its
    // temporary folders).
    ::_exit(reporter->failed() ? 1 : 0);
}

// Reads fd to its end; false when the deadline came first.
inline bool read_to_end(int fd, std::chrono::steady_clock::time_point deadline, std::string& text) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char buf[512];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            text.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            return true;
        }
    }
}

// Reaps pid into status; false when the deadline came first.
inline bool reap_by(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status) {
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return true;
        if (done < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        ::usleep(1000);
    }
}

inline int kill_and_reap(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

inline ::testing::AssertionResult outcome(int status, bool in_time, int timeout_ms, const std::string& text) {
    const std::string as = "as user " + std::to_string(ordinary_id) + ": ";
    if (!in_time) return ::testing::AssertionFailure() << as << "no end within " << timeout_ms << " ms\n" << text;
    if (WIFSIGNALED(status)) return ::testing::AssertionFailure() << as << "killed by signal " << WTERMSIG(status) << "\n" << text;
    if (WEXITSTATUS(status) != 0) return ::testing::AssertionFailure() << as << "\n" << text;
    return ::testing::AssertionSuccess();
}

}  // namespace ordinary_detail

// Runs checks (GoogleTest assertions) as an ordinary user; fails with what
// failed in them: EXPECT_TRUE(as_ordinary_user(checks)), with checks a lambda.
inline ::testing::AssertionResult as_ordinary_user(const std::function<void()>& checks, int timeout_ms = 30000) {
    namespace d = ordinary_detail;
    if (::geteuid() != 0) {
        checks();
        return ::testing::AssertionSuccess();
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return ::testing::AssertionFailure() << d::why("pipe2");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        d::run_child(fds[1], checks);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return ::testing::AssertionFailure() << d::why("fork");
    }
    std::string text;
    int status = 0;
    const bool in_time = d::read_to_end(fds[0], deadline, text) && d::reap_by(pid, deadline, status);
    ::close(fds[0]);
    if (!in_time) status = d::kill_and_reap(pid);
    return d::outcome(status, in_time, timeout_ms, text);
}

// Gives path, and for a folder all it holds, to the user that as_ordinary_user
// runs its checks as, so that their permission bits are what the checks meet.
// Needed only as root.
inline ::testing::AssertionResult hand_to_ordinary_user(const std::string& path) {
    if (::geteuid() != 0) return ::testing::AssertionSuccess();
    if (::chown(path.c_str(), ordinary_id, ordinary_id) != 0)
        return ::testing::AssertionFailure() << path << ": " << ordinary_detail::why("chown");
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, ec))) return ::testing::AssertionSuccess();
    for (std::filesystem::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string inside = it->path().string();
        if (::lchown(inside.c_str(), ordinary_id, ordinary_id) != 0)
            return ::testing::AssertionFailure() << inside << ": " << ordinary_detail::why("lchown");
    }
    if (ec) return ::testing::AssertionFailure() << path << ": " << ec.message();
    return ::testing::AssertionSuccess();
}

}  // namespace tessaly::test
