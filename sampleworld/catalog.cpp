#include "catalog.h"

#include "bytesink.h"
#include "sampleworld.h"

#include <QString>
#include <cmath>

namespace sampleworld {

const QList<LandDef> &landDefs()
{
    static const QList<LandDef> defs = [] {
        struct Terrain {
            int first;
            const char *name;
            quint32 flags;
            quint16 texture;
            Look look;
        };
        const Terrain terrains[] = {
            {land::Grass, "grass", 0, land::GrassTexture, Look::Grass},
            {land::Water, "water", flag::Wet | flag::Impassable, land::WaterTexture, Look::Water},
            {land::Sand, "sand", 0, 0, Look::Sand},
            {land::Dirt, "dirt", 0, 0, Look::Dirt},
            {land::Rock, "rock", 0, land::RockTexture, Look::Rock},
            {land::Mountain, "mountain", flag::Impassable, land::MountainTexture, Look::Mountain},
            {land::Snow, "snow", 0, land::SnowTexture, Look::Snow},
            {land::Cave, "cave", 0, 0, Look::Cave},
        };
        QList<LandDef> out{{land::Void, "void", flag::Impassable, 0, Look::Black},
                           {land::NoDraw, "NoDraw", 0, 0, Look::None}};
        for (const Terrain &t : terrains)
            for (int v = 0; v < land::Variants; ++v)
                out.append({t.first + v, t.name, t.flags, t.texture, t.look});
        return out;
    }();
    return defs;
}

const QList<StaticDef> &staticDefs(Layout layout)
{
    using namespace flag;
    constexpr quint32 StoneWall = Background | Wall | Impassable | NoShoot;
    static const QList<StaticDef> defs = {
        {item::NoDraw, "nodraw", 0, 0, 255, Look::None},
        {item::OakTree, "oak tree", Impassable | Foliage, 20, 255, Look::OakTree},
        {item::PineTree, "pine tree", Impassable | Foliage, 24, 255, Look::PineTree},
        {item::BirchTree, "birch tree", Impassable | Foliage, 20, 255, Look::BirchTree},
        {item::Leaves, "leaves", Foliage | Translucent, 5, 255, Look::Leaves},
        {item::Bush, "bush", Foliage, 4, 255, Look::Bush},
        {item::FlowerBush, "flowering bush", Foliage, 4, 255, Look::FlowerBush},
        {item::GrassTuft, "tall grass", 0, 0, 255, Look::GrassTuft},
        {item::Rock, "rock", Impassable, 5, 255, Look::Rock1},
        {item::Rocks, "rocks", Impassable, 4, 255, Look::Rocks},
        {item::Boulder, "boulder", Impassable, 10, 255, Look::Boulder},
        {item::StoneWallX, "stone wall", StoneWall, 20, 255, Look::StoneWallX},
        {item::StoneWallY, "stone wall", StoneWall, 20, 255, Look::StoneWallY},
        {item::StonePost, "stone post", StoneWall, 20, 255, Look::StonePost},
        {item::WeatheredWall, "weathered stone wall", StoneWall, 20, 255, Look::WeatheredWall},
        {item::WoodWallX, "wooden wall", Background | Wall | Impassable, 20, 255, Look::WoodWallX},
        {item::WoodWallY, "wooden wall", Background | Wall | Impassable, 20, 255, Look::WoodWallY},
        {item::Battlement, "battlement", Wall | Impassable, 8, 255, Look::Battlement},
        {item::WoodFloor, "wooden floor", Background | Surface, 0, 255, Look::WoodFloor},
        {item::StoneFloor, "stone floor", Background | Surface, 0, 255, Look::StoneFloor},
        {item::Roof, "roof", Roof | Background | Surface, 3, 255, Look::Roof},
        {item::RoofRidge, "roof ridge", Roof | Surface, 3, 255, Look::RoofRidge},
        {item::Door, "wooden door", Door | Impassable, 20, 255, Look::Door},
        {item::WindowGlass, "window glass", Background | Window | Translucent | Wall | Impassable, 20, 255,
         Look::WindowGlass},
        {item::Sign, "sign", 0, 3, 255, Look::Sign},
        {item::Fence, "fence", Impassable, 8, 255, Look::Fence},
        {item::Barrel, "barrel", Container | Impassable, 5, 50, Look::Barrel},
        {item::TentWall, "tent wall", Wall | Impassable, 12, 255, Look::TentWall},
        {item::TentRoof, "tent roof", Roof | Surface, 4, 255, Look::TentRoof},
    };
    static const QList<StaticDef> laterDefs = [] {
        QList<StaticDef> out = defs;
        out += QList<StaticDef>{
            {later::Fern, "fern", Foliage | later::HighFlag, 2, 255, Look::Fern},
            {later::Bamboo, "bamboo", Impassable | Foliage | later::HighFlag, 22, 255, Look::Bamboo},
            {later::Crystal, "crystal", Impassable | Translucent | later::HighFlag, 12, 255, Look::Crystal},
            {later::Lantern, "lantern post", Impassable | later::HighFlag, 16, 255, Look::Lantern},
        };
        return out;
    }();
    return layout == Layout::Later ? laterDefs : defs;
}

const QList<TextureDef> &textureDefs()
{
    static const QList<TextureDef> defs = {
        {land::GrassTexture, 64, Look::Grass},     {land::WaterTexture, 64, Look::Water},
        {land::RockTexture, 128, Look::Rock},      {land::MountainTexture, 128, Look::Mountain},
        {land::SnowTexture, 64, Look::Snow},
    };
    return defs;
}

QByteArray tileDataFile(Layout layout)
{
    // The later layout widens the flags to 64 bits (land 30, static 41 bytes per record)
    // and has 2,048 static groups; the order of the fields is the same.
    const bool wide = layout == Layout::Later;
    const int staticGroups = wide ? LaterStaticGroups : StaticGroups;
    const auto flags = [&](ByteSink &out, quint64 f) {
        out.u32(quint32(f));
        if (wide)
            out.u32(quint32(f >> 32));
    };
    ByteSink out;
    out.reserve(wide ? LaterLandRegionBytes + staticGroups * LaterStaticGroupBytes
                     : LandRegionBytes + staticGroups * StaticGroupBytes);
    const QList<LandDef> &lands = landDefs();
    qsizetype next = 0;
    for (int group = 0; group < 512; ++group) {
        // The group header carries nothing the editor reads; a running number is what
        // real files tend to hold, so write that rather than zeros.
        out.u32(quint32(group));
        for (int r = 0; r < 32; ++r) {
            const int id = group * 32 + r;
            if (next < lands.size() && lands[next].id == id) {
                const LandDef &d = lands[next++];
                flags(out, d.flags);
                out.u16(d.texture);
                out.text(d.name, 20);
            } else {
                out.zeros(wide ? 30 : 26);
            }
        }
    }
    const QList<StaticDef> &statics = staticDefs(layout);
    next = 0;
    for (int group = 0; group < staticGroups; ++group) {
        out.u32(quint32(group));
        for (int r = 0; r < 32; ++r) {
            const int id = group * 32 + r;
            if (next < statics.size() && statics[next].id == id) {
                const StaticDef &d = statics[next++];
                flags(out, d.flags);
                out.u8(d.weight);
                out.u8(0);   // quality
                out.u16(0);  // reserved1
                out.u8(0);   // reserved2
                out.u8(1);   // quantity
                out.u16(0);  // animation
                out.u8(0);   // reserved3
                out.u8(0);   // hue
                out.u16(0);  // reserved4
                out.u8(d.height);
                out.text(d.name, 20);
            } else {
                out.zeros(wide ? 41 : 37);
            }
        }
    }
    return out.bytes();
}

// HSV with h in degrees, s and v in [0, 1].
static quint16 hsv555(double h, double s, double v)
{
    h = std::fmod(h, 360.0);
    const double c = v * s, x = c * (1 - std::fabs(std::fmod(h / 60.0, 2.0) - 1)), m = v - c;
    double r = 0, g = 0, b = 0;
    switch (int(h / 60.0)) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
    }
    return rgb555(int((r + m) * 255.0 + 0.5), int((g + m) * 255.0 + 0.5), int((b + m) * 255.0 + 0.5));
}

QByteArray huesFile()
{
    // Groups 0-47 walk round the colour wheel, 48-63 are greys, metals and skin tones.
    // Inside a group the eight hues go from saturated to washed out.
    static const char *const wheel[] = {"red", "orange", "amber", "yellow", "lime", "green",
                                        "jade", "teal", "cyan", "azure", "blue", "indigo",
                                        "violet", "purple", "magenta", "rose"};
    static const char *const rest[] = {"grey", "silver", "bronze", "copper", "gold", "skin", "bark", "slate"};
    ByteSink out;
    out.reserve(HueGroups * 708);
    for (int group = 0; group < HueGroups; ++group) {
        out.u32(quint32(group));
        for (int e = 0; e < 8; ++e) {
            double hueAngle, saturation;
            QString name;
            if (group < 48) {
                hueAngle = group * 7.5;
                saturation = 1.0 - e * 0.1;
                name = QStringLiteral("%1 %2").arg(QLatin1String(wheel[group / 3])).arg(group % 3 * 8 + e + 1);
            } else {
                const int k = group - 48;
                static const double angles[] = {0, 210, 30, 20, 45, 25, 28, 215};
                static const double sats[] = {0.0, 0.08, 0.55, 0.65, 0.75, 0.35, 0.5, 0.2};
                hueAngle = angles[k % 8];
                saturation = sats[k % 8] * (1.0 - e * 0.05);
                name = QStringLiteral("%1 %2").arg(QLatin1String(rest[k % 8])).arg(k / 8 * 8 + e + 1);
            }
            for (int i = 0; i < 32; ++i) {
                // Darkest first; the top of the ramp bleaches towards white like a highlight.
                const double t = i / 31.0;
                const double v = 0.06 + 0.94 * t;
                const double s = saturation * (t > 0.8 ? 1.0 - (t - 0.8) * 2.5 : 1.0);
                out.u16(hsv555(hueAngle, s, v));
            }
            out.u16(0);   // table start
            out.u16(31);  // table end
            out.text(name.toLatin1().constData(), 20);
        }
    }
    return out.bytes();
}

QList<Component> houseComponents(int w, int h, bool wooden)
{
    const int wallX = wooden ? item::WoodWallX : item::StoneWallX;
    const int wallY = wooden ? item::WoodWallY : item::StoneWallY;
    QList<Component> c;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            c.append({wooden ? item::WoodFloor : item::StoneFloor, x, y, 0, 1});
    for (int x = 1; x < w; ++x) {
        c.append({x == w / 2 ? item::WeatheredWall : wallX, x, 0, 0, 1});
        c.append({x == w / 2 ? item::Door : wallX, x, h - 1, 0, 1});
    }
    for (int y = 1; y < h; ++y) {
        c.append({wallY, 0, y, 0, 1});
        c.append({y == h / 2 ? item::WindowGlass : wallY, w - 1, y, 0, 1});
    }
    c.append({item::StonePost, 0, 0, 0, 1});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            c.append({y == h / 2 ? item::RoofRidge : item::Roof, x, y, 20, 1});
    c.append({item::Sign, w / 2 + 1, h, 10, 1});
    c.append({item::Barrel, 1, 1, 0, 1});
    return c;
}

QList<Component> tentComponents()
{
    QList<Component> c;
    for (int y = -1; y <= 1; ++y)
        for (int x = -1; x <= 1; ++x) {
            if (x != 0 || y != 1)  // the opening
                if (x != 0 || y != 0)
                    c.append({item::TentWall, x, y, 0, 1});
            c.append({item::TentRoof, x, y, 12, 1});
        }
    c.append({item::Barrel, 0, 0, 0, 1});
    return c;
}

QList<Component> towerComponents()
{
    QList<Component> c;
    for (int storey = 0; storey < 3; ++storey) {
        const int z = storey * 20;
        for (int y = -1; y <= 2; ++y)
            for (int x = -1; x <= 2; ++x) {
                c.append({item::StoneFloor, x, y, z, 1});
                const bool edgeX = y == -1 || y == 2, edgeY = x == -1 || x == 2;
                if (storey == 0 && x == 0 && y == 2)
                    c.append({item::Door, x, y, z, 1});
                else if (edgeY && edgeX)
                    c.append({item::StonePost, x, y, z, 1});
                else if (edgeX)
                    c.append({item::StoneWallX, x, y, z, 1});
                else if (edgeY)
                    c.append({storey > 0 && y == 0 ? item::WindowGlass : item::StoneWallY, x, y, z, 1});
            }
    }
    for (int y = -1; y <= 2; ++y)
        for (int x = -1; x <= 2; ++x)
            if (x == -1 || x == 2 || y == -1 || y == 2)
                c.append({item::Battlement, x, y, 60, 1});
    return c;
}

void multiFiles(QByteArray *index, QByteArray *data, Layout layout)
{
    const int componentBytes = layout == Layout::Later ? 16 : 12;
    ByteSink idx, mul;
    for (int n = 0; n < multi::Count; ++n) {
        QList<Component> parts;
        if (n == multi::House) {
            // Anchor marker first, the way client houses carry one; flags 0 keeps it off the map.
            parts.append({item::NoDraw, 0, 0, 0, 0});
            for (const Component &k : houseComponents(5, 5, false))
                parts.append({k.id, k.dx - 2, k.dy - 2, k.dz, k.flags});
        } else if (n == multi::Tent) {
            parts = tentComponents();
        } else if (n == multi::Tower) {
            parts = towerComponents();
        }
        if (parts.isEmpty()) {
            idx.i32(-1);
            idx.i32(-1);
            idx.i32(0);
            continue;
        }
        idx.i32(qint32(mul.size()));
        idx.i32(qint32(parts.size() * componentBytes));
        idx.i32(0);
        for (const Component &k : parts) {
            mul.u16(quint16(k.id));
            mul.i16(qint16(k.dx));
            mul.i16(qint16(k.dy));
            mul.i16(qint16(k.dz));
            mul.u32(k.flags);
            // Later clients put a second word after the flags; a running number shows
            // whether a reader takes it for the next component.
            if (componentBytes == 16)
                mul.u32(quint32(0x100 + (mul.size() / 16)));
        }
    }
    *index = idx.bytes();
    *data = mul.bytes();
}

} // namespace sampleworld
