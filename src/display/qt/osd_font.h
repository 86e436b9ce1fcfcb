#pragma once
// The OSD font and colours of the model as Qt draws them.
#include <QColor>
#include <QFont>

#include "display/renderer.h"

namespace tamlorex::display {

QFont ToQFont(const OsdFont& font);
// 0x00BBGGRR to a Qt colour.
QColor ToQColor(std::uint32_t colorRef);

}  // namespace tamlorex::display
