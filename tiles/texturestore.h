#pragma once
#include "tiles/hue.h"
#include "world/indexfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QImage>

// Decodes the square land textures drawn on 3D terrain. Nothing is cached.
// An entry that starts outside the data file or has no length is absent; a texture cut
// short by the end of the file keeps the rows (and pixels) that were there.
class TextureStore
{
public:
    // Opens dataDirectory() + "/texidx.mul" and "/texmaps.mul".
    TextureStore();
    TextureStore(const TextureStore &) = delete;
    TextureStore &operator=(const TextureStore &) = delete;

    // Texture textureId: 128x128 when its index record's extra is 1, otherwise 64x64;
    // null when the entry is absent. A non-empty hue recolours every pixel (never partially).
    QImage texture(int textureId, const Hue &hue, int alpha);

    // Side of a texture whose index record has this extra field.
    static int sideForExtra(int extra) { return extra == 1 ? 128 : 64; }

    // Decodes side x side colours from memory; bytes may hold fewer.
    static QImage decode(QByteArrayView bytes, int side, const Hue &hue, int alpha);

private:
    IndexFile m_index;
    QFile m_data;
    qint64 m_dataSize = 0;
    QByteArray m_buffer; // reused between textures
};
