#include "platform/deadlinetimer.h"
#include "qtloop.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <vector>

namespace tessaly {
namespace {

using test::spin_for;

// When each time-out ran, in ms from the start, after a script of starts and
// stops: the time-out runs once, at the last start's deadline, unless a stop
// came after that start.
struct Script {
    const char* what;
    std::vector<std::pair<int, int>> starts;  // (at ms, time-out ms); time-out -1: stop
    int expect_ms;                            // -1: never runs
};

TEST(DeadlineTimer, RunsOnceAtTheLastStartsDeadline) {
    test::ensure_app();
    const Script scripts[] = {
        {"one start", {{0, 60}}, 60},
        {"started again later", {{0, 60}, {40, 60}}, 100},
        {"started again shorter", {{0, 300}, {20, 40}}, 60},
        {"stopped", {{0, 60}, {20, -1}}, -1},
        {"stopped, then started", {{0, 60}, {20, -1}, {30, 60}}, 90},
    };
    for (const Script& s : scripts) {
        QElapsedTimer clock;
        std::vector<qint64> ran;
        DeadlineTimer timer([&] { ran.push_back(clock.elapsed()); });
        clock.start();
        for (const auto& [at, ms] : s.starts) {
            spin_for(static_cast<int>(at - clock.elapsed()));
            if (ms < 0) {
                timer.stop();
            } else {
                timer.start(ms);
            }
        }
        spin_for(500 - static_cast<int>(clock.elapsed()));
        if (s.expect_ms < 0) {
            EXPECT_TRUE(ran.empty()) << s.what;
            continue;
        }
        ASSERT_EQ(ran.size(), 1u) << s.what;
        EXPECT_GE(ran[0], s.expect_ms) << s.what;
        EXPECT_LT(ran[0], s.expect_ms + 150) << s.what;  // a loaded machine runs late
        EXPECT_FALSE(timer.armed()) << s.what;
    }
}

}  // namespace
}  // namespace tessaly
