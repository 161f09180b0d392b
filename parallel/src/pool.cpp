// The pool itself: one mutex, one condition variable for "work available",
// a FIFO of pieces and workers that wait, pop and run. Each job keeps its own
// count of unfinished pieces and its own wake-up, so any number of threads
// can submit and wait at once.
#include "parallel/src/pool.hpp"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace parallel {

namespace {

constexpr const char* not_initialized = "The global thread pool has not been initialized.";

// The pool's own machinery broke outside any job: nobody is left to report
// to, so say so in one line and end the process.
[[noreturn]] void fatal(const char* what) noexcept {
    std::fprintf(stderr, "parallel: the worker pool failed (%s); aborting\n", what);
    std::abort();
}

// One submitted job, living on the submitting thread's stack until all its
// pieces have stopped. `failure` is guarded by the pool's mutex.
struct Job {
    detail::PieceFn fn;
    void* context;
    // Unfinished pieces, plus `waiting` once the submitter has gone to sleep
    // on the pool's `job_done_`. Whoever finishes the last piece wakes the
    // submitter only if that bit is set, and never touches the job after its
    // decrement: the submitter may return as soon as it sees the count at 0.
    std::atomic<std::size_t> remaining;
    std::optional<Failure> failure;
};

constexpr std::size_t waiting = std::size_t{1} << (8 * sizeof(std::size_t) - 1);

// Hand-off latency matters for small jobs: waking a sleeping thread costs
// microseconds, more than a thousand-element piece takes. So one worker at a
// time keeps polling for new work for a short while after it runs out, and a
// submitter whose job leaves a processor free polls for completion before it
// sleeps. Both give up after `spin_time`. A polling worker takes an offered
// job within a microsecond unless it is not running at all (another thread or
// the host has its processor): then the submitter withdraws the offer after
// `offer_patience` and queues the job for any worker, instead of spinning on.
constexpr auto spin_time = std::chrono::microseconds(50);
constexpr auto offer_patience = std::chrono::microseconds(10);

inline void cpu_relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Polls `ready` until it holds or `patience` has passed; true if it held.
// The clock is first read after a round of polls: a small job is usually
// done by then.
template <class Ready>
bool spin_until(Ready&& ready, std::chrono::microseconds patience = spin_time) noexcept {
    std::optional<std::chrono::steady_clock::time_point> deadline;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (ready()) {
                return true;
            }
            cpu_relax();
        }
        const auto now = std::chrono::steady_clock::now();
        if (!deadline) {
            deadline = now + patience;
        } else if (now >= *deadline) {
            return false;
        }
    }
}

struct Task {
    Job* job;
    detail::Range range;
    std::size_t piece;
};

// Set on the pool's threads, so that a job submitted from inside a piece runs
// in place instead of waiting for workers that may all be busy waiting.
thread_local bool on_worker = false;

std::optional<Failure> run_piece(detail::PieceFn fn, void* context, detail::Range range, std::size_t piece) noexcept {
    try {
        fn(context, range.begin, range.end, piece);
        return std::nullopt;
    } catch (...) {
        return detail::current_failure();
    }
}

class Pool {
public:
    // Starts `size` workers; on failure stops the ones already running and
    // keeps the reason instead.
    explicit Pool(std::size_t size) {
        try {
            threads_.reserve(size);
            for (std::size_t i = 0; i < size; ++i) {
                threads_.emplace_back([this] { work(); });
            }
        } catch (const std::exception& e) {
            failure_ = std::string(not_initialized) + " " + e.what();
        } catch (...) {
            failure_ = std::string(not_initialized);
        }
        if (failure_) {
            {
                std::lock_guard lock(mutex_);
                stopping_ = true;
            }
            work_available_.notify_all();
            for (std::thread& t : threads_) {
                t.join();
            }
            threads_.clear();
        }
    }

    const std::optional<std::string>& failure() const noexcept { return failure_; }

    Status run(std::span<const detail::Range> pieces, detail::PieceFn fn, void* context, std::size_t context_size) {
        Job job{fn, context, {pieces.size()}, std::nullopt};
        if (pieces.size() == 1 && offer(job, pieces[0], context_size)) {
            return finish(job);
        }
        std::unique_lock lock(mutex_);
        std::size_t queued = 0;
        try {
            for (; queued < pieces.size(); ++queued) {
                queue_.push_back(Task{&job, pieces[queued], queued});
            }
        } catch (...) {
            // The queue could not grow: the pieces already queued still
            // point at this job, so let them finish and fail the job.
            job.failure = detail::current_failure();
            job.remaining.store(queued);
        }
        pending_.fetch_add(queued);
        // Wake sleepers only for the pieces a polling worker will not take: it
        // looks at the queue under the mutex before it ever sleeps.
        const std::size_t polling = static_cast<std::size_t>(spinners_.load());
        const std::size_t wake = std::min(queued - std::min(queued, polling), sleeping_);
        lock.unlock();
        for (std::size_t i = 0; i < wake; ++i) {
            work_available_.notify_one();
        }
        if (queued < threads_.size()) {
            spin_until([&] { return job.remaining.load(std::memory_order_acquire) == 0; });
        }
        return finish(job);
    }

private:
    // The small-job hand-off: a job of one piece is offered in the box to the
    // worker that is polling, with no lock, no allocation and no system call,
    // and the submitter polls for its completion. The request (and a small
    // context, copied) fills the box's own cache lines, and the worker reports
    // back in the same lines, so the hand-off costs about one round trip
    // between the two processors. Should no worker take the offer within
    // offer_patience (the poller went to sleep just before, or lost its
    // processor), the submitter withdraws it: false, queue it. Once the job is
    // done, it is counted off in job.remaining, and finish() finds it done.
    bool offer(Job& job, detail::Range range, std::size_t context_size) {
        if (range.begin != 0 || spinners_.load(std::memory_order_relaxed) == 0) {
            return false;
        }
        std::uint64_t state = box_.state.load(std::memory_order_relaxed);
        if (Box::phase(state) != Box::free) {
            return false;
        }
        const std::uint64_t ticket = Box::ticket(state) + 1;
        if (!box_.state.compare_exchange_strong(state, Box::make(ticket, Box::claimed), std::memory_order_acquire,
                                                std::memory_order_relaxed)) {
            return false;
        }
        box_.fn = job.fn;
        box_.end = range.end;
        box_.failure = &job.failure;
        const bool copied = context_size != 0 && context_size <= detail::max_context_size;
        if (copied) {
            std::memcpy(box_.context_copy, job.context, context_size);
        } else {
            box_.context = job.context;
        }
        std::uint64_t offered = Box::make(ticket, Box::offered) | (copied ? Box::copied : 0);
        box_.state.store(offered, std::memory_order_release);
        // Done once the box is free again, or already claimed for a later job.
        const auto done = [&] {
            const std::uint64_t now = box_.state.load(std::memory_order_acquire);
            return Box::ticket(now) != ticket || Box::phase(now) == Box::free;
        };
        if (!spin_until([&] { return box_.state.load(std::memory_order_relaxed) != offered; }, offer_patience) &&
            box_.state.compare_exchange_strong(offered, Box::make(ticket, Box::free), std::memory_order_acq_rel)) {
            return false;  // withdrawn before any worker took it
        }
        // Taken: wait for the worker to free the box, polling, then asleep.
        if (!spin_until(done)) {
            std::unique_lock lock(mutex_);
            std::uint64_t running = Box::make(ticket, Box::running);
            if (box_.state.compare_exchange_strong(running, Box::make(ticket, Box::awaited), std::memory_order_acquire)) {
                job_done_.wait(lock, done);
            }
        }
        job.remaining.store(0, std::memory_order_relaxed);
        return true;
    }

    // Runs the job in the box, taken from the submitter by the polling worker.
    void run_offered(std::uint64_t state) {
        const std::uint64_t ticket = Box::ticket(state);
        if (!box_.state.compare_exchange_strong(state, Box::make(ticket, Box::running), std::memory_order_acquire,
                                                std::memory_order_relaxed)) {
            return;  // withdrawn meanwhile
        }
        void* context = (state & Box::copied) != 0 ? static_cast<void*>(box_.context_copy) : box_.context;
        if (std::optional<Failure> failure = run_piece(box_.fn, context, detail::Range{0, box_.end}, 0)) {
            *box_.failure = std::move(failure);
        }
        // Freeing the box is the completion; a submitter asleep on it is woken
        // under the mutex, so the wake-up cannot fall between its test and its wait.
        if (Box::phase(box_.state.exchange(Box::make(ticket, Box::free), std::memory_order_acq_rel)) == Box::awaited) {
            std::lock_guard lock(mutex_);
            job_done_.notify_all();
        }
    }

    // Waits until every piece of the job has stopped and returns its outcome.
    Status finish(Job& job) {
        if (job.remaining.load(std::memory_order_acquire) != 0) {
            std::unique_lock lock(mutex_);
            if ((job.remaining.fetch_or(waiting, std::memory_order_acq_rel) & ~waiting) != 0) {
                job_done_.wait(lock, [&] { return job.remaining.load(std::memory_order_acquire) == waiting; });
            }
        }
        if (job.failure) {
            return std::unexpected(std::move(*job.failure));
        }
        return {};
    }

    // Runs a piece taken from the queue or the offer slot and counts it off.
    // After a failure the job's result is discarded; its pieces that have
    // not begun yet are only counted off.
    void run_task(const Task& task, bool skip) {
        Job& job = *task.job;
        if (!skip) {
            if (std::optional<Failure> failure = run_piece(job.fn, job.context, task.range, task.piece)) {
                std::lock_guard lock(mutex_);
                if (!job.failure) {
                    job.failure = std::move(failure);
                }
            }
        }
        // The last piece wakes a sleeping submitter under the mutex, so that
        // the wake-up cannot fall between its test of the count and its wait.
        if (job.remaining.fetch_sub(1, std::memory_order_acq_rel) == (waiting | 1)) {
            std::lock_guard lock(mutex_);
            job_done_.notify_all();
        }
    }

    void work() noexcept {
        on_worker = true;
        try {
            std::unique_lock lock(mutex_, std::defer_lock);
            for (;;) {
                // One worker at a time polls for a while before sleeping, and
                // stays the poller while it runs the jobs offered in the box.
                if (spinners_.fetch_add(1) == 0) {
                    for (;;) {
                        std::uint64_t state = 0;
                        spin_until([&] {
                            state = box_.state.load(std::memory_order_relaxed);
                            return Box::phase(state) == Box::offered || pending_.load(std::memory_order_relaxed) != 0;
                        });
                        if (Box::phase(state) != Box::offered) {
                            break;
                        }
                        run_offered(state);
                    }
                }
                spinners_.fetch_sub(1);
                // An offer made just as the poller stopped is taken all the same.
                if (const std::uint64_t state = box_.state.load(std::memory_order_seq_cst);
                    Box::phase(state) == Box::offered) {
                    run_offered(state);
                    continue;
                }
                lock.lock();
                if (queue_.empty() && !stopping_) {
                    ++sleeping_;
                    work_available_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
                    --sleeping_;
                }
                if (queue_.empty()) {
                    return;
                }
                const Task task = queue_.front();
                queue_.pop_front();
                pending_.fetch_sub(1);
                const bool skip = task.job->failure.has_value();
                lock.unlock();
                run_task(task, skip);
            }
        } catch (const std::exception& e) {
            fatal(e.what());
        } catch (...) {
            fatal("unknown exception in a worker");
        }
    }

    // The small-job hand-off, in cache lines of its own. `state` holds a
    // ticket, counting the jobs offered so far, whether the context was
    // copied into the box, and a phase: free, claimed by a submitter filling
    // in the request, offered, running on a worker, or running while the
    // submitter sleeps on job_done_. A single piece always starts at 0. The
    // first line holds all a worker reads for a context of up to 40 bytes.
    struct alignas(128) Box {
        static constexpr std::uint64_t free = 0, claimed = 1, offered = 2, running = 3, awaited = 4, copied = 8;
        static constexpr std::uint64_t phase(std::uint64_t state) noexcept { return state & 7; }
        static constexpr std::uint64_t ticket(std::uint64_t state) noexcept { return state >> 4; }
        static constexpr std::uint64_t make(std::uint64_t ticket, std::uint64_t phase) noexcept {
            return ticket << 4 | phase;
        }
        std::atomic<std::uint64_t> state{0};
        detail::PieceFn fn = nullptr;
        std::size_t end = 0;
        alignas(detail::max_context_align) unsigned char context_copy[detail::max_context_size];
        void* context = nullptr;
        std::optional<Failure>* failure = nullptr;
    };
    static_assert(sizeof(Box) == 128 && offsetof(Box, context_copy) + 40 == 64);

    Box box_;
    // Read by the polling worker on every poll, written only when the queue
    // changes or a worker starts or stops polling: lines of their own.
    alignas(64) std::atomic<std::size_t> pending_{0};  // queue_.size(), readable without the mutex
    alignas(64) std::atomic<int> spinners_{0};
    alignas(64) std::mutex mutex_;
    std::condition_variable work_available_;
    std::condition_variable job_done_;
    std::deque<Task> queue_;
    std::size_t sleeping_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
    std::optional<std::string> failure_;
};

// ---- The process-wide instance ---------------------------------------------

// Guards the one start attempt. The pool, once built (working or failed), is
// published through `pool` and never freed: workers sleep in it until exit.
std::mutex start_mutex;
std::atomic<Pool*> pool{nullptr};

// fork() copies only the calling thread, so the child's pool would have a
// queue and no workers. The start lock is held across fork() so that the child
// never inherits it half way through a start; the child then forgets the
// parent's pool (leaving it to leak) and its first bulk operation starts one
// of its own.
void before_fork() noexcept { start_mutex.lock(); }

void after_fork_in_parent() noexcept { start_mutex.unlock(); }

void after_fork_in_child() noexcept {
    pool.store(nullptr, std::memory_order_release);
    start_mutex.unlock();
}

std::size_t processors_available() noexcept {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return static_cast<std::size_t>(std::max(CPU_COUNT(&set), 1));
    }
    // More processors than a cpu_set_t holds, or no affinity support.
    return std::max(std::thread::hardware_concurrency(), 1u);
}

Pool& started_pool_or_failed() {
    if (Pool* p = pool.load(std::memory_order_acquire)) {
        return *p;
    }
    std::lock_guard lock(start_mutex);
    if (Pool* p = pool.load(std::memory_order_relaxed)) {
        return *p;
    }
    static const bool fork_handlers = [] {
        if (pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child) != 0) {
            fatal("pthread_atfork failed");
        }
        return true;
    }();
    (void)fork_handlers;
    Pool* p = new Pool(worker_count());
    pool.store(p, std::memory_order_release);
    return *p;
}

}  // namespace

// ---- Public entry points ---------------------------------------------------

std::size_t worker_count() noexcept {
    static const std::size_t count = [] {
        if (auto fixed = detail::parse_thread_count(std::getenv(thread_count_variable))) {
            return *fixed;
        }
        return processors_available();
    }();
    return count;
}

Status start() noexcept {
    try {
        const Pool& p = started_pool_or_failed();
        if (p.failure()) {
            return std::unexpected(Failure{*p.failure()});
        }
        return {};
    } catch (const std::exception& e) {
        fatal(e.what());
    } catch (...) {
        fatal("unknown exception while starting");
    }
}

namespace detail {

Failure current_failure() noexcept {
    try {
        throw;
    } catch (const std::exception& e) {
        return Failure{e.what()};
    } catch (...) {
        return Failure{"a piece of a parallel job failed"};
    }
}

std::optional<std::size_t> parse_thread_count(const char* text) noexcept {
    if (text == nullptr) {
        return std::nullopt;
    }
    const char* end = text + std::strlen(text);
    std::size_t value = 0;
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc{} || stop != end || stop == text || value == 0) {
        return std::nullopt;
    }
    return value;
}

std::vector<Range> split(std::size_t n, std::size_t budget) {
    std::vector<Range> pieces;
    pieces.reserve(std::max<std::size_t>(1, std::min(n, budget)));
    // Depth first, left half before right: the pieces come out in index order.
    auto halve = [&pieces](auto& self, Range r, std::size_t budget) -> void {
        const std::size_t size = r.end - r.begin;
        if (budget < 2 || size < 2) {
            pieces.push_back(r);
            return;
        }
        const std::size_t mid = r.begin + size / 2;
        self(self, Range{r.begin, mid}, budget / 2);
        self(self, Range{mid, r.end}, budget - budget / 2);
    };
    halve(halve, Range{0, n}, budget);
    return pieces;
}

Status run_pieces(std::span<const Range> pieces, PieceFn fn, void* context, std::size_t context_size) noexcept {
    if (Status started = start(); !started) {
        return started;
    }
    std::size_t total = 0;
    for (const Range& r : pieces) {
        total += r.end - r.begin;
    }
    if (total < 2 || on_worker) {
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (std::optional<Failure> failure = run_piece(fn, context, pieces[i], i)) {
                return std::unexpected(std::move(*failure));
            }
        }
        return {};
    }
    try {
        return pool.load(std::memory_order_acquire)->run(pieces, fn, context, context_size);
    } catch (const std::exception& e) {
        fatal(e.what());
    } catch (...) {
        fatal("unknown exception while waiting for a job");
    }
}

}  // namespace detail

}  // namespace parallel
