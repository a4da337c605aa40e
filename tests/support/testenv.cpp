#include "support/testenv.h"
#include "sampleworld/sampleworld.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

namespace {
QString g_sample;
std::unique_ptr<QTemporaryDir> g_sampleDir;
}

TestEnvironment::TestEnvironment()
    : m_oldTemp(qgetenv("TEMP")), m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessaryn"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessaryn"));
    QDir().mkpath(tempDir());
    QDir().mkpath(root() + QStringLiteral("/config"));
    qputenv("TEMP", tempDir().toLocal8Bit());
    qputenv("TESSARYN_WORKING_DIR", (root() + QStringLiteral("/state")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root() + QStringLiteral("/config")).toLocal8Bit());
    // Test mode alone sends every test program to one shared store; give this one its own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root() + QStringLiteral("/config"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root() + QStringLiteral("/config"));
    qunsetenv("TESSARYN_DEFAULT_DIR");
    qunsetenv("TESSARYN_DEFAULT_PALETTE");
    QSettings().clear();
    QSettings().sync();
}

TestEnvironment::~TestEnvironment()
{
    QSettings().clear();
    QSettings().sync();
    qputenv("TEMP", m_oldTemp);
    qunsetenv("TESSARYN_WORKING_DIR");
    if (m_oldConfig.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
}

void TestEnvironment::useDataDirectory(const QString &dir)
{
    QSettings settings;
    settings.setValue(QStringLiteral("Varnel/UODir"), dir);
    settings.sync();
}

QString TestEnvironment::smallSample()
{
    if (g_sample.isEmpty()) {
        g_sampleDir = std::make_unique<QTemporaryDir>();
        sampleworld::Options options;
        options.outDir = g_sampleDir->path() + QStringLiteral("/sample");
        options.facets = {2, 3};
        QString error;
        if (!sampleworld::write(options, &error))
            qFatal("sample world could not be written: %s", qPrintable(error));
        g_sample = options.outDir;
    }
    return g_sample;
}

QString TestEnvironment::copyOfSample(const QString &name)
{
    const QString to = root() + QLatin1Char('/') + name;
    if (!copyDirectory(smallSample(), to))
        qFatal("could not copy the sample world");
    return to;
}

bool copyDirectory(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QStringList names = QDir(from).entryList(QDir::Files);
    for (const QString &n : names) {
        QFile::remove(to + QLatin1Char('/') + n);
        if (!QFile::copy(from + QLatin1Char('/') + n, to + QLatin1Char('/') + n))
            return false;
    }
    return true;
}
