#pragma once
#include <QByteArray>

namespace sampleworld {

// art.mul/artidx.mul: every land and static id of the catalogue that has a look.
void artFiles(QByteArray *index, QByteArray *data);
// texmaps.mul/texidx.mul for the catalogue's textures.
void textureFiles(QByteArray *index, QByteArray *data);

} // namespace sampleworld
