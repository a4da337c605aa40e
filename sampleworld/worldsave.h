#pragma once
#include <QByteArray>
#include <QtGlobal>

namespace sampleworld {

class FacetWorld;

// The plot of the house nearest to the world's origin, else of any building, else the
// middle of the map: where sample.wsc puts its items and where the program first looks.
struct Site {
    int minX, minY, maxX, maxY;
};
Site houseSite(const FacetWorld &world);

// sample.wsc: a server world save in text form with items around the house of the world
// nearest to its origin. Sections are numbered the way servers write them ("SECTION
// WORLDITEM 0", ...). It holds 30 items lying on the ground (3 of them barrels used as
// containers), 8 items inside those barrels, one item of TYPE 255 that a reader turns into
// a static, one tent (multi 1, ID 0x4001) and 3 characters whose sections a reader skips.
QByteArray worldSaveFile(const FacetWorld &world, quint32 seed);

} // namespace sampleworld
