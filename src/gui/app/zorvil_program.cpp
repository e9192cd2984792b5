#include "gui/app/zorvil_program.h"

#include "app/plugin_folders.h"
#include "app/zorvil_app.h"
#include "gui/app/main_frame.h"
#include "gui/app/qt_user_interface.h"
#include "gui/app/ui_thread_queue.h"
#include "platform/clock_real.h"
#include "platform/profile.h"

#include <QApplication>

namespace zorvil {

CZorvilProgram::CZorvilProgram(const std::string& commandLine, const std::string& profilePath)
    : m_pClock(std::make_unique<platform::RealClock>()),
      m_pProfile(std::make_unique<platform::CProfile>(
          profilePath.empty() ? platform::CProfile::DefaultPath() : profilePath)),
      m_pUi(std::make_unique<CQtUserInterface>()),
      m_pApp(std::make_unique<CZorvilApp>(*m_pClock, *m_pUi, m_pProfile.get())) {
    m_pApp->SetPluginFolders(PluginFolders());
    m_pFrame = std::make_unique<CMainFrame>(*m_pApp, *m_pUi);
    m_pUi->SetDialogParent(m_pFrame.get());
    // Any thread may post (the end of a render posts from the engine thread): the frame runs
    // what was posted on the user-interface thread.
    CUiThreadQueue* wake = &m_pUi->UiThreadQueue();
    m_pApp->SetUiWaker([wake] { wake->Wake(); });
    QObject::connect(wake, &CUiThreadQueue::woken, m_pFrame.get(), &CMainFrame::OnPosted);
    // The program ends when its main window closes, whatever other windows are open.
    QObject::connect(m_pFrame.get(), &CMainFrame::closed, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    m_pFrame->show();
    m_pApp->InitInstance(commandLine);
    m_pFrame->UpdateCommandStates();
}

CZorvilProgram::~CZorvilProgram() {
    m_pFrame.reset();
    m_pApp->ExitInstance();
    m_pApp.reset();
}

int CZorvilProgram::Exec() {
    return QApplication::exec();
}

} // namespace zorvil
