// The program's command line: a request to render a project into a wave file.
//
// The arguments are joined by single spaces into one line. An empty line leaves render mode
// off. Any other line switches it on and is read as five fields, left to right: two whole
// numbers (skipped), the wave file, the project file, and everything after the fourth space as
// the tempo. Each of the first four fields is the text up to the next space; when no further
// space is found, that field is empty and the whole remaining text stays for the next field
// (so a line with fewer than four spaces puts all of its remainder into the tempo). Double
// quotes are removed from the two paths; a path cannot contain a space, quoted or not. The
// tempo reads as a decimal number: leading blanks, a sign, digits up to the first other
// character; 0 when there are no digits.
//
//     CommandLine line = ParseCommandLine("0 0 \"/tmp/out.wav\" /tmp/song.tsn 140");
//     // line.renderMode, line.waveFile == "/tmp/out.wav", line.projectFile, line.tempo == 140
//
//     std::string text = JoinArguments(argc - 1, argv + 1);
#pragma once

#include <string>
#include <string_view>

namespace zorvil {

struct CommandLine {
    bool renderMode = false;
    std::string waveFile;
    std::string projectFile;
    int tempo = 0;

    bool operator==(const CommandLine&) const = default;
};

CommandLine ParseCommandLine(std::string_view line);

// The arguments joined by single spaces.
std::string JoinArguments(int count, const char* const* arguments);

// The decimal reading of the tempo field (the C library's atoi, without its overflow):
// values beyond the int range saturate.
int ReadDecimal(std::string_view text) noexcept;

} // namespace zorvil
