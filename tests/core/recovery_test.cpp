// Edits that outlive the run that made them: a real editing process ended by SIGKILL or
// SIGTERM a moment after an edit, and what the next run is offered. The test program is its
// own helper: started with --edit-helper it edits the sample world like a user would.
#include "support/testenv.h"
#include "world/facet.h"
#include "world/mapdocument.h"
#include "world/terminationwatcher.h"
#include "world/workingdirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>

namespace {
constexpr int kIlshenar = 2;
// Three blocks: land in two of them, a static in one.
constexpr int kX1 = 1003, kY1 = 805, kX2 = 1011, kY2 = 805;
constexpr int kLandId = 0x44;
constexpr int kStaticId = 0x0E3D;

void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int runHelper(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("TessarynEditHelper"));
    const bool term = QByteArray(argv[2]) == "term";
    MapDocument doc;
    TerminationWatcher watcher;
    QObject::connect(&watcher, &TerminationWatcher::terminationRequested, &app, [&] {
        doc.keepForRecovery();
        app.quit();
    });
    if (term)
        doc.setStoreDelay(3600 * 1000); // only SIGTERM can bring these edits out
    doc.setFacet(kIlshenar);
    {
        MapDocument::Edit stroke(doc, QStringLiteral("Paint"));
        doc.cache().setLand(kX1, kY1, 2, kLandId, 9);
        doc.cache().setLand(kX2, kY2, 2, kLandId, 10);
        Tile s = doc.tileData().staticTile(kStaticId);
        s.setZ(9);
        doc.cache().setStatic(kX1, kY1, 0, s, s);
    }
    say("edited");
    if (!term)
        QTimer::singleShot(MapDocument::StoreDelay + 300, &app, [] { say("stored"); });
    return app.exec();
}

int staticsWithId(MapDocument &doc, int x, int y, int id)
{
    int n = 0;
    for (const Tile &t : doc.cache().statics(x, y))
        n += t.isStatic() && t.id() == id;
    return n;
}
} // namespace

class RecoveryTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString dir;

    // Starts the helper and waits until it says line.
    std::unique_ptr<QProcess> startHelper(const char *mode, const QByteArray &line)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("TESSARYN_DEFAULT_DIR"), dir);
        p->setProcessEnvironment(e);
        p->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--edit-helper"), QLatin1String(mode)});
        QByteArray out;
        while (!out.contains(line) && p->waitForReadyRead(20000))
            out += p->readAllStandardOutput();
        if (!out.contains(line))
            qWarning("helper said: %s / %s", out.constData(), p->readAllStandardError().constData());
        return p;
    }

    QStringList runFolders() const
    {
        const QDir d(WorkingDirectory::folderFor(WorkingDirectory::stateRoot(), dir));
        return d.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        dir = env->copyOfSample();
        TestEnvironment::useDataDirectory(dir);
    }
    void cleanup() { env.reset(); }

    void offeredRecoveredDiscarded();
};

void RecoveryTest::offeredRecoveredDiscarded()
{
    // Killed a moment after the edit, once its blocks reached the working files.
    std::unique_ptr<QProcess> helper = startHelper("kill", "stored");
    QCOMPARE(helper->state(), QProcess::Running);
    {
        // An instance still running is never offered, and its folder stays.
        MapDocument doc;
        QCOMPARE(doc.findRecoverable()->blockCount(), 0);
        QCOMPARE(runFolders().size(), 2);
    }
    QCOMPARE(::kill(pid_t(helper->processId()), SIGKILL), 0);
    QVERIFY(helper->waitForFinished(20000));
    QCOMPARE(helper->exitStatus(), QProcess::CrashExit);
    {
        MapDocument doc;
        QVERIFY(doc.setFacet(kIlshenar));
        const Tile land1 = doc.cache().land(kX1, kY1);
        QVERIFY(land1.id() != kLandId);
        const int statics = staticsWithId(doc, kX1, kY1, kStaticId);
        {
            // Later: the offer stands for the next start.
            const std::unique_ptr<Recovery> later = doc.findRecoverable();
            QCOMPARE(later->blockCount(), 3);
        }
        const std::unique_ptr<Recovery> recovery = doc.findRecoverable();
        QCOMPARE(recovery->blockCount(), 3);
        QCOMPARE(Recovery::question(recovery->blockCount()), QStringLiteral("Recover 3 changed blocks from an earlier run?"));

        // Recover: the blocks show and are unsaved changes of this run, one step to undo.
        QStringList unread;
        QCOMPARE(doc.recover(recovery->blocks(&unread)), 3);
        QVERIFY(unread.isEmpty());
        QVERIFY(recovery->discard());
        QCOMPARE(doc.cache().land(kX1, kY1).id(), kLandId);
        QCOMPARE(doc.cache().land(kX1, kY1).z(), 9);
        QCOMPARE(doc.cache().land(kX2, kY2).z(), 10);
        QCOMPARE(staticsWithId(doc, kX1, kY1, kStaticId), statics + 1);
        QVERIFY(doc.hasUnsavedChanges());
        QCOMPARE(doc.undoName(), QStringLiteral("Recover"));
        QVERIFY(doc.undo());
        QCOMPARE(doc.cache().land(kX1, kY1).id(), land1.id());
        QCOMPARE(staticsWithId(doc, kX1, kY1, kStaticId), statics);
        QVERIFY(doc.redo());
        QCOMPARE(doc.cache().land(kX1, kY1).id(), kLandId);
    }
    {
        // Offered once: the folder went with the Recover.
        MapDocument doc;
        QVERIFY(doc.findRecoverable()->isEmpty());
        QCOMPARE(runFolders().size(), 1);
    }

    // SIGTERM before the edits were due at their working files: they are written out then.
    helper = startHelper("term", "edited");
    helper->terminate();
    QVERIFY(helper->waitForFinished(20000));
    QCOMPARE(helper->exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper->exitCode(), 0);
    {
        MapDocument doc;
        const std::unique_ptr<Recovery> recovery = doc.findRecoverable();
        QCOMPARE(recovery->blockCount(), 3);
        // Discard: the folder and its files are gone.
        QVERIFY(recovery->discard());
        QCOMPARE(runFolders().size(), 1);
    }
    MapDocument doc;
    QVERIFY(doc.findRecoverable()->isEmpty());
}

int main(int argc, char **argv)
{
    if (argc > 2 && QByteArray(argv[1]) == "--edit-helper")
        return runHelper(argc, argv);
    QCoreApplication app(argc, argv);
    RecoveryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "recovery_test.moc"
