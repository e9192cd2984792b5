// The file dialogs of the file commands: each file type remembers its last folder in the
// profile (section "TsnFiles", "FxbFiles", "MidiFiles" or "WavFiles", value "Path"), starts in
// it with "<folder>/*.<ext>" (or "*.<ext>" before any was stored), and stores the chosen file's
// folder (the text before its last '/') back when the user confirms.
//
//     auto path = AskForFile(ui, profile, kProjectFiles, FileDialogKind::Save);
//     if (path) Write(*path);
#pragma once

#include "platform/profile.h"
#include "platform/user_interface.h"

#include <optional>
#include <string>

namespace zorvil {

struct FileType {
    const char* section;   // profile section of its last folder
    const char* extension; // without the dot
    const char* filter;
    bool refuseReadOnly; // its save dialog refuses a target the user may not write
};

inline constexpr FileType kProjectFiles{"TsnFiles", "tsn",
                                        "Zorvil Files (.tsn)|*.tsn|All Files|*.*||", true};
inline constexpr FileType kBankFiles{"FxbFiles", "fxb",
                                     "Vst Bank Files (.fxb)|*.fxb|All Files|*.*||", false};
inline constexpr FileType kMidiFiles{"MidiFiles", "mid", "Midi Files (.mid)|*.mid|All Files|*.*||",
                                     true};
inline constexpr FileType kWaveFiles{"WavFiles", "wav", "Wave Files (.wav)|*.wav|All Files|*.*||",
                                     true};

enum class FileDialogKind { Open, Save };

// Shows the dialog; the chosen path, or nothing when the user cancelled. Save dialogs ask before
// replacing a file, and those of projects, MIDI files and wave files refuse read-only targets.
std::optional<std::string> AskForFile(IUserInterface& ui, platform::CProfile& profile,
                                      const FileType& type, FileDialogKind kind);

// The text before the last '/', or "" when there is none.
std::string FolderOf(const std::string& path);

} // namespace zorvil
