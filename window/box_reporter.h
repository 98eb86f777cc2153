#pragma once

#include <string>
#include <string_view>

#include "engine/interfaces.h"
#include "window/dialogs.h"

// The window's messages: error reports and the engine's "URL not found", as
// message boxes.
namespace verdigo {

class AppTitle;

class BoxReporter : public EngineReporter {
 public:
  BoxReporter(Dialogs& dialogs, const AppTitle& title) : dialogs_(dialogs), title_(title) {}

  // "Application Error", warning icon, OK.
  void ShowErrorReport(const std::string& text) override;
  // "URL not found": OK, no icon, the application title.
  void UrlNotFound(std::string_view pageUrl, std::string_view reason) override;
  // An ordinary information box: OK, no icon, the application title.
  void Inform(std::string_view text);

 private:
  Dialogs& dialogs_;
  const AppTitle& title_;
};

}  // namespace verdigo
