#include "platform/clock_thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>

namespace zorvil::platform {

bool RequestRealtimePriority() noexcept {
    const int maxPriority = sched_get_priority_max(SCHED_FIFO);
    sched_param param{};
    param.sched_priority = maxPriority;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return true;
    // An unprivileged user may hold a lower real-time ceiling.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == 0) return false;
    param.sched_priority =
        static_cast<int>(std::min<rlim_t>(limit.rlim_cur, static_cast<rlim_t>(maxPriority)));
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

} // namespace zorvil::platform
