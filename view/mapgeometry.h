#pragma once
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

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

// An image's alpha as it lies in a texture: row 0 is the row texture t 0 samples.
struct AlphaMask {
    const uchar *bits = nullptr;
    int width = 0;
    int height = 0;
    qsizetype stride = 0;
    uchar at(int col, int row) const { return bits[qsizetype(row) * stride + col]; }
};

// A texel counts as opaque from this alpha on: where the 3D alpha test lets it through.
constexpr int OpaqueAlpha = 128;

// True when an image drawn on the parallelogram c0 (texture 0,0), c1 (1,0), c3 (0,1) (c2 is
// implied) shows an opaque texel at the centre of some pixel of the region [x0, x1) x
// [y0, y1). Every coordinate is in the same pixels (device pixels of the GL window); each
// pixel centre takes the texel it falls on, as nearest sampling would, so stretching and
// scaling are those of the drawing. The work is bounded by the pixels the image covers.
bool opaqueInRegion(const AlphaMask &mask, const std::array<double, 2> &c0, const std::array<double, 2> &c1,
                    const std::array<double, 2> &c3, double x0, double y0, double x1, double y1);

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

// What the window shows: projection, zoom, turn, tilt and the window's size in its own
// pixels (the view box is -(width / 2) .. width / 2 by -(height / 2) .. height / 2).
struct ViewSpec {
    int mode = Flat;
    double scale = 1.0;
    double degree = 0.0;
    double angle = 129.0;
    int distance = 4;
    int width = 0;
    int height = 0;
};

// How far a cell's drawing reaches beyond its own flat diamond, in scene units: land lifted
// by its height (isometric screen y, 3D depth axis), statics standing up and reaching out.
constexpr int kLandLiftLow = -4 * 128;
constexpr int kLandLiftHigh = 4 * 127;
constexpr int kStaticReach = 320;
constexpr int kStaticSide = 96;

struct PointF {
    double x = 0;
    double y = 0;
};

// The cells a frame walks and the order it walks them in. polygon: the part of the ground
// (scene units, relative to the centre cell's top corner, z 0) whose cells can show in the
// window, convex. The walk runs in a frame turned by quarter x 90 degrees so that its rows
// run across the screen from the back to the front; rowsReversed walks each row from the
// right (the back, when the 3D view is turned so). depth: the half depth of the box the
// frame needs (eye units) so nothing it walks is cut off.
struct WalkPlan {
    std::vector<PointF> polygon;
    int quarter = 0;
    bool rowsReversed = false;
    double depth = 2000.0;
};
WalkPlan walkPlan(const ViewSpec &view);
// About how many cells the plan's walk visits without a facet's limits (a little more,
// never less): what the draw list and the block cache make room for.
qint64 planCells(const WalkPlan &plan);

// Sin and cos of the 3D tilt: 0 looks along the ground, larger values look down on it.
inline double tiltRadians(double angle) { return angle * 0.0056; }

// Cell offset (dx, dy) in the walk frame turned by q quarters back to the scene's.
inline void fromWalkFrame(int q, int &dx, int &dy)
{
    for (int i = 0; i < (q & 3); ++i) {
        const int a = dx;
        dx = -dy;
        dy = a;
    }
}

// The x extent of a convex polygon inside the band ylo <= y <= yhi; false when it misses it.
bool polygonSpan(const std::vector<PointF> &poly, double ylo, double yhi, double &xmin, double &xmax);

// Where a walk of a plan stands: the row and the place in it of the next cell to visit.
// A fresh cursor stands before the first cell; done once the last cell was visited.
struct WalkCursor {
    int row = std::numeric_limits<int>::min();
    int index = 0;
    bool done = false;
};

// Walks the plan's cells around (cx, cy) back to front, row by row, calling visit(x, y) for
// every cell whose diamond may meet the polygon, from where cursor stands; visit returns
// false to stop after that cell, and cursor then stands at the next one. Only cells with
// 0 <= x < columns and 0 <= y < rows are visited when columns and rows are positive. A walk
// stopped and taken up again any number of times visits the same cells in the same order
// as one that never stopped.
template <typename Visit>
void walkPlanCellsFrom(const WalkPlan &plan, int cx, int cy, int columns, int rows, WalkCursor &cursor, Visit &&visit)
{
    if (cursor.done)
        return;
    if (plan.polygon.empty()) {
        cursor.done = true;
        return;
    }
    // The polygon in the walk frame: turned by quarter x 90 degrees counter-clockwise.
    std::vector<PointF> poly = plan.polygon;
    for (PointF &p : poly) {
        for (int i = 0; i < (plan.quarter & 3); ++i)
            p = PointF{-p.y, p.x};
    }
    double ymin = poly[0].y, ymax = poly[0].y;
    for (const PointF &p : poly) {
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    }
    // Row s holds the cells with dx + dy = s (frame offsets); their diamonds span
    // y = -22 s - 44 .. -22 s and x = 22 d - 22 .. 22 d + 22 with d = dx - dy.
    const int sFirst = int(std::floor((-ymax - 44.0) / 22.0));
    const int sLast = int(std::ceil(-ymin / 22.0));
    // The scene offset of frame offset (1, 0) and (0, 1): limits to the facet.
    int ax = 1, ay = 0, bx = 0, by = 1;
    fromWalkFrame(plan.quarter, ax, ay);
    fromWalkFrame(plan.quarter, bx, by);
    for (int s = std::max(sFirst, cursor.row); s <= sLast; ++s) {
        double xmin = 0, xmax = 0;
        if (!polygonSpan(poly, -22.0 * s - 44.0, -22.0 * s, xmin, xmax))
            continue;
        int dLo = int(std::floor(xmin / 22.0));
        int dHi = int(std::ceil(xmax / 22.0));
        if (columns > 0 && rows > 0) {
            // x = cx + ((ax + bx) s + (ax - bx) d) / 2, the same for y: each a d-range.
            const auto limit = [&](int c, int a, int b, int size) {
                const int k = a - b; // +1 or -1
                const int lo2 = 2 * (0 - c) - (a + b) * s, hi2 = 2 * (size - 1 - c) - (a + b) * s;
                const int l = k > 0 ? lo2 : -hi2, h = k > 0 ? hi2 : -lo2;
                dLo = std::max(dLo, l);
                dHi = std::min(dHi, h);
            };
            limit(cx, ax, bx, columns);
            limit(cy, ay, by, rows);
        }
        if (((dLo - s) & 1) != 0)
            ++dLo;
        if (((dHi - s) & 1) != 0)
            --dHi;
        for (int i = s == cursor.row ? cursor.index : 0, n = dLo > dHi ? 0 : (dHi - dLo) / 2 + 1; i < n; ++i) {
            const int d = plan.rowsReversed ? dHi - 2 * i : dLo + 2 * i;
            int dx = (s + d) / 2, dy = (s - d) / 2;
            fromWalkFrame(plan.quarter, dx, dy);
            if (!visit(cx + dx, cy + dy)) {
                cursor.row = s;
                cursor.index = i + 1;
                return;
            }
        }
    }
    cursor.done = true;
}

// The same from the first cell to the last (or until visit returns false).
template <typename Visit>
void walkPlanCells(const WalkPlan &plan, int cx, int cy, int columns, int rows, Visit &&visit)
{
    WalkCursor cursor;
    walkPlanCellsFrom(plan, cx, cy, columns, rows, cursor, std::forward<Visit>(visit));
}

// The 3D view's modelview before scale and turn, column-major as GL takes it: the eye of
// eyePosition looking at the origin, screen x along scene x. Unlike a look-at with a fixed
// up vector it stays whole when the eye looks along the ground (tilt 0).
std::array<double, 16> viewMatrix3D(double angle, int distance);

// Side of the power-of-two texture an image side of n pixels is scaled to (16..256).
int textureSide(int n);

// Colour of land at height z when terrain is drawn as height colours (RGBA, 0..1).
std::array<float, 4> heightColour(int z);

// The eye of the 3D view (it looks at the origin, up vector (0, 1, 0)).
std::array<double, 3> eyePosition(double angle, int distance);

} // namespace mapgeometry
