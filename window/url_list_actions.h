#pragma once

// The URL list's buttons: "Add URL", "Load List From Text File", "Clear List"
// and "Load Sample/Example Files". Each runs its numbered statements through
// the error trap of its click handler.
namespace verdigo {

class AppTitle;
class BoxReporter;
class Dialogs;
class PointerState;
class RowListModel;

class UrlListActions {
 public:
  struct Parts {
    RowListModel& urls;
    Dialogs& dialogs;
    const AppTitle& title;
    BoxReporter& reporter;
    const PointerState& pointer;
  };

  explicit UrlListActions(Parts parts) : p_(parts) {}

  // PushButton5_Click: asks for one address and appends it.
  void AddUrl();
  // PushButton13_Click: appends the lines of the chosen files, in order.
  void LoadListFiles();
  // PushButton11_Click: empties the list unless the window is busy.
  void ClearList();
  // PushButton3_Click: appends the two sample addresses.
  void LoadSamples();

 private:
  Parts p_;
};

}  // namespace verdigo
