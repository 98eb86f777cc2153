#include "window/skin_engine.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>
#include <filesystem>
#include <fstream>

#include "common/error_report.h"
#include "common/file_routines.h"

namespace verdigo {

namespace {
constexpr std::uint64_t kMaxSkinBytes = 16u << 20;

bool ListedInHiddenFile(const std::filesystem::path& path) {
  std::ifstream list(path.parent_path() / ".hidden");
  std::string name;
  while (std::getline(list, name)) {
    if (name == path.filename().string()) return true;
  }
  return false;
}
}  // namespace

void StyleSheetSkin::LoadSkin(const std::string& path, const std::string&) {
  const std::string bytes = ReadWholeFile(path, kMaxSkinBytes);
  styleSheet_ = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  loaded_ = true;
}

void StyleSheetSkin::ApplyToWindow(std::uintptr_t windowHandle) {
  QWidget* window = QWidget::find(static_cast<WId>(windowHandle));
  if (!loaded_ || window == nullptr) throw Failure(std::string(kInvalidProcedureCall));
  window->setStyleSheet(styleSheet_);
}

std::string SkinFilePath(const std::string& programFolder) { return programFolder + "/x/o.cjs"; }

bool IsVisibleOrdinaryFile(const std::string& path) {
  const std::filesystem::path file(path);
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return false;
  const std::string name = file.filename().string();
  return !name.empty() && name.front() != '.' && !ListedInHiddenFile(file);
}

void ApplySkin(QWidget& window, SkinEngine& engine, const std::string& programFolder) {
  const std::string skinFile = SkinFilePath(programFolder);
  if (!IsVisibleOrdinaryFile(skinFile)) return;
  QPalette palette = window.palette();
  palette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
  window.setPalette(palette);
  engine.LoadSkin(skinFile, "");
  engine.SetOptions(engine.Options() | 1);
  engine.SetFlag(5, true);
  engine.SetFlag(10, true);
  engine.ApplyToWindow(static_cast<std::uintptr_t>(window.winId()));
}

}  // namespace verdigo
