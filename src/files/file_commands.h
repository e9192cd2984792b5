// CFileCommands: the file commands of the main frame and of an effect's information window, as
// core logic the windows call: project Save (32801), Save As (32807) and Open (32799), "Export
// As Midi File", and an effect's bank Load (32782), Save (32783) and Save As (32784).
//
// It keeps the current project path and the window title ("Zorvil by Ostrelworks", then " - "
// and the path once there is one). Messages and dialogs go through IUserInterface, last folders
// through the profile. The project commands do nothing while the commands are disabled (the
// sequencer plays, or a command-line render runs).
//
//     CFileCommands commands(pattern, host, effects, profile, ui, hooks);
//     commands.OnOpen();                         // dialog, then Read(path)
//     commands.Write("/home/me/song.tsn");
//
// Saving writes a temporary file in the target's folder and renames it over the target only
// when everything was written: a failed save keeps the previous file. After Open rejects a file
// (not a project, or damaged), the current path is cleared, so a following Save asks for a name
// instead of overwriting a file that was not read in full.
//
// Threads: the user-interface thread.
#pragma once

#include "files/project_effects.h"
#include "files/project_file.h"
#include "platform/profile.h"
#include "platform/user_interface.h"
#include "sequencer/pattern.h"

#include <functional>
#include <string>
#include <string_view>

namespace zorvil {

inline constexpr std::string_view kAppTitle = "Zorvil by Ostrelworks";

// The project's pattern part as the files see it, and back.
std::vector<NoteRecord> NotesOf(const CPattern& pattern);

class CFileCommands {
public:
    struct Hooks {
        // New project: pattern reset, effects removed, windows closed (default: the pattern's
        // Reset and the host's RemoveAll, with the stored bank images forgotten).
        std::function<void()> newProject;
        // The main window's title changed.
        std::function<void(const std::string&)> setTitle;
        // True while the project commands are disabled (default: the sequencer plays).
        std::function<bool()> commandsDisabled;
        // The pattern's tempo, measures or steps changed (the tempo bar shows them).
        std::function<void()> patternChanged;
    };

    CFileCommands(CPattern& pattern, CSeqHost& host, CProjectEffects& effects,
                  platform::CProfile& profile, IUserInterface& ui, Hooks hooks = {});

    void OnSave();
    void OnSaveAs();
    void OnOpen();
    void OnExportMidi();
    void OnLoadBank(int slot);
    void OnSaveBank(int slot);
    void OnSaveBankAs(int slot);

    // Writes the project to path; false (after its message) when it could not be written.
    bool Write(const std::string& path);
    // Reads the project at path into the program; false when the file was not read in full.
    bool Read(const std::string& path);

    const std::string& GetPath() const noexcept { return m_strPath; }
    // A new project has no path: the title names only the program.
    void ClearPath() { SetPath({}); }
    // Replaces the hooks that are set in `hooks`; the others stay.
    void SetHooks(Hooks hooks);
    std::string GetTitle() const;

    // The whole project as a record: pattern and effects (banks saved to memory).
    ProjectImage Capture();

private:
    void SetPath(std::string path);
    void Message(std::string_view text, MessageIcon icon);
    bool Disabled() const;

    CPattern& m_pattern;
    CSeqHost& m_host;
    CProjectEffects& m_effects;
    platform::CProfile& m_profile;
    IUserInterface& m_ui;
    Hooks m_hooks;
    std::string m_strPath; // the current project path; empty after New
};

} // namespace zorvil
