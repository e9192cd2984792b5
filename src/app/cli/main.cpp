// zorvil-cli: Zorvil without windows.
//
//     zorvil-cli info PLUGIN.so...   the information window's lines for each plug-in
//     zorvil-cli render PROJECT.tsn OUT.wav [--realtime]   (render_command.h)
//     zorvil-cli export-midi PROJECT.tsn OUT.mid           (render_command.h)
//     zorvil-cli play PLUGIN.so... [options]               (play_command.h)
//     zorvil-cli devices                                   (devices_command.h)
//
// `info` loads each library as the program does (sample rate, block size, open, mains on),
// prints its lines and unloads it. A file that is not a usable VST 2 plug-in gets one line on
// stderr naming it and the reason, and the tool goes on; the exit status is 1 when any file
// failed, else 0. Message boxes raised on the way are printed on stderr and answered OK.
//
// Every command can be interrupted (interrupt.h): what it made is removed and the program ends by
// the signal.
#include "app/cli/console_user_interface.h"
#include "app/cli/devices_command.h"
#include "app/cli/interrupt.h"
#include "app/cli/play_command.h"
#include "app/cli/render_command.h"
#include "host/effect_info.h"
#include "host/seq_host.h"

#include <exception>
#include <iostream>
#include <string_view>

namespace {

constexpr const char* kUsage = "usage: zorvil-cli info PLUGIN.so...\n"
                               "       zorvil-cli render PROJECT.tsn OUT.wav [--realtime] "
                               "[--settle MS]\n"
                               "       zorvil-cli export-midi PROJECT.tsn OUT.mid\n"
                               "       zorvil-cli play PLUGIN.so... [options]\n"
                               "       zorvil-cli devices\n";

int RunInfo(int count, char** paths) {
    zorvil::cli::ConsoleUserInterface ui(std::cerr);
    zorvil::CSeqHost host;
    host.SetUserInterface(&ui);
    bool failed = false;
    bool printed = false;
    for (int i = 0; i < count; ++i) {
        const std::string_view path = paths[i];
        const int slot = host.LoadPlugin(path);
        if (slot < 0) {
            std::cerr << "zorvil-cli: " << path
                      << ": not a usable VST 2 plug-in: " << host.LastLoadError() << '\n';
            failed = true;
            continue;
        }
        if (printed) std::cout << '\n'; // one empty line between plug-ins
        printed = true;
        try {
            for (const std::string& line : zorvil::EffectInfoLines(host, slot))
                std::cout << line << '\n';
        } catch (const std::exception& error) {
            std::cerr << "zorvil-cli: " << path << ": the plug-in failed: " << error.what() << '\n';
            failed = true;
        }
        std::cout.flush();
        try {
            host.RemoveEffect(slot);
        } catch (const std::exception& error) {
            std::cerr << "zorvil-cli: " << error.what() << '\n';
            failed = true;
        }
    }
    return failed ? 1 : 0;
}

int RunCommand(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]) == "info") {
        if (argc < 3) {
            std::cerr << kUsage;
            return 2;
        }
        return RunInfo(argc - 2, argv + 2);
    }
    if (argc >= 2 && std::string_view(argv[1]) == "render")
        return zorvil::cli::RunRender(argc - 2, argv + 2);
    if (argc >= 2 && std::string_view(argv[1]) == "export-midi")
        return zorvil::cli::RunExportMidi(argc - 2, argv + 2);
    if (argc == 2 && std::string_view(argv[1]) == "devices")
        return zorvil::cli::RunDevices(std::cout);
    if (argc >= 2 && std::string_view(argv[1]) == "play")
        return zorvil::cli::RunPlay(argc - 2, argv + 2);
    std::cerr << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    zorvil::cli::InstallInterruptHandlers();
    // What reaches the catch is a plug-in that threw while it was closed, after the devices were
    // shut down: one line, and the status of a failure.
    int status = 1;
    try {
        status = RunCommand(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "zorvil-cli: " << error.what() << '\n';
    }
    zorvil::cli::EndIfInterrupted();
    return status;
}
