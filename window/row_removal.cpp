#include "window/row_removal.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include "window/busy_gate.h"
#include "window/row_list_model.h"

namespace verdigo {

void RemoveSelectedRow(const QAbstractItemView& view, RowListModel& list, const BusyGate& busy) {
  busy.ChangeList([&] {
    if (list.rowCount() == 0) return;
    const QItemSelectionModel* selection = view.selectionModel();
    if (selection == nullptr) return;
    const QModelIndexList selected = selection->selectedRows();
    if (!selected.isEmpty()) list.RemoveRow(selected.first().row());
  });
}

}  // namespace verdigo
