#pragma once
// The borrow flag every instance carries: 0 free, n > 0 shared borrows,
// -1 one exclusive borrow. A conflicting access fails at once instead of
// waiting.

#include <Python.h>

#include <atomic>

namespace kalvor::binding {

using BorrowFlag = std::atomic<Py_ssize_t>;

#ifdef Py_GIL_DISABLED
// Free-threaded interpreter: several threads may reach one object at once, so
// every update is a sequentially consistent read-modify-write.
inline bool try_borrow_shared(BorrowFlag& flag) noexcept {
  Py_ssize_t current = flag.load(std::memory_order_relaxed);
  do {
    if (current == -1) return false;
  } while (!flag.compare_exchange_weak(current, current + 1));
  return true;
}

inline void release_shared(BorrowFlag& flag) noexcept { flag.fetch_sub(1); }

inline bool try_borrow_exclusive(BorrowFlag& flag) noexcept {
  Py_ssize_t expected = 0;
  return flag.compare_exchange_strong(expected, -1);
}

inline void release_exclusive(BorrowFlag& flag) noexcept { flag.store(0); }
#else
// With the global interpreter lock every access to an object's flag happens
// on a thread that holds the lock (the pool's workers never touch Python
// objects), and taking the lock orders memory between threads. An atomic
// load and store per update therefore suffice, and cost no locked
// instruction; re-entrant conflicts are caught exactly as before.
inline bool try_borrow_shared(BorrowFlag& flag) noexcept {
  const Py_ssize_t current = flag.load(std::memory_order_relaxed);
  if (current == -1) return false;
  flag.store(current + 1, std::memory_order_relaxed);
  return true;
}

inline void release_shared(BorrowFlag& flag) noexcept {
  flag.store(flag.load(std::memory_order_relaxed) - 1, std::memory_order_relaxed);
}

inline bool try_borrow_exclusive(BorrowFlag& flag) noexcept {
  if (flag.load(std::memory_order_relaxed) != 0) return false;
  flag.store(-1, std::memory_order_relaxed);
  return true;
}

inline void release_exclusive(BorrowFlag& flag) noexcept { flag.store(0, std::memory_order_relaxed); }
#endif

// RAII guards: the destructor releases, so every early return does too.
class SharedBorrow {
 public:
  SharedBorrow() noexcept = default;
  explicit SharedBorrow(BorrowFlag& flag) noexcept : flag_(try_borrow_shared(flag) ? &flag : nullptr) {}
  // Borrows `flag` into an empty guard; false when it is exclusively borrowed.
  bool acquire(BorrowFlag& flag) noexcept {
    flag_ = try_borrow_shared(flag) ? &flag : nullptr;
    return flag_ != nullptr;
  }
  SharedBorrow(SharedBorrow&& other) noexcept : flag_(other.flag_) { other.flag_ = nullptr; }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;
  SharedBorrow& operator=(SharedBorrow&&) = delete;
  ~SharedBorrow() {
    if (flag_) release_shared(*flag_);
  }
  bool ok() const noexcept { return flag_ != nullptr; }

 private:
  BorrowFlag* flag_ = nullptr;
};

class ExclusiveBorrow {
 public:
  ExclusiveBorrow() noexcept = default;
  explicit ExclusiveBorrow(BorrowFlag& flag) noexcept : flag_(try_borrow_exclusive(flag) ? &flag : nullptr) {}
  // Borrows `flag` into an empty guard; false when any borrow is active.
  bool acquire(BorrowFlag& flag) noexcept {
    flag_ = try_borrow_exclusive(flag) ? &flag : nullptr;
    return flag_ != nullptr;
  }
  ExclusiveBorrow(ExclusiveBorrow&& other) noexcept : flag_(other.flag_) { other.flag_ = nullptr; }
  ExclusiveBorrow(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(ExclusiveBorrow&&) = delete;
  ~ExclusiveBorrow() {
    if (flag_) release_exclusive(*flag_);
  }
  bool ok() const noexcept { return flag_ != nullptr; }

 private:
  BorrowFlag* flag_ = nullptr;
};

}  // namespace kalvor::binding
