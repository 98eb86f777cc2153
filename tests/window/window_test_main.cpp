#include <gtest/gtest.h>

#include <QApplication>
#include <optional>

#include "tests/support/scoped_temp_dir.h"

// The window tests run headless, on Qt's offscreen platform.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Without a session's runtime folder Qt makes one in the temporary folder
  // and leaves it there.
  std::optional<verdigo::testing::ScopedTempDir> runtime;
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.emplace().path()));
  }
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
