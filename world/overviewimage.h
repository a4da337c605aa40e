#pragma once
#include "tiles/radarcolors.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

#include <memory>
#include <vector>

class ArtStore;
class BlockCache;
class Facet;
class TextureStore;
class TileData;

// The colour each tile has in the overview of a facet, worked out once per tile id and kept.
// From the directory's radarcol.mul where it has one and it colours the id; otherwise the
// mean of the tile's art (land: its art image, or its texture when the image is absent;
// statics: their image), over the pixels the image covers. A static without art has no
// colour, and the land beneath it shows.
class OverviewColours
{
public:
    // Reads radarcol.mul of the data directory as it is now. A file that cannot be a colour
    // table is left aside (loadError says why) and the art is used instead.
    OverviewColours();
    ~OverviewColours();
    OverviewColours(const OverviewColours &) = delete;
    OverviewColours &operator=(const OverviewColours &) = delete;

    bool usesRadarColours() const { return m_radar.isLoaded(); }
    QString loadError() const { return m_loadError; }

    // 5-5-5 colour of land id (0..0x3FFF; other ids are black).
    quint16 land(int id, TileData &tileData);
    // 5-5-5 colour of static id (0..0xFFFF), or -1 when it has none.
    int staticColour(int id, TileData &tileData);
    // The drawing-order lift of static id (0..2) from its tile data, as Tile::adjust has it:
    // the static drawn last on a cell is the one with the greatest z + adjust, the later
    // record on a tie.
    int staticAdjust(int id, TileData &tileData);

    // The 5-5-5 mean of the pixels of image with alpha above zero; -1 when there are none.
    static int meanColour(const QImage &image);

private:
    ArtStore &art();
    TextureStore &textures();

    RadarColours m_radar;
    QString m_loadError;
    std::unique_ptr<ArtStore> m_art;
    std::unique_ptr<TextureStore> m_textures;
    // Per land id and per static id: the colour, or Unknown until first asked.
    static constexpr qint32 Unknown = -2;
    std::vector<qint32> m_land;
    std::vector<qint32> m_statics;
    std::vector<qint8> m_adjust;
};

// One pixel per cell of a facet, in the facet's own 5-5-5 colours (QImage::Format_RGB555,
// x to the right, y downwards): the colour of the cell's top static where it has one, else
// of its land tile. Built whole from the facet's files, block by block, without the block
// cache; kept up to date block by block from the cache as edits change it.
class OverviewImage
{
public:
    // Builds the image of facet from what its files hold with the difference files and
    // this run's working files applied (not through any cache), then takes the blocks that
    // cache holds changed when the cache is on the same facet.
    void build(Facet &facet, TileData &tileData, OverviewColours &colours, BlockCache *cache = nullptr);
    // Colours blocks anew from what cache holds for them now (the cache must be on this
    // image's facet); the union of the cells recoloured. Blocks outside the facet are skipped.
    QRect update(BlockCache &cache, const QList<int> &blocks, OverviewColours &colours);

    bool isNull() const { return m_image.isNull(); }
    int facetNumber() const { return m_facet; }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    const QImage &image() const { return m_image; }
    // The cell's 5-5-5 colour; 0 outside the image.
    quint16 colourAt(int x, int y) const;
    // Counts every build and every update that changed pixels: what a viewer compares to
    // know whether what it drew is still current.
    quint64 revision() const { return m_revision; }
    // Blocks coloured by the last build or update.
    int blocksColoured() const { return m_blocksColoured; }

private:
    void setCell(int x, int y, quint16 colour)
    {
        reinterpret_cast<quint16 *>(m_image.scanLine(y))[x] = colour;
    }

    QImage m_image;
    int m_facet = -1;
    int m_blocksY = 0;
    quint64 m_revision = 0;
    int m_blocksColoured = 0;
};
