#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/interfaces.h"

namespace verdigo::testing {

// The rows the engine appends, in order.
struct VectorSink : RowSink {
  std::vector<std::string> rows;
  void AppendRow(std::string_view row) override { rows.emplace_back(row); }
};

struct NotFound {
  std::string pageUrl;
  std::string reason;
  bool operator==(const NotFound&) const = default;
  friend void PrintTo(const NotFound& n, std::ostream* os) {
    *os << "{" << n.pageUrl << ", " << n.reason << "}";
  }
};

// The engine's messages: each kind on its own, and all of them in order as
// text ("URL not found: <address> (<reason>)" for a page not found).
struct RecordingReporter : EngineReporter {
  std::vector<std::string> errorReports;
  std::vector<NotFound> notFound;
  std::vector<std::string> messages;

  void ShowErrorReport(const std::string& text) override {
    errorReports.push_back(text);
    messages.push_back(text);
  }
  void UrlNotFound(std::string_view pageUrl, std::string_view reason) override {
    notFound.push_back({std::string(pageUrl), std::string(reason)});
    messages.push_back("URL not found: " + std::string(pageUrl) + " (" + std::string(reason) + ")");
  }
};

}  // namespace verdigo::testing
