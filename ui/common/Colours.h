#pragma once
// Colours are stored as $00BBGGRR values.
#include <QColor>
#include <cstdint>

namespace qv {

inline QColor FromPlatformColour(uint32_t Value) {
  return QColor(Value & 0xFF, (Value >> 8) & 0xFF, (Value >> 16) & 0xFF);
}
inline uint32_t ToPlatformColour(const QColor& Colour) {
  return static_cast<uint32_t>(Colour.red()) | static_cast<uint32_t>(Colour.green()) << 8 |
         static_cast<uint32_t>(Colour.blue()) << 16;
}

}  // namespace qv
