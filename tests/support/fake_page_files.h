#pragma once

#include <sys/mman.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/error_report.h"
#include "common/fd_io.h"
#include "engine/interfaces.h"

namespace verdigo::testing {

// Page files in memory: each one a memfd, so that a real downloader writes
// and maps it as it would a file in the private folder. Records every step
// in order ("Create 1", "Write 1", "Map 1", "Remove 1") and fails the steps
// it is told to, as the folder would: Create, Write and Map throw Failure
// with the text given; a failing Remove leaves the file where it is.
class FakePageFiles : public PageFiles {
 public:
  void FailCreate(std::string text) { Set(createFailure_, std::move(text)); }
  void FailWrite(std::string text) { Set(writeFailure_, std::move(text)); }
  void FailMap(std::string text) { Set(mapFailure_, std::move(text)); }
  void FailRemove() {
    std::lock_guard lock(mutex_);
    removeFails_ = true;
  }
  // Every step succeeds again.
  void Heal() {
    std::lock_guard lock(mutex_);
    createFailure_.reset();
    writeFailure_.reset();
    mapFailure_.reset();
    removeFails_ = false;
  }

  std::vector<std::string> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  // The page files made and not removed.
  std::set<int> Present() const {
    std::lock_guard lock(mutex_);
    return present_;
  }

  UniqueFd Create(int index) override {
    std::lock_guard lock(mutex_);
    calls_.push_back("Create " + std::to_string(index));
    if (createFailure_) throw Failure(*createFailure_);
    const std::string name = "HTML" + std::to_string(index) + ".tmp";
    UniqueFd file(::memfd_create(name.c_str(), MFD_CLOEXEC));
    if (!file.valid()) FailWithErrno(errno);
    present_.insert(index);
    indexOf_[file.get()] = index;
    return file;
  }

  void Write(const UniqueFd& file, std::string_view bytes) override {
    Step("Write", file, writeFailure_);
    WriteAllOrFail(file.get(), bytes);
  }

  PageBuffer Map(const UniqueFd& file, size_t size) override {
    Step("Map", file, mapFailure_);
    return PageBuffer::MapFile(file.get(), size);
  }

  void Remove(int index) override {
    std::lock_guard lock(mutex_);
    calls_.push_back("Remove " + std::to_string(index));
    if (!removeFails_) present_.erase(index);
  }

 private:
  void Set(std::optional<std::string>& failure, std::string text) {
    std::lock_guard lock(mutex_);
    failure = std::move(text);
  }

  void Step(const char* step, const UniqueFd& file, const std::optional<std::string>& failure) {
    std::lock_guard lock(mutex_);
    // A descriptor's number names the file made last with it.
    calls_.push_back(std::string(step) + " " + std::to_string(indexOf_.at(file.get())));
    if (failure) throw Failure(*failure);
  }

  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::set<int> present_;
  std::map<int, int> indexOf_;  // descriptor -> page file number
  std::optional<std::string> createFailure_;
  std::optional<std::string> writeFailure_;
  std::optional<std::string> mapFailure_;
  bool removeFails_ = false;
};

}  // namespace verdigo::testing
