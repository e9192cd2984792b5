// `zorvil-cli play PLUGIN.so... [--seconds N] [--wave-out NAME] [--wave-in NAME]
//                  [--midi-in NAME] [--midi-out NAME] [--thru] [--buffer S]`
//
// A headless live rig. It opens the named devices (else those of the profile) the way start-up
// does, starts the engine, loads up to four plug-ins, and lets them be played from the MIDI
// input until N seconds have passed (without --seconds: until stopped) or SIGINT or SIGTERM
// arrives; then it shuts down in the program's order and exits 0. When none of the plug-ins
// loads it exits 1 without playing. A device that stops while it plays (the JACK server went
// away) gets a line on stderr, and another when it is back (see app/device_watch.h).
//
// Device names are those `zorvil-cli devices` lists (wave names with or without "MME: ", without
// the rate in brackets); "* No Wave *" and "* No MIDI *", like an empty name, name no device.
// The options never change the user's profile: the rig runs on a copy of it, in a temporary
// folder, with the options written into the copy. A name that matches no device gets one line
// on stderr and the rig goes on without that device; so does a plug-in that does not load.
// A wrong command line prints the usage and exits with 2.
#pragma once

namespace zorvil::cli {

int RunPlay(int count, char** arguments);

} // namespace zorvil::cli
