#include "gui/sequencer/seq_view.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

namespace zorvil {

namespace {

Qt::CursorShape CursorShape(SeqViewCursor cursor) {
    switch (cursor) {
    case SeqViewCursor::SizeWE:
        return Qt::SizeHorCursor;
    case SeqViewCursor::SizeNS:
        return Qt::SizeVerCursor;
    case SeqViewCursor::SizeAll:
        return Qt::SizeAllCursor;
    case SeqViewCursor::No:
        return Qt::ForbiddenCursor;
    case SeqViewCursor::Arrow:
        break;
    }
    return Qt::ArrowCursor;
}

} // namespace

CSeqView::CSeqView(CPattern& pattern, CPatternHistory& history, QWidget* parent)
    : QAbstractScrollArea(parent), m_pattern(pattern), m_drag(history, pattern) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFont(m_painter.LabelFont());
    viewport()->setCursor(Qt::ArrowCursor);
    SetTempo(pattern.GetTempo());
    SetStepsPerMeasure(pattern.GetStepsPerMeasure());
    SetMeasures(pattern.GetMeasures());
}

void CSeqView::SetTempo(int tempo) {
    m_pattern.SetTempo(tempo);
    m_nTempo = m_pattern.GetTempo();
}

void CSeqView::SetMeasures(int measures) {
    m_pattern.SetMeasures(measures);
    RefreshPatternValues();
}

void CSeqView::SetStepsPerMeasure(int steps) {
    m_pattern.SetStepsPerMeasure(steps);
    RefreshPatternValues();
}

void CSeqView::RefreshPatternValues() {
    m_layout.SetPatternValues(m_pattern.GetMeasures(), m_pattern.GetStepsPerMeasure());
    UpdateScrollBars();
}

void CSeqView::UpdateScrollBars() {
    QScrollBar* horizontal = horizontalScrollBar();
    QScrollBar* vertical = verticalScrollBar();
    // Set the copies first: changing a range moves a value out of it, which scrolls.
    const int firstColumn = m_layout.firstColumn, firstRow = m_layout.firstRow;
    horizontal->setRange(0, m_layout.MaxFirstColumn());
    horizontal->setPageStep(m_layout.visibleColumns);
    horizontal->setSingleStep(1);
    horizontal->setValue(firstColumn);
    vertical->setRange(0, SeqViewLayout::MaxFirstRow());
    vertical->setPageStep(m_layout.visibleRows);
    vertical->setSingleStep(1);
    vertical->setValue(firstRow);
}

void CSeqView::Redraw() {
    viewport()->update();
}

QSize CSeqView::sizeHint() const {
    const QSize content = CSeqViewPainter::ContentSize(m_layout);
    const int frame = 2 * frameWidth();
    return {content.width() + frame + verticalScrollBar()->sizeHint().width(),
            content.height() + frame + horizontalScrollBar()->sizeHint().height()};
}

QSize CSeqView::minimumSizeHint() const {
    return {SeqViewLayout::kLeft + 4 * SeqViewLayout::kCellWidth,
            SeqViewLayout::kTop + 4 * SeqViewLayout::kCellHeight};
}

void CSeqView::scrollContentsBy(int, int) {
    m_layout.firstColumn = horizontalScrollBar()->value();
    m_layout.firstRow = verticalScrollBar()->value();
    viewport()->update();
}

void CSeqView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), viewport()->palette().base());
    m_painter.Paint(painter, m_layout, m_pattern, m_drag.Preview());
}

void CSeqView::Apply(const CSeqViewDrag::Outcome& outcome) {
    if (outcome.cursor) viewport()->setCursor(CursorShape(*outcome.cursor));
    if (outcome.redraw) {
        Redraw();
    } else {
        // Drag feedback: only the rows whose picture changed.
        for (const int row : outcome.changedRows) {
            if (row >= 0)
                viewport()->update(0, SeqViewLayout::RowY(row), viewport()->width(),
                                   SeqViewLayout::kCellHeight + 1);
        }
    }
    if (outcome.edited) emit patternEdited();
}

void CSeqView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        Apply(m_drag.LeftDown(m_layout, at.x(), at.y()));
    else if (event->button() == Qt::RightButton)
        Apply(m_drag.RightDown(m_layout, at.x(), at.y()));
    event->accept();
}

// A second click in quick succession acts as a click of its own.
void CSeqView::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void CSeqView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    Apply(m_drag.Move(m_layout, at.x(), at.y()));
    event->accept();
}

void CSeqView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Apply(m_drag.LeftUp(m_layout, event->position().toPoint().x()));
    event->accept();
}

void CSeqView::wheelEvent(QWheelEvent* event) {
    if (m_drag.IsDragging()) return event->accept();
    QAbstractScrollArea::wheelEvent(event);
}

void CSeqView::keyPressEvent(QKeyEvent* event) {
    if (m_drag.IsDragging()) return event->ignore();
    QAbstractScrollArea::keyPressEvent(event);
}

} // namespace zorvil
