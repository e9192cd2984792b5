#include "gui/sequencer/seq_view_drag.h"

#include <algorithm>

namespace zorvil {

namespace {

using L = SeqViewLayout;
constexpr int kMaxVelocity = 127;

} // namespace

template <class Edit>
bool CSeqViewDrag::Edited(Edit&& edit) {
    const uint64_t before = m_history.Revision();
    edit();
    return m_history.Revision() != before;
}

CSeqViewDrag::Outcome CSeqViewDrag::LeftDown(const SeqViewLayout& layout, int x, int y) {
    Outcome outcome;
    const auto point = layout.HitTest(x, y);
    if (!point) return outcome;
    const int step = layout.StepOf(point->column), key = layout.KeyOf(point->row);
    const auto cell = m_pattern.GetCell(step, key);
    if (!cell) {
        outcome.edited = Edited([&] { m_history.AddNote(step, key, kNewNoteVelocity, 1); });
        outcome.redraw = true;
        return outcome;
    }

    m_nDragVelocity = cell->velocity;
    m_nLength = cell->length;
    m_nPressedRow = point->row;
    m_nStartColumn = point->column - cell->part + 1;
    m_nPressedStep = layout.StepOf(m_nStartColumn);
    m_nPressedKey = key;
    m_nPreviewColumn = m_nStartColumn;
    m_nPreviewRow = m_nPressedRow;
    m_bMoveTargetFree = true;
    m_bResizeShown = false;
    // Thirds of the whole note's width decide the drag.
    const int x0 = L::ColumnX(m_nStartColumn), width = cell->length * L::kCellWidth;
    if (cell->part == cell->length && x >= x0 + 2 * (width / 3)) {
        m_mode = Mode::Resizing;
        outcome.cursor = SeqViewCursor::SizeWE;
        m_nDragValue = layout.visibleColumns - 1;
        for (int c = m_nStartColumn + 1; c < layout.visibleColumns; ++c) {
            const auto next = m_pattern.GetCell(layout.StepOf(c), key);
            if (next && next->part == 1) {
                m_nDragValue = c - 1;
                break;
            }
        }
    } else if (x > x0 + width / 3) {
        m_mode = Mode::ChangingVelocity;
        outcome.cursor = SeqViewCursor::SizeNS;
        m_nDragValue = m_nDragVelocity;
    } else {
        m_mode = Mode::Moving;
        outcome.cursor = SeqViewCursor::SizeAll;
        m_nDragValue = m_nLength;
    }
    return outcome;
}

CSeqViewDrag::Outcome CSeqViewDrag::Move(const SeqViewLayout& layout, int x, int y) {
    Outcome outcome;
    switch (m_mode) {
    case Mode::Resizing:
        MoveResize(layout, x, y, outcome);
        break;
    case Mode::Moving:
        MoveMove(layout, x, y, outcome);
        break;
    case Mode::ChangingVelocity:
        MoveVelocity(y, outcome);
        break;
    case Mode::Idle:
        break;
    }
    return outcome;
}

void CSeqViewDrag::MoveResize(const SeqViewLayout& layout, int x, int y, Outcome& outcome) {
    if (x <= L::kLeft || y <= L::kTop) return;
    const int column = L::ColumnAt(x);
    if (column < m_nStartColumn || column > m_nDragValue || L::RowAt(y) >= layout.visibleRows ||
        (m_bResizeShown && column == m_nPreviewColumn))
        return;
    m_nPreviewColumn = column;
    m_bResizeShown = true;
    outcome.changedRows[0] = m_nPressedRow;
}

void CSeqViewDrag::MoveMove(const SeqViewLayout& layout, int x, int y, Outcome& outcome) {
    int column = L::ColumnAt(x);
    if (column + m_nLength > layout.visibleColumns) column = layout.visibleColumns - m_nLength;
    column = std::max(column, 0);
    const int row = std::clamp(L::RowAt(y), 0, layout.visibleRows - 1);
    if (column == m_nPreviewColumn && row == m_nPreviewRow) return;
    outcome.changedRows[0] = m_nPreviewRow;
    outcome.changedRows[1] = row;
    m_bMoveTargetFree = TargetFree(layout, column, row, m_nLength);
    outcome.cursor = m_bMoveTargetFree ? SeqViewCursor::SizeAll : SeqViewCursor::No;
    m_nPreviewColumn = column;
    m_nPreviewRow = row;
}

void CSeqViewDrag::MoveVelocity(int y, Outcome& outcome) {
    if (L::RowAt(y) == m_nPressedRow) return;
    const int top = L::RowY(m_nPressedRow), bottom = top + L::kCellHeight - 1;
    int velocity = m_nDragValue;
    if (y < top)
        velocity = std::min(m_nDragVelocity + (top - y), kMaxVelocity);
    else if (y > bottom)
        velocity = std::max(m_nDragVelocity - (y - bottom), 0);
    if (velocity == m_nDragValue) return;
    m_nDragValue = velocity;
    outcome.changedRows[0] = m_nPressedRow;
}

bool CSeqViewDrag::TargetFree(const SeqViewLayout& layout, int column, int row, int length) const {
    const int key = layout.KeyOf(row);
    for (int i = 0; i < length; ++i) {
        const int step = layout.StepOf(column + i);
        const bool own =
            key == m_nPressedKey && step >= m_nPressedStep && step < m_nPressedStep + m_nLength;
        if (!own && m_pattern.GetCell(step, key)) return false;
    }
    return true;
}

CSeqViewDrag::Outcome CSeqViewDrag::LeftUp(const SeqViewLayout& layout, int x) {
    const int step = m_nPressedStep, key = m_nPressedKey;
    switch (m_mode) {
    case Mode::Resizing: {
        const int column = std::clamp(L::ColumnAt(x), m_nStartColumn, m_nDragValue);
        return Finish(Edited([&] { m_history.ResizeNote(step, layout.StepOf(column), key); }));
    }
    case Mode::Moving: {
        const int toStep = layout.StepOf(m_nPreviewColumn), toKey = layout.KeyOf(m_nPreviewRow);
        // A move onto other notes is dropped.
        return Finish(m_bMoveTargetFree &&
                      Edited([&] { m_history.MoveNote(step, key, toStep, toKey); }));
    }
    case Mode::ChangingVelocity:
        return Finish(Edited([&] { m_history.SetNoteVelocity(step, key, m_nDragValue); }));
    case Mode::Idle:
        break;
    }
    return {};
}

CSeqViewDrag::Outcome CSeqViewDrag::Finish(bool edited) {
    m_mode = Mode::Idle;
    Outcome outcome;
    outcome.edited = edited;
    outcome.redraw = true;
    outcome.cursor = SeqViewCursor::Arrow;
    return outcome;
}

CSeqViewDrag::Outcome CSeqViewDrag::RightDown(const SeqViewLayout& layout, int x, int y) {
    Outcome outcome;
    if (IsDragging()) return outcome;
    const auto point = layout.HitTest(x, y);
    if (!point) return outcome;
    const int step = layout.StepOf(point->column), key = layout.KeyOf(point->row);
    if (!m_pattern.GetCell(step, key)) return outcome;
    outcome.edited = Edited([&] { m_history.RemoveNote(step, key); });
    outcome.redraw = true;
    return outcome;
}

std::optional<SeqViewPreview> CSeqViewDrag::Preview() const {
    SeqViewPreview preview{m_nPressedStep, m_nPressedKey, m_nStartColumn,
                           m_nPressedRow,  m_nLength,     m_nDragVelocity};
    switch (m_mode) {
    case Mode::Resizing:
        if (m_bResizeShown) preview.length = m_nPreviewColumn - m_nStartColumn + 1;
        return preview;
    case Mode::Moving:
        preview.column = m_nPreviewColumn;
        preview.row = m_nPreviewRow;
        return preview;
    case Mode::ChangingVelocity:
        preview.velocity = m_nDragValue;
        return preview;
    case Mode::Idle:
        break;
    }
    return std::nullopt;
}

} // namespace zorvil
