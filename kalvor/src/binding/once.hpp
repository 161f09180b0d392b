#pragma once
// One-time initialisation of process-wide objects (type objects, the
// submodule, the panic exception class). The first caller runs the
// initialiser while attached to the interpreter; a thread that arrives while
// it runs detaches from the interpreter and waits, so the initialiser may
// itself run Python code (which can switch threads) without deadlocking.

#include <Python.h>

#include <atomic>

namespace kalvor::binding {

template <class T>
class OnceValue {
 public:
  // Returns the value, running `init` (which returns a T, or a null/false T
  // with a Python error set) if no call has succeeded yet.
  template <class Init>
  T get(Init&& init) noexcept {
    // An initialiser that threw would leave the state `running` for good.
    static_assert(noexcept(init()), "an initialiser reports failure as a null value, never by throwing");
    if (state_.load(std::memory_order_acquire) == done) return value_;
    return slow(init);
  }

  bool ready() const noexcept { return state_.load(std::memory_order_acquire) == done; }

 private:
  enum : int { empty = 0, running = 1, done = 2 };

  template <class Init>
  T slow(Init& init) noexcept {
    for (;;) {
      int state = state_.load(std::memory_order_acquire);
      if (state == done) return value_;
      if (state == empty && state_.compare_exchange_strong(state, running)) {
        T value = init();
        if (value) value_ = value;
        state_.store(value ? done : empty, std::memory_order_release);
        state_.notify_all();
        return value;
      }
      PyThreadState* saved = PyEval_SaveThread();
      state_.wait(running, std::memory_order_acquire);
      PyEval_RestoreThread(saved);
    }
  }

  std::atomic<int> state_{empty};
  T value_{};
};

}  // namespace kalvor::binding
