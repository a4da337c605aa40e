#include "tiles/hue.h"
#include "tiles/colour.h"

Hue::Hue(int id, const QString &name, const Ramp &colours)
    : m_id(id), m_name(name), m_colours(colours)
{
}

quint16 Hue::colour(int i) const
{
    if (i < 0 || i >= int(m_colours.size()))
        return 0;
    return m_colours[size_t(i)];
}

quint16 Hue::apply(quint16 c, bool partial) const
{
    if (m_id == -1)
        return c;
    const int r = colourRed(c);
    if (partial && (r != colourGreen(c) || r != colourBlue(c)))
        return c;
    return m_colours[size_t(r)];
}
