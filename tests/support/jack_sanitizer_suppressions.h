// The sanitizers' suppressions for test executables that run a JACK client of the tests' own
// beside Zorvil's in one process. Include in exactly one .cpp of such an executable.
//
// ThreadSanitizer: JACK hands port buffers between the two clients with futexes in shared
// memory, which it cannot see (and libjack has no frame pointers, so its MIDI functions may end
// the stack). LeakSanitizer: libjack keeps its metadata in a Berkeley DB under /dev/shm, and
// libdb leaks what it allocated when another run removed that folder under it. Nothing else is
// excused.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdb-5.3.so\n";
}
#endif

#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:zorvil::test::JackTestClient::RunCycle\n"
           "race:jack_midi_event_write\n"
           "race:jack_midi_event_get\n";
}
#endif
