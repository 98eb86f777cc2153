#include "common/row_store.h"

#include <limits>
#include <stdexcept>

namespace verdigo {

void RowStore::Append(std::string_view text, bool checked) {
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("row too long");
  }
  entries_.push_back({arena_.size(), static_cast<std::uint32_t>(text.size()), checked});
  arena_.append(text);
}

void RowStore::Remove(size_t index) {
  garbage_ += entries_.at(index).length;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  if (garbage_ > arena_.size() / 2) Compact();
}

void RowStore::Clear() {
  // Give the memory back: a cleared list of a million rows should not keep
  // its arena.
  std::string().swap(arena_);
  std::vector<Entry>().swap(entries_);
  garbage_ = 0;
}

std::string_view RowStore::Text(size_t index) const {
  const Entry& e = entries_[index];
  return std::string_view(arena_).substr(e.offset, e.length);
}

void RowStore::Compact() {
  std::string packed = PackedTexts(entries_);
  arena_.swap(packed);
  garbage_ = 0;
}

std::string RowStore::PackedTexts(std::vector<Entry>& entries) const {
  std::string packed;
  packed.reserve(TextBytes());
  for (Entry& e : entries) {
    const size_t offset = packed.size();
    packed.append(arena_, e.offset, e.length);
    e.offset = offset;
  }
  return packed;
}

RowStore RowStore::Snapshot() const {
  RowStore copy;
  copy.entries_ = entries_;
  copy.arena_ = garbage_ == 0 ? arena_ : PackedTexts(copy.entries_);
  return copy;
}

}  // namespace verdigo
