// The project file commands through the scripted user interface, with the real host, pattern
// and profile.
#include "files/file_commands.h"

#include "file_test_helpers.h"
#include "support/test_support.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ReadBytes;

class FileCommandsTest : public ::testing::Test {
protected:
    FileCommandsTest() {
        hooks.setTitle = [this](const std::string& title) { titles.push_back(title); };
    }
    CFileCommands& Commands() {
        if (!commands) commands.emplace(pattern, host, effects, profile, ui, hooks);
        return *commands;
    }

    test::TempDir dir;
    test::ScriptedUserInterface ui;
    CSeqHost host;
    CPattern pattern;
    platform::CProfile profile{dir.File("Zorvil.conf")};
    CProjectEffects effects{host, ui};
    CFileCommands::Hooks hooks;
    std::vector<std::string> titles;
    std::optional<CFileCommands> commands;
};

TEST_F(FileCommandsTest, SaveWithoutAPathAsksForOneAndRemembersTheFolder) {
    ui.AnswerSaveFile(std::nullopt);
    Commands().OnSave();
    ASSERT_EQ(ui.SaveFileRequests().size(), 1u);
    EXPECT_EQ(ui.SaveFileRequests()[0].initialPath, "*.tsn");
    EXPECT_TRUE(Commands().GetPath().empty());
    const std::string path = dir.File("empty.tsn");
    ui.AnswerSaveFile(path);
    Commands().OnSave();
    EXPECT_EQ(ReadBytes(path).size(), 28u);
    EXPECT_EQ(Commands().GetPath(), path);
    EXPECT_EQ(titles.back(), "Zorvil by Ostrelworks - " + path);
    EXPECT_EQ(profile.GetString("TsnFiles", "Path", ""), dir.Path().string());
    pattern.AddNote(3, 60, 127, 2);
    Commands().OnSave(); // no dialog: the current path
    EXPECT_EQ(ui.SaveFileRequests().size(), 2u);
    EXPECT_EQ(ReadBytes(path).size(), 44u);
    ui.AnswerSaveFile(std::nullopt);
    Commands().OnSaveAs();
    EXPECT_EQ(ui.SaveFileRequests().back().initialPath, dir.Path().string() + "/*.tsn");
}

TEST_F(FileCommandsTest, AProjectWithTheSynthSurvivesSaveAndOpen) {
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-synth")), 0);
    CSeqEffect& synth = *host.GetSeqEffect(0);
    synth.SetParameter(1, 0.125f); // in program 0: every program is saved
    synth.Dispatch(effSetProgram, 0, 2);
    synth.SetParameter(0, 0.3f);
    synth.SetParameter(1, 0.6f);
    pattern.SetTempo(133);
    pattern.SetMeasures(8);
    pattern.SetStepsPerMeasure(32);
    const std::vector<NoteRecord> notes = {
        {0, 60, 100, 4}, {0, 64, 90, 2}, {37, 48, 1, 1}, {128, 72, 127, 30}, {255, 127, 64, 1}};
    for (const NoteRecord& note : notes)
        ASSERT_TRUE(pattern.AddNote(note.step, note.key, note.velocity, note.length));
    const std::string path = dir.File("song.tsn");
    ASSERT_TRUE(Commands().Write(path));

    pattern.Reset();
    synth.SetParameter(0, 0.9f);
    ui.AnswerOpenFile(path);
    Commands().OnOpen();
    EXPECT_EQ(NotesOf(pattern), notes);
    EXPECT_EQ(pattern.GetTempo(), 133);
    EXPECT_EQ(pattern.GetMeasures(), 8);
    EXPECT_EQ(pattern.GetStepsPerMeasure(), 32);
    CSeqEffect* reopened = host.GetSeqEffect(0);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->Dispatch(effGetProgram), 2);
    EXPECT_FLOAT_EQ(test::ProgramValue(*reopened, 2, 0), 0.3f);
    EXPECT_FLOAT_EQ(test::ProgramValue(*reopened, 2, 1), 0.6f);
    EXPECT_FLOAT_EQ(test::ProgramValue(*reopened, 0, 1), 0.125f);
    EXPECT_EQ(Commands().GetPath(), path);
    EXPECT_TRUE(ui.MessageBoxes().empty());
    EXPECT_EQ(ui.OpenFileRequests()[0].initialPath, "*.tsn"); // Write itself stores no folder
}

TEST_F(FileCommandsTest, FailedOpensAndWritesShowTheirCauseAndARejectedFileClearsPathAndTitle) {
    pattern.AddNote(5, 60, 100, 1);
    pattern.AddNote(6, 61, 100, 1);
    pattern.SetTempo(90);
    const std::string missing = dir.File("missing.tsn");
    const std::string unwritable = dir.File("no/such/folder.tsn");
    EXPECT_FALSE(Commands().Read(missing));
    EXPECT_FALSE(Commands().Write(unwritable));
    EXPECT_EQ(pattern.GetNoteCount(), 2);
    EXPECT_TRUE(titles.empty());
    const std::string cut = dir.File("cut.tsn");
    const std::string tsnx = dir.File("tsnx.tsn");
    ASSERT_TRUE(Commands().Write(cut));
    auto bytes = ReadBytes(cut);
    bytes.resize(28 + 16 + 8);
    test::WriteBytes(cut, bytes);
    bytes[3] = 'X';
    test::WriteBytes(tsnx, bytes);
    EXPECT_FALSE(Commands().Read(cut)); // what was read whole is kept
    EXPECT_EQ(NotesOf(pattern), (std::vector<NoteRecord>{{5, 60, 100, 1}}));
    EXPECT_EQ(pattern.GetTempo(), 90);
    EXPECT_TRUE(Commands().GetPath().empty());
    ASSERT_TRUE(Commands().Write(dir.File("good.tsn")));
    EXPECT_FALSE(Commands().Read(tsnx));
    EXPECT_EQ(pattern.GetNoteCount(), 0); // New ran
    EXPECT_TRUE(Commands().GetPath().empty());
    EXPECT_EQ(titles.back(), "Zorvil by Ostrelworks");
    EXPECT_EQ(test::MessageTexts(ui),
              (std::vector<std::string>{"Can't open file for read " + missing + ", error = 2\n",
                                        "Can't open file for write " + unwritable + ", error = 2\n",
                                        "Can't read this file properly !",
                                        "This file is not a valid tsn file !"}));
    EXPECT_EQ(ui.MessageBoxes()[0].icon, MessageIcon::Error);
    // A following Save asks for a name instead of overwriting the rejected file.
    ui.AnswerSaveFile(std::nullopt);
    Commands().OnSave();
    EXPECT_EQ(ui.SaveFileRequests().size(), 1u);
}

TEST_F(FileCommandsTest, ALibraryPathLongerThanItsFieldIsRefusedNotCut) {
    std::filesystem::path folder = dir.Path();
    for (int i = 0; i < 6; ++i)
        folder /= std::string(50, static_cast<char>('a' + i));
    std::filesystem::create_directories(folder);
    const auto link = folder / "probe.so";
    std::filesystem::create_symlink(PluginPath("zorvil-probe"), link);
    ASSERT_GE(link.string().size(), 256u);
    ASSERT_EQ(host.LoadPlugin(link.string()), 0);
    const std::string path = dir.File("long.tsn");
    EXPECT_FALSE(Commands().Write(path));
    EXPECT_EQ(test::MessageTexts(ui),
              std::vector<std::string>{LibraryPathTooLongMessage(link.string())});
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
} // namespace zorvil
