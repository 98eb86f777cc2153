#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "common/code_page.h"

// The window's edge: the program's texts are code-page bytes, Qt's are UTF-16.
namespace verdigo {

inline QString QStringFromCodePage(std::string_view bytes) {
  return QString::fromStdU16String(DecodeCodePage(bytes));
}

inline std::string CodePageFromQString(const QString& text) {
  return EncodeCodePage(text.toStdU16String());
}

}  // namespace verdigo
