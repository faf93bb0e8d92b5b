#include "windows/grid_accessible.h"

#include "picture/accessibility_clients.h"

#include <QAbstractItemView>
#include <QAccessible>

void AnnounceCurrentCell(QAbstractItemView& grid, const QModelIndex& current) {
    if (!current.isValid() || !AccessibilityClientListening())
        return;
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&grid);
    if (!table || !table->tableInterface())
        return;
    QAccessibleInterface* cell = table->tableInterface()->cellAt(current.row(), current.column());
    if (!cell)
        return;
    QAccessibleEvent event(&grid, grid.hasFocus() ? QAccessible::Focus : QAccessible::Selection);
    event.setChild(table->indexOfChild(cell));
    TellAccessibilityClients(event);
}
