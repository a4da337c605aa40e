// Starts that must not be spoiled by what the last run left (hostile palette files), and a
// second editor on the same data directory, run as a second process: the later window is
// read-only until the first is gone, and a save whose files another process replaced since
// they were read stops and keeps every edit.
#include "app/mainwindow.h"
#include "support/testenv.h"
#include "tools/palettenew.h"
#include "view/glmapwidget.h"
#include "world/blockcache.h"
#include "world/directorylock.h"
#include "world/facet.h"
#include "world/facetsaver.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

QMessageBox *boxNamed(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (box && box->objectName() == name && box->isVisible())
            return box;
    }
    return nullptr;
}

// The second process: holds the lock of a directory until it is killed, or saves one land
// edit of Ilshenar into its difference files and ends.
int childMain(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString what = QString::fromLocal8Bit(argv[1]);
    const QString dir = QString::fromLocal8Bit(argv[2]);
    if (what == QLatin1String("--hold")) {
        DirectoryLock lock;
        if (!lock.acquire(dir))
            return 2;
        std::printf("held\n");
        std::fflush(stdout);
        return app.exec();
    }
    // Settings of its own, empty: the directory comes from the environment.
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("TessarynTestChild"));
    qputenv("TESSARYN_DEFAULT_DIR", QFile::encodeName(dir));
    Facet f(2);
    BlockCache cache;
    cache.setFacet(&f);
    cache.setLand(8, 8, 2, 77, 5);
    QString error;
    const bool ok = saveFacet(cache, f, nullptr, 1, {}, &error);
    cache.setFacet(nullptr);
    return ok ? 0 : 3;
}

QProcess *startChild(QObject *parent, const QStringList &args)
{
    auto *p = new QProcess(parent);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QCoreApplication::applicationFilePath(), args);
    return p;
}

} // namespace

class StartSafetyTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void hostilePaletteNeverStopsAStart_data();
    void hostilePaletteNeverStopsAStart();
    void secondWindowIsReadOnlyUntilTheFirstIsGone();
    void saveStopsWhenAnotherProcessSavedMeanwhile();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void StartSafetyTest::init()
{
    m_env = std::make_unique<TestEnvironment>();
    TestEnvironment::useDataDirectory(m_env->copyOfSample());
}

void StartSafetyTest::cleanup()
{
    m_env.reset();
}

void StartSafetyTest::hostilePaletteNeverStopsAStart_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::newRow("100000 nested elements") << (QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000));
    QTest::newRow("40000 nested groups")
        << (QByteArray("<p><tilesets><land><tileset name=\"t\">") + QByteArray("<group name=\"g\">").repeated(40000)
            + QByteArray("</group>").repeated(40000) + QByteArray("</tileset></land></tilesets></p>"));
    QTest::newRow("cut off") << QByteArray("<p><tilesets><land><tileset name=\"t\"><group>");
}

// The palette of the settings is read once the window is up; one that fails is told by name
// and left alone at the next start, until the user chooses it again.
void StartSafetyTest::hostilePaletteNeverStopsAStart()
{
    QFETCH(QByteArray, xml);
    const QString path = m_env->root() + QStringLiteral("/hostile.xml");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(xml) == xml.size());
    f.close();
    {
        QSettings settings;
        settings.setValue(QStringLiteral("Tessaryn/PaletteFile"), path);
    }

    {
        QElapsedTimer clock;
        clock.start();
        mainWindow w;
        // Not read while the window is built: the window comes first.
        QVERIFY(w.palette()->fileName().isEmpty());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const qint64 upMs = clock.elapsed();
        QTRY_VERIFY(boxNamed(QStringLiteral("paletteFailure")));
        QMessageBox *box = boxNamed(QStringLiteral("paletteFailure"));
        QVERIFY2(box->text().contains(QDir::toNativeSeparators(path)), qPrintable(box->text()));
        QCOMPARE(box->text(), mainWindow::paletteFailureText(w.palette()->lastError()));
        qInfo("window up after %lld ms, palette told after %lld ms", upMs, clock.elapsed());
        box->accept();
        QCOMPARE(w.palette()->listLand->topLevelItemCount(), 0);
    }
    {
        // The next start: no palette, no message.
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(100);
        QVERIFY(!boxNamed(QStringLiteral("paletteFailure")));
        QVERIFY(w.palette()->fileName().isEmpty());
    }
    {
        // A start that never came back from reading a palette does not read it again either.
        QSettings settings;
        settings.remove(QStringLiteral("Tessaryn/PaletteRefused"));
        settings.setValue(QStringLiteral("Tessaryn/PaletteReading"), path);
        settings.sync();
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(100);
        QVERIFY(!boxNamed(QStringLiteral("paletteFailure")));
        QVERIFY(w.palette()->fileName().isEmpty());
    }
    // Mended, and the start reads it again once the user has chosen it.
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("<p><tilesets><land><tileset name=\"t\"><group name=\"g\"><tile>3</tile></group></tileset></land></tilesets></p>");
    f.close();
    QSettings().remove(QStringLiteral("Tessaryn/PaletteRefused"));
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.palette()->fileName(), path);
        QCOMPARE(w.palette()->listLand->topLevelItemCount(), 1);
        QVERIFY(!boxNamed(QStringLiteral("paletteFailure")));
    }
}

void StartSafetyTest::secondWindowIsReadOnlyUntilTheFirstIsGone()
{
    const QString dir = QSettings().value(QStringLiteral("Varnel/UODir")).toString();
    QProcess *first = startChild(this, {QStringLiteral("--hold"), dir});
    QVERIFY(first->waitForStarted());
    QVERIFY(first->waitForReadyRead(10000));
    QCOMPARE(first->readAll(), QByteArray("held\n"));
    DirectoryLock::Holder holder;
    QVERIFY(DirectoryLock::readHolder(dir, &holder));
    QCOMPARE(holder.pid, first->processId());
    QVERIFY(!holder.started.isEmpty());

    const auto before = QDir(dir).entryList(QDir::Files);
    mainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.isReadOnly());
    auto *banner = w.findChild<QFrame *>(QStringLiteral("lockBanner"));
    QVERIFY(banner && banner->isVisible());
    const QString text = mainWindow::lockedText(dir, first->processId(), DirectoryLock::thisHost());
    QCOMPARE(banner->findChild<QLabel *>(QStringLiteral("lockBannerText"))->text(), text);
    QVERIFY(text.endsWith(QStringLiteral(" is being edited by another Tessaryn (process %1); saving is off.")
                              .arg(first->processId())));

    // Saving is off: an edit stays an edit, and the client files are as they were.
    w.fileMap(2);
    w.view()->blockCache().setLand(10, 10, 2, 66, 3);
    w.fileSaveDiff_FilesAction->trigger();
    QTRY_VERIFY(boxNamed(QStringLiteral("savingOff")));
    QCOMPARE(boxNamed(QStringLiteral("savingOff"))->text(), text);
    boxNamed(QStringLiteral("savingOff"))->accept();
    QCOMPARE(QDir(dir).entryList(QDir::Files), before);
    // Taking over is refused while the first runs.
    auto *take = banner->findChild<QPushButton *>(QStringLiteral("lockTakeOver"));
    QTimer::singleShot(0, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->accept();
    });
    take->click();
    QVERIFY(w.isReadOnly());

    first->kill();
    QVERIFY(first->waitForFinished());
    take->click();
    QVERIFY(!w.isReadOnly());
    QVERIFY(!banner->isVisible());
    QVERIFY(DirectoryLock::readHolder(dir, &holder));
    QCOMPARE(holder.pid, QCoreApplication::applicationPid());
    w.view()->save(1);
    QCOMPARE(Facet(2).loadLandBlock(blockNumber(10, 10, 200), true).at(cellKey(10, 10)).id(), 66);
}

void StartSafetyTest::saveStopsWhenAnotherProcessSavedMeanwhile()
{
    const QString dir = QSettings().value(QStringLiteral("Varnel/UODir")).toString();
    Facet mine(2);
    BlockCache cache;
    cache.setFacet(&mine);
    cache.setLand(100, 100, 2, 66, 3);
    QVERIFY(cache.flush());

    // The other editor saves into the difference files this facet has read.
    QProcess *other = startChild(this, {QStringLiteral("--save"), dir});
    QVERIFY(other->waitForFinished(60000));
    QCOMPARE(other->exitCode(), 0);
    const auto files = [&dir] {
        QMap<QString, QByteArray> out;
        for (const QString &name : QDir(dir).entryList(QDir::Files)) {
            QFile f(dir + QLatin1Char('/') + name);
            if (f.open(QIODevice::ReadOnly))
                out.insert(name, f.readAll());
        }
        return out;
    };
    const auto afterOther = files();

    QString error;
    QVERIFY(!saveFacet(cache, mine, nullptr, 1, {}, &error));
    QVERIFY2(error.startsWith(QStringLiteral("The client file %1 was changed on disk after this editor read it")
                                  .arg(QDir::toNativeSeparators(dir + QStringLiteral("/mapdifl2.mul")))),
             qPrintable(error));
    QCOMPARE(files(), afterOther);
    QVERIFY(mine.hasWorkingFilesOnDisk());
    QCOMPARE(cache.land(100, 100).id(), 66);

    // Saved again, on the lists as they are now: both editors' changes are in the files.
    QVERIFY2(saveFacet(cache, mine, nullptr, 1, {}, &error), qPrintable(error));
    cache.setFacet(nullptr);
    Facet fresh(2);
    QCOMPARE(fresh.loadLandBlock(blockNumber(8, 8, 200), false).at(cellKey(8, 8)).id(), 77);
    QCOMPARE(fresh.loadLandBlock(blockNumber(100, 100, 200), false).at(cellKey(100, 100)).id(), 66);
}

int main(int argc, char *argv[])
{
    if (argc == 3 && (qstrcmp(argv[1], "--hold") == 0 || qstrcmp(argv[1], "--save") == 0))
        return childMain(argc, argv);
    QApplication app(argc, argv);
    StartSafetyTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "startsafety_test.moc"
