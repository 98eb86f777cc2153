#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "common/unique_fd.h"

namespace verdigo {

// Writes a file so that nothing is lost or overwritten by accident.
//
// A link at the target is followed to its final target. A regular file with
// one link, or a new file, is written into a temporary file
// `.verdigo-save-XXXXXX` beside the final target and renamed over it on
// Commit, so the name holds either the old content or the whole new one; the
// old file's mode (a new file: 0666 less the umask) is kept. A file with more
// than one link, a file in a folder the user may not write, and anything that
// is not a regular file (a device, a FIFO) is written in place: truncated at
// the first write (or on Commit), then written.
//
// The temporary file is removed when the writer is destroyed without Commit,
// and by the terminating-signal handler of temp_folder.h.
class SafeFileWriter {
 public:
  // Fails (Failure) at once when the target cannot be written: a missing or
  // read-only folder for a new file, a file that cannot be opened for writing.
  static SafeFileWriter Open(const std::string& path);

  SafeFileWriter(SafeFileWriter&& other) noexcept;
  SafeFileWriter& operator=(SafeFileWriter&&) = delete;
  ~SafeFileWriter();

  // Throws Failure on a write error; the target is then left as it was
  // (unless written in place).
  void Write(std::string_view bytes);
  // Makes the written bytes the file's content. Throws Failure on error.
  void Commit();

 private:
  SafeFileWriter() = default;
  void OpenFolderOf(const std::string& target);
  // False (errno set) when no temporary file can be made in the folder.
  bool CreateTempBeside(const struct stat* old);
  void OpenInPlace(int folderFd, const char* name);
  void Flush();
  void WriteNow(std::string_view bytes);
  void Discard();

  UniqueFd folder_;
  UniqueFd file_;
  std::string targetName_;  // inside folder_
  std::string tempName_;    // empty when writing in place
  int signalSlot_ = -1;
  bool truncatePending_ = false;
  std::string buffer_;
};

// The path a chain of symbolic links at `path` ends in (which need not
// exist): the file a save replaces.
std::string FinalSaveTarget(const std::string& path);

// Writes `bytes` as the whole content of `path` through SafeFileWriter.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace verdigo
