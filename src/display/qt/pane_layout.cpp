#include "display/qt/pane_layout.h"

#include <algorithm>

namespace tamlorex::display {

Rect PaneOf(int slot, int split, int page, int channelCount, int width, int height)
{
    if (split <= 0 || slot < 0 || slot >= channelCount || slot / split != page) return Rect{};
    int d = 0;
    while ((d + 1) * (d + 1) <= split) ++d;
    if (d == 0 || d * d != split) ++d;
    const int w = width / d;
    const int h = height / d;
    const int rw = width % d;
    const int rh = height % d;
    const int k = slot % split;
    const int r = k / d;
    const int c = k % d;
    Rect pane;
    pane.left = w * c + std::min(rw, c);
    pane.right = pane.left + w + (c < rw ? 1 : 0);
    pane.top = h * r + std::min(rh, r);
    pane.bottom = pane.top + h + (r < rh ? 1 : 0);
    return pane;
}

}  // namespace tamlorex::display
