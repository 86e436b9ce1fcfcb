#pragma once
// What the renderers need from the widget they draw for. Both calls come under the video window's
// lock, possibly on a worker: they only queue work for the GUI thread.
#include <string>

#include "display/renderer.h"

namespace tamlorex::display {

class ScreenTarget {
public:
    virtual ~ScreenTarget() = default;
    // The area changed: repaint it from the GUI thread.
    virtual void RequestRepaint(const Rect& area) = 0;
    // A message box, shown by the GUI thread once the lock is released.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
};

}  // namespace tamlorex::display
