#pragma once

#include <QString>
#include <string>
#include <string_view>

// The application title: one text for the whole program, shown by every
// message box and input box that names no title of its own.
namespace verdigo {

// The title before start-up sets it: the display name cut after its 39th
// character.
std::string InitialAppTitle(std::string_view displayName);

// The lasting title: cuts the last word (from the last blank on) until the
// text is 40 characters or fewer; at least one cut. When no blank is left to
// cut at, the text stands as it is.
std::string CutAppTitle(std::string_view displayName);

class AppTitle {
 public:
  explicit AppTitle(std::string_view displayName)
      : displayName_(displayName), text_(InitialAppTitle(displayName)) {}

  const std::string& Text() const { return text_; }
  // The title as boxes show it.
  QString Display() const;

  // Called once by start-up (reported at line 128 when it fails).
  void SetAppTitle() { text_ = CutAppTitle(displayName_); }

 private:
  std::string displayName_;
  std::string text_;
};

}  // namespace verdigo
