#include "view/mapgeometry.h"

#include <algorithm>

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
