// The pool's map and ordered minimum: order, splits, concurrency, failures,
// and the process-wide behaviour (worker count, start failure, fork).
#include "parallel/src/pool.hpp"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
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

constexpr std::size_t budgets[] = {1, 2, 3, 4, 5, 7, 8, 16, 64};

double value_at(std::size_t i) { return std::sqrt(static_cast<double>(i)) * 3.0 + 1.0; }

std::vector<double> expected_values(std::size_t n) {
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = value_at(i);
    }
    return v;
}

// out[i] = value_at(i) through the pool, split with the given budget.
std::vector<double> mapped_values(std::size_t n, std::size_t budget) {
    std::vector<double> out(n, -1.0);
    auto body = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            out[i] = value_at(i);
        }
    };
    EXPECT_TRUE(parallel::detail::map(n, budget, body));
    return out;
}

std::optional<std::size_t> pool_min(const std::vector<int>& keys, std::size_t budget) {
    auto key = [&](std::size_t i) { return keys[i]; };
    auto less = [](int a, int b) { return a < b; };
    const auto found = parallel::detail::min_by<int>(keys.size(), budget, key, less);
    EXPECT_TRUE(found);
    return found && *found ? std::optional((*found)->index) : std::nullopt;
}

// ---- Splits, map and minimum over many sizes ---------------------------------

class Sizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Sizes, MapPutsResultIInSlotIForEverySplit) {
    const std::size_t n = GetParam();
    const std::vector<double> expected = expected_values(n);
    for (std::size_t budget : budgets) {
        EXPECT_EQ(mapped_values(n, budget), expected) << "budget " << budget;
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
    std::vector<int> keys(n);
    std::mt19937 random(static_cast<unsigned>(n));
    for (int& k : keys) {
        k = static_cast<int>(random() % 5);  // few distinct keys: many ties
    }
    const auto first = std::min_element(keys.begin(), keys.end());
    for (std::size_t budget : budgets) {
        const auto found = pool_min(keys, budget);
        if (n == 0) {
            EXPECT_EQ(found, std::nullopt);
        } else {
            EXPECT_EQ(found, static_cast<std::size_t>(first - keys.begin())) << "budget " << budget;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Pool, Sizes, ::testing::Values(0, 1, 2, 3, 4, 5, 17, 64, 999, 1000, 100003));

// ---- Where pieces run, and who runs them ---------------------------------------

TEST(Map, PiecesRunOnTheCallerBelowTwoElementsAndOnWorkersOtherwise) {
    std::mutex mutex;
    std::set<std::thread::id> ran;
    auto body = [&](std::size_t, std::size_t) {
        std::lock_guard lock(mutex);
        ran.insert(std::this_thread::get_id());
    };
    ASSERT_TRUE(parallel::detail::map(1, 8, body));
    EXPECT_EQ(ran, std::set{std::this_thread::get_id()});
    ran.clear();
    ASSERT_TRUE(parallel::detail::map(1000, 64, body));
    EXPECT_FALSE(ran.contains(std::this_thread::get_id()));
    EXPECT_LE(ran.size(), parallel::worker_count());
}

TEST(Map, WeightedJobIsSplitAsItsTotalCostWouldBe) {
    std::mutex mutex;
    std::vector<std::pair<std::size_t, std::size_t>> pieces;
    auto body = [&](std::size_t begin, std::size_t end) {
        std::lock_guard lock(mutex);
        pieces.emplace_back(begin, end);
    };
    // 1000 elements are one piece; at 64 times the cost, 15 pieces' worth, one per worker.
    ASSERT_TRUE(parallel::map(1000, 1, body));
    EXPECT_EQ(pieces.size(), 1u);
    pieces.clear();
    ASSERT_TRUE(parallel::map(1000, 64, body));
    EXPECT_EQ(pieces.size(), std::min<std::size_t>(parallel::worker_count(), 15));
    pieces.clear();
    // n·weight overflows and saturates: one piece per worker (the body walks no range).
    ASSERT_TRUE(parallel::map(std::size_t{1} << 62, std::size_t{1} << 10, body));
    EXPECT_EQ(pieces.size(), parallel::worker_count());
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
    EXPECT_EQ(out, expected_values(out.size()));
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
                const auto n = static_cast<std::size_t>((round * 37 + t * 11) % 3000);
                const auto budget = static_cast<std::size_t>(1 + (round + t) % 6);
                std::vector<int> keys(n, 1);
                if (n > 0) {
                    keys[n / 3] = keys[n - 1] = 0;
                }
                if (mapped_values(n, budget) != expected_values(n) ||
                    pool_min(keys, budget) != (n > 0 ? std::optional(n / 3) : std::nullopt)) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& c : callers) {
        c.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(Map, SmallJobOutlastingTheCallersPollingIsWaitedFor) {
    // A one-piece job handed to the polling worker that runs for longer than
    // the caller polls: the caller sleeps until it ends, then sees its writes
    // and its failure.
    for (bool fail : {false, true}) {
        EXPECT_EQ(mapped_values(10, 1), expected_values(10));  // a worker is polling now
        std::atomic<bool> finished{false};
        std::thread::id ran;
        auto slow = [&](std::size_t, std::size_t) {
            ran = std::this_thread::get_id();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            finished.store(true, std::memory_order_relaxed);
            if (fail) throw std::runtime_error("slow piece failed");
        };
        const parallel::Status status = parallel::detail::map(10, 1, slow);
        EXPECT_TRUE(finished.load(std::memory_order_relaxed));
        EXPECT_NE(ran, std::this_thread::get_id());
        EXPECT_EQ(status ? std::string() : status.error().message, fail ? "slow piece failed" : "");
    }
}

// ---- Failures ------------------------------------------------------------------

TEST(Failure, ReportedOnlyAfterEveryPieceStopped) {
    std::atomic<int> running{0};
    auto body = [&](std::size_t begin, std::size_t) {
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
    EXPECT_EQ(mapped_values(1000, 4), expected_values(1000));  // the pool carries on
}

TEST(Failure, AnyExceptionOnWorkersOrCallerBecomesTheJobsFailure) {
    for (std::size_t n : {1, 2, 1000}) {
        const parallel::Status status = parallel::map(n, [](std::size_t, std::size_t) { throw 42; });
        ASSERT_FALSE(status);
        EXPECT_EQ(status.error().message, "a piece of a parallel job failed");
    }
    auto both = [](std::size_t begin, std::size_t) { throw std::runtime_error(begin < 50 ? "left" : "right"); };
    const parallel::Status status = parallel::detail::map(100, 2, both);
    ASSERT_FALSE(status);
    EXPECT_TRUE(status.error().message == "left" || status.error().message == "right");
    auto key = [](std::size_t i) { return i == 7 ? throw std::invalid_argument("bad key") : 1.0; };
    const auto found = parallel::min_by(10, key, parallel::total_order_less);
    ASSERT_FALSE(found);
    EXPECT_EQ(found.error().message, "bad key");
}

// ---- Ordered minimum under the total order on doubles ------------------------------

TEST(MinBy, DoubleKeysUnderTotalOrder) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::pair<std::vector<double>, std::optional<std::size_t>> cases[] = {
        {{}, std::nullopt},
        {{2.0}, 0},
        {{3.0, 1.0, 2.0, 1.0, 1.0}, 1},  // ties: the first one
        {{nan, 5.0, inf, nan}, 1},       // a positive NaN loses to any number
        {{nan, nan}, 0},                 // but wins when there is nothing else
        {{0.0, -0.0, 0.0, -0.0}, 1},     // -0 before +0
        {{1.0, -inf, -nan, -inf}, 2},    // a negative NaN before -inf
    };
    for (const auto& [keys, index] : cases) {
        auto key = [&](std::size_t i) { return keys[i]; };
        for (std::size_t budget : budgets) {
            const auto found = parallel::detail::min_by<double>(keys.size(), budget, key, parallel::total_order_less);
            ASSERT_TRUE(found);
            ASSERT_EQ(found->has_value(), index.has_value());
            if (index) {
                EXPECT_EQ((*found)->index, *index);
                EXPECT_EQ(std::bit_cast<std::uint64_t>((*found)->key), std::bit_cast<std::uint64_t>(keys[*index]));
            }
        }
    }
}

TEST(TotalOrder, FollowsIeeeTotalOrder) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double max = std::numeric_limits<double>::max();
    constexpr double tiny = std::numeric_limits<double>::denorm_min();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double nan_payload = std::bit_cast<double>(std::bit_cast<std::uint64_t>(nan) | 1);
    const double ascending[] = {-nan_payload, -nan, -inf, -max, -1.0, -tiny, -0.0,
                                0.0,          tiny, 1.0,  max,  inf,  nan,  nan_payload};
    for (std::size_t i = 0; i < std::size(ascending); ++i) {
        for (std::size_t j = 0; j < std::size(ascending); ++j) {
            EXPECT_EQ(parallel::total_order_less(ascending[i], ascending[j]), i < j) << i << " vs " << j;
        }
    }
    static_assert(parallel::total_order_less(-0.0, 0.0) && !parallel::total_order_less(0.0, 0.0));
}

// ---- The process-wide pool ------------------------------------------------------------

TEST(WorkerCount, EnvironmentValueMustBeAPositiveInteger) {
    using parallel::detail::parse_thread_count;
    EXPECT_EQ(parse_thread_count("1"), 1u);
    EXPECT_EQ(parse_thread_count("12"), 12u);
    for (const char* bad : {"", "0", "-1", "+3", " 4", "4 ", "4x", "abc", "99999999999999999999999"}) {
        EXPECT_EQ(parse_thread_count(bad), std::nullopt) << '"' << bad << '"';
    }
    EXPECT_EQ(parse_thread_count(nullptr), std::nullopt);
}

// The cases below run in a child process each, as the pool starts once per
// process; the child exits 0 when all is as expected.
class Process : public ::testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        if (std::getenv(parallel::thread_count_variable) != nullptr) {
            GTEST_SKIP() << parallel::thread_count_variable << " is set";
        }
    }
};

[[noreturn]] void exit_with(bool ok) { std::exit(ok ? 0 : 1); }

TEST_F(Process, WorkerCountIsTheProcessorsAvailable) {
    cpu_set_t set;
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    const auto available = static_cast<std::size_t>(CPU_COUNT(&set));
    int first = 0;
    while (!CPU_ISSET(first, &set)) {
        ++first;
    }
    CPU_ZERO(&set);
    CPU_SET(first, &set);
    // Pinned to one processor, the child gets one worker.
    EXPECT_EXIT(exit_with(sched_setaffinity(0, sizeof set, &set) == 0 && parallel::worker_count() == 1 &&
                          mapped_values(1000, 4) == expected_values(1000)),
                ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(parallel::worker_count(), available);
}

TEST_F(Process, EnvironmentFixesTheWorkerCount) {
    ASSERT_EQ(setenv(parallel::thread_count_variable, "3", 1), 0);
    EXPECT_EXIT(exit_with(parallel::worker_count() == 3 && mapped_values(1000, 3) == expected_values(1000)),
                ::testing::ExitedWithCode(0), "");
    unsetenv(parallel::thread_count_variable);
}

#if !defined(__SANITIZE_THREAD__)
// ThreadSanitizer needs far more address space than this leaves, and does not
// follow threads across fork().
TEST_F(Process, StartFailureIsReportedOnEveryCall) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory needs far more address space than this leaves";
#endif
    auto run = [] {
        // Leave too little address space for a thread's stack.
        long pages = 0;
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1) {
            std::exit(2);
        }
        const rlim_t limit = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE)) + (1 << 20);
        const rlimit rl{limit, limit};
        const bool limited = setrlimit(RLIMIT_AS, &rl) == 0;
        const parallel::Status first = parallel::start();
        const parallel::Status empty = parallel::map(0, [](std::size_t, std::size_t) {});
        const parallel::Status big = parallel::map(1000, [](std::size_t, std::size_t) {});
        const auto min = parallel::min_by(5, [](std::size_t) { return 1.0; }, parallel::total_order_less);
        if (!limited || first) {
            std::exit(2);
        }
        const std::string& text = first.error().message;
        std::fprintf(stderr, "%s\n", text.c_str());
        exit_with(!empty && !big && !min && empty.error().message == text && big.error().message == text &&
                  min.error().message == text);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "^The global thread pool has not been initialized\\. [A-Za-z]");
}

TEST(Fork, ChildStartsAPoolOfItsOwn) {
    ASSERT_EQ(mapped_values(1000, 4), expected_values(1000));  // the parent's pool runs
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        alarm(20);  // a hang fails the test instead of blocking it
        _exit(mapped_values(1000, 4) == expected_values(1000) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
