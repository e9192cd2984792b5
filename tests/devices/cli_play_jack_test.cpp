// zorvil-cli play against the test run's own JACK server that stops and starts again under it:
// the user is told when the output stops and when it is back, and the rig plays on.
#include "app/cli_test_support.h"
#include "support/jack_server.h"

namespace zorvil::test {
namespace {

using namespace std::chrono_literals;
using CliPlayOnJack = CliFixture;

TEST_F(CliPlayOnJack, SaysWhenTheServerGoesAwayAndWhenTheOutputIsBack) {
    JackServer* server = JackServer::Current();
    ASSERT_TRUE(server != nullptr && server->Running());
    // A line on stderr that always comes once the rig plays: a MIDI output it does not have.
    // The MIDI input is the mapper, Zorvil's own port: JACK's when there is no ALSA sequencer.
    const pid_t play = Start({"play", PluginPath("zorvil-synth"), "--seconds", "120", "--wave-out",
                              "JACK", "--midi-in", "MIDI Mapper", "--midi-out", "Not There"},
                             {{"ZORVIL_VIRTUAL_DEVICES", "0"}});
    const auto err = [&] { return Text(m_io.File("err")); };
    const auto says = [&](const std::string& text) {
        return WaitFor([&] { return err().find(text) != std::string::npos; }, 30s);
    };
    [&] { // whatever fails here, the program is stopped below
        ASSERT_TRUE(says("\"Not There\": no such device")) << err();
        server->Stop();
        EXPECT_TRUE(says("zorvil-cli: wave output \"JACK\" stopped (the device went away); waiting "
                         "for it to come back\n"))
            << err();
        ASSERT_TRUE(server->Start());
        EXPECT_TRUE(says("zorvil-cli: wave output \"JACK\" is back\n")) << err();
        // The mapper is not listed among the inputs: it is looked for by opening it.
        if (err().find("MIDI input \"MIDI Mapper\" stopped") != std::string::npos) {
            EXPECT_TRUE(says("zorvil-cli: MIDI input \"MIDI Mapper\" is back\n")) << err();
        }
    }();
    ::kill(play, SIGTERM);
    EXPECT_EQ(Wait(play).status, 0) << err();
}

} // namespace
} // namespace zorvil::test
