#include "tiles/radarcolors.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

QString RadarColours::sizeRefusal(qint64 size)
{
    if (size % 2 != 0)
        return QStringLiteral("%1 bytes is no whole number of 2-byte colours").arg(size);
    if (size < qint64(StaticBase) * 2)
        return QStringLiteral("%1 bytes is too short: the land colours alone take %2").arg(size).arg(StaticBase * 2);
    if (size > qint64(MaxEntries) * 2)
        return QStringLiteral("%1 bytes is more than the %2 that colour every land and static id")
            .arg(size)
            .arg(qint64(MaxEntries) * 2);
    return QString();
}

bool RadarColours::load(const QString &path, QString *error)
{
    m_colours.clear();
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QDir::toNativeSeparators(path) + QStringLiteral(": ") + why;
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    const QString refusal = sizeRefusal(file.size());
    if (!refusal.isEmpty())
        return fail(QStringLiteral("cannot be a colour table (%1)").arg(refusal));
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        return fail(QStringLiteral("could not be read whole (%1)").arg(file.errorString()));
    m_colours.resize(size_t(bytes.size() / 2));
    const uchar *p = reinterpret_cast<const uchar *>(bytes.constData());
    for (size_t i = 0; i < m_colours.size(); ++i)
        m_colours[i] = qFromLittleEndian<quint16>(p + 2 * i) & 0x7FFF;
    return true;
}
