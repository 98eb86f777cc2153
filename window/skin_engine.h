#pragma once

#include <QString>
#include <cstdint>
#include <string>

class QWidget;

// A small skin engine: a skin is a Qt style sheet, loaded from a file and
// set on a window. Each member's comment gives its dispatch identifier.
namespace verdigo {

class SkinEngine {
 public:
  virtual ~SkinEngine() = default;
  // Dispatch 2: reads the skin file; `iniName` names a section of a skin
  // with several variants, empty for the whole file. Throws Failure.
  virtual void LoadSkin(const std::string& path, const std::string& iniName) = 0;
  // Dispatch 1: the engine's option bits.
  virtual std::int32_t Options() = 0;
  virtual void SetOptions(std::int32_t options) = 0;
  // Dispatch 5 and 10: switches kept for the skin; the engine gives them no
  // meaning of its own.
  virtual void SetFlag(int dispatchId, bool on) = 0;
  // Dispatch 3: sets the loaded skin on the window with that handle. Throws
  // Failure when no skin is loaded or no window has that handle.
  virtual void ApplyToWindow(std::uintptr_t windowHandle) = 0;
};

// The skin engine of the program: the skin file is the style sheet.
class StyleSheetSkin : public SkinEngine {
 public:
  void LoadSkin(const std::string& path, const std::string& iniName) override;
  std::int32_t Options() override { return options_; }
  void SetOptions(std::int32_t options) override { options_ = options; }
  void SetFlag(int, bool) override {}
  void ApplyToWindow(std::uintptr_t windowHandle) override;

 private:
  QString styleSheet_;
  bool loaded_ = false;
  std::int32_t options_ = 0;
};

// <programFolder>/x/o.cjs
std::string SkinFilePath(const std::string& programFolder);

// True for a regular file that a directory listing shows: not a folder, its
// name not starting with "." and not listed in the folder's ".hidden" file
// (the desktop's way of hiding a file).
bool IsVisibleOrdinaryFile(const std::string& path);

// Skins the window when a visible skin file stands beside the program:
// background to the button-face colour, then the engine's five calls. Does
// nothing without one. Failures pass to the caller (reported at line 100).
void ApplySkin(QWidget& window, SkinEngine& engine, const std::string& programFolder);

}  // namespace verdigo
