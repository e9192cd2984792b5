#include "support/jack_server.h"

#include "platform/audio_device_jack.h"
#include "support/test_support.h"

#include <jack/jack.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zorvil::test {

namespace {

constexpr int kNameSlots = 8;

bool g_environment = false; // a JackServerEnvironment is set up
std::unique_ptr<JackServer> g_owned;

void Quiet(const char*) {}

std::string TempDir() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
}

} // namespace

JackServer::JackServer(std::string name, int lockFd, Mode mode, unsigned rate)
    : m_name(std::move(name)), m_log(TempDir() + "/" + m_name + ".log"), m_lockFd(lockFd),
      m_mode(mode), m_rate(rate) {}

JackServer::~JackServer() {
    Stop();
    if (m_lockFd >= 0) close(m_lockFd); // frees the name for the next run
    if (m_started) {
        if (m_replacedDefault)
            setenv("JACK_DEFAULT_SERVER", m_replacedDefault->c_str(), 1);
        else
            unsetenv("JACK_DEFAULT_SERVER");
    }
}

std::unique_ptr<JackServer> JackServer::StartOnFreeName(Mode mode, unsigned rate) {
    std::string tried;
    for (int slot = 0; slot < kNameSlots; ++slot) {
        const std::string name = "zorvil-test-" + std::to_string(slot);
        const std::string lockPath = TempDir() + "/" + name + ".lock";
        const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) continue;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) { // another run (or server) uses this name
            close(fd);
            continue;
        }
        auto server = std::make_unique<JackServer>(name, fd, mode, rate);
        if (server->Start()) return server;
        tried += " " + server->LogPath(); // e.g. a stale registry entry holds the name
    }
    ADD_FAILURE() << "jackd did not start; see" << tried;
    return nullptr;
}

JackServer* JackServer::Current() {
    if (g_environment && !g_owned) g_owned = StartOnFreeName(Mode::Synchronous);
    return g_owned.get();
}

bool JackServer::Answers() const {
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    jack_status_t status{};
    jack_client_t* client = jack_client_open(
        "zorvil-probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
        m_name.c_str());
    if (client == nullptr) return false;
    jack_client_close(client);
    return true;
}

bool JackServer::Start() {
    if (Running()) return true;
    // Zorvil's client of a server that went away is closed first: closed under a new server of
    // the same name, it would crash in libjack.
    platform::JackSession::WaitForCloses();
    if (!m_started) {
        if (const char* replaced = std::getenv("JACK_DEFAULT_SERVER")) m_replacedDefault = replaced;
        m_started = true;
    }
    setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
    const std::string rate = std::to_string(m_rate);
    std::vector<const char*> arguments = {"jackd", "--no-realtime"};
    // Synchronous mode with a long client time-out: on a loaded machine (sanitizer builds,
    // parallel tests) a late client delays the cycle instead of overlapping the next one (which
    // would hand it port buffers that the next cycle is already rewriting) or being thrown out of
    // the graph.
    if (m_mode == Mode::Synchronous) arguments.insert(arguments.end(), {"--sync", "-t", "10000"});
    arguments.insert(arguments.end(), {"-n", m_name.c_str(), "-d", "dummy", "-r", rate.c_str(),
                                       "-p", "256", nullptr});
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // The server must not outlive the test process, whatever ends it.
        BecomeServerChild(parent, m_log);
        execvp("jackd", const_cast<char* const*>(arguments.data()));
        _exit(127);
    }
    m_pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Answers()) return true;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1; // jackd gave up (see the log)
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return false;
}

void JackServer::Stop() {
    if (!Running()) return;
    // Zorvil's own client stays between tests; it leaves before its server does. (A server
    // stopped under connected clients may die of SIGPIPE before it leaves JACK's registry; the
    // next run of the same name reclaims the entry.)
    platform::JackSession::CloseIdle();
    // jackd leaves its registry entry behind when it is killed: give it time to leave cleanly.
    TerminateChild(m_pid, std::chrono::seconds(10));
    m_pid = -1;
}

void JackServerEnvironment::SetUp() {
    // Until a test asks for the server, JACK clients of this process find none.
    setenv("JACK_DEFAULT_SERVER", "zorvil-test-none", 1);
    g_environment = true;
}

void JackServerEnvironment::TearDown() {
    g_environment = false;
    g_owned.reset(); // stops the server
}

} // namespace zorvil::test
