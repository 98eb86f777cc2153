#include "window/row_list_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <string>

namespace verdigo {
namespace {

// Every test watches its list with Qt's model tester, which ends the test
// program at the first inconsistency the views would trip over.
constexpr auto kFatal = QAbstractItemModelTester::FailureReportingMode::Fatal;

TEST(RowListModel, AppendedRowsReachTheViewInOneBatch) {
  RowListModel list(true);
  QAbstractItemModelTester tester(&list, kFatal);
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
  EXPECT_EQ(list.RowText(3), "d");  // reads see pending rows without showing them
  EXPECT_EQ(list.Rows().Size(), 4u);
  EXPECT_EQ(list.rowCount(), 3);
  list.FlushPending();
  EXPECT_EQ(list.rowCount(), 4);
  EXPECT_EQ(inserted.count(), 2);
}

TEST(RowListModel, RemovesRowsAsAnnouncedAndClears) {
  RowListModel list(false);
  QAbstractItemModelTester tester(&list, kFatal);
  QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
  for (const char* row : {"a", "b", "c", "d"}) list.AppendRow(row);
  list.FlushPending();
  list.RemoveRow(1);
  ASSERT_EQ(removed.count(), 1);
  EXPECT_EQ(removed[0][1].toInt(), 1);
  EXPECT_EQ(removed[0][2].toInt(), 1);
  ASSERT_EQ(list.rowCount(), 3);
  EXPECT_EQ(list.RowText(1), "c");
  list.RemoveRow(3);
  list.RemoveRow(-1);
  EXPECT_EQ(list.rowCount(), 3);

  // A pending row goes without the views hearing of it.
  list.AppendRow("e");
  list.AppendRow("f");
  list.RemoveRow(3);
  EXPECT_EQ(removed.count(), 1);
  list.FlushPending();
  ASSERT_EQ(list.rowCount(), 4);
  EXPECT_EQ(list.RowText(3), "f");

  list.AppendRow("g");
  list.Clear();
  EXPECT_EQ(list.rowCount(), 0);
  EXPECT_EQ(list.Rows().Size(), 0u);
  QCoreApplication::processEvents();  // the dropped batch must not come back
  EXPECT_EQ(list.rowCount(), 0);
}

TEST(RowListModel, RowsStartCheckedAndTickingOneTellsTheViews) {
  RowListModel list(true);
  QAbstractItemModelTester tester(&list, kFatal);
  QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
  list.AppendRow("a");
  list.AppendRow("b");
  list.FlushPending();
  const QModelIndex a = list.index(0, 0);
  const QModelIndex b = list.index(1, 0);
  EXPECT_TRUE(list.flags(b) & Qt::ItemIsUserCheckable);
  EXPECT_EQ(list.data(b, Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_TRUE(list.setData(b, Qt::Unchecked, Qt::CheckStateRole));  // the view's tick
  EXPECT_EQ(list.data(b, Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_FALSE(list.IsChecked(1));
  EXPECT_TRUE(list.IsChecked(0));
  list.SetChecked(0, false);  // the program's
  ASSERT_EQ(changed.count(), 2);
  EXPECT_EQ(changed[0][0].toModelIndex(), b);
  EXPECT_EQ(changed[0][1].toModelIndex(), b);
  EXPECT_EQ(changed[1][0].toModelIndex(), a);
  EXPECT_EQ(changed[1][1].toModelIndex(), a);
  EXPECT_EQ(list.data(a, Qt::CheckStateRole).toInt(), Qt::Unchecked);

  // A pending row's tick comes with its batch.
  list.AppendRow("c");
  list.SetChecked(2, false);
  EXPECT_EQ(changed.count(), 2);
  list.FlushPending();
  EXPECT_EQ(list.data(list.index(2, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);

  RowListModel plain(false);
  QAbstractItemModelTester plainTester(&plain, kFatal);
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
  list.FlushPending();
  ASSERT_EQ(list.rowCount(), 1);
  EXPECT_EQ(list.RowText(0), "http://a/");
}

}  // namespace
}  // namespace verdigo
