#include "world/datadirectory.h"
#include "world/clientlayout.h"

#include <QFileInfo>
#include <QSettings>
#include <QDir>

namespace {
const char *const kUODirKey = "Varnel/UODir";

QString &runDataDirectory()
{
    static QString dir;
    return dir;
}

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

QString lookUp(DataDirectorySource *source)
{
    if (!runDataDirectory().isEmpty()) {
        *source = DataDirectorySource::ThisRun;
        return runDataDirectory();
    }
    QString dir = QSettings().value(QLatin1String(kUODirKey), QString()).toString();
    if (!dir.isEmpty()) {
        *source = DataDirectorySource::Settings;
        return dir;
    }
#ifdef Q_OS_WIN
    dir = registryDataDirectory();
    if (!dir.isEmpty()) {
        *source = DataDirectorySource::Registry;
        return dir;
    }
#endif
    dir = qEnvironmentVariable("TESSARYN_DEFAULT_DIR");
    *source = dir.isEmpty() ? DataDirectorySource::None : DataDirectorySource::Default;
    return dir;
}
} // namespace

void setDataDirectoryOverride(const QString &dir)
{
    setRunDataDirectory(dir);
}

QString dataDirectory()
{
    DataDirectorySource source;
    return lookUp(&source);
}

DataDirectorySource dataDirectorySource()
{
    DataDirectorySource source;
    lookUp(&source);
    return source;
}

void setRunDataDirectory(const QString &dir)
{
    runDataDirectory() = dir;
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

bool isClientDirectory(const QString &dir, QString *reason)
{
    const QDir d(dir);
    const auto refuse = [&](const QString &why) {
        if (reason)
            *reason = QStringLiteral("%1 cannot be the UO directory: %2").arg(QDir::toNativeSeparators(dir), why);
        return false;
    };
    if (!d.exists())
        return refuse(QStringLiteral("the folder does not exist."));
    const QStringList names = d.entryList(QDir::Files);
    const auto has = [&names](const QString &name) { return names.contains(name, Qt::CaseInsensitive); };
    if (!has(QStringLiteral("tiledata.mul")))
        return refuse(QStringLiteral("it holds no tiledata.mul, so it holds no client files."));
    for (int facet = 0; facet < ClientLayout::FacetCount; ++facet)
        if (has(QStringLiteral("map%1.mul").arg(facet)) || has(QStringLiteral("map%1LegacyMUL.uop").arg(facet)))
            return true;
    return refuse(QStringLiteral("it holds no map file (map0.mul to map5.mul)."));
}
