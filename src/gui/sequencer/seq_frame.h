// CSeqFrame: the "Pattern Sequencer" child window, whose only content is the piano roll
// (CSeqView). It sits at the top left of the main window's child area, 786 x 510 pixels, has no
// close, minimise or maximise box and cannot be resized; each activation puts it back in its
// place, and it refuses to close (it lives as long as the main window). The keyboard focus it
// gets goes to the view.
//
//     auto* frame = new CSeqFrame(app.Pattern(), app.PatternHistory());
//     mdiArea->addSubWindow(frame);
//     frame->View()->Redraw();
//
// Threads: the user-interface thread.
#pragma once

#include <QMdiSubWindow>

namespace zorvil {

class CPattern;
class CPatternHistory;
class CSeqView;

class CSeqFrame : public QMdiSubWindow {
    Q_OBJECT

public:
    static constexpr int kWidth = 786;
    static constexpr int kHeight = 510;
    static constexpr const char* kTitle = "Pattern Sequencer";

    CSeqFrame(CPattern& pattern, CPatternHistory& history, QWidget* parent = nullptr);

    CSeqView* View() const noexcept { return m_pView; }
    // Back to (0, 0) of the child area, 786 x 510.
    void MoveAndSize();

protected:
    void closeEvent(QCloseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    CSeqView* m_pView;
};

} // namespace zorvil
