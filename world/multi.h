#pragma once
// Multis: groups of statics placed together (a house, a tent), each component a tile id with
// an offset from an anchor cell. The client keeps them in multi.idx and multi.mul; the
// editor's own ".mlt" files hold one multi as bare component records.
#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <optional>

class QIODevice;

// One component record: 12 bytes, little-endian. id, dx, dy and dz, then four bytes that
// multi.mul reads as one 32-bit flags value and a ".mlt" file as two 16-bit values, visible
// and hue.
struct MultiComponent {
    static constexpr int RecordSize = 12;
    // multi.mul of clients with 64-bit tile data: an extra 32-bit value after the flags.
    static constexpr int LaterRecordSize = 16;

    quint16 id = 0;  // as stored; the map view takes ids of 0x8000 and above as no tile
    qint16 dx = 0;   // offset from the anchor cell
    qint16 dy = 0;
    qint16 dz = 0;   // offset from the anchor's height
    quint32 flags = 0;

    // The halves of flags as a ".mlt" file reads them (bytes 8-9 and 10-11).
    quint16 visible() const { return quint16(flags & 0xFFFF); }
    quint16 hue() const { return quint16(flags >> 16); }

    bool operator==(const MultiComponent &) const = default;
};

// Multi number from the open, readable multi.idx and multi.mul. Nothing when the index has
// no complete record for number (negative, or past its end) or the record's offset is
// negative: the multi does not exist. Otherwise its components: length / recordSize records from
// offset, cut to the whole records multi.mul holds there (none when the offset lies past
// its end). Never reads or allocates more than the files hold.
// recordSize is the size of one component in multi.mul (RecordSize or LaterRecordSize, as
// ClientLayout::multiComponentSize gives it).
std::optional<QList<MultiComponent>> readMulti(QIODevice &index, QIODevice &data, qint64 number,
                                               int recordSize = MultiComponent::RecordSize);

// The components of a ".mlt" file's bytes, in file order. A last record cut short (a size
// that is not a multiple of 12) is dropped: its visible and hue bytes are not all there.
QList<MultiComponent> readMlt(const QByteArray &bytes);
