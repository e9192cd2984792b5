#include "app/cli/interrupt.h"

#include "platform/temporary_files.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace zorvil::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> g_signal{0}; // the first signal that came, 0 before any
std::atomic<bool> g_takenAsStop{false};
static_assert(std::atomic<int>::is_always_lock_free, "used inside a signal handler");

[[noreturn]] void EndBy(int signal) noexcept {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal); // not reached: the default action of these signals ends the process
}

extern "C" void OnInterrupt(int signal) {
    const int interruptedErrno = errno; // the removals may change it under the interrupted code
    platform::TemporaryPaths::RemoveAllNow();
    int none = 0;
    if (!g_signal.compare_exchange_strong(none, signal)) EndBy(signal); // the second one
    errno = interruptedErrno;
}

} // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    // Other threads (libjack's among them) may take the signal: their calls carry on rather
    // than fail with EINTR.
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

bool Interrupted() noexcept {
    return g_signal.load() != 0;
}

void TakeInterruptAsStop() noexcept {
    if (g_signal.load() != 0) g_takenAsStop.store(true);
}

void EndIfInterrupted() {
    if (const int signal = g_signal.load(); signal != 0 && !g_takenAsStop.load()) {
        platform::TemporaryPaths::RemoveAllNow();
        EndBy(signal);
    }
}

} // namespace zorvil::cli
