#include "windows/byte_grid_model.h"

#include "capture/hex_capture.h"
#include "windows/widget_text.h"

#include <algorithm>

namespace {

constexpr int kBytesPerRow = 16;

quint64 FixedKey(int column, int row) {
    return (quint64(quint32(column)) << 32) | quint32(row);
}

} // namespace

ByteGridModel::ByteGridModel(CellText cellText, QObject* parent)
    : QAbstractTableModel(parent), cellText_(cellText) {}

void ByteGridModel::setGridSize(int columns, int rows) {
    columns = std::max(columns, 1);
    rows = std::max(rows, 1);
    if (columns == columns_ && rows == rows_)
        return;
    beginResetModel();
    columns_ = columns;
    rows_ = rows;
    endResetModel();
}

void ByteGridModel::setCellText(CellText cellText) {
    if (cellText == cellText_)
        return;
    cellText_ = cellText;
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void ByteGridModel::writeBytes(std::string_view bytes) {
    if (bytes.size() > bytes_.size())
        bytes_.resize(bytes.size());
    bytes_.replace(0, bytes.size(), bytes);
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void ByteGridModel::setFixedCell(int column, int row, const QString& text) {
    fixedCells_.insert(FixedKey(column, row), text);
    if (row == 0 && column > 0)
        emit headerDataChanged(Qt::Horizontal, column - 1, column - 1);
    else if (column == 0 && row > 0)
        emit headerDataChanged(Qt::Vertical, row - 1, row - 1);
    else
        emit headerDataChanged(Qt::Horizontal, 0, 0); // the corner is drawn with the headers
}

QString ByteGridModel::cell(int column, int row) const {
    if (column <= 0 || row <= 0)
        return fixedCells_.value(FixedKey(column, row));
    if (column > kBytesPerRow)
        return {};
    const size_t k = size_t(row - 1) * kBytesPerRow + size_t(column - 1);
    if (k >= bytes_.size())
        return {};
    const auto byte = static_cast<unsigned char>(bytes_[k]);
    if (cellText_ == CellText::Character)
        return QString(Windows1252Char(byte));
    return QString::fromLatin1(EncodeHexPairs(std::string_view(&bytes_[k], 1)).data(), 2);
}

int ByteGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_ - 1;
}

int ByteGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_ - 1;
}

QVariant ByteGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == kByteRole) {
        const size_t k = size_t(index.row()) * kBytesPerRow + size_t(index.column());
        if (index.column() >= kBytesPerRow || k >= bytes_.size())
            return {};
        return int(static_cast<unsigned char>(bytes_[k]));
    }
    if (role != Qt::DisplayRole)
        return {};
    return cell(index.column() + 1, index.row() + 1);
}

QVariant ByteGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    return orientation == Qt::Horizontal ? cell(section + 1, 0) : cell(0, section + 1);
}

Qt::ItemFlags ByteGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable; // never editable
}
