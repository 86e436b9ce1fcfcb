#pragma once
// Qt key codes as the virtual-key numbers the keyboard table of the remote control is written in,
// and the one process-wide pending key that the main window's timers forward.
#include <Qt>

namespace tamlorex::app {

// The virtual-key number of a key press, 0 for keys without one.
int VirtualKeyFor(int qtKey, Qt::KeyboardModifiers modifiers);

// The last key pressed and not yet taken (a later key overwrites an earlier one).
void PutPendingKey(int virtualKey);
// The pending key, clearing it; 0 when none.
int TakePendingKey();

}  // namespace tamlorex::app
