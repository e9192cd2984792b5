// Interrupting zorvil-cli: Ctrl+C (SIGINT), SIGTERM and SIGHUP.
//
// main installs the handlers before any command runs. A signal at once removes every temporary
// file and folder registered with platform::TemporaryPaths (a render's file in the making, the
// play command's copy of the profile), so that nothing is left behind even when the program is
// killed right after, and raises a flag the commands watch: they stop, clean up as usual and
// return. main then ends the program by the same signal with its default action, so that the
// shell sees the usual status for it (130 after Ctrl+C, 143 after SIGTERM). A second signal ends
// the program at once, for a command that does not get to look at the flag (a plug-in that
// hangs). A command whose documented end is a signal (play runs until Ctrl+C) takes the first
// one as that end with TakeInterruptAsStop: it then returns its status as usual.
//
//     InstallInterruptHandlers();
//     const int status = RunCommand(...);   // watches Interrupted()
//     EndIfInterrupted();                   // does not return after a signal
//     return status;
#pragma once

namespace zorvil::cli {

void InstallInterruptHandlers();
bool Interrupted() noexcept;
// The signal that came (if any) ends the command as it should end: EndIfInterrupted returns.
// A signal after this call still ends the program at once.
void TakeInterruptAsStop() noexcept;
// After a signal: ends the program by it. Otherwise returns.
void EndIfInterrupted();

} // namespace zorvil::cli
