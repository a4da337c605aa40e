#pragma once
#include <QString>
#include <QTemporaryDir>

// Keeps a test away from the user's own settings and temporary files: settings go to a
// private store, TEMP and the working folders (TESSARYN_WORKING_DIR) point at private
// directories, and the client data directory is
// unset unless the test chooses one. Create one at the start of initTestCase (or per test).
class TestEnvironment
{
public:
    TestEnvironment();
    ~TestEnvironment();

    QString tempDir() const { return m_temp.path() + QStringLiteral("/temp"); }
    QString root() const { return m_temp.path(); }

    // Points the data directory setting at dir.
    static void useDataDirectory(const QString &dir);

    // A generated sample world with only the small facets (Ilshenar and Malas), written once
    // per test program into a private directory and shared by its tests. Tests that change
    // client files must copy it first (copyOfSample).
    static QString smallSample();
    QString copyOfSample(const QString &name = QStringLiteral("client"));

private:
    QTemporaryDir m_temp;
    QByteArray m_oldTemp;
    QByteArray m_oldConfig;
};

// Copies every file of from into to (created when missing).
bool copyDirectory(const QString &from, const QString &to);
