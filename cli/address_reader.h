#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/list_reader.h"

// The addresses of verdigo-extract's list files, read as they come.
namespace verdigo {

// Hands out the addresses given on the command line, then reads list files
// one after the other ("-" is standard input) and hands out their lines
// without ever holding more than one piece of a list and one line. An
// address is a line without the spaces and tabs around it; a line of blanks
// only, or none, is skipped. A line longer than kStreamedListLimits allows
// (1 MiB) is skipped with a message.
// What is said, unless -q, when the addresses are to be typed.
inline constexpr std::string_view kTypedAddressesNotice =
    "reading addresses from standard input; end with Ctrl+D";

class AddressReader {
 public:
  enum class Status { kAddress, kNotYet, kEnd };

  // Opens every list at once, so that a list that cannot be opened is
  // reported before any work. No addresses and no lists: standard input,
  // unless not `stdinByDefault` (the run has pages of its own).
  AddressReader(std::vector<std::string> addresses, std::vector<std::string> listFiles,
                bool stdinByDefault = true);

  // The lists that could not be opened (or are folders), each as "cannot
  // read NAME: REASON", followed by a hint when NAME looks like a web address.
  const std::vector<std::string>& OpenFailures() const { return openFailures_; }

  // The next address. A list that has nothing to read yet (a pipe, a
  // terminal) gives kNotYet: at once, or after a short wait when `mayWait`.
  Status Next(std::string& address, bool mayWait);

  // Standard input is one of the lists.
  bool ReadsStandardInput() const { return readsStandardInput_; }
  // Lines skipped as too long, and lists that failed part-way.
  bool HadTrouble() const { return hadTrouble_; }
  // One of the lists is standard input, and a terminal: someone is to type.
  bool ReadsATerminal() const { return readsATerminal_; }
  // Addresses handed out so far.
  std::uint64_t Count() const { return count_; }
  // Every address has been handed out.
  bool Ended() const { return current_ >= lists_.size() && nextReady_ == ready_.size(); }

 private:
  struct List {
    std::string shownName;
    std::optional<ListReader> reader;  // gone once read to the end
  };

  void Open(const std::string& name);
  bool ReadPiece(bool mayWait);
  void EndCurrentList();
  void TakeLine(std::string_view line, bool tooLong);

  std::vector<List> lists_;
  std::vector<std::string> openFailures_;
  size_t current_ = 0;
  std::uint64_t lineNumber_ = 0;  // in the current list
  std::vector<std::string> ready_;
  size_t nextReady_ = 0;
  std::uint64_t count_ = 0;
  bool hadTrouble_ = false;
  bool readsStandardInput_ = false;
  bool readsATerminal_ = false;
};

}  // namespace verdigo
