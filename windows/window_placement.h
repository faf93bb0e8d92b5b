// How the secondary windows sit on the desktop: a fixed client size, above all
// other windows, centred, and hidden (not ended) by their close box.
#pragma once

#include <QSize>
#include <Qt>

class QWidget;

void MakeFixedStayOnTopWindow(QWidget& window, Qt::WindowType kind, QSize clientSize);

// Centres a window on the desktop it will appear on.
void CentreOnDesktop(QWidget& window);
