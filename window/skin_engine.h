#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

class QWidget;

// A small skin engine: a skin is a Qt style sheet, loaded from a file and
// set on a window. It keeps a log of the calls made on it, by dispatch
// identifier, so the order in which the program drives it can be checked.
namespace verdigo {

struct SkinCall {
  int dispatchId = 0;
  std::string kind;  // "call", "read" or "write"
  std::string value;
  bool operator==(const SkinCall&) const = default;
};

class SkinEngine {
 public:
  // Dispatch 2: reads the skin file; `iniName` names a section of a skin
  // with several variants, empty for the whole file. Throws Failure.
  void LoadSkin(const std::string& path, const std::string& iniName);
  // Dispatch 1: the engine's option bits.
  std::int32_t Options();
  void SetOptions(std::int32_t options);
  // Dispatch 5 and 10: switches kept for the skin; the engine gives them no
  // meaning of its own.
  void SetFlag(int dispatchId, bool on);
  // Dispatch 3: sets the loaded skin on the window with that handle. Throws
  // Failure when no skin is loaded or no window has that handle.
  void ApplyToWindow(std::uintptr_t windowHandle);

  const std::vector<SkinCall>& Calls() const { return calls_; }
  const QString& StyleSheet() const { return styleSheet_; }

 private:
  void Log(int dispatchId, std::string kind, std::string value);

  std::vector<SkinCall> calls_;
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
