// Draws each cell of the ASCII view as one visible glyph: the byte as the
// received text draws it, control bytes included, never a line break, a tab,
// an ellipsis or nothing. Selection and focus are drawn as for any cell.
#pragma once

#include "windows/received_text_glyphs.h"

#include <QStyledItemDelegate>

class ByteGlyphDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    // The glyph table of the font last drawn with; rebuilt when it changes.
    mutable ReceivedTextGlyphs glyphs_;
    mutable bool glyphsReady_ = false;
};
