#pragma once
#include <QtGlobal>

// The client stores colours as 5-5-5 values: red in bits 10-14, green in 5-9, blue in 0-4;
// bit 15 carries nothing we use. Each channel widens to 8 bits by a plain shift, so the
// brightest channel value becomes 0xF8, not 0xFF, exactly as the client draws it.

constexpr int colourRed(quint16 c) { return (c >> 10) & 31; }
constexpr int colourGreen(quint16 c) { return (c >> 5) & 31; }
constexpr int colourBlue(quint16 c) { return c & 31; }

// A stored colour as a 0xAARRGGBB pixel with the given alpha (limited to 0..255).
constexpr quint32 colourToArgb(quint16 c, int alpha)
{
    const quint32 a = quint32(alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha));
    return (a << 24) | (quint32(colourRed(c)) << 19) | (quint32(colourGreen(c)) << 11)
        | (quint32(colourBlue(c)) << 3);
}
