// A one-shot timer for a time-out that is restarted far more often than it
// runs out (the reply time-out, started again after every received byte).
// A restart only moves the deadline; the system timer is set again only when
// it would run out after the new deadline, and a stop only disarms it.
#pragma once

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

namespace tessaly {

class DeadlineTimer {
public:
    explicit DeadlineTimer(std::function<void()> on_timeout);

    // on_timeout runs once, ms from now, unless started again or stopped first.
    void start(std::int32_t ms);
    void stop();
    bool armed() const { return armed_; }

private:
    using Clock = std::chrono::steady_clock;
    void set_timer(Clock::time_point when);
    void ran_out();

    std::function<void()> on_timeout_;
    QTimer timer_;
    Clock::time_point deadline_;  // when on_timeout is due
    Clock::time_point due_;       // when the system timer runs out, never after deadline_
    bool armed_ = false;
};

}  // namespace tessaly
