// zorvil-cli play against the test run's own JACK server that stops and starts again under it:
// the user is told when the output stops and when it is back, and the rig plays on.
#include "support/jack_server.h"
#include "support/test_support.h"

#include "files/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace zorvil::test {
namespace {

using namespace std::chrono_literals;

// A child process whose stderr the test reads line by line.
class Child {
public:
    explicit Child(const std::vector<std::string>& arguments, const std::string& configHome) {
        int pipeFds[2] = {-1, -1};
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(pipeFds[1], STDERR_FILENO);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
            std::vector<char*> argv;
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        m_err = pipeFds[0];
    }
    ~Child() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_err >= 0) ::close(m_err);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads stderr until a line containing `text` came; false when `limit` passed first.
    bool WaitForLine(const std::string& text, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (m_text.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left <= 0ms) return false;
            pollfd fd{m_err, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
            char buffer[512];
            const ssize_t got = ::read(m_err, buffer, sizeof buffer);
            if (got <= 0) return false;
            m_text.append(buffer, static_cast<size_t>(got));
        }
        return true;
    }
    // SIGTERM, then the exit status (-1 when it did not exit normally).
    int Stop() {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& Text() const { return m_text; }

private:
    pid_t m_pid = -1;
    int m_err = -1;
    std::string m_text;
};

TEST(CliPlayOnJack, SaysWhenTheServerGoesAwayAndWhenTheOutputIsBack) {
    JackServer* server = JackServer::Current();
    ASSERT_TRUE(server != nullptr && server->Running());
    TempDir config;
    // A line on stderr that always comes once the rig plays: a MIDI output it does not have.
    // The MIDI input is the mapper, Zorvil's own port: JACK's when there is no ALSA sequencer.
    Child play({ToolPath("zorvil-cli"), "play", PluginPath("zorvil-synth"), "--seconds", "120",
                "--wave-out", "JACK", "--midi-in", "MIDI Mapper", "--midi-out", "Not There"},
               config.Path().string());
    ASSERT_TRUE(play.WaitForLine("\"Not There\": no such device", 30s)) << play.Text();

    server->Stop();
    EXPECT_TRUE(play.WaitForLine("zorvil-cli: wave output \"JACK\" stopped (the device went "
                                 "away); waiting for it to come back\n",
                                 30s))
        << play.Text();
    ASSERT_TRUE(server->Start());
    EXPECT_TRUE(play.WaitForLine("zorvil-cli: wave output \"JACK\" is back\n", 30s)) << play.Text();
    // The mapper is not listed among the inputs: it is looked for by opening it.
    if (play.Text().find("MIDI input \"MIDI Mapper\" stopped") != std::string::npos) {
        EXPECT_TRUE(play.WaitForLine("zorvil-cli: MIDI input \"MIDI Mapper\" is back\n", 30s))
            << play.Text();
    }
    EXPECT_EQ(play.Stop(), 0) << play.Text();
}

} // namespace
} // namespace zorvil::test
