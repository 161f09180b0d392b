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

// RAII guards, one per kind of borrow: `acquire` borrows into an empty guard
// (false when the flag does not allow it) and the destructor releases, so
// every early return does too.
template <bool Exclusive>
class BorrowGuard {
 public:
  BorrowGuard() noexcept = default;
  BorrowGuard(const BorrowGuard&) = delete;
  BorrowGuard& operator=(const BorrowGuard&) = delete;
  ~BorrowGuard() {
    if (flag_ == nullptr) return;
    if constexpr (Exclusive) {
      release_exclusive(*flag_);
    } else {
      release_shared(*flag_);
    }
  }

  bool acquire(BorrowFlag& flag) noexcept {
    const bool ok = Exclusive ? try_borrow_exclusive(flag) : try_borrow_shared(flag);
    flag_ = ok ? &flag : nullptr;
    return ok;
  }

 private:
  BorrowFlag* flag_ = nullptr;
};

using SharedBorrow = BorrowGuard<false>;
using ExclusiveBorrow = BorrowGuard<true>;

// A read that runs no Python code between taking the borrow and its last use
// of the value: under the interpreter lock nothing else can take an exclusive
// borrow meanwhile, so it only checks that none is held, and conflicts are
// met exactly as with a recorded shared borrow. A free-threaded interpreter
// lets another thread in at any time, so there it records the borrow.
inline bool can_read(const BorrowFlag& flag) noexcept { return flag.load(std::memory_order_relaxed) != -1; }

#ifdef Py_GIL_DISABLED
using ReadCheck = SharedBorrow;
#else
class ReadCheck {
 public:
  bool acquire(const BorrowFlag& flag) noexcept { return can_read(flag); }
};
#endif

}  // namespace kalvor::binding
