// The render state: one word shared, without a lock, by the user-interface thread (which arms a
// render), the sequencer (which sends the start marker), the engine worker (which sees the
// marker in the event list and starts writing) and the output step.
#pragma once

#include <atomic>
#include <cstdint>

namespace zorvil {

enum class RenderState : int32_t {
    Idle = 0,       // no render
    Armed = 1,      // a render was asked for; the sequencer sends the marker at step 0
    MarkerSent = 2, // the marker note (key 0, velocity 1) is queued
    MarkerSeen = 3, // the event list of a sub-block held the marker
    Writing = 4,    // the output step writes blocks to the render file
};

using RenderStateWord = std::atomic<RenderState>;
static_assert(RenderStateWord::is_always_lock_free);

} // namespace zorvil
