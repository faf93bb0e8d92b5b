#include "picture/picture_view_accessible.h"

#include "picture/accessibility_clients.h"
#include "picture/picture_view.h"

#include <QAccessibleWidget>

namespace {

class PictureViewAccessible : public QAccessibleWidget {
public:
    explicit PictureViewAccessible(PictureView* view)
        : QAccessibleWidget(view, QAccessible::Graphic) {}

    QString text(QAccessible::Text kind) const override {
        const auto* view = static_cast<const PictureView*>(widget());
        if (kind == QAccessible::Name) {
            // The label's text (or a name the window gave), then what is shown.
            const QString label = QAccessibleWidget::text(QAccessible::Name);
            const QString shown =
                view->subject().isEmpty() ? QStringLiteral("kein Bild") : view->subject();
            return label.isEmpty() ? shown : label + QStringLiteral(": ") + shown;
        }
        if (kind == QAccessible::Description) {
            const QSize size = view->pictureSize();
            if (!size.isEmpty())
                return QStringLiteral("%1 × %2 Pixel").arg(size.width()).arg(size.height());
            return view->subject().isEmpty() ? QString() : QStringLiteral("leere Datei, kein Bild");
        }
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* PictureViewFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("PictureView"))
        if (auto* view = qobject_cast<PictureView*>(object))
            return new PictureViewAccessible(view);
    return nullptr;
}

} // namespace

void MakePictureViewAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(PictureViewFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void AnnouncePictureChange(PictureView* view) {
    for (QAccessible::Event change : {QAccessible::NameChanged, QAccessible::DescriptionChanged}) {
        QAccessibleEvent event(view, change);
        TellAccessibilityClients(event);
    }
}
