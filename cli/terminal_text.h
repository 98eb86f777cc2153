#pragma once

#include <string>
#include <string_view>

namespace verdigo {

// Code-page bytes as a terminal may safely show them, in UTF-8: control
// characters (C0, DEL, C1), which could start escape sequences that retitle
// or recolour the terminal, become "\xNN" with the byte's value.
std::string TerminalText(std::string_view bytes);

}  // namespace verdigo
