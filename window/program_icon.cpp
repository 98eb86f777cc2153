#include "window/program_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "common/error_report.h"

namespace verdigo {

QIcon ProgramIcon() {
  QSvgRenderer renderer(QStringLiteral(":/verdigo/verdigo.svg"));
  if (!renderer.isValid()) throw Failure("Invalid picture");
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace verdigo
