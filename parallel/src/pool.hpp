// The process-wide worker pool and the two primitives that run on it: an
// order-preserving map over an index range and an ordered minimum.
//
// Knows nothing of Python. Every entry point is noexcept and reports failure
// as a value; the caller decides how to surface it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace parallel {

// ---- Results ---------------------------------------------------------------

struct Failure {
    std::string message;
};

template <class T>
using Expected = std::expected<T, Failure>;
using Status = Expected<void>;

// ---- The pool --------------------------------------------------------------

// Name of the environment variable that fixes the number of workers. A
// positive decimal integer wins; anything else (unset, empty, 0, junk) is
// ignored and the pool takes one worker per processor available to the process.
inline constexpr const char* thread_count_variable = "KALVOR_NUM_THREADS";

// Number of workers the pool has, or will have once it starts. Starts nothing;
// the value is decided on the first call and never changes in this process.
std::size_t worker_count() noexcept;

// Starts the process-wide pool unless it is running already. Starting is
// attempted once per process: if it fails, this call and every later one
// return the same failure, "The global thread pool has not been initialized."
// followed by the reason. map() and min_by() call it first themselves. A child
// made by fork() has none of the parent's threads and starts a pool of its own.
Status start() noexcept;

namespace detail {

// A contiguous piece [begin, end) of a job's index range.
struct Range {
    std::size_t begin;
    std::size_t end;
};

// Runs one piece; `piece` is its position in the list given to run_pieces.
// May throw: the pool catches it and reports it as the job's failure.
using PieceFn = void (*)(void* context, std::size_t begin, std::size_t end, std::size_t piece);

// [0, n) halved at the midpoint while the budget allows, never below one
// element per piece; the pieces come back in index order. Fewer than two
// elements give the single piece [0, n).
std::vector<Range> split(std::size_t n, std::size_t budget);

// Starts the pool (see start()), then runs every piece and returns once all
// of them have stopped, with the first failure if any; pieces not yet begun
// when a failure is recorded are skipped. Pieces covering fewer than two
// elements in all run on the calling thread. Otherwise they go to the workers
// and the caller sleeps, except on a worker thread itself, which runs them in
// order rather than wait for work queued behind its own piece.
//
// A nonzero `context_size` says that the context is that many bytes of a
// trivially copyable object, which fn may be given a copy of: a single piece
// then travels to a worker by value, in the same cache lines as the request,
// and the worker need not read the caller's stack.
Status run_pieces(std::span<const Range> pieces, PieceFn fn, void* context, std::size_t context_size = 0) noexcept;

// The largest context that can travel by value, and its alignment; one of up
// to 40 bytes travels in the same cache line as the request.
inline constexpr std::size_t max_context_size = 64;
inline constexpr std::size_t max_context_align = 8;

// Pieces to split n elements into: one per worker, but none smaller than
// min_piece elements, since handing a piece to a worker costs about as much
// as computing a few thousand elements.
inline constexpr std::size_t min_piece = 4096;
inline std::size_t piece_budget(std::size_t n) noexcept {
    const std::size_t by_size = n / min_piece;
    const std::size_t workers = worker_count();
    return by_size < 1 ? 1 : (by_size < workers ? by_size : workers);
}

// Parses the value of the thread-count variable; nullopt unless it is a
// positive decimal integer.
std::optional<std::size_t> parse_thread_count(const char* text) noexcept;

// The failure to report for the exception being handled: its what(), or a
// fixed text for anything that is not a std::exception.
Failure current_failure() noexcept;

template <class F>
void call_piece(void* context, std::size_t begin, std::size_t end, std::size_t piece) {
    (*static_cast<F*>(context))(begin, end, piece);
}

// map() with the piece budget given; tests use it to try other splits.
template <class F>
Status map(std::size_t n, std::size_t budget, F& f) noexcept {
    auto body = [&f](std::size_t begin, std::size_t end, std::size_t) { f(begin, end); };
    if (budget < 2 || n < 2) {
        // One piece: no piece list to allocate. A small trivially copyable f
        // is handed over by value.
        const Range whole{0, n};
        using Fn = std::remove_cvref_t<F>;
        if constexpr (std::is_trivially_copyable_v<Fn> && sizeof(Fn) <= max_context_size &&
                      alignof(Fn) <= max_context_align) {
            auto by_value = [](void* context, std::size_t begin, std::size_t end, std::size_t) {
                (*static_cast<Fn*>(context))(begin, end);
            };
            return run_pieces(std::span<const Range>(&whole, 1), by_value, const_cast<Fn*>(&f), sizeof(Fn));
        } else {
            return run_pieces(std::span<const Range>(&whole, 1), &call_piece<decltype(body)>, &body);
        }
    }
    try {
        const std::vector<Range> pieces = split(n, budget);
        return run_pieces(pieces, &call_piece<decltype(body)>, &body);
    } catch (...) {
        // Only the piece list's allocation gets here; run_pieces catches the rest.
        return std::unexpected(current_failure());
    }
}

}  // namespace detail

// ---- Parallel map ----------------------------------------------------------

// Calls f(begin, end) over contiguous pieces that together cover [0, n) once.
// f writes the results of its own indices only (slot i for index i), so the
// output comes out in index order whatever the split. With two or more
// elements the pieces run on the workers while the caller sleeps; with fewer
// they run on the caller. If f throws, the exception's what() (or "a piece of
// a parallel job failed") is returned once every piece has stopped, and the
// output must be discarded.
template <class F>
Status map(std::size_t n, F&& f) noexcept {
    return detail::map(n, detail::piece_budget(n), f);
}

// map() for elements that each cost about as much as `weight` elements of the
// cheapest maps (a sum, a product): the job is split as one of n·weight such
// elements would be, so a short job of costly elements (a conversion through
// sin and atan2) still spreads over the workers. A weight of 1 is map().
template <class F>
Status map(std::size_t n, std::size_t weight, F&& f) noexcept {
    const std::size_t work = weight != 0 && n > static_cast<std::size_t>(-1) / weight ? static_cast<std::size_t>(-1) : n * weight;
    return detail::map(n, detail::piece_budget(work), f);
}

// ---- Ordered minimum -------------------------------------------------------

template <class Key>
struct Minimum {
    std::size_t index;
    Key key;
};

namespace detail {

// min_by() with the piece budget given; tests use it to try other splits.
template <class Key, class KeyFn, class Less>
Expected<std::optional<Minimum<Key>>> min_by(std::size_t n, std::size_t budget, KeyFn& key, Less& less) noexcept try {
    // One slot per piece, filled by that piece only and folded left to right
    // afterwards, the left one kept on ties: the answer is the first index
    // with the smallest key, however the range was split.
    std::vector<std::optional<Minimum<Key>>> best;
    auto body = [&](std::size_t begin, std::size_t end, std::size_t piece) {
        if (begin == end) {
            return;
        }
        Minimum<Key> m{begin, key(begin)};
        for (std::size_t i = begin + 1; i < end; ++i) {
            Key k = key(i);
            if (less(k, m.key)) {
                m = Minimum<Key>{i, std::move(k)};
            }
        }
        best[piece] = std::move(m);
    };
    const std::vector<Range> pieces = split(n, budget);
    best.resize(pieces.size());
    if (Status status = run_pieces(pieces, &call_piece<decltype(body)>, &body); !status) {
        return std::unexpected(std::move(status.error()));
    }
    std::optional<Minimum<Key>> result;
    for (std::optional<Minimum<Key>>& b : best) {
        if (b && (!result || less(b->key, result->key))) {
            result = std::move(b);
        }
    }
    return result;
} catch (...) {
    // Allocations and the final fold; a failing piece is reported by run_pieces.
    return std::unexpected(current_failure());
}

}  // namespace detail

// Index and key of the smallest key(i) over i in [0, n) under the strict
// ordering less(a, b); among equal keys the smallest index wins, for any
// number of workers. An empty range gives nullopt. Pieces run like map()'s,
// and a key function that throws fails the call the same way.
template <class KeyFn, class Less>
auto min_by(std::size_t n, KeyFn&& key, Less&& less) noexcept
    -> Expected<std::optional<Minimum<std::remove_cvref_t<std::invoke_result_t<KeyFn&, std::size_t>>>>> {
    using Key = std::remove_cvref_t<std::invoke_result_t<KeyFn&, std::size_t>>;
    return detail::min_by<Key>(n, detail::piece_budget(n), key, less);
}

// ---- Key order -------------------------------------------------------------

// IEEE 754 totalOrder on doubles, by bit pattern: -NaN < -inf < ... < -0 <
// +0 < ... < +inf < +NaN; NaNs of one sign order by payload.
constexpr bool total_order_less(double a, double b) noexcept {
    // Flipping the magnitude bits of negative values makes the signed integer
    // order of the patterns match totalOrder.
    auto ordered = [](double d) {
        const auto bits = std::bit_cast<std::int64_t>(d);
        return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
    };
    return ordered(a) < ordered(b);
}

}  // namespace parallel
