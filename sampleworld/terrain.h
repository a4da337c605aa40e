#pragma once
#include "catalog.h"
#include "noise.h"
#include "sampleworld.h"

#include <QHash>
#include <QList>
#include <QString>
#include <vector>

namespace sampleworld {

struct WrittenFile;

enum class Ground { Water, Sand, Grass, Dirt, Rock, Mountain, Snow, Cave, Void };

struct LandCell {
    qint16 id;
    qint8 z;
    Ground ground;
};

struct StaticRecord {
    quint16 id;
    quint8 x, y;  // inside the block
    qint8 z;
    quint16 hue;
};

// The blocks a facet's difference files replace, in the order of their lists (a block
// may come twice: the first entry is the one that counts).
struct Differences {
    struct Land {
        int block;
        QList<LandCell> cells;  // 64, row by row
    };
    struct Statics {
        int block;
        std::vector<StaticRecord> records;  // empty: the block's statics are cleared
    };
    QList<Land> land;
    QList<Statics> statics;
};

// A precomputed noise field sampled on a lattice of step cells and read back with bilinear
// interpolation: the later facets are too large to evaluate every octave at every cell.
class CoarseField {
public:
    CoarseField() = default;
    template <typename F> CoarseField(int width, int height, int step, F &&value);
    float at(int x, int y) const;
    bool isNull() const { return m_values.empty(); }

private:
    int m_step = 1, m_columns = 0;
    std::vector<float> m_values;
};

// The generated world behind one main map file. In the early layout Felucca and Trammel
// share one; in the later layout every facet has its own.
class FacetWorld {
public:
    FacetWorld(int mainFacet, quint32 seed, Layout layout = Layout::Early);

    int facet() const { return m_facet; }
    Layout layout() const { return m_layout; }

    int blocksX() const { return m_blocksX; }
    int blocksY() const { return m_blocksY; }

    // One cell before buildings flatten the ground under them.
    LandCell naturalCell(int x, int y) const;
    // A whole block, row by row, as it is stored in the main map file.
    void landBlock(int bx, int by, LandCell cells[64]) const;
    void staticsBlock(int bx, int by, const LandCell cells[64], std::vector<StaticRecord> *out) const;

    // mapN.mul (or mapNLegacyMUL.uop when uopMap), staidxN.mul and staticsN.mul.
    bool writeMainFiles(const QString &dir, bool uopMap, QList<WrittenFile> *written, QString *error) const;
    // What the difference files of facet (0-3) replace; facet must use this world's main files.
    Differences differences(int facet) const;
    // The five difference files of facet (0-3); facet must use this world's main files.
    bool writeDifferenceFiles(const QString &dir, int facet, QList<WrittenFile> *written, QString *error) const;

    struct Building {
        int x0, y0;  // anchor
        int minX, minY, maxX, maxY;  // cells whose land is levelled and kept free of plants
        qint8 z;
        quint16 roofHue;
        QList<Component> parts;
    };
    const QList<Building> &buildings() const { return m_buildings; }
    // One cell as the map file holds it, buildings' levelling included.
    LandCell landCell(int x, int y) const;

private:
    void placeBuildings();
    bool inCaveArea(int x, int y) const;
    void plants(int x, int y, const LandCell &cell, quint8 cx, quint8 cy, std::vector<StaticRecord> *out) const;

    float height(int x, int y) const;
    float moisture(int x, int y) const;
    float forest(int x, int y) const;

    int m_facet;
    Layout m_layout;
    quint32 m_seed;
    int m_blocksX, m_blocksY;
    TableNoise m_height, m_moisture, m_detail;
    CoarseField m_coarseHeight, m_coarseMoisture, m_coarseForest;  // later layout only
    QList<Building> m_buildings;
    QHash<int, QList<int>> m_buildingsByBlock;
};

} // namespace sampleworld
