#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The record kept beside a results file that is still being written: how far
// the run got, so that a later run can carry on from there. It is two fixed
// slots of kSlotBytes, each checked by its own CRC-32:
//
//   offset  size  field
//        0     4  magic "VdCR"
//        4     1  version (1)
//        5     1  output format (ContinueRecord::Format)
//        6     1  flags (ContinueRecord::kPageNotFound, ...)
//        7     1  zero
//        8     8  pages whose rows are complete in the file
//       16     8  the file's length after the last of them
//       24     8  fingerprint of those pages' addresses (AddressFingerprint)
//       32    28  zero
//       60     4  CRC-32 of bytes 0 to 59
//
// Integers are little-endian. Slot 0 is written only after the rows it
// counts have reached the disk (the checkpoint); slot 1 after every page.
namespace verdigo {

struct ContinueRecord {
  enum class Format : std::uint8_t { kText = 1, kCsv = 2, kJson = 3 };
  // What an earlier part of the run met, so that the exit status and the
  // fate of the file come out as after one uninterrupted run.
  static constexpr std::uint8_t kPageNotFound = 1;
  static constexpr std::uint8_t kErrorReport = 2;
  static constexpr std::uint8_t kLineSkipped = 4;
  static constexpr std::uint8_t kKnownFlags = 7;

  static constexpr size_t kSlotBytes = 64;
  static constexpr size_t kFileBytes = 2 * kSlotBytes;

  Format format = Format::kText;
  std::uint8_t flags = 0;
  std::uint64_t pages = 0;
  std::uint64_t offset = 0;
  std::uint64_t fingerprint = 0;

  bool operator==(const ContinueRecord&) const = default;
};

std::string EncodeRecordSlot(const ContinueRecord& record);
// Writes the CRC-32 of the first 60 bytes of a slot of kSlotBytes into its last 4.
void SealRecordSlot(std::string& slot);
// A slot that is not exactly one well-formed slot of this version gives nothing.
std::optional<ContinueRecord> DecodeRecordSlot(std::string_view slot);

struct RecordChoice {
  std::optional<ContinueRecord> record;
  std::string problem;  // why there is none: "is damaged", ...
};

// The slot to carry on from, given the whole record file and the length of
// the results file it describes: the one with more pages among the valid
// slots whose rows the file holds. Whatever the bytes, never fails otherwise.
RecordChoice ChooseRecord(std::string_view file, std::uint64_t rowsFileBytes);

// A running 64-bit FNV-1a hash of a run's pages in order, each as its kind
// and its length-prefixed address, so that no two sequences of addresses
// run together into the same bytes.
class AddressFingerprint {
 public:
  enum class Kind : std::uint8_t { kListed = 'L', kFile = 'F' };
  void Add(Kind kind, std::string_view address);
  std::uint64_t value() const { return hash_; }
  std::uint64_t count() const { return count_; }

 private:
  void Mix(std::string_view bytes);
  std::uint64_t hash_ = 0xcbf29ce484222325ull;
  std::uint64_t count_ = 0;
};

}  // namespace verdigo
