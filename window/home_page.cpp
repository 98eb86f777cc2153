#include "window/home_page.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTime>
#include <bit>
#include <cstdint>
#include <random>

#include "common/error_report.h"
#include "common/product.h"
#include "window/qt_text.h"

namespace verdigo {

namespace {
constexpr int kLuckyDraw = 7;
}

int DrawFromTimeOfDay() {
  const float secondsSinceMidnight =
      static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
  std::mt19937 generator(std::bit_cast<std::uint32_t>(secondsSinceMidnight));
  std::uniform_real_distribution<float> fraction(0.0f, 1.0f);
  const int draw = static_cast<int>(fraction(generator) * 100.0f) + 1;
  return draw > 100 ? 100 : draw;  // a float draw can round up to 1.0
}

NoLinkOpener::NoLinkOpener()
    : Failure(std::string("No program to open links is installed (") + kLinkOpener + ")") {}

void OpenInBrowser(const std::string& address) {
  const QString opener = QStandardPaths::findExecutable(QString::fromLatin1(kLinkOpener));
  if (opener.isEmpty()) throw NoLinkOpener();
  if (!QProcess::startDetached(opener, QStringList{QStringFromCodePage(address)})) {
    throw Failure("File not found");
  }
}

HomePageHooks DefaultHomePageHooks() { return {DrawFromTimeOfDay, OpenInBrowser}; }

void ShowHomePageSometimes(const HomePageHooks& hooks) {
  if (hooks.draw() == kLuckyDraw) hooks.open(std::string(kHomePageUrl));
}

}  // namespace verdigo
