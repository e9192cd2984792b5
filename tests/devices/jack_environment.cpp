// Every run of the device tests has a JACK server of its own (see support/jack_server.h).
#include "support/jack_server.h"

[[maybe_unused]] static testing::Environment* const kJackServer =
    testing::AddGlobalTestEnvironment(new zorvil::test::JackServerEnvironment);

#if defined(__SANITIZE_THREAD__)
// JACK hands port buffers between the two clients of this process (Zorvil's and the tests') with
// futexes in shared memory, which ThreadSanitizer cannot see (and libjack has no frame pointers,
// so its MIDI functions may end the stack). Nothing else is excused.
extern "C" const char* __tsan_default_suppressions() {
    return "race:zorvil::test::JackTestClient::RunCycle\n"
           "race:jack_midi_event_write\n"
           "race:jack_midi_event_get\n";
}
#endif
