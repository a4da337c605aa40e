#pragma once
#include <QByteArray>
#include <QImage>

namespace sampleworld {

// art.mul/artidx.mul: every land and static id of the catalogue that has a look.
void artFiles(QByteArray *index, QByteArray *data);
// texmaps.mul/texidx.mul for the catalogue's textures.
void textureFiles(QByteArray *index, QByteArray *data);
// The art of one tile as a picture, transparent outside the drawing; a null image for ids
// without art. The same pixels as in art.mul, for icons beside the client files.
QImage landImage(int id);
QImage staticImage(int id);

} // namespace sampleworld
