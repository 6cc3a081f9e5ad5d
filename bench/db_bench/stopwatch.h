// Seconds on the monotonic clock. (<chrono> cannot be compiled with GBK as the
// execution character set: its "µs" has no GBK form.)
#pragma once

#include <time.h>

namespace quillet::bench {

class Stopwatch {
  public:
    Stopwatch() { restart(); }
    void restart() { start_ = now(); }
    double seconds() const { return now() - start_; }

  private:
    static double now() {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
    double start_ = 0;
};

}  // namespace quillet::bench
