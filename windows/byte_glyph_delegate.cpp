#include "windows/byte_glyph_delegate.h"

#include "windows/byte_grid_model.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

void ByteGlyphDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    // The style draws background, selection and focus; the text it would
    // draw (wrapped, elided, a tab as blank) is left out.
    cell.text.clear();
    const QWidget* widget = cell.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    const QVariant byte = index.data(ByteGridModel::kByteRole);
    if (!byte.isValid())
        return;
    if (!glyphsReady_ || glyphs_.font() != cell.font) {
        glyphs_.setFont(cell.font);
        glyphsReady_ = true;
    }
    QPalette::ColorGroup group = QPalette::Normal;
    if (!(cell.state & QStyle::State_Enabled))
        group = QPalette::Disabled;
    else if (!(cell.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QColor color = cell.palette.color(
        group, (cell.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text);

    // The same margin Qt's own cell text keeps from the left edge.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect& area = cell.rect;
    const qreal baseline =
        area.top() + (area.height() - glyphs_.lineHeight()) / 2.0 + glyphs_.ascent();
    const char character = static_cast<char>(byte.toInt());
    painter->save();
    painter->setClipRect(area);
    glyphs_.draw(*painter, QPointF(area.left() + margin, baseline), std::string_view(&character, 1),
                 color);
    painter->restore();
}
