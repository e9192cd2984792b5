// CSeqViewDrag: what the piano roll's mouse buttons do, apart from any widget.
//
// A left click on an empty cell adds a one-step note of velocity 127; a right click on a note
// removes it. A left press on a note starts a drag, chosen by where in the note it lands: on
// the last cell's right third (of the whole note's width) it resizes the note, up to the
// column before the next note on the row (or the last visible column); in the middle third it
// changes the velocity, one per pixel that the pointer goes above (louder) or below (softer)
// the note's row; in the left third it moves the note, anywhere it fits in the view (the
// forbidden cursor shows while the place is taken; releasing there leaves everything as it
// was). Releasing the button makes the drag's one edit, through the history: one undo step.
//
//     CSeqViewDrag drag(history, pattern);
//     auto outcome = drag.LeftDown(layout, x, y);  // on mouse press; then Move, LeftUp
//     if (outcome.cursor) widget.setCursor(...);
//     if (outcome.edited) emit patternEdited();
//
// Coordinates are the view's client coordinates; columns and rows are the view's (see
// SeqViewLayout). The layout must not scroll during a drag (the view ignores scrolling then).
#pragma once

#include "gui/sequencer/seq_view_layout.h"
#include "gui/sequencer/seq_view_painter.h"
#include "sequencer/pattern.h"
#include "sequencer/pattern_history.h"

#include <optional>

namespace zorvil {

enum class SeqViewCursor { Arrow, SizeWE, SizeNS, SizeAll, No };

class CSeqViewDrag {
public:
    enum class Mode { Idle, Resizing, ChangingVelocity, Moving };
    static constexpr int kNewNoteVelocity = 127;

    CSeqViewDrag(CPatternHistory& history, const CPattern& pattern)
        : m_history(history), m_pattern(pattern) {}

    // What the view has to do after a mouse event.
    struct Outcome {
        bool edited = false; // the pattern changed: tell the listeners
        bool redraw = false; // repaint the whole view
        std::optional<SeqViewCursor> cursor;
        // View rows whose drag feedback changed (-1: none); only these need repainting.
        int changedRows[2] = {-1, -1};
    };
    Outcome LeftDown(const SeqViewLayout& layout, int x, int y);
    Outcome Move(const SeqViewLayout& layout, int x, int y);
    Outcome LeftUp(const SeqViewLayout& layout, int x);
    Outcome RightDown(const SeqViewLayout& layout, int x, int y);

    Mode GetMode() const noexcept { return m_mode; }
    bool IsDragging() const noexcept { return m_mode != Mode::Idle; }
    // The pressed note as the drag would leave it now, while a drag runs.
    std::optional<SeqViewPreview> Preview() const;
    bool MoveTargetFree() const noexcept { return m_bMoveTargetFree; }
    // The end limit (resizing, a view column), the note's length (moving) or the new velocity.
    int DragValue() const noexcept { return m_nDragValue; }

private:
    // Runs an edit through the history; true when it changed the pattern.
    template <class Edit>
    bool Edited(Edit&& edit);
    void MoveResize(const SeqViewLayout& layout, int x, int y, Outcome& outcome);
    void MoveMove(const SeqViewLayout& layout, int x, int y, Outcome& outcome);
    void MoveVelocity(int y, Outcome& outcome);
    // Whether the cells of a `length`-step note at (column, row) hold no note but the pressed.
    bool TargetFree(const SeqViewLayout& layout, int column, int row, int length) const;
    Outcome Finish(bool edited);

    CPatternHistory& m_history;
    const CPattern& m_pattern;

    Mode m_mode = Mode::Idle;
    bool m_bMoveTargetFree = true;
    int m_nDragVelocity = kNewNoteVelocity; // the pressed note's velocity
    int m_nLength = 1;                      // and its length
    int m_nPressedStep = 0;                 // the pressed note's first step and key
    int m_nPressedKey = 0;
    int m_nStartColumn = 0; // view column of the pressed note's first cell (may be negative)
    int m_nPressedRow = 0;
    int m_nPreviewColumn = 0;
    int m_nPreviewRow = 0;
    bool m_bResizeShown = false; // the pointer has chosen a new end since the press
    int m_nDragValue = 0;
};

} // namespace zorvil
