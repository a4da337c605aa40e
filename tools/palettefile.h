#pragma once
#include <QString>

#include <array>
#include <functional>
#include <map>
#include <vector>

// One tile choice of a group: a single tile, or several of which painting draws one at random.
struct PaletteEntry {
    std::vector<int> tiles;
    QString label; // shown under the icon
    int id = 0;    // the tile whose image is the icon
};

// A category of a palette tree as the file lists it: a tile set (group -1, always at the top
// of its tree) or a group under an earlier category.
struct PaletteCategory {
    int parent = -1; // index of the parent category in the same list; -1 at the top
    int group = -1;  // -1 for a tile set, else the kind's group number
    QString name;
    QString image;   // tile sets only: the icon's path as written (white space simplified)
};

// Everything a palette file holds, per kind (0 land, 1 statics). Categories come in
// document order, so every parent precedes its children.
struct PaletteContent {
    std::array<std::vector<PaletteCategory>, 2> categories;
    std::array<std::map<int, std::vector<PaletteEntry>>, 2> entries;
};

// Reads a palette XML file in one pass with a streaming parser and no recursion, so a file
// of any shape costs time in proportion to its size. A file larger than MaxBytes, nested
// deeper than MaxDepth elements, or not well-formed XML is refused as a whole (nothing of it
// is kept): false, and error says which file and why. cancelled, when given, is asked now
// and then and ends the read (false, error empty).
//
// The shape: any document element; its TILESETS children hold STATICS and LAND sections; a
// section holds TILESET elements (name, image) which hold GROUP elements (name), which hold
// TILE elements (text: a tile number), RANDOM elements (name, image; TILE children) and
// further groups. Element names match in any letter case, attribute names exactly. A
// TILESET at any depth starts a top-level category; groups and tiles outside a tile set
// and entries directly in a tile set mean nothing.
class PaletteFile
{
public:
    static constexpr qint64 MaxBytes = qint64(64) << 20;
    static constexpr int MaxDepth = 64;

    static bool read(const QString &path, PaletteContent *content, QString *error,
                     const std::function<bool()> &cancelled = {});
    // The same for bytes already in memory; path only names them in the error.
    static bool parse(const QByteArray &bytes, const QString &path, PaletteContent *content, QString *error,
                      const std::function<bool()> &cancelled = {});
};
