#include "windows/received_text_glyphs.h"

#include "windows/widget_text.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>

namespace {

bool IsControl(unsigned char byte) {
    return Windows1252Char(byte).category() == QChar::Other_Control;
}

// Stands in for a control character when there is no raw font to take the
// font's own glyph for it from.
constexpr char16_t kControlPlaceholder = u'\u25AF';

} // namespace

int ReceivedTextGlyphs::fontSlot(const QRawFont& raw) {
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
        if (fonts_[i] == raw)
            return static_cast<int>(i);
    }
    fonts_.push_back(raw);
    return static_cast<int>(fonts_.size() - 1);
}

void ReceivedTextGlyphs::setFont(const QFont& font) {
    font_ = font;
    const QFontMetricsF metricsF(font);
    const QFontMetrics metrics(font);
    columnWidth_ = std::max<qreal>(1, metricsF.horizontalAdvance(QLatin1Char('0')));
    lineHeight_ = std::max(1, metrics.lineSpacing());
    ascent_ = metrics.ascent();

    fonts_.clear();
    glyphs_.fill(Glyph{});
    const QRawFont primary = QRawFont::fromFont(font);
    if (primary.isValid())
        fonts_.push_back(primary);

    for (int byte = 0; byte < 256; ++byte) {
        const QString character(Windows1252Char(static_cast<unsigned char>(byte)));
        Glyph& glyph = glyphs_[byte];
        if (primary.isValid()) {
            const QList<quint32> indexes = primary.glyphIndexesForString(character);
            glyph.index = indexes.isEmpty() ? 0 : indexes.first();
            // A control keeps whatever the font has for it (often its
            // missing-glyph box), so it stays one visible column.
            if (glyph.index != 0 || IsControl(static_cast<unsigned char>(byte))) {
                glyph.font = 0;
                continue;
            }
        }
        if (IsControl(static_cast<unsigned char>(byte)))
            continue;
        // The font lacks this letter: take the glyph Qt's own fallback picks.
        QTextLayout layout(character, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (!runs.isEmpty() && !runs.first().glyphIndexes().isEmpty() &&
            runs.first().rawFont().isValid()) {
            glyph.index = runs.first().glyphIndexes().first();
            glyph.font = fontSlot(runs.first().rawFont());
        }
    }
    runIndexes_.assign(fonts_.size(), {});
    runPositions_.assign(fonts_.size(), {});
}

void ReceivedTextGlyphs::draw(QPainter& painter, QPointF origin, std::string_view bytes,
                              const QColor& color) const {
    if (bytes.empty())
        return;
    painter.setPen(color);
    bool anyAsText = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const Glyph& glyph = glyphs_[static_cast<unsigned char>(bytes[i])];
        if (glyph.font < 0) {
            anyAsText = true;
            continue;
        }
        runIndexes_[glyph.font].push_back(glyph.index);
        runPositions_[glyph.font].push_back(QPointF(i * columnWidth_, 0));
    }
    for (std::size_t f = 0; f < fonts_.size(); ++f) {
        if (runIndexes_[f].isEmpty())
            continue;
        {
            QGlyphRun run;
            run.setRawFont(fonts_[f]);
            run.setGlyphIndexes(runIndexes_[f]);
            run.setPositions(runPositions_[f]);
            painter.drawGlyphRun(origin, run);
        }
        // The run is gone, so clearing keeps the lists' storage for the next draw.
        runIndexes_[f].clear();
        runPositions_[f].clear();
    }
    if (!anyAsText)
        return;
    painter.setFont(font_);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (glyphs_[byte].font >= 0)
            continue;
        const QChar character =
            IsControl(byte) ? QChar(kControlPlaceholder) : Windows1252Char(byte);
        painter.drawText(origin + QPointF(i * columnWidth_, 0), QString(character));
    }
}
