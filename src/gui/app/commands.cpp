#include "gui/app/commands.h"

#include "gui/app/command_table.h"
#include "gui/app/qt_text.h"

#include <QKeySequence>
#include <QList>
#include <QString>
#include <QWidget>

namespace zorvil {

namespace {

constexpr const char* kIdProperty = "zorvilCommand";

} // namespace

CCommands::CCommands(QWidget* window) : QObject(window) {
    for (const CommandEntry& entry : CommandTable()) {
        auto* action = new QAction(ToQString(entry.text), this);
        action->setProperty(kIdProperty, QVariant::fromValue(entry.id));
        action->setStatusTip(ToQString(entry.StatusPrompt()));
        if (!entry.ToolTip().empty()) action->setToolTip(ToQString(entry.ToolTip()));
        QList<QKeySequence> keys;
        for (std::string_view key : entry.keys)
            if (!key.empty())
                keys.append(QKeySequence::fromString(ToQString(key), QKeySequence::PortableText));
        if (!keys.isEmpty()) {
            action->setShortcuts(keys);
            action->setShortcutContext(Qt::WindowShortcut);
            window->addAction(action);
        }
        const uint32_t id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { emit triggered(id); });
        m_actions.push_back(action);
    }
}

QAction* CCommands::Action(uint32_t id) const {
    for (QAction* action : m_actions)
        if (IdOf(action) == id) return action;
    return nullptr;
}

uint32_t CCommands::IdOf(const QAction* action) {
    if (action == nullptr) return 0;
    const QVariant id = action->property(kIdProperty);
    return id.isValid() ? id.value<uint32_t>() : 0;
}

} // namespace zorvil
