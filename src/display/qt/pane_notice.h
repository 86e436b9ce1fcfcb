#pragma once
// How a notice over a pane looks (the live stall alert): its lines centred in the pane on a dark,
// half-transparent box, white text, whatever the renderer. The colours are the same in every
// surface format (no red and blue to swap).
#include <QPainter>
#include <QRect>

#include <string>
#include <vector>

namespace tamlorex::display {

void DrawPaneNotice(QPainter& painter, const QRect& pane, const std::vector<std::string>& lines);

}  // namespace tamlorex::display
