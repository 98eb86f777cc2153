#pragma once

#include <QCursor>
#include <string>

// The pointer shown over the push buttons, from a Windows cursor file.
namespace verdigo {

// <programFolder>/HAND-M.CUR
std::string HoverCursorPath(const std::string& programFolder);

// Reads the cursor's image (the first one of the file) and its hotspot from
// the file's first directory entry. Throws Failure when the file cannot be
// read or holds no cursor image.
QCursor LoadCursorFile(const std::string& path);

}  // namespace verdigo
