// The program's X error handler: it logs an X protocol error and lets the program go on.
//
// Plug-in editors open their own Xlib connections, and their requests can fail: a BadWindow
// while an editor closes (its window went with our embedding widget) is common. Xlib's default
// handler prints the error and ends the process, taking the music with it. This handler writes
// one line to standard error ("zorvil: X error BadWindow (invalid Window parameter), request
// 4.0, resource 0x...") and returns, so the plug-in's request simply failed.
//
//     QApplication qt(argc, argv);
//     zorvil::InstallXErrorLog();   // after Qt connected, before any editor opens
//
// Xlib keeps one handler per process, for every connection. Qt's X11 platform installs its own
// (silent) handler while it connects, so this one goes in after the QApplication exists.
//
// Threads: Xlib calls the handler on the thread whose connection received the error (a plug-in's
// editor may run a thread of its own); the handler touches only an atomic count and stderr.
#pragma once

#include <cstdint>

namespace zorvil {

// Makes the logging handler Xlib's error handler.
void InstallXErrorLog() noexcept;

// How many X errors the handler logged since the program started.
uint64_t LoggedXErrors() noexcept;

} // namespace zorvil
