#include "controls/status_line.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace tamlorex::controls {
namespace {

constexpr int kIconSize = 16;
constexpr int kConnectionWidth = 102;
constexpr int kIndicatorWidth = 24;
constexpr int kLastIndicatorWidth = 21;
constexpr int kLoggedIn = 3;
const QColor kGreen(0x00, 0xFF, 0x00);
const QColor kAmber(0xFF, 0xB5, 0x3F);
const QColor kDim(0x67, 0x40, 0x17);

QFont LineFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(18);
    font.setWeight(static_cast<QFont::Weight>(600));
    return font;
}

const char* ConnectionText(int state)
{
    static const char* const kTexts[] = {"IDLE", "CONNECT", "LOGIN", "ONLINE", "DDNS", "DDNS LOGIN", "DDNS OK"};
    return state >= 0 && state < 7 ? kTexts[state] : "";
}

}  // namespace

StatusLine::StatusLine(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(LineFont());
}

void StatusLine::SetDisplayKind(int mode)
{
    if (mode_ == mode) return;
    mode_ = mode;
    update();
}

void StatusLine::SetConnectionState(int state)
{
    if (connection_ == state) return;
    connection_ = state;
    update();
}

void StatusLine::SetNotice(const QString& notice)
{
    if (notice_ == notice) return;
    notice_ = notice;
    update();
}

void StatusLine::SetPlaybackState(int state)
{
    if (playback_ == state) return;
    playback_ = state;
    update();
}

void StatusLine::SetTexts(const QString& status, const QString& time)
{
    if (status_ == status && time_ == time) return;
    status_ = status;
    time_ = time;
    update();
}

// Our own icons, one per group of states: stop, play, reverse, pause, search.
void StatusLine::DrawStateIcon(QPainter& painter, int top) const
{
    const QRect box(4, top, kIconSize, kIconSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAmber);
    switch (playback_) {
    case 2:
    case 4:
        painter.drawPolygon(QPolygon({box.topLeft() + QPoint(3, 2), box.bottomLeft() + QPoint(3, -2),
                                      QPoint(box.right() - 2, box.center().y())}));
        break;
    case 3:
    case 5:
        painter.drawPolygon(QPolygon({box.topRight() + QPoint(-3, 2), box.bottomRight() + QPoint(-3, -2),
                                      QPoint(box.left() + 2, box.center().y())}));
        break;
    case 6:
        painter.drawRect(box.left() + 3, box.top() + 2, 4, 12);
        painter.drawRect(box.left() + 9, box.top() + 2, 4, 12);
        break;
    case 7:
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(kAmber, 2));
        painter.drawEllipse(box.adjusted(2, 2, -6, -6));
        painter.drawLine(box.center() + QPoint(2, 2), box.bottomRight() + QPoint(-2, -2));
        break;
    default:
        painter.drawRect(box.adjusted(3, 3, -3, -3));
        break;
    }
}

void StatusLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const int top = (height() - kIconSize) / 2;
    if (mode_ == 1) {
        DrawStateIcon(painter, top);
        painter.setPen(kGreen);
        painter.setFont(font());
        painter.drawText(QRect(kWordLeft, 0, kWordRight - kWordLeft, height()), Qt::AlignLeft | Qt::AlignVCenter,
                         status_);
        painter.drawText(QRect(kWordRight, 0, width() - kWordRight, height()), Qt::AlignLeft | Qt::AlignVCenter,
                         time_);
        return;
    }
    QFont small = font();
    small.setPixelSize(11);
    painter.setFont(small);
    const bool online = connection_ == kLoggedIn;
    painter.setPen(online ? kGreen : kAmber);
    painter.drawText(QRect(0, top, kConnectionWidth, kIconSize), Qt::AlignCenter, ConnectionText(connection_));
    for (int i = 0; i < 9; ++i) {
        const int left = kConnectionWidth + 2 + kIndicatorWidth * i;  // the indicators follow the state
        const int width = i < 8 ? kIndicatorWidth : kLastIndicatorWidth;
        const QRect box(left + 2, top + 1, width - 4, kIconSize - 2);
        painter.fillRect(box, online ? kAmber : kDim);
        painter.setPen(Qt::black);
        painter.drawText(box, Qt::AlignCenter, QString::number(i + 1));
    }
    if (notice_.isEmpty()) return;
    const int left = kConnectionWidth + 2 + kIndicatorWidth * 8 + kLastIndicatorWidth + 6;
    const int room = std::max(width() - left - 2, 0);
    painter.setPen(kAmber);
    painter.drawText(QRect(left, 0, room, height()), Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(notice_, Qt::ElideRight, room));
}

}  // namespace tamlorex::controls
