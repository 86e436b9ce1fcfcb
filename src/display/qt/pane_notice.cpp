#include "display/qt/pane_notice.h"

#include <QFontMetrics>

#include <algorithm>

namespace tamlorex::display {
namespace {

constexpr int kPadding = 8;
constexpr int kLineGap = 2;

}  // namespace

void DrawPaneNotice(QPainter& painter, const QRect& pane, const std::vector<std::string>& lines)
{
    if (lines.empty() || pane.width() <= 2 * kPadding || pane.height() <= 2 * kPadding) return;
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::clamp(pane.height() / 14, 10, 24));
    font.setBold(true);
    const QFontMetrics metrics(font);
    int textWidth = 0;
    for (const std::string& line : lines)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(QString::fromStdString(line)));
    const int lineHeight = metrics.height() + kLineGap;
    const int boxWidth = std::min(textWidth + 2 * kPadding, pane.width() - 2);
    const int boxHeight = std::min(lineHeight * static_cast<int>(lines.size()) + 2 * kPadding, pane.height() - 2);
    const QRect box(pane.left() + (pane.width() - boxWidth) / 2, pane.top() + (pane.height() - boxHeight) / 2, boxWidth,
                    boxHeight);

    painter.save();
    painter.setClipRect(pane);
    painter.setPen(QPen(QColor(230, 230, 230), 1));
    painter.setBrush(QColor(0, 0, 0, 180));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setFont(font);
    painter.setPen(Qt::white);
    int top = box.top() + kPadding;
    for (const std::string& line : lines) {
        painter.drawText(QRect(box.left() + kPadding, top, box.width() - 2 * kPadding, lineHeight),
                         Qt::AlignHCenter | Qt::AlignVCenter, QString::fromStdString(line));
        top += lineHeight;
    }
    painter.restore();
}

}  // namespace tamlorex::display
