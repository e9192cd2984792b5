// CStatusPanes: the status bar's panes right of the message pane, left to right: the devices
// that stopped working (empty while every device works), the MIDI activity light ("MIDI"), the play
// position, and the lock indicators CAP, NUM and SCRL. Each pane is as wide as its indicator text
// ("MIDI  ", "Current playback position  ", "CAP", ...); a lock pane shows its text only while its
// lock is on.
//
//     CStatusPanes panes(statusBar());
//     panes.SetPosition(pattern.GetPosition(), pattern.GetStepsPerMeasure());
//     panes.SetMidiLight(ui.TakeMidiActivity());
//
// Threads: the user-interface thread.
#pragma once

#include "gui/app/lock_indicators.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

class QLabel;
class QStatusBar;

namespace zorvil {

// "  Measure : %d  -  Step : %d", both counted from 1.
QString PositionText(int position, int stepsPerMeasure);

class CStatusPanes {
public:
    static constexpr const char* kMidiIndicator = "MIDI  ";
    static constexpr const char* kPositionIndicator = "Current playback position  ";

    explicit CStatusPanes(QStatusBar* bar);

    void SetMidiLight(bool lit);
    bool MidiLightLit() const noexcept { return m_bMidiLit; }
    void SetPosition(int position, int stepsPerMeasure);
    // The devices that stopped (CZorvilApp::LostDevices), named with the way back; none: empty.
    void SetLostDevices(const std::vector<std::string>& devices);
    // Nothing known (no X display): the lock panes stay empty.
    void SetLocks(const std::optional<LockIndicators>& locks);

    QLabel* LostDevicesPane() const noexcept { return m_pLostDevices; }
    QLabel* MidiPane() const noexcept { return m_pMidiIcon; }
    QLabel* PositionPane() const noexcept { return m_pPosition; }
    QLabel* CapsPane() const noexcept { return m_pCaps; }
    QLabel* NumPane() const noexcept { return m_pNum; }
    QLabel* ScrollPane() const noexcept { return m_pScroll; }

private:
    QLabel* AddTextPane(QStatusBar* bar, const QString& indicator);

    QLabel* m_pLostDevices = nullptr;
    QLabel* m_pMidiIcon = nullptr;
    QLabel* m_pPosition = nullptr;
    QLabel* m_pCaps = nullptr;
    QLabel* m_pNum = nullptr;
    QLabel* m_pScroll = nullptr;
    bool m_bMidiLit = true; // so that the first SetMidiLight(false) draws the dark light
};

} // namespace zorvil
