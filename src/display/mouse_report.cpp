#include "display/mouse_report.h"

namespace tamlorex {

void PendingMouseReport::Put(const MouseReport& report)
{
    std::lock_guard<std::mutex> lock(mutex_);
    report_ = report;
    pending_ = true;
}

bool PendingMouseReport::Take(MouseReport& out)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pending_) return false;
    out = report_;
    pending_ = false;
    return true;
}

int PendingMouseReport::LastCode() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return report_.code;
}

bool PendingMouseReport::PutRelease(int x, int y, int clientWidth, int clientHeight)
{
    std::lock_guard<std::mutex> lock(mutex_);
    // A release means something to the recorder only after a press or a drag.
    if (report_.code != 1 && report_.code != 2) return false;
    report_ = MouseReport{0, x, y, clientWidth, clientHeight};
    pending_ = true;
    return true;
}

PendingMouseReport& PendingMouse()
{
    static PendingMouseReport report;
    return report;
}

}  // namespace tamlorex
