#include "window/row_removal.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include "window/pointer_state.h"
#include "window/row_list_model.h"

namespace verdigo {

void RemoveSelectedRow(const QAbstractItemView& view, RowListModel& list,
                       const PointerState& pointer) {
  if (pointer.IsBusy() || list.rowCount() == 0) return;
  const QItemSelectionModel* selection = view.selectionModel();
  if (selection == nullptr) return;
  const QModelIndexList selected = selection->selectedRows();
  if (selected.isEmpty()) return;
  list.RemoveRow(selected.first().row());
}

}  // namespace verdigo
