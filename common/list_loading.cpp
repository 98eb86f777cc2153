#include "common/list_loading.h"

#include <cstdint>

#include "common/file_routines.h"
#include "common/list_lines.h"

namespace verdigo {
namespace {

// Far beyond any list of addresses a person keeps, well below what would
// exhaust memory.
constexpr std::uint64_t kMaxListFileBytes = std::uint64_t{1} << 30;

}  // namespace

void LoadListFromFile(const std::function<void(std::string_view)>& append, const std::string& path,
                      const std::function<void(std::string_view)>& showMessage) {
  if (!FileExists(path)) {
    showMessage(kFileNotFound);
    return;
  }
  const std::string bytes = ReadWholeFile(path, kMaxListFileBytes);
  ForEachListLine(bytes, append);
}

}  // namespace verdigo
