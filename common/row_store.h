#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verdigo {

// The rows of a list (code-page bytes) with their check marks, kept in large
// byte chunks plus a compact entry per row, so that a million rows cost
// little more than their text. A full chunk is left as it is and a new one
// started, so the list grows without copying what it holds.
class RowStore {
 public:
  void Append(std::string_view text, bool checked = true);
  // Closes the gap; the removed text stays behind as garbage until garbage
  // outweighs the live text.
  void Remove(size_t index);
  void Clear();

  size_t Size() const { return entries_.size(); }
  std::string_view Text(size_t index) const;
  bool Checked(size_t index) const { return entries_[index].checked; }
  void SetChecked(size_t index, bool checked) { entries_[index].checked = checked; }

  // Bytes of the live rows' texts.
  size_t TextBytes() const { return storedBytes_ - garbage_; }

  // A compacted copy that later changes of this store do not touch.
  RowStore Snapshot() const;

 private:
  static constexpr size_t kChunkBytes = size_t{1} << 20;

  struct Entry {
    std::uint32_t chunk;
    std::uint32_t offset;
    std::uint32_t length : 31;
    std::uint32_t checked : 1;
  };

  // Room for `length` more bytes at the end of the last chunk.
  std::string& ChunkWithRoom(size_t length);
  void AppendEntry(std::string_view text, bool checked);
  void Compact();

  std::vector<std::string> chunks_;
  std::vector<Entry> entries_;
  size_t storedBytes_ = 0;
  size_t garbage_ = 0;
};

}  // namespace verdigo
