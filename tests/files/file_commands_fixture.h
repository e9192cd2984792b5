// The file commands on a real host: a scripted user interface, a profile in a temporary folder,
// a pattern on a manual clock, and the titles the commands set.
#pragma once

#include "files/file_commands.h"
#include "files/project_effects.h"
#include "files/seq_effect_bank.h"
#include "platform/clock_manual.h"
#include "support/scripted_user_interface.h"
#include "support/test_support.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace zorvil::test {

// What a file dialog was asked with, comparable in one check: Fields({"", initial path, filter,
// extension, overwrite prompt, refuse read-only}).
inline auto Fields(const FileDialogRequest& r) {
    return std::tuple(r.initialPath, r.filter, r.defaultExtension, r.overwritePrompt,
                      r.refuseReadOnly);
}

class FileCommandsFixture : public ::testing::Test {
protected:
    FileCommandsFixture() {
        pattern.SetClockService(&clock);
        hooks.setTitle = [this](const std::string& title) { titles.push_back(title); };
    }
    CFileCommands& Commands() {
        if (!commands) commands.emplace(pattern, host, effects, profile, ui, hooks);
        return *commands;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& message : ui.MessageBoxes())
            texts.push_back(message.text);
        return texts;
    }
    // One parameter of one program of a loaded effect; its current program is left as it was.
    static float ProgramValue(CEffect& effect, int32_t program, int32_t parameter) {
        const auto current = effect.Dispatch(effGetProgram);
        effect.Dispatch(effSetProgram, 0, program);
        const float value = effect.GetParameter(parameter);
        effect.Dispatch(effSetProgram, 0, current);
        return value;
    }

    TempDir dir;
    ScriptedUserInterface ui;
    platform::ManualClock clock;
    CSeqHost host;
    CPattern pattern;
    platform::CProfile profile{dir.File("Zorvil.conf")};
    CProjectEffects effects{host, ui};
    CEffectBankStore store{ui};
    CFileCommands::Hooks hooks;
    std::vector<std::string> titles;
    std::optional<CFileCommands> commands;
};

} // namespace zorvil::test
