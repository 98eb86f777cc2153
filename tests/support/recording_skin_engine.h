#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "window/skin_engine.h"

// The program's skin engine with a log of the calls made on it, by dispatch
// identifier, so a test can check the order in which the window drives it.
namespace verdigo::testing {

struct SkinCall {
  int dispatchId = 0;
  std::string kind;  // "call", "read" or "write"
  std::string value;
  bool operator==(const SkinCall&) const = default;
};

class RecordingSkinEngine : public SkinEngine {
 public:
  void LoadSkin(const std::string& path, const std::string& iniName) override {
    calls.push_back({2, "call", path + ", \"" + iniName + "\""});
    skin_.LoadSkin(path, iniName);
  }
  std::int32_t Options() override {
    const std::int32_t options = skin_.Options();
    calls.push_back({1, "read", std::to_string(options)});
    return options;
  }
  void SetOptions(std::int32_t options) override {
    calls.push_back({1, "write", std::to_string(options)});
    skin_.SetOptions(options);
  }
  void SetFlag(int dispatchId, bool on) override {
    calls.push_back({dispatchId, "write", on ? "true" : "false"});
    skin_.SetFlag(dispatchId, on);
  }
  void ApplyToWindow(std::uintptr_t windowHandle) override {
    calls.push_back({3, "call", std::to_string(windowHandle)});
    skin_.ApplyToWindow(windowHandle);
  }

  std::vector<SkinCall> calls;

 private:
  StyleSheetSkin skin_;
};

}  // namespace verdigo::testing
