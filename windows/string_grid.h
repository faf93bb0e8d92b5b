// A byte grid as the main window's hex and ASCII views show it: a fixed first
// row and column drawn as headers (the top-left cell with its text), lines
// between the cells, a vertical scroll bar, cells that can be selected but
// not edited. Character cells draw each byte as one visible glyph.
#pragma once

#include "windows/byte_grid_model.h"

#include <QTableView>

class StringGrid : public QTableView {
    Q_OBJECT
public:
    explicit StringGrid(QWidget* parent = nullptr);

    // Chooses how byte cells read; the grid starts as a hex grid.
    void setCellText(ByteGridModel::CellText cellText);

    ByteGridModel& cells() { return *model_; }
    const ByteGridModel& cells() const { return *model_; }

    // Column count, row count (fixed ones included) and the default sizes of
    // every column and row, the fixed ones included.
    void setGridShape(int columns, int rows, int columnWidth, int rowHeight);

    // The grid's current cell as (column, row), fixed ones at 0; (-1, -1) if none.
    QPoint currentCell() const;
    void setCurrentCell(int column, int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    ByteGridModel* model_;
};
