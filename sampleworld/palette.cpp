#include "palette.h"

#include "artwork.h"
#include "sampleworld.h"

#include <QBuffer>
#include <QXmlStreamWriter>

namespace sampleworld {

namespace {

// One choice of a group: a single tile, or a random set when it has a name.
struct Choice {
    const char *randomName;  // nullptr: every id becomes a single tile
    QList<int> ids;
    int icon = -1;           // random sets: the tile shown for the set (the first when -1)
};

struct Group {
    const char *name;
    QList<Choice> choices;
};

struct TileSet {
    const char *name;
    const char *icon;  // file name of the category icon, nullptr for none
    bool land;
    int iconId;        // the tile drawn into that icon
    QList<Group> groups;
};

QList<int> run(int first, int count)
{
    QList<int> ids;
    for (int i = 0; i < count; ++i)
        ids.append(first + i);
    return ids;
}

Group terrainGroup(const char *name, const char *randomName, int first)
{
    const QList<int> ids = run(first, land::Variants);
    return {name, {{randomName, ids}, {nullptr, ids}}};
}

// Tile sets and groups are listed in the order the palette shows them. Every tile that has
// art appears once as a single tile; the random sets are what painting a stretch of ground
// or a wood most often wants.
const QList<TileSet> &tileSets()
{
    static const QList<TileSet> sets = {
        {"Terrain", "palette-terrain.png", true, land::Grass,
         {terrainGroup("Grass", "grass", land::Grass), terrainGroup("Dirt", "dirt", land::Dirt),
          terrainGroup("Sand", "sand", land::Sand), terrainGroup("Water", "water", land::Water),
          terrainGroup("Rock", "rock", land::Rock), terrainGroup("Mountain", "mountain", land::Mountain),
          terrainGroup("Snow", "snow", land::Snow)}},
        {"Underground", "palette-underground.png", true, land::Cave,
         {terrainGroup("Cave floor", "cave floor", land::Cave), {"Void", {{nullptr, {land::Void}}}}}},
        {"Nature", "palette-nature.png", false, item::PineTree,
         {{"Trees",
           {{"forest", {item::OakTree, item::PineTree, item::BirchTree}, item::PineTree},
            {nullptr, {item::OakTree, item::PineTree, item::BirchTree, item::Leaves}}}},
          {"Plants",
           {{"undergrowth", {item::Bush, item::GrassTuft, item::GrassTuft, item::FlowerBush}, item::Bush},
            {nullptr, {item::Bush, item::FlowerBush, item::GrassTuft}}}},
          {"Rocks",
           {{"rocks", {item::Rock, item::Rocks, item::Boulder}, item::Rocks},
            {nullptr, {item::Rock, item::Rocks, item::Boulder}}}}}},
        {"Buildings", "palette-buildings.png", false, item::StoneWallX,
         {{"Stone walls",
           {{"old wall", {item::StoneWallX, item::WeatheredWall}, item::WeatheredWall},
            {nullptr, {item::StoneWallX, item::StoneWallY, item::StonePost, item::WeatheredWall, item::Battlement}}}},
          {"Wooden walls", {{nullptr, {item::WoodWallX, item::WoodWallY}}}},
          {"Floors", {{nullptr, {item::WoodFloor, item::StoneFloor}}}},
          {"Roofs", {{nullptr, {item::Roof, item::RoofRidge}}}},
          {"Doors and windows", {{nullptr, {item::Door, item::WindowGlass}}}}}},
        // No icon here, so the palette shows both kinds of category.
        {"Furnishings", nullptr, false, -1,
         {{"Outdoors", {{nullptr, {item::Sign, item::Fence, item::Barrel}}}},
          {"Tent", {{"tent", {item::TentWall, item::TentRoof}}, {nullptr, {item::TentWall, item::TentRoof}}}}}},
    };
    return sets;
}

// The later layout's own statics, which early tile data cannot hold.
const QList<TileSet> &laterTileSets()
{
    static const QList<TileSet> sets = [] {
        QList<TileSet> out = tileSets();
        out.append({"Distant lands", nullptr, false, -1,
                    {{"Plants", {{"fern and bamboo", {later::Fern, later::Bamboo, later::Fern}, later::Bamboo},
                                 {nullptr, {later::Fern, later::Bamboo}}}},
                     {"Minerals", {{nullptr, {later::Crystal}}}},
                     {"Lights", {{nullptr, {later::Lantern}}}}}});
        return out;
    }();
    return sets;
}

void writeSection(QXmlStreamWriter &xml, bool land, Layout layout)
{
    xml.writeStartElement(land ? QStringLiteral("LAND") : QStringLiteral("STATICS"));
    for (const TileSet &set : layout == Layout::Later ? laterTileSets() : tileSets()) {
        if (set.land != land)
            continue;
        xml.writeStartElement(QStringLiteral("TILESET"));
        xml.writeAttribute(QStringLiteral("name"), QLatin1String(set.name));
        if (set.icon)
            xml.writeAttribute(QStringLiteral("image"), QLatin1String(set.icon));
        for (const Group &group : set.groups) {
            xml.writeStartElement(QStringLiteral("GROUP"));
            xml.writeAttribute(QStringLiteral("name"), QLatin1String(group.name));
            for (const Choice &choice : group.choices) {
                if (choice.randomName) {
                    xml.writeStartElement(QStringLiteral("RANDOM"));
                    xml.writeAttribute(QStringLiteral("name"), QLatin1String(choice.randomName));
                    xml.writeAttribute(QStringLiteral("image"),
                                       QString::number(choice.icon >= 0 ? choice.icon : choice.ids.first()));
                }
                for (int id : choice.ids)
                    xml.writeTextElement(QStringLiteral("TILE"), QString::number(id));
                if (choice.randomName)
                    xml.writeEndElement();
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

} // namespace

QByteArray paletteFile(Layout layout)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeComment(QStringLiteral(" Tiles of the sample world, written by tessaryn-sampleworld. "));
    xml.writeStartElement(QStringLiteral("PALETTE"));
    xml.writeStartElement(QStringLiteral("TILESETS"));
    // Statics first: the palette's first tab is the statics tab.
    writeSection(xml, false, layout);
    writeSection(xml, true, layout);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

QList<PaletteIcon> paletteIcons()
{
    QList<PaletteIcon> icons;
    for (const TileSet &set : tileSets()) {
        if (!set.icon)
            continue;
        const QImage image = set.land ? landImage(set.iconId) : staticImage(set.iconId);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        icons.append({QLatin1String(set.icon), png});
    }
    return icons;
}

} // namespace sampleworld
