#include "gui/host/program_dialogs.h"

#include "app/effect_programs.h"
#include "gui/app/main_frame.h"
#include "gui/app/qt_text.h"
#include "gui/host/child_frame.h"
#include "gui/host/effect_wnd.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace zorvil {

namespace {

CEffect* EffectOf(CZorvilApp& app, int slot) {
    return slot >= 0 ? app.Host().GetEffect(slot) : nullptr;
}

// A menu shows "&" as the mark of its shortcut letter; a program's name means it as it is.
QString MenuText(const std::string& text) {
    return ToQString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

void BuildProgramsMenu(QMenu& menu, CChildFrame& frame) {
    const QList<QAction*> actions = menu.actions();
    for (qsizetype position = actions.size() - 1; position >= 2; --position) {
        QAction* action = actions[position];
        if (action->menu() == nullptr && action->data().toUInt() != command::kFirstProgram)
            continue;
        menu.removeAction(action);
        if (QMenu* submenu = action->menu(); submenu != nullptr && submenu->parent() == &menu)
            submenu->deleteLater();
    }
    CEffect* effect = EffectOf(frame.App(), frame.EffectIndex());
    if (effect == nullptr) return;
    const ProgramMenu programs = BuildProgramMenu(*effect);
    const QPointer<CChildFrame> target(&frame);
    for (const ProgramMenu::Group& group : programs.groups) {
        QMenu* submenu = menu.addMenu(ToQString(group.title));
        for (const ProgramMenu::Item& item : group.items) {
            QAction* action = submenu->addAction(MenuText(item.text));
            action->setData(item.id);
            if (item.id == programs.checkedId) {
                action->setCheckable(true);
                action->setChecked(true);
            }
            QObject::connect(action, &QAction::triggered, &frame, [target, id = item.id] {
                if (target) target->OnEffectCommand(id);
            });
        }
    }
}

void ShowProgramsPopup(CChildFrame& frame) {
    CEffect* effect = EffectOf(frame.App(), frame.EffectIndex());
    QMdiSubWindow* active = frame.MainFrame().MdiArea()->activeSubWindow();
    if (effect == nullptr || !HasProgramChoice(*effect) || active == nullptr) return;
    QMenu popup(active);
    BuildProgramsMenu(popup, frame);
    // Over the child's client area, just inside its frame.
    const QMargins frameMargins = active->contentsMargins();
    popup.exec(active->mapToGlobal(QPoint(frameMargins.left() - 1, frameMargins.top() - 1)));
}

void RenamePreset(CEffectWnd& window) {
    CEffect* effect = EffectOf(window.App(), window.EffectIndex());
    if (effect == nullptr) return;
    CRenamePresetDialog dialog(ToQString(CurrentProgramName(*effect)), &window);
    if (dialog.exec() != QDialog::Accepted) return;
    // The plug-in may have gone while the dialog was open.
    effect = EffectOf(window.App(), window.EffectIndex());
    if (effect == nullptr) return;
    RenameCurrentProgram(*effect, dialog.Name().toStdString());
    window.UpdateTitle();
}

void EditMidiChannels(CChildFrame& frame) {
    CSeqEffect* effect =
        frame.EffectIndex() >= 0 ? frame.App().Host().GetSeqEffect(frame.EffectIndex()) : nullptr;
    if (effect == nullptr) return;
    CMidiChannelsDialog dialog(effect->m_wChannelMask.load(), &frame.MainFrame());
    if (dialog.exec() != QDialog::Accepted) return;
    if (CSeqEffect* still = frame.App().Host().GetSeqEffect(frame.EffectIndex()))
        still->m_wChannelMask.store(dialog.Mask());
}

CRenamePresetDialog::CRenamePresetDialog(const QString& name, QWidget* parent)
    : QDialog(parent), m_pEdit(new QLineEdit(name, this)) {
    setWindowTitle(tr("Rename preset"));
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_pEdit->setMinimumWidth(m_pEdit->fontMetrics().averageCharWidth() * 32);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_pEdit, 1, Qt::AlignTop);
    layout->addWidget(buttons);
    m_pEdit->selectAll();
}

QString CRenamePresetDialog::Name() const {
    return m_pEdit->text();
}

CMidiChannelsDialog::CMidiChannelsDialog(uint16_t mask, QWidget* parent)
    : QDialog(parent), m_wMask(mask) {
    setWindowTitle(tr("MIDI Channels"));
    auto* grid = new QGridLayout;
    const ChannelBoxes checked = ChannelBoxesFromMask(mask);
    for (int n = 0; n < 16; ++n) {
        auto* box = new QCheckBox(QString::number(n + 1), this);
        box->setChecked(checked[static_cast<size_t>(n)]);
        // Channels 1 to 4 down the first column, 5 to 8 down the second, and so on.
        grid->addWidget(box, n % 4, n / 4);
        m_boxes[static_cast<size_t>(n)] = box;
    }
    auto* setAll = new QPushButton(tr("Set All"), this);
    auto* clearAll = new QPushButton(tr("Clear All"), this);
    connect(setAll, &QPushButton::clicked, this, [this] { SetAll(true); });
    connect(clearAll, &QPushButton::clicked, this, [this] { SetAll(false); });
    auto* allButtons = new QHBoxLayout;
    allButtons->addWidget(setAll);
    allButtons->addWidget(clearAll);
    allButtons->addStretch();

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(tr("Effect accepts input from the following MIDI channels:"), this));
    left->addLayout(grid);
    left->addLayout(allButtons);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(buttons, 0, Qt::AlignTop);
}

void CMidiChannelsDialog::SetAll(bool checked) {
    for (QCheckBox* box : m_boxes)
        box->setChecked(checked);
}

void CMidiChannelsDialog::accept() {
    ChannelBoxes boxes{};
    for (size_t n = 0; n < boxes.size(); ++n)
        boxes[n] = m_boxes[n]->isChecked();
    m_wMask = ChannelMaskFromBoxes(boxes);
    QDialog::accept();
}

} // namespace zorvil
