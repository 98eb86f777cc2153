#include "window/row_list_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <string>

namespace verdigo {
namespace {

TEST(RowListModel, AppendedRowsReachTheViewInOneBatch) {
  RowListModel list(true);
  QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
  list.AppendRow("a");
  list.AppendRow("b");
  list.AppendRow("c");
  EXPECT_EQ(list.rowCount(), 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(list.rowCount(), 0);  // shown a few times a second, not at every event
  QDeadlineTimer deadline(10000);
  while (list.rowCount() == 0 && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(list.rowCount(), 3);
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(inserted[0][1].toInt(), 0);
  EXPECT_EQ(inserted[0][2].toInt(), 2);

  list.AppendRow("d");
  EXPECT_EQ(list.RowText(3), "d");  // a read shows pending rows first
  EXPECT_EQ(list.rowCount(), 4);
  EXPECT_EQ(inserted.count(), 2);
}

TEST(RowListModel, RemoveAndClear) {
  RowListModel list(false);
  QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Warning);
  for (const char* row : {"a", "b", "c"}) list.AppendRow(row);
  list.RemoveRow(1);  // pending rows are shown before the removal
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.RowText(0), "a");
  EXPECT_EQ(list.RowText(1), "c");
  list.RemoveRow(2);
  list.RemoveRow(-1);
  EXPECT_EQ(list.Count(), 2);

  list.AppendRow("d");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  QCoreApplication::processEvents();  // the dropped batch must not come back
  EXPECT_EQ(list.rowCount(), 0);
}

TEST(RowListModel, RowsStartCheckedAndTheViewTogglesThem) {
  RowListModel list(true);
  list.AppendRow("a");
  list.AppendRow("b");
  list.FlushPending();
  const QModelIndex b = list.index(1, 0);
  EXPECT_TRUE(list.flags(b) & Qt::ItemIsUserCheckable);
  EXPECT_EQ(list.data(b, Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_TRUE(list.setData(b, Qt::Unchecked, Qt::CheckStateRole));
  EXPECT_EQ(list.data(b, Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_FALSE(list.IsChecked(1));
  EXPECT_TRUE(list.IsChecked(0));
  EXPECT_TRUE(list.setData(b, Qt::Checked, Qt::CheckStateRole));
  EXPECT_TRUE(list.IsChecked(1));

  RowListModel plain(false);
  plain.AppendRow("a");
  plain.FlushPending();
  EXPECT_FALSE(plain.flags(plain.index(0, 0)) & Qt::ItemIsUserCheckable);
  EXPECT_FALSE(plain.data(plain.index(0, 0), Qt::CheckStateRole).isValid());
  EXPECT_FALSE(plain.setData(plain.index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
}

TEST(RowListModel, ShowsCodePageBytesAsTheirCharacters) {
  RowListModel list(false);
  list.SetHeader("Result(s)");
  list.AppendRow("caf\xE9 \x80 \x96 \x9D");
  list.FlushPending();
  EXPECT_EQ(list.data(list.index(0, 0)).toString(), QString::fromUtf8("café € – \u009D"));
  EXPECT_EQ(list.RowText(0), "caf\xE9 \x80 \x96 \x9D");
  EXPECT_EQ(list.headerData(0, Qt::Horizontal).toString(), "Result(s)");
}

TEST(RowListModel, ShowsAtMostAFewThousandCharactersOfARow) {
  RowListModel list(true);
  const std::string huge(1 << 20, 'a');
  list.AppendRow(huge);
  list.AppendRow(std::string(kMaxShownCharacters, 'b'));
  list.FlushPending();
  EXPECT_EQ(list.data(list.index(0, 0)).toString(),
            QString(kMaxShownCharacters, 'a') + QChar(0x2026));
  EXPECT_EQ(list.data(list.index(1, 0)).toString(), QString(kMaxShownCharacters, 'b'));
  EXPECT_EQ(list.RowText(0), huge);
  EXPECT_EQ(list.Snapshot().Text(0), huge);
}

TEST(ModelRowSink, AppendsToTheList) {
  RowListModel list(true);
  ModelRowSink sink(list);
  RowSink& engineSide = sink;
  engineSide.AppendRow("http://a/");
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.RowText(0), "http://a/");
}

}  // namespace
}  // namespace verdigo
