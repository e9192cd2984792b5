// The plug-in library commands (the load button and L, and 57600): where the dialog opens, what
// it offers, what the folder rule stores, and the four-effect limit.
#include "app/app_test_support.h"
#include "app/plugin_folders.h"
#include "files/file_dialogs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace zorvil::test {
namespace {

// Sets VST_PATH for one test and puts the old value back.
class VstPath {
public:
    explicit VstPath(const std::string& value) {
        if (const char* old = std::getenv("VST_PATH")) m_old = old;
        ::setenv("VST_PATH", value.c_str(), 1);
    }
    ~VstPath() {
        if (m_old)
            ::setenv("VST_PATH", m_old->c_str(), 1);
        else
            ::unsetenv("VST_PATH");
    }

private:
    std::optional<std::string> m_old;
};

class OpenPluginTest : public AppFixture {};

TEST_F(OpenPluginTest, TheDialogStartsInTheFirstPluginFolderThenInTheLastOneChosen) {
    const VstPath vstPath("/nonexistent/vst:" + m_folder.Path().string());
    EXPECT_EQ(FirstPluginFolder(), m_folder.Path().string());

    struct Case {
        uint32_t command;
        std::optional<std::string> answer;
        std::string initialPath; // before the dialog
        std::string filter;
        std::string extension;
        int loaded; // effects afterwards
    };
    const std::string pluginFolder = FolderOf(PluginPath("zorvil-probe"));
    const std::string filter = "Vst Instrument Files (.so)|*.so|All Files|*.*||";
    const Case cases[] = {
        // Cancelled: nothing loaded, no folder stored.
        {command::kLoadEffect, std::nullopt, m_folder.File("*.so"), filter, "so", 0},
        {command::kLoadEffect, PluginPath("zorvil-probe"), m_folder.File("*.so"), filter, "so", 1},
        // The chosen library's folder is where the next dialog opens; 57600 has no filter.
        {command::kNewDocument, PluginPath("zorvil-probe"), pluginFolder + "/*.so", "", "", 2},
        // A library that is no plug-in: nothing loaded, its folder remembered all the same.
        {command::kLoadEffect, PluginPath("zorvil-broken-magic"), pluginFolder + "/*.so", filter,
         "so", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.initialPath);
        m_ui.Reset();
        m_ui.AnswerOpenFile(c.answer);
        App().OnCommand(c.command);
        ASSERT_EQ(m_ui.OpenFileRequests().size(), 1u);
        const FileDialogRequest request = m_ui.OpenFileRequests()[0];
        EXPECT_EQ(request.initialPath, c.initialPath);
        EXPECT_EQ(request.filter, c.filter);
        EXPECT_EQ(request.defaultExtension, c.extension);
        EXPECT_EQ(App().LoadedEffectCount(), c.loaded);
    }
    EXPECT_EQ(m_profile.GetString("DllFiles", "Path", ""), pluginFolder);
}

} // namespace
} // namespace zorvil::test
