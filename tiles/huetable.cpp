#include "tiles/huetable.h"
#include "world/datadirectory.h"

#include <QFile>
#include <QtEndian>

namespace {
// The file is a run of groups: a 4-byte header, then 8 entries of 88 bytes each
// (32 colours, two unused 16-bit table bounds, a 20-byte name).
constexpr qsizetype kGroupHeader = 4;
constexpr qsizetype kEntriesPerGroup = 8;
constexpr qsizetype kEntrySize = 88;
constexpr qsizetype kGroupSize = kGroupHeader + kEntriesPerGroup * kEntrySize;
constexpr qsizetype kNameOffset = 68;
constexpr qsizetype kNameSize = 20;
} // namespace

HueTable::HueTable()
{
    QFile file(dataDirectory() + QLatin1String("/hues.mul"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();

    // A file that ends inside a group keeps the entries that are whole and no more.
    m_hues.reserve(size / kGroupSize * kEntriesPerGroup + kEntriesPerGroup);
    for (qsizetype group = 0; group + kGroupHeader < size; group += kGroupSize) {
        for (qsizetype e = 0; e < kEntriesPerGroup; ++e) {
            const qsizetype at = group + kGroupHeader + e * kEntrySize;
            if (at + kEntrySize > size)
                return;
            const uchar *entry = data + at;
            Hue::Ramp colours;
            for (size_t i = 0; i < colours.size(); ++i)
                colours[i] = qFromLittleEndian<quint16>(entry + 2 * i);
            const char *name = reinterpret_cast<const char *>(entry + kNameOffset);
            const qsizetype nameLength = qstrnlen(name, kNameSize);
            m_hues.append(Hue(int(m_hues.size()) + 1, QString::fromLatin1(name, nameLength), colours));
        }
    }
}

Hue HueTable::hue(int n) const
{
    if (n <= 0 || n > m_hues.size())
        return Hue();
    return m_hues[n - 1];
}
