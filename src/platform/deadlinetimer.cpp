#include "platform/deadlinetimer.h"

#include <algorithm>
#include <utility>

namespace tessaly {

DeadlineTimer::DeadlineTimer(std::function<void()> on_timeout)
    : on_timeout_(std::move(on_timeout)) {
    timer_.setSingleShot(true);
    // A coarse timer may run out a little early; the deadline is checked then.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { ran_out(); });
}

void DeadlineTimer::start(std::int32_t ms) {
    deadline_ = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    armed_ = true;
    if (!timer_.isActive() || due_ > deadline_) set_timer(deadline_);
}

void DeadlineTimer::stop() { armed_ = false; }

void DeadlineTimer::set_timer(Clock::time_point when) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now());
    due_ = when;
    timer_.start(static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
}

void DeadlineTimer::ran_out() {
    if (!armed_) return;
    if (Clock::now() < deadline_) {
        set_timer(deadline_);
        return;
    }
    armed_ = false;
    on_timeout_();
}

}  // namespace tessaly
