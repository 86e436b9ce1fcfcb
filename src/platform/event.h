#pragma once
// A manual-reset event: stays signalled until reset; any number of threads may wait on it.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

namespace tamlorex {

class Event {
public:
    explicit Event(bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // True when the event is (or becomes) signalled within the time-out.
    bool Wait(std::chrono::milliseconds timeout);

    // Index of the first signalled event in the list, or -1 when the time-out passed first.
    static int WaitAny(std::initializer_list<Event*> events, std::chrono::milliseconds timeout);

private:
    struct Waiter;
    void Attach(const std::shared_ptr<Waiter>& waiter);
    void Detach(const std::shared_ptr<Waiter>& waiter);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
    std::vector<std::shared_ptr<Waiter>> waiters_;
};

}  // namespace tamlorex
