#include "gui/sequencer/seq_view_painter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>

namespace zorvil {

namespace {

using L = SeqViewLayout;

constexpr int kFrameMargin = 6; // between the outer frame and the header band or key column
constexpr int kLabelFontHeight = 12;

// A rectangle as the 1-pixel inside-frame pen and a brush draw it: the outline on the outer
// pixels of [x1, x2) x [y1, y2), the fill inside.
void Rectangle(QPainter& p, int x1, int y1, int x2, int y2, QRgb pen, QRgb brush) {
    const int w = x2 - x1, h = y2 - y1;
    if (w <= 0 || h <= 0) return;
    p.fillRect(x1, y1, w, h, QColor::fromRgb(pen));
    if (w > 2 && h > 2 && brush != pen)
        p.fillRect(x1 + 1, y1 + 1, w - 2, h - 2, QColor::fromRgb(brush));
}

// A two-colour 3D edge of cx x cy pixels: top and left in `light`, right and bottom in `dark`
// (the top-right and bottom-left corners are dark).
void Edge3d(QPainter& p, const QRect& clip, int x, int y, int cx, int cy, QRgb light, QRgb dark) {
    const QColor l = QColor::fromRgb(light), d = QColor::fromRgb(dark);
    p.fillRect(QRect(x, y, cx - 1, 1) & clip, l);
    p.fillRect(QRect(x, y, 1, cy - 1) & clip, l);
    p.fillRect(QRect(x + cx - 1, y, 1, cy) & clip, d);
    p.fillRect(QRect(x, y + cy - 1, cx, 1) & clip, d);
}

void VerticalLine(QPainter& p, int x, int top, int bottom, QRgb colour) {
    p.fillRect(x, top, 1, bottom - top + 1, QColor::fromRgb(colour));
}

void HorizontalLine(QPainter& p, int y, int left, int right, QRgb colour) {
    p.fillRect(left, y, right - left + 1, 1, QColor::fromRgb(colour));
}

// "Arial Black" at a cell height of 12 pixels (the font's ascent and descent together), in
// whatever face fontconfig offers for it.
QFont MakeLabelFont() {
    QFont font(QStringLiteral("Arial Black"));
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::PreferAntialias);
    for (int pixels = kLabelFontHeight; pixels > 4; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= kLabelFontHeight) break;
    }
    return font;
}

} // namespace

CSeqViewPainter::CSeqViewPainter() : m_labelFont(MakeLabelFont()) {}

QColor CSeqViewPainter::NoteColour(int velocity) noexcept {
    return QColor(255, 255 - ((2 * velocity) % 256), 0);
}

QRect CSeqViewPainter::FrameRect(const SeqViewLayout& layout) noexcept {
    const int x = L::kKeyColumnLeft - kFrameMargin;
    const int y = L::kTop - L::kCellHeight - kFrameMargin;
    const int width = layout.visibleColumns * L::kCellWidth + L::kCellWidth * 3 / 2 + 13;
    const int height = (layout.visibleRows + 1) * L::kCellHeight + 13;
    return {x, y, width, height};
}

QSize CSeqViewPainter::ContentSize(const SeqViewLayout& layout) noexcept {
    const QRect frame = FrameRect(layout);
    return {frame.right() + 1 + frame.left(), frame.bottom() + 1 + frame.top()};
}

void CSeqViewPainter::Paint(QPainter& painter, const SeqViewLayout& layout, const CPattern& pattern,
                            const std::optional<SeqViewPreview>& preview) const {
    PaintGrid(painter, layout);
    PaintLabels(painter, layout);
    PaintNotes(painter, layout, pattern, preview);
}

void CSeqViewPainter::PaintGrid(QPainter& p, const SeqViewLayout& layout) const {
    const int columns = layout.visibleColumns, rows = layout.visibleRows;
    const int left = L::kLeft, top = L::kTop, right = layout.GridRight(),
              bottom = layout.GridBottom();

    const QRect frame = FrameRect(layout);
    const QRect all(0, 0, frame.right() + 1, frame.bottom() + 1);
    Edge3d(p, all, frame.x(), frame.y(), frame.width(), frame.height(), kFrameColour, kFrameColour);

    // Cells: their fills, then the outlines they share, which come out the same as drawing
    // each cell's outlined rectangle in turn.
    p.fillRect(left, top, right - left + 1, bottom - top + 1, QColor::fromRgb(kCellFillColour));
    for (int r = 0; r < rows; ++r) {
        if (layout.IsBlackRow(r))
            p.fillRect(left, L::RowY(r), right - left + 1, L::kCellHeight + 1,
                       QColor::fromRgb(kBlackRowColour));
    }
    for (int c = 0; c <= columns; ++c)
        VerticalLine(p, L::ColumnX(c), top, bottom, kCellOutlineColour);
    for (int r = 0; r <= rows; ++r)
        HorizontalLine(p, L::RowY(r), left, right, kCellOutlineColour);

    for (int c = 0; c <= columns; ++c) {
        if (layout.IsGroupStart(c)) VerticalLine(p, L::ColumnX(c), top, bottom, kGroupLineColour);
    }
    for (int c = 0; c <= columns; ++c) {
        if (layout.IsMeasureStart(c)) VerticalLine(p, L::ColumnX(c), top, bottom, kMeasureColour);
    }
    for (int r = 0; r <= rows; ++r) {
        if (layout.IsOctaveLine(r)) HorizontalLine(p, L::RowY(r), left, right, kKeyColour);
    }

    // The key column, the grid's right and bottom edges and the header band.
    for (int r = 0; r < rows; ++r)
        Rectangle(p, L::kKeyColumnLeft, L::RowY(r), left + 1, L::RowY(r + 1) + 1, kKeyColour,
                  kCellFillColour);
    VerticalLine(p, right, top, bottom, kKeyColour);
    Rectangle(p, left, top - L::kCellHeight, right + 1, top + 1, kKeyColour, kCellFillColour);
    HorizontalLine(p, bottom, left, right, kKeyColour);
    for (int r = 0; r < rows; ++r) {
        if (layout.IsBlackRow(r))
            Rectangle(p, L::kKeyColumnLeft, L::RowY(r), left + 1, L::RowY(r + 1) + 1, kKeyColour,
                      kKeyColour);
    }
}

void CSeqViewPainter::PaintText(QPainter& p, const QRect& box, const QString& text, QRgb colour,
                                QRgb background) const {
    const QFontMetrics metrics(m_labelFont);
    const int width = metrics.horizontalAdvance(text), height = metrics.height();
    const int x = box.x() + (box.width() - width) / 2;
    const int y = box.y() + (box.height() - height) / 2;
    p.fillRect(x, y, width, height, QColor::fromRgb(background));
    p.setPen(QColor::fromRgb(colour));
    p.drawText(x, y + metrics.ascent(), text);
}

void CSeqViewPainter::PaintLabels(QPainter& p, const SeqViewLayout& layout) const {
    p.setFont(m_labelFont);
    // "C n" on the octave lines below the top one, centred in a cell-high box around the line.
    for (int r = 1; r <= layout.visibleRows; ++r) {
        if (!layout.IsOctaveLine(r)) continue;
        const int y = L::RowY(r);
        const int octave =
            L::kKeyCount / L::kRowsPerOctave - layout.RowIndexOf(r) / L::kRowsPerOctave;
        const QRect box(L::kKeyColumnLeft, y - L::kCellHeight / 2, L::kLeft - L::kKeyColumnLeft,
                        L::kCellHeight);
        PaintText(p, box, QStringLiteral("C %1").arg(octave), kMeasureColour, kCellFillColour);
    }
    // Each measure's number in a red box of the header band above its first column.
    for (int c = 0; c < layout.visibleColumns; ++c) {
        if (!layout.IsMeasureStart(c)) continue;
        const int x = L::ColumnX(c), top = L::kTop - L::kCellHeight;
        Rectangle(p, x, top, L::ColumnX(c + 1) + 1, L::kTop + 1, kKeyColour, kKeyColour);
        const QRect box(x, top, L::kCellWidth + 1, L::kCellHeight + 1);
        PaintText(p, box, QString::number(layout.StepOf(c) / layout.stepsPerMeasure + 1),
                  kCellFillColour, kKeyColour);
    }
}

void CSeqViewPainter::PaintNote(QPainter& p, const QRect& clip, int column, int row, int length,
                                int velocity) const {
    const int x = L::ColumnX(column) + 2, y = L::RowY(row) + 2;
    const int width = length * L::kCellWidth - 3, height = L::kCellHeight - 3;
    p.fillRect(QRect(x, y, width, height) & clip, NoteColour(velocity));
    Edge3d(p, clip, x, y, width, height, kNoteLightColour, kNoteDarkColour);
}

void CSeqViewPainter::PaintNotes(QPainter& p, const SeqViewLayout& layout, const CPattern& pattern,
                                 const std::optional<SeqViewPreview>& preview) const {
    // Within the grid's lines: a note reaching past the view's right or left edge is cut there.
    const QRect grid(L::kLeft + 1, L::kTop + 1, layout.visibleColumns * L::kCellWidth - 1,
                     layout.visibleRows * L::kCellHeight - 1);
    for (int r = 0; r < layout.visibleRows; ++r) {
        const int key = layout.KeyOf(r);
        for (int c = 0; c < layout.visibleColumns;) {
            const auto cell = pattern.GetCell(layout.StepOf(c), key);
            if (!cell) {
                ++c;
                continue;
            }
            // A note whose start is scrolled out to the left shows from the view's edge.
            const int start = c - cell->part + 1;
            const bool hidden =
                preview && preview->hiddenKey == key && preview->hiddenStep == layout.StepOf(start);
            if (!hidden) PaintNote(p, grid, start, r, cell->length, cell->velocity);
            c = std::max(c + 1, start + cell->length);
        }
    }
    if (preview)
        PaintNote(p, grid, preview->column, preview->row, preview->length, preview->velocity);
}

} // namespace zorvil
