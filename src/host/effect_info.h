// The lines of an effect's information window: what the plug-in in a slot reports about itself
// (path, product, counts, flags, identity, version, category, capabilities, bank file), one
// line each, in the window's order. The window lists them; zorvil-cli info prints them.
//
//     for (const std::string& line : EffectInfoLines(host, slot))
//         std::puts(line.c_str());
//
// It asks the plug-in (product string, program categories, category, 26 capabilities), so it
// runs on the user-interface thread like every other such query.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorvil {

class CEffectHost;

// The lines for the effect in `slot`; empty when the slot holds no effect.
std::vector<std::string> EffectInfoLines(CEffectHost& host, int slot);

// The pieces of the information window's title "0 I: Zorvil Synth Program 3: Pad": the plug-in's
// name (its product string when the plug-in answers the query, even an empty one; else the
// library's file name, extension included), and " Program %d: %s" with the current program's
// number and name. Both empty when the slot holds no effect.
std::string InfoFrameName(CEffectHost& host, int slot);
std::string ProgramTitleSuffix(CEffectHost& host, int slot);

// "'QR S' (51520053H)"-style pieces, exposed for their own tests.
std::string UniqueIdText(int32_t uniqueId);
std::string PlugCategoryName(intptr_t category);

} // namespace zorvil
