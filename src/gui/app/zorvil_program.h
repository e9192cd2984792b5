// CZorvilProgram: the program `zorvil` with its windows, from start-up to shut-down.
//
// Start-up: the application object (clock, the Qt user interface, the profile), then the main
// frame, shown (its first showing sizes it and opens the "Pattern Sequencer"), then the core's
// start-up: the devices by their stored names, the engine, the empty project, and the command
// line (a batch render: five fields, see command_line.h). Shut-down, once the main window
// closed: the frame goes, then the core shuts the devices down and removes every effect.
//
//     QApplication qt(argc, argv);
//     CZorvilProgram program(JoinArguments(argc - 1, argv + 1));
//     return program.Exec();
//
// What other threads post to the application (the end of a render, the engine's restart)
// wakes the event loop and runs on the user-interface thread (CMainFrame::OnPosted).
#pragma once

#include <memory>
#include <string>

namespace zorvil {

class CMainFrame;
class CQtUserInterface;
class CZorvilApp;

namespace platform {
class CProfile;
class IClockService;
} // namespace platform

class CZorvilProgram {
public:
    // The profile at `profilePath` (the user's, CProfile::DefaultPath(), when empty).
    explicit CZorvilProgram(const std::string& commandLine, const std::string& profilePath = {});
    ~CZorvilProgram();

    CZorvilProgram(const CZorvilProgram&) = delete;
    CZorvilProgram& operator=(const CZorvilProgram&) = delete;

    // Runs the event loop until the main window closed; the program's exit code.
    int Exec();

    CZorvilApp& App() noexcept { return *m_pApp; }
    CMainFrame& MainFrame() noexcept { return *m_pFrame; }
    CQtUserInterface& UserInterface() noexcept { return *m_pUi; }

private:
    std::unique_ptr<platform::IClockService> m_pClock;
    std::unique_ptr<platform::CProfile> m_pProfile;
    // Also wakes the user-interface thread for what other threads posted (its queue); it
    // outlives the application, so a late wake-up from the engine thread never meets a
    // destroyed object.
    std::unique_ptr<CQtUserInterface> m_pUi;
    std::unique_ptr<CZorvilApp> m_pApp;
    std::unique_ptr<CMainFrame> m_pFrame;
};

} // namespace zorvil
