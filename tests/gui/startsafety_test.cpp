// Starts that must not be spoiled by what the last run left: hostile palette files.
#include "app/mainwindow.h"
#include "support/testenv.h"
#include "tools/palettenew.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSettings>
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

} // namespace

class StartSafetyTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void hostilePaletteNeverStopsAStart_data();
    void hostilePaletteNeverStopsAStart();

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

QTEST_MAIN(StartSafetyTest)
#include "startsafety_test.moc"
