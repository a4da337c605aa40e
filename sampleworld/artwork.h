#pragma once
#include "sampleworld.h"

#include <QByteArray>
#include <QImage>
#include <QList>

namespace sampleworld {

// Art records are numbered land id, then StaticArtBase + static id.
constexpr int StaticArtBase = 0x4000;

// One art record with its bytes as art.mul holds them.
struct ArtRecord {
    int index;
    QByteArray bytes;
};
// Every record that has art, ascending by index.
QList<ArtRecord> artRecords(Layout layout);

// art.mul/artidx.mul: every land and static id of the catalogue that has a look.
void artFiles(QByteArray *index, QByteArray *data);
// texmaps.mul/texidx.mul for the catalogue's textures.
void textureFiles(QByteArray *index, QByteArray *data);
// The art of one tile as a picture, transparent outside the drawing; a null image for ids
// without art. The same pixels as in art.mul, for icons beside the client files.
QImage landImage(int id);
QImage staticImage(int id, Layout layout = Layout::Early);
// radarcol.mul: one 5-5-5 colour per land id (0-0x3FFF), then per StaticArtBase + static
// id, the mean colour of the tile's art; 0 for tiles without art.
QByteArray radarColourFile(Layout layout);

} // namespace sampleworld
