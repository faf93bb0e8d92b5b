#include "windows/classic_font.h"

#include <QFont>
#include <QStringList>

void RegisterClassicFontSubstitutes() {
    static const bool registered = [] {
        // Arial-metric fonts come closest in width; DejaVu Sans is the last resort.
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("Nimbus Sans"),
                                    QStringLiteral("DejaVu Sans Condensed"),
                                    QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)registered;
}
