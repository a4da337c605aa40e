#include "world/datadirectory.h"
#include "world/clientlayout.h"

#include <QFileInfo>
#include <QSettings>
#include <QDir>

namespace {
const char *const kUODirKey = "Varnel/UODir";

#ifdef Q_OS_WIN
// The game records the path of its executable; the data files lie beside it.
QString registryDataDirectory()
{
    QSettings reg(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Origin Worlds Online"),
                  QSettings::NativeFormat);
    QString exe = reg.value(QStringLiteral("Ultima Online Third Dawn/1.0/StartExePath")).toString();
    if (exe.isEmpty())
        exe = reg.value(QStringLiteral("Ultima Online/1.0/StartExePath")).toString();
    if (exe.isEmpty())
        return QString();
    return QFileInfo(QDir::fromNativeSeparators(exe)).absolutePath();
}
#endif
} // namespace

namespace {
QString &directoryOverride()
{
    static QString dir;
    return dir;
}
} // namespace

void setDataDirectoryOverride(const QString &dir)
{
    directoryOverride() = dir;
}

QString dataDirectory()
{
    if (!directoryOverride().isEmpty())
        return directoryOverride();
    QString dir = QSettings().value(QLatin1String(kUODirKey), QString()).toString();
    if (!dir.isEmpty())
        return dir;
#ifdef Q_OS_WIN
    dir = registryDataDirectory();
    if (!dir.isEmpty())
        return dir;
#endif
    return qEnvironmentVariable("TESSARYN_DEFAULT_DIR");
}

void setDataDirectory(const QString &dir)
{
    QSettings settings;
    settings.setValue(QLatin1String(kUODirKey), dir);
    settings.sync();
}

int facetBlocksX(int facet)
{
    return ClientLayout::of(dataDirectory())->facet(facet).blocksX;
}

int facetBlocksY(int facet)
{
    return ClientLayout::of(dataDirectory())->facet(facet).blocksY;
}
