#include "engine/page_buffer.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/error_report.h"

namespace verdigo {
namespace {

constexpr size_t kFirstCapacity = 64 * 1024;
// From this size on the mapping asks for huge pages: a 64 MiB page then
// costs a few dozen page faults instead of sixteen thousand.
constexpr size_t kHugePageThreshold = 4 << 20;

size_t NextCapacity(size_t current, size_t needed) {
  size_t capacity = current == 0 ? kFirstCapacity : current;
  while (capacity < needed) capacity *= 2;
  return capacity;
}

}  // namespace

PageBuffer::~PageBuffer() { Release(); }

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      fileMapping_(std::exchange(other.fileMapping_, false)) {}

PageBuffer PageBuffer::MapFile(int fd, size_t size) {
  PageBuffer page;
  if (size == 0) return page;
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
  if (mapped == MAP_FAILED) FailWithErrno(errno);
  page.data_ = static_cast<char*>(mapped);
  page.size_ = page.capacity_ = size;
  page.fileMapping_ = true;
  return page;
}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    fileMapping_ = std::exchange(other.fileMapping_, false);
  }
  return *this;
}

void PageBuffer::Append(std::string_view bytes) {
  if (bytes.empty()) return;  // memcpy may not be given an empty buffer's null
  if (bytes.size() > capacity_ - size_) Grow(size_ + bytes.size());
  std::memcpy(data_ + size_, bytes.data(), bytes.size());
  size_ += bytes.size();
}

void PageBuffer::Grow(size_t needed) {
  const size_t capacity = NextCapacity(capacity_, needed);
  void* grown = data_ == nullptr ? ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                                 : ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
  if (grown == MAP_FAILED) throw Failure("Out of memory");
  if (capacity >= kHugePageThreshold) (void)::madvise(grown, capacity, MADV_HUGEPAGE);
  data_ = static_cast<char*>(grown);
  capacity_ = capacity;
}

void PageBuffer::Release() {
  if (data_ != nullptr) ::munmap(data_, capacity_);
  data_ = nullptr;
  size_ = capacity_ = 0;
  fileMapping_ = false;
}

}  // namespace verdigo
