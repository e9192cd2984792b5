// The program's command numbers: every menu item, toolbar button, key and effect button
// carries one. The windows turn them into actions; the application object handles the ones
// that need no window (CZorvilApp::OnCommand) and says when each is enabled or checked
// (CZorvilApp::GetCommandState).
//
//     app.OnCommand(command::kPlay);
//     if (app.GetCommandState(command::kSave).enabled) ...
#pragma once

#include <cstdint>

namespace zorvil::command {

// File menu.
inline constexpr uint32_t kNew = 32798;
inline constexpr uint32_t kOpen = 32799;
inline constexpr uint32_t kSave = 32801;
inline constexpr uint32_t kSaveAs = 32807;
inline constexpr uint32_t kRenderToWave = 32802;
inline constexpr uint32_t kExportMidi = 32811;
inline constexpr uint32_t kExit = 57665;

// Edit menu: undo and redo of pattern edits.
inline constexpr uint32_t kUndo = 57643;
inline constexpr uint32_t kRedo = 57649;

// Sequencer menu and its keys.
inline constexpr uint32_t kPlay = 32805;
inline constexpr uint32_t kPause = 32806;
inline constexpr uint32_t kGoToStart = 32809;
inline constexpr uint32_t kStartStop = 61216;    // Space
inline constexpr uint32_t kGoToStartKey = 61217; // Numeric keypad 0

// Options, Window and Help menus.
inline constexpr uint32_t kDevices = 32810;
inline constexpr uint32_t kCascade = 57650;
inline constexpr uint32_t kAbout = 57664;

// The effect button bar: the load button (also the L key) and the buttons of slots 0 to 3.
inline constexpr uint32_t kLoadEffect = 1042;
inline constexpr uint32_t kEffectButton1 = 1038; // slot n: kEffectButton1 + n
inline constexpr uint32_t kEffectButton4 = 1041;
// Opens a plug-in library without a file filter (no menu offers it).
inline constexpr uint32_t kNewDocument = 57600;

// Engine and devices.
inline constexpr uint32_t kEngineRun = 32789;
inline constexpr uint32_t kEngineRestart = 32792;
inline constexpr uint32_t kAsioPanel = 32793;
inline constexpr uint32_t kMidiDevices = 32777;
inline constexpr uint32_t kWaveDevices = 32778;

// An effect's commands (its information window and editor window handle them).
inline constexpr uint32_t kOpenEditor = 32771;
inline constexpr uint32_t kRenamePreset = 32772;
inline constexpr uint32_t kEditParameters = 32773;
inline constexpr uint32_t kActivateInfoWindow = 32774;
inline constexpr uint32_t kResizeToEditor = 32775;
inline constexpr uint32_t kCheckSize = 32776;
inline constexpr uint32_t kLoadBank = 32782;
inline constexpr uint32_t kSaveBank = 32783;
inline constexpr uint32_t kSaveBankAs = 32784;
inline constexpr uint32_t kPrograms = 32787;
inline constexpr uint32_t kMidiChannels = 32791;
inline constexpr uint32_t kFirstProgram = 33000; // program n: kFirstProgram + n, up to 33999
inline constexpr uint32_t kLastProgram = 33999;
inline constexpr uint32_t kCloseDocument = 57602;

// The status bar's panes.
inline constexpr uint32_t kMidiPane = 61219;
inline constexpr uint32_t kPositionPane = 61218;

} // namespace zorvil::command
