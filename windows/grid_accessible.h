// Announcing a byte grid's current cell to screen readers. Qt's table views
// tell every move of the current cell as a focus change, even when another
// grid moved it while holding the keyboard focus itself; a screen reader then
// follows the wrong grid. Here the grid that has the focus tells a focus
// change, and a grid moved from elsewhere tells that its selected cell moved.
#pragma once

class QAbstractItemView;
class QModelIndex;

void AnnounceCurrentCell(QAbstractItemView& grid, const QModelIndex& current);
