#include "platform/event.h"

namespace tamlorex {

// One thread inside WaitAny: every event it waits on raises `notified` when it is set, so a Set that
// lands between the waiter's checks of the events still wakes it.
struct Event::Waiter {
    std::mutex mutex;
    std::condition_variable wake;
    bool notified = false;
};

namespace {

using Clock = std::chrono::steady_clock;

// The deadline of a time-out, or nothing when the time-out is too long to represent (wait forever).
bool DeadlineFor(std::chrono::milliseconds timeout, Clock::time_point& deadline)
{
    const Clock::time_point now = Clock::now();
    if (timeout.count() < 0) timeout = std::chrono::milliseconds(0);
    const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now);
    if (timeout >= room) return false;
    deadline = now + timeout;
    return true;
}

}  // namespace

Event::Event(bool initiallySet) : set_(initiallySet) {}

Event::~Event() = default;

void Event::Set()
{
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = true;
    changed_.notify_all();
    // Lock order is always event, then waiter; WaitAny never holds a waiter's lock while taking an event's.
    for (const auto& waiter : waiters_) {
        std::lock_guard<std::mutex> waiterLock(waiter->mutex);
        waiter->notified = true;
        waiter->wake.notify_all();
    }
}

void Event::Reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
}

bool Event::IsSet() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return set_;
}

bool Event::Wait(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Clock::time_point deadline;
    if (!DeadlineFor(timeout, deadline)) {
        changed_.wait(lock, [this] { return set_; });
        return true;
    }
    return changed_.wait_until(lock, deadline, [this] { return set_; });
}

void Event::Attach(const std::shared_ptr<Waiter>& waiter)
{
    std::lock_guard<std::mutex> lock(mutex_);
    waiters_.push_back(waiter);
}

void Event::Detach(const std::shared_ptr<Waiter>& waiter)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = waiters_.begin(); it != waiters_.end(); ++it) {
        if (*it == waiter) {
            waiters_.erase(it);
            return;
        }
    }
}

int Event::WaitAny(std::initializer_list<Event*> events, std::chrono::milliseconds timeout)
{
    Clock::time_point deadline;
    const bool bounded = DeadlineFor(timeout, deadline);
    auto waiter = std::make_shared<Waiter>();
    for (Event* event : events)
        if (event) event->Attach(waiter);

    int found = -1;
    for (;;) {
        int index = 0;
        for (Event* event : events) {
            if (event && event->IsSet()) {
                found = index;
                break;
            }
            ++index;
        }
        if (found >= 0) break;

        std::unique_lock<std::mutex> lock(waiter->mutex);
        if (!waiter->notified) {
            if (!bounded) {
                waiter->wake.wait(lock, [&] { return waiter->notified; });
            } else if (!waiter->wake.wait_until(lock, deadline, [&] { return waiter->notified; })) {
                break;  // timed out with nothing signalled
            }
        }
        // An event was set since the last look (it may have been reset again): look once more.
        waiter->notified = false;
    }

    for (Event* event : events)
        if (event) event->Detach(waiter);
    return found;
}

}  // namespace tamlorex
