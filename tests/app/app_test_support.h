// Shared pieces of the application tests (with the device tests' helpers): an application with
// a profile in a temporary folder, on a manual clock that tests step block by block.
#pragma once

#include "app/zorvil_app.h"
#include "devices/device_test_support.h"
#include "files/file_commands.h"
#include "files/temp_dir.h"
#include "platform/clock_manual.h"
#include "platform/profile.h"
#include "platform/virtual_devices.h"
#include "support/scripted_user_interface.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace zorvil::test {

// An application with a temporary profile on a manual clock.
class AppFixture : public ::testing::Test {
protected:
    AppFixture() : m_profile(m_folder.File("Zorvil.conf")) {}

    CZorvilApp& App() {
        if (!m_app) m_app = std::make_unique<CZorvilApp>(m_clock, m_ui, &m_profile);
        return *m_app;
    }
    void WriteSetting(const char* key, const std::string& value) {
        m_profile.WriteString(platform::settings::kSection, key, value);
    }
    std::string Setting(const char* key) const {
        return m_profile.GetString(platform::settings::kSection, key, "<missing>");
    }
    // Advances the clock tick by tick until `ms` have passed, each block finished before the
    // next tick (the application waits for them).
    void Run(uint64_t ms) {
        App().SetWaitForBlocks(true);
        const uint64_t end = m_elapsed + ms;
        while (auto next = m_clock.UntilNextTick()) {
            if (m_elapsed + *next > end) break;
            m_clock.AdvanceToNextTick();
            m_elapsed += *next;
            App().ProcessPosted();
        }
        m_clock.Advance(end - m_elapsed);
        m_elapsed = end;
    }

    VirtualDevicesOn m_virtual;
    TempDir m_folder;
    platform::CProfile m_profile;
    platform::ManualClock m_clock{1000};
    uint64_t m_elapsed = 0;
    ScriptedUserInterface m_ui;
    std::unique_ptr<CZorvilApp> m_app;
};

// A project of the slow sampler playing a note on every beat of one measure at 120, on the
// given program: 0 makes its sample at once when the host says it works offline, 1 only ever
// in the background (kLoadDelayMs after its state was set).
inline std::string SamplerProject(const TempDir& folder, const std::string& name, int program) {
    platform::ManualClock clock(1000);
    ScriptedUserInterface ui;
    platform::CProfile profile(folder.File("maker.conf"));
    const std::string path = folder.File(name);
    {
        CZorvilApp app(clock, ui, &profile);
        const int slot = app.LoadEffect(PluginPath("zorvil-slow-sampler"));
        EXPECT_GE(slot, 0);
        app.Host().GetSeqEffect(slot)->Dispatch(effSetProgram, 0, program, nullptr, 0.0f);
        app.Pattern().SetMeasures(1);
        app.Pattern().SetStepsPerMeasure(16);
        for (int step = 0; step < 16; step += 4)
            app.Pattern().AddNote(step, 60, 100, 2);
        EXPECT_TRUE(app.FileCommands()->Write(path));
        app.ExitInstance();
    }
    std::filesystem::remove(folder.File("maker.conf"));
    return path;
}

// Writes `image` as the project `name` in `folder` and returns its path.
inline std::string WriteProject(const TempDir& folder, const std::string& name,
                                const ProjectImage& image) {
    const std::string path = folder.File(name);
    EXPECT_EQ(WriteProjectFile(path, image), platform::FileErrorCause::None);
    return path;
}

inline const std::string kImmediateOut =
    std::string("MME: ") + platform::kVirtualWaveOutImmediateName;

} // namespace zorvil::test
