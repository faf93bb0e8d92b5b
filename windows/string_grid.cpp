#include "windows/string_grid.h"

#include "windows/byte_glyph_delegate.h"
#include "windows/grid_accessible.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>

StringGrid::StringGrid(QWidget* parent)
    : QTableView(parent), model_(new ByteGridModel(ByteGridModel::CellText::Hex, this)) {
    setModel(model_);
    connect(model_, &QAbstractItemModel::headerDataChanged, this, [this] {
        if (auto* corner = findChild<QAbstractButton*>())
            corner->update();
    });
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab goes on to the next control, as the window's tab order says, rather
    // than from cell to cell, which would hold keyboard users in the grid.
    setTabKeyNavigation(false);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setShowGrid(true);
    setCornerButtonEnabled(false);
    for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setSectionsClickable(false);
        header->setHighlightSections(false);
        header->setMinimumSectionSize(1);
    }
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The corner button is where the top-left fixed cell sits; it draws no
    // text of its own, so its paint is done here.
    if (auto* corner = findChild<QAbstractButton*>())
        corner->installEventFilter(this);
}

void StringGrid::setCellText(ByteGridModel::CellText cellText) {
    model_->setCellText(cellText);
    // Characters are drawn glyph by glyph; hex digits need nothing special.
    QAbstractItemDelegate* oldDelegate = itemDelegate();
    if (cellText == ByteGridModel::CellText::Character)
        setItemDelegate(new ByteGlyphDelegate(this));
    else
        setItemDelegate(new QStyledItemDelegate(this));
    if (oldDelegate && oldDelegate->parent() == this)
        oldDelegate->deleteLater();
}

void StringGrid::setGridShape(int columns, int rows, int columnWidth, int rowHeight) {
    model_->setGridSize(columns, rows);
    horizontalHeader()->setDefaultSectionSize(columnWidth);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    horizontalHeader()->setFixedHeight(rowHeight);
    verticalHeader()->setFixedWidth(columnWidth);
}

QPoint StringGrid::currentCell() const {
    const QModelIndex index = currentIndex();
    if (!index.isValid())
        return {-1, -1};
    return {index.column() + 1, index.row() + 1};
}

void StringGrid::setCurrentCell(int column, int row) {
    const QModelIndex index = model_->index(row - 1, column - 1);
    if (!index.isValid())
        return;
    setCurrentIndex(index); // selects that cell alone, dropping any range
    scrollTo(index);
}

void StringGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // Not QTableView's: it would tell a focus change whichever grid has the focus.
    QAbstractItemView::currentChanged(current, previous);
    AnnounceCurrentCell(*this, current);
}

bool StringGrid::eventFilter(QObject* watched, QEvent* event) {
    auto* corner = qobject_cast<QAbstractButton*>(watched);
    if (corner && event->type() == QEvent::Paint) {
        QPainter painter(corner);
        QStyleOptionHeader option;
        option.initFrom(corner);
        option.rect = corner->rect();
        option.position = QStyleOptionHeader::OnlyOneSection;
        option.text = model_->cell(0, 0);
        option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        style()->drawControl(QStyle::CE_Header, &option, &painter, corner);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}
