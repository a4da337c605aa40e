#include "terrain.h"

#include "bytesink.h"
#include "output.h"
#include "sampleworld.h"
#include "uop.h"

#include <algorithm>
#include <cmath>

namespace sampleworld {

namespace {

// Each facet has its own character: Ilshenar is rugged, Malas has smaller islands.
struct Character {
    float scale;  // cells per lattice step of the lowest octave
    float bias;   // raises or lowers the whole facet
};

Character character(int facet)
{
    switch (facet) {
    case 2: return {190.0f, 0.14f};
    case 3: return {230.0f, -0.03f};
    case 4: return {120.0f, -0.02f};  // Tokuno: a scatter of small islands
    case 5: return {210.0f, 0.22f};   // Ter Mur: highlands
    default: return {340.0f, 0.0f};
    }
}

// How each later map container is laid out, so that readers meet every shape: one table
// or several, metadata before the data or none.
UopShape mapShape(int facet)
{
    UopShape shape;
    shape.seed = hash32(0x0a0b0c0dU + quint32(facet));
    switch (facet) {
    case 0:
    case 1: shape.capacity = 100; break;  // 112 chunks: two tables, as real files have them
    case 2: shape.capacity = 4; break;    // 15 chunks over four tables
    case 4:
        shape.capacity = 100;
        shape.metadataLength = 12;
        break;
    default: shape.capacity = 1000; break;
    }
    return shape;
}

int baseId(Ground g)
{
    switch (g) {
    case Ground::Water: return land::Water;
    case Ground::Sand: return land::Sand;
    case Ground::Grass: return land::Grass;
    case Ground::Dirt: return land::Dirt;
    case Ground::Rock: return land::Rock;
    case Ground::Mountain: return land::Mountain;
    case Ground::Snow: return land::Snow;
    case Ground::Cave: return land::Cave;
    case Ground::Void: return land::NoDraw;
    }
    return land::NoDraw;
}

qint8 clampZ(int z) { return qint8(std::clamp(z, -128, 127)); }

void encodeLand(ByteSink &out, int block, const LandCell cells[64])
{
    out.i32(block);
    for (int i = 0; i < 64; ++i) {
        out.i16(cells[i].id);
        out.i8(cells[i].z);
    }
}

void encodeStatics(ByteSink &out, const std::vector<StaticRecord> &records)
{
    for (const StaticRecord &r : records) {
        out.u16(r.id);
        out.u8(r.x);
        out.u8(r.y);
        out.i8(r.z);
        out.u16(r.hue);
    }
}

} // namespace

template <typename F>
CoarseField::CoarseField(int width, int height, int step, F &&value)
    : m_step(step), m_columns(width / step + 2)
{
    const int rows = height / step + 2;
    m_values.resize(size_t(m_columns) * size_t(rows));
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < m_columns; ++i)
            m_values[size_t(j) * size_t(m_columns) + size_t(i)] = value(i * step, j * step);
}

float CoarseField::at(int x, int y) const
{
    const int i = x / m_step, j = y / m_step;
    const float tx = float(x % m_step) / float(m_step), ty = float(y % m_step) / float(m_step);
    const float *row = m_values.data() + size_t(j) * size_t(m_columns) + size_t(i);
    const float top = row[0] + (row[1] - row[0]) * tx;
    const float bottom = row[m_columns] + (row[m_columns + 1] - row[m_columns]) * tx;
    return top + (bottom - top) * ty;
}

FacetWorld::FacetWorld(int mainFacet, quint32 seed, Layout layout)
    : m_facet(mainFacet),
      m_layout(layout),
      m_seed(hash32(seed ^ hash32(quint32(mainFacet) * 0x9e3779b9U))),
      m_blocksX(facetBlocksX(mainFacet, layout)),
      m_blocksY(facetBlocksY(mainFacet, layout)),
      m_height(m_seed),
      m_moisture(m_seed ^ 0x68e31da4U),
      m_detail(m_seed ^ 0xb5297a4dU)
{
    if (layout == Layout::Later) {
        // The finest octaves of the height span about ten cells, so a lattice of four
        // keeps the coastlines and hills while the later world is written in seconds.
        const Character ch = character(m_facet);
        const int width = m_blocksX * 8, height = m_blocksY * 8;
        m_coarseHeight = CoarseField(width, height, 4, [&](int x, int y) {
            return m_height.fbm(x / ch.scale, y / ch.scale, 6);
        });
        m_coarseMoisture = CoarseField(width, height, 8, [&](int x, int y) {
            return m_moisture.fbm(x / 150.0f, y / 150.0f, 3);
        });
        m_coarseForest = CoarseField(width, height, 8, [&](int x, int y) {
            return m_moisture.fbm(x / 70.0f + 100.0f, y / 70.0f, 2);
        });
    }
    placeBuildings();
}

float FacetWorld::height(int x, int y) const
{
    if (!m_coarseHeight.isNull())
        return m_coarseHeight.at(x, y);
    const float scale = character(m_facet).scale;
    return m_height.fbm(x / scale, y / scale, 6);
}

float FacetWorld::moisture(int x, int y) const
{
    return m_coarseMoisture.isNull() ? m_moisture.fbm(x / 150.0f, y / 150.0f, 3) : m_coarseMoisture.at(x, y);
}

float FacetWorld::forest(int x, int y) const
{
    return m_coarseForest.isNull() ? m_moisture.fbm(x / 70.0f + 100.0f, y / 70.0f, 2) : m_coarseForest.at(x, y);
}

bool FacetWorld::inCaveArea(int x, int y) const
{
    // The caves sit in the north-east corner, walled off from the surface by void.
    return x >= m_blocksX * 8 * 5 / 6 && y < m_blocksY * 8 / 2;
}

LandCell FacetWorld::naturalCell(int x, int y) const
{
    const int variant = int(hash2(m_seed ^ 0xa5a5a5a5U, x, y) & 3);
    if (inCaveArea(x, y)) {
        const float r = m_detail.fbm(x / 40.0f, y / 40.0f, 3);
        if (std::fabs(r) < 0.09f)
            return {qint16(land::Cave + variant), clampZ(int(r * 30.0f)), Ground::Cave};
        return {qint16(land::NoDraw), 0, Ground::Void};
    }
    float e = height(x, y) + character(m_facet).bias;

    // The surface is an island: it sinks into the sea towards the map's edges and
    // towards the void around the caves.
    const int width = m_blocksX * 8, height = m_blocksY * 8;
    int edge = std::min({x, y, width - 1 - x, height - 1 - y});
    const int caveX = width * 5 / 6, caveY = height / 2;
    if (x < caveX && y < caveY)
        edge = std::min(edge, caveX - 1 - x);
    else if (x >= caveX)
        edge = std::min(edge, y - caveY);
    const float margin = std::min(width, height) / 12.0f;
    if (edge < margin) {
        const float t = 1.0f - edge / margin;
        e -= t * t * 1.2f;
    }

    Ground g;
    int z;
    if (e < -0.12f) {
        g = Ground::Water;
        z = -5;
    } else if (e < -0.04f) {
        g = Ground::Sand;
        z = int((e + 0.12f) * 30.0f);
    } else if (e < 0.30f) {
        g = moisture(x, y) < -0.35f ? Ground::Dirt : Ground::Grass;
        z = 2 + int((e + 0.04f) * 45.0f);
    } else if (e < 0.42f) {
        g = Ground::Rock;
        z = 17 + int((e - 0.30f) * 170.0f + m_detail.fbm(x / 10.0f, y / 10.0f, 2) * 3.0f);
    } else {
        z = 37 + int((e - 0.42f) * 150.0f + m_detail.fbm(x / 8.0f, y / 8.0f, 2) * 7.0f);
        z = std::min(z, 100);
        g = z > 86 ? Ground::Snow : Ground::Mountain;
    }
    return {qint16(baseId(g) + variant), clampZ(z), g};
}

void FacetWorld::placeBuildings()
{
    const int wanted = std::max(4, m_blocksX * m_blocksY / 6000);
    const int width = m_blocksX * 8, height = m_blocksY * 8;
    for (int attempt = 0; m_buildings.size() < wanted && attempt < wanted * 60; ++attempt) {
        const quint32 h = hash2(m_seed ^ 0x1b873593U, attempt, 0);
        const int kind = int(h % 8);  // 0: tower, 1: tent, otherwise a house
        Building b;
        b.x0 = 16 + int(hash2(m_seed, attempt, 1) % quint32(width - 32));
        b.y0 = 16 + int(hash2(m_seed, attempt, 2) % quint32(height - 32));
        if (kind == 0) {
            b.parts = towerComponents();
        } else if (kind == 1) {
            b.parts = tentComponents();
        } else {
            const int w = 5 + int(h >> 8) % 3, d = 5 + int(h >> 12) % 3;
            b.parts = houseComponents(w, d, (h >> 16) & 1);
        }
        b.roofHue = (h >> 20) % 3 == 0 ? quint16(1 + (h >> 22) % (HueGroups * 8)) : 0;
        b.minX = b.maxX = b.x0;
        b.minY = b.maxY = b.y0;
        for (const Component &c : std::as_const(b.parts)) {
            b.minX = std::min(b.minX, b.x0 + c.dx - 1);
            b.maxX = std::max(b.maxX, b.x0 + c.dx + 1);
            b.minY = std::min(b.minY, b.y0 + c.dy - 1);
            b.maxY = std::max(b.maxY, b.y0 + c.dy + 1);
        }
        bool clear = true;
        for (const Building &o : std::as_const(m_buildings))
            if (b.minX <= o.maxX + 3 && o.minX <= b.maxX + 3 && b.minY <= o.maxY + 3 && o.minY <= b.maxY + 3)
                clear = false;
        // Only on gentle grassland, so that levelling the plot leaves no cliffs.
        const LandCell anchor = naturalCell(b.x0, b.y0);
        for (int y = b.minY; clear && y <= b.maxY; ++y)
            for (int x = b.minX; clear && x <= b.maxX; ++x) {
                const LandCell c = naturalCell(x, y);
                clear = c.ground == Ground::Grass && std::abs(c.z - anchor.z) <= 3;
            }
        if (!clear)
            continue;
        b.z = anchor.z;
        const int index = int(m_buildings.size());
        m_buildings.append(b);
        for (int bx = b.minX / 8; bx <= b.maxX / 8; ++bx)
            for (int by = b.minY / 8; by <= b.maxY / 8; ++by)
                m_buildingsByBlock[bx * m_blocksY + by].append(index);
    }
}

void FacetWorld::landBlock(int bx, int by, LandCell cells[64]) const
{
    for (int cy = 0; cy < 8; ++cy)
        for (int cx = 0; cx < 8; ++cx)
            cells[cy * 8 + cx] = naturalCell(bx * 8 + cx, by * 8 + cy);
    const auto it = m_buildingsByBlock.constFind(bx * m_blocksY + by);
    if (it == m_buildingsByBlock.constEnd())
        return;
    for (int index : *it) {
        const Building &b = m_buildings[index];
        for (int cy = 0; cy < 8; ++cy)
            for (int cx = 0; cx < 8; ++cx) {
                const int x = bx * 8 + cx, y = by * 8 + cy;
                if (x >= b.minX && x <= b.maxX && y >= b.minY && y <= b.maxY) {
                    LandCell &c = cells[cy * 8 + cx];
                    c.z = b.z;
                    // Trodden ground around the walls.
                    if (x == b.minX || x == b.maxX || y == b.minY || y == b.maxY)
                        c = {qint16(land::Dirt + (c.id & 3)), b.z, Ground::Dirt};
                }
            }
    }
}

LandCell FacetWorld::landCell(int x, int y) const
{
    LandCell cells[64];
    landBlock(x / 8, y / 8, cells);
    return cells[(y % 8) * 8 + x % 8];
}

void FacetWorld::plants(int x, int y, const LandCell &cell, quint8 cx, quint8 cy,
                        std::vector<StaticRecord> *out) const
{
    const quint32 h = hash2(m_seed ^ 0x85ebca6bU, x, y);
    const float r = unit(h);
    const quint8 pick = quint8(h & 0xff);
    auto put = [&](int id, quint16 hue = 0) { out->push_back({quint16(id), cx, cy, cell.z, hue}); };
    const bool later = m_layout == Layout::Later;
    switch (cell.ground) {
    case Ground::Grass: {
        const float trees = forest(x, y) > 0.25f ? 0.16f : 0.012f;
        if (r < trees) {
            if (pick < 128) {
                put(item::OakTree);
                put(item::Leaves);
            } else if (pick < 200 || cell.z > 12) {
                put(item::PineTree);
            } else {
                put(later && m_facet == 4 ? later::Bamboo : item::BirchTree);
            }
        } else if (r < trees + 0.02f) {
            if (pick < 85)
                put(item::FlowerBush, quint16(1 + (h >> 8) % (HueGroups * 8)));
            else
                put(item::Bush);
        } else if (r < trees + 0.05f) {
            put(later && pick < 64 ? later::Fern : item::GrassTuft);
        }
        break;
    }
    case Ground::Dirt:
        if (r < 0.01f)
            put(item::Rocks);
        else if (r < 0.025f)
            put(item::Bush);
        break;
    case Ground::Sand:
        if (r < 0.004f)
            put(item::Rock);
        break;
    case Ground::Rock:
        if (r < 0.05f) {
            if (later && m_facet == 5 && pick < 60)
                put(later::Crystal);
            else
                put(pick < 100 ? item::Rock : pick < 200 ? item::Rocks : item::Boulder);
        }
        break;
    case Ground::Mountain:
        if (r < 0.02f)
            put(pick < 128 ? item::Boulder : item::Rock);
        break;
    case Ground::Snow:
        if (r < 0.006f)
            put(item::PineTree);
        break;
    case Ground::Cave:
        if (r < 0.02f)
            put(item::Rocks);
        break;
    case Ground::Water:
    case Ground::Void:
        break;
    }
}

void FacetWorld::staticsBlock(int bx, int by, const LandCell cells[64], std::vector<StaticRecord> *out) const
{
    out->clear();
    const auto it = m_buildingsByBlock.constFind(bx * m_blocksY + by);
    const bool built = it != m_buildingsByBlock.constEnd();
    for (int cy = 0; cy < 8; ++cy)
        for (int cx = 0; cx < 8; ++cx) {
            const int x = bx * 8 + cx, y = by * 8 + cy;
            bool onPlot = false;
            if (built)
                for (int index : *it) {
                    const Building &b = m_buildings[index];
                    onPlot |= x >= b.minX && x <= b.maxX && y >= b.minY && y <= b.maxY;
                }
            if (!onPlot)
                plants(x, y, cells[cy * 8 + cx], quint8(cx), quint8(cy), out);
        }
    if (!built)
        return;
    for (int index : *it) {
        const Building &b = m_buildings[index];
        for (const Component &c : b.parts) {
            const int x = b.x0 + c.dx, y = b.y0 + c.dy;
            if (!c.flags || x / 8 != bx || y / 8 != by)
                continue;
            const bool roof = c.id == item::Roof || c.id == item::RoofRidge;
            out->push_back({quint16(c.id), quint8(x % 8), quint8(y % 8), clampZ(b.z + c.dz),
                            roof ? b.roofHue : quint16(0)});
        }
        // Later settlements light their north corner with the very last static id.
        if (m_layout == Layout::Later && b.minX / 8 == bx && b.minY / 8 == by)
            out->push_back({quint16(later::Lantern), quint8(b.minX % 8), quint8(b.minY % 8), b.z, 0});
    }
}

bool FacetWorld::writeMainFiles(const QString &dir, bool uopMap, QList<WrittenFile> *written, QString *error) const
{
    const QString n = QString::number(m_facet);
    OutputFile map(dir, QStringLiteral("map%1.mul").arg(n));
    OutputFile index(dir, QStringLiteral("staidx%1.mul").arg(n));
    OutputFile statics(dir, QStringLiteral("statics%1.mul").arg(n));
    if ((!uopMap && !map.open(error)) || !index.open(error) || !statics.open(error))
        return false;
    // A container needs the whole map before its tables can be written.
    ByteSink wholeMap;
    if (uopMap)
        wholeMap.reserve(qsizetype(m_blocksX) * m_blocksY * 196);

    constexpr qsizetype Flush = 4 << 20;
    ByteSink landOut, indexOut, staticsOut;
    landOut.reserve(Flush + m_blocksY * 196);
    indexOut.reserve(qsizetype(m_blocksX) * m_blocksY * 12);
    staticsOut.reserve(Flush + 64 * 1024);
    qint64 staticsWritten = 0;
    LandCell cells[64];
    std::vector<StaticRecord> records;
    // Blocks are numbered column by column, so this walk is the file order.
    for (int bx = 0; bx < m_blocksX; ++bx) {
        for (int by = 0; by < m_blocksY; ++by) {
            const int block = bx * m_blocksY + by;
            landBlock(bx, by, cells);
            encodeLand(landOut, block, cells);
            staticsBlock(bx, by, cells, &records);
            if (records.empty()) {
                indexOut.i32(-1);
                indexOut.i32(-1);
                indexOut.i32(0);
            } else {
                indexOut.i32(qint32(staticsWritten + staticsOut.size()));
                indexOut.i32(qint32(records.size() * 7));
                indexOut.i32(0);
                encodeStatics(staticsOut, records);
            }
        }
        if (landOut.size() >= Flush) {
            if (uopMap)
                wholeMap.raw(landOut.bytes());
            else
                map.append(landOut.bytes());
            landOut.clear();
            landOut.reserve(Flush + m_blocksY * 196);
        }
        if (staticsOut.size() >= Flush) {
            statics.append(staticsOut.bytes());
            staticsWritten += staticsOut.size();
            staticsOut.clear();
            staticsOut.reserve(Flush + 64 * 1024);
        }
    }
    statics.append(staticsOut.bytes());
    index.append(indexOut.bytes());
    bool mapOk;
    if (uopMap) {
        wholeMap.raw(landOut.bytes());
        landOut.clear();
        // Chunks of 4096 blocks, the last one shorter.
        constexpr qsizetype ChunkBytes = 4096 * 196;
        const QByteArray &bytes = wholeMap.bytes();
        QList<UopEntry> entries;
        for (qsizetype at = 0, chunk = 0; at < bytes.size(); at += ChunkBytes, ++chunk)
            entries.append({QStringLiteral("build/map%1legacymul/%2.dat").arg(n).arg(chunk, 8, 10, QLatin1Char('0')).toLatin1(),
                            bytes.constData() + at, std::min(ChunkBytes, bytes.size() - at)});
        mapOk = writeUop(dir, QStringLiteral("map%1LegacyMUL.uop").arg(n), entries, mapShape(m_facet), written, error);
    } else {
        map.append(landOut.bytes());
        mapOk = map.finish(written, error);
    }
    const bool indexOk = mapOk && index.finish(written, error);
    return indexOk && statics.finish(written, error);
}

Differences FacetWorld::differences(int facet) const
{
    Differences result;
    // Six patched blocks on land, different for every facet (so Felucca and Trammel,
    // which share the main files, tell apart). Blocks 0-3 get new land, 2-5 new statics.
    const quint32 s = hash32(m_seed ^ (quint32(facet) + 1) * 0x27d4eb2dU);
    QList<int> picks;
    for (int i = 0; picks.size() < 6 && i < 100000; ++i) {
        const int bx = int(hash2(s, i, 0) % quint32(m_blocksX));
        const int by = int(hash2(s, i, 1) % quint32(m_blocksY));
        const Ground g = naturalCell(bx * 8 + 4, by * 8 + 4).ground;
        const bool outdoors = g == Ground::Grass || g == Ground::Dirt || g == Ground::Sand || g == Ground::Rock;
        if ((outdoors || i > 50000) && !picks.contains(bx * m_blocksY + by))
            picks.append(bx * m_blocksY + by);
    }

    auto blockLand = [&](int block, LandCell cells[64]) { landBlock(block / m_blocksY, block % m_blocksY, cells); };
    QHash<int, QList<LandCell>> patchedLand;
    for (int i = 0; i < 4; ++i) {
        LandCell cells[64];
        blockLand(picks[i], cells);
        switch ((i + facet) % 3) {
        case 0: {  // a levelled dirt clearing
            int sum = 0;
            for (const LandCell &c : cells)
                sum += c.z;
            for (LandCell &c : cells)
                c = {qint16(land::Dirt + (c.id & 3)), qint8(sum / 64), Ground::Dirt};
            break;
        }
        case 1:  // a rocky mound
            for (int k = 0; k < 64; ++k) {
                const int d = std::abs(k % 8 * 2 - 7) + std::abs(k / 8 * 2 - 7);
                cells[k].z = clampZ(cells[k].z + std::max(0, 16 - d));
                if (d < 6)
                    cells[k] = {qint16(land::Rock + k % 4), cells[k].z, Ground::Rock};
            }
            break;
        default:  // a snowfield
            for (LandCell &c : cells)
                c = {qint16(land::Snow + (c.id & 3)), c.z, Ground::Snow};
            break;
        }
        result.land.append({picks[i], QList<LandCell>(cells, cells + 64)});
        patchedLand.insert(picks[i], QList<LandCell>(cells, cells + 64));
    }
    {
        // A stale second entry for block 1: readers take the first one, so this pond
        // must never show up.
        LandCell cells[64];
        for (LandCell &c : cells)
            c = {qint16(land::Water), -5, Ground::Water};
        result.land.append({picks[1], QList<LandCell>(cells, cells + 64)});
    }

    auto addStatics = [&](int block, int variant) {
        LandCell cells[64];
        if (patchedLand.contains(block))
            std::copy(patchedLand[block].begin(), patchedLand[block].end(), cells);
        else
            blockLand(block, cells);
        std::vector<StaticRecord> out;
        auto put = [&](int id, int x, int y, int dz = 0) {
            out.push_back({quint16(id), quint8(x), quint8(y), clampZ(cells[y * 8 + x].z + dz), 0});
        };
        switch (variant) {
        case 0:  // cleared: no statics at all
            break;
        case 1:  // a fenced camp with a tent
            for (int k = 0; k < 8; ++k) {
                put(item::Fence, k, 0);
                if (k != 3 && k != 4)
                    put(item::Fence, k, 7);
            }
            for (const Component &c : tentComponents())
                put(c.id, 4 + c.dx, 3 + c.dy, c.dz);
            put(item::Sign, 5, 7, 8);
            break;
        case 2:  // a grove
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    if ((x + y) % 3 == 0) {
                        put(item::OakTree, x, y);
                        put(item::Leaves, x, y);
                    }
            break;
        default:  // a ruin
            put(item::StonePost, 1, 2);
            for (int x = 2; x < 7; ++x)
                if (x != 4)
                    put(item::WeatheredWall, x, 2);
            put(item::Boulder, 5, 5);
            put(item::Rocks, 2, 6);
            break;
        }
        result.statics.append({block, out});
    };
    for (int i = 2; i < 6; ++i)
        addStatics(picks[i], (i + facet) % 4);
    // Again a stale duplicate (of block 3) that must lose against the first entry.
    addStatics(picks[3], (3 + facet + 2) % 4);
    return result;
}

bool FacetWorld::writeDifferenceFiles(const QString &dir, int facet, QList<WrittenFile> *written,
                                      QString *error) const
{
    const Differences d = differences(facet);
    ByteSink landDif, landList;
    for (const Differences::Land &l : d.land) {
        encodeLand(landDif, l.block, l.cells.constData());
        landList.i32(l.block);
    }
    ByteSink staticsIndex, staticsDif, staticsList;
    for (const Differences::Statics &st : d.statics) {
        staticsList.i32(st.block);
        if (st.records.empty()) {
            staticsIndex.i32(-1);
            staticsIndex.i32(-1);
        } else {
            staticsIndex.i32(qint32(staticsDif.size()));
            staticsIndex.i32(qint32(st.records.size() * 7));
        }
        staticsIndex.i32(0);
        encodeStatics(staticsDif, st.records);
    }

    const QString n = QString::number(facet);
    return writeWholeFile(dir, QStringLiteral("mapdif%1.mul").arg(n), landDif.bytes(), written, error)
        && writeWholeFile(dir, QStringLiteral("mapdifl%1.mul").arg(n), landList.bytes(), written, error)
        && writeWholeFile(dir, QStringLiteral("stadifi%1.mul").arg(n), staticsIndex.bytes(), written, error)
        && writeWholeFile(dir, QStringLiteral("stadif%1.mul").arg(n), staticsDif.bytes(), written, error)
        && writeWholeFile(dir, QStringLiteral("stadifl%1.mul").arg(n), staticsList.bytes(), written, error);
}

} // namespace sampleworld
