#include "window/qt_text.h"

#include "common/code_page.h"

namespace verdigo {

QString CodePageToQString(std::string_view bytes) {
  QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
  QChar* out = text.data();
  for (const char b : bytes) *out++ = QChar(CodePageToUnicode(static_cast<unsigned char>(b)));
  return text;
}

std::string QStringToCodePage(const QString& text) {
  return EncodeCodePage(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()));
}

}  // namespace verdigo
