#include "common/fd_io.h"
#include "common/temp_folder.h"
#include "engine/interfaces.h"

namespace verdigo {
namespace {

class TempFolderFiles : public PageFiles {
 public:
  UniqueFd Create(int index) override { return CreatePageFile(index); }
  void Write(const UniqueFd& file, std::string_view bytes) override {
    WriteAllOrFail(file.get(), bytes);
  }
  PageBuffer Map(const UniqueFd& file, size_t size) override {
    return PageBuffer::MapFile(file.get(), size);
  }
  void Remove(int index) override { RemovePageFile(index); }
};

}  // namespace

PageFiles& TempFolderPageFiles() {
  static TempFolderFiles files;
  return files;
}

}  // namespace verdigo
