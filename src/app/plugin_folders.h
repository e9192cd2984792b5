// Where plug-ins named in a project without a folder (the demo's "zorvil-synth.so") are looked
// for, after the project's own folder: the folders of VST_PATH (separated by ':'), then the
// plug-in folder of the build the running program belongs to (../plugins from its own folder),
// then that of an installed program (../lib/zorvil/plugins, where the demo synth is installed).
// The library loader never searches the working folder, so a bare name needs these.
//
//     app.SetPluginFolders(PluginFolders());
#pragma once

#include <string>
#include <vector>

namespace zorvil {

std::vector<std::string> PluginFolders();

} // namespace zorvil
