#include <QApplication>

#include "common/open_file_limit.h"
#include "common/temp_folder.h"
#include "window/form1.h"
#include "window/window_parts.h"

int main(int argc, char* argv[]) {
  // Many downloads at once need as many descriptors as allowed.
  verdigo::RaiseOpenFileLimit();
  QApplication app(argc, argv);
  // Logging out or a kill must not leave the page file behind either.
  verdigo::RemoveTempFolderOnTerminatingSignals();
  verdigo::RemoveLeftoverTempFolders();
  verdigo::WindowParts parts(verdigo::WindowSetup::ForProgram());
  verdigo::Form1 window(parts);
  window.Form_Load();
  window.show();
  const int status = QApplication::exec();
  verdigo::RemovePrivateTempFolder();
  return status;
}
