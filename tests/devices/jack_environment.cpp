// Every run of the device tests has a JACK server of its own (see support/jack_server.h).
#include "support/jack_server.h"

namespace {

[[maybe_unused]] testing::Environment* const kJackServer =
    testing::AddGlobalTestEnvironment(new zorvil::test::JackServerEnvironment);

} // namespace

#if defined(__SANITIZE_THREAD__)
// Zorvil's JACK client and the tests' own client live in this one process. JACK hands port
// buffers from one client to the next through its process graph, synchronised with futexes in
// shared memory inside libjack, which ThreadSanitizer cannot see; the buffers' hand-over
// between the two process callbacks is therefore reported as a race (libjack has no frame
// pointers, so its MIDI functions may end the stack). Nothing else is excused.
extern "C" const char* __tsan_default_suppressions() {
    return "race:zorvil::test::JackTestClient::RunCycle\n"
           "race:jack_midi_event_write\n"
           "race:jack_midi_event_get\n";
}
#endif
