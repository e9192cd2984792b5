// Bank and project files: the exact bytes and the readers' handling of damaged files; then, with
// our real plug-ins on the host, bank save and load, effect records and the file commands.
#include "files/byte_order.h"
#include "files/file_io.h"
#include "files/fx_bank.h"
#include "files/project_file.h"

#include "file_commands_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <limits>
#include <tuple>

namespace zorvil {
namespace {

using Bytes = std::vector<uint8_t>;
using files::FourCC;
using test::PluginPath;
using test::ReadBytes;
constexpr uint32_t kId = 0x5A507262; // the banks' plug-in ID

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

ProjectImage Sample() {
    ProjectImage image{1000, 133, 8, 32, {{0, 100, 90, 1}, {1, 10, 127, 4}, {200, 6, 1, 56}}, {}};
    image.effects = {{"/usr/lib/vst/a.so", 2, {1, 2, 3, 4, 5}}, {"/opt/b.so", 0, {}}};
    return image;
}

TEST(ProjectWriter, HeaderNotesInStepThenKeyOrderEffectRecordsAndPathsThatDoNotFit) {
    ProjectImage sorted;
    sorted.notes = {{1, 10, 1, 1}, {0, 100, 2, 1}, {0, 5, 3, 1}};
    ProjectImage effect;
    effect.effects = {{"/x/y.so", 5, {9, 8, 7}}};
    EXPECT_EQ(SerializeProject(ProjectImage{}), Header(1000, 0, 0));
    EXPECT_EQ(SerializeProject(sorted), Concat({Header(1000, 0, 3), Le32s({0, 5, 3, 1}),
                                                Le32s({0, 100, 2, 1}), Le32s({1, 10, 1, 1})}));
    EXPECT_EQ(SerializeProject(effect),
              Concat({Header(1000, 1, 0), EffectRecord("/x/y.so", 3, 5), Bytes{9, 8, 7}}));
    // Paths that do not fit are refused, not cut.
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

TEST(ProjectReader, DamageIsCaughtAnyVersionIsAcceptedValuesAreClampedAndBadNotesLeftOut) {
    EXPECT_EQ(ParseProject(Bytes{'T', 'S', 'N'}).status, ProjectReadStatus::NotAProject);
    Bytes shortHeader = Header(1000, 0, 0);
    shortHeader.pop_back();
    EXPECT_EQ(ParseProject(shortHeader).status, ProjectReadStatus::Truncated);
    auto read = ParseProject(Header(999, 0, 0, 500, 9, 1));
    EXPECT_EQ(read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(std::tuple(read.image.tempo, read.image.measures, read.image.stepsPerMeasure),
              std::tuple(303, 8, 2));
    read = ParseProject(Header(-5, -3, -7, 10, 0, 64));
    EXPECT_EQ(read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(std::tuple(read.image.tempo, read.image.measures, read.image.stepsPerMeasure),
              std::tuple(30, 1, 32));
    read = ParseProject(Concat({Header(1000, 0, 7), Le32s({10, 60, 100, 3}),
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
    ProjectImage bigger = Sample();
    bigger.effects[1].bank.resize(1000, 7);
    auto cause = platform::FileErrorCause::None;
    ASSERT_TRUE(test::WithFileSizeLimit(100, [&] { cause = WriteProjectFile(path, bigger); }));
    EXPECT_EQ(cause, platform::FileErrorCause::Generic);
    EXPECT_EQ(test::ReadBytes(path), before);
    EXPECT_EQ(dir.Entries().size(), 1u);
}

// Appends big-endian words; four-character tags are words too.
void Put(Bytes& out, std::initializer_list<uint32_t> words) {
    for (uint32_t word : words)
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(word >> shift));
}

// The bank of a plug-in with 2 programs of 3 parameters.
Bytes TwoByThreeImage() {
    CFxBank bank;
    EXPECT_TRUE(bank.CreateParamBank(2, 3));
    bank.GetProgram(0).SetName("First");
    bank.GetProgram(1).SetName("Second");
    for (int32_t i = 0; i < 2; ++i)
        for (int32_t j = 0; j < 3; ++j)
            bank.GetProgram(i).SetParam(j, 0.25f * static_cast<float>(i + j));
    bank.SetIdentity(static_cast<int32_t>(kId), 7);
    EXPECT_TRUE(bank.SaveToFile(kBankMemoryName));
    return {bank.GetMemoryImage().begin(), bank.GetMemoryImage().end()};
}

Bytes ChunkImage(const Bytes& chunk) {
    CFxBank bank;
    EXPECT_TRUE(bank.CreateChunkBank(chunk.size()));
    std::memcpy(bank.ChunkData().data(), chunk.data(), chunk.size());
    bank.SetIdentity(static_cast<int32_t>(kId), 1);
    EXPECT_TRUE(bank.SaveToFile(kBankMemoryName));
    return {bank.GetMemoryImage().begin(), bank.GetMemoryImage().end()};
}

bool LoadsFromImage(const Bytes& image) {
    CFxBank bank;
    bank.SetMemoryImage(image);
    return bank.LoadFromFile(kBankMemoryName);
}

TEST(FxBankLayout, ParametersAreBigEndianAndChunkBytesAreNeverSwapped) {
    Bytes expected;
    Put(expected, {FourCC("CcnK"), 284, FourCC("FxBk"), 1, kId, 7, 2});
    expected.resize(156);
    for (uint32_t p = 0; p < 2; ++p) {
        Put(expected, {FourCC("CcnK"), 60, FourCC("FxCk"), 1, kId, 7, 3});
        const std::string_view name = p ? "Second" : "First";
        expected.insert(expected.end(), name.begin(), name.end());
        expected.resize(expected.size() + 28 - name.size());
        for (uint32_t j = 0; j < 3; ++j)
            Put(expected, {std::bit_cast<uint32_t>(0.25f * static_cast<float>(p + j))});
    }
    ASSERT_EQ(expected.size(), 292u);
    EXPECT_EQ(TwoByThreeImage(), expected);

    // Chunk bytes are never swapped.
    const Bytes chunk = {'Z', 'P', 'C', '1', 1, 2, 3, 4, 5};
    expected.clear();
    Put(expected, {FourCC("CcnK"), 161, FourCC("FBCh"), 1, kId, 1, 1});
    expected.resize(156);
    Put(expected, {9});
    expected.insert(expected.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(ChunkImage(chunk), expected);
}

TEST(FxBankRefusals, NewerVersionsWrongMagicsAndHugeSizesAreRefused) {
    const struct {
        bool chunk;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {false, 12, 2},                // version
        {false, 0, FourCC("CcnX")},    // the bank's magics
        {false, 156, FourCC("CcnX")},  // the programs' magics
        {true, 156, 0xFFFFFFFF},       // chunk size
        {false, 156 + 24, 0x7FFFFFFF}, // parameter count
        {false, 24, 0x7FFFFFFF},       // program count
    };
    for (const auto& c : cases) {
        Bytes image = c.chunk ? ChunkImage({1, 2, 3}) : TwoByThreeImage();
        files::StoreBigEndian32(image.data() + c.offset, c.value);
        EXPECT_FALSE(LoadsFromImage(image)) << c.offset << " = " << c.value;
    }
    Bytes version0 = TwoByThreeImage(); // files of older writers
    files::StoreBigEndian32(version0.data() + 12, 0);
    EXPECT_TRUE(LoadsFromImage(version0));
    // (Every truncation: the fuzz corpus replay.)
}

using ProjectWithHost = test::FileCommandsFixture;

TEST_F(ProjectWithHost, DamagedEffectRecordsAreSkippedAndTheRestLoads) {
    const std::string full(256, 'x'); // a read path that filled its whole field
    const std::vector<EffectImage> records = {
        {"/no/such/plugin.so", 0, {1, 2, 3}},
        {"", 0, {}},              // a record that names no plug-in
        {"/no/such\n.so", 0, {}}, // a path that would split the message
        {full, 0, {}},
        {PluginPath("zorvil-probe"), 7, {}}, // no bank, a program it does not have
        {PluginPath("zorvil-probe"), 1, {}},
    };
    EXPECT_EQ(effects.Apply(records), (std::vector<int>{0, 1}));
    EXPECT_EQ(host.GetSeqEffect(0)->Dispatch(effGetProgram), 0);
    EXPECT_EQ(host.GetSeqEffect(1)->Dispatch(effGetProgram), 1);
    // Empty bank images are no stored state: no message, the plug-ins keep their own.
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Can't load the plug-in /no/such/plugin.so",
                                                 std::string(kNoPluginNamedMessage),
                                                 "Can't load the plug-in /no/such\\n.so",
                                                 LibraryPathTooLongMessage(full)}));
    EXPECT_FLOAT_EQ(host.GetSeqEffect(1)->GetParameter(0), 0.1f); // "Probe B" as it loaded
}

TEST_F(ProjectWithHost, SavingABankOnAProgramOtherThanTheLastKeepsThatProgram) {
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-synth")), 0);
    CSeqEffect& synth = *host.GetSeqEffect(0);
    ASSERT_GT(synth.GetAEffect()->numPrograms, 2);
    synth.Dispatch(effSetProgram, 0, 1);
    ASSERT_TRUE(store.SaveBank(dir.File("synth.fxb"), BankTargetOf(host, 0)));
    EXPECT_EQ(synth.Dispatch(effGetProgram), 1);
    ASSERT_TRUE(store.SaveBank(kBankMemoryName, BankTargetOf(host, 0)));
    EXPECT_EQ(synth.Dispatch(effGetProgram), 1);
    EXPECT_EQ(effects.Capture().at(0).program, 1);
}

TEST_F(ProjectWithHost, FailedOpensAndWritesShowTheirCauseAndARejectedFileClearsPathAndTitle) {
    pattern.AddNote(5, 60, 100, 1);
    pattern.AddNote(6, 61, 100, 1);
    pattern.SetTempo(90);
    const std::string missing = dir.File("missing.tsn");
    const std::string unwritable = dir.File("no/such/folder.tsn");
    EXPECT_FALSE(Commands().Read(missing));
    EXPECT_FALSE(Commands().Write(unwritable)); // the atomic save keeps the usual message
    EXPECT_EQ(pattern.GetNoteCount(), 2);
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
    EXPECT_EQ(
        Texts(),
        (std::vector<std::string>{
            "Can't open file for read " + missing + ", error = 2 (no such file or folder)\n",
            "Can't open file for write " + unwritable + ", error = 2 (no such file or folder)\n",
            "Can't read this file properly !", "This file is not a valid tsn file !"}));
    // A following Save asks for a name instead of overwriting the rejected file.
    ui.AnswerSaveFile(std::nullopt);
    Commands().OnSave();
    EXPECT_EQ(ui.SaveFileRequests().size(), 1u);
}

// A bare plug-in of 2 programs x 3 parameters that fails the test when the host reaches for a
// program or parameter it does not have (our own plug-ins ignore such calls silently).
int32_t g_program = 0;
float g_values[2][3] = {};
AEffect StrictPlugin() {
    AEffect effect{};
    effect.magic = kEffectMagic;
    effect.dispatcher = [](AEffect*, int32_t opcode, int32_t, intptr_t value, void*,
                           float) -> intptr_t {
        if (opcode == effGetProgram) return g_program;
        if (opcode == effSetProgram) {
            EXPECT_TRUE(value == 0 || value == 1) << "program " << value;
            g_program = value == 1 ? 1 : 0;
        }
        return 0;
    };
    effect.setParameter = [](AEffect*, int32_t index, float value) {
        EXPECT_TRUE(index >= 0 && index < 3) << "parameter " << index;
        if (index >= 0 && index < 3) g_values[g_program][index] = value;
    };
    effect.getParameter = [](AEffect*, int32_t) { return 0.0f; };
    effect.numPrograms = 2;
    effect.numParams = 3;
    effect.uniqueID = static_cast<int32_t>(FourCC("ZPrb"));
    return effect;
}

// A bank of 5 programs of 7 parameters reaches the plug-in of 2 x 3 only where it fits, and
// finite and within 0..1 (a NaN from a bank crashed a well-known reverb on the engine thread).
TEST_F(ProjectWithHost, ABankAppliesWhatFitsFiniteAndWithinZeroToOne) {
    const float inf = std::numeric_limits<float>::infinity();
    CFxBank bigger;
    ASSERT_TRUE(bigger.CreateParamBank(5, 7));
    for (int32_t i = 0; i < 5; ++i)
        for (int32_t j = 0; j < 7; ++j)
            bigger.GetProgram(i).SetParam(j, 0.01f * static_cast<float>(10 * i + j));
    const float odd[2][2] = {{std::numeric_limits<float>::quiet_NaN(), inf}, {-inf, -0.5f}};
    for (int32_t i = 0; i < 2; ++i)
        for (int32_t j = 0; j < 2; ++j)
            bigger.GetProgram(i).SetParam(j, odd[i][j]);
    bigger.GetProgram(0).SetParam(2, 1.5f);
    bigger.SetIdentity(static_cast<int32_t>(FourCC("ZPrb")), 2);
    ASSERT_TRUE(bigger.SaveToFile(kBankMemoryName));
    store.SetStoredImage(bigger.GetMemoryImage());
    AEffect plugin = StrictPlugin();
    std::string bankFile;
    ASSERT_TRUE(store.LoadBank(kBankMemoryName, {&plugin, 0, &bankFile}));
    const float applied[2][3] = {{0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 0.12f}};
    for (int32_t i = 0; i < 2; ++i)
        for (int32_t j = 0; j < 3; ++j)
            EXPECT_FLOAT_EQ(g_values[i][j], applied[i][j]) << i << ", " << j;
    EXPECT_EQ(g_program, 0);
    EXPECT_TRUE(bankFile.empty()); // memory loads keep the bank file name
}

// A plug-in that writes a program name of 1000 characters, far past the 24 it should: the bank
// save hands it a zeroed buffer of at least 1 KiB and keeps the first 27 characters.
bool g_nameBufferZeroed = false;
AEffect LongNamePlugin() {
    AEffect effect = StrictPlugin();
    effect.dispatcher = [](AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr,
                           float) -> intptr_t {
        if (opcode != effGetProgramName) return 0;
        auto* text = static_cast<char*>(ptr);
        g_nameBufferZeroed = std::all_of(text, text + 1024, [](char c) { return c == 0; });
        std::memset(text, 'n', 1000);
        text[1000] = '\0';
        return 0;
    };
    return effect;
}

TEST_F(ProjectWithHost, ProgramNamesAreFetchedIntoAZeroedKibibyteAndCutAt27) {
    AEffect plugin = LongNamePlugin();
    ASSERT_TRUE(store.SaveBank(kBankMemoryName, {&plugin, 0, nullptr}));
    EXPECT_TRUE(g_nameBufferZeroed);
    CFxBank bank;
    bank.SetMemoryImage(store.StoredImage());
    ASSERT_TRUE(bank.LoadFromFile(kBankMemoryName));
    EXPECT_EQ(bank.GetProgram(1).Name(), std::string(27, 'n'));
}

TEST_F(ProjectWithHost, BanksOfAnotherIdOrAnUnhandledChunkChangeNothing) {
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-synth")), 0);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-chunk")), 1);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 2);
    const std::string synthBank = dir.File("synth.fxb");
    ASSERT_TRUE(store.SaveBank(synthBank, BankTargetOf(host, 0)));
    ASSERT_TRUE(store.SaveBank(kBankMemoryName, BankTargetOf(host, 1)));
    std::vector<uint8_t> chunk(store.StoredImage().begin(), store.StoredImage().end());
    std::memcpy(chunk.data() + 16, "ZPrb", 4); // the probe's own ID
    store.SetStoredImage(chunk);
    CSeqEffect& probe = *host.GetSeqEffect(2);
    probe.SetParameter(1, 0.625f);
    EXPECT_FALSE(store.LoadBank(synthBank, BankTargetOf(host, 2)));
    EXPECT_FALSE(store.LoadBank(kBankMemoryName, BankTargetOf(host, 2)));
    EXPECT_FLOAT_EQ(probe.GetParameter(1), 0.625f);
    EXPECT_TRUE(probe.m_strBankFile.empty());
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{
                  "Loaded bank has another ID!",
                  "Loaded bank contains a formatless chunk, but the effect can't handle that!"}));
    EXPECT_EQ(ui.MessageBoxes()[0].caption, "Load Error");
}

} // namespace
} // namespace zorvil
