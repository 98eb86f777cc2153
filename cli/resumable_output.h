#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "cli/continue_record.h"
#include "common/error_report.h"
#include "common/unique_fd.h"

// A results file (-o) that a run writes as it goes and a later run can carry
// on (-c) after an interruption, a kill or a power loss.
namespace verdigo {

// The rows go into `.NAME.verdigo-part` beside the final target NAME, and
// `.NAME.verdigo-record` (continue_record.h) says after every page how many
// pages are complete in it. Neither is removed by a signal: that is what a
// later run carries on from. The part file takes the target's name, and the
// record goes, only when the run is complete (Commit). Every few seconds the
// rows and then the record's checkpoint are synced to the disk.
//
// The run hands every page to it in order: the pages an earlier run
// finished first (SkipPage, while NextPageIsDone), then, once
// ConfirmSkipped agrees, the others (their bytes through Write, then
// PageDone). Not thread-safe: the run's thread owns it.
class ResumableOutput {
 public:
  using Kind = AddressFingerprint::Kind;
  static constexpr std::chrono::seconds kSyncInterval{2};

  // A failure of Open, with the whole message to show.
  class Refusal : public Failure {
   public:
    using Failure::Failure;
  };

  // Null when `path` is not a file that can be written beside its name (a
  // device, a FIFO, a file with several links, a folder without write
  // access): SafeFileWriter writes those in place. Without `carryOn`, any
  // leftovers are replaced, with one message to `messageFd` that says so.
  // Throws Refusal
  // when the files cannot be made, another run
  // writes them, or (with `carryOn`) they cannot be carried on.
  static std::unique_ptr<ResumableOutput> Open(const std::string& path,
                                               ContinueRecord::Format format, bool carryOn,
                                               int messageFd = STDERR_FILENO);
  // Leaves both files unless committed or discarded: a later run may carry
  // on from them.
  ~ResumableOutput() = default;
  ResumableOutput(const ResumableOutput&) = delete;
  ResumableOutput& operator=(const ResumableOutput&) = delete;

  // What the earlier part of the run met (ContinueRecord's flags).
  std::uint8_t EarlierFlags() const { return done_.flags; }
  bool NextPageIsDone() const { return seen_.count() < done_.pages; }
  void SkipPage(Kind kind, std::string_view address) { seen_.Add(kind, address); }
  // Whether the pages skipped are those the record counts; if so the part
  // file is cut back to their rows. Otherwise (a list that differs, or
  // ended early) everything stays as it is and the message says why.
  bool ConfirmSkipped(std::string& message);

  // Throws Failure.
  void Write(std::string_view bytes);
  // The page's rows are all written. False once a write has failed.
  bool PageDone(Kind kind, std::string_view address, std::uint8_t flags);
  const std::string& error() const { return error_; }

  // Puts the rows in place under the target's name. Throws Failure.
  void Commit();
  // Removes the part file and the record: their rows must not be kept.
  void Discard();

 private:
  ResumableOutput() = default;
  bool Prepare(const std::string& path);
  void OpenRecord();
  void CarryOn(ContinueRecord::Format format);
  void StartAfresh(ContinueRecord::Format format);
  // With the target's owner and mode, or 0666 less the umask for a new one.
  void CreatePart();
  void WriteSlot(size_t slot);
  void Checkpoint();
  [[noreturn]] void FailToCarryOn(const std::string& why) const;

  std::string shownPath_;
  int messageFd_ = STDERR_FILENO;
  UniqueFd folder_;
  std::string targetName_;
  std::string partName_;
  std::string recordName_;
  UniqueFd part_;
  UniqueFd record_;
  ContinueRecord done_;  // what the earlier run finished
  ContinueRecord now_;   // what the part file holds now
  AddressFingerprint seen_;
  std::chrono::steady_clock::time_point lastSync_;
  std::string error_;
};

}  // namespace verdigo
