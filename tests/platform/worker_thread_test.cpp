#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/millisecond_clock.h"
#include "platform/worker_thread.h"

namespace tamlorex {
namespace {

using namespace std::chrono_literals;

// Counts its passes until the stop event is signalled, then returns a recognisable exit code.
class CountingWorker : public WorkerThread {
public:
    ~CountingWorker() override { Stop(); }
    std::atomic<int> passes{0};
    std::atomic<int> runs{0};

protected:
    int Run() override
    {
        ++runs;
        while (!StopEvent().Wait(1ms)) ++passes;
        return 42;
    }
};

class QuickWorker : public WorkerThread {
public:
    ~QuickWorker() override { Stop(); }

protected:
    int Run() override { return 7; }
};

TEST(WorkerThread, StartRunsUntilStopAndKeepsTheExitCode)
{
    CountingWorker worker;
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.Start(), 1u);
    EXPECT_TRUE(worker.IsRunning());
    while (worker.passes.load() < 3) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(worker.Stop(), 1);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.ExitCode(), 42);
}

TEST(WorkerThread, StartWhileRunningReturnsZeroAndChangesNothing)
{
    CountingWorker worker;
    ASSERT_EQ(worker.Start(ThreadPriority::AboveNormal), 1u);
    EXPECT_EQ(worker.Start(), 0u);
    EXPECT_EQ(worker.Start(ThreadPriority::High), 0u);
    worker.Stop();
    EXPECT_EQ(worker.runs.load(), 1);
}

TEST(WorkerThread, RestartsAfterStopWithTheStopEventCleared)
{
    CountingWorker worker;
    ASSERT_EQ(worker.Start(), 1u);
    worker.Stop();
    const int before = worker.passes.load();
    ASSERT_EQ(worker.Start(ThreadPriority::High), 1u);  // raising may be refused; it still starts
    while (worker.passes.load() < before + 3) std::this_thread::sleep_for(1ms);
    worker.Stop();
    EXPECT_EQ(worker.runs.load(), 2);
}

TEST(WorkerThread, ABodyThatEndsByItselfIsJoinedByStop)
{
    QuickWorker worker;
    ASSERT_EQ(worker.Start(), 1u);
    while (worker.IsRunning()) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(worker.ExitCode(), 7);
    // The thread has ended but not been collected: Start still refuses until Stop.
    EXPECT_EQ(worker.Start(), 0u);
    EXPECT_EQ(worker.Stop(), 1);
    EXPECT_EQ(worker.Start(), 1u);
    EXPECT_EQ(worker.Stop(), 1);
    EXPECT_EQ(worker.Stop(), 1);  // stopping a stopped worker is harmless
}

TEST(MillisecondClock, AdvancesWithRealTime)
{
    MillisecondClock::StartClock();
    const std::uint32_t start = MillisecondClock::Now();
    std::this_thread::sleep_for(50ms);
    const std::uint32_t elapsed = MillisecondClock::Now() - start;  // modulo 2^32, as users take it
    MillisecondClock::StopClock();
    EXPECT_GE(elapsed, 50u);
    EXPECT_LT(elapsed, 5000u);
}

}  // namespace
}  // namespace tamlorex
