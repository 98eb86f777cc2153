#include "window/row_list_model.h"

#include <climits>
#include <stdexcept>

#include "window/qt_text.h"

namespace verdigo {

QString ShownRowText(std::string_view bytes) {
  // Laying out a row's whole text at every paint would freeze the window
  // on a page holding one link of megabytes.
  if (bytes.size() <= kMaxShownCharacters) return QStringFromCodePage(bytes);
  return QStringFromCodePage(bytes.substr(0, kMaxShownCharacters)) + QChar(0x2026);
}

RowListModel::RowListModel(bool checkable, QObject* parent)
    : QAbstractTableModel(parent), checkable_(checkable) {
  flushTimer_.setSingleShot(true);
  QObject::connect(&flushTimer_, &QTimer::timeout, this, [this] { FlushPending(); });
}

void RowListModel::SetHeader(const QString& header) {
  header_ = header;
  emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void RowListModel::AppendRow(std::string_view bytes) {
  // A view counts rows in int.
  if (rows_.Size() >= static_cast<size_t>(INT_MAX)) throw std::length_error("list full");
  rows_.Append(bytes);
  if (!flushTimer_.isActive()) flushTimer_.start(ShowInterval(shown_));
}

void RowListModel::FlushPending() {
  flushTimer_.stop();
  const int total = static_cast<int>(rows_.Size());
  if (total == shown_) return;
  beginInsertRows(QModelIndex(), shown_, total - 1);
  shown_ = total;
  endInsertRows();
}

void RowListModel::RemoveRow(int row) {
  if (row < 0 || static_cast<size_t>(row) >= rows_.Size()) return;
  if (row >= shown_) {
    rows_.Remove(static_cast<size_t>(row));
    return;
  }
  beginRemoveRows(QModelIndex(), row, row);
  rows_.Remove(static_cast<size_t>(row));
  --shown_;
  endRemoveRows();
}

void RowListModel::Clear() {
  flushTimer_.stop();
  beginResetModel();
  rows_.Clear();
  shown_ = 0;
  endResetModel();
}

std::string_view RowListModel::RowText(int row) const {
  return rows_.Text(static_cast<size_t>(row));
}

bool RowListModel::IsChecked(int row) const { return rows_.Checked(static_cast<size_t>(row)); }

void RowListModel::SetChecked(int row, bool checked) {
  rows_.SetChecked(static_cast<size_t>(row), checked);
  if (row >= shown_) return;  // the views hear of it with its batch
  const QModelIndex cell = index(row, 0);
  emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

int RowListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shown_;
}

int RowListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant RowListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= shown_ || index.column() != 0) return {};
  const auto row = static_cast<size_t>(index.row());
  if (role == Qt::DisplayRole) return ShownRowText(rows_.Text(row));
  if (role == Qt::CheckStateRole && checkable_) {
    return static_cast<int>(rows_.Checked(row) ? Qt::Checked : Qt::Unchecked);
  }
  return {};
}

bool RowListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!checkable_ || role != Qt::CheckStateRole || !index.isValid() || index.row() >= shown_) {
    return false;
  }
  const bool checked = value.toInt() == Qt::Checked;
  rows_.SetChecked(static_cast<size_t>(index.row()), checked);
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

QVariant RowListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) return header_;
  return {};
}

Qt::ItemFlags RowListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (checkable_) f |= Qt::ItemIsUserCheckable;
  return f;
}

}  // namespace verdigo
