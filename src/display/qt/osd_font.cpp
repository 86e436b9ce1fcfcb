#include "display/qt/osd_font.h"

#include <algorithm>

namespace tamlorex::display {

QFont ToQFont(const OsdFont& font)
{
    QFont qfont(QString::fromStdString(font.face));
    // The height is the character cell's height in pixels.
    qfont.setPixelSize(font.height > 0 ? font.height : 16);
    qfont.setWeight(static_cast<QFont::Weight>(std::clamp(font.weight, 100, 900)));
    qfont.setItalic(font.italic);
    qfont.setStyleStrategy(QFont::PreferAntialias);
    return qfont;
}

QColor ToQColor(std::uint32_t colorRef)
{
    return QColor(static_cast<int>(colorRef & 0xFF), static_cast<int>((colorRef >> 8) & 0xFF),
                  static_cast<int>((colorRef >> 16) & 0xFF));
}

}  // namespace tamlorex::display
