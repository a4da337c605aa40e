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
// of its land tile; beside it the land's height per cell. Built from the facet's files,
// block by block, without the block cache, whole or a piece of PieceBlocks x PieceBlocks
// blocks at a time; kept up to date block by block from the cache as edits change it.
class OverviewImage
{
public:
    static constexpr int PieceBlocks = 16;
    static constexpr int PieceCells = PieceBlocks * 8;

    // Builds the image of facet from what its files hold with the difference files and
    // this run's working files applied (not through any cache), then takes the blocks that
    // cache holds changed when the cache is on the same facet: begin and every piece.
    void build(Facet &facet, TileData &tileData, OverviewColours &colours, BlockCache *cache = nullptr);
    // Makes the image of facet black, with no piece built yet.
    void begin(const Facet &facet);
    // Builds piece (px, py) as build does it (the pieces of the facet's right and bottom
    // edge may be narrower); the cells coloured, empty when the piece is outside the
    // facet. Building a piece again reads it again.
    QRect buildPiece(Facet &facet, TileData &tileData, OverviewColours &colours, BlockCache *cache, int px,
                     int py);
    int piecesX() const { return m_piecesX; }
    int piecesY() const { return m_piecesY; }
    bool pieceBuilt(int px, int py) const;
    // Every piece built: the image is what build makes.
    bool isComplete() const { return !m_image.isNull() && m_piecesBuilt == m_piecesX * m_piecesY; }
    int piecesBuilt() const { return m_piecesBuilt; }

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
    // The height of the cell's land (0 where it has none, or before its piece is built);
    // outside the image, that of the nearest cell inside it.
    int heightAt(int x, int y) const;
    // Counts every build, piece and update that changed pixels: what a viewer compares to
    // know whether what it drew is still current.
    quint64 revision() const { return m_revision; }
    // Blocks coloured by the last build, piece or update.
    int blocksColoured() const { return m_blocksColoured; }

private:
    void setCell(int x, int y, quint16 colour)
    {
        reinterpret_cast<quint16 *>(m_image.scanLine(y))[x] = colour;
    }
    int colourBlocks(Facet &facet, TileData &tileData, OverviewColours &colours, int bx0, int by0, int bx1,
                     int by1);

    QImage m_image;
    std::vector<qint8> m_heights; // row by row, as the image
    std::vector<char> m_pieces;   // built or not, row by row of pieces
    int m_facet = -1;
    int m_blocksY = 0;
    int m_piecesX = 0;
    int m_piecesY = 0;
    int m_piecesBuilt = 0;
    quint64 m_revision = 0;
    int m_blocksColoured = 0;
};
