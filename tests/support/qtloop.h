// Event-loop helpers for tests of Qt objects without windows: one application
// object for the whole test program, and waiting on a condition while events run.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace tessaly::test {

inline void ensure_app() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "tessaly-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// Runs events until pred() holds or timeout_ms has passed; the last pred().
template <class Pred>
bool spin_until(Pred pred, int timeout_ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeout_ms) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Runs events until pred() holds or timeout_ms has passed, sleeping in the
// event loop while nothing happens; the last pred(). For conditions that only
// events change (signals, timers, socket notifiers), never a polled file.
template <class Pred>
bool wait_until(Pred pred, int timeout_ms) {
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(timeout_ms);
    while (!pred() && deadline.isActive()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return pred();
}

// Runs events for ms milliseconds, for checks that something does not happen.
inline void spin_for(int ms) {
    spin_until([] { return false; }, ms);
}

}  // namespace tessaly::test
