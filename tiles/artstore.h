#pragma once
#include "tiles/hue.h"
#include "world/indexfile.h"
#include "world/uopfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QImage>

// Decodes land tiles (44x44 diamonds) and static object images (run-length rows) from the
// client's art files. Nothing is cached: callers keep what they decode.
//
// Damaged entries never read outside what the file holds: an entry that starts outside the
// data file or has no length is absent (null image); data cut short by the end of the file
// ends the image and keeps what was decoded; statics with a width or height that is not
// positive or above kMaxStaticSide, or a line table that is cut off or points past the
// entry, are absent; runs that would write outside the image are skipped.
class ArtStore
{
public:
    static constexpr int kLandSide = 44;
    static constexpr int kLandBytes = 1012 * 2;
    static constexpr int kStaticRecordBase = 0x4000;
    static constexpr int kMaxStaticSide = 2048;

    // Opens dataDirectory() + "/artidx.mul" and "/art.mul", or, in a directory that holds
    // "artLegacyMUL.uop" (later clients), that container, whose entries are the same records.
    ArtStore();
    bool isContainer() const { return m_uop.isOpen(); }
    // The name of art index record i in the container: "build/artlegacymul/00016384.tga".
    static QByteArray containerEntryName(int i);
    ArtStore(const ArtStore &) = delete;
    ArtStore &operator=(const ArtStore &) = delete;

    // Land tile id (0-16383) as a 44x44 image; null when the entry is absent.
    QImage landArt(int id, const Hue &hue, bool partial, int alpha);
    // Static tile id (0-65535, art record id + 16384); null when the entry is absent.
    QImage staticArt(int id, const Hue &hue, bool partial, int alpha);
    // The same without a hue.
    QImage landArt(int id, int alpha);
    QImage staticArt(int id, int alpha);

    // Decoding of one entry from memory. bytes is what the file holds of the entry; for
    // statics, length is the entry's length in the index (bytes may be shorter when the
    // file ends early, never longer).
    static QImage decodeLand(QByteArrayView bytes, const Hue &hue, bool partial, int alpha);
    static QImage decodeStatic(QByteArrayView bytes, qint64 length, const Hue &hue, bool partial,
                               int alpha);

private:
    // The bytes of index record i (at most cap of them), or false when the entry is absent.
    bool readEntry(int i, qint64 cap, QByteArrayView *bytes, qint64 *length);

    IndexFile m_index;
    UopFile m_uop;
    QFile m_data;
    qint64 m_dataSize = 0;
    QByteArray m_buffer; // reused between entries
};
