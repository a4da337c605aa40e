// The map document's operations on the selections and on a rectangle: each one edit.
#include "world/mapdocument.h"

#include <algorithm>
#include <vector>

namespace {
int limitedZ(int z) { return qBound(-128, z, 127); }
} // namespace

void MapDocument::addSelected(StaticSelection &sel, int x, int y, int z, int id)
{
    QList<int> &ids = sel[x][y][z];
    if (!ids.contains(id))
        ids.append(id);
}

// The first static of the stack with this id and z, the one the block cache's removal finds
// too; -1 when there is none. Items of a world save are never selected statics.
int MapDocument::findSelectedStatic(const TileStack &stack, int id, int z)
{
    for (int i = 0; i < stack.size(); ++i) {
        const Tile &t = stack[i];
        if (t.isStatic() && t.id() == id && t.z() == z)
            return i;
    }
    return -1;
}

void MapDocument::deleteSelection()
{
    Edit edit(*this, QStringLiteral("Delete"));
    for (auto ix = m_land.cbegin(); ix != m_land.cend(); ++ix)
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy)
            m_cache.setLand(ix.key(), iy.key(), 0, 0, 0); // land id 0, the cell keeps its z
    for (auto ix = m_statics.cbegin(); ix != m_statics.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const int x = ix.key(), y = iy.key();
            const TileStack stack = m_cache.statics(x, y);
            for (auto iz = iy->cbegin(); iz != iy->cend(); ++iz) {
                for (const int id : *iz) {
                    const int at = findSelectedStatic(stack, id, iz.key());
                    if (at >= 0)
                        m_cache.setStatic(x, y, 1, stack[at], stack[at]);
                }
            }
        }
    }
    m_land.clear();
    m_statics.clear();
}

void MapDocument::moveStatics(int dx, int dy, bool copy)
{
    Edit edit(*this, copy ? QStringLiteral("Copy") : QStringLiteral("Move"));
    // Every selected static is read before anything changes, so each one moves exactly
    // once, even where one selected cell is the target of another.
    struct Step {
        int x, y;
        Tile tile;
        bool stays;
    };
    std::vector<Step> steps;
    const int width = m_cache.blocksX() * 8;
    const int height = m_cache.blocksY() * 8;
    for (auto ix = m_statics.cbegin(); ix != m_statics.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const int x = ix.key(), y = iy.key();
            TileStack stack = m_cache.statics(x, y);
            for (auto iz = iy->cbegin(); iz != iy->cend(); ++iz) {
                for (const int id : *iz) {
                    const int at = findSelectedStatic(stack, id, iz.key());
                    if (at < 0)
                        continue; // changed by other means since it was selected
                    const Tile t = stack[at];
                    stack.removeAt(at);
                    const int nx = x + dx, ny = y + dy;
                    // A static with nowhere to go on this facet stays where it is.
                    const bool stays = nx < 0 || ny < 0 || nx >= width || ny >= height;
                    steps.push_back(Step{x, y, t, stays});
                }
            }
        }
    }
    if (!copy) {
        for (const Step &s : steps)
            if (!s.stays)
                m_cache.setStatic(s.x, s.y, 1, s.tile, s.tile);
    }
    StaticSelection next;
    for (const Step &s : steps) {
        if (s.stays) {
            addSelected(next, s.x, s.y, s.tile.z(), s.tile.id());
            continue;
        }
        m_cache.setStatic(s.x + dx, s.y + dy, 0, s.tile, s.tile);
        addSelected(next, s.x + dx, s.y + dy, s.tile.z(), s.tile.id());
    }
    m_statics = next;
}

void MapDocument::changeElevation(int delta)
{
    Edit edit(*this, delta > 0 ? QStringLiteral("Raise") : QStringLiteral("Lower"));
    for (auto ix = m_land.cbegin(); ix != m_land.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const Tile t = m_cache.land(ix.key(), iy.key());
            if (t.isEmpty())
                continue; // outside the facet
            const int z = limitedZ(t.z() + delta);
            if (z != t.z())
                m_cache.setLand(ix.key(), iy.key(), 1, t.id(), z);
        }
    }
    // The new selection holds exactly the statics whose height changed, at their new
    // heights; those already at a limit leave it.
    StaticSelection next;
    for (auto ix = m_statics.cbegin(); ix != m_statics.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const int x = ix.key(), y = iy.key();
            const TileStack stack = m_cache.statics(x, y);
            for (auto iz = iy->cbegin(); iz != iy->cend(); ++iz) {
                const int z = iz.key();
                const int nz = limitedZ(z + delta);
                for (const int id : *iz) {
                    const int at = findSelectedStatic(stack, id, z);
                    if (at < 0 || nz == z)
                        continue;
                    const Tile old = stack[at];
                    Tile raised = old;
                    raised.setZ(nz);
                    m_cache.setStatic(x, y, 2, old, raised);
                    addSelected(next, x, y, nz, id);
                }
            }
        }
    }
    m_statics = next;
}

void MapDocument::clearRectangle(int mode, int x1, int y1, int x2, int y2)
{
    if (mode < 0 || mode > 2)
        return;
    const int width = m_cache.blocksX() * 8;
    const int height = m_cache.blocksY() * 8;
    if (width == 0 || height == 0)
        return;
    // Corners past the facet are lowered to its last column and row. Negative ones are
    // raised to 0 as well: the loops below must not run over cells that do not exist.
    x1 = std::clamp(x1, 0, width - 1);
    x2 = std::clamp(x2, 0, width - 1);
    y1 = std::clamp(y1, 0, height - 1);
    y2 = std::clamp(y2, 0, height - 1);
    if (x2 < x1 || y2 < y1)
        return;
    Edit edit(*this, QStringLiteral("Clear Tiles"));
    const bool land = mode == 0 || mode == 2;
    const bool statics = mode == 1 || mode == 2;
    for (int x = x1; x <= x2; ++x) {
        for (int y = y1; y <= y2; ++y) {
            if (land)
                m_cache.setLand(x, y, 2, 0, 0);
            if (statics) {
                // World-save items stay: only statics are taken out.
                const TileStack stack = m_cache.statics(x, y);
                for (const Tile &t : stack)
                    if (t.isStatic())
                        m_cache.setStatic(x, y, 1, t, t);
            }
        }
    }
    if (land)
        m_land.clear();
    if (statics)
        m_statics.clear();
}
