#include "cli/continue_record.h"

namespace verdigo {
namespace {

constexpr std::string_view kMagic = "VdCR";
constexpr std::uint8_t kVersion = 1;
constexpr size_t kCrcAt = ContinueRecord::kSlotBytes - 4;

std::uint32_t Crc32(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutLe(std::string& out, size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>(value >> (8 * i));
}

std::uint64_t GetLe(std::string_view in, size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= std::uint64_t{static_cast<unsigned char>(in[at + i])} << (8 * i);
  }
  return value;
}

bool IsKnownFormat(std::uint8_t format) {
  return format >= static_cast<std::uint8_t>(ContinueRecord::Format::kText) &&
         format <= static_cast<std::uint8_t>(ContinueRecord::Format::kJson);
}

}  // namespace

std::string EncodeRecordSlot(const ContinueRecord& record) {
  std::string slot(ContinueRecord::kSlotBytes, '\0');
  slot.replace(0, kMagic.size(), kMagic);
  slot[4] = static_cast<char>(kVersion);
  slot[5] = static_cast<char>(record.format);
  slot[6] = static_cast<char>(record.flags);
  PutLe(slot, 8, record.pages, 8);
  PutLe(slot, 16, record.offset, 8);
  PutLe(slot, 24, record.fingerprint, 8);
  SealRecordSlot(slot);
  return slot;
}

void SealRecordSlot(std::string& slot) {
  PutLe(slot, kCrcAt, Crc32(std::string_view(slot).substr(0, kCrcAt)), 4);
}

std::optional<ContinueRecord> DecodeRecordSlot(std::string_view slot) {
  if (slot.size() != ContinueRecord::kSlotBytes || !slot.starts_with(kMagic) ||
      static_cast<std::uint8_t>(slot[4]) != kVersion ||
      GetLe(slot, kCrcAt, 4) != Crc32(slot.substr(0, kCrcAt))) {
    return std::nullopt;
  }
  const auto format = static_cast<std::uint8_t>(slot[5]);
  const auto flags = static_cast<std::uint8_t>(slot[6]);
  if (!IsKnownFormat(format) || (flags & ~ContinueRecord::kKnownFlags) != 0 || slot[7] != 0) {
    return std::nullopt;
  }
  for (size_t i = 32; i < kCrcAt; ++i) {
    if (slot[i] != 0) return std::nullopt;
  }
  ContinueRecord record;
  record.format = static_cast<ContinueRecord::Format>(format);
  record.flags = flags;
  record.pages = GetLe(slot, 8, 8);
  record.offset = GetLe(slot, 16, 8);
  record.fingerprint = GetLe(slot, 24, 8);
  return record;
}

RecordChoice ChooseRecord(std::string_view file, std::uint64_t rowsFileBytes) {
  if (file.size() != ContinueRecord::kFileBytes) return {std::nullopt, "is damaged"};
  std::optional<ContinueRecord> best;
  bool anyValid = false;
  for (size_t at = 0; at < file.size(); at += ContinueRecord::kSlotBytes) {
    const auto slot = DecodeRecordSlot(file.substr(at, ContinueRecord::kSlotBytes));
    if (!slot) continue;
    anyValid = true;
    if (slot->offset > rowsFileBytes) continue;  // rows lost to a crash after it was written
    if (!best || slot->pages > best->pages) best = slot;
  }
  if (best) return {best, {}};
  return {std::nullopt, anyValid ? "counts rows that the file does not hold" : "is damaged"};
}

void AddressFingerprint::Mix(std::string_view bytes) {
  for (const char c : bytes) {
    hash_ ^= static_cast<unsigned char>(c);
    hash_ *= 0x100000001b3ull;
  }
}

void AddressFingerprint::Add(Kind kind, std::string_view address) {
  std::string head(9, '\0');
  head[0] = static_cast<char>(kind);
  for (int i = 0; i < 8; ++i)
    head[1 + i] = static_cast<char>(std::uint64_t{address.size()} >> (8 * i));
  Mix(head);
  Mix(address);
  ++count_;
}

}  // namespace verdigo
