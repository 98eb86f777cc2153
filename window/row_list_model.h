#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QTimer>
#include <string_view>

#include "common/row_store.h"
#include "engine/interfaces.h"

namespace verdigo {

// A list shows at most this many characters of a row, then an ellipsis;
// saves and copies take the whole text.
inline constexpr size_t kMaxShownCharacters = 4096;
QString ShownRowText(std::string_view bytes);

// One list of the main window: one column of code-page texts, optionally
// with a check box on every row. Rows are stored as bytes and turned into
// characters only when a view shows them.
//
// Appended rows are stored at once but shown in batches: the view hears of
// them once per batch (ShowInterval after the first pending row, or when a
// caller flushes), so that appending a million rows does not cost a million
// view updates, and a view that lays out all its rows at each insertion does
// so a few times a second, not once a page. rowCount() counts the rows the
// views know of; a caller that needs every row counted flushes first. Reads
// see every row, pending ones included, and never flush.
class RowListModel : public QAbstractTableModel {
 public:
  // Milliseconds from the first pending row to its batch: longer as the list
  // grows, since each batch costs the view time in proportion to its rows.
  static constexpr int ShowInterval(int shownRows) { return 100 + shownRows / 1000; }

  explicit RowListModel(bool checkable, QObject* parent = nullptr);

  void SetHeader(const QString& header);

  // Every row starts checked.
  void AppendRow(std::string_view bytes);
  // Shows the pending rows now.
  void FlushPending();

  // Out-of-range rows are ignored; a pending row goes without the views
  // hearing of it.
  void RemoveRow(int row);
  void Clear();

  // Rows from 0 to the number of rows stored, pending ones included.
  std::string_view RowText(int row) const;
  bool IsChecked(int row) const;
  void SetChecked(int row, bool checked);

  // All rows, pending ones included; valid until the next change.
  const RowStore& Rows() const { return rows_; }
  // A copy that later changes of the list do not touch.
  RowStore Snapshot() const { return rows_.Snapshot(); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  bool checkable_;
  QString header_;
  RowStore rows_;
  int shown_ = 0;  // rows the views know of; the rest are pending
  QTimer flushTimer_;
};

// Sends the engine's result rows into a list.
class ModelRowSink : public RowSink {
 public:
  explicit ModelRowSink(RowListModel& list) : list_(list) {}
  void AppendRow(std::string_view row) override { list_.AppendRow(row); }

 private:
  RowListModel& list_;
};

}  // namespace verdigo
