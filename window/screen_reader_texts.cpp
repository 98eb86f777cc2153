#include "window/screen_reader_texts.h"

#include <QAbstractButton>
#include <QWidget>

#include "window/qt_text.h"

namespace verdigo {
namespace {

struct ControlTexts {
  const char* objectName;
  const char* name;  // null: the button's caption
  const char* description;
};

// The lists' hover hint speaks of the mouse only; their descriptions name the
// keys as well.
constexpr ControlTexts kControls[] = {
    {"ListView1", "URL list",
     "The web addresses to visit, in order. Delete or double-click removes the selected "
     "address. Ctrl+V pastes addresses, one per line; text files and links can be dropped "
     "here."},
    {"ListView2", "Results list",
     "Each page's address followed by its links. Delete or double-click removes the selected "
     "result; the context menu opens it in the browser or copies it."},
    {"PushButton5", nullptr, "Asks for one web address and adds it to the URL list."},
    {"PushButton13", nullptr, "Adds every line of one or more text files to the URL list."},
    {"PushButton11", nullptr, "Empties the URL list."},
    {"PushButton3", nullptr, "Adds two sample addresses to the URL list."},
    {"PushButton7", nullptr,
     "Visits every address of the URL list in order and adds the links found to the results."},
    {"PushButton6", nullptr, "Saves the results as a text file, one per line."},
    {"PushButton1", nullptr, "Saves the results on one comma-delimited line."},
    {"PushButton2", nullptr, "Copies the ticked results to the clipboard, one per line."},
    {"PushButton9", nullptr, "Empties the results list."},
};

}  // namespace

void DescribeControlsForScreenReaders(QWidget& window) {
  for (const ControlTexts& texts : kControls) {
    auto* control = window.findChild<QWidget*>(QStringFromCodePage(texts.objectName));
    if (control == nullptr) continue;
    const auto* button = qobject_cast<QAbstractButton*>(control);
    if (texts.name != nullptr) {
      control->setAccessibleName(QStringFromCodePage(texts.name));
    } else if (button != nullptr) {
      control->setAccessibleName(button->text());
    }
    control->setAccessibleDescription(QStringFromCodePage(texts.description));
  }
}

}  // namespace verdigo
