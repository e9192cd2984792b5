// Real-time scheduling for the threads that keep time: the timer threads of the real clock and
// the engine worker. Each asks for SCHED_FIFO at the highest priority the system grants it
// (the maximum, or the ceiling RLIMIT_RTPRIO allows); without that right the thread simply
// keeps its normal priority and works on.
//
//     void Worker() { const bool realtime = RequestRealtimePriority(); ... }
#pragma once

namespace zorvil::platform {

// Raises the calling thread to SCHED_FIFO. True when granted.
bool RequestRealtimePriority() noexcept;

} // namespace zorvil::platform
