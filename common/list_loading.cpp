#include "common/list_loading.h"

#include "common/file_routines.h"
#include "common/list_reader.h"
#include "common/row_store.h"

namespace verdigo {

void LoadListFromFile(const std::function<void(std::string_view)>& append, const std::string& path,
                      const std::function<void(std::string_view)>& showMessage) {
  if (!FileExists(path)) {
    showMessage(kFileNotFound);
    return;
  }
  ListReader list = ListReader::OpenFile(path, kWholeListLimits);
  // A file that fails part-way adds nothing: its lines wait here.
  RowStore lines;
  while (list.ReadPiece([&](std::string_view line, bool) { lines.Append(line); })) {
  }
  for (size_t i = 0; i < lines.Size(); ++i) append(lines.Text(i));
}

}  // namespace verdigo
