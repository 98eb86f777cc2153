#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/error_report.h"

// Opens the maker's home page in the browser at one start in a hundred.
namespace verdigo {

struct HomePageHooks {
  // A whole number from 1 to 100.
  std::function<int()> draw;
  // Opens the address in the browser without waiting for it; throws Failure
  // when the browser cannot be started.
  std::function<void(const std::string& address)> open;
};

inline constexpr char kLinkOpener[] = "xdg-open";

// The desktop has no program to open links with: a fact to tell the user,
// not a fault of the program.
class NoLinkOpener : public Failure {
 public:
  NoLinkOpener();
};

// Seeds from the time of day (seconds since midnight) and draws 1 to 100.
int DrawFromTimeOfDay();

// Starts xdg-open with the address, detached. Throws NoLinkOpener when no
// xdg-open is on the PATH, Failure when it cannot be started.
void OpenInBrowser(const std::string& address);

HomePageHooks DefaultHomePageHooks();

// On a draw of 7, opens kHomePageUrl. Failures pass to the caller (line 110).
void ShowHomePageSometimes(const HomePageHooks& hooks);

}  // namespace verdigo
