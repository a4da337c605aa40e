#pragma once
#include "sampleworld.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

namespace sampleworld {

// Tile flag bits as the client files use them.
namespace flag {
constexpr quint32 Background = 0x1;
constexpr quint32 Translucent = 0x8;
constexpr quint32 Wall = 0x10;
constexpr quint32 Impassable = 0x40;
constexpr quint32 Wet = 0x80;
constexpr quint32 Surface = 0x200;
constexpr quint32 Window = 0x1000;
constexpr quint32 NoShoot = 0x2000;
constexpr quint32 Container = 0x200000;
constexpr quint32 Foliage = 0x20000;
constexpr quint32 Roof = 0x10000000;
constexpr quint32 Door = 0x20000000;
} // namespace flag

// How a land or static tile is drawn; the artwork code switches on it.
enum class Look {
    None, Black, Grass, Water, Sand, Dirt, Rock, Mountain, Snow, Cave,
    OakTree, PineTree, BirchTree, Leaves, Bush, FlowerBush, GrassTuft,
    Rock1, Rocks, Boulder, StoneWallX, StoneWallY, StonePost, WeatheredWall, WoodWallX, WoodWallY,
    Battlement, WoodFloor, StoneFloor, Roof, RoofRidge, Door, WindowGlass, Sign, Fence, Barrel,
    TentWall, TentRoof,
    Fern, Bamboo, Crystal, Lantern,  // the later layout's statics
};

struct LandDef {
    int id;
    const char *name;
    quint32 flags;
    quint16 texture;  // 0 = untextured
    Look look;
};

struct StaticDef {
    int id;
    const char *name;
    quint64 flags;  // the early tile data keeps the low 32 bits
    quint8 height;
    quint8 weight;
    Look look;
};

// Every land and static id that has a tile-data record, ascending. The later layout has
// the early statics and those of namespace later.
const QList<LandDef> &landDefs();
const QList<StaticDef> &staticDefs(Layout layout = Layout::Early);

// Texture ids in use with their edge length (64 or 128).
struct TextureDef {
    int id;
    int size;
    Look look;
};
const QList<TextureDef> &textureDefs();

QByteArray tileDataFile(Layout layout = Layout::Early);
QByteArray huesFile();
// Components are 12 bytes in the early layout, 16 (an extra u32 after the flags) in the later.
void multiFiles(QByteArray *index, QByteArray *data, Layout layout = Layout::Early);

// Colour helpers in the client's 5-5-5 format (bit 15 clear).
inline quint16 rgb555(int r, int g, int b)
{
    auto c = [](int v) { return v < 0 ? 0 : v > 255 ? 31 : v >> 3; };
    return quint16((c(r) << 10) | (c(g) << 5) | c(b));
}

} // namespace sampleworld

namespace sampleworld {

// One static of a prefabricated structure, relative to its anchor.
struct Component {
    int id;
    int dx, dy, dz;
    quint32 flags;  // 0 = not placed (anchor markers)
};

// A walled house of w x h cells with floor, door, window, roof and sign; the anchor is
// its north corner. Used both for multi.mul and for the villages on the map.
QList<Component> houseComponents(int w, int h, bool wooden);
QList<Component> tentComponents();
QList<Component> towerComponents();

} // namespace sampleworld
