#include "cli/resumable_output.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "cli/stderr_reporter.h"
#include "common/error_report.h"
#include "common/fd_io.h"
#include "common/file_routines.h"
#include "common/safe_file_writer.h"

namespace verdigo {
namespace {

// The longest name beside which ".NAME.verdigo-record" still fits.
constexpr size_t kLongestName = NAME_MAX - std::string_view(".verdigo-record").size() - 1;

const char* FormatName(ContinueRecord::Format format) {
  switch (format) {
    case ContinueRecord::Format::kCsv:
      return "CSV";
    case ContinueRecord::Format::kJson:
      return "JSON";
    case ContinueRecord::Format::kText:
      break;
  }
  return "text";
}

bool Exists(int folderFd, const std::string& name) {
  struct stat st {};
  return ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

std::unique_ptr<ResumableOutput> ResumableOutput::Open(const std::string& path,
                                                       ContinueRecord::Format format, bool carryOn,
                                                       int messageFd) {
  std::unique_ptr<ResumableOutput> output(new ResumableOutput);
  output->messageFd_ = messageFd;
  try {
    if (!output->Prepare(path)) return nullptr;
    output->OpenRecord();
    if (carryOn) {
      output->CarryOn(format);
    } else {
      output->StartAfresh(format);
    }
  } catch (const Refusal&) {
    throw;
  } catch (const Failure& failure) {
    throw Refusal("cannot write " + path + ": " + failure.what());
  }
  output->lastSync_ = std::chrono::steady_clock::now();
  return output;
}

// Whether the target is a file written beside its name, as SafeFileWriter
// decides; anything it would refuse is left to it, so that its message tells.
bool ResumableOutput::Prepare(const std::string& path) {
  shownPath_ = path;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
  const std::string target = FinalSaveTarget(path);
  const size_t slash = target.rfind('/');
  targetName_ = slash == std::string::npos ? target : target.substr(slash + 1);
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  if (targetName_.empty() || targetName_ == "." || targetName_ == ".." ||
      targetName_.size() > kLongestName) {
    return false;
  }
  folder_.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder_.valid() || ::faccessat(folder_.get(), ".", W_OK, AT_EACCESS) != 0) return false;
  struct stat old {};
  if (::fstatat(folder_.get(), targetName_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
      (!S_ISREG(old.st_mode) || old.st_nlink != 1 ||
       ::faccessat(folder_.get(), targetName_.c_str(), W_OK, AT_EACCESS) != 0)) {
    return false;
  }
  partName_ = "." + targetName_ + ".verdigo-part";
  recordName_ = "." + targetName_ + ".verdigo-record";
  return true;
}

// The record is opened first and locked for the whole run: two runs writing
// the same output would mix their rows.
void ResumableOutput::OpenRecord() {
  record_.Reset(::openat(folder_.get(), recordName_.c_str(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!record_.valid()) {
    throw Refusal("cannot write " + shownPath_ + ": " + DescribeOpenFailure(errno, recordName_));
  }
  struct stat st {};
  if (::fstat(record_.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    throw Refusal("cannot write " + shownPath_ + ": " + recordName_ +
                  " beside it is not a file of this user's");
  }
  if (::flock(record_.get(), LOCK_EX | LOCK_NB) != 0) {
    throw Refusal("cannot write " + shownPath_ + ": another run is writing it");
  }
}

void ResumableOutput::FailToCarryOn(const std::string& why) const {
  throw Refusal("cannot carry on " + shownPath_ + ": " + why + "; without -c a run starts afresh");
}

void ResumableOutput::CarryOn(ContinueRecord::Format format) {
  std::string bytes;
  try {
    bytes = ReadAllFromFd(record_.get(), ContinueRecord::kFileBytes + 1);
  } catch (const Failure&) {
    bytes.assign(ContinueRecord::kFileBytes + 1, '\0');  // too long: damaged
  }
  // Not blocking: a FIFO put in its place must not hang the run.
  part_.Reset(
      ::openat(folder_.get(), partName_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (bytes.empty() && !part_.valid()) {
    StartAfresh(format);  // nothing to carry on from
    return;
  }
  struct stat st {};
  if (part_.valid() && (::fstat(part_.get(), &st) != 0 || !S_ISREG(st.st_mode))) {
    FailToCarryOn(partName_ + " beside it is not a regular file");
  }
  const RecordChoice choice = ChooseRecord(bytes, part_.valid() ? st.st_size : 0);
  if (!choice.record) FailToCarryOn("its record " + recordName_ + " " + choice.problem);
  if (choice.record->format != format) {
    FailToCarryOn(std::string("it was begun in the ") + FormatName(choice.record->format) +
                  " format; give the options it was begun with");
  }
  if (!part_.valid()) CreatePart();
  done_ = *choice.record;
}

bool ResumableOutput::ConfirmSkipped(std::string& message) {
  if (seen_.count() != done_.pages || seen_.value() != done_.fingerprint) {
    message = "cannot carry on " + shownPath_ + ": the run it continues began with " +
              std::to_string(done_.pages) +
              " other pages; give the same pages and lists, or run without -c to start afresh";
    return false;
  }
  now_ = done_;
  try {
    if (::ftruncate(part_.get(), static_cast<off_t>(done_.offset)) != 0 ||
        ::lseek(part_.get(), static_cast<off_t>(done_.offset), SEEK_SET) < 0) {
      FailWithErrno(errno);
    }
    // Neither slot may count more than the rows kept: a slot left counting
    // rows lost to a power loss would fit again once new rows grow the file.
    WriteSlot(1);
    Checkpoint();
  } catch (const Failure& failure) {
    message = "cannot write " + shownPath_ + ": " + failure.what();
    return false;
  }
  return true;
}

void ResumableOutput::StartAfresh(ContinueRecord::Format format) {
  struct stat st {};
  if (::fstat(record_.get(), &st) == 0 && (st.st_size > 0 || Exists(folder_.get(), partName_))) {
    PrintProgramMessage("starting afresh: the rows an interrupted run left for " + shownPath_ +
                            " are dropped (-c carries on from them)",
                        messageFd_);
  }
  // The record first: whenever a run stops, it counts no rows that the
  // part file beside it does not hold.
  done_ = ContinueRecord{format, 0, 0, 0, AddressFingerprint().value()};
  now_ = done_;
  WriteSlot(0);
  WriteSlot(1);
  if (::ftruncate(record_.get(), ContinueRecord::kFileBytes) != 0) FailWithErrno(errno);
  ::unlinkat(folder_.get(), partName_.c_str(), 0);
  CreatePart();
}

void ResumableOutput::CreatePart() {
  part_.Reset(::openat(folder_.get(), partName_.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!part_.valid()) FailWithErrno(errno);
  struct stat old {};
  if (::fstatat(folder_.get(), targetName_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
    // Keep the owner where we may (root writing someone's file) and the mode.
    (void)!::fchown(part_.get(), old.st_uid, old.st_gid);
    ::fchmod(part_.get(), old.st_mode & 07777);
  } else {
    ::fchmod(part_.get(), 0666 & ~ReadProcessUmask());
  }
}

void ResumableOutput::Write(std::string_view bytes) {
  if (!error_.empty()) throw Failure(error_);
  WriteAllOrFail(part_.get(), bytes);
  now_.offset += bytes.size();
}

bool ResumableOutput::PageDone(Kind kind, std::string_view address, std::uint8_t flags) {
  seen_.Add(kind, address);
  now_.pages = seen_.count();
  now_.fingerprint = seen_.value();
  now_.flags |= flags;
  try {
    WriteSlot(1);
    if (std::chrono::steady_clock::now() - lastSync_ >= kSyncInterval) Checkpoint();
  } catch (const Failure& failure) {
    if (error_.empty()) error_ = failure.what();
  }
  return error_.empty();
}

void ResumableOutput::WriteSlot(size_t slot) {
  const std::string bytes = EncodeRecordSlot(now_);
  const off_t at = static_cast<off_t>(slot * ContinueRecord::kSlotBytes);
  if (::pwrite(record_.get(), bytes.data(), bytes.size(), at) !=
      static_cast<ssize_t>(bytes.size())) {
    FailWithErrno(errno == 0 ? EIO : errno);
  }
}

// The rows reach the disk before the checkpoint that counts them, so that
// after a power loss the checkpoint never counts rows that were lost.
void ResumableOutput::Checkpoint() {
  if (::fdatasync(part_.get()) != 0) FailWithErrno(errno);
  WriteSlot(0);
  if (::fdatasync(record_.get()) != 0) FailWithErrno(errno);
  lastSync_ = std::chrono::steady_clock::now();
}

void ResumableOutput::Commit() {
  if (!error_.empty()) throw Failure(error_);
  if (::fsync(part_.get()) != 0 || !part_.CloseChecked()) FailWithErrno(errno);
  if (::renameat(folder_.get(), partName_.c_str(), folder_.get(), targetName_.c_str()) != 0) {
    FailWithErrno(errno);
  }
  ::unlinkat(folder_.get(), recordName_.c_str(), 0);
  record_.Close();
}

void ResumableOutput::Discard() {
  ::unlinkat(folder_.get(), partName_.c_str(), 0);
  ::unlinkat(folder_.get(), recordName_.c_str(), 0);
  part_.Close();
  record_.Close();
}

}  // namespace verdigo
