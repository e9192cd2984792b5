// The file commands as the windows call them: the dialogs they ask for (filter, extension,
// initial folder from the profile), what they do with the answer, and what they do while the
// sequencer plays.
#include "files/file_commands.h"

#include "platform/clock_manual.h"
#include "support/scripted_user_interface.h"
#include "support/test_support.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zorvil {
namespace {

using test::PluginPath;

class FileCommandsTest : public ::testing::Test {
protected:
    FileCommandsTest() { pattern.SetClockService(&clock); }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& message : ui.MessageBoxes())
            texts.push_back(message.text);
        return texts;
    }

    test::TempDir dir;
    test::ScriptedUserInterface ui;
    platform::ManualClock clock;
    CSeqHost host;
    CPattern pattern;
    platform::CProfile profile{dir.File("Zorvil.conf")};
    CProjectEffects effects{host, ui};
    CFileCommands commands{pattern, host, effects, profile, ui};
};

TEST_F(FileCommandsTest, BankCommandsAskInTheBankFolderAndSaveReusesTheLastBankFile) {
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    CSeqEffect& probe = *host.GetSeqEffect(0);
    const std::string first = dir.File("first.fxb");

    // Save with no bank file yet falls back to Save As.
    ui.AnswerSaveFile(first);
    commands.OnSaveBank(0);
    ASSERT_EQ(ui.SaveFileRequests().size(), 1u);
    const FileDialogRequest saveAs = ui.SaveFileRequests()[0];
    EXPECT_EQ(saveAs.filter, "Vst Bank Files (.fxb)|*.fxb|All Files|*.*||");
    EXPECT_EQ(saveAs.defaultExtension, "fxb");
    EXPECT_EQ(saveAs.initialPath, "*.fxb");
    EXPECT_TRUE(saveAs.overwritePrompt);
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_EQ(probe.m_strBankFile, first);
    EXPECT_EQ(profile.GetString("FxbFiles", "Path", ""), dir.Path().string());

    // Save again: the same file, no dialog.
    probe.SetParameter(0, 0.125f);
    std::filesystem::remove(first);
    commands.OnSaveBank(0);
    EXPECT_EQ(ui.SaveFileRequests().size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(first));

    // Load starts in the stored folder and remembers where the bank came from.
    std::filesystem::create_directories(dir.File("banks"));
    const std::string second = dir.File("banks/second.fxb");
    std::filesystem::copy_file(first, second);
    probe.SetParameter(0, 0.75f);
    ui.AnswerOpenFile(second);
    commands.OnLoadBank(0);
    ASSERT_EQ(ui.OpenFileRequests().size(), 1u);
    const FileDialogRequest load = ui.OpenFileRequests()[0];
    EXPECT_EQ(load.filter, "Vst Bank Files (.fxb)|*.fxb|All Files|*.*||");
    EXPECT_EQ(load.defaultExtension, "fxb");
    EXPECT_EQ(load.initialPath, dir.Path().string() + "/*.fxb");
    EXPECT_FALSE(load.overwritePrompt);
    EXPECT_FLOAT_EQ(probe.GetParameter(0), 0.125f);
    EXPECT_EQ(probe.m_strBankFile, second);
    EXPECT_EQ(profile.GetString("FxbFiles", "Path", ""), dir.File("banks"));

    // Save As always asks; cancelled, nothing is written.
    ui.AnswerSaveFile(std::nullopt);
    commands.OnSaveBankAs(0);
    ASSERT_EQ(ui.SaveFileRequests().size(), 2u);
    EXPECT_EQ(ui.SaveFileRequests()[1].initialPath, dir.File("banks") + "/*.fxb");
    EXPECT_EQ(probe.m_strBankFile, second);
    EXPECT_TRUE(ui.MessageBoxes().empty());

    // Without an effect, Save and Save As do nothing at all.
    commands.OnSaveBank(3);
    commands.OnSaveBankAs(3);
    EXPECT_EQ(ui.SaveFileRequests().size(), 2u);
    EXPECT_TRUE(ui.MessageBoxes().empty());
}

TEST_F(FileCommandsTest, MidiExportAsksInTheMidiFolderAndReportsAFileItCannotWrite) {
    pattern.AddNote(0, 60, 100, 1);
    const std::string path = dir.File("song.mid");
    ui.AnswerSaveFile(path);
    commands.OnExportMidi();
    ASSERT_EQ(ui.SaveFileRequests().size(), 1u);
    const FileDialogRequest request = ui.SaveFileRequests()[0];
    EXPECT_EQ(request.filter, "Midi Files (.mid)|*.mid|All Files|*.*||");
    EXPECT_EQ(request.defaultExtension, "mid");
    EXPECT_EQ(request.initialPath, "*.mid");
    EXPECT_TRUE(request.overwritePrompt);
    EXPECT_EQ(test::ReadBytes(path).size(), 14u + 8u + 21u + 8u);
    EXPECT_EQ(profile.GetString("MidiFiles", "Path", ""), dir.Path().string());

    // The export only reads the pattern: it runs while the pattern plays.
    pattern.Start();
    ASSERT_TRUE(pattern.IsPlaying());
    const std::string missing = dir.File("no/such/folder.mid");
    ui.AnswerSaveFile(missing);
    commands.OnExportMidi();
    EXPECT_EQ(ui.SaveFileRequests()[1].initialPath, dir.Path().string() + "/*.mid");
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(ui.MessageBoxes()[0].text,
              "Can't open file for write " + missing + ", error = 2 (no such file or folder)\n");
    EXPECT_EQ(ui.MessageBoxes()[0].icon, MessageIcon::Error);
    pattern.Stop();
}

TEST_F(FileCommandsTest, ProjectDialogsUseTheProjectFilterAndDoNothingWhilePlaying) {
    const std::string path = dir.File("song.tsn");
    ui.AnswerSaveFile(path);
    commands.OnSaveAs();
    ASSERT_EQ(ui.SaveFileRequests().size(), 1u);
    const FileDialogRequest save = ui.SaveFileRequests()[0];
    EXPECT_EQ(save.filter, "Zorvil Files (.tsn)|*.tsn|All Files|*.*||");
    EXPECT_EQ(save.defaultExtension, "tsn");
    EXPECT_TRUE(save.overwritePrompt);
    ASSERT_TRUE(std::filesystem::exists(path));
    ui.AnswerOpenFile(path);
    commands.OnOpen();
    ASSERT_EQ(ui.OpenFileRequests().size(), 1u);
    const FileDialogRequest open = ui.OpenFileRequests()[0];
    EXPECT_EQ(open.filter, "Zorvil Files (.tsn)|*.tsn|All Files|*.*||");
    EXPECT_EQ(open.defaultExtension, "tsn");
    EXPECT_EQ(open.initialPath, dir.Path().string() + "/*.tsn");
    EXPECT_FALSE(open.overwritePrompt);

    // While the sequencer plays, Save, Save As and Open do nothing: no dialog, no file.
    std::filesystem::remove(path);
    pattern.AddNote(3, 60, 100, 1);
    pattern.Start();
    ASSERT_TRUE(pattern.IsPlaying());
    ui.AnswerSaveFile(dir.File("other.tsn"));
    ui.AnswerOpenFile(path);
    commands.OnSave();
    commands.OnSaveAs();
    commands.OnOpen();
    EXPECT_EQ(ui.SaveFileRequests().size(), 1u);
    EXPECT_EQ(ui.OpenFileRequests().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(dir.File("other.tsn")));
    EXPECT_EQ(pattern.GetNoteCount(), 1);
    EXPECT_TRUE(ui.MessageBoxes().empty());
    pattern.Stop();
}

} // namespace
} // namespace zorvil
