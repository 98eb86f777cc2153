#pragma once

class QWidget;

// What a screen reader announces for the window's lists and buttons: a name
// (a button's is its caption, so that what is heard matches what is seen)
// and a description of what the control does.
namespace verdigo {

// Sets the accessible name and description of every list and button of
// `window`, found by their object names.
void DescribeControlsForScreenReaders(QWidget& window);

}  // namespace verdigo
