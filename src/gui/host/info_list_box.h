// CInfoListBox: the information window's list of lines, which keeps the width of its widest
// line (its horizontal scroll extent) and the height of its tallest.
//
//     list->ClearLines();
//     list->AddLine("Effect #0: /usr/lib/vst/synth.so");
//     const int height = list->TotalHeight();
//
// Threads: the user-interface thread only.
#pragma once

#include <QListWidget>

namespace zorvil {

class CInfoListBox : public QListWidget {
    Q_OBJECT

public:
    explicit CInfoListBox(QWidget* parent = nullptr);

    void ClearLines();
    // The new line's index, or -1 when it could not be added.
    int AddLine(const QString& text);
    int TotalHeight() const noexcept;
    int WidestLine() const noexcept { return m_nWidest; }
    int TallestLine() const noexcept { return m_nTallest; }

private:
    int m_nWidest = 0;
    int m_nTallest = 0;
};

} // namespace zorvil
