#include "fuzz/fuzzsupport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

namespace fuzz {

namespace {
// Lives until the process ends; libFuzzer exits through exit(), which removes it.
std::unique_ptr<QTemporaryDir> g_root;
} // namespace

QString initEnvironment()
{
    if (g_root)
        return g_root->path() + QStringLiteral("/data");
    // Every input rewrites its files. On a disk file system, truncating and rewriting a file
    // starts write-back each time and costs most of an execution; memory costs nothing.
    QString base = QDir::tempPath();
    if (const QFileInfo shm(QStringLiteral("/dev/shm")); shm.isDir() && shm.isWritable())
        base = shm.filePath();
    g_root = std::make_unique<QTemporaryDir>(base + QStringLiteral("/tessaryn-fuzz-XXXXXX"));
    const QString root = g_root->path();
    const QString config = root + QStringLiteral("/config");
    const QString temp = root + QStringLiteral("/temp");
    const QString data = root + QStringLiteral("/data");
    for (const QString &dir : {config, temp, data})
        QDir().mkpath(dir);

    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessaryn"));
    QCoreApplication::setApplicationName(QStringLiteral("TessarynFuzz"));
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    qputenv("TEMP", temp.toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
    // The environment variable is what dataDirectory() falls back on when no directory was
    // chosen; the settings store is private and empty, so the fuzz directory is what it finds.
    qputenv("TESSARYN_DEFAULT_DIR", data.toLocal8Bit());
    qunsetenv("TESSARYN_DEFAULT_PALETTE");
    return data;
}

bool writeFile(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes.data(), bytes.size()) == bytes.size();
}

void clearDirectory(const QString &dir)
{
    QDir d(dir);
    for (const QString &name : d.entryList(QDir::Files | QDir::Hidden | QDir::System))
        d.remove(name);
}

QList<QByteArrayView> splitPieces(const uint8_t *data, size_t size, int count)
{
    QList<QByteArrayView> pieces;
    const auto *bytes = reinterpret_cast<const char *>(data);
    const size_t header = size_t(count) * 4;
    if (size < header) {
        pieces.append(QByteArrayView(bytes, qsizetype(size)));
        while (pieces.size() < count)
            pieces.append(QByteArrayView());
        return pieces;
    }
    size_t at = header;
    for (int i = 0; i < count; ++i) {
        const size_t left = size - at;
        size_t length = qFromLittleEndian<quint32>(data + 4 * i);
        if (length > left || i == count - 1)
            length = left;
        pieces.append(QByteArrayView(bytes + at, qsizetype(length)));
        at += length;
    }
    return pieces;
}

QByteArray joinPieces(const QList<QByteArray> &pieces)
{
    QByteArray out;
    for (const QByteArray &piece : pieces) {
        char length[4];
        qToLittleEndian<quint32>(quint32(piece.size()), length);
        out.append(length, 4);
    }
    for (const QByteArray &piece : pieces)
        out.append(piece);
    return out;
}

} // namespace fuzz
