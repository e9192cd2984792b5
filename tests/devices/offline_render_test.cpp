// An offline `zorvil-cli render` touches no audio or MIDI system and no settings, so the same
// project gives the same bytes wherever it runs: with and without a JACK server, on a fresh
// profile and on a used one, with a plug-in that draws on the C library's random numbers.
#include "app/app_test_support.h"
#include "app/cli_test_support.h"
#include "support/jack_server.h"

#include <jack/jack.h>

#include <atomic>

namespace zorvil::test {
namespace {

namespace keys = platform::settings;

// A JACK client that counts the clients registering with the server while it is open.
class RegistrationWatch {
public:
    ~RegistrationWatch() {
        if (m_client != nullptr) jack_client_close(m_client);
    }
    bool Open() {
        m_client = jack_client_open("ZorvilWatch", JackNoStartServer, nullptr);
        if (m_client == nullptr) return false;
        jack_set_client_registration_callback(
            m_client,
            [](const char*, int registered, void* self) {
                if (registered != 0) static_cast<RegistrationWatch*>(self)->m_count.fetch_add(1);
            },
            this);
        return jack_activate(m_client) == 0;
    }
    int Count() const { return m_count.load(); }

private:
    jack_client_t* m_client = nullptr;
    std::atomic<int> m_count{0};
};

using OfflineRenderTest = CliFixture;

TEST_F(OfflineRenderTest, TouchesNoAudioSystemAndGivesTheSameBytesEverywhere) {
    JackServer* server = JackServer::Current();
    ASSERT_TRUE(server != nullptr && server->Running());
    // Program 0: the sampler makes its noise from rand() as soon as it is told "offline".
    const std::string project = SamplerProject(m_folder, "noise.tsn", 0);
    auto render = [&](const std::string& name) {
        const std::string out = m_folder.File(name);
        const Outcome run = Cli({"render", project, out, "--settle", "0"});
        EXPECT_EQ(run.status, 0) << run.err;
        return Text(out);
    };

    std::string fresh;
    {
        RegistrationWatch watch;
        ASSERT_TRUE(watch.Open());
        fresh = render("fresh.wav");
        EXPECT_EQ(watch.Count(), 0); // no client of ours came and went
    }
    EXPECT_EQ(fresh.size(), kWaveHeaderSize + 88200u * 4);
    EXPECT_FALSE(std::filesystem::exists(m_folder.File("config"))); // nothing written

    // A used profile: JACK as the wave output, other buffers, an adjustment, MIDI devices.
    std::filesystem::create_directories(m_folder.File("config/Ostrelworks"));
    {
        platform::CProfile profile(m_folder.File("config/Ostrelworks/Zorvil.conf"));
        profile.WriteString(keys::kSection, keys::kWaveOut, "MME: JACK");
        profile.WriteString(keys::kSection, keys::kWaveIn, "MME: JACK");
        profile.WriteString(keys::kSection, keys::kMidiIn, "JACK");
        profile.WriteInt(keys::kSection, keys::kWaveOutBufSize, 147);
        profile.WriteInt(keys::kSection, keys::kRenderAdjust, 3);
    }
    EXPECT_EQ(render("used.wav"), fresh);

    server->Stop();
    EXPECT_EQ(render("no-server.wav"), fresh);
    ASSERT_TRUE(server->Start());
}

} // namespace
} // namespace zorvil::test
