#pragma once
// The status line under the video: in Player mode a state icon, the status word and the time text
// in green on black; in Client mode the connection state, nine channel indicators that light
// while logged in and, during a stall of pictures, its notice.
#include <QString>
#include <QWidget>

namespace tamlorex::controls {

class StatusLine : public QWidget {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent);

    // 1 Player mode, 2 Client mode.
    void SetDisplayKind(int mode);
    void SetConnectionState(int state);
    void SetPlaybackState(int state);
    // The status word and the time text (Player mode).
    void SetTexts(const QString& status, const QString& time);
    // Client mode: a notice after the channel indicators (the live stall alert); empty for none.
    void SetNotice(const QString& notice);
    QString Notice() const { return notice_; }
    QString StatusWord() const { return status_; }
    QString TimeText() const { return time_; }
    int DisplayKind() const { return mode_; }

    // Where the status word is drawn: from x = 32 to x = 132.
    static constexpr int kWordLeft = 32;
    static constexpr int kWordRight = 132;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawStateIcon(class QPainter& painter, int top) const;
    int mode_ = 1;
    int connection_ = 0;
    int playback_ = 0;
    QString status_;
    QString time_;
    QString notice_;
};

}  // namespace tamlorex::controls
