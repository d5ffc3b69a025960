#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "rsmanager/MutexVar.h"
#include "rsmanager/QueueMessages.h"

using Bytes = std::vector<uint8_t>;

TEST(QueueMessages, APushedMessageIsHandedOutOnce) {
    TQueueMessages q;
    EXPECT_EQ(q.Count(), 0);
    EXPECT_TRUE(q.Pop().empty());
    ASSERT_TRUE(q.Push({1, 2}));
    ASSERT_TRUE(q.Push({3}));
    EXPECT_EQ(q.Count(), 2);
    EXPECT_EQ(q.Pop(), (Bytes{1, 2}));
    EXPECT_EQ(q.Pop(), (Bytes{3}));
    EXPECT_EQ(q.Count(), 0);
    EXPECT_TRUE(q.Pop().empty());
}

TEST(QueueMessages, RepeatsAreHandedOutBehindWhatWasQueuedLater) {
    TQueueMessages q;
    q.Push({1}, 2);
    q.Push({2});
    EXPECT_EQ(q.Pop(), (Bytes{1}));
    EXPECT_EQ(q.Pop(), (Bytes{2}));
    EXPECT_EQ(q.Pop(), (Bytes{1}));
    EXPECT_EQ(q.Pop(), (Bytes{1}));
    EXPECT_EQ(q.Count(), 0);
    q.Push({9});
    q.Clear();
    EXPECT_EQ(q.Count(), 0);
}

TEST(QueueMessages, ALockHeldTooLongDropsPushesAndReportsFailure) {
    TQueueMessages q;
    q.Push({1});
    auto held = q.HoldLock();
    // Another thread meets the held lock and gives up after the lock wait.
    auto result = std::async(std::launch::async, [&] {
        const bool pushed = q.Push({2});
        const int32_t count = q.Count();
        const Bytes popped = q.Pop();
        q.Clear();
        return std::make_tuple(pushed, count, popped);
    });
    const auto [pushed, count, popped] = result.get();
    held.unlock();
    EXPECT_FALSE(pushed);
    EXPECT_EQ(count, -1);
    EXPECT_TRUE(popped.empty());
    EXPECT_EQ(q.Count(), 1);  // neither the drop nor the failed Clear touched the queue
    EXPECT_EQ(q.Pop(), (Bytes{1}));
}

TEST(MutexVar, SetGetAndASleepThatEndsWhenTheValueChanges) {
    TMutexVar<bool> flag(true);
    bool v = false;
    EXPECT_EQ(flag.Get(v), 0);
    EXPECT_TRUE(v);
    // Still true after a short sleep that nobody interrupts.
    EXPECT_TRUE(flag.SleepWhile(true, std::chrono::milliseconds(5)));
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        flag.Set(false);
    });
    // An hour unless the change wakes it; a missed wake-up shows as a test time-out.
    EXPECT_FALSE(flag.SleepWhile(true, std::chrono::hours(1)));
    setter.join();
    EXPECT_EQ(flag.Get(v), 0);
    EXPECT_FALSE(v);
    EXPECT_FALSE(flag.SleepWhile(true, std::chrono::hours(1)));  // already changed: no sleep
}
