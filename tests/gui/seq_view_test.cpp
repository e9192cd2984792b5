// CSeqView on Qt's offscreen platform: what it paints (pixels of a grabbed image at computed
// places), how its scroll bars move, and the mouse editing end to end into the pattern and its
// history, with the cursors each drag shows.
#include "gui/sequencer/seq_view.h"
#include "gui_application.h"
#include "sequencer/pattern.h"
#include "sequencer/pattern_history.h"

#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

using zorvil::CNoteCell;
using zorvil::CPattern;
using zorvil::CPatternHistory;
using zorvil::CSeqView;
using zorvil::CSeqViewPainter;
using zorvil::SeqViewLayout;

namespace {

constexpr int L = SeqViewLayout::kLeft, T = SeqViewLayout::kTop;
constexpr int W = SeqViewLayout::kCellWidth, H = SeqViewLayout::kCellHeight;

constexpr QRgb kRed = 0xFF0000, kYellow = CSeqViewPainter::kCellOutlineColour,
               kOrange = CSeqViewPainter::kGroupLineColour,
               kCell = CSeqViewPainter::kCellFillColour, kGrey = CSeqViewPainter::kBlackRowColour,
               kWhite = 0xFFFFFF, kDarkRed = 0x900000;

// Pixel colours without alpha, printed as hex when a check fails.
struct Rgb {
    QRgb value;
    friend bool operator==(Rgb a, Rgb b) { return (a.value & 0xFFFFFF) == (b.value & 0xFFFFFF); }
    friend std::ostream& operator<<(std::ostream& out, Rgb c) {
        return out << std::hex << "0x" << (c.value & 0xFFFFFF) << std::dec;
    }
};

// The middle of a view cell, and a point a given distance into it.
QPoint CellPoint(int column, int row, int dx = W / 2, int dy = H / 2) {
    return {L + column * W + dx, T + row * H + dy};
}

class SeqView : public ::testing::Test {
protected:
    SeqView() {
        view.resize(view.sizeHint());
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    QImage Grab() { return view.viewport()->grab().toImage(); }
    Rgb At(const QImage& image, int x, int y) { return {image.pixel(x, y)}; }
    QWidget* Surface() { return view.viewport(); }
    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(Surface(), button, {}, at);
    }
    void Release(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(Surface(), button, {}, at);
    }
    void MoveTo(QPoint at) { QTest::mouseMove(Surface(), at); }
    void Drag(QPoint from, const std::vector<QPoint>& via, QPoint to) {
        Press(from);
        for (const QPoint& p : via)
            MoveTo(p);
        MoveTo(to);
        Release(to);
    }
    Qt::CursorShape Cursor() { return Surface()->cursor().shape(); }
    // The row of the view that shows a key, at the first visible row 44.
    static int RowOf(int key) { return 127 - SeqViewLayout::kInitialFirstRow - key; }
    std::optional<CNoteCell> Cell(int step, int key) { return pattern.GetCell(step, key); }

    // The application exists before the first widget.
    QApplication& app = zorvil::test::GuiApplication();
    CPattern pattern;
    CPatternHistory history{pattern};
    CSeqView view{pattern, history};
    QSignalSpy edited{&view, &CSeqView::patternEdited};
};

// The grid, line by line, for measures of 16 steps (groups of 4), 6 (groups of 3), 10 (groups
// of 2) and 7 (no group lines): thin lines between cells, group lines, measure lines in red.
TEST_F(SeqView, PaintsTheGridWithTheLinesOfItsGroupsAndMeasures) {
    const struct { int steps, group; } layouts[] = {{16, 4}, {6, 3}, {10, 2}, {7, 0}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.steps);
        view.SetStepsPerMeasure(layout.steps);
        view.Redraw();
        const QImage image = Grab();
        EXPECT_EQ(view.Layout().groupSize, layout.group);
        for (int c = 0; c <= 2 * layout.steps; ++c) {
            const QRgb line = c % layout.steps == 0                        ? kRed
                              : layout.group != 0 && c % layout.group == 0 ? kOrange
                                                                           : kYellow;
            EXPECT_EQ(At(image, L + c * W, T + 5), Rgb{line}) << "line " << c;
        }
        if (layout.steps < 16) {
            EXPECT_EQ(At(image, L + 2 * layout.steps * W + 5, T + 5), Rgb{kWhite})
                << "past the end";
        }
    }
}

// The default view's other parts: cells, black-key rows, the key column, octave lines with
// their "C n" labels, the outer frame, and notes as bars in their velocity's colour with a white
// top-left and dark red bottom-right edge. (The measure numbers' boxes: the scroll test.)
TEST_F(SeqView, PaintsKeysOctavesTheFrameAndNotes) {
    ASSERT_TRUE(pattern.AddNote(2, 80, 127, 3));
    ASSERT_TRUE(pattern.AddNote(2, 78, 64, 1));
    ASSERT_TRUE(pattern.AddNote(2, 76, 0, 2));
    view.Redraw();
    const QImage image = Grab();
    const int x = L + 2 * W + 2, y = T + RowOf(78) * H + 2; // the top-left of the middle note
    // Row 0 shows key 83 (a B, white), row 1 key 82 (A#, black).
    const struct {
        QPoint at;
        QRgb colour;
        const char* what;
    } points[] = {
        {CellPoint(1, 0), kCell, "a white key's cell"},
        {CellPoint(1, 1), kGrey, "a black key's cell"},
        {{20, CellPoint(0, 0).y()}, kCell, "white key"},
        {{20, CellPoint(0, 1).y()}, kRed, "black key"},
        {{L + 3 * W + 5, T + 11 * H}, kYellow, "row line above key 72"},
        {{L + 3 * W + 5, T + 12 * H}, kRed, "octave line below key 72"},
        {{4, 200}, kRed, "the frame"},
        {CellPoint(4, RowOf(80)), 0xFF0100, "velocity 127"},
        {CellPoint(2, RowOf(78)), 0xFF7F00, "velocity 64"},
        {CellPoint(3, RowOf(76)), 0xFFFF00, "velocity 0"},
        {{x, y}, kWhite, "a note's top-left edge"},
        {{x + W - 4, y + 3}, kDarkRed, "a note's right edge"},
        {{x + 3, y + H - 4}, kDarkRed, "a note's bottom edge"},
    };
    for (const auto& point : points)
        EXPECT_EQ(At(image, point.at.x(), point.at.y()), Rgb{point.colour}) << point.what;
    // Pixels other than `background` in `area`.
    const auto ink = [&](QRect area, QRgb background) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += At(image, x, y) == Rgb{background} ? 0 : 1;
        return count;
    };
    // "C 6", "C 5", "C 4" just above the lower octave lines; nothing on the top line.
    for (int r : {12, 24, 36})
        EXPECT_GT(ink({14, T + r * H - 5, 26, 5}, kCell), 3) << "label at row " << r;
    EXPECT_EQ(ink({14, T - 6, 26, 6}, kWhite), 0) << "the top line has no label";
}

// Both bars: a page, the ends; the picture follows; changing measures keeps positions that still
// exist and pulls back one past the end.
TEST_F(SeqView, ScrollBarsFollowTheirRules) {
    QScrollBar* across = view.horizontalScrollBar();
    QScrollBar* down = view.verticalScrollBar();
    EXPECT_EQ(across->maximum(), 0) << "32 steps: nothing to scroll";
    EXPECT_EQ(down->maximum(), 128 - 36);

    view.SetMeasures(8);
    view.SetStepsPerMeasure(32);
    EXPECT_EQ(across->maximum(), 224);
    across->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view.Layout().firstColumn, 32);
    across->setValue(224);
    down->triggerAction(QAbstractSlider::SliderToMinimum);

    // The picture and the hit test follow: a click in column 0, row 0 adds at step 224, key 127.
    Press(CellPoint(0, 0));
    Release(CellPoint(0, 0));
    EXPECT_TRUE(Cell(224, 127).has_value());
    const QImage image = Grab();
    EXPECT_EQ(At(image, CellPoint(0, 0).x(), CellPoint(0, 0).y()), Rgb{0xFF0100});
    EXPECT_EQ(At(image, L + 1, T - H + 1), Rgb{kRed}) << "measure 8 starts at 224";

    // Fewer steps: a position that still exists stays, one past the end comes back.
    across->setValue(40);
    view.SetMeasures(4); // 128 steps: 40 still fits
    EXPECT_EQ(view.Layout().firstColumn, 40);
    view.SetMeasures(1); // 32 steps, all in view
    EXPECT_EQ(view.Layout().firstColumn, 0);
    EXPECT_EQ(across->maximum(), 0);
}

// Clicks: left on an empty cell adds a note of velocity 127, right on any cell of a note removes
// it; points on the grid's top and left lines or past its cells do nothing. Each is one step.
TEST_F(SeqView, ClicksAddAndRemoveNotes) {
    const int row = RowOf(60);
    Press(CellPoint(5, row));
    Release(CellPoint(5, row));
    EXPECT_EQ(Cell(5, 60), (CNoteCell{127, 1, 1}));
    EXPECT_EQ(edited.count(), 1);
    ASSERT_TRUE(history.Undo());
    EXPECT_FALSE(Cell(5, 60).has_value());

    ASSERT_TRUE(history.AddNote(10, 60, 90, 3));
    Press(CellPoint(12, row), Qt::RightButton);
    EXPECT_FALSE(Cell(10, 60).has_value());
    Press(CellPoint(12, row), Qt::RightButton); // empty now
    EXPECT_EQ(edited.count(), 2);
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(Cell(10, 60), (CNoteCell{90, 3, 1}));

    // Outside the grid: on the left and top lines, in the key column, under the last row.
    const int before = pattern.GetNoteCount();
    for (const QPoint at :
         {QPoint(L, T + 5), QPoint(L + 5, T), QPoint(20, T + 5), QPoint(L + 5, T - 5),
          QPoint(L + 5, T + 36 * H + 1), QPoint(L + 32 * W + 1, T + 5)}) {
        Press(at);
        Release(at);
    }
    EXPECT_EQ(pattern.GetNoteCount(), before);
    // Just inside the corner.
    Press({L + 1, T + 1});
    Release({L + 1, T + 1});
    EXPECT_TRUE(Cell(0, 83).has_value());
}

// Each drag from the same four notes: where on the note the press lands chooses the drag (the
// end third resizes, the first moves, the middle changes the velocity), what the release leaves,
// one undo step for a change and none for a refusal, and undo brings the four notes back.
TEST_F(SeqView, DragsResizeMoveAndChangeVelocityAsOneUndoStepEach) {
    const int row = RowOf(60), top = T + row * H;
    ASSERT_TRUE(history.AddNote(2, 60, 100, 3));
    ASSERT_TRUE(history.AddNote(12, 60, 50, 2));
    ASSERT_TRUE(history.AddNote(10, 64, 40, 1));
    ASSERT_TRUE(history.AddNote(8, 61, 50, 2)); // alone on its row
    const auto notes = [&] {
        return std::vector{Cell(2, 60), Cell(12, 60), Cell(10, 64), Cell(8, 61)};
    };
    const auto start = notes();
    // Pressed on the note's end, on its body, in its middle; the other note's place; the row's
    // top and bottom pixels.
    const QPoint e = CellPoint(4, row, 20), b = CellPoint(2, row, 3), m = CellPoint(3, row);
    const QPoint other = CellPoint(9, RowOf(64), 3);
    const QPoint rowTop = CellPoint(3, row, 2, 0), rowBottom = CellPoint(4, row, 2, 11);
    const struct {
        QPoint from;
        std::vector<QPoint> via;
        QPoint to;
        int step, key, velocity, length; // what the release leaves there; velocity -1: nothing
    } drags[] = {
        // Resizing stops before the next note on the row; released left of the note, one step.
        {e, {CellPoint(20, row + 3)}, CellPoint(25, row), 2, 60, 100, 10},
        {e, {CellPoint(6, row)}, CellPoint(0, row), 2, 60, 100, 1},
        // Alone on its row: up to the last visible column.
        {CellPoint(9, RowOf(61), 20), {}, CellPoint(31, RowOf(61)), 8, 61, 50, 24},
        // Moving onto another note is refused; over its own cells to free ones is fine; the
        // note stays inside the view.
        {b, {}, other, 2, 60, -1, 0},
        {b, {other, CellPoint(3, row, 3)}, CellPoint(20, RowOf(62), 3), 20, 62, 100, 3},
        {b, {}, {L + 40 * W, T - 50}, 29, 83, 100, 3},
        // Velocity: a release on the row keeps it; one per pixel above or below, within 0-127.
        {m, {rowTop, rowBottom}, CellPoint(3, row, 5, 1), 2, 60, -1, 0},
        {m, {}, {m.x(), top - 60}, 2, 60, 127, 3},
        {m, {}, {m.x() + 100, top + H - 1 + 40}, 2, 60, 60, 3},
        {m, {}, {m.x(), top + H - 1 + 500}, 2, 60, 0, 3},
    };
    for (size_t i = 0; i < std::size(drags); ++i) {
        const auto& drag = drags[i];
        SCOPED_TRACE("drag " + std::to_string(i));
        const size_t steps = history.UndoCount();
        const int edits = edited.count();
        Drag(drag.from, drag.via, drag.to);
        const int changed = drag.velocity >= 0 ? 1 : 0;
        if (changed) {
            EXPECT_EQ(Cell(drag.step, drag.key), (CNoteCell{drag.velocity, drag.length, 1}));
        }
        EXPECT_EQ(pattern.GetNoteCount(), 4);
        EXPECT_EQ(history.UndoCount(), steps + changed);
        EXPECT_EQ(edited.count(), edits + changed);
        if (changed) {
            ASSERT_TRUE(history.Undo());
        }
        EXPECT_EQ(notes(), start);
    }
}

// While the button is down the pattern is unchanged and the view shows the drag's result: the
// longer note, the moved note (the forbidden cursor over another note). The right button and the
// wheel do nothing until the drag ended.
TEST_F(SeqView, DragsShowTheirResultBeforeTheReleaseAndHoldOffOtherInput) {
    const int row = RowOf(60);
    ASSERT_TRUE(history.AddNote(2, 60, 100, 3));
    ASSERT_TRUE(history.AddNote(12, 60, 50, 2));
    ASSERT_TRUE(history.AddNote(10, 64, 40, 1));
    const auto shows = [&](QPoint at) { return At(Grab(), at.x(), at.y()); };
    const auto wheel = [&](QPoint at) {
        QWheelEvent event(at, Surface()->mapToGlobal(at), {}, {0, -120}, Qt::LeftButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(Surface(), &event);
    };

    Press(CellPoint(4, row, 20));
    EXPECT_EQ(view.Drag().DragValue(), 11) << "the end limit";
    MoveTo(CellPoint(7, row));
    EXPECT_EQ(shows(CellPoint(7, row)), Rgb{0xFF3700});
    EXPECT_FALSE(Cell(7, 60).has_value());
    MoveTo(CellPoint(4, row)); // back: the release changes nothing
    Release(CellPoint(4, row));

    Press(CellPoint(2, row, 3));
    MoveTo(CellPoint(9, RowOf(64), 3)); // would cover steps 9-11 of key 64
    EXPECT_EQ(Cursor(), Qt::ForbiddenCursor);
    EXPECT_FALSE(view.Drag().MoveTargetFree());
    MoveTo(CellPoint(3, row, 3));
    EXPECT_EQ(Cursor(), Qt::SizeAllCursor);
    MoveTo(CellPoint(20, RowOf(62), 3));
    EXPECT_EQ(shows(CellPoint(21, RowOf(62))), Rgb{0xFF3700});
    EXPECT_EQ(shows(CellPoint(3, row)), Rgb{kCell});
    EXPECT_TRUE(Cell(2, 60).has_value());
    Press(CellPoint(12, row), Qt::RightButton);
    Release(CellPoint(12, row), Qt::RightButton);
    EXPECT_TRUE(Cell(12, 60).has_value());
    wheel(CellPoint(8, row));
    EXPECT_EQ(view.Layout().firstRow, 44);
    MoveTo(CellPoint(2, row, 3));
    Release(CellPoint(2, row, 3));

    EXPECT_EQ(Cell(2, 60), (CNoteCell{100, 3, 1})) << "the drags changed nothing";
    wheel(CellPoint(8, row));
    EXPECT_GT(view.Layout().firstRow, 44);
}

// A note whose start lies left of the view is drawn from the view's edge and can be dragged;
// a note running past the right edge is cut at the grid's border.
TEST_F(SeqView, NotesAcrossTheViewsEdgesAreCut) {
    view.SetMeasures(4);
    ASSERT_TRUE(history.AddNote(28, 60, 127, 8)); // steps 28-35
    view.horizontalScrollBar()->setValue(30);
    QImage image = Grab();
    const int row = RowOf(60), y = CellPoint(0, row).y();
    EXPECT_EQ(At(image, CellPoint(5, row).x(), y), Rgb{0xFF0100});
    EXPECT_EQ(At(image, L, y), Rgb{kRed}) << "the left border stays";
    EXPECT_EQ(At(image, L + 1, y), Rgb{0xFF0100});
    EXPECT_EQ(At(image, CellPoint(6, row).x(), y), Rgb{kCell});

    view.horizontalScrollBar()->setValue(0);
    image = Grab();
    EXPECT_EQ(At(image, L + 32 * W, y), Rgb{kRed}) << "the right border";
    EXPECT_EQ(At(image, L + 32 * W - 1, y), Rgb{0xFF0100});

    // Pressed from the right, its last cell in the view at column 5 (step 35): a resize.
    view.horizontalScrollBar()->setValue(30);
    Drag(CellPoint(5, row, 20), {}, CellPoint(9, row));
    EXPECT_EQ(Cell(28, 60), (CNoteCell{127, 12, 1}));
}

} // namespace
