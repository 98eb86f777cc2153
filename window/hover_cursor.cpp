#include "window/hover_cursor.h"

#include <QBuffer>
#include <QImageReader>
#include <QPixmap>

#include "common/error_report.h"
#include "common/file_routines.h"

namespace verdigo {

namespace {
constexpr std::uint64_t kMaxCursorBytes = 4u << 20;
// A cursor file starts with a 6-byte header (reserved, type 2, count), then
// 16-byte directory entries; an entry holds the hotspot at bytes 4 to 7.
constexpr size_t kHeaderBytes = 6;
constexpr size_t kEntryBytes = 16;
constexpr size_t kHotspotInEntry = 4;

int LittleEndian16(const std::string& bytes, size_t at) {
  return static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
}

[[noreturn]] void InvalidPicture() { throw Failure("Invalid picture"); }
}  // namespace

std::string HoverCursorPath(const std::string& programFolder) {
  return programFolder + "/HAND-M.CUR";
}

QCursor LoadCursorFile(const std::string& path) {
  std::string bytes = ReadWholeFile(path, kMaxCursorBytes);
  if (bytes.size() < kHeaderBytes + kEntryBytes || LittleEndian16(bytes, 4) == 0) InvalidPicture();
  const int hotX = LittleEndian16(bytes, kHeaderBytes + kHotspotInEntry);
  const int hotY = LittleEndian16(bytes, kHeaderBytes + kHotspotInEntry + 2);

  QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  const QImage image = reader.read();
  if (image.isNull()) InvalidPicture();
  return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

}  // namespace verdigo
