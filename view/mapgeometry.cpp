#include "view/mapgeometry.h"

#include <algorithm>
#include <cmath>

namespace mapgeometry {

bool landCorners(int mode, bool textured, const LandHeights &h, TileQuad &q)
{
    if (mode == Flat) {
        q.top() = {0, 0, 0};
        q.left() = {-22, -22, 0};
        q.right() = {22, -22, 0};
        q.bottom() = {0, -44, 0};
        return false;
    }
    if (mode == Isometric) {
        // A textured tile bends over its neighbours; an untextured one (art diamond) stays
        // a plain diamond lifted to its own height, as does a textured one on level ground.
        if (textured && !(h.z0 == h.zE && h.z0 == h.zSE && h.z0 == h.zS)) {
            q.top() = {0, 4 * h.z0, 0};
            q.left() = {-22, 4 * h.zS - 22, 0};
            q.right() = {22, 4 * h.zE - 22, 0};
            q.bottom() = {0, 4 * h.zSE - 44, 0};
            return true;
        }
        const int z = 4 * h.z0;
        q.top() = {0, z, 0};
        q.left() = {-22, z - 22, 0};
        q.right() = {22, z - 22, 0};
        q.bottom() = {0, z - 44, 0};
        return false;
    }
    // 3D: heights go to the depth axis; textured land always follows its neighbours.
    const bool stretched = textured;
    q.top() = {0, 0, 4 * h.z0};
    q.left() = {-22, -22, 4 * (stretched ? h.zS : h.z0)};
    q.right() = {22, -22, 4 * (stretched ? h.zE : h.z0)};
    q.bottom() = {0, -44, 4 * (stretched ? h.zSE : h.z0)};
    return stretched;
}

void staticCorners(int mode, int w, int h, int z, int tileHeight, TileQuad &q)
{
    const int f = mode == Flat ? 0 : 1;
    const int Z = 4 * z * f;
    if (w == 44 && h == 44) {
        if (mode == ThreeD) {
            q.c = {Corner{-22, -22, 4 * z}, Corner{0, -44, 4 * z}, Corner{22, -22, 4 * z}, Corner{0, 0, 4 * z}};
        } else {
            q.c = {Corner{-22, Z - 22, 0}, Corner{0, Z - 44, 0}, Corner{22, Z - 22, 0}, Corner{0, Z, 0}};
        }
        return;
    }
    // One unit wider on the left and two on the right than the image: the rectangle the
    // client's own drawing covers, centred on the cell's bottom corner.
    const int half = w / 2;
    const int L = -1 - half;
    const int R = half + 2;
    if (mode != ThreeD) {
        q.c = {Corner{L, Z - 44, 0}, Corner{R, Z - 44, 0}, Corner{R, Z - 44 + h, 0}, Corner{L, Z - 44 + h, 0}};
    } else if (tileHeight == 0) {
        // Flat things (floors, rugs) lie on the ground, reaching away from the viewer.
        q.c = {Corner{L, -44, 4 * z}, Corner{R, -44, 4 * z}, Corner{R, h - 44, 4 * z}, Corner{L, h - 44, 4 * z}};
    } else {
        q.c = {Corner{L, -44, 4 * z}, Corner{R, -44, 4 * z}, Corner{R, -44, 4 * z + h}, Corner{L, -44, 4 * z + h}};
    }
}

bool opaqueInRegion(const AlphaMask &mask, const std::array<double, 2> &c0, const std::array<double, 2> &c1,
                    const std::array<double, 2> &c3, double x0, double y0, double x1, double y1)
{
    if (!mask.bits || mask.width <= 0 || mask.height <= 0)
        return false;
    const double ax = c1[0] - c0[0], ay = c1[1] - c0[1]; // along s
    const double bx = c3[0] - c0[0], by = c3[1] - c0[1]; // along t
    const double det = ax * by - ay * bx;
    if (std::abs(det) < 1e-9)
        return false; // drawn without area: nothing to see
    // The parallelogram's bounding box, cut to the region.
    const double c2x = c1[0] + bx, c2y = c1[1] + by;
    const double minX = std::max(x0, std::min({c0[0], c1[0], c3[0], c2x}));
    const double maxX = std::min(x1, std::max({c0[0], c1[0], c3[0], c2x}));
    const double minY = std::max(y0, std::min({c0[1], c1[1], c3[1], c2y}));
    const double maxY = std::min(y1, std::max({c0[1], c1[1], c3[1], c2y}));
    if (minX >= maxX || minY >= maxY)
        return false;
    // Pixel centres i + 0.5 inside [minX, maxX), likewise for rows.
    const int i0 = int(std::ceil(minX - 0.5)), i1 = int(std::ceil(maxX - 0.5));
    const int j0 = int(std::ceil(minY - 0.5)), j1 = int(std::ceil(maxY - 0.5));
    for (int j = j0; j < j1; ++j) {
        const double py = j + 0.5 - c0[1];
        for (int i = i0; i < i1; ++i) {
            const double px = i + 0.5 - c0[0];
            const double s = (px * by - py * bx) / det;
            const double t = (ax * py - ay * px) / det;
            if (s < 0 || s >= 1 || t < 0 || t >= 1)
                continue;
            const int col = std::min(mask.width - 1, int(s * mask.width));
            const int row = std::min(mask.height - 1, int(t * mask.height));
            if (mask.at(col, row) >= OpaqueAlpha)
                return true;
        }
    }
    return false;
}

Region regionFor(double scale)
{
    Region r;
    r.halfCols = 1 - int(-20.0 / scale);
    r.halfRows = 1 - int(-40.0 / scale);
    return r;
}

int textureSide(int n)
{
    if (n <= 16)
        return 16;
    if (n <= 32)
        return 32;
    if (n <= 64)
        return 64;
    if (n <= 128)
        return 128;
    return 256;
}

std::array<float, 4> heightColour(int z)
{
    const auto pos = [](float v) { return std::max(v, 0.0f); };
    if (z < -43)
        return {pos(-(z + 41) / 87.0f), pos((z + 58) / 87.0f), 0.0f, 1.0f};
    if (z < 42)
        return {0.0f, pos((z + 44) / 87.0f), 0.0f, 1.0f};
    return {0.0f, 0.0f, pos((z - 40) / 87.0f), 1.0f};
}

std::array<double, 3> eyePosition(double angle, int distance)
{
    const double t = angle * 0.0056;
    return {0.0, -std::cos(t) * distance, std::sin(t) * distance};
}

} // namespace mapgeometry

namespace mapgeometry {

namespace {

double cross(const PointF &o, const PointF &a, const PointF &b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Convex hull, counter-clockwise (Andrew's monotone chain).
std::vector<PointF> hull(std::vector<PointF> pts)
{
    std::sort(pts.begin(), pts.end(), [](const PointF &a, const PointF &b) {
        return a.x < b.x || (a.x == b.x && a.y < b.y);
    });
    if (pts.size() < 3)
        return pts;
    std::vector<PointF> h(2 * pts.size());
    size_t k = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], pts[i]) <= 0)
            --k;
        h[k++] = pts[i];
    }
    for (size_t i = pts.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && cross(h[k - 2], h[k - 1], pts[i - 1]) <= 0)
            --k;
        h[k++] = pts[i - 1];
    }
    h.resize(k - 1);
    return h;
}

PointF turned(const PointF &p, double radians)
{
    const double c = std::cos(radians), s = std::sin(radians);
    return PointF{p.x * c - p.y * s, p.x * s + p.y * c};
}

} // namespace

WalkPlan walkPlan(const ViewSpec &v)
{
    WalkPlan plan;
    if (v.width <= 0 || v.height <= 0 || !(v.scale > 0))
        return plan;
    const double hw = (v.width / 2) / v.scale;
    const double hh = (v.height / 2) / v.scale;
    const double theta = v.degree * M_PI / 180.0;
    std::vector<PointF> pts;
    if (v.mode != ThreeD) {
        // The window's rectangle on the ground, stretched down by what a cell below it can
        // raise into it and up by what one above can drop into it.
        const double up = (v.mode == Isometric ? kLandLiftHigh : 0) + kStaticReach;
        const double down = v.mode == Isometric ? -kLandLiftLow : 0;
        // Both reach along the scene's own axes: the picture turns as a whole.
        for (const PointF &c : {PointF{-hw, -hh}, PointF{hw, -hh}, PointF{hw, hh}, PointF{-hw, hh}}) {
            const PointF g = turned(c, -theta);
            for (const double dx : {-double(kStaticSide), double(kStaticSide)}) {
                pts.push_back(PointF{g.x + dx, g.y - up});
                pts.push_back(PointF{g.x + dx, g.y + down});
            }
        }
        plan.polygon = hull(std::move(pts));
        return plan;
    }

    // 3D: screen y = turned y x sin(t) + z x cos(t), so the ground under the window is a
    // band in the turned frame, deeper the flatter the view; a view along the ground sees
    // as deep as its box allows.
    const double t = tiltRadians(v.angle);
    const double st = std::sin(t), ct = std::cos(t);
    const double reach = 4.0 * std::max(v.width, v.height) / v.scale;
    const double zLow = kLandLiftLow, zHigh = kLandLiftHigh + kStaticReach;
    double yLo = -reach, yHi = reach;
    if (st > 1e-6) {
        const double a = (-hh - std::max(zLow * ct, zHigh * ct)) / st;
        const double b = (hh - std::min(zLow * ct, zHigh * ct)) / st;
        yLo = std::max(yLo, std::min(a, b));
        yHi = std::min(yHi, std::max(a, b));
    }
    const double sw = hw + kStaticSide; // standing images face the screen
    for (const PointF &c : {PointF{-sw, yLo}, PointF{sw, yLo}, PointF{sw, yHi}, PointF{-sw, yHi}})
        pts.push_back(turned(c, -theta));
    plan.polygon = hull(std::move(pts));
    const double q = std::round(v.degree / 90.0);
    plan.quarter = int(std::fmod(std::fmod(q, 4.0) + 4.0, 4.0));
    plan.rowsReversed = std::sin(theta - q * M_PI / 2.0) > 1e-9;
    const double deepest = std::max(std::abs(yLo), std::abs(yHi)) + std::max(-zLow, zHigh) + 64.0;
    plan.depth = std::max(2000.0, deepest * v.scale + v.distance);
    return plan;
}

qint64 planCells(const WalkPlan &plan)
{
    const auto &p = plan.polygon;
    if (p.size() < 3)
        return 0;
    double area = 0, xmin = p[0].x, xmax = p[0].x, ymin = p[0].y, ymax = p[0].y;
    for (size_t i = 0; i < p.size(); ++i) {
        const PointF &a = p[i], &b = p[(i + 1) % p.size()];
        area += a.x * b.y - b.x * a.y;
        xmin = std::min(xmin, a.x);
        xmax = std::max(xmax, a.x);
        ymin = std::min(ymin, a.y);
        ymax = std::max(ymax, a.y);
    }
    // A cell covers 968 square units; each row (in whichever frame the walk runs) gains a
    // few cells at its two ends.
    const double rows = std::max(xmax - xmin, ymax - ymin) / 22.0 + 3.0;
    return qint64(std::ceil(std::abs(area) / 2.0 / 968.0 + 4.0 * rows));
}

bool polygonSpan(const std::vector<PointF> &poly, double ylo, double yhi, double &xmin, double &xmax)
{
    bool any = false;
    const auto take = [&](double x) {
        if (!any) {
            xmin = xmax = x;
            any = true;
        } else {
            xmin = std::min(xmin, x);
            xmax = std::max(xmax, x);
        }
    };
    const size_t n = poly.size();
    for (size_t i = 0; i < n; ++i) {
        const PointF &a = poly[i];
        const PointF &b = poly[(i + 1) % n];
        if (a.y >= ylo && a.y <= yhi)
            take(a.x);
        // Where the edge crosses the band's two lines.
        for (const double y : {ylo, yhi}) {
            if ((a.y < y && b.y > y) || (a.y > y && b.y < y))
                take(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y));
        }
    }
    return any;
}

std::array<double, 16> viewMatrix3D(double angle, int distance)
{
    // Rows: screen x = scene x; screen y = (0, sin t, cos t); towards the eye = (0, -cos t,
    // sin t). The eye sits `distance` along that last axis.
    const double t = tiltRadians(angle);
    const double st = std::sin(t), ct = std::cos(t);
    std::array<double, 16> m{};
    m[0] = 1;
    m[5] = st;
    m[9] = ct;
    m[6] = -ct;
    m[10] = st;
    m[14] = -double(distance);
    m[15] = 1;
    return m;
}

} // namespace mapgeometry
