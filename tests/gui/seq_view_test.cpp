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

using zorvil::CNoteCell;
using zorvil::CPattern;
using zorvil::CPatternHistory;
using zorvil::CSeqView;
using zorvil::CSeqViewDrag;
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
    void Drag(QPoint from, std::initializer_list<QPoint> via, QPoint to) {
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

// The grid of the default pattern: cells, outlines, black-key rows, the group, measure and
// octave lines, the key column, its labels and the measure numbers, the outer frame.
TEST_F(SeqView, PaintsTheGridOfTheDefaultPattern) {
    EXPECT_EQ(view.Layout().visibleColumns, 32);
    const QImage image = Grab();
    ASSERT_GE(image.width(), 758);
    ASSERT_GE(image.height(), 465);

    // Row 0 shows key 83 (a B, white), row 1 key 82 (A#, black).
    EXPECT_EQ(At(image, CellPoint(1, 0).x(), CellPoint(1, 0).y()), Rgb{kCell});
    EXPECT_EQ(At(image, CellPoint(1, 1).x(), CellPoint(1, 1).y()), Rgb{kGrey});
    EXPECT_EQ(At(image, 20, CellPoint(0, 0).y()), Rgb{kCell}) << "white key";
    EXPECT_EQ(At(image, 20, CellPoint(0, 1).y()), Rgb{kRed}) << "black key";
    EXPECT_EQ(At(image, 10, CellPoint(0, 0).y()), Rgb{kRed}) << "key column outline";
    EXPECT_EQ(At(image, 9, CellPoint(0, 0).y()), Rgb{kWhite});
    // Outlines shared between cells: columns 1-3, rows 1-2.
    for (int c = 1; c < 4; ++c)
        EXPECT_EQ(At(image, L + c * W, T + 5), Rgb{kYellow}) << "column line " << c;
    EXPECT_EQ(At(image, L + W + 5, T + H), Rgb{kYellow});
    EXPECT_EQ(At(image, L + W + 5, T + 2 * H), Rgb{kYellow});
    // Groups of 4, measures of 16: lines at 4, 8, 12 orange, at 0, 16, 32 red.
    for (int c : {4, 8, 12, 20, 24, 28})
        EXPECT_EQ(At(image, L + c * W, T + 5), Rgb{kOrange}) << "group line " << c;
    for (int c : {0, 16, 32})
        EXPECT_EQ(At(image, L + c * W, T + 100), Rgb{kRed}) << "measure line " << c;
    // Octave lines on the top edge (row index 44) and below keys 72, 60 and 48 (rows 12, 24, 36).
    for (int r : {12, 24, 36})
        EXPECT_EQ(At(image, L + 3 * W + 5, T + r * H), Rgb{kRed}) << "octave line " << r;
    EXPECT_EQ(At(image, L + 3 * W + 5, T + 11 * H), Rgb{kYellow});

    // "C 6", "C 5", "C 4" on the three lower octave lines (text just above each line, where
    // the key column is otherwise empty), nothing on the top line.
    const auto inkIn = [&](int top, int bottom, QRgb background) {
        int count = 0;
        for (int y = top; y <= bottom; ++y)
            for (int x = 14; x < 40; ++x)
                count += At(image, x, y) == Rgb{background} ? 0 : 1;
        return count;
    };
    for (int r : {12, 24, 36})
        EXPECT_GT(inkIn(T + r * H - 5, T + r * H - 1, kCell), 3) << "label at row " << r;
    EXPECT_EQ(inkIn(T - 6, T - 1, kWhite), 0) << "the top line has no label";

    // Measure numbers: red boxes over columns 0 and 16 with text in the cell colour; the rest
    // of the header band is an empty cell-coloured band.
    const auto textIn = [&](int column) {
        int red = 0, text = 0;
        for (int y = T - H + 1; y < T; ++y)
            for (int x = L + column * W + 1; x < L + (column + 1) * W; ++x) {
                red += At(image, x, y) == Rgb{kRed} ? 1 : 0;
                text += At(image, x, y) == Rgb{kCell} ? 0 : 1;
            }
        return std::pair(red, text);
    };
    for (int c : {0, 16}) {
        EXPECT_GT(textIn(c).first, 100) << "measure box " << c;
        EXPECT_LT(textIn(c).first, 21 * 11) << "number in box " << c;
    }
    EXPECT_EQ(textIn(1).second, 0);
    EXPECT_EQ(At(image, L + 5, T - H), Rgb{kRed});

    // The outer frame at (4, 4), 750 x 457, red on all four sides; white inside and outside.
    const QRect frame = CSeqViewPainter::FrameRect(view.Layout());
    EXPECT_EQ(frame, QRect(4, 4, 750, 457));
    EXPECT_EQ(At(image, 4, 200), Rgb{kRed});
    EXPECT_EQ(At(image, 753, 200), Rgb{kRed});
    EXPECT_EQ(At(image, 300, 4), Rgb{kRed});
    EXPECT_EQ(At(image, 300, 460), Rgb{kRed});
    EXPECT_EQ(At(image, 5, 200), Rgb{kWhite});
    EXPECT_EQ(At(image, 755, 200), Rgb{kWhite});
}

// Notes are bars in their velocity's colour with a white top-left and dark red bottom-right edge,
// inside their cells.
TEST_F(SeqView, PaintsNotesInTheirVelocitysColour) {
    ASSERT_TRUE(pattern.AddNote(2, 80, 127, 3));
    ASSERT_TRUE(pattern.AddNote(2, 78, 64, 1));
    ASSERT_TRUE(pattern.AddNote(2, 76, 0, 2));
    view.Redraw();
    const QImage image = Grab();
    const struct {
        int key, length;
        QRgb colour;
    } notes[] = {{80, 3, 0xFF0100}, {78, 1, 0xFF7F00}, {76, 2, 0xFFFF00}};
    for (const auto& note : notes) {
        SCOPED_TRACE(note.key);
        const int x = L + 2 * W + 2, y = T + RowOf(note.key) * H + 2;
        const int right = x + note.length * W - 4, bottom = y + H - 4;
        EXPECT_EQ(At(image, x + 5, y + 4), Rgb{note.colour});
        EXPECT_EQ(At(image, right - 1, bottom - 1), Rgb{note.colour});
        EXPECT_EQ(At(image, x, y), Rgb{kWhite});
        EXPECT_EQ(At(image, x, bottom - 1), Rgb{kWhite});
        EXPECT_EQ(At(image, right, y + 3), Rgb{kDarkRed});
        EXPECT_EQ(At(image, x + 3, bottom), Rgb{kDarkRed});
        // One pixel off the bar: the cell around it.
        EXPECT_NE(At(image, x - 1, y + 3), Rgb{note.colour});
        EXPECT_NE(At(image, right + 1, y + 3), Rgb{note.colour});
        EXPECT_NE(At(image, x + 3, bottom + 1), Rgb{note.colour});
    }
}

// 6 steps a measure: groups of 3; 10 steps: groups of 2; 7: no group lines.
TEST_F(SeqView, GroupLinesFollowTheStepsPerMeasure) {
    const auto lineAt = [&](const QImage& image, int c) { return At(image, L + c * W, T + 5); };
    view.SetStepsPerMeasure(6);
    view.Redraw();
    QImage image = Grab();
    EXPECT_EQ(view.Layout().visibleColumns, 12);
    EXPECT_EQ(lineAt(image, 3), Rgb{kOrange});
    EXPECT_EQ(lineAt(image, 6), Rgb{kRed});
    EXPECT_EQ(lineAt(image, 2), Rgb{kYellow});
    EXPECT_EQ(lineAt(image, 12), Rgb{kRed}) << "the right edge";
    EXPECT_EQ(At(image, L + 12 * W + 5, T + 5), Rgb{kWhite}) << "no cells past the pattern";

    view.SetStepsPerMeasure(10);
    view.Redraw();
    image = Grab();
    EXPECT_EQ(lineAt(image, 2), Rgb{kOrange});
    EXPECT_EQ(lineAt(image, 10), Rgb{kRed});
    EXPECT_EQ(lineAt(image, 3), Rgb{kYellow});

    view.SetStepsPerMeasure(7); // clamped into 2-32 by the pattern, kept by the view
    view.Redraw();
    image = Grab();
    EXPECT_EQ(view.Layout().groupSize, 0);
    for (int c = 1; c < 7; ++c)
        EXPECT_EQ(lineAt(image, c), Rgb{kYellow});
    EXPECT_EQ(lineAt(image, 7), Rgb{kRed});
}

// Both bars: a line, a page, the ends; the picture follows; changing measures keeps positions
// that still exist and pulls back one past the end.
TEST_F(SeqView, ScrollBarsFollowTheirRules) {
    QScrollBar* across = view.horizontalScrollBar();
    QScrollBar* down = view.verticalScrollBar();
    EXPECT_EQ(across->maximum(), 0) << "32 steps: nothing to scroll";
    EXPECT_EQ(down->value(), 44);
    EXPECT_EQ(down->maximum(), 128 - 36);
    EXPECT_EQ(down->pageStep(), 36);
    EXPECT_EQ(view.Layout().KeyOf(0), 83);
    EXPECT_EQ(view.Layout().KeyOf(35), 48);

    view.SetMeasures(8);
    view.SetStepsPerMeasure(32);
    EXPECT_EQ(across->maximum(), 224);
    EXPECT_EQ(across->pageStep(), 32);
    across->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view.Layout().firstColumn, 32);
    across->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(view.Layout().firstColumn, 31);
    across->setValue(224);
    across->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(view.Layout().firstColumn, 224) << "line right stops at 224";
    across->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(view.Layout().firstColumn, 224);
    down->triggerAction(QAbstractSlider::SliderToMinimum);
    down->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(view.Layout().firstRow, 0);
    EXPECT_EQ(view.Layout().KeyOf(0), 127);

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
    EXPECT_EQ(across->value(), 40);
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
    ASSERT_TRUE(Cell(5, 60).has_value());
    EXPECT_EQ(*Cell(5, 60), (CNoteCell{127, 1, 1}));
    EXPECT_EQ(edited.count(), 1);
    EXPECT_EQ(history.UndoCount(), 1u);
    ASSERT_TRUE(history.Undo());
    EXPECT_FALSE(Cell(5, 60).has_value());
    ASSERT_TRUE(history.Redo());
    EXPECT_TRUE(Cell(5, 60).has_value());

    ASSERT_TRUE(history.AddNote(10, 60, 90, 3));
    Press(CellPoint(12, row), Qt::RightButton);
    EXPECT_FALSE(Cell(10, 60).has_value());
    EXPECT_EQ(edited.count(), 2);
    Press(CellPoint(12, row), Qt::RightButton); // empty now
    EXPECT_EQ(edited.count(), 2);
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(*Cell(10, 60), (CNoteCell{90, 3, 1}));

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

// Where on a note the press lands chooses the drag: thirds of the whole note's width, the
// right third only in the last cell.
TEST_F(SeqView, ThePressedThirdChoosesTheDrag) {
    const int row = RowOf(60), x0 = L + 2 * W;
    ASSERT_TRUE(history.AddNote(2, 60, 100, 3)); // 66 pixels from x0
    ASSERT_TRUE(history.AddNote(10, 60, 100, 1));
    const int y = T + row * H + 5;
    const struct {
        int x;
        CSeqViewDrag::Mode mode;
        Qt::CursorShape cursor;
    } cases[] = {
        {x0 + 44, CSeqViewDrag::Mode::Resizing, Qt::SizeHorCursor},
        {x0 + 65, CSeqViewDrag::Mode::Resizing, Qt::SizeHorCursor},
        {x0 + 43, CSeqViewDrag::Mode::ChangingVelocity, Qt::SizeVerCursor},
        {x0 + 23, CSeqViewDrag::Mode::ChangingVelocity, Qt::SizeVerCursor},
        {x0 + 22, CSeqViewDrag::Mode::Moving, Qt::SizeAllCursor},
        {x0 + 1, CSeqViewDrag::Mode::Moving, Qt::SizeAllCursor},
        // The one-step note at column 10: thirds of 7 and 14 pixels.
        {L + 10 * W + 14, CSeqViewDrag::Mode::Resizing, Qt::SizeHorCursor},
        {L + 10 * W + 13, CSeqViewDrag::Mode::ChangingVelocity, Qt::SizeVerCursor},
        {L + 10 * W + 8, CSeqViewDrag::Mode::ChangingVelocity, Qt::SizeVerCursor},
        {L + 10 * W + 7, CSeqViewDrag::Mode::Moving, Qt::SizeAllCursor},
    };
    const uint64_t revision = history.Revision();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        Press({c.x, y});
        EXPECT_EQ(view.Drag().GetMode(), c.mode);
        EXPECT_EQ(Cursor(), c.cursor);
        Release({c.x, y});
        EXPECT_EQ(view.Drag().GetMode(), CSeqViewDrag::Mode::Idle);
        EXPECT_EQ(Cursor(), Qt::ArrowCursor);
    }
    EXPECT_EQ(history.Revision(), revision) << "a press and release in place changes nothing";
    EXPECT_EQ(edited.count(), 0);
}

// Resizing follows the pointer column by column, stops one column before the next note on the
// row, and becomes one undo step however far the pointer went.
TEST_F(SeqView, ResizingStopsBeforeTheNextNote) {
    const int row = RowOf(60);
    ASSERT_TRUE(history.AddNote(2, 60, 100, 3));
    ASSERT_TRUE(history.AddNote(12, 60, 50, 2));
    ASSERT_TRUE(history.AddNote(8, 61, 50, 2)); // another row: no limit
    const size_t steps = history.UndoCount();

    Press(CellPoint(4, row, 20));
    EXPECT_EQ(view.Drag().DragValue(), 11) << "the end limit";
    MoveTo(CellPoint(7, row));
    // The feedback: the note drawn through column 7 while the button is down.
    const QImage image = Grab();
    EXPECT_EQ(At(image, CellPoint(7, row).x(), CellPoint(7, row).y()), Rgb{0xFF3700});
    EXPECT_FALSE(Cell(7, 60).has_value()) << "nothing changes before the release";
    MoveTo(CellPoint(20, row + 3)); // far past the limit, other row
    MoveTo(CellPoint(25, row));
    Release(CellPoint(25, row));
    ASSERT_TRUE(Cell(2, 60).has_value());
    EXPECT_EQ(*Cell(2, 60), (CNoteCell{100, 10, 1})) << "ends at step 11";
    EXPECT_EQ(*Cell(12, 60), (CNoteCell{50, 2, 1}));
    EXPECT_EQ(history.UndoCount(), steps + 1);
    EXPECT_EQ(edited.count(), 1);

    // Shorter, released left of the note: one step long.
    Drag(CellPoint(11, row, 20), {CellPoint(6, row)}, CellPoint(0, row));
    EXPECT_EQ(*Cell(2, 60), (CNoteCell{100, 1, 1}));
    ASSERT_TRUE(history.Undo());
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(*Cell(2, 60), (CNoteCell{100, 3, 1}));

    // Without a note to the right the limit is the last visible column.
    Drag(CellPoint(9, RowOf(61), 20), {}, CellPoint(31, RowOf(61)));
    EXPECT_EQ(*Cell(8, 61), (CNoteCell{50, 24, 1}));
}

// Moving: the note follows the pointer inside the view; onto another note the cursor is the
// forbidden sign and the release changes nothing; into free cells it is one undo step.
TEST_F(SeqView, MovingIsRefusedOntoOtherNotes) {
    const int row = RowOf(60);
    ASSERT_TRUE(history.AddNote(2, 60, 100, 3));
    ASSERT_TRUE(history.AddNote(10, 64, 40, 1));
    const size_t steps = history.UndoCount();

    Press(CellPoint(2, row, 3));
    MoveTo(CellPoint(9, RowOf(64), 3)); // would cover steps 9-11 of key 64
    EXPECT_EQ(Cursor(), Qt::ForbiddenCursor);
    EXPECT_FALSE(view.Drag().MoveTargetFree());
    Release(CellPoint(9, RowOf(64), 3));
    EXPECT_EQ(*Cell(2, 60), (CNoteCell{100, 3, 1}));
    EXPECT_EQ(*Cell(10, 64), (CNoteCell{40, 1, 1}));
    EXPECT_EQ(history.UndoCount(), steps);
    EXPECT_EQ(edited.count(), 0);

    // Over its own cells is fine; the preview shows at the target and not at the start.
    Press(CellPoint(2, row, 3));
    MoveTo(CellPoint(9, RowOf(64), 3));
    MoveTo(CellPoint(3, row, 3));
    EXPECT_EQ(Cursor(), Qt::SizeAllCursor);
    MoveTo(CellPoint(20, RowOf(62), 3));
    EXPECT_EQ(Cursor(), Qt::SizeAllCursor);
    const QImage image = Grab();
    EXPECT_EQ(At(image, CellPoint(21, RowOf(62)).x(), CellPoint(21, RowOf(62)).y()), Rgb{0xFF3700});
    EXPECT_EQ(At(image, CellPoint(3, row).x(), CellPoint(3, row).y()), Rgb{kCell});
    Release(CellPoint(20, RowOf(62), 3));
    EXPECT_FALSE(Cell(2, 60).has_value());
    EXPECT_EQ(*Cell(20, 62), (CNoteCell{100, 3, 1}));
    EXPECT_EQ(history.UndoCount(), steps + 1);
    EXPECT_EQ(edited.count(), 1);

    // Kept inside the view: far right stops at the last columns, far up at the top row.
    Drag(CellPoint(20, RowOf(62), 3), {}, {L + 40 * W, T - 50});
    EXPECT_EQ(*Cell(29, 83), (CNoteCell{100, 3, 1}));
    ASSERT_TRUE(history.Undo());
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(*Cell(2, 60), (CNoteCell{100, 3, 1}));
}

// Velocity: one per pixel above or below the row, kept within 0-127; a release without leaving
// the row keeps the velocity.
TEST_F(SeqView, DraggingUpOrDownChangesTheVelocity) {
    const int row = RowOf(60), top = T + row * H;
    ASSERT_TRUE(history.AddNote(2, 60, 90, 3));
    const QPoint middle = CellPoint(3, row);
    const size_t steps = history.UndoCount();

    Drag(middle, {CellPoint(3, row, 2, 0), CellPoint(4, row, 2, 11)}, CellPoint(3, row, 5, 1));
    EXPECT_EQ(Cell(2, 60)->velocity, 90);
    EXPECT_EQ(history.UndoCount(), steps);

    Press(middle);
    MoveTo({middle.x(), top - 30});
    EXPECT_EQ(view.Drag().DragValue(), 120);
    const QImage image = Grab();
    EXPECT_EQ(At(image, middle.x(), middle.y()), Rgb{0xFF0F00}) << "drawn in the new colour";
    EXPECT_EQ(Cell(2, 60)->velocity, 90);
    MoveTo({middle.x(), top - 60}); // at most 127
    Release({middle.x(), top - 60});
    EXPECT_EQ(*Cell(2, 60), (CNoteCell{127, 3, 1}));
    EXPECT_EQ(edited.count(), 1);

    Drag(middle, {}, {middle.x() + 100, top + H - 1 + 40});
    EXPECT_EQ(Cell(2, 60)->velocity, 87);
    Drag(middle, {}, {middle.x(), top + H - 1 + 500});
    EXPECT_EQ(Cell(2, 60)->velocity, 0);
    EXPECT_EQ(history.UndoCount(), steps + 3);
    ASSERT_TRUE(history.Undo());
    ASSERT_TRUE(history.Undo());
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(Cell(2, 60)->velocity, 90);
}

// The right button and the wheel do nothing while a drag runs; the drag still ends as it
// should, and the wheel scrolls again afterwards.
TEST_F(SeqView, RightClicksAndScrollingWaitWhileDragging) {
    const int row = RowOf(60);
    ASSERT_TRUE(history.AddNote(2, 60, 90, 3));
    ASSERT_TRUE(history.AddNote(8, 60, 90, 1));
    const auto wheel = [&](QPoint at) {
        QWheelEvent event(at, Surface()->mapToGlobal(at), {}, {0, -120}, Qt::LeftButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(Surface(), &event);
    };
    Press(CellPoint(2, row, 3));
    Press(CellPoint(8, row), Qt::RightButton);
    Release(CellPoint(8, row), Qt::RightButton);
    EXPECT_TRUE(Cell(8, 60).has_value());
    wheel(CellPoint(8, row));
    EXPECT_EQ(view.Layout().firstRow, 44);
    MoveTo(CellPoint(14, row, 3));
    Release(CellPoint(14, row, 3));
    EXPECT_EQ(*Cell(14, 60), (CNoteCell{90, 3, 1}));
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
    const int row = RowOf(60);
    EXPECT_EQ(At(image, CellPoint(0, row).x(), CellPoint(0, row).y()), Rgb{0xFF0100});
    EXPECT_EQ(At(image, CellPoint(5, row).x(), CellPoint(5, row).y()), Rgb{0xFF0100});
    EXPECT_EQ(At(image, L, CellPoint(0, row).y()), Rgb{kRed}) << "the left border stays";
    EXPECT_EQ(At(image, L + 1, CellPoint(0, row).y()), Rgb{0xFF0100});
    EXPECT_EQ(At(image, CellPoint(6, row).x(), CellPoint(6, row).y()), Rgb{kCell});

    view.horizontalScrollBar()->setValue(0);
    image = Grab();
    EXPECT_EQ(At(image, L + 32 * W, CellPoint(31, row).y()), Rgb{kRed}) << "the right border";
    EXPECT_EQ(At(image, L + 32 * W - 1, CellPoint(31, row).y()), Rgb{0xFF0100});

    // Pressed from the right, its last cell in the view at column 5 (step 35): a resize.
    view.horizontalScrollBar()->setValue(30);
    Drag(CellPoint(5, row, 20), {}, CellPoint(9, row));
    EXPECT_EQ(*Cell(28, 60), (CNoteCell{127, 12, 1}));
}

} // namespace
