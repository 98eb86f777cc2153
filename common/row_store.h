#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace verdigo {

// The rows of a list (code-page bytes) with their check marks, kept in one
// byte arena plus a compact entry per row, so that a million rows cost little
// more than their text.
class RowStore {
 public:
  void Append(std::string_view text, bool checked = true);
  // Closes the gap; the removed text stays in the arena as garbage until
  // garbage outweighs the live text.
  void Remove(size_t index);
  void Clear();

  size_t Size() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  std::string_view Text(size_t index) const;
  bool Checked(size_t index) const { return entries_[index].checked; }
  void SetChecked(size_t index, bool checked) { entries_[index].checked = checked; }

  // Bytes of the live rows' texts.
  size_t TextBytes() const { return arena_.size() - garbage_; }

  // A compacted copy that later changes of this store do not touch.
  RowStore Snapshot() const;

 private:
  struct Entry {
    std::uint64_t offset;
    std::uint32_t length;
    bool checked;
  };

  void Compact();
  // The live texts packed in order; rewrites the offsets of `entries` to match.
  std::string PackedTexts(std::vector<Entry>& entries) const;

  std::string arena_;
  std::vector<Entry> entries_;
  size_t garbage_ = 0;
};

}  // namespace verdigo
