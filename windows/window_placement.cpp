#include "windows/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void MakeFixedStayOnTopWindow(QWidget& window, Qt::WindowType kind, QSize clientSize) {
    window.setWindowFlags(kind | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint);
    window.setAttribute(Qt::WA_QuitOnClose, false);
    window.setFixedSize(clientSize);
    CentreOnDesktop(window);
}

void CentreOnDesktop(QWidget& window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}
