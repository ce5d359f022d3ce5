#include "platform/endsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <iterator>

#include <sys/socket.h>
#include <unistd.h>

namespace tessaly {
namespace {

constexpr int end_signals[] = {SIGTERM, SIGHUP, SIGINT};

// [0] is written by the handler, [1] read by the notifier.
int pair_fds[2] = {-1, -1};
// A signal ignored when the program started (nohup) stays ignored.
bool ignored[std::size(end_signals)] = {};

extern "C" void on_end_signal(int signo) {
    const int saved = errno;
    const char number = static_cast<char>(signo);
    // A full socket already holds a signal the loop has yet to take.
    (void)!::write(pair_fds[0], &number, 1);
    errno = saved;
}

void set_action(int signo, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signo, &action, nullptr);
}

}  // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent) {
    if (pair_fds[0] >= 0) return;  // another object watches already
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair_fds) != 0) {
        pair_fds[0] = pair_fds[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(pair_fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &EndSignals::take);
    for (std::size_t k = 0; k < std::size(end_signals); ++k) {
        struct sigaction before {};
        ::sigaction(end_signals[k], nullptr, &before);
        ignored[k] = before.sa_handler == SIG_IGN;
        if (!ignored[k]) set_action(end_signals[k], on_end_signal);
    }
}

EndSignals::~EndSignals() {
    if (notifier_ == nullptr) return;
    for (std::size_t k = 0; k < std::size(end_signals); ++k) {
        if (!ignored[k]) set_action(end_signals[k], SIG_DFL);
    }
    delete notifier_;
    ::close(pair_fds[0]);
    ::close(pair_fds[1]);
    pair_fds[0] = pair_fds[1] = -1;
}

void EndSignals::take() {
    char number = 0;
    while (::read(pair_fds[1], &number, 1) == 1) emit received(number);
}

void EndSignals::end_by(int signo) {
    set_action(signo, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signo);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signo);
    std::_Exit(128 + signo);  // should the signal be ignored after all
}

}  // namespace tessaly
