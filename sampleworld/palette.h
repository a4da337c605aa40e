#pragma once
#include "sampleworld.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace sampleworld {

// palette.xml: the generator's own tiles sorted into tile sets and groups for the palette
// dock, so that a user of the sample world can paint from the first start.
QByteArray paletteFile(Layout layout = Layout::Early);

// A category icon that palette.xml names by a path relative to itself.
struct PaletteIcon {
    QString name;     // file name beside palette.xml
    QByteArray png;
};
QList<PaletteIcon> paletteIcons();

} // namespace sampleworld
