// Running zorvil-cli as a user or a script runs it: with a profile folder of the test's own and
// the virtual devices listed, either to its end (Cli) or in the background (Start), so that a
// test can signal it while it works.
#pragma once

#include "files/temp_dir.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace zorvil::test {

struct Outcome {
    int status = -1; // the exit status, or -1 when a signal ended it
    int signal = 0;  // the signal that ended it, or 0
    std::string out;
    std::string err;
};

class CliFixture : public ::testing::Test {
protected:
    using Environment = std::map<std::string, std::string>;

    // Runs zorvil-cli to its end.
    Outcome Cli(const std::vector<std::string>& arguments, const Environment& extra = {}) {
        return Wait(Start(arguments, extra));
    }

    // Starts zorvil-cli in the background; Wait collects it.
    pid_t Start(const std::vector<std::string>& arguments, const Environment& extra = {}) {
        Environment environment = extra;
        environment.emplace("XDG_CONFIG_HOME", m_folder.File("config"));
        environment.emplace("ZORVIL_VIRTUAL_DEVICES", "1");
        std::vector<std::string> texts;
        for (const auto& [name, value] : environment)
            texts.push_back(name + "=" + value);
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            if (!environment.contains(text.substr(0, text.find('=')))) texts.push_back(text);
        }
        std::vector<char*> envp;
        for (std::string& text : texts)
            envp.push_back(text.data());
        envp.push_back(nullptr);

        std::vector<std::string> args{ToolPath("zorvil-cli")};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string out = m_io.File("out");
        const std::string err = m_io.File("err");
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        // A plug-in that crashes on purpose leaves no core file.
        const rlimit noCore{0, 0};
        rlimit previous{};
        getrlimit(RLIMIT_CORE, &previous);
        setrlimit(RLIMIT_CORE, &noCore);
        pid_t pid = -1;
        const int result = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        setrlimit(RLIMIT_CORE, &previous);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(result, 0);
        return result == 0 ? pid : -1;
    }

    Outcome Wait(pid_t pid) {
        Outcome outcome;
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, 0) == pid) {
            outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
        outcome.out = Text(m_io.File("out"));
        outcome.err = Text(m_io.File("err"));
        return outcome;
    }

    // Polls every millisecond until `done` holds; false after `limit`.
    static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    static std::string Text(const std::string& path) {
        std::stringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    static std::string Demo() { return SourcePath("resources/demo/demo.tsn"); }

    TempDir m_folder;
    TempDir m_io;
};

} // namespace zorvil::test
