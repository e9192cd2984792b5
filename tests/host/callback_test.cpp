// The answers the host gives to plug-ins' calls, before and after they hold a slot, and the
// file selector they open through it.
#include "host/seq_host.h"
#include "midi/midi_output_sink.h"
#include "probe_access.h"
#include "support/scripted_user_interface.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ProbeAccess;

// Observers that record what reached them.
class RecordingMidiSink : public IMidiOutputSink {
public:
    void SendMidiMessage(const CMidiMessage& message) noexcept override {
        messages.emplace_back(message.Data(), message.Data() + message.Length());
    }
    std::vector<std::vector<uint8_t>> messages;
};

intptr_t Call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr) {
    return CEffectHost::AudioMasterCallback(nullptr, opcode, index, value, ptr, 0.0f);
}

TEST(Callback, AnswersToAPlugInWithoutASlot) {
    CSeqHost host;
    // (What a plug-in hears while it loads, before it holds a slot, is the loader's test.)
    const std::pair<int32_t, intptr_t> cases[] = {
        {audioMasterGetTime, reinterpret_cast<intptr_t>(&host.TimeInfo())},
        {audioMasterGetVendorString, 0}, // no buffer: refused, no crash
        {0x7FFFFFFF, 0}};
    for (const auto& [opcode, answer] : cases)
        EXPECT_EQ(Call(opcode, 1, 1), answer) << "opcode " << opcode;
    char text[kVstStringBufferSize] = {};
    EXPECT_EQ(Call(audioMasterGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Ostrelworks");
    EXPECT_EQ(Call(audioMasterGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Zorvil");
}

// The probe in slot 0.
class ProbeCallback : public ::testing::Test {
protected:
    CSeqHost host;
    const int slot = host.LoadPlugin(PluginPath("zorvil-probe"));
    ProbeAccess probe{"zorvil-probe"};
    CSeqEffect& effect = *host.GetSeqEffect(0);
};

TEST_F(ProbeCallback, AnswersToAPlugInInItsSlot) {
    ASSERT_TRUE(probe.Valid());
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out0")), 1);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out1")), 2);
    ASSERT_TRUE(host.RemoveEffect(1));
    EXPECT_EQ(probe.CallHost(effect, audioMasterCurrentId), 0);
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetPreviousPlug), 0); // lowest present slot
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetNextPlug), 2);     // skips the empty one
    EXPECT_EQ(ProbeAccess("zorvil-probe-out1").CallHost(*host.GetEffect(2), audioMasterGetNextPlug),
              -1);
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetDirectory),
              reinterpret_cast<intptr_t>(effect.GetDirectory()));

    // The real rate and block size (1 made DPF plug-ins fail), also sent to the asking effect.
    probe.Clear(effect);
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetSampleRate), 44100);
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetBlockSize), 1024);
    EXPECT_EQ(probe.Log(effect), "dispatch 10 0 0 44100\nhost 16 0 0 -> 44100\n"
                                 "dispatch 11 0 1024 0\nhost 17 0 0 -> 1024\n");
    // Changes reach every effect once, and the time record plug-ins hold on to.
    probe.Clear(effect);
    host.SetSampleRate(44100.0f); // unchanged: nothing sent
    host.SetBlockSize(1024);
    EXPECT_EQ(probe.Log(effect), "");
    host.SetSampleRate(48000.0f);
    host.SetBlockSize(512);
    EXPECT_EQ(probe.Log(effect), "dispatch 10 0 0 48000\ndispatch 11 0 512 0\n");
    EXPECT_EQ(host.TimeInfo().sampleRate, 48000.0);
    EXPECT_EQ(Call(audioMasterGetSampleRate), 48000);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out0")), 1); // a later one: current values
    EXPECT_NE(ProbeAccess("zorvil-probe-out0")
                  .Log(*host.GetEffect(1))
                  .find("dispatch 10 0 0 48000\ndispatch 11 0 512 0\n"),
              std::string::npos);
}

// Which effects the idle calls reach is the main frame's test; here the plug-in's requests.
TEST_F(ProbeCallback, IdleRequestsAreAnswered) {
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out1")), 1);
    ProbeAccess other("zorvil-probe-out1");
    CEffect& second = *host.GetEffect(1);
    EXPECT_EQ(probe.CallHost(effect, audioMasterNeedIdle), 1);
    probe.Clear(effect);
    other.Clear(second);
    host.IdleAll();
    EXPECT_EQ(probe.Log(effect), "dispatch 53 0 0 0\n");
    EXPECT_EQ(other.Log(second), "");

    // audioMasterIdle: editor idle for every open editor, nothing else.
    probe.Clear(effect);
    effect.m_bEditorOpen = true;
    EXPECT_EQ(probe.CallHost(effect, audioMasterIdle), 0);
    EXPECT_EQ(probe.Log(effect), "dispatch 19 0 0 0\nhost 3 0 0 -> 0\n");
    EXPECT_EQ(other.Log(second), "");
}

// (The window requests' way to the frames is the window events' test.)
TEST_F(ProbeCallback, TheChunkFileIsTheEffectsBankFileWhenItFitsTheSmallestBuffer) {
    char text[kVstStringBufferSize] = "x";
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetChunkFile, 0, 0, text), 0);
    EXPECT_STREQ(text, "x");
    effect.m_strBankFile = "/home/user/banks/pad.fxb";
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetChunkFile, 0, 0, text), 1);
    EXPECT_STREQ(text, "/home/user/banks/pad.fxb");
    // The plug-in's buffer has no size we know: a path longer than the smallest buffer plug-ins
    // pass is not handed over, not cut.
    std::memset(text, '#', sizeof text);
    effect.m_strBankFile = "/" + std::string(kVstPathBufferSize - 1, 'b');
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetChunkFile, 0, 0, text), 0);
    EXPECT_EQ(text[0], '#');
    effect.m_strBankFile.pop_back(); // 259 bytes and the terminator fit
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetChunkFile, 0, 0, text), 1);
    EXPECT_EQ(std::string(text), effect.m_strBankFile);
    EXPECT_EQ(text[kVstPathBufferSize], '#');
}

TEST_F(ProbeCallback, PlugInMidiGoesStraightToTheMidiOutput) {
    RecordingMidiSink sink;
    host.SetMidiOutput(&sink);
    VstMidiEvent note{};
    note.type = kVstMidiType;
    std::memcpy(note.midiData, "\x91\x3C\x64", 3);
    char bytes[] = "\xF0\x7E\x7F\x06\x01\xF7"; // borrowed, not copied
    VstMidiSysexEvent sysex{};
    sysex.type = kVstSysExType;
    sysex.dumpBytes = 6;
    sysex.sysexDump = bytes;
    VstEvent other{};
    other.type = 3;
    struct {
        int32_t numEvents;
        intptr_t reserved;
        VstEvent* events[4];
    } list{
        4,
        0,
        {&other, reinterpret_cast<VstEvent*>(&note), nullptr, reinterpret_cast<VstEvent*>(&sysex)}};
    EXPECT_EQ(probe.CallHost(effect, audioMasterProcessEvents, 0, 0, &list), 0);
    EXPECT_EQ(sink.messages, (std::vector<std::vector<uint8_t>>{
                                 {0x91, 0x3C, 0x64}, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}}));
    host.SetMidiOutput(nullptr); // nowhere to go: dropped
    EXPECT_EQ(probe.CallHost(effect, audioMasterProcessEvents, 0, 0, &list), 0);
}

// The file selector plug-ins open through the host, answered by the user interface.
class FileSelector : public ::testing::Test {
protected:
    FileSelector() { host.SetUserInterface(&ui); }

    intptr_t Open() { return Call(audioMasterOpenFileSelector, 0, 0, &select); }
    intptr_t Close() { return Call(audioMasterCloseFileSelector, 0, 0, &select); }

    CSeqHost host;
    test::ScriptedUserInterface ui;
    VstFileSelect select{};
};

TEST_F(FileSelector, EachCommandUsesItsDialogAndOnlyAPathThatFitsWholeIsHandedOver) {
    VstFileType types[2] = {};
    std::strcpy(types[0].name, "Text");
    std::strcpy(types[0].dosType, "txt");
    std::strcpy(types[1].name, "Wave");
    std::strcpy(types[1].dosType, "wav");
    char initial[] = "/home/user/samples/*.wav";
    select.command = kVstFileLoad;
    select.nbFileTypes = 2;
    select.fileTypes = types;
    std::strcpy(select.title, "Load Sample");
    select.initialPath = initial;
    select.reserved = 77; // whatever the plug-in left there
    ui.AnswerOpenFile("/home/user/samples/kick.wav");
    EXPECT_EQ(Open(), 1);
    ASSERT_EQ(ui.OpenFileRequests().size(), 1u);
    const FileDialogRequest request = ui.OpenFileRequests()[0];
    EXPECT_EQ(request.filter, "Text (*.txt)|*.txt|Wave (*.wav)|*.wav||");
    EXPECT_EQ(request.title, "Load Sample");
    EXPECT_EQ(request.initialPath, initial);
    EXPECT_TRUE(request.overwritePrompt);
    EXPECT_STREQ(select.returnPath, "/home/user/samples/kick.wav");
    EXPECT_EQ(Close(), 0);
    EXPECT_EQ(select.returnPath, nullptr);
    EXPECT_EQ(select.reserved, 0);

    // Fields without a terminator are read only to their end; nothing scripted: cancelled.
    std::memset(types[0].name, 'n', sizeof types[0].name);
    std::memset(types[0].dosType, 'e', sizeof types[0].dosType);
    std::memset(select.title, 't', sizeof select.title);
    select.nbFileTypes = 1;
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(select.returnPath, nullptr);
    const std::string name(128, 'n'), extension(8, 'e');
    EXPECT_EQ(ui.OpenFileRequests().back().filter,
              name + " (*." + extension + ")|*." + extension + "||");
    EXPECT_EQ(ui.OpenFileRequests().back().title, std::string(1024, 't'));

    select.command = kVstDirectorySelect;
    ui.AnswerFolder("/home/user/presets");
    EXPECT_EQ(Open(), 1);
    ASSERT_EQ(ui.FolderRequests().size(), 1u);
    EXPECT_EQ(ui.FolderRequests()[0].initialPath, initial);
    EXPECT_STREQ(select.returnPath, "/home/user/presets");
    Close();

    select.command = kVstMultipleFilesLoad; // other commands answer 0 without asking
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(ui.OpenFileRequests().size(), 2u);
    EXPECT_EQ(Call(audioMasterOpenFileSelector), 0);

    // A plug-in's own buffer gets only a path that fits whole, and is never freed.
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    select.command = kVstFileLoad;
    select.returnPath = buffer;
    select.sizeReturnPath = 8;
    // A cut path would name another file: one that does not fit is not handed over.
    ui.AnswerOpenFile("/a/very/long/path.wav");
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(buffer[0], '#');
    ui.AnswerOpenFile("/a/b.wa"); // 7 bytes and the terminator: exactly the size
    EXPECT_EQ(Open(), 1);
    EXPECT_STREQ(buffer, "/a/b.wa");
    EXPECT_EQ(buffer[8], '#'); // nothing written past the size given
    select.reserved = 1;       // a forged or stale mark
    EXPECT_EQ(Close(), 0);
    EXPECT_EQ(select.returnPath, buffer); // not the host's to free

    select.sizeReturnPath = 0; // a buffer without a size cannot be filled safely
    ui.AnswerOpenFile("/x.wav");
    EXPECT_EQ(Open(), 0);
    EXPECT_STREQ(buffer, "/a/b.wa");
    host.SetUserInterface(nullptr); // nobody to ask: nothing chosen
    select.returnPath = nullptr;
    EXPECT_EQ(Open(), 0);
}

} // namespace
} // namespace zorvil
