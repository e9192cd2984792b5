#include "gui/app/command_table.h"

#include "app/command_ids.h"

namespace zorvil {

namespace {

using namespace command;

// clang-format off
constexpr CommandEntry kCommands[] = {
    // File menu.
    {kNew, "&New", "Create a empty tsn project\nNew tsn project", {"Ctrl+N"}},
    {kOpen, "&Open...", "Open an existing tsn project from file\nOpen tsn project", {"Ctrl+O"}},
    {kSave, "&Save", "Save the tsn project to file\nSave tsn project", {"Ctrl+S"}},
    {kSaveAs, "Save &As...", "Save the tsn project to file with a new name\nSave tsn project as",
     {"Ctrl+A"}},
    {kRenderToWave, "Render To &Wave", "Render the tsn project to wave file\nRender to wave",
     {"Ctrl+W"}},
    {kExportMidi, "Export As &Midi File", "Export the pattern as Midi File\nExport as Midi File",
     {"Ctrl+M"}},
    {kExit, "E&xit", "Quit the application\nExit", {}},
    // Edit menu.
    {kUndo, "&Undo", "Undo the last change of the pattern\nUndo", {"Ctrl+Z"}},
    {kRedo, "&Redo", "Redo the change undone last\nRedo", {"Ctrl+Shift+Z", "Ctrl+Y"}},
    // Sequencer menu and keys.
    {kPlay, "&Play", "Sequencer play\nPlay", {}},
    {kPause, "P&ause", "Sequencer pause\nPause", {}},
    {kGoToStart, "&Go To Start", "Sequencer Go To Start\nGo To Start", {}},
    {kStartStop, "", "Start/Stop sequencer\nStart/Stop", {"Space"}},
    {kGoToStartKey, "", "Go to start\nGo to start", {"Num+0"}},
    // Options, Window, Help.
    {kDevices, "&Devices...", "", {}},
    {kCascade, "&Cascade", "Arrange windows so they overlap\nCascade Windows", {}},
    {kAbout, "&About Zorvil...",
     "Display program information, version number and copyright\nAbout", {}},
    // The effect button bar.
    {kLoadEffect, "", "", {"L"}},
    {kEffectButton1, "", "", {}},
    {kEffectButton1 + 1, "", "", {}},
    {kEffectButton1 + 2, "", "", {}},
    {kEffectButton4, "", "", {}},
    {kNewDocument, "&New", "Create a new document\nNew", {}},
    // Engine and devices.
    {kEngineRun, "&Run", "Starts or stops the VST Engine\nRun", {}},
    {kEngineRestart, "R&estart", "Restart Engine after Failure\nRestart", {}},
    {kAsioPanel, "&Asio Control Panel...", "ASIO Control Panel\nASIO", {}},
    {kMidiDevices, "&MIDI Devices...", "Select the MIDI input and output\nMIDI Devices", {}},
    {kWaveDevices, "&Wave Devices...", "Select the wave input and output and the buffer size\nWave Devices", {}},
    // An effect's commands.
    {kOpenEditor, "&Edit...", "Open Effect Editor\nEditor", {}},
    {kRenamePreset, "&Name", "", {}},
    {kEditParameters, "Edit &Parameters...", "Edit Parameters directly\nParameters", {}},
    {kActivateInfoWindow, "", "Activate Effect Information Window\nInformation", {}},
    {kResizeToEditor, "&Resize", "Resize to effect's specifications\nResize", {}},
    {kCheckSize, "", "Make sure that the window isn't too large\nCheck size", {}},
    {kLoadBank, "&Load...", "Loads an Effect Bank from Disk\nLoad Bank", {}},
    {kSaveBank, "&Save", "Saves Effect Bank to Disk\nSave Bank", {}},
    {kSaveBankAs, "Save &As...", "Saves current Effect Bank to Disk\nSave Bank As", {}},
    {kPrograms, "&Programs", "", {}},
    {kMidiChannels, "&Channels", "Select used MIDI Channel(s)\nMIDI Channels", {}},
    {kCloseDocument, "&Close", "Close the active document\nClose", {}},
};
// clang-format on

} // namespace

std::string_view CommandEntry::StatusPrompt() const noexcept {
    return prompt.substr(0, prompt.find('\n'));
}

std::string_view CommandEntry::ToolTip() const noexcept {
    const size_t lineBreak = prompt.find('\n');
    return lineBreak == std::string_view::npos ? std::string_view() : prompt.substr(lineBreak + 1);
}

std::span<const CommandEntry> CommandTable() noexcept {
    return kCommands;
}

const CommandEntry* FindCommand(uint32_t id) noexcept {
    for (const CommandEntry& entry : kCommands)
        if (entry.id == id) return &entry;
    return nullptr;
}

} // namespace zorvil
