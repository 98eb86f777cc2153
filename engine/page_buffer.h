#pragma once

#include <cstddef>
#include <string_view>

namespace verdigo {

// The bytes of one page as they arrive. Backed by its own anonymous mapping,
// so growing it moves no bytes (the kernel remaps the pages) and a large
// page never needs room for two copies of itself. Move-only.
class PageBuffer {
 public:
  PageBuffer() = default;
  ~PageBuffer();
  PageBuffer(PageBuffer&& other) noexcept;
  PageBuffer& operator=(PageBuffer&& other) noexcept;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;

  // The first `size` bytes of the file open at `fd`, mapped for reading: the
  // page is read where the file's bytes already lie in memory, never
  // copied. Throws Failure when the file cannot be mapped.
  static PageBuffer MapFile(int fd, size_t size);

  // Throws Failure("Out of memory") when the mapping cannot grow. Not for a
  // mapped file.
  void Append(std::string_view bytes);
  // Empties the buffer; its own pages are kept for the next page.
  void Clear() {
    if (fileMapping_) Release();
    size_ = 0;
  }
  bool IsFileMapping() const { return fileMapping_; }

  std::string_view View() const { return {data_, size_}; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }

 private:
  void Grow(size_t needed);
  void Release();

  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  bool fileMapping_ = false;
};

}  // namespace verdigo
