// CSeqView: the piano-roll editor of the pattern, the only child of the sequencer frame.
//
// It shows up to 32 steps (columns) by 36 keys (rows, highest on top) of the grid, with the
// key column on the left and the measure numbers above, and scrolls over the rest with its two
// scroll bars (a line, a page of 32 steps or 36 keys, or the thumb). The user edits with the
// mouse only (CSeqViewDrag says how); every edit goes through the pattern's history, so each
// click or drag is one undo step, and the view repaints after each and emits patternEdited.
//
// The view keeps copies of the tempo, the measures and the steps per measure; the frame sets
// them through the three setters (which also set the pattern's values) and then calls Redraw.
// The three parts stay apart as in Qt's own examples: SeqViewLayout is the view's model of
// what lies where, CSeqViewPainter draws, CSeqViewDrag handles the buttons; this class wires
// them to the widget and its scroll bars.
//
//     CSeqView view(app.Pattern(), app.PatternHistory(), frame);
//     view.SetMeasures(4);
//     view.Redraw();
//     connect(&view, &CSeqView::patternEdited, frame, &Frame::updateEditMenu);
//
// User-interface thread only.
#pragma once

#include "gui/sequencer/seq_view_drag.h"
#include "gui/sequencer/seq_view_layout.h"
#include "gui/sequencer/seq_view_painter.h"
#include "sequencer/pattern.h"
#include "sequencer/pattern_history.h"

#include <QAbstractScrollArea>

namespace zorvil {

class CSeqView : public QAbstractScrollArea {
    Q_OBJECT
public:
    CSeqView(CPattern& pattern, CPatternHistory& history, QWidget* parent = nullptr);

    // As the frame's tempo bar and "set sequencer values" call them: each sets the pattern's
    // value (clamped), keeps the view's copy, recomputes what depends on it.
    void SetTempo(int tempo);
    void SetMeasures(int measures);
    void SetStepsPerMeasure(int steps);
    // Invalidates and repaints the whole view.
    void Redraw();

    int GetTempo() const noexcept { return m_nTempo; }
    const SeqViewLayout& Layout() const noexcept { return m_layout; }
    const CSeqViewDrag& Drag() const noexcept { return m_drag; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // After every mouse edit that changed the pattern.
    void patternEdited();

protected:
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Scrolling waits while a drag runs: the drag's columns and rows are the view's.
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void RefreshPatternValues();
    void UpdateScrollBars();
    void Apply(const CSeqViewDrag::Outcome& outcome);

    CPattern& m_pattern;
    CSeqViewDrag m_drag;
    CSeqViewPainter m_painter;
    SeqViewLayout m_layout;
    int m_nTempo = CPattern::kDefaultTempo;
};

} // namespace zorvil
