// The cells of a byte grid: sixteen bytes a row, with one fixed row at the top
// and one fixed column at the left, addressed as (column, row) with the fixed
// ones at 0. Byte k (from 1) sits in column ((k-1) mod 16)+1, row ((k-1) div 16)+1.
// No cell is ever emptied: a cell keeps its text when its row is removed by a
// smaller size, and shows it again when the row comes back. For Qt's views
// the byte cells are the model's items, the fixed cells its header sections.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <string>
#include <string_view>

class ByteGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class CellText {
        Hex,      // two upper-case hexadecimal digits
        Character // the byte as one Windows-1252 character
    };

    // The byte of a written cell as an int 0..255, for drawing it as a glyph;
    // nothing for a cell never written.
    static constexpr int kByteRole = Qt::UserRole;

    explicit ByteGridModel(CellText cellText, QObject* parent = nullptr);

    // Switches how byte cells read; views keep their selection and current
    // cell, and connections to them stay alive.
    void setCellText(CellText cellText);
    CellText cellText() const { return cellText_; }

    // Columns and rows of the grid, the fixed ones included (at least 1 each).
    void setGridSize(int columns, int rows);
    int gridColumns() const { return columns_; }
    int gridRows() const { return rows_; }

    // Writes bytes 1..n into their cells; cells after them keep their texts.
    void writeBytes(std::string_view bytes);
    // Sets the text of a fixed cell (row 0 or column 0).
    void setFixedCell(int column, int row, const QString& text);

    QString cell(int column, int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    CellText cellText_;
    int columns_ = 1;
    int rows_ = 1;
    // Every byte cell ever written, in order: fills always start at byte 1, so
    // the written cells are a prefix.
    std::string bytes_;
    QHash<quint64, QString> fixedCells_;
};
