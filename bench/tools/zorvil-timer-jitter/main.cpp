// zorvil-timer-jitter: how late the real clock's periodic timer ticks.
//
// Runs one periodic timer of the real clock service for N ticks and prints, in microseconds,
// the mean, 99th percentile and maximum lateness of the ticks against their ideal times
// (start + k x period, the start being the moment the timer was asked for):
//
//     $ zorvil-timer-jitter --period 24 --ticks 200
//     period_ms=24 ticks=200 mean_us=61.2 p99_us=143.0 max_us=171.5
#include "platform/clock_real.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: zorvil-timer-jitter --period MS --ticks N\n");
    return 2;
}

bool ParsePositive(const char* text, unsigned long max, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    return end != text && *end == '\0' && value > 0 && value <= max;
}

} // namespace

int main(int argc, char** argv) {
    unsigned long period = 0;
    unsigned long ticks = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--period") == 0) {
            if (!ParsePositive(argv[i + 1], zorvil::platform::kTimerPeriodMax, period))
                return Usage();
        } else if (std::strcmp(argv[i], "--ticks") == 0) {
            if (!ParsePositive(argv[i + 1], 10000000, ticks)) return Usage();
        } else {
            return Usage();
        }
    }
    if (argc != 5 || period == 0 || ticks == 0) return Usage();

    using zorvil::platform::RealClock;
    RealClock clock;
    std::vector<int64_t> stamps(ticks); // filled by the timer thread, read after it is done
    std::mutex mutex;
    std::condition_variable done;
    size_t count = 0;

    const int64_t start = RealClock::MonotonicNanoseconds();
    const auto id = clock.StartPeriodic(static_cast<uint32_t>(period), 1, [&] {
        const int64_t now = RealClock::MonotonicNanoseconds();
        const std::lock_guard lock(mutex);
        if (count < stamps.size()) {
            stamps[count++] = now;
            if (count == stamps.size()) done.notify_all();
        }
    });
    if (id == zorvil::platform::kNoTimer) {
        std::fprintf(stderr, "zorvil-timer-jitter: the timer could not be started\n");
        return 1;
    }
    {
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return count == stamps.size(); });
    }
    clock.Cancel(id);

    std::vector<double> lateness(ticks);
    double sum = 0;
    for (size_t k = 0; k < ticks; ++k) {
        const int64_t ideal =
            start + static_cast<int64_t>(k + 1) * static_cast<int64_t>(period) * 1000000;
        lateness[k] = static_cast<double>(stamps[k] - ideal) / 1000.0;
        sum += lateness[k];
    }
    std::sort(lateness.begin(), lateness.end());
    const size_t p99 = std::min(ticks - 1, (ticks * 99 + 99) / 100 - 1);
    std::printf("period_ms=%lu ticks=%lu mean_us=%.1f p99_us=%.1f max_us=%.1f\n", period, ticks,
                sum / static_cast<double>(ticks), lateness[p99], lateness.back());
    return 0;
}
