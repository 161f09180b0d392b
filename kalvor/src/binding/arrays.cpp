#include "kalvor/src/binding/arrays.hpp"

#include <sys/mman.h>

#include <cstdlib>
#include <mutex>
#include <new>

namespace kalvor::binding {

namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;

bool is_large(std::size_t bytes) noexcept { return bytes >= 2 * huge_page; }

std::size_t rounded_to_huge_pages(std::size_t bytes) noexcept { return (bytes + huge_page - 1) / huge_page * huge_page; }

// A few freed large arrays, kept for reuse: a loop that makes a new list of
// the same size each time (lst = lst * 2.0, or lst.dot(v)) then writes to
// memory that is already mapped, instead of faulting in and zeroing fresh
// pages, which the kernel serialises across the workers. One cache for the
// whole process, bounded in count and bytes; smaller arrays come from the
// ordinary allocator and go back to it.
class ArrayCache {
 public:
  void* take(std::size_t bytes) noexcept {
    std::lock_guard guard(lock_);
    for (std::size_t i = 0; i < count_; ++i) {
      if (blocks_[i].bytes == bytes) {
        void* p = blocks_[i].p;
        held_ -= bytes;
        blocks_[i] = blocks_[--count_];
        return p;
      }
    }
    return nullptr;
  }

  // False when full or the block is too big to keep: the caller frees it.
  bool keep(void* p, std::size_t bytes) noexcept {
    if (bytes > max_block_bytes) return false;
    std::lock_guard guard(lock_);
    if (count_ == max_blocks || held_ + bytes > max_bytes) return false;
    blocks_[count_++] = {p, bytes};
    held_ += bytes;
    return true;
  }

 private:
  static constexpr std::size_t max_blocks = 4;
  static constexpr std::size_t max_block_bytes = std::size_t{64} << 20;  // 2.7 million vectors
  static constexpr std::size_t max_bytes = std::size_t{128} << 20;
  struct Block {
    void* p;
    std::size_t bytes;
  };
  std::mutex lock_;
  Block blocks_[max_blocks] = {};
  std::size_t count_ = 0;
  std::size_t held_ = 0;
};

ArrayCache& array_cache() {
  static auto* cache = new ArrayCache();  // never destroyed: arrays may be freed at exit
  return *cache;
}

}  // namespace

void* allocate_array(std::size_t bytes) {
  if (!is_large(bytes)) return ::operator new(bytes);
  const std::size_t rounded = rounded_to_huge_pages(bytes);
  if (void* p = array_cache().take(rounded)) return p;
  void* p = std::aligned_alloc(huge_page, rounded);
  if (p == nullptr) throw std::bad_alloc();
  madvise(p, rounded, MADV_HUGEPAGE);  // advice only: failure changes nothing
  return p;
}

void deallocate_array(void* p, std::size_t bytes) noexcept {
  if (!is_large(bytes)) {
    ::operator delete(p);
  } else if (!array_cache().keep(p, rounded_to_huge_pages(bytes))) {
    std::free(p);
  }
}

}  // namespace kalvor::binding
