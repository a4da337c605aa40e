#pragma once
#include "catalog.h"
#include "noise.h"

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

// The generated world behind one main map file. Felucca and Trammel share one.
class FacetWorld {
public:
    FacetWorld(int mainFacet, quint32 seed);

    int blocksX() const { return m_blocksX; }
    int blocksY() const { return m_blocksY; }

    // One cell before buildings flatten the ground under them.
    LandCell naturalCell(int x, int y) const;
    // A whole block, row by row, as it is stored in the main map file.
    void landBlock(int bx, int by, LandCell cells[64]) const;
    void staticsBlock(int bx, int by, const LandCell cells[64], std::vector<StaticRecord> *out) const;

    // mapN.mul, staidxN.mul and staticsN.mul.
    bool writeMainFiles(const QString &dir, QList<WrittenFile> *written, QString *error) const;
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

    int m_facet;
    quint32 m_seed;
    int m_blocksX, m_blocksY;
    TableNoise m_height, m_moisture, m_detail;
    QList<Building> m_buildings;
    QHash<int, QList<int>> m_buildingsByBlock;
};

} // namespace sampleworld
