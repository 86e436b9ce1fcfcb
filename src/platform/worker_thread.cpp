#include "platform/worker_thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <system_error>

namespace tamlorex {

namespace {

// Raises the calling thread's scheduling weight. Without privileges Linux refuses a negative nice
// value; the thread then simply runs at normal priority.
void ApplyPriority(ThreadPriority priority)
{
    int nice = 0;
    switch (priority) {
    case ThreadPriority::Normal: return;
    case ThreadPriority::AboveNormal: nice = -5; break;
    case ThreadPriority::High: nice = -10; break;
    }
    const pid_t tid = gettid();
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

}  // namespace

WorkerThread::WorkerThread() = default;

WorkerThread::~WorkerThread()
{
    // Last resort only: by now the derived object is gone, so derived classes stop in their own destructor.
    Stop();
}

std::uint32_t WorkerThread::Start(ThreadPriority priority)
{
    if (thread_.joinable()) return 0;
    stop_.Reset();
    running_.store(true);
    try {
        thread_ = std::thread([this, priority] {
            ApplyPriority(priority);
            const int code = Run();
            exitCode_.store(code);
            running_.store(false);
        });
    } catch (const std::system_error& error) {
        running_.store(false);
        return 0x80070000u | (static_cast<std::uint32_t>(error.code().value()) & 0xFFFFu);
    }
    return 1;
}

int WorkerThread::Stop()
{
    stop_.Set();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            // Called from Run itself: the thread cannot wait for its own end; it ends when Run returns.
            thread_.detach();
        } else {
            thread_.join();
        }
    }
    return 1;
}

}  // namespace tamlorex
