// The processor time the whole test program has used, for checks that
// something waits without spinning.
#pragma once

#include <time.h>

namespace tessaly::test {

inline double process_cpu_seconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace tessaly::test
