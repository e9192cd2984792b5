// Every run of the device tests has a JACK server of its own (see support/jack_server.h).
#include "support/jack_server.h"
#include "support/jack_sanitizer_suppressions.h"

[[maybe_unused]] static testing::Environment* const kJackServer =
    testing::AddGlobalTestEnvironment(new zorvil::test::JackServerEnvironment);
