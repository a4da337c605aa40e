// The map document's operations that place and change tiles: painting, the Insert entries,
// Apply to Selection, Altitude, Hue, the Properties dialog's changes and a multi's
// placement. Each one edit; what the view asked the user for arrives as numbers and tiles.
#include "world/mapdocument.h"
#include "world/multiplacement.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

// The first tile of the stack with that id and z, of any kind; -1 when there is none.
int firstWith(const TileStack &stack, int id, int z)
{
    for (int i = 0; i < stack.size(); ++i)
        if (stack[i].id() == id && stack[i].z() == z)
            return i;
    return -1;
}

} // namespace

int HeightChange::from(int z) const
{
    qint64 v = z;
    if (kind == By)
        v = qint64(z) + amount;
    else if (kind == To)
        v = amount;
    return int(std::clamp<qint64>(v, -128, 127));
}

int MapDocument::drawTile(const std::vector<int> &ids)
{
    if (ids.empty())
        return -1;
    if (ids.size() == 1)
        return ids.front();
    return ids[size_t(std::rand()) % ids.size()];
}

bool MapDocument::paintLand(int x, int y, const std::vector<int> &ids, const HeightChange &height)
{
    Edit edit(*this, QStringLiteral("Paint"));
    const Tile t = m_cache.land(x, y);
    const int id = drawTile(ids);
    // The set may mix valid and invalid ids; a cell never gets one outside the range.
    if (!isLandId(id))
        return false;
    m_cache.setLand(x, y, 2, id, height.from(t.z()));
    return true;
}

bool MapDocument::paintStatic(int x, int y, const std::vector<int> &ids, const HeightChange &height)
{
    Edit edit(*this, QStringLiteral("Paint"));
    const int z = height.from(m_cache.land(x, y).z());
    const int id = drawTile(ids);
    if (!isStaticId(id))
        return false;
    Tile s = tileData().staticTile(id);
    s.setZ(z);
    s.setHue(0);
    m_cache.setStatic(x, y, 0, s, s);
    return true;
}

bool MapDocument::insertLand(const LandSelection &cells, int id)
{
    if (!isLandId(id))
        return false;
    Edit edit(*this, QStringLiteral("Insert"));
    for (auto ix = cells.cbegin(); ix != cells.cend(); ++ix)
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy)
            m_cache.setLand(ix.key(), iy.key(), 2, id, m_cache.land(ix.key(), iy.key()).z());
    return true;
}

bool MapDocument::insertStatic(const LandSelection &cells, int id)
{
    if (!isStaticId(id))
        return false;
    Edit edit(*this, QStringLiteral("Insert"));
    for (auto ix = cells.cbegin(); ix != cells.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            // On the land of the cell, whatever statics already stand there.
            Tile s = tileData().staticTile(id);
            s.setZ(m_cache.land(ix.key(), iy.key()).z());
            s.setHue(0);
            m_cache.setStatic(ix.key(), iy.key(), 0, s, s);
        }
    }
    return true;
}

void MapDocument::applyToSelection(int type, const std::vector<int> &ids, const HeightChange &height)
{
    // An empty set would write tile -1 everywhere.
    if (ids.empty())
        return;
    Edit edit(*this, QStringLiteral("Apply to Selection"));
    for (auto ix = m_land.cbegin(); ix != m_land.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const int x = ix.key(), y = iy.key();
            const int z = height.from(m_cache.land(x, y).z());
            const int id = drawTile(ids);
            if (type == 0) {
                m_cache.setLand(x, y, 2, id, z);
            } else {
                // The hue stays as the tile data gives it.
                Tile s = tileData().staticTile(id);
                s.setZ(z);
                m_cache.setStatic(x, y, 0, s, s);
            }
        }
    }
}

void MapDocument::setAltitude(const LandSelection &land, const StaticSelection &statics, const HeightChange &height,
                              bool staticsAreSelection)
{
    Edit edit(*this, QStringLiteral("Altitude"));
    StaticSelection moved;
    for (auto ix = statics.cbegin(); ix != statics.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const int x = ix.key(), y = iy.key();
            // One look at the cell before any change: a static moved to a height still to
            // come is not found and moved again there.
            const TileStack stack = m_cache.statics(x, y);
            for (auto iz = iy->cbegin(); iz != iy->cend(); ++iz) {
                for (const int id : iz.value()) {
                    const int at = firstWith(stack, id, iz.key());
                    if (at < 0)
                        continue;
                    Tile changed = stack[at];
                    changed.setZ(height.from(iz.key()));
                    m_cache.setStatic(x, y, 2, stack[at], changed);
                    addSelected(moved, x, y, changed.z(), id);
                }
            }
        }
    }
    if (staticsAreSelection)
        m_statics = moved;

    for (auto ix = land.cbegin(); ix != land.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            const Tile t = m_cache.land(ix.key(), iy.key());
            m_cache.setLand(ix.key(), iy.key(), 1, t.id(), height.from(t.z()));
        }
    }
}

void MapDocument::setHue(const StaticSelection &statics, quint16 hue)
{
    Edit edit(*this, QStringLiteral("Hue"));
    for (auto ix = statics.cbegin(); ix != statics.cend(); ++ix) {
        for (auto iy = ix->cbegin(); iy != ix->cend(); ++iy) {
            for (auto iz = iy->cbegin(); iz != iy->cend(); ++iz) {
                for (const int id : iz.value()) {
                    // Fresh from the tile data: the static's other fields are refreshed too.
                    Tile s = tileData().staticTile(id);
                    s.setZ(iz.key());
                    s.setHue(hue);
                    m_cache.setStatic(ix.key(), iy.key(), 2, s, s);
                }
            }
        }
    }
}

void MapDocument::setProperties(int kind, int x, int y, int id, int oldZ, int newZ, int hue)
{
    Edit edit(*this, QStringLiteral("Properties"));
    if (kind == 0) {
        m_cache.setLand(x, y, 2, id, newZ);
        return;
    }
    // Looked up afresh: the map may have changed since the dialog was filled.
    const TileStack stack = m_cache.statics(x, y);
    const int at = firstWith(stack, id, oldZ);
    if (at < 0)
        return;
    Tile changed = stack[at];
    changed.setZ(newZ);
    changed.setHue(quint16(hue));
    m_cache.setStatic(x, y, 2, stack[at], changed);
    if (oldZ == newZ)
        return;
    // The selection follows the static to its new height.
    auto ix = m_statics.find(x);
    if (ix == m_statics.end())
        return;
    auto iy = ix->find(y);
    if (iy == ix->end())
        return;
    auto iz = iy->find(oldZ);
    if (iz == iy->end() || !iz->removeOne(id))
        return;
    if (iz->isEmpty())
        iy->erase(iz);
    QList<int> &ids = (*iy)[newZ];
    if (!ids.contains(id))
        ids.append(id);
}

void MapDocument::placeMulti(const std::vector<CellPlacement> &cells, bool replaceSelection,
                             const ReadProgress &progress)
{
    if (replaceSelection)
        m_statics.clear();
    Edit edit(*this, QStringLiteral("Import Multi"));
    qsizetype done = 0;
    for (const CellPlacement &cell : cells) {
        if ((++done & 0x3FF) == 0 && progress)
            progress(done, qsizetype(cells.size()));
        m_cache.insertStatics(cell.x, cell.y, cell.tiles.data(), cell.tiles.data() + cell.tiles.size());
        QMap<int, QList<int>> &atCell = m_statics[cell.x][cell.y];
        std::set<std::pair<int, int>> selected; // (z, id) already in the selection
        for (const Tile &s : cell.tiles) {
            if (!selected.insert({s.z(), s.id()}).second)
                continue;
            QList<int> &ids = atCell[s.z()];
            if (!ids.contains(s.id()))
                ids.append(s.id());
        }
    }
}
