// The pool's map and ordered minimum: order, splits, concurrency, failures,
// and the process-level behaviour (thread count, start failure, fork).
#include "parallel/src/pool.hpp"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <latch>
#include <limits>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using parallel::detail::Range;

constexpr std::size_t budgets[] = {1, 2, 3, 4, 5, 7, 8, 16, 64};

double value_at(std::size_t i) { return std::sqrt(static_cast<double>(i)) * 3.0 + 1.0; }

// Fills out[i] = value_at(i) through the pool with the given budget.
std::vector<double> squares(std::size_t n, std::size_t budget) {
    std::vector<double> out(n, -1.0);
    auto body = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            out[i] = value_at(i);
        }
    };
    EXPECT_TRUE(parallel::detail::map(n, budget, body));
    return out;
}

// ---- Splitting and the map, over many sizes ----------------------------------

class Sizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Sizes, SplitIsContiguousOrderedAndWithinBudget) {
    const std::size_t n = GetParam();
    for (std::size_t budget : budgets) {
        const std::vector<Range> pieces = parallel::detail::split(n, budget);
        ASSERT_FALSE(pieces.empty());
        EXPECT_LE(pieces.size(), std::max<std::size_t>(1, std::min(n, budget)));
        std::size_t next = 0;
        for (const Range& r : pieces) {
            EXPECT_EQ(r.begin, next);
            EXPECT_TRUE(r.end > r.begin || n == 0);
            next = r.end;
        }
        EXPECT_EQ(next, n);
    }
}

TEST_P(Sizes, MapPutsResultIInSlotIForEverySplit) {
    const std::size_t n = GetParam();
    std::vector<double> expected(n);
    for (std::size_t i = 0; i < n; ++i) {
        expected[i] = value_at(i);
    }
    for (std::size_t budget : budgets) {
        EXPECT_EQ(squares(n, budget), expected) << "budget " << budget;
    }
    std::vector<double> out(n);
    ASSERT_TRUE(parallel::map(n, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            out[i] = value_at(i);
        }
    }));
    EXPECT_EQ(out, expected);
}

TEST_P(Sizes, MinByFindsTheFirstSmallestForEverySplit) {
    const std::size_t n = GetParam();
    // Few distinct keys, so most minima are tied.
    std::vector<int> keys(n);
    std::mt19937 random(static_cast<unsigned>(n));
    for (int& k : keys) {
        k = static_cast<int>(random() % 5);
    }
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i < n; ++i) {
        if (!first || keys[i] < keys[*first]) {
            first = i;
        }
    }
    auto key = [&](std::size_t i) { return keys[i]; };
    auto less = [](int a, int b) { return a < b; };
    for (std::size_t budget : budgets) {
        auto found = parallel::detail::min_by<int>(n, budget, key, less);
        ASSERT_TRUE(found);
        ASSERT_EQ(found->has_value(), first.has_value());
        if (first) {
            EXPECT_EQ((*found)->index, *first) << "budget " << budget;
            EXPECT_EQ((*found)->key, keys[*first]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pool, Sizes, ::testing::Values(0, 1, 2, 3, 4, 5, 17, 64, 999, 1000, 100003));

// ---- Where pieces run -----------------------------------------------------------

TEST(Map, FewerThanTwoElementsRunOnTheCaller) {
    for (std::size_t n : {0, 1}) {
        std::vector<std::thread::id> ran;
        ASSERT_TRUE(parallel::map(n, [&](std::size_t, std::size_t) { ran.push_back(std::this_thread::get_id()); }));
        for (std::thread::id id : ran) {
            EXPECT_EQ(id, std::this_thread::get_id());
        }
    }
}

TEST(Map, TwoOrMoreElementsRunOnWorkersOnly) {
    std::mutex mutex;
    std::set<std::thread::id> ran;
    auto body = [&](std::size_t, std::size_t) {
        std::lock_guard lock(mutex);
        ran.insert(std::this_thread::get_id());
    };
    ASSERT_TRUE(parallel::detail::map(1000, 64, body));
    EXPECT_FALSE(ran.contains(std::this_thread::get_id()));
    EXPECT_LE(ran.size(), parallel::worker_count());
}

TEST(Map, NestedJobRunsInlineOnTheWorker) {
    std::vector<double> out(100 * 50);
    auto outer = [&](std::size_t begin, std::size_t end) {
        for (std::size_t row = begin; row < end; ++row) {
            const auto worker = std::this_thread::get_id();
            auto inner = [&](std::size_t b, std::size_t e) {
                EXPECT_EQ(std::this_thread::get_id(), worker);
                for (std::size_t i = b; i < e; ++i) {
                    out[row * 50 + i] = value_at(row * 50 + i);
                }
            };
            if (!parallel::detail::map(50, 8, inner)) {
                throw std::runtime_error("nested job failed");
            }
        }
    };
    ASSERT_TRUE(parallel::detail::map(100, 8, outer));
    EXPECT_EQ(out, squares(out.size(), 1));
}

TEST(Map, ManyThreadsSubmitAtOnce) {
    constexpr int threads = 8;
    std::latch ready(threads);
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < threads; ++t) {
        callers.emplace_back([&, t] {
            ready.arrive_and_wait();
            for (int round = 0; round < 200; ++round) {
                const std::size_t n = static_cast<std::size_t>((round * 37 + t * 11) % 3000);
                const auto budget = static_cast<std::size_t>(1 + (round + t) % 6);
                std::vector<double> out(n, -1.0);
                auto body = [&](std::size_t begin, std::size_t end) {
                    for (std::size_t i = begin; i < end; ++i) {
                        out[i] = value_at(i) + t;
                    }
                };
                std::vector<int> keys(n, 1);
                if (n > 0) {
                    keys[n / 3] = 0;
                    keys[n - 1] = 0;
                }
                auto key = [&](std::size_t i) { return keys[i]; };
                auto less = [](int a, int b) { return a < b; };
                const auto min = parallel::detail::min_by<int>(n, budget, key, less);
                if (!parallel::detail::map(n, budget, body) || !min || min->has_value() != (n > 0) ||
                    (n > 0 && (*min)->index != n / 3)) {
                    ++wrong;
                }
                for (std::size_t i = 0; i < n; ++i) {
                    if (out[i] != value_at(i) + t) {
                        ++wrong;
                    }
                }
            }
        });
    }
    for (std::thread& c : callers) {
        c.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

// ---- Failures --------------------------------------------------------------------

TEST(Failure, ThrowingPieceFailsTheJobAfterEveryPieceStopped) {
    std::atomic<int> running{0};
    std::atomic<int> started{0};
    auto body = [&](std::size_t begin, std::size_t) {
        ++started;
        ++running;
        if (begin == 0) {
            --running;
            throw std::runtime_error("piece at 0 failed");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        --running;
    };
    const parallel::Status status = parallel::detail::map(64, 8, body);
    EXPECT_EQ(running.load(), 0);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.error().message, "piece at 0 failed");
    EXPECT_GE(started.load(), 1);
    // The pool is still fine afterwards.
    EXPECT_EQ(squares(1000, 4), squares(1000, 1));
}

TEST(Failure, NonStandardExceptionAndCallerSidePieces) {
    auto throw_int = [](std::size_t, std::size_t) { throw 42; };
    for (std::size_t n : {1, 2, 1000}) {
        const parallel::Status status = parallel::map(n, throw_int);
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().message, "a piece of a parallel job failed");
    }
    auto key = [](std::size_t i) -> double {
        if (i == 7) {
            throw std::invalid_argument("bad key");
        }
        return 1.0;
    };
    const auto found = parallel::min_by(10, key, parallel::total_order_less);
    ASSERT_FALSE(found);
    EXPECT_EQ(found.error().message, "bad key");
}

TEST(Failure, SeveralFailingPiecesReportOneOfThem) {
    auto body = [](std::size_t begin, std::size_t) { throw std::runtime_error(begin < 50 ? "left" : "right"); };
    const parallel::Status status = parallel::detail::map(100, 2, body);
    ASSERT_FALSE(status);
    EXPECT_TRUE(status.error().message == "left" || status.error().message == "right");
}

// ---- Ordered minimum and the total order -----------------------------------------

TEST(MinBy, EmptyRangeGivesNothing) {
    const auto found = parallel::min_by(0, [](std::size_t) { return 0.0; }, parallel::total_order_less);
    ASSERT_TRUE(found);
    EXPECT_FALSE(found->has_value());
}

TEST(MinBy, DoubleKeysUnderTotalOrder) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::vector<double> keys;
        std::size_t index;
    };
    const Case cases[] = {
        {{3.0, 1.0, 2.0, 1.0, 1.0}, 1},     // ties: the first one
        {{nan, 5.0, inf, nan}, 1},          // a positive NaN is never chosen over a number
        {{nan, nan}, 0},                    // unless there is nothing else
        {{0.0, -0.0, 0.0, -0.0}, 1},        // -0 before +0
        {{1.0, -inf, -nan, -inf}, 2},       // a negative NaN comes before -inf
        {{2.0}, 0},
    };
    for (const Case& c : cases) {
        auto key = [&](std::size_t i) { return c.keys[i]; };
        for (std::size_t budget : budgets) {
            auto less = parallel::total_order_less;
            const auto found = parallel::detail::min_by<double>(c.keys.size(), budget, key, less);
            ASSERT_TRUE(found && found->has_value());
            EXPECT_EQ((*found)->index, c.index);
            EXPECT_EQ(std::bit_cast<std::uint64_t>((*found)->key), std::bit_cast<std::uint64_t>(c.keys[c.index]));
        }
    }
}

TEST(TotalOrder, FollowsIeeeTotalOrder) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double max = std::numeric_limits<double>::max();
    constexpr double tiny = std::numeric_limits<double>::denorm_min();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double nan_payload = std::bit_cast<double>(std::bit_cast<std::uint64_t>(nan) | 1);
    // Ascending.
    const double order[] = {-nan_payload, -nan, -inf, -max, -1.0, -tiny, -0.0,
                            0.0,          tiny, 1.0,  max,  inf,  nan,  nan_payload};
    for (std::size_t i = 0; i < std::size(order); ++i) {
        for (std::size_t j = 0; j < std::size(order); ++j) {
            EXPECT_EQ(parallel::total_order_less(order[i], order[j]), i < j) << i << " vs " << j;
        }
    }
    static_assert(parallel::total_order_less(-0.0, 0.0) && !parallel::total_order_less(0.0, 0.0));
}

// ---- The process-wide pool ----------------------------------------------------------

TEST(ThreadCount, ParsesOnlyPositiveIntegers) {
    EXPECT_EQ(parallel::detail::parse_thread_count("1"), 1u);
    EXPECT_EQ(parallel::detail::parse_thread_count("12"), 12u);
    for (const char* bad : {"", "0", "-1", "+3", " 4", "4 ", "4x", "abc", "99999999999999999999999"}) {
        EXPECT_EQ(parallel::detail::parse_thread_count(bad), std::nullopt) << '"' << bad << '"';
    }
    EXPECT_EQ(parallel::detail::parse_thread_count(nullptr), std::nullopt);
}

TEST(ThreadCount, DefaultsToTheProcessorsAvailable) {
    if (std::getenv(parallel::thread_count_variable) != nullptr) {
        GTEST_SKIP() << parallel::thread_count_variable << " is set";
    }
    cpu_set_t set;
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    EXPECT_EQ(parallel::worker_count(), static_cast<std::size_t>(CPU_COUNT(&set)));
}

// The cases below need a process of their own: the pool is started once per
// process, and this one's is running already.
class Process : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Each runs in a child process and exits 0 when all is as expected.
[[noreturn]] void run_with_three_workers() {
    std::mutex mutex;
    std::set<std::thread::id> ran;
    auto body = [&](std::size_t, std::size_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard lock(mutex);
        ran.insert(std::this_thread::get_id());
    };
    const bool ok = parallel::worker_count() == 3 && parallel::detail::map(1000, 100, body) && ran.size() <= 3;
    std::exit(ok ? 0 : 1);
}

[[noreturn]] void fail_to_start() {
    // Leave too little address space for a thread's stack.
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1) {
            std::exit(2);
        }
        std::fclose(statm);
    }
    const rlim_t limit = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE)) + (1 << 20);
    const rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_AS, &rl) != 0) {
        std::exit(2);
    }
    const parallel::Status first = parallel::start();
    const parallel::Status empty = parallel::map(0, [](std::size_t, std::size_t) {});
    const parallel::Status big = parallel::map(1000, [](std::size_t, std::size_t) {});
    const auto min = parallel::min_by(5, [](std::size_t) { return 1.0; }, parallel::total_order_less);
    if (first) {
        std::exit(3);
    }
    const std::string& text = first.error().message;
    const bool same = !empty && !big && !min && empty.error().message == text && big.error().message == text &&
                      min.error().message == text;
    std::fprintf(stderr, "%s\n", text.c_str());
    std::exit(same ? 0 : 1);
}

TEST_F(Process, EnvironmentFixesTheWorkerCount) {
    ASSERT_EQ(setenv(parallel::thread_count_variable, "3", 1), 0);
    EXPECT_EXIT(run_with_three_workers(), ::testing::ExitedWithCode(0), "");
    unsetenv(parallel::thread_count_variable);
}

#if !defined(__SANITIZE_THREAD__)
TEST_F(Process, StartFailureIsReportedOnEveryCall) {
    EXPECT_EXIT(fail_to_start(), ::testing::ExitedWithCode(0),
                "^The global thread pool has not been initialized\\. [A-Za-z]");
}

TEST(Fork, ChildStartsAPoolOfItsOwn) {
    ASSERT_EQ(squares(1000, 4), squares(1000, 1));  // the parent's pool is running
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        alarm(20);  // a hang fails the test instead of blocking it
        std::vector<double> expected(1000);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            expected[i] = value_at(i);
        }
        _exit(squares(1000, 4) == expected ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
