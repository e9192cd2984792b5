// The entry of a plug-in library: the function the host finds by name ("main" or
// "VSTPluginMain") and calls with its callback to get an AEffect.
//
// Linux plug-ins export "main", which C++ cannot declare as an ordinary function, so the entry
// function gets the symbol name through an assembler label:
//
//     ZORVIL_PLUGIN_EXPORT AEffect* ZorvilMainEntry(audioMasterCallback host) __asm__("main");
//     AEffect* ZorvilMainEntry(audioMasterCallback host) { return CreatePlugin<Synth>(host); }
//
// Everything else in the library is hidden (CMake sets hidden visibility and a version script
// lists the exported names), so plug-ins never clash with each other's symbols.
#pragma once

#include "common/plugin_base.h"

#include <memory>
#include <new>
#include <utility>

#define ZORVIL_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace zorvil::plugins {

// Creates an instance and hands its record to the host, which owns it until effClose. Answers
// null when the instance cannot be built.
template <typename Plugin, typename... Args>
AEffect* CreatePlugin(audioMasterCallback host, Args&&... args) {
    std::unique_ptr<Plugin> plugin;
    try {
        plugin = std::make_unique<Plugin>(host, std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    plugin->OnCreated();
    return plugin.release()->Effect();
}

} // namespace zorvil::plugins
