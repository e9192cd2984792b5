// Project files: the exact bytes, the reader's handling of damaged files, the effect records
// with our real plug-ins, and the file commands through the scripted user interface.
#include "files/file_commands.h"
#include "files/file_io.h"
#include "files/project_effects.h"
#include "files/project_file.h"

#include "file_test_helpers.h"
#include "support/test_support.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <tuple>

#include <sys/resource.h>

namespace zorvil {
namespace {

using Bytes = std::vector<uint8_t>;
using test::PluginPath;
using test::ReadBytes;

Bytes Le32s(std::initializer_list<int32_t> values, Bytes out = {}) {
    for (int32_t value : values)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
    return out;
}

Bytes Header(int32_t version, int32_t effects, int32_t notes, int32_t tempo = 120,
             int32_t measures = 2, int32_t steps = 16) {
    return Le32s({version, effects, notes, tempo, measures, steps}, {'T', 'S', 'N', 0});
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes EffectRecord(const std::string& path, uint32_t bankSize, int32_t program) {
    Bytes out(256, 0);
    std::memcpy(out.data(), path.data(), std::min<size_t>(path.size(), 256));
    return Le32s({static_cast<int32_t>(bankSize), program}, out);
}

auto HeaderValues(const ProjectImage& image) {
    return std::tuple(image.tempo, image.measures, image.stepsPerMeasure);
}

ProjectImage Sample() {
    ProjectImage image;
    image.tempo = 133;
    image.measures = 8;
    image.stepsPerMeasure = 32;
    image.notes = {{0, 100, 90, 1}, {1, 10, 127, 4}, {200, 60, 1, 56}};
    image.effects = {{"/usr/lib/vst/a.so", 2, {1, 2, 3, 4, 5}}, {"/opt/b.so", 0, {}}};
    return image;
}

TEST(ProjectWriter, HeaderNotesInStepThenKeyOrderEffectRecordsAndTheWayBack) {
    ProjectImage sorted;
    sorted.notes = {{1, 10, 1, 1}, {0, 100, 2, 1}, {0, 5, 3, 1}};
    ProjectImage effect;
    effect.effects = {{"/x/y.so", 5, {9, 8, 7}}};
    EXPECT_EQ(SerializeProject(ProjectImage{})->size(), 28u);
    EXPECT_EQ(SerializeProject(ProjectImage{}), Header(1000, 0, 0));
    EXPECT_EQ(SerializeProject(sorted), Concat({Header(1000, 0, 3), Le32s({0, 5, 3, 1}),
                                                Le32s({0, 100, 2, 1}), Le32s({1, 10, 1, 1})}));
    EXPECT_EQ(SerializeProject(effect),
              Concat({Header(1000, 1, 0), EffectRecord("/x/y.so", 3, 5), Bytes{9, 8, 7}}));
    const auto whole = ParseProject(*SerializeProject(Sample()));
    EXPECT_EQ(whole.status, ProjectReadStatus::Ok);
    EXPECT_EQ(whole.skippedNotes, 0u);
    EXPECT_EQ(whole.image, Sample());
}

TEST(ProjectWriter, PathsThatDoNotFitAreRefusedNotCut) {
    ProjectImage image;
    image.effects = {{std::string(255, 'a'), 0, {}}};
    EXPECT_TRUE(SerializeProject(image));
    image.effects[0].libraryPath = std::string(256, 'a');
    EXPECT_FALSE(SerializeProject(image));
    image.effects[0].libraryPath = std::string("/a\0b.so", 7);
    EXPECT_FALSE(SerializeProject(image));
    image.effects.assign(5, EffectImage{});
    EXPECT_FALSE(SerializeProject(image));
}

TEST(ProjectReader, MagicAndLengthAreCheckedAnyVersionIsAcceptedAndValuesAreClamped) {
    Bytes tsnx = Header(1000, 0, 0);
    tsnx[3] = 'X';
    EXPECT_EQ(ParseProject(tsnx).status, ProjectReadStatus::NotAProject);
    EXPECT_EQ(ParseProject(Bytes{'T', 'S', 'N'}).status, ProjectReadStatus::NotAProject);
    Bytes shortHeader = Header(1000, 0, 0);
    shortHeader.pop_back();
    EXPECT_EQ(ParseProject(shortHeader).status, ProjectReadStatus::Truncated);
    auto read = ParseProject(Header(999, 0, 0, 500, 9, 1));
    EXPECT_EQ(read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(read.image.version, 999);
    EXPECT_EQ(HeaderValues(read.image), std::tuple(303, 8, 2));
    read = ParseProject(Header(-5, -3, -7, 10, 0, 64));
    EXPECT_EQ(read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(HeaderValues(read.image), std::tuple(30, 1, 32));
}

TEST(ProjectReader, BadNotesAreLeftOutAndSizeFieldsBeyondTheDataStopAtItsEnd) {
    auto read = ParseProject(Concat({Header(1000, 0, 7), Le32s({10, 60, 100, 3}),
                                     Le32s({12, 60, 100, 1}),  // overlaps the first note
                                     Le32s({-1, 60, 100, 1}),  // before the grid
                                     Le32s({250, 61, 100, 7}), // beyond step 255
                                     Le32s({0, 2, 200, 1}),    // velocity beyond 127
                                     Le32s({255, 127, 127, 1}), Le32s({13, 60, 5, 1})}));
    EXPECT_EQ(read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(read.skippedNotes, 4u);
    EXPECT_EQ(read.image.notes,
              (std::vector<NoteRecord>{{10, 60, 100, 3}, {255, 127, 127, 1}, {13, 60, 5, 1}}));
    read = ParseProject(Concat({Header(1000, 0, 0x7FFFFFFF), Le32s({1, 2, 3, 4})}));
    EXPECT_EQ(read.status, ProjectReadStatus::Truncated);
    EXPECT_EQ(read.image.notes, (std::vector<NoteRecord>{{1, 2, 3, 4}}));
    // A bank size beyond the data is refused, not allocated; a path without terminator fills
    // its whole field (applying it refuses it as too long).
    read = ParseProject(Concat({Header(1000, 2, 0), EffectRecord(std::string(300, 'p'), 2, 0),
                                Bytes{1, 2}, EffectRecord("/b.so", 0xFFFFFFFF, 0), Bytes{1}}));
    EXPECT_EQ(read.status, ProjectReadStatus::Truncated);
    EXPECT_EQ(read.image.effects, (std::vector<EffectImage>{{std::string(256, 'p'), 0, {1, 2}}}));
}

TEST(ProjectFiles, AFailedSaveKeepsThePreviousFileAndLeavesNoTemporary) {
    test::TempDir dir;
    const std::string path = dir.File("song.tsn");
    ASSERT_EQ(WriteProjectFile(path, Sample()), platform::FileErrorCause::None);
    const Bytes before = test::ReadBytes(path);
    // A write that fails part-way: the file size limit stops it after 100 bytes.
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = previous;
    limited.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    ProjectImage bigger = Sample();
    bigger.effects[1].bank.resize(1000, 7);
    const auto cause = WriteProjectFile(path, bigger);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(cause, platform::FileErrorCause::Generic);
    EXPECT_EQ(test::ReadBytes(path), before);
    EXPECT_EQ(dir.Entries().size(), 1u);
}

class ProjectWithHost : public ::testing::Test {
protected:
    ProjectWithHost() {
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

TEST_F(ProjectWithHost, DamagedEffectRecordsAreSkippedAndTheRestLoads) {
    const std::string full(256, 'x'); // a read path that filled its whole field
    const std::vector<EffectImage> records = {
        {"/no/such/plugin.so", 0, {1, 2, 3}},
        {full, 0, {}},
        {PluginPath("zorvil-probe"), 7, {}}, // no bank, a program it does not have
        {PluginPath("zorvil-probe"), 1, {}},
    };
    EXPECT_EQ(effects.Apply(records), (std::vector<int>{0, 1}));
    EXPECT_EQ(host.GetSeqEffect(0)->Dispatch(effGetProgram), 0);
    EXPECT_EQ(host.GetSeqEffect(1)->Dispatch(effGetProgram), 1);
    EXPECT_EQ(test::MessageTexts(ui),
              (std::vector<std::string>{"Can't load the plug-in /no/such/plugin.so",
                                        LibraryPathTooLongMessage(full), "Bank could not be loaded",
                                        "Bank could not be loaded"}));
}

TEST_F(ProjectWithHost, AProjectWithTheSynthAndAChunkPluginSurvivesSaveAndOpen) {
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-synth")), 0);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 1);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-chunk")), 2);
    ASSERT_TRUE(host.RemoveEffect(1)); // slots 0 and 2: two records
    CSeqEffect& synth = *host.GetSeqEffect(0);
    synth.SetParameter(1, 0.125f); // in program 0: every program is saved
    synth.Dispatch(effSetProgram, 0, 2);
    synth.SetParameter(0, 0.3f);
    synth.SetParameter(1, 0.6f);
    host.GetSeqEffect(2)->Dispatch(effSetProgram, 0, 1);
    host.GetSeqEffect(2)->SetParameter(1, 0.4375f);
    pattern.SetTempo(133);
    pattern.SetMeasures(8);
    pattern.SetStepsPerMeasure(32);
    const std::vector<NoteRecord> notes = {
        {0, 60, 100, 4}, {0, 64, 90, 2}, {37, 48, 1, 1}, {128, 72, 127, 30}, {255, 127, 64, 1}};
    for (const NoteRecord& note : notes)
        ASSERT_TRUE(pattern.AddNote(note.step, note.key, note.velocity, note.length));
    ui.AnswerSaveFile(std::nullopt);
    Commands().OnSave(); // cancelled: no path yet
    EXPECT_TRUE(Commands().GetPath().empty());
    const std::string path = dir.File("song.tsn");
    ui.AnswerSaveFile(path);
    Commands().OnSave();
    EXPECT_EQ(ui.SaveFileRequests()[1].initialPath, "*.tsn");
    EXPECT_EQ(titles.back(), "Zorvil by Ostrelworks - " + path);
    EXPECT_EQ(profile.GetString("TsnFiles", "Path", ""), dir.Path().string());

    pattern.Reset();
    synth.SetParameter(0, 0.9f);
    ui.AnswerOpenFile(path);
    Commands().OnOpen();
    EXPECT_EQ(ui.OpenFileRequests()[0].initialPath, dir.Path().string() + "/*.tsn");
    EXPECT_EQ(NotesOf(pattern), notes);
    EXPECT_EQ(std::tuple(pattern.GetTempo(), pattern.GetMeasures(), pattern.GetStepsPerMeasure()),
              std::tuple(133, 8, 32));
    CSeqEffect& reopened = *host.GetSeqEffect(0);
    EXPECT_EQ(reopened.Dispatch(effGetProgram), 2);
    EXPECT_FLOAT_EQ(test::ProgramValue(reopened, 2, 0), 0.3f);
    EXPECT_FLOAT_EQ(test::ProgramValue(reopened, 2, 1), 0.6f);
    EXPECT_FLOAT_EQ(test::ProgramValue(reopened, 0, 1), 0.125f);
    CSeqEffect& chunkProbe = *host.GetSeqEffect(1);
    EXPECT_EQ(chunkProbe.Dispatch(effGetProgram), 1);
    EXPECT_FLOAT_EQ(test::ProgramValue(chunkProbe, 1, 1), 0.4375f);
    EXPECT_EQ(Commands().GetPath(), path);
    EXPECT_TRUE(ui.MessageBoxes().empty());
    Commands().OnSave(); // no dialog: the current path
    EXPECT_EQ(ui.SaveFileRequests().size(), 2u);
}

TEST_F(ProjectWithHost, FailedOpensAndWritesShowTheirCauseAndARejectedFileClearsPathAndTitle) {
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

TEST_F(ProjectWithHost, ALibraryPathLongerThanItsFieldIsRefusedNotCut) {
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
