// zorvil: the program a musician starts. Without arguments it opens the main window with the
// pattern sequencer; with the five fields of a batch render ("0 0 OUT.wav PROJECT.tsn TEMPO")
// it opens that project (or starts an empty one at that tempo), and Render To Wave (Ctrl+W)
// renders it into OUT.wav, saves the project back and quits.
//
// On a Wayland session the program runs through XWayland unless QT_QPA_PLATFORM says
// otherwise: plug-in editors are X11 windows and can be embedded only there.
#include "app/command_line.h"
#include "gui/app/zorvil_program.h"
#include "gui/host/x_error_log.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication qt(argc, argv); // takes Qt's own options (-platform ...) out of argv
    QApplication::setApplicationName(QStringLiteral("Zorvil"));
    QApplication::setOrganizationName(QStringLiteral("Ostrelworks"));
    // A plug-in editor's failed X request is logged, never the end of the program. Qt put in
    // its own handler while it connected: this one replaces it, before any editor opens.
    zorvil::InstallXErrorLog();
    zorvil::CZorvilProgram program(zorvil::JoinArguments(argc - 1, argv + 1));
    return program.Exec();
}
