#include "common/row_store.h"

#include <algorithm>
#include <stdexcept>

namespace verdigo {

void RowStore::Append(std::string_view text, bool checked) {
  if (text.size() >= (size_t{1} << 31)) throw std::length_error("row too long");
  AppendEntry(text, checked);
}

std::string& RowStore::ChunkWithRoom(size_t length) {
  if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < length) {
    chunks_.emplace_back().reserve(std::max(kChunkBytes, length));
  }
  return chunks_.back();
}

void RowStore::AppendEntry(std::string_view text, bool checked) {
  std::string& chunk = ChunkWithRoom(text.size());
  entries_.push_back({static_cast<std::uint32_t>(chunks_.size() - 1),
                      static_cast<std::uint32_t>(chunk.size()),
                      static_cast<std::uint32_t>(text.size()), checked});
  chunk.append(text);
  storedBytes_ += text.size();
}

void RowStore::Remove(size_t index) {
  garbage_ += entries_.at(index).length;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  if (garbage_ > storedBytes_ / 2) Compact();
}

void RowStore::Clear() {
  // Give the memory back: a cleared list of a million rows should not keep
  // its chunks.
  std::vector<std::string>().swap(chunks_);
  std::vector<Entry>().swap(entries_);
  storedBytes_ = 0;
  garbage_ = 0;
}

std::string_view RowStore::Text(size_t index) const {
  const Entry& e = entries_[index];
  return std::string_view(chunks_[e.chunk]).substr(e.offset, e.length);
}

void RowStore::Compact() { *this = Snapshot(); }

RowStore RowStore::Snapshot() const {
  RowStore copy;
  if (garbage_ == 0) {
    copy.chunks_ = chunks_;
    copy.entries_ = entries_;
    copy.storedBytes_ = storedBytes_;
    return copy;
  }
  copy.entries_.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) copy.AppendEntry(Text(i), Checked(i));
  return copy;
}

}  // namespace verdigo
