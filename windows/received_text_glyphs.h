// Draws byte text in a fixed-pitch font, one column per byte, each byte as the
// character Windows-1252 gives it. Glyphs for all 256 bytes are looked up once
// per font, so drawing a slice of a line costs only that slice, and a tab or
// other control character takes exactly one column like any other byte.
#pragma once

#include <QFont>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <array>
#include <string_view>
#include <vector>

class QColor;
class QPainter;

class ReceivedTextGlyphs {
public:
    void setFont(const QFont& font);

    const QFont& font() const { return font_; }
    qreal columnWidth() const { return columnWidth_; }
    int lineHeight() const { return lineHeight_; }
    int ascent() const { return ascent_; }

    // Draws bytes starting at column 0 at `origin` (x of the first column, y of
    // the baseline).
    void draw(QPainter& painter, QPointF origin, std::string_view bytes, const QColor& color) const;

private:
    struct Glyph {
        quint32 index = 0;
        // Into fonts_; -1 when no raw font could be had and the character is
        // drawn as text.
        int font = -1;
    };

    int fontSlot(const QRawFont& raw);

    QFont font_;
    qreal columnWidth_ = 1;
    int lineHeight_ = 1;
    int ascent_ = 0;
    // The font itself first; fallbacks for characters it lacks after it.
    std::vector<QRawFont> fonts_;
    std::array<Glyph, 256> glyphs_;
    // Scratch space reused between draws, one pair per font.
    mutable std::vector<QList<quint32>> runIndexes_;
    mutable std::vector<QList<QPointF>> runPositions_;
};
