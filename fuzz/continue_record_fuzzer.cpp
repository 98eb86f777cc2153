// The record kept beside a results file that is still being written, as a
// later run reads it back: any bytes, any length of the results file. A
// chosen slot must count no more rows than the file holds and must be, byte
// for byte, one of the file's slots as the encoder writes it (so nothing a
// slot holds is read loosely); a slot the decoder takes must encode back to
// itself. Any difference aborts.
//
// Input: eight bytes for the results file's length (little-endian), then
// the record file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/continue_record.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "continue record: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::uint64_t rowsFileBytes = 0;
  for (int i = 0; i < 8; ++i) rowsFileBytes |= std::uint64_t{data[i]} << (8 * i);
  const std::string_view file(reinterpret_cast<const char*>(data + 8), size - 8);
  using verdigo::ContinueRecord;

  for (std::size_t at = 0; at + ContinueRecord::kSlotBytes <= file.size();
       at += ContinueRecord::kSlotBytes) {
    const std::string_view slot = file.substr(at, ContinueRecord::kSlotBytes);
    if (const auto record = verdigo::DecodeRecordSlot(slot)) {
      Check(verdigo::EncodeRecordSlot(*record) == slot, "a slot read loosely");
    }
  }
  const verdigo::RecordChoice choice = verdigo::ChooseRecord(file, rowsFileBytes);
  Check(choice.record.has_value() == choice.problem.empty(), "a choice and a problem");
  if (!choice.record) return 0;
  Check(file.size() == ContinueRecord::kFileBytes, "a record file of another size taken");
  Check(choice.record->offset <= rowsFileBytes, "rows counted that the file does not hold");
  const std::string encoded = verdigo::EncodeRecordSlot(*choice.record);
  Check(file.substr(0, ContinueRecord::kSlotBytes) == encoded ||
            file.substr(ContinueRecord::kSlotBytes) == encoded,
        "a slot that is not in the file");
  return 0;
}
