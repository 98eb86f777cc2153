// The window's extraction run, offscreen, over the addresses of a list file:
// prints the seconds from the press of "Start Extracting Links" to "Done.",
// and the number of result rows. Run by bench/network_bench.py beside
// verdigo-extract over the same list.

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "common/list_lines.h"
#include "window/dialogs.h"
#include "window/form1.h"
#include "window/row_list_model.h"
#include "window/window_parts.h"

namespace {

// Answers every box at once, as a user who presses OK straight away.
class AnsweringDialogs : public verdigo::Dialogs {
 public:
  verdigo::BoxAnswer ShowMessage(const verdigo::MessageBoxSpec&) override {
    return verdigo::BoxAnswer::Ok;
  }
  std::optional<QString> AskText(const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  QStringList ChooseFilesToOpen(const verdigo::FileDialogSpec&) override { return {}; }
  QString ChooseFileToSave(const verdigo::FileDialogSpec&) override { return {}; }
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: verdigo-window-run LIST_FILE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string list((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  AnsweringDialogs dialogs;
  verdigo::WindowSetup setup;
  setup.dialogs = &dialogs;
  verdigo::WindowParts parts(std::move(setup));
  verdigo::Form1 window(parts);
  window.Form_Load();
  window.show();
  verdigo::ForEachListLine(list, [&](std::string_view line) { parts.urls->AppendRow(line); });
  QElapsedTimer timer;
  timer.start();
  window.PushButton7_Click();
  const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  std::printf("%.3f %d\n", seconds, parts.results->rowCount());
  return 0;
}
