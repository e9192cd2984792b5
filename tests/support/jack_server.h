// A JACK 2 server of the test run's own: jackd on its dummy backend (at 44100 Hz unless a test
// asks for another rate), under a server name no other run uses at the same time, so that device
// tests meet a real audio server without touching the machine's own.
//
// Names come from a small fixed set ("zorvil-test-0", "-1", ...), each held by a lock file while
// a run uses it. JACK's registry has room for a handful of servers only and never frees the
// entry of a server that was killed unless a server of the same name starts again: names made
// unique per process would fill it up for good after a few crashed runs.
//
// Under a JackServerEnvironment the first call of JackServer::Current() starts it (tests that do
// not ask wait for no server, and their clients find none); the environment stops it after the
// last test, also when tests fail; the server also dies with the test process (it is told so at
// start). Tests that need the server gone for a while call Stop() and Start() on it.
//
//     // in one .cpp of a test executable:
//     static auto* const kJack = testing::AddGlobalTestEnvironment(new JackServerEnvironment);
//     // in a test:
//     ASSERT_TRUE(JackServer::Current() && JackServer::Current()->Running());
//     // or a server of the test's own, at a rate of its choice:
//     auto server = JackServer::StartOnFreeName(JackServer::Mode::Synchronous, 48000);
//
// Starting sets JACK_DEFAULT_SERVER in this process, so every JACK client it opens (ours and
// Zorvil's) reaches this server; the server puts back the value it replaced when it goes. A test
// may start a second server of its own for a while (StartOnFreeName), for instance one in
// JACK's usual asynchronous mode.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace zorvil::test {

class JackServer {
public:
    // Synchronous: the server waits for every client's cycle (with a long time-out), which keeps
    // a loaded test machine from dropping clients out of the graph. Asynchronous: JACK's default,
    // what users run.
    enum class Mode { Synchronous, Asynchronous };

    static constexpr unsigned kDefaultRate = 44100;

    // `lockFd`: the lock file that reserves the name (closed with the server), or -1.
    explicit JackServer(std::string name, int lockFd = -1, Mode mode = Mode::Synchronous,
                        unsigned rate = kDefaultRate);
    // A started server under the first name of the set that no run holds; null (with a test
    // failure naming the logs) when none starts.
    static std::unique_ptr<JackServer> StartOnFreeName(Mode mode, unsigned rate = kDefaultRate);
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // Starts jackd and waits until it answers a client. False when it does not within 10 s.
    bool Start();
    // Stops jackd (SIGTERM, then SIGKILL after 10 s) and waits for it to leave.
    void Stop();
    bool Running() const noexcept { return m_pid > 0; }
    const std::string& LogPath() const noexcept { return m_log; }

    // The server of the running test environment, started on the first call; null without an
    // environment or when it did not start.
    static JackServer* Current();

private:
    bool Answers() const;

    std::string m_name;
    std::string m_log;
    pid_t m_pid = -1;
    int m_lockFd = -1;
    Mode m_mode;
    unsigned m_rate;
    std::optional<std::string> m_replacedDefault; // JACK_DEFAULT_SERVER before the first Start
    bool m_started = false;
};

class JackServerEnvironment : public testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};

} // namespace zorvil::test
