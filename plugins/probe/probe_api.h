// The recording probe's test interface, exported by every zorvil-probe*.so library (and by the
// probe-based broken plug-ins) next to the plug-in entry.
//
// A probe records, per instance and in order, one line per event:
//   dispatch <opcode> <index> <value> <opt>      every dispatcher call (opt printed with %g)
//   events <n>                                   after the dispatch line of effProcessEvents,
//     midi <deltaFrames> <b0> <b1> <b2> <b3>     then one line per event (bytes as 2-digit hex),
//     sysex <deltaFrames> <dumpBytes> <hex>      system exclusive, bytes without spaces,
//     other <type>                               any other event type,
//     null                                       a null pointer in the list;
//   process <frames> / replacing <frames>        every process call;
//   host <opcode> <index> <value> -> <answer>    every host call it made, with the answer.
// During the entry call it asks the host for audioMasterVersion, audioMasterCurrentId and
// audioMasterWantMidi (value 1); in effOpen for audioMasterWantMidi again.
//
// Tests include this header as "probe/probe_api.h" (tests/CMakeLists.txt puts plugins/ on the
// test include path) and look the functions up in the library they loaded:
//
//     void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
//     auto log = reinterpret_cast<ZorvilProbeLogProc>(dlsym(library, kZorvilProbeLogSymbol));
//     EXPECT_THAT(log(effect), HasSubstr("dispatch 0 0 0 0\nhost 6 0 1 -> 1\n"));
//
// The functions accept only records of their own library; anything else gets "" or 0.
#pragma once

#include "host/vst2_interface.h"

#include <cstdint>

extern "C" {
// The probe's log: one line per record since the instance was created or last cleared; the
// pointer stays valid until the next call on this instance. Looked up with dlsym in the plug-in's
// library.
using ZorvilProbeLogProc = const char* (*)(AEffect* effect); // exported "ZorvilProbeLog"
using ZorvilProbeClearProc = void (*)(AEffect* effect);      // exported "ZorvilProbeClear"
// Makes the plug-in call the host now with these arguments; logs and returns the answer.
using ZorvilProbeCallHostProc = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index,
                                             intptr_t value, void* ptr,
                                             float opt); // exported "ZorvilProbeCallHost"
}

inline constexpr const char kZorvilProbeLogSymbol[] = "ZorvilProbeLog";
inline constexpr const char kZorvilProbeClearSymbol[] = "ZorvilProbeClear";
inline constexpr const char kZorvilProbeCallHostSymbol[] = "ZorvilProbeCallHost";

// First bytes of the probe-chunk variant's chunk images.
inline constexpr const char kZorvilProbeChunkMagic[] = "ZPC1";
