#include "world/multiplacement.h"
#include "tiles/tiledata.h"

#include <algorithm>

std::optional<std::vector<CellPlacement>> placeComponents(const QList<MultiComponent> &components,
                                                          const MultiAnchor &anchor, bool mlt, TileData &tileData,
                                                          const ReadProgress &progress)
{
    struct Placed {
        int block, x, y;
        qsizetype order;
    };
    std::vector<Placed> placed;
    placed.reserve(size_t(components.size()));
    const qsizetype total = components.size();
    for (qsizetype i = 0; i < total; ++i) {
        if (progress && (i & 0xFFFF) == 0xFFFF && !progress(i, total))
            return std::nullopt;
        const MultiComponent &c = components[i];
        const int x = anchor.x + c.dx, y = anchor.y + c.dy;
        // Ids of 0x8000 and above are negative as the multi formats are meant to be read.
        if (x < 0 || y < 0 || x >= anchor.cellsX || y >= anchor.cellsY || c.id >= 0x8000)
            continue;
        if (mlt ? c.visible() == 0 : c.flags == 0)
            continue;
        placed.push_back({blockNumber(x, y, anchor.cellsY / 8), x, y, i});
    }
    // Block by block, cell by cell; within a cell in component order.
    std::sort(placed.begin(), placed.end(), [](const Placed &a, const Placed &b) {
        if (a.block != b.block)
            return a.block < b.block;
        if (a.x != b.x)
            return a.x < b.x;
        if (a.y != b.y)
            return a.y < b.y;
        return a.order < b.order;
    });
    std::vector<CellPlacement> cells;
    for (const Placed &p : placed) {
        if (cells.empty() || cells.back().x != p.x || cells.back().y != p.y)
            cells.push_back({p.x, p.y, {}});
        const MultiComponent &c = components[p.order];
        Tile s = tileData.staticTile(c.id);
        s.setZ(std::clamp(anchor.baseZ + c.dz, -128, 127));
        s.setHue(mlt ? c.hue() : 0);
        cells.back().tiles.push_back(std::move(s));
    }
    if (progress && !progress(total, total))
        return std::nullopt;
    return cells;
}
