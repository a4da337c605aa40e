// Saving from the main window and closing it: the save commands reach the files, a fresh
// start shows what was saved, input that arrives during a save waits for it, and closing
// asks before unsaved changes are thrown away.
#include "app/mainwindow.h"
#include "support/testenv.h"
#include "view/glmapwidget.h"
#include "view/viewsave.h"
#include "world/blockcache.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {
// Answers every message box that comes up with the button of the given text; counts them.
class BoxAnswerer
{
public:
    explicit BoxAnswerer(QString button) : m_button(std::move(button))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            ++m_seen;
            m_captions << box->windowTitle();
            for (QAbstractButton *b : box->buttons()) {
                if (b->text() == m_button) {
                    b->click();
                    return;
                }
            }
            box->reject();
        });
        m_timer.start(10);
    }
    int seen() const { return m_seen; }
    const QStringList &captions() const { return m_captions; }

private:
    QTimer m_timer;
    QString m_button;
    int m_seen = 0;
    QStringList m_captions;
};

QByteArray digestOfDirectory(const QString &dir)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    const QStringList names = QDir(dir).entryList(QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QFile f(dir + QLatin1Char('/') + name);
        if (f.open(QIODevice::ReadOnly)) {
            h.addData(name.toUtf8());
            h.addData(f.readAll());
        }
    }
    return h.result();
}
} // namespace

class MainWindowSaveTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnvironment> env;
    QString dir;

private slots:
    void init()
    {
        env = std::make_unique<TestEnvironment>();
        dir = env->copyOfSample();
        TestEnvironment::useDataDirectory(dir);
    }
    void cleanup() { env.reset(); }

    void closingWithoutChangesAsksNothing()
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.fileMap2();
        // Reading blocks changes nothing.
        (void)w.view()->blockCache().land(10, 10);
        QVERIFY(!w.view()->hasUnsavedChanges());
        BoxAnswerer answers(QStringLiteral("&No"));
        QVERIFY(w.close());
        QCOMPARE(answers.seen(), 0);
    }

    void closingWithChangesAsksAndNoKeepsThem()
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.fileMap2();
        BlockCache &cache = w.view()->blockCache();
        cache.setLand(10, 10, 2, 0x44, 9);
        // An edit on another facet counts too, once it has gone to its working files.
        w.fileMap3();
        QVERIFY(w.view()->hasUnsavedChanges());
        {
            BoxAnswerer answers(QStringLiteral("&No"));
            QVERIFY(!w.close());
            QCOMPARE(answers.seen(), 1);
            QCOMPARE(answers.captions().value(0), savetexts::closeCaption());
        }
        QVERIFY(w.isVisible());
        w.fileMap2();
        QCOMPARE(cache.land(10, 10).id(), 0x44);
        QCOMPARE(cache.land(10, 10).z(), 9);
        BoxAnswerer answers(QStringLiteral("&Yes"));
        QVERIFY(w.close());
        QCOMPARE(answers.seen(), 1);
    }

    void saveDiffFromTheMenuSurvivesARestart()
    {
        const QByteArray mainBefore = [this] {
            QFile f(dir + QStringLiteral("/map2.mul"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        {
            mainWindow w;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.fileMap2();
            w.view()->blockCache().setLand(100, 200, 2, 0x51, -7);
            BoxAnswerer answers(QStringLiteral("&No"));
            w.fileSaveDiff_FilesAction->trigger();
            QCOMPARE(answers.seen(), 0); // Ilshenar has files of its own: no question
            QVERIFY(!w.view()->hasUnsavedChanges());
            QVERIFY(w.close());
            QCOMPARE(answers.seen(), 0);
        }
        QVERIFY(QFile::exists(dir + QStringLiteral("/mapdif2.mul")));
        QFile main(dir + QStringLiteral("/map2.mul"));
        QVERIFY(main.open(QIODevice::ReadOnly));
        QCOMPARE(main.readAll(), mainBefore); // a difference save leaves the main file alone

        mainWindow again;
        again.fileMap2();
        const Tile t = again.view()->blockCache().land(100, 200);
        QCOMPARE(t.id(), 0x51);
        QCOMPARE(t.z(), -7);
    }

    void inputDuringASaveWaitsUntilItEnds()
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.fileMap2();
        GLMapWidget *view = w.view();
        BlockCache &cache = view->blockCache();
        cache.setLand(5, 5, 2, 0x33, 4);
        view->landSelection[7][7] = cache.land(7, 7).id();
        const int before = cache.land(7, 7).id();
        QVERIFY(before != 0);

        // The main save of Ilshenar goes through every block and lets events run on the way;
        // a Delete that arrives then must wait.
        bool sawBusy = false;
        int idDuringSave = -1;
        QTimer poke;
        poke.setSingleShot(true);
        QObject::connect(&poke, &QTimer::timeout, [&] {
            sawBusy = view->isBusy();
            view->deleteTiles();
            idDuringSave = cache.land(7, 7).id();
        });
        poke.start(0);
        w.fileSaveMul_FilesAction->trigger();
        QVERIFY2(sawBusy, "the timer did not fire inside the save");
        QCOMPARE(idDuringSave, before);
        // Afterwards the deletion runs, as an edit after the save.
        QTRY_COMPARE(cache.land(7, 7).id(), 0);
        QCOMPARE(cache.land(5, 5).id(), 0x33);
        QVERIFY(view->hasUnsavedChanges());
        BoxAnswerer answers(QStringLiteral("&Yes"));
        QVERIFY(w.close());
    }

    void closingIsRefusedWhileASaveRuns()
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.fileMap2();
        w.view()->blockCache().setLand(1, 1, 2, 0x22, 0);
        const QByteArray before = digestOfDirectory(dir);
        bool closedInside = true;
        QTimer poke;
        poke.setSingleShot(true);
        QObject::connect(&poke, &QTimer::timeout, [&] { closedInside = w.close(); });
        poke.start(0);
        w.fileSaveMul_FilesAction->trigger();
        QVERIFY(!closedInside);
        QVERIFY(w.isVisible());
        QVERIFY(digestOfDirectory(dir) != before); // the save went through
        QVERIFY(w.close());
    }
};

QTEST_MAIN(MainWindowSaveTest)
#include "mainwindow_save_test.moc"
