// The signals that end a program from outside (SIGTERM from a logout or kill,
// SIGHUP when its terminal closes, SIGINT for Ctrl+C), taken into the event
// loop: the handler only writes the signal's number to a socket pair, and a
// notifier on the thread that made this object reads it and emits received.
// Nothing else runs in the handler. One object at a time; it puts the default
// actions back when it goes.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace tessaly {

class EndSignals : public QObject {
    Q_OBJECT

public:
    explicit EndSignals(QObject* parent = nullptr);
    ~EndSignals() override;

    // Ends the process as the signal would have ended it without a handler.
    [[noreturn]] static void end_by(int signo);

signals:
    void received(int signo);

private:
    void take();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tessaly
