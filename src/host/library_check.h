// A look at a plug-in library's file before the dynamic loader maps it.
//
// The dynamic loader refuses most files that are not libraries cleanly, but a 64-bit ELF file
// that was cut short (an interrupted copy or download) is mapped anyway, and the loader dies of
// SIGBUS when it touches the pages past the end of the file. So before dlopen the host checks
// that every segment the loader will map lies inside the file. Anything but a regular file (a
// folder, a FIFO that would block the loader, a device) is refused first.
//
//     if (const std::string problem = CheckLibraryFile(path); !problem.empty())
//         refuse(problem);   // e.g. "the file is truncated (segment 2 ends past its end)"
#pragma once

#include <string>

namespace zorvil {

// Empty when the file may be handed to the dynamic loader; else why not. Files that are not
// 64-bit ELF files pass: the dynamic loader refuses those by itself, safely.
std::string CheckLibraryFile(const std::string& path);

} // namespace zorvil
