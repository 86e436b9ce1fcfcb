#pragma once
// A thread with a manual-reset stop event and a virtual body.
#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/event.h"

namespace tamlorex {

enum class ThreadPriority { Normal, AboveNormal, High };

class WorkerThread {
public:
    WorkerThread();
    // Derived classes must call Stop in their own destructor, before their members go.
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // 1 when started; 0 when a thread already exists (nothing changes); 0x80070000 | errno when
    // the thread cannot be created. The priority is applied where the system allows it.
    std::uint32_t Start(ThreadPriority priority = ThreadPriority::Normal);
    // Signals the stop event and waits, without a time-out, for Run to return. Returns 1.
    int Stop();
    bool IsRunning() const { return running_.load(); }
    int ExitCode() const { return exitCode_.load(); }

protected:
    virtual int Run() = 0;
    Event& StopEvent() { return stop_; }

private:
    Event stop_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<int> exitCode_{0};
};

}  // namespace tamlorex
