#include "window/box_reporter.h"

#include "common/error_report.h"
#include "window/app_title.h"
#include "window/qt_text.h"

namespace verdigo {

void BoxReporter::ShowErrorReport(const std::string& text) {
  dialogs_.ShowMessage({QStringFromCodePage(text), QStringFromCodePage(kErrorReportTitle),
                        BoxButtons::Ok, BoxIcon::Warning});
}

void BoxReporter::UrlNotFound(std::string_view, std::string_view) { Inform("URL not found"); }

void BoxReporter::Inform(std::string_view text) {
  dialogs_.ShowMessage(
      {QStringFromCodePage(text), title_.Display(), BoxButtons::Ok, BoxIcon::None});
}

}  // namespace verdigo
