// The program `zorvil` itself in batch-render mode: started with the command line's five
// fields on a small project, given Ctrl+W as a user's script would give it, it renders the
// pattern into the wave file, writes the project back and ends.
//
// The program runs without a display on Qt's VNC platform: like the offscreen platform it
// draws into memory, but it also takes keys from a VNC client. The test speaks just enough of
// the RFB protocol (version 3.3, no authentication) to press and release keys.
#include "app/app_settings.h"
#include "files/project_file.h"
#include "files/render_plan.h"
#include "files/temp_dir.h"
#include "files/wave_file.h"
#include "platform/profile.h"
#include "platform/virtual_devices.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zorvil::test {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kKeysymControl = 0xFFE3;
constexpr uint32_t kKeysymW = 'w';

// A port nobody listens on now (the kernel's choice for a socket bound to port 0).
int FreePort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    return ntohs(address.sin_port);
}

bool ReadExactly(int socket, void* data, size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::recv(socket, bytes, size, 0);
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int socket, const void* data, size_t size) {
    return ::send(socket, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

// A VNC client that can only press keys.
class KeyboardClient {
public:
    ~KeyboardClient() {
        if (m_socket >= 0) ::close(m_socket);
    }
    bool Connect(int port) {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_socket);
            m_socket = -1;
            return false;
        }
        // Version, the security type the server chose (1: none), the shared flag, then the
        // server's description: size, pixel format, name.
        std::array<char, 12> version{};
        uint32_t security = 0;
        const char shared = 1;
        std::array<char, 20> init{};
        uint32_t nameLength = 0;
        if (!ReadExactly(m_socket, version.data(), version.size()) ||
            !WriteAll(m_socket, "RFB 003.003\n", 12) ||
            !ReadExactly(m_socket, &security, sizeof security) || ntohl(security) != 1 ||
            !WriteAll(m_socket, &shared, 1) || !ReadExactly(m_socket, init.data(), init.size()) ||
            !ReadExactly(m_socket, &nameLength, sizeof nameLength))
            return false;
        std::string name(ntohl(nameLength), '\0');
        return ReadExactly(m_socket, name.data(), name.size());
    }
    bool Key(uint32_t keysym, bool down) {
        std::array<uint8_t, 8> message{4, static_cast<uint8_t>(down ? 1 : 0), 0, 0};
        const uint32_t key = htonl(keysym);
        std::memcpy(&message[4], &key, sizeof key);
        return WriteAll(m_socket, message.data(), message.size());
    }
    bool ControlW() {
        return Key(kKeysymControl, true) && Key(kKeysymW, true) && Key(kKeysymW, false) &&
               Key(kKeysymControl, false);
    }

private:
    int m_socket = -1;
};

// The program started with its own environment; killed if the test leaves it running.
class Program {
public:
    Program(const std::vector<std::string>& arguments, const std::vector<std::string>& settings) {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            bool replaced = false;
            for (const std::string& setting : settings)
                if (text.substr(0, text.find('=') + 1) == setting.substr(0, setting.find('=') + 1))
                    replaced = true;
            if (!replaced) environment.push_back(text);
        }
        environment.insert(environment.end(), settings.begin(), settings.end());
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        if (::posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
    }
    ~Program() {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool Started() const { return m_pid > 0; }
    // The exit status once the program ended, else nothing.
    std::optional<int> Poll() {
        if (m_status) return m_status;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return m_status;
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

TEST(BatchRenderTest, CtrlWRendersTheProjectWritesItBackAndEnds) {
    TempDir folder;
    const std::string wave = folder.File("out.wav");
    const std::string project = folder.File("song.tsn");
    ProjectImage image;
    image.version = 999; // written back as 1000
    image.tempo = 303;
    image.measures = 1;
    image.stepsPerMeasure = 8;
    image.notes = {{0, 60, 100, 2}, {4, 67, 80, 1}};
    ASSERT_EQ(WriteProjectFile(project, image), platform::FileErrorCause::None);

    // The user's settings: the virtual wave output, which plays as fast as it is fed.
    const std::string config = folder.File("config");
    platform::CProfile profile((std::filesystem::path(config) / "Ostrelworks" / "Zorvil.conf"));
    profile.WriteString(platform::settings::kSection, platform::settings::kWaveOut,
                        std::string("MME: ") + platform::kVirtualWaveOutImmediateName);

    // Qt's VNC platform keeps its screen buffers to the end: under the leak checker that is
    // Qt's own leak, not the program's.
    const std::string suppressions = folder.File("lsan.supp");
    std::ofstream(suppressions) << "leak:libqvnc.so\n";
    const char* lsan = std::getenv("LSAN_OPTIONS");
    const int port = FreePort();
    Program program({ToolPath("zorvil"), "0", "0", wave, project, "303"},
                    {"QT_QPA_PLATFORM=vnc:size=1024x768:port=" + std::to_string(port),
                     "XDG_CONFIG_HOME=" + config, "ZORVIL_VIRTUAL_DEVICES=1",
                     "LSAN_OPTIONS=" + std::string(lsan != nullptr ? lsan : "") +
                         ":suppressions=" + suppressions});
    ASSERT_TRUE(program.Started());

    // Ctrl+W, again every half second until the program took it and ended: keys that arrive
    // before the main window is up are lost, and while the render runs the command is disabled.
    std::optional<int> status;
    KeyboardClient client;
    bool connected = false;
    for (auto end = std::chrono::steady_clock::now() + 90s;
         !(status = program.Poll()) && std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(500ms)) {
        if (!connected) connected = client.Connect(port);
        if (connected) client.ControlW();
    }
    ASSERT_TRUE(connected) << "no VNC server on port " << port;
    ASSERT_TRUE(status.has_value()) << "the program did not end";
    EXPECT_EQ(*status, 0);

    const RenderPlan plan = MakeRenderPlan(1, 303, 2205, 0);
    EXPECT_EQ(std::filesystem::file_size(wave),
              kWaveHeaderSize + static_cast<size_t>(plan.totalFrames) * kRenderBytesPerFrame);
    const ProjectFileReadResult written = ReadProjectFile(project);
    ASSERT_EQ(written.read.status, ProjectReadStatus::Ok);
    EXPECT_EQ(written.read.image.version, 1000);
    EXPECT_EQ(written.read.image.tempo, 303);
    EXPECT_EQ(written.read.image.notes.size(), 2u);
}

} // namespace
} // namespace zorvil::test
