#include "gui/host/effect_menu.h"

#include "app/command_ids.h"
#include "gui/app/commands.h"
#include "gui/host/child_frame.h"
#include "gui/host/program_dialogs.h"

#include <QMenu>
#include <QMenuBar>

namespace zorvil {

QMenu* AddEffectMenu(QMenuBar& bar, CCommands& commands,
                     std::function<CChildFrame*()> activeFrame) {
    QMenu* menu = bar.addMenu(QObject::tr("E&ffect"));
    menu->setObjectName(QStringLiteral("effectMenu"));
    for (const uint32_t id :
         {command::kRenamePreset, command::kLoadBank, command::kSaveBank, command::kSaveBankAs,
          command::kOpenEditor, command::kEditParameters, command::kMidiChannels})
        menu->addAction(commands.Action(id));
    QMenu* programs = menu->addMenu(QObject::tr("&Programs"));
    programs->setObjectName(QStringLiteral("programsMenu"));
    QObject::connect(menu, &QMenu::aboutToShow, menu, [programs, activeFrame] {
        programs->menuAction()->setEnabled(activeFrame() != nullptr);
    });
    QObject::connect(programs, &QMenu::aboutToShow, programs, [programs, activeFrame] {
        programs->clear();
        if (CChildFrame* frame = activeFrame()) BuildProgramsMenu(*programs, *frame);
    });
    return menu;
}

} // namespace zorvil
