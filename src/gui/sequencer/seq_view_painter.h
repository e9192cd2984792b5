// CSeqViewPainter: draws the piano roll, the grid first, then the notes.
//
// The grid: a red frame around everything; yellow-outlined near-white cells (light grey in the
// rows of black keys); thin orange lines every group of columns (4, 3 or 2 steps, whichever
// divides a measure) and red lines at every measure start and between each C and the B below
// it; the key column left of the grid, red for black keys, with "C 5" and so on at the octave
// lines; the header band above, with each measure's number in a red box. Notes are bars in
// the colour of their velocity (yellow at 0, orange at 64, red at 127) with a white and dark
// red 3D edge. Cells share their border lines, so a cell covers cellWidth + 1 pixels from its
// left line to its right one.
//
//     CSeqViewPainter painter;
//     QImage image(painter.ContentSize(layout), QImage::Format_RGB32);
//     QPainter p(&image);
//     painter.Paint(p, layout, pattern, std::nullopt);
//
// Drags show a preview: the pressed note is left out and drawn where and how the drag would
// put it.
#pragma once

#include "gui/sequencer/seq_view_layout.h"
#include "sequencer/pattern.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <optional>

class QPainter;

namespace zorvil {

// A drag's picture of the pressed note: where its first cell goes on screen (the column may lie
// left of the view), how long it is and in which velocity's colour.
struct SeqViewPreview {
    int hiddenStep = 0; // the pressed note, left out where it lies
    int hiddenKey = 0;
    int column = 0;
    int row = 0;
    int length = 1;
    int velocity = 127;
};

class CSeqViewPainter {
public:
    static constexpr QRgb kFrameColour = 0xFF0000;     // outer frame, both sides
    static constexpr QRgb kNoteLightColour = 0xFFFFFF; // a note's top and left edge
    static constexpr QRgb kNoteDarkColour = 0x900000;  // a note's right and bottom edge
    static constexpr QRgb kKeyColour = 0xFF0000;       // octave lines, key column, black keys
    static constexpr QRgb kMeasureColour = 0xFF0000;   // measure lines, label text
    static constexpr QRgb kGroupLineColour = 0xFF9000;
    static constexpr QRgb kCellOutlineColour = 0xFFE000;
    static constexpr QRgb kBlackRowColour = 0xF0F0F0;
    static constexpr QRgb kCellFillColour = 0xFAFAFA;

    CSeqViewPainter();

    // Red 255, green 255 - (2 x velocity mod 256), blue 0.
    static QColor NoteColour(int velocity) noexcept;
    // The outer frame's rectangle; everything drawn lies inside it.
    static QRect FrameRect(const SeqViewLayout& layout) noexcept;
    // Room for the frame with the same margin right and below as left and above.
    static QSize ContentSize(const SeqViewLayout& layout) noexcept;
    const QFont& LabelFont() const noexcept { return m_labelFont; }

    // Everything but the background, which the caller fills.
    void Paint(QPainter& painter, const SeqViewLayout& layout, const CPattern& pattern,
               const std::optional<SeqViewPreview>& preview) const;

private:
    void PaintGrid(QPainter& painter, const SeqViewLayout& layout) const;
    void PaintLabels(QPainter& painter, const SeqViewLayout& layout) const;
    void PaintNotes(QPainter& painter, const SeqViewLayout& layout, const CPattern& pattern,
                    const std::optional<SeqViewPreview>& preview) const;
    void PaintNote(QPainter& painter, const QRect& clip, int column, int row, int length,
                   int velocity) const;
    // Text centred in `box` on a background of its own size, as the labels are drawn.
    void PaintText(QPainter& painter, const QRect& box, const QString& text, QRgb colour,
                   QRgb background) const;

    QFont m_labelFont;
};

} // namespace zorvil
