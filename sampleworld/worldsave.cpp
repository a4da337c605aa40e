#include "worldsave.h"

#include "noise.h"
#include "sampleworld.h"
#include "terrain.h"

#include <QSet>
#include <algorithm>

namespace sampleworld {

namespace {

constexpr quint32 FirstItemSerial = 0x40000001U;  // servers give items serials from here up

struct Item {
    quint32 serial = 0;
    QByteArray name = "#";
    int id = 0;
    int x = 0, y = 0, z = 0;
    qint64 container = -1;
    int type = 0;
    int amount = 1;
    int hue = 0;
};

struct Cell {
    int x, y;
    int distance;  // cells between it and the plot
    quint32 order; // tie breaker, from the seed
};

bool openGround(Ground g) { return g == Ground::Grass || g == Ground::Dirt || g == Ground::Sand || g == Ground::Rock; }

// Cells near the plot with open ground, no statics and no other building's plot, nearest first.
QList<Cell> freeCells(const FacetWorld &world, const Site &site, int reach, quint32 seed)
{
    const int width = world.blocksX() * 8, height = world.blocksY() * 8;
    const int x0 = std::max(0, site.minX - reach), x1 = std::min(width - 1, site.maxX + reach);
    const int y0 = std::max(0, site.minY - reach), y1 = std::min(height - 1, site.maxY + reach);
    QSet<qint64> taken;
    LandCell cells[64];
    std::vector<StaticRecord> records;
    for (int bx = x0 / 8; bx <= x1 / 8; ++bx)
        for (int by = y0 / 8; by <= y1 / 8; ++by) {
            world.landBlock(bx, by, cells);
            world.staticsBlock(bx, by, cells, &records);
            for (const StaticRecord &r : records)
                taken.insert(qint64(bx * 8 + r.x) << 32 | (by * 8 + r.y));
        }
    for (const FacetWorld::Building &b : world.buildings())
        for (int y = std::max(b.minY, y0); y <= std::min(b.maxY, y1); ++y)
            for (int x = std::max(b.minX, x0); x <= std::min(b.maxX, x1); ++x)
                // The trodden ring round our own house stays open for barrels and signs.
                if (b.minX != site.minX || b.minY != site.minY || (x > b.minX && x < b.maxX && y > b.minY && y < b.maxY))
                    taken.insert(qint64(x) << 32 | y);

    QList<Cell> out;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            if (taken.contains(qint64(x) << 32 | y) || !openGround(world.landCell(x, y).ground))
                continue;
            const int dx = std::max({site.minX - x, x - site.maxX, 0});
            const int dy = std::max({site.minY - y, y - site.maxY, 0});
            out.append({x, y, std::max(dx, dy), hash2(seed ^ 0x2545f491U, x, y)});
        }
    std::sort(out.begin(), out.end(), [](const Cell &a, const Cell &b) {
        return a.distance != b.distance ? a.distance < b.distance : a.order < b.order;
    });
    return out;
}

void writeItem(QByteArray &out, int section, const Item &item)
{
    out += "SECTION WORLDITEM " + QByteArray::number(section) + "\n{\n";
    out += "SERIAL " + QByteArray::number(item.serial) + "\n";
    out += "NAME " + item.name + "\n";
    out += "ID " + QByteArray::number(item.id) + "\n";
    out += "X " + QByteArray::number(item.x) + "\n";
    out += "Y " + QByteArray::number(item.y) + "\n";
    out += "Z " + QByteArray::number(item.z) + "\n";
    out += "CONT " + QByteArray::number(item.container) + "\n";
    out += "TYPE " + QByteArray::number(item.type) + "\n";
    out += "AMOUNT " + QByteArray::number(item.amount) + "\n";
    out += "COLOR " + QByteArray::number(item.hue) + "\n";
    out += "}\n\n";
}

} // namespace

Site houseSite(const FacetWorld &world)
{
    const auto isHouse = [](const FacetWorld::Building &b) {
        return std::any_of(b.parts.begin(), b.parts.end(), [](const Component &c) { return c.id == item::Sign; });
    };
    for (bool houses : {true, false}) {
        const FacetWorld::Building *best = nullptr;
        for (const FacetWorld::Building &b : world.buildings())
            if ((!houses || isHouse(b)) && (!best || b.x0 + b.y0 < best->x0 + best->y0))
                best = &b;
        if (best)
            return {best->minX, best->minY, best->maxX, best->maxY};
    }
    const int x = world.blocksX() * 4, y = world.blocksY() * 4;
    return {x, y, x, y};
}

QByteArray worldSaveFile(const FacetWorld &world, quint32 seed)
{
    const Site site = houseSite(world);
    QList<Cell> cells;
    // Rugged land round the house can leave few free cells; look further out until enough.
    for (int reach = 7; cells.size() < 60 && reach <= 64; reach *= 2)
        cells = freeCells(world, site, reach, seed);
    QSet<qint64> used;
    const auto key = [](int x, int y) { return qint64(x) << 32 | y; };
    const auto z = [&world](int x, int y) { return int(world.landCell(x, y).z); };

    // The tent first: it needs nine free cells at least three cells off the plot.
    QList<Item> items;
    quint32 serial = FirstItemSerial;
    Item tent;
    QSet<qint64> freeSet;
    for (const Cell &c : std::as_const(cells))
        freeSet.insert(key(c.x, c.y));
    for (const Cell &c : std::as_const(cells)) {
        if (c.distance < 3)
            continue;
        bool room = true;
        for (int dy = -1; dy <= 1 && room; ++dy)
            for (int dx = -1; dx <= 1 && room; ++dx)
                room = freeSet.contains(key(c.x + dx, c.y + dy));
        if (!room)
            continue;
        tent = {0, "a tent", 0x4000 + multi::Tent, c.x, c.y, z(c.x, c.y), -1, 0, 1, 0};
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                used.insert(key(c.x + dx, c.y + dy));
        break;
    }

    // Then the loose items, nearest the house first.
    struct Kind {
        int id;
        const char *name;
        int type;
        int hue;
    };
    QList<Kind> kinds;
    for (int i = 0; i < 3; ++i)
        kinds.append({item::Barrel, "#", 1, i == 2 ? 395 : 0});
    kinds.append({item::Sign, "The Sample Inn", 0, 0});
    kinds.append({item::Sign, "Provisioner", 0, 0});
    kinds.append({item::Sign, "#", 0, 0});
    for (int i = 0; i < 10; ++i) {
        // Greys, slates and metals, so the rocks read as ore heaps and cut stone.
        static const int hues[] = {385, 386, 441, 409, 417, 0, 388, 444, 401, 0};
        kinds.append({i % 3 == 0 ? item::Boulder : i % 3 == 1 ? item::Rock : item::Rocks, "#", 0, hues[i]});
    }
    for (int i = 0; i < 8; ++i)
        kinds.append({item::FlowerBush, "#", 0, int(1 + hash2(seed, i, 77) % (HueGroups * 8))});
    for (int i = 0; i < 6; ++i)
        kinds.append({item::Fence, "#", 0, 0});

    QList<Cell> free;
    for (const Cell &c : std::as_const(cells))
        if (!used.contains(key(c.x, c.y)))
            free.append(c);
    QList<quint32> barrels;
    qsizetype next = 0;
    for (const Kind &k : std::as_const(kinds)) {
        if (next >= free.size())
            break;
        const Cell c = free[next++];
        Item item{serial++, k.name, k.id, c.x, c.y, z(c.x, c.y), -1, k.type, 1, k.hue};
        if (k.id == item::Barrel)
            barrels.append(item.serial);
        items.append(item);
    }

    // One marker stone that a reader makes a real static (TYPE 255).
    Item marker;
    if (next < free.size()) {
        const Cell c = free[next++];
        marker = {serial++, "boundary stone", item::Boulder, c.x, c.y, z(c.x, c.y), -1, 255, 1, 0};
    }
    if (tent.id)
        tent.serial = serial++;

    // The barrels' contents: positions inside the container's window, not on the map.
    QList<Item> contents;
    for (int i = 0; i < 8 && !barrels.isEmpty(); ++i) {
        const quint32 h = hash2(seed ^ 0x7f4a7c15U, i, 0);
        const bool ore = i % 2 == 0;
        contents.append({serial++, ore ? "iron ore" : "#", ore ? item::Rocks : item::Rock,
                         44 + int(h % 60), 65 + int((h >> 8) % 50), 0, barrels[i * 3 / 8], 0,
                         ore ? 1 + int((h >> 16) % 20) : 1, ore ? 441 : 0});
    }

    QByteArray out;
    out += "// Sample world save of tessaryn-sampleworld for Felucca\n";
    out += "// Items round the house at " + QByteArray::number(site.minX) + "," + QByteArray::number(site.minY)
        + "\n\n";
    // A few characters on the outskirts; a reader of items must pass over their sections.
    static const char *const people[] = {"Alda the innkeeper", "Brannoc", "a wandering minstrel"};
    for (int i = 0; i < 3 && i < free.size(); ++i) {
        const Cell c = free[free.size() - 1 - i];
        out += "SECTION WORLDCHAR " + QByteArray::number(i) + "\n{\n";
        out += "SERIAL " + QByteArray::number(i + 1) + "\n";
        out += "NAME " + QByteArray(people[i]) + "\n";
        out += "ID " + QByteArray::number(i == 0 ? 401 : 400) + "\n";
        out += "SKIN " + QByteArray::number(1002 + i * 7) + "\n";
        out += "X " + QByteArray::number(c.x) + "\nY " + QByteArray::number(c.y) + "\n";
        out += "Z " + QByteArray::number(z(c.x, c.y)) + "\n";
        out += "DIR " + QByteArray::number(i * 2) + "\n";
        out += "STRENGTH " + QByteArray::number(40 + i * 15) + "\n";
        out += "}\n\n";
    }
    int section = 0;
    for (const Item &item : std::as_const(items))
        writeItem(out, section++, item);
    if (marker.id)
        writeItem(out, section++, marker);
    if (tent.id)
        writeItem(out, section++, tent);
    for (const Item &item : std::as_const(contents))
        writeItem(out, section++, item);
    out += "EOF\n";
    return out;
}

} // namespace sampleworld
