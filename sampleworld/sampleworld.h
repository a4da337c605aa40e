#pragma once
#include <QString>
#include <QList>

namespace sampleworld {

struct Options {
    QString outDir;                 // directory to write the client files into (created if missing)
    QList<int> facets{0, 1, 2, 3};  // facets to write; 0 and 1 share map0/statics0
    quint32 seed = 1;               // everything is deterministic from this
};

// One file the generator produced, for reporting.
struct WrittenFile {
    QString name;   // file name inside Options::outDir
    qint64 size = 0;
};

// Writes a complete client data directory. Returns false and fills error on failure.
// When written is given, it receives every file in the order it was written.
bool write(const Options &options, QString *error = nullptr, QList<WrittenFile> *written = nullptr);

// Facet sizes in blocks of 8x8 cells; 0 for an unknown facet.
int facetBlocksX(int facet);
int facetBlocksY(int facet);

// Land tile ids. Each terrain has Variants consecutive ids starting at the named one.
namespace land {
constexpr int Variants = 4;
constexpr int Void = 0;       // black, unused by the generated maps
constexpr int NoDraw = 2;     // no art; fills the space around the caves
constexpr int Grass = 3;      // textured (texture GrassTexture, 64x64)
constexpr int Water = 16;     // textured (WaterTexture, 64x64), wet and impassable
constexpr int Sand = 24;
constexpr int Dirt = 32;
constexpr int Rock = 40;      // textured (RockTexture, 128x128)
constexpr int Mountain = 48;  // textured (MountainTexture, 128x128), impassable
constexpr int Snow = 56;      // textured (SnowTexture, 64x64)
constexpr int Cave = 64;

constexpr int GrassTexture = 1;
constexpr int WaterTexture = 2;
constexpr int RockTexture = 3;
constexpr int MountainTexture = 4;
constexpr int SnowTexture = 5;
constexpr int TextureCount = 6;  // texture index records; record 0 is absent
} // namespace land

// Static tile ids.
namespace item {
constexpr int NoDraw = 1;        // no art
constexpr int OakTree = 16;
constexpr int PineTree = 17;
constexpr int BirchTree = 18;
constexpr int Leaves = 20;       // translucent crown laid over oak trees
constexpr int Bush = 24;
constexpr int FlowerBush = 25;   // grey blossoms, meant to be hued
constexpr int GrassTuft = 26;
constexpr int Rock = 32;
constexpr int Rocks = 33;
constexpr int Boulder = 34;
constexpr int StoneWallX = 48;   // wall running along the x axis
constexpr int StoneWallY = 49;   // wall running along the y axis
constexpr int StonePost = 50;
constexpr int WeatheredWall = 51; // its name fills all 20 bytes, no NUL
constexpr int WoodWallX = 52;
constexpr int WoodWallY = 53;
constexpr int Battlement = 54;
constexpr int WoodFloor = 64;
constexpr int StoneFloor = 65;
constexpr int Roof = 72;
constexpr int RoofRidge = 73;
constexpr int Door = 80;
constexpr int WindowGlass = 84;  // translucent
constexpr int Sign = 88;
constexpr int Fence = 92;
constexpr int Barrel = 93;
constexpr int TentWall = 96;
constexpr int TentRoof = 97;
} // namespace item

// Shared files' extents.
constexpr int StaticGroups = 8;   // static groups in tiledata.mul (ids 0-255)
constexpr int HueGroups = 64;     // groups in hues.mul, 8 hues each
constexpr int LandGroupBytes = 836;
constexpr int StaticGroupBytes = 1188;
constexpr int LandRegionBytes = 512 * LandGroupBytes;  // 428032

// Multi numbers in multi.idx.
namespace multi {
constexpr int House = 0;    // its first component is a NoDraw anchor with flags 0
constexpr int Tent = 1;
constexpr int Missing = 2;  // index record with offset -1
constexpr int Tower = 3;
constexpr int Count = 4;
} // namespace multi

// Ids that have art, in ascending order.
QList<int> landIdsWithArt();
QList<int> staticIdsWithArt();

} // namespace sampleworld
