#pragma once
// The one pending mouse report for the recorder's remote control: the video window writes it,
// the network client takes it, under one small lock so that a report is never torn.
#include <cstdint>
#include <mutex>

namespace tamlorex {

struct MouseReport {
    int code = 0;  // 0 move/release, 1 left, 2 right, 4 right double click
    int x = 0;
    int y = 0;
    int clientWidth = 0;
    int clientHeight = 0;
};

class PendingMouseReport {
public:
    void Put(const MouseReport& report);
    // The pending report, clearing the pending flag; false when none is pending.
    bool Take(MouseReport& out);
    // A button release: puts code 0 when the last code put was 1 or 2, else nothing. True when put.
    bool PutRelease(int x, int y, int clientWidth, int clientHeight);
    // The code of the last report put, pending or not (the release rule depends on it).
    int LastCode() const;

private:
    mutable std::mutex mutex_;
    MouseReport report_;
    bool pending_ = false;
};

// The process-wide slot.
PendingMouseReport& PendingMouse();

}  // namespace tamlorex
