// ThreadSanitizer's suppressions for test executables that run a JACK client of the tests' own
// beside Zorvil's in one process. Include in exactly one .cpp of such an executable.
//
// JACK hands port buffers between the two clients with futexes in shared memory, which
// ThreadSanitizer cannot see (and libjack has no frame pointers, so its MIDI functions may end
// the stack). Nothing else is excused.
#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:zorvil::test::JackTestClient::RunCycle\n"
           "race:jack_midi_event_write\n"
           "race:jack_midi_event_get\n";
}
#endif
