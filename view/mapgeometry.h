#pragma once
#include <QtGlobal>

#include <array>
#include <cmath>

// Where cells, land and statics go on the screen. Pure arithmetic, shared by drawing,
// picking and the tests; nothing here touches OpenGL or the map data.
//
// Scene units: a cell is a 44 x 44 diamond, x grows to the right, y upwards, and one unit
// of tile z is 4 scene units (on the screen's vertical axis in isometric mode, on the depth
// axis in 3D).

namespace mapgeometry {

enum Mode { Flat = 0, Isometric = 1, ThreeD = 2 };

struct Corner {
    int x = 0;
    int y = 0;
    int z = 0;
    friend bool operator==(const Corner &a, const Corner &b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
};

} // namespace mapgeometry

// Four corners of a drawn tile, relative to its cell's screen offset. For land: top (the
// cell's own corner), left (towards x, y+1), right (towards x+1, y), bottom (x+1, y+1).
// For statics: in the order that receives texture coordinates (0,0), (1,0), (1,1), (0,1).
struct TileQuad {
    std::array<mapgeometry::Corner, 4> c{};
    mapgeometry::Corner &top() { return c[0]; }
    mapgeometry::Corner &left() { return c[1]; }
    mapgeometry::Corner &right() { return c[2]; }
    mapgeometry::Corner &bottom() { return c[3]; }
    const mapgeometry::Corner &top() const { return c[0]; }
    const mapgeometry::Corner &left() const { return c[1]; }
    const mapgeometry::Corner &right() const { return c[2]; }
    const mapgeometry::Corner &bottom() const { return c[3]; }
    friend bool operator==(const TileQuad &a, const TileQuad &b) { return a.c == b.c; }
};

// Optional height limits; both are inclusive, so a tile exactly at a limit stays.
struct ClipRange {
    bool aboveOn = false;
    int above = 127;
    bool belowOn = false;
    int below = -128;

    bool hides(int z) const { return (aboveOn && above < z) || (belowOn && below > z); }
};

namespace mapgeometry {

// Screen offset of cell (x, y) from the centre cell (cx, cy): the top corner of its diamond.
inline void cellOffset(int x, int y, int cx, int cy, int &sx, int &sy)
{
    const int dx = x - cx;
    const int dy = y - cy;
    sx = (dx - dy) * 22;
    sy = -(dx + dy) * 22;
}

// Heights of a land cell and of its south (x, y+1), east (x+1, y) and south-east neighbours,
// already resolved: a neighbour the map cannot supply counts as the cell's own z.
struct LandHeights {
    int z0 = 0;
    int zS = 0;
    int zE = 0;
    int zSE = 0;
};

// Corners of a land cell; true when the tile is stretched over its neighbours' heights.
// textured: the tile's tile-data texture id is non-zero.
bool landCorners(int mode, bool textured, const LandHeights &h, TileQuad &quad);

// Corners of a static image of w x h pixels at tile height z; tileHeight is the tile-data
// height (only 3D looks at it). A 44 x 44 image is laid out as a cell diamond.
void staticCorners(int mode, int w, int h, int z, int tileHeight, TileQuad &quad);

// The visible region at a scale: 2 * halfRows rows of 2 * halfCols cells.
struct Region {
    int halfCols = 0;
    int halfRows = 0;
    int rows() const { return 2 * halfRows; }
    int columns() const { return 2 * halfCols; }
    qint64 cells() const { return qint64(rows()) * columns(); }
};
Region regionFor(double scale);

// Walks the region around (cx, cy) back to front: rows from the top of the (unrotated)
// screen down, each row from left to right. Calls visit(x, y) for every cell, inside the
// facet or not; visit returns false to stop the walk early.
template <typename Visit>
void walkRegion(const Region &r, int cx, int cy, Visit &&visit)
{
    const double d = 0.5 * std::sqrt(double(r.halfCols) * r.halfCols + double(r.halfRows) * r.halfRows);
    const int k = int(d);
    int rx = cx - 2 * k - 1;
    int ry = cy;
    const int rows = r.rows();
    const int cols = r.columns();
    for (int i = 0; i < rows; ++i) {
        rx += (i + 1) % 2;
        ry += i % 2;
        for (int j = 0; j < cols; ++j) {
            if (!visit(rx + j, ry - j))
                return;
        }
    }
}

// Side of the power-of-two texture an image side of n pixels is scaled to (16..256).
int textureSide(int n);

// Colour of land at height z when terrain is drawn as height colours (RGBA, 0..1).
std::array<float, 4> heightColour(int z);

// The eye of the 3D view (it looks at the origin, up vector (0, 1, 0)).
std::array<double, 3> eyePosition(double angle, int distance);

} // namespace mapgeometry
