// `zorvil-cli render PROJECT.tsn OUT.wav [--realtime] [--settle MS]` and
// `zorvil-cli export-midi PROJECT.tsn OUT.mid`.
//
// render: the project's pattern rendered once into a wave file (see app/project_render.h):
// offline and as fast as the machine allows by default, byte-identical from run to run and from
// machine to machine; with --realtime through the real clock and the devices of the profile.
// --settle MS sets the time the plug-ins get between loading and the first block (default 500,
// 0 for none). export-midi: the pattern as a Standard MIDI File. A target that is the project
// file itself is refused. Relative library paths in a project are looked up next to the project,
// then in the folders of VST_PATH (separated by ':'), then in the plug-in folder of the build
// zorvil-cli belongs to (../plugins from its own folder), and never in the current folder.
//
// On success one line on stdout says what was written; on any problem one line on stderr names
// the file and the problem, the exit status is 1 and no output file is left. Either is printed
// before the plug-ins are unloaded. A wrong command line prints the usage and exits with 2.
#pragma once

namespace zorvil::cli {

int RunRender(int count, char** arguments);
int RunExportMidi(int count, char** arguments);

} // namespace zorvil::cli
