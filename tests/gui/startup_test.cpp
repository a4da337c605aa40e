// Starting the program: what a first start without a configured client shows, what a
// restart brings back, the command line, and the program started from outside (its
// version without a display, its refusal without OpenGL).
#include "app/commandline.h"
#include "app/mainwindow.h"
#include "sampleworld/sampleworld.h"
#include "tools/palettenew.h"
#include "support/testenv.h"
#include "tiles/artstore.h"
#include "tiles/huetable.h"
#include "view/glmapwidget.h"
#include "world/datadirectory.h"

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <QtTest>

#include <cstdlib>

namespace {

// The mean colour of the opaque pixels of the roof nearest the view's centre, as the program
// decodes it (hue included); invalid when no roof stands near the centre.
QColor roofColourNearCentre(GLMapWidget *view)
{
    BlockCache &cache = view->blockCache();
    for (int r = 0; r <= 8; ++r)
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx)
                for (const Tile &t : cache.statics(view->currentX() + dx, view->currentY() + dy)) {
                    if (t.id() != sampleworld::item::Roof)
                        continue;
                    ArtStore art;
                    const QImage img = art.staticArt(t.id(), HueTable().hue(t.hue()), false, 255)
                                           .convertToFormat(QImage::Format_ARGB32);
                    qint64 sum[3] = {}, n = 0;
                    for (int y = 0; y < img.height(); ++y)
                        for (int x = 0; x < img.width(); ++x) {
                            const QRgb p = img.pixel(x, y);
                            if (qAlpha(p) == 255) {
                                sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
                                ++n;
                            }
                        }
                    if (n > 0)
                        return QColor(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n));
                }
    return QColor();
}

// Pixels of the middle half of the frame within a few levels of colour per channel.
int pixelsOfColourNearCentre(const QImage &frame, const QColor &colour)
{
    int n = 0;
    for (int y = frame.height() / 4; y < frame.height() * 3 / 4; ++y)
        for (int x = frame.width() / 4; x < frame.width() * 3 / 4; ++x) {
            const QRgb p = frame.pixel(x, y);
            n += std::abs(qRed(p) - colour.red()) <= 32 && std::abs(qGreen(p) - colour.green()) <= 32
                 && std::abs(qBlue(p) - colour.blue()) <= 32;
        }
    return n;
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void firstStartShowsTheHouseAndARestartBringsTheViewBack();
    void commandLine_data();
    void commandLine();
    void programStartedFromOutside_data();
    void programStartedFromOutside();
};

void StartupTest::firstStartShowsTheHouseAndARestartBringsTheViewBack()
{
    TestEnvironment env;
    // No configured client: the directory the run script offers, the sample world.
    qputenv("TESSARYN_DEFAULT_DIR", TestEnvironment::smallSample().toLocal8Bit());
    QCOMPARE(dataDirectorySource(), DataDirectorySource::Default);
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        GLMapWidget *view = w.view();
        // The sample world holds Ilshenar and Malas; it opens on the first of them, on its
        // house, seen as the client shows it, statics on.
        QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Ilshenar"));
        QCOMPARE(view->mapid(), 2);
        QCOMPARE(view->mode(), 1);
        QVERIFY(w.viewElevationIsometricAction->isChecked());
        QVERIFY(w.viewStaticsAction->isChecked() && view->staticsOn());
        QCOMPARE(w.statusField(1)->text(), QStringLiteral("Iso"));
        QVERIFY(view->currentX() > 0 && view->currentY() > 0);
        const QColor roof = roofColourNearCentre(view);
        QVERIFY2(roof.isValid(), "no roof stands near the first view's centre");

        const int withStatics = pixelsOfColourNearCentre(view->grabFramebuffer(), roof);
        w.viewStaticsAction->setChecked(false);
        const int withoutStatics = pixelsOfColourNearCentre(view->grabFramebuffer(), roof);
        w.viewStaticsAction->setChecked(true);
        qInfo("roof-coloured pixels near the centre: %d with statics, %d without", withStatics, withoutStatics);
        // The roof covers a good part of the middle, and it is the statics that show it.
        QVERIFY2(withStatics >= 2000 && withStatics >= 4 * withoutStatics,
                 qPrintable(QStringLiteral("roof-coloured pixels: %1 with statics, %2 without")
                                .arg(withStatics)
                                .arg(withoutStatics)));

        // The user moves on and changes what the window shows, then quits.
        w.fileFacetMalasAction->trigger();
        w.setMapXY(300, 410);
        w.viewElevation3DAction->trigger();
        QTest::keyClick(&w, Qt::Key_Plus, Qt::ShiftModifier);
        w.resize(1000, 700);
        w.windowPaletteAction->setChecked(true);
        QVERIFY(w.close());
    }
    {
        mainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        GLMapWidget *view = w.view();
        QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: Malas"));
        QCOMPARE(view->mapid(), 3);
        QCOMPARE(QPoint(view->currentX(), view->currentY()), QPoint(300, 410));
        QCOMPARE(QPoint(w.scrollHorz->value(), w.scrollVert->value()), QPoint(300, 410));
        QCOMPARE(view->mode(), 2);
        QVERIFY(w.viewElevation3DAction->isChecked() && !w.viewElevationIsometricAction->isChecked());
        QVERIFY(view->staticsOn());
        QCOMPARE(view->scale(), 1.025);
        QCOMPARE(w.size(), QSize(1000, 700));
        QVERIFY(w.paletteDock()->isVisible());
        QVERIFY(w.windowPaletteAction->isChecked());
        QVERIFY(!w.clipDock()->isVisible());
    }
    // Nothing of this made the sample world the user's choice.
    QVERIFY(!QSettings().contains(QStringLiteral("Varnel/UODir")));
    qunsetenv("TESSARYN_DEFAULT_DIR");
}

void StartupTest::commandLine_data()
{
    const QString sample = TestEnvironment::smallSample();
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("expected"); // the location field, or a part of the message

    const int run = CommandLine::Run, refuse = CommandLine::Refuse;
    QTest::newRow("directory, facet and position")
        << QStringList{sample, "--facet", "2", "--goto", "100,200", "--palette", sample + "/palette.xml"} << run
        << "Location X:  100 Y: 200";
    QTest::newRow("position outside the facet is brought inside")
        << QStringList{sample, "--facet", "3", "--goto", "9000,10"} << run << "Location X: 2560 Y:  10";
    QTest::newRow("version") << QStringList{"--version"} << int(CommandLine::ShowVersion)
                             << "Tessaryn " TESSARYN_VERSION "\n";
    QTest::newRow("help names the options")
        << QStringList{"--help"} << int(CommandLine::ShowHelp) << "Usage: tessaryn [options] [DATA_DIR]";
    QTest::newRow("unknown facet") << QStringList{"--facet", "7"} << refuse << "invalid facet \"7\"";
    QTest::newRow("facet that is no number") << QStringList{"--facet", "two"} << refuse << "invalid facet \"two\"";
    QTest::newRow("position without y") << QStringList{"--goto", "100"} << refuse << "invalid position \"100\"";
    QTest::newRow("negative position") << QStringList{"--goto", "-4,5"} << refuse << "invalid position \"-4,5\"";
    QTest::newRow("missing directory")
        << QStringList{sample + "/nothing-here"} << refuse << "nothing-here does not exist";
    QTest::newRow("a file for a directory")
        << QStringList{sample + "/map2.mul"} << refuse << "map2.mul is not a directory";
    QTest::newRow("two directories") << QStringList{sample, sample} << refuse << "only one data directory";
    QTest::newRow("missing palette")
        << QStringList{"--palette", sample + "/none.xml"} << refuse << "palette file";
    QTest::newRow("unknown option") << QStringList{"--fast"} << refuse << "fast";
}

void StartupTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, outcome);
    QFETCH(QString, expected);
    TestEnvironment env;
    const QString stored = env.root() + QStringLiteral("/chosen-client");
    TestEnvironment::useDataDirectory(stored);

    arguments.prepend(QStringLiteral("/some/where/tessaryn"));
    const CommandLine line = parseCommandLine(arguments);
    QCOMPARE(int(line.outcome), outcome);
    if (line.outcome != CommandLine::Run) {
        QVERIFY2(line.message.contains(expected), qPrintable(line.message));
        if (line.outcome == CommandLine::Refuse)
            QVERIFY(line.message.startsWith(QStringLiteral("tessaryn: ")));
        return;
    }

    // What main does with a line that starts the window.
    setRunDataDirectory(line.dataDir);
    {
        mainWindow w(line.start);
        QCOMPARE(dataDirectory(), TestEnvironment::smallSample());
        QCOMPARE(w.statusField(7)->text(), expected);
        QCOMPARE(QString::number(w.view()->currentX()), expected.section(QLatin1Char(' '), 2, -3, QString::SectionSkipEmpty));
        const QString facetName = line.start.facet == 2 ? QStringLiteral("Ilshenar") : QStringLiteral("Malas");
        QCOMPARE(w.windowTitle(), QStringLiteral("Tessaryn: ") + facetName);
        QCOMPARE(w.view()->mapid(), line.start.facet);
        if (!line.start.paletteFile.isEmpty())
            QTRY_COMPARE(w.palette()->fileName(), line.start.paletteFile); // read once the window is up
        QVERIFY(w.close());
    }
    setRunDataDirectory(QString());
    // The directory was this run's only: the stored choice is as it was.
    QCOMPARE(QSettings().value(QStringLiteral("Varnel/UODir")).toString(), stored);
    QCOMPARE(dataDirectory(), stored);
    QVERIFY(!QSettings().contains(QStringLiteral("Tessaryn/PaletteFile")));
}

void StartupTest::programStartedFromOutside_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("platform"); // empty: no window system at all
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QStringList>("errors"); // parts of what it writes on standard error

    QTest::newRow("version without a display")
        << QStringList{"--version"} << QString() << 0 << "Tessaryn " TESSARYN_VERSION "\n" << QStringList();
    QTest::newRow("wrong line without a display")
        << QStringList{"--goto", "x"} << QString() << 2 << QString()
        << QStringList{"tessaryn: invalid position \"x\"", "--help"};
    QTest::newRow("no OpenGL on the offscreen platform")
        << QStringList() << QStringLiteral("offscreen") << 1 << QString()
        << QStringList{"Tessaryn cannot draw the map: it needs OpenGL",
                       "No OpenGL context could be made on the window system \"offscreen\"",
                       "xvfb-run -a tessaryn", "nobody answered the message"};
}

void StartupTest::programStartedFromOutside()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, platform);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QStringList, errors);
    const QString program = qEnvironmentVariable("TESSARYN_PROGRAM");
    if (program.isEmpty())
        QSKIP("TESSARYN_PROGRAM does not name the built program");
    TestEnvironment env;

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!platform.isEmpty())
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), env.root() + QStringLiteral("/config"));
    environment.insert(QStringLiteral("TEMP"), env.tempDir());
    environment.insert(QStringLiteral("TESSARYN_DEFAULT_DIR"), TestEnvironment::smallSample());
    // The message box closes itself at once instead of waiting for a user.
    environment.insert(QStringLiteral("TESSARYN_UNATTENDED"), QStringLiteral("0"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    QVERIFY2(process.waitForFinished(60000), "the program did not end");
    const QString stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(process.exitStatus() == QProcess::NormalExit, qPrintable(QStringLiteral("crashed: ") + stdErr));
    QVERIFY2(process.exitCode() == exitCode,
             qPrintable(QStringLiteral("exit code %1: %2").arg(process.exitCode()).arg(stdErr)));
    if (!out.isNull())
        QCOMPARE(stdOut, out);
    for (const QString &e : errors)
        QVERIFY2(stdErr.contains(e), qPrintable(stdErr));
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
