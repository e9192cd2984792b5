// The recording probe: what it logs (in the exact line formats other tests rely on), what it
// outputs, its programs and parameters, and its variants.
#include "plugin_test_host.h"

#include "probe/probe_api.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace zorvil::test {
namespace {

using ::testing::Each;
using ::testing::EndsWith;
using ::testing::FloatEq;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kEntryLog = "host 1 0 0 -> 2400\n"
                              "host 2 0 0 -> 7\n"
                              "host 6 0 1 -> 1\n";

// A probe library with one instance and its log functions.
class Probe {
public:
    explicit Probe(TestHost& host, const char* library = "zorvil-probe", const char* entry = "main")
        : m_library(library), m_instance(m_library, host, entry),
          m_log(m_library.Lookup<ZorvilProbeLogProc>(kZorvilProbeLogSymbol)),
          m_clear(m_library.Lookup<ZorvilProbeClearProc>(kZorvilProbeClearSymbol)),
          m_callHost(m_library.Lookup<ZorvilProbeCallHostProc>(kZorvilProbeCallHostSymbol)) {
        EXPECT_NE(m_log, nullptr);
        EXPECT_NE(m_clear, nullptr);
        EXPECT_NE(m_callHost, nullptr);
    }

    const PluginLibrary& Library() const { return m_library; }
    const PluginInstance& Instance() const { return m_instance; }
    AEffect* Effect() const { return m_instance.Get(); }
    std::string Log() const { return m_log(Effect()); }
    std::string LogOf(AEffect* effect) const { return m_log(effect); }
    void Clear() const { m_clear(Effect()); }
    intptr_t CallHost(int32_t opcode, int32_t index, intptr_t value) const {
        return m_callHost(Effect(), opcode, index, value, nullptr, 0.0f);
    }
    intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f) const {
        return m_instance.Dispatch(opcode, index, value, ptr, opt);
    }

private:
    PluginLibrary m_library;
    PluginInstance m_instance;
    ZorvilProbeLogProc m_log;
    ZorvilProbeClearProc m_clear;
    ZorvilProbeCallHostProc m_callHost;
};

TEST(ProbeLog, StartsWithTheHostCallsMadeDuringTheEntryCall) {
    TestHost host;
    Probe probe(host);
    EXPECT_EQ(probe.Log(), kEntryLog);
    ASSERT_EQ(host.AllCalls().size(), 3u);
    EXPECT_EQ(host.AllCalls()[2].opcode, audioMasterWantMidi);
    EXPECT_EQ(host.AllCalls()[2].value, 1);
}

TEST(ProbeLog, RecordsDispatcherCallsWithTheirArguments) {
    TestHost host;
    Probe probe(host);
    probe.Clear();
    probe.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    probe.Dispatch(effSetBlockSize, 0, 512);
    probe.Dispatch(effOpen);
    probe.Dispatch(effMainsChanged, 0, 1);
    probe.Dispatch(effEditKeyDown, 65, -3, nullptr, 0.25f);
    probe.Dispatch(effIdle);
    EXPECT_EQ(probe.Log(), "dispatch 10 0 0 44100\n"
                           "dispatch 11 0 512 0\n"
                           "dispatch 0 0 0 0\n"
                           "host 6 0 1 -> 1\n"
                           "dispatch 12 0 1 0\n"
                           "dispatch 59 65 -3 0.25\n"
                           "dispatch 53 0 0 0\n");
}

TEST(ProbeLog, RecordsEventListsEventByEvent) {
    TestHost host;
    Probe probe(host);
    EventList events;
    events.Midi(0, 0x90, 60, 100)
        .Midi(17, 0x8F, 0x7F, 0x40, 0x0A)
        .Sysex(5, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7})
        .Other(2, 3)
        .Sysex(9, {});
    probe.Clear();
    EXPECT_EQ(probe.Dispatch(effProcessEvents, 0, 0, events.Get()), 1);
    EXPECT_EQ(probe.Log(), "dispatch 25 0 0 0\n"
                           "events 5\n"
                           "midi 0 90 3c 64 00\n"
                           "midi 17 8f 7f 40 0a\n"
                           "sysex 5 6 f07e7f0901f7\n"
                           "other 2\n"
                           "sysex 9 0 \n");

    EventList empty;
    probe.Clear();
    probe.Dispatch(effProcessEvents, 0, 0, empty.Get());
    EXPECT_EQ(probe.Log(), "dispatch 25 0 0 0\nevents 0\n");
}

TEST(ProbeLog, LongSysexDumpsAreLoggedWhole) {
    TestHost host;
    Probe probe(host);
    std::vector<uint8_t> dump(300, 0xAB);
    dump.front() = 0xF0;
    dump.back() = 0xF7;
    EventList events;
    events.Sysex(0, dump);
    probe.Clear();
    probe.Dispatch(effProcessEvents, 0, 0, events.Get());
    std::string hex = "f0";
    for (int i = 0; i < 298; ++i)
        hex += "ab";
    hex += "f7";
    EXPECT_EQ(probe.Log(), "dispatch 25 0 0 0\nevents 1\nsysex 0 300 " + hex + "\n");
}

TEST(ProbeLog, ClearEmptiesOnlyItsOwnInstance) {
    TestHost host;
    Probe probe(host);
    PluginInstance second(probe.Library(), host);
    probe.Clear();
    probe.Dispatch(effIdle);
    second.Dispatch(effGetProgram);
    EXPECT_EQ(probe.Log(), "dispatch 53 0 0 0\n");
    EXPECT_EQ(probe.LogOf(second.Get()), kEntryLog + "dispatch 3 0 0 0\n");
}

TEST(ProbeLog, CallHostAsksTheHostAndLogsTheAnswer) {
    TestHost host;
    Probe probe(host);
    probe.Clear();
    host.Forget();
    EXPECT_EQ(probe.CallHost(audioMasterVersion, 0, 0), kTestHostVersion);
    EXPECT_EQ(probe.CallHost(audioMasterGetSampleRate, 3, -4), 44100);
    EXPECT_EQ(probe.Log(), "host 1 0 0 -> 2400\nhost 16 3 -4 -> 44100\n");
    ASSERT_EQ(host.AllCalls().size(), 2u);
    EXPECT_EQ(host.AllCalls()[1].index, 3);
    EXPECT_EQ(host.AllCalls()[1].value, -4);
}

TEST(ProbeLog, RefusesRecordsItDidNotMake) {
    TestHost host;
    Probe probe(host);
    PluginLibrary synthLibrary("zorvil-synth");
    PluginInstance synth(synthLibrary, host);
    AEffect fake{};
    fake.magic = kEffectMagic;
    EXPECT_STREQ(probe.LogOf(nullptr).c_str(), "");
    EXPECT_STREQ(probe.LogOf(&fake).c_str(), "");
    EXPECT_STREQ(probe.LogOf(synth.Get()).c_str(), "");
    // Another probe library's instance is not this library's either.
    Probe other(host, "zorvil-probe-out0");
    EXPECT_STREQ(probe.LogOf(other.Effect()).c_str(), "");
    EXPECT_EQ(other.Log(), kEntryLog);
}

TEST(ProbeLog, StaysWholeWhileTwoThreadsCallIn) {
    TestHost host;
    Probe probe(host);
    probe.Clear();
    constexpr int kCalls = 500;
    std::array<float, 8> left{};
    std::array<float, 8> right{};
    std::thread engine([&] {
        std::array<float*, 2> outputs{left.data(), right.data()};
        for (int i = 0; i < kCalls; ++i)
            probe.Effect()->processReplacing(probe.Effect(), nullptr, outputs.data(), 8);
    });
    for (int i = 0; i < kCalls; ++i)
        probe.Dispatch(effIdle);
    engine.join();
    const std::string log = probe.Log();
    int replacing = 0;
    int dispatch = 0;
    std::size_t start = 0;
    while (start < log.size()) {
        const std::size_t end = log.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = log.substr(start, end - start);
        if (line == "replacing 8") {
            ++replacing;
        } else if (line == "dispatch 53 0 0 0") {
            ++dispatch;
        } else {
            ADD_FAILURE() << "unexpected line: " << line;
        }
        start = end + 1;
    }
    EXPECT_EQ(replacing, kCalls);
    EXPECT_EQ(dispatch, kCalls);
}

TEST(ProbeAudio, ReplacingWritesLevelAndItsNegativePlusTheInputs) {
    TestHost host;
    Probe probe(host);
    std::array<float, 4> in0{1.0f, 2.0f, 3.0f, 4.0f};
    std::array<float, 4> in1{-1.0f, -1.0f, -1.0f, -1.0f};
    std::array<float, 4> out0{9.0f, 9.0f, 9.0f, 9.0f};
    std::array<float, 4> out1{9.0f, 9.0f, 9.0f, 9.0f};
    std::array<float*, 2> inputs{in0.data(), in1.data()};
    std::array<float*, 2> outputs{out0.data(), out1.data()};
    probe.Clear();
    probe.Effect()->processReplacing(probe.Effect(), inputs.data(), outputs.data(), 4);
    EXPECT_EQ(probe.Log(), "replacing 4\n");
    EXPECT_THAT(out0, ::testing::ElementsAre(1.5f, 2.5f, 3.5f, 4.5f));
    EXPECT_THAT(out1, Each(FloatEq(-1.5f)));

    // In place, as hosts often call effects.
    probe.Effect()->processReplacing(probe.Effect(), outputs.data(), outputs.data(), 4);
    EXPECT_THAT(out0, ::testing::ElementsAre(2.0f, 3.0f, 4.0f, 5.0f));
    EXPECT_THAT(out1, Each(FloatEq(-2.0f)));
}

TEST(ProbeAudio, ProcessAddsToTheOutputs) {
    TestHost host;
    Probe probe(host, "zorvil-probe-accumulate");
    std::array<float, 3> out0{1.0f, 1.0f, 1.0f};
    std::array<float, 3> out1{1.0f, 1.0f, 1.0f};
    std::array<float*, 2> outputs{out0.data(), out1.data()};
    probe.Clear();
    probe.Effect()->process(probe.Effect(), nullptr, outputs.data(), 3);
    // A host that ignores the missing effFlagsCanReplacing is caught by the log.
    probe.Effect()->processReplacing(probe.Effect(), nullptr, outputs.data(), 2);
    EXPECT_EQ(probe.Log(), "process 3\nreplacing 2\n");
    EXPECT_THAT(out0, ::testing::ElementsAre(0.5f, 0.5f, 1.5f));
    EXPECT_THAT(out1, ::testing::ElementsAre(-0.5f, -0.5f, 0.5f));
}

TEST(ProbeAudio, VariantsWithFewerOutputsWriteOnlyThose) {
    TestHost host;
    Probe none(host, "zorvil-probe-out0");
    none.Effect()->processReplacing(none.Effect(), nullptr, nullptr, 16);
    EXPECT_THAT(none.Log(), EndsWith("replacing 16\n"));

    Probe one(host, "zorvil-probe-out1");
    std::array<float, 2> out0{};
    std::array<float, 2> guard{7.0f, 7.0f};
    std::array<float*, 2> outputs{out0.data(), guard.data()};
    one.Effect()->processReplacing(one.Effect(), nullptr, outputs.data(), 2);
    EXPECT_THAT(out0, Each(FloatEq(0.5f)));
    EXPECT_THAT(guard, Each(FloatEq(7.0f)));
}

TEST(ProbeAudio, LevelFollowsTheCurrentProgramsFirstParameter) {
    TestHost host;
    Probe probe(host);
    std::array<float, 1> out0{};
    std::array<float, 1> out1{};
    std::array<float*, 2> outputs{out0.data(), out1.data()};
    probe.Effect()->setParameter(probe.Effect(), 0, 0.8f);
    probe.Effect()->processReplacing(probe.Effect(), nullptr, outputs.data(), 1);
    EXPECT_FLOAT_EQ(out0[0], 0.8f);
    EXPECT_FLOAT_EQ(out1[0], -0.8f);
    probe.Dispatch(effSetProgram, 0, 1);
    probe.Effect()->processReplacing(probe.Effect(), nullptr, outputs.data(), 1);
    EXPECT_FLOAT_EQ(out0[0], 0.1f);
}

TEST(ProbePrograms, EachProgramKeepsItsOwnValuesAndName) {
    TestHost host;
    Probe probe(host);
    const PluginInstance& effect = probe.Instance();
    AEffect* record = probe.Effect();

    EXPECT_EQ(effect.Text(effGetProgramNameIndexed, 0), "Probe A");
    EXPECT_EQ(effect.Text(effGetProgramNameIndexed, 1), "Probe B");
    EXPECT_EQ(effect.Dispatch(effGetProgramNameIndexed, 2), 0);
    EXPECT_EQ(effect.Text(effGetParamName, 0), "Level");
    EXPECT_EQ(effect.Text(effGetParamName, 1), "Param 1");
    EXPECT_EQ(effect.Text(effGetParamName, 2), "Param 2");
    EXPECT_EQ(effect.Text(effGetParamDisplay, 1), "0.250");

    EXPECT_EQ(effect.Dispatch(effGetProgram), 0);
    EXPECT_EQ(effect.Text(effGetProgramName), "Probe A");
    EXPECT_FLOAT_EQ(record->getParameter(record, 0), 0.5f);
    EXPECT_FLOAT_EQ(record->getParameter(record, 1), 0.25f);
    EXPECT_FLOAT_EQ(record->getParameter(record, 2), 0.75f);
    record->setParameter(record, 2, 0.9f);

    effect.Dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(effect.Dispatch(effGetProgram), 1);
    EXPECT_EQ(effect.Text(effGetProgramName), "Probe B");
    EXPECT_FLOAT_EQ(record->getParameter(record, 0), 0.1f);
    EXPECT_FLOAT_EQ(record->getParameter(record, 1), 0.2f);
    EXPECT_FLOAT_EQ(record->getParameter(record, 2), 0.3f);
    char name[] = "Renamed";
    effect.Dispatch(effSetProgramName, 0, 0, name);

    effect.Dispatch(effSetProgram, 0, 0);
    EXPECT_FLOAT_EQ(record->getParameter(record, 2), 0.9f);
    EXPECT_EQ(effect.Text(effGetProgramNameIndexed, 1), "Renamed");

    // Out-of-range requests change nothing.
    effect.Dispatch(effSetProgram, 0, 2);
    effect.Dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(effect.Dispatch(effGetProgram), 0);
    record->setParameter(record, 3, 1.0f);
    EXPECT_FLOAT_EQ(record->getParameter(record, 3), 0.0f);
}

TEST(ProbePrograms, AnswersOnlyMidiInputAsACapability) {
    TestHost host;
    Probe probe(host);
    char midi[] = "receiveVstMidiEvent";
    char other[] = "sendVstMidiEvent";
    EXPECT_EQ(probe.Dispatch(effCanDo, 0, 0, midi), 1);
    EXPECT_EQ(probe.Dispatch(effCanDo, 0, 0, other), 0);
    EXPECT_EQ(probe.Dispatch(effCanDo), 0);
}

class ProbeChunk : public ::testing::Test {
protected:
    std::vector<char> GetChunk(int32_t index) const {
        void* data = nullptr;
        const intptr_t size = probe.Dispatch(effGetChunk, index, 0, &data);
        EXPECT_GT(size, 0);
        EXPECT_NE(data, nullptr);
        if (size <= 0 || data == nullptr) return {};
        const auto* bytes = static_cast<const char*>(data);
        return {bytes, bytes + size};
    }
    intptr_t SetChunk(int32_t index, std::vector<char> image) const {
        return probe.Dispatch(effSetChunk, index, static_cast<intptr_t>(image.size()),
                              image.data());
    }
    float Value(int32_t index) const { return record->getParameter(record, index); }

    TestHost host;
    Probe probe{host, "zorvil-probe-chunk"};
    AEffect* record = probe.Effect();
};

TEST_F(ProbeChunk, BankImageRestoresEveryProgramAndTheCurrentOne) {
    record->setParameter(record, 0, 0.125f);
    probe.Dispatch(effSetProgram, 0, 1);
    record->setParameter(record, 1, 0.625f);
    const std::vector<char> bank = GetChunk(0);
    ASSERT_GE(bank.size(), 4u);
    EXPECT_EQ(std::string(bank.data(), 4), kZorvilProbeChunkMagic);

    record->setParameter(record, 1, 0.0f);
    probe.Dispatch(effSetProgram, 0, 0);
    record->setParameter(record, 0, 1.0f);
    char name[] = "Changed";
    probe.Dispatch(effSetProgramName, 0, 0, name);

    EXPECT_EQ(SetChunk(0, bank), 1);
    EXPECT_EQ(probe.Dispatch(effGetProgram), 1);
    EXPECT_FLOAT_EQ(Value(1), 0.625f);
    probe.Dispatch(effSetProgram, 0, 0);
    EXPECT_FLOAT_EQ(Value(0), 0.125f);
    EXPECT_EQ(probe.Instance().Text(effGetProgramName), "Probe A");
}

TEST_F(ProbeChunk, ProgramImageRestoresTheCurrentProgram) {
    record->setParameter(record, 2, 0.5f);
    const std::vector<char> program = GetChunk(1);
    EXPECT_EQ(std::string(program.data(), 4), kZorvilProbeChunkMagic);
    EXPECT_LT(program.size(), GetChunk(0).size());

    probe.Dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(SetChunk(1, program), 1);
    EXPECT_FLOAT_EQ(Value(0), 0.5f);
    EXPECT_FLOAT_EQ(Value(2), 0.5f);
    EXPECT_EQ(probe.Instance().Text(effGetProgramName), "Probe A");
}

TEST_F(ProbeChunk, DamagedOrMismatchedImagesAreRefused) {
    const std::vector<char> bank = GetChunk(0);
    std::vector<char> wrongMagic = bank;
    wrongMagic[3] = '2';
    EXPECT_EQ(SetChunk(0, wrongMagic), 0);
    EXPECT_EQ(SetChunk(0, std::vector<char>(bank.begin(), bank.end() - 1)), 0);
    EXPECT_EQ(SetChunk(0, std::vector<char>(bank.begin(), bank.begin() + 3)), 0);
    EXPECT_EQ(SetChunk(1, bank), 0); // a bank is not a program
    EXPECT_EQ(probe.Dispatch(effSetChunk, 0, 100, nullptr), 0);
    EXPECT_FLOAT_EQ(Value(0), 0.5f);
}

TEST(ProbeChunkFlag, PlainProbesIgnoreChunkRequests) {
    TestHost host;
    Probe probe(host);
    void* data = nullptr;
    EXPECT_EQ(probe.Dispatch(effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(data, nullptr);
}

} // namespace
} // namespace zorvil::test
