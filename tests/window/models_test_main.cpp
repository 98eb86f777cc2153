#include <gtest/gtest.h>

#include <QGuiApplication>
#include <optional>

#include "tests/support/scoped_temp_dir.h"

// The models and the clipboard need an application object, headless.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Without a session's runtime folder Qt makes one in the temporary folder
  // and leaves it there.
  std::optional<verdigo::testing::ScopedTempDir> runtime;
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime.emplace().path()));
  }
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
