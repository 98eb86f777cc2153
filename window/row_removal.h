#pragma once

#include <Qt>

class QAbstractItemView;

// Removing one row of either list by the Delete key or a double-click.
namespace verdigo {

class BusyGate;
class RowListModel;

// Delete counts whatever Shift, Ctrl and Alt do; other keys are the list's own.
inline bool IsRemoveKey(int key) { return key == Qt::Key_Delete; }

// Removes the row that `view` reports as selected, through the busy gate:
// not while the window is busy. Without a selection nothing is removed.
void RemoveSelectedRow(const QAbstractItemView& view, RowListModel& list, const BusyGate& busy);

}  // namespace verdigo
