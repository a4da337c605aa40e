#pragma once
#include <QString>
#include <QList>

namespace sampleworld {

// The generation of client files to write.
//  Early: the files the editor was first built for: facets 0-3, Felucca and Trammel 6144
//    cells wide sharing map0/staidx0/statics0, map<N>.mul, art.mul + artidx.mul, tile data
//    with 32-bit flags (26- and 37-byte records, 256 static ids), 12-byte multi components,
//    the five difference files of every facet written, and radarcol.mul for the land ids and
//    the 256 static ids.
//  Later: a current client's directory: facets 0-5, Felucca and Trammel 7168 cells wide, each
//    with its own main files, maps in map<N>LegacyMUL.uop containers, art in
//    artLegacyMUL.uop, tile data with 64-bit flags (30- and 41-byte records, 2,048 static
//    groups = 65,536 static ids, some used on the maps above id 16,383), 16-byte multi
//    components, radarcol.mul, and no difference files.
enum class Layout { Early, Later };

struct Options {
    QString outDir;                 // directory to write the client files into (created if missing)
    QList<int> facets{0, 1, 2, 3};  // facets to write; early: 0-3 (0 and 1 share map0), later: 0-5
    quint32 seed = 1;               // everything is deterministic from this
    Layout layout = Layout::Early;
    // Later layout only: facets whose map is written as a plain map<N>.mul (of the later
    // size) instead of a UOP container, as mid-era clients have them.
    QList<int> mulMaps;
};

// The facets a layout knows, in ascending order; facetName gives "Felucca" .. "Ter Mur".
QList<int> layoutFacets(Layout layout);
QString facetName(int facet);
// The file number of a facet's main files (map, staidx, statics): early Trammel reads
// Felucca's files (0), everything else its own number.
int mainFileNumber(int facet, Layout layout);
// File name of a facet's map as write() produces it for these options.
QString mapFileName(int facet, const Options &options);

// One file the generator produced, for reporting.
struct WrittenFile {
    QString name;   // file name inside Options::outDir
    qint64 size = 0;
};

// Writes a complete client data directory. Returns false and fills error on failure.
// When written is given, it receives every file in the order it was written.
bool write(const Options &options, QString *error = nullptr, QList<WrittenFile> *written = nullptr);

// Facet sizes in blocks of 8x8 cells; 0 for a facet the layout does not know.
int facetBlocksX(int facet, Layout layout = Layout::Early);
int facetBlocksY(int facet, Layout layout = Layout::Early);

// What the written files hold at one cell, from the generator's own model (not by reading
// the files back): the land tile and the statics of the cell in the order its block lists
// them, difference files applied where the layout writes them (the first entry of a
// block in a difference list is the one that counts). A reader of the files must see
// exactly this.
struct ProbeStatic {
    quint16 id;
    qint8 z;
    quint16 hue;
    bool operator==(const ProbeStatic &o) const { return id == o.id && z == o.z && hue == o.hue; }
};
struct Probe {
    int x = 0, y = 0;
    qint16 landId = 0;
    qint8 landZ = 0;
    QList<ProbeStatic> statics;
    QString what;  // why this cell was chosen ("last cell", "east of 6144", "static above 16383", ...)
};
// The cell (x, y) of facet as written with these options (outDir is not used); an empty
// Probe for a cell off the facet. Each call builds the facet's model anew (a fraction of a
// second for the later Felucca), so ask probeCells for many cells at once.
Probe probeCell(const Options &options, int facet, int x, int y);
// A spread of cells of one facet worth checking: the corners, the cells on both sides of
// a UOP chunk boundary, the middle, the eastern strip of a 7168-wide facet, cells of a
// building, cells with several statics, statics above id 16,383 where the layout has
// them and the blocks the difference files replace. Cheap: a few blocks are built, not
// the facet.
QList<Probe> probeCells(const Options &options, int facet);

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

// A land tile whose texture id is 2 is a no-draw tile, just like land id 2, so no texture
// has id 2: its index record stays absent like record 0.
constexpr int GrassTexture = 1;
constexpr int NoDrawTexture = 2;
constexpr int RockTexture = 3;
constexpr int MountainTexture = 4;
constexpr int SnowTexture = 5;
constexpr int WaterTexture = 6;
constexpr int TextureCount = 7;  // texture index records; records 0 and NoDrawTexture are absent
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

// Statics that only the later layout has: ids above the 16,384 that the early art index
// can address; Lantern is the very last static id.
namespace later {
constexpr int Fern = 0x4010;
constexpr int Bamboo = 0x5000;
constexpr int Crystal = 0x9C40;
constexpr int Lantern = 0xFFFF;
// A tile-data flag above bit 31, which only the 64-bit flags can carry; set on the
// statics above.
constexpr quint64 HighFlag = quint64(1) << 40;
} // namespace later

// Shared files' extents.
constexpr int StaticGroups = 8;   // static groups in tiledata.mul (ids 0-255)
constexpr int LaterStaticGroups = 2048;  // later layout: ids 0-65535
constexpr int LaterLandGroupBytes = 4 + 32 * 30;
constexpr int LaterStaticGroupBytes = 4 + 32 * 41;
constexpr int LaterLandRegionBytes = 512 * LaterLandGroupBytes;  // 493568
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
QList<int> staticIdsWithArt(Layout layout = Layout::Early);

} // namespace sampleworld
