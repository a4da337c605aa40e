#include "artwork.h"

#include "bytesink.h"
#include "catalog.h"
#include "noise.h"
#include "sampleworld.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace sampleworld {

namespace {

struct Rgb {
    int r, g, b;
};

Rgb scale(Rgb c, float f) { return {int(c.r * f), int(c.g * f), int(c.b * f)}; }
Rgb mix(Rgb a, Rgb b, float t)
{
    return {int(a.r + (b.r - a.r) * t), int(a.g + (b.g - a.g) * t), int(a.b + (b.b - a.b) * t)};
}
quint16 pack(Rgb c) { return rgb555(c.r, c.g, c.b); }
QRgb argb(quint16 c)
{
    const auto channel = [](int v) { return (v << 3) | (v >> 2); };
    return qRgb(channel((c >> 10) & 31), channel((c >> 5) & 31), channel(c & 31));
}

constexpr float Pi = 3.14159265f;

// Ground colour at pixel (x, y). period is the texture edge length when the pattern
// must tile (textures), 0 for the free-standing land diamonds.
quint16 groundColour(Look look, int x, int y, quint32 seed, int period)
{
    const ValueNoise coarse(seed, period ? period / 8 : 0);
    const ValueNoise fine(seed ^ 0x5bd1e995U, period ? period / 2 : 0);
    const float n = coarse.fbm(x / 8.0f, y / 8.0f, 3);
    const float f = fine.at(x / 2.0f, y / 2.0f);
    const float speck = unit(hash2(seed, x, y));
    switch (look) {
    case Look::Black:
        return 0;
    case Look::Grass:
        if (speck < 0.06f)
            return pack({110, 170, 60});
        if (speck > 0.96f)
            return pack({30, 80, 22});
        return pack(scale({62, 128, 40}, 1.0f + 0.14f * n + 0.05f * f));
    case Look::Water: {
        const float k = period ? 2 * Pi * 3 / period : 0.45f;
        const float wave = std::sin((x + 2 * y) * k + n * 2.5f);
        if (speck > 0.992f)
            return pack({200, 220, 245});
        return pack(scale({32, 72, 168}, 1.0f + 0.10f * wave + 0.05f * n));
    }
    case Look::Sand:
        if (speck < 0.05f)
            return pack({176, 150, 92});
        return pack(scale({218, 192, 122}, 1.0f + 0.07f * n + 0.03f * f));
    case Look::Dirt:
        if (speck < 0.04f)
            return pack({150, 140, 128});
        return pack(scale({122, 86, 52}, 1.0f + 0.12f * n + 0.06f * f));
    case Look::Rock:
        if (std::fabs(f) < 0.035f)
            return pack({72, 72, 70});
        return pack(scale({128, 126, 120}, 1.0f + 0.15f * n + 0.06f * f));
    case Look::Mountain: {
        const float k = period ? 2 * Pi * 8 / period : 0.7f;
        const float strata = std::sin(y * k + n * 4.0f);
        if (speck < 0.03f)
            return pack({70, 62, 55});
        return pack(scale({118, 102, 86}, 1.0f + 0.10f * strata + 0.08f * f));
    }
    case Look::Snow:
        return pack(mix({238, 242, 250}, {180, 195, 225}, std::clamp(0.25f * n + 0.1f * f + 0.1f, 0.0f, 1.0f)));
    case Look::Cave:
        return pack(scale({72, 62, 52}, 1.0f + 0.18f * n + 0.08f * f));
    default:
        return 0;
    }
}

// Land diamond: rows 0-21 hold 2, 4 .. 44 pixels starting at column 21 - y, rows 22-43
// hold 44 .. 2 pixels starting at column k.
QByteArray landArt(Look look, quint32 seed)
{
    ByteSink out;
    out.reserve(2024);
    for (int y = 0; y < 22; ++y)
        for (int i = 0; i < 2 + 2 * y; ++i)
            out.u16(groundColour(look, 21 - y + i, y, seed, 0));
    for (int k = 0; k < 22; ++k)
        for (int i = 0; i < 44 - 2 * k; ++i)
            out.u16(groundColour(look, k + i, 22 + k, seed, 0));
    return out.bytes();
}

QByteArray texture(Look look, int size, quint32 seed)
{
    ByteSink out;
    out.reserve(size * size * 2);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            out.u16(groundColour(look, x, y, seed, size));
    return out.bytes();
}

// A small raster for static art; -1 is a transparent pixel.
class Canvas {
public:
    Canvas(int w, int h) : w(w), h(h), px(size_t(w * h), -1) {}

    // A negative red component leaves the pixel as it is (holes in fences and the like).
    void set(int x, int y, Rgb c)
    {
        if (c.r >= 0 && x >= 0 && y >= 0 && x < w && y < h)
            px[size_t(y * w + x)] = pack(c);
    }
    void clear(int x, int y)
    {
        if (x >= 0 && y >= 0 && x < w && y < h)
            px[size_t(y * w + x)] = -1;
    }
    bool isSet(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h && px[size_t(y * w + x)] >= 0; }

    using Shader = std::function<Rgb(int x, int y)>;

    void rect(int x0, int y0, int x1, int y1, const Shader &s)
    {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                set(x, y, s(x, y));
    }
    // Ellipse lit from the upper left: the shader gets the light factor in [0.6, 1.3].
    void blob(float cx, float cy, float rx, float ry, Rgb base, quint32 seed, float speckle = 0.12f)
    {
        for (int y = int(cy - ry); y <= int(cy + ry + 1); ++y)
            for (int x = int(cx - rx); x <= int(cx + rx + 1); ++x) {
                const float dx = (x + 0.5f - cx) / rx, dy = (y + 0.5f - cy) / ry;
                if (dx * dx + dy * dy > 1.0f)
                    continue;
                const float light = 1.0f - 0.3f * (dx + dy) - 0.15f * (dx * dx + dy * dy);
                const float s = unit(hash2(seed, x, y));
                set(x, y, scale(base, light * (1.0f + speckle * (s - 0.5f) * 2.0f)));
            }
    }
    void triangle(float ax, float ay, float bx, float by, float cx, float cy, const Shader &s)
    {
        const int x0 = int(std::min({ax, bx, cx})), x1 = int(std::max({ax, bx, cx}));
        const int y0 = int(std::min({ay, by, cy})), y1 = int(std::max({ay, by, cy}));
        auto edge = [](float px, float py, float qx, float qy, float x, float y) {
            return (qx - px) * (y - py) - (qy - py) * (x - px);
        };
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const float fx = x + 0.5f, fy = y + 0.5f;
                const float e0 = edge(ax, ay, bx, by, fx, fy), e1 = edge(bx, by, cx, cy, fx, fy),
                            e2 = edge(cx, cy, ax, ay, fx, fy);
                if ((e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0))
                    set(x, y, s(x, y));
            }
    }
    // The 44x44 floor diamond with its top vertex at row top.
    void diamond(int top, const Shader &s)
    {
        for (int r = 0; r < 44; ++r) {
            const int half = r < 22 ? r + 1 : 44 - r;
            for (int x = 22 - half; x < 22 + half; ++x)
                set(x, top + r, s(x, r));
        }
    }
    // A vertical slab standing on one upper edge of the cell diamond whose top vertex
    // is at row top: along x it is the north-east edge, along y the north-west edge.
    // The shader gets u (along the wall, 0-21) and v (height above the base).
    void slab(int top, bool alongX, int height, const std::function<Rgb(int u, int v)> &s)
    {
        for (int u = 0; u < 22; ++u) {
            const int x = alongX ? 22 + u : 21 - u;
            const int base = top + u + 1;
            for (int v = 0; v < height; ++v)
                set(x, base - v, s(u, v));
            // A bright rim on top gives the slab some thickness.
            set(x, base - height, s(u, height));
            set(x, base - height - 1, scale(s(u, height), 1.25f));
        }
    }

    QImage image() const
    {
        QImage out(w, h, QImage::Format_ARGB32);
        out.fill(Qt::transparent);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (const int c = px[size_t(y * w + x)]; c >= 0)
                    out.setPixel(x, y, argb(quint16(c)));
        return out;
    }

    QByteArray encode() const
    {
        ByteSink out;
        out.u32(0x1234);  // header: not read by the editor
        out.i16(qint16(w));
        out.i16(qint16(h));
        const qsizetype table = out.size();
        out.zeros(2 * h);
        const qsizetype data = out.size();
        for (int y = 0; y < h; ++y) {
            out.put16(table + 2 * y, quint16((out.size() - data) / 2));
            int x = 0, end = 0;
            while (x < w) {
                if (px[size_t(y * w + x)] < 0) {
                    ++x;
                    continue;
                }
                int run = x;
                while (run < w && px[size_t(y * w + run)] >= 0)
                    ++run;
                out.i16(qint16(x - end));
                out.i16(qint16(run - x));
                for (int i = x; i < run; ++i)
                    out.u16(quint16(px[size_t(y * w + i)]));
                end = x = run;
            }
            out.i16(0);
            out.i16(0);
        }
        return out.bytes();
    }

    int w, h;
    std::vector<int> px;
};

Rgb jitter(Rgb c, quint32 seed, int x, int y, float amount)
{
    return scale(c, 1.0f + amount * (unit(hash2(seed, x, y)) - 0.5f) * 2.0f);
}

Canvas tree(Look look, quint32 seed)
{
    if (look == Look::PineTree) {
        Canvas c(40, 96);
        c.rect(17, 78, 22, 95, [&](int x, int y) { return jitter({92, 60, 34}, seed, x, y, 0.15f); });
        for (int layer = 0; layer < 4; ++layer) {
            const float top = 4 + layer * 16, bottom = top + 30, half = 9 + layer * 3.5f;
            c.triangle(20, top, 20 - half, bottom, 20 + half, bottom, [&](int x, int y) {
                const float light = x < 20 ? 1.15f : 0.85f;
                return jitter(scale({28, 86, 44}, light), seed, x, y, 0.2f);
            });
        }
        return c;
    }
    const bool birch = look == Look::BirchTree;
    Canvas c(44, birch ? 88 : 90);
    const Rgb bark = birch ? Rgb{220, 218, 205} : Rgb{98, 68, 40};
    c.rect(19, 40, 24, c.h - 1, [&](int x, int y) {
        if (birch && unit(hash2(seed, x / 3, y / 2)) < 0.2f)
            return Rgb{30, 30, 30};
        return jitter(scale(bark, x < 21 ? 1.1f : 0.85f), seed, x / 2, y, 0.1f);
    });
    // Roots spreading at the foot.
    c.rect(16, c.h - 3, 27, c.h - 1, [&](int x, int y) { return jitter(bark, seed, x, y, 0.2f); });
    if (birch) {
        c.blob(21, 30, 17, 24, {96, 152, 54}, seed);
    } else {
        c.blob(22, 30, 21, 28, {42, 112, 36}, seed, 0.2f);
        c.blob(14, 22, 9, 9, {60, 135, 45}, seed + 1, 0.2f);
    }
    return c;
}

Canvas staticArt(Look look, quint32 seed)
{
    switch (look) {
    case Look::OakTree:
    case Look::PineTree:
    case Look::BirchTree:
        return tree(look, seed);
    case Look::Leaves: {
        Canvas c(44, 60);
        c.blob(22, 30, 21, 27, {50, 126, 40}, seed, 0.25f);
        // Gaps between the leaves let the trunk show through.
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                if (unit(hash2(seed + 7, x / 2, y / 2)) < 0.15f)
                    c.clear(x, y);
        return c;
    }
    case Look::Bush:
    case Look::FlowerBush: {
        Canvas c(30, 22);
        c.blob(15, 12, 14, 10, {48, 110, 38}, seed, 0.25f);
        if (look == Look::FlowerBush)
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x)
                    if (c.isSet(x, y) && unit(hash2(seed, x, y)) < 0.1f)
                        c.set(x, y, {168, 168, 168});  // grey so that a hue tints only the blossoms
        return c;
    }
    case Look::GrassTuft: {
        Canvas c(20, 14);
        for (int blade = 0; blade < 8; ++blade) {
            const int x = 2 + blade * 2, len = 6 + int(unit(hash2(seed, blade, 0)) * 8);
            const int lean = int(unit(hash2(seed, blade, 1)) * 3) - 1;
            for (int i = 0; i < len; ++i)
                c.set(x + lean * i / 5, 13 - i, scale({70, 140, 45}, 0.8f + 0.03f * i));
        }
        return c;
    }
    case Look::Rock1: {
        Canvas c(30, 25);
        c.blob(15, 14, 14, 10.5f, {128, 126, 122}, seed, 0.18f);
        return c;
    }
    case Look::Rocks: {
        Canvas c(40, 28);
        c.blob(13, 17, 12, 9, {120, 118, 112}, seed, 0.18f);
        c.blob(27, 19, 11, 8, {136, 132, 124}, seed + 1, 0.18f);
        return c;
    }
    case Look::Boulder: {
        Canvas c(36, 34);
        c.blob(18, 18, 17, 15, {112, 108, 100}, seed, 0.22f);
        return c;
    }
    case Look::StoneWallX:
    case Look::StoneWallY:
    case Look::WeatheredWall: {
        Canvas c(44, 80);
        const bool moss = look == Look::WeatheredWall;
        c.slab(36, look != Look::StoneWallY, 38, [&](int u, int v) {
            const int row = v / 6;
            const bool mortar = v % 6 == 0 || (u + row % 2 * 5) % 10 == 0;
            Rgb stone = mortar ? Rgb{88, 86, 80} : jitter({150, 146, 136}, seed, u / 5 + row * 7, row, 0.12f);
            if (moss && v < 14 && unit(hash2(seed, u, v)) < 0.3f)
                stone = {70, 110, 50};
            return scale(stone, look == Look::StoneWallY ? 1.05f : 0.9f);
        });
        return c;
    }
    case Look::WoodWallX:
    case Look::WoodWallY: {
        Canvas c(44, 80);
        c.slab(36, look == Look::WoodWallX, 38, [&](int u, int v) {
            if (u % 4 == 0)
                return Rgb{70, 46, 26};
            return jitter(scale({140, 98, 58}, look == Look::WoodWallY ? 1.05f : 0.9f), seed, u / 4, v / 3, 0.06f);
        });
        return c;
    }
    case Look::StonePost: {
        Canvas c(44, 80);
        c.rect(18, 0, 25, 38, [&](int x, int y) { return jitter(scale({150, 146, 136}, x < 22 ? 1.1f : 0.85f), seed, x, y / 3, 0.1f); });
        return c;
    }
    case Look::Battlement: {
        Canvas c(44, 60);
        c.slab(16, true, 22, [&](int u, int v) {
            return jitter({150, 146, 136}, seed, u / 5 + v / 6 * 7, v / 6, 0.12f);
        });
        // Crenels: cut gaps out of the upper part.
        for (int u = 0; u < 22; ++u)
            if ((u / 5) % 2 == 1)
                for (int v = 14; v <= 24; ++v)
                    c.clear(22 + u, 16 + u + 1 - v);
        return c;
    }
    case Look::WoodFloor:
    case Look::StoneFloor: {
        Canvas c(44, 44);
        const bool wood = look == Look::WoodFloor;
        c.diamond(0, [&](int x, int y) {
            if (wood) {
                const int plank = (x + y) / 6;
                if ((x + y) % 6 == 0)
                    return Rgb{80, 54, 30};
                return jitter({156, 112, 66}, seed, plank, (x - y + 44) / 16, 0.12f);
            }
            const int u = (x + y) / 11, v = (x - y + 44) / 11;
            if ((x + y) % 11 == 0 || (x - y + 44) % 11 == 0)
                return Rgb{84, 82, 78};
            return jitter({150, 146, 140}, seed, u, v, 0.12f);
        });
        return c;
    }
    case Look::Roof:
    case Look::RoofRidge: {
        Canvas c(44, 48);
        // The eaves: a darker band under the two lower edges.
        c.diamond(4, [&](int, int) { return Rgb{90, 40, 32}; });
        c.diamond(0, [&](int x, int y) {
            if ((x - y + 44) % 5 == 0)
                return Rgb{110, 44, 36};
            if (look == Look::RoofRidge && std::abs(x + y - 44) <= 2)
                return Rgb{200, 110, 90};
            return jitter(scale({168, 72, 56}, x + y < 44 ? 1.1f : 0.9f), seed, x / 4, y / 2, 0.1f);
        });
        return c;
    }
    case Look::Door: {
        Canvas c(44, 80);
        c.slab(36, true, 38, [&](int u, int v) {
            if (u < 2 || u > 19 || v > 34)
                return Rgb{70, 46, 26};  // frame
            if (u == 16 && v >= 16 && v <= 18)
                return Rgb{200, 180, 60};  // handle
            return jitter(u % 5 == 0 ? Rgb{96, 62, 34} : Rgb{128, 84, 46}, seed, u / 5, 0, 0.08f);
        });
        return c;
    }
    case Look::WindowGlass: {
        Canvas c(44, 80);
        c.slab(36, false, 38, [&](int u, int v) {
            if (u < 2 || u > 19 || v < 8 || v > 32 || u == 11 || v == 20)
                return Rgb{96, 64, 36};
            return jitter({150, 190, 225}, seed, u, v, 0.05f);
        });
        return c;
    }
    case Look::Sign: {
        Canvas c(24, 36);
        c.rect(2, 0, 4, 35, [&](int, int) { return Rgb{80, 52, 30}; });
        c.rect(5, 2, 21, 3, [&](int, int) { return Rgb{80, 52, 30}; });
        c.rect(6, 6, 22, 18, [&](int x, int y) {
            if (x == 6 || x == 22 || y == 6 || y == 18)
                return Rgb{70, 46, 26};
            if ((y == 10 || y == 14) && x > 8 && x < 20)
                return Rgb{40, 30, 20};  // lettering
            return jitter({196, 166, 110}, seed, x, y, 0.05f);
        });
        c.set(12, 4, {60, 60, 60});
        c.set(12, 5, {60, 60, 60});
        return c;
    }
    case Look::Fence: {
        Canvas c(44, 60);
        c.slab(16, true, 16, [&](int u, int v) {
            const bool post = u % 9 == 1;
            const bool rail = (v >= 4 && v <= 6) || (v >= 11 && v <= 13);
            return post || rail ? jitter({132, 92, 54}, seed, u, v / 4, 0.1f) : Rgb{-1, 0, 0};
        });
        return c;
    }
    case Look::Barrel: {
        Canvas c(24, 30);
        c.rect(2, 4, 21, 29, [&](int x, int y) {
            if (y == 9 || y == 22)
                return Rgb{60, 60, 64};
            return jitter(scale({132, 88, 48}, x < 11 ? 1.12f : 0.85f), seed, x / 3, 0, 0.1f);
        });
        c.blob(11.5f, 4.5f, 10, 4, {110, 74, 40}, seed, 0.05f);
        return c;
    }
    case Look::TentWall: {
        Canvas c(44, 72);
        c.slab(28, true, 30, [&](int u, int v) {
            return jitter(scale({206, 186, 146}, 1.0f - v * 0.006f), seed, u / 6, v / 10, 0.05f);
        });
        return c;
    }
    case Look::TentRoof: {
        Canvas c(44, 56);
        const auto canvas = [&](float light) {
            return [&, light](int x, int y) { return jitter(scale({200, 176, 132}, light), seed, x / 3, y / 6, 0.05f); };
        };
        c.triangle(22, 0, 0, 34, 22, 55, canvas(1.1f));
        c.triangle(22, 0, 44, 34, 22, 55, canvas(0.85f));
        return c;
    }
    case Look::Fern: {
        Canvas c(24, 16);
        for (int frond = 0; frond < 5; ++frond) {
            const float angle = Pi * (0.15f + 0.175f * frond);
            for (int i = 0; i < 11; ++i) {
                const int x = 12 + int(std::cos(angle) * i), y = 15 - int(std::sin(angle) * i * 1.2f);
                c.set(x, y, jitter({58, 120, 52}, seed, frond, i, 0.15f));
                if (i % 2 == 1)
                    c.set(x + 1, y - 1, {84, 150, 64});
            }
        }
        return c;
    }
    case Look::Bamboo: {
        Canvas c(32, 100);
        for (int stalk = 0; stalk < 4; ++stalk) {
            const int x0 = 4 + stalk * 7, top = 6 + int(unit(hash2(seed, stalk, 0)) * 20);
            c.rect(x0, top, x0 + 2, 99, [&](int x, int y) {
                if ((y - top) % 14 == 0)
                    return Rgb{92, 110, 40};  // the nodes
                return scale({128, 168, 64}, x == x0 ? 1.15f : 0.9f);
            });
            c.blob(x0 + 4.0f, top + 4.0f, 5, 2, {70, 140, 50}, seed + stalk, 0.2f);
        }
        return c;
    }
    case Look::Crystal: {
        Canvas c(36, 48);
        const auto shard = [&](float light) {
            return [&, light](int x, int y) { return jitter(scale({120, 170, 230}, light), seed, x / 2, y / 3, 0.08f); };
        };
        c.triangle(18, 0, 8, 40, 18, 47, shard(1.2f));
        c.triangle(18, 0, 28, 40, 18, 47, shard(0.85f));
        c.triangle(7, 14, 2, 44, 11, 46, shard(1.0f));
        c.triangle(29, 18, 34, 45, 25, 46, shard(0.8f));
        return c;
    }
    case Look::Lantern: {
        Canvas c(20, 70);
        c.rect(9, 18, 11, 69, [&](int x, int) { return scale({60, 60, 66}, x == 9 ? 1.2f : 0.9f); });
        c.rect(5, 4, 15, 17, [&](int x, int y) {
            if (x == 5 || x == 15 || y == 4 || y == 17)
                return Rgb{50, 50, 56};
            return jitter({250, 214, 110}, seed, x, y, 0.06f);
        });
        c.triangle(10, 0, 3, 5, 17, 5, [&](int, int) { return Rgb{50, 50, 56}; });
        return c;
    }
    default:
        return Canvas(0, 0);
    }
}

} // namespace

QList<ArtRecord> artRecords(Layout layout)
{
    QList<ArtRecord> records;
    for (const LandDef &d : landDefs())
        if (d.look != Look::None)
            records.append({d.id, landArt(d.look, hash32(quint32(d.id) + 0x1000U))});
    for (const StaticDef &d : staticDefs(layout))
        if (d.look != Look::None)
            records.append({StaticArtBase + d.id, staticArt(d.look, hash32(quint32(d.id) + 0x2000U)).encode()});
    return records;
}

void artFiles(QByteArray *index, QByteArray *data)
{
    const int records = StaticArtBase + StaticGroups * 32;
    std::vector<QByteArray> images(static_cast<size_t>(records));
    for (const ArtRecord &r : artRecords(Layout::Early))
        images[size_t(r.index)] = r.bytes;

    ByteSink idx, art;
    idx.reserve(records * 12);
    for (const QByteArray &image : images) {
        if (image.isEmpty()) {
            idx.i32(-1);
            idx.i32(-1);
            idx.i32(0);
            continue;
        }
        idx.i32(qint32(art.size()));
        idx.i32(qint32(image.size()));
        idx.i32(0);
        art.raw(image);
    }
    *index = idx.bytes();
    *data = art.bytes();
}

QByteArray radarColourFile(Layout layout)
{
    // The mean colour of each tile's art: what a shrunk picture of the map shows.
    const int statics = (layout == Layout::Later ? LaterStaticGroups : StaticGroups) * 32;
    std::vector<quint16> colours(size_t(StaticArtBase + statics), 0);
    for (const ArtRecord &r : artRecords(layout)) {
        const QImage image = r.index < StaticArtBase ? landImage(r.index) : staticImage(r.index - StaticArtBase, layout);
        qint64 sum[3] = {0, 0, 0}, count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb px = image.pixel(x, y);
                if (qAlpha(px) == 0)
                    continue;
                sum[0] += qRed(px);
                sum[1] += qGreen(px);
                sum[2] += qBlue(px);
                ++count;
            }
        if (count)
            colours[size_t(r.index)] = rgb555(int(sum[0] / count), int(sum[1] / count), int(sum[2] / count));
    }
    ByteSink out;
    out.reserve(qsizetype(colours.size()) * 2);
    for (quint16 c : colours)
        out.u16(c);
    return out.bytes();
}

void textureFiles(QByteArray *index, QByteArray *data)
{
    ByteSink idx, tex;
    for (int id = 0; id < land::TextureCount; ++id) {
        const auto it = std::find_if(textureDefs().begin(), textureDefs().end(),
                                     [id](const TextureDef &t) { return t.id == id; });
        if (it == textureDefs().end()) {
            idx.i32(-1);
            idx.i32(-1);
            idx.i32(0);
            continue;
        }
        const QByteArray bytes = texture(it->look, it->size, hash32(quint32(id) + 0x3000U));
        idx.i32(qint32(tex.size()));
        idx.i32(qint32(bytes.size()));
        idx.i32(it->size == 128 ? 1 : 0);
        tex.raw(bytes);
    }
    *index = idx.bytes();
    *data = tex.bytes();
}

QImage landImage(int id)
{
    const auto it = std::find_if(landDefs().begin(), landDefs().end(), [id](const LandDef &d) { return d.id == id; });
    if (it == landDefs().end() || it->look == Look::None)
        return QImage();
    const QByteArray raw = landArt(it->look, hash32(quint32(id) + 0x1000U));
    const auto colour = [&raw](int i) { return quint16(quint8(raw[2 * i]) | (quint8(raw[2 * i + 1]) << 8)); };
    QImage out(44, 44, QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    int i = 0;
    for (int y = 0; y < 22; ++y)
        for (int k = 0; k < 2 + 2 * y; ++k)
            out.setPixel(21 - y + k, y, argb(colour(i++)));
    for (int k = 0; k < 22; ++k)
        for (int j = 0; j < 44 - 2 * k; ++j)
            out.setPixel(k + j, 22 + k, argb(colour(i++)));
    return out;
}

QImage staticImage(int id, Layout layout)
{
    const QList<StaticDef> &defs = staticDefs(layout);
    const auto it = std::find_if(defs.begin(), defs.end(), [id](const StaticDef &d) { return d.id == id; });
    if (it == defs.end() || it->look == Look::None)
        return QImage();
    return staticArt(it->look, hash32(quint32(id) + 0x2000U)).image();
}

QList<int> landIdsWithArt()
{
    QList<int> ids;
    for (const LandDef &d : landDefs())
        if (d.look != Look::None)
            ids.append(d.id);
    return ids;
}

QList<int> staticIdsWithArt(Layout layout)
{
    QList<int> ids;
    for (const StaticDef &d : staticDefs(layout))
        if (d.look != Look::None)
            ids.append(d.id);
    return ids;
}

} // namespace sampleworld
