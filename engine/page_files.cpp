#include <unistd.h>

#include <cerrno>

#include "common/error_report.h"
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
  void Release(int index) override { KeepPageFileEmpty(index); }
  void RemoveKept() override { RemoveKeptPageFiles(); }
};

}  // namespace

void PageFiles::Empty(const UniqueFd& file) {
  if (::ftruncate(file.get(), 0) != 0 || ::lseek(file.get(), 0, SEEK_SET) != 0) {
    FailWithErrno(errno);
  }
}

PageFiles& TempFolderPageFiles() {
  static TempFolderFiles files;
  return files;
}

}  // namespace verdigo
