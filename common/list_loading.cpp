#include "common/list_loading.h"

#include <sys/stat.h>
#include <sys/vfs.h>

#include "common/error_report.h"
#include "common/file_routines.h"
#include "common/list_reader.h"
#include "common/row_store.h"

namespace verdigo {

namespace {

// Magic numbers of the file systems whose files the kernel makes as they are
// read (linux/magic.h).
bool IsKernelFileSystem(long type) {
  switch (static_cast<unsigned long>(type)) {
    case 0x9fa0:      // proc
    case 0x62656572:  // sysfs
    case 0x64626720:  // debugfs
    case 0x74726163:  // tracefs
    case 0x73636673:  // securityfs
    case 0x27e0eb:    // cgroup
    case 0x63677270:  // cgroup2
    case 0xde5e81e4:  // efivarfs
    case 0xcafe4a11:  // bpf
    case 0x62656570:  // configfs
      return true;
    default:
      return false;
  }
}

// A file of /proc or /sys shows the size 0 and may wait for good to be read
// (/proc/kmsg): it is refused before a byte is read.
void RefuseKernelFile(int fd) {
  struct stat st {};
  struct statfs fs {};
  if (::fstat(fd, &st) == 0 && st.st_size == 0 && ::fstatfs(fd, &fs) == 0 &&
      IsKernelFileSystem(static_cast<long>(fs.f_type))) {
    throw Failure(std::string(kKernelFile));
  }
}

}  // namespace

void LoadListFromFile(const std::function<void(std::string_view)>& append, const std::string& path,
                      const std::function<void(std::string_view)>& showMessage) {
  if (!FileExists(path)) {
    showMessage(kFileNotFound);
    return;
  }
  ListReader list = ListReader::OpenFile(path, kWholeListLimits);
  RefuseKernelFile(list.fd());
  // A file that fails part-way adds nothing: its lines wait here.
  RowStore lines;
  while (list.ReadPiece([&](std::string_view line, bool) { lines.Append(line); })) {
  }
  for (size_t i = 0; i < lines.Size(); ++i) append(lines.Text(i));
}

}  // namespace verdigo
