// CEffectButtonBar: the load button, then one button per effect slot (1 to 4).
//
// A slot's button shows the state of its effect: 0 no effect (the button is hidden), 1 loaded
// with its windows hidden (the digit grey on grey), 2 loaded with its windows shown (dark green
// on bright green). Clicks are reported by slot; the buttons never take the keyboard focus.
//
//     bar->SetState(0, CEffectButtonBar::kShown);
//     connect(bar, &CEffectButtonBar::slotClicked, frame, &CMainFrame::OnEffectButton);
//
// Threads: the user-interface thread.
#pragma once

#include <QWidget>

#include <array>

class QToolButton;

namespace zorvil {

class CEffectButtonBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSlots = 4;
    static constexpr int kEmpty = 0;
    static constexpr int kHidden = 1;
    static constexpr int kShown = 2;

    explicit CEffectButtonBar(QWidget* parent = nullptr);

    // Slot 0-3, state 0-2; anything else is ignored (the main frame reports it).
    void SetState(int slot, int state);
    int State(int slot) const noexcept;

    QToolButton* LoadButton() const noexcept { return m_pLoad; }
    QToolButton* SlotButton(int slot) const noexcept;

signals:
    void loadClicked();
    void slotClicked(int slot);

private:
    QToolButton* m_pLoad;
    std::array<QToolButton*, kSlots> m_slotButtons{};
    std::array<int, kSlots> m_states{};
};

} // namespace zorvil
