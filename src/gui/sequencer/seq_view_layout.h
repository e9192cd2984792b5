// SeqViewLayout: where the piano roll puts things, free of any drawing.
//
// The view shows a window of the pattern's grid: up to 32 step columns (left to right) by 36
// key rows (highest key on top), right of a key column and under a header band that numbers
// the measures. Row r on screen shows row index firstRow + r, that is key 127 - firstRow - r;
// column c shows step firstColumn + c. The scroll bars move firstColumn (0 ... totalSteps -
// visibleColumns) and firstRow (0 ... 128 - 36); the view starts at row 44 (keys 83 down to 48).
//
//     SeqViewLayout layout;
//     layout.SetPatternValues(2, 16);                       // 32 columns, groups of 4
//     if (auto cell = layout.HitTest(x, y))
//         pattern.GetCell(layout.StepOf(cell->column), layout.KeyOf(cell->row));
//
// Pixel coordinates are the view's client (viewport) coordinates.
#pragma once

#include <algorithm>
#include <optional>

namespace zorvil {

struct SeqViewLayout {
    static constexpr int kLeft = 43; // left margin: the key column lies left of it
    static constexpr int kTop = 22;  // top margin: the header band lies above it
    static constexpr int kCellWidth = 22;
    static constexpr int kCellHeight = 12;
    static constexpr int kMaxColumns = 32;
    static constexpr int kKeyCount = 128;
    static constexpr int kRowsPerOctave = 12;
    static constexpr int kVisibleRows = std::min(kKeyCount, 36);
    static constexpr int kInitialFirstRow = 44;
    // The key column spans one and a half cells left of the grid.
    static constexpr int kKeyColumnLeft = kLeft - kCellWidth * 3 / 2;

    int measures = 2;
    int stepsPerMeasure = 16;
    int totalSteps = 32;
    int groupSize = 4; // columns between the thin group lines; 0: none
    int visibleColumns = 32;
    int visibleRows = kVisibleRows;
    int firstColumn = 0;
    int firstRow = kInitialFirstRow;

    // Copies the pattern's values and recomputes what depends on them; keeps the first column
    // within the steps that exist.
    void SetPatternValues(int newMeasures, int newStepsPerMeasure) noexcept {
        measures = newMeasures;
        stepsPerMeasure = newStepsPerMeasure;
        totalSteps = measures * stepsPerMeasure;
        visibleColumns = std::min(totalSteps, kMaxColumns);
        groupSize = GroupSize(stepsPerMeasure);
        firstColumn = std::clamp(firstColumn, 0, MaxFirstColumn());
    }
    static constexpr int GroupSize(int steps) noexcept {
        return steps % 4 == 0 ? 4 : steps % 3 == 0 ? 3 : steps % 2 == 0 ? 2 : 0;
    }
    int MaxFirstColumn() const noexcept { return std::max(totalSteps - visibleColumns, 0); }
    static constexpr int MaxFirstRow() noexcept { return kKeyCount - kVisibleRows; }

    int StepOf(int column) const noexcept { return firstColumn + column; }
    int RowIndexOf(int row) const noexcept { return firstRow + row; }
    int KeyOf(int row) const noexcept { return kKeyCount - 1 - RowIndexOf(row); }
    // Black keys: key mod 12 in {1, 3, 6, 8, 10}.
    bool IsBlackRow(int row) const noexcept {
        const int note = KeyOf(row) % kRowsPerOctave;
        return note == 1 || note == 3 || note == 6 || note == 8 || note == 10;
    }
    // The line above row r lies between a C (above) and the B below it.
    bool IsOctaveLine(int row) const noexcept { return RowIndexOf(row) % kRowsPerOctave == 8; }
    bool IsMeasureStart(int column) const noexcept {
        return stepsPerMeasure > 0 && StepOf(column) % stepsPerMeasure == 0;
    }
    bool IsGroupStart(int column) const noexcept {
        return groupSize != 0 && StepOf(column) % groupSize == 0;
    }

    static constexpr int ColumnX(int column) noexcept { return kLeft + column * kCellWidth; }
    static constexpr int RowY(int row) noexcept { return kTop + row * kCellHeight; }
    int GridRight() const noexcept { return ColumnX(visibleColumns); }
    int GridBottom() const noexcept { return RowY(visibleRows); }

    // The column and row under a point, by integer division from the grid's corner (which
    // truncates towards zero: a point up to a cell left of or above the grid counts as column
    // or row 0), unclamped. Drags use these; clicks use HitTest.
    static constexpr int ColumnAt(int x) noexcept { return (x - kLeft) / kCellWidth; }
    static constexpr int RowAt(int y) noexcept { return (y - kTop) / kCellHeight; }

    struct GridPoint {
        int column = 0;
        int row = 0;
        friend bool operator==(const GridPoint&, const GridPoint&) = default;
    };
    // The visible cell under a point strictly inside the grid's top-left corner lines.
    std::optional<GridPoint> HitTest(int x, int y) const noexcept {
        if (x <= kLeft || y <= kTop) return std::nullopt;
        const GridPoint point{ColumnAt(x), RowAt(y)};
        if (point.column >= visibleColumns || point.row >= visibleRows) return std::nullopt;
        return point;
    }
};

} // namespace zorvil
