// The answers the host gives to plug-ins' calls, before and after they hold a slot.
#include "host/seq_host.h"
#include "host_test_doubles.h"
#include "probe_access.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace zorvil {
namespace {

using test::PluginPath;
using test::ProbeAccess;

intptr_t Call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
              float opt = 0.0f) {
    return CEffectHost::AudioMasterCallback(nullptr, opcode, index, value, ptr, opt);
}

// The answers that do not depend on a slot are in the marker table below.
TEST(Callback, AnswersToAPlugInWithoutASlot) {
    CSeqHost host;
    // Called with index 1 and value 1: a want-MIDI request, a 1 x 1 window, output pin 1.
    const std::pair<int32_t, intptr_t> cases[] = {
        {audioMasterWantMidi, 0},
        {audioMasterNeedIdle, 0},
        {audioMasterSizeWindow, 0},
        {audioMasterGetTime, reinterpret_cast<intptr_t>(&host.TimeInfo())},
        {audioMasterGetParameterQuantization, 0x40000000},
        {audioMasterPinConnected, 0},
        {audioMasterGetDirectory, 0},
        {audioMasterGetChunkFile, 0},
        {audioMasterGetLanguage, 0},
        {audioMasterGetVendorString, 0}, // no buffer: refused, no crash
        {36, 0},
        {100, 0},
        {-1, 0},
        {0x7FFFFFFF, 0}};
    for (const auto& [opcode, answer] : cases)
        EXPECT_EQ(Call(opcode, 1, 1), answer) << "opcode " << opcode;
    EXPECT_EQ(Call(audioMasterPinConnected, 0, 0), 0); // input 0: connected

    char text[kVstStringBufferSize] = {};
    EXPECT_EQ(Call(audioMasterGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Ostrelworks");
    EXPECT_EQ(Call(audioMasterGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Zorvil");
}

TEST(Callback, AnswersToAPlugInInItsSlot) {
    CSeqHost host;
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out0")), 0);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 1);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out1")), 2);
    ASSERT_TRUE(host.RemoveEffect(0));
    ProbeAccess probe("zorvil-probe");
    ASSERT_TRUE(probe.Valid());
    CEffect& effect = *host.GetEffect(1);

    EXPECT_EQ(probe.CallHost(effect, audioMasterCurrentId), 1);
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetPreviousPlug), 1); // lowest present slot
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetNextPlug), 2);
    EXPECT_EQ(ProbeAccess("zorvil-probe-out1").CallHost(*host.GetEffect(2), audioMasterGetNextPlug),
              -1);
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetDirectory),
              reinterpret_cast<intptr_t>(effect.GetDirectory()));

    // Want-MIDI and need-idle mark the asking effect.
    effect.m_bWantMidi = false;
    EXPECT_EQ(probe.CallHost(effect, audioMasterWantMidi, 0, 1), 1);
    EXPECT_TRUE(effect.m_bWantMidi.load());
    EXPECT_FALSE(effect.m_bNeedIdle.load());
    EXPECT_EQ(probe.CallHost(effect, audioMasterNeedIdle), 1);
    EXPECT_TRUE(effect.m_bNeedIdle.load());

    // Sample rate and block size queries also send the values to the asking effect.
    probe.Clear(effect);
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetSampleRate), 44100);
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetBlockSize), 1024);
    EXPECT_EQ(probe.Log(effect), "dispatch 10 0 0 44100\n"
                                 "host 16 0 0 -> 44100\n"
                                 "dispatch 11 0 1024 0\n"
                                 "host 17 0 0 -> 1024\n");
}

TEST(Callback, IdleCallsGoWhereTheyWereAskedFor) {
    CSeqHost host;
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out1")), 1);
    ProbeAccess probe("zorvil-probe");
    ProbeAccess other("zorvil-probe-out1");
    CEffect& first = *host.GetEffect(0);
    CEffect& second = *host.GetEffect(1);
    probe.Clear(first);
    other.Clear(second);

    host.IdleAll(); // nobody asked, no editor open
    EXPECT_EQ(probe.Log(first), "");
    EXPECT_EQ(other.Log(second), "");

    first.m_bNeedIdle = true;
    first.m_bEditorOpen = true;
    second.m_bEditorOpen = true;
    host.IdleAll();
    EXPECT_EQ(probe.Log(first), "dispatch 53 0 0 0\ndispatch 19 0 0 0\n");
    EXPECT_EQ(other.Log(second), "dispatch 19 0 0 0\n");

    // audioMasterIdle: editor idle for every open editor, nothing else.
    probe.Clear(first);
    other.Clear(second);
    second.m_bEditorOpen = false;
    EXPECT_EQ(probe.CallHost(first, audioMasterIdle), 0);
    EXPECT_EQ(probe.Log(first), "dispatch 19 0 0 0\nhost 3 0 0 -> 0\n");
    EXPECT_EQ(other.Log(second), "");
}

TEST(Callback, WindowRequestsAndTheChunkFileBelongToTheAskingEffect) {
    CSeqHost host;
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    ProbeAccess probe("zorvil-probe");
    CSeqEffect& effect = *host.GetSeqEffect(0);

    test::RecordingWindow editor;
    test::RecordingWindow parameters;
    // Without windows the requests are answered and go nowhere.
    for (const bool withWindows : {false, true}) {
        effect.m_pEditWnd = withWindows ? &editor : nullptr;
        effect.m_pParamWnd = withWindows ? &parameters : nullptr;
        EXPECT_EQ(probe.CallHost(effect, audioMasterSizeWindow, 640, 480), 1);
        EXPECT_EQ(probe.CallHost(effect, audioMasterUpdateDisplay), 0);
        EXPECT_EQ(probe.CallHost(effect, audioMasterAutomate, 2, 0, nullptr, 0.5f), 0);
    }
    EXPECT_EQ(editor.sizes, (std::vector<std::pair<int, int>>{{640, 480}}));
    EXPECT_EQ(editor.refreshes, 1);
    EXPECT_EQ(parameters.changedParameters, std::vector<int>{2});
    EXPECT_TRUE(parameters.sizes.empty());
    effect.m_pEditWnd = nullptr;
    effect.m_pParamWnd = nullptr;

    // The chunk file is the effect's bank file, once it has one.
    char text[kVstStringBufferSize];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetChunkFile, 0, 0, text), 0);
    EXPECT_EQ(text[0], 'x');
    effect.m_strBankFile = "/home/user/banks/pad.fxb";
    EXPECT_EQ(probe.CallHost(effect, audioMasterGetChunkFile, 0, 0, text), 1);
    EXPECT_STREQ(text, "/home/user/banks/pad.fxb");
}

TEST(Callback, PlugInMidiGoesStraightToTheMidiOutput) {
    CSeqHost host;
    test::RecordingMidiSink sink;
    host.SetMidiOutput(&sink);
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    ProbeAccess probe("zorvil-probe");

    VstMidiEvent note{};
    note.type = kVstMidiType;
    note.byteSize = sizeof note;
    note.midiData[0] = static_cast<char>(0x91);
    note.midiData[1] = 0x3C;
    note.midiData[2] = 0x64;
    char bytes[] = {static_cast<char>(0xF0), 0x7E, 0x7F, 0x06, 0x01, static_cast<char>(0xF7)};
    VstMidiSysexEvent sysex{};
    sysex.type = kVstSysExType;
    sysex.byteSize = sizeof sysex;
    sysex.dumpBytes = sizeof bytes;
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

    EXPECT_EQ(probe.CallHost(*host.GetEffect(0), audioMasterProcessEvents, 0, 0, &list), 0);
    const auto messages = sink.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], (std::vector<uint8_t>{0x91, 0x3C, 0x64}));
    EXPECT_EQ(messages[1], (std::vector<uint8_t>{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));

    host.SetMidiOutput(nullptr); // nowhere to go: dropped
    EXPECT_EQ(probe.CallHost(*host.GetEffect(0), audioMasterProcessEvents, 0, 0, &list), 0);
    EXPECT_EQ(Call(audioMasterProcessEvents), 0); // no list
}

TEST(Capabilities, GeneralHostAndSequencerHost) {
    const char* general[] = {"sendVstMidiEvent", "receiveVstMidiEvent", "sizeWindow"};
    const char* sequencerOnly[] = {"openFileSelector", "closeFileSelector", "supplyIdle"};
    const char* never[] = {"SizeWindow", "sizeWindow ", "", "sendVstEvents", "offline"};
    auto canDo = [](const char* text) {
        return Call(audioMasterCanDo, 0, 0, const_cast<char*>(text));
    };
    for (const bool sequencer : {false, true}) {
        std::unique_ptr<CEffectHost> host =
            sequencer ? std::make_unique<CSeqHost>() : std::make_unique<CEffectHost>();
        for (const char* text : general)
            EXPECT_EQ(canDo(text), 1) << text;
        for (const char* text : sequencerOnly)
            EXPECT_EQ(canDo(text), sequencer ? 1 : 0) << text;
        for (const char* text : never)
            EXPECT_EQ(canDo(text), 0) << text;
        EXPECT_EQ(Call(audioMasterCanDo), 0);
    }
}

TEST(TimeRecord, RateAndBlockSizeChangesReachEveryEffectOnce) {
    CSeqHost host;
    const auto* time = reinterpret_cast<const VstTimeInfo*>(Call(audioMasterGetTime, 0, 0xFFFF));
    ASSERT_EQ(time, &host.TimeInfo());
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe")), 0);
    ProbeAccess probe("zorvil-probe");
    const CEffect& effect = *host.GetEffect(0);
    probe.Clear(effect);
    host.SetSampleRate(44100.0f); // unchanged: nothing sent
    host.SetBlockSize(1024);
    host.SetTempo(140.0); // the tempo is only read by the plug-ins
    EXPECT_EQ(probe.Log(effect), "");
    host.SetSampleRate(48000.0f);
    host.SetBlockSize(512);
    EXPECT_EQ(probe.Log(effect), "dispatch 10 0 0 48000\ndispatch 11 0 512 0\n");
    // The time record plug-ins hold on to changes in place.
    EXPECT_EQ(time->tempo, 140.0);
    EXPECT_EQ(time->sampleRate, 48000.0);
    EXPECT_EQ(time->flags, 1024);
    EXPECT_EQ(Call(audioMasterGetSampleRate), 48000);
    EXPECT_EQ(host.GetBlockSize(), 512);

    // A plug-in loaded later gets the current values.
    ASSERT_EQ(host.LoadPlugin(PluginPath("zorvil-probe-out1")), 1);
    ProbeAccess other("zorvil-probe-out1");
    EXPECT_NE(other.Log(*host.GetEffect(1)).find("dispatch 10 0 0 48000\ndispatch 11 0 512 0\n"),
              std::string::npos);
}

// Each operation answers a marker; what reaches the plug-in shows which answers are passed on
// whole and which only as their low byte.
class MarkerHost : public CSeqHost {
public:
    static constexpr intptr_t kMarker = 0x1234;

    intptr_t OnGetOutputSpeakerArrangement(int, intptr_t, void*) override { return kMarker; }
    intptr_t OnSetOutputSampleRate(int, float) override { return kMarker; }
    intptr_t OnOfflineStart(int, void*, intptr_t, int32_t) override { return kMarker; }
    intptr_t OnOfflineRead(int, void*, intptr_t, bool) override { return kMarker; }
    intptr_t OnOfflineWrite(int, void*, intptr_t) override { return kMarker; }
    intptr_t OnOfflineGetCurrentPass(int) override { return kMarker; }
    intptr_t OnOfflineGetCurrentMetaPass(int) override { return kMarker; }
    intptr_t OnGetAutomationState(int) override { return kMarker; }
    intptr_t OnGetCurrentProcessLevel(int) override { return kMarker; }
    intptr_t OnWillReplaceOrAccumulate(int) override { return kMarker; }
    intptr_t OnGetOutputLatency(int) override { return kMarker; }
    intptr_t OnGetInputLatency(int) override { return kMarker; }
    intptr_t OnTempoAt(int, intptr_t) override { return kMarker; }
    intptr_t OnSizeWindow(int, int, int) override { return kMarker; }
    intptr_t OnNeedIdle(int) override { return kMarker; }
    intptr_t GetHostVersion() override { return kMarker; }
    intptr_t GetVendorVersion() override { return kMarker; }
    intptr_t OnCanDo(const char*) override { return kMarker; }
    intptr_t OnWantMidi(int, intptr_t) override { return kMarker; }
    intptr_t OnIdle(int) override { return kMarker; }
    intptr_t OnInputConnected(int, int32_t) override {
        lastPin = "input";
        return kMarker;
    }
    intptr_t OnOutputConnected(int, int32_t) override {
        lastPin = "output";
        return 0x100; // low byte 0: "connected"
    }
    intptr_t OnSetParameterAutomated(int, int32_t, float) override { return kMarker; }
    intptr_t OnProcessEvents(int, VstEvents*) override { return kMarker; }
    intptr_t OnGetTime(int) override { return kMarker; }
    intptr_t OnSetTime(int, intptr_t, void*) override { return kMarker; }
    intptr_t OnGetNumAutomatableParameters(int) override { return kMarker; }
    intptr_t OnGetParameterQuantization(int) override { return kMarker; }
    intptr_t OnIoChanged(int) override { return kMarker; }
    intptr_t OnVendorSpecific(int, int32_t, intptr_t, void*, float) override { return kMarker; }
    intptr_t OnGetLanguage(int) override { return kMarker; }
    intptr_t OnOpenWindow(int, void*) override { return kMarker; }
    intptr_t OnCloseWindow(int, void*) override { return kMarker; }
    intptr_t OnGetDirectory(int) override { return kMarker; }
    intptr_t OnUpdateDisplay(int) override { return kMarker; }
    intptr_t OnBeginEdit(int, int32_t) override { return kMarker; }
    intptr_t OnEndEdit(int, int32_t) override { return kMarker; }
    intptr_t OnOpenFileSelector(int, VstFileSelect*) override { return kMarker; }
    intptr_t OnCloseFileSelector(int, VstFileSelect*) override { return kMarker; }
    intptr_t OnEditFile(int, void*) override { return kMarker; }
    intptr_t OnGetChunkFile(int, void*) override { return kMarker; }
    intptr_t OnGetInputSpeakerArrangement(int) override { return kMarker; }

    std::string lastPin;
};

TEST(Callback, WholeAnswersLowByteAnswersAndFixedAnswers) {
    MarkerHost host;
    const int32_t wholeAnswers[] = {audioMasterIdle,
                                    audioMasterGetTime,
                                    audioMasterTempoAt,
                                    audioMasterGetNumAutomatableParameters,
                                    audioMasterGetParameterQuantization,
                                    audioMasterGetInputLatency,
                                    audioMasterGetOutputLatency,
                                    audioMasterGetCurrentProcessLevel,
                                    audioMasterGetAutomationState,
                                    audioMasterOfflineGetCurrentPass,
                                    audioMasterOfflineGetCurrentMetaPass,
                                    audioMasterVendorSpecific,
                                    audioMasterGetLanguage,
                                    audioMasterOpenWindow,
                                    audioMasterGetDirectory,
                                    audioMasterGetInputSpeakerArrangement};
    const int32_t lowByteAnswers[] = {audioMasterAutomate,
                                      audioMasterWantMidi,
                                      audioMasterProcessEvents,
                                      audioMasterSetTime,
                                      audioMasterIOChanged,
                                      audioMasterNeedIdle,
                                      audioMasterSizeWindow,
                                      audioMasterWillReplaceOrAccumulate,
                                      audioMasterOfflineStart,
                                      audioMasterOfflineRead,
                                      audioMasterOfflineWrite,
                                      audioMasterGetOutputSpeakerArrangement,
                                      audioMasterCanDo,
                                      audioMasterCloseWindow,
                                      audioMasterUpdateDisplay,
                                      audioMasterBeginEdit,
                                      audioMasterEndEdit,
                                      audioMasterOpenFileSelector,
                                      audioMasterCloseFileSelector,
                                      audioMasterEditFile,
                                      audioMasterGetChunkFile};
    const std::pair<int32_t, intptr_t> fixedAnswers[] = {{audioMasterVersion, 2300},
                                                         {audioMasterCurrentId, -1},
                                                         {audioMasterGetSampleRate, 44100},
                                                         {audioMasterGetBlockSize, 1024},
                                                         {audioMasterGetPreviousPlug, -1},
                                                         {audioMasterGetNextPlug, -1},
                                                         {audioMasterSetOutputSampleRate, 1},
                                                         {audioMasterGetVendorVersion, 1000},
                                                         {audioMasterSetIcon, 0},
                                                         {5, 0},
                                                         {50, 0}};
    for (int32_t opcode : wholeAnswers)
        EXPECT_EQ(Call(opcode), MarkerHost::kMarker) << "opcode " << opcode;
    for (int32_t opcode : lowByteAnswers)
        EXPECT_EQ(Call(opcode), MarkerHost::kMarker & 0xFF) << "opcode " << opcode;
    for (const auto& [opcode, answer] : fixedAnswers)
        EXPECT_EQ(Call(opcode), answer) << "opcode " << opcode;

    // The pin query goes to the input or output operation by its value.
    EXPECT_EQ(Call(audioMasterPinConnected, 3, 0), 0); // input, low byte 0x34: not connected
    EXPECT_EQ(host.lastPin, "input");
    EXPECT_EQ(Call(audioMasterPinConnected, 3, 1), 1); // output, low byte 0: connected
    EXPECT_EQ(host.lastPin, "output");
}

} // namespace
} // namespace zorvil
