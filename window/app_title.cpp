#include "window/app_title.h"

#include "window/qt_text.h"

namespace verdigo {

namespace {
constexpr size_t kInitialTitleLength = 39;
constexpr size_t kLongestTitle = 40;
}  // namespace

std::string InitialAppTitle(std::string_view displayName) {
  return std::string(displayName.substr(0, kInitialTitleLength));
}

std::string CutAppTitle(std::string_view displayName) {
  std::string_view text = displayName;
  do {
    const size_t blank = text.rfind(' ');
    if (blank == std::string_view::npos) break;  // nothing left to cut at
    text = text.substr(0, blank);
  } while (text.size() > kLongestTitle);
  return std::string(text);
}

QString AppTitle::Display() const { return QStringFromCodePage(text_); }

}  // namespace verdigo
