#pragma once

#include <QString>
#include <string>
#include <string_view>

// The window's edge between the program's code-page bytes and Qt's strings.
namespace verdigo {

QString CodePageToQString(std::string_view bytes);
// Characters the code page lacks become its substitute, '?'.
std::string QStringToCodePage(const QString& text);

}  // namespace verdigo
