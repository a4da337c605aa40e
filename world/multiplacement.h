#pragma once
#include "world/multi.h"
#include "world/progress.h"
#include "world/tile.h"

#include <optional>
#include <vector>

class BlockCache;
class TileData;

// Where the components of a multi land when it is placed with its anchor on a cell: the
// statics of each cell in component order, the cells block by block so that placing them
// touches every block once.
struct CellPlacement {
    int x = 0, y = 0;
    std::vector<Tile> tiles;
};

struct MultiAnchor {
    int x = 0, y = 0;    // the anchor cell
    int baseZ = 0;       // its land height: every component stands at baseZ + dz
    int cellsX = 0, cellsY = 0; // the facet's size in cells
};

// The statics the components place: those shown (multi.mul: flags not 0; a ".mlt" file:
// visible not 0), with a tile id below 0x8000, inside the facet. z is held to -128..127;
// the hue is the record's in a ".mlt" file and 0 otherwise. Nothing when progress (told in
// components) asks to stop.
std::optional<std::vector<CellPlacement>> placeComponents(const QList<MultiComponent> &components,
                                                          const MultiAnchor &anchor, bool mlt, TileData &tileData,
                                                          const ReadProgress &progress = {});
