#pragma once

#include <QIcon>

namespace verdigo {

// The program's icon, drawn from its SVG at the sizes desktops ask for.
// Throws Failure when the picture cannot be read.
QIcon ProgramIcon();

}  // namespace verdigo
