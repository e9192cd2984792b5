#include "gui/sequencer/effect_button_bar.h"

#include "gui/app/images.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QToolButton>

namespace zorvil {

namespace {

QToolButton* MakeButton(QWidget* parent, const QPixmap& image, const QString& name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(QIcon(image));
    button->setIconSize(image.size());
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(false);
    return button;
}

} // namespace

CEffectButtonBar::CEffectButtonBar(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(3);
    m_pLoad = MakeButton(this, images::LoadButton(), QStringLiteral("loadEffect"));
    connect(m_pLoad, &QToolButton::clicked, this, &CEffectButtonBar::loadClicked);
    layout->addWidget(m_pLoad);
    for (int slot = 0; slot < kSlots; ++slot) {
        QToolButton* button = MakeButton(this, images::EffectButton(slot, false),
                                         QStringLiteral("effect%1").arg(slot + 1));
        // The digit is in the picture; the text names the button for assistive tools.
        button->setText(QString::number(slot + 1));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->hide();
        connect(button, &QToolButton::clicked, this, [this, slot] { emit slotClicked(slot); });
        layout->addWidget(button);
        m_slotButtons[static_cast<size_t>(slot)] = button;
    }
}

void CEffectButtonBar::SetState(int slot, int state) {
    if (slot < 0 || slot >= kSlots || state < kEmpty || state > kShown) return;
    QToolButton* button = m_slotButtons[static_cast<size_t>(slot)];
    m_states[static_cast<size_t>(slot)] = state;
    button->setIcon(QIcon(images::EffectButton(slot, state == kShown)));
    button->setVisible(state != kEmpty);
}

int CEffectButtonBar::State(int slot) const noexcept {
    return slot >= 0 && slot < kSlots ? m_states[static_cast<size_t>(slot)] : kEmpty;
}

QToolButton* CEffectButtonBar::SlotButton(int slot) const noexcept {
    return slot >= 0 && slot < kSlots ? m_slotButtons[static_cast<size_t>(slot)] : nullptr;
}

} // namespace zorvil
