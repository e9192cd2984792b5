// RunWithoutCancellation: the frame every JACK callback of ours runs its work in.
//
// libjack runs process and notification callbacks on threads that it stops with pthread_cancel,
// asynchronously, when a client is deactivated or closed: while the server is alive as well as
// after it went away. An asynchronous cancel may land on any instruction. Landing inside a
// noexcept function, its forced unwind ends in std::terminate ("terminate called without an
// active exception"); landing elsewhere in our code, it can leave a lock held or the heap
// half-updated. So the callback's work runs with cancellation switched off, and the thread's
// previous state comes back only after the work returned, in this function's frame, which may
// unwind: a cancel that arrived meanwhile takes effect there and the thread leaves through
// libjack's own frames. Closing a client therefore waits for a running callback to finish.
//
//     int Callback(jack_nframes_t frames, void* arg) {   // not noexcept: the unwind passes here
//         return RunWithoutCancellation([&]() noexcept { return Work(frames, arg); });
//     }
#pragma once

#include <pthread.h>

#include <type_traits>

namespace zorvil::platform {

// Deliberately not noexcept, and neither may its callers be: a pending cancel unwinds from the
// last pthread_setcancelstate.
template <typename Body>
decltype(auto) RunWithoutCancellation(Body&& body) {
    int previous = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);
    if constexpr (std::is_void_v<std::invoke_result_t<Body>>) {
        body();
        pthread_setcancelstate(previous, nullptr);
    } else {
        auto result = body();
        pthread_setcancelstate(previous, nullptr);
        return result;
    }
}

} // namespace zorvil::platform
