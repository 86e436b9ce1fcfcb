#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/event.h"

namespace tamlorex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(Event, ManualResetStaysSetUntilReset)
{
    Event event;
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(0ms));
    event.Set();
    EXPECT_TRUE(event.Wait(0ms));
    EXPECT_TRUE(event.Wait(0ms));  // a wait does not consume the signal
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(5ms));
    EXPECT_TRUE(Event(true).IsSet());
}

TEST(Event, WaitTimesOutAfterRoughlyTheTimeOut)
{
    Event event;
    const auto start = Clock::now();
    EXPECT_FALSE(event.Wait(30ms));
    EXPECT_GE(Clock::now() - start, 30ms);
}

TEST(Event, WaitWakesWhenAnotherThreadSets)
{
    Event event;
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        event.Set();
    });
    const auto start = Clock::now();
    EXPECT_TRUE(event.Wait(10s));
    EXPECT_LT(Clock::now() - start, 5s);
    setter.join();
}

TEST(Event, WaitAnyReturnsTheFirstSignalledInListOrder)
{
    Event a, b, c;
    c.Set();
    b.Set();
    EXPECT_EQ(Event::WaitAny({&a, &b, &c}, 0ms), 1);
    EXPECT_EQ(Event::WaitAny({&c, &a}, 0ms), 0);
    b.Reset();
    c.Reset();
    EXPECT_EQ(Event::WaitAny({&a, &b, &c}, 0ms), -1);
}

TEST(Event, WaitAnyTimesOut)
{
    Event a, b;
    const auto start = Clock::now();
    EXPECT_EQ(Event::WaitAny({&a, &b}, 25ms), -1);
    EXPECT_GE(Clock::now() - start, 25ms);
}

TEST(Event, WaitAnyWakesOnASetFromAnotherThread)
{
    Event stop, command;
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        command.Set();
    });
    const auto start = Clock::now();
    EXPECT_EQ(Event::WaitAny({&stop, &command}, 10s), 1);
    EXPECT_LT(Clock::now() - start, 5s);
    setter.join();
}

TEST(Event, WaitAnyNeverMissesASetRacingWithItsChecks)
{
    // Many rounds where the Set lands at an arbitrary moment around the start of the wait: a lost
    // wake-up shows as a round that runs into the long time-out.
    Event a, b;
    for (int round = 0; round < 500; ++round) {
        a.Reset();
        b.Reset();
        Event& target = round % 2 ? a : b;
        std::thread setter([&] {
            for (int spin = 0; spin < round % 50; ++spin) std::this_thread::yield();
            target.Set();
        });
        const auto start = Clock::now();
        const int index = Event::WaitAny({&a, &b}, 5s);
        const auto waited = Clock::now() - start;
        setter.join();
        ASSERT_EQ(index, round % 2 ? 0 : 1) << round;
        ASSERT_LT(waited, 4s) << round;
    }
}

TEST(Event, WaitAnyLeavesNoWaiterBehind)
{
    // After a wait ends the events must not keep notifying a waiter that has gone: waiting again on
    // one of them alone still behaves.
    Event a, b;
    EXPECT_EQ(Event::WaitAny({&a, &b}, 1ms), -1);
    std::atomic<int> result{-2};
    std::thread waiter([&] { result = Event::WaitAny({&b}, 10s); });
    std::this_thread::sleep_for(10ms);
    a.Set();  // not in the second wait
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(result.load(), -2);
    b.Set();
    waiter.join();
    EXPECT_EQ(result.load(), 0);
}

TEST(Event, SeveralThreadsWaitOnOneEvent)
{
    Event go;
    std::atomic<int> woken{0};
    std::thread waiters[4];
    for (auto& t : waiters)
        t = std::thread([&] {
            if (Event::WaitAny({&go}, 10s) == 0) ++woken;
        });
    std::this_thread::sleep_for(10ms);
    go.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken.load(), 4);
}

}  // namespace
}  // namespace tamlorex
