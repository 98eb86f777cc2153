#pragma once

#include <string_view>

// Fixed texts that name the program and its maker. One place for each.
namespace verdigo {

inline constexpr std::string_view kDisplayName = "Verdigo";
inline constexpr std::string_view kHomePageUrl = "http://www.quillmere.example/verdigo/";
inline constexpr std::string_view kSupportEmail = "support@quillmere.example";
// Procedure paths of error reports begin with this tag.
inline constexpr std::string_view kProcedureTag = "Quillmere2021/08/31";
// "Load Sample/Example Files": two public home pages, the first written with
// a closing "/", the second without.
inline constexpr std::string_view kSampleUrlWithSlash = "http://www.wikipedia.org/";
inline constexpr std::string_view kSampleUrlWithoutSlash = "http://www.gnu.org";

std::string_view ProgramVersion();

}  // namespace verdigo
