#pragma once
// The viewer's own pictures, drawn with QPainter at start-up at the screen's device pixel ratio:
// the window background, the button strips (normal, pressed, hover and disabled frames, and a
// mask frame), the slider tracks and thumbs, and the application icon.
#include <QIcon>
#include <QImage>
#include <QSize>

namespace tamlorex::controls::art {

enum class Glyph {
    Open, FastRewind, PlayReverse, PreviousFrame, Pause, NextFrame, Play, FastForward, StillCapture,
    Split1, Split4, Split9, Split16, Mute, Connect,
    DvrPause, DvrRewind, DvrPlay, DvrFastForward, DvrStop, DvrRecord,
    DvrChannel1, DvrChannel2, DvrChannel3, DvrChannel4, DvrSplit9, DvrMenu, DvrUp, DvrDown, DvrSelect,
    Minimize, Close, PlayerMode, ClientMode, SaveAvi, StopAvi,
};

// The key colour of the slider pictures: their see-through pixels.
inline constexpr unsigned kSliderKey = 0xFF00FF;
// The background's size in the window's pixels.
inline constexpr int kBackgroundWidth = 300;
inline constexpr int kBackgroundHeight = 200;
// The colour of the window's outer edge.
inline constexpr unsigned kEdgeColor = 0x0A0B0D;
// The sizes of the slider pictures.
inline constexpr int kPositionTrackHeight = 14;
inline constexpr int kVolumeTrackWidth = 70;
inline constexpr int kVolumeTrackHeight = 16;

// A button's strip of `frame`-sized frames side by side (in the window's pixels): normal, pressed
// or checked, hover, disabled, and with `mask` a fifth frame, black where the button is and white
// where it is see-through.
QImage ButtonStrip(Glyph glyph, QSize frame, bool mask, qreal ratio);
QImage Background(qreal ratio);
// The position slider's track (`passed`: the part before the thumb) and thumb (`dragging`: the
// one shown while dragged); the volume slider's likewise. Their see-through pixels are kSliderKey.
QImage PositionTrack(bool passed, qreal ratio);
QImage PositionThumb(bool dragging, qreal ratio);
QImage VolumeTrack(bool passed, qreal ratio);
QImage VolumeThumb(bool dragging, qreal ratio);
// The window and application icon at the usual sizes (the desktop icon's picture).
QIcon AppIcon();
// One size of it, `size` pixels square.
QImage AppIconImage(int size);

}  // namespace tamlorex::controls::art
