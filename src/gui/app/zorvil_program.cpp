#include "gui/app/zorvil_program.h"

#include "app/zorvil_app.h"
#include "gui/app/main_frame.h"
#include "gui/app/qt_user_interface.h"
#include "platform/clock_real.h"
#include "platform/profile.h"

#include <QApplication>
#include <QMetaObject>
#include <QPointer>

namespace zorvil {

CZorvilProgram::CZorvilProgram(const std::string& commandLine, const std::string& profilePath)
    : m_pClock(std::make_unique<platform::RealClock>()),
      m_pProfile(std::make_unique<platform::CProfile>(
          profilePath.empty() ? platform::CProfile::DefaultPath() : profilePath)),
      m_pUi(std::make_unique<CQtUserInterface>()),
      m_pApp(std::make_unique<CZorvilApp>(*m_pClock, *m_pUi, m_pProfile.get())),
      m_pPostTarget(std::make_unique<QObject>()) {
    m_pFrame = std::make_unique<CMainFrame>(*m_pApp, *m_pUi);
    m_pUi->SetDialogParent(m_pFrame.get());
    // Any thread may post; the frame runs what was posted on the user-interface thread.
    QPointer<CMainFrame> frame(m_pFrame.get());
    QObject* target = m_pPostTarget.get();
    m_pApp->SetUiWaker([target, frame] {
        QMetaObject::invokeMethod(
            target,
            [frame] {
                if (frame) frame->OnPosted();
            },
            Qt::QueuedConnection);
    });
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
    m_pPostTarget.reset();
}

int CZorvilProgram::Exec() {
    return QApplication::exec();
}

} // namespace zorvil
