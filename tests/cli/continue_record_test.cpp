// The record kept beside a results file that is still being written.
#include "cli/continue_record.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace verdigo {
namespace {

ContinueRecord Sample(std::uint64_t pages, std::uint64_t offset) {
  return ContinueRecord{ContinueRecord::Format::kCsv, ContinueRecord::kPageNotFound, pages, offset,
                        0x0123456789ABCDEFull};
}

TEST(ContinueRecord, ASlotReadsBackAsWritten) {
  const ContinueRecord record{ContinueRecord::Format::kJson, 7, 1ull << 40, ~0ull, 42};
  const std::string slot = EncodeRecordSlot(record);
  ASSERT_EQ(slot.size(), ContinueRecord::kSlotBytes);
  EXPECT_EQ(slot.substr(0, 8), std::string("VdCR\x01\x03\x07\x00", 8));
  EXPECT_EQ(DecodeRecordSlot(slot), record);
}

// Every way a slot can be damaged or come from elsewhere makes it unusable.
TEST(ContinueRecord, ADamagedSlotIsRefused) {
  const std::string good = EncodeRecordSlot(Sample(3, 300));
  const struct {
    const char* what;
    std::function<void(std::string&)> damage;
  } cases[] = {
      {"a flipped bit", [](std::string& s) { s[17] ^= 0x10; }},
      {"a flipped checksum", [](std::string& s) { s[63] ^= 1; }},
      {"cut short", [](std::string& s) { s.pop_back(); }},
      {"one byte more", [](std::string& s) { s += '\0'; }},
      {"zeros", [](std::string& s) { s.assign(s.size(), '\0'); }},
      {"another magic", [](std::string& s) { s[0] = 'X'; }},
  };
  for (const auto& c : cases) {
    std::string slot = good;
    c.damage(slot);
    EXPECT_EQ(DecodeRecordSlot(slot), std::nullopt) << c.what;
  }
  // Fields a later version may use are refused even under a right checksum.
  for (const auto& [at, value] :
       {std::pair<size_t, char>{4, 2}, {5, 0}, {5, 4}, {6, 8}, {7, 1}, {32, 1}, {59, 1}}) {
    std::string slot = good;
    slot[at] = value;
    SealRecordSlot(slot);
    EXPECT_EQ(DecodeRecordSlot(slot), std::nullopt) << "byte " << at;
  }
  std::string resealed = good;
  SealRecordSlot(resealed);
  EXPECT_EQ(DecodeRecordSlot(resealed), Sample(3, 300));
}

TEST(ContinueRecord, TheChosenSlotHasTheMostPagesThatTheFileHolds) {
  const std::string checkpoint = EncodeRecordSlot(Sample(2, 200));
  const std::string latest = EncodeRecordSlot(Sample(5, 500));
  const std::string broken(ContinueRecord::kSlotBytes, 'x');
  const struct {
    std::string file;
    std::uint64_t rowsFileBytes;
    std::uint64_t pages;  // 0: none chosen
    const char* problem;
  } cases[] = {
      {checkpoint + latest, 500, 5, ""},
      {checkpoint + latest, 10'000, 5, ""},
      // The rows after the checkpoint were lost (a power loss): fall back.
      {checkpoint + latest, 499, 2, ""},
      {latest + checkpoint, 499, 2, ""},
      {checkpoint + broken, 500, 2, ""},
      {broken + latest, 500, 5, ""},
      {checkpoint + latest, 199, 0, "counts rows that the file does not hold"},
      {broken + broken, 500, 0, "is damaged"},
      {checkpoint, 500, 0, "is damaged"},
      {"", 0, 0, "is damaged"},
      {checkpoint + latest + "x", 500, 0, "is damaged"},
  };
  for (const auto& c : cases) {
    const RecordChoice choice = ChooseRecord(c.file, c.rowsFileBytes);
    EXPECT_EQ(choice.record ? choice.record->pages : 0, c.pages) << c.rowsFileBytes;
    EXPECT_EQ(choice.problem, c.problem) << c.rowsFileBytes;
  }
}

TEST(AddressFingerprint, TellsApartWhatRunsTogether) {
  using Kind = AddressFingerprint::Kind;
  const auto of = [](std::initializer_list<std::pair<Kind, std::string>> pages) {
    AddressFingerprint fingerprint;
    for (const auto& [kind, address] : pages) fingerprint.Add(kind, address);
    return fingerprint.value();
  };
  const std::uint64_t ab_c = of({{Kind::kListed, "ab"}, {Kind::kListed, "c"}});
  EXPECT_EQ(ab_c, of({{Kind::kListed, "ab"}, {Kind::kListed, "c"}}));
  EXPECT_NE(ab_c, of({{Kind::kListed, "a"}, {Kind::kListed, "bc"}}));
  EXPECT_NE(ab_c, of({{Kind::kListed, "c"}, {Kind::kListed, "ab"}}));
  EXPECT_NE(ab_c, of({{Kind::kFile, "ab"}, {Kind::kListed, "c"}}));
  EXPECT_NE(of({{Kind::kListed, ""}}), of({}));
  EXPECT_NE(of({{Kind::kListed, std::string("a\0", 2)}}), of({{Kind::kListed, "a"}}));
}

}  // namespace
}  // namespace verdigo
